// The message test window `w_message_test`: its fifteen controls, its create,
// open and destroy, and the actions of its six buttons.
#include "app/mobiapp.h"

namespace mobiapp {

namespace {

// The font every control of the window sets.
void arial_12(rt::TextControl& c) {
  c.font.facename = "Arial";
  c.font.textsize = -12;
  c.font.weight = 400;
  c.font.charset = 0;
  c.font.pitch = 2;
  c.font.family = 2;
}

template <class C>
void place(C& c, Text text, Long x, Long y, Long width, Long height, Long taborder) {
  c.set_text(std::move(text));
  c.x = x;
  c.y = y;
  c.width = width;
  c.height = height;
  c.taborder = taborder;
  arial_12(c);
}

w_message_test& parent_of(const rt::Object& control) {
  return static_cast<w_message_test&>(*control.owner());
}

// A command button whose clicked event is the window's function F.
template <Outcome (w_message_test::*F)()>
class button : public rt::CommandButton {
 public:
  button(Text text, Long x, Long y, Long width, Long height, Long taborder) {
    place(*this, std::move(text), x, y, width, height, taborder);
  }
  Outcome on_clicked() override { return (parent_of(*this).*F)(); }
};

class edit : public rt::SingleLineEdit {
 public:
  edit(Text text, Long x, Long y, Long width, Long height, Long taborder) {
    place(*this, std::move(text), x, y, width, height, taborder);
    textcolor = 33554432;
    borderstyle = 5;
  }
};

class label : public rt::StaticText {
 public:
  label(Text text, Long x, Long y, Long width, Long height) {
    place(*this, std::move(text), x, y, width, height, 0);
    textcolor = 33554432;
    backcolor = 67108864;
    focusrectangle = false;
  }
};

// The fifteen control classes, in declaration order.
struct cb_6 final : button<&w_message_test::cb_6_clicked> {
  cb_6() : button("none", 1495, 1176, 457, 128, 50) {}
};
struct cb_5 final : button<&w_message_test::cb_5_clicked> {
  cb_5() : button("test", 1874, 1028, 457, 128, 60) {}
};
struct sle_dest final : edit {
  sle_dest() : edit(destination_number, 585, 200, 955, 100, 30) {}
};
struct cb_4 final : button<&w_message_test::cb_4_clicked> {
  cb_4() : button("get message", 55, 668, 535, 128, 40) {}
};
struct sle_get final : edit {
  sle_get() : edit("none", 603, 664, 1815, 156, 40) {}
};
struct cb_3 final : button<&w_message_test::cb_3_clicked> {
  cb_3() : button("close", 1650, 40, 457, 128, 20) {}
};
struct st_2 final : label {
  st_2() : label("\xb4\xed\xce\xf3", 69, 1096, 457, 72) {}  // 错误
};
struct sle_return final : edit {
  sle_return() : edit("none", 594, 836, 983, 128, 50) {}
};
struct st_1 final : label {
  st_1() : label("\xb7\xb5\xbb\xd8", 55, 872, 457, 72) {}  // 返回
};
struct sle_err final : edit {
  sle_err() : edit("none", 594, 1052, 983, 128, 40) {}
};
struct sle_baud final : edit {
  sle_baud() : edit("9600", 576, 24, 457, 128, 20) {}
};
struct sle_port final : edit {
  sle_port() : edit("4", 46, 32, 457, 128, 10) {}
};
struct sle_send final : edit {
  sle_send() : edit("test", 585, 308, 1815, 184, 30) {}
};
struct cb_2 final : button<&w_message_test::cb_2_clicked> {
  cb_2() : button("send message", 27, 304, 535, 128, 20) {}
};
struct cb_1 final : button<&w_message_test::cb_1_clicked> {
  cb_1() : button("open", 1120, 36, 457, 128, 10) {}
};

// The labels of a fetched message.
const Text kCentreSent =
    "\xb6\xcc\xd0\xc5\xd6\xd0\xd0\xc4\xb7\xa2\xcb\xcd\xca\xb1\xbc\xe4:";  // 短信中心发送时间:
const Text kModuleReceived =
    "\xb6\xcc\xd0\xc5\xc4\xa3\xbf\xe9\xbd\xd3\xca\xd5\xca\xb1\xbc\xe4\xc8\xd5\xc6\xda:";  // 短信模块接收时间日期:
const Text kSendingPhone = "\xb7\xa2\xcb\xcd\xca\xd6\xbb\xfa:";  // 发送手机:
const Text kErrLength = "l_err\xb3\xa4\xb6\xc8=";                // l_err长度=

}  // namespace

w_message_test::w_message_test() {
  width = 2533;
  height = 1408;
  titlebar = true;
  controlmenu = true;
  minbox = true;
  maxbox = true;
  resizable = true;
  center = true;
  backcolor = 67108864;
  icon = "AppIcon!";
  define_nested<struct cb_6>("cb_6");
  define_nested<struct cb_5>("cb_5");
  define_nested<struct sle_dest>("sle_dest");
  define_nested<struct cb_4>("cb_4");
  define_nested<struct sle_get>("sle_get");
  define_nested<struct cb_3>("cb_3");
  define_nested<struct st_2>("st_2");
  define_nested<struct sle_return>("sle_return");
  define_nested<struct st_1>("st_1");
  define_nested<struct sle_err>("sle_err");
  define_nested<struct sle_baud>("sle_baud");
  define_nested<struct sle_port>("sle_port");
  define_nested<struct sle_send>("sle_send");
  define_nested<struct cb_2>("cb_2");
  define_nested<struct cb_1>("cb_1");
}

Outcome w_message_test::on_create() {
  auto& rt = runtime();
  // Each control by name, in declaration order; a failed creation ends here.
  auto make = [&](auto& ref, std::string_view name) {
    using T = typename std::remove_reference_t<decltype(ref.lock())>::element_type;
    ref = rt.create_nested<T>(*this, name);
    return ref.valid();
  };
  if (!make(cb_6, "cb_6") || !make(cb_5, "cb_5") || !make(sle_dest, "sle_dest") ||
      !make(cb_4, "cb_4") || !make(sle_get, "sle_get") || !make(cb_3, "cb_3") ||
      !make(st_2, "st_2") || !make(sle_return, "sle_return") || !make(st_1, "st_1") ||
      !make(sle_err, "sle_err") || !make(sle_baud, "sle_baud") || !make(sle_port, "sle_port") ||
      !make(sle_send, "sle_send") || !make(cb_2, "cb_2") || !make(cb_1, "cb_1")) {
    return Outcome::Failed;
  }
  control.assign({cb_6, cb_5, sle_dest, cb_4, sle_get, cb_3, st_2, sle_return, st_1, sle_err,
                  sle_baud, sle_port, sle_send, cb_2, cb_1});
  return Outcome::Completed;
}

Outcome w_message_test::on_open() {
  ll_handle = runtime().handle(*this);
  return Outcome::Completed;
}

Outcome w_message_test::on_destroy() {
  auto& rt = runtime();
  // In declaration order; an empty reference is skipped; a failure stops here.
  auto gone = [&](auto& ref) { return !ref.valid() || rt.destroy(ref) == Outcome::Completed; };
  if (!gone(cb_6) || !gone(cb_5) || !gone(sle_dest) || !gone(cb_4) || !gone(sle_get) ||
      !gone(cb_3) || !gone(st_2) || !gone(sle_return) || !gone(st_1) || !gone(sle_err) ||
      !gone(sle_baud) || !gone(sle_port) || !gone(sle_send) || !gone(cb_2) || !gone(cb_1)) {
    return Outcome::Failed;
  }
  return Outcome::Completed;
}

// ---- the buttons -------------------------------------------------------------

Outcome w_message_test::cb_1_clicked() {  // open
  auto& rt = runtime();
  bool lb_return = false;
  Text ls_centernumber = centre_number;
  Text l_err = rt::spaces(500);
  rt.message_box("", kErrLength + rt::long_to_text(rt::byte_len(l_err)));
  Long comport = rt::text_to_long(sle_port->text());
  Long icb_baud = rt::text_to_long(sle_baud->text());
  lb_return =
      hs_open_device(rt, ll_handle, comport, icb_baud, ls_centernumber, i_dll_handle, l_err);
  rt.message_box("", rt::long_to_text(i_dll_handle));
  sle_return->set_text(rt::bool_to_text(lb_return));
  sle_err->set_text(l_err);
  return Outcome::Completed;
}

Outcome w_message_test::cb_2_clicked() {  // send message
  auto& rt = runtime();
  bool lb_return = false;
  Text ls_centernumber = centre_number;
  Text l_err = rt::spaces(500);
  Text messages = sle_send->text();
  Text phonenumber = sle_dest->text();
  lb_return = hs_send_onemessage(rt, ls_centernumber, messages, phonenumber, 1, l_err);
  sle_return->set_text(rt::bool_to_text(lb_return));
  sle_err->set_text(l_err);
  return Outcome::Completed;
}

Outcome w_message_test::cb_3_clicked() {  // close
  auto& rt = runtime();
  bool lb_return = false;
  ll_handle = rt.handle(*this);
  rt.message_box("", rt::long_to_text(i_dll_handle));
  Text l_err = rt::spaces(500);
  Long comport = rt::text_to_long(sle_port->text());
  lb_return = hs_close_device(rt, comport, i_dll_handle, l_err);
  sle_return->set_text(rt::bool_to_text(lb_return));
  sle_err->set_text(l_err);
  return Outcome::Completed;
}

Outcome w_message_test::cb_4_clicked() {  // get message
  auto& rt = runtime();
  bool lb_return = false;
  Text l_err = rt::spaces(500);
  Text ls_message = rt::spaces(500);
  Text ls_datetimes = rt::spaces(500);
  Text ls_rdatetimes = rt::spaces(500);
  Text ls_sourcenumber = rt::spaces(500);
  lb_return =
      hs_get_onemessage(rt, ls_message, ls_datetimes, ls_rdatetimes, ls_sourcenumber, l_err);
  sle_get->set_text(ls_message + kCentreSent + ls_datetimes + kModuleReceived + ls_rdatetimes +
                    kSendingPhone + ls_sourcenumber);
  sle_return->set_text(rt::bool_to_text(lb_return));
  sle_err->set_text(l_err);
  return Outcome::Completed;
}

Outcome w_message_test::cb_5_clicked() {  // test
  Text l_err;
  dllformshow(runtime(), l_err);
  return Outcome::Completed;
}

Outcome w_message_test::cb_6_clicked() {  // none
  runtime().close(*this);
  return Outcome::Completed;
}

}  // namespace mobiapp
