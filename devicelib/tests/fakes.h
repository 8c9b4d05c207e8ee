// Test doubles: a virtual clock, and a serial line whose far end is a
// function, answering at once; a read with nothing to give lets the virtual
// time run to its time-out instead of sleeping. (modem_line.h puts the
// simulated modem at the far end.)
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "modem.h"
#include "platform.h"

namespace smsdll::testing {

class VirtualClock final : public Clock {
 public:
  Millis Now() override { return now_; }
  LocalTime LocalNow() override { return {2026, 12, 8, 9, 5, 7}; }
  void Advance(Millis d) { now_ += d; }

 private:
  Millis now_{1000000};
};

// The far end answers each write with the chunks that `respond` returns;
// each chunk comes out of a separate Read.
class ScriptedLine final : public SerialPort {
 public:
  using Responder = std::function<std::vector<std::string>(const std::string& written)>;
  ScriptedLine(VirtualClock& clock, Responder respond) : clock_(clock), respond_(respond) {}

  Status Write(std::string_view data, Millis) override {
    writes.emplace_back(data);
    for (auto& chunk : respond_(writes.back())) chunks_.push_back(chunk);
    return {};
  }
  Status Read(std::string& out, Millis timeout) override {
    if (chunks_.empty()) {
      clock_.Advance(timeout);
      return {};
    }
    out += chunks_.front();
    chunks_.pop_front();
    return {};
  }
  void Inject(std::string chunk) { chunks_.push_back(std::move(chunk)); }

  std::vector<std::string> writes;

 private:
  VirtualClock& clock_;
  Responder respond_;
  std::deque<std::string> chunks_;
};

}  // namespace smsdll::testing
