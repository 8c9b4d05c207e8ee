// The modem driver against the simulated modem, in virtual time.
#include "modem.h"

#include <gtest/gtest.h>

#include "modem_line.h"
#include "pdu.h"
#include "platform/system.h"

namespace smsdll {
namespace {

using testing::ModemLine;
using testing::VirtualClock;

const std::string kNiHao = "\xC4\xE3\xBA\xC3";  // 你好 in GBK

class ModemTest : public ::testing::Test {
 protected:
  Modem Make() { return Modem(std::make_unique<ModemLine>(clock_, sim_), clock_, *codec_); }
  // A modem that has text mode only.
  Modem MakeTextOnly() {
    sim_.FailCommand("+CMGF=0", "+CMS ERROR: 303");
    return Make();
  }
  bool Sent(const std::string& command) const {
    const auto& c = sim_.commands();
    return std::find(c.begin(), c.end(), command) != c.end();
  }

  VirtualClock clock_;
  atmodem::Modem sim_;
  std::unique_ptr<Codec> codec_ = platform::MakeCodec();
};

TEST_F(ModemTest, StartTurnsEchoOffPrefersPduModeAndSetsTheServiceCentre) {
  Modem modem = Make();
  ASSERT_TRUE(sim_.echo());
  Status s = modem.Start("+8613800290500");
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_FALSE(sim_.echo());
  EXPECT_TRUE(modem.pdu_mode());
  EXPECT_FALSE(sim_.text_mode());
  EXPECT_TRUE(Sent("AT+CMGF=0"));
  EXPECT_EQ(sim_.charset(), "IRA");
  EXPECT_EQ(sim_.centre(), "+8613800290500");
  EXPECT_TRUE(Sent("AT+CSCA=\"+8613800290500\",145"));
  EXPECT_EQ(modem.identity(), "Mobi ATM-1 simulated GSM modem");
}

TEST_F(ModemTest, StartWithoutServiceCentreKeepsTheModemsOwn) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  EXPECT_EQ(sim_.centre(), "+8613800290500");
  EXPECT_FALSE(std::any_of(sim_.commands().begin(), sim_.commands().end(),
                           [](const std::string& c) { return c.starts_with("AT+CSCA="); }));
}

TEST_F(ModemTest, StartLeavesAModemThatWasLeftInUcs2) {
  ASSERT_TRUE(Make().Start("").ok());
  sim_.Receive("AT+CSCS=\"UCS2\"\r");
  Modem again = Make();
  ASSERT_TRUE(again.Start("8613800290500").ok());
  EXPECT_EQ(sim_.centre(), "8613800290500");  // set as plain text, not taken for hex
}

TEST_F(ModemTest, SilentPortIsNoModemAfterTheBoundedTries) {
  sim_.FailCommand("", "");  // never answers anything
  Modem modem = Make();
  Millis start = clock_.Now();
  Status s = modem.Start("");
  EXPECT_EQ(s.error(), Error::kNoAnswer);
  EXPECT_EQ(s.text(), "no modem answers on this port: \"AT\" got no OK in 3 tries of 1000 ms");
  EXPECT_EQ(clock_.Now() - start, Millis(3000));
}

TEST_F(ModemTest, ATextOnlyModemIsDrivenInTextModeAndOneWithNeitherIsNamed) {
  Modem text_only = MakeTextOnly();
  ASSERT_TRUE(text_only.Start("").ok());
  EXPECT_FALSE(text_only.pdu_mode());
  EXPECT_TRUE(sim_.text_mode());
  sim_.FailCommand("+CMGF=1", "ERROR");
  Status s = Make().Start("");
  EXPECT_EQ(s.error(), Error::kModemRefused);
  EXPECT_EQ(s.text(),
            "the modem takes neither PDU mode (it answered +CMS ERROR: 303 (operation not "
            "supported) to AT+CMGF=0) nor text mode (ERROR to AT+CMGF=1)");
}

TEST_F(ModemTest, ALockedOrMissingSimIsNamedAtStart) {
  sim_.SetSim("SIM PIN");
  Status locked = Make().Start("");
  EXPECT_EQ(locked.error(), Error::kModemRefused);
  EXPECT_EQ(locked.text(), "the SIM card is locked (SIM PIN): unlock it with AT+CPIN first");
  sim_.SetSim("");
  Status missing = Make().Start("");
  EXPECT_EQ(missing.text(),
            "the SIM card is not usable: the modem answered +CME ERROR: 10 (no SIM card "
            "inserted) to AT+CPIN?");
  // A modem that does not know AT+CPIN is taken as ready.
  sim_.SetSim("READY");
  sim_.FailCommand("+CPIN", "ERROR");
  EXPECT_TRUE(Make().Start("").ok());
}

TEST_F(ModemTest, GsmTextGoesAsGsm7InBothModes) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  Status s = modem.Send("", "hello @ {world}", " 10086 ", 1);
  ASSERT_TRUE(s.ok()) << s.Describe();
  ASSERT_EQ(sim_.sent().size(), 1u);
  EXPECT_TRUE(sim_.sent()[0].pdu);
  EXPECT_EQ(sim_.sent()[0].number, "10086");
  EXPECT_EQ(sim_.sent()[0].text, u"hello @ {world}");
  EXPECT_EQ(sim_.sent()[0].dcs, 0);

  Modem text_only = MakeTextOnly();
  ASSERT_TRUE(text_only.Start("").ok());
  ASSERT_TRUE(text_only.Send("", "hello @ world", "10086", 1).ok());
  EXPECT_FALSE(sim_.sent().back().pdu);
  EXPECT_EQ(sim_.sent().back().text, u"hello @ world");
  EXPECT_EQ(sim_.sent().back().dcs, 0);
  EXPECT_EQ(sim_.sent().back().charset, "IRA");
}

TEST_F(ModemTest, ChineseTextGoesAsUcs2AndTheModemReturnsToIra) {
  Modem modem = MakeTextOnly();
  ASSERT_TRUE(modem.Start("").ok());
  Status s = modem.Send("", kNiHao + ", SMS", "+8613912345678", 1);
  ASSERT_TRUE(s.ok()) << s.Describe();
  ASSERT_EQ(sim_.sent().size(), 1u);
  EXPECT_EQ(sim_.sent()[0].text, u"你好, SMS");
  EXPECT_EQ(sim_.sent()[0].number, "+8613912345678");  // sent hex-encoded, decoded by the modem
  EXPECT_EQ(sim_.sent()[0].dcs, 8);
  EXPECT_EQ(sim_.sent()[0].charset, "UCS2");
  EXPECT_EQ(sim_.charset(), "IRA");
}

TEST_F(ModemTest, ModeTwoSendsEvenPlainTextAsUcs2) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  ASSERT_TRUE(modem.Send("", "plain", "10086", 2).ok());
  ASSERT_TRUE(modem.Send("", kNiHao, "+8613912345678", 1).ok());
  for (const auto& sent : sim_.sent()) EXPECT_EQ(sent.dcs, 8);
  EXPECT_EQ(sim_.sent().at(0).text, u"plain");
  EXPECT_EQ(sim_.sent().at(1).text, u"你好");
  EXPECT_EQ(sim_.sent().at(1).number, "+8613912345678");
}

// The parts of the last message sent, put together.
std::u16string Joined(const std::vector<atmodem::SentMessage>& sent, std::size_t parts) {
  std::u16string text;
  for (std::size_t k = sent.size() - parts; k < sent.size(); ++k) {
    EXPECT_TRUE(sent[k].concat);
    if (!sent[k].concat) continue;
    EXPECT_EQ(sent[k].concat->part, static_cast<int>(k - (sent.size() - parts) + 1));
    EXPECT_EQ(sent[k].concat->total, static_cast<int>(parts));
    EXPECT_EQ(sent[k].concat->reference, sent.back().concat->reference);
    text += sent[k].text;
  }
  return text;
}

TEST_F(ModemTest, LongTextsGoAsConcatenatedPartsInBothModes) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  const std::string long_text = std::string(300, 'a') + "{}";  // 304 septets: 2 parts
  ASSERT_TRUE(modem.Send("", long_text, "10086", 1).ok());
  ASSERT_EQ(sim_.sent().size(), 2u);
  EXPECT_EQ(Joined(sim_.sent(), 2), std::u16string(300, u'a') + u"{}");
  EXPECT_EQ(sim_.sent()[0].dcs, 0);
  std::string chinese;
  for (int i = 0; i < 100; ++i) chinese += kNiHao;  // 200 characters: 3 UCS2 parts
  ASSERT_TRUE(modem.Send("", chinese, "10086", 1).ok());
  ASSERT_EQ(sim_.sent().size(), 5u);
  EXPECT_EQ(Joined(sim_.sent(), 3).size(), 200u);
  EXPECT_NE(sim_.sent()[2].concat->reference, sim_.sent()[0].concat->reference);

  // Text mode carries the header in UCS2 text, also for a plain text.
  Modem text_only = MakeTextOnly();
  ASSERT_TRUE(text_only.Start("").ok());
  ASSERT_TRUE(text_only.Send("", long_text, "10086", 1).ok());
  ASSERT_EQ(sim_.sent().size(), 10u);
  EXPECT_EQ(Joined(sim_.sent(), 5), std::u16string(300, u'a') + u"{}");
  EXPECT_EQ(sim_.sent().back().dcs, 8);
  EXPECT_FALSE(sim_.sent().back().pdu);
  EXPECT_EQ(sim_.charset(), "IRA");
}

TEST_F(ModemTest, TextsThatCannotBeSentAreRefusedBeforeTheModemSeesThem) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  std::size_t commands = sim_.commands().size();
  EXPECT_EQ(modem.Send("", "x", "10086", 0).error(), Error::kInvalidArgument);
  EXPECT_EQ(modem.Send("", "x", "", 1).error(), Error::kInvalidArgument);
  EXPECT_EQ(modem.Send("", "x", "100 86", 1).error(), Error::kInvalidArgument);
  EXPECT_EQ(modem.Send("", "x", "123456789012345678901", 1).error(), Error::kInvalidArgument);
  EXPECT_EQ(modem.Send("", "\xC4", "10086", 1).error(), Error::kTextEncoding);
  Status too_long = modem.Send("", std::string(16 * 153 + 1, 'a'), "10086", 1);
  EXPECT_EQ(too_long.error(), Error::kMessageTooLong);
  EXPECT_EQ(too_long.text(),
            "the message text takes 2449 GSM characters; at most 16 parts of 153 go in one "
            "message");
  // Characters of the GSM extension table take two places, and stay whole.
  EXPECT_EQ(modem.Send("", std::string(16 * 76 + 1, '{'), "10086", 1).error(),
            Error::kMessageTooLong);
  std::string chinese;
  for (int i = 0; i < 16 * 67 + 1; ++i) chinese += kNiHao.substr(0, 2);
  EXPECT_EQ(modem.Send("", chinese, "10086", 1).error(), Error::kMessageTooLong);
  EXPECT_EQ(sim_.commands().size(), commands);
  EXPECT_TRUE(sim_.sent().empty());

  // The longest texts that fit do go.
  ASSERT_TRUE(modem.Send("", std::string(160, 'a'), "10086", 1).ok());
  EXPECT_EQ(sim_.sent().size(), 1u);
  ASSERT_TRUE(modem.Send("", chinese.substr(2), "10086", 1).ok());
  EXPECT_EQ(sim_.sent().size(), 17u);
}

TEST_F(ModemTest, ANewServiceCentreIsSetBeforeSending) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("8613800290500").ok());
  ASSERT_TRUE(modem.Send("8613800290500", "a", "10086", 1).ok());
  EXPECT_EQ(std::count_if(sim_.commands().begin(), sim_.commands().end(),
                          [](const std::string& c) { return c.starts_with("AT+CSCA="); }),
            1);
  ASSERT_TRUE(modem.Send("+8613800100500", "b", "10086", 1).ok());
  EXPECT_EQ(sim_.sent().back().centre, "+8613800100500");
}

TEST_F(ModemTest, ASentMessageIsASuccessEvenWhenTheCharacterSetStaysUcs2) {
  Modem modem = MakeTextOnly();
  ASSERT_TRUE(modem.Start("").ok());
  sim_.FailCommand("+CSCS=\"IRA\"", "ERROR", 1);  // only the step after the message
  Status s = modem.Send("", kNiHao, "10086", 1);
  EXPECT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(sim_.sent().size(), 1u);
}

TEST_F(ModemTest, NetworkRefusalAfterCtrlZIsReportedWithItsCause) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  sim_.FailCommand("SUBMIT", "+CMS ERROR: 304", 1);  // not passing: not tried again
  Status s = modem.Send("", "hi", "10086", 1);
  EXPECT_EQ(s.error(), Error::kModemRefused);
  EXPECT_EQ(s.text(),
            "the modem answered +CMS ERROR: 304 (invalid PDU mode parameter) to the message text "
            "of AT+CMGS=13");
  EXPECT_EQ(std::count(sim_.commands().begin(), sim_.commands().end(), "AT+CMGS=13"), 1);
  EXPECT_TRUE(modem.Send("", "hi", "10086", 1).ok());  // the next one goes
  // A part of a long message that fails says which, and what went before.
  sim_.FailCommand("SUBMIT", "+CMS ERROR: 304", 1);
  s = modem.Send("", std::string(200, 'a'), "10086", 1);
  EXPECT_EQ(s.text().substr(0, 12), "part 1 of 2:");
}

TEST_F(ModemTest, TheFirstSendWaitsBoundedForTheNetworkAndTheServiceCentre) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  sim_.FailCommand("+CREG?", "+CREG: 0,2\r\n\r\nOK", 3);  // searching
  sim_.FailCommand("+CSCA?", "+CMS ERROR: 500", 2);       // not readable yet
  Millis start = clock_.Now();
  ASSERT_TRUE(modem.Send("", "hi", "10086", 1).ok());
  EXPECT_EQ(clock_.Now() - start, 5 * Millis(2000));  // polled, not spun
  ASSERT_TRUE(modem.Send("", "again", "10086", 1).ok());
  EXPECT_EQ(std::count(sim_.commands().begin(), sim_.commands().end(), "AT+CREG?"), 4);
  EXPECT_EQ(sim_.sent().size(), 2u);

  // A network that never comes: the wait ends at its bound and the modem's
  // refusal is reported.
  sim_.FailCommand("+CREG?", "+CREG: 0,0\r\n\r\nOK");
  sim_.FailCommand("SUBMIT", "+CMS ERROR: 331");
  Modem late = Make();
  ASSERT_TRUE(late.Start("").ok());
  start = clock_.Now();
  Status s = late.Send("", "hi", "10086", 1);
  EXPECT_EQ(s.error(), Error::kModemRefused);
  EXPECT_NE(s.text().find("no network service"), std::string::npos);
  EXPECT_EQ(clock_.Now() - start, Millis(60000));
}

TEST_F(ModemTest, PassingErrorsAreRetriedButAnAcceptedPartIsNeverSentAgain) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  // Within the registration window after start-up "no network service" passes.
  sim_.FailCommand("SUBMIT", "+CMS ERROR: 331", 1);
  EXPECT_TRUE(modem.Send("", "hi", "10086", 1).ok());
  EXPECT_EQ(sim_.sent().size(), 1u);
  // Part 1 gets its reference but no OK; part 2 meets a busy modem twice,
  // then an unknown error; part 3 goes at once.
  sim_.FailCommand("SUBMIT", "+CMGS: 9", 1);
  sim_.FailCommand("+CMGS", "ERROR", 1);
  sim_.FailCommand("+CMGS", "+CME ERROR: 515", 1);
  sim_.FailCommand("SUBMIT", "+CMS ERROR: 500", 1);
  Status s = modem.Send("", std::string(400, 'a'), "10086", 1);
  ASSERT_TRUE(s.ok()) << s.Describe();
  ASSERT_EQ(sim_.sent().size(), 3u);  // part 1 went out without the simulator's log
  EXPECT_EQ(sim_.sent()[1].concat->part, 2);
  EXPECT_EQ(sim_.sent()[2].concat->part, 3);
  EXPECT_EQ(std::count_if(sim_.commands().begin(), sim_.commands().end(),
                          [](const std::string& c) { return c.starts_with("AT+CMGS="); }),
            2 + 1 + 4 + 1);
}

TEST_F(ModemTest, AMissedPromptABusyListingAndAPduWithoutCentreAreServed) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  // The first AT+CMGS gets no prompt and no answer: it is cancelled and
  // asked again, and the text goes once.
  sim_.FailCommand("+CMGS=", "", 1);
  Status s = modem.Send("", "hi", "10086", 1);
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(sim_.sent().size(), 1u);
  EXPECT_EQ(std::count_if(sim_.commands().begin(), sim_.commands().end(),
                          [](const std::string& c) { return c.starts_with("AT+CMGS="); }),
            2);
  // A busy listing is asked again; a PDU listed without its centre is read.
  sim_.AddInbox("+8613912345678", u"hello", "26/12/08,19:10:00+32");
  sim_.quirks.listed_centre = atmodem::Quirks::Centre::kNone;
  sim_.FailCommand("+CMGL", "+CME ERROR: 515", 1);
  FetchedMessage m;
  s = modem.Fetch(m);
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(m.text, "hello");
}

TEST_F(ModemTest, ARestartedModemIsSetUpAgainBeforeTheNextCommand) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("+8613800100500").ok());
  // The modem restarts: echo on, its own centre, and says so mid-listing.
  for (const char* command : {"ATE1\r", "AT+CSCA=\"+8613800290500\"\r"}) sim_.Receive(command);
  (void)sim_.TakeOutput();
  sim_.FailCommand("+CMGL", "RDY\r\n\r\n+CPIN: READY\r\n\r\nOK", 1);
  FetchedMessage m;
  EXPECT_EQ(modem.Fetch(m).error(), Error::kInboxEmpty);
  ASSERT_TRUE(modem.Send("", "hi", "10086", 1).ok());
  EXPECT_FALSE(sim_.echo());
  EXPECT_EQ(sim_.sent().back().centre, "+8613800100500");
}

TEST_F(ModemTest, StartCopesWithNoiseEchoAndAnswersInBursts) {
  int probes = 0;
  auto line = std::make_unique<testing::ScriptedLine>(clock_, [&](const std::string& w) {
    std::string command = w.substr(0, w.size() - 1);
    if (command == "AT" && ++probes < 3)  // a wrong speed first: noise glued to the answer
      return std::vector<std::string>{"\xF0\x0F\xFE", "OK\r\n"};
    // Echo stays on (ATE0 ignored) and the answer trickles in.
    std::vector<std::string> chunks{command.substr(0, 3), command.substr(3) + "\r", "\r\n"};
    if (command == "AT+CPIN?") chunks.push_back("+CPIN: READY\r\n\r\n");
    if (command == "AT+CPMS=?") chunks.push_back("+CPMS: (\"SM\"),(\"SM\"),(\"SM\")\r\n\r\n");
    chunks.insert(chunks.end(), {"O", "K\r", "\n"});
    return chunks;
  });
  auto& script = *line;
  Modem modem(std::move(line), clock_, *codec_);
  Status s = modem.Start("");
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(probes, 1);
  FetchedMessage m;
  EXPECT_EQ(modem.Fetch(m).error(), Error::kInboxEmpty);
  EXPECT_EQ(script.writes.back(), "AT+CMGL=4\r");
}

TEST_F(ModemTest, FetchReadsTheLowestReceivedMessageDecodesItAndDeletesIt) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  sim_.AddInbox("+8613912345678", u"你好 world", "26/12/08,19:10:00+32");
  sim_.AddInbox("10086", u"second", "26/12/08,19:11:00-20", true);
  FetchedMessage m;
  Status s = modem.Fetch(m);
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(m.text, kNiHao + " world");
  EXPECT_EQ(m.sender, "+8613912345678");
  EXPECT_EQ(m.sent_time, "2026-12-08 19:10:00 +08:00");
  EXPECT_EQ(m.fetched_time, "2026-12-08 09:05:07");
  ASSERT_EQ(sim_.inbox().size(), 1u);
  EXPECT_EQ(sim_.inbox()[0].text, u"second");
  EXPECT_EQ(sim_.charset(), "IRA");

  ASSERT_TRUE(modem.Fetch(m).ok());
  EXPECT_EQ(m.text, "second");
  EXPECT_EQ(m.sent_time, "2026-12-08 19:11:00 -05:00");
  EXPECT_TRUE(sim_.inbox().empty());
}

TEST_F(ModemTest, FetchPutsConcatenatedPartsTogetherAndDeletesThemAll) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  const std::u16string long_text = std::u16string(100, u'\u4F60') + u" end";  // 2 UCS2 parts
  ASSERT_EQ(sim_.AddInbox("+8613912345678", long_text, "26/12/08,19:10:00+32"), 1);
  ASSERT_EQ(sim_.AddInbox("10086", u"single", "26/12/08,19:11:00+32"), 3);
  FetchedMessage m;
  ASSERT_TRUE(modem.Fetch(m).ok());
  EXPECT_EQ(m.text, codec_->Utf16ToGbk(long_text));
  EXPECT_EQ(m.sender, "+8613912345678");
  EXPECT_EQ(m.sent_time, "2026-12-08 19:10:00 +08:00");
  ASSERT_EQ(sim_.inbox().size(), 1u);
  EXPECT_EQ(sim_.inbox()[0].text, u"single");

  // A message whose parts have not all arrived stays; the next whole one comes.
  ASSERT_TRUE(sim_.AddInbox("10086", std::u16string(200, u'x'), "26/12/08,19:12:00+32"));
  sim_.Receive("AT+CMGD=2\r");  // its second part
  (void)sim_.TakeOutput();
  ASSERT_TRUE(modem.Fetch(m).ok());
  EXPECT_EQ(m.text, "single");
  Status s = modem.Fetch(m);
  EXPECT_EQ(s.error(), Error::kIncompleteMessage);
  EXPECT_EQ(s.text(),
            "only 1 of the 2 parts of a message from 10086 are stored; the others have not "
            "arrived");
  EXPECT_EQ(sim_.inbox().size(), 1u);
}

TEST_F(ModemTest, FetchReadsEveryStorageInTurn) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  sim_.Receive("AT+CPMS=\"ME\",\"ME\",\"ME\"\r");
  sim_.AddInbox("10086", u"kept in ME", "26/12/08,19:10:00+32");
  sim_.Receive("AT+CPMS=\"SM\",\"SM\",\"SM\"\r");
  (void)sim_.TakeOutput();
  sim_.AddInbox("10010", u"on the SIM", "26/12/08,19:11:00+32");
  FetchedMessage m;
  ASSERT_TRUE(modem.Fetch(m).ok());
  EXPECT_EQ(m.text, "on the SIM");
  ASSERT_TRUE(modem.Fetch(m).ok());
  EXPECT_EQ(m.text, "kept in ME");
  EXPECT_EQ(m.sender, "10086");
  EXPECT_EQ(modem.Fetch(m).error(), Error::kInboxEmpty);
  EXPECT_TRUE(sim_.inbox().empty());
}

// A listing as field modems give it: the parts of a message out of order and
// one of them twice, a delivery report (with its PDU) in the middle of an
// entry, and a PDU in lower case with no service centre, an alphanumeric
// sender and 8-bit data.
TEST_F(ModemTest, FetchJoinsPartsInAnyOrderAndReadsPdusAsModemsWriteThem) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  auto part = [](int k) {
    pdu::Message m;
    m.number = "+8613912345678";
    m.text = k == 1 ? u"first " : u"second";
    m.time = "26/12/08,19:10:00+32";
    m.concat = pdu::Concat{7, 2, k, false};
    pdu::Encoded e;
    std::string why;
    EXPECT_TRUE(pdu::Encode(m, e, why)) << why;
    return "+CMGL: " + std::to_string(k + 2) + ",0,," + std::to_string(e.tpdu_length) + "\r\n" +
           e.hex + "\r\n";
  };
  const std::string odd =
      "0004"
      "07d0c2b07b0d"
      "0004"
      "62218091010023"
      "03"
      "00ff41";
  const std::string odd_entry = "+CMGL: 9,1,,17\r\n" + odd + "\r\n";
  std::string listing = part(2) + part(1) + odd_entry;
  listing.insert(listing.find('\n', listing.find("+CMGL: 3")) + 1,
                 "+CDS: 25\r\n07916831080010F506\r\n");
  sim_.FailCommand("+CMGL", listing + part(2).replace(7, 1, "6") + "\r\nOK", 1);
  FetchedMessage m;
  Status s = modem.Fetch(m);
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(m.text, "first second");
  for (const char* erase : {"AT+CMGD=3", "AT+CMGD=4", "AT+CMGD=6"}) EXPECT_TRUE(Sent(erase));
  EXPECT_FALSE(Sent("AT+CMGD=9"));

  sim_.FailCommand("+CMGL", odd_entry + "\r\nOK", 1);
  s = modem.Fetch(m);
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(m.text, "00FF41");  // 8-bit data as hex
  EXPECT_EQ(m.sender, "Bank");
  EXPECT_EQ(m.sent_time, "2026-12-08 19:10:00 +08:00");
}

TEST_F(ModemTest, ATextOnlyModemFetchesInTextMode) {
  Modem modem = MakeTextOnly();
  ASSERT_TRUE(modem.Start("").ok());
  sim_.AddInbox("+8613912345678", u"你好 world", "26/12/08,19:10:00+32");
  FetchedMessage m;
  ASSERT_TRUE(modem.Fetch(m).ok());
  EXPECT_EQ(m.text, kNiHao + " world");
  EXPECT_TRUE(Sent("AT+CMGL=\"ALL\""));
  EXPECT_TRUE(sim_.inbox().empty());
  sim_.AddInbox("Bank", u"alphanumeric", "26/12/08,19:10:00+32");
  ASSERT_TRUE(modem.Fetch(m).ok());
  EXPECT_EQ(m.sender, "Bank");
}

TEST_F(ModemTest, EmptyInboxIsAnErrorWithEmptyTexts) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  FetchedMessage m{"old", "old", "old", "old"};
  Status s = modem.Fetch(m);
  EXPECT_EQ(s.error(), Error::kInboxEmpty);
  EXPECT_EQ(s.text(), "no received message is stored in the modem");
  EXPECT_TRUE(m.text.empty() && m.sender.empty() && m.sent_time.empty() && m.fetched_time.empty());
}

// Listings as real phones give them: status reports (and stored outgoing
// messages) beside received ones, and a PDU line with a stray quote.
TEST_F(ModemTest, StatusReportsAreLeftAloneAndAQuotedPduLineIsRead) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  auto hex = [](pdu::Message m) {
    pdu::Encoded e;
    std::string why;
    EXPECT_TRUE(pdu::Encode(m, e, why)) << why;
    return e.hex;
  };
  pdu::Message report;
  report.type = pdu::Type::kStatusReport;
  report.number = "+8613912345678";
  report.time = report.discharge_time = "26/12/08,19:10:00+32";
  pdu::Message outgoing;
  outgoing.type = pdu::Type::kSubmit;
  outgoing.number = "10086";
  outgoing.text = u"sent";
  sim_.FailCommand(
      "+CMGL",
      "+CMGL: 1,1,,25\r\n" + hex(report) + "\r\n+CMGL: 2,3,,17\r\n" + hex(outgoing) + "\r\n\r\nOK",
      1);
  FetchedMessage m;
  Status s = modem.Fetch(m);
  EXPECT_EQ(s.error(), Error::kInboxEmpty) << s.Describe();
  EXPECT_FALSE(Sent("AT+CMGD=1"));

  ASSERT_EQ(sim_.AddInbox("10086", u"quoted", "26/12/08,19:10:00+32"), 1);
  pdu::Message deliver;
  deliver.number = "10086";
  deliver.text = u"quoted";
  deliver.time = "26/12/08,19:10:00+32";
  sim_.FailCommand("+CMGL", "+CMGL: 1,0,,20\r\n" + hex(deliver) + "\"\r\n\r\nOK", 1);
  s = modem.Fetch(m);
  ASSERT_TRUE(s.ok()) << s.Describe();
  EXPECT_EQ(m.text, "quoted");
  EXPECT_TRUE(sim_.inbox().empty());
}

TEST_F(ModemTest, AMessageThatCannotBeDeletedIsStillReturned) {
  Modem modem = Make();
  ASSERT_TRUE(modem.Start("").ok());
  sim_.AddInbox("10086", u"keep me", "26/12/08,19:10:00+32");
  sim_.FailCommand("+CMGD", "+CMS ERROR: 320");
  FetchedMessage m;
  Status s = modem.Fetch(m);
  EXPECT_EQ(s.error(), Error::kModemRefused);
  EXPECT_NE(s.text().find("read but not deleted"), std::string::npos);
  EXPECT_EQ(m.text, "keep me");
  EXPECT_EQ(sim_.inbox().size(), 1u);
}

TEST(ModemHelpers, ServiceCentreTimeAndFields) {
  EXPECT_EQ(FormatServiceCentreTime("26/01/31,23:59:58+00"), "2026-01-31 23:59:58 +00:00");
  EXPECT_EQ(FormatServiceCentreTime("26/01/31,23:59:58+22"), "2026-01-31 23:59:58 +05:30");
  EXPECT_EQ(FormatServiceCentreTime("yesterday"), "yesterday");
  EXPECT_EQ(SplitFields(R"(+CMGR: "REC READ","+86139",,"26/12/08,19:10:00+32")"),
            (std::vector<std::string>{"REC READ", "+86139", "", "26/12/08,19:10:00+32"}));
}

}  // namespace
}  // namespace smsdll
