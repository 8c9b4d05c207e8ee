// The modem zoo: named scenarios, each a behaviour of real modems that broke
// SMS software in the field, staged on the simulated modem, with the calls an
// operator makes through the device library to judge it and what a correct
// library answers.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "simulated_modem.h"

namespace atmodem {

// One call of the device library's entries.
struct Call {
  std::string call{};     // "open", "send", "fetch", "close"
  std::string expect{};   // "ok": a correct library succeeds; "fail": it reports failure
  std::string number{};   // send: the destination
  std::string text{};     // send: the text; fetch: the message as injected (UTF-8)
  int mode = 0;           // send: 1 automatic, 2 UCS2
  std::string sender{};   // fetch: as injected
  std::string time{};     // fetch: the service centre time stamp in the modem's form
  std::string or_text{};  // fetch: another form of the text a correct library may give
};

struct Scenario {
  std::string name;
  std::string description;  // one line
  std::string source;       // the field report, "gammu #131"
  bool applies = true;      // false: the entries cannot show the behaviour
  double delay = 0;         // the sum of its delays, seconds at scale 1
  bool any_order = false;   // the fetched messages may come in any order
  std::vector<Call> calls;
  std::function<void(Modem&)> setup;  // stages it on a modem just switched on
};

// Every scenario, "baseline" first.
const std::vector<Scenario>& Scenarios();
// The scenario of that name, or nullptr.
const Scenario* FindScenario(std::string_view name);

// JSON: a scenario as one object on one line (name, description, source,
// applies, delay, calls and, when set, any_order).
std::string ToJson(const Scenario& scenario);

}  // namespace atmodem
