#include "at_channel.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace smsdll {

namespace {

constexpr char kCtrlZ = '\x1A';
constexpr char kEsc = '\x1B';

bool IEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

bool Classify(const std::string& line, AtReply::Final& final) {
  if (line == "OK") {
    final = AtReply::Final::kOk;
  } else if (line == "ERROR") {
    final = AtReply::Final::kError;
  } else if (line.starts_with("+CMS ERROR:")) {
    final = AtReply::Final::kCmsError;
  } else if (line.starts_with("+CME ERROR:")) {
    final = AtReply::Final::kCmeError;
  } else {
    return false;
  }
  return true;
}

const char* CmsText(int code) {
  switch (code) {
    case 300:
      return "modem failure";
    case 301:
      return "SMS service of the modem reserved";
    case 302:
      return "operation not allowed";
    case 303:
      return "operation not supported";
    case 304:
      return "invalid PDU mode parameter";
    case 305:
      return "invalid text mode parameter";
    case 310:
      return "no SIM card inserted";
    case 311:
      return "SIM PIN required";
    case 312:
      return "PH-SIM PIN required";
    case 313:
      return "SIM failure";
    case 314:
      return "SIM busy";
    case 315:
      return "wrong SIM";
    case 316:
      return "SIM PUK required";
    case 320:
      return "memory failure";
    case 321:
      return "invalid memory index";
    case 322:
      return "memory full";
    case 330:
      return "service centre address unknown";
    case 331:
      return "no network service";
    case 332:
      return "network timeout";
    case 340:
      return "no acknowledgement expected";
    case 500:
      return "unknown error";
    default:
      return nullptr;
  }
}

const char* CmeText(int code) {
  switch (code) {
    case 3:
      return "operation not allowed";
    case 4:
      return "operation not supported";
    case 10:
      return "no SIM card inserted";
    case 11:
      return "SIM PIN required";
    case 12:
      return "SIM PUK required";
    case 13:
      return "SIM failure";
    case 14:
      return "SIM busy";
    case 16:
      return "incorrect password";
    case 30:
      return "no network service";
    case 31:
      return "network timeout";
    case 100:
      return "unknown error";
    case 515:
      return "device busy, please wait";
    default:
      return nullptr;
  }
}

std::string Shown(std::string_view text) {
  std::string out;
  for (char c : text.substr(0, 60)) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 0x20 && b < 0x7F) {
      out += c;
    } else {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
    }
  }
  if (text.size() > 60) out += "...";
  return out;
}

}  // namespace

const std::string* AtReply::Find(std::string_view prefix) const {
  auto it = std::find_if(lines.begin(), lines.end(),
                         [&](const std::string& l) { return l.starts_with(prefix); });
  return it == lines.end() ? nullptr : &*it;
}

std::string ExplainFinal(const std::string& final_line) {
  for (std::string_view prefix : {"+CMS ERROR:", "+CME ERROR:"}) {
    if (!final_line.starts_with(prefix)) continue;
    std::string_view rest = std::string_view(final_line).substr(prefix.size());
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    // Only short codes are read: a modem sending a long run of digits gets
    // its line shown as it came.
    int code = 0;
    const bool numeric =
        !rest.empty() && rest.size() < 6 &&
        std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (numeric)
      for (char c : rest) code = code * 10 + (c - '0');
    const bool sms = prefix == std::string_view("+CMS ERROR:");
    if (const char* text = !numeric ? nullptr : sms ? CmsText(code) : CmeText(code))
      return final_line + " (" + text + ")";
  }
  return final_line;
}

namespace {

// Lines that never answer a command.
constexpr std::string_view kUnsolicitedWords[] = {
    "RING", "RDY", "NO CARRIER", "SMS Ready", "SMS DONE", "Call Ready", "PB DONE", "POWERED DOWN"};

// "+CMTI" of "+CMTI: "SM",3", "^RSSI" of "^RSSI:17" or "^BOOT" of "^BOOT";
// empty when the line has no such name.
std::string_view UnsolicitedName(std::string_view line) {
  if (line.empty() || (line.front() != '+' && line.front() != '^')) return {};
  std::size_t end = 1;
  while (end < line.size() && std::isalnum(static_cast<unsigned char>(line[end]))) ++end;
  if (end < 3 || !std::isalpha(static_cast<unsigned char>(line[1]))) return {};
  if (end < line.size() && line[end] != ':' && line[end] != ' ') return {};
  return line.substr(0, end);
}

bool StartsWithUpper(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && IEquals(text.substr(0, prefix.size()), prefix);
}

}  // namespace

bool AtChannel::Unsolicited(std::string_view command, const std::string& line) {
  std::string_view name = UnsolicitedName(line);
  const bool answers =
      !name.empty() && StartsWithUpper(command, "AT") && StartsWithUpper(command.substr(2), name);
  if (skip_next_) {  // the PDU (or text) that belongs to an unsolicited header
    skip_next_ = false;
    if (!answers) return true;
  }
  for (std::string_view word : kUnsolicitedWords) {
    if (line != word) continue;
    if (word == "RDY") restarted_ = true;
    return true;
  }
  if (name.empty() || answers) return false;
  std::string_view value = std::string_view(line).substr(name.size());
  while (!value.empty() && (value.front() == ':' || value.front() == ' ')) value.remove_prefix(1);
  if (name == "+CPIN" && value == "READY") restarted_ = true;
  // In PDU mode these headers are followed by the PDU, and +CMT in text mode
  // by the text; a +CDS in text mode is one line with many fields.
  if (name == "+CMT" || name == "+CBM" ||
      (name == "+CDS" && std::count(value.begin(), value.end(), ',') <= 1))
    skip_next_ = true;
  return true;
}

Status AtChannel::DropStaleInput() {
  for (int round = 0; round < 64; ++round) {
    std::size_t before = pending_.size();
    if (Status s = port_.Read(pending_, Millis(0)); !s.ok()) return s;
    if (pending_.size() == before) break;
  }
  // What came between commands is unsolicited; only a restart matters.
  for (std::size_t end; (end = pending_.find_first_of("\r\n")) != std::string::npos;) {
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (!line.empty()) (void)Unsolicited("", line);
  }
  pending_.clear();
  skip_next_ = false;
  return {};
}

Status AtChannel::Next(Millis deadline, bool want_prompt, Got& got, std::string& line) {
  for (;;) {
    // Blank lines and stray line ends between answers carry nothing, nor
    // do bytes no answer has (noise on the line, a wrong speed before the
    // right one).
    auto first = pending_.find_first_not_of("\r\n");
    pending_.erase(0, first == std::string::npos ? pending_.size() : first);
    if (want_prompt && !pending_.empty() && pending_.front() == '>') {
      pending_.erase(0, pending_.starts_with("> ") ? 2 : 1);
      got = Got::kPrompt;
      return {};
    }
    auto end = pending_.find_first_of("\r\n");
    if (end != std::string::npos) {
      line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      auto text = std::find_if(line.begin(), line.end(), [](char c) {
        auto b = static_cast<unsigned char>(c);
        return b >= 0x20 && b < 0x7F;
      });
      line.erase(line.begin(), text);
      if (line.empty()) continue;
      got = Got::kLine;
      return {};
    }
    Millis now = clock_.Now();
    if (now >= deadline) {
      got = Got::kTimeout;
      return {};
    }
    if (Status s = port_.Read(pending_, deadline - now); !s.ok()) return s;
  }
}

Status AtChannel::ReadAnswer(std::string_view command, std::string_view what, Millis deadline,
                             Millis timeout, AtReply& reply) {
  for (;;) {
    Got got;
    std::string line;
    if (Status s = Next(deadline, false, got, line); !s.ok()) return s;
    if (got == Got::kTimeout) {
      std::string text = "the modem did not answer " + std::string(what) + " within " +
                         std::to_string(timeout.count()) + " ms";
      if (!reply.lines.empty() || !pending_.empty()) {
        std::string heard;
        for (const auto& l : reply.lines) heard += l + " ";
        text += " (it sent only \"" + Shown(heard + pending_) + "\")";
      }
      return {Error::kNoAnswer, text};
    }
    if (IEquals(line, command)) continue;  // the echo of our own command
    if (Classify(line, reply.final)) {
      skip_next_ = false;
      reply.final_line = line;
      return {};
    }
    if (Unsolicited(command, line)) continue;
    reply.lines.push_back(line);
  }
}

Status AtChannel::Exchange(std::string_view command, Millis timeout, AtReply& reply) {
  reply = AtReply{};
  if (Status s = DropStaleInput(); !s.ok()) return s;
  Millis deadline = clock_.Now() + timeout;
  if (Status s = port_.Write(std::string(command) + "\r", timeout); !s.ok()) return s;
  return ReadAnswer(command, command, deadline, timeout, reply);
}

Status AtChannel::Require(std::string_view command, Millis timeout, AtReply& reply) {
  if (Status s = Exchange(command, timeout, reply); !s.ok()) return s;
  if (reply.ok()) return {};
  return {Error::kModemRefused,
          "the modem answered " + ExplainFinal(reply.final_line) + " to " + std::string(command)};
}

Status AtChannel::Pause(Millis duration) {
  Millis deadline = clock_.Now() + duration;
  for (;;) {
    Got got;
    std::string line;
    if (Status s = Next(deadline, false, got, line); !s.ok()) return s;
    if (got == Got::kTimeout) return {};
    (void)Unsolicited("", line);
  }
}

Status AtChannel::Submit(std::string_view command, std::string_view text, Millis prompt_timeout,
                         Millis answer_timeout, AtReply& reply, bool without_prompt) {
  reply = AtReply{};
  if (Status s = DropStaleInput(); !s.ok()) return s;
  Millis deadline = clock_.Now() + prompt_timeout;
  if (Status s = port_.Write(std::string(command) + "\r", prompt_timeout); !s.ok()) return s;
  bool prompted = false;
  while (!prompted) {
    Got got;
    std::string line;
    if (Status s = Next(deadline, true, got, line); !s.ok()) return s;
    if (got == Got::kPrompt) prompted = true;
    if (got != Got::kLine) break;
    if (IEquals(line, command)) continue;
    if (Classify(line, reply.final)) {
      reply.final_line = line;
      return {Error::kModemRefused,
              "the modem answered " + ExplainFinal(line) + " to " + std::string(command)};
    }
    if (Unsolicited(command, line)) continue;
    reply.lines.push_back(line);
  }
  reply.prompted = prompted;
  if (!prompted && !without_prompt) {
    std::string esc(1, kEsc);
    (void)port_.Write(esc, prompt_timeout);
    return {Error::kNoAnswer, "the modem did not prompt for the message text after " +
                                  std::string(command) + " within " +
                                  std::to_string(prompt_timeout.count()) + " ms"};
  }
  std::string body(text);
  body += kCtrlZ;
  Millis answer_deadline = clock_.Now() + answer_timeout;
  if (Status s = port_.Write(body, answer_timeout); !s.ok()) return s;
  Status s = ReadAnswer(command, "the message text", answer_deadline, answer_timeout, reply);
  if (!s.ok() && !prompted && s.error() == Error::kNoAnswer) {
    // Leave message entry in case the modem is still in it.
    std::string esc(1, kEsc);
    (void)port_.Write(esc, prompt_timeout);
    return {Error::kNoAnswer,
            "the modem did not prompt for the message text after " + std::string(command) +
                " within " + std::to_string(prompt_timeout.count()) +
                " ms, and did not answer the text sent without a prompt (" + s.text() + ")"};
  }
  if (!s.ok()) return s;
  if (reply.ok()) return {};
  return {Error::kModemRefused, "the modem answered " + ExplainFinal(reply.final_line) +
                                    " to the message text of " + std::string(command)};
}

}  // namespace smsdll
