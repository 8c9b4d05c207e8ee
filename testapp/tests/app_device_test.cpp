// The test application with the real device library (libProjSmsDLL.so, found
// by its Windows name like any outside library) against the simulated GSM
// modem on a pseudo-terminal, port 4 pointed at it: open, send, fetch of a
// Chinese message, close, each shown in the window's fields. Real time,
// bounded by the library's own time-outs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/mobiapp.h"
#include "backend/headless/headless.h"
#include "platform/posix/dl_binder.h"
#include "pty_server.h"

namespace mobiapp {
namespace {

class AppWithDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("PROJSMSDLL_PORT4", modem.path().c_str(), 1);
    define_classes(rt);
    ASSERT_EQ(rt.start("mobi", ""), Outcome::Completed);
    ASSERT_TRUE(ui.choose_menu("w", "tset"));
    ASSERT_NE(ui.find_window("w_message_test"), nullptr);
  }
  void TearDown() override { ::unsetenv("PROJSMSDLL_PORT4"); }

  void click(const char* button) {
    ui.clear_log();
    ASSERT_TRUE(ui.click("w_message_test", button));
  }
  std::string field(const char* name) { return ui.find_control("w_message_test", name)->text; }

  atmodem::BackgroundModem modem;
  rt::HeadlessBackend ui;
  rt::DlBinder binder{{PROJSMSDLL_DIR}};
  rt::Runtime rt{ui, binder};
};

TEST_F(AppWithDevice, OpenSendFetchAndCloseShowTheirOutcomesInTheFields) {
  modem.With([](atmodem::Modem& m) {
    m.AddInbox("+8613912345678", u"你好，世界", "26/12/08,19:10:00+32");
    return 0;
  });

  click("cb_1");  // open
  ASSERT_EQ(ui.boxes().size(), 2u) << field("sle_err");
  EXPECT_EQ(ui.boxes()[0].text, "l_err长度=500");
  const std::string handle = ui.boxes()[1].text;
  EXPECT_NE(handle, "0");
  EXPECT_EQ(field("sle_return"), "true") << field("sle_err");
  EXPECT_EQ(field("sle_err"), "");

  ASSERT_TRUE(ui.type("w_message_test", "sle_send", "测试 message"));
  click("cb_2");  // send message
  EXPECT_EQ(field("sle_return"), "true") << field("sle_err");
  auto sent = modem.With([](atmodem::Modem& m) { return m.sent(); });
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_NE(sent[0].number.find(destination_number), std::string::npos);
  EXPECT_EQ(sent[0].text, u"测试 message");

  click("cb_4");  // get message
  EXPECT_EQ(field("sle_return"), "true") << field("sle_err");
  const std::string got = field("sle_get");
  EXPECT_EQ(got.rfind("你好，世界短信中心发送时间:", 0), 0u) << got;
  EXPECT_NE(got.find("短信模块接收时间日期:"), std::string::npos) << got;
  EXPECT_NE(got.find("发送手机:+8613912345678"), std::string::npos) << got;
  EXPECT_TRUE(modem.With([](atmodem::Modem& m) { return m.inbox().empty(); }));

  click("cb_4");  // nothing left: false, the cause, only the labels
  EXPECT_EQ(field("sle_return"), "false");
  EXPECT_NE(field("sle_err"), "");
  EXPECT_EQ(field("sle_get"), "短信中心发送时间:短信模块接收时间日期:发送手机:");

  click("cb_3");  // close
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].text, handle);
  EXPECT_EQ(field("sle_return"), "true") << field("sle_err");

  click("cb_3");  // the same handle again: the device is no longer open
  EXPECT_EQ(field("sle_return"), "false");
  EXPECT_NE(field("sle_err"), "");
  EXPECT_TRUE(rt.error_log().empty());
}

TEST_F(AppWithDevice, APortWithoutADeviceIsOnlyShown) {
  ASSERT_TRUE(ui.type("w_message_test", "sle_port", "9"));
  ::setenv("PROJSMSDLL_PORT9", "/nonexistent/ttyX", 1);
  click("cb_1");
  ::unsetenv("PROJSMSDLL_PORT9");
  ASSERT_EQ(ui.boxes().size(), 2u);
  EXPECT_EQ(ui.boxes()[1].text, "0");
  EXPECT_EQ(field("sle_return"), "false");
  EXPECT_NE(field("sle_err").find("/nonexistent/ttyX"), std::string::npos) << field("sle_err");
}

}  // namespace
}  // namespace mobiapp
