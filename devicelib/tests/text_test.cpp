#include <gtest/gtest.h>

#include <cstring>

#include "device_library.h"
#include "platform/system.h"
#include "text.h"

namespace smsdll {
namespace {

TEST(Ucs2Hex, RoundTripsChineseAndSurrogatePairs) {
  std::u16string text = u"你好, SMS \U0001F600";
  std::string hex = Ucs2HexEncode(text);
  EXPECT_EQ(hex.substr(0, 8), "4F60597D");
  EXPECT_EQ(hex.size(), text.size() * 4);
  EXPECT_EQ(Ucs2HexDecode(hex), text);
  EXPECT_EQ(Ucs2HexDecode("4f60597d"), u"你好");  // lower case from some modems
}

TEST(Ucs2Hex, RejectsWhatIsNotWholeHexGroups) {
  EXPECT_FALSE(Ucs2HexDecode("4F6"));
  EXPECT_FALSE(Ucs2HexDecode("+861"));
  EXPECT_FALSE(Ucs2HexDecode("hello world!"));
  EXPECT_EQ(Ucs2HexDecode(""), u"");
}

TEST(Utf8, ConvertsBothWaysAndRejectsMalformedInput) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE4\xBD\xA0\xF0\x9F\x98\x80"), u"aé你\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"aé你\U0001F600"), "a\xC3\xA9\xE4\xBD\xA0\xF0\x9F\x98\x80");
  EXPECT_FALSE(Utf8ToUtf16("\xE4\xBD"));      // cut short
  EXPECT_FALSE(Utf8ToUtf16("\xC0\xAF"));      // overlong
  EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80"));  // surrogate
  EXPECT_FALSE(Utf8ToUtf16("\x80"));          // stray continuation
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(GbkBoundary, NeverSplitsADoubleByteCharacter) {
  const std::string gbk = "a\xC4\xE3\xBA\xC3";  // "a你好"
  EXPECT_EQ(GbkPrefixLength(gbk, 5), 5u);
  EXPECT_EQ(GbkPrefixLength(gbk, 4), 3u);
  EXPECT_EQ(GbkPrefixLength(gbk, 2), 1u);
  EXPECT_EQ(GbkPrefixLength(gbk, 0), 0u);
  // A trail byte in the ASCII range (0x40-0x7E) still belongs to its lead byte.
  EXPECT_EQ(GbkPrefixLength("\x81\x40z", 1), 0u);
  EXPECT_EQ(GbkPrefixLength("\x81\x40z", 2), 2u);
}

TEST(CopyOut, WritesAtMost500BytesAndTheNulOnACharacterBoundary) {
  char buffer[600];
  std::memset(buffer, 'G', sizeof buffer);
  std::string text = "x";  // odd start: the 250th character straddles byte 500
  for (int i = 0; i < 300; ++i) text += "\xC4\xE3";
  CopyOut(buffer, text);
  EXPECT_EQ(std::strlen(buffer), 499u);
  EXPECT_EQ(buffer[500], 'G');  // nothing past the NUL's place...
  EXPECT_EQ(buffer[501], 'G');
  EXPECT_EQ(std::string(buffer, 3), "x\xC4\xE3");

  std::string ascii(800, 'a');
  CopyOut(buffer, ascii);
  EXPECT_EQ(std::strlen(buffer), 500u);
  EXPECT_EQ(buffer[501], 'G');

  CopyOut(nullptr, "ignored");  // a missing buffer is left alone
}

TEST(GbkCodec, ConvertsTheApplicationsCodePage) {
  auto codec = platform::MakeCodec();
  EXPECT_EQ(codec->GbkToUtf16("\xC4\xE3\xBA\xC3 ok"), u"你好 ok");
  EXPECT_EQ(codec->Utf16ToGbk(u"你好 ok"), "\xC4\xE3\xBA\xC3 ok");
  EXPECT_FALSE(codec->GbkToUtf16("\xC4"));  // a lead byte without its trail
  // Characters that GBK lacks become '?', the rest survives.
  EXPECT_EQ(codec->Utf16ToGbk(u"a\U0001F600b\u0E01"), "a?b?");
  // A surrogate without its partner is one '?' too; its neighbours stay.
  const std::u16string broken{u'a', 0xD83D, u'\u4F60', 0xDE00, u'b', 0xD83D};
  EXPECT_EQ(codec->Utf16ToGbk(broken), "a?\xC4\xE3?b?");
}

}  // namespace
}  // namespace smsdll
