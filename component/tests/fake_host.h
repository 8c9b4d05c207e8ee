// A host for the core's unit tests: a virtual clock, a scripted serial
// control, and a small ANSI code page. Time moves only while the component
// processes messages, so the 1 s and 5 s waits run instantly and the counts
// are exact.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "core/platform.h"
#include "error_number.h"
#include "reply.h"

namespace mobi::test {

using core::ByteArray;
using namespace std::chrono_literals;

class FakeHost;

class FakeSerial final : public core::SerialControl {
 public:
  explicit FakeSerial(FakeHost& host) : host_(host) {}
  ~FakeSerial() override;

  void SetCommPort(int16_t port) override;
  void SetSettings(const std::u16string& settings) override;
  void SetInputLen(int16_t length) override { inputLen = length; }
  void SetInputMode(int16_t mode) override { inputMode = mode; }
  void SetPortOpen(bool open) override;
  bool PortOpen() const override { return open_; }
  void SetInBufferCount(int32_t count) override;
  int32_t InBufferCount() override { return static_cast<int32_t>(in.size()); }
  void Output(const ByteArray& bytes) override;
  ByteArray Input() override { return std::exchange(in, {}); }
  std::optional<core::TimePoint> ReplyDue() const override { return std::nullopt; }
  core::QuietGaps Gaps() const override { return {}; }

  int16_t port = 0;
  std::u16string settings;
  int16_t inputLen = -1;
  int16_t inputMode = -1;
  ByteArray in;

 private:
  FakeHost& host_;
  bool open_ = false;
};

class FakeHost final : public core::Host {
 public:
  // --- what the tests set up and read ---
  // Called for every frame the component writes, after it is recorded.
  std::function<void(const ByteArray&)> terminal;
  // Every write, in order.
  std::vector<ByteArray> wire;
  // Ports that fail to open, with the error number they give.
  std::map<int16_t, int32_t> badPorts;
  uint64_t thread = 1;
  int processCalls = 0;          // one per waiting step or DoEvents
  FakeSerial* serial = nullptr;  // the current form's control
  int openPorts = 0;

  // A reply chunk that arrives `after` from now: its bytes land in the input
  // buffer and OnComm is raised, while messages are processed.
  void Reply(core::TimePoint::duration after, ByteArray chunk);
  // Bytes that arrive now, before the next message processing (stale input).
  void Arrive(ByteArray chunk);
  // Something else to do at a moment of the virtual clock.
  void At(core::TimePoint when, std::function<void()> action);

  core::TimePoint start() const { return start_; }
  std::chrono::milliseconds Elapsed() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(now_ - start_);
  }
  void Reset();

  // --- core::Host ---
  std::unique_ptr<core::SerialControl> CreateSerialControl() override;
  core::TimePoint Now() override { return now_; }
  uint64_t CurrentThread() override { return thread; }
  void ProcessMessages(core::TimePoint deadline, const core::Host::StopCondition& stop) override;
  const core::AnsiCodePage& Ansi() override;

 private:
  friend class FakeSerial;
  const core::TimePoint start_ = core::TimePoint() + std::chrono::hours(1);
  core::TimePoint now_ = start_;
  uint64_t sequence_ = 0;
  std::map<std::pair<core::TimePoint, uint64_t>, std::function<void()>> events_;
};

// The one host of the test binary.
FakeHost& Host();

}  // namespace mobi::test
