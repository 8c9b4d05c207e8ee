#include "terminal/core/log.h"

#include <cstdio>

namespace mobi::terminal {

namespace {
std::string ShortHex(const Bytes& bytes) {
  constexpr size_t kShown = 48;
  if (bytes.size() <= kShown) return Hex(bytes);
  return Hex(Bytes(bytes.begin(), bytes.begin() + kShown)) + " ... (" +
         std::to_string(bytes.size()) + " bytes)";
}
}  // namespace

std::string FormatEvent(const Event& e, TimePoint origin) {
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "[%8.3f] ",
                std::chrono::duration<double>(e.at - origin).count());
  std::string out = stamp;
  switch (e.kind) {
    case Event::Kind::kReceived:
      out += "rx " + ShortHex(e.request.bytes) + " | " + Describe(e.request);
      break;
    case Event::Kind::kReplied:
      out += "tx " + ShortHex(e.reply) + " | " + DescribeReply(e.reply) + " (reply " +
             std::to_string(e.reply_number) + ")";
      break;
    case Event::Kind::kFault:
      out += "fault: " + e.text;
      break;
    case Event::Kind::kHangup:
      out += "hang-up: the terminal closed the line";
      break;
    case Event::Kind::kError:
      out += "error: " + e.text;
      break;
  }
  return out;
}

}  // namespace mobi::terminal
