// The binder of this platform, under the name the launcher and tests use.
#pragma once

#include "win_binder.h"

namespace rt {
using PlatformBinder = WinBinder;
}  // namespace rt
