// The test application on the Win32 backend under Wine: the native windows and
// controls, message boxes, focus and tab order; every button against the real
// ProjSmsDLL.dll on the simulated modem (suite Device, run by with_modem.sh);
// a hostile DLL that writes past its buffers (suite Hostile). Screenshots of
// the frame and the test window go to artefacts/.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/mobiapp.h"
#include "backend/win32/win32_backend.h"
#include "platform/platform_binder.h"
#include "rt/layout.h"

namespace mobiapp {
namespace {

std::string utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) {
    WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                        nullptr);
  }
  return s;
}

std::string text_of(HWND h) {
  std::wstring w(static_cast<std::size_t>(GetWindowTextLengthW(h)) + 1, L'\0');
  w.resize(static_cast<std::size_t>(GetWindowTextW(h, w.data(), static_cast<int>(w.size()))));
  return utf8(w);
}

std::string class_of(HWND h) {
  wchar_t buf[64];
  int n = GetClassNameW(h, buf, 64);
  return utf8(std::wstring(buf, static_cast<std::size_t>(n > 0 ? n : 0)));
}

// Answers every message box as it appears (through a CBT hook on this
// thread), recording its title and text.
struct Box {
  std::string title, text;
};
std::vector<Box>* answered = nullptr;

BOOL CALLBACK collect_text(HWND child, LPARAM lp) {
  if (class_of(child) == "Static") {
    std::string t = text_of(child);
    if (!t.empty()) *reinterpret_cast<std::string*>(lp) += t;
  }
  return TRUE;
}

HWND box_to_answer = nullptr;

// Runs from the box's own message loop, once the box is fully built.
void CALLBACK answer_box(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND h = box_to_answer;
  box_to_answer = nullptr;
  if (!h || !answered || !IsWindow(h)) return;
  Box b{text_of(h), {}};
  EnumChildWindows(h, collect_text, reinterpret_cast<LPARAM>(&b.text));
  answered->push_back(b);
  PostMessageW(h, WM_COMMAND, IDOK, 0);
}

LRESULT CALLBACK on_cbt(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE && answered) {
    HWND h = reinterpret_cast<HWND>(wp);
    if (class_of(h) == "#32770" && h != box_to_answer) {
      box_to_answer = h;
      SetTimer(nullptr, 0, 0, answer_box);
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// Writes a window as it stands on the screen into a BMP file.
bool screenshot(HWND h, const char* file) {
  SetForegroundWindow(h);
  for (MSG m; PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&m);
  RedrawWindow(h, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  RECT r;
  GetWindowRect(h, &r);
  const int w = r.right - r.left, ht = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -ht, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bmp);
  BOOL ok = BitBlt(dc, 0, 0, w, ht, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  const DWORD row = static_cast<DWORD>((w * 3 + 3) & ~3);
  const DWORD size = row * static_cast<DWORD>(ht);
  BITMAPFILEHEADER fh{0x4D42, static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader + size), 0, 0,
                      static_cast<DWORD>(sizeof fh + sizeof bi.bmiHeader)};
  bool written = false;
  if (FILE* f = std::fopen(file, "wb")) {
    written = std::fwrite(&fh, sizeof fh, 1, f) == 1 &&
              std::fwrite(&bi.bmiHeader, sizeof bi.bmiHeader, 1, f) == 1 &&
              std::fwrite(bits, size, 1, f) == 1;
    std::fclose(f);
  }
  SelectObject(dc, old);
  DeleteObject(bmp);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return ok && written;
}

class OnWin32 : public ::testing::Test {
 protected:
  explicit OnWin32(std::vector<std::string> dirs = {PROJSMSDLL_DIR}) : binder(std::move(dirs)) {
    answered = &boxes;
    hook = SetWindowsHookExW(WH_CBT, on_cbt, nullptr, GetCurrentThreadId());
    define_classes(rt);
    EXPECT_EQ(rt.start("mobi", ""), Outcome::Completed);
  }
  ~OnWin32() override {
    UnhookWindowsHookEx(hook);
    answered = nullptr;
  }
  mobi& app() { return static_cast<mobi&>(*rt.application().lock()); }
  HWND frame() { return ui.hwnd_of(*app().w_ref.lock()); }
  HWND test_window() {
    auto w = app().w_message_test_ref.lock();
    return w ? ui.hwnd_of(*w) : nullptr;
  }
  void choose_tset() {
    UINT id = ui.command_of(*app().w_ref->menuid->item.items()[0].lock());
    ASSERT_NE(id, 0u);
    SendMessageW(frame(), WM_COMMAND, MAKEWPARAM(id, 0), 0);
    ASSERT_NE(test_window(), nullptr);
  }
  template <class C>
  HWND hwnd(const Ref<C>& control) {
    return ui.hwnd_of(*control.lock());
  }
  // The operator clicks a button of the test window; boxes are answered.
  void click(const Ref<rt::CommandButton>& button) {
    boxes.clear();
    SendMessageW(hwnd(button), BM_CLICK, 0, 0);
  }
  std::string field(const Ref<rt::SingleLineEdit>& edit) { return text_of(hwnd(edit)); }
  w_message_test& test() { return *app().w_message_test_ref.lock(); }

  std::vector<Box> boxes;
  HHOOK hook = nullptr;
  rt::Win32Backend ui;
  rt::PlatformBinder binder;
  rt::Runtime rt{ui, binder};
};

TEST_F(OnWin32, TheFrameIsAnMdiFrameWithTheMenuBarAndItsClientArea) {
  HWND f = frame();
  ASSERT_NE(f, nullptr);
  EXPECT_TRUE(IsWindowVisible(f));
  EXPECT_EQ(text_of(f), "Untitled");
  const LONG style = GetWindowLongW(f, GWL_STYLE);
  for (LONG bit : {WS_CAPTION, WS_SYSMENU, WS_MINIMIZEBOX, WS_MAXIMIZEBOX, WS_THICKFRAME}) {
    EXPECT_TRUE(style & bit) << bit;
  }
  HWND client = ui.hwnd_of(*app().w_ref->mdi_1.lock());
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(class_of(client), "MDIClient");
  EXPECT_EQ(GetParent(client), f);
  HMENU bar = GetMenu(f);
  ASSERT_NE(bar, nullptr);
  ASSERT_EQ(GetMenuItemCount(bar), 1);
  wchar_t item[16];
  GetMenuStringW(bar, 0, item, 16, MF_BYPOSITION);
  EXPECT_EQ(utf8(item), "tset");
  EXPECT_EQ(GetSubMenu(bar, 0), nullptr);  // acts at once
  RECT rc;
  GetClientRect(f, &rc);
  EXPECT_EQ(rc.right, rt::layout::x_px(2533));
  CreateDirectoryW(L"artefacts", nullptr);
  EXPECT_TRUE(screenshot(f, "artefacts/mobiapp_win_frame.bmp"));
}

TEST_F(OnWin32, TheTestWindowHasNativeControlsInPlaceWithFocusAndTabOrder) {
  choose_tset();
  HWND t = test_window();
  EXPECT_EQ(GetParent(t), nullptr);  // a window of its own, outside the frame
  EXPECT_EQ(GetWindowTextLengthW(t), 0);
  EXPECT_EQ(GetMenu(t), nullptr);
  auto& w = test();
  EXPECT_EQ(class_of(hwnd(w.cb_1)), "Button");
  EXPECT_EQ(text_of(hwnd(w.cb_4)), "get message");
  EXPECT_EQ(class_of(hwnd(w.sle_port)), "Edit");
  EXPECT_TRUE(GetWindowLongW(hwnd(w.sle_port), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);  // sunken
  EXPECT_EQ(class_of(hwnd(w.st_2)), "Static");
  EXPECT_EQ(text_of(hwnd(w.st_2)), "错误");
  EXPECT_EQ(text_of(hwnd(w.st_1)), "返回");

  RECT r;
  GetWindowRect(hwnd(w.sle_send), &r);
  MapWindowPoints(nullptr, t, reinterpret_cast<POINT*>(&r), 2);
  auto want = rt::layout::to_px(585, 308, 1815, 184);
  EXPECT_EQ(r.left, want.x);
  EXPECT_EQ(r.top, want.y);
  EXPECT_EQ(r.right - r.left, want.width);

  LOGFONTW lf{};
  auto font = reinterpret_cast<HFONT>(SendMessageW(hwnd(w.cb_1), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  GetObjectW(font, sizeof lf, &lf);
  EXPECT_EQ(utf8(lf.lfFaceName), "Arial");
  EXPECT_EQ(lf.lfHeight, -16);
  EXPECT_EQ(lf.lfWeight, 400);

  // Focus on the first control of the tab order; Tab goes on to cb_1 (both 10).
  EXPECT_EQ(GetFocus(), hwnd(w.sle_port));
  EXPECT_EQ(GetNextDlgTabItem(t, hwnd(w.sle_port), FALSE), hwnd(w.cb_1));
  EXPECT_EQ(GetNextDlgTabItem(t, hwnd(w.cb_1), FALSE), hwnd(w.cb_3));  // 20, declared first

  // Typed GBK text reaches the runtime.
  SetWindowTextW(hwnd(w.sle_dest), L"发送 1");
  EXPECT_EQ(w.sle_dest->text(), "\xB7\xA2\xCB\xCD 1");

  EXPECT_TRUE(screenshot(t, "artefacts/mobiapp_win_w_message_test.bmp"));

  // "tset" on the minimised window brings it back.
  ShowWindow(t, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(t));
  choose_tset();
  EXPECT_EQ(test_window(), t);
  EXPECT_FALSE(IsIconic(t));
}

// Every button against ProjSmsDLL.dll and the simulated modem on COM4.
TEST_F(OnWin32, DeviceEveryButtonDrivesTheDeviceLibrary) {
  choose_tset();
  auto& w = test();
  click(w.cb_1);  // open
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "l_err长度=500");
  EXPECT_EQ(boxes[0].title, "");
  EXPECT_NE(boxes[1].text, "0");  // the handle the library wrote
  EXPECT_EQ(field(w.sle_return), "true") << field(w.sle_err);
  EXPECT_EQ(field(w.sle_err), "");

  click(w.cb_2);  // send message
  EXPECT_EQ(field(w.sle_return), "true") << field(w.sle_err);

  click(w.cb_4);  // get message
  EXPECT_EQ(field(w.sle_return), "true") << field(w.sle_err);
  const std::string got = field(w.sle_get);
  EXPECT_EQ(got.rfind("你好, 世界短信中心发送时间:", 0), 0u) << got;
  EXPECT_NE(got.find("发送手机:+8613912345678"), std::string::npos) << got;

  click(w.cb_5);  // test: the library's form, no field changes
  EXPECT_EQ(field(w.sle_return), "true");

  click(w.cb_3);  // close
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, std::to_string(w.i_dll_handle));
  EXPECT_EQ(field(w.sle_return), "true") << field(w.sle_err);

  click(w.cb_6);  // none: the window closes, no call
  EXPECT_EQ(test_window(), nullptr);
  EXPECT_EQ(rt.open_windows().size(), 1u);
}

class Hostile : public OnWin32 {
 protected:
  Hostile() : OnWin32({HOSTILE_DIR}) {}
};

TEST_F(Hostile, AWritePastTheBufferIsRuntimeError20522AndTheFieldsKeepTheirTexts) {
  choose_tset();
  click(test().cb_3);  // a close before any open shows 0 in a box with an empty title
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "");
  EXPECT_EQ(boxes[0].text, "0");
  EXPECT_EQ(field(test().sle_return), "true");
  click(test().cb_4);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].title, "Runtime error");
  EXPECT_EQ(boxes[0].text,
            "Error 20522: Outside function broke a buffer it was given\nhs_get_onemessage wrote "
            "past the end of the text buffer of its parameter 1\nObject: "
            "w_message_test.cb_4\nEvent: clicked");
  EXPECT_EQ(field(test().sle_get), "none");
}

// Run on its own: the process must stop with the message on stderr.
TEST_F(Hostile, FarWriteStopsTheProcessNamingTheCallAndParameter) {
  choose_tset();
  click(test().cb_2);
  ADD_FAILURE() << "still running after a write a megabyte past a buffer";
}

// The cursor while an outside function runs.
HCURSOR cursor_during_call = nullptr;

extern "C" int RT_OUTSIDE_CALL busy_probe(char*) {
  cursor_during_call = GetCursor();
  return 1;
}

struct ProbeBinder final : rt::LibraryBinder {
  rt::Binding bind(std::string_view, std::string_view) override {
    return {reinterpret_cast<void*>(&busy_probe), rt::ErrorCode::EntryNotFound, {}};
  }
};

TEST(Win32Busy, TheCursorShowsBusyWhileAnOutsideFunctionRuns) {
  rt::Win32Backend ui;
  ProbeBinder binder;
  rt::Runtime rt{ui, binder};
  constexpr rt::External<"BRS", bool(Text&)> probe{"probe.dll", "busy_probe"};
  auto button = rt.create<rt::CommandButton>("commandbutton");
  Text buf = rt::spaces(4);
  SetCursor(LoadCursorA(nullptr, IDC_ARROW));
  ASSERT_EQ(rt.run_event(*button.lock(), "clicked",
                         [&] { return probe(rt, buf) ? Outcome::Completed : Outcome::Failed; }),
            Outcome::Completed);
  EXPECT_EQ(cursor_during_call, LoadCursorA(nullptr, IDC_WAIT));
  EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_ARROW));  // back after the call
}

}  // namespace
}  // namespace mobiapp
