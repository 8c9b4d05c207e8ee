#include "scenarios.h"

#include <cstdio>

#include "common/utf.h"

namespace atmodem {

using mobi::tools::JsonString;

namespace {

constexpr char kTime[] = "26/12/08,19:10:00+32";
constexpr char kSender[] = "+8613912345678";
constexpr char kDestination[] = "13800138000";

std::u16string U16(std::string_view utf8) {
  return mobi::tools::Utf8ToUtf16(utf8).value_or(u"?");
}

// Stores a received text in `memory` from index `first` on (a long one as
// concatenated parts, one index each); the index after the last part.
int Put(Modem& m, const std::string& memory, int first, const std::string& sender,
        std::string_view text) {
  for (auto& part : m.Parts(sender, U16(text), kTime)) {
    part.index = first++;
    m.Store(memory, std::move(part));
  }
  return first;
}

Call Open(bool ok = true) {
  return {.call = "open", .expect = ok ? "ok" : "fail"};
}
Call Close() {
  return {.call = "close", .expect = "ok"};
}
Call Send(std::string text, int mode = 1, bool ok = true) {
  return {.call = "send",
          .expect = ok ? "ok" : "fail",
          .number = kDestination,
          .text = std::move(text),
          .mode = mode};
}
Call Fetch(std::string text, std::string sender = kSender) {
  return {.call = "fetch",
          .expect = "ok",
          .text = std::move(text),
          .sender = std::move(sender),
          .time = kTime};
}
Call NoFetch() {
  return {.call = "fetch", .expect = "fail"};
}

std::string LongText(std::size_t length) {
  const std::string words = "The quick brown fox jumps over the lazy dog. ";
  std::string text;
  while (text.size() < length) text += words;
  text.resize(length);
  return text;
}

const std::string kHello = "Hello from the network";
const std::string kSecond = "Second stored message";

// A delivery report PDU as a modem announces it with +CDS.
const std::string kCds =
    "+CDS: 25\r\n0891683108200905F006010B916407281553F862218091010023622180910100230"
    "0";

std::vector<Scenario> Build() {
  std::vector<Scenario> z;
  auto add = [&](std::string name, std::string description, std::string source,
                 std::vector<Call> calls, std::function<void(Modem&)> setup, double delay = 0) {
    z.push_back(Scenario{std::move(name), std::move(description), std::move(source), true, delay,
                         false, std::move(calls), std::move(setup)});
  };
  auto hello = [](Modem& m) { Put(m, "SM", 1, kSender, kHello); };
  // open, send "Hello", fetch the stored message, nothing more, close.
  const std::vector<Call> round = {Open(), Send("Hello"), Fetch(kHello), NoFetch(), Close()};
  const std::vector<Call> fetch_hello = {Open(), Fetch(kHello), NoFetch(), Close()};
  const std::vector<Call> send_hello = {Open(), Send("Hello"), Close()};

  add("baseline", "a well-behaved modem: one message sent, one stored message fetched",
      "well-behaved modem", round, hello);
  add("long-send", "a 400-character text goes out as 3 concatenated parts", "concatenated send",
      {Open(), Send(LongText(400)), Close()}, [](Modem&) {});
  const std::string chinese_in = "您好，这是一条测试短信。";
  add("chinese", "Chinese text both ways (UCS2): sent with mode 1, and a stored one fetched",
      "UCS2 both ways", {Open(), Send("你好，世界！"), Fetch(chinese_in), NoFetch(), Close()},
      [=](Modem& m) { Put(m, "SM", 1, kSender, chinese_in); });
  z.push_back({"both-memories",
               "one message stored in SM and one in ME (index 1 each): both are fetched",
               "gammu #373",
               true,
               0,
               true,
               {Open(), Fetch(kHello), Fetch(kSecond, "+8613700001111"), NoFetch(), Close()},
               [](Modem& m) {
                 Put(m, "SM", 1, kSender, kHello);
                 Put(m, "ME", 1, "+8613700001111", kSecond);
               }});
  add("me-storage", "the modem keeps received messages in ME; SM, read by default, is empty",
      "gammu #373", fetch_hello, [](Modem& m) { Put(m, "ME", 1, kSender, kHello); });
  add("sim-full",
      "the SIM holds 3 messages and is full (a full SIM silently stops reception): all are "
      "fetched and deleted",
      "DbusSmsForwardCPlus #10",
      {Open(), Fetch("first"), Fetch("second"), Fetch("third"), NoFetch(), Close()}, [](Modem& m) {
        m.SetCapacity("SM", 3);
        Put(m, "SM", 1, kSender, "first");
        Put(m, "SM", 2, kSender, "second");
        Put(m, "SM", 3, kSender, "third");
      });

  // Unsolicited lines inside answers.
  add("rssi-in-cmgl", "^RSSI: 15 between the entries of the +CMGL listing",
      "babca/python-gsmmodem #47", {Open(), Fetch(kHello), Fetch(kSecond), NoFetch(), Close()},
      [](Modem& m) {
        Put(m, "SM", 2, kSender, kSecond);
        Put(m, "SM", 1, kSender, kHello);
        m.quirks.interjections.push_back({"+CMGL", "^RSSI: 15", 1, -1, {}});
      });
  add("rssi-in-cmgs", "^RSSI: 18 between +CMGS: <mr> and OK", "babca/python-gsmmodem #47",
      send_hello, [](Modem& m) {
        m.quirks.interjections.push_back({"SUBMIT", "^RSSI: 18", 1, -1, {}});
      });
  add("cmti-before-cmgs",
      "a message arrives after the \"> \" prompt: +CMTI comes before +CMGS: <mr>; it is fetched "
      "afterwards",
      "faucamp/python-gsmmodem #40",
      {Open(), Send("Hello"), Fetch("arrived while sending"), NoFetch(), Close()}, [](Modem& m) {
        m.quirks.interjections.push_back(
            {"SUBMIT", "+CMTI: \"SM\",%d", 0, 1,
             StoredMessage{0, "REC UNREAD", kSender, kTime, u"arrived while sending", {}}});
      });
  add("cmti-in-cmgl", "a message arrives during the listing: +CMTI inside the +CMGL answer",
      "faucamp/python-gsmmodem #40",
      {Open(), Fetch(kHello), Fetch("arrived while listing"), NoFetch(), Close()}, [](Modem& m) {
        Put(m, "SM", 1, kSender, kHello);
        m.quirks.interjections.push_back(
            {"+CMGL", "+CMTI: \"SM\",%d", 1, 1,
             StoredMessage{0, "REC UNREAD", kSender, kTime, u"arrived while listing", {}}});
      });
  add("ring-in-cmgr", "a text-mode-only modem puts RING (an incoming call) before the +CMGR header",
      "gammu #111", fetch_hello, [](Modem& m) {
        Put(m, "SM", 1, kSender, kHello);
        m.FailCommand("+CMGF=0", "+CMS ERROR: 303");
        m.quirks.interjections.push_back({"+CMGR", "RING", 0, -1, {}});
      });
  add("creg-in-open", "+CREG: 1 inside the answers to AT+CPIN? and AT+CMGF while opening",
      "gammu #111", round, [=](Modem& m) {
        hello(m);
        m.quirks.interjections.push_back({"+CPIN?", "+CREG: 1", 0, 1, {}});
        m.quirks.interjections.push_back({"+CMGF", "+CREG: 1", 0, 1, {}});
      });

  // Start-up.
  add(
      "unregistered-at-start",
      "the network registers 8 s after power-on; before that +CREG: 0,2 and submits get "
      "+CMS ERROR: 331",
      "faucamp/python-gsmmodem #11", send_hello,
      [](Modem& m) {
        m.SetRegistered(false);
        m.At(8, [](Modem& modem) { modem.SetRegistered(true); });
      },
      8);
  add(
      "centre-unknown-at-start",
      "the SIM's service centre is readable 6 s after power-on; before that AT+CSCA? and "
      "submits through it get +CMS ERROR: 330",
      "faucamp/python-gsmmodem #11", send_hello,
      [](Modem& m) {
        m.SetCentreKnown(false);
        m.At(6, [](Modem& modem) { modem.SetCentreKnown(true); });
      },
      6);
  add("wrong-baud-garbage",
      "the first two commands are answered with garbage, as at a wrong baud rate",
      "garbage at a wrong baud rate", send_hello,
      [](Modem& m) { m.FailCommand("", "\xF8\x80\xFE\x1E\xE0\x86\x9C", 2); });
  add("sim-pin", "the SIM is locked with its PIN: the open fails", "SIM PIN state", {Open(false)},
      [](Modem& m) { m.SetSim("SIM PIN"); });
  add("sim-puk", "the SIM is blocked and wants its PUK: the open fails", "SIM PUK state",
      {Open(false)}, [](Modem& m) { m.SetSim("SIM PUK"); });
  add("restart-mid-session",
      "the modem restarts right after the first message: RDY, +CPIN: READY, echo on and "
      "power-on settings; the session goes on",
      "modem restart",
      {Open(), Send("Hello"), Send("After restart"), Fetch(kHello), NoFetch(), Close()},
      [=](Modem& m) {
        hello(m);
        m.quirks.restart_after_submit = true;
      });

  // Transient errors.
  add("cms500-once", "the first submit is refused with +CMS ERROR: 500; it went out once after all",
      "gammu #131", send_hello, [](Modem& m) { m.FailCommand("SUBMIT", "+CMS ERROR: 500", 1); });
  add("cms500-second-part",
      "the second part of a 2-part message is refused once with +CMS ERROR: 500; every part "
      "goes out once",
      "gammu #131", {Open(), Send(LongText(200)), Close()},
      [](Modem& m) { m.FailCommand("SUBMIT", "+CMS ERROR: 500", 1, 1); });
  add("cme515-on-send", "the first AT+CMGS is answered +CME ERROR: 515 (busy)", "gammu #93",
      send_hello, [](Modem& m) { m.FailCommand("+CMGS=", "+CME ERROR: 515", 1); });
  add("cme515-on-list", "the first AT+CMGL is answered +CME ERROR: 515 (busy)", "gammu #93",
      fetch_hello, [=](Modem& m) {
        hello(m);
        m.FailCommand("+CMGL", "+CME ERROR: 515", 1);
      });

  // Slow answers.
  add(
      "slow-submit", "+CMGS: <mr> comes 14 s after the message", "faucamp/python-gsmmodem #44",
      send_hello, [](Modem& m) { m.quirks.submit_delay = 14; }, 14);
  add(
      "late-prompt", "the \"> \" prompt comes 3 s after AT+CMGS", "faucamp/python-gsmmodem #44",
      send_hello, [](Modem& m) { m.quirks.prompt_delay = 3; }, 3);
  add("no-prompt", "the first AT+CMGS gets no \"> \" prompt and no answer at all",
      "faucamp/python-gsmmodem #44", send_hello, [](Modem& m) { m.FailCommand("+CMGS=", "", 1); });
  add(
      "bursts", "every answer comes in two bursts 0.3 s apart", "answers split into bursts", round,
      [=](Modem& m) {
        hello(m);
        m.quirks.burst_gap = 0.3;
      },
      0.3);

  // Delivery reports.
  add("report-in-listing",
      "a delivery report is stored before the received message and listed with it", "gammu #408",
      fetch_hello, [](Modem& m) {
        m.Store("SM", StoredMessage{1, "REC UNREAD", "+8613800138000", kTime, u"", {}, false, 7});
        Put(m, "SM", 2, kSender, kHello);
      });
  add("cds-in-listing", "a +CDS delivery report (with its PDU) between the +CMGL entries",
      "gammu #169", {Open(), Fetch(kHello), Fetch(kSecond), NoFetch(), Close()}, [](Modem& m) {
        Put(m, "SM", 1, kSender, kHello);
        Put(m, "SM", 2, kSender, kSecond);
        m.quirks.interjections.push_back({"+CMGL", kCds, 1, 1, {}});
      });
  add("cdsi-in-listing", "+CDSI: \"SR\",3 before the first +CMGL entry", "gammu #169", fetch_hello,
      [=](Modem& m) {
        hello(m);
        m.quirks.interjections.push_back({"+CMGL", "+CDSI: \"SR\",3", 0, 1, {}});
      });
  z.push_back({"delivery-report",
               "+CDSI announces a delivery report after the send; not judged: no entry returns "
               "delivery reports",
               "gammu #408", false, 0, false, send_hello, [](Modem& m) {
                 m.quirks.interjections.push_back({"SUBMIT", "+CDSI: \"SR\",1", 1, -1, {}});
               }});

  // Concatenated messages received.
  const std::string long_in = LongText(300);
  add("parts-out-of-order", "the 2 parts of a long message are stored part 2 first",
      "serialport-gsm #111", {Open(), Fetch(long_in), NoFetch(), Close()}, [=](Modem& m) {
        auto parts = m.Parts(kSender, U16(long_in), kTime);
        for (std::size_t k = 0; k < parts.size(); ++k) {
          parts[k].index = static_cast<int>(parts.size() - k);
          m.Store("SM", parts[k]);
        }
      });
  add("parts-twice", "part 1 of a 2-part message is stored twice", "asterisk-chan-quectel #11",
      {Open(), Fetch(long_in), NoFetch(), Close()}, [=](Modem& m) {
        auto parts = m.Parts(kSender, U16(long_in), kTime);
        parts[0].index = 1;
        m.Store("SM", parts[0]);
        parts[0].index = 2;
        m.Store("SM", parts[0]);
        parts[1].index = 3;
        m.Store("SM", parts[1]);
      });
  add("part-missing",
      "part 2 of a long message never arrives; a whole message stored after it is fetched",
      "serialport-gsm #111", {Open(), Fetch(kSecond, "10086"), NoFetch(), Close()}, [=](Modem& m) {
        auto parts = m.Parts(kSender, U16(long_in), kTime);
        parts[0].index = 1;
        m.Store("SM", parts[0]);
        Put(m, "SM", 2, "10086", kSecond);
      });

  // Characters.
  const std::string extension = "Price {5} [A] ~x^y|z \\ end";
  add("extension-chars", "GSM extension characters both ways (each takes two septets)",
      "gammu #143", {Open(), Send(extension), Fetch(extension), NoFetch(), Close()},
      [=](Modem& m) { Put(m, "SM", 1, kSender, extension); });
  const std::string smile = "笑脸😀再见";
  add("surrogate-pair",
      "a stored UCS2 message with a surrogate pair (U+1F600, which GBK lacks: one '?')",
      "gammu #143", {Open(), Fetch(smile), NoFetch(), Close()},
      [=](Modem& m) { Put(m, "SM", 1, kSender, smile); });
  std::string boundary;
  for (int k = 0; k < 66; ++k) boundary += "字";
  boundary += "😀这是第二部分的结尾";
  add("surrogate-at-boundary",
      "a 2-part UCS2 message whose surrogate pair (GBK: one '?') falls at the part boundary",
      "gammu #143", {Open(), Fetch(boundary), NoFetch(), Close()},
      [=](Modem& m) { Put(m, "SM", 1, kSender, boundary); });
  add("alphanumeric-sender", "a message from the alphanumeric sender MobiBank",
      "alphanumeric senders", {Open(), Fetch(kHello, "MobiBank"), NoFetch(), Close()},
      [](Modem& m) { Put(m, "SM", 1, "MobiBank", kHello); });
  Call data = Fetch("DATA 0123");
  data.or_text = "444154412030313233";
  add("eight-bit-data",
      "a stored message in 8-bit data coding (bytes of \"DATA 0123\"), returned as they are "
      "or in hex",
      "8-bit data", {Open(), data, NoFetch(), Close()}, [](Modem& m) {
        m.Store("SM", StoredMessage{1, "REC UNREAD", kSender, kTime, u"DATA 0123", {}, true});
      });

  // Modem forms.
  add("echo-stuck", "ATE0 is answered OK but the echo stays on", "echo left on", round,
      [=](Modem& m) {
        hello(m);
        m.quirks.echo_stuck = true;
      });
  add("text-mode-only", "AT+CMGF=0 is refused (+CMS ERROR: 303): text mode only",
      "text-mode-only modem", round, [=](Modem& m) {
        hello(m);
        m.FailCommand("+CMGF=0", "+CMS ERROR: 303");
      });
  add("pdu-only", "AT+CMGF=1 is refused (+CMS ERROR: 303): PDU mode only", "PDU-only modem", round,
      [=](Modem& m) {
        hello(m);
        m.FailCommand("+CMGF=1", "+CMS ERROR: 303");
      });
  add("lowercase-pdu", "listed PDUs in lower-case hex", "lowercase hex in PDUs", fetch_hello,
      [=](Modem& m) {
        hello(m);
        m.quirks.lowercase_pdu = true;
      });
  add("pdu-without-centre", "listed PDUs start with the TPDU: no service-centre octets",
      "missing centre length in PDUs", fetch_hello, [=](Modem& m) {
        hello(m);
        m.quirks.listed_centre = Quirks::Centre::kNone;
      });
  add("pdu-zero-centre", "listed PDUs have a zero-length service centre (00)",
      "missing centre length in PDUs", fetch_hello, [=](Modem& m) {
        hello(m);
        m.quirks.listed_centre = Quirks::Centre::kZeroLength;
      });
  add("unplugged-mid-send", "the modem is unplugged after the message text: the line hangs up",
      "gammu #838", {Open(), Send("Hello", 1, false)},
      [](Modem& m) { m.quirks.unplug_on_submit = true; });
  return z;
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> zoo = Build();
  return zoo;
}

const Scenario* FindScenario(std::string_view name) {
  for (const auto& s : Scenarios())
    if (s.name == name) return &s;
  return nullptr;
}

std::string ToJson(const Scenario& s) {
  char delay[32];
  std::snprintf(delay, sizeof delay, "%g", s.delay);
  std::string out = "{\"name\":" + JsonString(s.name) +
                    ",\"description\":" + JsonString(s.description) +
                    ",\"source\":" + JsonString(s.source) +
                    ",\"applies\":" + (s.applies ? "true" : "false") + ",\"delay\":" + delay;
  if (s.any_order) out += ",\"any_order\":true";
  out += ",\"calls\":[";
  for (std::size_t k = 0; k < s.calls.size(); ++k) {
    const Call& c = s.calls[k];
    out += std::string(k ? "," : "") + "{\"call\":" + JsonString(c.call);
    if (c.call == "send")
      out += ",\"number\":" + JsonString(c.number) + ",\"text\":" + JsonString(c.text) +
             ",\"mode\":" + std::to_string(c.mode);
    out += ",\"expect\":" + JsonString(c.expect);
    if (c.call == "fetch" && c.expect == "ok")
      out += ",\"sender\":" + JsonString(c.sender) + ",\"text\":" + JsonString(c.text) +
             ",\"time\":" + JsonString(c.time);
    if (!c.or_text.empty()) out += ",\"or_text\":" + JsonString(c.or_text);
    out += "}";
  }
  return out + "]}";
}

}  // namespace atmodem
