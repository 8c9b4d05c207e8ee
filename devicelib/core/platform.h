// What the modem driver needs from the platform: a serial line, clocks, the
// GBK code page and the way a port number becomes a device. Implemented by
// the POSIX and Win32 layers and, in tests, by fakes with a virtual clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "status.h"

namespace smsdll {

using Millis = std::chrono::milliseconds;

class SerialPort {
 public:
  virtual ~SerialPort() = default;
  // Writes all of data; fails when the line does not take it within timeout.
  virtual Status Write(std::string_view data, Millis timeout) = 0;
  // Waits at most timeout for input and appends what has arrived; appends
  // nothing when the time passes without input. A zero timeout only polls.
  virtual Status Read(std::string& out, Millis timeout) = 0;
};

struct LocalTime {
  int year, month, day, hour, minute, second;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic time, for deadlines.
  virtual Millis Now() = 0;
  // The wall-clock time of the machine, local zone.
  virtual LocalTime LocalNow() = 0;
};

// Conversions between the application's code page (GBK, code page 936) and
// UTF-16.
class Codec {
 public:
  virtual ~Codec() = default;
  // nullopt when the text is not valid GBK.
  virtual std::optional<std::u16string> GbkToUtf16(std::string_view gbk) = 0;
  // Characters that GBK lacks become '?'.
  virtual std::string Utf16ToGbk(std::u16string_view text) = 0;
};

// Opens the device behind a port number.
class PortOpener {
 public:
  virtual ~PortOpener() = default;
  // The device path that port n stands for, or an error when the mapping
  // cannot be read or n is not a port number.
  virtual Status Resolve(int32_t port, std::string& path) = 0;
  // Opens path at the speed, 8 data bits, no parity, one stop bit, no flow
  // control.
  virtual Status Open(const std::string& path, int32_t baud, std::unique_ptr<SerialPort>& port) = 0;
};

}  // namespace smsdll
