// The mobi command-line tool's logic that needs no port: the command line,
// the checks that keep an unsendable text off the line, the exit codes and
// the output (readable or JSON lines).
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "internal/tool_hooks.h"
#include "mobi/clsSMS.h"

namespace mobi::cli {

// Exit codes, stable across versions: scripts depend on them.
enum ExitCode : int {
  kExitOk = 0,             // done; for send: delivered (typeCustOK)
  kExitInternal = 1,       // an unexpected failure inside the tool or component
  kExitUsage = 2,          // bad command line, or a number or text that cannot be sent
  kExitPort = 3,           // the port could not be opened or used, or the line hung up
  kExitFailed = 4,         // send: delivery report "FAILURE" (TypeCustError)
  kExitRejected = 5,       // the terminal answered "ERROR" (send typeError; centre refused)
  kExitNoReport = 6,       // send: centre accepted, no delivery report (typeCenterOK)
  kExitUnconfirmed = 7,    // send: only "OK" or nothing at all within 5 s (typeSendOk)
  kExitNoAnswer = 8,       // check: no answer within about 1 s; signal, centre, send: the
                           // terminal sent nothing at all (seen on the watched line)
  kExitDeliveredLate = 9,  // send --follow: a late report said delivered
  kExitFailedLate = 10,    // send --follow: a late report said FAILURE
};

// The exit codes as the help text and README list them.
const char* ExitCodeHelp();

using UsageError = cmdline::UsageError;

enum class Command { kCheck, kSignal, kCentre, kReset, kSend, kAt };

struct Invocation {
  Command command = Command::kCheck;
  std::vector<std::string> args;  // the command's arguments, UTF-8
  // Port: a number, or a device path mapped to `port_number`; none for the
  // built-in simulator.
  std::optional<int> port_number;
  std::string device;
  std::string settings = "9600,n,8,1";
  bool json = false;
  bool verbose = false;
  std::vector<std::string> sim_options;  // for the built-in simulator
  bool append_cr = false;                // at: add "\r"
  int listen_ms = 1000;                  // at: how long to show error texts afterwards
  int follow_s = 0;     // send: how long to wait for a late delivery report afterwards
  bool direct = false;  // with --port: the component opens the device itself, no line watch
  bool help = false;
  bool version = false;
};

// Parses argv (without the program name) into `inv`. Throws UsageError with
// a message that names the offending argument; `inv` then still holds every
// option given (so a mistake is reported as JSON when --json was asked for).
void ParseCommandLine(const std::vector<std::string>& args, Invocation& inv);
Invocation ParseCommandLine(const std::vector<std::string>& args);

const char* HelpText();

// What is written for each command, checked before anything reaches the port.
struct Payload {
  std::u16string number;  // SendSMS destination or SetMobiCode centre number
  std::u16string text;    // SendSMS text, ATSend string
};

// Frame limit of the component: a frame is at most 32768 bytes (0xAA, the
// command, the number's bytes and for SendSMS two bytes per UTF-16 unit).
inline constexpr size_t kMaxFrameBytes = 32768;

// Checks and converts the arguments of `send`, `centre` and `at`. Throws
// UsageError naming the limit that the input breaks: invalid UTF-8, an empty
// number or text, a number character that is not a single byte, a frame
// longer than the component can build.
Payload PreparePayload(const Invocation& inv);

// Checks a settings string "baud,parity,data,stop" against exactly what the
// component accepts: its own parser, and the speeds and data bits this
// system's serial layer sets. The component ignores refused settings at
// Initialize (and opens the port with its previous settings, or not at all),
// so the tool refuses them first, with the component's own description.
using LineSettings = line::Settings;
LineSettings CheckSettings(const std::string& settings);

// Warnings worth printing before a send (a number the delivery report cannot
// name in full); empty if none.
std::string SendWarning(const Payload& payload);

const char* StatusName(enuStatus_Type status);
const char* StatusMeaning(enuStatus_Type status);
int ExitCodeForStatus(enuStatus_Type status);
// Error numbers of the serial layer (380, 8000 and up) mean a port problem.
bool IsPortError(int32_t number);

// Writes progress and results, from the tool's thread and the simulator's
// thread alike.
class Reporter {
 public:
  Reporter(bool json, std::FILE* out, std::FILE* err) : json_(json), out_(out), err_(err) {}

  // A JSON line of key/value pairs; values are already-encoded JSON.
  struct Field {
    std::string key;
    std::string json;
  };
  // A JSON string of UTF-8 text. Quotes, backslashes and control characters
  // are escaped; every byte that does not belong to a valid UTF-8 sequence
  // (a stray continuation byte, a cut-short or overlong sequence, an encoded
  // surrogate, a value above U+10FFFF) becomes the escape \uFFFD, one per
  // byte, so a line is valid JSON in valid UTF-8 whatever a terminal or a
  // command line held.
  static std::string JsonString(std::string_view text);
  static std::string JsonNumber(double value, int decimals);

  // One event: in JSON mode the fields as one object on stdout; otherwise
  // `text` on stdout (or on stderr when `to_err`).
  void Emit(const std::string& text, const std::vector<Field>& fields, bool to_err = false);
  // A diagnostic line on stderr in both modes.
  void Note(const std::string& text);
  bool json() const { return json_; }

 private:
  std::mutex mutex_;
  bool json_;
  std::FILE* out_;
  std::FILE* err_;
};

}  // namespace mobi::cli
