#include "win32/precise_timer.h"

#include <algorithm>

#include "core/errors.h"
#include "win32/system_text.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace mobi::win32 {

PreciseTimer::PreciseTimer()
    : timer_(CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS)) {
  if (!timer_) timer_.Reset(CreateWaitableTimerW(nullptr, FALSE, nullptr));
  if (!timer_) {
    core::Raise(mobi::kDeviceNotOpen, "cannot create a waitable timer: " + Why(GetLastError()));
  }
}

void PreciseTimer::ArmAt(core::TimePoint due) {
  // Relative, in 100 ns units (negative), at least one.
  using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;
  const long long ticks = std::chrono::ceil<Ticks>(due - core::Clock::now()).count();
  LARGE_INTEGER when;
  when.QuadPart = -std::max(1LL, ticks);
  SetWaitableTimer(timer_.get(), &when, 0, nullptr, nullptr, FALSE);
}

}  // namespace mobi::win32
