#include "terminal/core/text.h"

#include <gtest/gtest.h>

namespace mobi::terminal {
namespace {

TEST(Rendering, HexAndQuoted) {
  EXPECT_EQ(Hex({0xAA, 0x02, 0x31}), "AA 02 31");
  EXPECT_EQ(Hex({}), "");
  EXPECT_EQ(Quoted(Bytes{'O', 'K', '\r', 0x00, '"'}), "\"OK\\r\\x00\\\"\"");
  const uint8_t be[] = {0x00, 0x61, 0x4E, 0x2D, 0x7F};
  EXPECT_EQ(Utf16BeToUtf16(be, sizeof be), u"a\u4E2D");
}

}  // namespace
}  // namespace mobi::terminal
