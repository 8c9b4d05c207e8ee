// The object model: system classes, application classes derived from them,
// nested classes created by name inside their owner, references and lists.
//
// Properties that the operator sees change live (a control's or menu item's
// `text`, a window's `title`) have setters; the runtime shows every change.
// The other visual properties (geometry, fonts, colours, tab order, window
// flags) are definition values: the runtime reads them when it builds the
// window on the screen.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "rt/errors.h"
#include "rt/text.h"

namespace rt {

class Runtime;

// What an event body reports to the runtime.
enum class Outcome { Completed, Failed };

enum class SystemClass {
  Application,
  Window,
  Menu,
  MdiClient,
  CommandButton,
  SingleLineEdit,
  StaticText,
  Message,
  Transaction,
  DynamicDescriptionArea,
  DynamicStagingArea,
  Error,
};

// The runtime's name of a system class, e.g. "singlelineedit".
std::string_view system_class_name(SystemClass sc);

class Object : public std::enable_shared_from_this<Object> {
 public:
  using Factory = std::function<std::shared_ptr<Object>()>;

  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;

  SystemClass system_class() const { return system_class_; }
  // The class this object is an instance of ("w_message_test", "cb_1", "message").
  const std::string& class_name() const { return class_name_; }
  // The owner chain joined by dots, e.g. "w_message_test.cb_1".
  std::string path() const;
  std::shared_ptr<Object> owner() const { return owner_.lock(); }
  bool destroyed() const { return destroyed_; }

  // The runtime that created this object (a logic error before creation).
  Runtime& runtime() const;

  // Event bodies; the system classes' own bodies do nothing and complete.
  virtual Outcome on_create() { return Outcome::Completed; }
  virtual Outcome on_destroy() { return Outcome::Completed; }

  // The factory of a nested class defined in this object's class, or null.
  const Factory* nested_factory(std::string_view name) const;

 protected:
  explicit Object(SystemClass sc) : system_class_(sc) {}

  // Defines a class nested in this one, created later by name.
  template <class T>
  void define_nested(std::string name) {
    nested_.insert_or_assign(std::move(name), [] { return std::make_shared<T>(); });
  }

  // Null before the runtime has created the object (while its definition
  // values are being set).
  Runtime* attached_runtime() const { return rt_; }

 private:
  friend class Runtime;
  SystemClass system_class_;
  std::string class_name_;
  std::weak_ptr<Object> owner_;
  Runtime* rt_ = nullptr;
  bool destroyed_ = false;
  std::map<std::string, Factory, std::less<>> nested_;
};

// Thrown when a reference without a valid object is used; the running body
// ends with error 20502.
[[noreturn]] void throw_null_reference();

// A reference to an object. It does not keep the object alive: after the
// object is destroyed, the reference is no longer valid.
template <class T>
class Ref {
 public:
  // Keeps the object alive for the length of one member access.
  struct Pin {
    std::shared_ptr<T> p;
    T* operator->() const { return p.get(); }
  };

  Ref() = default;
  Ref(std::nullptr_t) {}
  explicit Ref(const std::shared_ptr<T>& p) : p_(p) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& other) : p_(other.lock()) {}

  // The runtime's IsValid: holds an object that has not been destroyed.
  bool valid() const {
    auto p = p_.lock();
    return p && !p->destroyed();
  }
  explicit operator bool() const { return valid(); }

  std::shared_ptr<T> lock() const {
    auto p = p_.lock();
    return p && !p->destroyed() ? p : nullptr;
  }

  // Member access; a reference without a valid object raises 20502.
  Pin operator->() const {
    auto p = lock();
    if (!p) throw_null_reference();
    return Pin{std::move(p)};
  }

  void reset() { p_.reset(); }
  friend bool operator==(const Ref& a, const Ref& b) { return a.lock() == b.lock(); }

 private:
  std::weak_ptr<T> p_;
};

// A reference to the same object seen as a derived class; null when the
// object is not of that class.
template <class T, class U>
Ref<T> ref_cast(const Ref<U>& r) {
  return Ref<T>(std::dynamic_pointer_cast<T>(r.lock()));
}

// A list of object references whose positions count from 1, as the runtime's
// `control` and `item` lists. A list may be null (no list at all), which is
// different from an empty one. Reading and writing through the runtime raises
// the list errors (see Runtime::list_*).
template <class T>
class ObjectList {
 public:
  bool is_null() const { return !items_.has_value(); }
  void set_null() { items_.reset(); }
  void assign(std::vector<Ref<T>> items) { items_ = std::move(items); }
  // The elements, empty for a null list.
  const std::vector<Ref<T>>& items() const {
    static const std::vector<Ref<T>> none;
    return items_ ? *items_ : none;
  }
  std::size_t size() const { return items_ ? items_->size() : 0; }

 private:
  friend class Runtime;
  std::optional<std::vector<Ref<T>>> items_{std::in_place};
};

// The font of a control.
struct Font {
  Text facename = "Arial";
  Long textsize = -10;  // negative: points; positive: pixels
  Long weight = 400;
  Long charset = 0;  // 0 ANSI
  Long pitch = 2;    // 2 variable
  Long family = 2;   // 2 Swiss
  bool italic = false;
  bool underline = false;
};

// Colour codes: the runtime's codes for system colours, otherwise
// red + 256 * green + 65536 * blue.
namespace colour {
inline constexpr Long window_text = 33554432;
inline constexpr Long button_face = 67108864;
inline constexpr Long app_workspace = 268435456;
inline constexpr Long window_background = 1073741824;
}  // namespace colour

// The ancestor of everything placed on a window.
class WindowObject : public Object {
 public:
  Long x = 0;
  Long y = 0;
  Long width = 0;
  Long height = 0;
  Long taborder = 0;  // 0: not in the tab order
  bool visible = true;

 protected:
  using Object::Object;
};

// A control that shows a text in a font.
class TextControl : public WindowObject {
 public:
  const Text& text() const { return text_; }
  void set_text(Text text);

  Font font;
  Long textcolor = colour::window_text;
  Long backcolor = colour::button_face;

 protected:
  using WindowObject::WindowObject;

 private:
  friend class Runtime;
  Text text_;
};

class CommandButton : public TextControl {
 public:
  CommandButton() : TextControl(SystemClass::CommandButton) {}
  virtual Outcome on_clicked() { return Outcome::Completed; }
};

// Border styles of edits and labels.
namespace border {
inline constexpr Long none = 0;
inline constexpr Long box = 2;
inline constexpr Long sunken = 5;
}  // namespace border

class SingleLineEdit : public TextControl {
 public:
  SingleLineEdit() : TextControl(SystemClass::SingleLineEdit) {
    backcolor = colour::window_background;
  }
  Long borderstyle = border::sunken;
};

class StaticText : public TextControl {
 public:
  StaticText() : TextControl(SystemClass::StaticText) {}
  Long borderstyle = border::none;
  bool focusrectangle = true;
};

// The client area of an MDI frame.
class MdiClient : public WindowObject {
 public:
  MdiClient() : WindowObject(SystemClass::MdiClient) {}
  Long backcolor = colour::app_workspace;
};

// A menu, or an item of one (items are menus nested in their menu).
class Menu : public Object {
 public:
  Menu() : Object(SystemClass::Menu) {}
  const Text& text() const { return text_; }
  void set_text(Text text);
  ObjectList<Menu> item;
  virtual Outcome on_clicked() { return Outcome::Completed; }

 private:
  friend class Runtime;
  Text text_;
};

// Window types.
namespace window_type {
inline constexpr Long main = 0;            // a window of its own
inline constexpr Long mdi_frame = 4;       // frame with an MDI client area
inline constexpr Long mdi_frame_help = 5;  // frame with an MDI client area and a status line
}  // namespace window_type

class Window : public Object {
 public:
  Window() : Object(SystemClass::Window) {}

  const Text& title() const { return title_; }
  void set_title(Text title);

  Long windowtype = window_type::main;
  bool titlebar = true;
  bool controlmenu = true;
  bool minbox = true;
  bool maxbox = true;
  bool resizable = true;
  bool center = false;
  Long x = 0;
  Long y = 0;
  Long width = 1000;
  Long height = 800;
  Long backcolor = colour::button_face;
  Text icon;  // a stock name such as "AppIcon!", or empty
  Text menuname;
  Ref<Menu> menuid;
  ObjectList<WindowObject> control;

  bool is_open() const { return open_; }

  // Runs after the window is built, before it is shown.
  virtual Outcome on_open() { return Outcome::Completed; }
  // Runs when the window is being closed, before its destroy processing.
  virtual Outcome on_close() { return Outcome::Completed; }

 private:
  friend class Runtime;
  Text title_;
  bool open_ = false;
};

class Application : public Object {
 public:
  Application() : Object(SystemClass::Application) {}
  Text appname;
  Text displayname;
  Text icon;
  virtual Outcome on_open(const Text& commandline) {
    (void)commandline;
    return Outcome::Completed;
  }
};

// The default objects of an application.
class Message : public Object {
 public:
  Message() : Object(SystemClass::Message) {}
};
class Transaction : public Object {
 public:
  Transaction() : Object(SystemClass::Transaction) {}
};
class DynamicDescriptionArea : public Object {
 public:
  DynamicDescriptionArea() : Object(SystemClass::DynamicDescriptionArea) {}
};
class DynamicStagingArea : public Object {
 public:
  DynamicStagingArea() : Object(SystemClass::DynamicStagingArea) {}
};
class ErrorObject : public Object {
 public:
  ErrorObject() : Object(SystemClass::Error) {}
};

}  // namespace rt
