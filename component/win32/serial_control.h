// The serial control on Windows: \\.\COMn (or the device mapped to port n by
// mobi::SetPortDevice) opened for overlapped I/O, line settings from our own
// settings parser, writes queued without blocking the caller.
//
// Received bytes are read by a small I/O thread of the open port, which only
// collects them and posts a notification to a hidden message-only window of
// the thread that created the control, once the line has been quiet for the
// quiet gap (see settings.h). OnComm runs from that window's procedure: on the
// owning thread, and only while that thread processes messages.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "message_loop.h"
#include "serial_control_base.h"

namespace mobi::win32 {

class PortIo;

class SerialControl final : public core::SerialControlBase {
 public:
  explicit SerialControl(MessageLoop& loop);
  ~SerialControl() override;
  SerialControl(const SerialControl&) = delete;
  SerialControl& operator=(const SerialControl&) = delete;

  bool PortOpen() const override;
  void SetInBufferCount(int32_t count) override;
  int32_t InBufferCount() override;
  void Output(const core::ByteArray& bytes) override;
  core::ByteArray Input() override;

  // The device path that port n stands for.
  static std::wstring DevicePath(int port);
  // Input beyond this many bytes is handed over without waiting for a gap.
  static constexpr std::size_t kInBufferSize = 4096;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Open() override;
  void Close() override;
  void ApplyOpenSettings() override;
  // Line settings and time-outs of the open handle `h`.
  void ApplySettings(HANDLE h, const std::string& name);
  // The I/O thread reported received bytes or a failure.
  void OnNotified();
  void HangUp(DWORD error);
  // Raises OnComm; the control may be gone when this returns.
  void RaiseOnComm();

  MessageLoop& loop_;
  HWND window_ = nullptr;
  std::string name_;  // "COM3 (\\.\COM3)", for error texts
  bool hungUp_ = false;
  core::ByteArray leftOver_;  // what arrived before a hang-up, still to hand over
  std::unique_ptr<PortIo> io_;
};

}  // namespace mobi::win32
