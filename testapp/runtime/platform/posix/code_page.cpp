// Code page 936 through iconv.
#include "rt/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace rt::code_page {

std::string convert(std::string_view in, Direction direction) {
  const bool to_utf8 = direction == Direction::GbkToUtf8;
  const char* from = to_utf8 ? "CP936" : "UTF-8";
  const char* to = to_utf8 ? "UTF-8" : "CP936";
  const std::string_view replacement = to_utf8 ? "\xEF\xBF\xBD" : "?";
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    throw std::runtime_error(std::string("text conversion ") + from + " to " + to +
                             " is not available");
  }
  std::string out;
  out.reserve(in.size() * 2);
  char buf[256];
  std::string_view rest = in;
  while (!rest.empty()) {
    char* src = const_cast<char*>(rest.data());
    std::size_t src_left = rest.size();
    char* dst = buf;
    std::size_t dst_left = sizeof buf;
    std::size_t r = iconv(cd, &src, &src_left, &dst, &dst_left);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    rest = std::string_view(src, src_left);
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // EILSEQ or EINVAL (truncated sequence at the end): replace one character.
      out.append(replacement);
      std::size_t skip = to_utf8 ? gbk_char_length(rest) : utf8_char_length(rest);
      rest.remove_prefix(std::min(rest.size(), skip));
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace rt::code_page
