#include "terminal/core/text.h"

#include <cstdio>

namespace mobi::terminal {

std::string Hex(const Bytes& bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
    if (i) out.push_back(' ');
    out += buf;
  }
  return out;
}

namespace {
std::string QuotedRange(const uint8_t* data, size_t size) {
  std::string out = "\"";
  char buf[8];
  for (size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    switch (b) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (b >= 0x20 && b < 0x7F) {
          out.push_back(static_cast<char>(b));
        } else {
          std::snprintf(buf, sizeof buf, "\\x%02X", b);
          out += buf;
        }
    }
  }
  return out + "\"";
}
}  // namespace

std::string Quoted(const Bytes& bytes) {
  return QuotedRange(bytes.data(), bytes.size());
}

std::string Quoted(std::string_view text) {
  return QuotedRange(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

}  // namespace mobi::terminal
