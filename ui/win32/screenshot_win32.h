#pragma once
// Screenshots of real windows, for the Wine tests (lup_ui_win32_testing; no
// program links it).
#include <windows.h>

#include <filesystem>

namespace lup::ui::win32 {

// Saves what the screen shows of a window's client area as a PNG file (the
// caption is not drawn under Xvfb without a window manager; read it with
// GetWindowTextW). The window must be visible and in front, as it always is
// there. false when the capture or the write failed.
bool SaveScreenshot(HWND window, const std::filesystem::path& png);

}  // namespace lup::ui::win32
