// The kinds of the system's button class: push buttons, check boxes and
// frames (group boxes).
#include "ui/win32/backend_win32.h"
#include "ui/win32/control_kinds_win32.h"

namespace lup::ui::win32 {

ControlWindow::WindowKind ButtonWindow::Kind() const {
  return {L"BUTTON", BS_PUSHBUTTON | BS_MULTILINE | WS_TABSTOP, 0};
}

void ButtonWindow::OnCommand(UINT code) {
  if (code == BN_CLICKED) control().Fire(control().on_click);
}

ControlWindow::WindowKind CheckBoxWindow::Kind() const {
  return {L"BUTTON", BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP, 0};
}

void CheckBoxWindow::ShowValue() {
  const bool on = static_cast<CheckBox&>(control()).Value() != 0;
  SendMessageW(hwnd_, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CheckBoxWindow::KindChanged(Prop prop, int, int) {
  if (prop == Prop::kValue) ShowValue();
}

void CheckBoxWindow::OnCommand(UINT code) {
  if (code != BN_CLICKED) return;
  const bool on = SendMessageW(hwnd_, BM_GETCHECK, 0, 0) == BST_CHECKED;
  static_cast<CheckBox&>(control()).UserSetValue(on ? 1 : 0);
}

ControlWindow::WindowKind FrameWindow::Kind() const {
  return {L"BUTTON", BS_GROUPBOX | WS_CLIPSIBLINGS, 0};
}

void FrameWindow::KindChanged(Prop prop, int, int) {
  switch (prop) {
    case Prop::kEnabled:
    case Prop::kVisible:
      owner().ForEachInside(control(), [](ControlWindow& c) { c.SyncState(); });
      break;
    case Prop::kGeometry:
      owner().ForEachInside(control(), [](ControlWindow& c) { c.Layout(); });
      break;
    default:
      break;
  }
}

bool FrameWindow::OnMessage(UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
  if (msg != WM_ERASEBKGND) return false;
  // A group box leaves its inside to its parent, which clips it away.
  RECT r{};
  GetClientRect(hwnd_, &r);
  FillRect(reinterpret_cast<HDC>(wp), &r, GetSysColorBrush(COLOR_BTNFACE));
  *result = TRUE;
  return true;
}

}  // namespace lup::ui::win32
