#include "tests/support/remote_window_win32.h"

#include <commctrl.h>

#include <algorithm>

#include "ui/win32/host_win32.h"

namespace lup::remote {

std::wstring TextOf(HWND window) {
  wchar_t buffer[2048] = {};
  GetWindowTextW(window, buffer, 2048);
  return buffer;
}

std::wstring ClassOf(HWND window) {
  wchar_t buffer[64] = {};
  GetClassNameW(window, buffer, 64);
  return buffer;
}

HWND Form(DWORD pid, const std::wstring& caption) {
  struct Search {
    DWORD pid;
    const std::wstring& caption;
    HWND found;
  } search{pid, caption, nullptr};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner != s->pid || !IsWindowVisible(h) || ClassOf(h) != lup::ui::win32::kFormWindowClass ||
            TextOf(h) != s->caption)
          return TRUE;
        s->found = h;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<HWND> Children(HWND form, const wchar_t* cls) {
  struct Search {
    const wchar_t* cls;
    std::vector<HWND> found;
  } search{cls, {}};
  EnumChildWindows(
      form,
      [](HWND c, LPARAM p) -> BOOL {
        auto* s = reinterpret_cast<Search*>(p);
        if (ClassOf(c) == s->cls) s->found.push_back(c);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  std::stable_sort(search.found.begin(), search.found.end(),
                   [](HWND a, HWND b) { return GetDlgCtrlID(a) < GetDlgCtrlID(b); });
  return search.found;
}

HWND Child(HWND form, const wchar_t* cls, const wchar_t* caption) {
  for (HWND c : Children(form, cls))
    if (!caption || TextOf(c) == caption) return c;
  return nullptr;
}

bool Ask(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, UINT patienceMs) {
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutW(window, msg, wp, lp, SMTO_NORMAL, patienceMs, &r)) return false;
  *result = static_cast<LRESULT>(r);
  return true;
}

int Count(HWND list, UINT patienceMs) {
  LRESULT n = -1;
  if (!Ask(list, LVM_GETITEMCOUNT, 0, 0, &n, patienceMs)) return -1;
  return static_cast<int>(n);
}

void Press(HWND form, HWND button) {
  PostMessageW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

bool Choose(HWND form, HWND combo, const std::wstring& text) {
  LRESULT index = CB_ERR, r = 0;
  // The strings of a combo box's own messages are carried between processes.
  if (!Ask(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
           reinterpret_cast<LPARAM>(text.c_str()), &index) ||
      index == CB_ERR)
    return false;
  Ask(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0, &r);
  PostMessageW(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  return true;
}

std::optional<POINT> ItemPoint(HANDLE process, HWND list, int item) {
  void* remote =
      VirtualAllocEx(process, nullptr, sizeof(RECT), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return std::nullopt;
  RECT r{};
  r.left = LVIR_BOUNDS;
  LRESULT ok = 0;
  SIZE_T moved = 0;
  const bool read = WriteProcessMemory(process, remote, &r, sizeof r, &moved) &&
                    Ask(list, LVM_GETITEMRECT, static_cast<WPARAM>(item),
                        reinterpret_cast<LPARAM>(remote), &ok) &&
                    ok && ReadProcessMemory(process, remote, &r, sizeof r, &moved);
  VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  if (!read) return std::nullopt;
  return POINT{r.left + 12, (r.top + r.bottom) / 2};
}

void Click(HWND window, POINT p, WPARAM keys) {
  PostMessageW(window, WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(p.x, p.y));
  PostMessageW(window, WM_LBUTTONUP, keys, MAKELPARAM(p.x, p.y));
}

}  // namespace lup::remote
