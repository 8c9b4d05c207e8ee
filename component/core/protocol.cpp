#include "core/protocol.h"

namespace mobi::core::protocol {

std::optional<DeliveryReport> DeliveryReportOf(std::u16string_view text) {
  const std::u16string_view word = text.substr(0, kWordLength);
  if (word != kWordSuccess && word != kWordFailure) return std::nullopt;
  const std::u16string_view named = text.size() > kWordLength
                                        ? text.substr(kWordLength, kDestinationLength)
                                        : std::u16string_view();
  return DeliveryReport{std::u16string(named), word == kWordSuccess ? typeCustOK : TypeCustError};
}

Report ClassifyReport(std::u16string_view text, std::u16string_view destination) {
  if (text == kWordError) return {typeError, true};
  if (text == kWordOk) return {typeSendOk, true};
  if (text.substr(0, kWordLength) == kWordSendOk) return {typeCenterOK, text.size() == kWordLength};
  // The piece compared is at most 11 characters, so a longer destination
  // never matches; a report is whole once it names the destination exactly.
  const auto report = DeliveryReportOf(text);
  if (!report || report->destination != destination) return {};
  const bool whole = !destination.empty() && text.size() == kWordLength + destination.size();
  return {report->status, whole};
}

std::u16string Rules::ReplyText(std::span<const uint8_t> chunk) const {
  std::u16string text;
  if (chunk.size() > 2) {
    text.reserve(chunk.size() - 2);
    for (uint8_t b : chunk.subspan(2)) text += ansi_.CharOfByte(b);
  }
  return text;
}

bool Rules::IsWholeReply(std::span<const uint8_t> received) const {
  if (received.size() < 2) return false;
  switch (received[1]) {
    case kReplyLevel:
      return received.size() == 3;
    case kReplyDone:
      return received.size() == 2;
    case kReplyStatus:
      return ClassifyReport(ReplyText(received), destination_).whole;
    default:
      return false;
  }
}

std::size_t Rules::WholeReplyLength(std::span<const uint8_t> received) const {
  // A frame start inside a reply text can only be a boundary where the bytes
  // before it are a whole reply; the shortest such reply comes first. None is
  // longer than a report naming 11 characters.
  constexpr std::size_t kLongestWhole = 2 + kWordLength + kDestinationLength;
  for (std::size_t end = 2; end < received.size() && end <= kLongestWhole; ++end) {
    if (received[end] == kFrameStart && IsWholeReply(received.first(end))) return end;
  }
  return IsWholeReply(received) ? received.size() : 0;
}

}  // namespace mobi::core::protocol
