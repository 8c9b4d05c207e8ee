// What every platform's serial control keeps alike: the port number, the line
// settings, InputLen and InputMode, with the checks the serial control makes
// on them. A platform layer adds opening, closing, reading and writing.
#pragma once

#include "platform.h"
#include "settings.h"

namespace mobi::core {

class SerialControlBase : public SerialControl {
 public:
  // 8000 while the port is open, 8002 outside 1 to 255.
  void SetCommPort(int16_t port) override;
  // 380 for a string the parser refuses; applied at once to an open port.
  void SetSettings(const std::u16string& settings) override;
  // 380 for a negative length.
  void SetInputLen(int16_t length) override;
  // 380 unless 0 (text) or 1 (binary).
  void SetInputMode(int16_t mode) override;
  void SetPortOpen(bool open) override;

 protected:
  virtual void Open() = 0;
  virtual void Close() = 0;
  // The settings changed while the port is open.
  virtual void ApplyOpenSettings() = 0;

  int16_t port_ = 1;
  LineSettings settings_;
  int16_t inputLen_ = 0;
  int16_t inputMode_ = 0;
};

}  // namespace mobi::core
