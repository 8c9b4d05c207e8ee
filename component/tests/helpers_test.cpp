// The encoding helpers, the wait, and the settings string.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/errors.h"
#include "core/frmSMS.h"
#include "core/modMain.h"
#include "core/protocol.h"
#include "core/settings.h"
#include "fake_host.h"

namespace mobi::test {
namespace {

namespace mm = core::modMain;

class HelpersTest : public ::testing::Test {
 protected:
  void SetUp() override { Host().Reset(); }
  mm::State state;
};

// Every public error number has its own text and a row in the README's
// error table, so that users can look up what they see.
TEST(ErrorNumbers, EachHasItsTextAndAReadmeRow) {
  std::ifstream readme(MOBI_README);
  ASSERT_TRUE(readme) << MOBI_README;
  std::set<std::string> rows;
  for (std::string line; std::getline(readme, line);) {
    if (line.rfind("| ", 0) == 0) rows.insert(line.substr(2, line.find(" |", 2) - 2));
  }
  std::set<std::string> texts;
  for (const int32_t number : kErrorNumbers) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(number));
    const std::string key = number < 0 ? hex : std::to_string(number);
    EXPECT_TRUE(rows.count(key)) << "no README row for error " << key;
    EXPECT_STRNE(StandardText(number), "Unknown error") << key;
    EXPECT_TRUE(texts.insert(StandardText(number)).second) << key;
    try {
      core::Raise(number, "detail");
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), number);
      EXPECT_EQ(e.description(), std::string(StandardText(number)) + ": detail");
    }
  }
  EXPECT_STREQ(StandardText(1234), "Unknown error");
}

TEST_F(HelpersTest, TextToBytesIsBigEndianUtf16) {
  EXPECT_EQ(mm::TextToBytes(u"abc"), (ByteArray{0x00, 0x61, 0x00, 0x62, 0x00, 0x63}));
  EXPECT_EQ(mm::TextToBytes(u"\u4E2D"), (ByteArray{0x4E, 0x2D}));
  // Outside the Basic Multilingual Plane: two surrogate code units.
  EXPECT_EQ(mm::TextToBytes(u"\U0001F600"), (ByteArray{0xD8, 0x3D, 0xDE, 0x00}));
  EXPECT_EQ(ErrorNumberOf([] { mm::TextToBytes(u""); }), 9);
}

TEST_F(HelpersTest, NumberToBytesKeepsEverySingleByteCharacter) {
  EXPECT_EQ(mm::NumberToBytes(u"8613800290500"), Ascii("8613800290500"));
  EXPECT_EQ(mm::NumberToBytes(u"+86 1"), (ByteArray{0x2B, 0x38, 0x36, 0x20, 0x31}));
  EXPECT_EQ(mm::NumberToBytes(u"\u20AC"), (ByteArray{0x80}));
}

TEST_F(HelpersTest, NumberToBytesRefusesEmptyDoubleByteAndUnencodable) {
  EXPECT_EQ(ErrorNumberOf([] { mm::NumberToBytes(u""); }), 9);
  try {
    mm::NumberToBytes(u"12\u4E2D");
    FAIL() << "a double-byte character must fail";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), 6);
    EXPECT_NE(std::string(e.what()).find("character 3"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ErrorNumberOf([] { mm::NumberToBytes(u"1\u00E9"); }), 6);
}

TEST_F(HelpersTest, BytesToTextGivesOneCharacterPerByte) {
  EXPECT_EQ(mm::BytesToText(Ascii("SEND OK")), u"SEND OK");
  EXPECT_EQ(mm::BytesToText(ByteArray{0x00}), std::u16string(1, u'\0'));
  EXPECT_EQ(mm::BytesToText(ByteArray{}), u"");
  EXPECT_EQ(mm::BytesToText(ByteArray{0x41, 0xD6, 0xD0}).size(), 3u);
}

TEST_F(HelpersTest, SixteenBitLimits) {
  EXPECT_EQ(mm::NumberToBytes(std::u16string(32768, u'1')).size(), 32768u);
  EXPECT_EQ(ErrorNumberOf([] { mm::NumberToBytes(std::u16string(32769, u'1')); }), 6);
  EXPECT_EQ(mm::BytesToText(ByteArray(32768, 0x41)).size(), 32768u);
  EXPECT_EQ(ErrorNumberOf([] { mm::BytesToText(ByteArray(32769, 0x41)); }), 6);

  ByteArray dest(32000, 1);
  mm::AppendBytes(dest, ByteArray(768, 2));  // highest index 32767: fits
  EXPECT_EQ(dest.size(), 32768u);
  EXPECT_EQ(ErrorNumberOf([&] { mm::AppendBytes(dest, ByteArray{3}); }), 6);
  EXPECT_EQ(dest.size(), 32768u) << "a failed append leaves the array alone";
}

TEST_F(HelpersTest, AppendBytesKeepsTheFrontAndAddsTheSource) {
  ByteArray frame{0xAA, 0x09};
  mm::AppendBytes(frame, mm::NumberToBytes(u"8613800290500"));
  ByteArray expected{0xAA, 0x09};
  for (char c : std::string("8613800290500")) expected.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(frame, expected);
  ByteArray empty;
  mm::AppendBytes(empty, ByteArray{1, 2});
  EXPECT_EQ(empty, (ByteArray{1, 2}));
}

TEST_F(HelpersTest, WaitReplyCountsStepsWithoutAReplyInOneSleep) {
  EXPECT_EQ(mm::WaitReply(state, 1000), 1010);
  EXPECT_EQ(Host().processCalls, 1);
  EXPECT_EQ(Host().Elapsed(), 1010ms);

  Host().Reset();
  EXPECT_EQ(mm::WaitReply(state, 5000), 5010);
  EXPECT_EQ(Host().processCalls, 1);

  Host().Reset();
  EXPECT_EQ(mm::WaitReply(state, 0), 10);
  EXPECT_EQ(Host().processCalls, 1);
}

TEST_F(HelpersTest, WaitReplyNegativeReturnsAtOnceAndClearsTheFlag) {
  state.blnReceived = -1;
  EXPECT_EQ(mm::WaitReply(state, -1), 0);
  EXPECT_EQ(state.blnReceived, 0);
  EXPECT_EQ(Host().processCalls, 0);
}

TEST_F(HelpersTest, WaitReplyReturnsTenPerStepBeforeTheReceipt) {
  // The receipt comes in step k: the count is 10 * (k - 1), and the step ends
  // when the reply is handled, not at its 10 ms boundary.
  for (int k : {1, 2, 7, 101}) {
    Host().Reset();
    Host().At(Host().Now() + std::chrono::milliseconds(10 * (k - 1) + 3),
              [this] { state.blnReceived = -1; });
    EXPECT_EQ(mm::WaitReply(state, 1000), 10 * (k - 1)) << "receipt in step " << k;
    EXPECT_EQ(Host().Elapsed(), std::chrono::milliseconds(10 * (k - 1) + 3));
  }
}

TEST_F(HelpersTest, WaitReplyCountsALongHandlerAsPartOfOneStep) {
  // A handler busy for 300 ms (here: processing messages itself) moves the
  // step boundaries on; a receipt whose handling began in step k counts
  // 10 * (k - 1) however long that handling takes.
  const auto busy = [] {
    Host().ProcessMessages(Host().Now() + 300ms, [](auto) { return false; });
  };
  Host().At(Host().Now() + 23ms, busy);
  Host().At(Host().Now() + 338ms, [this] { state.blnReceived = -1; });
  EXPECT_EQ(mm::WaitReply(state, 1000), 30);

  Host().Reset();
  Host().At(Host().Now() + 23ms, [&, this] {
    busy();
    state.blnReceived = -1;
  });
  EXPECT_EQ(mm::WaitReply(state, 1000), 20);

  Host().Reset();
  Host().At(Host().Now() + 23ms, busy);
  EXPECT_EQ(mm::WaitReply(state, 1000), 1010);
  EXPECT_EQ(Host().Elapsed(), 1310ms);
}

TEST_F(HelpersTest, WaitReplyNearTheIntegerLimitDoesNotWrap) {
  Host().At(Host().Now() + 25ms, [this] { state.blnReceived = -1; });
  EXPECT_EQ(mm::WaitReply(state, 2147483647), 20);
}

TEST(SettingsTest, ParsesTheFourFields) {
  auto s = core::ParseSettings(u"9600,n,8,1");
  EXPECT_EQ(s.baud, 9600);
  EXPECT_EQ(s.parity, 'n');
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_EQ(s.stopBits, 1);
  s = core::ParseSettings(u" 115200 , E , 7 , 1.5 ");
  EXPECT_EQ(s.baud, 115200);
  EXPECT_EQ(s.parity, 'e');
  EXPECT_EQ(s.dataBits, 7);
  EXPECT_EQ(s.stopBits, 1.5);
}

TEST(SettingsTest, RejectsBadValuesNamingTheField) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"", "4 fields"},
      {u"9600,n,8", "4 fields"},
      {u"fast,n,8,1", "baud"},
      {u"9600x,n,8,1", "baud"},
      {u"0,n,8,1", "baud"},
      {u"9600,q,8,1", "parity"},
      {u"9600,n,9,1", "data bits"},
      {u"9600,n,8,3", "stop bits"},
      {u"9600,n,8,1,1", "4 fields"},
  };
  for (const auto& [text, field] : cases) {
    try {
      core::ParseSettings(text);
      ADD_FAILURE() << "accepted a bad settings string";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), 380);
      EXPECT_NE(std::string(e.what()).find(field), std::string::npos) << e.what();
    }
  }
}

TEST(SettingsTest, QuietGapIsThreeCharacterTimesWithAFloor) {
  // 9600 8N1: 10 bits a character, 3 characters = 3.125 ms, below the floor.
  EXPECT_EQ(core::QuietGap(core::ParseSettings(u"9600,n,8,1")), core::kQuietGapFloor);
  // 1200 8N1: 25 ms.
  EXPECT_EQ(core::QuietGap(core::ParseSettings(u"1200,n,8,1")), 25ms);
  // 300 7E2: 11 bits, 3 characters = 110 ms.
  EXPECT_EQ(core::QuietGap(core::ParseSettings(u"300,e,7,2")), 110ms);
  EXPECT_EQ(core::LineTime(core::ParseSettings(u"9600,n,8,1"), 96), 100ms);
}

TEST(SettingsTest, TheLongGapCoversAnAdaptersForwarding) {
  const auto fast = core::ParseSettings(u"115200,n,8,1");
  EXPECT_EQ(core::QuietGapsOf(fast).whole, 5ms);
  EXPECT_EQ(core::QuietGapsOf(fast).other, 25ms) << "16 ms forwarding when none is reported";
  EXPECT_EQ(core::QuietGapsOf(fast, 1ms).other, 25ms) << "never below the default's";
  EXPECT_EQ(core::QuietGapsOf(fast, 40ms).other, 49ms) << "a longer reported interval";
  const auto slow = core::ParseSettings(u"300,e,7,2");
  EXPECT_EQ(core::QuietGapsOf(slow).other, 110ms) << "never below the short gap";
}

TEST_F(HelpersTest, TheFrameRulesKnowWhichRepliesAreWhole) {
  std::u16string tel = u"12345";
  const core::protocol::Rules rules(Host().Ansi(), tel);
  const auto whole = [&](const ByteArray& b) { return rules.IsWholeReply(b); };
  EXPECT_TRUE(whole(ByteArray{0xAA, 0x14, 23}));
  EXPECT_FALSE(whole(ByteArray{0xAA, 0x14}));
  EXPECT_FALSE(whole(ByteArray{0xAA, 0x14, 23, 0}));
  EXPECT_TRUE(whole(ByteArray{0xAA, 0x03}));
  EXPECT_FALSE(whole(ByteArray{0xAA}));
  for (auto text : {"OK", "SEND OK", "ERROR", "SUCCESS12345", "FAILURE12345"}) {
    EXPECT_TRUE(whole(Reply(1, text))) << text;
  }
  for (auto text : {"O", "SEND", "SUCCESS1234", "SUCCESS123456", "OK\r", "SUCCES"}) {
    EXPECT_FALSE(whole(Reply(1, text))) << text;
  }
  EXPECT_FALSE(whole(Reply(0, "OK"))) << "an error text's end is unknown";

  // Where the first of two replies read together ends.
  const auto first = [&](const ByteArray& a, const ByteArray& next) {
    ByteArray both;
    both.reserve(a.size() + next.size());
    both.insert(both.end(), a.begin(), a.end());
    both.insert(both.end(), next.begin(), next.end());
    return rules.WholeReplyLength(both);
  };
  EXPECT_EQ(first(Reply(1, "SEND OK"), Reply(1, "SUCCESS12345")), 9u);
  EXPECT_EQ(first(ByteArray{0xAA, 0x14, 0xAA}, ByteArray{0xAA, 0x03}), 3u) << "level 0xAA";
  EXPECT_EQ(first(Reply(1, "OK"), ByteArray{0xAA}), 4u);
  EXPECT_EQ(first(Reply(1, "OK"), ByteArray{'\r', 0xAA, 0x03}), 0u) << "OK and more is not OK";
  EXPECT_EQ(first(Reply(0, "OK"), Reply(3, "")), 0u) << "an error text may hold 0xAA";
  EXPECT_EQ(rules.WholeReplyLength(Reply(1, "ERROR")), 7u) << "one whole reply";

  tel = u"123456789012";
  EXPECT_FALSE(whole(Reply(1, "SUCCESS123456789012")))
      << "a report cannot name more than 11 characters";
}

}  // namespace
}  // namespace mobi::test
