// Text conversions of the Win32 layer: UTF-16 and UTF-8, and the system's
// text for an error code.
#pragma once

#include <windows.h>

#include <string>

namespace mobi::win32 {

// The one UTF-8/UTF-16 conversion of Mobi.dll. Invalid input becomes
// U+FFFD (or "?"); a conversion the system refuses outright keeps the text
// one character per byte.
std::string Utf8(const std::wstring& text);
std::wstring Wide(const std::string& utf8);
// The system's text for a Win32 error code ("system error N" when it has
// none).
std::string Why(DWORD error);

}  // namespace mobi::win32
