#include "serial_control.h"

#include <atomic>
#include <deque>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "errors.h"

namespace mobi::win32 {
namespace {

using core::Raise;
using mobi::Error;

constexpr UINT kMsgReceived = WM_APP + 0x4D;  // "the I/O thread has something"
constexpr const wchar_t* kWindowClass = L"MobiSerialControlWindow";

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
  }
  return out;
}

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  }
  return out;
}

// The system's text for a Win32 error code.
std::string Why(DWORD error) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring w = n && text ? std::wstring(text, n) : std::wstring();
  if (text) LocalFree(text);
  while (!w.empty() && (w.back() == L'\n' || w.back() == L'\r' || w.back() == L' ')) w.pop_back();
  std::string out = Utf8(w);
  if (out.empty()) out = "system error " + std::to_string(error);
  return out;
}

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

// ---- The open port and its I/O thread -------------------------------------------
//
// The I/O thread only reads: it waits for the first byte with a one-byte
// overlapped read, takes whatever else is waiting, and keeps what it read as
// runs of bytes separated by at least the short quiet gap, each with the
// times of its first and last byte. It posts a notification once the line
// has been quiet for the short gap and again for the long one (or when the
// buffer is full, or the line failed); the owning thread decides from the
// runs which bytes form a reply and when it goes (settings.h). The owning
// thread writes with overlapped writes of its own that it does not wait for.
class PortIo {
 public:
  PortIo(HANDLE port, HWND notify, core::QuietGaps gaps)
      : port_(port), notify_(notify), gaps_(gaps) {
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    readEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    restEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!wake_ || !readEvent_ || !restEvent_) {
      const DWORD error = GetLastError();
      CloseEvents();
      Raise(mobi::kDeviceNotOpen, "cannot create events: " + Why(error));
    }
    try {
      thread_ = std::thread([this] { Loop(); });
    } catch (const std::system_error& e) {
      CloseEvents();
      Raise(mobi::kDeviceNotOpen, std::string("cannot start the port's reader: ") + e.what());
    }
  }

  ~PortIo() {
    stop_ = true;
    SetEvent(wake_);
    if (thread_.joinable()) thread_.join();
    // Writes already queued still go out, each bounded by the write
    // time-out (its line time plus one second); a failed line ends them.
    for (auto& w : writes_) {
      DWORD n = 0;
      GetOverlappedResult(port_, &w->ov, &n, TRUE);
      CloseHandle(w->ov.hEvent);
    }
    writes_.clear();
    CloseHandle(port_);
    CloseEvents();
  }

  HANDLE handle() const { return port_; }

  void SetGaps(core::QuietGaps gaps) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      gaps_ = gaps;
    }
    SetEvent(wake_);
  }

  std::vector<Run> TakeRuns() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::exchange(runs_, {});
  }

  // The runs not yet taken, as one, and the time of their last byte.
  std::optional<Run> Peek() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (runs_.empty()) return std::nullopt;
    Run all{{}, runs_.front().first, runs_.back().last};
    for (const Run& r : runs_) all.bytes.insert(all.bytes.end(), r.bytes.begin(), r.bytes.end());
    return all;
  }

  void DiscardInput() {
    std::lock_guard<std::mutex> lock(mutex_);
    runs_.clear();
    PurgeComm(port_, PURGE_RXCLEAR);
  }

  // The read side's failure (a hang-up), or 0.
  DWORD Failure() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
  }

  // Called by the window procedure before it handles a notification, so that
  // the next one gets posted.
  void NotificationTaken() { posted_ = false; }

  // Queues `bytes` for the line; returns 0 or the Win32 error of the write.
  DWORD Write(const core::ByteArray& bytes) {
    DWORD error = Reap();
    if (error) return error;
    if (bytes.empty()) return 0;
    auto w = std::make_unique<PendingWrite>();
    w->bytes = bytes;
    w->ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!w->ov.hEvent) return GetLastError();
    if (WriteFile(port_, w->bytes.data(), static_cast<DWORD>(w->bytes.size()), nullptr, &w->ov)) {
      CloseHandle(w->ov.hEvent);
      return 0;
    }
    error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      CloseHandle(w->ov.hEvent);
      return error;
    }
    writes_.push_back(std::move(w));
    return 0;
  }

 private:
  struct PendingWrite {
    OVERLAPPED ov{};
    core::ByteArray bytes;
  };

  // Forgets writes that have finished; the first failure among them, or 0.
  DWORD Reap() {
    DWORD error = 0;
    while (!writes_.empty() && HasOverlappedIoCompleted(&writes_.front()->ov)) {
      DWORD n = 0;
      if (!GetOverlappedResult(port_, &writes_.front()->ov, &n, FALSE) && !error) {
        error = GetLastError();
      }
      CloseHandle(writes_.front()->ov.hEvent);
      writes_.pop_front();
    }
    return error;
  }

  void CloseEvents() {
    if (wake_) CloseHandle(wake_);
    if (readEvent_) CloseHandle(readEvent_);
    if (restEvent_) CloseHandle(restEvent_);
  }

  void Notify() {
    if (!posted_.exchange(true)) PostMessageW(notify_, kMsgReceived, 0, 0);
  }

  void Fail(DWORD error) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      failure_ = error ? error : ERROR_GEN_FAILURE;
    }
    posted_ = false;
    Notify();
  }

  // After the first byte: takes everything else that is waiting.
  DWORD ReadRest(core::ByteArray& got) {
    for (;;) {
      DWORD errors = 0;
      COMSTAT status{};
      if (!ClearCommError(port_, &errors, &status)) return GetLastError();
      if (status.cbInQue == 0) return 0;
      const size_t before = got.size();
      got.resize(before + status.cbInQue);
      OVERLAPPED ov{};
      ov.hEvent = restEvent_;
      ResetEvent(restEvent_);
      DWORD n = 0;
      if (!ReadFile(port_, got.data() + before, status.cbInQue, nullptr, &ov)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) return error;
      }
      // The bytes are there already: this completes at once.
      if (!GetOverlappedResult(port_, &ov, &n, TRUE)) return GetLastError();
      got.resize(before + n);
      if (got.size() >= SerialControl::kInBufferSize) return 0;
    }
  }

  // Keeps `got`, read at `now`, as part of the last run or as a new one.
  size_t Keep(const core::ByteArray& got, core::TimePoint now, core::QuietGaps& gaps) {
    std::lock_guard<std::mutex> lock(mutex_);
    gaps = gaps_;
    if (runs_.empty() || now - runs_.back().last >= gaps_.whole) {
      runs_.push_back(Run{got, now, now});
    } else {
      runs_.back().bytes.insert(runs_.back().bytes.end(), got.begin(), got.end());
      runs_.back().last = now;
    }
    size_t size = 0;
    for (const Run& r : runs_) size += r.bytes.size();
    return size;
  }

  void Loop() {
    uint8_t first = 0;
    OVERLAPPED ov{};
    ov.hEvent = readEvent_;
    bool reading = false;
    int pending = 0;  // notifications still due for the last bytes: 2, 1, 0
    core::TimePoint lastByte{};
    core::QuietGaps gaps{};
    while (!stop_) {
      if (!reading) {
        ResetEvent(readEvent_);
        if (!ReadFile(port_, &first, 1, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) {
          Fail(GetLastError());
          return;
        }
        reading = true;
      }
      DWORD timeout = INFINITE;
      if (pending > 0) {
        {
          std::lock_guard<std::mutex> lock(mutex_);
          gaps = gaps_;
        }
        const auto due = lastByte + (pending == 2 ? gaps.whole : gaps.other);
        const auto left = due - core::Clock::now();
        timeout =
            left <= core::Clock::duration::zero()
                ? 0
                : static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
      }
      HANDLE handles[2] = {wake_, readEvent_};
      const DWORD r = WaitForMultipleObjects(2, handles, FALSE, timeout);
      if (stop_) break;
      if (r == WAIT_OBJECT_0 + 1) {
        DWORD n = 0;
        reading = false;
        if (!GetOverlappedResult(port_, &ov, &n, FALSE)) {
          Fail(GetLastError());
          return;
        }
        if (n == 0) continue;
        core::ByteArray got{first};
        const DWORD error = ReadRest(got);
        lastByte = core::Clock::now();
        const size_t size = Keep(got, lastByte, gaps);
        pending = 2;
        if (error) {
          Fail(error);
          return;
        }
        if (size >= SerialControl::kInBufferSize) Notify();
      } else if (r == WAIT_TIMEOUT) {
        // Bytes that came with the time-out belong to the run: the read has
        // completed, or the line holds bytes its completion has not shown yet.
        DWORD errors = 0;
        COMSTAT status{};
        if (WaitForSingleObject(readEvent_, 0) == WAIT_OBJECT_0 ||
            (ClearCommError(port_, &errors, &status) && status.cbInQue > 0)) {
          continue;
        }
        --pending;
        if (pending == 0 && gaps.whole >= gaps.other) continue;  // one gap: posted already
        Notify();
      } else if (r == WAIT_FAILED) {
        Fail(GetLastError());
        return;
      }
    }
    if (reading) {
      CancelIo(port_);
      DWORD n = 0;
      GetOverlappedResult(port_, &ov, &n, TRUE);
    }
  }

  HANDLE port_;
  HWND notify_;
  HANDLE wake_ = nullptr, readEvent_ = nullptr, restEvent_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> posted_{false};
  std::mutex mutex_;  // guards runs_, gaps_, failure_
  std::vector<Run> runs_;
  core::QuietGaps gaps_;
  DWORD failure_ = 0;
  std::deque<std::unique_ptr<PendingWrite>> writes_;  // owning thread only
};

// ---- The control -------------------------------------------------------------------

SerialControl::SerialControl(MessageLoop& loop) : loop_(loop) {
  const HMODULE module = ThisModule();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &SerialControl::WindowProc;
  wc.hInstance = module;
  wc.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    Raise(mobi::kDeviceNotOpen, "cannot register the notification window: " + Why(GetLastError()));
  }
  window_ =
      CreateWindowExW(0, kWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, module, nullptr);
  if (!window_) {
    Raise(mobi::kDeviceNotOpen, "cannot create the notification window: " + Why(GetLastError()));
  }
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

SerialControl::~SerialControl() {
  Close();
  SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  DestroyWindow(window_);
  // Fails while another control's window exists; the last one unregisters.
  UnregisterClassW(kWindowClass, ThisModule());
}

std::wstring SerialControl::DevicePath(int port) {
  const std::string mapped = core::MappedPortDevice(port);
  return mapped.empty() ? L"\\\\.\\COM" + std::to_wstring(port) : Wide(mapped);
}

void SerialControl::ApplyOpenSettings() {
  ApplySettings(io_->handle(), name_);
  io_->SetGaps(gaps_);
}

bool SerialControl::PortOpen() const {
  return io_ != nullptr;
}
void SerialControl::Open() {
  if (PortOpen()) Raise(mobi::kPortAlreadyOpen, name_);
  const std::wstring path = DevicePath(port_);
  const std::string name = "COM" + std::to_string(port_) + " (" + Utf8(path) + ")";
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY) {
      Raise(mobi::kHardwareNotAvailable, name + ": in use by another program (" + Why(error) + ")");
    }
    Raise(mobi::kInvalidPortNumber, name + ": " + Why(error));
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) {
    const DWORD error = GetLastError();
    CloseHandle(h);
    Raise(mobi::kInvalidPortNumber, name + " is not a serial device: " + Why(error));
  }
  try {
    ApplySettings(h, name);
  } catch (...) {
    CloseHandle(h);
    throw;
  }
  SetupComm(h, kInBufferSize, kInBufferSize);
  // Only what was received: bytes a previous session queued for the line
  // still go out.
  PurgeComm(h, PURGE_RXCLEAR);
  try {
    io_ = std::make_unique<PortIo>(h, window_, gaps_);
  } catch (...) {
    CloseHandle(h);
    throw;
  }
  name_ = name;
}

void SerialControl::Close() {
  io_.reset();
  held_.clear();
  runs_.clear();
}

void SerialControl::ApplySettings(HANDLE h, const std::string& name) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h, &dcb)) Raise(mobi::kSetCommStateFailed, name + ": " + Why(GetLastError()));
  dcb.BaudRate = static_cast<DWORD>(settings_.baud);
  dcb.ByteSize = static_cast<BYTE>(settings_.dataBits);
  switch (settings_.parity) {
    case 'e':
      dcb.Parity = EVENPARITY;
      break;
    case 'o':
      dcb.Parity = ODDPARITY;
      break;
    case 'm':
      dcb.Parity = MARKPARITY;
      break;
    case 's':
      dcb.Parity = SPACEPARITY;
      break;
    default:
      dcb.Parity = NOPARITY;
      break;
  }
  dcb.StopBits = settings_.stopBits >= 2  ? TWOSTOPBITS
                 : settings_.stopBits > 1 ? ONE5STOPBITS
                                          : ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = dcb.Parity != NOPARITY;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  dcb.fAbortOnError = FALSE;
  if (!SetCommState(h, &dcb)) {
    Raise(mobi::kSetCommStateFailed, name + ": " + Why(GetLastError()));
  }
  // Reads wait for the bytes they ask for (the I/O thread asks for one, then
  // for what is waiting); a write may take its line time plus one second.
  COMMTIMEOUTS timeouts{};
  const auto perByte = core::LineTime(settings_, 1);
  timeouts.WriteTotalTimeoutMultiplier =
      static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(perByte).count());
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!SetCommTimeouts(h, &timeouts)) {
    Raise(mobi::kSetCommStateFailed, name + ": " + Why(GetLastError()));
  }
}

bool SerialControl::LineAlive() {
  if (io_->Failure()) return false;
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(io_->handle(), &errors, &status) != 0;
}

void SerialControl::Write(const core::ByteArray& bytes) {
  const DWORD error = io_->Write(bytes);
  if (error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_NOT_CONNECTED ||
      error == ERROR_BROKEN_PIPE || error == ERROR_OPERATION_ABORTED) {
    throw LineGone(name_);
  }
  if (error) Raise(mobi::kWriteError, name_ + ": " + Why(error));
}

core::ByteArray SerialControl::TakeHeld() {
  return std::exchange(held_, {});
}

void SerialControl::GatherReceived() {
  for (Run& run : io_->TakeRuns()) runs_.push_back(std::move(run));
  for (Run& run : runs_) held_.insert(held_.end(), run.bytes.begin(), run.bytes.end());
  runs_.clear();
}

void SerialControl::DiscardHeld() {
  held_.clear();
  runs_.clear();
  io_->DiscardInput();
}

std::optional<core::TimePoint> SerialControl::ReplyDue() const {
  if (!io_) return std::nullopt;
  // As if everything read so far were one reply: a reply that the rest
  // completes goes after the short gap.
  core::ByteArray all = held_;
  core::TimePoint last = heldLast_;
  for (const Run& run : runs_) {
    all.insert(all.end(), run.bytes.begin(), run.bytes.end());
    last = run.last;
  }
  if (const auto pending = io_->Peek()) {
    all.insert(all.end(), pending->bytes.begin(), pending->bytes.end());
    last = pending->last;
  }
  if (all.empty()) return std::nullopt;
  return last + GapFor(all);
}

LRESULT CALLBACK SerialControl::WindowProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == kMsgReceived) {
    auto* control = reinterpret_cast<SerialControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!control) return 0;
    MessageLoop& loop = control->loop_;
    // Nothing may be thrown through the system's dispatching: a failure (of
    // a client's handler, say) is rethrown by the message loop that
    // dispatched this message.
    try {
      control->OnNotified();  // may destroy the control
    } catch (...) {
      loop.SetPendingError(std::current_exception());
    }
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void SerialControl::OnNotified() {
  if (!io_) return;  // closed since the notification was posted
  io_->NotificationTaken();
  for (Run& run : io_->TakeRuns()) runs_.push_back(std::move(run));
  while (io_) {
    // The runs that continue the held bytes join them.
    while (!runs_.empty() && (held_.empty() || runs_.front().first - heldLast_ < GapFor(held_))) {
      held_.insert(held_.end(), runs_.front().bytes.begin(), runs_.front().bytes.end());
      heldLast_ = runs_.front().last;
      runs_.pop_front();
    }
    // A run after the gap begins the next reply, so the held one is whole.
    const bool due = !held_.empty() && (!runs_.empty() || held_.size() >= kInBufferSize ||
                                        core::Clock::now() - heldLast_ >= GapFor(held_));
    if (!due) break;
    if (!OnComm) held_.clear();  // nobody listens
    if (!RaiseOnComm()) return;  // destroyed by a handler
  }
  if (io_ && io_->Failure()) {
    loop_.SetPendingError(std::make_exception_ptr(HangUpError(io_->Failure())));
    // What arrived before the hang-up is still handed over.
    if (InBufferCount() > 0) RaiseOnComm();  // may destroy this
  }
}

Error SerialControl::HangUpError(DWORD error) {
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ||
      error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_OPERATION_ABORTED ||
      error == ERROR_BAD_COMMAND) {
    return LineGone(name_);
  }
  return LineGone(name_, Why(error));
}

}  // namespace mobi::win32
