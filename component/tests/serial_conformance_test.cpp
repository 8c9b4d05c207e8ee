// What both serial controls (POSIX and Win32) do alike, against the same
// scripted terminal (serial_conformance.peer) on the platform's own line: a
// pseudo-terminal on Linux, a COM port of the Wine prefix on Windows. The
// port comes from MOBI_TEST_DEVICE (a device path) or MOBI_TEST_PORT.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "core/platform.h"
#include "core/protocol.h"
#include "error_number.h"

namespace mobi::test {
namespace {

using core::ByteArray;
using namespace std::chrono_literals;

int16_t TestPort() {
  if (const char* device = std::getenv("MOBI_TEST_DEVICE")) {
    SetPortDevice(42, device);
    return 42;
  }
  const char* port = std::getenv("MOBI_TEST_PORT");
  return static_cast<int16_t>(port ? std::atoi(port) : 0);
}

TEST(SerialConformance, PropertiesRepliesGapsAndAHangUpBetweenCalls) {
  const int16_t port = TestPort();
  ASSERT_GT(port, 0) << "set MOBI_TEST_DEVICE or MOBI_TEST_PORT";
  core::Host& host = core::PlatformHost();
  auto control = host.CreateSerialControl();
  std::vector<ByteArray> chunks;
  control->OnComm = [&] {
    if (control->InBufferCount() > 0) chunks.push_back(control->Input());
  };
  const std::u16string noSend;
  const core::protocol::Rules rules(host.Ansi(), noSend);
  control->rules = &rules;
  const auto processUntil = [&](std::size_t count, std::chrono::milliseconds atMost) {
    host.ProcessMessages(host.Now() + atMost,
                         [&](core::TimePoint) { return chunks.size() >= count; });
  };

  // A closed port: the property checks and "port not open".
  EXPECT_EQ(ErrorNumberOf([&] { control->Output({0xAA}); }), 8018);
  EXPECT_EQ(ErrorNumberOf([&] { control->SetInBufferCount(0); }), 8018);
  EXPECT_EQ(ErrorNumberOf([&] { control->SetCommPort(0); }), 8002);
  EXPECT_EQ(ErrorNumberOf([&] { control->SetInputMode(2); }), 380);
  EXPECT_EQ(ErrorNumberOf([&] { control->SetSettings(u"9600,n,8"); }), 380);
  EXPECT_FALSE(control->ReplyDue());

  control->SetCommPort(port);
  control->SetSettings(u"9600,n,8,1");
  control->SetInputLen(0);
  control->SetInputMode(1);
  control->SetPortOpen(true);
  ASSERT_TRUE(control->PortOpen());
  EXPECT_EQ(ErrorNumberOf([&] { control->SetCommPort(port); }), 8000);
  EXPECT_EQ(ErrorNumberOf([&] { control->SetPortOpen(true); }), 8005);
  EXPECT_EQ(ErrorNumberOf([&] { control->SetInBufferCount(1); }), 380);
  EXPECT_EQ(control->Gaps().whole, 5ms);
  EXPECT_GE(control->Gaps().other, 25ms);

  // A whole reply is handed over at once, a status word in two bursts whole.
  control->Output({0xAA, 0x14});
  processUntil(1, 2s);
  ASSERT_EQ(chunks.size(), 1u);
  EXPECT_EQ(chunks[0], (ByteArray{0xAA, 0x14, 0x17}));
  control->Output({0xAA, 0x15});
  processUntil(2, 2s);
  ASSERT_EQ(chunks.size(), 2u);
  EXPECT_EQ(chunks[1], (ByteArray{0xAA, 0x01, 'S', 'E', 'N', 'D', ' ', 'O', 'K'}));

  // Two replies 200 ms apart are two chunks, each after the long gap.
  control->Output({0xAA, 0x16});
  processUntil(4, 2s);
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(chunks[2], (ByteArray{0xAA, 0x09, 'A'}));
  EXPECT_EQ(chunks[3], (ByteArray{0xAA, 0x09, 'B'}));

  // Replies read together are handed over one by one.
  control->Output({0xAA, 0x19});
  processUntil(8, 2s);
  ASSERT_EQ(chunks.size(), 8u);
  EXPECT_EQ(chunks[4], (ByteArray{0xAA, 0x14, 0x05}));
  EXPECT_EQ(chunks[5], (ByteArray{0xAA, 0x03}));
  EXPECT_EQ(chunks[6], (ByteArray{0xAA, 0x01, 'E', 'R', 'R', 'O', 'R'}));
  EXPECT_EQ(chunks[7], (ByteArray{0xAA, 0x09, 'D'})) << "the last one after the long gap";

  // The line hangs up while nothing processes messages: the next operation
  // fails at once naming the hang-up, later ones with "port not open".
  control->Output({0xAA, 0x17});
  processUntil(9, 2s);
  ASSERT_EQ(chunks.size(), 9u);
  std::this_thread::sleep_for(600ms);
  std::string text;
  EXPECT_EQ(ErrorNumberOf([&] { control->Output({0xAA, 0x18}); }, &text), 8020);
  EXPECT_NE(text.find("hung up"), std::string::npos) << text;
  EXPECT_FALSE(control->PortOpen());
  EXPECT_EQ(ErrorNumberOf([&] { control->Output({0xAA, 0x18}); }, &text), 8018);
  EXPECT_NE(text.find("hung up"), std::string::npos) << text;
  EXPECT_EQ(chunks.size(), 9u) << "nothing was raised outside message processing";
}

}  // namespace
}  // namespace mobi::test
