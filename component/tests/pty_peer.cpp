#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <stdexcept>
#include <utility>

namespace mobi::test {

PtyPeer::PtyPeer(Script script) : script_(std::move(script)) {
  // The scripted terminal writes in blocking mode: a paced byte goes out
  // whole, whatever the component's side has read.
  master_ = pty_.master();
  const int flags = fcntl(master_, F_GETFL);
  if (flags < 0 || fcntl(master_, F_SETFL, flags & ~O_NONBLOCK) != 0)
    throw std::runtime_error("pseudo-terminal: blocking master");
  path_ = pty_.slave_path();
  if (pipe2(stop_, O_CLOEXEC) < 0) throw std::runtime_error("pipe");
  thread_ = std::thread([this] { Run(); });
}

PtyPeer::~PtyPeer() {
  [[maybe_unused]] auto n = write(stop_[1], "x", 1);
  thread_.join();
  close(stop_[0]);
  close(stop_[1]);
}

void PtyPeer::Run() {
  for (;;) {
    bool reading;
    {
      std::lock_guard lock(mutex_);
      reading = reading_ && master_ >= 0;
    }
    pollfd fds[2] = {{stop_[0], POLLIN, 0}, {reading ? master_ : -1, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[0].revents) {
      char why = 'x';
      [[maybe_unused]] auto n = read(stop_[0], &why, 1);
      if (why == 'x') return;
      continue;  // woken to read again
    }
    if (!(fds[1].revents & POLLIN)) continue;
    uint8_t buffer[65536];
    const ssize_t n = read(master_, buffer, sizeof buffer);
    if (n <= 0) continue;
    Bytes batch(buffer, buffer + n);
    {
      std::lock_guard lock(mutex_);
      received_.insert(received_.end(), batch.begin(), batch.end());
    }
    changed_.notify_all();
    if (script_) script_(*this, batch);
  }
}

void PtyPeer::Write(const Bytes& bytes, std::chrono::nanoseconds pace) {
  if (master_ < 0) return;
  if (pace.count() == 0) {
    [[maybe_unused]] auto n = write(master_, bytes.data(), bytes.size());
    return;
  }
  // Paced bytes must not stall behind a busy machine: a pause longer than the
  // quiet gap would split the reply. Real-time priority where permitted.
  sched_param realtime{};
  realtime.sched_priority = 10;
  int oldPolicy = SCHED_OTHER;
  sched_param oldParam{};
  pthread_getschedparam(pthread_self(), &oldPolicy, &oldParam);
  const bool raised = pthread_setschedparam(pthread_self(), SCHED_FIFO, &realtime) == 0;
  timespec next;
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (uint8_t b : bytes) {
    [[maybe_unused]] auto n = write(master_, &b, 1);
    next.tv_nsec += pace.count();
    while (next.tv_nsec >= 1000000000) {
      next.tv_nsec -= 1000000000;
      ++next.tv_sec;
    }
    clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
  }
  if (raised) pthread_setschedparam(pthread_self(), oldPolicy, &oldParam);
}

void PtyPeer::HangUp() {
  std::lock_guard lock(mutex_);
  pty_.Hangup();
  master_ = -1;
}

void PtyPeer::SetReading(bool reading) {
  {
    std::lock_guard lock(mutex_);
    reading_ = reading;
  }
  [[maybe_unused]] auto n = write(stop_[1], "w", 1);
}

Bytes PtyPeer::Received() {
  std::lock_guard lock(mutex_);
  return received_;
}

bool PtyPeer::WaitForBytes(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

}  // namespace mobi::test
