// Test doubles: a virtual clock, and serial lines whose far end is a
// function or the simulated modem, answering at once; a read with nothing to
// give lets the virtual time run to its time-out instead of sleeping.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "modem.h"
#include "platform.h"
#include "simulated_modem.h"

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

// A serial line with the simulated modem at its far end.
class ModemLine final : public SerialPort {
 public:
  ModemLine(VirtualClock& clock, atmodem::Modem& modem) : clock_(clock), modem_(modem) {}

  Status Write(std::string_view data, Millis) override {
    modem_.Receive(data);
    return {};
  }
  Status Read(std::string& out, Millis timeout) override {
    std::string answer = modem_.TakeOutput();
    if (answer.empty()) clock_.Advance(timeout);
    out += answer;
    return {};
  }

 private:
  VirtualClock& clock_;
  atmodem::Modem& modem_;
};

// Ports by path: "sim<n>" are simulated modems, anything else is missing.
class FakePorts final : public PortOpener {
 public:
  explicit FakePorts(VirtualClock& clock) : clock_(clock) {}

  atmodem::Modem& modem(int32_t port) {
    auto& m = modems_[port];
    if (!m) m = std::make_unique<atmodem::Modem>();
    return *m;
  }
  Status Resolve(int32_t port, std::string& path) override {
    if (port < 1)
      return {Error::kInvalidArgument, "port " + std::to_string(port) + " is not a port"};
    path = "sim" + std::to_string(port);
    return {};
  }
  Status Open(const std::string& path, int32_t, std::unique_ptr<SerialPort>& port) override {
    int32_t n = std::stoi(path.substr(3));
    if (modems_.count(n) == 0) return {Error::kPortUnavailable, "cannot be opened: no such device"};
    ++opened;
    port = std::make_unique<ModemLine>(clock_, *modems_[n]);
    return {};
  }
  int opened = 0;

 private:
  VirtualClock& clock_;
  std::map<int32_t, std::unique_ptr<atmodem::Modem>> modems_;
};

}  // namespace smsdll::testing
