#include "platform/win32/wide_text.h"

#include <windows.h>

namespace rt::wide_text {

std::wstring from_utf8(std::string_view utf8) {
  const int size = static_cast<int>(utf8.size());
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, w.data(), n);
  return w;
}

std::string to_utf8(std::wstring_view wide) {
  const int size = static_cast<int>(wide.size());
  int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, s.data(), n, nullptr, nullptr);
  return s;
}

}  // namespace rt::wide_text
