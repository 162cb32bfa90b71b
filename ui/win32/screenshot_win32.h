#pragma once
// Screenshots of real windows, for the Wine tests (lup_ui_win32_testing; no
// program links it).
#include <windows.h>

#include <filesystem>
#include <string_view>

namespace lup::ui::win32 {

// Saves what the screen shows of a window's client area as a PNG file (the
// caption is not drawn under Xvfb without a window manager; read it with
// GetWindowTextW). The window must be visible and in front, as it always is
// there. false when the capture or the write failed.
bool SaveScreenshot(HWND window, const std::filesystem::path& png);

// folder/name, the folder made when missing. At another DPI than 96 the name
// gets "-<dpi>dpi" before its extension, so that a run at 144 or 192 DPI
// keeps its own pictures beside the ones at 96.
std::filesystem::path ScreenshotFile(const std::filesystem::path& folder, std::string_view name);

}  // namespace lup::ui::win32
