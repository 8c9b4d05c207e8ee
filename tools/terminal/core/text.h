// Text helpers shared by the terminal simulator and the command-line tool:
// UTF-8 <-> UTF-16 conversion and readable renderings of raw bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mobi::terminal {

using Bytes = std::vector<uint8_t>;

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

// UTF-16 big-endian bytes (two per code unit, high byte first) to UTF-16; a
// trailing odd byte is ignored.
std::u16string Utf16BeToUtf16(const uint8_t* data, size_t size);

// "AA 02 31", upper-case hex pairs separated by blanks.
std::string Hex(const Bytes& bytes);

// Bytes as a quoted C-like literal: printable ASCII as is, the rest as \r, \n,
// \t or \xHH; quotes and backslashes escaped.
std::string Quoted(const Bytes& bytes);
std::string Quoted(std::string_view text);

}  // namespace mobi::terminal
