// The thread's message processing on Windows: the component's notifications
// are window messages posted to hidden message-only windows of the thread, and
// run only while the thread processes messages (inside a waiting call,
// mobi::DoEvents(), or the client's own message loop).
#pragma once

#include <windows.h>

#include <exception>
#include <functional>
#include <utility>

#include "core/platform.h"
#include "win32/precise_timer.h"

namespace mobi::win32 {

class MessageLoop {
 public:
  // An error found by a window procedure (a hang-up, a failing handler),
  // thrown by Run after the message was handled; when the caller's stop
  // condition already holds, by the next Run, unless somebody takes it
  // first. Window procedures cannot throw across the system's dispatching.
  void SetPendingError(std::exception_ptr error) { pendingError_ = std::move(error); }
  std::exception_ptr TakePendingError() { return std::exchange(pendingError_, nullptr); }

  // Processes the thread's messages until `deadline`: with `earlyEnd`, waits
  // for messages and handles each as it comes, returning as soon as `stop()`
  // holds; without it, sleeps to the deadline first. Either way, at the
  // deadline it handles what is pending and returns. A WM_QUIT is left in the
  // queue for the client's own loop.
  void Run(core::TimePoint deadline, const core::Host::StopCondition& stop, bool earlyEnd);

 private:
  // Handles every pending message; true as soon as `stop()` holds.
  bool DispatchPending(const core::Host::StopCondition& stop, bool& quit);
  void ThrowPending();

  std::exception_ptr pendingError_;
  PreciseTimer timer_;  // the deadline of the innermost running wait
};

}  // namespace mobi::win32
