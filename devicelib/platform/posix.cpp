// The POSIX side: termios serial ports, iconv for GBK, the monotonic and
// wall clocks, the form on standard error.
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "portmap.h"
#include "system.h"

namespace smsdll::platform {

namespace {

std::string ErrnoText(int e) {
  return std::strerror(e);
}

int PollMillis(Millis timeout) {
  return static_cast<int>(std::min<long long>(timeout.count() < 0 ? 0 : timeout.count(), 1 << 30));
}

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(int fd) : fd_(fd) {}
  ~PosixSerialPort() override { ::close(fd_); }

  Status Write(std::string_view data, Millis timeout) override {
    while (!data.empty()) {
      ssize_t n = ::write(fd_, data.data(), data.size());
      if (n > 0) {
        data.remove_prefix(static_cast<std::size_t>(n));
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno != EAGAIN)
        return {Error::kPortIo, "writing to the port failed: " + ErrnoText(errno)};
      pollfd p{fd_, POLLOUT, 0};
      int r = ::poll(&p, 1, PollMillis(timeout));
      if (r == 0)
        return {Error::kPortIo,
                "the port took no output within " + std::to_string(timeout.count()) + " ms"};
      if (r < 0 && errno != EINTR)
        return {Error::kPortIo, "waiting to write to the port failed: " + ErrnoText(errno)};
    }
    return {};
  }

  Status Read(std::string& out, Millis timeout) override {
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, PollMillis(timeout));
    if (r < 0) {
      if (errno == EINTR) return {};
      return {Error::kPortIo, "waiting for input failed: " + ErrnoText(errno)};
    }
    if (r == 0) return {};
    char buf[4096];
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
      return {};
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return {};
    if (n == 0 || (p.revents & POLLHUP) != 0 || errno == EIO)
      return {Error::kPortIo, "the device was disconnected"};
    return {Error::kPortIo, "reading from the port failed: " + ErrnoText(errno)};
  }

 private:
  int fd_;
};

bool SpeedOf(int32_t baud, speed_t& speed) {
  static constexpr struct {
    int32_t baud;
    speed_t speed;
  } kSpeeds[] = {{300, B300},       {600, B600},        {1200, B1200},     {2400, B2400},
                 {4800, B4800},     {9600, B9600},      {19200, B19200},   {38400, B38400},
                 {57600, B57600},   {115200, B115200},  {230400, B230400}, {460800, B460800},
                 {921600, B921600}, {1000000, B1000000}};
  for (const auto& s : kSpeeds) {
    if (s.baud == baud) {
      speed = s.speed;
      return true;
    }
  }
  return false;
}

class PosixPortOpener final : public PortOpener {
 public:
  Status Resolve(int32_t port, std::string& path) override {
    return ResolvePortPath(
        port, ProcessPortMapSources([](int32_t n) { return "/dev/ttyS" + std::to_string(n - 1); }),
        path);
  }

  Status Open(const std::string& path, int32_t baud, std::unique_ptr<SerialPort>& port) override {
    speed_t speed;
    if (!SpeedOf(baud, speed))
      return {Error::kPortSetup,
              std::to_string(baud) + " bit/s is not a serial speed of this system"};
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return {Error::kPortUnavailable, "cannot be opened: " + ErrnoText(errno)};
    auto line = std::make_unique<PosixSerialPort>(fd);
    if (!::isatty(fd)) return {Error::kPortSetup, "is not a serial device"};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
      return {Error::kPortUnavailable, "is in use by another program"};
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
      return {Error::kPortSetup, "its settings cannot be read: " + ErrnoText(errno)};
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0 ||
        ::tcsetattr(fd, TCSANOW, &tio) != 0)
      return {Error::kPortSetup,
              "refuses " + std::to_string(baud) + " bit/s, 8N1: " + ErrnoText(errno)};
    ::tcflush(fd, TCIOFLUSH);
    port = std::move(line);
    return {};
  }
};

class PosixClock final : public Clock {
 public:
  Millis Now() override {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return Millis(static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
  }
  LocalTime LocalNow() override {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
  }
};

class IconvCodec final : public Codec {
 public:
  std::optional<std::u16string> GbkToUtf16(std::string_view gbk) override {
    iconv_t cd = ::iconv_open("UTF-16LE", "GBK");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string out(gbk.size() * 2 + 4, '\0');
    char* in_ptr = const_cast<char*>(gbk.data());
    std::size_t in_left = gbk.size();
    char* out_ptr = out.data();
    std::size_t out_left = out.size();
    std::size_t r = ::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
    ::iconv_close(cd);
    if (r == static_cast<std::size_t>(-1) || in_left != 0) return std::nullopt;
    std::u16string text;
    for (const char* p = out.data(); p + 1 < out_ptr; p += 2)
      text += static_cast<char16_t>(static_cast<unsigned char>(p[0]) |
                                    (static_cast<unsigned char>(p[1]) << 8));
    return text;
  }

  std::string Utf16ToGbk(std::u16string_view text) override {
    iconv_t cd = ::iconv_open("GBK", "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text.size(), '?');
    std::string in;
    for (char16_t c : text) {
      in += static_cast<char>(c & 0xFF);
      in += static_cast<char>(c >> 8);
    }
    std::string out(text.size() * 4 + 4, '\0');
    char* in_ptr = in.data();
    std::size_t in_left = in.size();
    char* out_ptr = out.data();
    std::size_t out_left = out.size();
    while (in_left > 0) {
      if (::iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1))
        break;
      if (errno == E2BIG || out_left == 0) break;
      // A character GBK lacks (or a broken surrogate): '?' in its place.
      char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(in_ptr[0]) |
                                            (static_cast<unsigned char>(in_ptr[1]) << 8));
      // A whole pair is one character; a lone surrogate is one unit, and the
      // unit after it is left to be converted.
      char16_t next = in_left >= 4
                          ? static_cast<char16_t>(static_cast<unsigned char>(in_ptr[2]) |
                                                  (static_cast<unsigned char>(in_ptr[3]) << 8))
                          : 0;
      std::size_t skip =
          (unit >= 0xD800 && unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) ? 4 : 2;
      skip = std::min(skip, in_left);
      in_ptr += skip;
      in_left -= skip;
      *out_ptr++ = '?';
      --out_left;
    }
    ::iconv_close(cd);
    out.resize(static_cast<std::size_t>(out_ptr - out.data()));
    return out;
  }
};

}  // namespace

std::unique_ptr<PortOpener> MakePortOpener() {
  return std::make_unique<PosixPortOpener>();
}
std::unique_ptr<Clock> MakeClock() {
  return std::make_unique<PosixClock>();
}
std::unique_ptr<Codec> MakeCodec() {
  return std::make_unique<IconvCodec>();
}

bool ShowForm(const std::string& text, int32_t /*owner_window: no windows here*/) {
  std::fputs(text.c_str(), stderr);
  std::fflush(stderr);
  return true;
}

}  // namespace smsdll::platform
