// Module modMain: the component's shared state (one copy per loaded
// component, shared by every clsSMS object) and the helpers that build the
// request frames, read the replies and wait for them.
#pragma once

#include <cstdint>
#include <string>

#include "platform.h"

namespace mobi::core::modMain {

inline ByteArray bytSend;          // the request frame being built
inline ByteArray bytRecv;          // the last received chunk
inline std::u16string strReply;    // the last reply text
inline int16_t blnReceived = 0;    // -1 once a chunk was handled in the current wait
inline int32_t lngStatus = 0;      // status of the current or last send
inline std::u16string strSendTel;  // destination of the current or last send

// The frame protocol: every frame starts with kFrameStart, then its type.
inline constexpr uint8_t kFrameStart = 0xAA;

// Request types, host to terminal.
enum Command : uint8_t {
  kCommandCheck = 0x00,   // MobiCheck: the terminal's identity
  kCommandSend = 0x02,    // SendSMS: number, then the text in UTF-16BE
  kCommandReset = 0x07,   // MobiReset: no reply
  kCommandCentre = 0x09,  // SetMobiCode: the message centre's number
  kCommandSignal = 0x14,  // MobiSignal: the signal level
};

// Reply types, terminal to host.
enum Reply : uint8_t {
  kReplyCheck = 0,    // identity text, raised as SMSError
  kReplyStatus = 1,   // "OK", "SEND OK", "ERROR" or a delivery report
  kReplyDone = 3,     // nothing but the end of the wait
  kReplyCentre = 9,   // the centre's answer text
  kReplySignal = 20,  // one byte: the level
};

// The largest highest index of an array counted with 16-bit integers.
inline constexpr int32_t kMaxIndex16 = 32767;

// Waits for a reply for at most `max` milliseconds, counted in 10 ms steps,
// processing the thread's messages meanwhile. Returns the counted
// milliseconds: 10 for every step after which no reply had been handled
// (1010 for 1000 without a reply; 10 * (k - 1) when the reply is seen in step
// k; 0 at once for a negative maximum). A step ends early once a reply has
// been handled; without one every step lasts its 10 ms.
int32_t WaitReply(int32_t max);

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

// Resets the shared state to its load-time values (for tests).
void ResetState();

}  // namespace mobi::core::modMain
