// The Qt backend, rendered off screen: windows, controls in their places, the
// menu bar, message boxes and the operator's clicks and typing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <memory>
#include <optional>

#include "backend/qt/qt_backend.h"
#include "platform/posix/dl_binder.h"
#include "qt_environment.h"
#include "rt/external.h"
#include "rt/layout.h"
#include "rt/runtime.h"

namespace rt {
namespace {

struct Dialog : Window {
  struct Button : CommandButton {
    Outcome on_clicked() override {
      auto w = std::static_pointer_cast<Dialog>(owner());
      runtime().message_box("",
                            "l_err\xB3\xA4\xB6\xC8=" + long_to_text(byte_len(w->sle_x->text())));
      w->st_y->set_text("\xB7\xB5\xBB\xD8");  // 返回
      return Outcome::Completed;
    }
  };
  Ref<Button> cb_a;
  Ref<SingleLineEdit> sle_x;
  Ref<StaticText> st_y;
  Dialog() {
    width = 2533;
    height = 1408;
    center = true;
    define_nested<Button>("cb_a");
    define_nested<SingleLineEdit>("sle_x");
    define_nested<StaticText>("st_y");
  }
  template <class T>
  static void place(T& c, Long x, Long y, Long w, Long h, Text text) {
    c.x = x;
    c.y = y;
    c.width = w;
    c.height = h;
    c.font.textsize = -12;
    c.set_text(std::move(text));
  }
  Outcome on_create() override {
    cb_a = runtime().create_nested<Button>(*this, "cb_a");
    sle_x = runtime().create_nested<SingleLineEdit>(*this, "sle_x");
    st_y = runtime().create_nested<StaticText>(*this, "st_y");
    place(*cb_a.lock(), 1120, 36, 457, 128, "open");
    place(*sle_x.lock(), 46, 32, 457, 128, "4");
    place(*st_y.lock(), 69, 1096, 457, 72, "\xB4\xED\xCE\xF3");  // 错误
    control.assign({cb_a, sle_x, st_y});
    return Outcome::Completed;
  }
};

struct QtBackendTest : ::testing::Test {
  QtBackendTest() { rt.define_class<Dialog>("dialog"); }
  Ref<Dialog> open() {
    Ref<Dialog> d;
    EXPECT_EQ(rt.open(d, "dialog"), Outcome::Completed);
    return d;
  }
  QtBackend ui;
  DlBinder binder{std::vector<std::string>{}};
  Runtime rt{ui, binder};
};

TEST_F(QtBackendTest, ControlsStandInTheirPlacesWithTheirTextsAndFonts) {
  Ref<Dialog> d = open();
  auto* top = qobject_cast<QMainWindow*>(ui.widget_of(*d.lock()));
  ASSERT_NE(top, nullptr);
  EXPECT_TRUE(top->isVisible());
  EXPECT_EQ(top->centralWidget()->size(), QSize(554, 352));

  auto* button = qobject_cast<QPushButton*>(ui.widget_of(*d->cb_a.lock()));
  ASSERT_NE(button, nullptr);
  auto r = layout::to_px(1120, 36, 457, 128);
  EXPECT_EQ(button->geometry(), QRect(r.x, r.y, r.width, r.height));
  EXPECT_EQ(button->text(), "open");
  EXPECT_EQ(button->font().family(), "Arial");
  EXPECT_EQ(button->font().pixelSize(), 16);

  auto* label = qobject_cast<QLabel*>(ui.widget_of(*d->st_y.lock()));
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QString::fromUtf8("错误"));

  auto* edit = qobject_cast<QLineEdit*>(ui.widget_of(*d->sle_x.lock()));
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->text(), "4");

  // The handle is the window system's, as a long.
  EXPECT_EQ(static_cast<std::uint64_t>(static_cast<std::uint32_t>(rt.handle(*d.lock()))),
            static_cast<std::uint64_t>(top->winId()));

  QDir().mkpath("artefacts");
  EXPECT_TRUE(top->grab().save("artefacts/rt_qt_dialog.png"));
}

TEST_F(QtBackendTest, ClickRunsTheEventAndTheModalBoxWaitsForTheOperator) {
  Ref<Dialog> d = open();
  auto* edit = qobject_cast<QLineEdit*>(ui.widget_of(*d->sle_x.lock()));
  edit->setFocus();
  edit->selectAll();
  edit->insert(QString::fromUtf8("发送"));  // typed: two characters, four bytes in GBK
  EXPECT_EQ(d->sle_x->text(), utf8_to_gbk("发送"));

  QString shown;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shown = box->text();
    box->accept();
  });
  auto* button = qobject_cast<QPushButton*>(ui.widget_of(*d->cb_a.lock()));
  button->click();
  EXPECT_EQ(shown, QString::fromUtf8("l_err长度=4"));
  auto* label = qobject_cast<QLabel*>(ui.widget_of(*d->st_y.lock()));
  EXPECT_EQ(label->text(), QString::fromUtf8("返回"));
}

TEST_F(QtBackendTest, TheCloseBoxAsksTheRuntimeWhichCloses) {
  Ref<Dialog> d = open();
  QPointer<QWidget> top = ui.widget_of(*d.lock());
  top->close();
  EXPECT_FALSE(d.valid());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(top.isNull());
}

// The cursor shape the probe saw while it ran as an outside function.
std::optional<Qt::CursorShape> cursor_during_call;

extern "C" int RT_OUTSIDE_CALL busy_probe(char*) {
  const QCursor* c = QApplication::overrideCursor();
  cursor_during_call = c ? c->shape() : Qt::ArrowCursor;
  return 1;
}

struct ProbeBinder final : LibraryBinder {
  Binding bind(std::string_view, std::string_view) override {
    return {reinterpret_cast<void*>(&busy_probe), ErrorCode::EntryNotFound, {}};
  }
};

TEST(QtBackendBusy, TheCursorShowsBusyWhileAnOutsideFunctionRuns) {
  QtBackend ui;
  ProbeBinder binder;
  Runtime rt{ui, binder};
  constexpr External<"BRS", bool(Text&)> probe{"probe.dll", "busy_probe"};
  auto button = rt.create<CommandButton>("commandbutton");
  Text buf = spaces(4);
  ASSERT_EQ(rt.run_event(*button.lock(), "clicked",
                         [&] { return probe(rt, buf) ? Outcome::Completed : Outcome::Failed; }),
            Outcome::Completed);
  EXPECT_EQ(cursor_during_call, Qt::WaitCursor);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // back to normal after the call
}

}  // namespace
}  // namespace rt

RT_QT_TEST_MAIN()
