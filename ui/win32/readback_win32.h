#pragma once
// For the Wine tests of real windows: what a window shows, read back through
// the Win32 API, as a person would see it.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

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

// The captions of a window's labels, buttons and check boxes that do not fit
// their control at the window's DPI, measured with the control's own font:
// a button's or check box's caption on one line (a check box also holds its
// box) is no wider than the control; a label's, wrapped to its width, has no
// word wider than it and no line of which more than half is hidden below it.
// Each as "caption (needs W×H, has w×h)".
inline std::vector<std::string> CaptionsThatDoNotFit(HWND window) {
  std::vector<std::string> out;
  std::vector<HWND> children;  // inside frames too
  EnumChildWindows(
      window,
      [](HWND c, LPARAM list) -> BOOL {
        reinterpret_cast<std::vector<HWND>*>(list)->push_back(c);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&children));
  for (HWND c : children) {
    if (!IsWindowVisible(c)) continue;
    const std::wstring cls = ClassOf(c), text = TextOf(c);
    if (text.empty() || (cls != L"Static" && cls != L"Button")) continue;
    const LONG style = static_cast<LONG>(GetWindowLongPtrW(c, GWL_STYLE));
    const LONG type = style & BS_TYPEMASK;
    if (cls == L"Button" && type == BS_GROUPBOX) continue;
    RECT client{};
    GetClientRect(c, &client);
    HDC dc = GetDC(c);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)));
    RECT need{0, 0, client.right, 0};
    const bool label = cls == L"Static";
    DrawTextW(dc, text.c_str(), -1, &need,
              DT_CALCRECT | (label ? DT_WORDBREAK : DT_SINGLELINE) | DT_NOPREFIX);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(c, dc);
    int width = need.right, height = need.bottom;
    if (cls == L"Button" && (type == BS_AUTOCHECKBOX || type == BS_CHECKBOX)) {
      width += MulDiv(16, static_cast<int>(GetDpiForWindow(c)), 96);  // the box and its gap
    } else if (cls == L"Button") {
      width += MulDiv(6, static_cast<int>(GetDpiForWindow(c)), 96);   // the push button's edge
    }
    const bool tooTall = label && height - client.bottom > metrics.tmHeight / 2;
    if (width > client.right || tooTall) {
      char line[512];
      const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, line, sizeof line, nullptr, nullptr);
      std::string s(line, n > 0 ? static_cast<std::size_t>(n - 1) : 0);
      out.push_back(s + " (needs " + std::to_string(width) + "x" + std::to_string(height) + ", has " +
                    std::to_string(client.right) + "x" + std::to_string(client.bottom) + ")");
    }
  }
  return out;
}

inline std::wstring ComboText(HWND combo, int i) {
  wchar_t buf[128] = {};
  SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
  return buf;
}

}  // namespace lup::ui::win32::readback
