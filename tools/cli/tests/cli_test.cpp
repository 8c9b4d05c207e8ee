// The tool's command line, input checks and exit codes, without a port.
#include "cli/cli.h"

#include <gtest/gtest.h>

namespace mobi::cli {
namespace {

Invocation Parse(std::vector<std::string> args) {
  return ParseCommandLine(args);
}

TEST(CommandLine, EveryCommandWithItsArguments) {
  EXPECT_EQ(Parse({"check"}).command, Command::kCheck);
  EXPECT_EQ(Parse({"signal"}).command, Command::kSignal);
  EXPECT_EQ(Parse({"reset"}).command, Command::kReset);
  const Invocation centre = Parse({"centre", "+8613800290500"});
  EXPECT_EQ(centre.command, Command::kCentre);
  EXPECT_EQ(centre.args, std::vector<std::string>{"+8613800290500"});
  // Options may come after the command; -- lets a text start with a dash.
  const Invocation send = Parse({"send", "123", "--json", "--", "-hello-"});
  EXPECT_EQ(send.command, Command::kSend);
  EXPECT_EQ(send.args, (std::vector<std::string>{"123", "-hello-"}));
  EXPECT_TRUE(send.json);
  const Invocation at = Parse({"at", "AT+CSQ", "--cr", "--listen=0"});
  EXPECT_TRUE(at.append_cr);
  EXPECT_EQ(at.listen_ms, 0);
  EXPECT_TRUE(Parse({"--help"}).help);
}

TEST(CommandLine, PortAsNumberPathOrMapping) {
  const Invocation n = Parse({"-p", "3", "check"});
  EXPECT_EQ(n.port_number, 3);
  EXPECT_TRUE(n.device.empty());
  const Invocation path = Parse({"--port", "/dev/ttyUSB0", "check"});
  EXPECT_EQ(path.port_number, 1);
  EXPECT_EQ(path.device, "/dev/ttyUSB0");
  const Invocation mapped = Parse({"--port=7=/dev/pts/4", "check"});
  EXPECT_EQ(mapped.port_number, 7);
  EXPECT_EQ(mapped.device, "/dev/pts/4");
  EXPECT_FALSE(Parse({"check"}).port_number.has_value());
  const Invocation sim = Parse({"--sim", "--fail 1 --error-text 'NO CARRIER'", "check"});
  EXPECT_EQ(sim.sim_options,
            (std::vector<std::string>{"--fail", "1", "--error-text", "NO CARRIER"}));
}

TEST(CommandLine, EverySpellingOfAnOption) {
  const std::vector<std::vector<std::string>> spellings = {
      {"--port=77", "--verbose", "check"},
      {"check", "--port", "77", "-v"},
      {"-vp", "77", "check"},
      {"-vp77", "check"},
      {"-v", "-p", "77", "check"},
  };
  for (const auto& args : spellings) {
    const Invocation inv = Parse(args);
    EXPECT_EQ(inv.port_number, 77) << args[0];
    EXPECT_TRUE(inv.verbose) << args[0];
    EXPECT_EQ(inv.command, Command::kCheck) << args[0];
  }
  EXPECT_EQ(Parse({"-s115200,n,8,1", "at", "AT", "--listen", "5"}).settings, "115200,n,8,1");
}

TEST(CommandLine, AMistakeLeavesTheOtherOptionsRead) {
  // So main can report the mistake as JSON.
  Invocation inv;
  EXPECT_THROW(ParseCommandLine({"--bogus", "--json", "check"}, inv), UsageError);
  EXPECT_TRUE(inv.json);
  Invocation no_command;
  EXPECT_THROW(ParseCommandLine({"--json"}, no_command), UsageError);
  EXPECT_TRUE(no_command.json);
}

TEST(CommandLine, RejectsMistakesNamingThem) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{}, "no command"},
      {{"fly"}, "unknown command \"fly\""},
      {{"send", "123"}, "usage: mobi send NUMBER TEXT"},
      {{"check", "extra"}, "usage: mobi check"},
      {{"-p", "0", "check"}, "--port"},
      {{"-p", "256", "check"}, "--port"},
      {{"-p", "x=/dev/a", "check"}, "--port"},
      {{"--port"}, "--port: missing value"},
      {{"check", "-vp"}, "--port: missing value"},
      {{"--bogus", "check"}, "unknown option \"--bogus\""},
      {{"-vx", "check"}, "unknown option \"-x\""},
      {{"--json=1", "check"}, "takes no value"},
      {{"--cr", "check"}, "--cr"},
      {{"-p", "2", "--sim", "--silent", "check"}, "--sim"},
      {{"-s", "9600,n,8", "check"}, "needs 4 fields"},
      {{"-s", "96OO,n,8,1", "check"}, "baud rate"},
      {{"-s", "9600,x,8,1", "check"}, "parity"},
      {{"-s", "9600,n,9,1", "check"}, "data bits"},
      {{"-s", "9600,n,8,3", "check"}, "stop bits"},
      {{"--sim", "--check-text 'open", "check"}, "unbalanced"},
  };
  for (const auto& [args, expected] : bad) {
    try {
      Parse(args);
      ADD_FAILURE() << "accepted: " << (args.empty() ? "(nothing)" : args[0]);
    } catch (const UsageError& e) {
      EXPECT_NE(std::string(e.what()).find(expected), std::string::npos) << e.what();
    }
  }
  EXPECT_NO_THROW(Parse({"-s", " 115200 , E , 7 , 1.5 ", "check"}));
}

Payload Prepare(std::vector<std::string> args) {
  return PreparePayload(Parse(std::move(args)));
}

std::string RejectionOf(std::vector<std::string> args) {
  try {
    Prepare(std::move(args));
  } catch (const UsageError& e) {
    return e.what();
  }
  return "(accepted)";
}

TEST(Payload, ConvertsUtf8ToUtf16) {
  const Payload p = Prepare({"send", "+8613800138000", "h\xC3\xA9 \xE4\xB8\xAD \xF0\x9F\x98\x80"});
  EXPECT_EQ(p.number, u"+8613800138000");
  EXPECT_EQ(p.text, std::u16string(u"h\u00E9 \u4E2D ") + char16_t(0xD83D) + char16_t(0xDE00));
  EXPECT_EQ(Prepare({"at", "AT+CSQ", "--cr"}).text, u"AT+CSQ\r");
  EXPECT_EQ(Prepare({"centre", "8613800290500"}).number, u"8613800290500");
}

TEST(Payload, RefusesWhatCannotBeSentAndNamesTheLimit) {
  EXPECT_NE(RejectionOf({"send", "", "hi"}).find("the number is empty"), std::string::npos);
  EXPECT_NE(RejectionOf({"send", "123", ""}).find("the text is empty"), std::string::npos);
  EXPECT_NE(RejectionOf({"centre", ""}).find("empty"), std::string::npos);
  EXPECT_NE(RejectionOf({"at", ""}).find("empty"), std::string::npos);
  const std::string cjk = RejectionOf({"send", "12\xE4\xB8\xAD", "hi"});
  EXPECT_NE(cjk.find("character 3 (U+4E2D) is not a single-byte character"), std::string::npos)
      << cjk;
  EXPECT_NE(RejectionOf({"send", "123", "a\xFF"}).find("not valid UTF-8 (byte 2"),
            std::string::npos);
  EXPECT_NE(RejectionOf({"at", "\xC3"}).find("not valid UTF-8"), std::string::npos);
}

TEST(Payload, FrameLimitIsExact) {
  // 2 + 5 + 2 * 16380 = 32767 bytes; 16381 units would make 32769.
  EXPECT_EQ(Prepare({"send", "12345", std::string(16380, 'a')}).text.size(), 16380u);
  const std::string too_long = RejectionOf({"send", "12345", std::string(16381, 'a')});
  EXPECT_NE(too_long.find("16381 UTF-16 units make a frame of 32769 bytes"), std::string::npos)
      << too_long;
  EXPECT_NE(too_long.find("at most 16380 UTF-16 units"), std::string::npos) << too_long;
  // With an even-length number the frame can be filled exactly.
  EXPECT_NO_THROW(Prepare({"send", "1234", std::string(16381, 'a')}));
  EXPECT_NO_THROW(Prepare({"centre", std::string(32766, '1')}));
  EXPECT_NE(RejectionOf({"centre", std::string(32767, '1')}).find("at most 32766"),
            std::string::npos);
}

TEST(Payload, WarnsWhenNoReportCanNameTheNumber) {
  EXPECT_EQ(SendWarning(Prepare({"send", "13800138000", "x"})), "");
  EXPECT_NE(SendWarning(Prepare({"send", "8613800138000", "x"})).find("13 characters"),
            std::string::npos);
}

TEST(ExitCodes, OnePerOutcome) {
  EXPECT_EQ(ExitCodeForStatus(typeCustOK), kExitOk);
  EXPECT_EQ(ExitCodeForStatus(TypeCustError), kExitFailed);
  EXPECT_EQ(ExitCodeForStatus(typeError), kExitRejected);
  EXPECT_EQ(ExitCodeForStatus(typeCenterOK), kExitNoReport);
  EXPECT_EQ(ExitCodeForStatus(typeSendOk), kExitUnconfirmed);
  EXPECT_EQ(ExitCodeForStatus(typeNoSend), kExitInternal);
  EXPECT_STREQ(StatusName(TypeCustError), "TypeCustError");
  EXPECT_TRUE(IsPortError(8018));
  EXPECT_TRUE(IsPortError(380));
  EXPECT_FALSE(IsPortError(6));
  // The help lists every code.
  for (int code = 0; code <= 8; ++code)
    EXPECT_NE(std::string(ExitCodeHelp()).find("  " + std::to_string(code) + "  "),
              std::string::npos);
}

TEST(Reporter, JsonLinesAreEscaped) {
  EXPECT_EQ(Reporter::JsonString("a\"b\\c\n\x01 \xE4\xB8\xAD"),
            "\"a\\\"b\\\\c\\n\\u0001 \xE4\xB8\xAD\"");
  // Each byte outside valid UTF-8 is one \uFFFD; what is valid around it stays.
  const std::vector<std::pair<std::string, std::string>> invalid = {
      {"a\xFFz", "a\\uFFFDz"},
      {"\x80", "\\uFFFD"},                                   // stray continuation
      {"\xE4\xB8Z", "\\uFFFD\\uFFFDZ"},                      // cut short
      {"\xC0\xAF", "\\uFFFD\\uFFFD"},                        // overlong "/"
      {"\xED\xA0\x80", "\\uFFFD\\uFFFD\\uFFFD"},             // encoded surrogate
      {"\xF4\x90\x80\x80", "\\uFFFD\\uFFFD\\uFFFD\\uFFFD"},  // above U+10FFFF
      {"\xF0\x9F\x98\x80\xE4", "\xF0\x9F\x98\x80\\uFFFD"},   // valid, then cut
  };
  for (const auto& [bytes, json] : invalid)
    EXPECT_EQ(Reporter::JsonString(bytes), "\"" + json + "\"") << json;
  char* buffer = nullptr;
  size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  {
    Reporter json(true, out, out);
    json.Emit("ignored in JSON",
              {{"event", Reporter::JsonString("result")}, {"value", Reporter::JsonNumber(5, 0)}});
    Reporter text(false, out, out);
    text.Emit("readable", {{"event", "\"x\""}});
    text.Emit("", {{"event", "\"x\""}});  // nothing in readable mode
  }
  std::fclose(out);
  EXPECT_EQ(std::string(buffer, size), "{\"event\":\"result\",\"value\":5}\nreadable\n");
  free(buffer);
}

}  // namespace
}  // namespace mobi::cli
