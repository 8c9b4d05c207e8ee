#include "bench.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace qualify {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::string errno_text(const std::string& what) {
  return what + ": " + std::strerror(errno);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

// The last lines of a text, for a short cause.
std::string tail(const std::string& text, std::size_t lines) {
  std::size_t end = text.size();
  while (end > 0 && text[end - 1] == '\n') --end;
  std::size_t begin = end;
  for (std::size_t n = 0; begin > 0 && n < lines; --begin)
    if (text[begin - 1] == '\n' && ++n == lines) break;
  std::string out = text.substr(begin, end - begin);
  for (auto& c : out)
    if (c == '\n') c = ' ';
  return out;
}

// A child in a process group of its own, its stdout (and stdin) on pipes,
// its stderr in a file.
class Child {
 public:
  // `before_exec` runs in the child just before exec; a non-empty answer is
  // written to its stderr and the child ends with 127.
  Child(const std::vector<std::string>& argv, const std::vector<std::string>& env, bool with_stdin,
        const std::string& err_file, const std::function<std::string()>& before_exec = {}) {
    int out[2], in[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error(errno_text("pipe"));
    if (with_stdin && ::pipe2(in, O_CLOEXEC) != 0) throw std::runtime_error(errno_text("pipe"));
    int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (err < 0) throw std::runtime_error(errno_text("cannot write " + err_file));
    std::vector<std::string> envs;
    for (char** e = environ; *e; ++e) envs.emplace_back(*e);
    for (const auto& add : env) {
      auto eq = add.find('=');
      std::erase_if(
          envs, [&](const std::string& e) { return e.compare(0, eq + 1, add, 0, eq + 1) == 0; });
      envs.push_back(add);
    }
    std::vector<char*> args, envp;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : envs) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ < 0) throw std::runtime_error(errno_text("fork"));
    if (pid_ == 0) {
      ::setpgid(0, 0);
      ::dup2(out[1], 1);
      ::dup2(err, 2);
      if (with_stdin) ::dup2(in[0], 0);
      if (before_exec) {
        std::string problem = before_exec();
        if (!problem.empty()) {
          problem = "mobiapp-qualify: " + problem + "\n";
          (void)!::write(2, problem.data(), problem.size());
          ::_exit(127);
        }
      }
      ::execve(args[0], args.data(), envp.data());
      std::string problem = errno_text("mobiapp-qualify: cannot start " + argv[0]) + "\n";
      (void)!::write(2, problem.data(), problem.size());
      ::_exit(127);
    }
    ::setpgid(pid_, pid_);  // also here, so that it holds before any signal
    ::close(out[1]);
    ::close(err);
    out_ = out[0];
    if (with_stdin) {
      ::close(in[0]);
      in_ = in[1];
    }
    pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidfd_ < 0) throw std::runtime_error(errno_text("pidfd_open"));
  }

  ~Child() {
    if (pid_ > 0 && !reaped_) stop();
    for (int fd : {out_, in_, pidfd_})
      if (fd >= 0) ::close(fd);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Writes all of `data` to the child's stdin.
  void feed(const std::string& data) {
    std::size_t done = 0;
    while (done < data.size()) {
      ssize_t n = ::write(in_, data.data() + done, data.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) break;  // the child is gone; its results tell
      done += static_cast<std::size_t>(n);
    }
  }
  void close_input() {
    if (in_ >= 0) ::close(in_);
    in_ = -1;
  }

  enum class Line { Got, End, Late };
  // The next line of stdout by the deadline.
  Line read_line(Clock::time_point deadline, std::string& line) {
    for (;;) {
      auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return Line::Got;
      }
      if (ended_) return Line::End;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return Line::Late;
      pollfd p{out_, POLLIN, 0};
      int r = ::poll(&p, 1, static_cast<int>(left.count()));
      if (r < 0 && errno != EINTR) throw std::runtime_error(errno_text("poll"));
      if (r <= 0) continue;
      char buf[4096];
      ssize_t n = ::read(out_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        ended_ = true;
        continue;
      }
      buffer_.append(buf, static_cast<std::size_t>(n));
    }
  }

  // Waits for the child's end by the deadline; false when it is still running.
  bool wait(Clock::time_point deadline) {
    if (reaped_) return true;
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd p{pidfd_, POLLIN, 0};
      int r = ::poll(&p, 1, static_cast<int>(std::max<long>(0, left.count())));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) return false;
      if (::waitpid(pid_, &status_, 0) == pid_) reaped_ = true;
      return reaped_;
    }
  }

  // TERM to the group (a runner passes it on), then KILL after 5 s.
  void stop() {
    if (reaped_) return;
    ::kill(-pid_, SIGTERM);
    if (wait(Clock::now() + std::chrono::seconds(5))) return;
    ::kill(-pid_, SIGKILL);
    wait(Clock::now() + std::chrono::seconds(5));
  }

  // "exit 3", "signal 11 (Segmentation fault)"
  std::string how_it_ended() const {
    if (!reaped_) return "still running";
    if (WIFSIGNALED(status_))
      return "signal " + std::to_string(WTERMSIG(status_)) + " (" + strsignal(WTERMSIG(status_)) +
             ")";
    return "exit " + std::to_string(WEXITSTATUS(status_));
  }
  bool exited(int code) const {
    return reaped_ && WIFEXITED(status_) && WEXITSTATUS(status_) == code;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1, in_ = -1, pidfd_ = -1;
  std::string buffer_;
  bool ended_ = false;
  bool reaped_ = false;
  int status_ = 0;
};

std::size_t count_lines(const std::string& path) {
  std::string all = read_file(path);
  return static_cast<std::size_t>(std::count(all.begin(), all.end(), '\n'));
}

// A path as a Windows program under Wine sees it (drive Z: is the root).
std::string windows_path(const std::string& path) {
  if (path.empty() || path[0] != '/') return path;
  std::string out = "Z:" + fs::absolute(path).lexically_normal().string();
  for (auto& c : out)
    if (c == '/') c = '\\';
  return out;
}

std::string safe_name(const std::string& name) {
  std::string out;
  for (char c : name) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out.substr(0, 60);
}

}  // namespace

std::vector<Scenario> list_scenarios(const std::string& modem) {
  char dir[] = "/tmp/mobiapp-qualify-list.XXXXXX";
  if (!::mkdtemp(dir)) throw std::runtime_error(errno_text("mkdtemp"));
  const std::string err_file = std::string(dir) + "/stderr";
  std::string out;
  std::string ended;
  {
    Child child({modem, "--list-scenarios", "--json"}, {}, false, err_file);
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    std::string line;
    Child::Line got;
    while ((got = child.read_line(deadline, line)) == Child::Line::Got) out += line + "\n";
    if (got == Child::Line::Late) ended = "did not finish in 20 s";
    if (ended.empty() && (!child.wait(deadline) || !child.exited(0))) ended = child.how_it_ended();
    if (!ended.empty()) ended += ": " + tail(read_file(err_file), 3);
  }
  fs::remove_all(dir);
  if (!ended.empty()) throw std::runtime_error(modem + " --list-scenarios --json: " + ended);
  return parse_scenarios(out);
}

Bench::Bench(BenchOptions options) : options_(std::move(options)) {
  char dir[] = "/tmp/mobiapp-qualify.XXXXXX";
  if (!::mkdtemp(dir)) throw std::runtime_error(errno_text("mkdtemp"));
  work_ = dir;
  if (!options_.wine_run.empty()) {
    const fs::path com =
        fs::path(options_.wine_prefix) / "dosdevices" / ("com" + std::to_string(options_.port));
    std::error_code ec;
    if (fs::is_symlink(com, ec)) {
      saved_com_ = fs::read_symlink(com, ec).string();
      had_com_ = !ec;
    }
  }
}

Bench::~Bench() {
  std::error_code ec;
  fs::remove_all(work_, ec);
  if (had_com_) {
    const fs::path com =
        fs::path(options_.wine_prefix) / "dosdevices" / ("com" + std::to_string(options_.port));
    fs::remove(com, ec);
    fs::create_symlink(saved_com_, com, ec);
  }
}

RunOutcome Bench::run_calls(const Scenario& sc, const std::string& device,
                            const std::string& record, const std::string& child_log,
                            const Progress& progress) {
  RunOutcome outcome;
  const std::string port = std::to_string(options_.port);
  std::vector<std::string> argv, env;
  std::function<std::string()> before_exec;
  if (options_.wine_run.empty()) {
    argv = {options_.self, "--calls", "-", "--library", options_.library, "--port", port};
    env = {"PROJSMSDLL_PORT" + port + "=" + device};
    if (options_.bind_port) {
      const std::string tty = "/dev/ttyS" + std::to_string(options_.port - 1);
      before_exec = [device, tty]() -> std::string {
        if (::unshare(CLONE_NEWNS) != 0) return errno_text("unshare of the mount namespace");
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
          return errno_text("making the mounts private");
        if (::mount(device.c_str(), tty.c_str(), nullptr, MS_BIND, nullptr) != 0)
          return errno_text("bind-mounting " + device + " over " + tty);
        return {};
      };
    }
  } else {
    argv = {options_.wine_run,
            options_.wine_bits,
            options_.exe,
            "--calls",
            "-",
            "--library",
            windows_path(options_.library),
            "--port",
            port};
    env = {"PROJSMSDLL_PORT" + port + "=\\\\.\\COM" + port, "PROJSMSDLL_FORM=stderr",
           "MOBI_WINEPREFIX=" + options_.wine_prefix};
  }
  Child child(argv, env, true, child_log, before_exec);
  const auto bound = std::chrono::milliseconds(
      static_cast<long>(std::ceil(call_bound(sc, options_.delay_scale) * 1000)));
  for (std::size_t i = 0; i < sc.calls.size(); ++i) {
    // What the modem recorded before this call, then the call.
    const std::size_t before = count_lines(record);
    child.feed(json::write(sc.calls[i].raw) + "\n");
    std::string line;
    auto got = child.read_line(Clock::now() + bound, line);
    if (got == Child::Line::Late) {
      child.stop();
      outcome.stopped = "did not return within " +
                        std::to_string(std::lround(std::chrono::duration<double>(bound).count())) +
                        " s (the calls were ended)";
      break;
    }
    if (got == Child::Line::End) {
      child.wait(Clock::now() + std::chrono::seconds(10));
      std::string why = tail(read_file(child_log), 1);
      outcome.stopped = "the calls ended (" + child.how_it_ended() + ")" +
                        (why.empty() ? std::string() : ": " + why);
      break;
    }
    try {
      CallResult r = parse_call_result(json::parse(line));
      r.record_events = before;
      outcome.results.push_back(std::move(r));
    } catch (const std::exception& e) {
      outcome.stopped =
          "the calls wrote a line that is no result (" + std::string(e.what()) + "): " + line;
      break;
    }
    if (progress) progress(sc.name, i + 1);
    if (outcome.results.back().runtime_error) break;
  }
  child.close_input();
  if (outcome.stopped.empty()) {
    // Every call returned; the child must now end by itself, cleanly (3 after a runtime error).
    if (!child.wait(Clock::now() + bound)) {
      child.stop();
      outcome.stopped = "the calls did not end after the last call";
    } else if (!child.exited(0) && !child.exited(3)) {
      outcome.stopped =
          "the calls ended with " + child.how_it_ended() + ": " + tail(read_file(child_log), 1);
    }
  }
  return outcome;
}

Row Bench::run(const Scenario& sc, const Progress& progress) {
  Row row;
  row.scenario = sc.name;
  row.description = sc.description;
  if (!sc.applies) {
    row.result = "n/a";
    row.why = sc.description;
    return row;
  }
  const auto started = Clock::now();
  const std::string dir = work_ + "/" + safe_name(sc.name);
  fs::create_directories(dir);
  const std::string record = dir + "/record", modem_log = dir + "/modem.log",
                    child_log = dir + "/calls.log";
  std::string link = dir + "/device";
  if (!options_.wine_run.empty())
    link = options_.wine_prefix + "/dosdevices/com" + std::to_string(options_.port);
  char scale[32];
  std::snprintf(scale, sizeof scale, "%g", options_.delay_scale);

  RunOutcome outcome;
  {
    Child modem({options_.modem, "--scenario", sc.name, "--delay-scale", scale, "--record", record,
                 "--verbose", "--link", link},
                {}, false, modem_log);
    std::string device;
    if (modem.read_line(Clock::now() + std::chrono::seconds(10), device) != Child::Line::Got) {
      modem.stop();
      outcome.stopped = "the simulator did not start (" + modem.how_it_ended() +
                        "): " + tail(read_file(modem_log), 2);
    } else {
      outcome = run_calls(sc, device, record, child_log, progress);
    }
    modem.stop();
  }
  std::ifstream in(record);
  std::size_t n = 0;
  for (std::string line; std::getline(in, line);) {
    ++n;
    if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
    try {
      outcome.record.push_back(json::parse(line));
    } catch (const json::ParseError& e) {
      outcome.record_problem = "record line " + std::to_string(n) + " is no JSON: " + e.what();
      break;
    }
  }
  auto problems = judge(sc, outcome);
  row.result = problems.empty() ? "pass" : "fail";
  for (const auto& p : problems) row.why += (row.why.empty() ? "" : "; ") + p;
  row.exchange = read_file(modem_log);
  row.child_log = read_file(child_log);
  row.seconds = std::chrono::duration<double>(Clock::now() - started).count();
  return row;
}

}  // namespace qualify
