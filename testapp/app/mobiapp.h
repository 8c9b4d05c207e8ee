// The test application `mobiapp`: the application object `mobi`, the frame
// window `w` with its client area `mdi_1`, the menu `m` with its item
// `m_tset`, and the message test window `w_message_test`.
//
// Every text is stored in code page 936 (GBK), as the application keeps it;
// the characters are given beside each literal.
#pragma once

#include "rt/external.h"
#include "rt/runtime.h"

namespace mobiapp {

using rt::Long;
using rt::Outcome;
using rt::Ref;
using rt::Text;

class w;
class m;
class w_message_test;

// Every class of the application, by name, for the runtime.
void define_classes(rt::Runtime& rt);

// ---- application -----------------------------------------------------------

class mobi final : public rt::Application {
 public:
  // The runtime's five default objects.
  Ref<rt::Transaction> sqlca;
  Ref<rt::DynamicDescriptionArea> sqlda;
  Ref<rt::DynamicStagingArea> sqlsa;
  Ref<rt::ErrorObject> error;
  Ref<rt::Message> message;
  // The classes' own application-wide references.
  Ref<w> w_ref;
  Ref<m> m_ref;
  Ref<w_message_test> w_message_test_ref;

  Outcome on_create() override;
  Outcome on_open(const Text& commandline) override;
  Outcome on_destroy() override;
};

// The application object of the runtime running `o`.
mobi& app_of(const rt::Object& o);

// ---- frame window and menu --------------------------------------------------

class w final : public rt::Window {
 public:
  w();
  Ref<rt::MdiClient> mdi_1;
  Outcome on_create() override;
  Outcome on_destroy() override;
};

class m final : public rt::Menu {
 public:
  class m_tset final : public rt::Menu {
   public:
    Outcome on_create() override;
    Outcome on_destroy() override;
    Outcome on_clicked() override;
  };

  m();
  Ref<m_tset> m_tset;
  Outcome on_create() override;
  Outcome on_destroy() override;
};

// ---- message test window ---------------------------------------------------

// The fixed destination number that `sle_dest` starts with.
inline constexpr const char* destination_number = "8613912345678";
// The message service centre number of every open and send.
inline constexpr const char* centre_number = "8613800290500";

class w_message_test final : public rt::Window {
 public:
  w_message_test();

  // Instance variables.
  Long ll_handle = 0;
  Long i_dll_handle = 0;

  // The controls, in declaration order.
  Ref<rt::CommandButton> cb_6, cb_5;
  Ref<rt::SingleLineEdit> sle_dest;
  Ref<rt::CommandButton> cb_4;
  Ref<rt::SingleLineEdit> sle_get;
  Ref<rt::CommandButton> cb_3;
  Ref<rt::StaticText> st_2;
  Ref<rt::SingleLineEdit> sle_return;
  Ref<rt::StaticText> st_1;
  Ref<rt::SingleLineEdit> sle_err, sle_baud, sle_port, sle_send;
  Ref<rt::CommandButton> cb_2, cb_1;

  // The outside functions of the device library, in declaration order.
  static constexpr std::string_view library = "ProjSmsDLL.dll";
  static constexpr rt::External<"BLLLSRLRS", bool(Long, Long, Long, const Text&, Long&, Text&)>
      hs_open_device{library, "hs_open_device"};
  static constexpr rt::External<"BLLRS", bool(Long, Long, Text&)> hs_close_device{
      library, "hs_close_device"};
  static constexpr rt::External<"BRSRSRSRSRS", bool(Text&, Text&, Text&, Text&, Text&)>
      hs_get_onemessage{library, "hs_get_onemessage"};
  static constexpr rt::External<"BSSSLRS", bool(const Text&, const Text&, const Text&, Long, Text&)>
      hs_send_onemessage{library, "hs_send_onemessage"};
  static constexpr rt::External<"BRS", bool(Text&)> dllformshow{library, "DLLFormShow"};

  Outcome on_create() override;
  Outcome on_open() override;
  Outcome on_destroy() override;

  // The buttons' clicked events.
  Outcome cb_1_clicked();  // open
  Outcome cb_2_clicked();  // send message
  Outcome cb_3_clicked();  // close
  Outcome cb_4_clicked();  // get message
  Outcome cb_5_clicked();  // test
  Outcome cb_6_clicked();  // none
};

}  // namespace mobiapp
