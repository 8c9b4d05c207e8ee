// The serial control on Windows: \\.\COMn (or the device mapped to port n by
// mobi::SetPortDevice) opened for overlapped I/O, line settings from our own
// settings parser, writes queued without blocking the caller.
//
// Received bytes are read and time-stamped by a small I/O thread of the open
// port, which posts a notification to a hidden message-only window of the
// thread that created the control when bytes arrived and when the line has
// been quiet for a gap; the owning thread feeds them to the reply assembler
// and hands over what is ready. OnComm runs from that window's procedure: on
// the owning thread, and only while that thread processes messages.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "core/serial_control_base.h"
#include "win32/message_loop.h"
#include "win32/port_io.h"

namespace mobi::win32 {

class SerialControl final : public core::SerialControlBase {
 public:
  explicit SerialControl(MessageLoop& loop);
  ~SerialControl() override;
  SerialControl(const SerialControl&) = delete;
  SerialControl& operator=(const SerialControl&) = delete;

  bool PortOpen() const override;

  // The device path that port n stands for.
  static std::wstring DevicePath(int port);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Open() override;
  void Close() override;
  void ApplyOpenSettings() override;
  bool LineAlive() override;
  void Write(const core::ByteArray& bytes) override;
  void DiscardReceived() override;
  void GatherReceived() override;
  std::exception_ptr TakeUnreportedHangUp() override { return loop_.TakePendingError(); }
  // Line settings and time-outs of the open handle `h`.
  void ApplySettings(HANDLE h, const std::string& name);
  // The I/O thread reported received bytes, a quiet gap or a failure: feeds
  // the assembler and hands over every reply that is ready.
  void OnNotified();
  // Closes the failed line; the error to report.
  Error HangUpError(DWORD error);

  MessageLoop& loop_;
  HWND window_ = nullptr;
  std::string name_;  // "COM3 (\\.\COM3)", for error texts
  std::unique_ptr<PortIo> io_;
};

}  // namespace mobi::win32
