#include "serial_control.h"

#include <utility>

#include "errors.h"
#include "port_io.h"
#include "system_text.h"

namespace mobi::win32 {
namespace {

using core::Raise;
using mobi::Error;

constexpr const wchar_t* kWindowClass = L"MobiSerialControlWindow";

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

}  // namespace

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
  Handle h(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr));
  if (!h) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY) {
      Raise(mobi::kHardwareNotAvailable, name + ": in use by another program (" + Why(error) + ")");
    }
    Raise(mobi::kInvalidPortNumber, name + ": " + Why(error));
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(h.get(), &dcb)) {
    Raise(mobi::kInvalidPortNumber, name + " is not a serial device: " + Why(GetLastError()));
  }
  ApplySettings(h.get(), name);
  SetupComm(h.get(), kInBufferSize, kInBufferSize);
  // Only what was received: bytes a previous session queued for the line
  // still go out.
  PurgeComm(h.get(), PURGE_RXCLEAR);
  io_ = std::make_unique<PortIo>(std::move(h), window_, gaps_);
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

void SerialControl::GatherReceived() {
  for (Run& run : io_->TakeRuns()) runs_.push_back(std::move(run));
  for (Run& run : runs_) held_.insert(held_.end(), run.bytes.begin(), run.bytes.end());
  runs_.clear();
}

void SerialControl::DiscardReceived() {
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
  if (message == PortIo::kNotification) {
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
    const std::size_t before = held_.size();
    if (!RaiseOnComm()) return;                // destroyed by a handler
    if (io_ && held_.size() >= before) break;  // the handler took nothing
  }
  if (io_ && io_->Failure()) {
    loop_.SetPendingError(std::make_exception_ptr(HangUpError(io_->Failure())));
    // What arrived before the hang-up is still handed over.
    HandOverLeftOver();  // may destroy this
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
