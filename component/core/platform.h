// The small interfaces through which the portable core reaches its platform:
// the serial control held by the hidden form, the thread's message
// processing with its clock, and the ANSI code page. The core makes no system
// call of its own; each platform layer (POSIX, Win32) implements these, and
// the core's unit tests implement them with a virtual clock.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/settings.h"

namespace mobi::core {

namespace protocol {
class Rules;
}

// A byte array with lower bound 0: element i is at index i.
using ByteArray = std::vector<uint8_t>;

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;

// The serial communications control of the hidden form. Property setters and
// operations throw mobi::Error with the serial layer's numbers (errors.h).
class SerialControl {
 public:
  virtual ~SerialControl() = default;

  virtual void SetCommPort(int16_t port) = 0;
  // The settings string "baud,parity,data,stop", for example "9600,n,8,1".
  virtual void SetSettings(const std::u16string& settings) = 0;
  // 0: a read of Input returns all waiting bytes.
  virtual void SetInputLen(int16_t length) = 0;
  // 1: binary.
  virtual void SetInputMode(int16_t mode) = 0;
  virtual void SetPortOpen(bool open) = 0;
  virtual bool PortOpen() const = 0;
  // Writing 0 discards every waiting byte.
  virtual void SetInBufferCount(int32_t count) = 0;
  // How many bytes the next Input returns.
  virtual int32_t InBufferCount() = 0;
  // Queues all bytes for the line, in order, without waiting for them to leave.
  virtual void Output(const ByteArray& bytes) = 0;
  // Returns the waiting bytes and removes them from the input buffer: all of
  // them, unless they begin with a reply known to be whole that the start of
  // another follows (two replies read together); then only that reply, and
  // the rest is handed over next as a reply of its own.
  virtual ByteArray Input() = 0;

  // When the bytes now held will be handed over (raising OnComm) if nothing
  // more arrives; nothing when none are held.
  virtual std::optional<TimePoint> ReplyDue() const = 0;
  // The quiet gaps in use for the open port (settings.h).
  virtual QuietGaps Gaps() const = 0;

  // Set by the form. The control calls it on the owning thread, and only while
  // that thread processes messages, whenever received bytes are waiting. The
  // control may be destroyed during the call: a control calls a copy of it and
  // touches none of its own members afterwards.
  std::function<void()> OnComm;

  // Set by the form: the frame rules that tell which received bytes are a
  // reply known to be whole (it goes after the short quiet gap, settings.h).
  // This is all the control learns of the protocol; null: none is.
  const protocol::Rules* rules = nullptr;
};

// The system's ANSI code page, for the one-byte-per-character conversions.
class AnsiCodePage {
 public:
  virtual ~AnsiCodePage() = default;
  // The one character that a single byte stands for (0x00-0x7F: ASCII).
  virtual char16_t CharOfByte(uint8_t byte) const = 0;
  // The code of one character in the code page: 0-255 for a single-byte
  // character, above 255 for a double-byte one; nothing if the code page has
  // no code for it. By default from Encode.
  virtual std::optional<uint32_t> CodeOfChar(char16_t c) const;
  // A whole string in the code page; nothing if a character has no code.
  virtual std::optional<ByteArray> Encode(const std::u16string& text) const = 0;
};

// What the core needs of the thread and platform it runs on.
class Host {
 public:
  virtual ~Host() = default;

  // A new serial control, port closed; called when the hidden form loads.
  virtual std::unique_ptr<SerialControl> CreateSerialControl() = 0;

  virtual TimePoint Now() = 0;

  // An identifier of the calling thread, the same for every call from one
  // thread and different between threads alive at the same time.
  virtual uint64_t CurrentThread() = 0;

  // Told, after each handled message, when its handling began.
  using StopCondition = std::function<bool(TimePoint handlingBegan)>;

  // Processes the thread's messages until `deadline`: sleeps until a message
  // comes or the deadline passes, handles each message as it comes, and
  // returns early as soon as `stop()` holds after a message was handled; at
  // the deadline, handles what is pending and returns. One call with a far
  // deadline wakes the thread only for messages, never on a fixed tick.
  // Re-entrant: a handler may call it again. Errors of the serial layer found
  // while processing (a hang-up) are thrown from here unless `stop()` already
  // holds.
  virtual void ProcessMessages(TimePoint deadline, const StopCondition& stop) = 0;

  // A platform may be told (for a benchmark) to wait the way a plain
  // sleep-then-process loop does: WaitReply then calls ProcessMessages once
  // per 10 ms step, and the platform sleeps to each step's end before it
  // handles what is pending.
  virtual bool PlainSteps() const { return false; }

  virtual const AnsiCodePage& Ansi() = 0;
};

// The platform's host, defined by the platform layer the core is linked with.
Host& PlatformHost();

// Looks up the device mapped to `port` by mobi::SetPortDevice; empty if none.
std::string MappedPortDevice(int port);

}  // namespace mobi::core
