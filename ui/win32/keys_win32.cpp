// Enter and Esc in our forms. The host's loop hands every message of a form
// to the dialog manager (IsDialogMessageW), which asks the form for its
// default button (DM_GETDEFID) on Enter and sends IDCANCEL on Esc; the form
// answers from Form::EnterTarget, and Esc presses what the window stack
// presses for it.
#include "ui/win32/backend_win32.h"

namespace lup::ui::win32 {

LRESULT FormWindow::DefaultButtonId() const {
  ControlWindow* c = WindowFor(form_.EnterTarget());
  if (!c || !c->hwnd()) return 0;
  return MAKELONG(c->id(), DC_HASDEFID);
}

void FormWindow::PressCancel() { WindowStack::PressEscape(form_); }

void FormWindow::MarkDefaultButton() {
  for (auto& c : controls_) {
    if (c->control().kind() != ControlKind::kButton || !c->hwnd()) continue;
    const bool is_default = &c->control() == form_.DefaultButton();
    SendMessageW(c->hwnd(), BM_SETSTYLE, is_default ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
  }
}

}  // namespace lup::ui::win32
