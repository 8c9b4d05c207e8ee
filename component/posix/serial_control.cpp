#include "posix/serial_control.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "core/errors.h"
#include "internal/tool_hooks.h"

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
  // A hang-up this control found and nobody has reported is moot now.
  loop_.TakePendingError();
}

std::string SerialControl::DevicePath(int port) {
  std::string mapped = core::MappedPortDevice(port);
  return mapped.empty() ? "/dev/ttyS" + std::to_string(port - 1) : mapped;
}

void SerialControl::Open() {
  if (PortOpen()) Raise(mobi::kPortAlreadyOpen, Name());
  const std::string path = DevicePath(port_);
  const std::string name = PortLabel() + " (" + path + ")";
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
    news_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    stop_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (news_ < 0 || stop_ < 0) Raise(mobi::kDeviceNotOpen, "eventfd: " + Why(errno));
    newsWatch_ = loop_.Watch(news_, EPOLLIN, [this](uint32_t) {
      uint64_t count = 0;
      if (::read(news_, &count, sizeof count) == sizeof count) Update();
    });
    timerWatch_ = loop_.Watch(timer_, EPOLLIN, [this](uint32_t) {
      uint64_t expirations = 0;
      if (::read(timer_, &expirations, sizeof expirations) == sizeof expirations) Update();
    });
    {
      std::lock_guard lock(mutex_);
      arrived_.clear();
      ended_ = false;
    }
    try {
      reader_ = std::thread([this, fd] { Read(fd); });
    } catch (const std::system_error& e) {
      Raise(mobi::kDeviceNotOpen, std::string("cannot start the port's reader: ") + e.what());
    }
  } catch (...) {
    Close();
    throw;
  }
}

void SerialControl::Close() {
  if (newsWatch_) loop_.Unwatch(std::exchange(newsWatch_, 0));
  if (timerWatch_) loop_.Unwatch(std::exchange(timerWatch_, 0));
  if (writeWatch_) loop_.Unwatch(std::exchange(writeWatch_, 0));
  StopReader();
  for (int* fd : {&timer_, &news_, &stop_}) {
    if (*fd >= 0) ::close(std::exchange(*fd, -1));
  }
  if (fd_ >= 0) {
    Drain();
    // Exclusive mode outlives this descriptor while another one (a
    // simulator's, a line watcher's) keeps the line open: give it back.
    ioctl(fd_, TIOCNXCL);
    ::close(std::exchange(fd_, -1));
  }
  out_.clear();
}

void SerialControl::StopReader() {
  if (!reader_.joinable()) return;
  const uint64_t one = 1;
  if (::write(stop_, &one, sizeof one) < 0) {
    // Only a full counter refuses, and then the reader is told already.
  }
  reader_.join();
}

void SerialControl::Read(int fd) {
  uint8_t chunk[4096];
  for (;;) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stop_, POLLIN, 0}};
    const int ready = poll(fds, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (ready > 0 && fds[1].revents) return;
    std::vector<Arrival> got;
    // A reader that cannot wait any more is as good as a line that ended.
    bool ended = ready < 0 || (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n > 0) {
        got.push_back({core::ByteArray(chunk, chunk + n), core::Clock::now()});
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
      ended = true;  // 0 bytes or EIO: the other side is gone
      break;
    }
    {
      std::lock_guard lock(mutex_);
      for (Arrival& a : got) arrived_.push_back(std::move(a));
      ended_ = ended_ || ended;
    }
    const uint64_t one = 1;
    if (::write(news_, &one, sizeof one) < 0) {
      // Only a full counter refuses, and then the owning thread is told already.
    }
    if (ended) return;
  }
}

void SerialControl::Update() {
  std::vector<Arrival> arrived;
  bool ended = false;
  {
    std::lock_guard lock(mutex_);
    arrived.swap(arrived_);
    ended = ended_;
  }
  for (const Arrival& a : arrived) assembler_.Add(a.bytes, a.at);
  if (ended) {
    HangUp();  // may destroy this
    return;
  }
  ArmTimer(NextDeadline());                   // also if a client's handler fails below
  if (!HandOver(core::Clock::now())) return;  // destroyed by a handler
  if (PortOpen()) ArmTimer(NextDeadline());
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
  StopReader();
  std::vector<Arrival> arrived;
  {
    std::lock_guard lock(mutex_);
    arrived.swap(arrived_);
  }
  for (const Arrival& a : arrived) assembler_.Add(a.bytes, a.at);
  uint8_t chunk[4096];
  ssize_t n;
  while ((n = ::read(fd_, chunk, sizeof chunk)) > 0) {
    assembler_.Add(std::span<const uint8_t>(chunk, static_cast<std::size_t>(n)),
                   core::Clock::now());
  }
}

void SerialControl::DiscardReceived() {
  {
    std::lock_guard lock(mutex_);
    arrived_.clear();
  }
  tcflush(fd_, TCIFLUSH);
  ArmTimer(std::nullopt);
}

bool SerialControl::LineAlive() {
  {
    std::lock_guard lock(mutex_);
    if (ended_) return false;
  }
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
      throw LineGone(Name());
    } else {
      Raise(mobi::kWriteError, device_ + ": " + Why(errno));
    }
  }
  if (done < bytes.size()) {
    // The line has not taken everything: the rest goes out while messages
    // are processed, and the caller does not wait for it.
    out_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(done), bytes.end());
    writeWatch_ = loop_.Watch(fd_, EPOLLOUT, [this](uint32_t events) { OnWritable(events); });
  }
}

void SerialControl::OnWritable(uint32_t events) {
  // A failed line is the reader's to report.
  while (!out_.empty() && !(events & (EPOLLHUP | EPOLLERR))) {
    const ssize_t n = ::write(fd_, out_.data(), out_.size());
    if (n > 0) {
      out_.erase(out_.begin(), out_.begin() + n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      return;  // later
    } else {
      break;
    }
  }
  loop_.Unwatch(std::exchange(writeWatch_, 0));
}

void SerialControl::ArmTimer(std::optional<core::TimePoint> due) {
  if (timer_ < 0) return;
  itimerspec when{};
  if (due) {
    const auto after = std::max<std::chrono::nanoseconds>(*due - core::Clock::now(), 1us);
    when.it_value.tv_sec = static_cast<time_t>(after.count() / 1000000000);
    when.it_value.tv_nsec = static_cast<long>(after.count() % 1000000000);
  }
  timerfd_settime(timer_, 0, &when, nullptr);  // all zero: disarmed
}

void SerialControl::HangUp() {
  loop_.SetPendingError(std::make_exception_ptr(LineGone(Name())));
  HandOver(core::Clock::now());  // what came before the hang-up; may destroy this
}

}  // namespace mobi::posix
