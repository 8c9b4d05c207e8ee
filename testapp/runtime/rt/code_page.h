// Conversions between code page 936 (GBK) and UTF-8: the one service of the
// text layer that the platform supplies (iconv on POSIX, the system's code
// page tables on Windows). The core only calls convert().
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace rt::code_page {

enum class Direction { GbkToUtf8, Utf8ToGbk };

// Converts the whole text. A sequence that is not valid in the source, or
// that the target cannot hold, becomes one replacement (U+FFFD in UTF-8, '?'
// in GBK) and the conversion goes on after it. Throws std::runtime_error when
// the platform has no such conversion.
std::string convert(std::string_view in, Direction direction);

// The length of the character at the start of `s` (not empty), as the
// conversion skips it when it is invalid.
inline std::size_t gbk_char_length(std::string_view s) {
  auto b = static_cast<unsigned char>(s[0]);
  if (b < 0x81 || b > 0xFE || s.size() < 2) return 1;
  auto t = static_cast<unsigned char>(s[1]);
  return (t >= 0x40 && t <= 0xFE && t != 0x7F) ? 2 : 1;
}

inline std::size_t utf8_char_length(std::string_view s) {
  auto b = static_cast<unsigned char>(s[0]);
  std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  for (std::size_t i = 1; i < n; ++i) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return i;
  }
  return n;
}

}  // namespace rt::code_page
