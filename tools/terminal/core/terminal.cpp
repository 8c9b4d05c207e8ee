#include "terminal/core/terminal.h"

#include <algorithm>
#include <utility>

namespace mobi::terminal {

const char* FaultName(FaultRule::Kind kind) {
  switch (kind) {
    case FaultRule::Kind::kSplit:
      return "split";
    case FaultRule::Kind::kGlue:
      return "glue";
    case FaultRule::Kind::kStray:
      return "stray";
    case FaultRule::Kind::kDrop:
      return "drop";
    case FaultRule::Kind::kHangup:
      return "hangup";
  }
  return "?";
}

Duration ByteTime(int baud) {
  return std::chrono::duration_cast<Duration>(std::chrono::nanoseconds(10'000'000'000LL / baud));
}

Terminal::Terminal(TerminalConfig config, EventSink sink)
    : config_(std::move(config)), sink_(std::move(sink)) {}

void Terminal::Receive(TimePoint now, const Bytes& bytes) {
  if (hung_up_ || bytes.empty()) return;
  input_.insert(input_.end(), bytes.begin(), bytes.end());
  last_input_ = now;
  FrameInput(now, false);
}

std::optional<TimePoint> Terminal::NextDeadline() const {
  if (hung_up_) return std::nullopt;
  std::optional<TimePoint> next;
  if (!input_.empty()) next = last_input_ + config_.input_gap;
  if (!emissions_.empty() && (!next || emissions_.begin()->first < *next))
    next = emissions_.begin()->first;
  return next;
}

std::vector<Emission> Terminal::TakeDue(TimePoint now) {
  std::vector<Emission> due;
  if (hung_up_) return due;
  if (!input_.empty() && now >= last_input_ + config_.input_gap) FrameInput(now, true);
  while (!emissions_.empty() && emissions_.begin()->first <= now) {
    due.push_back(std::move(emissions_.begin()->second));
    emissions_.erase(emissions_.begin());
    if (due.back().hangup) {
      hung_up_ = true;
      emissions_.clear();
      input_.clear();
      break;
    }
  }
  return due;
}

void Terminal::FlushInput(TimePoint now) {
  if (!hung_up_ && !input_.empty()) FrameInput(now, true);
}

// Fixed-length requests are complete as soon as their two bytes are in; a
// request with a payload (and raw text) only once the line has been quiet.
void Terminal::FrameInput(TimePoint now, bool quiet) {
  while (!input_.empty()) {
    if (input_[0] == kFrameStart && input_.size() >= 2) {
      const size_t fixed = FixedRequestLength(input_[1]);
      if (fixed != 0) {
        Bytes frame(input_.begin(), input_.begin() + fixed);
        input_.erase(input_.begin(), input_.begin() + fixed);
        Answer(now, DecodeRequest(frame));
        continue;
      }
    }
    if (!quiet) return;
    Bytes frame;
    frame.swap(input_);
    // The request ended with its last byte, not when the gap was noticed.
    Answer(std::min(now, last_input_), DecodeRequest(frame));
  }
}

void Terminal::Answer(TimePoint end, const Request& request) {
  Event received;
  received.kind = Event::Kind::kReceived;
  received.at = end;
  received.request = request;
  if (sink_) sink_(received);
  if (config_.silent) return;
  TimePoint at = end;
  for (Planned& p : Replies(request)) {
    at += p.delay;
    Schedule(at, std::move(p.bytes), ++replies_planned_);
  }
}

std::vector<Terminal::Planned> Terminal::Replies(const Request& request) const {
  std::vector<Planned> out;
  const auto& c = config_;
  auto with_unknown_first = [&] {
    if (c.unknown_type) out.push_back({c.reply_delay, MakeReply(*c.unknown_type, "?")});
  };
  switch (request.kind) {
    case Request::Kind::kMobiCheck:
      with_unknown_first();
      out.push_back({c.reply_delay, MakeReply(kReplyText, c.check_text)});
      break;
    case Request::Kind::kMobiSignal:
      with_unknown_first();
      out.push_back({c.reply_delay, MakeReply(kReplyLevel, Bytes{c.level})});
      break;
    case Request::Kind::kSetMobiCode:
      with_unknown_first();
      out.push_back(
          {c.reply_delay,
           MakeReply(kReplyText, c.error_numbers.count(request.number) ? "ERROR" : "OK")});
      break;
    case Request::Kind::kSendSMS:
      with_unknown_first();
      if (c.error_numbers.count(request.number)) {
        out.push_back({c.reply_delay, MakeReply(kReplyStatus, "ERROR")});
        break;
      }
      out.push_back({c.reply_delay, MakeReply(kReplyStatus, "OK")});
      for (const std::string& text : c.error_texts)
        out.push_back({c.reply_delay, MakeReply(kReplyError, text)});
      out.push_back({c.centre_delay, MakeReply(kReplyStatus, "SEND OK")});
      if (!c.no_report) {
        const char* word = c.fail_numbers.count(request.number) ? "FAILURE" : "SUCCESS";
        out.push_back({c.report_delay, MakeReply(kReplyStatus, word + request.number)});
      }
      break;
    case Request::Kind::kMobiReset:
    case Request::Kind::kUnknown:
    case Request::Kind::kRaw:
      break;  // logged only
  }
  return out;
}

const FaultRule* Terminal::FaultFor(int reply_number, FaultRule::Kind kind) const {
  for (const FaultRule& f : config_.faults)
    if (f.kind == kind && f.Selects(reply_number)) return &f;
  return nullptr;
}

void Terminal::Note(std::vector<Event>& events, int reply_number, std::string text) {
  Event e;
  e.kind = Event::Kind::kFault;
  e.reply_number = reply_number;
  e.text = std::move(text);
  events.push_back(std::move(e));
}

void Terminal::Schedule(TimePoint at, Bytes bytes, int n) {
  const std::string which = "reply " + std::to_string(n) + " (" + DescribeReply(bytes) + ")";
  std::vector<Event> events;
  if (FaultFor(n, FaultRule::Kind::kHangup)) {
    Note(events, n, "hang-up instead of " + which);
    Event hangup;
    hangup.kind = Event::Kind::kHangup;
    hangup.reply_number = n;
    events.push_back(std::move(hangup));
    Put(at, {}, std::move(events), true);
    return;
  }
  if (FaultFor(n, FaultRule::Kind::kDrop)) {
    Note(events, n, "dropped " + which);
    Put(at, {}, std::move(events));
    return;
  }
  Event replied;
  replied.kind = Event::Kind::kReplied;
  replied.reply_number = n;
  replied.reply = bytes;
  if (FaultFor(n, FaultRule::Kind::kGlue)) {
    Note(held_events_, n, "held back " + which + " to glue it to the next reply");
    held_events_.push_back(std::move(replied));
    held_.insert(held_.end(), bytes.begin(), bytes.end());
    return;
  }
  if (!held_.empty()) {
    bytes.insert(bytes.begin(), held_.begin(), held_.end());
    held_.clear();
    events = std::move(held_events_);
    held_events_.clear();
    Note(events, n, "glued the held reply(s) in front of " + which);
  }
  if (const FaultRule* stray = FaultFor(n, FaultRule::Kind::kStray)) {
    std::vector<Event> note;
    Note(note, n, "stray bytes " + Hex(stray->stray) + " before " + which);
    at = Put(at, stray->stray, std::move(note)) + config_.fault_pause;
  }
  if (FaultFor(n, FaultRule::Kind::kSplit) && bytes.size() >= 2) {
    const size_t cut = bytes.size() / 2;
    std::vector<Event> note;
    Note(note, n,
         "split " + which + " after byte " + std::to_string(cut) + ", pause " +
             std::to_string(config_.fault_pause.count()) + " ms");
    at = Put(at, Bytes(bytes.begin(), bytes.begin() + cut), std::move(note)) + config_.fault_pause;
    bytes.erase(bytes.begin(), bytes.begin() + cut);
    events.push_back(std::move(replied));
    Put(at, bytes, std::move(events), false, true);
    return;
  }
  events.push_back(std::move(replied));
  Put(at, bytes, std::move(events));
}

TimePoint Terminal::Put(TimePoint at, const Bytes& bytes, std::vector<Event> events, bool hangup,
                        bool continues) {
  if (!config_.pace || bytes.empty()) {
    emissions_.emplace(at, Emission{at, bytes, hangup, std::move(events), continues});
    return at;
  }
  const Duration byte_time = ByteTime(config_.baud);
  const TimePoint start = std::max(at, line_free_);
  for (size_t i = 0; i < bytes.size(); ++i) {
    const TimePoint t = start + static_cast<int64_t>(i) * byte_time;
    Emission e{t, Bytes{bytes[i]}, false, {}, continues || i > 0};
    if (i + 1 == bytes.size()) e.events = std::move(events);
    emissions_.emplace(t, std::move(e));
  }
  line_free_ = start + static_cast<int64_t>(bytes.size()) * byte_time;
  return start + static_cast<int64_t>(bytes.size() - 1) * byte_time;
}

}  // namespace mobi::terminal
