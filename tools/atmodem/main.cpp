// mobi-atmodem: a simulated GSM modem on a pseudo-terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#if __has_include("mobi/version.h")
#include "mobi/version.h"
#endif
#include "common/command_line.h"
#include "common/utf.h"
#include "pty_server.h"
#include "scenarios.h"

namespace {

const char kUsage[] = R"(Usage: mobi-atmodem [OPTION]...
A simulated GSM modem on a pseudo-terminal. Prints the device path on the
first line of standard output, then answers AT commands on it like a GSM
modem in PDU mode (its power-on mode) and text mode until SIGINT or SIGTERM:
ATE, ATQ, ATV, ATI, ATZ, AT&F, AT&C, AT&D, AT&W, AT+CGMI, AT+CGMM, AT+CGMR,
AT+CGSN, AT+CIMI, AT+CPIN, AT+CSQ, AT+CBC, AT+CFUN, AT+CMEE, AT+CREG,
AT+CGREG, AT+CGATT, AT+CRC, AT+CHUP, AT+COPS, AT+CLIP, AT+CPBS, AT+CPBR,
AT+CSMS, AT+CMGF, AT+CSDH, AT+CSCS, AT+CSCA, AT+CSMP, AT+CNMI (+CMTI,
+CMT, +CDS), AT+CPMS (SM, ME), AT+CMGS, AT+CMGL, AT+CMGR, AT+CMGD.

Options:
  --inbox NUMBER:TEXT    store a received message from NUMBER (TEXT in UTF-8;
                         a long one as concatenated parts); may be repeated
  --inbox-fifo PATH      create the FIFO PATH; each line NUMBER:TEXT written to
                         it while the modem runs arrives as a received message
                         (removed at exit)
  --time YY/MM/DD,hh:mm:ss+zz
                         service centre time stamp of the following --inbox
                         messages (default: now, local time)
  --fail COMMAND[:REPLY] answer every command that starts with COMMAND (as
                         "+CMGS", "+CSCA=", "E0"; "SUBMIT" is the message text
                         after Ctrl-Z) with REPLY instead (default "ERROR"; an
                         empty REPLY means no answer at all)
  --csq RSSI             signal level that AT+CSQ reports (0-31, 99; default 21)
  --sim ready|pin|none   the SIM card: ready (default), locked until any
                         AT+CPIN="<pin>", or not inserted
  --sent-log FILE        append each sent message to FILE as a line
                         "NUMBER<TAB>TEXT" (UTF-8)
  --link PATH            also make PATH a symbolic link to the device
                         (removed at exit)
  --verbose              log every command and answer on standard error
  --scenario NAME        behave as the scenario NAME of the modem zoo (a
                         behaviour of real modems that breaks SMS software);
                         without it the modem is well-behaved
  --delay-scale F        multiply every delay of the scenario by F (a number
                         above 0, default 1; 0.05 makes a 14 s answer 0.7 s)
  --list-scenarios       print the scenarios, one a line: name, description,
                         [field report]; with --json one JSON object a line:
                         name, description, source, applies (false: the
                         device library's entries cannot show the behaviour),
                         delay (the sum of its delays in seconds at scale 1),
                         calls (the operator's calls, in order: open, send,
                         fetch, close, each with "expect" ok or fail, sends
                         with number, text and mode, fetches that succeed with
                         sender, text and time as stored, and or_text when
                         another form of the text is as right) and, when the
                         fetched messages may come in any order, any_order
  --json                 with --list-scenarios: JSON lines
  --record FILE          append a JSON line to FILE as things happen:
                         {"event":"sent",...} for each accepted part (number,
                         text, reference, part, parts, concat, pdu),
                         "refused" (reply, number, text), "deleted" (memory,
                         index, number, text, status), "read" (memory, index)
                         and "hangup"
  -h, --help             show this help and exit
      --version          show the version and exit

Every sent message is also logged on standard error. A scenario whose modem
is unplugged closes the pseudo-terminal (clients see a hang-up), records
"hangup" and exits 0. Exit status: 0 stopped by a signal or after a hang-up,
1 the pseudo-terminal could not be set up or served, 2 bad options or an
unknown scenario.
)";

std::string Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char buf[64];
  int quarters = static_cast<int>(tm.tm_gmtoff / 900) % 100;
  std::snprintf(buf, sizeof buf, "%02d/%02d/%02d,%02d:%02d:%02d%c%02d", tm.tm_year % 100,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                quarters < 0 ? '-' : '+', quarters < 0 ? -quarters : quarters);
  return buf;
}

std::string Printable(std::string_view bytes) {
  std::string out;
  for (char c : bytes) {
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (static_cast<unsigned char>(c) < 0x20)
      out += "^" + std::string(1, static_cast<char>(c + '@'));
    else
      out += c;
  }
  return out;
}

// A line "NUMBER:TEXT" from the FIFO becomes a received message.
void Deliver(atmodem::Modem& modem, const std::string& line, const std::string& time) {
  auto colon = line.find(':');
  auto text = mobi::tools::Utf8ToUtf16(colon == std::string::npos ? "" : line.substr(colon + 1));
  if (colon == std::string::npos || colon == 0 || !text) {
    std::cerr << "mobi-atmodem: ignored FIFO line (not NUMBER:TEXT in UTF-8): " << line << "\n";
    return;
  }
  auto index = modem.AddInbox(line.substr(0, colon), *text, time);
  if (index)
    std::cerr << "mobi-atmodem: received message from " << line.substr(0, colon) << " stored at "
              << *index << std::endl;
  else
    std::cerr << "mobi-atmodem: storage full, message from " << line.substr(0, colon)
              << " dropped\n";
}

std::string Int(int v) {
  return std::to_string(v);
}

int Usage(const std::string& problem) {
  std::cerr << "mobi-atmodem: " << problem << "\nTry 'mobi-atmodem --help'.\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  atmodem::Modem modem;
  std::string link;
  std::string sent_log;
  std::string fifo;
  std::string time;
  bool verbose = false;
  bool help = false;
  bool version = false;
  bool list = false;
  bool json = false;
  std::string record;
  const atmodem::Scenario* scenario = nullptr;
  std::string scenario_name;
  double delay_scale = 1;
  struct Inbox {
    std::string number;
    std::u16string text;
    std::string time;
  };
  std::vector<Inbox> inbox;  // stored after the scenario is staged
  using mobi::cmdline::Flag;
  using mobi::cmdline::UsageError;
  using mobi::cmdline::Value;
  auto path = [](std::string& target) { return [&target](const std::string& v) { target = v; }; };
  const std::vector<mobi::cmdline::Option> options = {
      Flag("help", 'h', [&] { help = true; }),
      Flag("version", 0, [&] { version = true; }),
      Flag("verbose", 0, [&] { verbose = true; }),
      Flag("list-scenarios", 0, [&] { list = true; }),
      Flag("json", 0, [&] { json = true; }),
      Value("record", 0, path(record)),
      Value("scenario", 0, path(scenario_name)),
      Value("delay-scale", 0,
            [&](const std::string& v) {
              std::size_t used = 0;
              double f = 0;
              try {
                f = std::stod(v, &used);
              } catch (const std::exception&) {
                used = 0;
              }
              if (used != v.size() || v.empty() || !(f > 0) || f > 1e6)
                throw UsageError("--delay-scale needs a number above 0, not \"" + v + "\"");
              delay_scale = f;
            }),
      Value("link", 0, path(link)),
      Value("inbox-fifo", 0, path(fifo)),
      Value("sent-log", 0, path(sent_log)),
      Value("time", 0, path(time)),
      Value("csq", 0,
            [&](const std::string& v) {
              if (v.empty() || v.find_first_not_of("0123456789") != std::string::npos)
                throw UsageError("--csq needs a number");
              modem.SetSignal(std::stoi(v.substr(0, 3)));
            }),
      Value("sim", 0,
            [&](const std::string& v) {
              if (v != "ready" && v != "pin" && v != "none")
                throw UsageError("--sim needs ready, pin or none");
              modem.SetSim(v == "ready" ? "READY" : v == "pin" ? "SIM PIN" : "");
            }),
      Value("fail", 0,
            [&](const std::string& v) {
              if (v.empty()) throw UsageError("--fail needs COMMAND[:REPLY]");
              auto colon = v.find(':');
              modem.FailCommand(v.substr(0, colon),
                                colon == std::string::npos ? "ERROR" : v.substr(colon + 1));
            }),
      // Takes the --time given before it.
      Value("inbox", 0,
            [&](const std::string& v) {
              auto colon = v.find(':');
              auto text =
                  mobi::tools::Utf8ToUtf16(colon == std::string::npos ? "" : v.substr(colon + 1));
              if (colon == std::string::npos || colon == 0 || !text)
                throw UsageError("--inbox needs NUMBER:TEXT with TEXT in UTF-8, not \"" + v + "\"");
              inbox.push_back({v.substr(0, colon), *text, time.empty() ? Now() : time});
            }),
  };
  try {
    const auto operands =
        mobi::cmdline::Parse(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!operands.empty() && !help && !version)
      throw UsageError("unexpected argument \"" + operands[0] +
                       "\" (mobi-atmodem takes options only)");
  } catch (const std::invalid_argument& e) {
    return Usage(e.what());
  }
  if (help) {
    std::cout << kUsage;
    return 0;
  }
  if (version) {
    std::cout << "mobi-atmodem " << MOBI_VERSION_STRING << "\n";
    return 0;
  }
  if (json && !list) return Usage("--json goes with --list-scenarios");
  if (list) {
    for (const auto& s : atmodem::Scenarios()) {
      if (json) {
        std::cout << atmodem::ToJson(s) << "\n";
      } else {
        std::string name = s.name;
        name.resize(std::max<std::size_t>(name.size() + 1, 24), ' ');
        std::cout << name << s.description << " [" << s.source << "]\n";
      }
    }
    return 0;
  }
  if (!scenario_name.empty()) {
    scenario = atmodem::FindScenario(scenario_name);
    if (!scenario)
      return Usage("unknown scenario \"" + scenario_name +
                   "\" (mobi-atmodem --list-scenarios lists them)");
    scenario->setup(modem);
  }
  for (const auto& message : inbox)
    if (!modem.AddInbox(message.number, message.text, message.time))
      return Usage("the message storage is full");

  modem.now = Now;
  std::ofstream log_file;
  if (!sent_log.empty()) {
    log_file.open(sent_log, std::ios::app);
    if (!log_file) return Usage("cannot write the sent log " + sent_log);
  }
  std::ofstream record_file;
  if (!record.empty()) {
    record_file.open(record, std::ios::app);
    if (!record_file) return Usage("cannot write the record " + record);
  }
  auto note = [&](const std::string& line) {
    if (record_file.is_open()) record_file << line << std::endl;  // flushed at once
  };
  using mobi::tools::JsonString;
  modem.on_refused = [&](const std::string& reply, const atmodem::SentMessage& m) {
    note("{\"event\":\"refused\",\"reply\":" + JsonString(reply) + ",\"number\":" +
         JsonString(m.number) + ",\"text\":" + JsonString(mobi::tools::Utf16ToUtf8(m.text)) + "}");
  };
  modem.on_read = [&](const std::string& memory, const atmodem::StoredMessage& m) {
    note("{\"event\":\"read\",\"memory\":" + JsonString(memory) + ",\"index\":" + Int(m.index) +
         "}");
  };
  modem.on_deleted = [&](const std::string& memory, const atmodem::StoredMessage& m) {
    note("{\"event\":\"deleted\",\"memory\":" + JsonString(memory) + ",\"index\":" + Int(m.index) +
         ",\"number\":" + JsonString(m.number) +
         ",\"text\":" + JsonString(mobi::tools::Utf16ToUtf8(m.text)) +
         ",\"status\":" + JsonString(m.status) + "}");
  };
  modem.on_sent = [&](const atmodem::SentMessage& m) {
    note("{\"event\":\"sent\",\"number\":" + JsonString(m.number) +
         ",\"text\":" + JsonString(mobi::tools::Utf16ToUtf8(m.text)) +
         ",\"reference\":" + Int(m.reference) + ",\"part\":" + Int(m.concat ? m.concat->part : 1) +
         ",\"parts\":" + Int(m.concat ? m.concat->total : 1) + ",\"concat\":" +
         Int(m.concat ? m.concat->reference : 0) + ",\"pdu\":" + (m.pdu ? "true" : "false") + "}");
    std::string text = mobi::tools::Utf16ToUtf8(m.text);
    std::cerr << "mobi-atmodem: sent message " << m.reference << " to " << m.number << " ("
              << (m.dcs == 8   ? "UCS2"
                  : m.dcs == 4 ? "8-bit"
                               : "GSM")
              << (m.concat ? ", part " + std::to_string(m.concat->part) + " of " +
                                 std::to_string(m.concat->total)
                           : std::string())
              << "): " << text << std::endl;
    if (log_file.is_open()) log_file << m.number << '\t' << text << std::endl;
  };

  // Signals arrive as input of a descriptor, so the server stops between answers.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return Usage("cannot block signals");
  int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);
  if (signal_fd < 0) {
    std::cerr << "mobi-atmodem: signalfd: " << std::strerror(errno) << "\n";
    return 1;
  }

  try {
    atmodem::PtyServer server;
    server.delay_scale = delay_scale;
    if (verbose)
      server.trace = [](std::string_view dir, std::string_view bytes) {
        std::cerr << "mobi-atmodem: " << dir << " " << Printable(bytes) << std::endl;
      };
    if (!link.empty()) {
      ::unlink(link.c_str());
      if (::symlink(server.path().c_str(), link.c_str()) != 0) {
        std::cerr << "mobi-atmodem: cannot link " << link << ": " << std::strerror(errno) << "\n";
        return 1;
      }
    }
    int fifo_fd = -1;
    std::string pending;
    if (!fifo.empty()) {
      ::unlink(fifo.c_str());
      // Opened for writing too, so the FIFO never reads as ended between writers.
      if (::mkfifo(fifo.c_str(), 0600) != 0 ||
          (fifo_fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)) < 0) {
        std::cerr << "mobi-atmodem: cannot make the FIFO " << fifo << ": " << std::strerror(errno)
                  << "\n";
        return 1;
      }
      server.inputs.push_back({fifo_fd, [&](atmodem::Modem& m) {
                                 char buf[4096];
                                 ssize_t n = ::read(fifo_fd, buf, sizeof buf);
                                 if (n > 0) pending.append(buf, static_cast<std::size_t>(n));
                                 for (auto end = pending.find('\n'); end != std::string::npos;
                                      end = pending.find('\n')) {
                                   std::string line = pending.substr(0, end);
                                   pending.erase(0, end + 1);
                                   Deliver(m, line, Now());
                                 }
                               }});
    }
    std::cout << server.path() << std::endl;
    std::mutex mutex;
    const bool hung_up = server.Serve(modem, mutex, {signal_fd}, -1);
    if (hung_up) {
      note("{\"event\":\"hangup\"}");
      std::cerr << "mobi-atmodem: hung up the line (scenario " << scenario_name << ")\n";
    }
    if (!link.empty()) ::unlink(link.c_str());
    if (fifo_fd >= 0) {
      ::close(fifo_fd);
      ::unlink(fifo.c_str());
    }
    std::cerr << "mobi-atmodem: stopped (" << modem.sent().size() << " message(s) sent)\n";
  } catch (const std::exception& e) {
    std::cerr << "mobi-atmodem: " << e.what() << "\n";
    if (!link.empty()) ::unlink(link.c_str());
    return 1;
  }
  return 0;
}
