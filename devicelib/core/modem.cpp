#include "modem.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "text.h"

namespace smsdll {

namespace {

constexpr std::size_t kMaxGsmSeptets = 160;
constexpr std::size_t kMaxUcs2Units = 70;
constexpr std::size_t kMaxNumberDigits = 20;

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsPhoneNumber(std::string_view n) {
  if (!n.empty() && n.front() == '+') n.remove_prefix(1);
  if (n.empty() || n.size() > kMaxNumberDigits) return false;
  return std::all_of(n.begin(), n.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '*' || c == '#'; });
}

// Characters of the GSM default alphabet that ASCII shares, one septet each
// (the backquote is missing from it).
bool IsPlainGsm(char16_t c) {
  return c >= 0x20 && c <= 0x7E && c != '`';
}
// Characters that take an escape septet and one more.
bool IsGsmExtension(char16_t c) {
  return c == '^' || c == '{' || c == '}' || c == '\\' || c == '[' || c == ']' || c == '~' ||
         c == '|';
}

std::string Quoted(std::string_view s) {
  std::string quoted(1, '"');
  quoted.append(s);
  quoted += '"';
  return quoted;
}

std::string TwoDigits(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::vector<std::string> SplitFields(std::string_view line) {
  std::vector<std::string> fields;
  auto colon = line.find(':');
  std::string_view rest = colon == std::string_view::npos ? line : line.substr(colon + 1);
  std::string field;
  bool quoted = false;
  for (char c : rest) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.push_back(std::string(TrimSpaces(field)));
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(std::string(TrimSpaces(field)));
  return fields;
}

std::string FormatServiceCentreTime(std::string_view scts) {
  // yy/MM/dd,hh:mm:ss+zz with zz in quarter hours
  if (scts.size() != 20 || scts[2] != '/' || scts[5] != '/' || scts[8] != ',' || scts[11] != ':' ||
      scts[14] != ':' || (scts[17] != '+' && scts[17] != '-'))
    return std::string(scts);
  for (std::size_t i : {0u, 3u, 6u, 9u, 12u, 15u, 18u})
    if (!AllDigits(scts.substr(i, 2))) return std::string(scts);
  int quarters = std::stoi(std::string(scts.substr(18, 2)));
  return "20" + std::string(scts.substr(0, 2)) + "-" + std::string(scts.substr(3, 2)) + "-" +
         std::string(scts.substr(6, 2)) + " " + std::string(scts.substr(9, 8)) + " " + scts[17] +
         TwoDigits(quarters / 4) + ":" + TwoDigits(quarters % 4 * 15);
}

Modem::Modem(std::unique_ptr<SerialPort> port, Clock& clock, Codec& codec, ModemTimeouts timeouts)
    : port_(std::move(port)),
      clock_(clock),
      codec_(codec),
      timeouts_(timeouts),
      at_(*port_, clock) {}

Status Modem::Start(std::string_view csca) {
  AtReply reply;
  bool answered = false;
  for (int attempt = 0; attempt < timeouts_.probe_attempts && !answered; ++attempt) {
    Status s = at_.Exchange("AT", timeouts_.probe, reply);
    if (!s.ok() && s.error() != Error::kNoAnswer) return s;
    answered = s.ok() && reply.ok();
  }
  if (!answered)
    return {Error::kNoAnswer, "no modem answers on this port: \"AT\" got no OK in " +
                                  std::to_string(timeouts_.probe_attempts) + " tries of " +
                                  std::to_string(timeouts_.probe.count()) + " ms"};
  if (Status s = at_.Require("ATE0", timeouts_.command, reply); !s.ok()) return s;
  if (Status s = CheckSim(); !s.ok()) return s;
  for (const char* command : {"AT+CMGF=1", "AT+CSCS=\"IRA\""})
    if (Status s = at_.Require(command, timeouts_.command, reply); !s.ok()) return s;
  if (!TrimSpaces(csca).empty())
    if (Status s = SetServiceCentre(csca); !s.ok()) return s;
  // The identity is only shown by the library's form; a modem without it is fine.
  for (const char* command : {"AT+CGMI", "AT+CGMM"}) {
    if (at_.Exchange(command, timeouts_.command, reply).ok() && reply.ok() && !reply.lines.empty())
      identity_ += (identity_.empty() ? "" : " ") + reply.lines.front();
  }
  return {};
}

Status Modem::CheckSim() {
  AtReply reply;
  if (Status s = at_.Exchange("AT+CPIN?", timeouts_.command, reply); !s.ok()) return s;
  if (reply.final == AtReply::Final::kCmeError)  // no SIM, SIM failure, ...
    return {Error::kModemRefused, "the SIM card is not usable: the modem answered " +
                                      ExplainFinal(reply.final_line) + " to AT+CPIN?"};
  const std::string* state = reply.Find("+CPIN:");
  if (!reply.ok() || state == nullptr) return {};  // a modem without AT+CPIN
  std::string_view value = TrimSpaces(std::string_view(*state).substr(6));
  if (value == "READY") return {};
  return {Error::kModemRefused,
          "the SIM card is locked (" + std::string(value) + "): unlock it with AT+CPIN first"};
}

Status Modem::SetServiceCentre(std::string_view csca) {
  std::string_view number = TrimSpaces(csca);
  if (!IsPhoneNumber(number))
    return {Error::kInvalidArgument,
            "the service centre \"" + std::string(csca) + "\" is not a phone number"};
  std::string command = "AT+CSCA=" + Quoted(number);
  if (number.front() == '+') command += ",145";
  AtReply reply;
  if (Status s = at_.Require(command, timeouts_.command, reply); !s.ok()) return s;
  csca_ = std::string(number);
  return {};
}

Status Modem::Send(std::string_view csca, std::string_view text_gbk, std::string_view number,
                   int32_t mode) {
  if (mode != static_cast<int32_t>(SendMode::kAutomatic) &&
      mode != static_cast<int32_t>(SendMode::kUnicode))
    return {Error::kInvalidArgument,
            "mode " + std::to_string(mode) + " is not known (1 = automatic, 2 = always Unicode)"};
  std::string_view destination = TrimSpaces(number);
  if (!IsPhoneNumber(destination))
    return {Error::kInvalidArgument,
            "the destination \"" + std::string(number) +
                "\" is not a phone number (up to 20 digits with an optional leading +)"};
  std::optional<std::u16string> text = codec_.GbkToUtf16(text_gbk);
  if (!text) return {Error::kTextEncoding, "the message text is not valid GBK"};

  bool plain = mode == static_cast<int32_t>(SendMode::kAutomatic) &&
               std::all_of(text->begin(), text->end(), IsPlainGsm);
  std::size_t length = text->size();
  if (plain) length += std::count_if(text->begin(), text->end(), IsGsmExtension);
  std::size_t limit = plain ? kMaxGsmSeptets : kMaxUcs2Units;
  if (length > limit)
    return {Error::kMessageTooLong, "the message text takes " + std::to_string(length) +
                                        (plain ? " GSM characters" : " UCS2 characters") +
                                        "; one message holds at most " + std::to_string(limit)};

  AtReply reply;
  std::string_view centre = TrimSpaces(csca);
  if (!centre.empty() && centre != csca_) {
    if (Status s = at_.Require("AT+CSCS=\"IRA\"", timeouts_.command, reply); !s.ok()) return s;
    if (Status s = SetServiceCentre(centre); !s.ok()) return s;
  }
  if (plain) {
    for (const char* command : {"AT+CSCS=\"IRA\"", "AT+CSMP=17,167,0,0"})
      if (Status s = at_.Require(command, timeouts_.command, reply); !s.ok()) return s;
    std::string body(text->begin(), text->end());  // all ASCII
    return at_.Submit("AT+CMGS=" + Quoted(destination), body, timeouts_.prompt, timeouts_.submit,
                      reply);
  }
  for (const char* command : {"AT+CSMP=17,167,0,8", "AT+CSCS=\"UCS2\""})
    if (Status s = at_.Require(command, timeouts_.command, reply); !s.ok()) return s;
  std::u16string wide_number(destination.begin(), destination.end());
  Status sent = at_.Submit("AT+CMGS=" + Quoted(Ucs2HexEncode(wide_number)), Ucs2HexEncode(*text),
                           timeouts_.prompt, timeouts_.submit, reply);
  // Back to IRA for whoever uses the modem next; every operation here sets
  // its own character set first, so a failure of this step is no failure of
  // the message, which has gone (or not) already.
  AtReply ignored;
  (void)at_.Exchange("AT+CSCS=\"IRA\"", timeouts_.command, ignored);
  return sent;
}

Status Modem::Fetch(FetchedMessage& out) {
  out = FetchedMessage{};
  AtReply reply;
  if (Status s = at_.Require("AT+CSCS=\"IRA\"", timeouts_.command, reply); !s.ok()) return s;
  if (Status s = at_.Require("AT+CMGL=\"ALL\"", timeouts_.list, reply); !s.ok()) return s;
  std::optional<long> index;
  for (const auto& line : reply.lines) {
    if (!line.starts_with("+CMGL:")) continue;
    auto fields = SplitFields(line);
    if (fields.size() < 2 || !AllDigits(fields[0]) || fields[0].size() > 6) continue;
    if (fields[1] != "REC UNREAD" && fields[1] != "REC READ") continue;  // stored outgoing ones
    long i = std::stol(fields[0]);
    if (!index || i < *index) index = i;
  }
  if (!index) return {Error::kInboxEmpty, "no received message is stored in the modem"};

  const std::string read = "AT+CMGR=" + std::to_string(*index);
  if (Status s = at_.Require("AT+CSCS=\"UCS2\"", timeouts_.command, reply); !s.ok()) return s;
  Status got = at_.Require(read, timeouts_.list, reply);
  AtReply ignored;
  (void)at_.Exchange("AT+CSCS=\"IRA\"", timeouts_.command, ignored);  // as after a send
  if (!got.ok()) return got;

  auto header = std::find_if(reply.lines.begin(), reply.lines.end(),
                             [](const std::string& l) { return l.starts_with("+CMGR:"); });
  if (header == reply.lines.end())
    return {Error::kUnexpectedReply, "the modem answered " + read + " without a +CMGR line"};
  auto fields = SplitFields(*header);
  if (fields.size() < 4)
    return {Error::kUnexpectedReply,
            "the +CMGR line of message " + std::to_string(*index) + " has too few fields"};
  std::string body;
  for (auto it = header + 1; it != reply.lines.end(); ++it)
    body += (body.empty() ? "" : "\n") + *it;

  // In UCS2 mode numbers and texts come as hex; a modem that left one plain
  // (or a data message it shows as bytes) is taken as it came.
  auto number = Ucs2HexDecode(fields[1]);
  bool number_ok =
      number && !number->empty() && std::all_of(number->begin(), number->end(), [](char16_t c) {
        return (c >= '0' && c <= '9') || c == '+' || c == '*' || c == '#';
      });
  out.sender = number_ok ? codec_.Utf16ToGbk(*number) : fields[1];
  auto text = Ucs2HexDecode(body);
  out.text = text ? codec_.Utf16ToGbk(*text) : body;
  out.sent_time = FormatServiceCentreTime(fields[3]);
  LocalTime t = clock_.LocalNow();
  out.fetched_time = std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) +
                     " " + TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" +
                     TwoDigits(t.second);

  const std::string erase = "AT+CMGD=" + std::to_string(*index);
  if (Status s = at_.Require(erase, timeouts_.command, reply); !s.ok())
    return {s.error(), "the message was read but not deleted: " + s.text()};
  return {};
}

}  // namespace smsdll
