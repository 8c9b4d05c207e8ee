// Text helpers shared by the modem driver: the UCS2 hex form in which GSM
// modems carry Unicode text (AT+CSCS="UCS2"), UTF-8, and GBK character
// boundaries. Pure functions, no platform calls.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace smsdll {

// "4F60597D" for u"你好": four upper-case hex digits per UTF-16 code unit.
std::string Ucs2HexEncode(std::u16string_view text);

// The inverse; nullopt when the text is not a whole number of four-digit
// hex groups.
std::optional<std::u16string> Ucs2HexDecode(std::string_view hex);

// UTF-8 to UTF-16; nullopt on malformed UTF-8.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// The length of the longest prefix of a GBK text that is at most max_bytes
// long and ends on a character boundary (a lead byte 0x81-0xFE and its trail
// byte are never split).
std::size_t GbkPrefixLength(std::string_view gbk, std::size_t max_bytes);

}  // namespace smsdll
