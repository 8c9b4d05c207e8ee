// The component over a real pseudo-terminal, in real time, with the POSIX
// layer: bytes on the wire, waits, pacing at line rate, hang-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "error_number.h"
#include "mobi/clsSMS.h"
#include "mobi/events.h"
#include "posix/gbk_code_page.h"
#include "posix/serial_control.h"
#include "pty_peer.h"

namespace mobi::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 21;

std::chrono::nanoseconds CharacterTime(int baud) {
  return std::chrono::nanoseconds(10'000'000'000LL / baud);
}

// A send to 12345 that is delivered: "OK", "SEND OK", then the report.
void AnswerDelivered(PtyPeer& p) {
  p.Write(Reply(1, "OK"));
  p.Pause(20ms);
  p.Write(Reply(1, "SEND OK"));
  p.Pause(20ms);
  p.Write(Reply(1, "SUCCESS12345"));
}

class PosixIntegrationTest : public ::testing::Test {
 protected:
  void Attach(PtyPeer& peer, const std::u16string& settings = u"9600,n,8,1") {
    SetPortDevice(kPort, peer.path());
    sms_ = std::make_unique<clsSMS>();
    sms_->Initialize(kPort, settings);
  }
  void TearDown() override {
    sms_.reset();
    SetPortDevice(kPort, "");
  }
  std::unique_ptr<clsSMS> sms_;
};

TEST_F(PosixIntegrationTest, FramesCrossTheLineAndRepliesComeBack) {
  PtyPeer peer([](PtyPeer& p, const Bytes& got) {
    if (got == Bytes{0xAA, 0x00}) p.Write(Reply(9, "READY"));
    if (got == Bytes{0xAA, 0x14}) p.Write(Bytes{0xAA, 0x14, 23});
    if (got.size() > 2 && got[1] == 0x02) AnswerDelivered(p);
  });
  Attach(peer);
  EXPECT_EQ(sms_->MobiCheck(), u"READY");
  EXPECT_EQ(sms_->MobiSignal(), 23);
  const auto start = Clock::now();
  EXPECT_EQ(sms_->SendSMS(u"12345", u"abc"), typeCustOK);
  EXPECT_LT(Clock::now() - start, 4s) << "a final report ends the send before its 5 s budget";
  sms_->MobiReset();
  sms_->ATSend(u"AT\r");
  ASSERT_TRUE(peer.WaitForBytes(2 + 2 + 13 + 2 + 3, 2s));
  const Bytes expected = {0xAA, 0x00, 0xAA, 0x14, 0xAA, 0x02, 0x31, 0x32, 0x33, 0x34, 0x35,
                          0x00, 0x61, 0x00, 0x62, 0x00, 0x63, 0xAA, 0x07, 'A',  'T',  '\r'};
  EXPECT_EQ(peer.Received(), expected);
}

TEST_F(PosixIntegrationTest, WithoutAnAnswerTheQueriesWaitTheirTime) {
  PtyPeer peer;
  Attach(peer);
  auto start = Clock::now();
  EXPECT_EQ(sms_->MobiCheck(), u"");
  EXPECT_GE(Clock::now() - start, 1010ms) << "101 steps of 10 ms";
  start = Clock::now();
  sms_->MobiReset();
  sms_->ATSend(u"ATZ\r");
  // Neither waits for an answer: a wait would last a second or more.
  EXPECT_LT(Clock::now() - start, 500ms);
}

TEST_F(PosixIntegrationTest, AReplyPacedAtLineRateArrivesWhole) {
  // One byte per character time: without the quiet-gap rule the report would
  // be handed over in pieces and the SUCCESS would never be recognised.
  for (int baud : {9600, 1200}) {
    PtyPeer peer([baud](PtyPeer& p, const Bytes& got) {
      if (got.size() > 2 && got[1] == 0x02) {
        p.Write(Reply(1, "SEND OK"), CharacterTime(baud));
        p.Pause(200ms);
        p.Write(Reply(1, "SUCCESS13800138000"), CharacterTime(baud));
      }
    });
    Attach(peer, baud == 9600 ? u"9600,n,8,1" : u"1200,n,8,1");
    EXPECT_EQ(sms_->SendSMS(u"13800138000", u"paced"), typeCustOK) << baud << " baud";
    sms_.reset();
  }
}

TEST_F(PosixIntegrationTest, AHangUpEndsTheWaitWithTheSerialError) {
  PtyPeer peer([](PtyPeer& p, const Bytes&) {
    p.Pause(50ms);
    p.HangUp();
  });
  Attach(peer);
  const auto start = Clock::now();
  std::string text;
  EXPECT_EQ(ErrorNumberOf([&] { sms_->SendSMS(u"12345", u"x"); }, &text), 8020);
  EXPECT_NE(text.find("hung up"), std::string::npos) << text;
  EXPECT_LT(Clock::now() - start, 4s) << "the wait ends at the hang-up, not after its budget";
  EXPECT_EQ(ErrorNumberOf([&] { sms_->MobiCheck(); }, &text), 8018);
  EXPECT_NE(text.find("hung up"), std::string::npos) << text;
}

TEST_F(PosixIntegrationTest, WhatArrivedBeforeAHangUpIsStillHandled) {
  // At 110 baud the quiet gap is about 270 ms: the report has been read but
  // not yet handed over when the line hangs up 100 ms after it.
  PtyPeer peer([](PtyPeer& p, const Bytes&) {
    p.Write(Reply(1, "SUCCESS12345"));
    p.Pause(100ms);
    p.HangUp();
  });
  Attach(peer, u"110,n,8,1");
  EXPECT_EQ(sms_->SendSMS(u"12345", u"x"), typeCustOK);
}

TEST_F(PosixIntegrationTest, AHangUpBetweenCallsFailsTheNextOneAndInitializeRecovers) {
  char dir[] = "/tmp/mobi-line-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/modem";
  auto script = [](PtyPeer& p, const Bytes& got) {
    if (got == Bytes{0xAA, 0x14}) p.Write(Bytes{0xAA, 0x14, 23});
    if (got == Bytes{0xAA, 0x07}) {  // unplugged after the reset, between calls
      p.Pause(20ms);
      p.HangUp();
    }
  };
  auto first = std::make_unique<PtyPeer>(script);
  ASSERT_EQ(symlink(first->path().c_str(), link.c_str()), 0);
  SetPortDevice(kPort, link);
  sms_ = std::make_unique<clsSMS>();
  sms_->Initialize(kPort, u"9600,n,8,1");
  EXPECT_EQ(sms_->MobiSignal(), 23);
  sms_->MobiReset();
  std::this_thread::sleep_for(200ms);
  std::string text;
  const auto start = Clock::now();
  EXPECT_EQ(ErrorNumberOf([&] { sms_->MobiSignal(); }, &text), 8020);
  EXPECT_LT(Clock::now() - start, 100ms) << "at once, not after a wait";
  EXPECT_NE(text.find("hung up"), std::string::npos) << text;
  EXPECT_EQ(ErrorNumberOf([&] { sms_->MobiSignal(); }, &text), 8018);
  EXPECT_NE(text.find("hung up"), std::string::npos) << text;

  // The device comes back under the same path; the same object goes on.
  first.reset();
  PtyPeer second(script);
  ASSERT_EQ(unlink(link.c_str()), 0);
  ASSERT_EQ(symlink(second.path().c_str(), link.c_str()), 0);
  sms_->Initialize(kPort, u"9600,n,8,1");
  EXPECT_EQ(sms_->MobiSignal(), 23);
  sms_.reset();
  unlink(link.c_str());
  rmdir(dir);
}

TEST_F(PosixIntegrationTest, AHangUpWhileATextIsHeldEndsTheWaitAndInitializeRecovers) {
  // The type 0 text waits for the long gap when the line hangs up 10 ms after
  // it: the text is still handed over, and the send fails with 8020.
  char dir[] = "/tmp/mobi-line-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  const std::string link = std::string(dir) + "/modem";
  const auto pointAt = [&](const PtyPeer& peer) {
    unlink(link.c_str());
    ASSERT_EQ(symlink(peer.path().c_str(), link.c_str()), 0);
  };
  auto first = std::make_unique<PtyPeer>([](PtyPeer& p, const Bytes&) {
    p.Write(Reply(0, "NO CARRIER"));
    p.Pause(10ms);
    p.HangUp();
  });
  pointAt(*first);
  SetPortDevice(kPort, link);
  sms_ = std::make_unique<clsSMS>();
  sms_->Initialize(kPort, u"9600,n,8,1");
  std::vector<std::u16string> events;
  sms_->SubscribeSMSError([&](const std::u16string& text) { events.push_back(text); });
  std::string text;
  EXPECT_EQ(ErrorNumberOf([&] { sms_->SendSMS(u"12345", u"x"); }, &text), 8020);
  EXPECT_NE(text.find("hung up"), std::string::npos) << text;
  EXPECT_EQ(events, std::vector<std::u16string>{u"NO CARRIER"});

  // The device comes back under the same path: the component hears it again.
  first.reset();
  PtyPeer second([](PtyPeer& p, const Bytes&) { AnswerDelivered(p); });
  pointAt(second);
  sms_->Initialize(kPort, u"9600,n,8,1");
  EXPECT_EQ(sms_->SendSMS(u"12345", u"x"), typeCustOK);
  sms_.reset();
  unlink(link.c_str());
  rmdir(dir);
}

TEST_F(PosixIntegrationTest, DoEventsDeliversAWaitingReplyInOneCall) {
  PtyPeer peer([](PtyPeer& p, const Bytes& got) {
    if (got == Ascii("one")) p.Write(Reply(0, "FIRST"));
    if (got == Ascii("two") || got == Ascii("close")) {
      p.Write(Reply(0, "FIRST"));
      p.Pause(got == Ascii("two") ? 200ms : 45ms);
      p.Write(Reply(0, "SECOND"));
    }
  });
  Attach(peer);
  std::vector<std::u16string> events;
  sms_->SubscribeSMSError([&](const std::u16string& text) { events.push_back(text); });
  sms_->ATSend(u"one");
  pollfd p{EventFd(), POLLIN, 0};
  ASSERT_EQ(poll(&p, 1, 2000), 1);
  std::this_thread::sleep_for(50ms);  // the reply is complete before the call
  DoEvents();
  EXPECT_EQ(events, std::vector<std::u16string>{u"FIRST"}) << "one call hands it over";

  // A client's own 50 ms timer: each reply is its own event, also when the
  // second came after the first's gap but before the client read either.
  for (const char* request : {"two", "close"}) {
    events.clear();
    sms_->ATSend(std::u16string(request, request + std::strlen(request)));
    for (auto until = Clock::now() + 500ms; Clock::now() < until;) {
      std::this_thread::sleep_for(50ms);
      DoEvents();
    }
    EXPECT_EQ(events, (std::vector<std::u16string>{u"FIRST", u"SECOND"})) << request;
  }
}

TEST_F(PosixIntegrationTest, WritesDoNotBlockWhenTheLineBacksUp) {
  // The largest frame does not fit the pseudo-terminal's buffer while the
  // peer is not reading; the rest goes out during the wait.
  std::atomic<bool> answered{false};
  PtyPeer peer([&](PtyPeer& p, const Bytes&) {
    if (!answered && p.Received().size() >= 32768) {
      answered = true;
      p.Write(Reply(1, "SUCCESS12"));
    }
  });
  peer.SetReading(false);
  Attach(peer);
  std::thread reader([&] {
    std::this_thread::sleep_for(300ms);  // the peer starts reading late
    peer.SetReading(true);
  });
  int32_t status = 0;
  const int32_t error =
      ErrorNumberOf([&] { status = sms_->SendSMS(u"12", std::u16string(16382, u'x')); });
  reader.join();
  EXPECT_EQ(error, 0);
  EXPECT_EQ(status, typeCustOK);
  const Bytes got = peer.Received();
  ASSERT_EQ(got.size(), 32768u);
  EXPECT_EQ(got[0], 0xAA);
  EXPECT_EQ(got[32767], 'x');
}

TEST_F(PosixIntegrationTest, SMSErrorOutsideAWaitThroughTheEventDescriptor) {
  PtyPeer peer([](PtyPeer& p, const Bytes& got) {
    if (got == Bytes{'p', 'i', 'n', 'g'}) p.Write(Reply(0, "SIM not inserted"));
  });
  Attach(peer);
  std::u16string error;
  sms_->SubscribeSMSError([&](const std::u16string& text) { error = text; });
  sms_->ATSend(u"ping");
  const auto deadline = Clock::now() + 5s;
  while (error.empty() && Clock::now() < deadline) {
    pollfd p{EventFd(), POLLIN, 0};
    if (poll(&p, 1, 1000) > 0) DoEvents();
  }
  EXPECT_EQ(error, u"SIM not inserted");
}

TEST_F(PosixIntegrationTest, CallsFromAnotherThreadFail) {
  PtyPeer peer;
  Attach(peer);
  int32_t number = 0;
  std::thread other([&] { number = ErrorNumberOf([&] { sms_->MobiReset(); }); });
  other.join();
  EXPECT_EQ(number, kWrongThread);
  EXPECT_TRUE(peer.Received().empty());
}

TEST(PosixSerialTest, OpenErrorsNameTheCause) {
  posix::EventLoop loop;
  std::string text;
  {
    SetPortDevice(kPort, "/dev/does-not-exist");
    posix::SerialControl control(loop);
    control.SetCommPort(kPort);
    EXPECT_EQ(ErrorNumberOf([&] { control.SetPortOpen(true); }, &text), 8002);
    EXPECT_NE(text.find("/dev/does-not-exist"), std::string::npos) << text;
  }
  {
    SetPortDevice(kPort, "/dev/null");
    posix::SerialControl control(loop);
    control.SetCommPort(kPort);
    EXPECT_EQ(ErrorNumberOf([&] { control.SetPortOpen(true); }, &text), 8002);
    EXPECT_NE(text.find("not a serial device"), std::string::npos) << text;
  }
  PtyPeer peer;
  SetPortDevice(kPort, peer.path());
  posix::SerialControl first(loop), second(loop);
  first.SetCommPort(kPort);
  second.SetCommPort(kPort);
  first.SetPortOpen(true);
  EXPECT_EQ(ErrorNumberOf([&] { first.SetPortOpen(true); }), 8005);
  EXPECT_EQ(ErrorNumberOf([&] { second.SetPortOpen(true); }, &text), 8010) << "exclusive";
  EXPECT_EQ(ErrorNumberOf([&] { first.SetCommPort(2); }), 8000);
  EXPECT_EQ(ErrorNumberOf([&] { first.SetSettings(u"14400,n,8,1"); }), 8015);
  auto exclusive = [&] {
    const int fd = open(peer.path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    int excl = -1;
    ioctl(fd, TIOCGEXCL, &excl);
    close(fd);
    return excl;
  };
  EXPECT_EQ(exclusive(), 1);
  first.SetPortOpen(false);
  EXPECT_EQ(exclusive(), 0) << "closing gives exclusive mode back";
  second.SetPortOpen(true);
  EXPECT_TRUE(second.PortOpen()) << "free again once the first closed";
  SetPortDevice(kPort, "");
  EXPECT_EQ(posix::SerialControl::DevicePath(4), "/dev/ttyS3");
}

TEST(PosixSerialTest, InitializeOnAMissingPortIsSilentAndTheNextCommandFails) {
  SetPortDevice(kPort, "/dev/does-not-exist");
  clsSMS sms;
  EXPECT_EQ(sms.Initialize(kPort, u"9600,n,8,1"), u"");
  EXPECT_EQ(ErrorNumberOf([&] { sms.MobiCheck(); }), 8018);
  SetPortDevice(kPort, "");
}

TEST(GbkCodePageTest, OneCharacterPerByteAndGbkCodes) {
  posix::GbkCodePage gbk;
  EXPECT_EQ(gbk.CharOfByte(0x00), u'\0');
  EXPECT_EQ(gbk.CharOfByte(0x41), u'A');
  EXPECT_EQ(gbk.CharOfByte(0x7F), u'\x7F');
  EXPECT_EQ(gbk.CharOfByte(0x80), u'\u20AC');
  EXPECT_EQ(gbk.CharOfByte(0x81), u'\uF781') << "a lone lead byte stays recognisable";
  EXPECT_EQ(gbk.CharOfByte(0xFF), u'\uF7FF');
  EXPECT_EQ(gbk.CodeOfChar(u'7'), 0x37u);
  EXPECT_EQ(gbk.CodeOfChar(u'\u4E2D'), 0xD6D0u);
  EXPECT_EQ(gbk.CodeOfChar(u'\u20AC'), 0x80u);
  EXPECT_FALSE(gbk.CodeOfChar(u'\xD83D').has_value()) << "a lone surrogate";
  EXPECT_EQ(gbk.Encode(u"AT\u4E2D"), (std::vector<uint8_t>{'A', 'T', 0xD6, 0xD0}));
  EXPECT_FALSE(gbk.Encode(u"\U0001F600").has_value());
}

TEST_F(PosixIntegrationTest, AtSendWritesGbkAndNumbersRefuseDoubleByteCharacters) {
  PtyPeer peer;
  Attach(peer);
  sms_->ATSend(u"\u4E2D\u6587");
  ASSERT_TRUE(peer.WaitForBytes(4, 2s));
  EXPECT_EQ(peer.Received(), (Bytes{0xD6, 0xD0, 0xCE, 0xC4}));
  EXPECT_EQ(ErrorNumberOf([&] { sms_->SetMobiCode(u"86\u4E2D"); }), 6);
  EXPECT_EQ(peer.Received().size(), 4u) << "nothing written";
}

}  // namespace
}  // namespace mobi::test
