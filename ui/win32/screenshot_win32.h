#pragma once
// Screenshots of real windows, for the Wine tests (lup_ui_win32_testing; no
// program links it).
#include <windows.h>

#include <filesystem>
#include <functional>
#include <string_view>

namespace lup::ui::win32 {

// Saves what the screen shows of a window's client area as a PNG file (the
// caption is not drawn under Xvfb without a window manager; read it with
// GetWindowTextW). The window must be visible and in front, as it always is
// there. false when the capture or the write failed.
bool SaveScreenshot(HWND window, const std::filesystem::path& png);

// True when neither the window nor any window inside it has a part still to
// paint.
bool NothingLeftToPaint(HWND window);

// Invalidates the window with everything inside it, then runs `pump` (the
// host's loop, once round) until nothing is left to paint: true then, false
// when it still was after many rounds.
bool RepaintAndSettle(HWND window, const std::function<void()>& pump);

// folder/name, the folder made when missing. At another DPI than 96 the name
// gets "-<dpi>dpi" before its extension, so that a run at 144 or 192 DPI
// keeps its own pictures beside the ones at 96.
std::filesystem::path ScreenshotFile(const std::filesystem::path& folder, std::string_view name);

}  // namespace lup::ui::win32
