// Each scenario of the modem zoo staged on the state machine, driven with a
// virtual clock: what the modem says, and when.
#include "scenarios.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "common/utf.h"
#include "pdu.h"

namespace atmodem {
namespace {

// "Hello" to 13800138000 as an SMS-SUBMIT in PDU mode, with AT+CMGS.
const std::string kSubmit = "AT+CMGS=19\r0011000B813108108300F00000A705C8329BFD06\x1A";

struct Step {
  double at;          // the modem's clock first goes on to this
  std::string say;    // then this goes in
  std::string want;   // what comes out contains this (empty: nothing comes out)
  std::string never;  // and never this
};

struct Row {
  std::string scenario;
  std::vector<Step> steps;
  bool hangs_up = false;
};

std::string HexOf(std::string_view octets) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string hex;
  for (char c : octets) {
    hex += kHex[static_cast<unsigned char>(c) >> 4];
    hex += kHex[static_cast<unsigned char>(c) & 0xF];
  }
  return hex;
}

const std::vector<Row>& Rows() {
  const std::string mobibank =
      "0ED0" + HexOf(smsdll::pdu::PackSeptets(*smsdll::pdu::ToGsm7(u"MobiBank")));
  static const std::vector<Row> rows = {
      {"baseline", {{0, "ATE0;+CMGL=4\r", "+CMGL: 1,0,,", "+CMGL: 2"}}},
      {"both-memories",
       {{0, "ATE0;+CMGL=4\r", "+CMGL: 1,0,,", ""},
        {0, "AT+CPMS=\"ME\";+CMGL=4\r", "+CPMS: 1,30,1,30,1,30\r\n+CMGL: 1,0,,", ""}}},
      {"me-storage",
       {{0, "ATE0;+CMGL=4\r", "\r\nOK\r\n", "+CMGL:"},
        {0, "AT+CPMS=\"ME\";+CMGL=4\r", "+CMGL: 1,0,,", ""}}},
      {"sim-full", {{0, "ATE0;+CPMS?\r", "+CPMS: \"SM\",3,3,", ""}}},
      {"rssi-in-cmgl", {{0, "ATE0;+CMGL=4\r", "\r\n^RSSI: 15\r\n+CMGL: 2,0,,", ""}}},
      {"rssi-in-cmgs",
       {{0, "ATE0\r", "OK", ""}, {0, kSubmit, "+CMGS: 1\r\n^RSSI: 18\r\n\r\nOK", ""}}},
      {"cmti-before-cmgs",
       {{0, "ATE0\r", "OK", ""},
        {0, kSubmit, "\r\n> \r\n+CMTI: \"SM\",1\r\n+CMGS: 1\r\n", ""},
        {0, "AT+CMGL=4\r", "+CMGL: 1,0,,", ""}}},
      {"cmti-in-cmgl",
       {{0, "ATE0;+CMGL=4\r", "\r\n+CMTI: \"SM\",2\r\n", "+CMGL: 2"},
        {0, "AT+CMGL=4\r", "+CMGL: 2,0,,", ""}}},
      {"ring-in-cmgr",
       {{0, "ATE0;+CMGF=0\r", "+CMS ERROR: 303", ""},
        {0, "AT+CMGF=1;+CMGR=1\r", "\r\nRING\r\n+CMGR: \"REC UNREAD\"", ""}}},
      {"creg-in-open",
       {{0, "ATE0;+CPIN?\r", "\r\n+CREG: 1\r\n+CPIN: READY\r\n\r\nOK\r\n", ""},
        {0, "AT+CPIN?\r", "+CPIN: READY", "CREG"}}},
      {"unregistered-at-start",
       {{0, "ATE0;+CREG=1;+CREG?\r", "+CREG: 1,2", ""},
        {0, kSubmit, "+CMS ERROR: 331", "+CMGS:"},
        {7.9, "", "", ""},
        {8, "", "\r\n+CREG: 1\r\n", ""},
        {8, kSubmit, "+CMGS: 1", ""}}},
      {"centre-unknown-at-start",
       {{0, "ATE0;+CSCA?\r", "+CMS ERROR: 330", ""},
        {0, kSubmit, "+CMS ERROR: 330", ""},
        {6, "AT+CSCA?\r", "+CSCA: \"+8613800290500\",145", ""},
        {6, kSubmit, "+CMGS: 1", ""}}},
      {"wrong-baud-garbage",
       {{0, "AT\r", "\xF8\x80\xFE", "OK"},
        {0, "AT\r", "\xF8\x80\xFE", "OK"},
        {0, "AT\r", "OK", ""}}},
      {"sim-pin", {{0, "ATE0;+CPIN?\r", "+CPIN: SIM PIN", ""}}},
      {"sim-puk",
       {{0, "ATE0;+CPIN?\r", "+CPIN: SIM PUK", ""},
        {0, "AT+CPIN=\"1234\"\r", "+CME ERROR: 16", ""},
        {0, "AT+CPIN=\"12345678\",\"1234\";+CPIN?\r", "+CPIN: READY", ""}}},
      {"restart-mid-session",
       {{0, "ATE0;+CNMI=2,1\r", "OK", ""},
        {0, kSubmit, "+CMGS: 1\r\n\r\nOK\r\n\r\nRDY\r\n\r\n+CPIN: READY\r\n", ""},
        {0, "AT+CNMI?\r", "AT+CNMI?\r\r\n+CNMI: 0,0", ""}}},
      {"cms500-once",
       {{0, "ATE0\r", "OK", ""},
        {0, kSubmit, "+CMS ERROR: 500", "+CMGS:"},
        {0, kSubmit, "+CMGS: 1", ""}}},
      {"cms500-second-part",
       {{0, "ATE0\r", "OK", ""},
        {0, kSubmit, "+CMGS: 1", ""},
        {0, kSubmit, "+CMS ERROR: 500", "+CMGS:"},
        {0, kSubmit, "+CMGS: 2", ""}}},
      {"cme515-on-send",
       {{0, "ATE0;+CMGS=19\r", "+CME ERROR: 515", "> "}, {0, "AT+CMGS=19\r", "> ", ""}}},
      {"cme515-on-list",
       {{0, "ATE0;+CMGL=4\r", "+CME ERROR: 515", "+CMGL:"}, {0, "AT+CMGL=4\r", "+CMGL: 1", ""}}},
      {"slow-submit",
       {{0, "ATE0\r", "OK", ""},
        {0, kSubmit, "\r\n> ", "+CMGS"},
        {13.9, "", "", ""},
        {14, "", "+CMGS: 1\r\n\r\nOK", ""}}},
      {"late-prompt",
       {{0, "ATE0;+CMGS=19\r", "ATE0;+CMGS=19", "> "}, {2.9, "", "", ""}, {3, "", "\r\n> ", ""}}},
      {"no-prompt",
       {{0, "ATE0\r", "OK", ""},
        {0, "AT+CMGS=19\r", "", ""},
        {0, "\x1B", "", ""},  // the Esc of a client that gave up waiting
        {0, "AT+CMGS=19\r", "\r\n> ", ""}}},
      {"bursts",
       {{0, "ATE0\r", "OK", ""},  // too short to split
        {0, "AT+CSQ\r", "\r\n+CSQ", "OK"},
        {0.29, "", "", ""},
        {0.3, "", "OK\r\n", ""}}},
      {"report-in-listing",
       // A STATUS-REPORT (first octet 06) at 1, the received message at 2.
       {{0, "ATE0;+CMGL=4\r", "\r\n0891683108200905F006", ""}}},
      {"cds-in-listing", {{0, "ATE0;+CMGL=4\r", "\r\n+CDS: 25\r\n0891683108200905F006", ""}}},
      {"cdsi-in-listing", {{0, "ATE0;+CMGL=4\r", "\r\n+CDSI: \"SR\",3\r\n+CMGL: 1", ""}}},
      {"delivery-report",
       {{0, "ATE0\r", "OK", ""}, {0, kSubmit, "+CMGS: 1\r\n+CDSI: \"SR\",1\r\n", ""}}},
      // Concatenation headers: reference 1, 2 parts, part 1 or 2.
      {"parts-out-of-order", {{0, "ATE0;+CMGL=4\r", "050003010202", ""}}},
      {"parts-twice", {{0, "ATE0;+CMGR=2\r", "050003010201", ""}}},
      {"part-missing", {{0, "ATE0;+CMGL=4\r", "050003010201", "050003010202"}}},
      {"extension-chars",
       {{0, "ATE0;+CMGF=1;+CMGR=1\r", "\r\nPrice {5} [A] ~x^y|z \\ end\r\n", ""}}},
      {"surrogate-pair", {{0, "ATE0;+CMGF=1;+CSCS=\"UCS2\";+CMGR=1\r", "8138D83DDE00518D", ""}}},
      {"surrogate-at-boundary",
       {{0, "ATE0;+CMGF=1;+CSCS=\"UCS2\";+CMGL=\"0041004C004C\"\r", "\r\nD83DDE00", ""}}},
      {"alphanumeric-sender", {{0, "ATE0;+CMGL=4\r", mobibank, ""}}},
      // The coding 04, the time stamp, 9 octets "DATA 0123".
      {"eight-bit-data", {{0, "ATE0;+CMGL=4\r", "09444154412030313233", ""}}},
      {"echo-stuck", {{0, "ATE0\r", "ATE0\r\r\nOK", ""}, {0, "AT\r", "AT\r\r\nOK", ""}}},
      {"text-mode-only", {{0, "ATE0;+CMGF=0\r", "+CMS ERROR: 303", ""}}},
      {"pdu-only", {{0, "ATE0;+CMGF=1\r", "+CMS ERROR: 303", ""}, {0, "AT+CMGF=0\r", "OK", ""}}},
      {"lowercase-pdu", {{0, "ATE0;+CMGL=4\r", "\r\n0891683108200905f004", ""}}},
      {"pdu-without-centre", {{0, "ATE0;+CMGL=4\r", "\r\n040D91683119325476F8", ""}}},
      {"pdu-zero-centre", {{0, "ATE0;+CMGL=4\r", "\r\n00040D91683119325476F8", ""}}},
      {"unplugged-mid-send", {{0, "ATE0\r", "OK", ""}, {0, kSubmit, "\r\n> ", "+CMGS"}}, true},
  };
  return rows;
}

TEST(ModemZoo, EachScenarioBehavesAsDescribedOnAVirtualClock) {
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.scenario);
    const Scenario* scenario = FindScenario(row.scenario);
    ASSERT_NE(scenario, nullptr);
    Modem m;
    scenario->setup(m);
    for (std::size_t k = 0; k < row.steps.size(); ++k) {
      const Step& step = row.steps[k];
      SCOPED_TRACE("step " + std::to_string(k + 1));
      m.AdvanceTo(step.at);
      m.Receive(step.say);
      const std::string out = m.TakeOutput();
      if (step.want.empty())
        EXPECT_EQ(out, "");
      else
        EXPECT_NE(out.find(step.want), std::string::npos) << out;
      if (!step.never.empty()) {
        EXPECT_EQ(out.find(step.never), std::string::npos) << out;
      }
    }
    EXPECT_EQ(m.hung_up(), row.hangs_up);
  }
}

// The whole messages a modem holds after staging: the parts of each
// (sender, reference) put together in part order, duplicates once.
std::multiset<std::string> WholeMessages(const Modem& m, const Quirks& quirks) {
  std::map<std::pair<std::string, int>, std::map<int, std::u16string>> parts;
  std::multiset<std::string> whole;
  auto add = [&](const StoredMessage& s) {
    if (s.report_reference >= 0) return;
    if (!s.concat) {
      whole.insert(mobi::tools::Utf16ToUtf8(s.text));
      return;
    }
    auto& p = parts[{s.number, s.concat->reference}];
    p[s.concat->part] = s.text;
    if (static_cast<int>(p.size()) == s.concat->total) {
      std::u16string text;
      for (const auto& [k, t] : p) text += t;
      whole.insert(mobi::tools::Utf16ToUtf8(text));
    }
  };
  for (const auto& s : m.inbox()) add(s);
  for (const auto& i : quirks.interjections)
    if (i.arrival) add(*i.arrival);
  return whole;
}

TEST(ModemZoo, EveryScenarioIsDescribedAndStoresWhatItsFetchesExpect) {
  std::set<std::string> names;
  std::set<std::string> tested;
  for (const Row& row : Rows()) tested.insert(row.scenario);
  for (const Scenario& s : Scenarios()) {
    SCOPED_TRACE(s.name);
    EXPECT_TRUE(names.insert(s.name).second) << "named twice";
    EXPECT_EQ(s.description.find('\n'), std::string::npos);
    EXPECT_FALSE(s.source.empty());
    EXPECT_EQ(s.applies, s.description.find("not judged") == std::string::npos);
    ASSERT_FALSE(s.calls.empty());
    EXPECT_EQ(s.calls.front().call, "open");
    Modem m;
    s.setup(m);
    std::multiset<std::string> wanted;
    for (const Call& c : s.calls)
      if (c.call == "fetch" && c.expect == "ok") wanted.insert(c.text);
    EXPECT_EQ(WholeMessages(m, m.quirks), wanted);
    // The scenarios whose modem behaves as the default one are judged by the
    // library's calls alone.
    if (!tested.count(s.name)) {
      EXPECT_TRUE(s.name == "long-send" || s.name == "chinese");
    }
  }
  EXPECT_GE(Scenarios().size(), 30u);
  EXPECT_EQ(Scenarios().front().name, "baseline");
  EXPECT_EQ(FindScenario("no-such-scenario"), nullptr);
}

TEST(ModemZoo, JsonLinesListTheCalls) {
  const std::string json = ToJson(*FindScenario("both-memories"));
  EXPECT_EQ(json.find('\n'), std::string::npos);
  EXPECT_NE(json.find("\"applies\":true,\"delay\":0,\"any_order\":true,\"calls\":[{\"call\":"
                      "\"open\",\"expect\":\"ok\"},{\"call\":\"fetch\",\"expect\":\"ok\","
                      "\"sender\":\"+8613912345678\",\"text\":\"Hello from the network\","
                      "\"time\":\"26/12/08,19:10:00+32\"}"),
            std::string::npos)
      << json;
  EXPECT_NE(ToJson(*FindScenario("slow-submit")).find("\"delay\":14,"), std::string::npos);
  EXPECT_NE(ToJson(*FindScenario("chinese"))
                .find("{\"call\":\"send\",\"number\":\"13800138000\",\"text\":\"你好，世界！\","
                      "\"mode\":1,\"expect\":\"ok\"}"),
            std::string::npos);
}

}  // namespace
}  // namespace atmodem
