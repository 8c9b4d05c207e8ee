// The one command-line convention of the tools.
#include "common/command_line.h"

#include <gtest/gtest.h>

namespace mobi::cmdline {
namespace {

// A table like the tools' own: a flag with a short name, valued options with
// and without one, and two long names where one is a prefix of the other.
struct Seen {
  bool verbose = false;
  bool json = false;
  std::vector<std::string> ports;
  std::vector<std::string> faults;
  std::string pause;
};

std::vector<Option> Table(Seen& s) {
  return {
      Flag("verbose", 'v', [&s] { s.verbose = true; }),
      Flag("json", 0, [&s] { s.json = true; }),
      Value("port", 'p', [&s](const std::string& v) { s.ports.push_back(v); }),
      Value("fault", 0, [&s](const std::string& v) { s.faults.push_back(v); }),
      Value("fault-pause", 0,
            [&s](const std::string& v) {
              if (v.empty()) throw UsageError("--fault-pause: empty");
              s.pause = v;
            }),
  };
}

TEST(OptionParser, EverySpellingOfAValue) {
  const std::vector<std::vector<std::string>> spellings = {
      {"--port=77"}, {"--port", "77"}, {"-p", "77"}, {"-p77"}, {"--po", "77"}, {"--po=77"},
  };
  for (const auto& args : spellings) {
    Seen s;
    EXPECT_TRUE(Parse(args, Table(s)).empty()) << args[0];
    EXPECT_EQ(s.ports, std::vector<std::string>{"77"}) << args[0];
  }
  // A value may itself start with a dash or hold "=".
  Seen s;
  Parse({"--port", "-1", "--port=7=/dev/x", "-p", "--json"}, Table(s));
  EXPECT_EQ(s.ports, (std::vector<std::string>{"-1", "7=/dev/x", "--json"}));
  EXPECT_FALSE(s.json);
}

TEST(OptionParser, BundledShortOptionsAndOperandsInOrder) {
  Seen s;
  const auto operands =
      Parse({"send", "-vp", "77", "123", "--json", "-", "--", "-v", "--x"}, Table(s));
  EXPECT_TRUE(s.verbose);
  EXPECT_TRUE(s.json);
  EXPECT_EQ(s.ports, std::vector<std::string>{"77"});
  EXPECT_EQ(operands, (std::vector<std::string>{"send", "123", "-", "-v", "--x"}));
  // An exact name wins over a longer one it is the prefix of.
  Parse({"--fault", "split", "--fault-p=3"}, Table(s));
  EXPECT_EQ(s.faults, std::vector<std::string>{"split"});
  EXPECT_EQ(s.pause, "3");
}

TEST(OptionParser, MistakesAreNamed) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
      {{"--bogus"}, "unknown option \"--bogus\""},
      {{"--bogus=1"}, "unknown option \"--bogus\""},
      {{"-x"}, "unknown option \"-x\""},
      {{"-vx"}, "unknown option \"-x\""},
      {{"--fa", "1"}, "ambiguous option \"--fa\" (--fault, --fault-pause)"},
      {{"--port"}, "--port: missing value"},
      {{"-v", "-p"}, "--port: missing value"},
      {{"--json=1"}, "--json: takes no value"},
      {{"--verbose=yes"}, "--verbose: takes no value"},
      {{"--fault-pause="}, "--fault-pause: empty"},
  };
  for (const auto& [args, expected] : bad) {
    Seen s;
    try {
      Parse(args, Table(s));
      ADD_FAILURE() << "accepted " << args[0];
    } catch (const UsageError& e) {
      EXPECT_EQ(e.what(), expected);
    }
  }
  Seen s;
  EXPECT_THROW(Parse({"--bogus"}, Table(s)), UnknownOption);
  EXPECT_THROW(Parse({"--port"}, Table(s)), UsageError);
}

TEST(OptionParser, TheFirstMistakeIsThrownAfterEveryArgumentIsRead) {
  Seen s;
  try {
    Parse({"-x", "--port=", "--fault-pause=", "--json", "-p", "3"}, Table(s));
    ADD_FAILURE() << "accepted";
  } catch (const UnknownOption& e) {
    EXPECT_STREQ(e.what(), "unknown option \"-x\"");
  }
  EXPECT_TRUE(s.json);
  EXPECT_EQ(s.ports, (std::vector<std::string>{"", "3"}));
  // A new call starts a new scan.
  Seen again;
  EXPECT_EQ(Parse({"a", "-v"}, Table(again)), std::vector<std::string>{"a"});
  EXPECT_TRUE(again.verbose);
}

}  // namespace
}  // namespace mobi::cmdline
