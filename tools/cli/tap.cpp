#include "cli/tap.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace mobi::cli {

namespace {

using Clock = std::chrono::steady_clock;

}  // namespace

LineTap::LineTap(const std::string& device, const LineSettings& s, std::u16string destination,
                 ChunkSink on_chunk, ChunkSink on_request, NoteSink on_note)
    : device_(device),
      on_chunk_(std::move(on_chunk)),
      on_request_(std::move(on_request)),
      on_note_(std::move(on_note)),
      replies_(line::ReplyAssemblerFor({}, std::move(destination))) {
  auto fail = [&](const std::string& why) {
    const std::string text = device + ": " + why;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
    throw TapError(text);
  };
  fd_ = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) fail(std::string("cannot open: ") + std::strerror(errno));
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) fail("in use by another program");
  termios t{};
  if (tcgetattr(fd_, &t) != 0) fail(std::string("not a serial device: ") + std::strerror(errno));
  ioctl(fd_, TIOCEXCL);
  try {
    line::Configure(fd_, s);  // exactly as the component sets its port
  } catch (const Error& e) {
    fail(e.what());
  }
  // Chunks follow the component's own quiet-gap rule, with the forwarding
  // interval of the device itself: the component, reading the watch's
  // pseudo-terminal, cannot see it.
  forwarding_ = line::ReportedForwarding(device);
  gaps_ = line::QuietGaps(s, forwarding_);
  replies_.SetGaps(gaps_);
  wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_fd_ < 0) fail(std::string("eventfd: ") + std::strerror(errno));
}

LineTap::~LineTap() {
  Stop();
  if (wake_fd_ >= 0) close(wake_fd_);
  if (fd_ >= 0) {
    // Exclusive mode outlives this descriptor while another one stays open
    // (a simulator keeps one): clear it so that the next open succeeds.
    ioctl(fd_, TIOCNXCL);
    close(fd_);
  }
}

void LineTap::Start() {
  thread_ = std::thread([this] { Run(); });
}

void LineTap::Stop() {
  const uint64_t one = 1;
  if (write(wake_fd_, &one, sizeof one) < 0) {
    // Only a full counter refuses, and then the thread is woken already.
  }
  if (thread_.joinable()) thread_.join();
}

// Writes all of `data` to `to`, waiting for room at most a second in all.
bool LineTap::Forward(int to, const uint8_t* data, size_t size) {
  const auto deadline = Clock::now() + std::chrono::seconds(1);
  while (size > 0) {
    const ssize_t n = write(to, data, size);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    pollfd p{to, POLLOUT, 0};
    if (left <= 0 || poll(&p, 1, static_cast<int>(left)) <= 0) return false;
  }
  return true;
}

void LineTap::HandOver(bool all) {
  if (all) replies_.EndOfLine();
  for (auto reply = replies_.Take(Clock::now()); !reply.empty();
       reply = replies_.Take(Clock::now())) {
    on_chunk_(reply);
  }
}

void LineTap::Flush() {
  std::lock_guard lock(mutex_);
  HandOver(true);
}

void LineTap::Run() {
  uint8_t buffer[4096];
  for (;;) {
    int timeout = -1;
    {
      std::lock_guard lock(mutex_);
      if (const auto due = replies_.Deadline()) {
        const auto left = *due - Clock::now();
        timeout = static_cast<int>(
            std::max<int64_t>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
      }
    }
    pollfd fds[3] = {{fd_, POLLIN, 0}, {pty_.master(), POLLIN, 0}, {wake_fd_, POLLIN, 0}};
    const int r = poll(fds, 3, timeout);
    if (r < 0 && errno != EINTR) {
      on_note_(std::string("line watch: poll: ") + std::strerror(errno));
      pty_.Hangup();
      return;
    }
    {
      std::lock_guard lock(mutex_);
      HandOver(false);
    }
    if (r <= 0) continue;
    if (fds[2].revents) {
      // Stopping: what the component wrote last still goes to the terminal.
      ssize_t n;
      while ((n = read(pty_.master(), buffer, sizeof buffer)) > 0) {
        on_request_(terminal::Bytes(buffer, buffer + n));
        if (!Forward(fd_, buffer, static_cast<size_t>(n))) break;
      }
      return;
    }
    if (fds[0].revents) {  // from the terminal
      const ssize_t n = read(fd_, buffer, sizeof buffer);
      const auto arrived = Clock::now();
      if (n > 0) {
        from_terminal_ += static_cast<uint64_t>(n);
        if (!Forward(pty_.master(), buffer, static_cast<size_t>(n)))
          on_note_("line watch: the component's input is full; " + std::to_string(n) +
                   " byte(s) lost");
        std::lock_guard lock(mutex_);
        replies_.Add(std::span<const uint8_t>(buffer, static_cast<std::size_t>(n)), arrived);
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        on_note_("line watch: " + device_ + " hung up");
        Flush();
        pty_.Hangup();  // the component sees the hang-up too
        return;
      }
    }
    if (fds[1].revents) {  // from the component
      const ssize_t n = read(pty_.master(), buffer, sizeof buffer);
      if (n > 0) {
        on_request_(terminal::Bytes(buffer, buffer + n));
        if (!Forward(fd_, buffer, static_cast<size_t>(n)))
          on_note_("line watch: writing to " + device_ + " failed");
      }
    }
  }
}

}  // namespace mobi::cli
