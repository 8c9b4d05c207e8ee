// mobi-atmodem as a person or a test script uses it: started with options,
// talked to through the device it prints, stopped with a signal.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/tests/child_process.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(10);

// Reads from fd until `until` appears in what was read, the end of input or
// the time is up.
std::string ReadUntil(int fd, const std::string& until, Clock::time_point deadline) {
  std::string got;
  while (got.find(until) == std::string::npos) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[512];
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

// mobi-atmodem started with `args`, its output on pipes.
class Program : public mobi::tools::Process {
 public:
  explicit Program(std::vector<std::string> args) : Process(WithPath(std::move(args))) {}
  int Wait() { return Process::Wait(kWait); }
  // The first line it prints (the device path), without the newline.
  std::string FirstLine() { return ReadLine(kWait); }

 private:
  static std::vector<std::string> WithPath(std::vector<std::string> args) {
    args.insert(args.begin(), MOBI_ATMODEM_PATH);
    return args;
  }
};

TEST(AtModemProgram, ServesAPseudoTerminalUntilSigterm) {
  auto log = std::filesystem::temp_directory_path() / ("atmodem-sent-" + std::to_string(getpid()));
  std::filesystem::remove(log);
  Program program({"--time", "26/12/08,19:10:00+32", "--inbox", "+8613912345678:你好", "--fail",
                   "+CSQ:+CME ERROR: 30", "--sent-log", log.string()});
  const std::string path = program.FirstLine();
  ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;

  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  auto say = [&](const std::string& bytes, const std::string& until) {
    EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    return ReadUntil(fd, until, Clock::now() + kWait);
  };
  EXPECT_EQ(say("AT\r", "OK\r\n"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(say("ATE0;+CMGF=1\r", "OK\r\n"), "ATE0;+CMGF=1\r\r\nOK\r\n");
  EXPECT_EQ(say("AT+CSQ\r", "30\r\n"), "\r\n+CME ERROR: 30\r\n");
  EXPECT_EQ(say("AT+CMGL=\"ALL\"\r", "OK\r\n"),
            "\r\n+CMGL: 1,\"REC UNREAD\",\"+8613912345678\",\"\",\"26/12/08,19:10:00+32\"\r\n"
            "??\r\n\r\nOK\r\n");
  EXPECT_EQ(say("AT+CMGS=\"10086\"\r", "> "), "\r\n> ");
  EXPECT_EQ(say("hello\x1A", "OK\r\n"), "\r\n+CMGS: 1\r\n\r\nOK\r\n");
  ::close(fd);

  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(), 0) << program.err();
  EXPECT_NE(program.err().find("sent message 1 to 10086 (GSM): hello"), std::string::npos)
      << program.err();
  std::ifstream sent(log);
  std::string line;
  EXPECT_TRUE(std::getline(sent, line));
  EXPECT_EQ(line, "10086\thello");
  std::filesystem::remove(log);
}

TEST(AtModemProgram, StopsCleanlyOnSigintAndRemovesItsLink) {
  auto link = std::filesystem::temp_directory_path() / ("atmodem-link-" + std::to_string(getpid()));
  Program program({"--link=" + link.string(), "--csq=5"});
  const std::string path = program.FirstLine();
  ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);
  int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0);
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  EXPECT_EQ(::write(fd, "AT+CSQ\r", 7), 7);
  EXPECT_EQ(ReadUntil(fd, "OK\r\n", Clock::now() + kWait), "AT+CSQ\r\r\n+CSQ: 5,99\r\n\r\nOK\r\n");
  ::close(fd);
  program.Signal(SIGINT);
  EXPECT_EQ(program.Wait(), 0) << program.err();
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

std::vector<std::string> Lines(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

int OpenRaw(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
  termios tio{};
  ::tcgetattr(fd, &tio);
  ::cfmakeraw(&tio);
  ::tcsetattr(fd, TCSANOW, &tio);
  return fd;
}

// A scenario with its delays scaled down, recording what happens; then the
// unplugged modem, which hangs up the line and exits by itself.
TEST(AtModemProgram, ScenariosRunScaledRecordAndHangUp) {
  auto record =
      std::filesystem::temp_directory_path() / ("atmodem-record-" + std::to_string(getpid()));
  std::filesystem::remove(record);
  const std::string submit = "AT+CMGS=19\r0011000B813108108300F00000A705C8329BFD06\x1A";
  {
    // 14 s at scale 1; a fetch of the stored message is recorded too.
    Program program({"--scenario", "slow-submit", "--delay-scale", "0.02", "--record",
                     record.string(), "--inbox", "10086:hi"});
    const std::string path = program.FirstLine();
    int fd = OpenRaw(path);
    ASSERT_GE(fd, 0) << path;
    const std::string all = "ATE0;+CMGL=4;+CMGD=1\r" + submit;
    ASSERT_EQ(::write(fd, all.data(), all.size()), static_cast<ssize_t>(all.size()));
    EXPECT_NE(ReadUntil(fd, "+CMGS: 1\r\n\r\nOK\r\n", Clock::now() + kWait).find("+CMGS: 1"),
              std::string::npos);
    ::close(fd);
    program.Signal(SIGTERM);
    EXPECT_EQ(program.Wait(), 0) << program.err();
  }
  {
    Program program({"--scenario=unplugged-mid-send", "--record", record.string(), "--verbose"});
    int fd = OpenRaw(program.FirstLine());
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, submit.data(), submit.size()), static_cast<ssize_t>(submit.size()));
    ReadUntil(fd, "never", Clock::now() + kWait);  // until the hang-up ends the input
    pollfd p{fd, POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 1);
    EXPECT_NE(p.revents & POLLHUP, 0);
    ::close(fd);
    EXPECT_EQ(program.Wait(), 0) << program.err();
    EXPECT_NE(program.err().find("<< AT+CMGS=19"), std::string::npos) << program.err();
  }
  EXPECT_EQ(
      Lines(record),
      (std::vector<std::string>{
          R"({"event":"read","memory":"SM","index":1})",
          R"({"event":"deleted","memory":"SM","index":1,"number":"10086","text":"hi","status":"REC READ"})",
          R"({"event":"sent","number":"13800138000","text":"Hello","reference":1,"part":1,"parts":1,"concat":0,"pdu":true})",
          R"({"event":"hangup"})"}));
  std::filesystem::remove(record);
}

TEST(AtModemProgram, HelpAndBadOptions) {
  Program help({"--help"});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_NE(help.out().find("--inbox NUMBER:TEXT"), std::string::npos) << help.out();

  // Every option is read before --help is honoured, so a mistake exits 2.
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--csq=5", "--sim", "pin", "-h"}, ""},
      {{"--inbox", "no-colon"}, "--inbox needs NUMBER:TEXT"},
      {{"--frobnicate"}, "unknown option \"--frobnicate\""},
      {{"-hx"}, "unknown option \"-x\""},
      {{"--csq=x", "--help"}, "--csq needs a number"},
      {{"--help", "--link"}, "--link: missing value"},
      {{"--verbose=1"}, "--verbose: takes no value"},
      {{"extra"}, "unexpected argument \"extra\""},
      {{"--scenario", "no-such"}, "unknown scenario \"no-such\" (mobi-atmodem --list-scenarios"},
      {{"--delay-scale", "0"}, "--delay-scale needs a number above 0"},
      {{"--delay-scale", "0.5x"}, "--delay-scale needs a number above 0"},
      {{"--json"}, "--json goes with --list-scenarios"},
  };
  for (const auto& [args, error] : cases) {
    Program program(args);
    EXPECT_EQ(program.Wait(), error.empty() ? 0 : 2) << args[0];
    EXPECT_NE(program.err().find(error), std::string::npos) << program.err();
  }
}

}  // namespace
