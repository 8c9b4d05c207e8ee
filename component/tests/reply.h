// Bytes as the terminal sends them, for the component's tests: written out
// here rather than taken from the component's own constants, so that a wrong
// constant there shows.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace mobi::test {

// Bytes of a string of ASCII characters.
inline std::vector<uint8_t> Ascii(std::string_view text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

// A reply chunk: start byte 0xAA, the type, then the ASCII payload.
inline std::vector<uint8_t> Reply(uint8_t type, std::string_view payload = {}) {
  std::vector<uint8_t> out(payload.size() + 2);
  out[0] = 0xAA;
  out[1] = type;
  std::copy(payload.begin(), payload.end(), out.begin() + 2);
  return out;
}

}  // namespace mobi::test
