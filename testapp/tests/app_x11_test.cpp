// The test application on a real X server with a window manager (started by
// x11/with_window_manager.sh): what only a window system shows. Untitled
// windows and message boxes carry an empty title, the test window opens with
// the focus on the first control of its tab order, and "tset" brings a
// minimised test window back.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/mobiapp.h"
#include "backend/qt/qt_backend.h"
#include "fake_device.h"
#include "qt_environment.h"

namespace mobiapp {
namespace {

using testing::FakeBinder;
using testing::FakeDevice;

// What the window manager reads of a window: the values of the properties
// (by default its title, _NET_WM_NAME and WM_NAME), one a line.
std::string wm_name(WId id, const std::string& properties = "_NET_WM_NAME WM_NAME") {
  const std::string cmd = "xprop -id " + std::to_string(id) + " " + properties + " 2>&1";
  std::string out;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) {
      std::string line = buf;
      auto eq = line.find(" = ");
      out += eq == std::string::npos ? "(none: " + line + ")" : line.substr(eq + 3);
    }
    pclose(p);
  }
  return out;
}

void run_command(const std::string& cmd) {
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

struct AppUnderWindowManager : ::testing::Test {
  AppUnderWindowManager() {
    define_classes(rt);
    EXPECT_EQ(rt.start("mobi", ""), Outcome::Completed);
  }
  mobi& app() { return static_cast<mobi&>(*rt.application().lock()); }
  QMainWindow* top(const rt::Object& window) {
    return qobject_cast<QMainWindow*>(ui.widget_of(window));
  }
  QMainWindow* open_test_window() {
    top(*app().w_ref.lock())->menuBar()->actions()[0]->trigger();
    auto* t = top(*app().w_message_test_ref.lock());
    EXPECT_TRUE(t && QTest::qWaitForWindowActive(t, 10000));
    return t;
  }

  FakeDevice device;
  FakeBinder binder{device};
  rt::QtBackend ui;
  rt::Runtime rt{ui, binder};
};

// Every window also carries the class mobiapp, which window managers group
// by and `xdotool search --class mobiapp` finds.
TEST_F(AppUnderWindowManager, UntitledWindowsAndMessageBoxesHaveEmptyTitlesAndTheClass) {
  const std::string mobiapp = "\"mobiapp\", \"mobiapp\"\n";
  QMainWindow* frame = top(*app().w_ref.lock());
  ASSERT_TRUE(QTest::qWaitForWindowExposed(frame, 10000));
  EXPECT_EQ(wm_name(frame->winId()), "\"Untitled\"\n\"Untitled\"\n");
  EXPECT_EQ(wm_name(frame->winId(), "WM_CLASS"), mobiapp);
  const std::string empty = "\n\n";
  QMainWindow* test = open_test_window();
  ASSERT_NE(test, nullptr);
  EXPECT_EQ(wm_name(test->winId()), empty);
  EXPECT_EQ(wm_name(test->winId(), "WM_CLASS"), mobiapp);

  // "open" shows two boxes with empty titles around its call.
  std::vector<std::string> box_names;
  std::function<void()> answer = [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !QTest::qWaitForWindowExposed(box, 10000)) {
      QTimer::singleShot(10, answer);
      return;
    }
    box_names.push_back(wm_name(box->winId()) + wm_name(box->winId(), "WM_CLASS"));
    box->accept();
    if (box_names.size() < 2) QTimer::singleShot(0, answer);
  };
  QTimer::singleShot(0, answer);
  rt.clicked(*app().w_message_test_ref->cb_1.lock());
  ASSERT_EQ(box_names.size(), 2u);
  EXPECT_EQ(box_names[0], empty + mobiapp);
  EXPECT_EQ(box_names[1], empty + mobiapp);
}

TEST_F(AppUnderWindowManager, TheTestWindowOpensWithTheFocusOnItsFirstTabControl) {
  QMainWindow* test = open_test_window();
  ASSERT_NE(test, nullptr);
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "sle_port");
  // Tab order 10: sle_port, then cb_1 (declared later).
  run_command("xdotool key --clearmodifiers Tab");
  EXPECT_TRUE(QTest::qWaitFor(
      [] {
        return QApplication::focusWidget() &&
               QApplication::focusWidget()->objectName() != "sle_port";
      },
      10000));
  ASSERT_NE(QApplication::focusWidget(), nullptr);
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "cb_1");
}

TEST_F(AppUnderWindowManager, TsetBringsAMinimisedTestWindowBackAndForward) {
  QMainWindow* test = open_test_window();
  ASSERT_NE(test, nullptr);
  run_command("xdotool windowminimize --sync " + std::to_string(test->winId()));
  ASSERT_TRUE(QTest::qWaitFor([&] { return test->isMinimized(); }, 10000));
  top(*app().w_ref.lock())->menuBar()->actions()[0]->trigger();
  EXPECT_TRUE(
      QTest::qWaitFor([&] { return !test->isMinimized() && test->isActiveWindow(); }, 10000));
  EXPECT_EQ(rt.open_windows().size(), 2u);  // the same window, not a second one
}

}  // namespace
}  // namespace mobiapp

RT_QT_X11_TEST_MAIN()
