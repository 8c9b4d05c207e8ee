#include "posix/gbk_code_page.h"

#include <cerrno>
#include <system_error>

namespace mobi::posix {

GbkCodePage::GbkCodePage() {
  encoder_ = iconv_open("CP936", "UTF-16LE");
  if (encoder_ == reinterpret_cast<iconv_t>(-1)) {
    throw std::system_error(errno, std::generic_category(), "iconv_open CP936");
  }
  iconv_t decoder = iconv_open("UTF-16LE", "CP936");
  if (decoder == reinterpret_cast<iconv_t>(-1)) {
    throw std::system_error(errno, std::generic_category(), "iconv_open CP936");
  }
  for (int b = 0; b < 256; ++b) {
    char in = static_cast<char>(b);
    char16_t out = 0;
    char* inPtr = &in;
    char* outPtr = reinterpret_cast<char*>(&out);
    std::size_t inLeft = 1, outLeft = sizeof out;
    iconv(decoder, nullptr, nullptr, nullptr, nullptr);
    const bool single =
        iconv(decoder, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) &&
        inLeft == 0 && outLeft == 0;
    chars_[b] = b < 0x80 ? static_cast<char16_t>(b)
                : single ? out
                         : static_cast<char16_t>(0xF700 + b);
  }
  iconv_close(decoder);
}

GbkCodePage::~GbkCodePage() {
  iconv_close(encoder_);
}

std::optional<core::ByteArray> GbkCodePage::Encode(const std::u16string& text) const {
  core::ByteArray out(text.size() * 2 + 4);
  char* inPtr = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
  char* outPtr = reinterpret_cast<char*>(out.data());
  std::size_t inLeft = text.size() * sizeof(char16_t), outLeft = out.size();
  iconv(encoder_, nullptr, nullptr, nullptr, nullptr);
  if (iconv(encoder_, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) ||
      inLeft != 0) {
    return std::nullopt;
  }
  out.resize(out.size() - outLeft);
  return out;
}

}  // namespace mobi::posix
