#include "core/reply_assembler.h"

#include <utility>

namespace mobi::core {

ReplyAssembler::ReplyAssembler(QuietGaps gaps, std::size_t cap, WholeReply whole)
    : gaps_(gaps), cap_(cap), whole_(std::move(whole)) {}

std::chrono::nanoseconds ReplyAssembler::GapFor(const ByteArray& held) const {
  return gaps_.For(whole_(held), held.size());
}

void ReplyAssembler::SplitWhole() {
  for (;;) {
    const std::size_t n = whole_(held_);
    if (n == 0 || n >= held_.size()) return;
    ready_.emplace_back(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(n));
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(n));
  }
}

void ReplyAssembler::Add(std::span<const uint8_t> bytes, TimePoint at) {
  if (bytes.empty()) return;
  if (!held_.empty() && (held_.size() >= cap_ || at - last_ >= GapFor(held_))) {
    ready_.push_back(std::exchange(held_, {}));
  }
  held_.insert(held_.end(), bytes.begin(), bytes.end());
  last_ = at;
  SplitWhole();
}

void ReplyAssembler::EndOfLine() {
  if (!held_.empty()) ready_.push_back(std::exchange(held_, {}));
}

ByteArray ReplyAssembler::Take(TimePoint now) {
  if (ready_.empty() && !held_.empty() && (held_.size() >= cap_ || now - last_ >= GapFor(held_))) {
    ready_.push_back(std::exchange(held_, {}));
  }
  if (ready_.empty()) return {};
  ByteArray reply = std::move(ready_.front());
  ready_.pop_front();
  return reply;
}

std::optional<TimePoint> ReplyAssembler::Deadline() const {
  if (!ready_.empty()) return last_;  // passed already
  if (held_.empty()) return std::nullopt;
  if (held_.size() >= cap_) return last_;
  return last_ + GapFor(held_);
}

void ReplyAssembler::Clear() {
  ready_.clear();
  held_.clear();
}

}  // namespace mobi::core
