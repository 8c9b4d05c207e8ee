// The frames that cross the serial line between the component and a terminal.
//
// Requests (component to terminal): 0xAA, a command code, a payload. There is
// no length field, so a frame of variable length ends where the line goes
// quiet. Replies (terminal to component): a start byte, a reply type, a payload.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "terminal/core/text.h"

namespace mobi::terminal {

inline constexpr uint8_t kFrameStart = 0xAA;

// Command codes of request frames, named by the call that sends them.
enum class Command : uint8_t {
  kMobiCheck = 0x00,
  kSendSMS = 0x02,
  kMobiReset = 0x07,
  kSetMobiCode = 0x09,
  kMobiSignal = 0x14,
};

// Reply types of reply frames (the component's names for them; kept here
// apart from the component's own header, so that the simulator checks it).
enum ReplyType : uint8_t {
  kReplyError = 0,   // error text, raised to the client as SMSError
  kReplyStatus = 1,  // send status report
  kReplyDone = 3,    // nothing but the end of the wait
  kReplyText = 9,    // text (check text, centre answer)
  kReplyLevel = 20,  // signal level byte
};

// Length of a request frame that has no payload; 0 for a command whose frame
// has a payload (or an unknown command), which ends only at a quiet line.
size_t FixedRequestLength(uint8_t command);

// One request frame as the terminal understood it.
struct Request {
  enum class Kind { kMobiCheck, kSendSMS, kMobiReset, kSetMobiCode, kMobiSignal, kUnknown, kRaw };
  Kind kind = Kind::kRaw;
  Bytes bytes;            // the whole frame as received
  std::string number;     // SendSMS destination, SetMobiCode centre number (bytes as sent)
  std::u16string text;    // SendSMS message text
  bool odd_text = false;  // SendSMS text bytes were odd in number (last byte ignored)
};

// Decodes one complete frame. Bytes that do not start with 0xAA are raw text
// (ATSend). In a SendSMS frame nothing marks where the number ends: the number
// is taken as the longest run of dialling characters (0-9 + * #) that leaves
// an even number of bytes for the UTF-16 text. A text whose first character's
// high and low bytes are both dialling characters (U+2A23, U+3031, ...) is
// therefore misread; no message of Latin, Chinese or Cyrillic script starts so.
Request DecodeRequest(const Bytes& frame);

// "MobiCheck", "SendSMS number=\"123\" text=\"abc\"", "raw text \"AT\\r\"".
std::string Describe(const Request& request);
const char* CommandName(Request::Kind kind);

// Reply frame 0xAA, type, payload.
Bytes MakeReply(uint8_t type, const Bytes& payload);
Bytes MakeReply(uint8_t type, std::string_view text);

// "type 1 \"SEND OK\"", "type 20 level 23", "2 stray bytes".
std::string DescribeReply(const Bytes& reply);

// What a type 1 status report means for a send to `destination`, by the rules
// the component applies: the exact texts "ERROR" and "OK", the 7-character
// words "SEND OK", "SUCCESS" and "FAILURE", and for the last two the following
// characters (at most 11) equal to the whole destination number.
enum class SendProgress {
  kNone,            // a text that changes nothing
  kSent,            // "OK"
  kCentreAccepted,  // "SEND OK"
  kDelivered,       // "SUCCESS" + destination
  kFailed,          // "FAILURE" + destination
  kTerminalError,   // "ERROR"
};
SendProgress ClassifyStatusReport(std::string_view text, std::string_view destination);
const char* ProgressName(SendProgress progress);

}  // namespace mobi::terminal
