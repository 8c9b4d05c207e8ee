#include "report.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "json.h"

namespace qualify {

namespace {

std::string seconds_text(double s) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", s);
  return buf;
}

// Columns are padded by UTF-8 characters, not bytes.
std::size_t width(const std::string& s) {
  return static_cast<std::size_t>(std::count_if(
      s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string pad(const std::string& s, std::size_t w) {
  std::size_t n = width(s);
  return s + std::string(n < w ? w - n : 0, ' ');
}

}  // namespace

bool Run::passed() const {
  return std::none_of(rows.begin(), rows.end(), [](const Row& r) { return r.result == "fail"; });
}

std::string table(const Run& run) {
  std::size_t w = 8;
  for (const auto& r : run.rows) w = std::max(w, width(r.scenario));
  std::string out = pad("scenario", w) + "  result  seconds  why\n";
  std::size_t pass = 0, fail = 0, na = 0;
  for (const auto& r : run.rows) {
    out += pad(r.scenario, w) + "  " + pad(r.result, 6) + "  " + pad(seconds_text(r.seconds), 7) +
           "  " + r.why + "\n";
    (r.result == "pass" ? pass : r.result == "fail" ? fail : na)++;
  }
  out += std::to_string(pass) + " passed, " + std::to_string(fail) + " failed, " +
         std::to_string(na) + " not applicable (" + run.library + ")\n";
  return out;
}

std::string json_line(const Row& row, const std::string& library) {
  std::map<std::string, json::Value, std::less<>> m{
      {"scenario", json::Value::string(row.scenario)},
      {"result", json::Value::string(row.result)},
      {"seconds",
       json::Value::number(static_cast<double>(static_cast<long>(row.seconds * 1000)) / 1000)},
      {"why", json::Value::string(row.why)},
  };
  if (!library.empty()) m.emplace("library", json::Value::string(library));
  return json::write(json::Value::object(std::move(m)));
}

std::string html_escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string html(const std::vector<Run>& runs, const std::string& title) {
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><title>" +
      html_escape(title) +
      "</title>\n<style>body{font-family:sans-serif;margin:1em}table{border-collapse:collapse}"
      "td,th{border:1px solid #999;padding:2px 6px;vertical-align:top;text-align:left}"
      ".pass{background:#dfd}.fail{background:#fdd}.na{background:#eee}"
      "pre{white-space:pre-wrap;font-size:85%;max-height:30em;overflow:auto;margin:0}"
      "</style></head><body>\n<h1>" +
      html_escape(title) + "</h1>\n";
  for (const auto& run : runs) {
    std::size_t fails = static_cast<std::size_t>(std::count_if(
        run.rows.begin(), run.rows.end(), [](const Row& r) { return r.result == "fail"; }));
    out += "<h2>" + html_escape(run.library) + "</h2>\n<p>" + std::to_string(run.rows.size()) +
           " scenarios, " + std::to_string(fails) +
           " failed.</p>\n<table>\n"
           "<tr><th>Scenario</th><th>Result</th><th>Seconds</th><th>Why</th></tr>\n";
    for (const auto& r : run.rows) {
      const std::string cls = r.result == "n/a" ? "na" : r.result;
      out += "<tr class=\"" + cls + "\"><td title=\"" + html_escape(r.description) + "\">" +
             html_escape(r.scenario) + "</td><td>" + html_escape(r.result) + "</td><td>" +
             seconds_text(r.seconds) + "</td><td>" + html_escape(r.why);
      if (r.result == "fail") {
        out += "<details><summary>AT exchange</summary><pre>" + html_escape(r.exchange) +
               "</pre></details>";
        if (!r.child_log.empty())
          out += "<details><summary>calls</summary><pre>" + html_escape(r.child_log) +
                 "</pre></details>";
      }
      out += "</td></tr>\n";
    }
    out += "</table>\n";
  }
  return out + "</body></html>\n";
}

std::string differences(const Run& a, const Run& b) {
  std::map<std::string, const Row*> other;
  for (const auto& r : b.rows) other[r.scenario] = &r;
  std::size_t w = 8;
  for (const auto& r : a.rows) w = std::max(w, width(r.scenario));
  std::string out;
  for (const auto& r : a.rows) {
    auto it = other.find(r.scenario);
    const std::string rb = it == other.end() ? "-" : it->second->result;
    if (rb == r.result) continue;
    out += pad(r.scenario, w) + "  " + pad(r.result, 6) + "  " + pad(rb, 6) + "  " +
           (r.result == "fail"  ? r.why
            : it == other.end() ? ""
                                : it->second->why) +
           "\n";
  }
  if (out.empty()) return out;
  return "scenarios that differ (A: " + a.library + ", B: " + b.library + "):\n" +
         pad("scenario", w) + "  A       B       why\n" + out;
}

}  // namespace qualify
