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
#include "platform.h"
#include "settings.h"

namespace mobi::win32 {

class PortIo;

class SerialControl final : public core::SerialControl {
 public:
  explicit SerialControl(MessageLoop& loop);
  ~SerialControl() override;
  SerialControl(const SerialControl&) = delete;
  SerialControl& operator=(const SerialControl&) = delete;

  void SetCommPort(int16_t port) override;
  void SetSettings(const std::u16string& settings) override;
  void SetInputLen(int16_t length) override;
  void SetInputMode(int16_t mode) override;
  void SetPortOpen(bool open) override;
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
  void Open();
  void Close();
  // Line settings and time-outs of the open handle `h`.
  void ApplySettings(HANDLE h, const std::string& name);
  // The I/O thread reported received bytes or a failure.
  void OnNotified();
  void HangUp(DWORD error);
  // Raises OnComm; the control may be gone when this returns.
  void RaiseOnComm();

  MessageLoop& loop_;
  HWND window_ = nullptr;
  int16_t port_ = 1;
  core::LineSettings settings_;
  int16_t inputLen_ = 0;
  int16_t inputMode_ = 0;
  std::string name_;  // "COM3 (\\.\COM3)", for error texts
  bool hungUp_ = false;
  core::ByteArray leftOver_;  // what arrived before a hang-up, still to hand over
  std::unique_ptr<PortIo> io_;
};

}  // namespace mobi::win32
