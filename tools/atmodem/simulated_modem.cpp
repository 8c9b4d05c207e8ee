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
  for (const auto& [index, message] : storage_) all.push_back(message);
  return all;
}

std::optional<int> Modem::AddInbox(std::string number, std::u16string text, std::string time,
                                   bool read) {
  for (int index = 1; index <= kSlots; ++index) {
    if (storage_.count(index) != 0) continue;
    storage_[index] = StoredMessage{index, read ? "REC READ" : "REC UNREAD", std::move(number),
                                    std::move(time), std::move(text)};
    if (settings_.cnmi_mode > 0 && settings_.cnmi_mt == 1)
      output_ += "\r\n+CMTI: \"SM\"," + std::to_string(index) + "\r\n";
    return index;
  }
  return std::nullopt;
}

void Modem::FailCommand(std::string command, std::string reply, int times) {
  failures_.push_back({Upper(std::move(command)), std::move(reply), times});
}

bool Modem::Matches(const std::string& command, std::string& reply) {
  for (auto it = failures_.begin(); it != failures_.end(); ++it) {
    if (!command.starts_with(it->command)) continue;
    reply = it->reply;
    if (it->times > 0 && --it->times == 0) failures_.erase(it);
    return true;
  }
  return false;
}

void Modem::Receive(std::string_view bytes) {
  for (char c : bytes) {
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
      continue;
    }
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

void Modem::Info(const std::vector<std::string>& lines, const std::string& final) {
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
  return header + "\"" + m.status + "\",\"" + Encode(m.number) + "\",\"\",\"" + m.time + "\"";
}

bool Modem::Execute(const std::string& name, const std::string& args,
                    std::vector<std::string>& info, std::string& final) {
  final = "ERROR";
  const bool test = args == "=?";
  const bool read = args == "?";
  const bool set = !test && args.starts_with("=");
  const bool action = args.empty();
  auto params = set ? SplitParams(std::string_view(args).substr(1)) : std::vector<Param>{};
  auto int_param = [&](std::size_t k) -> std::optional<int> {
    return k < params.size() ? Number(params[k].value) : std::nullopt;
  };
  const bool sms = name == "+CMGS" || name == "+CMGL" || name == "+CMGR" || name == "+CMGD";
  if (sms && !test && sim_ != "READY") {
    final = Cms(sim_.empty() ? 310 : 311);
    return false;
  }
  if (sms && !test && !settings_.text_mode) {
    final = Cms(302);  // this modem speaks text mode only
    return false;
  }

  if (name == "E" || name == "Q" || name == "V") {
    int v = args.empty() ? 0 : Number(args).value_or(-1);
    if (name == "E" && (v == 0 || v == 1)) return settings_.echo = v == 1, true;
    return (name == "Q" && v == 0) || (name == "V" && (args.empty() || v == 1));
  }
  if (name == "Z" || name == "&F") {
    settings_ = Settings{};
    return true;
  }
  if (name == "I") {
    info.push_back(identity_.manufacturer);
    info.push_back(identity_.model);
    info.push_back("Revision: " + identity_.revision);
    return true;
  }
  if (name == "+CGMI" || name == "+CGMM" || name == "+CGMR" || name == "+CGSN") {
    if (test) return true;
    if (!action) return false;
    info.push_back(name == "+CGMI"   ? identity_.manufacturer
                   : name == "+CGMM" ? identity_.model
                   : name == "+CGMR" ? "Revision: " + identity_.revision
                                     : identity_.serial);
    return true;
  }
  if (name == "+CPIN") {
    if (test) return true;
    if (sim_.empty()) {
      final = "+CME ERROR: 10";
      return false;
    }
    if (read) return info.push_back("+CPIN: " + sim_), true;
    if (!set || params.empty() || params[0].value.empty()) return false;
    if (sim_ == "READY") {
      final = "+CME ERROR: 3";  // nothing to unlock
      return false;
    }
    sim_ = "READY";
    return true;
  }
  if (name == "+CSQ") {
    if (test) return info.push_back("+CSQ: (0-31,99),(0-7,99)"), true;
    if (!action) return false;
    info.push_back("+CSQ: " + std::to_string(settings_.cfun == 1 ? rssi_ : 99) + ",99");
    return true;
  }
  if (name == "+CFUN") {
    if (test) return info.push_back("+CFUN: (0,1,4),(0,1)"), true;
    if (read) return info.push_back("+CFUN: " + std::to_string(settings_.cfun)), true;
    auto fun = int_param(0);
    if (!set || !fun || (*fun != 0 && *fun != 1 && *fun != 4)) return false;
    settings_.cfun = *fun;
    return true;
  }
  if (name == "+CMGF") {
    if (test) return info.push_back("+CMGF: (0,1)"), true;
    if (read) return info.push_back("+CMGF: " + std::to_string(settings_.text_mode)), true;
    auto mode = int_param(0);
    if (!set || !mode || *mode > 1) return false;
    settings_.text_mode = *mode == 1;
    return true;
  }
  if (name == "+CSCS") {
    if (test) return info.push_back("+CSCS: (\"GSM\",\"IRA\",\"UCS2\")"), true;
    if (read) return info.push_back("+CSCS: \"" + Encode(settings_.charset) + "\""), true;
    if (!set || params.empty()) return false;
    std::string wanted = Upper(params[0].value);
    if (auto decoded = DecodeParameter(params[0].value)) {
      if (*decoded == "GSM" || *decoded == "IRA" || *decoded == "UCS2") wanted = *decoded;
    }
    if (wanted != "GSM" && wanted != "IRA" && wanted != "UCS2") return false;
    settings_.charset = wanted;
    return true;
  }
  if (name == "+CSCA") {
    if (test) return true;
    if (read) {
      info.push_back("+CSCA: \"" + Encode(centre_) + "\"," +
                     (centre_.starts_with("+") ? "145" : "129"));
      return true;
    }
    if (!set || params.empty()) return false;
    auto number = DecodeParameter(params[0].value);
    if (!number || !IsPhoneNumber(*number)) return false;
    centre_ = *number;
    return true;
  }
  if (name == "+CSMP") {
    if (test) return true;
    if (read) {
      info.push_back("+CSMP: " + std::to_string(settings_.fo) + "," + std::to_string(settings_.vp) +
                     "," + std::to_string(settings_.pid) + "," + std::to_string(settings_.dcs));
      return true;
    }
    if (!set) return false;
    int* fields[] = {&settings_.fo, &settings_.vp, &settings_.pid, &settings_.dcs};
    for (std::size_t k = 0; k < params.size() && k < 4; ++k) {
      if (params[k].value.empty()) continue;
      auto v = int_param(k);
      if (!v || *v > 255) return false;
      *fields[k] = *v;
    }
    return true;
  }
  if (name == "+CNMI") {
    if (test) return info.push_back("+CNMI: (0-3),(0-3),(0,2),(0,1),(0,1)"), true;
    if (read) {
      info.push_back("+CNMI: " + std::to_string(settings_.cnmi_mode) + "," +
                     std::to_string(settings_.cnmi_mt) + ",0,0,0");
      return true;
    }
    auto mode = int_param(0);
    if (!set || !mode || *mode > 3) return false;
    settings_.cnmi_mode = *mode;
    settings_.cnmi_mt = int_param(1).value_or(0);
    return true;
  }
  if (name == "+CMGS") {
    if (test) return true;
    if (!set || params.empty()) return false;
    auto number = DecodeParameter(params[0].value);
    if (!number || !IsPhoneNumber(*number)) {
      final = Cms(305);
      return false;
    }
    entering_ = true;
    entry_.clear();
    entry_number_ = *number;
    return true;
  }
  if (name == "+CMGL") {
    if (test) {
      info.push_back(R"(+CMGL: ("REC UNREAD","REC READ","STO UNSENT","STO SENT","ALL"))");
      return true;
    }
    std::string wanted = "REC UNREAD";
    if (set && !params.empty()) {
      wanted = Upper(params[0].value);
      if (auto decoded = DecodeParameter(params[0].value)) wanted = Upper(*decoded);
    } else if (!action) {
      return false;
    }
    if (wanted != "ALL" && wanted != "REC UNREAD" && wanted != "REC READ" &&
        wanted != "STO UNSENT" && wanted != "STO SENT") {
      final = Cms(302);
      return false;
    }
    for (auto& [index, m] : storage_) {
      if (!StatusSelected(wanted, m.status)) continue;
      info.push_back(Listing(m, true));
      info.push_back(EncodeText(m.text));
      if (m.status == "REC UNREAD") m.status = "REC READ";
    }
    return true;
  }
  if (name == "+CMGR" || name == "+CMGD") {
    if (test) return true;
    auto index = int_param(0);
    int flag = name == "+CMGD" ? int_param(1).value_or(0) : 0;
    if (!set || ((!index || *index < 1 || *index > kSlots) && flag == 0) || flag > 4) {
      final = Cms(321);
      return false;
    }
    if (name == "+CMGD") {
      std::erase_if(storage_, [&](const auto& slot) {
        const std::string& s = slot.second.status;
        switch (flag) {
          case 0:
            return slot.first == *index;
          case 1:
            return s == "REC READ";
          case 2:
            return s == "REC READ" || s == "STO SENT";
          case 3:
            return s != "REC UNREAD";
          default:
            return true;
        }
      });
      return true;
    }
    auto it = storage_.find(*index);
    if (it == storage_.end()) {
      final = Cms(321);
      return false;
    }
    info.push_back(Listing(it->second, false));
    info.push_back(EncodeText(it->second.text));
    if (it->second.status == "REC UNREAD") it->second.status = "REC READ";
    return true;
  }
  return false;  // not a command of this modem
}

void Modem::Submit() {
  std::string body;
  body.swap(entry_);
  std::string reply;
  if (Matches("SUBMIT", reply)) {
    if (!reply.empty()) Info({}, reply);
    return;
  }
  std::u16string text;
  if (settings_.charset == "UCS2") {
    std::string hex;
    for (char c : body)
      if (c != '\n' && c != ' ') hex += c;
    auto decoded = smsdll::Ucs2HexDecode(hex);
    if (!decoded) return Info({}, Cms(305));
    text = *decoded;
  } else {
    for (char c : body) text += static_cast<char16_t>(static_cast<unsigned char>(c));
  }
  bool ucs2 = settings_.dcs == 8;
  if ((ucs2 ? text.size() : GsmSeptets(text)) > (ucs2 ? kMaxUcs2Units : kMaxGsmSeptets))
    return Info({}, Cms(305));
  if (settings_.cfun != 1) return Info({}, Cms(331));
  SentMessage sent{next_reference_, entry_number_, text, settings_.charset, settings_.dcs, centre_};
  next_reference_ = next_reference_ == 255 ? 0 : next_reference_ + 1;
  sent_.push_back(sent);
  if (on_sent) on_sent(sent);
  Info({"+CMGS: " + std::to_string(sent.reference)}, "OK");
}

}  // namespace atmodem
