#include "win32/port_io.h"

#include <chrono>
#include <string>
#include <system_error>
#include <utility>

#include "core/errors.h"
#include "win32/system_text.h"

namespace mobi::win32 {

using core::Raise;

PortIo::PortIo(Handle port, HWND notify)
    : port_(std::move(port)),
      notify_(notify),
      wake_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      readEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      restEvent_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (!wake_ || !readEvent_ || !restEvent_) {
    Raise(mobi::kDeviceNotOpen, "cannot create events: " + Why(GetLastError()));
  }
  reader_.ov.hEvent = readEvent_.get();
  try {
    thread_ = std::thread([this] { Loop(); });
  } catch (const std::system_error& e) {
    Raise(mobi::kDeviceNotOpen, std::string("cannot start the port's reader: ") + e.what());
  }
}

PortIo::~PortIo() {
  stop_ = true;
  SetEvent(wake_.get());
  if (thread_.joinable()) thread_.join();
  // Writes already queued still go out, each bounded by the write
  // time-out (its line time plus one second); a failed line ends them.
  for (auto& w : writes_) {
    DWORD n = 0;
    GetOverlappedResult(port_.get(), &w->ov, &n, TRUE);
  }
  writes_.clear();
  port_.Reset();  // before the events
}

void PortIo::NotifyAt(std::optional<core::TimePoint> due) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (due_ == due) return;
    due_ = due;
  }
  SetEvent(wake_.get());
}

std::vector<Arrival> PortIo::TakeArrivals() {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::exchange(arrivals_, {});
}

void PortIo::DiscardInput() {
  std::lock_guard<std::mutex> lock(mutex_);
  arrivals_.clear();
  PurgeComm(port_.get(), PURGE_RXCLEAR);
}

DWORD PortIo::Failure() {
  std::lock_guard<std::mutex> lock(mutex_);
  return failure_;
}

DWORD PortIo::Write(const core::ByteArray& bytes) {
  DWORD error = Reap();
  if (error) return error;
  if (bytes.empty()) return 0;
  auto w = std::make_unique<PendingWrite>();
  w->bytes = bytes;
  w->event.Reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!w->event) return GetLastError();
  w->ov.hEvent = w->event.get();
  if (WriteFile(port_.get(), w->bytes.data(), static_cast<DWORD>(w->bytes.size()), nullptr,
                &w->ov)) {
    return 0;  // written already
  }
  error = GetLastError();
  if (error != ERROR_IO_PENDING) return error;
  writes_.push_back(std::move(w));
  return 0;
}

DWORD PortIo::Reap() {
  DWORD error = 0;
  while (!writes_.empty() && HasOverlappedIoCompleted(&writes_.front()->ov)) {
    DWORD n = 0;
    if (!GetOverlappedResult(port_.get(), &writes_.front()->ov, &n, FALSE) && !error) {
      error = GetLastError();
    }
    writes_.pop_front();
  }
  return error;
}

void PortIo::Notify() {
  if (!posted_.exchange(true)) PostMessageW(notify_, kNotification, 0, 0);
}

void PortIo::Fail(DWORD error) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    failure_ = error ? error : ERROR_GEN_FAILURE;
  }
  posted_ = false;
  Notify();
}

// ---- The I/O thread ---------------------------------------------------------------

void PortIo::Loop() {
  HANDLE handles[3] = {wake_.get(), readEvent_.get(), timer_.handle()};
  while (!stop_) {
    if (!StartRead()) return;
    const auto due = Due();
    const DWORD count = due ? 3 : 2;
    if (due) timer_.ArmAt(*due);
    const DWORD r = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
    if (stop_) break;
    if (r == WAIT_OBJECT_0 + 1) {
      if (!TakeRead()) return;
    } else if (r == WAIT_OBJECT_0 + 2) {
      // The timer's clock and the steady clock may disagree by a fraction of
      // a millisecond: early by the steady clock is not yet.
      if (core::Clock::now() >= *due) DuePassed(*due);
    } else if (r == WAIT_FAILED) {
      Fail(GetLastError());
      return;
    }
  }
  CancelRead();
}

bool PortIo::StartRead() {
  if (reader_.reading) return true;
  ResetEvent(readEvent_.get());
  if (!ReadFile(port_.get(), &reader_.first, 1, nullptr, &reader_.ov) &&
      GetLastError() != ERROR_IO_PENDING) {
    Fail(GetLastError());
    return false;
  }
  reader_.reading = true;
  return true;
}

std::optional<core::TimePoint> PortIo::Due() {
  std::lock_guard<std::mutex> lock(mutex_);
  return due_;
}

bool PortIo::TakeRead() {
  DWORD n = 0;
  reader_.reading = false;
  if (!GetOverlappedResult(port_.get(), &reader_.ov, &n, FALSE)) {
    Fail(GetLastError());
    return false;
  }
  if (n == 0) return true;
  core::ByteArray got{reader_.first};
  const DWORD error = ReadRest(got);
  Keep(std::move(got), core::Clock::now());
  if (error) {
    Fail(error);
    return false;
  }
  Notify();
  return true;
}

DWORD PortIo::ReadRest(core::ByteArray& got) {
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port_.get(), &errors, &status)) return GetLastError();
    if (status.cbInQue == 0) return 0;
    const size_t before = got.size();
    got.resize(before + status.cbInQue);
    OVERLAPPED ov{};
    ov.hEvent = restEvent_.get();
    ResetEvent(restEvent_.get());
    DWORD n = 0;
    if (!ReadFile(port_.get(), got.data() + before, status.cbInQue, nullptr, &ov)) {
      const DWORD error = GetLastError();
      if (error != ERROR_IO_PENDING) return error;
    }
    // The bytes are there already: this completes at once.
    if (!GetOverlappedResult(port_.get(), &ov, &n, TRUE)) return GetLastError();
    got.resize(before + n);
    if (got.size() >= kBufferSize) return 0;
  }
}

void PortIo::Keep(core::ByteArray got, core::TimePoint now) {
  std::lock_guard<std::mutex> lock(mutex_);
  arrivals_.push_back(Arrival{std::move(got), now});
}

void PortIo::DuePassed(core::TimePoint due) {
  // Bytes that came with the deadline are read first: the read has
  // completed, or the line holds bytes its completion has not shown yet.
  DWORD errors = 0;
  COMSTAT status{};
  if (WaitForSingleObject(readEvent_.get(), 0) == WAIT_OBJECT_0 ||
      (ClearCommError(port_.get(), &errors, &status) && status.cbInQue > 0)) {
    return;
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (due_ != due) return;  // moved meanwhile
    due_.reset();
  }
  Notify();
}

void PortIo::CancelRead() {
  if (!reader_.reading) return;
  CancelIo(port_.get());
  DWORD n = 0;
  GetOverlappedResult(port_.get(), &reader_.ov, &n, TRUE);
}

}  // namespace mobi::win32
