// Code page 936 through the system's tables (MultiByteToWideChar and
// WideCharToMultiByte), one character at a time so that an invalid or
// unmappable one is replaced and the rest still converts.
#include "rt/code_page.h"

#include <windows.h>

namespace rt::code_page {

namespace {

constexpr UINT gbk = 936;

// One character of `cp` to UTF-16; false when it is not valid there.
bool widen(UINT cp, std::string_view one, std::wstring& out) {
  wchar_t w[4];
  int n =
      MultiByteToWideChar(cp, MB_ERR_INVALID_CHARS, one.data(), static_cast<int>(one.size()), w, 4);
  if (n <= 0) return false;
  out.append(w, static_cast<std::size_t>(n));
  return true;
}

// UTF-16 to `cp`; false when a character has no form there.
bool narrow(UINT cp, const std::wstring& w, std::string& out) {
  BOOL used_default = FALSE;
  const bool utf8 = cp == CP_UTF8;
  char buf[16];
  int n =
      WideCharToMultiByte(cp, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()),
                          buf, sizeof buf, nullptr, utf8 ? nullptr : &used_default);
  if (n <= 0 || used_default) return false;
  out.append(buf, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

std::string convert(std::string_view in, Direction direction) {
  const bool to_utf8 = direction == Direction::GbkToUtf8;
  const UINT from = to_utf8 ? gbk : CP_UTF8;
  const UINT to = to_utf8 ? CP_UTF8 : gbk;
  const std::string_view replacement = to_utf8 ? "\xEF\xBF\xBD" : "?";
  std::string out;
  out.reserve(in.size() * 2);
  std::string_view rest = in;
  while (!rest.empty()) {
    const auto b = static_cast<unsigned char>(rest[0]);
    if (b < 0x80) {  // ASCII is the same in both
      out.push_back(rest[0]);
      rest.remove_prefix(1);
      continue;
    }
    const std::size_t len = to_utf8 ? gbk_char_length(rest) : utf8_char_length(rest);
    std::wstring w;
    if (!widen(from, rest.substr(0, len), w) || !narrow(to, w, out)) out.append(replacement);
    rest.remove_prefix(len);
  }
  return out;
}

}  // namespace rt::code_page
