// UTF-8 <-> UTF-16 conversion for the tools (their command lines and the
// terminal simulator's frames).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mobi::tools {

// Where a UTF-8 string stops being valid.
struct Utf8Error {
  size_t offset;  // byte offset of the first invalid sequence
};

// UTF-8 to UTF-16 (characters above U+FFFF become surrogate pairs). Fails on
// malformed input (bad lead or continuation bytes, overlong forms, encoded
// surrogates, values above U+10FFFF), reporting the offset.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8, Utf8Error* error = nullptr);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view utf16);

// A JSON string literal of UTF-8 text: quotes, backslashes and control
// characters escaped; every byte that does not belong to a valid UTF-8
// sequence becomes \uFFFD, one per byte, so the literal is valid JSON in
// valid UTF-8 whatever the text held.
std::string JsonString(std::string_view utf8);

// UTF-16 big-endian bytes (two per code unit, high byte first) to UTF-16; a
// trailing odd byte is ignored.
std::u16string Utf16BeToUtf16(const uint8_t* data, size_t size);

}  // namespace mobi::tools
