// The command/answer exchange with an AT modem over a serial line: sends one
// command line, skips the echo and blank lines, collects the information
// lines and stops at the final result code (OK, ERROR, +CMS ERROR: <n>,
// +CME ERROR: <n>). Unsolicited lines (+CMTI, RING) that arrive meanwhile
// are collected like information lines; callers pick lines by prefix.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform.h"

namespace smsdll {

struct AtReply {
  enum class Final { kOk, kError, kCmsError, kCmeError };
  Final final = Final::kOk;
  std::string final_line;          // "OK", "ERROR", "+CMS ERROR: 500"
  std::vector<std::string> lines;  // information lines in order of arrival

  bool ok() const { return final == Final::kOk; }
  // The first line that starts with prefix, or nullptr.
  const std::string* Find(std::string_view prefix) const;
};

// "+CMS ERROR: 331" -> "+CMS ERROR: 331 (no network service)".
std::string ExplainFinal(const std::string& final_line);

class AtChannel {
 public:
  AtChannel(SerialPort& port, Clock& clock) : port_(port), clock_(clock) {}

  // Sends "<command>\r" and reads the answer. Fails only when the line fails
  // or no final result code arrives within timeout; an ERROR answer is a
  // successful exchange whose reply says so.
  Status Exchange(std::string_view command, Millis timeout, AtReply& reply);

  // Exchange, and an answer other than OK is the error kModemRefused naming
  // the command and the modem's answer.
  Status Require(std::string_view command, Millis timeout, AtReply& reply);

  // Message entry: sends "<command>\r", waits for the "> " prompt, sends text
  // and Ctrl-Z, and reads the answer. Without a prompt the entry is
  // cancelled with Esc.
  Status Submit(std::string_view command, std::string_view text, Millis prompt_timeout,
                Millis answer_timeout, AtReply& reply);

 private:
  enum class Got { kLine, kPrompt, kTimeout };
  Status DropStaleInput();
  Status Next(Millis deadline, bool want_prompt, Got& got, std::string& line);
  // Reads lines until the final result code.
  Status ReadAnswer(std::string_view command, Millis deadline, Millis timeout, AtReply& reply);

  SerialPort& port_;
  Clock& clock_;
  std::string pending_;  // received bytes not yet taken as lines
};

}  // namespace smsdll
