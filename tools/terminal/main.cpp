// mobi-terminal: a simulated modem terminal on a pseudo-terminal. Prints the
// device path it serves on the first line, then one log line per frame.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "mobi/version.h"
#include "terminal/core/log.h"
#include "terminal/core/options.h"
#include "terminal/posix/server.h"

namespace {

void PrintHelp() {
  std::printf(
      "Usage: mobi-terminal [OPTION]...\n"
      "Simulates a modem terminal on a pseudo-terminal. The first line on standard\n"
      "output is the device path to open (for example /dev/pts/3); every frame that\n"
      "crosses the line is then logged, one line each, in hex and decoded.\n"
      "Ends on SIGINT or SIGTERM (exit 0), or after an injected hang-up (exit 0).\n"
      "\n"
      "  --link PATH          also make PATH a symbolic link to the device (removed at exit)\n"
      "  --help               this text\n"
      "  --version            the version\n"
      "\n"
      "Behaviour:\n%s"
      "\n"
      "Exit codes: 0 stopped by a signal or after a hang-up; 2 bad options;\n"
      "1 the pseudo-terminal could not be set up or served.\n",
      mobi::terminal::TerminalOptionsHelp());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mobi::terminal;
  TerminalConfig config;
  std::string link;
  bool help = false;
  bool version = false;
  try {
    std::vector<mobi::cmdline::Option> options = TerminalOptions(config);
    options.push_back(mobi::cmdline::Value("link", 0, [&](const std::string& v) { link = v; }));
    options.push_back(mobi::cmdline::Flag("help", 'h', [&] { help = true; }));
    options.push_back(mobi::cmdline::Flag("version", 0, [&] { version = true; }));
    const std::vector<std::string> operands =
        mobi::cmdline::Parse(std::vector<std::string>(argv + 1, argv + argc), options);
    if (!operands.empty() && !help && !version)
      throw OptionError("unexpected argument \"" + operands[0] +
                        "\" (mobi-terminal takes options only)");
  } catch (const OptionError& e) {
    std::fprintf(stderr, "mobi-terminal: %s\nTry 'mobi-terminal --help'.\n", e.what());
    return 2;
  }
  if (help) {
    PrintHelp();
    return 0;
  }
  if (version) {
    std::printf("mobi-terminal %s\n", MOBI_VERSION_STRING);
    return 0;
  }

  // SIGINT and SIGTERM end the serving loop through a signal descriptor.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &stop_signals, nullptr) != 0) {
    std::perror("mobi-terminal: sigprocmask");
    return 1;
  }
  const int stop_fd = signalfd(-1, &stop_signals, SFD_CLOEXEC);
  if (stop_fd < 0) {
    std::perror("mobi-terminal: signalfd");
    return 1;
  }
  std::setvbuf(stdout, nullptr, _IOLBF, 0);

  try {
    const TimePoint origin = Clock::now();
    TerminalServer server(
        config, [origin](const Event& e) { std::printf("%s\n", FormatEvent(e, origin).c_str()); });
    if (!link.empty()) {
      unlink(link.c_str());
      if (symlink(server.device_path().c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "mobi-terminal: cannot link %s to %s: %s\n", link.c_str(),
                     server.device_path().c_str(), std::strerror(errno));
        return 1;
      }
    }
    std::printf("%s\n", server.device_path().c_str());
    std::fprintf(stderr, "mobi-terminal: serving on %s%s%s (Ctrl-C ends)\n",
                 server.device_path().c_str(), link.empty() ? "" : " as ", link.c_str());
    server.Run(stop_fd);
    if (!link.empty()) unlink(link.c_str());
    std::fprintf(stderr, "mobi-terminal: %s\n",
                 server.hung_up() ? "line hung up, ending" : "stopped");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mobi-terminal: %s\n", e.what());
    if (!link.empty()) unlink(link.c_str());
    return 1;
  }
  return 0;
}
