// The commands, the receive path and the shared state of clsSMS, against the
// fake host's scripted terminal and virtual clock.
#include <gtest/gtest.h>

#include <memory>

#include "core/frmSMS.h"
#include "core/modMain.h"
#include "fake_host.h"
#include "mobi/clsSMS.h"

namespace mobi::test {
namespace {

namespace mm = core::modMain;

class ClsSMSTest : public ::testing::Test {
 protected:
  void SetUp() override { Host().Reset(); }
  void TearDown() override { Host().Reset(); }

  static mm::State& State() { return *core::frmSMS::Load()->state(); }
  // An object with the port open.
  std::unique_ptr<clsSMS> Open() {
    auto sms = std::make_unique<clsSMS>();
    sms->Initialize(3, u"9600,n,8,1");
    return sms;
  }
  // The terminal answers every frame with `chunk` after `after`.
  void AnswerEveryFrame(ByteArray chunk, core::TimePoint::duration after = 30ms) {
    Host().terminal = [chunk, after](const ByteArray&) { Host().Reply(after, chunk); };
  }
};

// --- frames on the wire ---

TEST_F(ClsSMSTest, FramesAreByteExact) {
  auto sms = Open();
  sms->MobiCheck();
  sms->MobiReset();
  sms->MobiSignal();
  sms->SetMobiCode(u"8613800290500");
  sms->SendSMS(u"12345", u"abc");
  sms->SendSMS(u"1", u"\u4E2D\U0001F600");
  sms->ATSend(u"AT+CSQ\r\nxy");
  ASSERT_EQ(Host().wire.size(), 7u);
  EXPECT_EQ(Host().wire[0], (ByteArray{0xAA, 0x00}));
  EXPECT_EQ(Host().wire[1], (ByteArray{0xAA, 0x07}));
  EXPECT_EQ(Host().wire[2], (ByteArray{0xAA, 0x14}));
  EXPECT_EQ(Host().wire[3], (ByteArray{0xAA, 0x09, 0x38, 0x36, 0x31, 0x33, 0x38, 0x30, 0x30, 0x32,
                                       0x39, 0x30, 0x35, 0x30, 0x30}));
  EXPECT_EQ(Host().wire[4], (ByteArray{0xAA, 0x02, 0x31, 0x32, 0x33, 0x34, 0x35, 0x00, 0x61, 0x00,
                                       0x62, 0x00, 0x63}));
  EXPECT_EQ(Host().wire[5], (ByteArray{0xAA, 0x02, 0x31, 0x4E, 0x2D, 0xD8, 0x3D, 0xDE, 0x00}));
  EXPECT_EQ(Host().wire[6], Ascii("AT+CSQ\r\nxy")) << "ATSend adds nothing";
}

TEST_F(ClsSMSTest, InitializeSetsThePropertiesAndOpens) {
  clsSMS sms;
  EXPECT_EQ(sms.Initialize(7, u"19200,e,7,2"), u"");
  ASSERT_NE(Host().serial, nullptr);
  EXPECT_EQ(Host().serial->port, 7);
  EXPECT_EQ(Host().serial->settings, u"19200,e,7,2");
  EXPECT_EQ(Host().serial->inputLen, 0);
  EXPECT_EQ(Host().serial->inputMode, 1);
  EXPECT_TRUE(Host().serial->PortOpen());
}

TEST_F(ClsSMSTest, InitializeSwallowsEveryFailure) {
  Host().badPorts[9] = 8002;
  clsSMS sms;
  EXPECT_EQ(sms.Initialize(9, u"9600,n,8,1"), u"");
  EXPECT_FALSE(Host().serial->PortOpen());
  // Bad settings are refused but the port still opens (with what it had).
  EXPECT_EQ(sms.Initialize(3, u"not settings"), u"");
  EXPECT_TRUE(Host().serial->PortOpen());
  // Opening twice: the second open fails silently, the port stays open.
  EXPECT_EQ(sms.Initialize(3, u"9600,n,8,1"), u"");
  EXPECT_TRUE(Host().serial->PortOpen());
}

TEST_F(ClsSMSTest, CommandsOnAClosedPortFailAndWriteNothing) {
  clsSMS sms;
  EXPECT_EQ(ErrorNumberOf([&] { sms.MobiCheck(); }), 8018);
  EXPECT_EQ(ErrorNumberOf([&] { sms.SetMobiCode(u"1"); }), 8018);
  EXPECT_EQ(ErrorNumberOf([&] { sms.MobiReset(); }), 8018);
  EXPECT_EQ(ErrorNumberOf([&] { sms.SendSMS(u"1", u"x"); }), 8018);
  EXPECT_EQ(ErrorNumberOf([&] { sms.MobiSignal(); }), 8018);
  EXPECT_EQ(ErrorNumberOf([&] { sms.ATSend(u"AT"); }), 8018);
  EXPECT_TRUE(Host().wire.empty());
  EXPECT_EQ(Host().processCalls, 0) << "a failed call does not wait";
}

TEST_F(ClsSMSTest, EmptyOrDoubleByteArgumentsFailBeforeTheWrite) {
  auto sms = Open();
  EXPECT_EQ(ErrorNumberOf([&] { sms->SendSMS(u"", u"text"); }), 9);
  EXPECT_EQ(State().lngStatus, 2) << "the send status was set before the failure";
  EXPECT_EQ(State().strSendTel, u"");
  EXPECT_EQ(ErrorNumberOf([&] { sms->SendSMS(u"123", u""); }), 9);
  EXPECT_EQ(State().strSendTel, u"123");
  EXPECT_EQ(ErrorNumberOf([&] { sms->SetMobiCode(u""); }), 9);
  EXPECT_EQ(ErrorNumberOf([&] { sms->SendSMS(u"12\u4E2D", u"x"); }), 6);
  EXPECT_EQ(ErrorNumberOf([&] { sms->SetMobiCode(u"\u4E2D"); }), 6);
  EXPECT_EQ(ErrorNumberOf([&] { sms->ATSend(u"AT\u00E9"); }), 5);
  EXPECT_TRUE(Host().wire.empty());
}

TEST_F(ClsSMSTest, TheLongestSendFrameFitsAndOneMoreByteOverflows) {
  auto sms = Open();
  // Number length plus twice the text length: at most 32766.
  EXPECT_EQ(sms->SendSMS(u"12", std::u16string(16382, u'a')), typeSendOk);
  EXPECT_EQ(Host().wire.back().size(), 32768u);
  EXPECT_EQ(ErrorNumberOf([&] { sms->SendSMS(u"123", std::u16string(16382, u'a')); }), 6);
  EXPECT_EQ(Host().wire.size(), 1u);
}

// --- reply types and texts ---

TEST_F(ClsSMSTest, MobiCheckReturnsTheTextOfType0_9And20) {
  auto sms = Open();
  AnswerEveryFrame(Reply(9, "READY"));
  EXPECT_EQ(sms->MobiCheck(), u"READY");
  AnswerEveryFrame(Reply(0, "OK"));
  EXPECT_EQ(sms->MobiCheck(), u"OK");
  AnswerEveryFrame(ByteArray{0x00, 20, 23});  // any start byte
  EXPECT_EQ(sms->MobiCheck(), u"23");
  AnswerEveryFrame(Reply(9, "OK\r\n"));
  EXPECT_EQ(sms->MobiCheck(), u"OK\r\n") << "nothing is stripped";
}

TEST_F(ClsSMSTest, MobiCheckIsEmptyWhenAnotherTypeComesFirst) {
  auto sms = Open();
  Host().terminal = [](const ByteArray&) {
    Host().Reply(10ms, Reply(3, "x"));
    Host().Reply(20ms, Reply(9, "late"));
  };
  EXPECT_EQ(sms->MobiCheck(), u"");
  EXPECT_EQ(Host().Elapsed(), 10ms) << "the type 3 chunk ended the wait";
}

TEST_F(ClsSMSTest, WithoutAReplyEveryQueryRunsItsFullWait) {
  auto sms = Open();
  EXPECT_EQ(sms->MobiCheck(), u"");
  EXPECT_EQ(Host().Elapsed(), 1010ms);
  EXPECT_TRUE(sms->SetMobiCode(u"8613800290500"));
  EXPECT_EQ(sms->MobiSignal(), 0);
  EXPECT_EQ(Host().Elapsed(), 3030ms);
  EXPECT_EQ(sms->SendSMS(u"12345", u"hi"), typeSendOk);
  EXPECT_EQ(Host().Elapsed(), 3030ms + 5010ms);
  sms->MobiReset();
  sms->ATSend(u"AT\r");
  EXPECT_EQ(Host().Elapsed(), 3030ms + 5010ms) << "MobiReset and ATSend do not wait";
}

TEST_F(ClsSMSTest, SignalLevelAndDiscardedChunks) {
  auto sms = Open();
  AnswerEveryFrame(ByteArray{0xAA, 0x14, 0x00});
  EXPECT_EQ(sms->MobiSignal(), 0);
  EXPECT_EQ(State().strReply, u"0");
  AnswerEveryFrame(ByteArray{0xAA, 0x14, 0xFF});
  EXPECT_EQ(sms->MobiSignal(), 255);
  EXPECT_EQ(State().strReply, u"255");

  // A type 20 chunk without its level byte, and a lone byte, are discarded:
  // the wait goes on to the chunk after them.
  Host().terminal = [](const ByteArray&) {
    Host().Reply(10ms, ByteArray{0xAA, 0x14});
    Host().Reply(20ms, ByteArray{0xAA});
    Host().Reply(30ms, ByteArray{0xAA, 0x14, 17});
  };
  EXPECT_EQ(sms->MobiSignal(), 17);
  EXPECT_EQ(Host().Elapsed(), 90ms) << "replies at 30, 60 and 90 ms ended the three waits";
}

TEST_F(ClsSMSTest, MobiSignalReadsTheNumberAtTheStartOfTheText) {
  auto sms = Open();
  const std::pair<std::string, int16_t> cases[] = {
      {"  23", 23},     {"23.5", 24},       {"22.5", 22},
      {"-2.5", -2},     {"\t7dBm", 7},      {"abc", 0},
      {"", 0},          {"1e3", 1000},      {"+12", 12},
      {"32767", 32767}, {"-32768", -32768}, {"-32768.5", -32768},
      {"0.49", 0},      {"12 34", 12},
  };
  for (const auto& [text, expected] : cases) {
    AnswerEveryFrame(Reply(9, text));
    EXPECT_EQ(sms->MobiSignal(), expected) << "reply text \"" << text << "\"";
  }
  for (std::string text : {"32768", "-32769", "32767.5", "1e10", "99999999999999999999"}) {
    AnswerEveryFrame(Reply(9, text));
    EXPECT_EQ(ErrorNumberOf([&] { sms->MobiSignal(); }), 6) << "reply text " << text;
  }
}

// --- status reports ---

TEST_F(ClsSMSTest, StatusReportsFollowTheirRulesInOrder) {
  auto sms = Open();
  auto& host = Host();
  const std::pair<std::string, int32_t> cases[] = {
      {"ERROR", 6},        {"OK", 2},
      {"SEND OK", 3},      {"SEND OK and more", 3},
      {"SUCCESS12345", 5}, {"FAILURE12345", 4},
      {"SUCCESS54321", 0}, {"FAILURE1234", 0},
      {"OK\r", 0},         {"ok", 0},
      {"ERROR ", 0},       {"", 0},
      {"SEND O", 0},       {"SUCCESS12345 x", 0} /* the piece is the rest, up to 11 */,
  };
  for (const auto& [text, expected] : cases) {
    State().strSendTel = u"12345";
    State().lngStatus = 0;  // "unchanged" shows as 0
    host.Arrive(Reply(1, text));
    DoEvents();
    EXPECT_EQ(State().lngStatus, expected) << "report \"" << text << "\"";
  }
  (void)sms;
}

TEST_F(ClsSMSTest, ANumberOfMoreThanElevenCharactersNeverMatches) {
  auto sms = Open();
  State().strSendTel = u"8613800138000";
  for (std::string text : {"SUCCESS8613800138000", "SUCCESS86138001380", "FAILURE8613800138000"}) {
    State().lngStatus = 0;
    Host().Arrive(Reply(1, text));
    DoEvents();
    EXPECT_EQ(State().lngStatus, 0) << text;
  }
  State().strSendTel = u"13800138000";  // 11 characters: matches, whatever follows
  Host().Arrive(Reply(1, "SUCCESS13800138000 delivered"));
  DoEvents();
  EXPECT_EQ(State().lngStatus, 5);
}

TEST_F(ClsSMSTest, SendEndsAtOnceOnAFinalReport) {
  auto sms = Open();
  Host().terminal = [](const ByteArray&) {
    Host().Reply(40ms, Reply(1, "OK"));
    Host().Reply(900ms, Reply(1, "SEND OK"));
    Host().Reply(2500ms, Reply(1, "SUCCESS12345"));
  };
  EXPECT_EQ(sms->SendSMS(u"12345", u"hello"), typeCustOK);
  EXPECT_EQ(Host().Elapsed(), 2500ms);

  sms.reset();
  Host().Reset();
  sms = Open();
  AnswerEveryFrame(Reply(1, "ERROR"), 20ms);
  EXPECT_EQ(sms->SendSMS(u"12345", u"hello"), typeError);
  EXPECT_EQ(Host().Elapsed(), 20ms);

  sms.reset();
  Host().Reset();
  sms = Open();
  AnswerEveryFrame(Reply(1, "FAILURE12345"), 3s);
  EXPECT_EQ(sms->SendSMS(u"12345", u"hello"), TypeCustError);
}

TEST_F(ClsSMSTest, SendWithoutAFinalReportUsesTheWholeBudget) {
  auto sms = Open();
  Host().terminal = [](const ByteArray&) {
    Host().Reply(1005ms, Reply(1, "SEND OK"));
    Host().Reply(2010ms, Reply(1, "SUCCESS99999"));  // another number: ignored
    Host().Reply(6s, Reply(1, "SUCCESS12345"));      // too late
  };
  EXPECT_EQ(sms->SendSMS(u"12345", u"hello"), typeCenterOK);
  // Counted: 1000 before SEND OK (seen in step 101), 1000 more before the
  // foreign report, then the remaining 3000 run out after 301 steps.
  EXPECT_EQ(Host().Elapsed(), 2010ms + 3010ms);
}

TEST_F(ClsSMSTest, AChattyTerminalCannotHoldASendForever) {
  auto sms = Open();
  // A non-final reply every 5 ms: every wait ends in its first step and
  // counts nothing.
  std::function<void()> chatter = [&] {
    Host().Reply(5ms, Reply(3));
    Host().At(Host().Now() + 5ms, chatter);
  };
  Host().terminal = [&](const ByteArray&) { chatter(); };
  EXPECT_EQ(sms->SendSMS(u"12345", u"hello"), typeSendOk);
  EXPECT_GE(Host().Elapsed(), 10s);
  EXPECT_LE(Host().Elapsed(), 10010ms);
}

TEST_F(ClsSMSTest, AnErrorTextDuringASendIsRaisedAndTheSendGoesOn) {
  auto sms = Open();
  std::vector<std::u16string> errors;
  sms->SubscribeSMSError([&](const std::u16string& text) { errors.push_back(text); });
  Host().terminal = [](const ByteArray&) {
    Host().Reply(100ms, Reply(0, "ERROR"));
    Host().Reply(300ms, Reply(1, "SUCCESS12345"));
  };
  EXPECT_EQ(sms->SendSMS(u"12345", u"hello"), typeCustOK);
  EXPECT_EQ(errors, std::vector<std::u16string>{u"ERROR"});
  EXPECT_EQ(State().strReply, u"ERROR") << "type 0 sets the reply text; the send leaves it";
  EXPECT_EQ(Host().Elapsed(), 300ms);
}

TEST_F(ClsSMSTest, EverySendStartsFromSendOk) {
  auto sms = Open();
  Host().Arrive(Reply(1, "ERROR"));
  DoEvents();
  EXPECT_EQ(State().lngStatus, 6) << "reports outside a send still count";
  EXPECT_EQ(sms->SendSMS(u"1", u"x"), typeSendOk);
}

TEST_F(ClsSMSTest, OnlyAReportThatComesAfterTheSendReachesTheLateReportSubscribers) {
  auto sms = Open();
  std::vector<std::pair<std::u16string, enuStatus_Type>> late;
  const auto id = sms->SubscribeDeliveryReport(
      [&](const std::u16string& to, enuStatus_Type status) { late.emplace_back(to, status); });
  Host().terminal = [](const ByteArray&) {
    Host().Reply(100ms, Reply(1, "SEND OK"));
    Host().Reply(3s, Reply(1, "SUCCESS12345"));  // the send's own: not a late one
  };
  EXPECT_EQ(sms->SendSMS(u"12345", u"hello"), typeCustOK);
  Host().terminal = [](const ByteArray&) { Host().Reply(100ms, Reply(1, "SEND OK")); };
  EXPECT_EQ(sms->SendSMS(u"8613800138000", u"hello"), typeCenterOK);
  EXPECT_TRUE(late.empty());
  // After the send: each report names its destination (11 characters at most),
  // whichever send it belongs to; other texts are no reports.
  for (std::string text : {"SUCCESS86138001380", "FAILURE12345", "SEND OK", "OK"}) {
    Host().Arrive(Reply(1, text));
    DoEvents();
  }
  using Late = std::pair<std::u16string, enuStatus_Type>;
  EXPECT_EQ(late, (std::vector<Late>{{u"86138001380", typeCustOK}, {u"12345", TypeCustError}}));
  sms->UnsubscribeDeliveryReport(id);
  Host().Arrive(Reply(1, "SUCCESS12345"));
  DoEvents();
  EXPECT_EQ(late.size(), 2u);
}

TEST_F(ClsSMSTest, SetMobiCodeIsFalseOnlyForExactlyError) {
  auto sms = Open();
  AnswerEveryFrame(Reply(9, "ERROR"));
  EXPECT_FALSE(sms->SetMobiCode(u"8613800290500"));
  AnswerEveryFrame(Reply(0, "ERROR"));
  EXPECT_FALSE(sms->SetMobiCode(u"8613800290500"));
  AnswerEveryFrame(Reply(9, "ERROR\r"));
  EXPECT_TRUE(sms->SetMobiCode(u"8613800290500"));
  AnswerEveryFrame(Reply(1, "ERROR"));  // a status report, not a reply text
  EXPECT_TRUE(sms->SetMobiCode(u"8613800290500"));
  AnswerEveryFrame(Reply(9, "OK"));
  EXPECT_TRUE(sms->SetMobiCode(u"8613800290500"));
}

// --- stale input ---

TEST_F(ClsSMSTest, MobiCheckDiscardsWaitingInputTheOthersDoNot) {
  auto sms = Open();
  AnswerEveryFrame(Reply(9, "fresh"), 50ms);
  Host().Arrive(Reply(9, "stale"));
  EXPECT_EQ(sms->MobiCheck(), u"fresh");
  EXPECT_EQ(Host().Elapsed(), 50ms);

  Host().Arrive(Reply(3));
  EXPECT_EQ(sms->MobiSignal(), 0) << "the stale chunk ended the wait before the answer";
  Host().Arrive(Reply(9, "ERROR"));
  EXPECT_FALSE(sms->SetMobiCode(u"1")) << "a stale ERROR counts";
}

TEST_F(ClsSMSTest, ChunksSplitAndGlued) {
  auto sms = Open();
  // A reply in two pieces is two replies: the second piece's second byte is
  // taken as its type.
  Host().terminal = [](const ByteArray&) {
    Host().Reply(10ms, ByteArray{0xAA});
    Host().Reply(20ms, ByteArray{0x09, 0x09, 'h', 'i'});
  };
  EXPECT_EQ(sms->MobiCheck(), u"hi");
  // Two replies in one chunk are one, by the first type byte.
  AnswerEveryFrame(ByteArray{0xAA, 0x09, 'a', 0xAA, 0x01, 'O', 'K'});
  EXPECT_EQ(sms->MobiCheck(), (std::u16string{u'a', char16_t{0xF7AA}, u'\x01', u'O', u'K'}));
}

TEST_F(ClsSMSTest, AChunkTooLongForTheTextFailsTheWaitingCall) {
  auto sms = Open();
  ByteArray huge(40000, 'x');
  huge[0] = 0xAA;
  huge[1] = 9;
  AnswerEveryFrame(huge);
  EXPECT_EQ(ErrorNumberOf([&] { sms->MobiCheck(); }), 6);
  AnswerEveryFrame(Reply(9, "next"));
  EXPECT_EQ(sms->MobiCheck(), u"next") << "the component goes on working";
}

// --- SMSError and several objects ---

TEST_F(ClsSMSTest, SMSErrorReachesEverySubscriberOfEveryObjectBeforeTheWaitEnds) {
  auto first = Open();
  clsSMS second;
  std::vector<std::string> seen;
  first->SubscribeSMSError(
      [&](const std::u16string& t) { seen.push_back("first:" + std::string(t.begin(), t.end())); });
  auto id = second.SubscribeSMSError([&](const std::u16string&) { seen.push_back("second"); });
  second.SubscribeSMSError([&](const std::u16string&) { seen.push_back("second-b"); });
  AnswerEveryFrame(Reply(0, "OK"));
  EXPECT_EQ(first->MobiCheck(), u"OK");
  EXPECT_EQ(seen, (std::vector<std::string>{"first:OK", "second", "second-b"}));

  seen.clear();
  second.UnsubscribeSMSError(id);
  EXPECT_EQ(first->MobiCheck(), u"OK");
  EXPECT_EQ(seen, (std::vector<std::string>{"first:OK", "second-b"}));
}

TEST_F(ClsSMSTest, WithNoSubscriberATypeZeroReplyStillSetsTheText) {
  auto sms = Open();
  AnswerEveryFrame(Reply(0, "no signal"));
  EXPECT_EQ(sms->MobiCheck(), u"no signal");
}

TEST_F(ClsSMSTest, TwoObjectsShareThePortAndReleasingOneClosesIt) {
  auto first = Open();
  auto second = std::make_unique<clsSMS>();
  AnswerEveryFrame(Reply(1, "SUCCESS555"));
  EXPECT_EQ(second->SendSMS(u"555", u"x"), typeCustOK) << "the second object uses the first's port";
  EXPECT_EQ(Host().openPorts, 1);

  second.reset();
  EXPECT_EQ(Host().openPorts, 0);
  EXPECT_EQ(ErrorNumberOf([&] { first->MobiCheck(); }), 8018) << "closed for every object";

  // The survivor opens again, on a fresh form, and still hears SMSError.
  int raised = 0;
  first->SubscribeSMSError([&](const std::u16string&) { ++raised; });
  first->Initialize(3, u"9600,n,8,1");
  AnswerEveryFrame(Reply(0, "E"));
  first->MobiCheck();
  EXPECT_EQ(raised, 1);
}

TEST_F(ClsSMSTest, AHandlerMayStartANestedWait) {
  auto sms = Open();
  std::u16string nested;
  int depth = 0;
  sms->SubscribeSMSError([&](const std::u16string& text) {
    if (text != u"first") return;
    ++depth;
    nested = sms->MobiCheck();  // answered by the terminal script below
    --depth;
  });
  int frames = 0;
  Host().terminal = [&](const ByteArray&) {
    if (++frames == 1) {
      Host().Reply(10ms, Reply(0, "first"));
    } else {
      Host().Reply(20ms, Reply(9, "inner"));
    }
  };
  EXPECT_EQ(sms->SendSMS(u"1", u"x"), typeSendOk);
  EXPECT_EQ(nested, u"inner");
  EXPECT_EQ(depth, 0);
  // The outer wait ended when the handler returned; the send then waited on
  // for the rest of its budget: 5000 - 0 counted before the chunk.
  EXPECT_EQ(State().strReply, u"inner") << "the nested call shares the reply text";
}

TEST_F(ClsSMSTest, AnObjectReleasedInsideItsOwnHandlerDoesNotCrash) {
  auto keeper = Open();
  auto doomed = std::make_unique<clsSMS>();
  int later = 0;
  doomed->SubscribeSMSError([&](const std::u16string&) { doomed.reset(); });
  // A second handler of the released object must not run.
  doomed->SubscribeSMSError([&](const std::u16string&) { ++later; });
  AnswerEveryFrame(Reply(0, "bye"));
  EXPECT_EQ(keeper->MobiCheck(), u"bye");
  EXPECT_EQ(doomed, nullptr);
  EXPECT_EQ(later, 0);
  EXPECT_EQ(Host().openPorts, 0) << "its release closed the port";
}

TEST_F(ClsSMSTest, TheLastObjectReleasedInsideAHandlerDuringAWait) {
  auto sms = Open();
  clsSMS* raw = sms.get();
  raw->SubscribeSMSError([&](const std::u16string&) { sms.reset(); });
  const std::shared_ptr<mm::State> state = core::frmSMS::Current()->state();
  Host().Arrive(Reply(0, "gone"));
  DoEvents();  // the handler releases the object; the form outlives the handler
  EXPECT_EQ(sms, nullptr);
  EXPECT_EQ(state->blnReceived, -1);
  EXPECT_EQ(state->strReply, u"gone");
}

TEST_F(ClsSMSTest, AHandlerThatThrowsEndsTheWaitingCall) {
  auto sms = Open();
  sms->SubscribeSMSError([](const std::u16string&) { throw Error(1234, "client failure"); });
  AnswerEveryFrame(Reply(0, "boom"));
  EXPECT_EQ(ErrorNumberOf([&] { sms->MobiCheck(); }), 1234);
}

// --- threads ---

TEST_F(ClsSMSTest, CallsFromAnotherThreadFail) {
  auto sms = Open();
  Host().thread = 2;
  EXPECT_EQ(ErrorNumberOf([&] { sms->MobiCheck(); }), kWrongThread);
  EXPECT_EQ(ErrorNumberOf([&] { sms->SubscribeSMSError([](const std::u16string&) {}); }),
            kWrongThread);
  EXPECT_EQ(ErrorNumberOf([] { clsSMS other; }), kWrongThread)
      << "a live object on thread 1 owns the component";
  EXPECT_EQ(ErrorNumberOf([] { DoEvents(); }), kWrongThread);
  EXPECT_TRUE(Host().wire.empty());
  Host().thread = 1;
  sms.reset();
  Host().thread = 2;
  clsSMS fresh;  // no live object: another thread may take over
  EXPECT_EQ(ErrorNumberOf([&] { fresh.Initialize(1, u"9600,n,8,1"); }), 0);
}

}  // namespace
}  // namespace mobi::test
