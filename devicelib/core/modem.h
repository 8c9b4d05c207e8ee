// One GSM modem on an open serial line, driven with standard AT commands in
// text mode (AT+CMGF=1): start-up, sending one message, fetching one received
// message. Texts in and out are GBK; on the line they are IRA (plain ASCII)
// or UCS2 hex (AT+CSCS="UCS2").
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "at_channel.h"
#include "platform.h"

namespace smsdll {

struct ModemTimeouts {
  Millis probe{1000};  // each "AT" while looking for the modem
  int probe_attempts = 3;
  Millis command{3000};  // ordinary commands
  Millis list{10000};    // AT+CMGL, AT+CMGR
  Millis prompt{5000};   // the "> " prompt of AT+CMGS
  Millis submit{60000};  // +CMGS after Ctrl-Z (the network answers)
};

// How hs_send_onemessage sends the text.
enum class SendMode : int32_t {
  kAutomatic = 1,  // plain ASCII as GSM text, anything else as UCS2
  kUnicode = 2,    // always UCS2
};

struct FetchedMessage {
  std::string text;          // GBK
  std::string sent_time;     // service centre time stamp, "2026-12-08 19:10:00 +08:00"
  std::string fetched_time;  // local time of the fetch, "2026-12-08 19:12:31"
  std::string sender;        // GBK, as the network gave it ("+8613912345678")
};

class Modem {
 public:
  Modem(std::unique_ptr<SerialPort> port, Clock& clock, Codec& codec, ModemTimeouts timeouts = {});

  // Finds the modem (AT, a few tries), turns echo off, checks the SIM card
  // (AT+CPIN?; a modem without the command is taken as ready), selects text mode and
  // the IRA character set, and sets the service centre when one is given.
  Status Start(std::string_view csca);

  Status Send(std::string_view csca, std::string_view text_gbk, std::string_view number,
              int32_t mode);

  // Reads the received message with the lowest index and deletes it from the
  // modem. When the deletion fails the message is still returned in out.
  Status Fetch(FetchedMessage& out);

  // Identity from AT+CGMI/AT+CGMM, when the modem gave one.
  const std::string& identity() const { return identity_; }
  const std::string& service_centre() const { return csca_; }

 private:
  // Fails when the modem reports its SIM card missing or locked.
  Status CheckSim();
  Status SetServiceCentre(std::string_view csca);

  std::unique_ptr<SerialPort> port_;
  Clock& clock_;
  Codec& codec_;
  ModemTimeouts timeouts_;
  AtChannel at_;
  std::string identity_;
  std::string csca_;  // the service centre last set
};

// Helpers of the above, exposed for their own tests.
// "26/12/08,19:10:00+32" -> "2026-12-08 19:10:00 +08:00"; unknown forms as given.
std::string FormatServiceCentreTime(std::string_view scts);
// Splits "+CMGR: "REC READ","+86139",,"26/12/08,19:10:00+32"" after the colon
// into its fields, quotes removed.
std::vector<std::string> SplitFields(std::string_view line);

}  // namespace smsdll
