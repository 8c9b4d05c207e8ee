// The bench's reader and judge, without processes: scenarios, records and
// call results as the simulator and the calls child write them.
#include <gtest/gtest.h>

#include "json.h"
#include "rt/text.h"
#include "scenario.h"

namespace qualify {
namespace {

TEST(Json, ReadsWhatTheSimulatorWrites) {
  auto v = json::parse(
      R"( {"name":"a\"b\\c\n","n":-12.5e1,"ok":true,"no":false,"z":null,
           "calls":[{"t":"\u4f60\u597d \ud83d\ude00"}],"empty":[]} )");
  EXPECT_EQ(v.str("name"), "a\"b\\c\n");
  EXPECT_EQ(v.num("n"), -125);
  EXPECT_TRUE(v.flag("ok"));
  EXPECT_FALSE(v.flag("no", true));
  EXPECT_TRUE(v["z"].is_null());
  EXPECT_EQ(v["calls"].items().at(0).str("t"), "你好 😀");
  EXPECT_TRUE(v["empty"].items().empty());
  EXPECT_EQ(json::parse(json::write(v))["calls"].items().at(0).str("t"), "你好 😀");
  for (const char* bad : {"", "{", "{\"a\":}", "[1,]", "\"\\ud83d\"", "\"\\ude00\"", "\"a\nb\"",
                          "tru", "{} x", "\"\\x\""})
    EXPECT_THROW(json::parse(bad), json::ParseError) << bad;
}

TEST(Stamp, ReadsTheModemsAndLibraryFormats) {
  Stamp m, l;
  ASSERT_TRUE(parse_modem_stamp("26/12/08,19:10:00+32", m));
  EXPECT_EQ(m.zone_minutes, 480);
  ASSERT_TRUE(parse_library_stamp("2026-12-08 19:10:00 +08:00", l));
  EXPECT_EQ(std::tie(l.year, l.month, l.day, l.hour, l.minute, l.second, l.zone_minutes),
            std::tie(m.year, m.month, m.day, m.hour, m.minute, m.second, m.zone_minutes));
  ASSERT_TRUE(parse_library_stamp("08/12/2026 19:10:00", l));
  EXPECT_EQ(l.day, 8);
  EXPECT_FALSE(l.has_zone);
  ASSERT_TRUE(parse_library_stamp("26/12/08,19:10:00-20", l));
  EXPECT_EQ(l.zone_minutes, -300);
  ASSERT_TRUE(parse_library_stamp("2026-12-08T19:10:00+0530", l));
  EXPECT_EQ(l.zone_minutes, 330);
  EXPECT_FALSE(parse_library_stamp("2026-12-08 19:10", l));
}

// A scenario of open, send, fetch, close and a run where all went well.
struct Judge : ::testing::Test {
  Scenario sc =
      parse_scenarios(
          R"({"name":"s","applies":true,"delay":3,"calls":[{"call":"open","expect":"ok"},)"
          R"({"call":"send","number":"10086","text":"你好","mode":2,"expect":"ok"},)"
          R"({"call":"fetch","expect":"ok","sender":"+8613912345678","text":"hi","time":"26/12/08,19:10:00+32"},)"
          R"({"call":"close","expect":"ok"}]})")
          .at(0);
  RunOutcome run;

  void SetUp() override {
    for (const char* c : {"open", "send", "fetch", "close"}) {
      CallResult r;
      r.call = c;
      r.result = true;
      run.results.push_back(r);
    }
    run.results[2].message = "hi";
    run.results[2].sender = "+8613912345678";
    run.results[2].sent_time = "2026-12-08 19:10:00 +08:00";
    run.results[2].record_events = 1;  // the send was recorded before the fetch
    run.results[3].record_events = 2;
    event(
        R"({"event":"sent","number":"10086","text":"你好","reference":1,"part":1,"parts":1,"concat":0})");
    event(R"({"event":"deleted","memory":"SM","index":1,"number":"+8613912345678","text":"hi"})");
  }
  void event(const char* line) { run.record.push_back(json::parse(line)); }
  std::string problems() {
    std::string out;
    for (const auto& p : judge(sc, run)) out += p + "\n";
    return out;
  }
};

TEST_F(Judge, PassesAFaithfulRun) {
  EXPECT_EQ(problems(), "");
  EXPECT_EQ(call_bound(sc, 0.5), 23.0);
}

TEST_F(Judge, ResultsAndErrorTexts) {
  run.results[0].result = false;
  run.results[0].error = "error 5: no modem";
  run.results[1].error = "warning";  // a success must leave it empty
  run.results[3].result = false;
  run.results[3].error = rt::spaces(500);  // a failure needs a text
  sc.calls[3].expect_ok = false;
  auto p = problems();
  EXPECT_NE(
      p.find("call 1 (open, hs_open_device) returned false, expected ok (\"error 5: no modem\")"),
      std::string::npos)
      << p;
  EXPECT_NE(p.find("call 2 (send, hs_send_onemessage) succeeded with the error text"),
            std::string::npos)
      << p;
  EXPECT_NE(p.find("call 4 (close, hs_close_device) failed without an error text"),
            std::string::npos)
      << p;
}

TEST_F(Judge, RuntimeErrorsAndHangs) {
  run.results[1].runtime_error = 20522;
  run.results[1].detail = "hs_send_onemessage wrote past the end";
  run.results.resize(2);
  auto p = problems();
  EXPECT_NE(p.find("call 2 (send, hs_send_onemessage) raised runtime error 20522: hs_send"),
            std::string::npos)
      << p;
  EXPECT_EQ(p.find("call 3"), std::string::npos) << p;  // the error ended the calls
  run.results[1].runtime_error = 0;
  run.stopped = "did not return within 20 s";
  p = problems();
  EXPECT_NE(p.find("call 3 (fetch, hs_get_onemessage): did not return within 20 s"),
            std::string::npos)
      << p;
}

TEST_F(Judge, MessagesMustArriveWholeAndOnce) {
  run.record.clear();
  // Two parts joined in part order pass...
  event(R"({"event":"sent","number":"10086","text":"好","part":2,"parts":2,"concat":7})");
  event(R"({"event":"sent","number":"10086","text":"你","part":1,"parts":2,"concat":7})");
  event(R"({"event":"deleted","memory":"SM","index":1,"number":"+8613912345678","text":"hi"})");
  EXPECT_EQ(problems(), "");
  // ...a part twice, a whole resend and a stranger do not.
  event(R"({"event":"sent","number":"10086","text":"你","part":1,"parts":2,"concat":9})");
  event(R"({"event":"sent","number":"10086","text":"你","part":1,"parts":2,"concat":9})");
  event(R"({"event":"sent","number":"10086","text":"好","part":2,"parts":2,"concat":9})");
  event(R"({"event":"sent","number":"10010","text":"x","part":1,"parts":1,"concat":0})");
  auto p = problems();
  EXPECT_NE(p.find("part 1 of 2 of the message to 10086 (reference 9) was sent twice"),
            std::string::npos)
      << p;
  EXPECT_NE(p.find("the message \"你好\" to 10086 reached the modem twice"), std::string::npos)
      << p;
  EXPECT_NE(p.find("\"x\" to 10010, which no call asked for"), std::string::npos) << p;
  // A message that never arrived whole.
  run.record.clear();
  event(R"({"event":"sent","number":"10086","text":"你","part":1,"parts":2,"concat":7})");
  EXPECT_NE(problems().find("returned true, but the modem did not receive \"你好\" to 10086 whole"),
            std::string::npos);
}

TEST_F(Judge, FetchedMessagesAndDeletions) {
  run.results[2].sent_time = "2026-12-08 19:10:01 +08:00";
  run.results[2].sender = "10086";
  auto p = problems();
  EXPECT_NE(p.find("time stamp \"2026-12-08 19:10:01 +08:00\", injected \"26/12/08,19:10:00+32\""),
            std::string::npos)
      << p;
  EXPECT_NE(p.find("sender \"10086\", injected \"+8613912345678\""), std::string::npos) << p;
  // Deleted before the fetch that returned it was made.
  run = RunOutcome();
  SetUp();
  run.results[2].record_events = 2;
  p = problems();
  EXPECT_NE(
      p.find("the stored message from +8613912345678 \"hi\" (SM 1) was deleted before a fetch "
             "returned it"),
      std::string::npos)
      << p;
  // Deleted by a fetch that never returned.
  run = RunOutcome();
  SetUp();
  run.results.resize(2);
  run.stopped = "the calls ended (signal 11 (Segmentation fault))";
  p = problems();
  EXPECT_NE(p.find("call 3 (fetch, hs_get_onemessage): the calls ended (signal 11"),
            std::string::npos);
  EXPECT_NE(p.find("(SM 1) was deleted before a fetch returned it"), std::string::npos);
}

TEST(JudgeAnyOrder, MatchesFetchesToAnyInjectedMessage) {
  Scenario sc =
      parse_scenarios(
          R"({"name":"two","any_order":true,"calls":[{"call":"fetch","expect":"ok","sender":"1","text":"a"},)"
          R"({"call":"fetch","expect":"ok","sender":"2","text":"b"}]})")
          .at(0);
  RunOutcome run;
  for (auto [sender, text] : {std::pair{"2", "b"}, std::pair{"1", "a"}}) {
    CallResult r;
    r.call = "fetch";
    r.result = true;
    r.sender = sender;
    r.message = text;
    run.results.push_back(r);
  }
  EXPECT_TRUE(judge(sc, run).empty());
  run.results[1].message = "b";
  EXPECT_EQ(judge(sc, run).size(), 1u);
  sc.any_order = false;
  EXPECT_EQ(judge(sc, run).size(), 2u);
}

TEST(CallResults, TravelAsHexWithoutLoss) {
  CallResult r;
  r.call = "fetch";
  r.result = true;
  r.message = std::string("\xc4\xe3\x00\xff", 4);
  r.sender = "+86";
  r.runtime_error = 20522;
  r.detail = "wrote past";
  CallResult back = parse_call_result(json::parse(write_call_result(r)));
  EXPECT_EQ(back.message, r.message);
  EXPECT_EQ(back.sender, "+86");
  EXPECT_EQ(back.runtime_error, 20522);
  EXPECT_THROW(parse_scenarios("{\"name\":\"x\",\"calls\":[{\"call\":\"dial\"}]}"),
               std::runtime_error);
}

}  // namespace
}  // namespace qualify
