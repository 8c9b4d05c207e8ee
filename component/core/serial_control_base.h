// What every platform's serial control keeps alike: the port number, the line
// settings, InputLen and InputMode with their checks; the reply assembler and
// the hand-over of its replies through OnComm; the hang-up state and what
// arrived before it; the "port not open" error. A platform layer adds
// opening, closing, writing, and reading bytes with their arrival times.
//
// A line that hangs up (a modem unplugged, the other end closed) is found
// inside message processing, or at the next operation when no call was
// waiting: the wait or that operation fails with 8020 naming the hang-up
// (once), the port is closed, and later operations fail with 8018 until the
// port is opened again. Opening it again (Initialize) needs no object
// released: a dead line still counted as open is closed first, and the
// device is opened anew, also when it came back under the same path. Bytes
// received before the hang-up are still handed over, one reply at a time.
//
// Closing the port gives output not yet sent its line time plus one second
// to leave (the write time-out of both platforms), then drops the rest; a
// line that hung up drops it at once.
#pragma once

#include <exception>
#include <memory>

#include "core/errors.h"
#include "core/platform.h"
#include "core/reply_assembler.h"
#include "core/settings.h"

namespace mobi::core {

class SerialControlBase : public SerialControl {
 public:
  // Input beyond this many bytes is handed over without waiting for a gap.
  static constexpr std::size_t kInBufferSize = 4096;

  // 8000 while the port is open, 8002 outside 1 to 255.
  void SetCommPort(int16_t port) override;
  // 380 for a string the parser refuses; applied at once to an open port.
  void SetSettings(const std::u16string& settings) override;
  // 380 for a negative length.
  void SetInputLen(int16_t length) override;
  // 380 unless 0 (text) or 1 (binary).
  void SetInputMode(int16_t mode) override;
  void SetPortOpen(bool open) override;
  // 380 unless 0; 8018 on a closed port.
  void SetInBufferCount(int32_t count) final;
  // The reply being handed over.
  int32_t InBufferCount() final;
  ByteArray Input() final;
  // 8018 on a closed port, 8020 on a line found hung up.
  void Output(const ByteArray& bytes) final;
  std::optional<TimePoint> ReplyDue() const final;
  QuietGaps Gaps() const final { return assembler_.Gaps(); }

 protected:
  SerialControlBase();

  virtual void Open() = 0;
  // Closes the device; what the assembler holds stays.
  virtual void Close() = 0;
  // The settings changed while the port is open.
  virtual void ApplyOpenSettings() = 0;
  // Whether the open line is still there (no hang-up seen by the platform).
  virtual bool LineAlive() = 0;
  virtual void Write(const ByteArray& bytes) = 0;
  // Drops what the device and the reader still hold (the assembler is empty
  // already).
  virtual void DiscardReceived() = 0;
  // Feeds the assembler whatever the line received and the control has not
  // fed yet (before a hang-up closes the port).
  virtual void GatherReceived() = 0;
  // A hang-up found while messages were processed and not reported yet by
  // the wait that found it; null when none.
  virtual std::exception_ptr TakeUnreportedHangUp() { return nullptr; }

  // The line hung up: keeps what was received, closes the port, and returns
  // the error to report (8020 naming `name`; `why` for a cause other than a
  // hang-up).
  Error LineGone(const std::string& name, const std::string& why = {});
  // Hands over, through OnComm, every reply that is ready at `now`; false if
  // the control was destroyed meanwhile (then nothing of it may be touched).
  bool HandOver(TimePoint now);
  // When the assembler has the next reply ready if nothing more arrives;
  // nothing while none is held or a reply handed over was not taken.
  std::optional<TimePoint> NextDeadline() const;
  // Sets the gaps from the settings and the device's forwarding interval.
  void SetForwarding(std::chrono::nanoseconds forwarding);
  // "COM3"
  std::string PortLabel() const;

  int16_t port_ = 1;
  LineSettings settings_;
  int16_t inputLen_ = 0;
  int16_t inputMode_ = 0;
  bool hungUp_ = false;
  ReplyAssembler assembler_;

 private:
  // Closes an open port whose line has gone, without an error.
  void DropDeadLine();
  void RequireOpenLine();

  std::chrono::nanoseconds forwarding_{0};
  ByteArray reply_;     // the reply being handed over
  uint64_t taken_ = 0;  // replies Input has taken
  std::shared_ptr<bool> life_ = std::make_shared<bool>(true);
};

}  // namespace mobi::core
