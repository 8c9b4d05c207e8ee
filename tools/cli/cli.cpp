#include "cli/cli.h"

#include <charconv>
#include <cstdio>

#include "mobi/errors.h"
#include "terminal/core/options.h"
#include "terminal/core/text.h"

namespace mobi::cli {

const char* ExitCodeHelp() {
  return R"(  0  done; for send: delivered (typeCustOK)
  1  unexpected failure inside the tool or the component
  2  usage: bad command line, or a number or text that cannot be sent
     (nothing was written to the port)
  3  port: the port could not be opened or used, or the line hung up
  4  send: the delivery report said FAILURE (TypeCustError)
  5  the terminal answered ERROR (send: typeError; centre: refused)
  6  send: the centre accepted the message, no delivery report came (typeCenterOK)
  7  send: only OK within 5 s (typeSendOk)
  8  no answer: check got none within about 1 s; signal, centre or send saw
     the terminal send nothing at all on the watched line (the component
     still counts that as level 0, accepted, typeSendOk)
  9  send --follow: a delivery report came after the 5 s and said delivered
 10  send --follow: a delivery report came after the 5 s and said FAILURE
     (no late report within --follow: the send's own code, 6 or 7)
)";
}

const char* HelpText() {
  return R"(Usage: mobi [OPTION]... COMMAND [ARGUMENT]...
Drives a modem terminal through the Mobi component (clsSMS).

Commands:
  check              ask the terminal for its check text (MobiCheck)
  signal             show the signal level, 0-255 (MobiSignal)
  centre NUMBER      store the message-centre number (SetMobiCode)
  reset              reset the terminal (MobiReset; does not wait)
  send NUMBER TEXT   send TEXT (UTF-8) to NUMBER and follow it for up to 5 s
                     (SendSMS); progress lines as the terminal reports
  at STRING          write STRING as it is, no frame (ATSend); then show
                     error texts that arrive within --listen milliseconds

Options:
  -p, --port PORT    serial port: a number 1-255 (/dev/ttyS{N-1}), a device
                     path such as /dev/ttyUSB0 (used as port 1), or N=PATH;
                     without it the built-in terminal simulator is used
  -s, --settings S   line settings "baud,parity,data,stop" (default 9600,n,8,1)
      --direct       with --port: let the component open the device itself;
                     without it the tool holds the device and passes every
                     byte through a pseudo-terminal to the component, watching
                     the replies to show send progress
      --sim ARGS     options for the built-in simulator, in one argument,
                     e.g. --sim "--fail 123 --pace" (see mobi-terminal --help)
  -v, --verbose      log every frame that crosses the line (stderr)
      --json         machine-readable output: one JSON object per line
      --cr           at: append a carriage return to STRING
      --listen MS    at: milliseconds to wait for error texts (default 1000)
      --follow S     send: when no final report came within the 5 s, keep the
                     line open up to S seconds (1-3600) for a late delivery
                     report, with a progress line every 5 s; its outcome has
                     its own exit code (9 delivered, 10 failed)
  -h, --help         this text
      --version      the version of mobi and of the component

A number must be single-byte (ASCII) characters. The frame the component
builds holds at most 32768 bytes: 2 + the number's characters + 2 per UTF-16
unit of the text, so with an 11-digit number a text has at most 16377 units.
)";
}

namespace {

int ParseInt(const std::string& option, const std::string& value, int min, int max) {
  int n = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, n);
  if (value.empty() || ec != std::errc() || ptr != end || n < min || n > max)
    throw UsageError(option + ": expected a number from " + std::to_string(min) + " to " +
                     std::to_string(max) + ", got \"" + value + "\"");
  return n;
}

void ParsePort(const std::string& value, Invocation& inv) {
  const size_t eq = value.find('=');
  if (eq != std::string::npos) {
    inv.port_number = ParseInt("--port", value.substr(0, eq), 1, 255);
    inv.device = value.substr(eq + 1);
    if (inv.device.empty()) throw UsageError("--port: no device path after \"=\"");
  } else if (value.find('/') != std::string::npos) {
    inv.port_number = 1;
    inv.device = value;
  } else {
    inv.port_number = ParseInt("--port", value, 1, 255);
  }
}

struct CommandSpec {
  const char* name;
  Command command;
  size_t arguments;
  const char* synopsis;
};
constexpr CommandSpec kCommands[] = {
    {"check", Command::kCheck, 0, "check"},           {"signal", Command::kSignal, 0, "signal"},
    {"centre", Command::kCentre, 1, "centre NUMBER"}, {"reset", Command::kReset, 0, "reset"},
    {"send", Command::kSend, 2, "send NUMBER TEXT"},  {"at", Command::kAt, 1, "at STRING"},
};

}  // namespace

void ParseCommandLine(const std::vector<std::string>& args, Invocation& inv) {
  using cmdline::Flag;
  using cmdline::Value;
  const std::vector<cmdline::Option> options = {
      Flag("help", 'h', [&] { inv.help = true; }),
      Flag("version", 0, [&] { inv.version = true; }),
      Value("port", 'p', [&](const std::string& v) { ParsePort(v, inv); }),
      Value("settings", 's', [&](const std::string& v) { inv.settings = v; }),
      Flag("json", 0, [&] { inv.json = true; }),
      Flag("verbose", 'v', [&] { inv.verbose = true; }),
      Flag("cr", 0, [&] { inv.append_cr = true; }),
      Flag("direct", 0, [&] { inv.direct = true; }),
      Value("listen", 0,
            [&](const std::string& v) { inv.listen_ms = ParseInt("--listen", v, 0, 60000); }),
      Value("follow", 0,
            [&](const std::string& v) { inv.follow_s = ParseInt("--follow", v, 1, 3600); }),
      Value("sim", 0,
            [&](const std::string& v) {
              try {
                for (std::string& s : terminal::SplitArguments(v)) inv.sim_options.push_back(s);
              } catch (const std::invalid_argument& e) {
                throw UsageError(std::string("--sim: ") + e.what());
              }
            }),
  };
  std::vector<std::string> words;
  try {
    words = cmdline::Parse(args, options);
  } catch (const cmdline::UnknownOption& e) {
    throw UsageError(std::string(e.what()) +
                     " (see mobi --help; a TEXT that starts with - goes after --)");
  }
  if (inv.help || inv.version) return;
  if (words.empty()) throw UsageError("no command given (check, signal, centre, reset, send, at)");
  for (const CommandSpec& entry : kCommands) {
    if (words[0] != entry.name) continue;
    if (words.size() - 1 != entry.arguments)
      throw UsageError(std::string("usage: mobi ") + entry.synopsis + " (got " +
                       std::to_string(words.size() - 1) + " argument(s))");
    inv.command = entry.command;
    inv.args.assign(words.begin() + 1, words.end());
    if (inv.port_number && !inv.sim_options.empty())
      throw UsageError("--sim configures the built-in simulator, which --port replaces");
    if (inv.direct && !inv.port_number) throw UsageError("--direct needs --port");
    if (inv.append_cr && inv.command != Command::kAt)
      throw UsageError("--cr applies to the at command only");
    CheckSettings(inv.settings);
    return;
  }
  throw UsageError("unknown command \"" + words[0] + "\" (check, signal, centre, reset, send, at)");
}

Invocation ParseCommandLine(const std::vector<std::string>& args) {
  Invocation inv;
  ParseCommandLine(args, inv);
  return inv;
}

namespace {

std::u16string FromUtf8(const std::string& what, const std::string& utf8) {
  terminal::Utf8Error error{};
  auto text = terminal::Utf8ToUtf16(utf8, &error);
  if (!text)
    throw UsageError(what + " is not valid UTF-8 (byte " + std::to_string(error.offset + 1) +
                     " of " + std::to_string(utf8.size()) + ")");
  return *text;
}

std::u16string Number(const std::string& what, const std::string& utf8) {
  std::u16string number = FromUtf8(what, utf8);
  if (number.empty()) throw UsageError(what + " is empty; the terminal needs at least one digit");
  for (size_t i = 0; i < number.size(); ++i) {
    if (number[i] >= 0x80) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(number[i]));
      throw UsageError(what + " \"" + utf8 + "\": character " + std::to_string(i + 1) + " (" +
                       code +
                       ") is not a single-byte character; a number is sent one byte per "
                       "character, so only ASCII characters can be used");
    }
  }
  return number;
}

}  // namespace

Payload PreparePayload(const Invocation& inv) {
  Payload p;
  switch (inv.command) {
    case Command::kCentre: {
      p.number = Number("the centre number", inv.args[0]);
      const size_t frame = 2 + p.number.size();
      if (frame > kMaxFrameBytes)
        throw UsageError("the centre number has " + std::to_string(p.number.size()) +
                         " characters; the frame limit of " + std::to_string(kMaxFrameBytes) +
                         " bytes allows at most " + std::to_string(kMaxFrameBytes - 2));
      break;
    }
    case Command::kSend: {
      p.number = Number("the number", inv.args[0]);
      p.text = FromUtf8("the text", inv.args[1]);
      if (p.text.empty()) throw UsageError("the text is empty; an empty message cannot be sent");
      const size_t frame = 2 + p.number.size() + 2 * p.text.size();
      if (frame > kMaxFrameBytes) {
        const size_t room = kMaxFrameBytes - 2 - std::min(p.number.size(), kMaxFrameBytes - 2);
        throw UsageError("the text is too long: " + std::to_string(p.text.size()) +
                         " UTF-16 units make a frame of " + std::to_string(frame) +
                         " bytes; the limit is " + std::to_string(kMaxFrameBytes) +
                         " bytes, so with a number of " + std::to_string(p.number.size()) +
                         " characters the text may have at most " + std::to_string(room / 2) +
                         " UTF-16 units");
      }
      break;
    }
    case Command::kAt: {
      p.text = FromUtf8("the string", inv.args[0]);
      if (inv.append_cr) p.text.push_back(u'\r');
      if (p.text.empty()) throw UsageError("the string is empty; nothing would be written");
      break;
    }
    default:
      break;
  }
  return p;
}

LineSettings CheckSettings(const std::string& settings) {
  try {
    const LineSettings s = line::ParseSettings(settings);
    line::CheckSupported(s);
    return s;
  } catch (const Error& e) {
    throw UsageError("--settings \"" + settings + "\": " + e.what());
  }
}

std::string SendWarning(const Payload& payload) {
  if (payload.number.size() <= 11) return {};
  return "the number has " + std::to_string(payload.number.size()) +
         " characters, but a delivery report names at most 11: no report can match it, so the "
         "send ends as typeCenterOK at best";
}

namespace {

// Each status of a send: its name, what it means, and the exit code it gives.
struct StatusFacts {
  enuStatus_Type status;
  const char* name;
  const char* meaning;
  int exitCode;
};
constexpr StatusFacts kStatuses[] = {
    {typeNoSend, "typeNoSend", "not sent", kExitInternal},
    {typeSendOk, "typeSendOk", "sent, no confirmation from the centre", kExitUnconfirmed},
    {typeCenterOK, "typeCenterOK", "accepted by the centre, no delivery report", kExitNoReport},
    {TypeCustError, "TypeCustError", "delivery failed", kExitFailed},
    {typeCustOK, "typeCustOK", "delivered", kExitOk},
    {typeError, "typeError", "the terminal answered ERROR", kExitRejected},
};
constexpr StatusFacts kUnknownStatus = {typeNoSend, "unknown", "unknown status", kExitInternal};

const StatusFacts& FactsOf(enuStatus_Type s) {
  for (const StatusFacts& facts : kStatuses) {
    if (facts.status == s) return facts;
  }
  return kUnknownStatus;
}

}  // namespace

const char* StatusName(enuStatus_Type s) {
  return FactsOf(s).name;
}

const char* StatusMeaning(enuStatus_Type s) {
  return FactsOf(s).meaning;
}

int ExitCodeForStatus(enuStatus_Type s) {
  return FactsOf(s).exitCode;
}

bool IsPortError(int32_t number) {
  return mobi::IsSerialError(number);
}

std::string Reporter::JsonString(std::string_view text) {
  return tools::JsonString(text);
}

std::string Reporter::JsonNumber(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  return buf;
}

void Reporter::Emit(const std::string& text, const std::vector<Field>& fields, bool to_err) {
  std::lock_guard lock(mutex_);
  if (json_) {
    std::string line = "{";
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) line += ",";
      line += JsonString(fields[i].key) + ":" + fields[i].json;
    }
    std::fprintf(out_, "%s}\n", line.c_str());
    std::fflush(out_);
  } else if (!text.empty()) {
    std::FILE* f = to_err ? err_ : out_;
    std::fprintf(f, "%s\n", text.c_str());
    std::fflush(f);
  }
}

void Reporter::Note(const std::string& text) {
  std::lock_guard lock(mutex_);
  std::fprintf(err_, "mobi: %s\n", text.c_str());
  std::fflush(err_);
}

}  // namespace mobi::cli
