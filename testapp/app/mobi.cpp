// The application object `mobi`, the frame window `w` and the menu `m`.
#include "app/mobiapp.h"
#include "rt/app_library.h"

namespace mobiapp {

namespace {
// The running object as a reference, for the reference checks.
template <class T>
Ref<T> self(T& o) {
  return Ref<T>(std::static_pointer_cast<T>(o.shared_from_this()));
}
}  // namespace

mobi& app_of(const rt::Object& o) {
  auto app = o.runtime().application().lock();
  return static_cast<mobi&>(*app);
}

// ---- mobi --------------------------------------------------------------------

Outcome mobi::on_create() {
  auto& rt = runtime();
  if (rt.require(self(*this), "mobi")) appname = "mobi";
  message = rt.create<rt::Message>("message");
  if (!message) return Outcome::Failed;
  sqlca = rt.create<rt::Transaction>("transaction");
  if (!sqlca) return Outcome::Failed;
  sqlda = rt.create<rt::DynamicDescriptionArea>("dynamicdescriptionarea");
  if (!sqlda) return Outcome::Failed;
  sqlsa = rt.create<rt::DynamicStagingArea>("dynamicstagingarea");
  if (!sqlsa) return Outcome::Failed;
  error = rt.create<rt::ErrorObject>("error");
  if (!error) return Outcome::Failed;
  return Outcome::Completed;
}

Outcome mobi::on_open(const Text& commandline) {
  (void)commandline;  // not looked at
  return runtime().open(w_ref, "w");
}

Outcome mobi::on_destroy() {
  auto& rt = runtime();
  auto gone = [&](auto& ref) { return !ref.valid() || rt.destroy(ref) == Outcome::Completed; };
  if (!gone(sqlca) || !gone(sqlda) || !gone(sqlsa) || !gone(error) || !gone(message)) {
    return Outcome::Failed;
  }
  return Outcome::Completed;
}

// ---- w -------------------------------------------------------------------------

namespace {
class mdi_1_class final : public rt::MdiClient {
 public:
  mdi_1_class() { backcolor = 268435456; }
};
}  // namespace

w::w() {
  windowtype = rt::window_type::mdi_frame_help;
  set_title("Untitled");
  titlebar = true;
  controlmenu = true;
  minbox = true;
  maxbox = true;
  resizable = true;
  center = true;
  width = 2533;
  height = 1408;
  backcolor = 67108864;
  icon = "AppIcon!";
  menuname = "m";
  define_nested<mdi_1_class>("mdi_1");
}

Outcome w::on_create() {
  auto& rt = runtime();
  if (!rt.require(self(*this), "w")) return Outcome::Completed;
  if (menuname == "m") {
    menuid = rt.create<rt::Menu>("m");
    if (!menuid) return Outcome::Failed;
  }
  mdi_1 = rt.create_nested<rt::MdiClient>(*this, "mdi_1");
  if (!mdi_1) return Outcome::Failed;
  control.assign({mdi_1});
  return Outcome::Completed;
}

Outcome w::on_destroy() {
  auto& rt = runtime();
  if (menuid.valid() && rt.destroy(menuid) == Outcome::Failed) return Outcome::Failed;
  if (mdi_1.valid() && rt.destroy(mdi_1) == Outcome::Failed) return Outcome::Failed;
  return Outcome::Completed;
}

// ---- m -------------------------------------------------------------------------

m::m() {
  define_nested<class m_tset>("m_tset");
}

Outcome m::on_create() {
  auto& rt = runtime();
  if (rt.require(self(*this), "m")) app_of(*this).m_ref = self(*this);
  // The ancestor (the system class menu) has no create of its own.
  m_tset = rt.create_nested<class m_tset>(*this, "m_tset");
  if (!m_tset) return Outcome::Failed;
  rt.list_append(item, Ref<rt::Menu>(m_tset));
  return Outcome::Completed;
}

Outcome m::on_destroy() {
  if (m_tset.valid() && runtime().destroy(m_tset) == Outcome::Failed) return Outcome::Failed;
  return Outcome::Completed;
}

Outcome m::m_tset::on_create() {
  // The ancestor (the system class menu) has no create of its own.
  if (runtime().require(self(*this), "m_tset")) set_text("tset");
  return Outcome::Completed;
}

Outcome m::m_tset::on_destroy() {
  return Outcome::Completed;
}

Outcome m::m_tset::on_clicked() {
  return runtime().open(app_of(*this).w_message_test_ref, "w_message_test");
}

// ---- the classes by name -------------------------------------------------------

void define_classes(rt::Runtime& rt) {
  rt.define_class<mobi>("mobi");
  rt.define_class<w>("w");
  rt.define_class<m>("m");
  rt.define_class<w_message_test>("w_message_test");
}

}  // namespace mobiapp

extern "C" const rt::AppLibrary* mobirt_application() {
  static constexpr rt::AppLibrary library{rt::app_library_abi, "mobi", &mobiapp::define_classes};
  return &library;
}
