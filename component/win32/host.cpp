// The Win32 host: the component's thread and platform on Windows.
#include <windows.h>

#include "internal/tool_hooks.h"
#include "win32/ansi_code_page.h"
#include "win32/message_loop.h"
#include "win32/serial_control.h"

namespace mobi {
namespace win32 {
namespace {

class Win32Host final : public core::Host {
 public:
  std::unique_ptr<core::SerialControl> CreateSerialControl() override {
    return std::make_unique<SerialControl>(loop_);
  }
  core::TimePoint Now() override { return core::Clock::now(); }
  uint64_t CurrentThread() override { return GetCurrentThreadId(); }
  void ProcessMessages(core::TimePoint deadline, const core::Host::StopCondition& stop) override {
    loop_.Run(deadline, stop, earlyEnd_);
  }
  bool PlainSteps() const override { return !earlyEnd_; }
  const core::AnsiCodePage& Ansi() override { return ansi_; }

  void SetEarlyEnd(bool early) { earlyEnd_ = early; }

 private:
  MessageLoop loop_;
  AnsiCodePage ansi_;
  bool earlyEnd_ = true;
};

Win32Host& TheHost() {
  static Win32Host host;
  return host;
}

}  // namespace
}  // namespace win32

core::Host& core::PlatformHost() {
  return win32::TheHost();
}

void SetWaitStepEarlyEnd(bool early) {
  win32::TheHost().SetEarlyEnd(early);
}

}  // namespace mobi
