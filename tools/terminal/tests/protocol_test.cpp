#include "terminal/core/protocol.h"

#include <gtest/gtest.h>

namespace mobi::terminal {
namespace {

Bytes Frame(std::initializer_list<uint8_t> head, std::string_view number = {},
            std::u16string_view text = {}) {
  Bytes b(head);
  b.insert(b.end(), number.begin(), number.end());
  for (char16_t c : text) {
    b.push_back(static_cast<uint8_t>(c >> 8));
    b.push_back(static_cast<uint8_t>(c & 0xFF));
  }
  return b;
}

TEST(DecodeRequest, CommandsWithoutPayload) {
  EXPECT_EQ(DecodeRequest({0xAA, 0x00}).kind, Request::Kind::kMobiCheck);
  EXPECT_EQ(DecodeRequest({0xAA, 0x07}).kind, Request::Kind::kMobiReset);
  EXPECT_EQ(DecodeRequest({0xAA, 0x14}).kind, Request::Kind::kMobiSignal);
  // The component never sends these with extra bytes.
  EXPECT_EQ(DecodeRequest({0xAA, 0x14, 0x00}).kind, Request::Kind::kUnknown);
  EXPECT_EQ(DecodeRequest({0xAA, 0x33}).kind, Request::Kind::kUnknown);
}

TEST(DecodeRequest, SendSmsSplitsNumberFromText) {
  // The frame of the component for 12345 / abc.
  const Request r =
      DecodeRequest({0xAA, 0x02, 0x31, 0x32, 0x33, 0x34, 0x35, 0x00, 0x61, 0x00, 0x62, 0x00, 0x63});
  EXPECT_EQ(r.kind, Request::Kind::kSendSMS);
  EXPECT_EQ(r.number, "12345");
  EXPECT_EQ(r.text, u"abc");
  EXPECT_FALSE(r.odd_text);

  const Request cjk = DecodeRequest(Frame({0xAA, 0x02}, "+8613800138000", u"\u4E2D\u6587"));
  EXPECT_EQ(cjk.number, "+8613800138000");
  EXPECT_EQ(cjk.text, u"\u4E2D\u6587");
}

TEST(DecodeRequest, TextWhoseFirstByteIsADigitStillSplitsRight) {
  // U+3042 is 0x30 0x42: '0' then 'B'. Parity tells the number ends before it.
  const Request r = DecodeRequest(Frame({0xAA, 0x02}, "12345", u"\u3042"));
  EXPECT_EQ(r.number, "12345");
  EXPECT_EQ(r.text, u"\u3042");
  const Request even = DecodeRequest(Frame({0xAA, 0x02}, "1234", u"\u3042x"));
  EXPECT_EQ(even.number, "1234");
  EXPECT_EQ(even.text, u"\u3042x");
}

TEST(DecodeRequest, CentreNumberAndRawText) {
  const Request centre = DecodeRequest(Frame({0xAA, 0x09}, "8613800290500"));
  EXPECT_EQ(centre.kind, Request::Kind::kSetMobiCode);
  EXPECT_EQ(centre.number, "8613800290500");
  const Request raw = DecodeRequest({'A', 'T', '\r'});
  EXPECT_EQ(raw.kind, Request::Kind::kRaw);
  EXPECT_EQ(Describe(raw), "raw text \"AT\\r\"");
  EXPECT_EQ(DecodeRequest({0xAA}).kind, Request::Kind::kRaw);
}

TEST(DescribeRequest, NamesCommandNumberAndText) {
  EXPECT_EQ(Describe(DecodeRequest(Frame({0xAA, 0x02}, "123", u"h\u00E9"))),
            "SendSMS number=\"123\" text=\"h\xC3\xA9\" (2 UTF-16 units)");
  EXPECT_EQ(Describe(DecodeRequest({0xAA, 0x14})), "MobiSignal");
}

TEST(Replies, FramesAndDescriptions) {
  EXPECT_EQ(MakeReply(kReplyStatus, "OK"), (Bytes{0xAA, 0x01, 'O', 'K'}));
  EXPECT_EQ(DescribeReply({0xAA, 0x14, 0x17}), "type 20 level 23");
  EXPECT_EQ(DescribeReply({0xAA, 0x14}), "type 20 without level");
  EXPECT_EQ(DescribeReply({0xAA, 0x01, 'O', 'K'}), "type 1 \"OK\"");
  EXPECT_EQ(DescribeReply({0xAA, 0x05, '?'}), "type 5 (ignored type) \"?\"");
  EXPECT_EQ(DescribeReply({0xFF}), "1 stray byte(s)");
}

TEST(ClassifyStatusReport, FollowsTheComponentsRules) {
  EXPECT_EQ(ClassifyStatusReport("OK", "123"), SendProgress::kSent);
  EXPECT_EQ(ClassifyStatusReport("OK\r", "123"), SendProgress::kNone);
  EXPECT_EQ(ClassifyStatusReport("ERROR", "123"), SendProgress::kTerminalError);
  EXPECT_EQ(ClassifyStatusReport("ERROR ", "123"), SendProgress::kNone);
  EXPECT_EQ(ClassifyStatusReport("SEND OK and more", "123"), SendProgress::kCentreAccepted);
  EXPECT_EQ(ClassifyStatusReport("SUCCESS12345", "12345"), SendProgress::kDelivered);
  EXPECT_EQ(ClassifyStatusReport("SUCCESS12346", "12345"), SendProgress::kNone);
  EXPECT_EQ(ClassifyStatusReport("FAILURE12345", "12345"), SendProgress::kFailed);
  EXPECT_EQ(ClassifyStatusReport("FAILURE", ""), SendProgress::kFailed);
  // Only 11 characters after the word are compared with the whole number.
  EXPECT_EQ(ClassifyStatusReport("SUCCESS8613800138000", "8613800138000"), SendProgress::kNone);
  EXPECT_EQ(ClassifyStatusReport("SUCCESS13800138000XYZ", "13800138000"), SendProgress::kDelivered);
}

}  // namespace
}  // namespace mobi::terminal
