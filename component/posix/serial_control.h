// The serial control on POSIX: a termios device in raw binary mode, opened
// exclusively, written without blocking, read into an input buffer while the
// thread processes messages. OnComm is raised once the line has been quiet
// for the quiet gap (see settings.h), so that a reply paced at line rate is
// handed over whole.
#pragma once

#include <string>

#include "event_loop.h"
#include "serial_control_base.h"

namespace mobi::posix {

class SerialControl final : public core::SerialControlBase {
 public:
  explicit SerialControl(EventLoop& loop);
  ~SerialControl() override;

  bool PortOpen() const override { return fd_ >= 0; }
  void SetInBufferCount(int32_t count) override;
  int32_t InBufferCount() override;
  void Output(const core::ByteArray& bytes) override;
  core::ByteArray Input() override;

  // The device path that port n stands for.
  static std::string DevicePath(int port);
  // Input beyond this many bytes is handed over without waiting for a gap.
  static constexpr std::size_t kInBufferSize = 4096;

 private:
  void Open() override;
  void Close() override;
  void ApplyOpenSettings() override { ApplySettings(); }
  void ApplySettings();
  void OnReadable(uint32_t events);
  void OnWritable();
  void OnQuietGap();
  void ArmTimer(std::chrono::nanoseconds after);
  void HangUp();
  // Raises OnComm; the control may be gone when this returns.
  void RaiseOnComm();

  EventLoop& loop_;
  int fd_ = -1;
  int timer_ = -1;
  int fdWatch_ = 0;
  int timerWatch_ = 0;
  std::string device_;
  bool hungUp_ = false;
  core::ByteArray in_;
  core::ByteArray out_;  // bytes the line has not taken yet
};

}  // namespace mobi::posix
