// The serial control on Windows: \\.\COMn (or the device mapped to port n by
// mobi::SetPortDevice) opened for overlapped I/O, line settings from our own
// settings parser, writes queued without blocking the caller.
//
// Received bytes are read by a small I/O thread of the open port, which only
// collects them and posts a notification to a hidden message-only window of
// the thread that created the control when the line has been quiet; the
// owning thread then applies the quiet-gap rule (settings.h). OnComm runs from
// that window's procedure: on the owning thread, and only while that thread
// processes messages.
#pragma once

#include <windows.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>

#include "message_loop.h"
#include "port_io.h"
#include "serial_control_base.h"

namespace mobi::win32 {

class SerialControl final : public core::SerialControlBase {
 public:
  explicit SerialControl(MessageLoop& loop);
  ~SerialControl() override;
  SerialControl(const SerialControl&) = delete;
  SerialControl& operator=(const SerialControl&) = delete;

  bool PortOpen() const override;
  std::optional<core::TimePoint> ReplyDue() const override;

  // The device path that port n stands for.
  static std::wstring DevicePath(int port);
  // Input beyond this many bytes is handed over without waiting for a gap.
  static constexpr std::size_t kInBufferSize = PortIo::kBufferSize;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Open() override;
  void Close() override;
  void ApplyOpenSettings() override;
  bool LineAlive() override;
  void Write(const core::ByteArray& bytes) override;
  void DiscardReceived() override;
  void GatherReceived() override;
  // Line settings and time-outs of the open handle `h`.
  void ApplySettings(HANDLE h, const std::string& name);
  // The I/O thread reported received bytes or a failure: hands over every
  // reply whose gap has passed.
  void OnNotified();
  // Closes the failed line; the error to report.
  Error HangUpError(DWORD error);

  MessageLoop& loop_;
  HWND window_ = nullptr;
  std::string name_;  // "COM3 (\\.\COM3)", for error texts
  std::unique_ptr<PortIo> io_;
  core::TimePoint heldLast_{};  // when the last held byte came
  std::deque<Run> runs_;        // read after the held reply's gap: the next replies
};

}  // namespace mobi::win32
