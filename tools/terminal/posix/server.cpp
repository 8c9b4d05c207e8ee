#include "terminal/posix/server.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace mobi::terminal {

namespace {
[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), "terminal simulator: " + what);
}
}  // namespace

TerminalServer::TerminalServer(TerminalConfig config, Terminal::EventSink sink)
    : sink_(std::move(sink)), terminal_(std::move(config), [this](const Event& e) { Report(e); }) {
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) Fail("eventfd");
}

TerminalServer::~TerminalServer() {
  Stop();
  close(wake_fd_);
}

void TerminalServer::Report(Event event) {
  if (event.at == TimePoint{}) event.at = Clock::now();
  if (sink_) sink_(event);
}

void TerminalServer::Start() {
  thread_ = std::thread([this] {
    try {
      Run();
    } catch (const std::exception& e) {
      Event error;
      error.kind = Event::Kind::kError;
      error.text = e.what();
      Report(error);
    }
  });
}

void TerminalServer::Stop() {
  const uint64_t one = 1;
  if (write(wake_fd_, &one, sizeof one) < 0 && errno != EAGAIN) {
    // The counter cannot overflow with single increments; nothing to add.
  }
  if (thread_.joinable()) thread_.join();
}

void TerminalServer::WriteDue(const std::vector<Emission>& due) {
  // Emissions due together go out in one write, as a late wake-up would send them.
  size_t i = 0;
  while (i < due.size()) {
    Bytes bytes;
    size_t j = i;
    while (j < due.size() && !due[j].hangup) {
      bytes.insert(bytes.end(), due[j].bytes.begin(), due[j].bytes.end());
      ++j;
    }
    // Pacing, and the pause of a split reply, are only as good as the
    // wake-ups of this thread: on a busy machine a byte may leave late, which
    // puts a gap on the line that nobody asked for. Say so, so that what the
    // component does with it is understood.
    const Duration late = Clock::now() - due[i].at;
    if (due[i].continues && late > std::chrono::milliseconds(2)) {
      Event note;
      note.kind = Event::Kind::kFault;
      note.text =
          "late write: " + std::to_string(bytes.size()) + " byte(s) " +
          std::to_string(std::chrono::duration_cast<std::chrono::microseconds>(late).count()) +
          " us behind the line rate (the machine is busy)";
      note.late = late;
      Report(note);
    }
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = write(pty_.master(), bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        Event lost;
        lost.kind = Event::Kind::kError;
        lost.text = "line overrun: " + std::to_string(bytes.size() - done) +
                    " byte(s) lost, the component's input buffer is full";
        Report(lost);
        break;
      }
    }
    for (size_t k = i; k < j; ++k)
      for (const Event& e : due[k].events) Report(e);
    if (j < due.size()) {  // a hang-up: the line goes dead for whoever holds it
      pty_.Hangup();
      hung_up_ = true;
      for (const Event& e : due[j].events) Report(e);
      return;
    }
    i = j;
  }
}

// A paced line is only as regular as this thread's wake-ups. On a busy
// machine they can come several milliseconds late, long enough for the
// component to take one reply for two; real-time scheduling keeps them on
// time. The thread sleeps between bytes, so it takes next to no processor.
void TerminalServer::AskForRealTime() {
  sched_param param{};
  param.sched_priority = 10;
  const int rc = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
  if (rc != 0) {
    Event note;
    note.kind = Event::Kind::kFault;
    note.text = std::string("pacing without real-time scheduling (") + std::strerror(rc) +
                "): bytes may leave late on a busy machine";
    Report(note);
  }
}

void TerminalServer::Run(int stop_fd) {
  if (terminal_.config().pace) AskForRealTime();
  uint8_t buffer[4096];
  while (!hung_up_) {
    WriteDue(terminal_.TakeDue(Clock::now()));
    if (hung_up_) break;
    const auto deadline = terminal_.NextDeadline();
    timespec timeout{};
    timespec* timeout_ptr = nullptr;
    if (deadline) {
      const auto left = std::max(Duration::zero(), *deadline - Clock::now());
      const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(left).count();
      timeout.tv_sec = ns / 1'000'000'000;
      timeout.tv_nsec = ns % 1'000'000'000;
      timeout_ptr = &timeout;
    }
    pollfd fds[3] = {{pty_.master(), POLLIN, 0}, {wake_fd_, POLLIN, 0}, {stop_fd, POLLIN, 0}};
    const int r = ppoll(fds, stop_fd >= 0 ? 3 : 2, timeout_ptr, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      Fail("ppoll");
    }
    const bool stopping = fds[1].revents || (stop_fd >= 0 && fds[2].revents);
    if (stopping || (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
      // When stopping, what the component wrote last is still logged.
      for (;;) {
        const ssize_t n = read(pty_.master(), buffer, sizeof buffer);
        if (n > 0) {
          terminal_.Receive(Clock::now(), Bytes(buffer, buffer + n));
          if (static_cast<size_t>(n) == sizeof buffer) continue;
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
          Fail("read from the pseudo-terminal");
        }
        break;
      }
    }
    if (stopping) {
      terminal_.FlushInput(Clock::now());
      return;
    }
  }
}

}  // namespace mobi::terminal
