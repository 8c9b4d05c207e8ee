#include "win32/ansi_code_page.h"

namespace mobi::win32 {

AnsiCodePage::AnsiCodePage() : codePage_(GetACP()) {
  for (int b = 0; b < 256; ++b) {
    const char in = static_cast<char>(b);
    wchar_t out[2] = {};
    const int n =
        b < 0x80 ? 0 : MultiByteToWideChar(codePage_, MB_ERR_INVALID_CHARS, &in, 1, out, 2);
    chars_[b] = b < 0x80 ? static_cast<char16_t>(b)
                : n == 1 ? static_cast<char16_t>(out[0])
                         : static_cast<char16_t>(0xF700 + b);
  }
}

std::optional<core::ByteArray> AnsiCodePage::Encode(const std::u16string& text) const {
  if (text.empty()) return core::ByteArray{};
  const auto* in = reinterpret_cast<const wchar_t*>(text.data());
  const int length = static_cast<int>(text.size());
  // UTF-8 and the other code pages without a default character take no
  // "used default" flag; there, a character without a code fails the call.
  const bool flagged = codePage_ != CP_UTF8 && codePage_ != CP_UTF7;
  const DWORD flags = flagged ? WC_NO_BEST_FIT_CHARS : WC_ERR_INVALID_CHARS;
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(codePage_, flags, in, length, nullptr, 0, nullptr,
                                    flagged ? &usedDefault : nullptr);
  if (n <= 0 || usedDefault) return std::nullopt;
  core::ByteArray out(static_cast<size_t>(n));
  WideCharToMultiByte(codePage_, flags, in, length, reinterpret_cast<char*>(out.data()), n, nullptr,
                      flagged ? &usedDefault : nullptr);
  if (usedDefault) return std::nullopt;
  return out;
}

}  // namespace mobi::win32
