// The open port and its I/O thread.
//
// The I/O thread only reads: it waits for the first byte with a one-byte
// overlapped read, takes whatever else is waiting, and keeps each read with
// the time it arrived. It posts a notification when bytes arrived, when the
// line failed, and when the deadline the owning thread set (the reply
// assembler's) has passed; the owning thread feeds the bytes to the
// assembler and hands over what is ready. The owning thread writes with
// overlapped writes of its own that it does not wait for.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "core/serial_control_base.h"
#include "win32/handle.h"
#include "win32/precise_timer.h"

namespace mobi::win32 {

// The bytes of one read and when they arrived.
struct Arrival {
  core::ByteArray bytes;
  core::TimePoint at;
};

class PortIo {
 public:
  // The message posted to the notification window.
  static constexpr UINT kNotification = WM_APP + 0x4D;
  // Input beyond this many bytes is handed over without waiting for a gap.
  static constexpr std::size_t kBufferSize = 4096;

  // Owns `port` from here on (also when it throws mobi::Error 8012: the
  // thread could not start).
  PortIo(Handle port, HWND notify);
  // Stops the thread and lets the queued writes finish, then closes the port.
  ~PortIo();
  PortIo(const PortIo&) = delete;
  PortIo& operator=(const PortIo&) = delete;

  HANDLE handle() const { return port_.get(); }

  // A notification is posted once `due` has passed (none: no deadline).
  void NotifyAt(std::optional<core::TimePoint> due);
  std::vector<Arrival> TakeArrivals();
  void DiscardInput();
  // The read side's failure (a hang-up), or 0.
  DWORD Failure();
  // Called by the window procedure before it handles a notification, so that
  // the next one gets posted.
  void NotificationTaken() { posted_ = false; }
  // Queues `bytes` for the line; returns 0 or the Win32 error of the write.
  DWORD Write(const core::ByteArray& bytes);

 private:
  struct PendingWrite {
    Handle event;
    OVERLAPPED ov{};
    core::ByteArray bytes;
  };

  // The I/O thread's own state, kept between the steps of its loop.
  struct Reader {
    uint8_t first = 0;  // the one-byte read's buffer
    OVERLAPPED ov{};
    bool reading = false;  // the one-byte read is under way
  };

  // Forgets writes that have finished; the first failure among them, or 0.
  DWORD Reap();
  void Notify();
  void Fail(DWORD error);

  // The I/O thread, and the steps of its loop. A step that returns false has
  // reported a failure: the thread ends.
  void Loop();
  // Starts the one-byte read unless it is under way.
  bool StartRead();
  // The deadline last set; nothing when none is.
  std::optional<core::TimePoint> Due();
  // The one-byte read completed: takes the rest that is waiting and keeps it.
  bool TakeRead();
  // After the first byte: takes everything else that is waiting.
  DWORD ReadRest(core::ByteArray& got);
  // Keeps `got`, read at `now`.
  void Keep(core::ByteArray got, core::TimePoint now);
  // The deadline `due` passed: notifies, unless bytes came with it (their
  // own notification follows).
  void DuePassed(core::TimePoint due);
  // On the way out: cancels the one-byte read and waits for it to end.
  void CancelRead();

  Handle port_;
  HWND notify_;
  Handle wake_, readEvent_, restEvent_;
  PreciseTimer timer_;  // runs out at Due()
  Reader reader_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> posted_{false};
  std::mutex mutex_;  // guards arrivals_, due_, failure_
  std::vector<Arrival> arrivals_;
  std::optional<core::TimePoint> due_;
  DWORD failure_ = 0;
  std::deque<std::unique_ptr<PendingWrite>> writes_;  // owning thread only
};

}  // namespace mobi::win32
