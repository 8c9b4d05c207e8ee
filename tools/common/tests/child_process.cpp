#include "common/tests/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

extern char** environ;

namespace mobi::tools {

using Clock = std::chrono::steady_clock;

Process::Process(const std::vector<std::string>& argv) {
  int out[2], err[2];
  if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::system_error(errno, std::generic_category(), "pipe2");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  close(err[1]);
  out_fd_ = out[0];
  err_fd_ = err[0];
  if (rc != 0) {
    pid_ = -1;
    throw std::system_error(rc, std::generic_category(), "posix_spawn " + argv[0]);
  }
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

namespace {
// Reads what is available from the open descriptors within `deadline`;
// returns false once the deadline passed. Closes a descriptor at its end.
bool Pump(int& out_fd, std::string& out, int& err_fd, std::string& err,
          Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return false;
  pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
  if (poll(fds, 2, static_cast<int>(left.count())) <= 0) return Clock::now() < deadline;
  int* fd[2] = {&out_fd, &err_fd};
  std::string* text[2] = {&out, &err};
  for (int i = 0; i < 2; ++i) {
    if (*fd[i] < 0 || !fds[i].revents) continue;
    char buf[4096];
    const ssize_t n = read(*fd[i], buf, sizeof buf);
    if (n > 0) {
      text[i]->append(buf, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      close(*fd[i]);
      *fd[i] = -1;
    }
  }
  return true;
}
}  // namespace

std::string Process::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const size_t nl = out_.find('\n', line_read_);
    if (nl != std::string::npos) {
      std::string line = out_.substr(line_read_, nl - line_read_);
      line_read_ = nl + 1;
      return line;
    }
    if (out_fd_ < 0 || !Pump(out_fd_, out_, err_fd_, err_, deadline)) return {};
  }
}

void Process::Signal(int signal) {
  if (pid_ > 0) kill(pid_, signal);
}

int Process::Wait(std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (out_fd_ >= 0 || err_fd_ >= 0) {
    if (!Pump(out_fd_, out_, err_fd_, err_, deadline)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return -1;
    }
  }
  int status = 0;
  waitpid(pid_, &status, 0);  // both pipes closed: the child has ended or is ending
  pid_ = -1;
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

RunResult RunToEnd(const std::vector<std::string>& argv, std::chrono::milliseconds timeout) {
  Process p(argv);
  const int code = p.Wait(timeout);
  return {code, p.out(), p.err()};
}

}  // namespace mobi::tools
