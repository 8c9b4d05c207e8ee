#include "serial_control.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "errors.h"
#include "mobi/line.h"

namespace mobi::posix {
namespace {

using core::Raise;
using namespace std::chrono_literals;

std::string Why(int err) {
  return std::strerror(err);
}

}  // namespace

SerialControl::SerialControl(EventLoop& loop) : loop_(loop) {}

SerialControl::~SerialControl() {
  Close();
}

std::string SerialControl::DevicePath(int port) {
  std::string mapped = core::MappedPortDevice(port);
  return mapped.empty() ? "/dev/ttyS" + std::to_string(port - 1) : mapped;
}

void SerialControl::Open() {
  if (PortOpen())
    Raise(mobi::kPortAlreadyOpen, "COM" + std::to_string(port_) + " (" + device_ + ")");
  const std::string path = DevicePath(port_);
  const std::string name = "COM" + std::to_string(port_) + " (" + path + ")";
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (err == EACCES || err == EPERM || err == EBUSY) {
      Raise(mobi::kHardwareNotAvailable, name + ": " + Why(err));
    }
    Raise(mobi::kInvalidPortNumber, name + ": " + Why(err));
  }
  // Exclusive: flock is what counts (root is not held back by TIOCEXCL).
  if (flock(fd, LOCK_EX | LOCK_NB) < 0) {
    const int err = errno;
    ::close(fd);
    Raise(mobi::kHardwareNotAvailable,
          name + (err == EWOULDBLOCK ? ": in use by another program" : ": " + Why(err)));
  }
  termios tio{};
  if (tcgetattr(fd, &tio) < 0) {
    const int err = errno;
    ::close(fd);
    Raise(mobi::kInvalidPortNumber, name + " is not a serial device: " + Why(err));
  }
  ioctl(fd, TIOCEXCL);
  fd_ = fd;
  device_ = path;
  try {
    ApplySettings();
    SetForwarding(line::ReportedForwarding(path));
    tcflush(fd_, TCIFLUSH);
    timer_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timer_ < 0) Raise(mobi::kDeviceNotOpen, "timerfd_create: " + Why(errno));
    fdWatch_ = loop_.Watch(fd_, EPOLLIN, [this](uint32_t events) { OnReadable(events); });
    timerWatch_ = loop_.Watch(timer_, EPOLLIN, [this](uint32_t) { OnQuietGap(); });
  } catch (...) {
    Close();
    throw;
  }
}

void SerialControl::Close() {
  if (fdWatch_) loop_.Unwatch(std::exchange(fdWatch_, 0));
  if (timerWatch_) loop_.Unwatch(std::exchange(timerWatch_, 0));
  if (timer_ >= 0) ::close(std::exchange(timer_, -1));
  if (fd_ >= 0) {
    Drain();
    // Exclusive mode outlives this descriptor while another one (a
    // simulator's, a line watcher's) keeps the line open: give it back.
    ioctl(fd_, TIOCNXCL);
    ::close(std::exchange(fd_, -1));
  }
  held_.clear();
  out_.clear();
}

void SerialControl::Drain() {
  if (out_.empty() || hungUp_) return;
  const auto deadline = core::Clock::now() + core::LineTime(settings_, out_.size()) + 1s;
  while (!out_.empty()) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - core::Clock::now());
    if (left.count() <= 0) break;
    pollfd p{fd_, POLLOUT, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0 || (p.revents & (POLLHUP | POLLERR))) {
      break;
    }
    const ssize_t n = ::write(fd_, out_.data(), out_.size());
    if (n > 0) {
      out_.erase(out_.begin(), out_.begin() + n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      break;
    }
  }
}

void SerialControl::ApplySettings() {
  line::Configure(fd_, settings_);
}

void SerialControl::GatherReceived() {
  uint8_t chunk[4096];
  ssize_t n;
  while ((n = ::read(fd_, chunk, sizeof chunk)) > 0) held_.insert(held_.end(), chunk, chunk + n);
}

void SerialControl::DiscardReceived() {
  tcflush(fd_, TCIFLUSH);
  DisarmTimer();
}

void SerialControl::HeldTaken() {
  // What is left (a second reply read with the first) waits for its own gap.
  if (held_.empty()) {
    DisarmTimer();
  } else {
    ArmTimer(lastByte_ + GapFor(held_) - core::Clock::now());
  }
}

std::optional<core::TimePoint> SerialControl::ReplyDue() const {
  if (!PortOpen() || held_.empty()) return std::nullopt;
  return due_;
}

bool SerialControl::LineAlive() {
  pollfd p{fd_, POLLIN, 0};
  return poll(&p, 1, 0) <= 0 || !(p.revents & (POLLHUP | POLLERR | POLLNVAL));
}

void SerialControl::Write(const core::ByteArray& bytes) {
  if (!out_.empty()) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
    return;
  }
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      break;
    } else if (n < 0 && errno == EIO) {
      throw LineGone("COM" + std::to_string(port_) + " (" + device_ + ")");
    } else {
      Raise(mobi::kWriteError, device_ + ": " + Why(errno));
    }
  }
  if (done < bytes.size()) {
    // The line has not taken everything: the rest goes out while messages
    // are processed, and the caller does not wait for it.
    out_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(done), bytes.end());
    loop_.Modify(fdWatch_, EPOLLIN | EPOLLOUT);
  }
}

void SerialControl::OnWritable() {
  while (!out_.empty()) {
    const ssize_t n = ::write(fd_, out_.data(), out_.size());
    if (n > 0) {
      out_.erase(out_.begin(), out_.begin() + n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      break;  // EAGAIN: later; other errors show as a hang-up on the read side
    }
  }
  if (out_.empty()) loop_.Modify(fdWatch_, EPOLLIN);
}

void SerialControl::OnReadable(uint32_t events, bool continued) {
  if (events & EPOLLOUT) OnWritable();
  bool gone = (events & (EPOLLHUP | EPOLLERR)) != 0;
  core::ByteArray fresh;
  uint8_t chunk[4096];
  for (;;) {
    const ssize_t n = ::read(fd_, chunk, sizeof chunk);
    if (n > 0) {
      fresh.insert(fresh.end(), chunk, chunk + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    gone = true;  // 0 bytes or EIO: the other side is gone
    break;
  }
  const core::TimePoint now = core::Clock::now();
  if (!fresh.empty() && !held_.empty() && !continued && now - lastByte_ >= GapFor(held_)) {
    // The held bytes had been quiet for their gap before these were read
    // (the gap's timer is handled late): they are a reply of their own.
    DisarmTimer();
    if (!RaiseOnComm()) return;
    if (!PortOpen()) return;  // closed by a handler
  }
  if (!fresh.empty()) {
    held_.insert(held_.end(), fresh.begin(), fresh.end());
    lastByte_ = now;
  }
  if (gone) {
    HangUp();  // may destroy this
    return;
  }
  if (held_.size() >= kInBufferSize) {
    DisarmTimer();
    RaiseOnComm();  // may destroy this
    return;
  }
  if (!fresh.empty()) ArmTimer(lastByte_ + GapFor(held_) - now);
}

void SerialControl::OnQuietGap() {
  // A timer event that was already queued when new bytes re-armed the timer
  // in the same batch is stale: the timer has not run out.
  uint64_t expirations = 0;
  if (::read(timer_, &expirations, sizeof expirations) != sizeof expirations) return;
  // Bytes that came with a timer handled in time push the gap on; after a
  // late one they begin a new reply.
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, 0) > 0) {
    const bool inTime = core::Clock::now() < due_ + 1ms;
    OnReadable(p.revents & (POLLHUP | POLLERR) ? EPOLLHUP : EPOLLIN, inTime);
    return;
  }
  if (!held_.empty()) RaiseOnComm();  // may destroy this
}

void SerialControl::ArmTimer(std::chrono::nanoseconds after) {
  SetTimer(std::max<std::chrono::nanoseconds>(after, 1us));  // zero would disarm
}

void SerialControl::DisarmTimer() {
  SetTimer(std::chrono::nanoseconds(0));
}

void SerialControl::SetTimer(std::chrono::nanoseconds after) {
  if (timer_ < 0) return;
  due_ = core::Clock::now() + after;
  itimerspec when{};
  when.it_value.tv_sec = static_cast<time_t>(after.count() / 1000000000);
  when.it_value.tv_nsec = static_cast<long>(after.count() % 1000000000);
  timerfd_settime(timer_, 0, &when, nullptr);
}

void SerialControl::HangUp() {
  const std::string name = "COM" + std::to_string(port_) + " (" + device_ + ")";
  loop_.SetPendingError(std::make_exception_ptr(LineGone(name)));
  HandOverLeftOver();  // may destroy this
}

}  // namespace mobi::posix
