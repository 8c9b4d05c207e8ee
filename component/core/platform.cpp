#include "core/platform.h"

namespace mobi::core {

std::optional<uint32_t> AnsiCodePage::CodeOfChar(char16_t c) const {
  if (c < 0x80) return c;
  auto bytes = Encode(std::u16string(1, c));
  if (!bytes || bytes->empty() || bytes->size() > 2) return std::nullopt;
  return bytes->size() == 1 ? (*bytes)[0] : ((*bytes)[0] << 8) | (*bytes)[1];
}

}  // namespace mobi::core
