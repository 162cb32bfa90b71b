// Forms as top-level windows; their controls are child windows
// (control_window_win32.h).
#include <windowsx.h>

#include <algorithm>

#include "platform/win32/wide.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/host_win32.h"

namespace lup::ui::win32 {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

}  // namespace

unsigned WindowDpi(HWND hwnd) {
  static auto fn = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (fn && hwnd) {
    if (UINT dpi = fn(hwnd)) return dpi;
  }
  HDC dc = GetDC(nullptr);
  const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(nullptr, dc);
  return dpi > 0 ? static_cast<unsigned>(dpi) : 96;
}

namespace {

void AdjustForDpi(RECT* r, DWORD style, DWORD ex_style, unsigned dpi) {
  static auto fn = reinterpret_cast<AdjustForDpiFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  if (fn) fn(r, style, FALSE, ex_style, dpi);
  else AdjustWindowRectEx(r, style, FALSE, ex_style);
}

int CALLBACK FoundFace(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceInstalled(const std::wstring& face) {
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExW(dc, &lf, &FoundFace, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found;
}

}  // namespace

std::wstring UsableFace(const std::string& name) {
  static std::vector<std::pair<std::wstring, std::wstring>> cache;
  const std::wstring wanted = Wide(name);
  for (const auto& [asked, face] : cache) {
    if (asked == wanted) return face;
  }
  std::wstring face = wanted;
  if (!FaceInstalled(wanted)) {
    static const wchar_t* const kJapanese[] = {
        L"ＭＳ Ｐゴシック", L"MS PGothic", L"MS UI Gothic", L"Meiryo UI", L"Yu Gothic UI",
        L"IPAPGothic", L"IPA Pゴシック", L"IPAGothic", L"Noto Sans CJK JP", L"VL PGothic", L"TakaoPGothic"};
    for (const wchar_t* candidate : kJapanese) {
      if (FaceInstalled(candidate)) {
        face = candidate;
        break;
      }
    }
  }
  cache.emplace_back(wanted, face);
  return face;
}

HFONT CreateUiFont(const Font& font, unsigned dpi) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(font.points, static_cast<int>(dpi), 72);
  lf.lfWeight = font.bold ? FW_BOLD : FW_NORMAL;
  // The Japanese charset makes the font mapper fall back to an installed
  // Japanese font when the named one is missing (under Wine).
  lf.lfCharSet = SHIFTJIS_CHARSET;
  lf.lfQuality = DEFAULT_QUALITY;
  const std::wstring name = UsableFace(font.name);
  lstrcpynW(lf.lfFaceName, name.c_str(), LF_FACESIZE);
  return CreateFontIndirectW(&lf);
}

Modifiers KeysOf(WPARAM wp) {
  Modifiers keys = kNoKeys;
  if (wp & MK_SHIFT) keys |= kShiftKey;
  if (wp & MK_CONTROL) keys |= kCtrlKey;
  if (GetKeyState(VK_MENU) < 0) keys |= kAltKey;
  return keys;
}

MouseButton ButtonOf(UINT msg) {
  switch (msg) {
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK: return MouseButton::kRight;
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK: return MouseButton::kMiddle;
    default: return MouseButton::kLeft;
  }
}

// --- FormWindow ---

FormWindow::FormWindow(Win32Host& host, Form& form, HWND owner) : host_(host), form_(form) {
  DWORD style = WS_CLIPCHILDREN;
  DWORD ex_style = WS_EX_CONTROLPARENT;
  switch (form.GetBorder()) {
    case Border::kSizable: style |= WS_OVERLAPPEDWINDOW; break;
    case Border::kFixedSingle: style |= WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU; break;
    case Border::kFixedDialog:
      style |= WS_POPUP | WS_CAPTION | WS_SYSMENU;
      ex_style |= WS_EX_DLGMODALFRAME;
      break;
    case Border::kNone: style |= WS_POPUP; break;
  }
  if (form.GetBorder() != Border::kSizable && form.GetBorder() != Border::kNone) {
    if (form.MinButton()) style |= WS_MINIMIZEBOX;
    if (form.MaxButton()) style |= WS_MAXIMIZEBOX;
  } else if (form.GetBorder() == Border::kSizable) {
    if (!form.MinButton()) style &= ~WS_MINIMIZEBOX;
    if (!form.MaxButton()) style &= ~WS_MAXIMIZEBOX;
  }
  if (form.ShowInTaskbar() && !owner) ex_style |= WS_EX_APPWINDOW;
  hwnd_ = CreateWindowExW(ex_style, kFormWindowClass, Wide(form.Caption()).c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                          100, 100, owner, nullptr, host.instance(), this);
  dpi_ = WindowDpi(hwnd_);
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd_, nullptr,
                             host.instance(), nullptr);
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, Px(6000));
  // Tool tips speak Japanese too: the system's tip font may have no Japanese.
  SendMessageW(tooltip_, WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(form.DefaultFont())), FALSE);
  SizeAndPlace(owner);
  for (const auto& c : form.Controls()) ControlAdded(*c);
  ReorderTabs();
  MarkDefaultButton();
}

FormWindow::~FormWindow() {
  Detach();
  for (auto& [font, handle] : fonts_) DeleteObject(handle);
}

void FormWindow::SizeAndPlace(HWND owner) {
  RECT r{0, 0, Px(form_.ClientWidth()), Px(form_.ClientHeight())};
  const auto style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE));
  const auto ex_style = static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_EXSTYLE));
  AdjustForDpi(&r, style, ex_style, dpi_);
  const int w = r.right - r.left, h = r.bottom - r.top;
  // Centred on a visible owner, otherwise on the work area of its monitor.
  RECT area{};
  if (owner && IsWindowVisible(owner)) {
    GetWindowRect(owner, &area);
  } else {
    MONITORINFO mi{};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : hwnd_, MONITOR_DEFAULTTOPRIMARY), &mi);
    area = mi.rcWork;
  }
  int x = area.left + ((area.right - area.left) - w) / 2;
  int y = area.top + ((area.bottom - area.top) - h) / 2;
  if (x < 0) x = 0;
  if (y < 0) y = 0;
  SetWindowPos(hwnd_, nullptr, x, y, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT FormWindow::FontFor(const Font& font) {
  for (auto& [f, handle] : fonts_) {
    if (f == font) return handle;
  }
  HFONT handle = CreateUiFont(font, dpi_);
  fonts_.emplace_back(font, handle);
  return handle;
}

void FormWindow::Block(bool on) {
  blocked_ += on ? 1 : -1;
  if (blocked_ < 0) blocked_ = 0;
  SyncEnabled();
}

void FormWindow::SyncEnabled() {
  if (hwnd_) EnableWindow(hwnd_, form_.Enabled() && blocked_ == 0);
}

void FormWindow::Show() {
  if (!hwnd_) return;
  for (auto& c : controls_) c->Flush();
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
  if (ControlWindow* c = WindowFor(form_.Focused())) SetFocus(c->hwnd());
  UpdateWindow(hwnd_);
}

void FormWindow::Detach() {
  if (detached_) return;
  detached_ = true;
  for (auto& c : controls_) c->Detach();
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);  // the tool tip window goes with its owner
    hwnd_ = nullptr;
    tooltip_ = nullptr;
  }
}

void FormWindow::FormChanged(Form&, Prop prop) {
  switch (prop) {
    case Prop::kText: SetWindowTextW(hwnd_, Wide(form_.Caption()).c_str()); break;
    case Prop::kEnabled: SyncEnabled(); break;
    case Prop::kVisible:
      if (form_.Visible()) Show();
      else ShowWindow(hwnd_, SW_HIDE);
      break;
    case Prop::kFocus:
      if (ControlWindow* c = WindowFor(form_.Focused())) {
        if (c->hwnd()) SetFocus(c->hwnd());
      }
      break;
    case Prop::kDefaultButton: MarkDefaultButton(); break;
    default: break;
  }
}

void FormWindow::StartTimer(int id, int interval_ms) {
  // SetTimer with the same id restarts the count, as a re-enabled timer does.
  if (hwnd_) SetTimer(hwnd_, static_cast<UINT_PTR>(id), static_cast<UINT>(interval_ms), nullptr);
}

void FormWindow::StopTimer(int id) {
  if (hwnd_) KillTimer(hwnd_, static_cast<UINT_PTR>(id));
}

void FormWindow::ControlAdded(Control& control) {
  const int id = 100 + static_cast<int>(controls_.size());
  std::unique_ptr<ControlWindow> window = ControlWindow::Make(*this, control, id);
  if (!window) return;  // a timer: the window stack's
  controls_.push_back(std::move(window));
  if (!detached_ && IsWindowVisible(hwnd_)) ReorderTabs();
}

// The window stack forgets the form and drops this window.
void FormWindow::FormDestroyed(Form&) {}

void FormWindow::ReorderTabs() {
  std::vector<ControlWindow*> order;
  for (auto& c : controls_) {
    if (c->hwnd()) order.push_back(c.get());
  }
  std::stable_sort(order.begin(), order.end(), [](ControlWindow* a, ControlWindow* b) {
    return a->control().TabIndex() < b->control().TabIndex();
  });
  HWND after = HWND_TOP;
  for (ControlWindow* c : order) {
    if (c->control().kind() == ControlKind::kFrame) continue;
    SetWindowPos(c->hwnd(), after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    after = c->hwnd();
  }
  // Frames lie under the controls they hold.
  for (ControlWindow* c : order) {
    if (c->control().kind() == ControlKind::kFrame) {
      SetWindowPos(c->hwnd(), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
  }
}

void FormWindow::ForEachInside(const Control& frame, const std::function<void(ControlWindow&)>& action) {
  for (auto& c : controls_) {
    for (const Control* p = c->control().parent(); p; p = p->parent()) {
      if (p == &frame) {
        action(*c);
        break;
      }
    }
  }
}

ControlWindow* FormWindow::ById(int id) const {
  const int i = id - 100;
  if (i < 0 || i >= static_cast<int>(controls_.size())) return nullptr;
  return controls_[static_cast<size_t>(i)].get();
}

ControlWindow* FormWindow::WindowFor(const Control* c) const {
  if (!c) return nullptr;
  for (auto& w : controls_) {
    if (&w->control() == c) return w.get();
  }
  return nullptr;
}

LRESULT CALLBACK FormWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    auto* self = static_cast<FormWindow*>(cs->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<FormWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self || self->detached_) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(msg, wp, lp);
}

LRESULT FormWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CLOSE:
      host_.stack().CloseBox(form_);
      return 0;
    case WM_COMMAND:
      if (lp) {
        if (ControlWindow* c = ById(LOWORD(wp))) c->Command(HIWORD(wp));
      } else if (LOWORD(wp) == IDCANCEL) {
        PressCancel();  // Esc
      }
      return 0;
    case DM_GETDEFID:
      return DefaultButtonId();
    case WM_NOTIFY: {
      auto* header = reinterpret_cast<NMHDR*>(lp);
      // Column widths belong to the window code: the user cannot drag them.
      if (header->code == HDN_BEGINTRACKW || header->code == HDN_BEGINTRACKA ||
          header->code == HDN_DIVIDERDBLCLICKW || header->code == HDN_DIVIDERDBLCLICKA) {
        return TRUE;
      }
      if (ControlWindow* c = ById(static_cast<int>(header->idFrom))) {
        bool handled = false;
        LRESULT r = c->Notify(header, &handled);
        if (handled) return r;
      }
      break;
    }
    case WM_TIMER:
      host_.stack().TimerDue(static_cast<int>(wp));
      return 0;
    case WM_MOUSEMOVE:
      if (form_.on_mouse_move) {
        form_.on_mouse_move(MouseEvent{MouseButton::kLeft, KeysOf(wp), ToTwips(GET_X_LPARAM(lp)),
                                       ToTwips(GET_Y_LPARAM(lp))});
      }
      return 0;
    case WM_SETCURSOR:
      if (host_.busy()) {
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) {
        if (ControlWindow* c = WindowFor(form_.Focused())) {
          if (c->hwnd() && IsWindowEnabled(c->hwnd())) {
            SetFocus(c->hwnd());
            return 0;
          }
        }
      }
      break;
    case WM_DPICHANGED: {
      dpi_ = HIWORD(wp);
      for (auto& [font, handle] : fonts_) DeleteObject(handle);
      fonts_.clear();
      for (auto& c : controls_) {
        c->ApplyFont();
        c->Layout();
      }
      auto* r = reinterpret_cast<RECT*>(lp);
      SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    default: break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace lup::ui::win32
