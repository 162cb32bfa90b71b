#pragma once
// For the Wine tests of real windows: what a window shows, read back through
// the Win32 API, as a person would see it.
#include <windows.h>

#include <commctrl.h>

#include <string>

#include "ui/control.h"

namespace lup::ui::win32::readback {

inline std::wstring TextOf(HWND h) {
  const int n = GetWindowTextLengthW(h);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(h, s.data(), n + 1);
  s.resize(static_cast<size_t>(n));
  return s;
}

inline std::wstring ClassOf(HWND h) {
  wchar_t name[64] = {};
  GetClassNameW(h, name, 64);
  return name;
}

// A control's place in its parent's client area, in pixels.
inline RECT PlaceOf(HWND control) {
  RECT r{};
  GetWindowRect(control, &r);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The colour on the screen at a point of a window's client area.
inline COLORREF ScreenPixel(HWND window, POINT client) {
  ClientToScreen(window, &client);
  HDC screen = GetDC(nullptr);
  const COLORREF c = GetPixel(screen, client.x, client.y);
  ReleaseDC(nullptr, screen);
  return c;
}

inline COLORREF Ref(Colour c) { return RGB(c.r, c.g, c.b); }

// Text of a list view cell (item = grid row - 1).
inline std::wstring CellText(HWND list, int item, int sub) {
  wchar_t buf[256] = {};
  ListView_GetItemText(list, item, sub, buf, 256);
  return buf;
}

inline std::wstring HeaderText(HWND list, int col) {
  wchar_t text[64] = {};
  HDITEMW item{};
  item.mask = HDI_TEXT;
  item.pszText = text;
  item.cchTextMax = 64;
  Header_GetItem(ListView_GetHeader(list), col, &item);
  return text;
}

inline std::wstring ComboText(HWND combo, int i) {
  wchar_t buf[128] = {};
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
  return buf;
}

}  // namespace lup::ui::win32::readback
