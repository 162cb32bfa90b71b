#pragma once
// The real UI backend: forms become windows with Win32 common controls.
//
//   auto host = lup::ui::win32::NewHost();
//   PetListWindow window(*host, ...);
//   host->Show(window.form());
//   return host->Run();
//
// Only the programs' entry points, the Wine tests and the helpers that watch
// the programs from outside (tests/support, bench/) include this header.
#include <windows.h>

#include <memory>

#include "ui/host.h"

namespace lup::ui::win32 {

// The window classes the host registers: every form's window, and the
// hidden window the host makes first, before the program reads anything
// (tools that watch the programs from outside look for these).
inline constexpr wchar_t kFormWindowClass[] = L"LupinaForm";
inline constexpr wchar_t kAppWindowClass[] = L"LupinaApp";

// One host per program, made on the window thread (it initialises COM for
// the shell dialogs and registers the window class).
std::unique_ptr<Host> NewHost();

// The window of a loaded form or of one of its controls; nullptr when the
// form is not loaded or the control has no window (timers). For tests
// (ui/win32/screenshot_win32.h): window code never touches a window handle.
HWND WindowOf(const Form& form);
HWND WindowOf(const Control& control);

// The dots per inch the form's window is laid out for (96 at 100 %).
unsigned DpiOf(const Form& form);

}  // namespace lup::ui::win32
