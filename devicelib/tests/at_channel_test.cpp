#include <gtest/gtest.h>

#include "at_channel.h"
#include "fakes.h"

namespace smsdll {
namespace {

using testing::ScriptedLine;
using testing::VirtualClock;

TEST(AtChannel, SkipsEchoAndBlankLinesAndCollectsInformationLines) {
  VirtualClock clock;
  ScriptedLine line(clock, [](const std::string&) {
    // The answer arrives split in awkward places.
    return std::vector<std::string>{"AT+CSQ\r\r", "\n+CS", "Q: 21,99\r\n\r\n", "OK\r\n"};
  });
  AtChannel at(line, clock);
  AtReply reply;
  ASSERT_TRUE(at.Exchange("AT+CSQ", Millis(1000), reply).ok());
  EXPECT_TRUE(reply.ok());
  EXPECT_EQ(reply.lines, std::vector<std::string>{"+CSQ: 21,99"});
  EXPECT_EQ(line.writes, std::vector<std::string>{"AT+CSQ\r"});
}

TEST(AtChannel, ClassifiesEveryFinalResultCode) {
  VirtualClock clock;
  std::string answer;
  ScriptedLine line(clock, [&](const std::string&) { return std::vector<std::string>{answer}; });
  AtChannel at(line, clock);
  AtReply reply;
  answer = "\r\nERROR\r\n";
  ASSERT_TRUE(at.Exchange("AT+X", Millis(100), reply).ok());
  EXPECT_EQ(reply.final, AtReply::Final::kError);
  answer = "\r\n+CME ERROR: 10\r\n";
  ASSERT_TRUE(at.Exchange("AT+X", Millis(100), reply).ok());
  EXPECT_EQ(reply.final, AtReply::Final::kCmeError);
  answer = "\r\n+CMS ERROR: 331\r\n";
  Status s = at.Require("AT+CMGS=\"1\"", Millis(100), reply);
  EXPECT_EQ(reply.final, AtReply::Final::kCmsError);
  EXPECT_EQ(s.error(), Error::kModemRefused);
  EXPECT_EQ(s.text(), "the modem answered +CMS ERROR: 331 (no network service) to AT+CMGS=\"1\"");
}

TEST(AtChannel, ExplainsKnownCodesAndShowsOthersAsTheyCame) {
  EXPECT_EQ(ExplainFinal("+CME ERROR: 10"), "+CME ERROR: 10 (no SIM card inserted)");
  EXPECT_EQ(ExplainFinal("+CMS ERROR: 999"), "+CMS ERROR: 999");
  const std::string digits = "+CME ERROR: " + std::string(40, '9');
  EXPECT_EQ(ExplainFinal(digits), digits);
}

// Unsolicited lines as field modems send them: in the middle of an answer,
// inside a listing (a +CDS report with its PDU), with echo left on and noise
// glued to the front of a line; a restart announced between commands.
TEST(AtChannel, UnsolicitedLinesAreTakenOutOfAnswersWhereverTheyArrive) {
  VirtualClock clock;
  ScriptedLine line(clock, [](const std::string& w) {
    if (w.starts_with("AT+CMGL"))
      return std::vector<std::string>{"AT+CMGL=4\r\r\n+CMGL: 1,0,,20\r\n^RSSI:17\r\n",
                                      "0791683108200505F0\r\n+CDS: 25\r\n",
                                      "07916831082005F506\r\n+CDSI: \"SR\",3\r\n+CMGL: 2,1,,20\r\n",
                                      "RING\r\n00AB\r\n", "+CMTI: \"ME\",4\r\n\r\nOK\r\n"};
    return std::vector<std::string>{"\r\n+CREG: 1\r\n\xFF\xFE+CSCA: \"+861\",145\r\n",
                                    "^MODE:5,4\r\n\r\n\x80OK\r\n"};
  });
  AtChannel at(line, clock);
  AtReply reply;
  ASSERT_TRUE(at.Exchange("AT+CSCA?", Millis(1000), reply).ok());
  EXPECT_EQ(reply.lines, std::vector<std::string>{"+CSCA: \"+861\",145"});
  ASSERT_TRUE(at.Exchange("AT+CMGL=4", Millis(1000), reply).ok());
  EXPECT_EQ(reply.lines, (std::vector<std::string>{"+CMGL: 1,0,,20", "0791683108200505F0",
                                                   "+CMGL: 2,1,,20", "00AB"}));
  EXPECT_FALSE(at.TakeRestart());

  // A restart between commands is noticed once.
  line.Inject("\r\nRDY\r\n\r\n+CPIN: READY\r\n");
  ASSERT_TRUE(at.Exchange("AT+CSCA?", Millis(1000), reply).ok());
  EXPECT_TRUE(at.TakeRestart());
  EXPECT_FALSE(at.TakeRestart());
  // ... and while waiting between commands.
  line.Inject("\r\n+CPIN: READY\r\n");
  ASSERT_TRUE(at.Pause(Millis(10)).ok());
  EXPECT_TRUE(at.TakeRestart());
}

TEST(AtChannel, SilenceEndsInATimeOutThatSaysWhatWasHeard) {
  VirtualClock clock;
  ScriptedLine line(clock,
                    [](const std::string&) { return std::vector<std::string>{"\r\n+CSQ: 5"}; });
  AtChannel at(line, clock);
  AtReply reply;
  Millis start = clock.Now();
  Status s = at.Exchange("AT+CSQ", Millis(2500), reply);
  EXPECT_EQ(s.error(), Error::kNoAnswer);
  EXPECT_EQ(s.text(), "the modem did not answer AT+CSQ within 2500 ms (it sent only \"+CSQ: 5\")");
  EXPECT_EQ(clock.Now() - start, Millis(2500));
}

TEST(AtChannel, SubmitWaitsForThePromptThenSendsTextAndCtrlZ) {
  VirtualClock clock;
  ScriptedLine line(clock, [](const std::string& w) {
    if (w.ends_with("\r")) return std::vector<std::string>{"\r\n> "};
    return std::vector<std::string>{"\r\n+CMGS: 17\r\n\r\nOK\r\n"};
  });
  AtChannel at(line, clock);
  AtReply reply;
  ASSERT_TRUE(at.Submit("AT+CMGS=\"10086\"", "hi", Millis(100), Millis(100), reply).ok());
  EXPECT_EQ(line.writes, (std::vector<std::string>{"AT+CMGS=\"10086\"\r", "hi\x1A"}));
  EXPECT_EQ(*reply.Find("+CMGS:"), "+CMGS: 17");
}

TEST(AtChannel, SubmitWithoutPromptCancelsOrSendsTheTextWhenAskedTo) {
  VirtualClock clock;
  bool accepts = false;
  ScriptedLine line(clock, [&](const std::string& w) {
    if (accepts && w.ends_with("\x1A"))
      return std::vector<std::string>{"\r\n^RSSI:9\r\n+CMGS: 4\r\n\r\nOK\r\n"};
    return std::vector<std::string>{};
  });
  AtChannel at(line, clock);
  AtReply reply;
  // No prompt: nothing of the text goes, so the caller may ask again.
  Status s = at.Submit("AT+CMGS=\"10086\"", "hi", Millis(5000), Millis(100), reply);
  EXPECT_EQ(s.error(), Error::kNoAnswer);
  EXPECT_FALSE(reply.prompted);
  EXPECT_NE(s.text().find("did not prompt"), std::string::npos);
  EXPECT_EQ(line.writes, (std::vector<std::string>{"AT+CMGS=\"10086\"\r", "\x1B"}));

  // Without a prompt on request: the text goes, and unanswered it is cancelled.
  line.writes.clear();
  s = at.Submit("AT+CMGS=\"10086\"", "hi", Millis(5000), Millis(100), reply, true);
  EXPECT_EQ(s.error(), Error::kNoAnswer);
  EXPECT_EQ(line.writes, (std::vector<std::string>{"AT+CMGS=\"10086\"\r", "hi\x1A", "\x1B"}));

  accepts = true;  // a modem that never prompts but takes the text
  ASSERT_TRUE(at.Submit("AT+CMGS=\"10086\"", "hi", Millis(5000), Millis(100), reply, true).ok());
  EXPECT_EQ(reply.lines, std::vector<std::string>{"+CMGS: 4"});
}

TEST(AtChannel, SubmitRefusedBeforeThePromptReportsTheModemsAnswer) {
  VirtualClock clock;
  ScriptedLine line(clock, [](const std::string&) {
    return std::vector<std::string>{"\r\n+CMS ERROR: 330\r\n"};
  });
  AtChannel at(line, clock);
  AtReply reply;
  Status s = at.Submit("AT+CMGS=\"1\"", "hi", Millis(100), Millis(100), reply);
  EXPECT_EQ(s.error(), Error::kModemRefused);
  EXPECT_NE(s.text().find("service centre address unknown"), std::string::npos);
  EXPECT_EQ(line.writes.size(), 1u);
}

}  // namespace
}  // namespace smsdll
