#include "common/pty_pair.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace mobi::tools {

namespace {
[[noreturn]] void Fail(const char* what) {
  throw std::system_error(errno, std::generic_category(), std::string("pseudo-terminal: ") + what);
}

void MakeRaw(int fd, const char* what) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) Fail(what);
  cfmakeraw(&t);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  if (tcsetattr(fd, TCSANOW, &t) != 0) Fail(what);
}
}  // namespace

PtyPair::PtyPair() {
  master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) Fail("posix_openpt");
  try {
    if (grantpt(master_) != 0) Fail("grantpt");
    if (unlockpt(master_) != 0) Fail("unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) Fail("ptsname_r");
    slave_path_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) Fail("open slave");
    MakeRaw(slave_, "raw mode of the slave");
    MakeRaw(master_, "raw mode of the master");
    const int flags = fcntl(master_, F_GETFL);
    if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0) Fail("non-blocking master");
  } catch (...) {
    Hangup();
    throw;
  }
}

PtyPair::~PtyPair() {
  Hangup();
}

void PtyPair::Hangup() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = master_ = -1;
}

}  // namespace mobi::tools
