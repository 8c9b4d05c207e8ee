// The simulator's behaviour options, shared by the mobi-terminal executable
// and the mobi tool's built-in simulator (--sim).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "common/command_line.h"
#include "terminal/core/terminal.h"

namespace mobi::terminal {

using OptionError = cmdline::UsageError;

// The behaviour options as command-line table entries that apply to
// `config`; a program adds its own entries to them. A bad value throws
// OptionError naming the option and the accepted values.
std::vector<cmdline::Option> TerminalOptions(TerminalConfig& config);

// Applies the behaviour options in `args` (the tools' convention: "--name
// value" or "--name=value") to `config` and returns the operands. Throws
// OptionError for a bad value and for any other option.
std::vector<std::string> ParseTerminalOptions(const std::vector<std::string>& args,
                                              TerminalConfig& config);

// Splits a string into arguments at blanks; single or double quotes group.
std::vector<std::string> SplitArguments(const std::string& line);

// The help text of the behaviour options, lines indented by two blanks.
const char* TerminalOptionsHelp();

}  // namespace mobi::terminal
