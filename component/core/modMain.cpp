#include "core/modMain.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "core/errors.h"

namespace mobi::core::modMain {
namespace {

std::string CodePoint(char16_t c) {
  char text[8];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
  return text;
}

}  // namespace

int32_t WaitReply(State& state, int32_t max) {
  int16_t& blnReceived = state.blnReceived;
  blnReceived = 0;
  if (max < 0) return 0;
  Host& host = PlatformHost();
  constexpr std::chrono::milliseconds kStep{10};
  // Wide: a maximum near the 32-bit limit must not wrap.
  const int64_t steps = static_cast<int64_t>(max) / 10 + 1;
  if (host.PlainSteps()) {
    const auto received = [&blnReceived](TimePoint) { return blnReceived != 0; };
    int64_t counted = 0;
    for (int64_t k = 0; k < steps; ++k) {
      host.ProcessMessages(host.Now() + kStep, received);
      if (blnReceived != 0) break;
      counted += 10;
    }
    return static_cast<int32_t>(counted);
  }
  // One sleep for the whole budget, ended by the first handled reply. The
  // count stays nominal: the step in which the receipt's handling began
  // decides it, and time spent in handlers that saw no receipt moves the
  // step boundaries on, as a step that processes messages for long still
  // counts only 10.
  const TimePoint start = host.Now();
  Clock::duration handled{0};
  std::optional<TimePoint> seen;
  const auto stop = [&](TimePoint began) {
    if (blnReceived != 0) {
      seen = began;
      return true;
    }
    handled += host.Now() - began;
    return false;
  };
  TimePoint deadline = start + steps * kStep;
  for (;;) {
    host.ProcessMessages(deadline, stop);
    if (seen) break;
    const TimePoint due = start + steps * kStep + handled;
    if (due <= deadline || host.Now() >= due) return static_cast<int32_t>(10 * steps);
    deadline = due;
  }
  const int64_t before = (*seen - start - handled) / kStep;
  return static_cast<int32_t>(10 * std::clamp<int64_t>(before, 0, steps - 1));
}

ByteArray TextToBytes(const std::u16string& text) {
  if (text.empty()) Raise(kSubscriptOutOfRange, "the message text is empty");
  ByteArray out(text.size() * 2);
  for (std::size_t i = 0; i < text.size(); ++i) {
    out[2 * i] = static_cast<uint8_t>(text[i] >> 8);
    out[2 * i + 1] = static_cast<uint8_t>(text[i] & 0xFF);
  }
  return out;
}

std::u16string BytesToText(const ByteArray& bytes) {
  if (bytes.size() > static_cast<std::size_t>(kMaxIndex16) + 1) {
    Raise(kOverflow,
          "a reply of " + std::to_string(bytes.size()) + " bytes is longer than 32768 bytes");
  }
  const AnsiCodePage& ansi = PlatformHost().Ansi();
  std::u16string out;
  out.reserve(bytes.size());
  for (uint8_t b : bytes) out += ansi.CharOfByte(b);
  return out;
}

ByteArray NumberToBytes(const std::u16string& number) {
  if (number.empty()) Raise(kSubscriptOutOfRange, "the number is empty");
  if (number.size() > static_cast<std::size_t>(kMaxIndex16) + 1) {
    Raise(kOverflow, "a number of " + std::to_string(number.size()) +
                         " characters is longer than 32768 characters");
  }
  const AnsiCodePage& ansi = PlatformHost().Ansi();
  ByteArray out(number.size());
  for (std::size_t i = 0; i < number.size(); ++i) {
    const auto code = ansi.CodeOfChar(number[i]);
    if (!code || *code > 0xFF) {
      Raise(kOverflow,
            "character " + std::to_string(i + 1) + " of the number (" + CodePoint(number[i]) +
                (code ? ") is a double-byte character" : ") has no code in the ANSI code page") +
                "; a number takes single-byte characters only");
    }
    out[i] = static_cast<uint8_t>(*code);
  }
  return out;
}

void AppendBytes(ByteArray& dest, const ByteArray& src) {
  const std::size_t total = dest.size() + src.size();
  if (total > static_cast<std::size_t>(kMaxIndex16) + 1) {
    Raise(kOverflow, "the frame would be " + std::to_string(total) +
                         " bytes; at most 32768 bytes fit (number length plus twice the text "
                         "length at most 32766)");
  }
  dest.insert(dest.end(), src.begin(), src.end());
}

}  // namespace mobi::core::modMain
