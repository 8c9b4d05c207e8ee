// mobi-bench: how quickly the component turns a terminal's reply into a
// returned call, how many signal round trips it manages, and what waiting
// costs in processor time. Runs the component against the simulated terminal
// over a real pseudo-terminal with replies paced at line rate, at 9600 and
// 115200 baud, with waits that end as soon as a reply is handled and with
// waits that end only at 10 ms step boundaries, and prints one table.
// A benchmark, not a test: it asserts nothing about the figures.
#include <time.h>

#include <algorithm>
#include <atomic>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "internal/tool_hooks.h"
#include "mobi/clsSMS.h"
#include "mobi/version.h"
#include "terminal/posix/server.h"

namespace {

using mobi::terminal::Clock;
using mobi::terminal::Event;
using mobi::terminal::TerminalConfig;
using mobi::terminal::TerminalServer;
using Ms = std::chrono::duration<double, std::milli>;

constexpr uint8_t kLevel = 23;
constexpr char16_t kNumber[] = u"12345";
constexpr char16_t kText[] = u"bench";

struct Options {
  int iterations = 200;  // MobiSignal latency samples per configuration (MobiCheck: half)
  int sends = 40;        // SendSMS latency samples per configuration
  double round_trip_seconds = 2;
  bool cpu = true;       // the 5 s wait for a report that never comes
  int burst_sends = 50;  // SendSMS calls per burst gap, replies in two bursts
  int baud = 0;          // only this rate (9600 or 115200); 0: both
};

struct Percentiles {
  double p50 = NAN;
  double p99 = NAN;
};

Percentiles Of(std::vector<double> v) {
  Percentiles p;
  if (v.empty()) return p;
  std::sort(v.begin(), v.end());
  p.p50 = v[v.size() / 2];
  p.p99 = v[std::min(v.size() - 1, static_cast<size_t>(std::ceil(v.size() * 0.99)) - 1)];
  return p;
}

struct Figures {
  Percentiles signal;
  Percentiles send;
  double round_trips = NAN;
  Percentiles check;  // MobiCheck: a text reply, not known to be whole
  double cpu_ms = NAN;
  double wakeups = NAN;
  double wait_s = NAN;
  int lost = 0;     // calls whose answer did not come through whole
  int stalled = 0;  // of them, with a reply broken by the simulator's own late write
};

double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// How often this thread has gone to sleep and been woken: its voluntary
// context switches.
double ThreadWakeups() {
  std::FILE* f = std::fopen("/proc/thread-self/status", "r");
  if (!f) return NAN;
  char line[256];
  double n = NAN;
  while (std::fgets(line, sizeof line, f)) {
    if (std::sscanf(line, "voluntary_ctxt_switches: %lf", &n) == 1) break;
  }
  std::fclose(f);
  return n;
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "mobi-bench: %s\n", what.c_str());
  std::exit(1);
}

// The serial layer hands a reply over once the line has been quiet this
// long: the short gap for a reply known to be whole, the long one for others.
double QuietGapMs(int baud, bool whole = true) {
  const std::string s = std::to_string(baud) + ",n,8,1";
  const auto gaps = mobi::line::QuietGaps(mobi::line::ParseSettings(s));
  return Ms(whole ? gaps.whole : gaps.other).count();
}

// A simulated terminal on its own thread that remembers when the last byte
// of its latest reply left, and how late its latest writes inside a reply
// were: a machine that stalls the simulator's thread (a virtual machine's
// host busy elsewhere) puts a real pause into the middle of a reply, and such
// a reply is two replies on any line.
class Terminal {
 public:
  explicit Terminal(TerminalConfig config)
      : server_(std::move(config), [this](const Event& e) {
          if (e.kind == Event::Kind::kReplied) last_reply_ = e.at.time_since_epoch().count();
          if (e.kind == Event::Kind::kError) Fail("simulator: " + e.text);
          if (e.kind == Event::Kind::kFault && e.late.count() > worst_late_.load())
            worst_late_ = e.late.count();
        }) {
    server_.Start();
    mobi::SetPortDevice(1, server_.device_path());
  }
  ~Terminal() {
    server_.Stop();
    mobi::SetPortDevice(1, "");
  }
  Clock::time_point last_reply() const {
    return Clock::time_point(Clock::duration(last_reply_.load()));
  }
  // Whether a write inside a reply was at least `limit` late since the last
  // call; an answer lost after that is the simulated line's loss.
  bool StalledPast(Ms limit) { return Ms(Clock::duration(worst_late_.exchange(0))) >= limit; }

 private:
  std::atomic<Clock::rep> last_reply_{0};
  std::atomic<Clock::rep> worst_late_{0};
  TerminalServer server_;
};

std::u16string Settings(int baud) {
  const std::string s = std::to_string(baud) + ",n,8,1";
  return std::u16string(s.begin(), s.end());
}

TerminalConfig Paced(int baud) {
  TerminalConfig c;
  c.level = kLevel;
  c.pace = true;
  c.baud = baud;
  c.reply_delay = std::chrono::milliseconds(0);
  // Send replies 50 ms apart: separate chunks even for a wait that handles
  // input only every 10 ms.
  c.centre_delay = std::chrono::milliseconds(50);
  c.report_delay = std::chrono::milliseconds(50);
  return c;
}

Figures Measure(int baud, bool early_end, const Options& o) {
  mobi::SetWaitStepEarlyEnd(early_end);
  Figures f;
  const Ms longGap(QuietGapMs(baud, false));
  {
    Terminal terminal(Paced(baud));
    const auto lost = [&] {
      ++f.lost;
      f.stalled += terminal.StalledPast(longGap);
    };
    mobi::clsSMS sms;
    sms.Initialize(1, Settings(baud));
    int answered = 0;
    for (int i = 0; i < 5; ++i) answered += sms.MobiSignal() == kLevel;  // warm-up
    if (answered == 0) Fail("the simulated terminal did not answer MobiSignal");

    // A reply can still be lost: a paced reply whose bytes the simulator could
    // not write in time (a loaded machine) reaches the component in pieces.
    std::vector<double> lat;
    for (int i = 0; i < o.iterations; ++i) {
      terminal.StalledPast(longGap);
      if (sms.MobiSignal() != kLevel) {
        lost();
        continue;
      }
      lat.push_back(Ms(Clock::now() - terminal.last_reply()).count());
    }
    f.signal = Of(lat);

    lat.clear();
    for (int i = 0; i < o.iterations / 2; ++i) {
      terminal.StalledPast(longGap);
      if (sms.MobiCheck() != u"MOBI-SIM READY") {
        lost();
        continue;
      }
      lat.push_back(Ms(Clock::now() - terminal.last_reply()).count());
    }
    f.check = Of(lat);

    int count = 0;
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration<double>(o.round_trip_seconds);
    while (Clock::now() < end) {
      terminal.StalledPast(longGap);
      if (sms.MobiSignal() == kLevel)
        ++count;
      else
        lost();
    }
    f.round_trips = count / std::chrono::duration<double>(Clock::now() - start).count();

    lat.clear();
    for (int i = 0; i < o.sends; ++i) {
      terminal.StalledPast(longGap);
      if (sms.SendSMS(kNumber, kText) != mobi::typeCustOK) {
        lost();
        continue;
      }
      lat.push_back(Ms(Clock::now() - terminal.last_reply()).count());
    }
    f.send = Of(lat);
  }
  if (o.cpu) {
    TerminalConfig c = Paced(baud);
    c.no_report = true;
    Terminal terminal(c);
    mobi::clsSMS sms;
    sms.Initialize(1, Settings(baud));
    const double cpu = ThreadCpuMs();
    const double wakeups = ThreadWakeups();
    const auto start = Clock::now();
    if (sms.SendSMS(kNumber, kText) != mobi::typeCenterOK) ++f.lost;
    f.cpu_ms = ThreadCpuMs() - cpu;
    f.wakeups = ThreadWakeups() - wakeups;
    f.wait_s = std::chrono::duration<double>(Clock::now() - start).count();
  }
  return f;
}

// Every reply in two bursts `gap` apart, as a USB adapter forwards them: the
// sends whose report did not come through whole, and the report latency.
struct Bursts {
  int lost = 0;
  int stalled = 0;  // of them, after a write late by more than the gap left to the long one
  Percentiles latency;
};

Bursts MeasureBursts(int baud, int gap_ms, int sends) {
  mobi::SetWaitStepEarlyEnd(true);
  TerminalConfig c = Paced(baud);
  c.fault_pause = std::chrono::milliseconds(gap_ms);
  c.faults.push_back({});  // split every reply
  Terminal terminal(c);
  mobi::clsSMS sms;
  sms.Initialize(1, Settings(baud));
  Bursts b;
  // A burst late by this much makes the pause on the line the long gap.
  const Ms stall = Ms(QuietGapMs(baud, false)) - std::chrono::milliseconds(gap_ms);
  std::vector<double> lat;
  for (int i = 0; i < sends; ++i) {
    terminal.StalledPast(stall);
    if (sms.SendSMS(kNumber, kText) != mobi::typeCustOK) {
      ++b.lost;
      b.stalled += terminal.StalledPast(stall);
      continue;
    }
    lat.push_back(Ms(Clock::now() - terminal.last_reply()).count());
  }
  b.latency = Of(lat);
  return b;
}

// Time on the wire for `bytes` characters at 8N1.
double WireMs(int baud, int bytes) {
  return bytes * 10.0 * 1000.0 / baud;
}

std::string Cell(double v, int decimals) {
  if (std::isnan(v)) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return buf;
}

void Row(const char* figure, int baud, double early, double steps, double limit,
         const char* limit_kind, int decimals) {
  const std::string limit_cell = std::isnan(limit) ? "-" : Cell(limit, decimals) + " " + limit_kind;
  std::printf("%-31s %7d %10s %12s %12s %16s %12s\n", figure, baud, Cell(early, decimals).c_str(),
              Cell(steps, decimals).c_str(), Cell(early > 0 ? steps / early : NAN, 2).c_str(),
              limit_cell.c_str(), Cell(std::isnan(limit) ? NAN : early / limit, 2).c_str());
}

const char kHelp[] =
    "Usage: mobi-bench [--iterations N] [--sends N] [--round-trip-seconds S]\n"
    "                  [--burst-sends N] [--baud 9600|115200] [--no-cpu]\n"
    "  --iterations N          MobiSignal latency samples per configuration, half as\n"
    "                          many MobiCheck ones (200)\n"
    "  --sends N               SendSMS latency samples per configuration (40)\n"
    "  --round-trip-seconds S  how long to count MobiSignal round trips (2)\n"
    "  --burst-sends N         SendSMS calls per burst gap (50)\n"
    "  --baud B                only this rate (both by default)\n"
    "  --no-cpu                skip the 5 s waits for a report that never comes\n"
    "  -h, --help              this text\n"
    "  --version               the version\n";

// A number above 0; a count is a whole number that fits an int.
double Positive(const std::string& option, const std::string& value, bool whole) {
  double n = 0;
  const char* end = value.data() + value.size();
  const auto [p, ec] = std::from_chars(value.data(), end, n);
  const bool number = !value.empty() && ec == std::errc() && p == end && n > 0;
  if (whole && !(number && n == std::floor(n) && n <= INT_MAX))
    throw mobi::cmdline::UsageError(option + ": expected a whole number from 1 to " +
                                    std::to_string(INT_MAX) + ", got \"" + value + "\"");
  if (!number || !std::isfinite(n))
    throw mobi::cmdline::UsageError(option + ": expected a number above 0, got \"" + value + "\"");
  return n;
}

enum class Parsed { kRun, kHelp, kVersion };

// Throws mobi::cmdline::UsageError for a mistake.
Parsed ParseOptions(int argc, char** argv, Options& o) {
  using mobi::cmdline::Flag;
  using mobi::cmdline::Value;
  Parsed parsed = Parsed::kRun;
  auto count = [](const char* name, int& target) {
    return Value(name, 0, [name, &target](const std::string& v) {
      target = static_cast<int>(Positive(std::string("--") + name, v, true));
    });
  };
  const std::vector<mobi::cmdline::Option> options = {
      count("iterations", o.iterations),
      count("sends", o.sends),
      Value("round-trip-seconds", 0,
            [&](const std::string& v) {
              o.round_trip_seconds = Positive("--round-trip-seconds", v, false);
            }),
      count("burst-sends", o.burst_sends),
      Value("baud", 0,
            [&](const std::string& v) {
              if (v != "9600" && v != "115200")
                throw mobi::cmdline::UsageError("--baud: expected 9600 or 115200, got \"" + v +
                                                "\"");
              o.baud = std::stoi(v);
            }),
      Flag("no-cpu", 0, [&] { o.cpu = false; }),
      Flag("help", 'h', [&] { parsed = Parsed::kHelp; }),
      Flag("version", 0, [&] { parsed = Parsed::kVersion; }),
  };
  const auto operands =
      mobi::cmdline::Parse(std::vector<std::string>(argv + 1, argv + argc), options);
  if (!operands.empty() && parsed == Parsed::kRun)
    throw mobi::cmdline::UsageError("unexpected argument \"" + operands[0] +
                                    "\" (mobi-bench takes options only)");
  return parsed;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  try {
    switch (ParseOptions(argc, argv, o)) {
      case Parsed::kHelp:
        std::fputs(kHelp, stdout);
        return 0;
      case Parsed::kVersion:
        std::printf("mobi-bench %s\n", MOBI_VERSION_STRING);
        return 0;
      case Parsed::kRun:
        break;
    }
  } catch (const mobi::cmdline::UsageError& e) {
    std::fprintf(stderr, "mobi-bench: %s\nTry 'mobi-bench --help'.\n", e.what());
    return 2;
  }
  std::vector<int> bauds = {9600, 115200};
  if (o.baud) bauds = {o.baud};
  const int rates = static_cast<int>(bauds.size());
  std::printf(
      "Mobi wait benchmark: the component against the simulated terminal on a pseudo-terminal,\n"
      "replies paced at line rate (8N1). %d MobiSignal and %d SendSMS samples per cell.\n"
      "early end: a wait sleeps until the first handled reply (the component's design);\n"
      "10 ms steps: a wait wakes every 10 ms and ends only at a step boundary (the plain\n"
      "sleep loop).\n\n",
      o.iterations, o.sends);
  Figures early[2], steps[2];
  for (int b = 0; b < rates; ++b) {
    std::fprintf(stderr, "mobi-bench: %d baud, early end...\n", bauds[b]);
    early[b] = Measure(bauds[b], true, o);
    std::fprintf(stderr, "mobi-bench: %d baud, 10 ms steps...\n", bauds[b]);
    steps[b] = Measure(bauds[b], false, o);
  }
  const int burst_gaps[] = {2, 5, 10, 16};
  Bursts bursts[2][4];
  for (int b = 0; b < rates; ++b) {
    for (int g = 0; g < 4; ++g) {
      std::fprintf(stderr, "mobi-bench: %d baud, replies in bursts %d ms apart...\n", bauds[b],
                   burst_gaps[g]);
      bursts[b][g] = MeasureBursts(bauds[b], burst_gaps[g], o.burst_sends);
    }
  }
  mobi::SetWaitStepEarlyEnd(true);

  std::printf("%-31s %7s %10s %12s %12s %16s %12s\n", "figure", "baud", "early end", "10 ms steps",
              "steps/early", "limit", "early/limit");
  std::printf("%s\n", std::string(106, '-').c_str());
  for (int b = 0; b < rates; ++b) {
    const int baud = bauds[b];
    const double gap = QuietGapMs(baud);
    const double other = QuietGapMs(baud, false);
    Row("MobiSignal latency p50 (ms)", baud, early[b].signal.p50, steps[b].signal.p50, gap, "gap",
        2);
    Row("MobiSignal latency p99 (ms)", baud, early[b].signal.p99, steps[b].signal.p99, gap, "gap",
        2);
    Row("MobiCheck latency p99 (ms)", baud, early[b].check.p99, steps[b].check.p99, other,
        "long gap", 2);
    Row("SendSMS report latency p50 (ms)", baud, early[b].send.p50, steps[b].send.p50, gap, "gap",
        2);
    Row("SendSMS report latency p99 (ms)", baud, early[b].send.p99, steps[b].send.p99, gap, "gap",
        2);
    // A round trip: the pseudo-terminal takes the request at once, the reply's
    // three bytes leave paced (two character times from the first to the
    // last), and the reply, known to be whole, waits the short gap.
    Row("MobiSignal round trips per s", baud, early[b].round_trips, steps[b].round_trips,
        1000.0 / (WireMs(baud, 2) + gap), "pace+gap", 1);
    Row("CPU in a 5 s report wait (ms)", baud, early[b].cpu_ms, steps[b].cpu_ms, NAN, "", 2);
    Row("wake-ups in a 5 s report wait", baud, early[b].wakeups, steps[b].wakeups, NAN, "", 0);
    Row("calls whose answer was lost", baud, early[b].lost, steps[b].lost, NAN, "", 0);
    Row("  of them after a line stall", baud, early[b].stalled, steps[b].stalled, NAN, "", 0);
  }

  std::printf("\nReplies in two bursts, as a USB adapter forwards them: %d SendSMS per cell\n",
              o.burst_sends);
  std::printf("%-31s %7s %10s %10s %10s %10s\n", "figure", "baud", "2 ms", "5 ms", "10 ms",
              "16 ms");
  std::printf("%s\n", std::string(83, '-').c_str());
  for (int b = 0; b < rates; ++b) {
    std::printf("%-31s %7d", "sends whose report was lost", bauds[b]);
    for (int g = 0; g < 4; ++g) std::printf(" %10d", bursts[b][g].lost);
    std::printf("\n%-31s %7d", "  of them after a line stall", bauds[b]);
    for (int g = 0; g < 4; ++g) std::printf(" %10d", bursts[b][g].stalled);
    std::printf("\n%-31s %7d", "report latency p99 (ms)", bauds[b]);
    for (int g = 0; g < 4; ++g) std::printf(" %10s", Cell(bursts[b][g].latency.p99, 2).c_str());
    std::printf("\n");
  }
  std::printf(
      "\nLatency runs from the terminal's last reply byte to the call's return. A reply known to\n"
      "be whole (a level, a status word) is handed over after the short quiet gap, max(3\n"
      "character times, 5 ms); others (a check text) after the long gap that covers a USB\n"
      "adapter's forwarding. The round-trip limit counts the reply's pacing on the line (2\n"
      "character times of 10 bits) and the short gap. Wake-ups are the waiting thread's voluntary "
      "context\n"
      "switches. A lost answer is a call that did not get its reply whole; it is left out of\n"
      "the latency and round-trip figures. \"After a line stall\": the simulator's thread was\n"
      "held up (a busy or virtual machine) and wrote part of that reply so late that the pause\n"
      "on the line reached the long gap, which makes two replies on any line.\n");
  if (o.cpu) {
    double lo = INFINITY, hi = 0;
    for (int b = 0; b < rates; ++b) {
      lo = std::min({lo, early[b].wait_s, steps[b].wait_s});
      hi = std::max({hi, early[b].wait_s, steps[b].wait_s});
    }
    std::printf("The report waits lasted %.2f-%.2f s of wall time.\n", lo, hi);
  }
  return 0;
}
