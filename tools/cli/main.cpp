// mobi: drives a modem terminal through the Mobi component from the shell.
// Without --port it starts the built-in terminal simulator in-process.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>

#include "cli/cli.h"
#include "cli/tap.h"
#include "internal/tool_hooks.h"
#include "mobi/clsSMS.h"
#include "mobi/errors.h"
#include "mobi/events.h"
#include "mobi/version.h"
#include "terminal/core/log.h"
#include "terminal/core/options.h"
#include "terminal/posix/server.h"

namespace mobi::cli {
namespace {

using terminal::Clock;
using Field = Reporter::Field;

std::string Utf8(const std::u16string& s) {
  return terminal::Utf16ToUtf8(s);
}
std::string Str(std::string_view s) {
  return Reporter::JsonString(s);
}
std::string Num(double v, int decimals = 0) {
  return Reporter::JsonNumber(v, decimals);
}

double Seconds(Clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

std::string Stamp(double seconds) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%7.3f s  ", seconds);
  return buf;
}

std::string Millis(std::chrono::nanoseconds d) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.1f ms", std::chrono::duration<double, std::milli>(d).count());
  return buf;
}

class Runner {
 public:
  Runner(const Invocation& inv, const Payload& payload, Reporter& rep)
      : inv_(inv), payload_(payload), rep_(rep), destination_(Utf8(payload.number)) {}

  int Run(const terminal::TerminalConfig& sim_config) {
    int port = inv_.port_number.value_or(1);
    std::string device = inv_.device;
    if (!inv_.port_number) {
      simulator_ = std::make_unique<terminal::TerminalServer>(
          sim_config, [this](const terminal::Event& e) { OnLine(e); });
      device = simulator_->device_path();
      rep_.Note("no port given: using the built-in terminal simulator on " + device + " (port 1)");
      simulator_->Start();
    } else if (device.empty()) {
      device = "/dev/ttyS" + std::to_string(port - 1);
    }
    std::string component_device = device;
    if (inv_.port_number && !inv_.direct) {
      try {
        tap_ = std::make_unique<LineTap>(
            device, CheckSettings(inv_.settings),
            inv_.command == Command::kSend ? payload_.number : std::u16string(),
            [this](const terminal::Bytes& chunk) { OnChunk(chunk); },
            [this](const terminal::Bytes& request) { OnRequest(request); },
            [this](const std::string& note) { rep_.Note(note); });
      } catch (const TapError& e) {
        rep_.Emit("mobi: " + std::string(e.what()),
                  {{"event", Str("error")},
                   {"description", Str(e.what())},
                   {"exit_code", Num(kExitPort)}},
                  true);
        return kExitPort;
      }
      component_device = tap_->path();
      tap_->Start();
    }
    if (!inv_.device.empty() || simulator_ || tap_) SetPortDevice(port, component_device);
    rep_.Emit({}, {{"event", Str("start")},
                   {"command", Str(CommandName())},
                   {"port", Num(port)},
                   {"device", Str(device)},
                   {"simulator", simulator_ ? "true" : "false"},
                   {"line_watch", tap_ ? "true" : "false"}});
    int code;
    try {
      code = RunCommand(port);
    } catch (const Error& e) {
      code = ReportError(e, device);
    } catch (const std::exception& e) {
      rep_.Emit("mobi: " + std::string(e.what()),
                {{"event", Str("error")},
                 {"description", Str(e.what())},
                 {"exit_code", Num(kExitInternal)}},
                true);
      code = kExitInternal;
    }
    if (simulator_) simulator_->Stop();
    if (tap_) tap_->Stop();
    return code;
  }

 private:
  const char* CommandName() const {
    switch (inv_.command) {
      case Command::kCheck:
        return "check";
      case Command::kSignal:
        return "signal";
      case Command::kCentre:
        return "centre";
      case Command::kReset:
        return "reset";
      case Command::kSend:
        return "send";
      case Command::kAt:
        return "at";
    }
    return "?";
  }

  double Elapsed() const {
    return Seconds(Clock::now() - Clock::time_point(Clock::duration(call_start_.load())));
  }
  void StartClock() { call_start_ = Clock::now().time_since_epoch().count(); }

  // Called on the simulator's thread for everything that crosses its line.
  void OnLine(const terminal::Event& e) {
    if (inv_.verbose) {
      const std::string line = terminal::FormatEvent(e, origin_);
      rep_.Emit(line, {{"event", Str("line")}, {"log", Str(line)}}, true);
    } else if (e.kind == terminal::Event::Kind::kError ||
               e.kind == terminal::Event::Kind::kHangup) {
      rep_.Note("simulator: " + terminal::FormatEvent(e, origin_));
    }
    if (e.kind == terminal::Event::Kind::kReplied) {
      replies_ += 1;
      ReportReply(e.reply);
    }
  }

  // Called on the line watch's thread for each reply chunk from the terminal.
  void OnChunk(const terminal::Bytes& chunk) {
    if (inv_.verbose) {
      const std::string line =
          "line: from terminal " + terminal::Hex(chunk) + " | " + terminal::DescribeReply(chunk);
      rep_.Emit(line, {{"event", Str("line")}, {"log", Str(line)}}, true);
    }
    ReportReply(chunk);
  }

  // Called on the line watch's thread for what the component writes.
  void OnRequest(const terminal::Bytes& bytes) {
    if (!inv_.verbose) return;
    const std::string line = "line: to terminal " + terminal::Hex(bytes) + " | " +
                             terminal::Describe(terminal::DecodeRequest(bytes));
    rep_.Emit(line, {{"event", Str("line")}, {"log", Str(line)}}, true);
  }

  // A progress line for a reply that arrives while a send waits.
  void ReportReply(const terminal::Bytes& reply) {
    if (!sending_.load()) return;
    const double t = Elapsed();
    if (reply.size() < 2) {
      rep_.Emit(Stamp(t) + "terminal: " + terminal::DescribeReply(reply) + " (discarded)",
                {{"event", Str("progress")},
                 {"elapsed", Num(t, 3)},
                 {"hex", Str(terminal::Hex(reply))},
                 {"meaning", Str("discarded")}});
      return;
    }
    const terminal::Bytes& e_reply = reply;
    const uint8_t type = e_reply[1];
    if (type == terminal::kReplyError) return;  // shown as SMSError when the component raises it
    const terminal::Bytes payload(e_reply.begin() + 2, e_reply.end());
    const std::string quoted = terminal::Quoted(payload);
    std::string meaning = "ignored reply type";
    std::string line = "terminal: " + terminal::DescribeReply(e_reply);
    if (type == terminal::kReplyStatus) {
      if (quoted.rfind("\"SEND OK", 0) == 0) centre_at_ = t;
      meaning = ProgressName(terminal::ClassifyStatusReport(
          std::string(payload.begin(), payload.end()), destination_));
      line = "terminal: " + quoted + " -> " + meaning;
    }
    rep_.Emit(Stamp(t) + line, {{"event", Str("progress")},
                                {"elapsed", Num(t, 3)},
                                {"type", Num(type)},
                                {"text", Str(quoted.substr(1, quoted.size() - 2))},
                                {"hex", Str(terminal::Hex(e_reply))},
                                {"meaning", Str(meaning)}});
  }

  void OnSmsError(const std::u16string& message) {
    const double t = Elapsed();
    rep_.Emit(Stamp(t) + "SMSError: " + Utf8(message),
              {{"event", Str("sms_error")}, {"elapsed", Num(t, 3)}, {"text", Str(Utf8(message))}});
  }

  int RunCommand(int port) {
    clsSMS sms;
    sms.SubscribeSMSError([this](const std::u16string& m) { OnSmsError(m); });
    std::u16string settings(inv_.settings.begin(), inv_.settings.end());
    sms.Initialize(static_cast<int16_t>(port), settings);
    init_failure_ = line::LastInitializeFailure();
    if (inv_.verbose) ReportGaps();
    StartClock();
    heard_before_ = Heard();
    switch (inv_.command) {
      case Command::kCheck: {
        const std::string text = Utf8(sms.MobiCheck());
        const bool answered = !text.empty();
        rep_.Emit(answered ? "check: " + text : "check: no answer within about 1 s",
                  Result({{"text", Str(text)}, {"answered", answered ? "true" : "false"}},
                         answered ? kExitOk : kExitNoAnswer));
        return answered ? kExitOk : kExitNoAnswer;
      }
      case Command::kSignal: {
        const int level = sms.MobiSignal();
        if (level == 0 && Silent()) return NoReply("signal", {{"level", Num(level)}});
        rep_.Emit("signal: " + std::to_string(level) +
                      (level == 0 ? " (no answer, or no signal at all)" : ""),
                  Result({{"level", Num(level)}}, kExitOk));
        return kExitOk;
      }
      case Command::kCentre: {
        const bool ok = sms.SetMobiCode(payload_.number);
        if (ok && Silent()) return NoReply("centre", {{"accepted", "true"}});
        const int code = ok ? kExitOk : kExitRejected;
        rep_.Emit(ok ? "centre: stored " + destination_ + " (the terminal did not refuse it)"
                     : "centre: refused, the terminal answered ERROR",
                  Result({{"accepted", ok ? "true" : "false"}}, code));
        return code;
      }
      case Command::kReset:
        sms.MobiReset();
        rep_.Emit("reset: sent", Result({}, kExitOk));
        return kExitOk;
      case Command::kSend:
        return Send(sms);
      case Command::kAt:
        return At(sms);
    }
    return kExitInternal;
  }

  int Send(clsSMS& sms) {
    if (const std::string w = SendWarning(payload_); !w.empty()) rep_.Note("warning: " + w);
    const size_t frame = 2 + payload_.number.size() + 2 * payload_.text.size();
    rep_.Emit("send: to " + destination_ + ", " + std::to_string(payload_.text.size()) +
                  " UTF-16 unit(s), frame of " + std::to_string(frame) +
                  " bytes; waiting up to 5 s for the report",
              {{"event", Str("sending")},
               {"number", Str(destination_)},
               {"units", Num(payload_.text.size())},
               {"frame_bytes", Num(frame)}});
    StartClock();
    sending_ = true;
    // A report for this destination that comes after SendSMS returned (it
    // names at most 11 characters of the number).
    if (inv_.follow_s > 0) {
      sms.SubscribeDeliveryReport([this](const std::u16string& destination, enuStatus_Type s) {
        if (!late_ && destination == payload_.number.substr(0, 11)) late_.emplace(s, Elapsed());
      });
    }
    const enuStatus_Type status = sms.SendSMS(payload_.number, payload_.text);
    if (tap_) tap_->Flush();
    const bool follow = inv_.follow_s > 0 && (status == typeSendOk || status == typeCenterOK);
    sending_ = follow;
    if (status == typeSendOk && Silent()) {
      return NoReply(
          "send", {{"status", Str(StatusName(status))}, {"value", Num(static_cast<int>(status))}});
    }
    const int code = ExitCodeForStatus(status);
    const double t = Elapsed();
    rep_.Emit(Stamp(t) + "result: " + StatusName(status) + " = " +
                  std::to_string(static_cast<int>(status)) + " (" + StatusMeaning(status) + ")",
              Result({{"status", Str(StatusName(status))},
                      {"value", Num(static_cast<int>(status))},
                      {"meaning", Str(StatusMeaning(status))},
                      {"elapsed", Num(t, 3)}},
                     code));
    if (!follow) return code;
    return Follow(code);
  }

  // send --follow: the line stays open, the component handles what arrives,
  // until a late report for the destination came or the time is up.
  int Follow(int code) {
    const int seconds = inv_.follow_s;
    rep_.Emit("follow: no final report yet; waiting up to " + std::to_string(seconds) +
                  " s for a late delivery report",
              {{"event", Str("following")}, {"seconds", Num(seconds)}});
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    auto next_progress = start + std::chrono::seconds(5);
    for (auto now = Clock::now(); !late_ && now < end; now = Clock::now()) {
      const auto until = std::min(end, next_progress);
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
      pollfd p{EventFd(), POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) > 0) DoEvents();
      if (!late_ && Clock::now() >= next_progress && Clock::now() < end) {
        const double waited = Seconds(Clock::now() - start);
        rep_.Emit(
            "follow: still waiting (" + Cell(waited) + " s of " + std::to_string(seconds) + " s)",
            {{"event", Str("waiting")},
             {"waited", Num(waited, 1)},
             {"seconds", Num(seconds)},
             {"elapsed", Num(Elapsed(), 3)}});
        next_progress += std::chrono::seconds(5);
      }
    }
    sending_ = false;
    if (!late_) {
      rep_.Emit("follow: no delivery report within " + std::to_string(seconds) + " s",
                {{"event", Str("late_report")},
                 {"status", "null"},
                 {"seconds", Num(seconds)},
                 {"exit_code", Num(code)}});
      return code;
    }
    const auto [status, at] = *late_;
    const double centre = centre_at_.load();
    const bool known = centre >= 0;
    const double after = at - (known ? centre : 0);
    const int late_code = status == typeCustOK ? kExitDeliveredLate : kExitFailedLate;
    rep_.Emit(std::string(status == typeCustOK ? "delivered " : "delivery failed ") + Cell(after) +
                  " s after " + (known ? "the centre accepted it" : "it was sent"),
              {{"event", Str("late_report")},
               {"status", Str(StatusName(status))},
               {"value", Num(static_cast<int>(status))},
               {"meaning", Str(StatusMeaning(status))},
               {"elapsed", Num(at, 3)},
               {known ? "after_centre" : "after_send", Num(after, 1)},
               {"exit_code", Num(late_code)}});
    return late_code;
  }

  int At(clsSMS& sms) {
    sms.ATSend(payload_.text);
    rep_.Emit("at: written; showing error texts for " + std::to_string(inv_.listen_ms) + " ms",
              {{"event", Str("written")}, {"listen_ms", Num(inv_.listen_ms)}});
    // The component hands replies over only while messages are processed:
    // poll its descriptor and let it work until the listening time is up.
    const auto end = Clock::now() + std::chrono::milliseconds(inv_.listen_ms);
    for (auto now = Clock::now(); now < end; now = Clock::now()) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
      pollfd p{EventFd(), POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) > 0) DoEvents();
    }
    rep_.Emit("at: done", Result({}, kExitOk));
    return kExitOk;
  }

  // What the tool has seen come from the terminal: bytes on the watched line,
  // or replies of the simulator; nothing when it cannot see the line.
  std::optional<uint64_t> Heard() const {
    if (tap_) return tap_->BytesFromTerminal();
    if (simulator_) return replies_.load();
    return std::nullopt;
  }
  // The terminal sent nothing at all during the call (and the tool saw it).
  bool Silent() {
    if (tap_) tap_->Flush();
    const auto now = Heard();
    return now && heard_before_ && *now == *heard_before_;
  }

  int NoReply(const char* command, std::vector<Field> fields) {
    const double t = Elapsed();
    rep_.Emit(std::string(command) + ": no reply came from the terminal (nothing arrived in " +
                  Cell(t) + " s)",
              Result(std::move(fields), kExitNoAnswer));
    return kExitNoAnswer;
  }
  static std::string Cell(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
  }

  void ReportGaps() {
    const auto gaps = line::OpenPortGaps();
    if (!gaps) return;
    std::string text = "line: quiet gaps " + Millis(gaps->whole) +
                       " for a reply known to be "
                       "whole, " +
                       Millis(gaps->other) + " for others";
    std::vector<Field> fields = {{"event", Str("gaps")},
                                 {"whole_ms", Num(gaps->whole.count() / 1e6, 3)},
                                 {"other_ms", Num(gaps->other.count() / 1e6, 3)}};
    if (tap_) {
      const auto forwarding = tap_->forwarding();
      text += "; the line watch cuts the device's replies at " + Millis(tap_->gaps().whole) +
              " and " + Millis(tap_->gaps().other) +
              (forwarding.count() ? " (it forwards every " + Millis(forwarding) + ")"
                                  : " (it reports no forwarding interval)");
      fields.push_back({"watch_other_ms", Num(tap_->gaps().other.count() / 1e6, 3)});
    }
    rep_.Emit(text, fields, true);
  }

  std::vector<Field> Result(std::vector<Field> fields, int code) const {
    fields.insert(fields.begin(), {{"event", Str("result")}, {"command", Str(CommandName())}});
    fields.push_back({"exit_code", Num(code)});
    return fields;
  }

  int ReportError(const Error& e, const std::string& device) {
    int code = kExitInternal;
    std::string text = "error " + std::to_string(e.number()) + ": " + e.what();
    if (IsPortError(e.number())) {
      code = kExitPort;
      if ((e.number() == mobi::kDeviceNotOpen || e.number() == mobi::kPortNotOpen) &&
          init_failure_) {
        // Initialize ignored why; the component kept it.
        text += "\nmobi: the port did not open: error " + std::to_string(init_failure_->number()) +
                ": " + init_failure_->what() + " (" + device + ")";
      }
    } else if (e.number() == mobi::kInvalidProcedureCall || e.number() == mobi::kOverflow ||
               e.number() == mobi::kSubscriptOutOfRange) {
      code = kExitUsage;  // the component refused the input before writing it
    }
    rep_.Emit("mobi: " + text,
              {{"event", Str("error")},
               {"number", Num(e.number())},
               {"description", Str(text)},
               {"exit_code", Num(code)}},
              true);
    return code;
  }

  const Invocation& inv_;
  const Payload& payload_;
  Reporter& rep_;
  const std::string destination_;
  const Clock::time_point origin_ = Clock::now();
  std::atomic<Clock::rep> call_start_{Clock::now().time_since_epoch().count()};
  std::atomic<bool> sending_{false};
  std::atomic<double> centre_at_{-1};  // when "SEND OK" came, on the send's clock
  // send --follow: the late report for the destination and when it came.
  std::optional<std::pair<enuStatus_Type, double>> late_;
  std::unique_ptr<terminal::TerminalServer> simulator_;
  std::unique_ptr<LineTap> tap_;
  std::atomic<uint64_t> replies_{0};  // replies the simulator wrote
  std::optional<uint64_t> heard_before_;
  std::optional<Error> init_failure_;
};

}  // namespace
}  // namespace mobi::cli

int main(int argc, char** argv) {
  using namespace mobi::cli;
  Invocation inv;
  Payload payload;
  mobi::terminal::TerminalConfig sim_config;
  try {
    ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), inv);
    if (inv.help) {
      std::printf("%s\nExit codes:\n%s", HelpText(), ExitCodeHelp());
      return kExitOk;
    }
    if (inv.version) {
      std::printf("mobi %s\n", MOBI_VERSION_STRING);
      return kExitOk;
    }
    payload = PreparePayload(inv);
    std::vector<std::string> rest;
    try {
      rest = mobi::terminal::ParseTerminalOptions(inv.sim_options, sim_config);
    } catch (const std::invalid_argument& e) {
      throw UsageError(std::string("--sim: ") + e.what());
    }
    if (!rest.empty()) throw UsageError("--sim: unexpected argument \"" + rest[0] + "\"");
  } catch (const std::invalid_argument& e) {
    // A usage error is an error event like the others, in JSON too.
    Reporter(inv.json, stdout, stderr)
        .Emit("mobi: " + std::string(e.what()) + "\nTry 'mobi --help'.",
              {{"event", Str("error")},
               {"description", Str(e.what())},
               {"exit_code", Num(kExitUsage)}},
              true);
    return kExitUsage;
  }
  Reporter reporter(inv.json, stdout, stderr);
  try {
    return Runner(inv, payload, reporter).Run(sim_config);
  } catch (const std::system_error& e) {  // the simulator's or the watch's pseudo-terminal
    reporter.Note(e.what());
    return kExitPort;
  } catch (const std::exception& e) {
    reporter.Note(e.what());
    return kExitInternal;
  }
}
