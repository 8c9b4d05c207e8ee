#include "message_loop.h"

#include <utility>

namespace mobi::win32 {
namespace {

// Milliseconds from now to `deadline`, rounded up so that a wait never ends
// just short of it and spins.
DWORD MillisecondsTo(core::TimePoint deadline) {
  const auto left = deadline - core::Clock::now();
  if (left <= core::Clock::duration::zero()) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
}

}  // namespace

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
  if (!earlyEnd) {
    DWORD ms = MillisecondsTo(deadline);
    if (ms > 0) Sleep(ms);
  }
  for (;;) {
    if (DispatchPending(stop, quit)) return;
    const DWORD ms = MillisecondsTo(deadline);
    if (ms == 0) return;
    if (quit) {
      Sleep(ms);
      continue;
    }
    MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

}  // namespace mobi::win32
