// The Win32 backend: native windows and controls (an MDI frame with its client
// area, the menu bar, buttons, edits, static texts), fonts, modal message
// boxes, the busy cursor, and the operator's actions back to the runtime.
#pragma once

#include <windows.h>

#include <map>
#include <memory>

#include "rt/backend.h"

namespace rt {

class Win32Backend final : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;
  Win32Backend(const Win32Backend&) = delete;
  Win32Backend& operator=(const Win32Backend&) = delete;

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

  // Runs the message loop until the application ends; at once when it has.
  int exec();

  // The native window of a window or control, or null.
  HWND hwnd_of(const Object& object) const;
  // The menu command of a menu item on a window's menu bar, or 0.
  UINT command_of(const Object& item) const;

  struct Native;

 private:
  static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT handle(Native& n, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT default_proc(Native& n, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  UiSink* sink_ = nullptr;
  bool quit_ = false;
  bool busy_ = false;
  bool setting_text_ = false;  // an edit's text is being set by the runtime
  HCURSOR cursor_before_call_ = nullptr;
  std::map<const Window*, std::unique_ptr<Native>> windows_;
};

}  // namespace rt
