#include <gtest/gtest.h>

#include <limits>

#include "rt/layout.h"
#include "rt/text.h"

namespace rt {
namespace {

// "错误" in code page 936.
const Text kErrorGbk = "\xB4\xED\xCE\xF3";

TEST(Conversions, SpacesAndByteLength) {
  EXPECT_EQ(spaces(500), Text(500, ' '));
  EXPECT_EQ(byte_len(spaces(500)), 500);
  EXPECT_EQ(spaces(0), "");
  EXPECT_EQ(spaces(-3), "");
  EXPECT_EQ(byte_len(""), 0);
  EXPECT_EQ(byte_len(kErrorGbk), 4);  // two characters, two bytes each
}

TEST(Conversions, LongAndBooleanToText) {
  EXPECT_EQ(long_to_text(0), "0");
  EXPECT_EQ(long_to_text(500), "500");
  EXPECT_EQ(long_to_text(-42), "-42");
  EXPECT_EQ(long_to_text(std::numeric_limits<Long>::min()), "-2147483648");
  EXPECT_EQ(bool_to_text(true), "true");
  EXPECT_EQ(bool_to_text(false), "false");
}

TEST(Conversions, TextToLongReadsSignedDecimals) {
  EXPECT_EQ(text_to_long("4"), 4);
  EXPECT_EQ(text_to_long("9600"), 9600);
  EXPECT_EQ(text_to_long("-17"), -17);
  EXPECT_EQ(text_to_long("+17"), 17);
  EXPECT_EQ(text_to_long("  4  "), 4);
  EXPECT_EQ(text_to_long("2147483647"), 2147483647);
  EXPECT_EQ(text_to_long("-2147483648"), std::numeric_limits<Long>::min());
}

TEST(Conversions, TextToLongGivesZeroForWhatIsNoNumber) {
  for (const char* s : {"", " ", "abc", "4a", "a4", "4 4", "1.5", "+", "-", "+-4", "--4", "0x10"}) {
    EXPECT_EQ(text_to_long(s), 0) << '"' << s << '"';
  }
  EXPECT_EQ(text_to_long(kErrorGbk), 0);
}

TEST(Conversions, TextToLongGivesZeroOutsideThirtyTwoBits) {
  EXPECT_EQ(text_to_long("2147483648"), 0);
  EXPECT_EQ(text_to_long("-2147483649"), 0);
  EXPECT_EQ(text_to_long("99999999999999999999"), 0);
}

TEST(Gbk, ConvertsBothWays) {
  EXPECT_EQ(gbk_to_utf8(kErrorGbk), "错误");
  EXPECT_EQ(utf8_to_gbk("错误"), kErrorGbk);
  const std::string label = "短信中心发送时间:";
  EXPECT_EQ(gbk_to_utf8(utf8_to_gbk(label)), label);
  EXPECT_EQ(utf8_to_gbk("plain ascii"), "plain ascii");
  EXPECT_EQ(gbk_to_utf8(""), "");
}

TEST(Gbk, KeepsTheRestAroundBadBytes) {
  // A lone lead byte in the middle, and one at the very end.
  EXPECT_EQ(gbk_to_utf8("a\x81"
                        "1b"),
            "a\xEF\xBF\xBD"
            "1b");
  EXPECT_EQ(gbk_to_utf8("ab\xB4"), "ab\xEF\xBF\xBD");
  // A character GBK cannot hold, and invalid UTF-8.
  EXPECT_EQ(utf8_to_gbk("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(utf8_to_gbk("x\xC3y"), "x?y");
  // Long texts convert whole (more than one conversion chunk).
  std::string many;
  for (int i = 0; i < 400; ++i) many += "错";
  EXPECT_EQ(gbk_to_utf8(utf8_to_gbk(many)), many);
}

TEST(Layout, UnitsToPixels) {
  EXPECT_EQ(layout::x_px(2533), 554);
  EXPECT_EQ(layout::y_px(1408), 352);
  EXPECT_EQ(layout::x_px(16), 4);  // 3.5 rounds away from zero
  EXPECT_EQ(layout::x_px(-16), -4);
  EXPECT_EQ(layout::y_px(2), 1);
  EXPECT_EQ(layout::to_px(1495, 1176, 457, 128), (layout::Rect{327, 294, 100, 32}));
  EXPECT_EQ(layout::font_px(-12), 16);
  EXPECT_EQ(layout::font_px(20), 20);
}

TEST(Layout, ColourCodes) {
  using R = layout::Colour::Role;
  EXPECT_EQ(layout::colour_of(67108864).role, R::ButtonFace);
  EXPECT_EQ(layout::colour_of(33554432).role, R::WindowText);
  EXPECT_EQ(layout::colour_of(268435456).role, R::AppWorkspace);
  EXPECT_EQ(layout::colour_of(0x0000FF), (layout::Colour{R::Rgb, 255, 0, 0}));
  EXPECT_EQ(layout::colour_of(0x123456), (layout::Colour{R::Rgb, 0x56, 0x34, 0x12}));
  EXPECT_EQ(layout::colour_of(-5).role, R::Default);
  EXPECT_EQ(layout::colour_of(0x01000000).role, R::Default);
}

}  // namespace
}  // namespace rt
