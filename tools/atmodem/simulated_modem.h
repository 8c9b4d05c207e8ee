// A simulated GSM modem that speaks AT commands in PDU mode (AT+CMGF=0, its
// power-on mode) and text mode, as a plain state machine: bytes from the line
// go in, the modem's answer comes out. Each command is one handler in a table
// (simulated_modem.cpp). No I/O and no clock of its own: whoever drives it
// tells it the time (AdvanceTo, seconds since power-on), and it keeps what it
// has to say later (a slow answer, a burst, an event such as a network
// registration) until that time comes; pty_server.h puts it on a
// pseudo-terminal with real timers, tests drive it with a virtual clock.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pdu.h"

namespace atmodem {

struct StoredMessage {
  int index = 0;
  std::string status;   // "REC UNREAD", "REC READ", "STO UNSENT", "STO SENT"
  std::string number;   // "+8613912345678"
  std::string time;     // service centre time stamp, "26/12/08,19:10:00+32"
  std::u16string text;  // of this part
  std::optional<smsdll::pdu::Concat> concat;
  bool eight_bit = false;     // 8-bit data: each unit of `text` is one byte
  int report_reference = -1;  // >= 0: a stored delivery report of that <mr>
};

struct SentMessage {
  int reference = 0;   // the <mr> of +CMGS
  std::string number;  // destination as decoded from the command
  std::u16string text;
  std::string charset;  // AT+CSCS at the time of sending
  int dcs = 0;          // data coding scheme of AT+CSMP (0 GSM, 8 UCS2)
  std::string centre;   // AT+CSCA, or the PDU's own service centre
  bool pdu = false;     // sent in PDU mode
  std::optional<smsdll::pdu::Concat> concat;
  bool status_report = false;  // a delivery report was asked for
};

struct Identity {
  std::string manufacturer = "Mobi";
  std::string model = "ATM-1 simulated GSM modem";
  std::string revision = "1.0";
  std::string serial = "861234567890123";
};

// Behaviours of real modems that break SMS software, switched on one by one
// (the scenarios of scenarios.h). Delays are seconds of the modem's clock.
struct Quirks {
  // Unsolicited lines put into the answer to a command (as for FailCommand;
  // "SUBMIT" is the answer after Ctrl-Z), after `after` of its information
  // lines. An arrival first stores that message (its index replaces "%d").
  struct Interjection {
    std::string command;
    std::string lines;  // "^RSSI: 15", several separated by "\r\n"
    std::size_t after = 1;
    int times = 1;  // < 0: always
    std::optional<StoredMessage> arrival;
  };
  std::vector<Interjection> interjections;
  bool echo_stuck = false;     // ATE0 is answered OK, the echo stays on
  bool lowercase_pdu = false;  // listed PDUs in lower-case hex
  enum class Centre { kFull, kZeroLength, kNone };
  Centre listed_centre = Centre::kFull;  // the service centre part of listed PDUs
  double burst_gap = 0;                  // > 0: each answer in two bursts, this far apart
  double prompt_delay = 0;               // the "> " of AT+CMGS this late
  double submit_delay = 0;               // +CMGS: <mr> this late after Ctrl-Z
  bool unplug_on_submit = false;         // drops the line after the first Ctrl-Z
  bool restart_after_submit = false;     // restarts after the first sent message
};

class Modem {
 public:
  static constexpr int kSlots = 30;  // message storage, indexes 1..kSlots

  explicit Modem(Identity identity = {});
  Modem(const Modem&) = delete;
  Modem& operator=(const Modem&) = delete;

  // Takes bytes from the line; answers go to the output (take_output).
  void Receive(std::string_view bytes);
  // Everything the modem has said since the last call.
  std::string TakeOutput();

  // Stores a received message in the receiving memory (AT+CPMS, third
  // memory), a text too long for one message as concatenated parts (GSM
  // 7-bit where every character fits, else UCS2); the first part's index, or
  // nullopt when the memory has no room for all parts. Each part is
  // announced with +CMTI when AT+CNMI asks for it (<mt> 1). With <mt> 2 or 3
  // the parts go to the line at once as +CMT instead and are not stored (0).
  std::optional<int> AddInbox(std::string number, std::u16string text, std::string time,
                              bool read = false);

  // Every command line whose command starts with `command` (upper case, as
  // "+CMGS", "+CSCA=", "E0") is answered with `reply` instead ("ERROR",
  // "+CMS ERROR: 500"; an empty reply means no answer at all), `times` times
  // or, with times < 0, always. The command "SUBMIT" stands for the message
  // text ended with Ctrl-Z; the empty command matches every command, the bare
  // "AT" too.
  // The first `skip` matching commands are answered as usual.
  void FailCommand(std::string command, std::string reply, int times = -1, int skip = 0);

  // The modem's clock: runs the events and releases the output due by `now`
  // (seconds since power-on, never going back).
  void AdvanceTo(double now);
  double now_seconds() const { return now_; }
  // When something is next due (an event or held output), if anything is.
  std::optional<double> NextDue() const;
  // Runs `event` at `time` on the modem's clock.
  void At(double time, std::function<void(Modem&)> event);
  // True once the modem has dropped the line (a modem unplugged): whoever
  // serves it closes the line after sending what was due.
  bool hung_up() const { return hung_up_; }

  Quirks quirks;
  // Network registration (+CREG stat 1, else 2 "searching" and submits
  // refused with +CMS ERROR: 331) and a readable service centre (else
  // AT+CSCA? and submits with the SIM's centre give +CMS ERROR: 330). The
  // change is announced as +CREG: 1 when AT+CREG asks for it.
  void SetRegistered(bool registered);
  void SetCentreKnown(bool known) { centre_known_ = known; }
  // Powers the modem off and on: settings back to power-on, RDY and
  // +CPIN: READY unsolicited. Stored messages stay.
  void Restart();
  // Puts a message into a memory ("SM", "ME") at its index, replacing
  // whatever was there, and the parts a text would be received as.
  void Store(const std::string& memory, StoredMessage message);
  std::vector<StoredMessage> Parts(const std::string& number, const std::u16string& text,
                                   const std::string& time);
  void SetCapacity(const std::string& memory, int slots) { capacity_[memory] = slots; }

  void SetSignal(int rssi) { rssi_ = rssi; }
  // The SIM card: "READY", "SIM PIN" (any AT+CPIN="<pin>" unlocks it) or
  // "" for none inserted (+CME ERROR: 10); "SIM PUK" takes
  // AT+CPIN="<puk>","<new pin>". SMS commands need it ready.
  void SetSim(std::string state) { sim_ = std::move(state); }

  // The service centre time stamp of delivery reports ("26/12/08,19:10:00+32").
  std::function<std::string()> now = [] { return std::string("26/12/08,19:10:00+32"); };

  const std::vector<SentMessage>& sent() const { return sent_; }
  // Every stored message, SIM memory first.
  std::vector<StoredMessage> inbox() const;
  bool echo() const { return settings_.echo; }
  bool text_mode() const { return settings_.text_mode; }
  const std::string& charset() const { return settings_.charset; }
  int dcs() const { return settings_.dcs; }
  const std::string& centre() const { return centre_; }
  // The command lines received, in order (for logs and tests).
  const std::vector<std::string>& commands() const { return commands_; }

  // Called with each sent message (logging, recording to a file).
  std::function<void(const SentMessage&)> on_sent;
  // A message refused after Ctrl-Z, with the answer given.
  std::function<void(const std::string& reply, const SentMessage&)> on_refused;
  // A stored message read (AT+CMGR or listed by AT+CMGL), or deleted.
  std::function<void(const std::string& memory, const StoredMessage&)> on_read;
  std::function<void(const std::string& memory, const StoredMessage&)> on_deleted;

 private:
  friend struct Commands;  // the command handlers
  struct Failure {
    std::string command;
    std::string reply;
    int times;
    int skip;
  };
  struct Held {  // output due at a later time
    double at;
    std::string bytes;
  };
  struct Event {
    double at;
    std::function<void(Modem&)> run;
  };
  struct Settings {
    bool echo = true;
    bool text_mode = false;
    std::string charset = "IRA";
    int fo = 17, vp = 167, pid = 0, dcs = 0;
    int cnmi_mode = 0, cnmi_mt = 0, cnmi_ds = 0;
    int cfun = 1;
    int cmee = 1;  // numeric +CME ERROR codes from power-on
    int creg = 0, cgreg = 0, clip = 0, crc = 0, cops_format = 0;
    bool csdh = false;
    std::string memory[3] = {"SM", "SM", "SM"};  // read/delete, write, receive
  };
  using Storage = std::map<int, StoredMessage>;

  void ExecuteLine(const std::string& line);
  // Holds the output made since `mark` for `delay` (and behind whatever is
  // held already), split into bursts when the quirks ask for it.
  void Hold(std::size_t mark, double delay);
  void ReceiveByte(char c);
  // A decoded message after Ctrl-Z: sent (+CMGS: <mr>) or refused; false
  // when refused. `sim_centre`: it goes through the SIM's service centre.
  bool Refuse(const std::string& reply, const SentMessage& sent);
  bool Accept(SentMessage sent, bool sim_centre);
  void Interject(std::vector<std::string>& lines);
  std::string ListedPdu(const smsdll::pdu::Encoded& e) const;
  // One command of a line; false stops the line with the error in `final`.
  bool Execute(const std::string& name, const std::string& args, std::vector<std::string>& info,
               std::string& final);
  void Submit();
  void SubmitPdu(const std::string& hex);
  void Report(const SentMessage& sent);
  bool Matches(const std::string& command, std::string& reply);
  void Info(std::vector<std::string> lines, const std::string& final);
  std::string Cms(int code) const { return "+CMS ERROR: " + std::to_string(code); }
  std::string Cme(int code) const;
  std::string Encode(std::string_view plain) const;
  std::string EncodeText(const std::u16string& text) const;
  std::optional<std::string> DecodeParameter(const std::string& value) const;
  std::string Listing(const StoredMessage& m, bool with_index) const;
  std::string PduListing(const StoredMessage& m, bool with_index) const;
  smsdll::pdu::Encoded DeliverPdu(const StoredMessage& m) const;
  std::string Routed(const StoredMessage& m) const;
  Storage& Memory(int which) { return storage_[settings_.memory[which]]; }
  int Capacity(int which) const { return capacity_.at(settings_.memory[which]); }

  Identity identity_;
  Settings settings_;
  std::string centre_ = "+8613800290500";
  int rssi_ = 21;
  std::string sim_ = "READY";
  int next_reference_ = 1;
  int next_concat_ = 1;
  std::string line_;       // command line being typed
  bool entering_ = false;  // inside AT+CMGS message entry
  std::string entry_;      // message text being typed
  std::string entry_number_;
  int entry_length_ = -1;  // the TPDU length of a PDU-mode AT+CMGS
  std::string output_;
  std::map<std::string, Storage> storage_{{"SM", {}}, {"ME", {}}};
  std::vector<SentMessage> sent_;
  std::vector<Failure> failures_;
  std::vector<std::string> commands_;
  std::map<std::string, int> capacity_{{"SM", kSlots}, {"ME", kSlots}};
  std::string current_;  // the command being answered, for interjections
  double now_ = 0;
  double next_delay_ = 0;  // how late the answer being made goes out
  std::deque<Held> held_;
  std::vector<Event> events_;
  bool hung_up_ = false;
  bool registered_ = true;
  bool centre_known_ = true;
  bool restart_due_ = false;
};

}  // namespace atmodem
