// The test application on the Qt backend, off screen: the frame and the test
// window render with every control in its place; screenshots are written to
// artefacts/ in the test's working directory.
#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <functional>

#include "app/mobiapp.h"
#include "backend/qt/qt_backend.h"
#include "fake_device.h"
#include "qt_environment.h"
#include "rt/layout.h"

namespace mobiapp {
namespace {

using testing::FakeBinder;
using testing::FakeDevice;

struct AppOnScreen : ::testing::Test {
  AppOnScreen() {
    define_classes(rt);
    QDir().mkpath("artefacts");
  }
  mobi& app() { return static_cast<mobi&>(*rt.application().lock()); }
  QMainWindow* top(const rt::Object& window) {
    return qobject_cast<QMainWindow*>(ui.widget_of(window));
  }

  FakeDevice device;
  FakeBinder binder{device};
  rt::QtBackend ui;
  rt::Runtime rt{ui, binder};
};

TEST_F(AppOnScreen, TheFrameIsCentredWithItsMenuBarAndAnEmptyClientArea) {
  ASSERT_EQ(rt.start("mobi", ""), Outcome::Completed);
  QMainWindow* frame = top(*app().w_ref.lock());
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->windowTitle(), "Untitled");
  for (auto hint : {Qt::WindowTitleHint, Qt::WindowSystemMenuHint, Qt::WindowMinimizeButtonHint,
                    Qt::WindowMaximizeButtonHint, Qt::WindowCloseButtonHint}) {
    EXPECT_TRUE(frame->windowFlags() & hint) << hint;
  }
  EXPECT_NE(frame->findChild<QStatusBar*>(), nullptr);  // window type 5: with a status line
  EXPECT_FALSE(frame->windowIcon().isNull());
  ASSERT_EQ(frame->menuBar()->actions().size(), 1);
  EXPECT_EQ(frame->menuBar()->actions()[0]->text(), "tset");
  EXPECT_EQ(frame->menuBar()->actions()[0]->menu(), nullptr);  // acts at once
  auto* area = frame->findChild<QMdiArea*>();
  ASSERT_NE(area, nullptr);
  EXPECT_TRUE(area->subWindowList().empty());
  EXPECT_EQ(frame->centralWidget()->size(), QSize(554, 352));
  QRect avail = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE((frame->frameGeometry().center() - avail.center()).manhattanLength(), 1);
  EXPECT_TRUE(frame->grab().save("artefacts/mobiapp_frame.png"));
}

TEST_F(AppOnScreen, TheTestWindowShowsEveryControlInItsPlaceAndAFetchedMessage) {
  ASSERT_EQ(rt.start("mobi", ""), Outcome::Completed);
  top(*app().w_ref.lock())->menuBar()->actions()[0]->trigger();
  ASSERT_TRUE(app().w_message_test_ref.valid());
  w_message_test& win = *app().w_message_test_ref.lock();
  QMainWindow* t = top(win);
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->isVisible());
  EXPECT_NE(t, top(*app().w_ref.lock()));  // a window of its own
  EXPECT_TRUE(top(*app().w_ref.lock())->findChild<QMdiArea*>()->subWindowList().empty());

  for (const auto& ref : win.control.items()) {
    auto c = ref.lock();
    QWidget* w = ui.widget_of(*c);
    ASSERT_NE(w, nullptr) << c->class_name();
    auto r = rt::layout::to_px(c->x, c->y, c->width, c->height);
    EXPECT_EQ(w->geometry(), QRect(r.x, r.y, r.width, r.height)) << c->class_name();
    EXPECT_EQ(w->font().family(), "Arial");
    EXPECT_EQ(w->font().pixelSize(), 16);
    EXPECT_TRUE(w->isVisible());
  }
  EXPECT_EQ(qobject_cast<QLabel*>(ui.widget_of(*win.st_2.lock()))->text(), "错误");
  EXPECT_EQ(qobject_cast<QLabel*>(ui.widget_of(*win.st_1.lock()))->text(), "返回");
  EXPECT_EQ(qobject_cast<QLineEdit*>(ui.widget_of(*win.sle_dest.lock()))->text(),
            destination_number);

  device.message = rt::utf8_to_gbk("你好，世界");
  device.sent_at = "26/12/08,19:30:00+32";
  device.received_at = "2026-12-08 19:30:05";
  device.sender = "8613912345678";
  device.err = "";
  qobject_cast<QPushButton*>(ui.widget_of(*win.cb_4.lock()))->click();
  auto* get = qobject_cast<QLineEdit*>(ui.widget_of(*win.sle_get.lock()));
  EXPECT_EQ(get->text(),
            "你好，世界短信中心发送时间:26/12/08,19:30:00+32短信模块接收时间日期:2026-12-08 "
            "19:30:05发送手机:8613912345678");
  EXPECT_EQ(qobject_cast<QLineEdit*>(ui.widget_of(*win.sle_return.lock()))->text(), "true");
  EXPECT_TRUE(t->grab().save("artefacts/mobiapp_w_message_test.png"));
}

TEST_F(AppOnScreen, OpenWaitsForEachModalBoxAroundTheCall) {
  ASSERT_EQ(rt.start("mobi", ""), Outcome::Completed);
  top(*app().w_ref.lock())->menuBar()->actions()[0]->trigger();
  w_message_test& win = *app().w_message_test_ref.lock();
  device.handle = 42;
  device.err = "";
  QStringList shown;
  std::vector<std::size_t> calls_when_shown;
  std::function<void()> answer = [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      shown << box->windowTitle() + "|" + box->text();
      calls_when_shown.push_back(device.calls.size());
      box->accept();
    }
    if (shown.size() < 2) QTimer::singleShot(0, answer);
  };
  QTimer::singleShot(0, answer);
  qobject_cast<QPushButton*>(ui.widget_of(*win.cb_1.lock()))->click();
  EXPECT_EQ(shown, QStringList({"|l_err长度=500", "|42"}));
  EXPECT_EQ(calls_when_shown, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(qobject_cast<QLineEdit*>(ui.widget_of(*win.sle_return.lock()))->text(), "true");
}

TEST_F(AppOnScreen, TabGoesByTabOrderAndEqualValuesByDeclaration) {
  ASSERT_EQ(rt.start("mobi", ""), Outcome::Completed);
  top(*app().w_ref.lock())->menuBar()->actions()[0]->trigger();
  w_message_test& win = *app().w_message_test_ref.lock();
  QWidget* first = ui.widget_of(*win.sle_port.lock());
  QStringList order;
  QWidget* w = first;
  do {
    if (w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty()) order << w->objectName();
    w = w->nextInFocusChain();
  } while (w != first && order.size() < 20);
  EXPECT_EQ(order.join(' '),
            "sle_port cb_1 cb_3 sle_baud cb_2 sle_dest sle_send cb_4 sle_get sle_err cb_6 "
            "sle_return cb_5");
}

}  // namespace
}  // namespace mobiapp

RT_QT_TEST_MAIN()
