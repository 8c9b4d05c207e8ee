// The bench's results and how they are shown: a table, JSON lines, an HTML
// report, and the difference between two libraries.
#pragma once

#include <string>
#include <vector>

namespace qualify {

struct Row {
  std::string scenario;
  std::string description;
  std::string result;  // "pass", "fail" or "n/a"
  double seconds = 0;
  std::string why;        // the problems found, or the description of an n/a
  std::string exchange;   // the simulator's log of the AT exchange
  std::string child_log;  // what the calls child wrote on standard error
};

struct Run {
  std::string library;
  std::vector<Row> rows;
  bool passed() const;  // no row failed
};

// The terminal table: scenario, result, seconds, why.
std::string table(const Run& run);
// One JSON object per line: scenario, result, seconds, why (and the library when given).
std::string json_line(const Row& row, const std::string& library = {});
// A self-contained HTML page: a row per scenario of each run, and the AT
// exchange of every failing scenario.
std::string html(const std::vector<Run>& runs, const std::string& title);
// The scenarios whose results differ between two runs, as a table ("" when none).
std::string differences(const Run& a, const Run& b);

std::string html_escape(const std::string& text);

}  // namespace qualify
