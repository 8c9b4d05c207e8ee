// Texts and the conversions the application asks of its runtime.
//
// A text is a byte string in code page 936 (GBK), exactly as the application
// stores it; lengths are byte lengths. The layer converts texts to UTF-8 only
// where they meet the screen.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace rt {

using Long = std::int32_t;  // the runtime's long: 32-bit signed
using Text = std::string;   // bytes in code page 936

// A text of n spaces; an empty text when n is 0 or negative.
Text spaces(Long n);

// The length of a text in bytes (a Chinese character in GBK counts 2).
// Texts longer than the largest long are not representable by the runtime;
// their length is clamped to that largest long.
Long byte_len(const Text& text);

// Decimal digits, a leading minus sign for a negative value.
Text long_to_text(Long value);

// "true" or "false".
Text bool_to_text(bool value);

// A text read as a signed decimal number: optional spaces, an optional sign
// ('+' or '-'), one or more digits, optional spaces. Any other text (empty,
// letters, a decimal point, digits mixed with letters) gives 0, and so does a
// number outside the 32-bit range (it is not wrapped and not clamped).
Long text_to_long(const Text& text);

// GBK to UTF-8 for display. A byte sequence that is not valid GBK is shown as
// U+FFFD; nothing of the rest is lost.
std::string gbk_to_utf8(std::string_view gbk);

// UTF-8 typed by the operator to GBK for storage. A character that GBK cannot
// hold is stored as '?'; an invalid UTF-8 byte likewise.
Text utf8_to_gbk(std::string_view utf8);

}  // namespace rt
