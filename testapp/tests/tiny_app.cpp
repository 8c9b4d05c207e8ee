// A tiny application library for the launcher's tests: its application opens
// no window, so it ends as soon as it has started; built a second time with
// TINY_APP_FAILS, its open fails.
#include "rt/app_library.h"
#include "rt/runtime.h"

namespace {

class tiny final : public rt::Application {
 public:
  rt::Outcome on_open(const rt::Text&) override {
#ifdef TINY_APP_FAILS
    return rt::Outcome::Failed;
#else
    return rt::Outcome::Completed;
#endif
  }
};

void define(rt::Runtime& rt) {
  rt.define_class<tiny>("tiny");
}

}  // namespace

extern "C" const rt::AppLibrary* mobirt_application() {
  static constexpr rt::AppLibrary library{rt::app_library_abi, "tiny", &define};
  return &library;
}
