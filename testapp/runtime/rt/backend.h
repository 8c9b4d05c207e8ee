// The interface between the runtime and what shows its windows: the headless
// backend for tests and the Qt Widgets backend for people.
#pragma once

#include <cstdint>
#include <string_view>

namespace rt {

class CommandButton;
class Menu;
class Object;
class TextControl;
class Window;

// What the operator does, reported by a backend to the runtime.
class UiSink {
 public:
  virtual void clicked(CommandButton& button) = 0;
  virtual void menu_chosen(Menu& item) = 0;
  virtual void close_requested(Window& window) = 0;
  // The operator changed an edit's text (UTF-8 as typed).
  virtual void text_edited(TextControl& control, std::string_view utf8) = 0;

 protected:
  ~UiSink() = default;
};

class Backend {
 public:
  virtual ~Backend() = default;

  virtual void set_sink(UiSink* sink) = 0;

  // Builds the window on the screen from its properties, its `control` list
  // and its menu (`menuid` with its `item` list), without showing it yet.
  // False when it cannot be built.
  virtual bool realize_window(Window& window) = 0;
  virtual void show_window(Window& window) = 0;
  // Brings an open window to the front.
  virtual void activate_window(Window& window) = 0;
  virtual void destroy_window(Window& window) = 0;

  // A control's or menu item's text, or a window's title, changed.
  virtual void text_changed(Object& object) = 0;

  // The window system's handle of a realized window.
  virtual std::uint64_t native_handle(const Window& window) = 0;

  // A modal message box with one OK button; returns when the operator
  // dismisses it. Texts are UTF-8. False when no box could be shown.
  virtual bool message_box(std::string_view title, std::string_view text) = 0;

  // An outside function starts (true) or has returned (false); the call
  // blocks the user-interface thread, so the backend shows that it is busy.
  virtual void outside_call(bool running) { (void)running; }

  // The application has ended: the backend's event loop may return.
  virtual void quit() = 0;
};

}  // namespace rt
