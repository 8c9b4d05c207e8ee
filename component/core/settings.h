// The serial settings string "baud,parity,data,stop" (for example
// "9600,n,8,1"), as both platform layers accept it, and the quiet-gap rule
// that decides when received bytes are handed over as one reply.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace mobi::core {

struct LineSettings {
  int32_t baud = 9600;
  char parity = 'n';    // one of n, e, o, m, s (lower case)
  int dataBits = 8;     // 4 to 8
  double stopBits = 1;  // 1, 1.5 or 2
};

// Parses a settings string: four fields separated by commas, blanks around a
// field allowed; parity letters in either case. Throws mobi::Error 380
// ("Invalid property value") naming the field that is wrong.
LineSettings ParseSettings(const std::u16string& settings);

// Bits on the line per character: start bit, data bits, parity bit, stop bits.
double BitsPerCharacter(const LineSettings& settings);

// The time the line takes for `bytes` characters at these settings.
std::chrono::nanoseconds LineTime(const LineSettings& settings, std::size_t bytes);

// The serial layer hands received bytes over as one reply once the line has
// been quiet this long: three character times at the line's speed, but never
// less than 5 ms, so that a reply paced at line rate arrives whole while a
// fast line still answers within a few milliseconds.
std::chrono::nanoseconds QuietGap(const LineSettings& settings);

inline constexpr std::chrono::milliseconds kQuietGapFloor{5};

}  // namespace mobi::core
