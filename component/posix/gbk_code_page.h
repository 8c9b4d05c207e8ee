// The ANSI code page on POSIX: GBK (code page 936), fixed, through iconv.
//
// One byte, one character: 0x00-0x7F are ASCII, 0x80 is the euro sign as in
// code page 936, and every other byte (0x81-0xFF, lead bytes that stand for
// nothing on their own) becomes the private-use character U+F700 + byte, so
// that no byte of a reply is lost and each one stays recognisable.
#pragma once

#include <iconv.h>

#include "core/platform.h"

namespace mobi::posix {

class GbkCodePage final : public core::AnsiCodePage {
 public:
  GbkCodePage();
  ~GbkCodePage() override;

  char16_t CharOfByte(uint8_t byte) const override { return chars_[byte]; }
  std::optional<core::ByteArray> Encode(const std::u16string& text) const override;

 private:
  iconv_t encoder_;
  char16_t chars_[256];
};

}  // namespace mobi::posix
