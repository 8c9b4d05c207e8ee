#include "common/utf.h"

#include <gtest/gtest.h>

namespace mobi::tools {
namespace {

TEST(Utf8ToUtf16, ConvertsEveryPlane) {
  EXPECT_EQ(Utf8ToUtf16("abc"), u"abc");
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8\xAD\xE6\x96\x87"), u"\u4E2D\u6587");
  EXPECT_EQ(Utf8ToUtf16("\xC3\xA9"), u"\u00E9");
  // U+1F600 becomes a surrogate pair.
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));
  EXPECT_EQ(Utf8ToUtf16(""), u"");
}

TEST(Utf8ToUtf16, RejectsMalformedInputAndNamesTheOffset) {
  struct Case {
    const char* text;
    size_t offset;
  } cases[] = {
      {"ab\xFF", 2},             // not a lead byte
      {"a\x80", 1},              // lone continuation byte
      {"\xE4\xB8", 0},           // cut short
      {"x\xE4\x41\x42", 1},      // bad continuation
      {"\xC0\x80", 0},           // overlong NUL
      {"\xED\xA0\x80", 0},       // encoded surrogate
      {"ok\xF4\x90\x80\x80", 2}  // above U+10FFFF
  };
  for (const Case& c : cases) {
    Utf8Error error{99};
    EXPECT_FALSE(Utf8ToUtf16(c.text, &error).has_value())
        << ::testing::PrintToString(std::string(c.text));
    EXPECT_EQ(error.offset, c.offset) << ::testing::PrintToString(std::string(c.text));
  }
}

TEST(Utf16ToUtf8, RoundTripsAndReplacesLoneSurrogates) {
  const std::string text = "Hi \xE4\xB8\xAD \xF0\x9F\x98\x80";
  EXPECT_EQ(Utf16ToUtf8(*Utf8ToUtf16(text)), text);
  EXPECT_EQ(Utf16ToUtf8(std::u16string({u'a', 0xD800, u'b'})),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, 0xDC00)), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace mobi::tools
