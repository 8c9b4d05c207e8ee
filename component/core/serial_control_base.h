// What every platform's serial control keeps alike: the port number, the line
// settings, InputLen and InputMode with their checks; the hang-up state and
// what arrived before it; the "port not open" error; the quiet gaps; raising
// OnComm. A platform layer adds opening, closing, reading and writing.
//
// A line that hangs up (a modem unplugged, the other end closed) is found
// inside message processing, or at the next operation when no call was
// waiting: that operation fails at once with 8020 naming the hang-up, the
// port is closed, and later operations fail with 8018 until the port is
// opened again. Opening it again (Initialize) needs no object released: a
// dead line still counted as open is closed first, and the device is opened
// anew, also when it came back under the same path. Bytes received before
// the hang-up stay readable through InBufferCount and Input.
//
// Closing the port gives output not yet sent its line time plus one second
// to leave (the write time-out of both platforms), then drops the rest; a
// line that hung up drops it at once.
//
// Received bytes are held here until Input takes them. Held bytes that begin
// with a whole reply followed by the start of another (read together, or
// sent with less than a quiet gap between them) are handed over as two
// replies: the first at once, the rest by its own gap.
#pragma once

#include <memory>

#include "errors.h"
#include "platform.h"
#include "settings.h"

namespace mobi::core {

class SerialControlBase : public SerialControl {
 public:
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
  int32_t InBufferCount() final;
  ByteArray Input() final;
  // 8018 on a closed port, 8020 on a line found hung up.
  void Output(const ByteArray& bytes) final;
  QuietGaps Gaps() const final { return gaps_; }

 protected:
  SerialControlBase();

  virtual void Open() = 0;
  virtual void Close() = 0;
  // The settings changed while the port is open.
  virtual void ApplyOpenSettings() = 0;
  // Whether the open line is still there (no hang-up seen by the platform).
  virtual bool LineAlive() = 0;
  virtual void Write(const ByteArray& bytes) = 0;
  // Input took held bytes; held_ keeps the rest, if any.
  virtual void HeldTaken() {}
  // Drops what the device still buffers (held_ is already empty).
  virtual void DiscardReceived() = 0;
  // Adds to the held bytes whatever the line received and the control has not
  // gathered yet (before a hang-up closes the port).
  virtual void GatherReceived() = 0;

  // The line hung up: keeps what was held, closes the port, and returns the
  // error to report (8020 naming `name`; `why` for a cause other than a
  // hang-up).
  Error LineGone(const std::string& name, const std::string& why = {});
  // Raises OnComm; false if the control was destroyed by the call (then
  // nothing of it may be touched).
  bool RaiseOnComm();
  // After a hang-up: hands over what arrived before it, one reply at a time;
  // false if the control was destroyed meanwhile.
  bool HandOverLeftOver();
  // The gap the held bytes wait for before they are handed over (none when
  // they begin with a whole reply that another follows).
  std::chrono::nanoseconds GapFor(const ByteArray& held) const;
  // Sets the gaps from the settings and the device's forwarding interval.
  void SetForwarding(std::chrono::nanoseconds forwarding);

  int16_t port_ = 1;
  LineSettings settings_;
  int16_t inputLen_ = 0;
  int16_t inputMode_ = 0;
  QuietGaps gaps_;
  bool hungUp_ = false;
  ByteArray held_;  // received, not yet taken by Input

 private:
  // How many of `bytes` the next Input takes.
  std::size_t NextReply(const ByteArray& bytes) const;
  // Closes an open port whose line has gone, without an error.
  void DropDeadLine();
  void RequireOpenLine();

  std::chrono::nanoseconds forwarding_{0};
  ByteArray leftOver_;  // what arrived before a hang-up
  std::shared_ptr<bool> life_ = std::make_shared<bool>(true);
};

}  // namespace mobi::core
