// Forms as top-level windows and their controls as child windows.
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
  if (control.kind() == ControlKind::kTimer) return;  // the window stack's
  const int id = 100 + static_cast<int>(controls_.size());
  controls_.push_back(std::make_unique<ControlWindow>(*this, control, id));
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
        if (ControlWindow* c = ById(LOWORD(wp))) c->OnCommand(HIWORD(wp));
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
        LRESULT r = c->OnNotify(header, &handled);
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

// --- ControlWindow ---

ControlWindow::ControlWindow(FormWindow& owner, Control& control, int id)
    : owner_(owner), control_(control), id_(id) {
  Create();
  control_.AttachPeer(this);
}

ControlWindow::~ControlWindow() { Detach(); }

void ControlWindow::Detach() {
  if (detached_) return;
  detached_ = true;
  owner_.host().NotPending(this);
  pending_ = 0;
  if (control_.peer() == this) control_.AttachPeer(nullptr);
  if (hwnd_) {
    // Until it goes with the form's window, the control works on its own.
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    hwnd_ = nullptr;
  }
}

void ControlWindow::Create() {
  const wchar_t* cls = nullptr;
  DWORD style = WS_CHILD;
  DWORD ex_style = 0;
  switch (control_.kind()) {
    case ControlKind::kButton:
      cls = L"BUTTON";
      style |= BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP;
      break;
    case ControlKind::kCheckBox:
      cls = L"BUTTON";
      style |= BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP;
      break;
    case ControlKind::kLabel:
      // SS_NOTIFY: the label takes its own mouse moves, so moving over it
      // is not a move over the form's background. SS_NOPREFIX: "&" in a
      // pet name is shown as it is.
      cls = L"STATIC";
      style |= SS_LEFT | SS_NOTIFY | SS_NOPREFIX;
      break;
    case ControlKind::kTextBox:
      cls = L"EDIT";
      style |= ES_AUTOHSCROLL | WS_TABSTOP;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kListBox:
      if (static_cast<ListBox&>(control_).HasCheckBoxes()) {
        cls = WC_LISTVIEWW;
        style |= LVS_REPORT | LVS_NOCOLUMNHEADER | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP;
      } else {
        cls = L"LISTBOX";
        style |= LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_TABSTOP;
      }
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kComboBox:
      cls = L"COMBOBOX";
      style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
      break;
    case ControlKind::kFrame:
      cls = L"BUTTON";
      style |= BS_GROUPBOX | WS_CLIPSIBLINGS;
      break;
    case ControlKind::kGrid:
      cls = WC_LISTVIEWW;
      style |= LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_TABSTOP;
      ex_style |= WS_EX_CLIENTEDGE;
      break;
    case ControlKind::kTimer:  // no window: the window stack runs it
      return;
  }
  if (ShownInFrames()) style |= WS_VISIBLE;
  if (!EnabledInFrames()) style |= WS_DISABLED;
  const std::wstring text = control_.kind() == ControlKind::kGrid ? std::wstring() : Wide(control_.Text());
  hwnd_ = CreateWindowExW(ex_style, cls, text.c_str(), style, 0, 0, 10, 10, owner_.hwnd(),
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)), owner_.host().instance(), nullptr);
  // Our window procedure goes in front of the control's own, the classic
  // way: the common controls' subclassing looks up window properties for
  // every message, which under Wine asks the server each time and makes
  // filling a list of thousands of entries ten times slower.
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  class_proc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindow::WindowProc)));
  ApplyFont();
  Layout();
  switch (control_.kind()) {
    case ControlKind::kCheckBox:
      SendMessageW(hwnd_, BM_SETCHECK, static_cast<CheckBox&>(control_).Value() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    case ControlKind::kListBox:
      if (IsCheckList()) {
        ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
        LVCOLUMNW col{};
        col.mask = LVCF_WIDTH;
        col.cx = owner_.Px(control_.Geometry().width) - GetSystemMetrics(SM_CXVSCROLL) - 4;
        ListView_InsertColumn(hwnd_, 0, &col);
      }
      Defer(kItemsPending);
      break;
    case ControlKind::kComboBox:
      Defer(kItemsPending);
      break;
    case ControlKind::kGrid:
      ListView_SetExtendedListViewStyle(hwnd_, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER);
      if (HWND header = ListView_GetHeader(hwnd_)) {
        SetWindowLongPtrW(header, GWL_STYLE, GetWindowLongPtrW(header, GWL_STYLE) | HDS_NOSIZING);
      }
      Defer(kColumnsPending | kRowsPending | kSelectionPending);
      break;
    default: break;
  }
  Flush();
  SyncTip();
}

bool ControlWindow::ShownInFrames() const {
  for (const Control* c = &control_; c; c = c->parent()) {
    if (!c->Visible()) return false;
  }
  return true;
}

bool ControlWindow::EnabledInFrames() const {
  for (const Control* c = &control_; c; c = c->parent()) {
    if (!c->Enabled()) return false;
  }
  return true;
}

void ControlWindow::SyncState() {
  if (!hwnd_) return;
  EnableWindow(hwnd_, EnabledInFrames());
  const bool shown = ShownInFrames();
  // A list filled while hidden is complete when it appears.
  if (shown) Flush();
  ShowWindow(hwnd_, shown ? SW_SHOWNA : SW_HIDE);
}

void ControlWindow::ApplyFont() {
  if (hwnd_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(owner_.FontFor(control_.GetFont())), TRUE);
}

void ControlWindow::Layout() {
  if (!hwnd_) return;
  const Rect r = control_.FormGeometry();
  int height = owner_.Px(r.height);
  // A drop-down list's window height includes its opened list.
  if (control_.kind() == ControlKind::kComboBox) height += owner_.Px(2400);
  MoveWindow(hwnd_, owner_.Px(r.left), owner_.Px(r.top), owner_.Px(r.width), height, TRUE);
  if (control_.kind() == ControlKind::kGrid) {
    GridCreateColumns();
  }
}

void ControlWindow::SyncTip() {
  HWND tip = owner_.tooltip();
  if (!hwnd_ || !tip) return;
  const std::wstring text = Wide(control_.ToolTip());
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  info.hwnd = owner_.hwnd();
  info.uId = reinterpret_cast<UINT_PTR>(hwnd_);
  info.lpszText = const_cast<wchar_t*>(text.c_str());
  if (text.empty()) {
    if (tip_added_) SendMessageW(tip, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    tip_added_ = false;
  } else if (tip_added_) {
    SendMessageW(tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&info));
  } else {
    tip_added_ = SendMessageW(tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
  }
}

bool ControlWindow::IsCheckList() const {
  return control_.kind() == ControlKind::kListBox && static_cast<const ListBox&>(control_).HasCheckBoxes();
}

void ControlWindow::Defer(unsigned what) {
  if (detached_ || !what) return;
  pending_ |= what;
  if (!listed_) {
    listed_ = true;
    owner_.host().Pending(this);
  }
}

void ControlWindow::Flush() {
  listed_ = false;
  if (!pending_ || flushing_ || detached_) return;
  if (!hwnd_) {
    pending_ = 0;
    return;
  }
  flushing_ = true;
  const unsigned what = pending_;
  pending_ = 0;
  if (what & kItemsPending) {
    ticks_pending_.clear();
    SyncItems();  // with every tick and the selected entry
  } else {
    if (what & kTicksPending) SyncTicks();
    if (what & kIndexPending) SyncListIndex();
  }
  if (control_.kind() == ControlKind::kGrid) {
    if (what & kColumnsPending) GridCreateColumns();
    if (what & kRowsPending) GridSyncShape();
    if (what & kCellsPending) InvalidateRect(hwnd_, nullptr, FALSE);
    if (what & kSelectionPending) GridSyncSelection();
    if (what & kTopRowPending) GridScrollTo(top_row_pending_);
  }
  flushing_ = false;
}

void ControlWindow::SyncItems() {
  syncing_ = true;
  auto& list = static_cast<ListControl&>(control_);
  const auto count = static_cast<WPARAM>(list.Count());
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  if (control_.kind() == ControlKind::kComboBox) {
    SendMessageW(hwnd_, CB_RESETCONTENT, 0, 0);
    SendMessageW(hwnd_, CB_INITSTORAGE, count, static_cast<LPARAM>(count * 32));
    for (const auto& item : list.Items()) {
      SendMessageW(hwnd_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
  } else if (IsCheckList()) {
    auto& box = static_cast<ListBox&>(control_);
    ListView_DeleteAllItems(hwnd_);
    ListView_SetItemCount(hwnd_, box.Count());
    for (int i = 0; i < box.Count(); ++i) {
      std::wstring text = Wide(box.Item(i));
      LVITEMW item{};
      item.mask = LVIF_TEXT | LVIF_STATE;
      item.iItem = i;
      item.pszText = text.data();
      item.state = INDEXTOSTATEIMAGEMASK(box.Checked(i) ? 2 : 1);
      item.stateMask = LVIS_STATEIMAGEMASK;
      ListView_InsertItem(hwnd_, &item);
      // Some list views (Wine's) insert every entry unticked.
      if (box.Checked(i)) ListView_SetCheckState(hwnd_, i, TRUE);
    }
    shown_ = ShownSelection{};  // nothing selected in a list just filled
  } else {
    SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
    SendMessageW(hwnd_, LB_INITSTORAGE, count, static_cast<LPARAM>(count * 32));
    for (const auto& item : list.Items()) {
      SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(item).c_str()));
    }
  }
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
  syncing_ = false;
  SyncListIndex();
}

void ControlWindow::SyncTicks() {
  auto& box = static_cast<ListBox&>(control_);
  syncing_ = true;
  for (int i : ticks_pending_) {
    if (i < box.Count()) ListView_SetCheckState(hwnd_, i, box.Checked(i));
  }
  ticks_pending_.clear();
  syncing_ = false;
}

void ControlWindow::SyncListIndex() {
  syncing_ = true;
  const int i = static_cast<ListControl&>(control_).ListIndex();
  if (control_.kind() == ControlKind::kComboBox) {
    SendMessageW(hwnd_, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
  } else if (IsCheckList()) {
    // One entry is selected at a time: only the one that was and the one
    // that is change.
    if (!shown_.known) {
      shown_.first = ListView_GetNextItem(hwnd_, -1, LVNI_SELECTED);
      shown_.focus = ListView_GetNextItem(hwnd_, -1, LVNI_FOCUSED);
      shown_.known = true;
    }
    if (shown_.first >= 0 && shown_.first != i) ListView_SetItemState(hwnd_, shown_.first, 0, LVIS_SELECTED);
    if (shown_.focus >= 0 && shown_.focus != i) ListView_SetItemState(hwnd_, shown_.focus, 0, LVIS_FOCUSED);
    if (i >= 0 && (shown_.first != i || shown_.focus != i)) {
      ListView_SetItemState(hwnd_, i, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    }
    shown_.first = shown_.last = shown_.focus = i;
  } else {
    SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
  }
  syncing_ = false;
}

void ControlWindow::Changed(Control&, Prop prop, int a, int b) {
  if (detached_ || !hwnd_) return;
  (void)b;
  switch (prop) {
    case Prop::kText:
      syncing_ = true;
      SetWindowTextW(hwnd_, Wide(control_.Text()).c_str());
      syncing_ = false;
      break;
    case Prop::kEnabled:
    case Prop::kVisible:
      SyncState();
      // The controls in a frame are hidden and disabled with it.
      if (control_.kind() == ControlKind::kFrame) owner_.ForEachInside(control_, [](ControlWindow& c) { c.SyncState(); });
      break;
    case Prop::kToolTip: SyncTip(); break;
    case Prop::kGeometry:
      Layout();
      if (control_.kind() == ControlKind::kFrame) owner_.ForEachInside(control_, [](ControlWindow& c) { c.Layout(); });
      break;
    case Prop::kFont: ApplyFont(); break;
    case Prop::kTabIndex: owner_.ReorderTabs(); break;
    case Prop::kValue:
      SendMessageW(hwnd_, BM_SETCHECK, static_cast<CheckBox&>(control_).Value() ? BST_CHECKED : BST_UNCHECKED, 0);
      break;
    // Lists: marked now, applied by Flush.
    case Prop::kItems: Defer(kItemsPending); break;
    case Prop::kListIndex: Defer(kIndexPending); break;
    case Prop::kItemChecked:
      if (!(pending_ & kItemsPending)) {
        ticks_pending_.push_back(a);
        // Ticked and unticked over and over: the whole list is cheaper.
        if (ticks_pending_.size() > static_cast<size_t>(static_cast<ListBox&>(control_).Count())) {
          Defer(kItemsPending);
          break;
        }
      }
      Defer(kTicksPending);
      break;
    case Prop::kGridShape: Defer(kColumnsPending | kRowsPending | kSelectionPending); break;
    case Prop::kColWidth: Defer(kColumnsPending); break;
    case Prop::kCell: Defer(a == 0 ? kColumnsPending : kCellsPending); break;
    case Prop::kGridSelection: Defer(kSelectionPending); break;
    case Prop::kTopRow:
      top_row_pending_ = a;
      Defer(kTopRowPending);
      break;
    default: break;
  }
}

std::optional<int> ControlWindow::Query(const Control&, Prop prop) const {
  if (detached_ || !hwnd_ || prop != Prop::kTopRow || control_.kind() != ControlKind::kGrid) return std::nullopt;
  if (static_cast<const Grid&>(control_).Rows() < 2) return std::nullopt;
  // The rows and a scroll asked for may still wait.
  const_cast<ControlWindow*>(this)->Flush();
  return ListView_GetTopIndex(hwnd_) + 1;
}

void ControlWindow::OnCommand(UINT code) {
  if (detached_ || syncing_) return;
  switch (control_.kind()) {
    case ControlKind::kButton:
      if (code == BN_CLICKED) control_.Fire(control_.on_click);
      break;
    case ControlKind::kCheckBox:
      if (code == BN_CLICKED) {
        const bool on = SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
        static_cast<CheckBox&>(control_).UserSetValue(on ? 1 : 0);
      }
      break;
    case ControlKind::kLabel:
      if (code == STN_CLICKED) control_.Fire(control_.on_click);
      break;
    case ControlKind::kTextBox:
      if (code == EN_CHANGE) {
        const int n = GetWindowTextLengthW(hwnd_);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        GetWindowTextW(hwnd_, text.data(), n + 1);
        text.resize(static_cast<size_t>(n));
        control_.UserSetText(Narrow(text));
      }
      break;
    case ControlKind::kListBox:
      if (code == LBN_SELCHANGE) {
        const auto i = static_cast<int>(SendMessageW(hwnd_, LB_GETCURSEL, 0, 0));
        static_cast<ListControl&>(control_).UserSetListIndex(i == LB_ERR ? -1 : i);
      }
      break;
    case ControlKind::kComboBox:
      if (code == CBN_SELCHANGE) {
        const auto i = static_cast<int>(SendMessageW(hwnd_, CB_GETCURSEL, 0, 0));
        static_cast<ListControl&>(control_).UserSetListIndex(i == CB_ERR ? -1 : i);
      }
      break;
    default: break;
  }
}

LRESULT ControlWindow::OnNotify(NMHDR* header, bool* handled) {
  if (detached_) return 0;
  const bool check_list =
      control_.kind() == ControlKind::kListBox && static_cast<ListBox&>(control_).HasCheckBoxes();
  if (control_.kind() == ControlKind::kGrid) {
    switch (header->code) {
      case LVN_GETDISPINFOW: {
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(header);
        auto& grid = static_cast<Grid&>(control_);
        const int row = info->item.iItem + 1, col = info->item.iSubItem;
        if ((info->item.mask & LVIF_TEXT) && info->item.pszText && info->item.cchTextMax > 0) {
          text_buffer_ = (row < grid.Rows() && col < grid.Cols()) ? Wide(grid.Cell(row, col)) : std::wstring();
          lstrcpynW(info->item.pszText, text_buffer_.c_str(), info->item.cchTextMax);
        }
        *handled = true;
        return 0;
      }
      case NM_CUSTOMDRAW:
        *handled = true;
        return GridCustomDraw(reinterpret_cast<NMLVCUSTOMDRAW*>(header));
      case LVN_ITEMCHANGED:
      case LVN_ODSTATECHANGED:
        if (!syncing_) {
          shown_.known = false;  // the list view changed its selection itself
          GridFromView();
        }
        *handled = true;
        return 0;
      default: return 0;
    }
  }
  if (check_list && header->code == LVN_ITEMCHANGED && !syncing_) {
    shown_.known = false;
    auto* change = reinterpret_cast<NMLISTVIEW*>(header);
    auto& box = static_cast<ListBox&>(control_);
    if (change->iItem < 0 || change->iItem >= box.Count() || !(change->uChanged & LVIF_STATE)) return 0;
    const UINT old_image = change->uOldState & LVIS_STATEIMAGEMASK;
    const UINT new_image = change->uNewState & LVIS_STATEIMAGEMASK;
    if (old_image != new_image && new_image != 0) {
      box.UserSetChecked(change->iItem, (new_image >> 12) == 2);
      if (detached_) return 0;
    }
    if ((change->uNewState & LVIS_SELECTED) && !(change->uOldState & LVIS_SELECTED)) {
      box.UserSetListIndex(change->iItem);
    }
    *handled = true;
  }
  return 0;
}

MouseEvent ControlWindow::MakeMouse(MouseButton button, WPARAM wp, LPARAM lp) const {
  return MouseEvent{button, KeysOf(wp), owner_.ToTwips(GET_X_LPARAM(lp)), owner_.ToTwips(GET_Y_LPARAM(lp))};
}

LRESULT CALLBACK ControlWindow::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* c = reinterpret_cast<ControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!c) {
    const auto own = reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd, GCLP_WNDPROC));
    return CallWindowProcW(own, hwnd, msg, wp, lp);
  }
  if (msg == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    c->hwnd_ = nullptr;
    return CallWindowProcW(c->class_proc_, hwnd, msg, wp, lp);
  }
  if (c->detached_) return CallWindowProcW(c->class_proc_, hwnd, msg, wp, lp);
  // Whatever reaches the window (a paint, a read-back, the user's input)
  // meets it as the Form has it.
  if (c->pending_ && !c->flushing_) c->Flush();
  return c->Handle(msg, wp, lp);
}

LRESULT ControlWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  HWND hwnd = hwnd_;
  if (control_.kind() == ControlKind::kGrid) {
    switch (msg) {
      case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
      case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
      case WM_LBUTTONDBLCLK: case WM_RBUTTONDBLCLK: case WM_MBUTTONDBLCLK:
        return GridMouse(msg, wp, lp);
      case WM_MOUSEMOVE:
        if (dragging_) GridMouse(msg, wp, lp);
        break;
      case WM_GETDLGCODE: {
        // Enter on a grid is the grid's own, not the form's default button.
        const LRESULT code = CallWindowProcW(class_proc_, hwnd, msg, wp, lp);
        const auto* key = reinterpret_cast<const MSG*>(lp);
        if (key && key->message == WM_KEYDOWN && key->wParam == VK_RETURN) return code | DLGC_WANTMESSAGE;
        return code;
      }
      case WM_KEYDOWN:
        if (wp == VK_RETURN) {
          // Enter does what a double click does (the pet list calls the pet).
          WindowStack::PressEnter(control_.form());
          return 0;
        }
        break;
      case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lp);
        if (hdr->code == NM_CUSTOMDRAW && hdr->hwndFrom == ListView_GetHeader(hwnd)) {
          return GridHeaderDraw(reinterpret_cast<NMCUSTOMDRAW*>(lp));
        }
        break;
      }
      default: break;
    }
  }
  switch (msg) {
    case WM_ERASEBKGND:
      // A group box leaves its inside to its parent, which clips it away.
      if (control_.kind() == ControlKind::kFrame) {
        RECT r{};
        GetClientRect(hwnd, &r);
        FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_BTNFACE));
        return TRUE;
      }
      break;
    case WM_SETFOCUS:
      control_.form().UserSetFocus(&control_);
      break;
    case WM_MOUSEMOVE:
      control_.FireMouse(control_.on_mouse_move, MakeMouse(MouseButton::kLeft, wp, lp));
      if (detached_) return 0;
      break;
    case WM_LBUTTONDOWN: case WM_RBUTTONDOWN: case WM_MBUTTONDOWN:
      control_.FireMouse(control_.on_mouse_down, MakeMouse(ButtonOf(msg), wp, lp));
      if (detached_) return 0;
      break;
    case WM_LBUTTONUP: case WM_RBUTTONUP: case WM_MBUTTONUP:
      // Before the control's own handling, which raises the click: mouse up
      // comes before click.
      control_.FireMouse(control_.on_mouse_up, MakeMouse(ButtonOf(msg), wp, lp));
      if (detached_) return 0;
      break;
    case WM_LBUTTONDBLCLK: {
      LRESULT r = CallWindowProcW(class_proc_, hwnd, msg, wp, lp);
      if (!detached_) control_.Fire(control_.on_dbl_click);
      return r;
    }
    default: break;
  }
  return CallWindowProcW(class_proc_, hwnd, msg, wp, lp);
}

}  // namespace lup::ui::win32
