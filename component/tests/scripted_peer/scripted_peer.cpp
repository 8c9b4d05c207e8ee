// A scripted terminal on the master side of a pseudo-terminal of its own, for
// the serial controls' tests (natively and under Wine behind a COM port). It
// links LINK to the slave side and follows SCRIPT, one step a line:
//
//   expect HEX...   read exactly these bytes; any other byte fails the script
//   send HEX...     write these bytes in one write
//   pace MS HEX...  write them one byte at a time, MS milliseconds apart (a
//                   reply paced at line rate)
//   burst MS HEX... / HEX...
//                   write the bytes before the slash, wait MS milliseconds,
//                   write the rest (a reply forwarded in two bursts)
//   pause MS        wait MS milliseconds
//   hold            keep the line open until stopped
//   hangup          close the line
//
// Hex may be split by blanks; "#" starts a comment. The end of the script
// closes the line too. Waits run to absolute deadlines of the monotonic clock
// and the bytes go straight to the line (no relay in between), so a pause is
// what the script says; the pause each burst really made is noted, and one
// more than 2 ms late is marked "LATE" (the machine held the terminal up).
//
// Progress and the outcome go to RESULT: "ok" once every step is done,
// "FAIL ..." at the first mismatch or a script error.
//   mobi-scripted-peer SCRIPT RESULT LINK
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include "common/pty_pair.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

struct Step {
  int line = 0;
  std::string verb;
  int ms = 0;
  Bytes first, second;  // second: after the slash of a burst
};

struct ScriptError {
  int line;
  std::string what;
};

Bytes ParseHex(const std::string& text, int line) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != '\t') digits += c;
  if (digits.size() % 2 != 0) throw ScriptError{line, "an odd number of hex digits"};
  Bytes out;
  for (std::size_t i = 0; i < digits.size(); i += 2) {
    uint8_t value = 0;
    const char* pair = digits.data() + i;
    if (std::from_chars(pair, pair + 2, value, 16).ptr != pair + 2)
      throw ScriptError{line, "not hex: " + digits.substr(i, 2)};
    out.push_back(value);
  }
  return out;
}

std::vector<Step> ParseScript(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw ScriptError{0, "cannot read " + path};
  std::vector<Step> steps;
  std::string text;
  for (int n = 1; std::getline(in, text); ++n) {
    text = text.substr(0, text.find('#'));
    std::istringstream words(text);
    Step step{n, {}, 0, {}, {}};
    if (!(words >> step.verb)) continue;
    const bool timed = step.verb == "pace" || step.verb == "burst" || step.verb == "pause";
    if (timed && !(words >> step.ms)) throw ScriptError{n, step.verb + " needs milliseconds"};
    std::string rest;
    std::getline(words, rest);
    if (step.verb == "burst") {
      const auto slash = rest.find('/');
      if (slash == std::string::npos) throw ScriptError{n, "a burst needs a slash"};
      step.first = ParseHex(rest.substr(0, slash), n);
      step.second = ParseHex(rest.substr(slash + 1), n);
    } else if (step.verb == "expect" || step.verb == "send" || step.verb == "pace") {
      step.first = ParseHex(rest, n);
    } else if (step.verb != "pause" && step.verb != "hold" && step.verb != "hangup") {
      throw ScriptError{n, "unknown step " + step.verb};
    }
    steps.push_back(std::move(step));
  }
  return steps;
}

std::string Hex(const Bytes& bytes) {
  std::string out;
  char two[3];
  for (uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    out += two;
  }
  return out;
}

void SleepUntil(Clock::time_point deadline) {
  const auto since = deadline.time_since_epoch();
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(std::chrono::duration_cast<std::chrono::seconds>(since).count());
  ts.tv_nsec = static_cast<long>((since - std::chrono::seconds(ts.tv_sec)).count());
  // steady_clock is CLOCK_MONOTONIC on Linux.
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

class Peer {
 public:
  Peer(int fd, std::FILE* result) : fd_(fd), result_(result) {}

  void Note(const std::string& text) {
    std::fprintf(result_, "%s\n", text.c_str());
    std::fflush(result_);
  }

  // False when the line closed first.
  bool Read(Bytes& out, std::size_t count) {
    out.clear();
    uint8_t buffer[256];
    while (out.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, -1) < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      // At most what is still expected, so that nothing after it is consumed.
      const ssize_t n = read(fd_, buffer, std::min(sizeof buffer, count - out.size()));
      if (n > 0) {
        out.insert(out.end(), buffer, buffer + n);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        return false;
      }
    }
    return true;
  }

  void Write(const Bytes& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (errno == EAGAIN) {
        pollfd p{fd_, POLLOUT, 0};
        poll(&p, 1, 1000);
      } else if (errno != EINTR) {
        throw std::system_error(errno, std::generic_category(), "write to the line");
      }
    }
  }

  // Runs the script; false at the first failure (noted).
  bool Run(const std::vector<Step>& steps) {
    Bytes got;
    for (const Step& s : steps) {
      const std::string at = "line " + std::to_string(s.line);
      const auto pause = std::chrono::milliseconds(s.ms);
      if (s.verb == "expect") {
        if (!Read(got, s.first.size())) {
          Note("FAIL " + at + ": the line closed while expecting " + Hex(s.first));
          return false;
        }
        if (got != s.first) {
          Note("FAIL " + at + ": expected " + Hex(s.first) + ", got " + Hex(got));
          return false;
        }
        Note(at + ": got " + Hex(got));
      } else if (s.verb == "send") {
        Write(s.first);
      } else if (s.verb == "pace") {
        auto next = Clock::now();
        for (uint8_t b : s.first) {
          Write({b});
          next += pause;
          SleepUntil(next);
        }
      } else if (s.verb == "burst") {
        Write(s.first);
        const auto written = Clock::now();
        SleepUntil(written + pause);
        const double took = Ms(Clock::now() - written);
        Write(s.second);
        char note[96];
        std::snprintf(note, sizeof note, ": burst pause %.1f ms%s", took,
                      took > s.ms + 2.0 ? " LATE (the machine held the terminal up)" : "");
        Note(at + note);
      } else if (s.verb == "pause") {
        SleepUntil(Clock::now() + pause);
      } else if (s.verb == "hold") {
        Note("ok");
        for (;;) ::pause();
      } else if (s.verb == "hangup") {
        break;
      }
    }
    Note("ok");
    return true;
  }

 private:
  int fd_;
  std::FILE* result_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s SCRIPT RESULT LINK\n", argv[0]);
    return 2;
  }
  std::FILE* result = std::fopen(argv[2], "w");
  if (!result) {
    std::fprintf(stderr, "%s: cannot write %s: %s\n", argv[0], argv[2], std::strerror(errno));
    return 1;
  }
  try {
    const auto steps = ParseScript(argv[1]);
    mobi::tools::PtyPair line;
    std::filesystem::remove(argv[3]);
    std::filesystem::create_symlink(line.slave_path(), argv[3]);
    const bool ok = Peer(line.master(), result).Run(steps);
    std::filesystem::remove(argv[3]);
    return ok ? 0 : 1;  // the pair closes here: the component sees the hang-up
  } catch (const ScriptError& e) {
    std::fprintf(result, "FAIL line %d: %s\n", e.line, e.what.c_str());
  } catch (const std::exception& e) {
    std::fprintf(result, "FAIL: %s\n", e.what());
  }
  std::fclose(result);
  return 1;
}
