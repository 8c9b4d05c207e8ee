// Runs the simulated terminal on a pseudo-terminal: reads the component's
// requests from the master side and writes the terminal's replies when they
// fall due. Usable from the mobi-terminal executable (on its main thread) and
// in-process from the mobi tool and tests (on a thread of its own).
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "common/pty_pair.h"
#include "terminal/core/terminal.h"

namespace mobi::terminal {

class TerminalServer {
 public:
  // `sink` is called on the serving thread for every event, with the time it
  // happened (kReplied: right after the reply's last byte was written).
  TerminalServer(TerminalConfig config, Terminal::EventSink sink);
  ~TerminalServer();  // stops the background thread if one runs
  TerminalServer(const TerminalServer&) = delete;
  TerminalServer& operator=(const TerminalServer&) = delete;

  // The slave device the component opens.
  const std::string& device_path() const { return pty_.slave_path(); }

  // Serves on the calling thread until Stop(), until `stop_fd` (if not -1)
  // becomes readable, or until an injected hang-up. Throws std::system_error
  // on a failed system call.
  void Run(int stop_fd = -1);
  // Serves on a background thread; a failure there is reported to the sink as
  // a kError event.
  void Start();
  // Ends Run (from any thread) and joins the background thread.
  void Stop();

  bool hung_up() const { return hung_up_.load(); }

 private:
  void AskForRealTime();
  void WriteDue(const std::vector<Emission>& due);
  void Report(Event event);

  Terminal::EventSink sink_;
  tools::PtyPair pty_;
  Terminal terminal_;
  int wake_fd_ = -1;
  std::thread thread_;
  std::atomic<bool> hung_up_{false};
};

}  // namespace mobi::terminal
