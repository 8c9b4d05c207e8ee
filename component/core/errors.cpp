#include "core/errors.h"

namespace mobi {

const char* StandardText(int32_t number) {
  switch (number) {
#define MOBI_ERROR_TEXT(name, number, text) \
  case name:                                \
    return text;
    MOBI_ERROR_TABLE(MOBI_ERROR_TEXT)
#undef MOBI_ERROR_TEXT
    default:
      return "Unknown error";
  }
}

}  // namespace mobi

namespace mobi::core {

void Raise(int32_t number, const std::string& detail) {
  std::string text = StandardText(number);
  if (!detail.empty()) text += ": " + detail;
  throw Error(number, text);
}

}  // namespace mobi::core
