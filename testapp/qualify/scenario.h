// Scenarios of the simulated modem and how one run of them is judged. No
// system calls: the orchestrator gathers what happened, this decides.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "json.h"

namespace qualify {

// One call of a scenario, as the simulator lists it.
struct Call {
  std::string call;       // "open", "send", "fetch", "close" (or "form")
  bool expect_ok = true;  // "expect": "ok" or "fail"
  std::string number;     // send: the destination (UTF-8)
  std::string text;       // send: the message; fetch: the text injected (UTF-8)
  std::string or_text;    // fetch: another form of the text that is as right (8-bit data in hex)
  long mode = 1;          // send: 1 automatic, 2 always UCS2
  std::string sender;     // fetch: the sender injected
  std::string time;       // fetch: the service centre's stamp, "26/12/08,19:10:00+32"
  json::Value raw;        // the call as listed, handed to the calls child
};

struct Scenario {
  std::string name;
  std::string description;
  std::string source;
  bool applies = true;
  double delay = 0;        // seconds at delay scale 1
  bool any_order = false;  // fetches may come in any order
  std::vector<Call> calls;
};

// One scenario per JSON line (`mobi-atmodem --list-scenarios --json`); blank
// lines are skipped. Throws std::runtime_error naming the line.
std::vector<Scenario> parse_scenarios(std::string_view lines);
Scenario parse_scenario(const json::Value& object);

// The bound of one call, in seconds: 20 s and twice the scenario's delay at
// the given scale.
double call_bound(const Scenario& scenario, double delay_scale);

// What the calls child reported for one call (one JSON line).
struct CallResult {
  std::string call;
  bool result = false;
  int runtime_error = 0;  // 20520, 20521, 20522, ... or 0
  std::string detail;     // of the runtime error
  std::string error;      // the error text, GBK bytes as the library wrote them
  std::string message, sent_time, received_time, sender;  // fetch: GBK bytes
  double seconds = 0;
  std::size_t record_events = 0;  // record lines written before the call was made (parent side)
};
CallResult parse_call_result(const json::Value& line);
// The child's line for one call: GBK buffers as hex, so nothing is lost.
std::string write_call_result(const CallResult& result);

// What happened in one run of a scenario.
struct RunOutcome {
  std::vector<CallResult> results;  // one per call that returned
  std::string stopped;              // why the calls ended early (crash, hang, ...), or empty
  std::vector<json::Value> record;  // the simulator's record, one event per line
  std::string record_problem;       // a record that could not be read
};

// The problems found, in the order of the calls; empty when the run passed.
std::vector<std::string> judge(const Scenario& scenario, const RunOutcome& outcome);

// A service centre time stamp and the fields a library's time text gives.
struct Stamp {
  int year = -1, month = -1, day = -1, hour = -1, minute = -1, second = -1;
  bool has_zone = false;
  int zone_minutes = 0;
};
// "26/12/08,19:10:00+32" (zone in quarter hours); false when malformed.
bool parse_modem_stamp(std::string_view text, Stamp& out);
// A library's own format: six numbers in year-month-day order (or
// day-month-year when the third has four digits), then an optional zone
// "+hh:mm", "+hhmm" or "+qq" (quarter hours). False when fewer than six numbers.
bool parse_library_stamp(std::string_view text, Stamp& out);

std::string to_hex(std::string_view bytes);
std::string from_hex(std::string_view hex);

}  // namespace qualify
