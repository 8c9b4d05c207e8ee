#include "backend/headless/headless.h"

#include <algorithm>

namespace rt {

namespace {

std::string shown_text(const Object& o) {
  if (auto* t = dynamic_cast<const TextControl*>(&o)) return gbk_to_utf8(t->text());
  if (auto* m = dynamic_cast<const Menu*>(&o)) return gbk_to_utf8(m->text());
  if (auto* w = dynamic_cast<const Window*>(&o)) return gbk_to_utf8(w->title());
  return {};
}

}  // namespace

bool HeadlessBackend::realize_window(Window& window) {
  WindowRecord r;
  r.name = window.class_name();
  r.title = gbk_to_utf8(window.title());
  r.windowtype = window.windowtype;
  r.width = layout::x_px(window.width);
  r.height = layout::y_px(window.height);
  r.handle = next_handle_;
  next_handle_ += 4;
  r.object = &window;
  for (const auto& ref : window.control.items()) {
    auto c = ref.lock();
    if (!c) continue;
    layout::Rect rect = c->system_class() == SystemClass::MdiClient
                            ? layout::Rect{0, 0, r.width, r.height}
                            : layout::to_px(c->x, c->y, c->width, c->height);
    r.controls.push_back({c->class_name(), c->system_class(), shown_text(*c), rect, c.get()});
  }
  if (auto menu = window.menuid.lock()) {
    for (const auto& item : menu->item.items()) {
      if (auto i = item.lock()) r.menu.push_back(gbk_to_utf8(i->text()));
    }
  }
  windows_.push_back(std::move(r));
  return true;
}

HeadlessBackend::WindowRecord* HeadlessBackend::record_of(const Object& window) {
  for (auto& w : windows_) {
    if (w.object == &window) return &w;
  }
  return nullptr;
}

void HeadlessBackend::show_window(Window& window) {
  if (auto* r = record_of(window)) r->shown = true;
}

void HeadlessBackend::activate_window(Window& window) {
  activations_.push_back(window.class_name());
}

void HeadlessBackend::destroy_window(Window& window) {
  std::erase_if(windows_, [&](const WindowRecord& r) { return r.object == &window; });
}

void HeadlessBackend::text_changed(Object& object) {
  std::string text = shown_text(object);
  writes_.push_back({object.path(), text});
  for (auto& w : windows_) {
    if (w.object == &object) w.title = text;
    for (auto& c : w.controls) {
      if (c.object == &object) c.text = text;
    }
  }
}

std::uint64_t HeadlessBackend::native_handle(const Window& window) {
  for (auto& w : windows_) {
    if (w.object == &window) return w.handle;
  }
  return 0;
}

bool HeadlessBackend::message_box(std::string_view title, std::string_view text) {
  BoxRecord box{std::string(title), std::string(text)};
  boxes_.push_back(box);
  return answer_ ? answer_(box) : true;
}

const HeadlessBackend::WindowRecord* HeadlessBackend::find_window(std::string_view name) const {
  for (auto it = windows_.rbegin(); it != windows_.rend(); ++it) {
    if (it->name == name) return &*it;
  }
  return nullptr;
}

const HeadlessBackend::ControlRecord* HeadlessBackend::find_control(
    std::string_view window, std::string_view control) const {
  const WindowRecord* w = find_window(window);
  if (!w) return nullptr;
  for (const auto& c : w->controls) {
    if (c.name == control) return &c;
  }
  return nullptr;
}

bool HeadlessBackend::click(std::string_view window, std::string_view control) {
  const ControlRecord* c = find_control(window, control);
  auto* button = c ? dynamic_cast<CommandButton*>(c->object) : nullptr;
  if (!button || !sink_) return false;
  sink_->clicked(*button);
  return true;
}

bool HeadlessBackend::type(std::string_view window, std::string_view control,
                           std::string_view utf8) {
  const ControlRecord* c = find_control(window, control);
  auto* edit = c ? dynamic_cast<SingleLineEdit*>(c->object) : nullptr;
  if (!edit || !sink_) return false;
  const_cast<ControlRecord*>(c)->text = std::string(utf8);
  sink_->text_edited(*edit, utf8);
  return true;
}

bool HeadlessBackend::choose_menu(std::string_view window, std::string_view item_text) {
  const WindowRecord* w = find_window(window);
  if (!w || !sink_) return false;
  auto menu = w->object->menuid.lock();
  if (!menu) return false;
  for (const auto& ref : menu->item.items()) {
    auto item = ref.lock();
    if (item && gbk_to_utf8(item->text()) == item_text) {
      sink_->menu_chosen(*item);
      return true;
    }
  }
  return false;
}

bool HeadlessBackend::request_close(std::string_view window) {
  const WindowRecord* w = find_window(window);
  if (!w || !sink_) return false;
  sink_->close_requested(*w->object);
  return true;
}

}  // namespace rt
