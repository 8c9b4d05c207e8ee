// The platform's side of the library: the one library instance, built on
// the platform's serial ports, clock and code page, and its form.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device_library.h"
#include "portmap.h"

namespace smsdll::platform {

// The platform's parts, each on its own (tests use them too).
std::unique_ptr<PortOpener> MakePortOpener();
std::unique_ptr<Clock> MakeClock();
std::unique_ptr<Codec> MakeCodec();

// Port mapping from this process's environment and files, with the
// platform's default device for port n.
PortMapSources ProcessPortMapSources(std::function<std::string(int32_t)> default_path);

// Made on first use; lives until the library is unloaded.
DeviceLibrary& Library();

// Shows the form text (GBK) to the operator; false when it cannot be shown.
bool ShowForm(const std::string& text, int32_t owner_window);

}  // namespace smsdll::platform
