// The simulator over a real pseudo-terminal: the component's side is played
// by plain descriptors on the slave. Every wait is bounded by a poll timeout.
#include "terminal/posix/server.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <mutex>

namespace mobi::terminal {
namespace {

constexpr int kTimeoutMs = 3000;

class Slave {
 public:
  explicit Slave(const std::string& path) : fd_(open(path.c_str(), O_RDWR | O_NOCTTY)) {}
  ~Slave() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void Write(const Bytes& b) { ASSERT_EQ(write(fd_, b.data(), b.size()), ssize_t(b.size())); }
  // Reads until `count` bytes came, or until a timeout or hang-up.
  Bytes Read(size_t count) {
    Bytes out;
    while (out.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, kTimeoutMs) <= 0) break;
      uint8_t buf[256];
      const ssize_t n = read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      out.insert(out.end(), buf, buf + n);
    }
    return out;
  }
  // True if the line reports a hang-up within the timeout.
  bool SeesHangup() {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, kTimeoutMs) <= 0) return false;
    uint8_t b;
    return (p.revents & POLLHUP) || read(fd_, &b, 1) <= 0;
  }

 private:
  int fd_;
};

class Recorder {
 public:
  Terminal::EventSink Sink() {
    return [this](const Event& e) {
      std::lock_guard lock(mutex_);
      events_.push_back(e);
    };
  }
  std::vector<Event> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

 private:
  std::mutex mutex_;
  std::vector<Event> events_;
};

TEST(TerminalServer, ServesRepeatedOpensOfTheSlave) {
  Recorder rec;
  TerminalServer server({}, rec.Sink());
  server.Start();
  for (int round = 0; round < 3; ++round) {
    Slave s(server.device_path());
    ASSERT_TRUE(s.ok()) << server.device_path();
    s.Write({0xAA, 0x14});
    EXPECT_EQ(s.Read(3), (Bytes{0xAA, 0x14, 23})) << "round " << round;
  }
  server.Stop();
  int received = 0, replied = 0;
  for (const Event& e : rec.events()) {
    received += e.kind == Event::Kind::kReceived;
    replied += e.kind == Event::Kind::kReplied;
    EXPECT_NE(e.kind, Event::Kind::kError) << e.text;
  }
  EXPECT_EQ(received, 3);
  EXPECT_EQ(replied, 3);
}

TEST(TerminalServer, PacedSendAnswersArriveWhole) {
  TerminalConfig c;
  c.pace = true;
  c.baud = 115200;
  c.reply_delay = Millis(1);
  c.centre_delay = Millis(1);
  c.report_delay = Millis(1);
  Recorder rec;
  TerminalServer server(c, rec.Sink());
  server.Start();
  Slave s(server.device_path());
  Bytes frame{0xAA, 0x02, '4', '2', 0x00, 'a'};
  s.Write(frame);
  Bytes expected = MakeReply(kReplyStatus, "OK");
  for (const char* t : {"SEND OK", "SUCCESS42"}) {
    const Bytes r = MakeReply(kReplyStatus, t);
    expected.insert(expected.end(), r.begin(), r.end());
  }
  EXPECT_EQ(s.Read(expected.size()), expected);
  server.Stop();
  const auto events = rec.events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events[0].request.bytes, frame);
}

TEST(TerminalServer, InjectedHangupReachesTheComponentSide) {
  TerminalConfig c;
  c.reply_delay = Millis(1);
  c.faults.push_back({FaultRule::Kind::kHangup, {1}, {}});
  Recorder rec;
  TerminalServer server(c, rec.Sink());
  server.Start();
  Slave s(server.device_path());
  s.Write({0xAA, 0x00});
  EXPECT_TRUE(s.SeesHangup());
  server.Stop();  // the serving thread has already ended by itself
  EXPECT_TRUE(server.hung_up());
  EXPECT_EQ(rec.events().back().kind, Event::Kind::kHangup);
}

TEST(TerminalServer, StopsFromAnotherThreadWhileIdle) {
  TerminalServer server({}, nullptr);
  server.Start();
  server.Stop();
  // A stopped server can be stopped again without harm.
  server.Stop();
  EXPECT_FALSE(server.hung_up());
}

}  // namespace
}  // namespace mobi::terminal
