// The thread's message processing on POSIX: an epoll set of the serial
// controls' descriptors and timers. Nothing runs by itself: handlers run only
// inside Run, that is inside a waiting call or mobi::DoEvents().
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "core/platform.h"

namespace mobi::posix {

class EventLoop {
 public:
  using Handler = std::function<void(uint32_t events)>;

  EventLoop();
  ~EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Readable whenever a watched descriptor is ready.
  int fd() const { return epoll_; }

  // Watches `fd` for `events` (EPOLLIN, EPOLLOUT); returns a watch id.
  int Watch(int fd, uint32_t events, Handler handler);
  void Modify(int id, uint32_t events);
  // Stops watching; safe from inside any handler, the watched one included.
  void Unwatch(int id);

  // An error found by a handler (a hang-up), thrown by Run after the
  // handler returns; when the caller's stop condition already holds, by the
  // next Run, unless somebody takes it first.
  void SetPendingError(std::exception_ptr error) { pendingError_ = std::move(error); }
  std::exception_ptr TakePendingError() { return std::exchange(pendingError_, nullptr); }

  // Processes messages until `deadline`: with `earlyEnd`, waits for ready
  // descriptors and handles each as it comes, returning as soon as `stop()`
  // holds; without it, sleeps to the deadline first. Either way, at the
  // deadline it handles what is pending and returns.
  void Run(core::TimePoint deadline, const core::Host::StopCondition& stop, bool earlyEnd);

 private:
  struct Watched {
    int fd;
    Handler handler;
  };
  // Handles every ready descriptor once; returns true if `stop()` held.
  bool DispatchReady(const core::Host::StopCondition& stop);

  int epoll_ = -1;
  int nextId_ = 1;
  std::map<int, std::shared_ptr<Watched>> watched_;
  std::exception_ptr pendingError_;
};

}  // namespace mobi::posix
