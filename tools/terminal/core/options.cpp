#include "terminal/core/options.h"

#include <charconv>
#include <climits>

namespace mobi::terminal {

namespace {

long ParseNumber(const std::string& option, const std::string& value, long min, long max) {
  long n = 0;
  const char* end = value.data() + value.size();
  const auto [ptr, ec] = std::from_chars(value.data(), end, n);
  if (value.empty() || ec != std::errc() || ptr != end || n < min || n > max)
    throw OptionError(option + ": expected a whole number from " + std::to_string(min) + " to " +
                      std::to_string(max) + ", got \"" + value + "\"");
  return n;
}

Millis ParseMillis(const std::string& option, const std::string& value) {
  return Millis(ParseNumber(option, value, 0, 600'000));
}

Bytes ParseHex(const std::string& option, const std::string& hex) {
  Bytes out;
  std::string digits;
  for (char c : hex)
    if (c != ' ' && c != ',') digits.push_back(c);
  if (digits.empty() || digits.size() % 2 != 0)
    throw OptionError(option + ": expected pairs of hex digits such as FF or AA01, got \"" + hex +
                      "\"");
  for (size_t i = 0; i < digits.size(); i += 2) {
    unsigned v = 0;
    const auto [ptr, ec] = std::from_chars(digits.data() + i, digits.data() + i + 2, v, 16);
    if (ec != std::errc() || ptr != digits.data() + i + 2)
      throw OptionError(option + ": \"" + hex + "\" is not hex");
    out.push_back(static_cast<uint8_t>(v));
  }
  return out;
}

// "split", "stray:AA", "drop@2", "glue@1,3-4".
FaultRule ParseFault(const std::string& option, const std::string& text) {
  FaultRule rule;
  std::string head = text;
  std::string which;
  if (const size_t at = text.find('@'); at != std::string::npos) {
    head = text.substr(0, at);
    which = text.substr(at + 1);
  }
  std::string arg;
  if (const size_t colon = head.find(':'); colon != std::string::npos) {
    arg = head.substr(colon + 1);
    head.resize(colon);
  }
  if (head == "split")
    rule.kind = FaultRule::Kind::kSplit;
  else if (head == "glue")
    rule.kind = FaultRule::Kind::kGlue;
  else if (head == "stray")
    rule.kind = FaultRule::Kind::kStray;
  else if (head == "drop")
    rule.kind = FaultRule::Kind::kDrop;
  else if (head == "hangup")
    rule.kind = FaultRule::Kind::kHangup;
  else
    throw OptionError(option + ": unknown fault \"" + head +
                      "\" (known: split, glue, stray[:HEX], drop, hangup)");
  if (!arg.empty()) {
    if (rule.kind != FaultRule::Kind::kStray)
      throw OptionError(option + ": only the stray fault takes a value (stray:HEX)");
    rule.stray = ParseHex(option, arg);
  }
  size_t pos = 0;
  while (!which.empty() && pos <= which.size()) {
    size_t comma = which.find(',', pos);
    if (comma == std::string::npos) comma = which.size();
    const std::string item = which.substr(pos, comma - pos);
    const size_t dash = item.find('-');
    const long first = ParseNumber(option + " reply", item.substr(0, dash), 1, INT_MAX);
    const long last =
        dash == std::string::npos
            ? first
            : ParseNumber(option + " reply", item.substr(dash + 1), first, first + 10000);
    for (long n = first; n <= last; ++n) rule.replies.insert(static_cast<int>(n));
    pos = comma + 1;
  }
  return rule;
}

}  // namespace

std::vector<cmdline::Option> TerminalOptions(TerminalConfig& c) {
  using cmdline::Flag;
  using cmdline::Value;
  auto millis = [](const char* name, Millis& target) {
    return Value(name, 0, [name, &target](const std::string& v) {
      target = ParseMillis(std::string("--") + name, v);
    });
  };
  return {
      Value("level", 0,
            [&c](const std::string& v) {
              c.level = static_cast<uint8_t>(ParseNumber("--level", v, 0, 255));
            }),
      Value("check-text", 0, [&c](const std::string& v) { c.check_text = v; }),
      millis("reply-delay", c.reply_delay),
      millis("centre-delay", c.centre_delay),
      millis("report-delay", c.report_delay),
      // The same in seconds, for a report that comes late (a real network's
      // takes seconds to minutes): "--report-after 20".
      Value("report-after", 0,
            [&c](const std::string& v) {
              double seconds = -1;
              const auto [end, ec] = std::from_chars(v.data(), v.data() + v.size(), seconds);
              if (ec != std::errc() || end != v.data() + v.size() || !(seconds >= 0) ||
                  seconds > 600)
                throw OptionError("--report-after: \"" + v +
                                  "\" is not a number of seconds from 0 to 600");
              c.report_delay = Millis(static_cast<long>(seconds * 1000 + 0.5));
            }),
      Value("fail", 0, [&c](const std::string& v) { c.fail_numbers.insert(v); }),
      Value("error", 0, [&c](const std::string& v) { c.error_numbers.insert(v); }),
      Flag("silent", 0, [&c] { c.silent = true; }),
      Flag("no-report", 0, [&c] { c.no_report = true; }),
      Value("error-text", 0, [&c](const std::string& v) { c.error_texts.push_back(v); }),
      Value("unknown-type", 0,
            [&c](const std::string& v) {
              const long t = ParseNumber("--unknown-type", v, 0, 255);
              if (t == kReplyError || t == kReplyStatus || t == kReplyText || t == kReplyLevel)
                throw OptionError("--unknown-type: type " + std::to_string(t) +
                                  " has a meaning (0, 1, 9 and 20 do); choose another, such as 3 "
                                  "or 5");
              c.unknown_type = static_cast<uint8_t>(t);
            }),
      Flag("pace", 0, [&c] { c.pace = true; }),
      Value("baud", 0,
            [&c](const std::string& v) {
              c.baud = static_cast<int>(ParseNumber("--baud", v, 50, 4'000'000));
            }),
      Value("fault", 0,
            [&c](const std::string& v) { c.faults.push_back(ParseFault("--fault", v)); }),
      millis("fault-pause", c.fault_pause),
      Value("input-gap", 0,
            [&c](const std::string& v) {
              c.input_gap = Millis(ParseNumber("--input-gap", v, 1, 1000));
            }),
  };
}

std::vector<std::string> ParseTerminalOptions(const std::vector<std::string>& args,
                                              TerminalConfig& config) {
  return cmdline::Parse(args, TerminalOptions(config));
}

std::vector<std::string> SplitArguments(const std::string& line) {
  std::vector<std::string> out;
  std::string cur;
  bool in_arg = false;
  char quote = 0;
  for (char ch : line) {
    if (quote) {
      if (ch == quote)
        quote = 0;
      else
        cur.push_back(ch);
    } else if (ch == '\'' || ch == '"') {
      quote = ch;
      in_arg = true;
    } else if (ch == ' ' || ch == '\t' || ch == '\n') {
      if (in_arg) out.push_back(cur), cur.clear(), in_arg = false;
    } else {
      cur.push_back(ch);
      in_arg = true;
    }
  }
  if (quote) throw OptionError(std::string("unbalanced ") + quote + " in \"" + line + "\"");
  if (in_arg) out.push_back(cur);
  return out;
}

const char* TerminalOptionsHelp() {
  return R"(  --level N            MobiSignal answer, 0-255 (default 23)
  --check-text TEXT    MobiCheck answer, type 9 (default "MOBI-SIM READY")
  --reply-delay MS     request to first reply, and between error texts (default 20)
  --centre-delay MS    "OK" to "SEND OK" (default 100)
  --report-delay MS    "SEND OK" to the delivery report (default 300)
  --report-after S     the same in seconds (decimals allowed), for a report that
                       comes after SendSMS gave up waiting: --report-after 20
  --fail NUMBER        sends to NUMBER get "FAILURE"+NUMBER (repeatable)
  --error NUMBER       sends to NUMBER get type 1 "ERROR", a centre NUMBER
                       gets type 9 "ERROR" (repeatable)
  --silent             answer nothing at all
  --no-report          sends get "OK" and "SEND OK" but no delivery report
  --error-text TEXT    a type 0 error text during every send, after "OK" (repeatable)
  --unknown-type T     a reply of type T (not 0, 1, 9, 20) before every answer
  --pace               send bytes at the line rate of --baud (10 bits per byte)
  --baud N             line rate for --pace (default 9600)
  --fault RULE         inject a fault into replies (repeatable); RULE is
                       KIND[@LIST], LIST the reply numbers (1, 2, ... over
                       the whole run; "2,4-5"), every reply if omitted:
                         split       reply in two writes, --fault-pause apart
                         glue        reply held back, written with the next one
                         stray[:HEX] stray bytes (default FF) alone, then the reply
                         drop        reply never sent
                         hangup      hang up the line instead of the reply
  --fault-pause MS     pause of split and stray (default 20)
  --input-gap MS       quiet line that ends a request with a payload (default 5)
)";
}

}  // namespace mobi::terminal
