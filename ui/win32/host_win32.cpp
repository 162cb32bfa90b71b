// The Win32 UI host: event loops, modal forms, message boxes and the shell's
// file, folder and icon choosers.
#include "ui/win32/host_win32.h"

#include <commdlg.h>
#include <objbase.h>
#include <shlobj.h>

#include <algorithm>
#include <vector>

#include "platform/win32/wide.h"
#include "ui/win32/backend_win32.h"

namespace lup::ui::win32 {

namespace {

UINT MessageFlags(const Message& m) {
  UINT flags = MB_SETFOREGROUND;
  switch (m.buttons) {
    case Buttons::kOk: flags |= MB_OK; break;
    case Buttons::kOkCancel: flags |= MB_OKCANCEL; break;
    case Buttons::kYesNo: flags |= MB_YESNO; break;
    case Buttons::kRetryCancel: flags |= MB_RETRYCANCEL; break;
  }
  switch (m.icon) {
    case Icon::kNone: break;
    case Icon::kInformation: flags |= MB_ICONINFORMATION; break;
    case Icon::kExclamation: flags |= MB_ICONEXCLAMATION; break;
    case Icon::kCritical: flags |= MB_ICONERROR; break;
    case Icon::kQuestion: flags |= MB_ICONQUESTION; break;
  }
  flags |= m.default_button == 1 ? MB_DEFBUTTON2 : MB_DEFBUTTON1;
  return flags;
}

Answer AnswerOf(int id, Buttons buttons) {
  switch (id) {
    case IDOK: return Answer::kOk;
    case IDYES: return Answer::kYes;
    case IDNO: return Answer::kNo;
    case IDRETRY: return Answer::kRetry;
    case IDCANCEL: return Answer::kCancel;
    default:  // the box could not be shown: the safe answer
      return buttons == Buttons::kOk ? Answer::kOk : buttons == Buttons::kYesNo ? Answer::kNo : Answer::kCancel;
  }
}

std::filesystem::path PathOf(const wchar_t* text) { return std::filesystem::path(std::wstring(text)); }

std::wstring ClassName(HWND h) {
  wchar_t name[64] = {};
  GetClassNameW(h, name, 64);
  return name;
}

std::wstring WindowText(HWND h) {
  const int n = GetWindowTextLengthW(h);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  GetWindowTextW(h, s.data(), n + 1);
  s.resize(static_cast<size_t>(n));
  return s;
}

// Every message box gets our Japanese font, and its text and buttons are
// laid out again for it. The system's message font may lack Japanese (Wine
// draws boxes then, and asking the font whether it holds the characters
// answers yes through Wine's font linking), and our windows use this font
// anyway.
HFONT g_box_font = nullptr;
HHOOK g_box_hook = nullptr;

void FixBoxFont(HWND box) {
  HWND text = nullptr;
  std::vector<HWND> buttons;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    const std::wstring cls = ClassName(c);
    const auto style = GetWindowLongPtrW(c, GWL_STYLE);
    if (cls == L"Button") buttons.push_back(c);
    else if (cls == L"Static" && (style & SS_TYPEMASK) != SS_ICON && !text && GetWindowTextLengthW(c) > 0) text = c;
  }
  if (!text) return;
  const std::wstring message = WindowText(text);
  if (!g_box_font) g_box_font = CreateUiFont(Font{}, WindowDpi(box));
  RECT old_rect{};
  GetWindowRect(text, &old_rect);
  MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&old_rect), 2);
  const int old_w = old_rect.right - old_rect.left, old_h = old_rect.bottom - old_rect.top;
  HDC dc = GetDC(text);
  HGDIOBJ old = SelectObject(dc, g_box_font);
  // Each line as wide as it needs, up to two thirds of the screen; wrapped beyond.
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &mi);
  const int widest = std::max(old_w, static_cast<int>(mi.rcWork.right - mi.rcWork.left) * 2 / 3);
  RECT need{0, 0, 0, 0};
  DrawTextW(dc, message.c_str(), static_cast<int>(message.size()), &need, DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
  if (need.right > widest) {
    need = RECT{0, 0, widest, 0};
    DrawTextW(dc, message.c_str(), static_cast<int>(message.size()), &need,
              DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  }
  SelectObject(dc, old);
  ReleaseDC(text, dc);
  const int dw = std::max(0, static_cast<int>(need.right) - old_w);
  const int dh = std::max(0, static_cast<int>(need.bottom) - old_h);
  SendMessageW(text, WM_SETFONT, reinterpret_cast<WPARAM>(g_box_font), FALSE);
  SetWindowPos(text, nullptr, 0, 0, old_w + dw, old_h + dh, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (HWND b : buttons) {
    SendMessageW(b, WM_SETFONT, reinterpret_cast<WPARAM>(g_box_font), FALSE);
    RECT r{};
    GetWindowRect(b, &r);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(b, nullptr, r.left + dw / 2, r.top + dh, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT frame{};
  GetWindowRect(box, &frame);
  SetWindowPos(box, nullptr, frame.left - dw / 2, frame.top - dh / 2, frame.right - frame.left + dw,
               frame.bottom - frame.top + dh, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(box, nullptr, TRUE);
}

// Runs once the box has laid itself out (its WM_INITDIALOG has returned),
// whether or not it ever becomes the active window.
LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION) {
    const auto* m = reinterpret_cast<const CWPRETSTRUCT*>(lp);
    if (m->message == WM_INITDIALOG && ClassName(m->hwnd) == L"#32770" && !GetPropW(m->hwnd, L"LupinaFont")) {
      SetPropW(m->hwnd, L"LupinaFont", reinterpret_cast<HANDLE>(1));
      FixBoxFont(m->hwnd);
    }
  }
  return CallNextHookEx(g_box_hook, code, wp, lp);
}

int g_windows_made = 0;
LRESULT CALLBACK CountWindows(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_CREATEWND) ++g_windows_made;
  return CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

std::unique_ptr<Host> NewHost() { return std::make_unique<Win32Host>(); }

HWND WindowOf(const Form& form) {
  auto* w = dynamic_cast<FormWindow*>(WindowStack::WindowOf(form));
  return w ? w->hwnd() : nullptr;
}

HWND WindowOf(const Control& control) {
  auto* w = dynamic_cast<ControlWindow*>(control.peer());
  return w ? w->hwnd() : nullptr;
}

unsigned DpiOf(const Form& form) {
  auto* w = dynamic_cast<FormWindow*>(WindowStack::WindowOf(form));
  return w ? w->dpi() : 96;
}

Win32Host::Win32Host() : instance_(GetModuleHandleW(nullptr)) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));

  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = &FormWindow::Proc;
  wc.hInstance = instance_;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kFormWindowClass;
  wc.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(1));
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  RegisterClassExW(&wc);

  WNDCLASSEXW app{};
  app.cbSize = sizeof app;
  app.lpfnWndProc = &DefWindowProcW;
  app.hInstance = instance_;
  app.lpszClassName = kAppWindowClass;
  RegisterClassExW(&app);
  app_window_ = CreateWindowExW(0, kAppWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance_, nullptr);
}

Win32Host::~Win32Host() {
  stack_.ForgetAll();
  if (g_box_font) {
    DeleteObject(g_box_font);
    g_box_font = nullptr;
  }
  graveyard_.clear();
  if (app_window_) DestroyWindow(app_window_);
  if (com_) CoUninitialize();
}

// --- windows for the stack ---

namespace {

FormWindow* FormWindowOf(const Form& form) {
  return dynamic_cast<FormWindow*>(WindowStack::WindowOf(form));
}

}  // namespace

std::unique_ptr<FormPeer> Win32Host::MakeWindow(Form& form, const Form* owner) {
  HWND owner_window = owner ? WindowOf(*owner) : nullptr;
  if (!owner_window && !form.ShowInTaskbar()) owner_window = app_window_;
  return std::make_unique<FormWindow>(*this, form, owner_window);
}

void Win32Host::DropWindow(std::unique_ptr<FormPeer> window) {
  static_cast<FormWindow&>(*window).Detach();
  graveyard_.push_back(std::move(window));
}

void Win32Host::Block(Form& form, bool on) {
  if (FormWindow* w = FormWindowOf(form)) w->Block(on);
}

void Win32Host::Activate(Form& form) {
  if (HWND h = WindowOf(form)) SetActiveWindow(h);
}

void Win32Host::StartTimer(Form& form, int id, int interval_ms) {
  if (FormWindow* w = FormWindowOf(form)) w->StartTimer(id, interval_ms);
}

void Win32Host::StopTimer(Form& form, int id) {
  if (FormWindow* w = FormWindowOf(form)) w->StopTimer(id);
}

HWND Win32Host::OwnerWindow(const Form* owner) const {
  const Form* form = stack_.OwnerFor(owner);
  return form ? WindowOf(*form) : nullptr;
}

// --- changes waiting for the windows ---

void Win32Host::Pending(ControlWindow* window) { pending_.push_back(window); }

void Win32Host::NotPending(ControlWindow* window) {
  pending_.erase(std::remove(pending_.begin(), pending_.end(), window), pending_.end());
}

void Win32Host::FlushAll() {
  // Applying changes runs no window code, so nothing new waits afterwards;
  // the loop only makes sure of it.
  for (int round = 0; round < 4 && !pending_.empty(); ++round) {
    std::vector<ControlWindow*> now;
    now.swap(pending_);
    for (ControlWindow* w : now) w->Flush();
  }
}

// --- loops ---

// Enter and Esc in a form are the window stack's, as in the headless
// backend: Enter presses what the stack presses (a focused grid's double
// click, the focused or default button), Esc the cancel button. A control
// that asks for the key itself keeps it (an open drop-down list closes on
// it), as the dialog manager would let it.
bool Win32Host::StackKey(Form& form, const MSG& msg) {
  if (msg.message != WM_KEYDOWN || (msg.wParam != VK_RETURN && msg.wParam != VK_ESCAPE)) return false;
  const LRESULT wants =
      SendMessageW(msg.hwnd, WM_GETDLGCODE, msg.wParam, reinterpret_cast<LPARAM>(&msg));
  if (wants & (DLGC_WANTMESSAGE | DLGC_WANTALLKEYS)) return false;
  if (msg.wParam == VK_RETURN) {
    WindowStack::PressEnter(form);
  } else {
    WindowStack::PressEscape(form);
  }
  return true;
}

void Win32Host::Dispatch(MSG& msg) {
  ++depth_;
  HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
  bool done = false;
  if (root) {
    for (Form* f : stack_.Loaded()) {
      if (WindowOf(*f) == root) {
        done = StackKey(*f, msg) || IsDialogMessageW(root, &msg) != 0;
        break;
      }
    }
  }
  if (!done) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  --depth_;
  if (depth_ == 0) graveyard_.clear();
}

bool Win32Host::Pump(bool wait) {
  // The windows show what the Form holds before anything is drawn or read.
  FlushAll();
  MSG msg;
  if (wait) {
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0 || r == -1) {
      stack_.EndedBySystem(r == 0 ? static_cast<int>(msg.wParam) : 1);
      return false;
    }
  } else if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    return false;
  } else if (msg.message == WM_QUIT) {
    stack_.EndedBySystem(static_cast<int>(msg.wParam));
    return false;
  }
  Dispatch(msg);
  return true;
}

void Win32Host::DoEvents() {
  bool any = false;
  while (!stack_.Ending() && Pump(false)) any = true;
  // Nothing was waiting: give the processor away for a moment, so that a
  // loop of DoEvents does not spin.
  if (!any && !stack_.Ending()) MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
}

int Win32Host::Run() {
  const int exit_code = stack_.Run();
  if (depth_ == 0) graveyard_.clear();
  return exit_code;
}

// --- questions ---

Answer Win32Host::Ask(const Message& message, const Form* owner) {
  FlushAll();  // the box runs a loop of its own
  HWND owner_window = OwnerWindow(owner);
  UINT flags = MessageFlags(message);
  if (!owner_window) flags |= MB_TASKMODAL;
  const std::string& title = message.title.empty() ? app_title_ : message.title;
  const bool hooked = !g_box_hook;
  if (hooked) g_box_hook = SetWindowsHookExW(WH_CALLWNDPROCRET, &BoxHook, nullptr, GetCurrentThreadId());
  const int id = MessageBoxW(owner_window, Wide(message.text).c_str(), Wide(title).c_str(), flags);
  if (hooked && g_box_hook) {
    UnhookWindowsHookEx(g_box_hook);
    g_box_hook = nullptr;
  }
  return AnswerOf(id, message.buttons);
}

std::filesystem::path Win32Host::ChooseOpenFile(const OpenFileRequest& request) {
  FlushAll();
  std::wstring filter;
  for (const auto& f : request.filters) {
    filter += Wide(f.description);
    filter += L'\0';
    filter += Wide(f.pattern);
    filter += L'\0';
  }
  filter += L'\0';
  std::vector<wchar_t> file(32768, L'\0');
  const std::wstring folder = request.initial_folder.wstring();
  const std::wstring title = Wide(request.title);
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = OwnerWindow(request.owner);
  ofn.lpstrFilter = request.filters.empty() ? nullptr : filter.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = title.empty() ? nullptr : title.c_str();
  ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return {};
  return PathOf(file.data());
}

std::filesystem::path Win32Host::ChooseFolder(const std::string& title, const Form* owner) {
  FlushAll();
  const std::wstring text = Wide(title);
  BROWSEINFOW info{};
  info.hwndOwner = OwnerWindow(owner);
  info.lpszTitle = text.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info);
  if (!list) return {};
  // Room for the longest path the system allows.
  std::vector<wchar_t> path(32768, L'\0');
  using LongPathFn = BOOL(WINAPI*)(PCIDLIST_ABSOLUTE, PWSTR, DWORD, GPFIDL_FLAGS);
  auto long_path = reinterpret_cast<LongPathFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHGetPathFromIDListEx")));
  BOOL ok = long_path ? long_path(list, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)
                      : SHGetPathFromIDListW(list, path.data());
  CoTaskMemFree(list);
  if (!ok) return {};
  return PathOf(path.data());
}

std::optional<IconChoice> Win32Host::ChooseIcon(const IconChoice& start, const Form* owner) {
  FlushAll();
  std::vector<wchar_t> path(MAX_PATH * 4, L'\0');
  const std::wstring from = start.file.wstring();
  lstrcpynW(path.data(), from.c_str(), static_cast<int>(path.size()));
  int index = start.index;
  // Some systems (Wine) have no icon dialog: PickIconDlg returns at once
  // without opening a window. Then the offered icon stands, so that what
  // needs an icon can still be made; a real cancel is still a cancel.
  g_windows_made = 0;
  HHOOK hook = SetWindowsHookExW(WH_CBT, &CountWindows, nullptr, GetCurrentThreadId());
  const int result = PickIconDlg(OwnerWindow(owner), path.data(), static_cast<UINT>(path.size()), &index);
  if (hook) UnhookWindowsHookEx(hook);
  if (result == 1) return IconChoice{PathOf(path.data()), index};
  if (hook && g_windows_made == 0) return start;
  return std::nullopt;
}

void Win32Host::SetBusy(bool on) {
  busy_ = on;
  SetCursor(LoadCursorW(nullptr, on ? IDC_WAIT : IDC_ARROW));
}

}  // namespace lup::ui::win32
