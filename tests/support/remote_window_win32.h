#pragma once
// Driving another process's windows from outside, as the benchmarks and the
// stress programs do: finding its forms and controls, posting the clicks a
// user makes, and reading its lists through the messages that carry their
// answers between processes.
#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace lup::remote {

std::wstring TextOf(HWND window);
std::wstring ClassOf(HWND window);

// The visible top-level form of process `pid` with this caption, or nullptr.
HWND Form(DWORD pid, const std::wstring& caption);

// The controls of `form` of the class `cls` (also those inside its frames),
// in the order the form made them.
std::vector<HWND> Children(HWND form, const wchar_t* cls);

// The first of them; with `caption`, the first showing that text. nullptr
// when none.
HWND Child(HWND form, const wchar_t* cls, const wchar_t* caption = nullptr);

// A message to another process's window; false when it did not answer
// within `patienceMs` (it is busy: ask again).
bool Ask(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT* result, UINT patienceMs = 1000);

// The rows of a list view; -1 when it did not answer within `patienceMs`.
int Count(HWND list, UINT patienceMs = 1000);

// As the user's click on a button (the form hears BN_CLICKED).
void Press(HWND form, HWND button);

// Chooses the entry `text` of a drop-down list as the user would (the form
// hears CBN_SELCHANGE); false when the list has no such entry.
bool Choose(HWND form, HWND combo, const std::wstring& text);

// A list view item's place, read through memory in the program's process
// (LVM_GETITEMRECT takes a pointer, which no one translates between
// processes); none when it could not be read.
std::optional<POINT> ItemPoint(HANDLE process, HWND list, int item);

// A left click at `p` in `window`, with `keys` (MK_SHIFT, MK_CONTROL) held.
void Click(HWND window, POINT p, WPARAM keys = 0);

}  // namespace lup::remote
