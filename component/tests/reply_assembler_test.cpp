// The quiet-gap rule on the virtual clock, as both serial controls and the
// line watch apply it: bytes with their arrival times in, whole replies out.
#include "core/reply_assembler.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/protocol.h"
#include "fake_host.h"

namespace mobi::test {
namespace {

class ReplyAssemblerTest : public ::testing::Test {
 protected:
  const std::u16string destination = u"12345";
  const core::protocol::Rules rules{Host().Ansi(), destination};
  // 9600 baud: 5 ms for a whole reply, 25 ms for anything else.
  core::ReplyAssembler line{
      {5ms, 25ms}, 64, [this](std::span<const uint8_t> b) { return rules.WholeReplyLength(b); }};
  const core::TimePoint t0 = Host().start();

  void Add(const ByteArray& bytes, std::chrono::milliseconds at) { line.Add(bytes, t0 + at); }
  // Everything ready at `at`, reply by reply.
  std::vector<ByteArray> TakeAt(std::chrono::milliseconds at) {
    std::vector<ByteArray> out;
    for (ByteArray r; !(r = line.Take(t0 + at)).empty();) out.push_back(r);
    return out;
  }
  static ByteArray Join(ByteArray a, const ByteArray& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  }
};

TEST_F(ReplyAssemblerTest, AWholeReplyGoesAfterTheShortGapAnythingElseAfterTheLongOne) {
  Add({0xAA, 0x14, 23}, 0ms);
  EXPECT_EQ(line.Deadline(), t0 + 5ms);
  EXPECT_TRUE(TakeAt(4ms).empty());
  EXPECT_EQ(TakeAt(5ms), std::vector<ByteArray>{ByteArray({0xAA, 0x14, 23})});
  EXPECT_FALSE(line.Deadline());

  // A status word in two bursts 16 ms apart, as a USB adapter forwards it.
  Add({0xAA, 0x01, 'S', 'E'}, 100ms);
  EXPECT_EQ(line.Deadline(), t0 + 125ms);
  EXPECT_TRUE(TakeAt(116ms).empty());
  Add(Ascii("ND OK"), 116ms);
  EXPECT_EQ(line.Deadline(), t0 + 121ms) << "now whole: the short gap";
  EXPECT_EQ(TakeAt(121ms), std::vector<ByteArray>{Reply(1, "SEND OK")});

  // A text waits for the long gap; a pause longer than it splits a reply.
  Add({0xAA}, 200ms);
  Add({0x09, 0x09, 'h', 'i'}, 300ms);
  EXPECT_EQ(TakeAt(325ms), (std::vector<ByteArray>{{0xAA}, {0x09, 0x09, 'h', 'i'}}));
}

TEST_F(ReplyAssemblerTest, BytesAfterTheGapBeginANewReplyHoweverLateTheyAreTaken) {
  // Two texts 45 ms apart, taken together 50 ms after the first.
  Add(Reply(0, "FIRST"), 0ms);
  Add(Reply(0, "SECOND"), 45ms);
  EXPECT_EQ(line.Deadline(), t0 + 45ms) << "the first is ready";
  EXPECT_EQ(TakeAt(50ms), std::vector<ByteArray>{Reply(0, "FIRST")});
  EXPECT_EQ(line.Deadline(), t0 + 70ms);
  EXPECT_EQ(TakeAt(70ms), std::vector<ByteArray>{Reply(0, "SECOND")});

  // Within the gap the same bytes are one reply.
  Add(Reply(0, "FIRST"), 100ms);
  Add(Reply(0, "SECOND"), 120ms);
  EXPECT_EQ(TakeAt(150ms), std::vector<ByteArray>{Join(Reply(0, "FIRST"), Reply(0, "SECOND"))});
}

TEST_F(ReplyAssemblerTest, RepliesReadTogetherGoOneByOne) {
  Add({0xAA, 0x14, 0x05, 0xAA, 0x03, 0xAA, 0x01, 'E', 'R', 'R', 'O', 'R', 0xAA, 0x09, 'D'}, 0ms);
  EXPECT_EQ(TakeAt(0ms),
            (std::vector<ByteArray>{{0xAA, 0x14, 0x05}, {0xAA, 0x03}, Reply(1, "ERROR")}));
  EXPECT_TRUE(TakeAt(24ms).empty());
  EXPECT_EQ(TakeAt(25ms), std::vector<ByteArray>{Reply(9, "D")}) << "the last after the long gap";

  // The start of a report glued to SEND OK still gathers its rest.
  Add(Join(Reply(1, "SEND OK"), {0xAA, 0x01, 'S', 'U', 'C'}), 100ms);
  Add(Ascii("CESS12345"), 102ms);
  EXPECT_EQ(TakeAt(102ms), std::vector<ByteArray>{Reply(1, "SEND OK")});
  EXPECT_EQ(TakeAt(107ms), std::vector<ByteArray>{Reply(1, "SUCCESS12345")});
}

TEST_F(ReplyAssemblerTest, AFullBufferGoesAtOnceAndAHangUpHandsOverWhatIsHeld) {
  Add(ByteArray(64, 'x'), 0ms);
  EXPECT_EQ(line.Deadline(), t0);
  EXPECT_EQ(TakeAt(0ms), std::vector<ByteArray>{ByteArray(64, 'x')});

  Add(Join(Reply(1, "SUCCESS12345"), Reply(0, "NO CARRIER")), 10ms);
  line.EndOfLine();
  EXPECT_EQ(TakeAt(10ms),
            (std::vector<ByteArray>{Reply(1, "SUCCESS12345"), Reply(0, "NO CARRIER")}));
}

}  // namespace
}  // namespace mobi::test
