// The terminal's side of the frame protocol, free of system calls: it frames
// the bytes it receives into requests, chooses its replies, and schedules
// them (with the configured delays, line-rate pacing and injected faults) as
// timed emissions. A driver feeds it bytes and the time, and writes what falls
// due; tests drive it with a virtual clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "terminal/core/protocol.h"
#include "terminal/core/text.h"

namespace mobi::terminal {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Duration = Clock::duration;
using Millis = std::chrono::milliseconds;

// A fault injected into selected replies (numbered 1, 2, ... in the order the
// terminal plans them over its whole run).
struct FaultRule {
  enum class Kind {
    kSplit,   // the reply goes out in two writes, `pause` apart
    kGlue,    // the reply is held back and goes out in one write with the next one
    kStray,   // `stray` bytes go out alone, `pause` before the reply
    kDrop,    // the reply is never sent
    kHangup,  // instead of the reply the terminal hangs up the line
  };
  Kind kind = Kind::kSplit;
  std::set<int> replies;  // empty: every reply
  Bytes stray{0xFF};

  bool Selects(int reply_number) const {
    return replies.empty() || replies.count(reply_number) != 0;
  }
};

const char* FaultName(FaultRule::Kind kind);

struct TerminalConfig {
  uint8_t level = 23;                         // MobiSignal answer
  std::string check_text = "MOBI-SIM READY";  // MobiCheck answer (bytes as given)
  Millis reply_delay{20};                     // request to first reply; also between type 0 texts
  Millis centre_delay{100};                   // "OK" to "SEND OK"
  Millis report_delay{300};                   // "SEND OK" to the delivery report
  std::set<std::string> fail_numbers;         // sends to these get "FAILURE" + number
  std::set<std::string> error_numbers;        // sends to (or centre set to) these get "ERROR"
  bool silent = false;                        // no answer to anything
  bool no_report = false;                     // sends get "OK", "SEND OK" and no report
  std::vector<std::string> error_texts;       // type 0 texts sent during every send, after "OK"
  std::optional<uint8_t> unknown_type;        // a reply of this type goes before every answer
  bool pace = false;                          // bytes go out at the line rate of `baud`
  int baud = 9600;                            // line rate for pacing (10 bits per byte)
  Millis fault_pause{20};                     // pause of split and stray faults
  Millis input_gap{5};                        // quiet line that ends a request of variable length
  std::vector<FaultRule> faults;
};

// Time one byte takes on the line at `baud` (start, 8 data, stop bits).
Duration ByteTime(int baud);

// Something the terminal did, for its log and for observers.
struct Event {
  enum class Kind {
    kReceived,  // a request (or raw text) was received; `request` is set
    kReplied,   // the last byte of a reply was written; `reply` is set
    kFault,     // a fault was applied; `text` says which
    kHangup,    // the terminal hung up the line
    kError,     // the driver could not do its part (lost bytes, a failed call); `text` says what
  };
  Kind kind = Kind::kReceived;
  TimePoint at{};  // filled in by whoever reports it
  int reply_number = 0;
  Request request;
  Bytes reply;
  std::string text;
  Duration late{};  // a kFault for a late write: how far behind the line rate
};

// Bytes due on the line at `at`, written in one write. `events` are reported
// once they are written.
struct Emission {
  TimePoint at{};
  Bytes bytes;
  bool hangup = false;
  std::vector<Event> events;
  // The bytes continue a reply already on the line: leaving late would put a
  // gap into the middle of it.
  bool continues = false;
};

class Terminal {
 public:
  using EventSink = std::function<void(const Event&)>;

  // `sink` receives kReceived events at once, from Receive and TakeDue.
  Terminal(TerminalConfig config, EventSink sink);

  // Bytes read from the line at `now`.
  void Receive(TimePoint now, const Bytes& bytes);
  // When TakeDue must next be called: the end of a pending request's quiet
  // gap or the first planned emission; nothing when idle.
  std::optional<TimePoint> NextDeadline() const;
  // Completes requests whose quiet gap has passed at `now` and returns every
  // emission due at `now`, in order.
  std::vector<Emission> TakeDue(TimePoint now);

  // Takes whatever input is pending as complete (the terminal is stopping).
  void FlushInput(TimePoint now);

  bool hung_up() const { return hung_up_; }
  const TerminalConfig& config() const { return config_; }

 private:
  struct Planned {
    Millis delay;  // after the previous reply of the same answer
    Bytes bytes;
  };
  void FrameInput(TimePoint now, bool quiet);
  void Answer(TimePoint now, const Request& request);
  std::vector<Planned> Replies(const Request& request) const;
  void Schedule(TimePoint at, Bytes bytes, int reply_number);
  // Puts bytes on the line from `at` (paced or in one write); returns when the
  // last byte leaves.
  TimePoint Put(TimePoint at, const Bytes& bytes, std::vector<Event> events, bool hangup = false,
                bool continues = false);
  const FaultRule* FaultFor(int reply_number, FaultRule::Kind kind) const;
  void Note(std::vector<Event>& events, int reply_number, std::string text);

  TerminalConfig config_;
  EventSink sink_;
  Bytes input_;
  TimePoint last_input_{};
  std::multimap<TimePoint, Emission> emissions_;
  TimePoint line_free_{};  // when the last paced byte leaves
  int replies_planned_ = 0;
  Bytes held_;  // a glued reply waiting for the next one
  std::vector<Event> held_events_;
  bool hung_up_ = false;
};

}  // namespace mobi::terminal
