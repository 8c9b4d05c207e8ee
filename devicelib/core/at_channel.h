// The command/answer exchange with an AT modem over a serial line: sends one
// command line, skips the echo and blank lines, collects the information
// lines and stops at the final result code (OK, ERROR, +CMS ERROR: <n>,
// +CME ERROR: <n>). Unsolicited lines that arrive meanwhile (RING, +CMTI,
// ^RSSI, a +CDS report with its PDU, ...) are taken out of the answer: a
// "+NAME:" or "^NAME:" line belongs to the answer only when the command is
// AT+NAME (AT^NAME), and a few bare words (RING, RDY, ...) never do. A modem
// announcing a restart (RDY, +CPIN: READY unsolicited) is noted for the
// driver, which then sets the modem up again.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform.h"

namespace smsdll {

struct AtReply {
  enum class Final { kOk, kError, kCmsError, kCmeError };
  Final final = Final::kOk;
  std::string final_line;          // "OK", "ERROR", "+CMS ERROR: 500"
  std::vector<std::string> lines;  // information lines in order of arrival
  bool prompted = false;           // message entry: the "> " prompt came

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
  // and Ctrl-Z, and reads the answer. Without a prompt within prompt_timeout
  // (and without a refusal) the entry is cancelled with Esc and the result is
  // kNoAnswer with reply.prompted false, nothing of the text sent; with
  // without_prompt the text goes all the same (some modems take it without
  // ever showing one), and when that gets no answer either the entry is
  // cancelled with Esc.
  Status Submit(std::string_view command, std::string_view text, Millis prompt_timeout,
                Millis answer_timeout, AtReply& reply, bool without_prompt = false);

  // Waits for duration without sending anything (blocked on the line, not
  // spinning), taking unsolicited lines as they come.
  Status Pause(Millis duration);

  // True once after the modem announced a restart (its settings are back to
  // power-on ones).
  bool TakeRestart() { return std::exchange(restarted_, false); }

 private:
  enum class Got { kLine, kPrompt, kTimeout };
  Status DropStaleInput();
  Status Next(Millis deadline, bool want_prompt, Got& got, std::string& line);
  // Reads lines until the final result code.
  Status ReadAnswer(std::string_view command, std::string_view what, Millis deadline,
                    Millis timeout, AtReply& reply);
  // True when line is unsolicited rather than part of the answer to command.
  bool Unsolicited(std::string_view command, const std::string& line);

  SerialPort& port_;
  Clock& clock_;
  std::string pending_;  // received bytes not yet taken as lines
  bool restarted_ = false;
  bool skip_next_ = false;  // the PDU or text line after an unsolicited +CMT/+CDS/+CBM
};

}  // namespace smsdll
