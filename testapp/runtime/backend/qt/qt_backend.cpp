#include "backend/qt/qt_backend.h"

#include <QtGui/qguiapplication_platform.h>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlatformSurfaceEvent>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QVBoxLayout>
#include <QWindow>
#include <algorithm>
#include <optional>
#include <vector>

#include <xcb/xcb.h>

#include "rt/layout.h"
#include "rt/object.h"

namespace rt {

namespace {

// Names the class of each top-level window as its native window is made,
// before it is mapped (window managers read WM_CLASS then).
class X11WindowClass final : public QObject {
 public:
  explicit X11WindowClass(xcb_connection_t* connection) : connection_(connection) {}

  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() != QEvent::PlatformSurface ||
        static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() !=
            QPlatformSurfaceEvent::SurfaceCreated)
      return false;
    auto* window = qobject_cast<QWindow*>(object);
    if (!window || !window->isTopLevel()) return false;
    // Instance and class name, each ended by a NUL.
    static constexpr char kClass[] = "mobiapp\0mobiapp";
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE,
                        static_cast<xcb_window_t>(window->winId()), XCB_ATOM_WM_CLASS,
                        XCB_ATOM_STRING, 8, sizeof kClass, kClass);
    xcb_flush(connection_);
    return false;
  }

 private:
  xcb_connection_t* connection_;
};

QString qs(const Text& gbk) {
  return QString::fromStdString(gbk_to_utf8(gbk));
}

// A top-level window whose close box asks the runtime instead of closing.
class TopWindow final : public QMainWindow {
 public:
  TopWindow(UiSink*& sink, Window& window) : sink_(sink), window_(window) {}
  bool closing_by_runtime = false;

 protected:
  void closeEvent(QCloseEvent* e) override {
    if (closing_by_runtime) return e->accept();
    e->ignore();
    if (sink_) sink_->close_requested(window_);
  }

 private:
  UiSink*& sink_;
  Window& window_;
};

std::optional<QColor> qcolour(Long code, const QPalette& pal) {
  auto c = layout::colour_of(code);
  using R = layout::Colour::Role;
  switch (c.role) {
    case R::Default:
      return std::nullopt;
    case R::Rgb:
      return QColor(c.red, c.green, c.blue);
    case R::WindowText:
      return pal.color(QPalette::WindowText);
    case R::ButtonFace:
      return pal.color(QPalette::Button);
    case R::AppWorkspace:
      return pal.color(QPalette::Dark);
    case R::WindowBackground:
      return pal.color(QPalette::Base);
  }
  return std::nullopt;
}

void set_background(QWidget* w, Long code) {
  if (auto c = qcolour(code, QApplication::palette())) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, *c);
    w->setPalette(p);
    w->setAutoFillBackground(true);
  }
}

QFont font_of(const Font& f) {
  QFont q(qs(f.facename));
  q.setPixelSize(std::max(1, layout::font_px(f.textsize)));
  q.setWeight(static_cast<QFont::Weight>(std::clamp<Long>(f.weight, 1, 1000)));
  q.setItalic(f.italic);
  q.setUnderline(f.underline);
  // Family and pitch: a hint for when the face is missing.
  if (f.family == 1) q.setStyleHint(QFont::Serif);
  if (f.family == 2) q.setStyleHint(QFont::SansSerif);
  if (f.family == 3) q.setStyleHint(QFont::TypeWriter);
  if (f.pitch == 1) q.setFixedPitch(true);
  return q;
}

void style_text_control(QWidget* w, const TextControl& c, QPalette::ColorRole text_role) {
  w->setFont(font_of(c.font));
  QPalette p = w->palette();
  if (auto t = qcolour(c.textcolor, QApplication::palette())) p.setColor(text_role, *t);
  w->setPalette(p);
}

void set_frame(QFrame* f, Long borderstyle) {
  if (borderstyle == border::sunken) {
    f->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  } else if (borderstyle == border::box) {
    f->setFrameStyle(QFrame::Box | QFrame::Plain);
  } else {
    f->setFrameStyle(QFrame::NoFrame);
  }
}

// The frame of a window: its title, icon and title bar boxes.
TopWindow* make_top_window(UiSink*& sink, Window& window) {
  auto* top = new TopWindow(sink, window);
  top->setWindowTitle(qs(window.title()));
  top->setWindowIcon(window.icon.empty() ? QIcon()
                                         : top->style()->standardIcon(QStyle::SP_DesktopIcon));
  Qt::WindowFlags flags = Qt::Window;
  if (!window.titlebar) {
    flags |= Qt::FramelessWindowHint;
  } else {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (window.controlmenu) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (window.minbox) flags |= Qt::WindowMinimizeButtonHint;
    if (window.maxbox) flags |= Qt::WindowMaximizeButtonHint;
  }
  top->setWindowFlags(flags);
  return top;
}

// Menu bar: top-level items with no items of their own act at once.
std::map<const Object*, QAction*> add_menu_bar(UiSink*& sink, QMainWindow& top,
                                               const Window& window) {
  std::map<const Object*, QAction*> actions;
  auto menu = window.menuid.lock();
  if (!menu || menu->item.size() == 0) return actions;
  for (const auto& ref : menu->item.items()) {
    auto item = ref.lock();
    if (!item) continue;
    QAction* a = top.menuBar()->addAction(qs(item->text()));
    Menu* raw = item.get();
    QObject::connect(a, &QAction::triggered, a, [&sink, raw] {
      if (sink) sink->menu_chosen(*raw);
    });
    actions[raw] = a;
  }
  return actions;
}

// The client area fills the frame's client area and follows its size.
QWidget* make_mdi_client(const MdiClient& mdi, QWidget* client) {
  auto* area = new QMdiArea(client);
  if (auto bg = qcolour(mdi.backcolor, QApplication::palette())) area->setBackground(*bg);
  auto* fill = new QVBoxLayout(client);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(area);
  return area;
}

QWidget* make_button(UiSink*& sink, CommandButton& b, QWidget* client) {
  auto* q = new QPushButton(qs(b.text()), client);
  style_text_control(q, b, QPalette::ButtonText);
  QObject::connect(q, &QPushButton::clicked, q, [&sink, &b] {
    if (sink) sink->clicked(b);
  });
  return q;
}

QWidget* make_edit(UiSink*& sink, SingleLineEdit& e, QWidget* client) {
  auto* q = new QLineEdit(qs(e.text()), client);
  style_text_control(q, e, QPalette::Text);
  q->setFrame(e.borderstyle != border::none);
  if (auto bg = qcolour(e.backcolor, QApplication::palette())) {
    QPalette p = q->palette();
    p.setColor(QPalette::Base, *bg);
    q->setPalette(p);
  }
  q->setCursorPosition(0);
  QObject::connect(q, &QLineEdit::textEdited, q, [&sink, &e](const QString& s) {
    if (sink) sink->text_edited(e, s.toStdString());
  });
  return q;
}

QWidget* make_label(const StaticText& s, QWidget* client) {
  auto* q = new QLabel(qs(s.text()), client);
  style_text_control(q, s, QPalette::WindowText);
  set_background(q, s.backcolor);
  set_frame(q, s.borderstyle);
  q->setFocusPolicy(Qt::NoFocus);
  return q;
}

// The widget of one control, by its kind; null for a kind without one.
QWidget* make_control(UiSink*& sink, WindowObject& c, QWidget* client) {
  if (auto* mdi = dynamic_cast<MdiClient*>(&c)) return make_mdi_client(*mdi, client);
  if (auto* b = dynamic_cast<CommandButton*>(&c)) return make_button(sink, *b, client);
  if (auto* e = dynamic_cast<SingleLineEdit*>(&c)) return make_edit(sink, *e, client);
  if (auto* s = dynamic_cast<StaticText*>(&c)) return make_label(*s, client);
  return nullptr;
}

// Position, visibility and name of a control's widget; buttons and edits
// with a tab value join the tab order, those without take the focus only
// when clicked.
void place_control(const WindowObject& c, QWidget& w, std::vector<std::pair<Long, QWidget*>>& tab) {
  if (c.system_class() != SystemClass::MdiClient) {
    auto r = layout::to_px(c.x, c.y, c.width, c.height);
    w.setGeometry(r.x, r.y, r.width, r.height);
  }
  w.setVisible(c.visible);
  w.setObjectName(QString::fromStdString(c.class_name()));
  if (c.system_class() == SystemClass::CommandButton ||
      c.system_class() == SystemClass::SingleLineEdit) {
    if (c.taborder > 0) {
      tab.emplace_back(c.taborder, &w);
    } else {
      w.setFocusPolicy(Qt::ClickFocus);
    }
  }
}

// Tab order: by tab value; equal values keep their order in the control list.
// The window opens with the focus on the first control of the tab order,
// which is returned (null if none).
QWidget* set_tab_order(std::vector<std::pair<Long, QWidget*>>& tab) {
  std::stable_sort(tab.begin(), tab.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 1; i < tab.size(); ++i)
    QWidget::setTabOrder(tab[i - 1].second, tab[i].second);
  return tab.empty() ? nullptr : tab.front().second;
}

}  // namespace

QtApp::QtApp() : app_(argc_, argv_) {
  // Only on the X11 platform itself (the offscreen one may answer too, with
  // no connection).
  auto* x11 = app_.nativeInterface<QNativeInterface::QX11Application>();
  if (QGuiApplication::platformName() == QLatin1String("xcb") && x11 && x11->connection()) {
    window_class_ = std::make_unique<X11WindowClass>(x11->connection());
    app_.installEventFilter(window_class_.get());
  }
}

QtApp::~QtApp() = default;

struct QtBackend::Native {
  QPointer<TopWindow> top;
  QWidget* first_focus = nullptr;
  std::map<const Object*, QWidget*> controls;
  std::map<const Object*, QAction*> items;
};

QtBackend::QtBackend() {
  if (!QApplication::instance()) throw std::logic_error("the Qt backend needs a QApplication");
  // The runtime, not Qt, decides when the application ends.
  QApplication::setQuitOnLastWindowClosed(false);
}

QtBackend::~QtBackend() {
  for (auto& [w, n] : windows_) {
    if (n->top) {
      n->top->closing_by_runtime = true;
      delete n->top.data();
    }
  }
}

bool QtBackend::realize_window(Window& window) {
  auto n = std::make_unique<Native>();
  auto* top = make_top_window(sink_, window);
  n->top = top;
  auto* client = new QWidget;
  set_background(client, window.backcolor);
  top->setCentralWidget(client);
  n->items = add_menu_bar(sink_, *top, window);
  if (window.windowtype == window_type::mdi_frame_help) top->statusBar();

  std::vector<std::pair<Long, QWidget*>> tab;
  for (const auto& ref : window.control.items()) {
    auto c = ref.lock();
    if (!c) continue;
    QWidget* w = make_control(sink_, *c, client);
    if (!w) continue;
    place_control(*c, *w, tab);
    n->controls[c.get()] = w;
  }
  n->first_focus = set_tab_order(tab);

  const int cw = layout::x_px(window.width);
  const int ch = layout::y_px(window.height);
  int extra = 0;
  if (!n->items.empty()) extra += top->menuBar()->sizeHint().height();
  if (window.windowtype == window_type::mdi_frame_help)
    extra += top->statusBar()->sizeHint().height();
  top->resize(cw, ch + extra);
  if (!window.resizable) top->setFixedSize(cw, ch + extra);
  if (!window.center) top->move(layout::x_px(window.x), layout::y_px(window.y));
  n->controls[&window] = top;
  windows_[&window] = std::move(n);
  return true;
}

void QtBackend::show_window(Window& window) {
  QWidget* w = widget_of(window);
  if (!w) return;
  if (QWidget* first = windows_.at(&window)->first_focus) first->setFocus(Qt::TabFocusReason);
  if (window.center) {
    // Centred before it shows, then once more when its frame is known.
    auto centre = [w] {
      if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = w->frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        w->move(frame.topLeft());  // a window's position is its frame's
      }
    };
    if (w->layout()) w->layout()->activate();
    centre();
    w->show();
    centre();
  } else {
    w->show();
  }
}

void QtBackend::activate_window(Window& window) {
  if (QWidget* w = widget_of(window)) {
    // A minimised window comes back as it was before.
    if (w->isMinimized()) w->setWindowState(w->windowState() & ~Qt::WindowMinimized);
    w->show();
    w->raise();
    w->activateWindow();
  }
}

void QtBackend::destroy_window(Window& window) {
  auto it = windows_.find(&window);
  if (it == windows_.end()) return;
  std::unique_ptr<Native> n = std::move(it->second);
  windows_.erase(it);
  if (!n->top) return;
  // The window may be going away from inside one of its own widgets' signals:
  // cut the widgets off from the runtime now, delete them later.
  for (auto& [o, w] : n->controls) QObject::disconnect(w, nullptr, nullptr, nullptr);
  for (auto& [o, a] : n->items) QObject::disconnect(a, nullptr, nullptr, nullptr);
  n->top->closing_by_runtime = true;
  n->top->hide();
  n->top->deleteLater();
}

void QtBackend::text_changed(Object& object) {
  if (QAction* a = action_of(object)) {
    a->setText(qs(static_cast<Menu&>(object).text()));
    return;
  }
  QWidget* w = widget_of(object);
  if (!w) return;
  if (auto* win = dynamic_cast<Window*>(&object)) {
    w->setWindowTitle(qs(win->title()));
  } else if (auto* c = dynamic_cast<TextControl*>(&object)) {
    QString t = qs(c->text());
    if (auto* b = qobject_cast<QPushButton*>(w)) b->setText(t);
    if (auto* e = qobject_cast<QLineEdit*>(w)) {
      e->setText(t);
      e->setCursorPosition(0);
    }
    if (auto* l = qobject_cast<QLabel*>(w)) l->setText(t);
  }
}

std::uint64_t QtBackend::native_handle(const Window& window) {
  QWidget* w = widget_of(window);
  return w ? static_cast<std::uint64_t>(w->winId()) : 0;
}

bool QtBackend::message_box(std::string_view title, std::string_view text) {
  QWidget* parent = QApplication::activeWindow();
  QMessageBox box(
      QMessageBox::NoIcon, QString::fromUtf8(title.data(), static_cast<int>(title.size())),
      QString::fromUtf8(text.data(), static_cast<int>(text.size())), QMessageBox::Ok, parent);
  box.setWindowModality(Qt::ApplicationModal);
  box.exec();
  return true;
}

void QtBackend::outside_call(bool running) {
  if (running) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Let the window system show it before the call blocks this thread.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void QtBackend::quit() {
  quit_ = true;
  QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                            Qt::QueuedConnection);
}

int QtBackend::exec() {
  return quit_ ? 0 : QApplication::exec();
}

QWidget* QtBackend::widget_of(const Object& object) const {
  for (const auto& [w, n] : windows_) {
    if (auto it = n->controls.find(&object); it != n->controls.end()) return it->second;
  }
  return nullptr;
}

QAction* QtBackend::action_of(const Object& item) const {
  for (const auto& [w, n] : windows_) {
    if (auto it = n->items.find(&item); it != n->items.end()) return it->second;
  }
  return nullptr;
}

}  // namespace rt
