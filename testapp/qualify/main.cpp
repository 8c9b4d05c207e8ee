// mobiapp-qualify: the qualification bench for device libraries. On Linux
// the whole bench; on Windows (mobiapp-qualify.exe) only the calls child,
// which a Linux bench runs under Wine.
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "calls.h"

#ifndef _WIN32
#include <fnmatch.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bench.h"
#include "common/command_line.h"
#if __has_include("mobi/version.h")
#include "mobi/version.h"
#endif
#endif

namespace {

const char kUsage[] = R"(Usage: mobiapp-qualify [OPTION]...
Qualifies an SMS device library (the five entries of ProjSmsDLL) against the
scenarios of the simulated modem, unattended. Each scenario runs in a child
process of its own against a fresh mobi-atmodem: the child makes the
scenario's calls through the library the way mobiapp does (the runtime's
outside-function declarations, 500-space buffers in guarded memory, texts
converted to GBK). A scenario passes when every call returns what it expects
(true with an empty error text, or false with one), the modem received each
message asked for exactly, once and whole, each fetched message equals the one
injected (text, sender, time stamp by its fields), nothing stored was deleted
before a fetch returned it, no buffer was broken and nothing crashed.

Every call must return within 20 s plus twice the scenario's delay times the
delay scale; a child that overruns is ended and the scenario fails.

Options:
  --library FILE       the device library (default: libProjSmsDLL.so in the
                       lib folder beside this program's folder)
  --port N             the port the library opens (default 1); it is mapped to
                       the simulated modem through PROJSMSDLL_PORT<N>, always
  --bind-port          also bind-mount the modem over /dev/ttyS<N-1> in a
                       private mount namespace of each scenario's child, for
                       libraries that open the platform's own device (root only)
  --scenario NAME      run only this scenario (a shell pattern); may be repeated
  --json               one JSON object per line and scenario on standard output
                       (scenario, result: pass, fail or n/a, seconds, why)
  --html FILE          also write a self-contained HTML report to FILE, with the
                       AT exchange of every failing scenario
  --delay-scale F      scale of the scenarios' delays (default 0.05)
  --modem PATH         the simulator (default: mobi-atmodem beside this program)
  --compare A B        qualify two libraries and list the scenarios where they differ
  --wine RUNNER        run the calls under Wine with RUNNER (tools/wine/wine-run);
                       needs --exe and --wine-prefix; the library is a DLL and
                       the port is COM<N> of the prefix, linked to the modem
  --wine-bits 64|32    the architecture RUNNER runs (default 64)
  --wine-prefix DIR    the Wine prefix RUNNER uses (its dosdevices/com<N> link
                       is pointed at the modem during each scenario)
  --exe PATH           mobiapp-qualify.exe, the Windows calls child
  --calls -            (the child) make the calls read from standard input and
                       write one JSON result line per call
  -h, --help           show this help and exit
      --version        show the version and exit

Exit status: 0 when every scenario passed (n/a does not fail), 1 when one
failed, 2 for a usage error or a bench that cannot start (no simulator, no
scenarios).
)";

int child_usage(const std::string& problem) {
  std::cerr << "mobiapp-qualify: " << problem << "\nTry 'mobiapp-qualify --help'.\n";
  return 2;
}

}  // namespace

#ifdef _WIN32

int main(int argc, char** argv) {
  qualify::CallsOptions options{"ProjSmsDLL.dll", 1};
  bool calls = false;
  std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw std::invalid_argument(args[i] + " needs a value");
      return args[++i];
    };
    try {
      if (args[i] == "-h" || args[i] == "--help") {
        std::cout << kUsage
                  << "\nThis Windows build is the calls child only (--calls - --library FILE "
                     "--port N).\n";
        return 0;
      } else if (args[i] == "--calls") {
        if (value() != "-") throw std::invalid_argument("--calls takes - (standard input)");
        calls = true;
      } else if (args[i] == "--library") {
        options.library = value();
      } else if (args[i] == "--port") {
        options.port = std::atoi(value().c_str());
      } else {
        throw std::invalid_argument("unknown option " + args[i]);
      }
    } catch (const std::invalid_argument& e) {
      return child_usage(e.what());
    }
  }
  if (!calls) return child_usage("the Windows build only makes calls (--calls -)");
  std::ios::sync_with_stdio(true);
  return qualify::run_calls(std::cin, std::cout, std::cerr, options);
}

#else

namespace {

namespace fs = std::filesystem;

// Shows the scenario running: an updating line on a terminal, otherwise a
// line per scenario once it is done.
class ProgressLine {
 public:
  explicit ProgressLine(std::size_t total) : total_(total), tty_(::isatty(2)) {}
  void running(std::size_t index, const std::string& scenario, std::size_t call) {
    if (!tty_) return;
    std::fprintf(stderr, "\r\033[K[%zu/%zu] %s: call %zu", index, total_, scenario.c_str(), call);
    std::fflush(stderr);
  }
  void done(std::size_t index, const qualify::Row& row) {
    if (tty_)
      std::fprintf(stderr, "\r\033[K");
    else
      std::fprintf(stderr, "mobiapp-qualify: [%zu/%zu] %s: %s (%.1f s)\n", index, total_,
                   row.scenario.c_str(), row.result.c_str(), row.seconds);
    std::fflush(stderr);
  }

 private:
  std::size_t total_;
  bool tty_;
};

}  // namespace

int main(int argc, char** argv) {
  using mobi::cmdline::Flag;
  using mobi::cmdline::UsageError;
  using mobi::cmdline::Value;
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const fs::path here = self.parent_path();

  qualify::BenchOptions options;
  options.self = self.string();
  options.library = (here.parent_path() / "lib" / "libProjSmsDLL.so").string();
  options.modem = (here / "mobi-atmodem").string();
  std::vector<std::string> patterns;
  bool json = false, help = false, version = false, calls = false, compare = false;
  std::string html;
  std::vector<std::string> operands;
  auto number = [](const std::string& v, const char* what) {
    char* end = nullptr;
    double d = std::strtod(v.c_str(), &end);
    if (v.empty() || *end || !(d >= 0)) throw UsageError(std::string(what) + " needs a number");
    return d;
  };
  const std::vector<mobi::cmdline::Option> table = {
      Flag("help", 'h', [&] { help = true; }),
      Flag("version", 0, [&] { version = true; }),
      Flag("json", 0, [&] { json = true; }),
      Flag("bind-port", 0, [&] { options.bind_port = true; }),
      Value("library", 0, [&](const std::string& v) { options.library = v; }),
      Value("port", 0,
            [&](const std::string& v) {
              double p = number(v, "--port");
              if (p < 1 || p > 255 || p != static_cast<int>(p))
                throw UsageError("--port needs a number from 1 to 255");
              options.port = static_cast<int>(p);
            }),
      Value("scenario", 0, [&](const std::string& v) { patterns.push_back(v); }),
      Value("html", 0, [&](const std::string& v) { html = v; }),
      Value("delay-scale", 0,
            [&](const std::string& v) { options.delay_scale = number(v, "--delay-scale"); }),
      Value("modem", 0, [&](const std::string& v) { options.modem = v; }),
      Flag("compare", 0, [&] { compare = true; }),
      Value("wine", 0, [&](const std::string& v) { options.wine_run = v; }),
      Value("wine-bits", 0,
            [&](const std::string& v) {
              if (v != "64" && v != "32") throw UsageError("--wine-bits needs 64 or 32");
              options.wine_bits = v;
            }),
      Value("wine-prefix", 0, [&](const std::string& v) { options.wine_prefix = v; }),
      Value("exe", 0, [&](const std::string& v) { options.exe = v; }),
      Value("calls", 0,
            [&](const std::string& v) {
              if (v != "-") throw UsageError("--calls takes - (standard input)");
              calls = true;
            }),
  };
  try {
    operands = mobi::cmdline::Parse(std::vector<std::string>(argv + 1, argv + argc), table);
    if (compare && operands.size() != 2) throw UsageError("--compare needs two libraries, A and B");
    if (!compare && !operands.empty() && !help && !version)
      throw UsageError("unexpected argument \"" + operands[0] + "\"");
    if (!options.wine_run.empty() && (options.exe.empty() || options.wine_prefix.empty()))
      throw UsageError("--wine needs --exe and --wine-prefix");
    if (options.bind_port && !options.wine_run.empty())
      throw UsageError("--bind-port is for native libraries; under Wine the port is COM<N>");
    if (options.bind_port && ::geteuid() != 0)
      throw UsageError(
          "--bind-port needs root (it unshares the mount namespace and bind-mounts the modem "
          "over /dev/ttyS<N-1>); it is not available to this user");
  } catch (const std::invalid_argument& e) {
    return child_usage(e.what());
  }
  if (help) {
    std::cout << kUsage;
    return 0;
  }
  if (version) {
    std::cout << "mobiapp-qualify " << MOBI_VERSION_STRING << "\n";
    return 0;
  }
  if (calls) {
    return qualify::run_calls(std::cin, std::cout, std::cerr, {options.library, options.port});
  }

  std::vector<qualify::Scenario> scenarios;
  try {
    auto all = qualify::list_scenarios(options.modem);
    for (const auto& p : patterns) {
      bool any = false;
      for (const auto& s : all) any = any || fnmatch(p.c_str(), s.name.c_str(), 0) == 0;
      if (!any) throw UsageError("no scenario is called " + p);
    }
    for (auto& s : all) {
      bool chosen = patterns.empty();
      for (const auto& p : patterns) chosen = chosen || fnmatch(p.c_str(), s.name.c_str(), 0) == 0;
      if (chosen) scenarios.push_back(std::move(s));
    }
    if (scenarios.empty()) throw UsageError("the simulator lists no scenarios");
  } catch (const std::exception& e) {
    return child_usage(e.what());
  }

  // A calls child that died must not take the bench with it when it is written to.
  ::signal(SIGPIPE, SIG_IGN);
  std::vector<std::string> libraries =
      compare ? operands : std::vector<std::string>{options.library};
  std::vector<qualify::Run> runs;
  for (const auto& library : libraries) {
    options.library = library;
    qualify::Run run{library, {}};
    try {
      qualify::Bench bench(options);
      ProgressLine progress(scenarios.size());
      for (std::size_t i = 0; i < scenarios.size(); ++i) {
        progress.running(i + 1, scenarios[i].name, 0);
        run.rows.push_back(bench.run(scenarios[i], [&](const std::string& name, std::size_t call) {
          progress.running(i + 1, name, call);
        }));
        progress.done(i + 1, run.rows.back());
        if (json)
          std::cout << qualify::json_line(run.rows.back(), compare ? library : "") << std::endl;
      }
    } catch (const std::exception& e) {
      std::cerr << "mobiapp-qualify: " << e.what() << "\n";
      return 2;
    }
    if (!json) std::cout << qualify::table(run) << std::flush;
    runs.push_back(std::move(run));
  }
  if (compare) {
    std::string diff = qualify::differences(runs[0], runs[1]);
    (json ? std::cerr : std::cout)
        << (diff.empty() ? "the two libraries give the same results\n" : diff);
  }
  if (!html.empty()) {
    std::ofstream out(html, std::ios::binary);
    out << qualify::html(
        runs,
        "Qualification of " + (compare ? libraries[0] + " and " + libraries[1] : libraries[0]));
    if (!out) {
      std::cerr << "mobiapp-qualify: cannot write " << html << "\n";
      return 2;
    }
  }
  for (const auto& run : runs)
    if (!run.passed()) return 1;
  return 0;
}

#endif
