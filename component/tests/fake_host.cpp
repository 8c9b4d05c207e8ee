#include "fake_host.h"

#include <algorithm>

#include "core/errors.h"
#include "core/frmSMS.h"
#include "core/modMain.h"
#include "core/settings.h"

namespace mobi {
namespace test {
namespace {

// ASCII, the euro sign at 0x80 and one double-byte character (U+4E2D at
// 0xD6D0, as in GBK); everything else has no code.
class SmallCodePage final : public core::AnsiCodePage {
 public:
  char16_t CharOfByte(uint8_t b) const override {
    return b < 0x80 ? b : b == 0x80 ? u'\u20AC' : static_cast<char16_t>(0xF700 + b);
  }
  std::optional<uint32_t> CodeOfChar(char16_t c) const override {
    if (c < 0x80) return c;
    if (c == u'\u20AC') return 0x80;
    if (c == u'\u4E2D') return 0xD6D0;
    return std::nullopt;
  }
  std::optional<ByteArray> Encode(const std::u16string& text) const override {
    ByteArray out;
    for (char16_t c : text) {
      auto code = CodeOfChar(c);
      if (!code) return std::nullopt;
      if (*code > 0xFF) out.push_back(static_cast<uint8_t>(*code >> 8));
      out.push_back(static_cast<uint8_t>(*code & 0xFF));
    }
    return out;
  }
};

}  // namespace

FakeSerial::~FakeSerial() {
  if (open_) --host_.openPorts;
  if (host_.serial == this) host_.serial = nullptr;
}

void FakeSerial::SetCommPort(int16_t p) {
  if (open_) core::Raise(mobi::kPortOpenNotAllowed);
  if (p < 1) core::Raise(mobi::kInvalidPortNumber);
  port = p;
}

void FakeSerial::SetSettings(const std::u16string& s) {
  core::ParseSettings(s);
  settings = s;
}

void FakeSerial::SetPortOpen(bool open) {
  if (open) {
    if (open_) core::Raise(mobi::kPortAlreadyOpen);
    if (auto bad = host_.badPorts.find(port); bad != host_.badPorts.end()) core::Raise(bad->second);
    open_ = true;
    ++host_.openPorts;
  } else if (open_) {
    open_ = false;
    --host_.openPorts;
    in.clear();
  }
}

void FakeSerial::SetInBufferCount(int32_t count) {
  if (!open_) core::Raise(mobi::kPortNotOpen);
  if (count != 0) core::Raise(mobi::kInvalidPropertyValue);
  in.clear();
}

void FakeSerial::Output(const ByteArray& bytes) {
  if (!open_) core::Raise(mobi::kPortNotOpen);
  host_.wire.push_back(bytes);
  if (host_.terminal) host_.terminal(bytes);
}

void FakeHost::Reply(core::TimePoint::duration after, ByteArray chunk) {
  At(now_ + after, [this, chunk = std::move(chunk)] {
    if (!serial || !serial->PortOpen()) return;  // nobody listens: lost
    serial->in.insert(serial->in.end(), chunk.begin(), chunk.end());
    auto onComm = serial->OnComm;
    if (onComm) onComm();
  });
}

void FakeHost::Arrive(ByteArray chunk) {
  if (!serial) return;
  serial->in.insert(serial->in.end(), chunk.begin(), chunk.end());
  At(now_, [this] {
    if (!serial) return;
    auto onComm = serial->OnComm;
    if (onComm) onComm();
  });
}

void FakeHost::At(core::TimePoint when, std::function<void()> action) {
  events_.emplace(std::make_pair(when, sequence_++), std::move(action));
}

void FakeHost::Reset() {
  core::frmSMS::Unload();
  terminal = nullptr;
  wire.clear();
  badPorts.clear();
  events_.clear();
  thread = 1;
  processCalls = 0;
  now_ = start_;
}

std::unique_ptr<core::SerialControl> FakeHost::CreateSerialControl() {
  auto control = std::make_unique<FakeSerial>(*this);
  serial = control.get();
  return control;
}

void FakeHost::ProcessMessages(core::TimePoint deadline, const core::Host::StopCondition& stop) {
  ++processCalls;
  for (;;) {
    auto next = events_.begin();
    if (next == events_.end() || next->first.first > deadline) break;
    if (next->first.first > now_) now_ = next->first.first;
    auto action = std::move(next->second);
    events_.erase(next);
    const core::TimePoint began = now_;
    action();
    if (stop(began)) return;
  }
  if (deadline > now_) now_ = deadline;
}

const core::AnsiCodePage& FakeHost::Ansi() {
  static const SmallCodePage page;
  return page;
}

FakeHost& Host() {
  static FakeHost host;
  return host;
}

}  // namespace test

core::Host& core::PlatformHost() {
  return test::Host();
}

}  // namespace mobi
