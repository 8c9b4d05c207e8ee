// A stand-in for mobi-atmodem's scenarios with a few fixed ones, on the
// simulator's own modem and pseudo-terminal: the bench's tests know exactly
// what each scenario holds, so a planted fault must fail exactly the
// scenarios it touches. The options and the record are those of the simulator.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <string>
#include <vector>

#include "json.h"
#include "pty_server.h"
#include "utf.h"

namespace {

using qualify::json::quote;

struct Stored {
  std::string number, text, time;
};

struct StubScenario {
  const char* name;
  const char* description;
  bool applies;
  std::string calls;  // the JSON array
  std::vector<Stored> inbox;
  std::vector<std::pair<std::string, std::string>> failures;  // command, reply (once)
};

const std::string kLong(200, 'x');

const std::vector<StubScenario>& scenarios() {
  static const std::vector<StubScenario> all = {
      {"send-ascii",
       "one short GSM message",
       true,
       R"([{"call":"open","expect":"ok"},{"call":"send","number":"13800138000","text":"Hello from the bench","mode":1,"expect":"ok"},{"call":"close","expect":"ok"}])",
       {},
       {}},
      {"send-ucs2",
       "a Chinese message, always UCS2",
       true,
       R"([{"call":"open","expect":"ok"},{"call":"send","number":"13800138000","text":"你好，世界","mode":2,"expect":"ok"},{"call":"close","expect":"ok"}])",
       {},
       {}},
      {"send-long",
       "200 characters in two parts",
       true,
       (R"([{"call":"open","expect":"ok"},{"call":"send","number":"+8613912345678","text":")" +
        kLong + R"(","mode":1,"expect":"ok"},{"call":"close","expect":"ok"}])"),
       {},
       {}},
      {"send-refused",
       "the network refuses the message",
       true,
       R"([{"call":"open","expect":"ok"},{"call":"send","number":"13800138000","text":"refused","mode":1,"expect":"fail"},{"call":"close","expect":"ok"}])",
       {},
       {{"SUBMIT", "+CMS ERROR: 331"}}},
      {"fetch-chinese",
       "a stored Chinese message, then an empty inbox",
       true,
       R"([{"call":"open","expect":"ok"},{"call":"fetch","expect":"ok","sender":"+8613912345678","text":"你好, 世界","time":"26/12/08,19:10:00+32"},{"call":"fetch","expect":"fail"},{"call":"close","expect":"ok"}])",
       {{"+8613912345678", "你好, 世界", "26/12/08,19:10:00+32"}},
       {}},
      {"unsolicited-ring",
       "RING before the OK of AT+CSCA, then a send",
       true,
       R"([{"call":"open","expect":"ok"},{"call":"send","number":"10086","text":"ring ring","mode":1,"expect":"ok"},{"call":"close","expect":"ok"}])",
       {},
       {{"+CSCA=", "RING\r\n\r\nOK"}}},
      {"unsolicited-rssi",
       "^RSSI before the OK of AT+CSCA, then a fetch",
       true,
       R"([{"call":"open","expect":"ok"},{"call":"fetch","expect":"ok","sender":"10086","text":"balance 12.50","time":"26/01/31,08:00:59-20"},{"call":"close","expect":"ok"}])",
       {{"10086", "balance 12.50", "26/01/31,08:00:59-20"}},
       {{"+CSCA=", "^RSSI: 17\r\n\r\nOK"}}},
      {"not-for-us",
       "needs a modem feature the stand-in lacks",
       false,
       R"([{"call":"open","expect":"ok"}])",
       {},
       {}},
  };
  return all;
}

int usage(const std::string& problem) {
  std::cerr << "stub_atmodem: " << problem << "\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::string name, record, link;
  bool verbose = false, list = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    auto value = [&] { return i + 1 < args.size() ? args[++i] : std::string(); };
    if (args[i] == "--list-scenarios")
      list = true;
    else if (args[i] == "--json") {
    } else if (args[i] == "--scenario")
      name = value();
    else if (args[i] == "--record")
      record = value();
    else if (args[i] == "--link")
      link = value();
    else if (args[i] == "--delay-scale")
      value();
    else if (args[i] == "--verbose")
      verbose = true;
    else
      return usage("unknown option " + args[i]);
  }
  if (list) {
    for (const auto& s : scenarios())
      std::cout << "{\"name\":" << quote(s.name) << ",\"description\":" << quote(s.description)
                << ",\"source\":\"stub\",\"applies\":" << (s.applies ? "true" : "false")
                << ",\"delay\":0,\"calls\":" << s.calls << "}\n";
    return 0;
  }
  const StubScenario* sc = nullptr;
  for (const auto& s : scenarios())
    if (name == s.name) sc = &s;
  if (!sc || record.empty()) return usage("needs --scenario NAME (a known one) and --record FILE");

  std::ofstream out(record);
  atmodem::Modem modem;
  for (const auto& m : sc->inbox)
    modem.AddInbox(m.number, *mobi::tools::Utf8ToUtf16(m.text), m.time);
  for (const auto& [command, reply] : sc->failures) modem.FailCommand(command, reply, 1);
  modem.on_sent = [&](const atmodem::SentMessage& m) {
    out << "{\"event\":\"sent\",\"number\":" << quote(m.number)
        << ",\"text\":" << quote(mobi::tools::Utf16ToUtf8(m.text))
        << ",\"reference\":" << m.reference << ",\"part\":" << (m.concat ? m.concat->part : 1)
        << ",\"parts\":" << (m.concat ? m.concat->total : 1)
        << ",\"concat\":" << (m.concat ? m.concat->reference : 0)
        << ",\"pdu\":" << (m.pdu ? "true" : "false") << "}" << std::endl;
  };

  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigprocmask(SIG_BLOCK, &signals, nullptr);
  int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);

  atmodem::PtyServer server;
  // A stored message that is gone after an answer was deleted.
  auto stored = modem.inbox();
  server.trace = [&](std::string_view dir, std::string_view bytes) {
    if (verbose) std::cerr << "stub_atmodem: " << dir << " " << bytes << std::endl;
    if (dir != ">>") return;
    auto now = modem.inbox();
    for (const auto& m : stored) {
      bool kept = false;
      for (const auto& n : now) kept = kept || n.index == m.index;
      if (!kept)
        out << "{\"event\":\"deleted\",\"memory\":\"SM\",\"index\":" << m.index
            << ",\"number\":" << quote(m.number)
            << ",\"text\":" << quote(mobi::tools::Utf16ToUtf8(m.text))
            << ",\"status\":" << quote(m.status) << "}" << std::endl;
    }
    stored = std::move(now);
  };
  if (!link.empty()) {
    ::unlink(link.c_str());
    if (::symlink(server.path().c_str(), link.c_str()) != 0) return usage(std::strerror(errno));
  }
  std::cout << server.path() << std::endl;
  std::mutex mutex;
  server.Serve(modem, mutex, {signal_fd}, -1);
  if (!link.empty()) ::unlink(link.c_str());
  return 0;
}
