#include "win32/serial_control.h"

#include <utility>

#include "core/errors.h"
#include "win32/port_io.h"
#include "win32/system_text.h"

namespace mobi::win32 {
namespace {

using core::Raise;
using mobi::Error;

constexpr const wchar_t* kWindowClass = L"MobiSerialControlWindow";

// The errors of a line that hung up (a USB adapter unplugged, the other end
// of a pipe closed), as reads and writes report them.
bool IsHangUp(DWORD error) {
  return error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF ||
         error == ERROR_DEVICE_NOT_CONNECTED || error == ERROR_OPERATION_ABORTED ||
         error == ERROR_BAD_COMMAND;
}

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
  io_->NotifyAt(NextDeadline());  // the gaps may have changed
}

bool SerialControl::PortOpen() const {
  return io_ != nullptr;
}
void SerialControl::Open() {
  if (PortOpen()) Raise(mobi::kPortAlreadyOpen, name_);
  const std::wstring path = DevicePath(port_);
  const std::string name = PortLabel() + " (" + Utf8(path) + ")";
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
  SetupComm(h.get(), PortIo::kBufferSize, PortIo::kBufferSize);
  // Only what was received: bytes a previous session queued for the line
  // still go out.
  PurgeComm(h.get(), PURGE_RXCLEAR);
  io_ = std::make_unique<PortIo>(std::move(h), window_);
  name_ = name;
}

void SerialControl::Close() {
  io_.reset();
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
  if (IsHangUp(error)) throw LineGone(name_);
  if (error) Raise(mobi::kWriteError, name_ + ": " + Why(error));
}

void SerialControl::GatherReceived() {
  for (const Arrival& a : io_->TakeArrivals()) assembler_.Add(a.bytes, a.at);
}

void SerialControl::DiscardReceived() {
  io_->DiscardInput();
  io_->NotifyAt(std::nullopt);
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
  GatherReceived();
  if (const DWORD failure = io_->Failure()) {
    loop_.SetPendingError(std::make_exception_ptr(HangUpError(failure)));
  } else {
    io_->NotifyAt(NextDeadline());  // also if a client's handler fails below
  }
  // What arrived before a hang-up is still handed over.
  if (!HandOver(core::Clock::now())) return;  // destroyed by a handler
  if (io_) io_->NotifyAt(NextDeadline());
}

Error SerialControl::HangUpError(DWORD error) {
  return IsHangUp(error) ? LineGone(name_) : LineGone(name_, Why(error));
}

}  // namespace mobi::win32
