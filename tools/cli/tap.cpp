#include "tap.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mobi::cli {

namespace {

using Clock = std::chrono::steady_clock;

speed_t Speed(int baud) {
  switch (baud) {
    case 50:
      return B50;
    case 75:
      return B75;
    case 110:
      return B110;
    case 134:
      return B134;
    case 150:
      return B150;
    case 200:
      return B200;
    case 300:
      return B300;
    case 600:
      return B600;
    case 1200:
      return B1200;
    case 1800:
      return B1800;
    case 2400:
      return B2400;
    case 4800:
      return B4800;
    case 9600:
      return B9600;
    case 19200:
      return B19200;
    case 38400:
      return B38400;
    case 57600:
      return B57600;
    case 115200:
      return B115200;
    case 230400:
      return B230400;
    case 460800:
      return B460800;
    case 500000:
      return B500000;
    case 576000:
      return B576000;
    case 921600:
      return B921600;
    case 1000000:
      return B1000000;
    case 1152000:
      return B1152000;
    case 1500000:
      return B1500000;
    case 2000000:
      return B2000000;
    case 2500000:
      return B2500000;
    case 3000000:
      return B3000000;
    case 3500000:
      return B3500000;
    case 4000000:
      return B4000000;
    default:
      return B0;
  }
}

}  // namespace

LineTap::LineTap(const std::string& device, const LineSettings& s, ChunkSink on_chunk,
                 ChunkSink on_request, NoteSink on_note)
    : device_(device),
      on_chunk_(std::move(on_chunk)),
      on_request_(std::move(on_request)),
      on_note_(std::move(on_note)) {
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
  const speed_t speed = Speed(s.baud);
  if (speed == B0) fail(std::to_string(s.baud) + " baud is not a standard rate here; use --direct");
  cfmakeraw(&t);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  t.c_cflag |= CLOCAL | CREAD;
  static constexpr tcflag_t kSizes[] = {CS5, CS5, CS5, CS5, CS5, CS5, CS6, CS7, CS8};
  t.c_cflag |= kSizes[std::clamp(s.data_bits, 5, 8)];
  if (s.parity == 'e') t.c_cflag |= PARENB;
  if (s.parity == 'o') t.c_cflag |= PARENB | PARODD;
  if (s.parity == 'm') t.c_cflag |= PARENB | PARODD | CMSPAR;
  if (s.parity == 's') t.c_cflag |= PARENB | CMSPAR;
  if (s.stop_tenths > 10) t.c_cflag |= CSTOPB;
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  cfsetispeed(&t, speed);
  cfsetospeed(&t, speed);
  if (tcsetattr(fd_, TCSANOW, &t) != 0)
    fail(std::string("cannot set the line settings: ") + std::strerror(errno));
  // The same quiet gap as the serial layer: three character times, at least 5 ms.
  const double bits = 1 + s.data_bits + (s.parity == 'n' ? 0 : 1) + s.stop_tenths / 10.0;
  gap_ = std::max(std::chrono::nanoseconds(static_cast<int64_t>(3 * bits * 1e9 / s.baud)),
                  std::chrono::nanoseconds(std::chrono::milliseconds(5)));
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

void LineTap::Flush() {
  std::lock_guard lock(mutex_);
  if (!chunk_.empty()) on_chunk_(chunk_);
  chunk_.clear();
}

void LineTap::Run() {
  uint8_t buffer[4096];
  for (;;) {
    int timeout = -1;
    {
      std::lock_guard lock(mutex_);
      if (!chunk_.empty()) {
        const auto left = last_ + gap_ - Clock::now();
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
      if (!chunk_.empty() && Clock::now() >= last_ + gap_) {
        on_chunk_(chunk_);
        chunk_.clear();
      }
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
      if (n > 0) {
        if (!Forward(pty_.master(), buffer, static_cast<size_t>(n)))
          on_note_("line watch: the component's input is full; " + std::to_string(n) +
                   " byte(s) lost");
        std::lock_guard lock(mutex_);
        chunk_.insert(chunk_.end(), buffer, buffer + n);
        last_ = Clock::now();
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
