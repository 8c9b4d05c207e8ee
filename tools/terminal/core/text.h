// Text helpers shared by the terminal simulator and the command-line tool:
// readable renderings of raw bytes, and the tools' UTF-8 <-> UTF-16
// conversion (tools/common/utf.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/utf.h"

namespace mobi::terminal {

using Bytes = std::vector<uint8_t>;

// The UTF-8 and UTF-16 conversions of all the tools.
using tools::Utf16BeToUtf16;
using tools::Utf16ToUtf8;
using tools::Utf8Error;
using tools::Utf8ToUtf16;

// "AA 02 31", upper-case hex pairs separated by blanks.
std::string Hex(const Bytes& bytes);

// Bytes as a quoted C-like literal: printable ASCII as is, the rest as \r, \n,
// \t or \xHH; quotes and backslashes escaped.
std::string Quoted(const Bytes& bytes);
std::string Quoted(std::string_view text);

}  // namespace mobi::terminal
