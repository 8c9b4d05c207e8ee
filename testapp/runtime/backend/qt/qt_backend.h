// The Qt 6 Widgets backend: windows, controls and menus on the screen, modal
// message boxes, and the operator's actions back to the runtime. Needs a
// QApplication that lives longer than the backend.
#pragma once

#include <map>
#include <memory>

#include <QApplication>

#include "rt/backend.h"

class QAction;
class QWidget;

namespace rt {

// The QApplication for the backend. On X11, Qt puts the program's name into
// the title of a window whose title is empty; the runtime's untitled windows
// and message boxes stay untitled, so Qt is told no program name. Qt then
// gives windows no class either, so on X11 every top-level window is given
// the class "mobiapp" (WM_CLASS) here, as X11 clients have, for window
// managers, task bars and desktop automation.
class QtApp {
 public:
  QtApp();
  ~QtApp();
  QtApp(const QtApp&) = delete;
  QtApp& operator=(const QtApp&) = delete;
  QApplication& qt() { return app_; }

 private:
  int argc_ = 1;
  char name_[1] = {0};
  char* argv_[2] = {name_, nullptr};
  QApplication app_;
  std::unique_ptr<QObject> window_class_;  // on X11 only
};

class QtBackend final : public Backend {
 public:
  QtBackend();
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  void set_sink(UiSink* sink) override { sink_ = sink; }
  bool realize_window(Window& window) override;
  void show_window(Window& window) override;
  void activate_window(Window& window) override;
  void destroy_window(Window& window) override;
  void text_changed(Object& object) override;
  std::uint64_t native_handle(const Window& window) override;
  bool message_box(std::string_view title, std::string_view text) override;
  void outside_call(bool running) override;
  void quit() override;

  // Runs the event loop until the application ends; at once when it has.
  int exec();

  // The widget that shows an object (a window, a control), or null.
  QWidget* widget_of(const Object& object) const;
  // The menu bar action of a menu item, or null.
  QAction* action_of(const Object& item) const;

 private:
  struct Native;
  UiSink* sink_ = nullptr;
  bool quit_ = false;
  std::map<const Window*, std::unique_ptr<Native>> windows_;
};

}  // namespace rt
