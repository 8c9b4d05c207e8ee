// Serial lines with the simulated modem at their far end, answering at once,
// and ports by path that open them.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "fakes.h"
#include "simulated_modem.h"

namespace smsdll::testing {

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
