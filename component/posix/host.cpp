// The POSIX host: the component's thread and platform on Linux.
#include <sys/syscall.h>
#include <unistd.h>

#include "internal/tool_hooks.h"
#include "mobi/events.h"
#include "posix/event_loop.h"
#include "posix/gbk_code_page.h"
#include "posix/serial_control.h"

namespace mobi {
namespace posix {
namespace {

class PosixHost final : public core::Host {
 public:
  std::unique_ptr<core::SerialControl> CreateSerialControl() override {
    return std::make_unique<SerialControl>(loop_);
  }
  core::TimePoint Now() override { return core::Clock::now(); }
  uint64_t CurrentThread() override { return static_cast<uint64_t>(syscall(SYS_gettid)); }
  void ProcessMessages(core::TimePoint deadline, const core::Host::StopCondition& stop) override {
    loop_.Run(deadline, stop, earlyEnd_);
  }
  bool PlainSteps() const override { return !earlyEnd_; }
  const core::AnsiCodePage& Ansi() override { return ansi_; }

  EventLoop& loop() { return loop_; }
  void SetEarlyEnd(bool early) { earlyEnd_ = early; }

 private:
  EventLoop loop_;
  GbkCodePage ansi_;
  bool earlyEnd_ = true;
};

PosixHost& TheHost() {
  static PosixHost host;
  return host;
}

}  // namespace
}  // namespace posix

core::Host& core::PlatformHost() {
  return posix::TheHost();
}

int EventFd() {
  return posix::TheHost().loop().fd();
}

void SetWaitStepEarlyEnd(bool early) {
  posix::TheHost().SetEarlyEnd(early);
}

}  // namespace mobi
