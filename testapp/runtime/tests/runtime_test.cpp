// The runtime: application start and end, windows, events one at a time,
// errors shown to the operator, message boxes, texts on the screen.
#include <gtest/gtest.h>

#include "fixture.h"

namespace rt {
namespace {

using testing::RuntimeFixture;
using Lines = std::vector<std::string>;

struct Frame;
struct Dialog;

struct App : Application {
  Ref<Frame> frame;
  Ref<Dialog> dialog;
  Lines* journal = nullptr;
  bool open_nothing = false;
  Outcome on_create() override {
    appname = "app";
    journal->push_back("app create");
    return Outcome::Completed;
  }
  Outcome on_open(const Text& commandline) override;
  Outcome on_destroy() override {
    journal->push_back("app destroy");
    return Outcome::Completed;
  }
};

App& app_of(const Object& o) {
  return static_cast<App&>(*o.runtime().application().lock());
}

struct Frame : Window {
  struct Item : Menu {
    Outcome on_clicked() override;
  };
  struct Bar : Menu {
    Ref<Item> m_open;
    Bar() { define_nested<Item>("m_open"); }
    Outcome on_create() override {
      m_open = runtime().create_nested<Item>(*this, "m_open");
      m_open->set_text("open it");
      runtime().list_append(item, Ref<Menu>(m_open));
      return Outcome::Completed;
    }
  };
  Ref<MdiClient> mdi_1;
  Frame() {
    windowtype = window_type::mdi_frame_help;
    width = 2533;
    height = 1408;
    center = true;
    menuname = "bar";
    define_nested<MdiClient>("mdi_1");
  }
  Outcome on_create() override {
    menuid = runtime().create<Menu>(menuname);
    mdi_1 = runtime().create_nested<MdiClient>(*this, "mdi_1");
    control.assign({mdi_1});
    return Outcome::Completed;
  }
};

struct Dialog : Window {
  struct Button : CommandButton {
    std::function<Outcome(Button&)> action;
    Outcome on_clicked() override { return action ? action(*this) : Outcome::Completed; }
  };
  Ref<Button> cb_a, cb_b;
  Ref<SingleLineEdit> sle_x;
  Long ll_handle = 0;
  Dialog() {
    define_nested<Button>("cb_a");
    define_nested<Button>("cb_b");
    define_nested<SingleLineEdit>("sle_x");
  }
  Outcome on_create() override {
    cb_a = runtime().create_nested<Button>(*this, "cb_a");
    cb_b = runtime().create_nested<Button>(*this, "cb_b");
    sle_x = runtime().create_nested<SingleLineEdit>(*this, "sle_x");
    sle_x->set_text("\xB4\xED\xCE\xF3");  // 错误 in GBK
    sle_x->x = 32;
    sle_x->y = 8;
    sle_x->width = 320;
    sle_x->height = 100;
    control.assign({cb_a, cb_b, sle_x});
    return Outcome::Completed;
  }
  Outcome on_open() override {
    ll_handle = runtime().handle(*this);
    app_of(*this).journal->push_back("dialog open");
    return Outcome::Completed;
  }
  Outcome on_close() override {
    app_of(*this).journal->push_back("dialog close");
    return Outcome::Completed;
  }
  Outcome on_destroy() override {
    app_of(*this).journal->push_back("dialog destroy");
    return Outcome::Completed;
  }
};

Outcome App::on_open(const Text&) {
  if (open_nothing) return Outcome::Completed;
  return runtime().open(frame, "frame");
}

Outcome Frame::Item::on_clicked() {
  App& app = app_of(*this);
  return runtime().open(app.dialog, "dialog");
}

struct Running : RuntimeFixture {
  Running() {
    rt.define_class("app", [this] {
      auto a = std::make_shared<App>();
      a->journal = &journal;
      a->open_nothing = open_nothing;
      return a;
    });
    rt.define_class<Frame>("frame");
    rt.define_class<Frame::Bar>("bar");
    rt.define_class<Dialog>("dialog");
  }
  App& app() { return static_cast<App&>(*rt.application().lock()); }
  Dialog& dialog() { return *app().dialog.lock(); }
  void start_and_open_dialog() {
    ASSERT_EQ(rt.start("app", "any command line"), Outcome::Completed);
    ASSERT_TRUE(ui.choose_menu("frame", "open it"));
    ASSERT_TRUE(app().dialog.valid());
  }
  Lines journal;
  bool open_nothing = false;
};

TEST_F(Running, StartCreatesTheApplicationAndOpensItsFrame) {
  ASSERT_EQ(rt.start("app", ""), Outcome::Completed);
  EXPECT_TRUE(rt.running());
  EXPECT_EQ(journal, (Lines{"app create"}));
  EXPECT_EQ(lifecycle, (Lines{"+app", "+frame", "+bar", "+bar.m_open", "+frame.mdi_1"}));
  const auto* w = ui.find_window("frame");
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->shown);
  EXPECT_EQ(w->windowtype, window_type::mdi_frame_help);
  EXPECT_EQ(w->menu, (Lines{"open it"}));
  ASSERT_EQ(w->controls.size(), 1u);
  EXPECT_EQ(w->controls[0].kind, SystemClass::MdiClient);
  EXPECT_EQ(w->width, 554);
  EXPECT_EQ(w->height, 352);
}

TEST_F(Running, AnApplicationThatOpensNoWindowEndsAtOnce) {
  open_nothing = true;
  EXPECT_EQ(rt.start("app", ""), Outcome::Completed);
  EXPECT_FALSE(rt.running());
  EXPECT_EQ(journal, (Lines{"app create", "app destroy"}));
  EXPECT_TRUE(ui.quit_requested());
}

TEST_F(Running, OpeningAWindowRunsOpenWithItsHandleAndShowsIt) {
  start_and_open_dialog();
  const auto* w = ui.find_window("dialog");
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(w->shown);
  EXPECT_EQ(dialog().ll_handle, static_cast<Long>(w->handle));
  EXPECT_EQ(rt.handle(dialog()), dialog().ll_handle);
  EXPECT_EQ(journal.back(), "dialog open");
  // The edit shows its GBK text as characters, in its place in pixels.
  const auto* sle = ui.find_control("dialog", "sle_x");
  ASSERT_NE(sle, nullptr);
  EXPECT_EQ(sle->text, "错误");
  EXPECT_EQ(sle->rect, (layout::Rect{7, 2, 70, 25}));
}

TEST_F(Running, OpeningAnOpenWindowAgainBringsItForward) {
  start_and_open_dialog();
  Dialog* first = &dialog();
  ASSERT_TRUE(ui.choose_menu("frame", "open it"));
  EXPECT_EQ(&dialog(), first);
  EXPECT_EQ(ui.activations(), (Lines{"dialog"}));
  EXPECT_EQ(rt.open_windows().size(), 2u);
}

TEST_F(Running, ClosingRunsCloseAndDestroyAndTheLastWindowEndsTheApplication) {
  start_and_open_dialog();
  journal.clear();
  ASSERT_TRUE(ui.request_close("dialog"));
  EXPECT_EQ(journal, (Lines{"dialog close", "dialog destroy"}));
  EXPECT_FALSE(app().dialog.valid());
  EXPECT_EQ(ui.find_window("dialog"), nullptr);
  EXPECT_TRUE(rt.running());
  ASSERT_TRUE(ui.request_close("frame"));
  EXPECT_FALSE(rt.running());
  EXPECT_EQ(journal.back(), "app destroy");
  EXPECT_TRUE(ui.quit_requested());
  EXPECT_EQ(lifecycle.back(), "-app");
}

TEST_F(Running, AButtonMayCloseItsOwnWindow) {
  start_and_open_dialog();
  dialog().cb_a->action = [](Dialog::Button& b) {
    auto w = std::static_pointer_cast<Window>(b.owner());
    b.runtime().close(*w);
    b.set_text("after close");  // the button is still there until its body ends
    return Outcome::Completed;
  };
  ASSERT_TRUE(ui.click("dialog", "cb_a"));
  EXPECT_EQ(ui.find_window("dialog"), nullptr);
  EXPECT_TRUE(ui.boxes().empty());
}

TEST_F(Running, AnErrorEndsTheBodyIsShownAndTheApplicationGoesOn) {
  start_and_open_dialog();
  bool after = false;
  dialog().cb_a->action = [&](Dialog::Button& b) {
    b.runtime().raise(ErrorCode::NullObjectReference, "sle_gone");
    after = true;
    return Outcome::Completed;
  };
  ASSERT_TRUE(ui.click("dialog", "cb_a"));
  EXPECT_FALSE(after);
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].text,
            "Error 20502: Null object reference\nsle_gone\nObject: dialog.cb_a\nEvent: clicked");
  // Still running: the next click works.
  dialog().cb_b->action = [](Dialog::Button& b) {
    b.set_text("ok");
    return Outcome::Completed;
  };
  ASSERT_TRUE(ui.click("dialog", "cb_b"));
  EXPECT_EQ(ui.find_control("dialog", "cb_b")->text, "ok");
  EXPECT_TRUE(rt.running());
}

TEST_F(Running, EventsReachTheApplicationOneAtATime) {
  start_and_open_dialog();
  Lines order;
  dialog().cb_b->action = [&](Dialog::Button&) {
    order.push_back("b");
    return Outcome::Completed;
  };
  dialog().cb_a->action = [&](Dialog::Button& b) {
    order.push_back("a starts");
    b.runtime().message_box("", "wait");
    order.push_back("a ends");
    return Outcome::Completed;
  };
  // While a's box is up, the operator clicks b: b runs after a has ended.
  ui.answer_boxes([&](const HeadlessBackend::BoxRecord&) {
    ui.click("dialog", "cb_b");
    return true;
  });
  ASSERT_TRUE(ui.click("dialog", "cb_a"));
  EXPECT_EQ(order, (Lines{"a starts", "a ends", "b"}));
  EXPECT_FALSE(rt.busy());
}

TEST_F(Running, MessageBoxesShowGbkTextsAndABoxThatCannotShowIsAnError) {
  start_and_open_dialog();
  bool after = false;
  dialog().cb_a->action = [&](Dialog::Button& b) {
    b.runtime().message_box("", "l_err\xB3\xA4\xB6\xC8=500");  // 长度 in GBK
    after = true;
    return Outcome::Completed;
  };
  ASSERT_TRUE(ui.click("dialog", "cb_a"));
  EXPECT_TRUE(after);
  ASSERT_EQ(ui.boxes().size(), 1u);
  EXPECT_EQ(ui.boxes()[0].title, "");
  EXPECT_EQ(ui.boxes()[0].text, "l_err长度=500");

  after = false;
  int shown = 0;
  ui.answer_boxes([&](const HeadlessBackend::BoxRecord&) { return ++shown > 1; });
  ASSERT_TRUE(ui.click("dialog", "cb_a"));
  EXPECT_FALSE(after);
  EXPECT_EQ(rt.error_log().back().code, ErrorCode::MessageBoxFailed);
}

TEST_F(Running, TextsWrittenAndTypedMeetOnTheScreenInTheirOwnEncodings) {
  start_and_open_dialog();
  ui.clear_log();
  dialog().sle_x->set_text("\xB7\xB5\xBB\xD8");  // 返回
  EXPECT_EQ(ui.find_control("dialog", "sle_x")->text, "返回");
  ASSERT_EQ(ui.text_writes().size(), 1u);
  EXPECT_EQ(ui.text_writes()[0].control, "dialog.sle_x");
  ASSERT_TRUE(ui.type("dialog", "sle_x", "发送手机"));
  EXPECT_EQ(dialog().sle_x->text(), utf8_to_gbk("发送手机"));
  EXPECT_FALSE(ui.type("dialog", "cb_a", "x"));  // a button takes no typing
}

}  // namespace
}  // namespace rt
