#include "terminal/core/options.h"

#include <gtest/gtest.h>

namespace mobi::terminal {
namespace {

TEST(TerminalOptions, AppliesEveryBehaviour) {
  TerminalConfig c;
  const auto rest = ParseTerminalOptions({"--level",
                                          "7",
                                          "--check-text=HELLO",
                                          "--reply-delay",
                                          "1",
                                          "--centre-delay=2",
                                          "--report-delay",
                                          "3",
                                          "--fail",
                                          "111",
                                          "--error",
                                          "222",
                                          "--no-report",
                                          "--error-text",
                                          "LOW BATTERY",
                                          "--unknown-type",
                                          "5",
                                          "--pace",
                                          "--baud",
                                          "115200",
                                          "--fault-pause",
                                          "9",
                                          "--input-gap",
                                          "2",
                                          "extra"},
                                         c);
  EXPECT_EQ(rest, std::vector<std::string>{"extra"});
  EXPECT_EQ(c.level, 7);
  EXPECT_EQ(c.check_text, "HELLO");
  EXPECT_EQ(c.reply_delay, Millis(1));
  EXPECT_EQ(c.centre_delay, Millis(2));
  EXPECT_EQ(c.report_delay, Millis(3));
  EXPECT_EQ(c.fail_numbers, std::set<std::string>{"111"});
  EXPECT_EQ(c.error_numbers, std::set<std::string>{"222"});
  EXPECT_TRUE(c.no_report);
  EXPECT_FALSE(c.silent);
  EXPECT_EQ(c.error_texts, std::vector<std::string>{"LOW BATTERY"});
  EXPECT_EQ(c.unknown_type, 5);
  EXPECT_TRUE(c.pace);
  EXPECT_EQ(c.baud, 115200);
  EXPECT_EQ(c.fault_pause, Millis(9));
  EXPECT_EQ(c.input_gap, Millis(2));
}

TEST(TerminalOptions, ParsesFaultSpecs) {
  TerminalConfig c;
  ParseTerminalOptions({"--fault", "split", "--fault", "stray:AA01@2", "--fault", "drop@1,3-5",
                        "--fault=hangup@4", "--fault", "glue"},
                       c);
  ASSERT_EQ(c.faults.size(), 5u);
  EXPECT_EQ(c.faults[0].kind, FaultRule::Kind::kSplit);
  EXPECT_TRUE(c.faults[0].Selects(1) && c.faults[0].Selects(99));
  EXPECT_EQ(c.faults[1].kind, FaultRule::Kind::kStray);
  EXPECT_EQ(c.faults[1].stray, (Bytes{0xAA, 0x01}));
  EXPECT_TRUE(c.faults[1].Selects(2));
  EXPECT_FALSE(c.faults[1].Selects(1));
  EXPECT_EQ(c.faults[2].replies, (std::set<int>{1, 3, 4, 5}));
  EXPECT_EQ(c.faults[3].kind, FaultRule::Kind::kHangup);
  EXPECT_EQ(c.faults[4].kind, FaultRule::Kind::kGlue);
  EXPECT_EQ(c.faults[2].stray, Bytes{0xFF});
}

TEST(TerminalOptions, RejectsBadValuesNamingTheOption) {
  const std::vector<std::vector<std::string>> bad = {
      {"--level", "256"},
      {"--level", "x"},
      {"--level"},
      {"--reply-delay", "-1"},
      {"--unknown-type", "9"},
      {"--fault", "melt"},
      {"--fault", "stray:XYZ"},
      {"--fault", "drop:AA"},
      {"--fault", "drop@0"},
      {"--fault", "drop@3-1"},
      {"--silent=yes"},
      {"--baud", "0"},
      {"--fault"},
      {"--levels=3"},
      {"--link", "/tmp/x"},
  };
  for (const auto& args : bad) {
    TerminalConfig c;
    try {
      ParseTerminalOptions(args, c);
      ADD_FAILURE() << "accepted " << args[0];
    } catch (const OptionError& e) {
      EXPECT_NE(std::string(e.what()).find(args[0].substr(0, args[0].find('='))), std::string::npos)
          << e.what();
    }
  }
}

TEST(SplitArguments, HonoursQuotes) {
  EXPECT_EQ(SplitArguments("--fail 123  --error-text 'LOW BATTERY' --check-text \"\""),
            (std::vector<std::string>{"--fail", "123", "--error-text", "LOW BATTERY",
                                      "--check-text", ""}));
  EXPECT_TRUE(SplitArguments("   ").empty());
  EXPECT_THROW(SplitArguments("--check-text 'open"), OptionError);
}

}  // namespace
}  // namespace mobi::terminal
