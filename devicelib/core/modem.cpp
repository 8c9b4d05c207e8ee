#include "modem.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>

#include "pdu.h"
#include "text.h"

namespace smsdll {

namespace {

constexpr std::size_t kMaxNumberDigits = 20;

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The hex of a PDU line as some phones write it: with blanks or a stray
// double quote around it.
std::string_view PduHex(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '"')) line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '"')) line.remove_suffix(1);
  return line;
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

// A PDU whose message type indicator says status report, even when the rest
// of it cannot be read: reports are never taken for unreadable messages.
bool IsStatusReport(std::string_view hex) {
  auto octet = [&](std::size_t at) -> int {
    if (hex.size() < at * 2 + 2) return -1;
    int v = 0;
    for (char c : hex.substr(at * 2, 2)) {
      int d = std::isxdigit(static_cast<unsigned char>(c)) == 0 ? -1
              : c <= '9'                                        ? c - '0'
                                                                : (std::toupper(c) - 'A' + 10);
      if (d < 0) return -1;
      v = v * 16 + d;
    }
    return v;
  };
  int centre = octet(0);
  int first = centre < 0 ? -1 : octet(static_cast<std::size_t>(centre) + 1);
  return first >= 0 && (first & 0x03) == 0x02;
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
  // A modem just switched on announces itself (RDY, +CPIN: READY); that is
  // no restart of one already set up.
  (void)at_.TakeRestart();
  if (Status s = Configure(csca); !s.ok()) return s;
  // The identity is only shown by the library's form; a modem without it is fine.
  for (const char* command : {"AT+CGMI", "AT+CGMM"}) {
    if (at_.Exchange(command, timeouts_.command, reply).ok() && reply.ok() && !reply.lines.empty())
      identity_ += (identity_.empty() ? "" : " ") + reply.lines.front();
  }
  return {};
}

Status Modem::Configure(std::string_view csca) {
  AtReply reply;
  ready_ = false;
  storages_.clear();
  window_end_ = clock_.Now() + timeouts_.registration;
  if (Status s = at_.Require("ATE0", timeouts_.command, reply); !s.ok()) return s;
  if (Status s = CheckSim(); !s.ok()) return s;
  // Numeric error codes where the modem has them; their texts say more.
  (void)at_.Exchange("AT+CMEE=1", timeouts_.command, reply);
  AtReply text_reply;
  if (Status s = at_.Exchange("AT+CMGF=0", timeouts_.command, reply); !s.ok()) return s;
  pdu_ = reply.ok();
  if (!pdu_) {
    if (Status s = at_.Exchange("AT+CMGF=1", timeouts_.command, text_reply); !s.ok()) return s;
    if (!text_reply.ok())
      return {Error::kModemRefused, "the modem takes neither PDU mode (it answered " +
                                        ExplainFinal(reply.final_line) +
                                        " to AT+CMGF=0) nor text mode (" +
                                        ExplainFinal(text_reply.final_line) + " to AT+CMGF=1)"};
  }
  // The service centre is given as plain text; in PDU mode nothing else
  // depends on the character set.
  if (Status s = at_.Exchange("AT+CSCS=\"IRA\"", timeouts_.command, reply); !s.ok()) return s;
  if (!reply.ok() && !pdu_)
    return {Error::kModemRefused,
            "the modem answered " + ExplainFinal(reply.final_line) + " to AT+CSCS=\"IRA\""};
  if (!TrimSpaces(csca).empty())
    if (Status s = SetServiceCentre(csca); !s.ok()) return s;
  return {};
}

Status Modem::Recover(bool* restarted) {
  if (!at_.TakeRestart()) return {};
  if (restarted != nullptr) *restarted = true;
  // Echo, message format, character set and service centre are back to
  // their power-on values.
  const std::string centre = csca_;
  if (Status s = Configure(centre); !s.ok())
    return {s.error(), "the modem restarted and could not be set up again: " + s.text()};
  return {};
}

namespace {

// The number of "+CMS ERROR: 331"; -1 for other answers.
int ErrorCode(const std::string& final_line, std::string_view prefix) {
  if (!final_line.starts_with(prefix)) return -1;
  std::string_view rest = TrimSpaces(std::string_view(final_line).substr(prefix.size()));
  if (!AllDigits(rest) || rest.size() > 5) return -1;
  return std::stoi(std::string(rest));
}

}  // namespace

Status Modem::WaitUntilReady() {
  if (ready_) return {};
  const Millis deadline = clock_.Now() + timeouts_.registration;
  bool registered = false;
  bool centre = !csca_.empty();
  for (;;) {
    if (Status s = Recover(); !s.ok()) return s;
    AtReply reply;
    if (!registered) {
      if (Status s = at_.Exchange("AT+CREG?", timeouts_.command, reply); !s.ok()) return s;
      // A bare ERROR: a modem without AT+CREG, taken as registered.
      registered = reply.final == AtReply::Final::kError;
      if (reply.ok()) {
        auto line = std::find_if(reply.lines.begin(), reply.lines.end(), [](const auto& l) {
          return l.starts_with("+CREG:") && SplitFields(l).size() >= 2;
        });
        if (line == reply.lines.end()) {
          registered = true;
        } else {
          std::string stat = SplitFields(*line)[1];
          registered = stat == "1" || stat == "5";  // home network, roaming
        }
      }
    }
    if (registered && !centre) {
      if (Status s = at_.Exchange("AT+CSCA?", timeouts_.command, reply); !s.ok()) return s;
      const std::string* line = reply.Find("+CSCA:");
      centre = reply.final == AtReply::Final::kError ||  // a modem without AT+CSCA?
               (reply.ok() && line != nullptr && !SplitFields(*line).front().empty());
    }
    // After the bound the message goes anyway; the modem's answer says why
    // it cannot go, if it cannot.
    if ((registered && centre) || clock_.Now() >= deadline) {
      ready_ = true;
      return {};
    }
    if (Status s = at_.Pause(std::min(timeouts_.poll, deadline - clock_.Now())); !s.ok()) return s;
  }
}

bool Modem::Passing(const AtReply& reply) const {
  const int cms = ErrorCode(reply.final_line, "+CMS ERROR:");
  const int cme = ErrorCode(reply.final_line, "+CME ERROR:");
  return reply.final == AtReply::Final::kError || cms == 500 || cme == 515 ||
         ((cms == 330 || cms == 331) && clock_.Now() < window_end_);
}

Status Modem::SubmitPart(const std::string& command, const std::string& body,
                         const std::vector<std::string>& setup) {
  for (int attempt = 0;; ++attempt) {
    AtReply reply;
    // A modem that never prompted gets the text without a prompt on the
    // last attempt: some take it that way.
    const bool last = attempt >= timeouts_.retries;
    Status s = at_.Submit(command, body, timeouts_.prompt, timeouts_.submit, reply, last);
    // Once the modem gave a message reference the part is out, with or
    // without its final OK: it is never sent a second time.
    if (s.ok() || reply.Find("+CMGS:") != nullptr) return {};
    if (last) return s;
    // Nothing of the text went without a prompt, so asking again is safe.
    const bool unprompted = s.error() == Error::kNoAnswer && !reply.prompted;
    if (!unprompted && (s.error() != Error::kModemRefused || !Passing(reply))) return s;
    if (!unprompted)
      if (Status p = at_.Pause(timeouts_.retry_pause); !p.ok()) return p;
    bool restarted = false;
    if (Status r = Recover(&restarted); !r.ok()) return r;
    if (restarted) {
      for (const auto& c : setup)
        if (Status r = at_.Require(c, timeouts_.command, reply); !r.ok()) return r;
    }
  }
}

Status Modem::RequirePassing(const std::string& command, Millis timeout, AtReply& reply) {
  for (int attempt = 0;; ++attempt) {
    Status s = at_.Require(command, timeout, reply);
    if (s.ok() || s.error() != Error::kModemRefused || attempt >= timeouts_.retries ||
        !Passing(reply))
      return s;
    if (Status p = at_.Pause(timeouts_.retry_pause); !p.ok()) return p;
  }
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

  const bool automatic = mode == static_cast<int32_t>(SendMode::kAutomatic);
  // GSM 7-bit: in PDU mode its whole alphabet with the extension table; in
  // text mode the characters it shares with ASCII, which the IRA character
  // set carries.
  bool gsm = automatic && (pdu_ ? pdu::ToGsm7(*text).has_value()
                                : std::all_of(text->begin(), text->end(), IsPlainGsm));
  std::vector<std::u16string> parts =
      pdu::Split(*text, gsm ? pdu::Coding::kGsm7 : pdu::Coding::kUcs2, kMaxSendParts);
  if (!pdu_ && gsm && parts.size() != 1) {
    // Text mode carries the concatenation header only inside UCS2 text.
    gsm = false;
    parts = pdu::Split(*text, pdu::Coding::kUcs2, kMaxSendParts);
  }
  if (parts.empty()) {
    std::size_t length = gsm ? pdu::Gsm7Length(*text) : text->size();
    return {Error::kMessageTooLong, "the message text takes " + std::to_string(length) +
                                        (gsm ? " GSM characters" : " UCS2 characters") +
                                        "; at most " + std::to_string(kMaxSendParts) +
                                        " parts of " + (gsm ? "153" : "67") + " go in one message"};
  }

  AtReply reply;
  if (Status s = Recover(); !s.ok()) return s;
  std::string_view centre = TrimSpaces(csca);
  if (!centre.empty() && centre != csca_) {
    if (Status s = at_.Require("AT+CSCS=\"IRA\"", timeouts_.command, reply); !s.ok()) return s;
    if (Status s = SetServiceCentre(centre); !s.ok()) return s;
  }
  if (Status s = WaitUntilReady(); !s.ok()) return s;
  return pdu_ ? SendPdu(parts, gsm, destination) : SendText(parts, gsm, destination);
}

namespace {

// "part 2 of 3: ..." for a long message, the bare text for one part; and
// which parts went out before.
Status PartFailed(Status s, std::size_t k, std::size_t total) {
  if (total == 1) return s;
  std::string text =
      "part " + std::to_string(k + 1) + " of " + std::to_string(total) + ": " + s.text();
  if (k > 0)
    text += " (part" + std::string(k > 1 ? "s 1-" : " ") + std::to_string(k) + " went out)";
  return {s.error(), text};
}

}  // namespace

Status Modem::SendPdu(const std::vector<std::u16string>& parts, bool gsm, std::string_view number) {
  const int reference = next_reference_;
  if (parts.size() > 1) next_reference_ = next_reference_ % 255 + 1;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    pdu::Message m;
    m.type = pdu::Type::kSubmit;
    m.number = std::string(number);
    m.coding = gsm ? pdu::Coding::kGsm7 : pdu::Coding::kUcs2;
    m.text = parts[k];
    if (parts.size() > 1)
      m.concat =
          pdu::Concat{reference, static_cast<int>(parts.size()), static_cast<int>(k + 1), false};
    pdu::Encoded e;
    std::string why;
    if (!pdu::Encode(m, e, why)) return {Error::kInvalidArgument, why};
    Status s = SubmitPart("AT+CMGS=" + std::to_string(e.tpdu_length), e.hex);
    if (!s.ok()) return PartFailed(s, k, parts.size());
  }
  return {};
}

Status Modem::SendText(const std::vector<std::u16string>& parts, bool gsm,
                       std::string_view number) {
  AtReply reply;
  if (gsm) {  // one part, all ASCII
    for (const char* command : {"AT+CSCS=\"IRA\"", "AT+CSMP=17,167,0,0"})
      if (Status s = at_.Require(command, timeouts_.command, reply); !s.ok()) return s;
    std::string body(parts[0].begin(), parts[0].end());
    return SubmitPart("AT+CMGS=" + Quoted(number), body, {"AT+CSCS=\"IRA\"", "AT+CSMP=17,167,0,0"});
  }
  // A long message: the first octet says a header comes first, and the
  // header's six octets go as the first three UCS2 characters of the text.
  const bool concatenated = parts.size() > 1;
  const char* parameters = concatenated ? "AT+CSMP=81,167,0,8" : "AT+CSMP=17,167,0,8";
  for (const char* command : {parameters, "AT+CSCS=\"UCS2\""})
    if (Status s = at_.Require(command, timeouts_.command, reply); !s.ok()) return s;
  const int reference = next_reference_;
  if (concatenated) next_reference_ = next_reference_ % 255 + 1;
  std::u16string wide_number(number.begin(), number.end());
  Status sent;
  for (std::size_t k = 0; k < parts.size() && sent.ok(); ++k) {
    std::string body;
    if (concatenated) {
      std::u16string header = {0x0500, static_cast<char16_t>(0x0300 | reference),
                               static_cast<char16_t>(parts.size() << 8 | (k + 1))};
      body = Ucs2HexEncode(header);
    }
    body += Ucs2HexEncode(parts[k]);
    sent = SubmitPart("AT+CMGS=" + Quoted(Ucs2HexEncode(wide_number)), body,
                      {parameters, "AT+CSCS=\"UCS2\""});
    if (!sent.ok()) sent = PartFailed(sent, k, parts.size());
  }
  // Back to IRA (and single messages) for whoever uses the modem next; every
  // operation here sets its own parameters first, so a failure of this step
  // is no failure of the message, which has gone (or not) already.
  AtReply ignored;
  if (concatenated) (void)at_.Exchange("AT+CSMP=17,167,0,8", timeouts_.command, ignored);
  (void)at_.Exchange("AT+CSCS=\"IRA\"", timeouts_.command, ignored);
  return sent;
}

std::string Modem::FetchTime() {
  LocalTime t = clock_.LocalNow();
  return std::to_string(t.year) + "-" + TwoDigits(t.month) + "-" + TwoDigits(t.day) + " " +
         TwoDigits(t.hour) + ":" + TwoDigits(t.minute) + ":" + TwoDigits(t.second);
}

const std::vector<std::string>& Modem::Storages() {
  if (!storages_.empty()) return storages_;
  // +CPMS: ("SM","ME","SR"),(...),(...): the first list is where messages
  // are read from. SR holds status reports, not messages; MT is SM and ME
  // together, read only when they are not offered one by one.
  std::vector<std::string> offered;
  AtReply reply;
  if (at_.Exchange("AT+CPMS=?", timeouts_.command, reply).ok() && reply.ok()) {
    if (const std::string* line = reply.Find("+CPMS:")) {
      auto open = line->find('(');
      auto close = line->find(')', open);
      if (open != std::string::npos && close != std::string::npos)
        offered = SplitFields(":" + line->substr(open + 1, close - open - 1));
    }
  }
  auto has = [&](const char* name) {
    return std::find(offered.begin(), offered.end(), name) != offered.end();
  };
  for (const char* name : {"SM", "ME"})
    if (has(name)) storages_.push_back(name);
  if (has("MT") && storages_.size() < 2) storages_ = {"MT"};
  if (storages_.empty()) storages_ = {""};  // whatever the modem reads from
  return storages_;
}

Status Modem::Fetch(FetchedMessage& out) {
  out = FetchedMessage{};
  if (Status s = Recover(); !s.ok()) return s;
  AtReply reply;
  // Storage names and the listing go as plain text.
  if (!pdu_)
    if (Status s = at_.Require("AT+CSCS=\"IRA\"", timeouts_.command, reply); !s.ok()) return s;
  // The lowest message of each storage in turn; an incomplete or unreadable
  // one is reported only when no storage has a whole message.
  Status kept{Error::kInboxEmpty, "no received message is stored in the modem"};
  const std::vector<std::string> storages = Storages();
  for (const std::string& storage : storages) {
    if (!storage.empty()) {
      if (Status s = at_.Exchange("AT+CPMS=\"" + storage + "\"", timeouts_.command, reply); !s.ok())
        return s;
      if (!reply.ok()) continue;  // offered but not usable now
    }
    Status s = pdu_ ? FetchPdu(out) : FetchText(out);
    if (s.ok()) return s;
    if (s.error() != Error::kInboxEmpty && s.error() != Error::kIncompleteMessage &&
        s.error() != Error::kUnexpectedReply)
      return s;
    if (kept.error() == Error::kInboxEmpty ||
        (kept.error() == Error::kUnexpectedReply && s.error() == Error::kIncompleteMessage))
      kept = s;
  }
  out = FetchedMessage{};
  return kept;
}

Status Modem::FetchPdu(FetchedMessage& out) {
  AtReply reply;
  if (Status s = RequirePassing("AT+CMGL=4", timeouts_.list, reply); !s.ok()) return s;
  struct Stored {
    long index;
    pdu::Message message;
  };
  std::vector<Stored> received;
  std::string unreadable;
  for (std::size_t i = 0; i + 1 < reply.lines.size(); ++i) {
    if (!reply.lines[i].starts_with("+CMGL:")) continue;
    auto fields = SplitFields(reply.lines[i]);
    if (fields.size() < 2 || !AllDigits(fields[0]) || fields[0].size() > 6) continue;
    if (fields[1] != "0" && fields[1] != "1") continue;  // stored outgoing ones
    Stored m{std::stol(fields[0]), {}};
    std::string why;
    std::string hex(PduHex(reply.lines[i + 1]));
    // <length> counts the octets after the service centre: a PDU of exactly
    // that length was listed without its centre (some modems do).
    if (fields.size() >= 4 && AllDigits(fields[3]) && fields[3].size() <= 3 &&
        hex.size() == 2 * std::stoul(fields[3]))
      hex.insert(0, "00");
    if (!pdu::Decode(hex, false, m.message, why)) {
      if (IsStatusReport(hex)) continue;  // left alone, as below
      if (unreadable.empty()) unreadable = "message " + fields[0] + " cannot be read: " + why;
    } else if (m.message.type == pdu::Type::kDeliver) {
      received.push_back(std::move(m));
    }  // a status report is not a received message: it stays where it is
  }
  if (received.empty()) {
    if (!unreadable.empty()) return {Error::kUnexpectedReply, unreadable};
    return {Error::kInboxEmpty, "no received message is stored in the modem"};
  }
  std::sort(received.begin(), received.end(),
            [](const Stored& a, const Stored& b) { return a.index < b.index; });

  // The lowest message that is whole: a single one, or every part of one
  // (in any order of arrival; a part stored twice is deleted with it).
  std::vector<const Stored*> chosen;
  std::vector<const Stored*> duplicates;
  std::string incomplete;
  for (const Stored& first : received) {
    const auto& c = first.message.concat;
    if (!c || c->total == 1) {
      chosen = {&first};
      break;
    }
    std::vector<const Stored*> parts(c->total, nullptr);
    std::vector<const Stored*> again;
    for (const Stored& other : received) {
      const auto& o = other.message.concat;
      if (!o || o->reference != c->reference || o->total != c->total ||
          o->wide_reference != c->wide_reference || other.message.number != first.message.number)
        continue;
      if (parts[o->part - 1] == nullptr)
        parts[o->part - 1] = &other;
      else
        again.push_back(&other);
    }
    auto have = std::count_if(parts.begin(), parts.end(), [](auto* p) { return p != nullptr; });
    if (have == c->total) {
      chosen = parts;
      duplicates = again;
      break;
    }
    if (incomplete.empty())
      incomplete = "only " + std::to_string(have) + " of the " + std::to_string(c->total) +
                   " parts of a message from " + first.message.number +
                   " are stored; the others have not arrived";
  }
  if (chosen.empty()) return {Error::kIncompleteMessage, incomplete};

  // 8-bit data is no text: it comes as hex, two digits a byte, so nothing
  // is lost on the way through GBK.
  std::u16string text;
  for (const Stored* part : chosen) {
    if (part->message.coding == pdu::Coding::kEightBit) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      for (char c : part->message.data) {
        text += static_cast<char16_t>(kHex[static_cast<unsigned char>(c) >> 4]);
        text += static_cast<char16_t>(kHex[static_cast<unsigned char>(c) & 0xF]);
      }
    } else {
      text += part->message.text;
    }
  }
  const pdu::Message& head = chosen.front()->message;
  out.text = codec_.Utf16ToGbk(text);
  out.sender = codec_.Utf16ToGbk(std::u16string(head.number.begin(), head.number.end()));
  out.sent_time = FormatServiceCentreTime(head.time);
  out.fetched_time = FetchTime();
  chosen.insert(chosen.end(), duplicates.begin(), duplicates.end());
  for (const Stored* part : chosen) {
    const std::string erase = "AT+CMGD=" + std::to_string(part->index);
    if (Status s = at_.Require(erase, timeouts_.command, reply); !s.ok())
      return {s.error(), "the message was read but not deleted: " + s.text()};
  }
  return {};
}

Status Modem::FetchText(FetchedMessage& out) {
  AtReply reply;
  if (Status s = RequirePassing("AT+CMGL=\"ALL\"", timeouts_.list, reply); !s.ok()) return s;
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
  // (or a data message it shows as bytes) is taken as it came. A sender is
  // digits or, alphanumeric, printable ASCII ("1008" plain is no U+1008).
  auto number = Ucs2HexDecode(fields[1]);
  bool number_ok =
      number && !number->empty() &&
      std::all_of(number->begin(), number->end(), [](char16_t c) { return c >= 0x20 && c < 0x7F; });
  out.sender = number_ok ? codec_.Utf16ToGbk(*number) : fields[1];
  auto text = Ucs2HexDecode(body);
  out.text = text ? codec_.Utf16ToGbk(*text) : body;
  out.sent_time = FormatServiceCentreTime(fields[3]);
  out.fetched_time = FetchTime();

  const std::string erase = "AT+CMGD=" + std::to_string(*index);
  if (Status s = at_.Require(erase, timeouts_.command, reply); !s.ok())
    return {s.error(), "the message was read but not deleted: " + s.text()};
  return {};
}

}  // namespace smsdll
