// The line settings as this system's serial layer sets them: the one table
// of speeds, raw binary mode, low latency where the driver has it, and the
// forwarding interval a USB adapter reports.
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <utility>

#include "core/errors.h"
#include "internal/tool_hooks.h"

namespace mobi::line {
namespace {

bool SpeedOf(int32_t baud, speed_t& speed) {
  static const std::pair<int32_t, speed_t> kSpeeds[] = {
      {50, B50},           {75, B75},           {110, B110},         {134, B134},
      {150, B150},         {200, B200},         {300, B300},         {600, B600},
      {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
      {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
      {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
      {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
      {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
      {3500000, B3500000}, {4000000, B4000000},
  };
  for (const auto& [b, s] : kSpeeds) {
    if (b == baud) {
      speed = s;
      return true;
    }
  }
  return false;
}

tcflag_t SizeOf(int dataBits) {
  switch (dataBits) {
    case 5:
      return CS5;
    case 6:
      return CS6;
    case 7:
      return CS7;
    case 8:
      return CS8;
    default:
      core::Raise(mobi::kSetCommStateFailed,
                  std::to_string(dataBits) + " data bits are not supported here");
  }
}

speed_t Speed(int32_t baud) {
  speed_t speed;
  if (!SpeedOf(baud, speed)) {
    core::Raise(mobi::kSetCommStateFailed,
                std::to_string(baud) + " baud is not a speed this system supports");
  }
  return speed;
}

}  // namespace

void CheckSupported(const Settings& settings) {
  Speed(settings.baud);
  SizeOf(settings.dataBits);
}

void Configure(int fd, const Settings& settings) {
  const speed_t speed = Speed(settings.baud);
  const tcflag_t size = SizeOf(settings.dataBits);
  termios tio{};
  if (tcgetattr(fd, &tio) < 0) core::Raise(mobi::kSetCommStateFailed, std::strerror(errno));
  cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tio.c_cflag |= size;
  switch (settings.parity) {
    case 'e':
      tio.c_cflag |= PARENB;
      break;
    case 'o':
      tio.c_cflag |= PARENB | PARODD;
      break;
    case 'm':
      tio.c_cflag |= PARENB | CMSPAR | PARODD;
      break;
    case 's':
      tio.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (settings.stopBits > 1) tio.c_cflag |= CSTOPB;
  // Reads return what is there; with O_NONBLOCK an empty read is EAGAIN, so a
  // read of 0 bytes means the line hung up.
  tio.c_cc[VMIN] = 1;
  tio.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &tio) < 0) {
    core::Raise(mobi::kSetCommStateFailed, std::strerror(errno));
  }
  // Low latency where the driver has it (a USB adapter then forwards what it
  // receives every millisecond); a line without it (a pseudo-terminal)
  // refuses, and the long gap covers its forwarding instead.
  serial_struct serial{};
  if (ioctl(fd, TIOCGSERIAL, &serial) == 0 && !(serial.flags & ASYNC_LOW_LATENCY)) {
    serial.flags |= ASYNC_LOW_LATENCY;
    ioctl(fd, TIOCSSERIAL, &serial);
  }
}

std::chrono::nanoseconds ReportedForwarding(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return std::chrono::nanoseconds(0);
  std::string name = real;
  std::free(real);
  name = name.substr(name.rfind('/') + 1);
  std::ifstream timer("/sys/class/tty/" + name + "/device/latency_timer");
  int ms = 0;
  if (!(timer >> ms) || ms <= 0 || ms > 1000) return std::chrono::nanoseconds(0);
  return std::chrono::milliseconds(ms);
}

}  // namespace mobi::line
