#include "win32/message_loop.h"

#include <utility>

namespace mobi::win32 {
void MessageLoop::ThrowPending() {
  if (pendingError_) std::rethrow_exception(std::exchange(pendingError_, nullptr));
}

bool MessageLoop::DispatchPending(const core::Host::StopCondition& stop, bool& quit) {
  MSG msg;
  while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Not ours: put it back for the client's loop and stop taking messages
      // (a queued WM_QUIT would wake every wait at once).
      PostQuitMessage(static_cast<int>(msg.wParam));
      quit = true;
      break;
    }
    const core::TimePoint began = core::Clock::now();
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    if (stop(began)) return true;
    ThrowPending();
  }
  return false;
}

void MessageLoop::Run(core::TimePoint deadline, const core::Host::StopCondition& stop,
                      bool earlyEnd) {
  ThrowPending();  // left by a message that the client's own loop handled
  bool quit = false;
  if (!earlyEnd && core::Clock::now() < deadline) {
    timer_.ArmAt(deadline);
    timer_.Wait();
  }
  for (;;) {
    if (DispatchPending(stop, quit)) return;
    if (core::Clock::now() >= deadline) return;
    // Armed on every round: a nested wait of a handler armed its own.
    timer_.ArmAt(deadline);
    if (quit) {
      timer_.Wait();
      continue;
    }
    const HANDLE timer = timer_.handle();
    MsgWaitForMultipleObjectsEx(1, &timer, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

}  // namespace mobi::win32
