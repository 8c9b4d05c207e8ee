#include "rt/text.h"

#include <iconv.h>

#include <cerrno>
#include <charconv>
#include <limits>
#include <stdexcept>

namespace rt {

Text spaces(Long n) {
  return n > 0 ? Text(static_cast<std::size_t>(n), ' ') : Text();
}

Long byte_len(const Text& text) {
  constexpr auto max = static_cast<std::size_t>(std::numeric_limits<Long>::max());
  return static_cast<Long>(text.size() > max ? max : text.size());
}

Text long_to_text(Long value) {
  return std::to_string(value);
}

Text bool_to_text(bool value) {
  return value ? "true" : "false";
}

Long text_to_long(const Text& text) {
  std::string_view s(text);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) return 0;
  }
  Long value = 0;
  auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value, 10);
  if (s.empty() || ec != std::errc() || end != s.data() + s.size()) return 0;
  return value;
}

namespace {

// One conversion with iconv; an invalid or unmappable input sequence is
// replaced and skipped so that the rest still converts.
std::string convert(std::string_view in, const char* from, const char* to,
                    std::string_view replacement, std::size_t (*skip)(std::string_view)) {
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
      rest.remove_prefix(std::min(rest.size(), skip(rest)));
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

std::size_t skip_gbk(std::string_view s) {
  auto b = static_cast<unsigned char>(s[0]);
  if (b < 0x81 || b > 0xFE || s.size() < 2) return 1;
  auto t = static_cast<unsigned char>(s[1]);
  return (t >= 0x40 && t <= 0xFE && t != 0x7F) ? 2 : 1;
}

std::size_t skip_utf8(std::string_view s) {
  auto b = static_cast<unsigned char>(s[0]);
  std::size_t n = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
  for (std::size_t i = 1; i < n; ++i) {
    if (i >= s.size() || (static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) return i;
  }
  return n;
}

}  // namespace

std::string gbk_to_utf8(std::string_view gbk) {
  return convert(gbk, "CP936", "UTF-8", "\xEF\xBF\xBD", skip_gbk);
}

Text utf8_to_gbk(std::string_view utf8) {
  return convert(utf8, "UTF-8", "CP936", "?", skip_utf8);
}

}  // namespace rt
