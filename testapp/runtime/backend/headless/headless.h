// The headless backend: keeps a record of the windows, controls, texts and
// message boxes the runtime shows, and lets a test act as the operator.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "rt/backend.h"
#include "rt/layout.h"
#include "rt/object.h"

namespace rt {

class HeadlessBackend final : public Backend {
 public:
  // One control as built: texts are UTF-8, places in pixels.
  struct ControlRecord {
    std::string name;  // class name of the control ("cb_1")
    SystemClass kind;
    std::string text;
    layout::Rect rect;
    Object* object;
  };
  struct WindowRecord {
    std::string name;  // class name of the window
    std::string title;
    Long windowtype;
    int width, height;  // client area in pixels
    bool shown = false;
    std::uint64_t handle;
    std::vector<ControlRecord> controls;  // in the order of the `control` list
    std::vector<std::string> menu;        // the menu bar's item texts
    Window* object;
  };
  struct BoxRecord {
    std::string title;
    std::string text;
  };
  struct TextWrite {
    std::string control;  // path of the control, menu item or window
    std::string text;
  };

  void set_sink(UiSink* sink) override { sink_ = sink; }
  bool realize_window(Window& window) override;
  void show_window(Window& window) override;
  void activate_window(Window& window) override;
  void destroy_window(Window& window) override;
  void text_changed(Object& object) override;
  std::uint64_t native_handle(const Window& window) override;
  bool message_box(std::string_view title, std::string_view text) override;
  void quit() override { quit_ = true; }

  // ---- what the test sees ----
  const std::vector<WindowRecord>& windows() const { return windows_; }  // open ones, oldest first
  const WindowRecord* find_window(std::string_view name) const;
  const ControlRecord* find_control(std::string_view window, std::string_view control) const;
  const std::vector<BoxRecord>& boxes() const { return boxes_; }
  const std::vector<TextWrite>& text_writes() const { return writes_; }
  std::vector<std::string> activations() const { return activations_; }
  bool quit_requested() const { return quit_; }
  void clear_log() {
    boxes_.clear();
    writes_.clear();
  }

  // ---- the test as the operator ----
  // Answers each message box as it is shown (the default just dismisses
  // it); returning false makes the box fail to show.
  void answer_boxes(std::function<bool(const BoxRecord&)> answer) { answer_ = std::move(answer); }
  // False when there is no such open window, control or item.
  bool click(std::string_view window, std::string_view control);
  bool type(std::string_view window, std::string_view control, std::string_view utf8);
  bool choose_menu(std::string_view window, std::string_view item_text);
  bool request_close(std::string_view window);

  // Native handles start here and go up by 4 (like the window system's).
  static constexpr std::uint64_t first_handle = 0x10010;

 private:
  WindowRecord* record_of(const Object& window);
  UiSink* sink_ = nullptr;
  std::vector<WindowRecord> windows_;
  std::vector<BoxRecord> boxes_;
  std::vector<TextWrite> writes_;
  std::vector<std::string> activations_;
  std::function<bool(const BoxRecord&)> answer_;
  std::uint64_t next_handle_ = first_handle;
  bool quit_ = false;
};

}  // namespace rt
