// The orchestrator (POSIX): lists the simulator's scenarios, and runs each
// in a child process of its own against a fresh simulated modem, with every
// call bounded, then judges what happened.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report.h"
#include "scenario.h"

namespace qualify {

struct BenchOptions {
  std::string library;  // the device library file
  int port = 1;
  double delay_scale = 0.05;
  std::string modem;  // mobi-atmodem
  std::string self;   // this program, for the calls child
  bool bind_port = false;
  // Windows programs under Wine: the runner (tools/wine/wine-run), its
  // architecture, the prefix it uses and the Windows mobiapp-qualify.exe.
  std::string wine_run;
  std::string wine_bits = "64";
  std::string wine_prefix;
  std::string exe;
};

// The simulator's scenarios. Throws std::runtime_error when it cannot list them.
std::vector<Scenario> list_scenarios(const std::string& modem);

// Told of the scenario running and of each call as it returns.
using Progress = std::function<void(const std::string& scenario, std::size_t call)>;

class Bench {
 public:
  // Makes a working folder (removed by the destructor).
  explicit Bench(BenchOptions options);
  ~Bench();
  Bench(const Bench&) = delete;
  Bench& operator=(const Bench&) = delete;

  Row run(const Scenario& scenario, const Progress& progress);

 private:
  RunOutcome run_calls(const Scenario& scenario, const std::string& device,
                       const std::string& record, const std::string& child_log,
                       const Progress& progress);

  BenchOptions options_;
  std::string work_;
  std::string saved_com_;  // the prefix's comN link as it was, restored at the end
  bool had_com_ = false;
};

}  // namespace qualify
