// The serial settings string "baud,parity,data,stop" (for example
// "9600,n,8,1"), as both platform layers accept it, and the quiet-gap rule
// that decides when received bytes are handed over as one reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace mobi::core {

// A settings string "baud,parity,data,stop", for example "9600,n,8,1".
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

// The quiet-gap rule: when the serial layer hands received bytes over as one
// reply (the one place this is decided; both serial controls and the tools'
// line watch follow it).
//
// - Bytes that form a reply the form knows to be whole
//   (SerialControl::WholeReply) go once the line has been quiet for the
//   short gap: three character times at the line's speed, never less than
//   5 ms, so that a reply paced at line rate arrives whole while a fast line
//   answers within a few milliseconds.
// - Anything else waits for the long gap, which also covers a USB adapter's
//   forwarding: such an adapter hands what it received to the host in bursts
//   up to its forwarding interval apart (its latency timer, 16 ms by default
//   for FTDI). The long gap is that interval (the device's own where it
//   reports one, never less than 16 ms) plus 9 ms for the host's scheduling,
//   and never less than the short gap.
// - Input of a full buffer goes at once.
// - Bytes that begin with a whole reply followed by the start of another
//   (two replies read together) go at once, as two replies: the first, then
//   the rest by these rules.
// - Bytes read after the held ones have been quiet for their gap begin a new
//   reply, even when the gap's timer is handled late.
struct QuietGaps {
  std::chrono::nanoseconds whole;  // for a reply known to be whole
  std::chrono::nanoseconds other;  // for anything else

  // The gap for `size` held bytes that begin with a whole reply of
  // `wholeLength` bytes (0: none).
  std::chrono::nanoseconds For(std::size_t wholeLength, std::size_t size) const {
    if (wholeLength == 0) return other;
    return wholeLength < size ? std::chrono::nanoseconds(0) : whole;
  }
};

inline constexpr std::chrono::milliseconds kQuietGapFloor{5};
inline constexpr std::chrono::milliseconds kAdapterForwarding{16};
inline constexpr std::chrono::milliseconds kForwardingMargin{9};

// `forwarding`: the interval the device reports, or zero if it reports none.
QuietGaps QuietGapsOf(const LineSettings& settings,
                      std::chrono::nanoseconds forwarding = std::chrono::nanoseconds(0));

// The short gap alone.
std::chrono::nanoseconds QuietGap(const LineSettings& settings);

}  // namespace mobi::core
