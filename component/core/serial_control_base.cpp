#include "core/serial_control_base.h"

#include <string>
#include <utility>

#include "core/errors.h"
#include "core/protocol.h"

namespace mobi::core {

SerialControlBase::SerialControlBase()
    : assembler_(QuietGapsOf(settings_), kInBufferSize, [this](std::span<const uint8_t> held) {
        return rules ? rules->WholeReplyLength(held) : 0;
      }) {}

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
  assembler_.SetGaps(QuietGapsOf(settings_, forwarding_));
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
    TakeUnreportedHangUp();  // of the line before: this one is new
  } else {
    Close();
  }
  // What the line before left, handed over or not, is over.
  assembler_.Clear();
  reply_.clear();
}

void SerialControlBase::SetInBufferCount(int32_t count) {
  if (count != 0) Raise(kInvalidPropertyValue, "InBufferCount can only be set to 0");
  RequireOpenLine();
  assembler_.Clear();
  reply_.clear();
  DiscardReceived();
}

int32_t SerialControlBase::InBufferCount() {
  return static_cast<int32_t>(reply_.size());
}

ByteArray SerialControlBase::Input() {
  ++taken_;
  return std::exchange(reply_, {});
}

void SerialControlBase::Output(const ByteArray& bytes) {
  RequireOpenLine();
  Write(bytes);
}

std::optional<TimePoint> SerialControlBase::ReplyDue() const {
  if (!PortOpen()) return std::nullopt;
  return NextDeadline();
}

std::optional<TimePoint> SerialControlBase::NextDeadline() const {
  if (!reply_.empty()) return std::nullopt;
  return assembler_.Deadline();
}

std::string SerialControlBase::PortLabel() const {
  return "COM" + std::to_string(port_);
}

void SerialControlBase::RequireOpenLine() {
  if (!PortOpen()) {
    if (const std::exception_ptr hangUp = TakeUnreportedHangUp()) std::rethrow_exception(hangUp);
    Raise(kPortNotOpen, hungUp_ ? "the line hung up" : "");
  }
  if (!LineAlive()) throw LineGone(PortLabel());
}

void SerialControlBase::DropDeadLine() {
  if (PortOpen() && !LineAlive()) LineGone(PortLabel());
}

Error SerialControlBase::LineGone(const std::string& name, const std::string& why) {
  GatherReceived();
  assembler_.EndOfLine();
  Close();
  hungUp_ = true;
  const std::string detail =
      why.empty() ? "the line hung up (" + name + " was closed or unplugged)" : name + ": " + why;
  return Error(kReadError, std::string(StandardText(kReadError)) + ": " + detail);
}

bool SerialControlBase::HandOver(TimePoint now) {
  const std::weak_ptr<bool> alive = life_;
  for (;;) {
    if (reply_.empty()) reply_ = assembler_.Take(now);
    if (reply_.empty()) return true;
    auto handler = OnComm;  // a copy: this control may be destroyed by the call
    if (!handler) {
      reply_.clear();  // nobody listens
      continue;
    }
    const uint64_t before = taken_;
    handler();
    if (alive.expired()) return false;
    if (taken_ == before) return true;  // the handler took nothing: it stays
  }
}

void SerialControlBase::SetForwarding(std::chrono::nanoseconds forwarding) {
  forwarding_ = forwarding;
  assembler_.SetGaps(QuietGapsOf(settings_, forwarding_));
}

}  // namespace mobi::core
