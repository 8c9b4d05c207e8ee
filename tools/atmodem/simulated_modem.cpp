#include "simulated_modem.h"

#include <algorithm>
#include <cctype>

#include "text.h"

namespace atmodem {

namespace {

constexpr char kCtrlZ = '\x1A';
constexpr char kEsc = '\x1B';
constexpr std::size_t kMaxLine = 1024;
constexpr std::size_t kMaxGsmSeptets = 160;
constexpr std::size_t kMaxUcs2Units = 70;

struct Param {
  std::string value;
  bool quoted = false;
};

// "17,167,\"a,b\"" -> 17 | 167 | a,b
std::vector<Param> SplitParams(std::string_view s) {
  std::vector<Param> params(1);
  bool in_quotes = false;
  for (char c : s) {
    if (c == '"') {
      in_quotes = !in_quotes;
      params.back().quoted = true;
    } else if (c == ',' && !in_quotes) {
      params.emplace_back();
    } else if (in_quotes || c != ' ') {
      params.back().value += c;
    }
  }
  return params;
}

std::optional<int> Number(const std::string& s) {
  if (s.empty() || s.size() > 6 ||
      !std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return std::nullopt;
  return std::stoi(s);
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// Upper case outside quoted strings: commands are case-insensitive, their
// string parameters are not.
std::string UpperOutsideQuotes(std::string_view s) {
  std::string out;
  bool in_quotes = false;
  for (char c : s) {
    if (c == '"') in_quotes = !in_quotes;
    out += in_quotes ? c : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return out;
}

bool IsPhoneNumber(std::string_view n) {
  if (!n.empty() && n.front() == '+') n.remove_prefix(1);
  return !n.empty() && n.size() <= 20 && std::all_of(n.begin(), n.end(), [](char c) {
    return (c >= '0' && c <= '9') || c == '*' || c == '#';
  });
}

std::size_t GsmSeptets(const std::u16string& text) {
  std::size_t n = text.size();
  for (char16_t c : text)
    if (c == '^' || c == '{' || c == '}' || c == '\\' || c == '[' || c == ']' || c == '~' ||
        c == '|')
      ++n;
  return n;
}

bool StatusSelected(const std::string& wanted, const std::string& status) {
  return wanted == "ALL" || wanted == status;
}

}  // namespace

Modem::Modem(Identity identity) : identity_(std::move(identity)) {}

std::string Modem::TakeOutput() {
  std::string out;
  out.swap(output_);
  return out;
}

std::vector<StoredMessage> Modem::inbox() const {
  std::vector<StoredMessage> all;
  for (const char* memory : {"SM", "ME"})
    for (const auto& [index, message] : storage_.at(memory)) all.push_back(message);
  return all;
}

std::vector<StoredMessage> Modem::Parts(const std::string& number, const std::u16string& text,
                                        const std::string& time) {
  using smsdll::pdu::Coding;
  const Coding coding = smsdll::pdu::ToGsm7(text) ? Coding::kGsm7 : Coding::kUcs2;
  auto parts = smsdll::pdu::Split(text, coding);
  std::optional<smsdll::pdu::Concat> concat;
  if (parts.size() > 1) {
    concat = smsdll::pdu::Concat{next_concat_, static_cast<int>(parts.size()), 1, false};
    next_concat_ = next_concat_ % 255 + 1;
  }
  std::vector<StoredMessage> out;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    if (concat) concat->part = static_cast<int>(k + 1);
    out.push_back(StoredMessage{0, "REC UNREAD", number, time, std::move(parts[k]), concat});
  }
  return out;
}

void Modem::Store(const std::string& memory, StoredMessage message) {
  storage_[memory][message.index] = std::move(message);
}

std::optional<int> Modem::AddInbox(std::string number, std::u16string text, std::string time,
                                   bool read) {
  auto parts = Parts(number, text, time);
  if (parts.empty()) return std::nullopt;
  const std::size_t mark = output_.size();
  struct Settle {
    Modem* m;
    std::size_t mark;
    ~Settle() { m->Hold(mark, 0); }
  } settle{this, mark};
  for (auto& part : parts)
    if (read) part.status = "REC READ";
  if (settings_.cnmi_mode > 0 && settings_.cnmi_mt >= 2) {
    for (const auto& part : parts) output_ += Routed(part);
    return 0;
  }
  Storage& memory = Memory(2);
  std::vector<int> free;
  for (int index = 1; index <= Capacity(2) && free.size() < parts.size(); ++index)
    if (memory.count(index) == 0) free.push_back(index);
  if (free.size() < parts.size()) return std::nullopt;
  for (std::size_t k = 0; k < parts.size(); ++k) {
    parts[k].index = free[k];
    memory[free[k]] = std::move(parts[k]);
    if (settings_.cnmi_mode > 0 && settings_.cnmi_mt == 1)
      output_ += "\r\n+CMTI: \"" + settings_.memory[2] + "\"," + std::to_string(free[k]) + "\r\n";
  }
  return free.front();
}

void Modem::FailCommand(std::string command, std::string reply, int times, int skip) {
  failures_.push_back({Upper(std::move(command)), std::move(reply), times, skip});
}

void Modem::At(double time, std::function<void(Modem&)> event) {
  events_.push_back({time, std::move(event)});
}

std::optional<double> Modem::NextDue() const {
  std::optional<double> due;
  for (const auto& e : events_)
    if (!due || e.at < *due) due = e.at;
  if (!held_.empty() && (!due || held_.front().at < *due)) due = held_.front().at;
  return due;
}

void Modem::AdvanceTo(double now) {
  now_ = std::max(now_, now);
  for (;;) {
    auto due = std::min_element(events_.begin(), events_.end(),
                                [](const Event& a, const Event& b) { return a.at < b.at; });
    if (due == events_.end() || due->at > now_) break;
    auto run = std::move(due->run);
    events_.erase(due);
    const std::size_t mark = output_.size();
    run(*this);
    Hold(mark, 0);
  }
  while (!held_.empty() && held_.front().at <= now_) {
    output_ += held_.front().bytes;
    held_.pop_front();
  }
}

void Modem::Hold(std::size_t mark, double delay) {
  if (output_.size() <= mark) return;
  const bool burst = quirks.burst_gap > 0 && output_.size() - mark >= 8;
  if (delay <= 0 && held_.empty() && !burst) return;  // goes out at once
  std::string made = output_.substr(mark);
  output_.resize(mark);
  const double at = std::max(now_ + delay, held_.empty() ? now_ : held_.back().at);
  if (burst) {
    const std::size_t half = made.size() / 2;
    held_.push_back({at, made.substr(0, half)});
    held_.push_back({at + quirks.burst_gap, made.substr(half)});
  } else {
    held_.push_back({at, std::move(made)});
  }
  while (!held_.empty() && held_.front().at <= now_) {
    output_ += held_.front().bytes;
    held_.pop_front();
  }
}

void Modem::SetRegistered(bool registered) {
  if (registered && !registered_ && settings_.creg >= 1) output_ += "\r\n+CREG: 1\r\n";
  registered_ = registered;
}

void Modem::Restart() {
  settings_ = Settings{};
  line_.clear();
  entry_.clear();
  entering_ = false;
  output_ += "\r\nRDY\r\n\r\n+CPIN: READY\r\n";
}

void Modem::Interject(std::vector<std::string>& lines) {
  for (auto it = quirks.interjections.begin(); it != quirks.interjections.end(); ++it) {
    if (!current_.starts_with(it->command)) continue;
    std::string text = it->lines;
    if (it->arrival) {
      Storage& memory = Memory(2);
      int index = 1;
      while (memory.count(index) != 0) ++index;
      StoredMessage arrived = *it->arrival;
      arrived.index = index;
      memory[index] = std::move(arrived);
      if (auto at = text.find("%d"); at != std::string::npos)
        text.replace(at, 2, std::to_string(index));
    }
    const std::size_t at = std::min(it->after, lines.size());
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), text);
    if (it->times > 0 && --it->times == 0) quirks.interjections.erase(it);
    return;
  }
}

bool Modem::Matches(const std::string& command, std::string& reply) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (!command.starts_with(it->command)) continue;
    if (it->skip > 0) {
      --it->skip;
      return false;
    }
    reply = it->reply;
    if (it->times > 0 && --it->times == 0) failures_.erase(it);
    return true;
  }
  return false;
}

void Modem::Receive(std::string_view bytes) {
  for (char c : bytes) {
    if (hung_up_) return;
    const std::size_t mark = output_.size();
    next_delay_ = 0;
    ReceiveByte(c);
    Hold(mark, next_delay_);
  }
}

void Modem::ReceiveByte(char c) {
  {
    if (entering_) {
      if (settings_.echo && c != kCtrlZ && c != kEsc && c != '\r') output_ += c;
      if (c == kCtrlZ) {
        entering_ = false;
        Submit();
      } else if (c == kEsc) {
        entering_ = false;
        entry_.clear();
        Info({}, "OK");
      } else if (c == '\r') {
        entry_ += '\n';
        output_ += "\r\n> ";
      } else if (c == '\b' || c == '\x7F') {
        if (!entry_.empty()) entry_.pop_back();
      } else if (c != '\n' && entry_.size() < kMaxLine) {
        entry_ += c;
      }
      return;
    }
    if (c == kEsc || c == kCtrlZ) return;  // ends nothing outside message entry
    if (settings_.echo) output_ += c;
    if (c == '\r') {
      std::string line;
      line.swap(line_);
      ExecuteLine(line);
    } else if (c == '\b' || c == '\x7F') {
      if (!line_.empty()) line_.pop_back();
    } else if (c != '\n' && line_.size() < kMaxLine) {
      line_ += c;
    }
  }
}

void Modem::Info(std::vector<std::string> lines, const std::string& final) {
  Interject(lines);
  if (!lines.empty()) {
    output_ += "\r\n";
    for (const auto& l : lines) output_ += l + "\r\n";
  }
  output_ += "\r\n" + final + "\r\n";
}

void Modem::ExecuteLine(const std::string& raw) {
  auto first = raw.find_first_not_of(" \t");
  if (first == std::string::npos) return;
  std::string line = raw.substr(first);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  if (line.size() < 2 || Upper(line.substr(0, 2)) != "AT") return;  // modems ignore other lines
  commands_.push_back(line);
  current_.clear();
  std::string body = UpperOutsideQuotes(line.substr(2));
  std::vector<std::string> info;
  if (std::string reply; body.find_first_not_of(' ') == std::string::npos && Matches("", reply)) {
    if (!reply.empty()) Info({}, reply);
    return;
  }
  std::size_t i = 0;
  while (i < body.size()) {
    if (body[i] == ' ' || body[i] == ';') {
      ++i;
      continue;
    }
    std::string name;
    std::string args;
    if (body[i] == '+') {
      std::size_t j = i + 1;
      while (j < body.size() && std::isalnum(static_cast<unsigned char>(body[j]))) ++j;
      name = body.substr(i, j - i);
      bool in_quotes = false;
      std::size_t k = j;
      while (k < body.size() && (in_quotes || body[k] != ';')) {
        if (body[k] == '"') in_quotes = !in_quotes;
        ++k;
      }
      args = body.substr(j, k - j);
      i = k;
    } else {
      std::size_t j = i + (body[i] == '&' ? 2 : 1);
      name = body.substr(i, std::min(j, body.size()) - i);
      std::size_t k = std::min(j, body.size());
      while (k < body.size() && std::isdigit(static_cast<unsigned char>(body[k]))) ++k;
      args = body.substr(std::min(j, body.size()), k - std::min(j, body.size()));
      i = k;
    }
    std::string reply;
    current_ = name + args;
    if (Matches(name + args, reply)) {
      if (!reply.empty()) Info({}, reply);
      return;
    }
    std::string final;
    if (!Execute(name, args, info, final)) {
      Info({}, final);
      return;
    }
    if (entering_) {
      next_delay_ = quirks.prompt_delay;
      output_ += "\r\n> ";  // message entry takes the rest of the input
      return;
    }
  }
  Info(info, "OK");
}

std::string Modem::Encode(std::string_view plain) const {
  if (settings_.charset != "UCS2") return std::string(plain);
  return smsdll::Ucs2HexEncode(std::u16string(plain.begin(), plain.end()));
}

std::string Modem::EncodeText(const std::u16string& text) const {
  if (settings_.charset == "UCS2") return smsdll::Ucs2HexEncode(text);
  std::string out;
  for (char16_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

std::optional<std::string> Modem::DecodeParameter(const std::string& value) const {
  if (settings_.charset != "UCS2") return value;
  auto wide = smsdll::Ucs2HexDecode(value);
  if (!wide || !std::all_of(wide->begin(), wide->end(), [](char16_t c) { return c < 0x80; }))
    return std::nullopt;
  return std::string(wide->begin(), wide->end());
}

std::string Modem::Listing(const StoredMessage& m, bool with_index) const {
  std::string header = with_index ? "+CMGL: " + std::to_string(m.index) + "," : "+CMGR: ";
  if (m.report_reference >= 0)  // a delivery report: delivered at its own time
    return header + "\"" + m.status + "\",6," + std::to_string(m.report_reference) + ",\"" +
           Encode(m.number) + "\"," + (m.number.starts_with("+") ? "145" : "129") + ",\"" + m.time +
           "\",\"" + m.time + "\",0";
  header += "\"" + m.status + "\",\"" + Encode(m.number) + "\",\"\",\"" + m.time + "\"";
  if (!settings_.csdh) return header;
  // The text-mode header in full: type of address, then for +CMGR first
  // octet, protocol, coding and service centre, and the length.
  const std::string toa = m.number.starts_with("+") ? "145" : "129";
  const bool gsm = smsdll::pdu::ToGsm7(m.text).has_value();
  header += "," + toa;
  if (!with_index)
    header += std::string(m.concat ? ",68" : ",4") + ",0," + (gsm ? "0" : "8") + ",\"" +
              Encode(centre_) + "\"," + (centre_.starts_with("+") ? "145" : "129");
  return header + "," + std::to_string(m.text.size());
}

// A received message given straight to the host (AT+CNMI <mt> 2): +CMT with
// the PDU, or in text mode the sender, the time stamp and the text.
std::string Modem::Routed(const StoredMessage& m) const {
  if (settings_.text_mode)
    return "\r\n+CMT: \"" + Encode(m.number) + "\",,\"" + m.time + "\"\r\n" + EncodeText(m.text) +
           "\r\n";
  const auto e = DeliverPdu(m);
  return "\r\n+CMT: ," + std::to_string(e.tpdu_length) + "\r\n" + e.hex + "\r\n";
}

std::string Modem::PduListing(const StoredMessage& m, bool with_index) const {
  const auto e = DeliverPdu(m);
  static const char* kStatuses[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"};
  int stat = static_cast<int>(std::find(std::begin(kStatuses), std::end(kStatuses), m.status) -
                              std::begin(kStatuses));
  std::string header = with_index ? "+CMGL: " + std::to_string(m.index) + "," : "+CMGR: ";
  return header + std::to_string(stat) + ",," + std::to_string(e.tpdu_length) + "\r\n" +
         ListedPdu(e);
}

std::string Modem::ListedPdu(const smsdll::pdu::Encoded& e) const {
  std::string hex = e.hex;
  const std::size_t centre = hex.size() - 2 * e.tpdu_length;
  if (quirks.listed_centre == Quirks::Centre::kZeroLength)
    hex = "00" + hex.substr(centre);
  else if (quirks.listed_centre == Quirks::Centre::kNone)
    hex = hex.substr(centre);
  if (quirks.lowercase_pdu)
    for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return hex;
}

smsdll::pdu::Encoded Modem::DeliverPdu(const StoredMessage& m) const {
  smsdll::pdu::Message deliver;
  deliver.type = smsdll::pdu::Type::kDeliver;
  deliver.centre = centre_;
  deliver.number = m.number;
  deliver.coding =
      smsdll::pdu::ToGsm7(m.text) ? smsdll::pdu::Coding::kGsm7 : smsdll::pdu::Coding::kUcs2;
  deliver.text = m.text;
  deliver.concat = m.concat;
  deliver.time = m.time;
  if (m.eight_bit) {
    deliver.coding = smsdll::pdu::Coding::kEightBit;
    deliver.data.assign(m.text.begin(), m.text.end());
  }
  if (m.report_reference >= 0) {
    deliver.type = smsdll::pdu::Type::kStatusReport;
    deliver.reference = m.report_reference;
    deliver.discharge_time = m.time;
  }
  // An alphanumeric sender ("MobiBank") goes in as the one-digit "0", whose
  // address field (length 01, type 81, digits F0) is then replaced.
  const auto alphanumeric =
      IsPhoneNumber(m.number)
          ? std::nullopt
          : smsdll::pdu::ToGsm7(std::u16string(m.number.begin(), m.number.end()));
  if (alphanumeric) deliver.number = "0";
  smsdll::pdu::Encoded e;
  std::string why;
  if (!smsdll::pdu::Encode(deliver, e, why)) {
    deliver.time = "00/01/01,00:00:00+00";  // a stamp given in some other form
    if (!smsdll::pdu::Encode(deliver, e, why)) deliver.number = "0";
    (void)smsdll::pdu::Encode(deliver, e, why);
  }
  if (alphanumeric && deliver.number == "0") {
    const std::string packed = smsdll::pdu::PackSeptets(*alphanumeric);
    std::string field = {static_cast<char>((alphanumeric->size() * 7 + 3) / 4),
                         static_cast<char>(0xD0)};
    field += packed;
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (char c : field) {
      hex += kHex[static_cast<unsigned char>(c) >> 4];
      hex += kHex[static_cast<unsigned char>(c) & 0xF];
    }
    const std::size_t address = e.hex.size() - 2 * e.tpdu_length + 2;  // after the first octet
    e.hex.replace(address, 6, hex);
    e.tpdu_length += field.size() - 3;
  }
  return e;
}

std::string Modem::Cme(int code) const {
  if (settings_.cmee == 0) return "ERROR";
  if (settings_.cmee == 2) {
    const char* text = code == 3    ? "operation not allowed"
                       : code == 4  ? "operation not supported"
                       : code == 10 ? "SIM not inserted"
                       : code == 16 ? "incorrect password"
                       : code == 22 ? "not found"
                       : code == 30 ? "no network service"
                                    : "unknown";
    return std::string("+CME ERROR: ") + text;
  }
  return "+CME ERROR: " + std::to_string(code);
}

// One handler per command. A handler answers with information lines and
// returns true for OK; false ends the line with its `final` (ERROR unless
// it says otherwise).
struct Request {
  std::string name;
  std::string args;
  bool test = false, read = false, set = false, action = false;
  std::vector<Param> params;
  std::vector<std::string>& info;
  std::string& final;

  std::optional<int> Int(std::size_t k) const {
    return k < params.size() ? Number(params[k].value) : std::nullopt;
  }
  bool Say(std::string line) {
    info.push_back(std::move(line));
    return true;
  }
  bool Fail(std::string answer) {
    final = std::move(answer);
    return false;
  }
};

struct Commands {
  using Handler = bool (*)(Modem&, Request&);

  static bool Basic(Modem& m, Request& r) {  // E, Q, V
    int v = r.args.empty() ? 0 : Number(r.args).value_or(-1);
    if (r.name == "E" && (v == 0 || v == 1))
      return m.settings_.echo = v == 1 || m.quirks.echo_stuck, true;
    return (r.name == "Q" && v == 0) || (r.name == "V" && (r.args.empty() || v == 1));
  }
  static bool Accept(Modem&, Request&) { return true; }  // &C, &D, &W: line settings
  static bool Reset(Modem& m, Request&) {
    m.settings_ = Modem::Settings{};
    return true;
  }
  static bool Identify(Modem& m, Request& r) {
    r.Say(m.identity_.manufacturer);
    r.Say(m.identity_.model);
    return r.Say("Revision: " + m.identity_.revision);
  }
  static bool IdentityField(Modem& m, Request& r) {
    if (r.test) return true;
    if (!r.action) return false;
    const Identity& id = m.identity_;
    return r.Say(r.name == "+CGMI"   ? id.manufacturer
                 : r.name == "+CGMM" ? id.model
                 : r.name == "+CGMR" ? "Revision: " + id.revision
                 : r.name == "+CIMI" ? std::string("460991234567890")
                                     : id.serial);
  }
  static bool Pin(Modem& m, Request& r) {
    if (r.test) return true;
    if (m.sim_.empty()) return r.Fail(m.Cme(10));
    if (r.read) return r.Say("+CPIN: " + m.sim_);
    if (!r.set || r.params.empty() || r.params[0].value.empty()) return false;
    if (m.sim_ == "READY") return r.Fail(m.Cme(3));  // nothing to unlock
    if (m.sim_ == "SIM PUK" && (r.params.size() < 2 || r.params[1].value.empty()))
      return r.Fail(m.Cme(16));  // the PUK needs a new PIN
    m.sim_ = "READY";
    return true;
  }
  static bool Signal(Modem& m, Request& r) {
    if (r.test) return r.Say("+CSQ: (0-31,99),(0-7,99)");
    if (!r.action) return false;
    return r.Say("+CSQ: " + std::to_string(m.settings_.cfun == 1 ? m.rssi_ : 99) + ",99");
  }
  static bool Battery(Modem&, Request& r) {
    if (r.test) return r.Say("+CBC: (0-3),(0-100)");
    return r.action && r.Say("+CBC: 0,80");  // powered by its battery, 80 % full
  }
  static bool Function(Modem& m, Request& r) {
    if (r.test) return r.Say("+CFUN: (0,1,4),(0,1)");
    if (r.read) return r.Say("+CFUN: " + std::to_string(m.settings_.cfun));
    auto fun = r.Int(0);
    if (!r.set || !fun || (*fun != 0 && *fun != 1 && *fun != 4)) return false;
    m.settings_.cfun = *fun;
    return true;
  }
  static bool ErrorMode(Modem& m, Request& r) {
    if (r.test) return r.Say("+CMEE: (0-2)");
    if (r.read) return r.Say("+CMEE: " + std::to_string(m.settings_.cmee));
    auto v = r.Int(0);
    if (!r.set || !v || *v > 2) return false;
    m.settings_.cmee = *v;
    return true;
  }
  static bool Registration(Modem& m, Request& r) {
    if (r.test) return r.Say("+CREG: (0-2)");
    if (r.read) {
      std::string line = "+CREG: " + std::to_string(m.settings_.creg) + "," +
                         (m.settings_.cfun != 1 ? "0"
                          : m.registered_       ? "1"  // registered, home network
                                                : "2");      // searching
      if (m.settings_.creg == 2 && m.settings_.cfun == 1) line += ",\"1A2B\",\"00C3D4E5\"";
      return r.Say(line);
    }
    auto v = r.Int(0);
    if (!r.set || !v || *v > 2) return false;
    m.settings_.creg = *v;
    return true;
  }
  // GPRS registration answers as the network registration does.
  static bool PacketRegistration(Modem& m, Request& r) {
    if (r.test) return r.Say("+CGREG: (0-2)");
    if (r.read)
      return r.Say("+CGREG: " + std::to_string(m.settings_.cgreg) + "," +
                   (m.settings_.cfun == 1 ? "1" : "0"));
    auto v = r.Int(0);
    if (!r.set || !v || *v > 2) return false;
    m.settings_.cgreg = *v;
    return true;
  }
  static bool Attach(Modem& m, Request& r) {  // the packet service follows the radio
    if (r.test) return r.Say("+CGATT: (0,1)");
    if (r.read) return r.Say(std::string("+CGATT: ") + (m.settings_.cfun == 1 ? "1" : "0"));
    auto v = r.Int(0);
    return r.set && v && *v <= 1;
  }
  static bool RingFormat(Modem& m, Request& r) {  // +CRING instead of RING
    if (r.test) return r.Say("+CRC: (0,1)");
    if (r.read) return r.Say("+CRC: " + std::to_string(m.settings_.crc));
    auto v = r.Int(0);
    if (!r.set || !v || *v > 1) return false;
    m.settings_.crc = *v;
    return true;
  }
  static bool HangUp(Modem&, Request& r) { return r.test || r.action; }  // no call to end
  static bool Operator(Modem& m, Request& r) {
    if (r.test) return r.Say("+COPS: (2,\"Mobi Net\",\"Mobi\",\"46099\"),,(0-4),(0-2)");
    if (r.read) {
      if (m.settings_.cfun != 1) return r.Say("+COPS: 0");
      int f = m.settings_.cops_format;
      return r.Say("+COPS: 0," + std::to_string(f) + ",\"" +
                   (f == 0   ? "Mobi Net"
                    : f == 1 ? "Mobi"
                             : "46099") +
                   "\"");
    }
    auto mode = r.Int(0);
    if (!r.set || !mode || *mode > 4) return false;
    if (auto format = r.Int(1)) {
      if (*format > 2) return false;
      m.settings_.cops_format = *format;
    }
    return true;
  }
  static bool CallerId(Modem& m, Request& r) {
    if (r.test) return r.Say("+CLIP: (0,1)");
    if (r.read) return r.Say("+CLIP: " + std::to_string(m.settings_.clip) + ",1");
    auto v = r.Int(0);
    if (!r.set || !v || *v > 1) return false;
    m.settings_.clip = *v;
    return true;
  }
  static bool Phonebook(Modem&, Request& r) {
    if (r.test) return r.Say("+CPBS: (\"SM\",\"ME\")");
    if (r.read) return r.Say("+CPBS: \"SM\",0,100");  // an empty phone book
    return r.set && !r.params.empty() && (r.params[0].value == "SM" || r.params[0].value == "ME");
  }
  static bool PhonebookRead(Modem& m, Request& r) {
    if (r.test) return r.Say("+CPBR: (1-100),40,18");
    return r.Fail(m.Cme(22));  // every entry is empty: not found
  }
  static bool MessageService(Modem&, Request& r) {
    if (r.test) return r.Say("+CSMS: (0,1)");
    if (r.read) return r.Say("+CSMS: 0,1,1,1");
    auto v = r.Int(0);
    if (!r.set || !v || *v > 1) return false;
    return r.Say("+CSMS: 1,1,1");
  }
  static bool Format(Modem& m, Request& r) {
    if (r.test) return r.Say("+CMGF: (0,1)");
    if (r.read) return r.Say("+CMGF: " + std::to_string(m.settings_.text_mode));
    auto mode = r.Int(0);
    if (!r.set || !mode || *mode > 1) return false;
    m.settings_.text_mode = *mode == 1;
    return true;
  }
  static bool ShowHeader(Modem& m, Request& r) {
    if (r.test) return r.Say("+CSDH: (0,1)");
    if (r.read) return r.Say("+CSDH: " + std::to_string(m.settings_.csdh));
    auto v = r.Int(0);
    if (!r.set || !v || *v > 1) return false;
    m.settings_.csdh = *v == 1;
    return true;
  }
  static bool Charset(Modem& m, Request& r) {
    if (r.test) return r.Say("+CSCS: (\"GSM\",\"IRA\",\"UCS2\")");
    if (r.read) return r.Say("+CSCS: \"" + m.Encode(m.settings_.charset) + "\"");
    if (!r.set || r.params.empty()) return false;
    std::string wanted = Upper(r.params[0].value);
    if (auto decoded = m.DecodeParameter(r.params[0].value)) {
      if (*decoded == "GSM" || *decoded == "IRA" || *decoded == "UCS2") wanted = *decoded;
    }
    if (wanted != "GSM" && wanted != "IRA" && wanted != "UCS2") return false;
    m.settings_.charset = wanted;
    return true;
  }
  static bool Centre(Modem& m, Request& r) {
    if (r.test) return true;
    if (r.read && !m.centre_known_) return r.Fail(m.Cms(330));
    if (r.read)
      return r.Say("+CSCA: \"" + m.Encode(m.centre_) + "\"," +
                   (m.centre_.starts_with("+") ? "145" : "129"));
    if (!r.set || r.params.empty()) return false;
    auto number = m.DecodeParameter(r.params[0].value);
    if (!number || !IsPhoneNumber(*number)) return false;
    m.centre_ = *number;
    m.centre_known_ = true;
    return true;
  }
  static bool Parameters(Modem& m, Request& r) {
    auto& s = m.settings_;
    if (r.test) return true;
    if (r.read)
      return r.Say("+CSMP: " + std::to_string(s.fo) + "," + std::to_string(s.vp) + "," +
                   std::to_string(s.pid) + "," + std::to_string(s.dcs));
    if (!r.set) return false;
    int* fields[] = {&s.fo, &s.vp, &s.pid, &s.dcs};
    for (std::size_t k = 0; k < r.params.size() && k < 4; ++k) {
      if (r.params[k].value.empty()) continue;
      auto v = r.Int(k);
      if (!v || *v > 255) return false;
      *fields[k] = *v;
    }
    return true;
  }
  static bool Indications(Modem& m, Request& r) {
    auto& s = m.settings_;
    if (r.test) return r.Say("+CNMI: (0-3),(0-3),(0,2),(0,1),(0,1)");
    if (r.read)
      return r.Say("+CNMI: " + std::to_string(s.cnmi_mode) + "," + std::to_string(s.cnmi_mt) +
                   ",0," + std::to_string(s.cnmi_ds) + ",0");
    auto mode = r.Int(0);
    if (!r.set || !mode || *mode > 3) return false;
    s.cnmi_mode = *mode;
    s.cnmi_mt = r.Int(1).value_or(0);
    s.cnmi_ds = r.Int(3).value_or(0) == 1 ? 1 : 0;
    return true;
  }
  static std::string Counts(Modem& m) {
    std::string counts;
    for (int k = 0; k < 3; ++k)
      counts +=
          (k ? "," : "") + std::to_string(m.Memory(k).size()) + "," + std::to_string(m.Capacity(k));
    return counts;
  }
  static bool Storage(Modem& m, Request& r) {
    if (r.test) return r.Say(R"(+CPMS: ("SM","ME"),("SM","ME"),("SM","ME"))");
    if (r.read) {
      std::string line = "+CPMS: ";
      for (int k = 0; k < 3; ++k)
        line += (k ? ",\"" : "\"") + m.settings_.memory[k] + "\"," +
                std::to_string(m.Memory(k).size()) + "," + std::to_string(m.Capacity(k));
      return r.Say(line);
    }
    if (!r.set || r.params.empty() || r.params.size() > 3) return false;
    std::string wanted[3] = {m.settings_.memory[0], m.settings_.memory[1], m.settings_.memory[2]};
    for (std::size_t k = 0; k < r.params.size(); ++k) {
      auto name = m.DecodeParameter(r.params[k].value);
      if (name && (*name == "SM" || *name == "ME"))
        wanted[k] = *name;
      else if (r.params[k].value == "SM" || r.params[k].value == "ME")
        wanted[k] = r.params[k].value;
      else
        return r.Fail(m.Cms(302));
    }
    for (int k = 0; k < 3; ++k) m.settings_.memory[k] = wanted[k];
    return r.Say("+CPMS: " + Counts(m));
  }
  static bool Send(Modem& m, Request& r) {
    if (r.test) return true;
    if (!r.set || r.params.empty()) return false;
    if (!m.settings_.text_mode) {
      auto length = r.Int(0);
      if (!length || *length < 1 || *length > 164) return r.Fail(m.Cms(304));
      m.entry_length_ = *length;
      m.entry_number_.clear();
    } else {
      auto number = m.DecodeParameter(r.params[0].value);
      if (!number || !IsPhoneNumber(*number)) return r.Fail(m.Cms(305));
      m.entry_length_ = -1;
      m.entry_number_ = *number;
    }
    m.entering_ = true;
    m.entry_.clear();
    return true;
  }
  static bool List(Modem& m, Request& r) {
    static const char* kStatuses[] = {"REC UNREAD", "REC READ", "STO UNSENT", "STO SENT", "ALL"};
    const bool pdu = !m.settings_.text_mode;
    if (r.test)
      return r.Say(pdu ? "+CMGL: (0-4)"
                       : R"(+CMGL: ("REC UNREAD","REC READ","STO UNSENT","STO SENT","ALL"))");
    std::string wanted = "REC UNREAD";
    if (r.set && !r.params.empty()) {
      if (pdu) {
        auto stat = r.Int(0);
        if (!stat || *stat > 4) return r.Fail(m.Cms(304));
        wanted = kStatuses[*stat];
      } else {
        wanted = Upper(r.params[0].value);
        if (auto decoded = m.DecodeParameter(r.params[0].value)) wanted = Upper(*decoded);
      }
    } else if (!r.action) {
      return false;
    }
    if (std::find(std::begin(kStatuses), std::end(kStatuses), wanted) == std::end(kStatuses))
      return r.Fail(m.Cms(pdu ? 304 : 302));
    for (auto& [index, message] : m.Memory(0)) {
      if (!StatusSelected(wanted, message.status)) continue;
      if (pdu) {
        r.Say(m.PduListing(message, true));
      } else {
        r.Say(m.Listing(message, true));
        if (message.report_reference < 0) r.Say(m.EncodeText(message.text));
      }
      if (m.on_read) m.on_read(m.settings_.memory[0], message);
      if (message.status == "REC UNREAD") message.status = "REC READ";
    }
    return true;
  }
  static bool Read(Modem& m, Request& r) {
    if (r.test) return true;
    auto index = r.Int(0);
    if (!r.set || !index) return r.Fail(m.Cms(321));
    auto& memory = m.Memory(0);
    auto it = memory.find(*index);
    if (it == memory.end()) return r.Fail(m.Cms(321));
    if (m.settings_.text_mode) {
      r.Say(m.Listing(it->second, false));
      if (it->second.report_reference < 0) r.Say(m.EncodeText(it->second.text));
    } else {
      r.Say(m.PduListing(it->second, false));
    }
    if (m.on_read) m.on_read(m.settings_.memory[0], it->second);
    if (it->second.status == "REC UNREAD") it->second.status = "REC READ";
    return true;
  }
  static bool Delete(Modem& m, Request& r) {
    if (r.test) return r.Say("+CMGD: (1-" + std::to_string(Modem::kSlots) + "),(0-4)");
    auto index = r.Int(0);
    int flag = r.Int(1).value_or(0);
    if (!r.set || ((!index || *index < 1 || *index > Modem::kSlots) && flag == 0) || flag > 4)
      return r.Fail(m.Cms(321));
    std::erase_if(m.Memory(0), [&](const auto& slot) {
      const std::string& s = slot.second.status;
      auto deleted = [&](bool yes) {
        if (yes && m.on_deleted) m.on_deleted(m.settings_.memory[0], slot.second);
        return yes;
      };
      switch (flag) {
        case 0:
          return deleted(slot.first == *index);
        case 1:
          return deleted(s == "REC READ");
        case 2:
          return deleted(s == "REC READ" || s == "STO SENT");
        case 3:
          return deleted(s != "REC UNREAD");
        default:
          return deleted(true);
      }
    });
    return true;
  }

  static const std::map<std::string, Handler>& Table() {
    static const std::map<std::string, Handler> table = {
        {"E", Basic},
        {"Q", Basic},
        {"V", Basic},
        {"&C", Accept},
        {"&D", Accept},
        {"&W", Accept},
        {"Z", Reset},
        {"&F", Reset},
        {"I", Identify},
        {"+CGMI", IdentityField},
        {"+CGMM", IdentityField},
        {"+CGMR", IdentityField},
        {"+CGSN", IdentityField},
        {"+CIMI", IdentityField},
        {"+CPIN", Pin},
        {"+CSQ", Signal},
        {"+CBC", Battery},
        {"+CFUN", Function},
        {"+CMEE", ErrorMode},
        {"+CREG", Registration},
        {"+CGREG", PacketRegistration},
        {"+CGATT", Attach},
        {"+CRC", RingFormat},
        {"+CHUP", HangUp},
        {"+COPS", Operator},
        {"+CLIP", CallerId},
        {"+CPBS", Phonebook},
        {"+CPBR", PhonebookRead},
        {"+CSMS", MessageService},
        {"+CMGF", Format},
        {"+CSDH", ShowHeader},
        {"+CSCS", Charset},
        {"+CSCA", Centre},
        {"+CSMP", Parameters},
        {"+CNMI", Indications},
        {"+CPMS", Storage},
        {"+CMGS", Send},
        {"+CMGL", List},
        {"+CMGR", Read},
        {"+CMGD", Delete},
    };
    return table;
  }
};

bool Modem::Execute(const std::string& name, const std::string& args,
                    std::vector<std::string>& info, std::string& final) {
  final = "ERROR";
  Request r{name, args, args == "=?", args == "?", false, args.empty(), {}, info, final};
  r.set = !r.test && args.starts_with("=");
  if (r.set) r.params = SplitParams(std::string_view(args).substr(1));
  const auto& table = Commands::Table();
  auto handler = table.find(name);
  if (handler == table.end()) return false;  // not a command of this modem
  const bool sms =
      name == "+CMGS" || name == "+CMGL" || name == "+CMGR" || name == "+CMGD" || name == "+CPMS";
  if (sms && !r.test && sim_ != "READY") return r.Fail(Cms(sim_.empty() ? 310 : 311));
  return handler->second(*this, r);
}

void Modem::Submit() {
  std::string body;
  body.swap(entry_);
  current_ = "SUBMIT";
  if (entry_length_ >= 0) return SubmitPdu(body);
  std::u16string text;
  std::optional<smsdll::pdu::Concat> concat;
  std::size_t header_length = 0;
  if (settings_.charset == "UCS2") {
    std::string hex;
    for (char c : body)
      if (c != '\n' && c != ' ') hex += c;
    auto decoded = smsdll::Ucs2HexDecode(hex);
    if (!decoded) return Info({}, Cms(305));
    text = *decoded;
    if (settings_.fo & 0x40) {
      // A user data header first: its octets are the first characters' bytes.
      std::size_t header_units = text.empty() ? 0 : ((text[0] >> 8) + 2) / 2;
      if (header_units == 0 || header_units > text.size() || (text[0] >> 8) % 2 == 0)
        return Info({}, Cms(305));
      std::string header;
      for (std::size_t k = 0; k < header_units; ++k) {
        header += static_cast<char>(text[k] >> 8);
        header += static_cast<char>(text[k] & 0xFF);
      }
      concat = smsdll::pdu::ReadHeader(header);
      text.erase(0, header_units);
      header_length = header_units;
    }
  } else {
    for (char c : body) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  bool ucs2 = settings_.dcs == 8;
  if ((ucs2 ? text.size() + header_length : GsmSeptets(text)) >
      (ucs2 ? kMaxUcs2Units : kMaxGsmSeptets))
    return Info({}, Cms(305));
  Accept(SentMessage{0, entry_number_, text, settings_.charset, settings_.dcs, centre_, false,
                     concat, (settings_.fo & 0x20) != 0},
         true);
}

bool Modem::Refuse(const std::string& reply, const SentMessage& sent) {
  if (on_refused) on_refused(reply, sent);
  if (!reply.empty()) Info({}, reply);
  return false;
}

bool Modem::Accept(SentMessage sent, bool sim_centre) {
  if (std::string reply; Matches("SUBMIT", reply)) return Refuse(reply, sent);
  if (quirks.unplug_on_submit) {
    hung_up_ = true;
    return false;
  }
  if (settings_.cfun != 1 || !registered_) return Refuse(Cms(331), sent);
  if (sim_centre && !centre_known_) return Refuse(Cms(330), sent);
  sent.reference = next_reference_;
  next_reference_ = next_reference_ == 255 ? 0 : next_reference_ + 1;
  sent_.push_back(sent);
  if (on_sent) on_sent(sent);
  next_delay_ = quirks.submit_delay;
  Info({"+CMGS: " + std::to_string(sent.reference)}, "OK");
  Report(sent);
  if (quirks.restart_after_submit) {
    quirks.restart_after_submit = false;
    Restart();
  }
  return true;
}

void Modem::SubmitPdu(const std::string& body) {
  std::string hex;
  for (char c : body)
    if (c != '\n' && c != ' ') hex += c;
  smsdll::pdu::Message m;
  std::string why;
  if (!smsdll::pdu::Decode(hex, true, m, why)) return Info({}, Cms(304));
  // The length given to AT+CMGS counts the octets after the service centre.
  const std::size_t centre_octets = 1 + std::stoul(hex.substr(0, 2), nullptr, 16);
  if (hex.size() / 2 != centre_octets + static_cast<std::size_t>(entry_length_))
    return Info({}, Cms(304));
  SentMessage sent;
  sent.number = m.number;
  if (m.coding == smsdll::pdu::Coding::kEightBit)
    for (char c : m.data) sent.text += static_cast<char16_t>(static_cast<unsigned char>(c));
  else
    sent.text = m.text;
  sent.charset = settings_.charset;
  sent.dcs = m.coding == smsdll::pdu::Coding::kUcs2       ? 8
             : m.coding == smsdll::pdu::Coding::kEightBit ? 4
                                                          : 0;
  sent.centre = m.centre.empty() ? centre_ : m.centre;
  sent.pdu = true;
  sent.concat = m.concat;
  sent.status_report = m.status_report;
  Accept(std::move(sent), m.centre.empty());
}

// The network's delivery report of a message that asked for one, given at
// once as +CDS when AT+CNMI asks for reports.
void Modem::Report(const SentMessage& sent) {
  if (!sent.status_report || settings_.cnmi_ds != 1) return;
  const std::string time = now();
  if (settings_.text_mode) {
    output_ += "\r\n+CDS: 6," + std::to_string(sent.reference) + ",\"" + Encode(sent.number) +
               "\"," + (sent.number.starts_with("+") ? "145" : "129") + ",\"" + time + "\",\"" +
               time + "\",0\r\n";
    return;
  }
  smsdll::pdu::Message report;
  report.type = smsdll::pdu::Type::kStatusReport;
  report.centre = centre_;
  report.reference = sent.reference;
  report.number = sent.number;
  report.time = report.discharge_time = time;
  smsdll::pdu::Encoded e;
  std::string why;
  if (!smsdll::pdu::Encode(report, e, why)) return;
  output_ += "\r\n+CDS: " + std::to_string(e.tpdu_length) + "\r\n" + e.hex + "\r\n";
}

}  // namespace atmodem
