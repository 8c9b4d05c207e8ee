#include "rt/text.h"

#include "rt/code_page.h"

#include <charconv>
#include <limits>

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

std::string gbk_to_utf8(std::string_view gbk) {
  return code_page::convert(gbk, code_page::Direction::GbkToUtf8);
}

Text utf8_to_gbk(std::string_view utf8) {
  return code_page::convert(utf8, code_page::Direction::Utf8ToGbk);
}

}  // namespace rt
