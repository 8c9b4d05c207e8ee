// The serial control on POSIX: a termios device in raw binary mode, opened
// exclusively, written without blocking. A reader thread of the open port
// only reads what arrives and time-stamps it; the owning thread feeds the
// bytes with their arrival times to the reply assembler and arms one timer at
// its deadline, so that OnComm is raised on the owning thread, only while it
// processes messages, and replies are cut by when they arrived, not by when
// the thread came to read them. Where the driver supports it the line asks
// for low latency, and the long gap follows the forwarding interval the
// device reports (a USB adapter's latency timer).
#pragma once

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/serial_control_base.h"
#include "posix/event_loop.h"

namespace mobi::posix {

class SerialControl final : public core::SerialControlBase {
 public:
  explicit SerialControl(EventLoop& loop);
  ~SerialControl() override;

  bool PortOpen() const override { return fd_ >= 0; }

  // The device path that port n stands for.
  static std::string DevicePath(int port);

 private:
  // Bytes of one read and when they arrived.
  struct Arrival {
    core::ByteArray bytes;
    core::TimePoint at;
  };

  void Open() override;
  void Close() override;
  void ApplyOpenSettings() override {
    ApplySettings();
    ArmTimer(NextDeadline());  // the gaps may have changed
  }
  bool LineAlive() override;
  void Write(const core::ByteArray& bytes) override;
  void DiscardReceived() override;
  void GatherReceived() override;
  std::exception_ptr TakeUnreportedHangUp() override { return loop_.TakePendingError(); }

  void ApplySettings();
  // The reader thread: reads until the line ends or it is told to stop.
  void Read(int fd);
  // Stops the reader thread and waits for it.
  void StopReader();
  // On the owning thread: feeds what the reader read, hands over what is
  // ready and re-arms the timer, or reports a hang-up.
  void Update();
  void OnWritable(uint32_t events);
  // The timer runs out at `due` (at least 1 us from now), or never.
  void ArmTimer(std::optional<core::TimePoint> due);
  void HangUp();
  std::string Name() const { return PortLabel() + " (" + device_ + ")"; }
  // Gives queued output its time to leave before the port closes.
  void Drain();

  EventLoop& loop_;
  int fd_ = -1;
  int timer_ = -1;
  int news_ = -1;  // eventfd: the reader read something, or the line ended
  int stop_ = -1;  // eventfd: the reader is to stop
  int newsWatch_ = 0;
  int timerWatch_ = 0;
  int writeWatch_ = 0;
  std::string device_;
  core::ByteArray out_;  // bytes the line has not taken yet
  std::thread reader_;
  std::mutex mutex_;  // guards arrived_ and ended_
  std::vector<Arrival> arrived_;
  bool ended_ = false;
};

}  // namespace mobi::posix
