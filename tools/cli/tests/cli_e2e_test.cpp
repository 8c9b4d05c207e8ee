// The mobi tool end to end against the terminal simulator, in real time over
// real pseudo-terminals: every command, the progress lines, the exit codes and
// the injected faults. Each run is bounded by a timeout; the few cases that
// wait out the component's 5 s send budget do so because that is the outcome
// under test.
#include <gtest/gtest.h>

#include "common/tests/child_process.h"

namespace mobi::testing {

using tools::Process;
using tools::RunResult;
using tools::RunToEnd;
namespace {

using std::chrono::milliseconds;
constexpr milliseconds kRunTimeout{20000};

// A mobi-terminal process for one test, stopped with SIGTERM at the end.
class Terminal {
 public:
  explicit Terminal(std::vector<std::string> options) : process_(Argv(std::move(options))) {
    path_ = process_.ReadLine(milliseconds(5000));
  }
  const std::string& path() const { return path_; }
  // Stops the simulator and returns its log; expects a clean exit.
  std::string Stop(int signal = SIGTERM) {
    process_.Signal(signal);
    EXPECT_EQ(process_.Wait(milliseconds(5000)), 0) << process_.err();
    return process_.out();
  }
  // For a simulator that ended by itself (hang-up).
  std::string WaitEnd() {
    EXPECT_EQ(process_.Wait(milliseconds(5000)), 0) << process_.err();
    return process_.out();
  }

 private:
  static std::vector<std::string> Argv(std::vector<std::string> options) {
    options.insert(options.begin(), MOBI_TERMINAL_PATH);
    return options;
  }
  Process process_;
  std::string path_;
};

RunResult Mobi(std::vector<std::string> args) {
  args.insert(args.begin(), MOBI_CLI_PATH);
  return RunToEnd(args, kRunTimeout);
}

// Runs mobi against a fresh simulator with `sim_options`; returns the run
// and the simulator's log.
std::pair<RunResult, std::string> Against(std::vector<std::string> sim_options,
                                          std::vector<std::string> args) {
  Terminal terminal(std::move(sim_options));
  EXPECT_EQ(terminal.path().rfind("/dev/pts/", 0), 0u) << terminal.path();
  args.insert(args.begin(), {"--port", terminal.path()});
  RunResult run = Mobi(args);
  return {run, terminal.Stop()};
}

bool Has(const std::string& text, const std::string& piece) {
  return text.find(piece) != std::string::npos;
}

#define EXPECT_HAS(text, piece) \
  EXPECT_TRUE(Has(text, piece)) << "missing: " << (piece) << "\nin:\n" << (text)
#define EXPECT_LACKS(text, piece) \
  EXPECT_FALSE(Has(text, piece)) << "unexpected: " << (piece) << "\nin:\n" << (text)

TEST(MobiSend, DeliveredShowsEveryStatusInOrderAndExitsZero) {
  auto [run, log] = Against({}, {"send", "12345", "h\xC3\xA9llo \xE4\xB8\xAD"});
  EXPECT_EQ(run.code, 0) << run.err;
  const size_t sent = run.out.find("terminal: \"OK\" -> sent");
  const size_t centre = run.out.find("terminal: \"SEND OK\" -> centre accepted");
  const size_t delivered = run.out.find("terminal: \"SUCCESS12345\" -> delivered");
  ASSERT_NE(sent, std::string::npos) << run.out;
  EXPECT_GT(centre, sent);
  EXPECT_GT(delivered, centre);
  EXPECT_NE(delivered, std::string::npos) << run.out;
  EXPECT_HAS(run.out, "result: typeCustOK = 5 (delivered)");
  // The frame crossed the line byte-exact: number bytes, then UTF-16BE text.
  EXPECT_HAS(log, "rx AA 02 31 32 33 34 35 00 68 00 E9 00 6C 00 6C 00 6F 00 20 4E 2D | SendSMS");
  EXPECT_HAS(log, "text=\"h\xC3\xA9llo \xE4\xB8\xAD\"");
}

TEST(MobiSend, OutcomesMapToTheirExitCodes) {
  auto [failed, log1] = Against({"--fail", "555"}, {"send", "555", "x"});
  EXPECT_EQ(failed.code, 4) << failed.out << failed.err;
  EXPECT_HAS(failed.out, "result: TypeCustError = 4 (delivery failed)");

  auto [rejected, log2] = Against({"--error", "666"}, {"send", "666", "x"});
  EXPECT_EQ(rejected.code, 5) << rejected.out << rejected.err;
  EXPECT_HAS(rejected.out, "terminal: \"ERROR\" -> terminal error");
  EXPECT_HAS(rejected.out, "result: typeError = 6");
}

TEST(MobiSend, CentreAcceptedWithoutReportWaitsTheBudgetAndExitsSix) {
  auto [run, log] = Against({"--no-report", "--error-text", "LOW BATTERY"}, {"send", "123", "x"});
  EXPECT_EQ(run.code, 6) << run.out << run.err;
  EXPECT_HAS(run.out, "SMSError: LOW BATTERY");
  EXPECT_HAS(run.out, "result: typeCenterOK = 3 (accepted by the centre, no delivery report)");
}

TEST(MobiSend, FollowReportsALateDeliveryWithItsOwnExitCode) {
  auto [run, log] = Against({"--report-after", "6.5"}, {"--follow", "30", "send", "123", "x"});
  EXPECT_EQ(run.code, 9) << run.out << run.err;
  EXPECT_HAS(run.out, "result: typeCenterOK = 3");
  EXPECT_HAS(run.out, "follow: no final report yet; waiting up to 30 s");
  EXPECT_HAS(run.out, "delivered 6.");
  EXPECT_HAS(run.out, " s after the centre accepted it");
}

TEST(MobiSend, NothingButOkExitsSeven) {
  auto [run, log] = Against({"--fault", "drop@2-3"}, {"send", "123", "x"});
  EXPECT_EQ(run.code, 7) << run.out << run.err;
  EXPECT_HAS(run.out, "result: typeSendOk = 2");
  EXPECT_HAS(log, "fault: dropped reply 2");
}

TEST(MobiSend, JsonLinesCarryProgressAndResult) {
  auto [run, log] = Against({"--error-text", "NO CARRIER"}, {"--json", "send", "42", "hi"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_HAS(run.out, "{\"event\":\"start\",\"command\":\"send\",\"port\":1,");
  EXPECT_HAS(run.out, "\"simulator\":false,\"line_watch\":true}");
  EXPECT_HAS(run.out, "\"event\":\"progress\"");
  EXPECT_HAS(run.out, "\"event\":\"sms_error\"");
  EXPECT_HAS(run.out, "\"text\":\"NO CARRIER\"");
  EXPECT_HAS(run.out, "\"status\":\"typeCustOK\",\"value\":5");
  EXPECT_HAS(run.out, "\"exit_code\":0}");
  // Every line is one object.
  size_t start = 0;
  while (start < run.out.size()) {
    const size_t nl = run.out.find('\n', start);
    ASSERT_NE(nl, std::string::npos);
    EXPECT_EQ(run.out[start], '{');
    EXPECT_EQ(run.out[nl - 1], '}');
    start = nl + 1;
  }
}

TEST(MobiCommands, CheckSignalCentreResetAt) {
  Terminal terminal({"--level", "77", "--check-text", "READY 2", "--error", "999"});
  const std::string port = terminal.path();
  const RunResult check = Mobi({"-p", port, "check"});
  EXPECT_EQ(check.code, 0) << check.err;
  EXPECT_HAS(check.out, "check: READY 2");
  const RunResult level = Mobi({"-p", port, "signal"});
  EXPECT_EQ(level.code, 0) << level.err;
  EXPECT_HAS(level.out, "signal: 77");
  const RunResult centre = Mobi({"-p", port, "centre", "8613800290500"});
  EXPECT_EQ(centre.code, 0) << centre.err;
  const RunResult refused = Mobi({"-p", port, "centre", "999"});
  EXPECT_EQ(refused.code, 5) << refused.out;
  EXPECT_HAS(refused.out, "refused");
  const RunResult reset = Mobi({"-p", port, "reset"});
  EXPECT_EQ(reset.code, 0) << reset.err;
  const RunResult at = Mobi({"-p", port, "at", "AT+CSQ", "--cr", "--listen", "0"});
  EXPECT_EQ(at.code, 0) << at.err;
  const std::string log = terminal.Stop(SIGINT);
  EXPECT_HAS(log, "rx AA 00 | MobiCheck");
  EXPECT_HAS(log, "tx AA 14 4D | type 20 level 77");
  EXPECT_HAS(log, "rx AA 09 38 36 31 33 38 30 30 32 39 30 35 30 30 | SetMobiCode");
  EXPECT_HAS(log, "rx AA 07 | MobiReset");
  EXPECT_HAS(log, "rx 41 54 2B 43 53 51 0D | raw text \"AT+CSQ\\r\"");
}

TEST(MobiCommands, CheckWithoutAnswerExitsEight) {
  auto [silent, log] = Against({"--silent"}, {"check"});
  EXPECT_EQ(silent.code, 8) << silent.out;
  EXPECT_HAS(silent.out, "check: no answer");
  // A reply of an unknown type ends the wait without a text.
  auto [unknown, log2] = Against({"--unknown-type", "5"}, {"check"});
  EXPECT_EQ(unknown.code, 8) << unknown.out;
  EXPECT_HAS(log2, "type 5 (ignored type)");
}

TEST(MobiCommands, BuiltInSimulatorWhenNoPortIsGiven) {
  const RunResult run = Mobi({"-v", "--sim", "--level 9", "signal"});
  EXPECT_EQ(run.code, 0) << run.err;
  EXPECT_HAS(run.err, "using the built-in terminal simulator on /dev/pts/");
  EXPECT_HAS(run.out, "signal: 9");
  EXPECT_HAS(run.err, "rx AA 14 | MobiSignal");  // -v shows what crossed the line
  const RunResult send = Mobi({"--sim", "--fail 7", "send", "7", "x"});
  EXPECT_EQ(send.code, 4) << send.out << send.err;
}

TEST(MobiFaults, SplitReplyWithPauseIsTwoRepliesAndTheReportIsLost) {
  // The report goes out in two writes 30 ms apart: the component sees two
  // chunks, neither of them a report.
  auto [run, log] = Against({"--fault", "split@3", "--fault-pause", "30"}, {"send", "123", "x"});
  EXPECT_EQ(run.code, 6) << run.out << run.err;
  EXPECT_HAS(log, "fault: split reply 3");
  // The progress lines show the reply as the component received it.
  EXPECT_HAS(run.out, "terminal: \"SUCC\" -> no change");
}

TEST(MobiFaults, PacedAndSplitRepliesWithinTheQuietGapArriveWhole) {
  // 9600 baud: the 12-byte report takes 12.5 ms on the line, and its halves
  // are 2 ms apart; the serial layer still hands over each reply whole. The
  // component reads the simulator's device directly (no line watch between).
  auto [run, log] = Against({"--pace", "--baud", "9600", "--fault", "split", "--fault-pause", "2"},
                            {"--direct", "-s", "9600,n,8,1", "send", "123", "x"});
  if (Has(log, "late write:") && run.code != 0)
    GTEST_SKIP() << "the simulator could not keep the line rate on this busy machine:\n" << log;
  EXPECT_EQ(run.code, 0) << run.out << run.err << log;
  EXPECT_HAS(run.out, "result: typeCustOK = 5");
  EXPECT_HAS(log, "fault: split reply 3");
}

TEST(MobiFaults, GluedRepliesAreTwoReplies) {
  // "SEND OK" and the report in one write: the component hands them over one
  // by one, so the report counts.
  auto [run, log] = Against({"--fault", "glue@2"}, {"send", "123", "x"});
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_HAS(run.out, "result: typeCustOK = 5");
  EXPECT_HAS(log, "glued the held reply(s) in front of reply 3");
}

TEST(MobiFaults, StrayBytesAndDroppedRepliesAreSurvived) {
  // A stray byte is a reply of its own once the long quiet gap (25 ms, what a
  // USB adapter's forwarding needs) has passed before the reply.
  auto [stray, log] =
      Against({"--fault", "stray@1,3", "--fault-pause", "40"}, {"send", "123", "x"});
  EXPECT_EQ(stray.code, 0) << stray.out << stray.err;
  EXPECT_HAS(log, "fault: stray bytes FF before reply 1");
  auto [dropped, log2] = Against({"--fault", "drop@1"}, {"signal"});
  EXPECT_EQ(dropped.code, 8) << dropped.err;
  EXPECT_HAS(dropped.out, "signal: no reply came from the terminal");
}

TEST(MobiCommands, ASilentTerminalIsNoReplyNotAResult) {
  // The line watch sees that nothing came: no level 0, no "accepted", no
  // typeSendOk, but exit 8. -v shows the quiet gaps in use.
  Terminal terminal({"--silent"});
  const RunResult signal = Mobi({"-v", "-p", terminal.path(), "signal"});
  EXPECT_EQ(signal.code, 8) << signal.out << signal.err;
  EXPECT_HAS(signal.out, "signal: no reply came from the terminal");
  EXPECT_HAS(signal.err, "line: quiet gaps 5.0 ms for a reply known to be whole, 25.0 ms");
  const RunResult centre = Mobi({"-p", terminal.path(), "centre", "8613800290500"});
  EXPECT_EQ(centre.code, 8) << centre.out << centre.err;
  EXPECT_HAS(centre.out, "centre: no reply came");
}

TEST(MobiErrors, SettingsAreCheckedAsTheComponentChecksThem) {
  // The component's parser takes 4 data bits, but this serial layer cannot
  // set them: the tool refuses them with the component's own words.
  const RunResult four = Mobi({"-s", "9600,n,4,1", "check"});
  EXPECT_EQ(four.code, 2) << four.out << four.err;
  EXPECT_HAS(four.err, "4 data bits are not supported here");
  const RunResult odd = Mobi({"-s", "14400,n,8,1", "check"});
  EXPECT_EQ(odd.code, 2) << odd.out << odd.err;
  EXPECT_HAS(odd.err, "14400 baud is not a speed this system supports");
}

TEST(MobiFaults, HangupDuringTheWaitIsAPortError) {
  Terminal terminal({"--fault", "hangup@2"});
  const RunResult run = Mobi({"-p", terminal.path(), "send", "123", "x"});
  EXPECT_EQ(run.code, 3) << run.out << run.err;
  EXPECT_HAS(run.err, "hung up");
  EXPECT_HAS(run.out, "terminal: \"OK\" -> sent");
  // The simulator ends by itself after hanging up.
  const std::string log = terminal.WaitEnd();
  EXPECT_HAS(log, "hang-up");
}

TEST(MobiFaults, HangupReachesTheComponentOnADirectPort) {
  Terminal terminal({"--fault", "hangup@1"});
  const RunResult run = Mobi({"-p", terminal.path(), "--direct", "check"});
  EXPECT_EQ(run.code, 3) << run.out << run.err;
  EXPECT_HAS(run.err, "error 8020");
  EXPECT_HAS(terminal.WaitEnd(), "rx AA 00 | MobiCheck");
}

TEST(MobiCommands, DirectPortSendsWithoutTheLineWatch) {
  auto [run, log] = Against({}, {"--direct", "send", "321", "x"});
  EXPECT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_HAS(run.out, "result: typeCustOK = 5");
  EXPECT_LACKS(run.out, "terminal: ");
}

TEST(MobiErrors, UnsendableInputWritesNothing) {
  Terminal terminal({});
  const RunResult cjk = Mobi({"-p", terminal.path(), "send", "12\xE4\xB8\xAD", "x"});
  EXPECT_EQ(cjk.code, 2);
  EXPECT_HAS(cjk.err, "not a single-byte character");
  const RunResult too_long =
      Mobi({"-p", terminal.path(), "send", "12345", std::string(16381, 'a')});
  EXPECT_EQ(too_long.code, 2);
  EXPECT_HAS(too_long.err, "at most 16380 UTF-16 units");
  const RunResult empty = Mobi({"-p", terminal.path(), "send", "12345", ""});
  EXPECT_EQ(empty.code, 2);
  const RunResult usage = Mobi({"-p", terminal.path(), "send", "1"});
  EXPECT_EQ(usage.code, 2);
  EXPECT_LACKS(terminal.Stop(), " rx ");
}

TEST(MobiErrors, UsageErrorsAreErrorEventsInJson) {
  const RunResult unknown = Mobi({"--json", "-vx", "check"});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(unknown.out,
            "{\"event\":\"error\",\"description\":\"unknown option \\\"-x\\\" (see mobi --help; a "
            "TEXT that starts with - goes after --)\",\"exit_code\":2}\n");
  EXPECT_EQ(unknown.err, "");
  // A command line that is not UTF-8 still makes a valid JSON line.
  const RunResult bytes = Mobi({"\xFF", "--json"});
  EXPECT_EQ(bytes.code, 2);
  EXPECT_HAS(bytes.out, "\"description\":\"unknown command \\\"\\uFFFD\\\"");
  const RunResult readable = Mobi({"--listen"});
  EXPECT_EQ(readable.code, 2);
  EXPECT_EQ(readable.out, "");
  EXPECT_HAS(readable.err, "mobi: --listen: missing value\nTry 'mobi --help'.");
}

TEST(MobiErrors, MissingPortIsAPortProblem) {
  const RunResult run = Mobi({"-p", "/dev/mobi-no-such-port", "check"});
  EXPECT_EQ(run.code, 3) << run.out;
  EXPECT_HAS(run.err, "/dev/mobi-no-such-port: cannot open: No such file");
  const RunResult help = Mobi({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_HAS(help.out, "Exit codes:");
}

}  // namespace
}  // namespace mobi::testing
