#include "rt/object.h"

#include <stdexcept>

#include "rt/runtime.h"

namespace rt {

std::string_view system_class_name(SystemClass sc) {
  switch (sc) {
    case SystemClass::Application:
      return "application";
    case SystemClass::Window:
      return "window";
    case SystemClass::Menu:
      return "menu";
    case SystemClass::MdiClient:
      return "mdiclient";
    case SystemClass::CommandButton:
      return "commandbutton";
    case SystemClass::SingleLineEdit:
      return "singlelineedit";
    case SystemClass::StaticText:
      return "statictext";
    case SystemClass::Message:
      return "message";
    case SystemClass::Transaction:
      return "transaction";
    case SystemClass::DynamicDescriptionArea:
      return "dynamicdescriptionarea";
    case SystemClass::DynamicStagingArea:
      return "dynamicstagingarea";
    case SystemClass::Error:
      return "error";
  }
  return "object";
}

std::string Object::path() const {
  std::string p = class_name_.empty() ? std::string(system_class_name(system_class_)) : class_name_;
  for (auto o = owner(); o; o = o->owner()) p = o->class_name_ + "." + p;
  return p;
}

Runtime& Object::runtime() const {
  if (!rt_) throw std::logic_error("object " + path() + " was not created by a runtime");
  return *rt_;
}

const Object::Factory* Object::nested_factory(std::string_view name) const {
  auto it = nested_.find(name);
  return it == nested_.end() ? nullptr : &it->second;
}

void throw_null_reference() {
  throw RuntimeError(ErrorCode::NullObjectReference, "member access through a null reference");
}

void TextControl::set_text(Text text) {
  text_ = std::move(text);
  if (auto* rt = attached_runtime()) rt->text_changed(*this);
}

void Menu::set_text(Text text) {
  text_ = std::move(text);
  if (auto* rt = attached_runtime()) rt->text_changed(*this);
}

void Window::set_title(Text title) {
  title_ = std::move(title);
  if (auto* rt = attached_runtime()) rt->text_changed(*this);
}

}  // namespace rt
