// Module modMain: the component's shared state (held by the one hidden form,
// shared by every clsSMS object) and the helpers that build the request
// frames, read the replies and wait for them.
#pragma once

#include <cstdint>
#include <string>

#include "core/platform.h"

namespace mobi::core::modMain {

// The module state: one set, owned by the hidden form that serves the port
// and shared with the waits running on it.
struct State {
  ByteArray bytSend;          // the request frame being built
  ByteArray bytRecv;          // the last received chunk
  std::u16string strReply;    // the last reply text
  int16_t blnReceived = 0;    // -1 once a chunk was handled in the current wait
  int32_t lngStatus = 0;      // status of the current or last send
  std::u16string strSendTel;  // destination of the current or last send
  bool sending = false;       // a SendSMS waits for its reports
};

// The largest highest index of an array counted with 16-bit integers.
inline constexpr int32_t kMaxIndex16 = 32767;

// Waits for a reply for at most `max` milliseconds, counted in 10 ms steps,
// processing the thread's messages meanwhile. Returns the counted
// milliseconds: 10 for every step after which no reply had been handled
// (1010 for 1000 without a reply; 10 * (k - 1) when the reply is seen in step
// k; 0 at once for a negative maximum). A step ends early once a reply has
// been handled; without one every step lasts its 10 ms.
int32_t WaitReply(State& state, int32_t max);

// UTF-16 big-endian, two bytes per code unit. Error 9 for the empty text.
ByteArray TextToBytes(const std::u16string& text);

// One character per byte through the ANSI code page. Error 6 past index 32767.
std::u16string BytesToText(const ByteArray& bytes);

// One byte per character: its ANSI code. Error 9 for the empty string; error
// 6 for a character whose code does not fit one byte (or that the code page
// cannot encode), and past index 32767.
ByteArray NumberToBytes(const std::u16string& number);

// Appends `src` to `dest` in place. Error 6 when the result's highest index
// would pass 32767; `dest` is then unchanged.
void AppendBytes(ByteArray& dest, const ByteArray& src);

}  // namespace mobi::core::modMain
