// What the windows of every kind of control share.
#include "ui/win32/control_window_win32.h"

#include <windowsx.h>

#include "platform/win32/wide.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/control_kinds_win32.h"

namespace lup::ui::win32 {

std::unique_ptr<ControlWindow> ControlWindow::Make(FormWindow& owner, Control& control, int id) {
  std::unique_ptr<ControlWindow> window;
  switch (control.kind()) {
    case ControlKind::kButton:
      window = std::make_unique<ButtonWindow>(owner, control, id);
      break;
    case ControlKind::kCheckBox:
      window = std::make_unique<CheckBoxWindow>(owner, control, id);
      break;
    case ControlKind::kLabel:
      window = std::make_unique<LabelWindow>(owner, control, id);
      break;
    case ControlKind::kTextBox:
      window = std::make_unique<TextBoxWindow>(owner, control, id);
      break;
    case ControlKind::kListBox:
      if (static_cast<ListBox&>(control).HasCheckBoxes()) {
        window = std::make_unique<CheckListWindow>(owner, control, id);
      } else {
        window = std::make_unique<ListBoxWindow>(owner, control, id);
      }
      break;
    case ControlKind::kComboBox:
      window = std::make_unique<ComboBoxWindow>(owner, control, id);
      break;
    case ControlKind::kFrame:
      window = std::make_unique<FrameWindow>(owner, control, id);
      break;
    case ControlKind::kGrid:
      window = std::make_unique<GridWindow>(owner, control, id);
      break;
    case ControlKind::kTimer:
      return nullptr;  // the window stack runs it
  }
  window->Create();
  control.AttachPeer(window.get());
  return window;
}

ControlWindow::ControlWindow(FormWindow& owner, Control& control, int id)
    : owner_(owner), control_(control), id_(id) {}

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

std::wstring ControlWindow::InitialText() const { return Wide(control_.Text()); }

void ControlWindow::Create() {
  const WindowKind kind = Kind();
  DWORD style = WS_CHILD | kind.style;
  if (ShownInFrames()) style |= WS_VISIBLE;
  if (!EnabledInFrames()) style |= WS_DISABLED;
  hwnd_ = CreateWindowExW(kind.ex_style, kind.window_class, InitialText().c_str(), style, 0, 0, 10,
                          10, owner_.hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id_)),
                          owner_.host().instance(), nullptr);
  made_ = hwnd_;
  // Our window procedure goes in front of the control's own, the classic
  // way: the common controls' subclassing looks up window properties for
  // every message, which under Wine asks the server each time and makes
  // filling a list of thousands of entries ten times slower.
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  class_proc_ = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ControlWindow::WindowProc)));
  ApplyFont();
  Layout();
  Created();
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
  if (hwnd_) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(owner_.FontFor(control_.GetFont())),
                 TRUE);
  }
}

void ControlWindow::Layout() {
  if (!hwnd_) return;
  const Rect r = control_.FormGeometry();
  MoveWindow(hwnd_, owner_.Px(r.left), owner_.Px(r.top), owner_.Px(r.width),
             WindowHeight(owner_.Px(r.height)), TRUE);
  LaidOut();
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
  Apply(what);
  flushing_ = false;
}

void ControlWindow::Changed(Control&, Prop prop, int a, int b) {
  if (detached_ || !hwnd_) return;
  switch (prop) {
    case Prop::kText:
      syncing_ = true;
      SetWindowTextW(hwnd_, Wide(control_.Text()).c_str());
      syncing_ = false;
      break;
    case Prop::kEnabled:
    case Prop::kVisible:
      SyncState();
      break;
    case Prop::kToolTip:
      SyncTip();
      break;
    case Prop::kGeometry:
      Layout();
      break;
    case Prop::kFont:
      ApplyFont();
      break;
    case Prop::kTabIndex:
      owner_.ReorderTabs();
      break;
    default:
      break;
  }
  KindChanged(prop, a, b);
}

void ControlWindow::Command(UINT code) {
  if (!detached_ && !syncing_) OnCommand(code);
}

LRESULT ControlWindow::Notify(NMHDR* header, bool* handled) {
  return detached_ ? 0 : OnNotify(header, handled);
}

MouseEvent ControlWindow::MakeMouse(MouseButton button, WPARAM wp, LPARAM lp) const {
  return MouseEvent{button, KeysOf(wp), owner_.ToTwips(GET_X_LPARAM(lp)),
                    owner_.ToTwips(GET_Y_LPARAM(lp))};
}

LRESULT ControlWindow::CallClassProc(UINT msg, WPARAM wp, LPARAM lp) {
  // The window made, even when the control let go of it meanwhile.
  return CallWindowProcW(class_proc_, made_, msg, wp, lp);
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
  LRESULT result = 0;
  if (OnMessage(msg, wp, lp, &result)) return result;
  switch (msg) {
    case WM_SETFOCUS:
      control_.form().UserSetFocus(&control_);
      break;
    case WM_MOUSEMOVE:
      control_.FireMouse(control_.on_mouse_move, MakeMouse(MouseButton::kLeft, wp, lp));
      if (detached_) return 0;
      break;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
      control_.FireMouse(control_.on_mouse_down, MakeMouse(ButtonOf(msg), wp, lp));
      if (detached_) return 0;
      break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
      // Before the control's own handling, which raises the click: mouse up
      // comes before click.
      control_.FireMouse(control_.on_mouse_up, MakeMouse(ButtonOf(msg), wp, lp));
      if (detached_) return 0;
      break;
    case WM_LBUTTONDBLCLK: {
      const LRESULT r = CallClassProc(msg, wp, lp);
      if (!detached_) control_.Fire(control_.on_dbl_click);
      return r;
    }
    default:
      break;
  }
  return CallClassProc(msg, wp, lp);
}

}  // namespace lup::ui::win32
