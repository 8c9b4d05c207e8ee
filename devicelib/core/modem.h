// One GSM modem on an open serial line, driven with standard AT commands in
// PDU mode (AT+CMGF=0) where the modem has it, else in text mode (AT+CMGF=1):
// start-up, sending one message (as concatenated parts when it is longer
// than one SMS), fetching one received message (its parts put together).
// Texts in and out are GBK; on the line they are PDUs, or in text mode IRA
// (plain ASCII) or UCS2 hex (AT+CSCS="UCS2").
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
  // Before the first message after start-up: the longest wait for the
  // network (AT+CREG?) and a readable service centre (AT+CSCA?), polled at
  // this interval. Within the same time after start-up, +CMS ERROR 330/331
  // count as passing.
  Millis registration{60000};
  Millis poll{2000};
  // A part refused with a passing error (+CMS ERROR: 500, +CME ERROR: 515, a
  // bare ERROR of a busy modem) is tried again this many times after a pause.
  int retries = 3;
  Millis retry_pause{2000};
};

// How hs_send_onemessage sends the text.
enum class SendMode : int32_t {
  kAutomatic = 1,  // GSM 7-bit where every character has a place in it, else UCS2
  kUnicode = 2,    // always UCS2
};

// The most parts a long message is sent as: 16 x 153 GSM characters or
// 16 x 67 UCS2 characters.
inline constexpr int kMaxSendParts = 16;

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
  // (AT+CPIN?; a modem without the command is taken as ready), asks for
  // numeric error codes, selects PDU mode or else text mode, the IRA
  // character set, and sets the service centre when one is given.
  Status Start(std::string_view csca);
  // The message format Start found: PDU mode, or text mode.
  bool pdu_mode() const { return pdu_; }

  // Before the first message after start-up (or a restart) waits, bounded,
  // for the network and a known service centre; passing errors are retried
  // (ModemTimeouts), and a part the modem accepted is never sent again.
  Status Send(std::string_view csca, std::string_view text_gbk, std::string_view number,
              int32_t mode);

  // Reads the received message with the lowest index and deletes it from the
  // modem, looking in each storage the modem offers in turn (SM, ME; MT
  // when they are not offered). In PDU mode a concatenated message is put
  // together from all its parts, which are all deleted (a part stored twice
  // too); one whose parts have not all arrived is left stored, and the next
  // whole message is taken instead. Status reports are left where they are.
  // When the deletion fails the message is still returned in out.
  Status Fetch(FetchedMessage& out);

  // Identity from AT+CGMI/AT+CGMM, when the modem gave one.
  const std::string& identity() const { return identity_; }
  const std::string& service_centre() const { return csca_; }

 private:
  // The settings of start-up, again after the modem restarted.
  Status Configure(std::string_view csca);
  // Sets the modem up again when it announced a restart (and says so).
  Status Recover(bool* restarted = nullptr);
  // Fails when the modem reports its SIM card missing or locked.
  Status CheckSim();
  // A refusal that may pass when asked again (busy, not yet registered).
  bool Passing(const AtReply& reply) const;
  // Require, asking again a bounded number of times while the refusal may pass.
  Status RequirePassing(const std::string& command, Millis timeout, AtReply& reply);
  // Waits (bounded) for network registration and a known service centre.
  Status WaitUntilReady();
  // Sends one part, retrying passing errors; accepted once the modem gave
  // +CMGS for it, which is then never sent again.
  // After a restart the setup commands (text mode parameters) go again.
  Status SubmitPart(const std::string& command, const std::string& body,
                    const std::vector<std::string>& setup = {});
  // The message storages to read, in order (SM, ME, MT); "" for a modem
  // without AT+CPMS.
  const std::vector<std::string>& Storages();
  Status SetServiceCentre(std::string_view csca);
  Status SendPdu(const std::vector<std::u16string>& parts, bool gsm, std::string_view number);
  Status SendText(const std::vector<std::u16string>& parts, bool gsm, std::string_view number);
  Status FetchPdu(FetchedMessage& out);
  Status FetchText(FetchedMessage& out);
  std::string FetchTime();

  std::unique_ptr<SerialPort> port_;
  Clock& clock_;
  Codec& codec_;
  ModemTimeouts timeouts_;
  AtChannel at_;
  std::string identity_;
  std::string csca_;  // the service centre last set
  bool pdu_ = false;
  bool ready_ = false;                 // registration and service centre checked since start-up
  Millis window_end_{0};               // end of the registration window after start-up
  std::vector<std::string> storages_;  // found at the first fetch
  int next_reference_ = 1;             // of concatenated messages, 1..255
};

// Helpers of the above, exposed for their own tests.
// "26/12/08,19:10:00+32" -> "2026-12-08 19:10:00 +08:00"; unknown forms as given.
std::string FormatServiceCentreTime(std::string_view scts);
// Splits "+CMGR: "REC READ","+86139",,"26/12/08,19:10:00+32"" after the colon
// into its fields, quotes removed.
std::vector<std::string> SplitFields(std::string_view line);

}  // namespace smsdll
