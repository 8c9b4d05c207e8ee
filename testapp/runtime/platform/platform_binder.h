// The binder of the platform being built for, under the one name that the
// launchers, the bench and the tests use.
#pragma once

#ifdef _WIN32
#include "platform/win32/win_binder.h"
namespace rt {
using PlatformBinder = WinBinder;
}  // namespace rt
#else
#include "platform/posix/dl_binder.h"
namespace rt {
using PlatformBinder = DlBinder;
}  // namespace rt
#endif
