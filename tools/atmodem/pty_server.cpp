#include "pty_server.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace atmodem {

namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

void Signal(int fd) {
  uint64_t one = 1;
  while (::write(fd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}

}  // namespace

bool PtyServer::Serve(Modem& modem, std::mutex& mutex, const std::vector<int>& stop_fds,
                      int wake_fd) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  auto modem_time = [&] {
    return std::chrono::duration<double>(Clock::now() - start).count() / delay_scale;
  };
  std::string out;
  for (;;) {
    int timeout = -1;
    {
      std::lock_guard lock(mutex);
      modem.AdvanceTo(modem_time());
      out += modem.TakeOutput();
      if (modem.hung_up() && out.empty()) {
        pty_.Hangup();
        return true;
      }
      if (auto due = modem.NextDue()) {
        const double wait = (*due - modem.now_seconds()) * delay_scale;
        timeout = static_cast<int>(std::ceil(std::max(0.0, wait) * 1000));
      }
    }

    std::vector<pollfd> fds;
    fds.push_back({pty_.master(), static_cast<short>(POLLIN | (out.empty() ? 0 : POLLOUT)), 0});
    fds.push_back({wake_fd, POLLIN, 0});  // a negative fd is ignored by poll
    for (const auto& input : inputs) fds.push_back({input.first, POLLIN, 0});
    for (int fd : stop_fds) fds.push_back({fd, POLLIN, 0});
    if (::poll(fds.data(), fds.size(), timeout) < 0) {
      if (errno == EINTR) continue;
      Fail("poll");
    }
    const std::size_t first_stop = 2 + inputs.size();
    for (std::size_t k = first_stop; k < fds.size(); ++k)
      if (fds[k].revents != 0) return false;
    for (std::size_t k = 2; k < first_stop; ++k) {
      if (fds[k].revents == 0) continue;
      std::lock_guard lock(mutex);
      modem.AdvanceTo(modem_time());
      inputs[k - 2].second(modem);
      out += modem.TakeOutput();
    }
    if (fds[1].revents & POLLIN) {
      uint64_t count;
      if (::read(wake_fd, &count, sizeof count) < 0 && errno != EAGAIN) Fail("eventfd");
      std::lock_guard lock(mutex);
      out += modem.TakeOutput();
    }
    if (fds[0].revents & POLLIN) {
      char buf[4096];
      ssize_t n = ::read(pty_.master(), buf, sizeof buf);
      if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO) Fail("reading " + path());
      if (n > 0) {
        std::string_view in(buf, static_cast<std::size_t>(n));
        if (trace) trace("<<", in);
        std::lock_guard lock(mutex);
        modem.AdvanceTo(modem_time());
        modem.Receive(in);
        out += modem.TakeOutput();
      }
    }
    if (!out.empty()) {
      ssize_t n = ::write(pty_.master(), out.data(), out.size());
      if (n < 0 && errno != EAGAIN && errno != EINTR) Fail("writing " + path());
      if (n > 0) {
        if (trace) trace(">>", std::string_view(out).substr(0, static_cast<std::size_t>(n)));
        out.erase(0, static_cast<std::size_t>(n));
      }
    }
  }
}

BackgroundModem::BackgroundModem() {
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stop_fd_ < 0 || wake_fd_ < 0) Fail("eventfd");
  thread_ = std::thread([this] {
    try {
      server_.Serve(modem_, mutex_, {stop_fd_}, wake_fd_);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "simulated modem on %s stopped: %s\n", path().c_str(), e.what());
    }
  });
}

BackgroundModem::~BackgroundModem() {
  Signal(stop_fd_);
  thread_.join();
  ::close(stop_fd_);
  ::close(wake_fd_);
}

void BackgroundModem::Wake() {
  Signal(wake_fd_);
}

}  // namespace atmodem
