// A timer that runs out at a moment of the steady clock, for the quiet gaps
// and the waits. A timed wait of Windows (WaitForMultipleObjects,
// MsgWaitForMultipleObjectsEx, Sleep) is rounded to the system tick, 15.6 ms
// unless the process asks for a finer one for everybody (timeBeginPeriod);
// the 5 ms short gap would become up to 16 ms. A high-resolution waitable
// timer (Windows 10 1803 on) is not rounded, needs no process-wide setting,
// and is waited on with the other handles, so the waits themselves take no
// time-out at all. Where the system has none, a plain waitable timer is used
// and the tick rounding comes back.
#pragma once

#include <windows.h>

#include "core/platform.h"
#include "win32/handle.h"

namespace mobi::win32 {

class PreciseTimer {
 public:
  // Throws mobi::Error 8012 when the system gives no timer at all.
  PreciseTimer();

  HANDLE handle() const { return timer_.get(); }
  // Signalled at `due`, at once when it has passed; re-arming forgets the
  // last moment.
  void ArmAt(core::TimePoint due);
  // Waits for the moment armed last.
  void Wait() { WaitForSingleObject(timer_.get(), INFINITE); }

 private:
  Handle timer_;
};

}  // namespace mobi::win32
