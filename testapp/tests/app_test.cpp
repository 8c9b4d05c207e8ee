// The test application on the headless runtime, with a recording fake of the
// device library: start-up and shut-down, the frame and its menu, the message
// test window and every action of its buttons.
#include <gtest/gtest.h>

#include "app/mobiapp.h"
#include "backend/headless/headless.h"
#include "fake_device.h"
#include "rt/app_library.h"

namespace mobiapp {
namespace {

using testing::FakeBinder;
using testing::FakeDevice;
using Lines = std::vector<std::string>;
using Box = rt::HeadlessBackend::BoxRecord;

const std::string k500 = std::string(500, ' ');
const char* const kLabels = "短信中心发送时间:短信模块接收时间日期:发送手机:";

struct App : ::testing::Test {
  App() {
    const rt::AppLibrary* lib = mobirt_application();
    lib->define_classes(rt);
    app_class = lib->app_class;
    rt.set_lifecycle_observer([this](const rt::Object& o, rt::Lifecycle l) {
      lifecycle.push_back((l == rt::Lifecycle::Created ? "+" : "-") + o.path());
    });
  }
  mobi& app() { return static_cast<mobi&>(*rt.application().lock()); }
  w_message_test& win() { return *app().w_message_test_ref.lock(); }
  void start() {
    ASSERT_EQ(rt.start(app_class, ""), Outcome::Completed);
    ASSERT_TRUE(ui.find_window("w"));
  }
  void open_test_window() {
    start();
    ASSERT_TRUE(ui.choose_menu("w", "tset"));
    ASSERT_TRUE(ui.find_window("w_message_test"));
    ui.clear_log();
  }
  std::string field(const char* name) { return ui.find_control("w_message_test", name)->text; }
  Lines box_texts() {
    Lines v;
    for (const auto& b : ui.boxes()) v.push_back(b.text);
    return v;
  }
  Lines writes() {
    Lines v;
    for (const auto& w : ui.text_writes()) v.push_back(w.control);
    return v;
  }
  Lines entries() {
    Lines v;
    for (const auto& c : device.calls) v.push_back(c.entry);
    return v;
  }

  FakeDevice device;
  FakeBinder binder{device};
  rt::HeadlessBackend ui;
  rt::Runtime rt{ui, binder};
  std::string app_class;
  Lines lifecycle;
};

// ---- start-up, frame and menu ----------------------------------------------

TEST_F(App, StartsWithTheDefaultObjectsTheFrameAndItsMenu) {
  start();
  EXPECT_EQ(app_class, "mobi");
  EXPECT_EQ(app().appname, "mobi");
  EXPECT_EQ(lifecycle,
            (Lines{"+mobi", "+message", "+transaction", "+dynamicdescriptionarea",
                   "+dynamicstagingarea", "+error", "+w", "+m", "+m.m_tset", "+w.mdi_1"}));
  ASSERT_EQ(ui.windows().size(), 1u);
  const auto& frame = ui.windows()[0];
  EXPECT_TRUE(frame.shown);
  EXPECT_EQ(frame.title, "Untitled");
  EXPECT_EQ(frame.windowtype, 5);
  EXPECT_EQ(frame.menu, (Lines{"tset"}));
  ASSERT_EQ(frame.controls.size(), 1u);
  EXPECT_EQ(frame.controls[0].name, "mdi_1");

  w& f = *app().w_ref.lock();
  EXPECT_EQ(f.width, 2533);
  EXPECT_EQ(f.height, 1408);
  EXPECT_TRUE(f.center && f.titlebar && f.controlmenu && f.minbox && f.maxbox && f.resizable);
  EXPECT_EQ(f.backcolor, 67108864);
  EXPECT_EQ(f.icon, "AppIcon!");
  EXPECT_EQ(f.menuname, "m");
  EXPECT_EQ(static_cast<rt::MdiClient&>(*f.mdi_1.lock()).backcolor, 268435456);
  // The menu: the application-wide reference m is the frame's menu, whose
  // item list holds only m_tset.
  EXPECT_TRUE(app().m_ref == Ref<m>(std::dynamic_pointer_cast<m>(f.menuid.lock())));
  ASSERT_EQ(app().m_ref->item.size(), 1u);
  EXPECT_TRUE(app().m_ref->item.items()[0] == Ref<rt::Menu>(app().m_ref->m_tset));
  EXPECT_TRUE(ui.boxes().empty());
  EXPECT_TRUE(rt.error_log().empty());
}

TEST_F(App, AnyCommandLineGivesTheSameStart) {
  ASSERT_EQ(rt.start(app_class, "--anything at all"), Outcome::Completed);
  ASSERT_EQ(ui.windows().size(), 1u);
  EXPECT_EQ(ui.windows()[0].name, "w");
}

TEST_F(App, ShutsDownInOrderReleasingSqlcaFirstAndMessageLast) {
  start();
  lifecycle.clear();
  ASSERT_TRUE(ui.request_close("w"));
  EXPECT_FALSE(rt.running());
  EXPECT_EQ(lifecycle,
            (Lines{"-m.m_tset", "-m", "-w.mdi_1", "-w", "-transaction", "-dynamicdescriptionarea",
                   "-dynamicstagingarea", "-error", "-message", "-mobi"}));
  EXPECT_TRUE(ui.quit_requested());
}

TEST_F(App, AFailedDefaultObjectEndsCreateAndTheApplicationNeverOpens) {
  rt.set_creation_filter([](std::string_view path) { return path == "dynamicdescriptionarea"; });
  EXPECT_EQ(rt.start(app_class, ""), Outcome::Failed);
  EXPECT_EQ(lifecycle,
            (Lines{"+mobi", "+message", "+transaction", "-transaction", "-message", "-mobi"}));
  EXPECT_TRUE(ui.windows().empty());
}

TEST_F(App, AFailedMenuItemLeavesTheFrameUnopened) {
  rt.set_creation_filter([](std::string_view path) { return path == "m.m_tset"; });
  EXPECT_EQ(rt.start(app_class, ""), Outcome::Failed);
  EXPECT_EQ(ui.find_window("w"), nullptr);
  EXPECT_FALSE(rt.running());
}

// The menu's item list made null before its create appends to it.
struct NullItemList : App {
  NullItemList() {
    rt.define_class("m", [] {
      auto menu = std::make_shared<m>();
      menu->item.set_null();
      return menu;
    });
  }
};

TEST_F(NullItemList, TheAppendRaises20508WhichEndsTheMenusCreateAndTheFrame) {
  EXPECT_EQ(rt.start(app_class, ""), Outcome::Failed);
  ASSERT_EQ(rt.error_log().size(), 1u);
  EXPECT_EQ(rt.error_log()[0].code, rt::ErrorCode::NullList);
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].text, "Error 20508: Null list\nObject: m\nEvent: create");
  EXPECT_EQ(ui.find_window("w"), nullptr);
  EXPECT_FALSE(rt.running());
}

TEST_F(NullItemList, WhenTheRuntimeLetsItContinueTheAppendIsSkipped) {
  rt.set_error_answer([](rt::ErrorCode) { return rt::ErrorAnswer::Continue; });
  start();
  EXPECT_TRUE(ui.find_window("w")->menu.empty());
  EXPECT_TRUE(app().m_ref->item.is_null());
  EXPECT_TRUE(app().m_ref->m_tset.valid());
  ASSERT_EQ(rt.error_log().size(), 1u);
  EXPECT_EQ(rt.error_log()[0].answer, rt::ErrorAnswer::Continue);
  EXPECT_TRUE(ui.boxes().empty());
}

// ---- the message test window -----------------------------------------------

TEST_F(App, TsetOpensTheTestWindowOutsideTheFrameWithItsFifteenControls) {
  start();
  ASSERT_TRUE(ui.choose_menu("w", "tset"));
  ASSERT_EQ(ui.windows().size(), 2u);
  const auto& t = ui.windows()[1];
  EXPECT_EQ(t.name, "w_message_test");
  EXPECT_TRUE(t.shown);
  EXPECT_EQ(t.title, "");
  EXPECT_TRUE(t.menu.empty());
  EXPECT_EQ(t.windowtype, rt::window_type::main);
  EXPECT_EQ(ui.windows()[0].controls.size(), 1u);  // the frame's client area stays empty

  struct Expected {
    const char* name;
    rt::SystemClass kind;
    const char* text;
    Long x, y, width, height, taborder;
  };
  using SC = rt::SystemClass;
  const Expected expected[] = {
      {"cb_6", SC::CommandButton, "none", 1495, 1176, 457, 128, 50},
      {"cb_5", SC::CommandButton, "test", 1874, 1028, 457, 128, 60},
      {"sle_dest", SC::SingleLineEdit, destination_number, 585, 200, 955, 100, 30},
      {"cb_4", SC::CommandButton, "get message", 55, 668, 535, 128, 40},
      {"sle_get", SC::SingleLineEdit, "none", 603, 664, 1815, 156, 40},
      {"cb_3", SC::CommandButton, "close", 1650, 40, 457, 128, 20},
      {"st_2", SC::StaticText, "错误", 69, 1096, 457, 72, 0},
      {"sle_return", SC::SingleLineEdit, "none", 594, 836, 983, 128, 50},
      {"st_1", SC::StaticText, "返回", 55, 872, 457, 72, 0},
      {"sle_err", SC::SingleLineEdit, "none", 594, 1052, 983, 128, 40},
      {"sle_baud", SC::SingleLineEdit, "9600", 576, 24, 457, 128, 20},
      {"sle_port", SC::SingleLineEdit, "4", 46, 32, 457, 128, 10},
      {"sle_send", SC::SingleLineEdit, "test", 585, 308, 1815, 184, 30},
      {"cb_2", SC::CommandButton, "send message", 27, 304, 535, 128, 20},
      {"cb_1", SC::CommandButton, "open", 1120, 36, 457, 128, 10},
  };
  ASSERT_EQ(t.controls.size(), 15u);
  w_message_test& win = this->win();
  ASSERT_EQ(win.control.size(), 15u);
  for (std::size_t i = 0; i < 15; ++i) {
    const auto& e = expected[i];
    const auto& c = t.controls[i];
    SCOPED_TRACE(e.name);
    EXPECT_EQ(c.name, e.name);
    EXPECT_EQ(c.kind, e.kind);
    EXPECT_EQ(c.text, e.text);
    EXPECT_EQ(c.rect, rt::layout::to_px(e.x, e.y, e.width, e.height));
    auto obj = win.control.items()[i].lock();
    EXPECT_EQ(obj->class_name(), e.name);
    EXPECT_EQ(obj->taborder, e.taborder);
    auto& tc = dynamic_cast<rt::TextControl&>(*obj);
    EXPECT_EQ(tc.font.facename, "Arial");
    EXPECT_EQ(tc.font.textsize, -12);
    EXPECT_EQ(tc.font.weight, 400);
    EXPECT_EQ(tc.font.charset, 0);
    EXPECT_EQ(tc.font.pitch, 2);
    EXPECT_EQ(tc.font.family, 2);
    if (auto* sle = dynamic_cast<rt::SingleLineEdit*>(obj.get())) {
      EXPECT_EQ(sle->textcolor, 33554432);
      EXPECT_EQ(sle->borderstyle, 5);
    }
    if (auto* st = dynamic_cast<rt::StaticText*>(obj.get())) {
      EXPECT_EQ(st->textcolor, 33554432);
      EXPECT_EQ(st->backcolor, 67108864);
      EXPECT_FALSE(st->focusrectangle);
    }
  }
  EXPECT_EQ(std::string(destination_number).size(), 13u);
  EXPECT_EQ(win.width, 2533);
  EXPECT_EQ(win.height, 1408);
  EXPECT_EQ(win.icon, "AppIcon!");
  EXPECT_TRUE(win.center);
  EXPECT_EQ(win.i_dll_handle, 0);
  EXPECT_EQ(win.ll_handle, static_cast<Long>(t.handle));
  EXPECT_TRUE(device.calls.empty());
}

TEST_F(App, TsetAgainBringsTheOpenTestWindowForward) {
  open_test_window();
  ASSERT_TRUE(ui.choose_menu("w", "tset"));
  EXPECT_EQ(ui.windows().size(), 2u);
  EXPECT_EQ(ui.activations(), (Lines{"w_message_test"}));
}

TEST_F(App, AControlThatCannotBeCreatedStopsTheWindowsCreate) {
  start();
  rt.set_creation_filter([](std::string_view path) { return path == "w_message_test.st_2"; });
  lifecycle.clear();
  ASSERT_TRUE(ui.choose_menu("w", "tset"));
  EXPECT_EQ(ui.find_window("w_message_test"), nullptr);
  // Created up to the failing one, then all of it released again.
  EXPECT_EQ(lifecycle.size(), 1u + 6u + 6u + 1u);
  EXPECT_EQ(lifecycle[6], "+w_message_test.cb_3");
  EXPECT_EQ(lifecycle.back(), "-w_message_test");
  EXPECT_TRUE(rt.running());
}

// ---- the actions -----------------------------------------------------------

TEST_F(App, OpenPassesTheDefaultFieldsAndShowsLengthHandleResultAndError) {
  open_test_window();
  device.handle = 77;
  device.err = "opened COM4";
  ASSERT_TRUE(ui.click("w_message_test", "cb_1"));
  ASSERT_EQ(device.calls.size(), 1u);
  EXPECT_EQ(device.calls[0].args,
            (Lines{std::to_string(win().ll_handle), "4", "9600", "8613800290500", "0", k500}));
  EXPECT_EQ(box_texts(), (Lines{"l_err长度=500", "77"}));
  for (const Box& b : ui.boxes()) EXPECT_EQ(b.title, "");
  EXPECT_EQ(win().i_dll_handle, 77);
  EXPECT_EQ(field("sle_return"), "true");
  EXPECT_EQ(field("sle_err"), "opened COM4");
  EXPECT_EQ(writes(), (Lines{"w_message_test.sle_return", "w_message_test.sle_err"}));
}

TEST_F(App, TheLengthBoxComesBeforeTheCallAndTheActionWaitsForIt) {
  open_test_window();
  std::vector<std::size_t> calls_when_shown;
  ui.answer_boxes([&](const Box&) {
    calls_when_shown.push_back(device.calls.size());
    return true;
  });
  ASSERT_TRUE(ui.click("w_message_test", "cb_1"));
  EXPECT_EQ(calls_when_shown, (std::vector<std::size_t>{0, 1}));
}

TEST_F(App, AFailedOpenIsOnlyShown) {
  open_test_window();
  device.result = false;
  device.err = "port 4 does not exist";
  ASSERT_TRUE(ui.type("w_message_test", "sle_port", "x4"));
  ASSERT_TRUE(ui.type("w_message_test", "sle_baud", "99999999999"));
  ASSERT_TRUE(ui.click("w_message_test", "cb_1"));
  EXPECT_EQ(device.calls[0].args[1], "0");  // not numbers: 0
  EXPECT_EQ(device.calls[0].args[2], "0");
  EXPECT_EQ(box_texts(), (Lines{"l_err长度=500", "0"}));
  EXPECT_EQ(field("sle_return"), "false");
  EXPECT_EQ(field("sle_err"), "port 4 does not exist");
}

TEST_F(App, AnUntouchedErrorBufferShowsFiveHundredSpaces) {
  open_test_window();
  ASSERT_TRUE(ui.click("w_message_test", "cb_2"));
  EXPECT_EQ(field("sle_err"), k500);
  EXPECT_EQ(field("sle_return"), "true");
}

TEST_F(App, SendPassesTheTextsExactlyAsTyped) {
  open_test_window();
  ASSERT_TRUE(ui.type("w_message_test", "sle_send", "  你好, world "));
  ASSERT_TRUE(ui.type("w_message_test", "sle_dest", " 123"));
  device.err = "";
  ASSERT_TRUE(ui.click("w_message_test", "cb_2"));
  ASSERT_EQ(device.calls.size(), 1u);
  EXPECT_EQ(device.calls[0].entry, "hs_send_onemessage");
  EXPECT_EQ(device.calls[0].args,
            (Lines{"8613800290500", rt::utf8_to_gbk("  你好, world "), " 123", "1", k500}));
  EXPECT_TRUE(ui.boxes().empty());
  EXPECT_EQ(field("sle_err"), "");
  EXPECT_EQ(writes(), (Lines{"w_message_test.sle_return", "w_message_test.sle_err"}));

  ASSERT_TRUE(ui.type("w_message_test", "sle_send", ""));
  ASSERT_TRUE(ui.type("w_message_test", "sle_dest", ""));
  ASSERT_TRUE(ui.click("w_message_test", "cb_2"));
  EXPECT_EQ(device.calls[1].args[1], "");
  EXPECT_EQ(device.calls[1].args[2], "");
}

TEST_F(App, CloseShowsAndPassesTheDeviceHandleWhateverItHolds) {
  open_test_window();
  ASSERT_TRUE(ui.click("w_message_test", "cb_3"));  // before any open
  ASSERT_TRUE(ui.click("w_message_test", "cb_3"));
  device.handle = 5;
  ASSERT_TRUE(ui.click("w_message_test", "cb_1"));
  ASSERT_TRUE(ui.click("w_message_test", "cb_3"));
  EXPECT_EQ(entries(),
            (Lines{"hs_close_device", "hs_close_device", "hs_open_device", "hs_close_device"}));
  EXPECT_EQ(device.calls[0].args, (Lines{"4", "0", k500}));
  EXPECT_EQ(device.calls[1].args, (Lines{"4", "0", k500}));
  EXPECT_EQ(device.calls[3].args, (Lines{"4", "5", k500}));
  EXPECT_EQ(box_texts(), (Lines{"0", "0", "l_err长度=500", "5", "5"}));
  EXPECT_EQ(win().i_dll_handle, 5);  // kept after the close
  EXPECT_EQ(win().ll_handle, static_cast<Long>(ui.find_window("w_message_test")->handle));
}

TEST_F(App, FetchJoinsTheMessageAndTheThreeLabelsWithNothingBetween) {
  open_test_window();
  device.message = rt::utf8_to_gbk("你好");
  device.sent_at = "26/12/08,19:30:00+32";
  device.received_at = "2026-12-08 19:30:05";
  device.sender = "8613912345678";
  device.err = "";
  ASSERT_TRUE(ui.click("w_message_test", "cb_4"));
  ASSERT_EQ(device.calls.size(), 1u);
  EXPECT_EQ(device.calls[0].args, (Lines{k500, k500, k500, k500, k500}));
  EXPECT_EQ(field("sle_get"),
            "你好短信中心发送时间:26/12/08,19:30:00+32短信模块接收时间日期:2026-12-08 "
            "19:30:05发送手机:8613912345678");
  EXPECT_EQ(field("sle_return"), "true");
  EXPECT_EQ(writes(), (Lines{"w_message_test.sle_get", "w_message_test.sle_return",
                             "w_message_test.sle_err"}));
}

TEST_F(App, FetchOfEmptyTextsShowsOnlyTheLabelsAndUntouchedOnesFiveHundredSpaces) {
  open_test_window();
  device.message = device.sent_at = device.received_at = device.sender = "";
  ASSERT_TRUE(ui.click("w_message_test", "cb_4"));
  EXPECT_EQ(field("sle_get"), kLabels);
  device.message = device.sent_at = device.received_at = device.sender = std::nullopt;
  ASSERT_TRUE(ui.click("w_message_test", "cb_4"));
  EXPECT_EQ(field("sle_get"), k500 + "短信中心发送时间:" + k500 + "短信模块接收时间日期:" + k500 +
                                  "发送手机:" + k500);
}

TEST_F(App, FormActionPassesAnEmptyTextAndChangesNoField) {
  open_test_window();
  device.result = false;
  ASSERT_TRUE(ui.click("w_message_test", "cb_5"));
  ASSERT_EQ(device.calls.size(), 1u);
  EXPECT_EQ(device.calls[0].entry, "DLLFormShow");
  EXPECT_EQ(device.calls[0].args, (Lines{""}));
  EXPECT_TRUE(ui.text_writes().empty());
  EXPECT_TRUE(ui.boxes().empty());
}

TEST_F(App, AFormThatWritesIntoItsEmptyTextIsCaughtAndTheApplicationGoesOn) {
  open_test_window();
  device.form_writes = "the form failed";
  ASSERT_TRUE(ui.click("w_message_test", "cb_5"));
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].text,
            "Error 20522: Outside function broke a buffer it was given\nDLLFormShow wrote past "
            "the end of the text buffer of its parameter 1\nObject: w_message_test.cb_5\nEvent: "
            "clicked");
  EXPECT_TRUE(ui.text_writes().empty());
  ASSERT_TRUE(ui.click("w_message_test", "cb_2"));  // still running
  EXPECT_EQ(field("sle_return"), "true");
}

TEST_F(App, AMissingLibraryEndsTheActionAtTheCallAndTheFieldsKeepTheirTexts) {
  open_test_window();
  device.library_missing = true;
  ASSERT_TRUE(ui.click("w_message_test", "cb_1"));
  // The length box, then the runtime's error box; not the handle box.
  ASSERT_EQ(ui.boxes().size(), 2u);
  EXPECT_EQ(ui.boxes()[0].text, "l_err长度=500");
  EXPECT_EQ(ui.boxes()[1].title, "Runtime error");
  EXPECT_EQ(ui.boxes()[1].text,
            "Error 20520: Library of outside function not found\nProjSmsDLL.dll: not "
            "found\nObject: w_message_test.cb_1\nEvent: clicked");
  EXPECT_EQ(field("sle_return"), "none");
  EXPECT_EQ(field("sle_err"), "none");
  EXPECT_TRUE(ui.text_writes().empty());
  EXPECT_TRUE(rt.running());
}

TEST_F(App, AMissingEntryEndsEachActionAtItsCall) {
  open_test_window();
  device.entries_missing = {"hs_send_onemessage", "hs_get_onemessage", "hs_close_device"};
  for (const char* button : {"cb_2", "cb_3", "cb_4"}) {
    ASSERT_TRUE(ui.click("w_message_test", button));
  }
  EXPECT_TRUE(ui.text_writes().empty());
  EXPECT_TRUE(device.calls.empty());
  ASSERT_EQ(rt.error_log().size(), 3u);
  for (const auto& e : rt.error_log()) EXPECT_EQ(e.code, rt::ErrorCode::EntryNotFound);
  EXPECT_EQ(field("sle_get"), "none");
}

TEST_F(App, NoneClosesTheWindowWithoutACallAndANewOneStartsWithHandleZero) {
  open_test_window();
  device.handle = 9;
  ASSERT_TRUE(ui.click("w_message_test", "cb_1"));
  device.calls.clear();
  lifecycle.clear();
  ASSERT_TRUE(ui.click("w_message_test", "cb_6"));
  EXPECT_EQ(ui.find_window("w_message_test"), nullptr);
  EXPECT_TRUE(device.calls.empty());
  ASSERT_EQ(lifecycle.size(), 16u);
  EXPECT_EQ(lifecycle.front(), "-w_message_test.cb_6");
  EXPECT_EQ(lifecycle[14], "-w_message_test.cb_1");
  EXPECT_EQ(lifecycle.back(), "-w_message_test");
  EXPECT_TRUE(rt.running());  // the frame is still open
  ASSERT_TRUE(ui.choose_menu("w", "tset"));
  EXPECT_EQ(win().i_dll_handle, 0);
}

}  // namespace
}  // namespace mobiapp
