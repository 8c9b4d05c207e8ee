// The terminal's framing, answers and faults on a virtual clock.
#include "terminal/core/terminal.h"

#include <gtest/gtest.h>

namespace mobi::terminal {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

Bytes SendFrame(std::string_view number, std::string_view ascii_text) {
  Bytes b;
  b.push_back(0xAA);
  b.push_back(0x02);
  for (char c : number) b.push_back(static_cast<uint8_t>(c));
  for (char c : ascii_text) {
    b.push_back(0x00);
    b.push_back(static_cast<uint8_t>(c));
  }
  return b;
}

// A written emission, as the driver would see it.
struct Written {
  milliseconds at;  // since the start
  Bytes bytes;
  bool hangup;
};

class TerminalTest : public ::testing::Test {
 protected:
  void Make(TerminalConfig config = {}) {
    terminal_.emplace(std::move(config), [this](const Event& e) { events_.push_back(e); });
  }
  TimePoint At(milliseconds ms) const { return start_ + ms; }
  void Receive(milliseconds at, const Bytes& bytes) { terminal_->Receive(At(at), bytes); }
  // Runs the virtual clock to `until`, stopping at every deadline like the driver does.
  std::vector<Written> RunUntil(milliseconds until) {
    std::vector<Written> out;
    for (;;) {
      const auto next = terminal_->NextDeadline();
      if (!next || *next > At(until)) break;
      for (Emission& e : terminal_->TakeDue(*next)) {
        out.push_back({std::chrono::duration_cast<milliseconds>(e.at - start_), e.bytes, e.hangup});
        for (Event& ev : e.events) events_.push_back(ev);
      }
    }
    return out;
  }
  std::vector<const Event*> EventsOf(Event::Kind kind) const {
    std::vector<const Event*> out;
    for (const Event& e : events_)
      if (e.kind == kind) out.push_back(&e);
    return out;
  }

  TimePoint start_ = TimePoint{} + std::chrono::hours(1);
  std::optional<Terminal> terminal_;
  std::vector<Event> events_;
};

TEST_F(TerminalTest, AnswersLikeAHealthyTerminal) {
  Make();
  Receive(milliseconds(0), {0xAA, 0x14});
  EXPECT_EQ(terminal_->NextDeadline(), At(milliseconds(20)));
  EXPECT_TRUE(terminal_->TakeDue(At(milliseconds(19))).empty());
  auto w = RunUntil(milliseconds(1000));
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].at, milliseconds(20));
  EXPECT_EQ(w[0].bytes, (Bytes{0xAA, 0x14, 23}));

  Receive(milliseconds(1000), {0xAA, 0x00});
  w = RunUntil(milliseconds(2000));
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].bytes, MakeReply(kReplyText, "MOBI-SIM READY"));

  Receive(milliseconds(2000), {0xAA, 0x07});
  EXPECT_TRUE(RunUntil(milliseconds(3000)).empty());
  ASSERT_EQ(EventsOf(Event::Kind::kReceived).size(), 3u);
  EXPECT_EQ(EventsOf(Event::Kind::kReceived)[2]->request.kind, Request::Kind::kMobiReset);
  EXPECT_EQ(EventsOf(Event::Kind::kReplied).size(), 2u);
}

TEST_F(TerminalTest, SendGetsOkThenSendOkThenReportAfterTheDelays) {
  Make();
  Receive(milliseconds(0), SendFrame("12345", "hi"));
  // The frame has a payload: it is complete only once the line is quiet.
  EXPECT_TRUE(EventsOf(Event::Kind::kReceived).empty());
  const auto w = RunUntil(milliseconds(2000));
  ASSERT_EQ(EventsOf(Event::Kind::kReceived).size(), 1u);
  EXPECT_EQ(EventsOf(Event::Kind::kReceived)[0]->request.number, "12345");
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0].at, milliseconds(20));
  EXPECT_EQ(w[0].bytes, MakeReply(kReplyStatus, "OK"));
  EXPECT_EQ(w[1].at, milliseconds(120));
  EXPECT_EQ(w[1].bytes, MakeReply(kReplyStatus, "SEND OK"));
  EXPECT_EQ(w[2].at, milliseconds(420));
  EXPECT_EQ(w[2].bytes, MakeReply(kReplyStatus, "SUCCESS12345"));
}

TEST_F(TerminalTest, ConfiguredOutcomesPerNumber) {
  TerminalConfig c;
  c.fail_numbers = {"111"};
  c.error_numbers = {"222"};
  c.error_texts = {"NO CARRIER", "LOW BATTERY"};
  Make(c);
  Receive(milliseconds(0), SendFrame("111", "x"));
  auto w = RunUntil(milliseconds(1000));
  ASSERT_EQ(w.size(), 5u);
  EXPECT_EQ(w[1].bytes, MakeReply(kReplyError, "NO CARRIER"));
  EXPECT_EQ(w[1].at, milliseconds(40));
  EXPECT_EQ(w[2].bytes, MakeReply(kReplyError, "LOW BATTERY"));
  EXPECT_EQ(w[4].bytes, MakeReply(kReplyStatus, "FAILURE111"));

  Receive(milliseconds(1000), SendFrame("222", "x"));
  w = RunUntil(milliseconds(2000));
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].bytes, MakeReply(kReplyStatus, "ERROR"));

  Bytes centre{0xAA, 0x09, '2', '2', '2'};
  Receive(milliseconds(2000), centre);
  w = RunUntil(milliseconds(3000));
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].bytes, MakeReply(kReplyText, "ERROR"));
}

TEST_F(TerminalTest, SilentNoReportAndUnknownType) {
  TerminalConfig silent;
  silent.silent = true;
  Make(silent);
  Receive(milliseconds(0), {0xAA, 0x14});
  EXPECT_TRUE(RunUntil(milliseconds(5000)).empty());
  EXPECT_EQ(EventsOf(Event::Kind::kReceived).size(), 1u);

  TerminalConfig quiet;
  quiet.no_report = true;
  quiet.unknown_type = 5;
  Make(quiet);
  Receive(milliseconds(0), SendFrame("1", "a"));
  auto w = RunUntil(milliseconds(5000));
  ASSERT_EQ(w.size(), 3u);
  EXPECT_EQ(w[0].bytes, MakeReply(5, "?"));
  EXPECT_EQ(w[1].bytes, MakeReply(kReplyStatus, "OK"));
  EXPECT_EQ(w[2].bytes, MakeReply(kReplyStatus, "SEND OK"));
}

TEST_F(TerminalTest, FramesTheByteStream) {
  Make();
  // Two fixed-length requests in one read are two requests.
  Receive(milliseconds(0), {0xAA, 0x07, 0xAA, 0x14});
  ASSERT_EQ(EventsOf(Event::Kind::kReceived).size(), 2u);
  // A request with a payload split over two reads within the gap is one request.
  Bytes frame = SendFrame("123", "abc");
  Receive(milliseconds(100), Bytes(frame.begin(), frame.begin() + 4));
  Receive(milliseconds(103), Bytes(frame.begin() + 4, frame.end()));
  RunUntil(milliseconds(107));
  ASSERT_EQ(EventsOf(Event::Kind::kReceived).size(), 2u);
  EXPECT_EQ(terminal_->NextDeadline(), At(milliseconds(108)));
  RunUntil(milliseconds(108));
  ASSERT_EQ(EventsOf(Event::Kind::kReceived).size(), 3u);
  EXPECT_EQ(EventsOf(Event::Kind::kReceived)[2]->request.bytes, frame);
  EXPECT_EQ(RunUntil(milliseconds(1999)).size(), 3u);  // the send's answers
  // Raw text is taken whole at the quiet line and answered with nothing.
  events_.clear();
  Receive(milliseconds(2000), {'A', 'T', '\r'});
  EXPECT_TRUE(RunUntil(milliseconds(3000)).empty());
  ASSERT_EQ(EventsOf(Event::Kind::kReceived).size(), 1u);
  EXPECT_EQ(EventsOf(Event::Kind::kReceived)[0]->request.kind, Request::Kind::kRaw);
}

TEST_F(TerminalTest, PacingPutsOneByteOnTheLinePerCharacterTime) {
  TerminalConfig c;
  c.pace = true;
  c.baud = 9600;
  Make(c);
  Receive(milliseconds(0), {0xAA, 0x00});
  std::vector<Emission> all;
  for (auto next = terminal_->NextDeadline(); next; next = terminal_->NextDeadline())
    for (Emission& e : terminal_->TakeDue(*next)) all.push_back(std::move(e));
  const Bytes expected = MakeReply(kReplyText, "MOBI-SIM READY");
  ASSERT_EQ(all.size(), expected.size());
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(all[i].bytes, Bytes{expected[i]});
    EXPECT_EQ(all[i].at, At(milliseconds(20)) + static_cast<int64_t>(i) * ByteTime(9600));
    // Only the last byte completes the reply; all but the first continue it.
    EXPECT_EQ(all[i].events.size(), i + 1 == all.size() ? 1u : 0u);
    EXPECT_EQ(all[i].continues, i > 0);
  }
  EXPECT_EQ(ByteTime(9600), std::chrono::nanoseconds(1'041'666));
}

TEST_F(TerminalTest, SplitFaultWritesTwoPartsAPauseApart) {
  TerminalConfig c;
  c.faults.push_back({FaultRule::Kind::kSplit, {2}, {}});
  c.fault_pause = milliseconds(30);
  Make(c);
  Receive(milliseconds(0), SendFrame("9", "a"));
  const auto w = RunUntil(milliseconds(1000));
  ASSERT_EQ(w.size(), 4u);
  EXPECT_EQ(w[0].bytes, MakeReply(kReplyStatus, "OK"));  // reply 1 untouched
  EXPECT_EQ(w[1].bytes, (Bytes{0xAA, 0x01, 'S', 'E'}));
  EXPECT_EQ(w[1].at, milliseconds(120));
  EXPECT_EQ(w[2].bytes, (Bytes{'N', 'D', ' ', 'O', 'K'}));
  EXPECT_EQ(w[2].at, milliseconds(150));
  EXPECT_EQ(EventsOf(Event::Kind::kFault).size(), 1u);
}

TEST_F(TerminalTest, GlueFaultWritesTwoRepliesInOneWrite) {
  TerminalConfig c;
  c.faults.push_back({FaultRule::Kind::kGlue, {1}, {}});
  Make(c);
  Receive(milliseconds(0), SendFrame("9", "a"));
  const auto w = RunUntil(milliseconds(1000));
  ASSERT_EQ(w.size(), 2u);
  Bytes glued = MakeReply(kReplyStatus, "OK");
  const Bytes send_ok = MakeReply(kReplyStatus, "SEND OK");
  glued.insert(glued.end(), send_ok.begin(), send_ok.end());
  EXPECT_EQ(w[0].bytes, glued);
  EXPECT_EQ(w[0].at, milliseconds(120));
  // Both replies are reported, in order, when the glued write goes out.
  const auto replied = EventsOf(Event::Kind::kReplied);
  ASSERT_EQ(replied.size(), 3u);
  EXPECT_EQ(replied[0]->reply_number, 1);
  EXPECT_EQ(replied[1]->reply_number, 2);
}

TEST_F(TerminalTest, StrayDropAndSelectionByReplyNumber) {
  TerminalConfig c;
  c.faults.push_back({FaultRule::Kind::kStray, {1, 3}, {0x00, 0xFF}});
  c.faults.push_back({FaultRule::Kind::kDrop, {2}, {}});
  Make(c);
  Receive(milliseconds(0), SendFrame("9", "a"));
  const auto w = RunUntil(milliseconds(1000));
  ASSERT_EQ(w.size(), 5u);  // stray, OK, (SEND OK dropped), stray, report
  EXPECT_EQ(w[0].bytes, (Bytes{0x00, 0xFF}));
  EXPECT_EQ(w[0].at, milliseconds(20));
  EXPECT_EQ(w[1].bytes, MakeReply(kReplyStatus, "OK"));
  EXPECT_EQ(w[1].at, milliseconds(40));
  EXPECT_TRUE(w[2].bytes.empty());  // the dropped reply leaves only its log entry
  EXPECT_EQ(w[3].bytes, (Bytes{0x00, 0xFF}));
  EXPECT_EQ(w[4].bytes, MakeReply(kReplyStatus, "SUCCESS9"));
  EXPECT_EQ(EventsOf(Event::Kind::kFault).size(), 3u);
}

TEST_F(TerminalTest, HangupEndsEverything) {
  TerminalConfig c;
  c.faults.push_back({FaultRule::Kind::kHangup, {2}, {}});
  Make(c);
  Receive(milliseconds(0), SendFrame("9", "a"));
  auto w = RunUntil(milliseconds(1000));
  ASSERT_EQ(w.size(), 2u);
  EXPECT_FALSE(w[0].hangup);
  EXPECT_TRUE(w[1].hangup);
  EXPECT_EQ(w[1].at, milliseconds(120));
  EXPECT_TRUE(terminal_->hung_up());
  EXPECT_EQ(terminal_->NextDeadline(), std::nullopt);
  Receive(milliseconds(2000), {0xAA, 0x14});
  EXPECT_TRUE(RunUntil(milliseconds(3000)).empty());
  EXPECT_EQ(EventsOf(Event::Kind::kHangup).size(), 1u);
}

TEST_F(TerminalTest, PacedSplitKeepsTheLineOrder) {
  TerminalConfig c;
  c.pace = true;
  c.baud = 115200;
  c.faults.push_back({FaultRule::Kind::kSplit, {}, {}});
  c.fault_pause = milliseconds(1);
  Make(c);
  Receive(milliseconds(0), {0xAA, 0x14});
  std::vector<Emission> all;
  for (auto next = terminal_->NextDeadline(); next; next = terminal_->NextDeadline())
    for (Emission& e : terminal_->TakeDue(*next)) all.push_back(std::move(e));
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].at, At(milliseconds(20)));
  EXPECT_EQ(all[1].at, At(milliseconds(21)));  // the pause after the first part's last byte
  EXPECT_EQ(all[2].at, At(milliseconds(21)) + ByteTime(115200));
  EXPECT_EQ(all[2].bytes, Bytes{23});
  // The second part continues the reply: a late write there would widen the pause.
  EXPECT_FALSE(all[0].continues);
  EXPECT_TRUE(all[1].continues);
}

}  // namespace
}  // namespace mobi::terminal
