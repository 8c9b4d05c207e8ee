// Text conversions of the Win32 layer: UTF-16 and UTF-8, and the system's
// text for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace mobi::win32 {

std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
// The system's text for a Win32 error code ("system error N" when it has
// none).
std::string Why(DWORD error);

}  // namespace mobi::win32
