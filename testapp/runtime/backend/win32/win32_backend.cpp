#include "backend/win32/win32_backend.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/win32/wide_text.h"
#include "rt/layout.h"
#include "rt/object.h"

namespace rt {

namespace {

constexpr wchar_t kWindowClass[] = L"mobirt_window";
constexpr wchar_t kFrameClass[] = L"mobirt_frame";
constexpr UINT kFirstControlId = 1000;  // clear of IDOK and IDCANCEL
constexpr UINT kFirstMenuId = 100;

// Texts of the runtime are GBK; the controls are Unicode.
std::wstring wide(const Text& gbk) {
  return wide_text::from_utf8(gbk_to_utf8(gbk));
}

COLORREF colour_ref(Long code, int default_index) {
  auto c = layout::colour_of(code);
  using R = layout::Colour::Role;
  switch (c.role) {
    case R::Rgb:
      return RGB(c.red, c.green, c.blue);
    case R::WindowText:
      return GetSysColor(COLOR_WINDOWTEXT);
    case R::ButtonFace:
      return GetSysColor(COLOR_BTNFACE);
    case R::AppWorkspace:
      return GetSysColor(COLOR_APPWORKSPACE);
    case R::WindowBackground:
      return GetSysColor(COLOR_WINDOW);
    case R::Default:
      break;
  }
  return GetSysColor(default_index);
}

HFONT make_font(const Font& f) {
  LOGFONTW lf{};
  lf.lfHeight = -std::max(1, layout::font_px(f.textsize));  // character height in pixels
  lf.lfWeight = std::clamp<Long>(f.weight, 0, 1000);
  lf.lfItalic = f.italic;
  lf.lfUnderline = f.underline;
  lf.lfCharSet = static_cast<BYTE>(f.charset);
  // The runtime's pitch and family codes are the system's.
  lf.lfPitchAndFamily = static_cast<BYTE>((f.pitch & 0x3) | ((f.family & 0xF) << 4));
  std::wstring face = wide(f.facename);
  face.resize(std::min<std::size_t>(face.size(), LF_FACESIZE - 1));
  std::copy(face.begin(), face.end(), lf.lfFaceName);
  return CreateFontIndirectW(&lf);
}

}  // namespace

struct Win32Backend::Native {
  Win32Backend* backend;
  Window* window;
  HWND top = nullptr;
  HWND mdi_client = nullptr;
  HWND first_focus = nullptr;
  HWND last_focus = nullptr;
  HBRUSH background = nullptr;
  HBRUSH label_background = nullptr;
  bool closing_by_runtime = false;
  std::map<const Object*, HWND> controls;
  std::map<HWND, Object*> by_hwnd;
  std::map<UINT, Menu*> items;
  std::vector<HFONT> fonts;
};

Win32Backend::Win32Backend() {
  for (const wchar_t* name : {kWindowClass, kFrameClass}) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(GetModuleHandleW(nullptr), name, &wc)) continue;  // another backend's
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = &window_proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = name;
    RegisterClassExW(&wc);
  }
}

Win32Backend::~Win32Backend() {
  while (!windows_.empty()) destroy_window(*const_cast<Window*>(windows_.begin()->first));
}

LRESULT CALLBACK Win32Backend::window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* n = reinterpret_cast<Native*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!n) return DefWindowProcW(hwnd, msg, wp, lp);
  return n->backend->handle(*n, hwnd, msg, wp, lp);
}

LRESULT Win32Backend::default_proc(Native& n, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (n.mdi_client || n.window->windowtype == window_type::mdi_frame ||
      n.window->windowtype == window_type::mdi_frame_help) {
    return DefFrameProcW(hwnd, n.mdi_client, msg, wp, lp);
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32Backend::handle(Native& n, HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND: {
      const UINT code = HIWORD(wp);
      if (lp) {  // from a control
        auto it = n.by_hwnd.find(reinterpret_cast<HWND>(lp));
        if (it == n.by_hwnd.end() || !sink_) break;
        if (code == BN_CLICKED) {
          if (auto* b = dynamic_cast<CommandButton*>(it->second)) sink_->clicked(*b);
          return 0;  // the window may be gone now
        }
        if (code == EN_CHANGE && !setting_text_) {
          if (auto* e = dynamic_cast<TextControl*>(it->second)) {
            HWND edit = reinterpret_cast<HWND>(lp);
            std::wstring w(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            w.resize(static_cast<std::size_t>(
                GetWindowTextW(edit, w.data(), static_cast<int>(w.size()))));
            sink_->text_edited(*e, wide_text::to_utf8(w));
          }
          return 0;
        }
        break;
      }
      if (code == 0) {  // a menu command
        auto it = n.items.find(LOWORD(wp));
        if (it != n.items.end() && sink_) {
          sink_->menu_chosen(*it->second);
          return 0;
        }
      }
      break;
    }
    case WM_CLOSE:
      if (!n.closing_by_runtime) {
        if (sink_) sink_->close_requested(*n.window);
        return 0;
      }
      break;
    case WM_ACTIVATE:
      // The focus comes back to the control that had it, the first of the tab
      // order when none had.
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f && IsChild(hwnd, f)) n.last_focus = f;
      } else if (HWND f = n.last_focus ? n.last_focus : n.first_focus; f && !HIWORD(wp)) {
        SetFocus(f);
        return 0;
      }
      break;
    case WM_ERASEBKGND:
      if (n.background) {
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, n.background);
        return 1;
      }
      break;
    case WM_CTLCOLORSTATIC: {
      auto it = n.by_hwnd.find(reinterpret_cast<HWND>(lp));
      if (it == n.by_hwnd.end()) break;
      auto* c = dynamic_cast<TextControl*>(it->second);
      if (!c || c->system_class() != SystemClass::StaticText) break;
      HDC dc = reinterpret_cast<HDC>(wp);
      SetTextColor(dc, colour_ref(c->textcolor, COLOR_WINDOWTEXT));
      SetBkColor(dc, colour_ref(c->backcolor, COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(n.label_background ? n.label_background
                                                          : GetSysColorBrush(COLOR_BTNFACE));
    }
    case WM_SETCURSOR:
      if (busy_) {
        SetCursor(LoadCursorA(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return default_proc(n, hwnd, msg, wp, lp);
}

bool Win32Backend::realize_window(Window& window) {
  auto n = std::make_unique<Native>();
  n->backend = this;
  n->window = &window;
  const bool frame = window.windowtype == window_type::mdi_frame ||
                     window.windowtype == window_type::mdi_frame_help;
  DWORD style = WS_CLIPCHILDREN;
  if (window.titlebar) {
    style |= WS_CAPTION;
    if (window.controlmenu) style |= WS_SYSMENU;
    if (window.minbox) style |= WS_MINIMIZEBOX;
    if (window.maxbox) style |= WS_MAXIMIZEBOX;
  } else {
    style |= WS_POPUP | WS_BORDER;
  }
  if (window.resizable) style |= WS_THICKFRAME;

  // Menu bar: top-level items with no items of their own act at once.
  HMENU bar = nullptr;
  if (auto menu = window.menuid.lock(); menu && menu->item.size() > 0) {
    bar = CreateMenu();
    UINT id = kFirstMenuId;
    for (const auto& ref : menu->item.items()) {
      auto item = ref.lock();
      if (!item) continue;
      AppendMenuW(bar, MF_STRING, id, wide(item->text()).c_str());
      n->items[id++] = item.get();
    }
  }

  const int cw = layout::x_px(window.width);
  const int ch = layout::y_px(window.height);
  RECT r{0, 0, cw, ch};
  AdjustWindowRectEx(&r, style, bar != nullptr, 0);
  const int ww = r.right - r.left, wh = r.bottom - r.top;
  int x = layout::x_px(window.x), y = layout::y_px(window.y);
  if (window.center) {
    RECT work;
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    x = work.left + (work.right - work.left - ww) / 2;
    y = work.top + (work.bottom - work.top - wh) / 2;
  }
  HWND top = CreateWindowExW(0, frame ? kFrameClass : kWindowClass, wide(window.title()).c_str(),
                             style, x, y, ww, wh, nullptr, bar, GetModuleHandleW(nullptr), n.get());
  if (!top) {
    if (bar) DestroyMenu(bar);
    return false;
  }
  n->top = top;
  if (!window.icon.empty()) {
    HICON icon = LoadIconA(nullptr, IDI_APPLICATION);
    SendMessageW(top, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(top, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
  if (layout::colour_of(window.backcolor).role != layout::Colour::Role::ButtonFace) {
    n->background = CreateSolidBrush(colour_ref(window.backcolor, COLOR_BTNFACE));
  }

  std::vector<std::pair<Long, HWND>> tab;
  UINT id = kFirstControlId;
  for (const auto& ref : window.control.items()) {
    auto c = ref.lock();
    if (!c) continue;
    HWND h = nullptr;
    const DWORD visible = c->visible ? WS_VISIBLE : 0;
    const bool in_tab = c->taborder > 0;
    auto rc = layout::to_px(c->x, c->y, c->width, c->height);
    auto* menu_id = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id++));
    if (auto* mdi = dynamic_cast<MdiClient*>(c.get())) {
      CLIENTCREATESTRUCT ccs{nullptr, 50000};
      RECT client;
      GetClientRect(top, &client);
      h = CreateWindowExW(WS_EX_CLIENTEDGE, L"MDICLIENT", nullptr,
                          WS_CHILD | WS_CLIPCHILDREN | visible, 0, 0, client.right, client.bottom,
                          top, menu_id, GetModuleHandleW(nullptr), &ccs);
      (void)mdi;
      n->mdi_client = h;
    } else if (auto* b = dynamic_cast<CommandButton*>(c.get())) {
      h = CreateWindowExW(0, L"BUTTON", wide(b->text()).c_str(),
                          WS_CHILD | BS_PUSHBUTTON | visible | (in_tab ? WS_TABSTOP : 0), rc.x,
                          rc.y, rc.width, rc.height, top, menu_id, GetModuleHandleW(nullptr),
                          nullptr);
    } else if (auto* e = dynamic_cast<SingleLineEdit*>(c.get())) {
      const DWORD ex = e->borderstyle == border::sunken ? WS_EX_CLIENTEDGE : 0;
      const DWORD box = e->borderstyle == border::box ? WS_BORDER : 0;
      h = CreateWindowExW(
          ex, L"EDIT", wide(e->text()).c_str(),
          WS_CHILD | ES_LEFT | ES_AUTOHSCROLL | box | visible | (in_tab ? WS_TABSTOP : 0), rc.x,
          rc.y, rc.width, rc.height, top, menu_id, GetModuleHandleW(nullptr), nullptr);
    } else if (auto* s = dynamic_cast<StaticText*>(c.get())) {
      DWORD border = s->borderstyle == border::sunken ? SS_SUNKEN
                     : s->borderstyle == border::box  ? WS_BORDER
                                                      : 0;
      h = CreateWindowExW(0, L"STATIC", wide(s->text()).c_str(),
                          WS_CHILD | SS_LEFT | SS_NOPREFIX | border | visible, rc.x, rc.y, rc.width,
                          rc.height, top, menu_id, GetModuleHandleW(nullptr), nullptr);
      if (!n->label_background &&
          layout::colour_of(s->backcolor).role != layout::Colour::Role::ButtonFace) {
        n->label_background = CreateSolidBrush(colour_ref(s->backcolor, COLOR_BTNFACE));
      }
    }
    if (!h) continue;
    if (auto* t = dynamic_cast<TextControl*>(c.get())) {
      HFONT f = make_font(t->font);
      if (f) {
        n->fonts.push_back(f);
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
      }
    }
    if (in_tab && (c->system_class() == SystemClass::CommandButton ||
                   c->system_class() == SystemClass::SingleLineEdit)) {
      tab.emplace_back(c->taborder, h);
    }
    n->controls[c.get()] = h;
    n->by_hwnd[h] = c.get();
  }
  // Tab order: by tab value; equal values keep their order in the control
  // list. Tab follows the children's z-order.
  std::stable_sort(tab.begin(), tab.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (const auto& [order, h] : tab) {
    SetWindowPos(h, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  if (!tab.empty()) n->first_focus = tab.front().second;
  n->controls[&window] = top;
  windows_[&window] = std::move(n);
  return true;
}

void Win32Backend::show_window(Window& window) {
  auto it = windows_.find(&window);
  if (it == windows_.end()) return;
  ShowWindow(it->second->top, SW_SHOWNORMAL);
  UpdateWindow(it->second->top);
  SetForegroundWindow(it->second->top);
  if (it->second->first_focus) SetFocus(it->second->first_focus);
}

void Win32Backend::activate_window(Window& window) {
  HWND h = hwnd_of(window);
  if (!h) return;
  if (IsIconic(h)) ShowWindow(h, SW_RESTORE);  // a minimised window comes back
  ShowWindow(h, SW_SHOW);
  BringWindowToTop(h);
  SetForegroundWindow(h);
}

void Win32Backend::destroy_window(Window& window) {
  auto it = windows_.find(&window);
  if (it == windows_.end()) return;
  std::unique_ptr<Native> n = std::move(it->second);
  windows_.erase(it);
  n->closing_by_runtime = true;
  // Cut the window off from the runtime first: it may be going away from
  // inside one of its own controls' notifications.
  SetWindowLongPtrW(n->top, GWLP_USERDATA, 0);
  DestroyWindow(n->top);  // its menu bar and controls go with it
  for (HFONT f : n->fonts) DeleteObject(f);
  if (n->background) DeleteObject(n->background);
  if (n->label_background) DeleteObject(n->label_background);
}

void Win32Backend::text_changed(Object& object) {
  for (auto& [w, n] : windows_) {
    for (auto& [id, item] : n->items) {
      if (item == &object) {
        ModifyMenuW(GetMenu(n->top), id, MF_BYCOMMAND | MF_STRING, id, wide(item->text()).c_str());
        DrawMenuBar(n->top);
        return;
      }
    }
  }
  HWND h = hwnd_of(object);
  if (!h) return;
  if (auto* win = dynamic_cast<Window*>(&object)) {
    SetWindowTextW(h, wide(win->title()).c_str());
  } else if (auto* c = dynamic_cast<TextControl*>(&object)) {
    setting_text_ = true;
    SetWindowTextW(h, wide(c->text()).c_str());
    setting_text_ = false;
  }
}

std::uint64_t Win32Backend::native_handle(const Window& window) {
  return reinterpret_cast<std::uintptr_t>(hwnd_of(window));
}

bool Win32Backend::message_box(std::string_view title, std::string_view text) {
  // Task-modal: every window of the application waits for the box.
  int r = MessageBoxW(nullptr, wide_text::from_utf8(text).c_str(),
                      wide_text::from_utf8(title).c_str(), MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
  return r != 0;
}

void Win32Backend::outside_call(bool running) {
  busy_ = running;
  if (running) {
    cursor_before_call_ = SetCursor(LoadCursorA(nullptr, IDC_WAIT));
  } else {
    SetCursor(cursor_before_call_ ? cursor_before_call_ : LoadCursorA(nullptr, IDC_ARROW));
  }
}

void Win32Backend::quit() {
  quit_ = true;
  PostQuitMessage(0);
}

int Win32Backend::exec() {
  if (quit_) return 0;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // Tab and the arrow keys move between the controls of a window.
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    bool handled = false;
    for (auto& [w, n] : windows_) {
      if (n->top != root) continue;
      handled = n->mdi_client ? TranslateMDISysAccel(n->mdi_client, &msg) != 0
                              : IsDialogMessageW(root, &msg) != 0;
      break;
    }
    if (handled) continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

HWND Win32Backend::hwnd_of(const Object& object) const {
  for (const auto& [w, n] : windows_) {
    if (auto it = n->controls.find(&object); it != n->controls.end()) return it->second;
  }
  return nullptr;
}

UINT Win32Backend::command_of(const Object& item) const {
  for (const auto& [w, n] : windows_) {
    for (const auto& [id, i] : n->items) {
      if (i == &item) return id;
    }
  }
  return 0;
}

}  // namespace rt
