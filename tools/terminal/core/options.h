// The simulator's behaviour options, shared by the mobi-terminal executable
// and the mobi tool's built-in simulator (--sim).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "terminal/core/terminal.h"

namespace mobi::terminal {

struct OptionError : std::invalid_argument {
  using std::invalid_argument::invalid_argument;
};

// Applies the options in `args` ("--name value" or "--name=value") to
// `config`. Arguments that are not behaviour options are returned in order,
// for the caller to handle. Throws OptionError naming the option and the
// accepted values.
std::vector<std::string> ParseTerminalOptions(const std::vector<std::string>& args,
                                              TerminalConfig& config);

// Splits a string into arguments at blanks; single or double quotes group.
std::vector<std::string> SplitArguments(const std::string& line);

// The help text of the behaviour options, lines indented by two blanks.
const char* TerminalOptionsHelp();

}  // namespace mobi::terminal
