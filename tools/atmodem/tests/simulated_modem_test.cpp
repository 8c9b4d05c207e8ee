// The simulated modem's answers where a real client depends on their form.
#include "simulated_modem.h"

#include <gtest/gtest.h>

namespace atmodem {
namespace {

std::string Say(Modem& m, std::string_view bytes) {
  m.Receive(bytes);
  return m.TakeOutput();
}

class SimulatedModemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Say(m_, "ATE0\r");
    ASSERT_EQ(Say(m_, "AT+CMGF=1\r"), "\r\nOK\r\n");
  }
  Modem m_;
};

TEST(SimulatedModem, EchoesUntilATE0AndAnswersInVerboseForm) {
  Modem m;
  EXPECT_EQ(Say(m, "AT\r"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(Say(m, "ate0\r"), "ate0\r\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+NOSUCH\r"), "\r\nERROR\r\n");
  EXPECT_EQ(Say(m, "ATE1\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT\r"), "AT\r\r\nOK\r\n");
}

TEST(SimulatedModem, TypingByHandWorks) {
  Modem m;
  // Characters one at a time, a typo corrected with backspace, CR LF endings.
  std::string out;
  for (char c : std::string("AT+CSX\bQ\r\n")) out += Say(m, std::string(1, c));
  EXPECT_EQ(out, "AT+CSX\bQ\r\r\n+CSQ: 21,99\r\n\r\nOK\r\n\n");  // the LF is echoed too
  EXPECT_EQ(Say(m, "garbage\r"), "garbage\r");                   // lines without AT are ignored
}

TEST(SimulatedModem, SeveralCommandsOnOneLine) {
  Modem m;
  Say(m, "ATE0\r");
  EXPECT_EQ(Say(m, "AT+CMGF=1;+CSQ;+CMGF?\r"), "\r\n+CSQ: 21,99\r\n+CMGF: 1\r\n\r\nOK\r\n");
  // An error stops the line; what came before it stays done.
  EXPECT_EQ(Say(m, "AT+CMGF=0;+BAD;+CMGF=1\r"), "\r\nERROR\r\n");
  EXPECT_FALSE(m.text_mode());
}

TEST(SimulatedModem, IdentityCommands) {
  Modem m;
  Say(m, "ATE0\r");
  EXPECT_EQ(Say(m, "ATI\r"),
            "\r\nMobi\r\nATM-1 simulated GSM modem\r\nRevision: 1.0\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CGMI\r"), "\r\nMobi\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CGMM\r"), "\r\nATM-1 simulated GSM modem\r\n\r\nOK\r\n");
}

TEST(SimulatedModem, PduModeSendsListsAndReports) {
  Modem m;
  Say(m, "ATE0;+CNMI=2,1,0,1,0\r");
  // A SUBMIT with the modem's own centre, asking for a report: "hellohello" to +46708251358.
  EXPECT_EQ(Say(m, "AT+CMGS=23\r"), "\r\n> ");
  EXPECT_EQ(Say(m, "0031000B916407281553F80000AA0AE8329BFD4697D9EC37\x1A"),
            "\r\n+CMGS: 1\r\n\r\nOK\r\n"
            "\r\n+CDS: 25\r\n0891683108200905F006010B916407281553F8"
            "6221809101002362218091010023"
            "00\r\n");
  ASSERT_EQ(m.sent().size(), 1u);
  EXPECT_EQ(m.sent()[0].text, u"hellohello");
  EXPECT_EQ(m.sent()[0].number, "+46708251358");
  EXPECT_TRUE(m.sent()[0].pdu);
  // A length that does not match the PDU is refused.
  Say(m, "AT+CMGS=22\r");
  EXPECT_EQ(Say(m, "0011000B916407281553F80000AA0AE8329BFD4697D9EC37\x1A"),
            "\r\n+CMS ERROR: 304\r\n");
  m.AddInbox("+8613912345678", u"\u4F60\u597D", "26/12/08,19:10:00+32");
  const std::string deliver =
      "0891683108200905F0040D91683119325476F80008622180910100230"
      "44F60597D";
  EXPECT_EQ(m.TakeOutput(), "\r\n+CMTI: \"SM\",1\r\n");
  EXPECT_EQ(Say(m, "AT+CMGL=4\r"), "\r\n+CMGL: 1,0,,24\r\n" + deliver + "\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CMGR=1\r"), "\r\n+CMGR: 1,,24\r\n" + deliver + "\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CMGL=\"ALL\"\r"), "\r\n+CMS ERROR: 304\r\n");
}

TEST(SimulatedModem, LongInboxTextsArriveAsConcatenatedParts) {
  Modem m;
  ASSERT_EQ(m.AddInbox("10086", std::u16string(200, u'x'), "26/12/08,19:10:00+32"), 1);
  auto stored = m.inbox();
  ASSERT_EQ(stored.size(), 2u);
  ASSERT_TRUE(stored[1].concat);
  EXPECT_EQ(stored[1].concat->total, 2);
  EXPECT_EQ(stored[1].concat->part, 2);
  EXPECT_EQ(stored[0].text.size() + stored[1].text.size(), 200u);
  // No room for all parts: nothing is stored.
  for (int i = 2; i < Modem::kSlots; ++i) ASSERT_TRUE(m.AddInbox("1", u"x", "t"));
  EXPECT_FALSE(m.AddInbox("1", std::u16string(200, u'y'), "t"));
  EXPECT_EQ(m.inbox().size(), static_cast<std::size_t>(Modem::kSlots));
}

TEST(SimulatedModem, NetworkStorageAndErrorReportingCommands) {
  Modem m;
  Say(m, "ATE0\r");
  m.AddInbox("1", u"x", "26/12/08,19:10:00+32");
  EXPECT_EQ(Say(m, "AT+CPMS=?\r"),
            "\r\n+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CPMS?\r"), "\r\n+CPMS: \"SM\",1,30,\"SM\",1,30,\"SM\",1,30\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CPMS=\"ME\"\r"), "\r\n+CPMS: 0,30,1,30,1,30\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CMGR=1\r"), "\r\n+CMS ERROR: 321\r\n");  // the phone memory is empty
  EXPECT_EQ(Say(m, "AT+CPMS=\"XX\"\r"), "\r\n+CMS ERROR: 302\r\n");
  EXPECT_EQ(Say(m, "AT+CREG=2;+CREG?\r"), "\r\n+CREG: 2,1,\"1A2B\",\"00C3D4E5\"\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+COPS=3,2;+COPS?\r"), "\r\n+COPS: 0,2,\"46099\"\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CIMI;+CBC\r"), "\r\n460991234567890\r\n+CBC: 0,80\r\n\r\nOK\r\n");
  m.SetSim("");
  EXPECT_EQ(Say(m, "AT+CPIN?\r"), "\r\n+CME ERROR: 10\r\n");
  EXPECT_EQ(Say(m, "AT+CMEE=2\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CPIN?\r"), "\r\n+CME ERROR: SIM not inserted\r\n");
  EXPECT_EQ(Say(m, "AT+CMEE=0\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m, "AT+CPIN?\r"), "\r\nERROR\r\n");
}

TEST_F(SimulatedModemTest, CharacterSetsAndUcs2Parameters) {
  EXPECT_EQ(Say(m_, "AT+CSCS=?\r"), "\r\n+CSCS: (\"GSM\",\"IRA\",\"UCS2\")\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CSCS?\r"), "\r\n+CSCS: \"IRA\"\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CSCS=\"KOI8\"\r"), "\r\nERROR\r\n");
  EXPECT_EQ(Say(m_, "AT+CSCS=\"UCS2\"\r"), "\r\nOK\r\n");
  // In UCS2 string parameters and answers are hex: "+86138" is 002B00380036...
  EXPECT_EQ(Say(m_, "AT+CSCA=\"002B0038003600310033\"\r"), "\r\nOK\r\n");
  EXPECT_EQ(m_.centre(), "+8613");
  EXPECT_EQ(Say(m_, "AT+CSCA?\r"), "\r\n+CSCA: \"002B0038003600310033\",145\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CSCA=\"+8613\"\r"), "\r\nERROR\r\n");  // plain text is not hex
  EXPECT_EQ(Say(m_, "AT+CSCS=\"IRA\"\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CSCA?\r"), "\r\n+CSCA: \"+8613\",145\r\n\r\nOK\r\n");
}

TEST_F(SimulatedModemTest, SendPromptsThenAnswersWithIncreasingReferences) {
  EXPECT_EQ(Say(m_, "AT+CMGS=\"10086\"\r"), "\r\n> ");
  EXPECT_EQ(Say(m_, "line one\rline two"), "\r\n> ");
  EXPECT_EQ(Say(m_, "\x1A"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  Say(m_, "AT+CMGS=\"10086\"\r");
  EXPECT_EQ(Say(m_, "again\x1A"), "\r\n+CMGS: 2\r\n\r\nOK\r\n");
  ASSERT_EQ(m_.sent().size(), 2u);
  EXPECT_EQ(m_.sent()[0].text, u"line one\nline two");
  EXPECT_EQ(m_.sent()[0].number, "10086");
  EXPECT_EQ(m_.sent()[0].dcs, 0);
}

TEST_F(SimulatedModemTest, EscCancelsTheMessage) {
  Say(m_, "AT+CMGS=\"10086\"\r");
  EXPECT_EQ(Say(m_, "never mind\x1B"), "\r\nOK\r\n");
  EXPECT_TRUE(m_.sent().empty());
  EXPECT_EQ(Say(m_, "AT\r"), "\r\nOK\r\n");  // back in command mode
}

TEST_F(SimulatedModemTest, Ucs2MessagesAreDecodedAndLengthsChecked) {
  Say(m_, "AT+CSMP=17,167,0,8;+CSCS=\"UCS2\"\r");
  Say(m_, "AT+CMGS=\"00310030003000380036\"\r");
  EXPECT_EQ(Say(m_, "4F60597D\x1A"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  EXPECT_EQ(m_.sent().at(0).text, u"你好");
  EXPECT_EQ(m_.sent().at(0).number, "10086");
  EXPECT_EQ(m_.sent().at(0).dcs, 8);
  Say(m_, "AT+CMGS=\"00310030003000380036\"\r");
  EXPECT_EQ(Say(m_, "4F6\x1A"), "\r\n+CMS ERROR: 305\r\n");  // not hex groups
  Say(m_, "AT+CMGS=\"00310030003000380036\"\r");
  EXPECT_EQ(Say(m_, std::string(71 * 4, 'A') + "\x1A"), "\r\n+CMS ERROR: 305\r\n");  // > 70
}

TEST_F(SimulatedModemTest, ListingMarksMessagesReadAndDeleteFlagsWork) {
  m_.AddInbox("+861", u"one", "26/12/08,19:10:00+32");
  m_.AddInbox("+862", u"二", "26/12/08,19:11:00+32", true);
  EXPECT_EQ(Say(m_, "AT+CMGL\r"),  // default: unread only
            "\r\n+CMGL: 1,\"REC UNREAD\",\"+861\",\"\",\"26/12/08,19:10:00+32\"\r\none\r\n"
            "\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGL=\"REC UNREAD\"\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGL=\"ALL\"\r"),
            "\r\n+CMGL: 1,\"REC READ\",\"+861\",\"\",\"26/12/08,19:10:00+32\"\r\none\r\n"
            "+CMGL: 2,\"REC READ\",\"+862\",\"\",\"26/12/08,19:11:00+32\"\r\n?\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGR=7\r"), "\r\n+CMS ERROR: 321\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGD=0\r"), "\r\n+CMS ERROR: 321\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGD=1\r"), "\r\nOK\r\n");
  EXPECT_EQ(m_.inbox().size(), 1u);
  m_.AddInbox("+863", u"three", "26/12/08,19:12:00+32");
  EXPECT_EQ(Say(m_, "AT+CMGD=1,1\r"), "\r\nOK\r\n");  // all read ones
  ASSERT_EQ(m_.inbox().size(), 1u);
  EXPECT_EQ(m_.inbox()[0].text, u"three");
  EXPECT_EQ(Say(m_, "AT+CMGD=1,4\r"), "\r\nOK\r\n");
  EXPECT_TRUE(m_.inbox().empty());
}

TEST_F(SimulatedModemTest, ReadingInUcs2GivesHexNumberAndText) {
  m_.AddInbox("+861", u"你好", "26/12/08,19:10:00+32");
  Say(m_, "AT+CSCS=\"UCS2\"\r");
  EXPECT_EQ(Say(m_, "AT+CMGR=1\r"),
            "\r\n+CMGR: \"REC UNREAD\",\"002B003800360031\",\"\",\"26/12/08,19:10:00+32\"\r\n"
            "4F60597D\r\n\r\nOK\r\n");
  EXPECT_EQ(m_.inbox()[0].status, "REC READ");
  // The status of AT+CMGL may come hex-encoded too, as some modems want it.
  EXPECT_NE(Say(m_, "AT+CMGL=\"0041004C004C\"\r").find("+CMGL: 1,"), std::string::npos);
}

TEST_F(SimulatedModemTest, NewMessagesAreAnnouncedWhenAsked) {
  m_.AddInbox("+861", u"quiet", "26/12/08,19:10:00+32");
  EXPECT_EQ(m_.TakeOutput(), "");
  Say(m_, "AT+CNMI=2,1\r");
  EXPECT_EQ(m_.AddInbox("+861", u"loud", "26/12/08,19:10:00+32"), 2);
  EXPECT_EQ(m_.TakeOutput(), "\r\n+CMTI: \"SM\",2\r\n");
  // <mt> 2 (a generic modem's default in Kannel): the message itself, not stored.
  Say(m_, "AT+CNMI=1,2,0,1,0\r");
  EXPECT_EQ(m_.AddInbox("10086", u"hi", "26/12/08,19:10:00+32"), 0);
  EXPECT_EQ(m_.TakeOutput(), "\r\n+CMT: \"10086\",,\"26/12/08,19:10:00+32\"\r\nhi\r\n");
  Say(m_, "AT+CMGF=0\r");
  m_.AddInbox("10086", u"hi", "26/12/08,19:10:00+32");
  const std::string out = m_.TakeOutput();
  const auto lines = out.find("\r\n", 2);
  ASSERT_TRUE(out.starts_with("\r\n+CMT: ,") && lines != std::string::npos) << out;
  smsdll::pdu::Message routed;
  std::string why;
  ASSERT_TRUE(
      smsdll::pdu::Decode(out.substr(lines + 2, out.size() - lines - 4), false, routed, why))
      << why;
  EXPECT_EQ(routed.number, "10086");
  EXPECT_EQ(routed.text, u"hi");
  EXPECT_EQ(m_.inbox().size(), 2u);
}

TEST_F(SimulatedModemTest, StorageHasLimitedSlots) {
  for (int i = 0; i < Modem::kSlots; ++i) ASSERT_TRUE(m_.AddInbox("1", u"x", "t"));
  EXPECT_FALSE(m_.AddInbox("1", u"x", "t"));
}

TEST_F(SimulatedModemTest, ErrorsOnRequestCountDownOrStay) {
  m_.FailCommand("+CSQ", "+CME ERROR: 100", 2);
  EXPECT_EQ(Say(m_, "AT+CSQ\r"), "\r\n+CME ERROR: 100\r\n");
  EXPECT_EQ(Say(m_, "at+csq\r"), "\r\n+CME ERROR: 100\r\n");
  EXPECT_EQ(Say(m_, "AT+CSQ\r"), "\r\n+CSQ: 21,99\r\n\r\nOK\r\n");
  m_.FailCommand("+CSCA=", "");  // silence
  EXPECT_EQ(Say(m_, "AT+CSCA=\"123\"\r"), "");
  EXPECT_EQ(Say(m_, "AT+CSCA?\r").substr(0, 9), "\r\n+CSCA: ");  // only the setting fails
  m_.FailCommand("SUBMIT", "+CMS ERROR: 332");
  Say(m_, "AT+CMGS=\"1\"\r");
  EXPECT_EQ(Say(m_, "x\x1A"), "\r\n+CMS ERROR: 332\r\n");
  EXPECT_TRUE(m_.sent().empty());
}

TEST_F(SimulatedModemTest, RadioOffMeansNoSignalAndNoSending) {
  EXPECT_EQ(Say(m_, "AT+CFUN=4\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CFUN?\r"), "\r\n+CFUN: 4\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CSQ\r"), "\r\n+CSQ: 99,99\r\n\r\nOK\r\n");
  Say(m_, "AT+CMGS=\"1\"\r");
  EXPECT_EQ(Say(m_, "x\x1A"), "\r\n+CMS ERROR: 331\r\n");
  EXPECT_EQ(Say(m_, "AT+CFUN=7\r"), "\r\nERROR\r\n");
}

TEST_F(SimulatedModemTest, SimCardStates) {
  EXPECT_EQ(Say(m_, "AT+CPIN?\r"), "\r\n+CPIN: READY\r\n\r\nOK\r\n");
  m_.SetSim("SIM PIN");
  EXPECT_EQ(Say(m_, "AT+CPIN?\r"), "\r\n+CPIN: SIM PIN\r\n\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGL=\"ALL\"\r"), "\r\n+CMS ERROR: 311\r\n");
  EXPECT_EQ(Say(m_, "AT+CPIN=\"1234\"\r"), "\r\nOK\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGL=\"ALL\"\r"), "\r\nOK\r\n");
  m_.SetSim("");
  EXPECT_EQ(Say(m_, "AT+CPIN?\r"), "\r\n+CME ERROR: 10\r\n");
  EXPECT_EQ(Say(m_, "AT+CMGR=1\r"), "\r\n+CMS ERROR: 310\r\n");
}

TEST_F(SimulatedModemTest, ResetRestoresDefaults) {
  Say(m_, "AT+CSCS=\"UCS2\"\r");
  EXPECT_EQ(Say(m_, "ATZ\r"), "\r\nOK\r\n");
  EXPECT_TRUE(m_.echo());
  EXPECT_FALSE(m_.text_mode());
  EXPECT_EQ(m_.charset(), "IRA");
}

}  // namespace
}  // namespace atmodem
