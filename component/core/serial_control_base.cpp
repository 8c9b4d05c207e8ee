#include "serial_control_base.h"

#include <string>
#include <utility>

#include "errors.h"

namespace mobi::core {

SerialControlBase::SerialControlBase() : gaps_(QuietGapsOf(settings_)) {}

void SerialControlBase::SetCommPort(int16_t port) {
  DropDeadLine();
  if (PortOpen()) Raise(kPortOpenNotAllowed, "close the port before changing CommPort");
  if (port < 1 || port > 255) {
    Raise(kInvalidPortNumber, "port " + std::to_string(port) + " is not from 1 to 255");
  }
  port_ = port;
}

void SerialControlBase::SetSettings(const std::u16string& settings) {
  settings_ = ParseSettings(settings);
  gaps_ = QuietGapsOf(settings_, forwarding_);
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
    DropDeadLine();
    Open();
    hungUp_ = false;
    leftOver_.clear();
  } else {
    Close();
    leftOver_.clear();
  }
}

void SerialControlBase::SetInBufferCount(int32_t count) {
  if (count != 0) Raise(kInvalidPropertyValue, "InBufferCount can only be set to 0");
  RequireOpenLine();
  held_.clear();
  DiscardReceived();
}

std::size_t SerialControlBase::NextReply(const ByteArray& bytes) const {
  const std::size_t first = WholeReply ? WholeReply(bytes) : 0;
  return first > 0 && first < bytes.size() ? first : bytes.size();
}

int32_t SerialControlBase::InBufferCount() {
  return static_cast<int32_t>(NextReply(PortOpen() ? held_ : leftOver_));
}

ByteArray SerialControlBase::Input() {
  const bool open = PortOpen();
  ByteArray& from = open ? held_ : leftOver_;
  const auto end = from.begin() + static_cast<std::ptrdiff_t>(NextReply(from));
  ByteArray reply(from.begin(), end);
  from.erase(from.begin(), end);
  if (open) HeldTaken();
  return reply;
}

void SerialControlBase::Output(const ByteArray& bytes) {
  RequireOpenLine();
  Write(bytes);
}

void SerialControlBase::RequireOpenLine() {
  if (!PortOpen()) Raise(kPortNotOpen, hungUp_ ? "the line hung up" : "");
  if (!LineAlive()) throw LineGone("COM" + std::to_string(port_));
}

void SerialControlBase::DropDeadLine() {
  if (PortOpen() && !LineAlive()) LineGone("COM" + std::to_string(port_));
}

Error SerialControlBase::LineGone(const std::string& name, const std::string& why) {
  GatherReceived();
  leftOver_.insert(leftOver_.end(), held_.begin(), held_.end());
  held_.clear();
  Close();
  hungUp_ = true;
  const std::string detail =
      why.empty() ? "the line hung up (" + name + " was closed or unplugged)" : name + ": " + why;
  return Error(kReadError, std::string(StandardText(kReadError)) + ": " + detail);
}

bool SerialControlBase::RaiseOnComm() {
  const std::weak_ptr<bool> alive = life_;
  auto handler = OnComm;  // a copy: this control may be destroyed by the call
  if (handler) handler();
  return !alive.expired();
}

bool SerialControlBase::HandOverLeftOver() {
  while (!PortOpen() && !leftOver_.empty()) {
    const std::size_t before = leftOver_.size();
    if (!RaiseOnComm()) return false;
    if (leftOver_.size() >= before) break;  // the handler took nothing
  }
  return true;
}

std::chrono::nanoseconds SerialControlBase::GapFor(const ByteArray& held) const {
  return gaps_.For(WholeReply ? WholeReply(held) : 0, held.size());
}

void SerialControlBase::SetForwarding(std::chrono::nanoseconds forwarding) {
  forwarding_ = forwarding;
  gaps_ = QuietGapsOf(settings_, forwarding_);
}

}  // namespace mobi::core
