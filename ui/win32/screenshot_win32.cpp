#include "ui/win32/screenshot_win32.h"

#include <cstdint>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "ui/testing/png.h"

namespace lup::ui::win32 {

bool SaveScreenshot(HWND window, const std::filesystem::path& png) {
  RECT r{};
  if (!window || !GetClientRect(window, &r)) return false;
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
  // Let the painting reach the screen (Wine hands window contents to the X
  // server a little later). Peeking dispatches nothing.
  for (int i = 0; i < 4; ++i) {
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
    Sleep(25);
  }
  HDC screen = GetDC(nullptr);
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;  // top row first
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = false;
  if (bitmap && bits) {
    HGDIOBJ old = SelectObject(mem, bitmap);
    ok = BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != 0;
    SelectObject(mem, old);
    GdiFlush();
  }
  std::vector<std::uint8_t> rgb;
  if (ok) {
    rgb.resize(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
    const auto* px = static_cast<const std::uint8_t*>(bits);
    for (size_t i = 0, n = static_cast<size_t>(w) * static_cast<size_t>(h); i < n; ++i) {
      rgb[i * 3 + 0] = px[i * 4 + 2];
      rgb[i * 3 + 1] = px[i * 4 + 1];
      rgb[i * 3 + 2] = px[i * 4 + 0];
    }
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(mem);
  ReleaseDC(nullptr, screen);
  if (!ok) return false;
  std::error_code ec;
  std::filesystem::create_directories(png.parent_path(), ec);
  std::ofstream out(png, std::ios::binary | std::ios::trunc);
  const std::string data = testing::EncodePng(w, h, rgb);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  return static_cast<bool>(out);
}

bool NothingLeftToPaint(HWND window) {
  if (GetUpdateRect(window, nullptr, FALSE)) return false;
  bool none = true;
  EnumChildWindows(  // every window inside, at any depth
      window,
      [](HWND child, LPARAM none) -> BOOL {
        // A hidden window is never painted, whatever it holds.
        if (!IsWindowVisible(child) || !GetUpdateRect(child, nullptr, FALSE)) return TRUE;
        *reinterpret_cast<bool*>(none) = false;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&none));
  return none;
}

bool RepaintAndSettle(HWND window, const std::function<void()>& pump) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
  // A control may ask for more painting while it paints (a list view that
  // measures its items first): as many rounds as that takes, each round
  // started by what arrives for the thread (painting to do included). The
  // bound is only for a window that never ends painting.
  for (int round = 0; round < 400; ++round) {
    pump();
    if (NothingLeftToPaint(window)) return true;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  return false;
}

std::filesystem::path ScreenshotFile(const std::filesystem::path& folder, std::string_view name) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::filesystem::path file = folder / std::filesystem::path(std::u8string(name.begin(), name.end()));
  const UINT dpi = GetDpiForSystem();
  if (dpi != 96) {
    const std::filesystem::path ext = file.extension();
    file.replace_extension();
    file += "-";
    file += std::to_string(dpi);
    file += "dpi";
    file += ext;
  }
  return file;
}

}  // namespace lup::ui::win32
