#include "rt/runtime.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <new>

namespace rt {

namespace {

std::shared_ptr<Object> make_system_object(std::string_view name) {
  if (name == "message") return std::make_shared<Message>();
  if (name == "transaction") return std::make_shared<Transaction>();
  if (name == "dynamicdescriptionarea") return std::make_shared<DynamicDescriptionArea>();
  if (name == "dynamicstagingarea") return std::make_shared<DynamicStagingArea>();
  if (name == "error") return std::make_shared<ErrorObject>();
  if (name == "window") return std::make_shared<Window>();
  if (name == "menu") return std::make_shared<Menu>();
  if (name == "mdiclient") return std::make_shared<MdiClient>();
  if (name == "commandbutton") return std::make_shared<CommandButton>();
  if (name == "singlelineedit") return std::make_shared<SingleLineEdit>();
  if (name == "statictext") return std::make_shared<StaticText>();
  return nullptr;
}

}  // namespace

Runtime::Runtime(Backend& backend, LibraryBinder& binder) : backend_(backend), binder_(binder) {
  backend_.set_sink(this);
}

Runtime::~Runtime() {
  backend_.set_sink(nullptr);
  for (auto& r : open_) {
    if (auto w = r.lock()) backend_.destroy_window(*w);
  }
  // Objects still alive when the runtime goes are freed without events.
  for (auto& o : live_) o->destroyed_ = true;
}

// ---- objects ------------------------------------------------------------

std::shared_ptr<Object> Runtime::create_object(std::string_view name, Object* owner) {
  std::shared_ptr<Object> obj;
  if (owner) {
    if (const auto* f = owner->nested_factory(name)) obj = (*f)();
  } else if (auto it = classes_.find(name); it != classes_.end()) {
    obj = it->second();
  } else {
    obj = make_system_object(name);
  }
  if (!obj) return nullptr;
  obj->rt_ = this;
  obj->class_name_ = std::string(name);
  if (owner) obj->owner_ = owner->weak_from_this();
  if (creation_filter_ && creation_filter_(obj->path())) return nullptr;
  live_.push_back(obj);
  if (lifecycle_observer_) lifecycle_observer_(*obj, Lifecycle::Created);
  if (run_event(*obj, "create", [&] { return obj->on_create(); }) == Outcome::Failed) {
    destroy_object(obj);
    return nullptr;
  }
  return obj;
}

Outcome Runtime::destroy_object(const std::shared_ptr<Object>& obj) {
  if (!obj || obj->destroyed_) return Outcome::Completed;
  if (auto* w = dynamic_cast<Window*>(obj.get()); w && w->open_) {
    backend_.destroy_window(*w);
    w->open_ = false;
    std::erase_if(open_, [&](const Ref<Window>& r) { return r.lock().get() == w; });
  }
  Outcome o = run_event(*obj, "destroy", [&] { return obj->on_destroy(); });
  // What it still owns goes with it, newest first.
  for (auto it = live_.rbegin(); it != live_.rend();) {
    auto child = *it;
    if (child->owner().get() == obj.get() && !child->destroyed_) {
      destroy_object(child);
      it = live_.rbegin();  // the list changed
    } else {
      ++it;
    }
  }
  obj->destroyed_ = true;
  std::erase(live_, obj);
  if (lifecycle_observer_) lifecycle_observer_(*obj, Lifecycle::Destroyed);
  return o;
}

// ---- application --------------------------------------------------------

Outcome Runtime::start(std::string_view app_class, const Text& commandline) {
  Outcome result = Outcome::Failed;
  dispatch([&] {
    app_ = create<Application>(app_class);
    auto app = app_.lock();
    if (!app) return;
    running_ = true;
    result = run_event(*app, "open", [&] { return app->on_open(commandline); });
    finish_if_no_window();
  });
  return result;
}

void Runtime::finish_if_no_window() {
  if (running_ && !finishing_ && open_.empty()) finish();
}

void Runtime::finish() {
  if (!running_ || finishing_) return;
  finishing_ = true;
  while (!open_.empty()) {
    auto w = open_.back().lock();
    if (w) {
      close(*w);
    } else {
      open_.pop_back();
    }
  }
  Ref<Application> app = app_;
  destroy(app);
  running_ = false;
  finishing_ = false;
  backend_.quit();
}

// ---- windows ------------------------------------------------------------

Outcome Runtime::open_window(Ref<Window>& ref, std::string_view class_name) {
  if (auto w = ref.lock(); w && w->open_) {
    backend_.activate_window(*w);
    return Outcome::Completed;
  }
  Ref<Window> created = create<Window>(class_name);
  auto w = created.lock();
  if (!w) return Outcome::Failed;
  if (!backend_.realize_window(*w)) {
    destroy(created);
    return Outcome::Failed;
  }
  w->open_ = true;
  open_.push_back(created);
  ref = created;
  run_event(*w, "open", [&] { return w->on_open(); });
  if (w->open_) backend_.show_window(*w);  // unless its open closed it
  return Outcome::Completed;
}

Outcome Runtime::close(Window& window) {
  if (!window.open_ || window.destroyed_) return Outcome::Failed;
  auto w = std::static_pointer_cast<Window>(window.shared_from_this());
  run_event(*w, "close", [&] { return w->on_close(); });
  Outcome o = destroy_object(w);
  finish_if_no_window();
  return o;
}

std::vector<Ref<Window>> Runtime::open_windows() const {
  return open_;
}

Long Runtime::handle(const Window& window) {
  std::uint64_t native = backend_.native_handle(window);
  if (native <= std::numeric_limits<std::uint32_t>::max()) {
    return static_cast<Long>(static_cast<std::uint32_t>(native));
  }
  auto [it, added] = surrogate_handles_.try_emplace(native, 0);
  if (added) it->second = static_cast<Long>(0x40000000 + surrogate_handles_.size());
  return it->second;
}

// ---- events -------------------------------------------------------------

Outcome Runtime::run_event(Object& object, std::string_view event,
                           const std::function<Outcome()>& body) {
  auto pin = object.shared_from_this();  // the body may destroy its own object
  frames_.push_back({object.path(), std::string(event)});
  Outcome o = Outcome::Failed;
  try {
    o = body();
  } catch (const RuntimeError& e) {
    report(e, frames_.back());
  } catch (const std::bad_alloc&) {
    report(RuntimeError(ErrorCode::InternalFailure, "out of memory"), frames_.back());
  } catch (const std::exception& e) {
    report(RuntimeError(ErrorCode::InternalFailure, e.what()), frames_.back());
  }
  frames_.pop_back();
  return o;
}

void Runtime::dispatch(std::function<void()> job) {
  if (busy_) {
    queue_.push_back(std::move(job));
    return;
  }
  busy_ = true;
  struct Idle {
    bool& busy;
    ~Idle() { busy = false; }
  } idle{busy_};
  job();
  while (!queue_.empty()) {
    auto next = std::move(queue_.front());
    queue_.pop_front();
    next();
  }
}

// ---- errors -------------------------------------------------------------

void Runtime::raise(ErrorCode code, std::string detail) {
  ErrorAnswer answer = error_answer_ ? error_answer_(code) : ErrorAnswer::Stop;
  Frame f = frames_.empty() ? Frame{"(none)", "(none)"} : frames_.back();
  errors_.push_back({code, detail, f.object, f.event, answer});
  if (answer == ErrorAnswer::Stop) {
    RuntimeError e(code, std::move(detail));
    e.recorded_ = true;
    throw e;
  }
}

void Runtime::report(const RuntimeError& error, const Frame& frame) {
  // Errors thrown past raise() (a null reference used) are logged here.
  if (!error.recorded_) {
    errors_.push_back({error.code(), error.detail(), frame.object, frame.event, ErrorAnswer::Stop});
  }
  std::string text = "Error " + std::to_string(static_cast<int>(error.code())) + ": " +
                     std::string(describe(error.code()));
  if (!error.detail().empty()) text += "\n" + gbk_to_utf8(error.detail());
  text += "\nObject: " + gbk_to_utf8(frame.object) + "\nEvent: " + frame.event;
  if (!backend_.message_box("Runtime error", text)) {
    std::fprintf(stderr, "runtime error (no message box could be shown): %s\n", text.c_str());
  }
}

// ---- services -----------------------------------------------------------

void Runtime::message_box(const Text& title, const Text& text) {
  if (!backend_.message_box(gbk_to_utf8(title), gbk_to_utf8(text))) {
    raise(ErrorCode::MessageBoxFailed);
  }
}

void* Runtime::bind(std::string_view file, std::string_view entry) {
  Binding b = binder_.bind(file, entry);
  if (b.entry) return b.entry;
  raise(b.error, std::move(b.detail));
  return nullptr;
}

void Runtime::text_changed(Object& object) {
  backend_.text_changed(object);
}

// ---- what the operator does ---------------------------------------------

void Runtime::clicked(CommandButton& button) {
  Ref<CommandButton> b(std::static_pointer_cast<CommandButton>(button.shared_from_this()));
  dispatch([this, b] {
    if (auto p = b.lock()) run_event(*p, "clicked", [&] { return p->on_clicked(); });
  });
}

void Runtime::menu_chosen(Menu& item) {
  Ref<Menu> m(std::static_pointer_cast<Menu>(item.shared_from_this()));
  dispatch([this, m] {
    if (auto p = m.lock()) run_event(*p, "clicked", [&] { return p->on_clicked(); });
  });
}

void Runtime::close_requested(Window& window) {
  Ref<Window> w(std::static_pointer_cast<Window>(window.shared_from_this()));
  dispatch([this, w] {
    if (auto p = w.lock()) close(*p);
  });
}

void Runtime::text_edited(TextControl& control, std::string_view utf8) {
  control.text_ = utf8_to_gbk(utf8);
}

}  // namespace rt
