// The frame protocol's one vocabulary and its one classifier: the command
// codes of the requests, the reply types, the status words and the rule of
// the destination a report names. The form (status updates) and the reply
// assembler (is a reply whole) both ask the classifier here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/platform.h"
#include "mobi/clsSMS.h"

namespace mobi::core::protocol {

// Every frame starts with this byte, then its command code or reply type.
inline constexpr uint8_t kFrameStart = 0xAA;

// Command codes, host to terminal, named by the call that sends them.
enum Command : uint8_t {
  kMobiCheck = 0x00,    // the terminal's identity
  kSendSMS = 0x02,      // number, then the text in UTF-16BE
  kMobiReset = 0x07,    // no reply
  kSetMobiCode = 0x09,  // the message centre's number
  kMobiSignal = 0x14,   // the signal level
};

// Reply types, terminal to host.
enum ReplyType : uint8_t {
  kReplyError = 0,   // a text, the last reply text and raised as SMSError
  kReplyStatus = 1,  // a status report (the words below)
  kReplyDone = 3,    // nothing but the end of the wait
  kReplyText = 9,    // a text, the last reply text
  kReplyLevel = 20,  // one byte: the signal level
};

// Status words of type 1 replies: "ERROR" and "OK" exactly; the 7-character
// words at the start of a report, the last two followed by the destination.
inline constexpr std::u16string_view kWordError = u"ERROR";
inline constexpr std::u16string_view kWordOk = u"OK";
inline constexpr std::u16string_view kWordSendOk = u"SEND OK";
inline constexpr std::u16string_view kWordSuccess = u"SUCCESS";
inline constexpr std::u16string_view kWordFailure = u"FAILURE";
inline constexpr std::size_t kWordLength = 7;
// A report names at most this many characters of the destination after its
// word, so it counts only for a destination no longer than that.
inline constexpr std::size_t kDestinationLength = 11;

// What a status report means for a send to `destination`.
struct Report {
  std::optional<enuStatus_Type> status;  // the status it sets; none: unchanged
  bool whole = false;                    // nothing could follow: the report is known to be whole
};
Report ClassifyReport(std::u16string_view text, std::u16string_view destination);

// A delivery report on its own, whatever send it belongs to: the destination
// it names (the characters after its word, at most kDestinationLength) and
// typeCustOK or TypeCustError; none for any other text.
struct DeliveryReport {
  std::u16string destination;
  enuStatus_Type status;
};
std::optional<DeliveryReport> DeliveryReportOf(std::u16string_view text);

// The receive side's knowledge of the frames for the current send: which
// received bytes are a reply known to be whole, and what a report sets.
class Rules {
 public:
  // `destination`: the destination that reports name (the current or last
  // send's), read where it is kept, which outlives these rules.
  Rules(const AnsiCodePage& ansi, const std::u16string& destination)
      : ansi_(ansi), destination_(destination) {}

  // The reply text: the chunk's characters from the third on.
  std::u16string ReplyText(std::span<const uint8_t> chunk) const;
  // Whether `received` is one reply known to be whole: a level, a bare type 3,
  // or a report that nothing could follow (ClassifyReport).
  bool IsWholeReply(std::span<const uint8_t> received) const;
  // The length of the whole reply that `received` begins with: all of it
  // when it is one, the first one's when the start of another frame follows
  // it (two replies read together), else 0.
  std::size_t WholeReplyLength(std::span<const uint8_t> received) const;
  // The status a report sets; none when it leaves the status unchanged.
  std::optional<enuStatus_Type> StatusOf(std::u16string_view report) const {
    return ClassifyReport(report, destination_).status;
  }

 private:
  const AnsiCodePage& ansi_;
  const std::u16string& destination_;
};

}  // namespace mobi::core::protocol
