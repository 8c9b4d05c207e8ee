// The command-line convention of the mobi tools, on getopt_long: long options
// as --name=value or --name value (or any unambiguous prefix of the name),
// short options as -x value or -xvalue and bundled (-vp 77 is -v -p 77),
// operands anywhere among the options and "--" ending the options.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace mobi::cmdline {

// A mistake on the command line; the message names the argument.
struct UsageError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};
// An option no entry of the table names (or names ambiguously).
struct UnknownOption : UsageError {
  using UsageError::UsageError;
};

struct Option {
  std::string name;     // the long name, without "--"
  char short_name = 0;  // 0: none
  bool takes_value = false;
  // Called once per occurrence, in order, with the value ("" for a flag).
  // Throws (UsageError or another std::invalid_argument) naming the option
  // when the value is not acceptable.
  std::function<void(const std::string& value)> apply;
};

Option Flag(std::string name, char short_name, std::function<void()> apply);
Option Value(std::string name, char short_name, std::function<void(const std::string&)> apply);

// Applies the options in `args` (without the program name) and returns the
// operands in order. Every argument is looked at before anything is thrown,
// so the options after a mistake still take effect (a tool can honour its
// output format when it reports the mistake); then the first mistake is
// thrown: UnknownOption, a UsageError for a missing value or a value given
// to a flag, or what an `apply` threw. Uses getopt_long's global state: call
// it from one thread at a time.
std::vector<std::string> Parse(const std::vector<std::string>& args,
                               const std::vector<Option>& options);

}  // namespace mobi::cmdline
