// Turns the bytes a serial line received, each read with the time it
// arrived, into whole replies by the quiet-gap rule (settings.h). It has no
// clock and does no I/O: the serial controls and the tools' line watch read
// and time-stamp the bytes, feed them here, arm one timer at Deadline() and
// take what is ready when it runs out.
//
// - Held bytes that form a reply known to be whole go once the line has been
//   quiet for the short gap; anything else waits for the long gap.
// - Bytes read after the held ones have been quiet for their gap begin a new
//   reply, however late they are taken.
// - A whole reply followed by the start of another (read together, or sent
//   with less than a gap between them) goes by itself; the rest follows by
//   its own gap.
// - Held input that reaches the cap goes at once.
// - At a hang-up, everything held goes, one reply at a time.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <optional>
#include <span>

#include "core/platform.h"
#include "core/settings.h"

namespace mobi::core {

class ReplyAssembler {
 public:
  // The length of the reply known to be whole that `received` begins with:
  // all of it when it is one, the first reply's when the start of another
  // follows, 0 when it begins with none (see protocol.h).
  using WholeReply = std::function<std::size_t(std::span<const uint8_t> received)>;

  ReplyAssembler(QuietGaps gaps, std::size_t cap, WholeReply whole);

  void SetGaps(QuietGaps gaps) { gaps_ = gaps; }
  QuietGaps Gaps() const { return gaps_; }

  // Bytes read at `at` (arrival times never go back).
  void Add(std::span<const uint8_t> bytes, TimePoint at);
  // The line ended: everything held is ready.
  void EndOfLine();
  // The next reply ready at `now`; empty when none is.
  ByteArray Take(TimePoint now);
  // When the next reply is ready if nothing more arrives (already passed
  // when one is ready now); nothing when no byte is held.
  std::optional<TimePoint> Deadline() const;
  bool Empty() const { return ready_.empty() && held_.empty(); }
  void Clear();

 private:
  std::chrono::nanoseconds GapFor(const ByteArray& held) const;
  // Moves whole replies that another follows from the front of held_ to
  // ready_.
  void SplitWhole();

  QuietGaps gaps_;
  std::size_t cap_;
  WholeReply whole_;
  std::deque<ByteArray> ready_;  // whole replies, oldest first
  ByteArray held_;               // the reply still being received
  TimePoint last_{};             // when the last held byte came
};

}  // namespace mobi::core
