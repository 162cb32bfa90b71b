// Labels and text boxes.
#include "platform/win32/wide.h"
#include "ui/win32/backend_win32.h"
#include "ui/win32/control_kinds_win32.h"

namespace lup::ui::win32 {

// SS_NOTIFY: the label takes its own mouse moves, so moving over it is not
// a move over the form's background. SS_NOPREFIX: "&" in a pet name is
// shown as it is.
ControlWindow::WindowKind LabelWindow::Kind() const {
  return {L"STATIC", SS_LEFT | SS_NOTIFY | SS_NOPREFIX, 0};
}

void LabelWindow::OnCommand(UINT code) {
  if (code == STN_CLICKED) control().Fire(control().on_click);
}

ControlWindow::WindowKind TextBoxWindow::Kind() const {
  return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
}

void TextBoxWindow::OnCommand(UINT code) {
  if (code != EN_CHANGE) return;
  const int n = GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(hwnd_, text.data(), n + 1);
  text.resize(static_cast<size_t>(n));
  control().UserSetText(Narrow(text));
}

}  // namespace lup::ui::win32
