// What the project's own tools and benchmark reach inside the component: the
// line's facts as the component applies them (the settings string, what this
// platform's serial layer sets, the quiet gaps of the open port), the first
// failure Initialize ignored, and how a wait sleeps. Not installed and not
// exported from the shared library: the tools link the component's object
// libraries (target mobi_tool_hooks). The reply assembler itself is
// core/reply_assembler.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "core/reply_assembler.h"
#include "core/settings.h"
#include "mobi/clsSMS.h"

namespace mobi {

// true (the default): a wait sleeps until the first handled reply or the end
// of its budget. false: it runs in 10 ms steps, each sleeping its whole 10 ms
// and only then handling what came, the way a plain sleep-then-process loop
// behaves. The counted milliseconds are the same either way; only latency,
// wake-ups and processor time differ. For the benchmark.
void SetWaitStepEarlyEnd(bool early);

namespace line {

// A settings string "baud,parity,data,stop", for example "9600,n,8,1".
using Settings = core::LineSettings;
using Gaps = core::QuietGaps;

// Parses a settings string: four fields separated by commas, blanks around a
// field allowed, parity letters in either case. Throws mobi::Error 380
// naming the field that is wrong.
Settings ParseSettings(const std::string& settings);

// `forwarding`: the interval at which the device forwards what it received,
// as it reports it (ReportedForwarding), or zero.
inline Gaps QuietGaps(const Settings& settings,
                      std::chrono::nanoseconds forwarding = std::chrono::nanoseconds(0)) {
  return core::QuietGapsOf(settings, forwarding);
}
// The gaps in use for the component's open port; nothing while it is closed.
std::optional<Gaps> OpenPortGaps();

// A reply assembler that cuts replies as the component does, for a send to
// `destination` (empty outside a send).
core::ReplyAssembler ReplyAssemblerFor(Gaps gaps, std::u16string destination);

// The first failure that the last Initialize ignored (a port that did not
// open, settings it refused); nothing if every step succeeded.
std::optional<Error> LastInitializeFailure();

#ifndef _WIN32
// Throws mobi::Error 8015, as opening the port would, for settings this
// system's serial layer cannot set (a speed it has no code for, 4 data bits).
void CheckSupported(const Settings& settings);
// Sets the open descriptor `fd` of a serial device to raw binary mode with
// `settings`, exactly as the component sets its port, and asks the driver
// for low latency where it has it. Throws mobi::Error 8015.
void Configure(int fd, const Settings& settings);
// The forwarding interval that the serial device at `path` reports (a USB
// adapter's latency timer); zero if it reports none.
std::chrono::nanoseconds ReportedForwarding(const std::string& path);
#endif

}  // namespace line
}  // namespace mobi
