#include "posix/event_loop.h"

#include <poll.h>
#include <sys/epoll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>
#include <utility>

namespace mobi::posix {
namespace {

timespec ToTimespec(std::chrono::nanoseconds d) {
  if (d.count() < 0) d = std::chrono::nanoseconds(0);
  timespec ts;
  ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
  ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
  return ts;
}

}  // namespace

EventLoop::EventLoop() {
  epoll_ = epoll_create1(EPOLL_CLOEXEC);
  if (epoll_ < 0) throw std::system_error(errno, std::generic_category(), "epoll_create1");
}

EventLoop::~EventLoop() {
  if (epoll_ >= 0) close(epoll_);
}

int EventLoop::Watch(int fd, uint32_t events, Handler handler) {
  const int id = nextId_++;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = static_cast<uint64_t>(id);
  if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &ev) < 0) {
    throw std::system_error(errno, std::generic_category(), "epoll_ctl");
  }
  watched_[id] = std::make_shared<Watched>(Watched{fd, std::move(handler)});
  return id;
}

void EventLoop::Modify(int id, uint32_t events) {
  auto it = watched_.find(id);
  if (it == watched_.end()) return;
  epoll_event ev{};
  ev.events = events;
  ev.data.u64 = static_cast<uint64_t>(id);
  epoll_ctl(epoll_, EPOLL_CTL_MOD, it->second->fd, &ev);
}

void EventLoop::Unwatch(int id) {
  auto it = watched_.find(id);
  if (it == watched_.end()) return;
  epoll_ctl(epoll_, EPOLL_CTL_DEL, it->second->fd, nullptr);
  watched_.erase(it);
}

bool EventLoop::DispatchReady(const core::Host::StopCondition& stop) {
  epoll_event events[16];
  const int n = epoll_wait(epoll_, events, 16, 0);
  for (int i = 0; i < n; ++i) {
    auto it = watched_.find(static_cast<int>(events[i].data.u64));
    if (it == watched_.end()) continue;  // unwatched by an earlier handler
    auto watched = it->second;           // survives an Unwatch from inside
    const core::TimePoint began = core::Clock::now();
    watched->handler(events[i].events);
    if (stop(began)) return true;
    if (pendingError_) std::rethrow_exception(std::exchange(pendingError_, nullptr));
  }
  return false;
}

void EventLoop::Run(core::TimePoint deadline, const core::Host::StopCondition& stop,
                    bool earlyEnd) {
  if (pendingError_) std::rethrow_exception(std::exchange(pendingError_, nullptr));
  if (!earlyEnd) {
    const timespec until = ToTimespec(deadline.time_since_epoch());
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
    // What became pending while sleeping (bounded, should the line flood).
    for (int pass = 0; pass < 64 && !DispatchReady(stop); ++pass) {
      pollfd p{epoll_, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0) break;
    }
    return;
  }
  for (;;) {
    const timespec timeout = ToTimespec(deadline - core::Clock::now());
    pollfd p{epoll_, POLLIN, 0};
    const int ready = ppoll(&p, 1, &timeout, nullptr);
    if (ready < 0 && errno != EINTR) {
      throw std::system_error(errno, std::generic_category(), "ppoll");
    }
    if (ready > 0 && DispatchReady(stop)) return;
    if (core::Clock::now() >= deadline) return;
  }
}

}  // namespace mobi::posix
