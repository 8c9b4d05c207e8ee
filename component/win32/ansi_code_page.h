// The ANSI code page on Windows: the system's (CP_ACP).
//
// One byte, one character: 0x00-0x7F are ASCII; a byte that stands for a
// character on its own becomes that character; every other byte (a lead byte
// of a double-byte code page, an unassigned byte) becomes the private-use
// character U+F700 + byte, so that no byte of a reply is lost and each one
// stays recognisable. This is the same rule as the POSIX layer's.
#pragma once

#include <windows.h>

#include "core/platform.h"

namespace mobi::win32 {

class AnsiCodePage final : public core::AnsiCodePage {
 public:
  AnsiCodePage();

  char16_t CharOfByte(uint8_t byte) const override { return chars_[byte]; }
  std::optional<core::ByteArray> Encode(const std::u16string& text) const override;

 private:
  UINT codePage_;
  char16_t chars_[256];
};

}  // namespace mobi::win32
