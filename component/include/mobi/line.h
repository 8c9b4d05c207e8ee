// The serial line's facts as the component applies them, for tools that
// check settings or watch the line: the settings string, what this
// platform's serial layer sets, and the quiet-gap rule that decides when
// received bytes are handed over as one reply.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mobi/clsSMS.h"
#include "mobi/export.h"

namespace mobi::line {

// A settings string "baud,parity,data,stop", for example "9600,n,8,1".
struct Settings {
  int32_t baud = 9600;
  char parity = 'n';    // one of n, e, o, m, s (lower case)
  int dataBits = 8;     // 4 to 8
  double stopBits = 1;  // 1, 1.5 or 2
};

// Parses a settings string: four fields separated by commas, blanks around a
// field allowed, parity letters in either case. Throws mobi::Error 380
// naming the field that is wrong.
MOBI_API Settings ParseSettings(const std::string& settings);

// The quiet gaps: received bytes that form a reply known to be whole go
// once the line has been quiet for `whole`, anything else after `other`.
struct Gaps {
  std::chrono::nanoseconds whole{};
  std::chrono::nanoseconds other{};
};
// `forwarding`: the interval at which the device forwards what it received,
// as it reports it (ReportedForwarding), or zero.
MOBI_API Gaps QuietGaps(const Settings& settings,
                        std::chrono::nanoseconds forwarding = std::chrono::nanoseconds(0));
// The gaps in use for the component's open port; nothing while it is closed.
MOBI_API std::optional<Gaps> OpenPortGaps();

// Whether `received` is a reply the component knows to be whole, for a send
// to `destination` (empty outside a send).
MOBI_API bool IsWholeReply(const std::vector<uint8_t>& received, const std::u16string& destination);
// The length of the reply known to be whole that `received` begins with: all
// of it when it is one, the first reply's when the start of another follows
// it (the component then hands the two over one by one), 0 when none.
MOBI_API std::size_t WholeReplyLength(const std::vector<uint8_t>& received,
                                      const std::u16string& destination);
// How long `received` waits for the line to be quiet before it is handed
// over, for a send to `destination`.
MOBI_API std::chrono::nanoseconds GapFor(const Gaps& gaps, const std::vector<uint8_t>& received,
                                         const std::u16string& destination);

// The first failure that the last Initialize ignored (a port that did not
// open, settings it refused); nothing if every step succeeded.
MOBI_API std::optional<Error> LastInitializeFailure();

#ifndef _WIN32
// Throws mobi::Error 8015, as opening the port would, for settings this
// system's serial layer cannot set (a speed it has no code for, 4 data bits).
MOBI_API void CheckSupported(const Settings& settings);
// Sets the open descriptor `fd` of a serial device to raw binary mode with
// `settings`, exactly as the component sets its port, and asks the driver
// for low latency where it has it. Throws mobi::Error 8015.
MOBI_API void Configure(int fd, const Settings& settings);
// The forwarding interval that the serial device at `path` reports (a USB
// adapter's latency timer); zero if it reports none.
MOBI_API std::chrono::nanoseconds ReportedForwarding(const std::string& path);
#endif

}  // namespace mobi::line
