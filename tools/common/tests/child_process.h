// Child processes for the tools' end-to-end tests: spawn with pipes, read
// with timeouts, signal and reap. Every wait is bounded.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace mobi::tools {

class Process {
 public:
  // Starts `argv` with stdout and stderr on pipes. Throws on failure.
  explicit Process(const std::vector<std::string>& argv);
  ~Process();  // kills and reaps a child still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // The first line of stdout (without the newline); empty if none came in time.
  std::string ReadLine(std::chrono::milliseconds timeout);
  // Sends `signal`; the child keeps running until it handles it.
  void Signal(int signal);
  // Reads both pipes to their end and reaps the child. Returns the exit code,
  // 128 + signal when killed, or -1 when it did not end in time (it is then
  // killed).
  int Wait(std::chrono::milliseconds timeout);

  const std::string& out() const { return out_; }
  const std::string& err() const { return err_; }

 private:
  pid_t pid_ = -1;
  int out_fd_ = -1;
  int err_fd_ = -1;
  std::string out_;
  std::string err_;
  size_t line_read_ = 0;
};

// Result of one run of a command to its end.
struct RunResult {
  int code;
  std::string out;
  std::string err;
};
RunResult RunToEnd(const std::vector<std::string>& argv, std::chrono::milliseconds timeout);

}  // namespace mobi::tools
