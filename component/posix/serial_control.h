// The serial control on POSIX: a termios device in raw binary mode, opened
// exclusively, written without blocking, read into an input buffer while the
// thread processes messages. OnComm is raised once the line has been quiet
// for the quiet gap (settings.h), so that a reply paced at line rate, or
// forwarded in bursts by a USB adapter, is handed over whole. Where the
// driver supports it the line asks for low latency, and the long gap follows
// the forwarding interval the device reports (a USB adapter's latency timer).
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
  std::optional<core::TimePoint> ReplyDue() const override;

  // The device path that port n stands for.
  static std::string DevicePath(int port);
  // Input beyond this many bytes is handed over without waiting for a gap.
  static constexpr std::size_t kInBufferSize = 4096;

 private:
  void Open() override;
  void Close() override;
  void ApplyOpenSettings() override { ApplySettings(); }
  bool LineAlive() override;
  void Write(const core::ByteArray& bytes) override;
  void HeldTaken() override;
  void DiscardReceived() override;
  void GatherReceived() override;

  void ApplySettings();
  // `continued`: bytes that came with the gap's timer still belong to the
  // held reply.
  void OnReadable(uint32_t events, bool continued = false);
  void OnWritable();
  void OnQuietGap();
  // The quiet gap's timer: runs out `after` from now (at least 1 us), or
  // never.
  void ArmTimer(std::chrono::nanoseconds after);
  void DisarmTimer();
  void SetTimer(std::chrono::nanoseconds after);
  void HangUp();
  // Gives queued output its time to leave before the port closes.
  void Drain();

  EventLoop& loop_;
  int fd_ = -1;
  int timer_ = -1;
  int fdWatch_ = 0;
  int timerWatch_ = 0;
  std::string device_;
  core::TimePoint lastByte_{};
  core::TimePoint due_{};  // when the armed gap timer runs out
  core::ByteArray out_;    // bytes the line has not taken yet
};

}  // namespace mobi::posix
