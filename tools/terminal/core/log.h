// One readable log line per terminal event.
#pragma once

#include <string>

#include "terminal/core/terminal.h"

namespace mobi::terminal {

// "[  0.020] tx AA 14 17 | type 20 level 23 (reply 1)", the time in seconds
// since `origin`. Long frames show their first 48 bytes in hex.
std::string FormatEvent(const Event& event, TimePoint origin);

}  // namespace mobi::terminal
