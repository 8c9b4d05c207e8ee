#include "serial_control_base.h"

#include <string>

#include "errors.h"

namespace mobi::core {

void SerialControlBase::SetCommPort(int16_t port) {
  if (PortOpen()) Raise(kPortOpenNotAllowed, "close the port before changing CommPort");
  if (port < 1 || port > 255) {
    Raise(kInvalidPortNumber, "port " + std::to_string(port) + " is not from 1 to 255");
  }
  port_ = port;
}

void SerialControlBase::SetSettings(const std::u16string& settings) {
  settings_ = ParseSettings(settings);
  if (PortOpen()) ApplyOpenSettings();
}

void SerialControlBase::SetInputLen(int16_t length) {
  if (length < 0) Raise(kInvalidPropertyValue, "InputLen must not be negative");
  inputLen_ = length;
}

void SerialControlBase::SetInputMode(int16_t mode) {
  if (mode != 0 && mode != 1) Raise(kInvalidPropertyValue, "InputMode is 0 (text) or 1 (binary)");
  inputMode_ = mode;
}

void SerialControlBase::SetPortOpen(bool open) {
  if (open) {
    Open();
  } else {
    Close();
  }
}

}  // namespace mobi::core
