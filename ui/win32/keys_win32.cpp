// The default and cancel buttons of our forms as the dialog manager sees
// them. Enter and Esc are pressed by the window stack (Win32Host::StackKey);
// the dialog manager only asks for the default button (DM_GETDEFID) to draw
// it, and an IDCANCEL from elsewhere presses what Esc presses.
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
