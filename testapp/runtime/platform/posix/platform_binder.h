// The binder of this platform, under the name the launcher and tests use.
#pragma once

#include "dl_binder.h"

namespace rt {
using PlatformBinder = DlBinder;
}  // namespace rt
