// The runtime: creates and destroys objects, runs their events one at a time,
// opens and closes windows, raises runtime errors, shows message boxes and
// binds outside functions.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "rt/backend.h"
#include "rt/binder.h"
#include "rt/errors.h"
#include "rt/object.h"

namespace rt {

// What the lifecycle observer hears: an object was created or destroyed.
enum class Lifecycle { Created, Destroyed };

// One raised runtime error, as the runtime recorded it.
struct ErrorRecord {
  ErrorCode code;
  std::string detail;
  std::string object;  // path of the object whose event was running
  std::string event;   // name of that event
  ErrorAnswer answer;
};

class Runtime final : public UiSink {
 public:
  Runtime(Backend& backend, LibraryBinder& binder);
  ~Runtime();
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  // ---- classes and objects --------------------------------------------
  // Defines an application class by name (a window, a menu, the application).
  template <class T>
  void define_class(std::string name) {
    classes_.insert_or_assign(std::move(name), [] { return std::make_shared<T>(); });
  }

  void define_class(std::string name, Object::Factory factory) {
    classes_.insert_or_assign(std::move(name), std::move(factory));
  }

  // Creates an object of an application class or of a system class
  // ("message", "transaction", ...) by name and runs its `create`. Null when
  // the creation fails: unknown class, a class of another kind than T, or a
  // `create` that failed (the object is then discarded).
  template <class T>
  Ref<T> create(std::string_view class_name) {
    return Ref<T>(std::dynamic_pointer_cast<T>(create_object(class_name, nullptr)));
  }

  // Creates a class nested in `owner`'s class by name, runs its `create`.
  template <class T>
  Ref<T> create_nested(Object& owner, std::string_view name) {
    return Ref<T>(std::dynamic_pointer_cast<T>(create_object(name, &owner)));
  }

  // Destroys a valid object: runs its `destroy`, then destroys the objects it
  // still owns (they cannot outlive it), closes it if it is an open window,
  // and frees it. An invalid reference destroys nothing. Failed when its
  // `destroy` failed (it is freed all the same).
  template <class T>
  Outcome destroy(Ref<T>& ref) {
    auto p = ref.lock();
    ref.reset();
    return p ? destroy_object(std::static_pointer_cast<Object>(p)) : Outcome::Completed;
  }

  // Refuses every creation for which `refuse` answers true (given the new
  // object's path), as if memory had run out: for failure drills.
  void set_creation_filter(std::function<bool(std::string_view path)> refuse) {
    creation_filter_ = std::move(refuse);
  }

  // Told of every object as it is created (before its `create` runs) and as
  // it is freed (after its `destroy`).
  void set_lifecycle_observer(std::function<void(const Object&, Lifecycle)> observer) {
    lifecycle_observer_ = std::move(observer);
  }

  // ---- application ----------------------------------------------------
  // Creates the application object of class `app_class`, runs its `create`
  // and its `open` with `commandline`. When no window is open afterwards the
  // application ends at once.
  Outcome start(std::string_view app_class, const Text& commandline);
  bool running() const { return running_; }
  // Ends the application: closes the open windows (newest first), destroys
  // the application object (its `destroy`) and tells the backend to quit.
  // Ending happens by itself when the last open window closes.
  void finish();
  Ref<Application> application() const { return app_; }

  // ---- windows --------------------------------------------------------
  // Opens a window of class `class_name` through `ref`. If `ref` already
  // holds an open window, that window is brought to the front instead and no
  // second one is opened. Otherwise the window is created (its `create`),
  // built on the screen, stored in `ref`, its `open` runs, and it is shown.
  // Failed when the window cannot be created or built.
  template <class T>
  Outcome open(Ref<T>& ref, std::string_view class_name) {
    Ref<Window> w = ref;
    Outcome o = open_window(w, class_name);
    ref = ref_cast<T>(w);
    return o;
  }
  // Closes an open window: its `close`, then its destroy processing.
  Outcome close(Window& window);
  std::vector<Ref<Window>> open_windows() const;
  // The window's native handle as a long. A handle of the window system that
  // does not fit 32 bits is replaced by a number of the runtime's own,
  // unique among the windows of this run.
  Long handle(const Window& window);

  // ---- events ---------------------------------------------------------
  // Runs one event body of `object`. A runtime error ends the body where it
  // happened; the runtime then shows it in a message box naming the error,
  // the object and the event, and reports the body as failed.
  Outcome run_event(Object& object, std::string_view event, const std::function<Outcome()>& body);
  // Runs `job` now, or, while an event body is running, after that body and
  // those queued before it: events reach the application one at a time.
  void dispatch(std::function<void()> job);
  bool busy() const { return busy_; }

  // ---- errors ---------------------------------------------------------
  // Raises a runtime error in the running body and asks whether execution may
  // continue. Returns when it may; otherwise ends the body (throws).
  void raise(ErrorCode code, std::string detail = {});
  // True for a valid reference; otherwise raises 20502 and, when execution
  // may continue, returns false so that the caller skips the statement.
  template <class T>
  bool require(const Ref<T>& ref, std::string_view what) {
    if (ref.valid()) return true;
    raise(ErrorCode::NullObjectReference, std::string(what));
    return false;
  }
  // Who answers whether execution may continue (default: never).
  void set_error_answer(std::function<ErrorAnswer(ErrorCode)> answer) {
    error_answer_ = std::move(answer);
  }
  const std::vector<ErrorRecord>& error_log() const { return errors_; }

  // ---- lists ----------------------------------------------------------
  // The highest position in use, 0 for an empty list; 20508 for a null list
  // (-1 when execution continues).
  template <class T>
  Long list_upper_bound(const ObjectList<T>& list) {
    if (list.is_null()) {
      raise(ErrorCode::NullList);
      return -1;
    }
    return static_cast<Long>(list.size());
  }
  // Writes position `pos` (from 1), growing the list with null references
  // as needed. 20508 for a null list, 20503 for a position below 1; when
  // execution continues, nothing is written.
  template <class T>
  void list_set(ObjectList<T>& list, Long pos, Ref<T> value) {
    if (list.is_null()) return raise(ErrorCode::NullList);
    if (pos < 1) return raise(ErrorCode::ListPositionBelowOne, "position " + std::to_string(pos));
    auto& v = *list.items_;
    if (static_cast<std::size_t>(pos) > v.size()) v.resize(static_cast<std::size_t>(pos));
    v[static_cast<std::size_t>(pos) - 1] = std::move(value);
  }
  // Appends at upper bound plus one; the errors of list_upper_bound and
  // list_set apply.
  template <class T>
  void list_append(ObjectList<T>& list, Ref<T> value) {
    if (list.is_null()) return raise(ErrorCode::NullList);
    list_set(list, list_upper_bound(list) + 1, std::move(value));
  }

  // ---- services -------------------------------------------------------
  // A modal message box (GBK texts); returns when the operator dismisses it.
  void message_box(const Text& title, const Text& text);
  // The entry of an outside function, bound at this moment. Raises 20520 or
  // 20521 when it cannot be bound (null when execution continues).
  void* bind(std::string_view file, std::string_view entry);

  // An outside function starts or has returned (see Backend::outside_call).
  void outside_call(bool running) { backend_.outside_call(running); }

  // Called by objects whose shown text changed.
  void text_changed(Object& object);

  Backend& backend() { return backend_; }

  // ---- UiSink ---------------------------------------------------------
  void clicked(CommandButton& button) override;
  void menu_chosen(Menu& item) override;
  void close_requested(Window& window) override;
  void text_edited(TextControl& control, std::string_view utf8) override;

 private:
  struct Frame {
    std::string object;
    std::string event;
  };

  std::shared_ptr<Object> create_object(std::string_view name, Object* owner);
  Outcome destroy_object(const std::shared_ptr<Object>& object);
  Outcome open_window(Ref<Window>& ref, std::string_view class_name);
  void report(const RuntimeError& error, const Frame& frame);
  void finish_if_no_window();

  Backend& backend_;
  LibraryBinder& binder_;
  std::map<std::string, Object::Factory, std::less<>> classes_;
  std::vector<std::shared_ptr<Object>> live_;  // in creation order
  std::vector<Ref<Window>> open_;              // in opening order
  std::map<std::uint64_t, Long> surrogate_handles_;
  Ref<Application> app_;
  bool running_ = false;
  bool finishing_ = false;
  bool busy_ = false;
  std::deque<std::function<void()>> queue_;
  std::vector<Frame> frames_;
  std::vector<ErrorRecord> errors_;
  std::function<ErrorAnswer(ErrorCode)> error_answer_;
  std::function<bool(std::string_view)> creation_filter_;
  std::function<void(const Object&, Lifecycle)> lifecycle_observer_;
};

}  // namespace rt
