// The stand-in host: installed as the host executable in a host folder D, it
// shows the pet of D and lets a person receive and send mail, add a friend and
// eat a snack. Started without a pet settings file it asks for a new pet's
// name first. With LUP_HOSTSIM_SCRIPT (or --script <file>) it performs the
// actions of that file without a window and exits: 0 when all succeeded,
// 1 when an action failed, 2 when the script could not be read.
#include <windows.h>

#include <optional>
#include <string>

#include "core/snack.h"
#include "base/text.h"
#include "platform/program.h"
#include "platform/win32/wide.h"
#include "tools/hostsim/host_files.h"
#include "tools/hostsim/hostsim_ids.h"

namespace {

namespace fs = std::filesystem;
using namespace hostsim;

constexpr wchar_t kTitle[] = L"ホスト代役";

using lup::Narrow;

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

struct App {
  fs::path dir;
  bool noSplash = false;  // started with " -ns"
  HFONT font = nullptr;
  HWND info = nullptr;
  std::wstring status;
};
App g_app;

// The Japanese font of the system, or an installed Japanese face where it is
// missing (under Wine a face picked by character set alone may lack Latin
// letters, and buttons then show "OK" as boxes).
HFONT JapaneseFont() {
  const wchar_t* face = L"ＭＳ Ｐゴシック";
  HDC dc = GetDC(nullptr);
  for (const wchar_t* candidate : {L"ＭＳ Ｐゴシック", L"MS PGothic", L"IPAPGothic", L"IPAGothic"}) {
    LOGFONTW lf{};
    lf.lfCharSet = SHIFTJIS_CHARSET;
    wcsncpy(lf.lfFaceName, candidate, LF_FACESIZE - 1);
    bool found = false;
    EnumFontFamiliesExW(
        dc, &lf, [](const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM lp) -> int {
          *reinterpret_cast<bool*>(lp) = true;
          return 0;
        }, reinterpret_cast<LPARAM>(&found), 0);
    if (found) {
      face = candidate;
      break;
    }
  }
  ReleaseDC(nullptr, dc);
  return CreateFontW(-14, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

void UseFont(HWND parent) {
  EnumChildWindows(
      parent, [](HWND child, LPARAM) -> BOOL {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_app.font), TRUE);
        return TRUE;
      }, 0);
}

HWND Child(HWND parent, const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, int id) {
  return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

// A window of the given client size, centred on the screen.
HWND TopWindow(const wchar_t* cls, const wchar_t* title, DWORD style, int w, int h, HWND owner) {
  RECT r{0, 0, w, h};
  AdjustWindowRect(&r, style, FALSE);
  int ww = r.right - r.left, wh = r.bottom - r.top;
  return CreateWindowExW(0, cls, title, style, (GetSystemMetrics(SM_CXSCREEN) - ww) / 2,
                         (GetSystemMetrics(SM_CYSCREEN) - wh) / 2, ww, wh, owner, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// ---- name dialog ----

struct NameDialog {
  bool done = false;
  std::optional<std::string> answer;
};

LRESULT CALLBACK NameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* dlg = reinterpret_cast<NameDialog*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCCREATE:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
      break;
    case WM_COMMAND:
      if (LOWORD(wp) == kIdNameOk) {
        std::string name = Narrow(WindowText(GetDlgItem(hwnd, kIdName)));
        if (name.find_first_not_of(' ') == std::string::npos) {
          MessageBoxW(hwnd, L"名前を入力してください", kTitle, MB_OK | MB_ICONEXCLAMATION);
          return 0;
        }
        dlg->answer = name;
        DestroyWindow(hwnd);
      } else if (LOWORD(wp) == IDCANCEL) {
        DestroyWindow(hwnd);
      }
      return 0;
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY:
      if (dlg) dlg->done = true;
      PostMessageW(nullptr, WM_NULL, 0, 0);  // wakes the modal loop so that it sees `done`
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// Asks for a name in a small modal window; nullopt when it is closed.
std::optional<std::string> AskName(HWND owner, const wchar_t* prompt) {
  NameDialog dlg;
  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  RECT r{0, 0, 320, 84};
  AdjustWindowRect(&r, style, FALSE);
  HWND hwnd = CreateWindowExW(WS_EX_DLGMODALFRAME, kNameClass, kTitle, style, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, owner, nullptr, GetModuleHandleW(nullptr), &dlg);
  if (!hwnd) return std::nullopt;
  Child(hwnd, L"STATIC", prompt, 0, 10, 10, 300, 20, -1);
  HWND edit = Child(hwnd, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, 40, 220, 26, kIdName);
  Child(hwnd, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 240, 40, 70, 26, kIdNameOk);
  UseFont(hwnd);
  RECT wr;
  GetWindowRect(hwnd, &wr);
  SetWindowPos(hwnd, nullptr, (GetSystemMetrics(SM_CXSCREEN) - (wr.right - wr.left)) / 2,
               (GetSystemMetrics(SM_CYSCREEN) - (wr.bottom - wr.top)) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  if (owner) EnableWindow(owner, FALSE);
  ShowWindow(hwnd, SW_SHOW);
  SetFocus(edit);
  MSG msg;
  while (!dlg.done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  if (owner) {
    EnableWindow(owner, TRUE);
    SetForegroundWindow(owner);
  }
  return dlg.answer;
}

// ---- main window ----

std::wstring Stamp() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  wchar_t buf[32];
  swprintf(buf, 32, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
  return buf;
}

std::wstring Describe() {
  std::wstring text;
  try {
    std::optional<Pet> pet = ReadPet(g_app.dir);
    text += L"ペット: " + (pet ? lup::Wide(pet->name) + L"（" + lup::Wide(pet->kind) + L"）" : L"（いません）") + L"\r\n";
    text += std::wstring(L"起動オプション: ") + (g_app.noSplash ? L"-ns" : L"なし") + L"\r\n";
    text += L"受信メール: " + std::to_wstring(CountMails(g_app.dir, kReceivedDir)) + L" 通\r\n";
    text += L"送信メール: " + std::to_wstring(CountMails(g_app.dir, kSentDir)) + L" 通\r\n";
    std::vector<std::string> friends = ReadFriends(g_app.dir);
    text += L"ともだち: " + std::to_wstring(friends.size()) + L" 人\r\n";
    for (const std::string& f : friends) text += L"　・" + lup::Wide(f) + L"\r\n";
    text += L"おやつ:\r\n";
    for (const Snack& s : ReadSnacks(g_app.dir)) {
      text += L"　・" + lup::Wide(s.name) + L" × " + lup::Wide(lup::SnackCountText(s.count)) + L"\r\n";
    }
    text += L"宝物:\r\n";
    for (const std::string& t : ListTreasures(g_app.dir)) text += L"　・" + lup::Wide(t) + L"\r\n";
  } catch (const std::exception& e) {
    text += lup::Wide(e.what()) + L"\r\n";
  }
  if (!g_app.status.empty()) text += L"\r\n" + g_app.status + L"\r\n";
  return text;
}

void Refresh() { SetWindowTextW(g_app.info, Describe().c_str()); }

std::string PetName() {
  std::optional<Pet> pet = ReadPet(g_app.dir);
  return pet ? pet->name : std::string();
}

void OnCommand(HWND hwnd, int id) {
  try {
    switch (id) {
      case kIdReceive: {
        std::string name = FreeMailName(g_app.dir, kReceivedDir, Narrow(Stamp()));
        WriteMail(g_app.dir, kReceivedDir, name, PetName() + "さんへのメールです。\r\n");
        g_app.status = L"メールを受け取りました: " + lup::Wide(name);
        break;
      }
      case kIdSend: {
        std::string name = FreeMailName(g_app.dir, kSentDir, Narrow(Stamp()));
        WriteMail(g_app.dir, kSentDir, name, PetName() + "からのメールです。\r\n");
        g_app.status = L"メールを送りました: " + lup::Wide(name);
        break;
      }
      case kIdFriend:
        if (std::optional<std::string> name = AskName(hwnd, L"ともだちの名前を入力してください")) {
          AddFriend(g_app.dir, *name);
          g_app.status = L"ともだちを追加しました: " + lup::Wide(*name);
        }
        break;
      case kIdEat: {
        Snack s = EatSnack(g_app.dir);
        g_app.status = lup::Wide(s.name) + L"を食べました（のこり " + std::to_wstring(s.count) + L"）";
        break;
      }
      case kIdClose:
        DestroyWindow(hwnd);
        return;
      default:
        return;
    }
  } catch (const std::exception& e) {
    MessageBoxW(hwnd, lup::Wide(e.what()).c_str(), kTitle, MB_OK | MB_ICONEXCLAMATION);
  }
  Refresh();
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE: {
      g_app.info = Child(hwnd, L"EDIT", L"", WS_BORDER | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                         10, 10, 570, 290, kIdInfo);
      const std::pair<int, const wchar_t*> buttons[] = {{kIdReceive, L"メールを受け取る"},
                                                         {kIdSend, L"メールを送る"},
                                                         {kIdFriend, L"ともだちを追加"},
                                                         {kIdEat, L"おやつを食べる"},
                                                         {kIdClose, L"閉じる"}};
      int x = 10;
      for (auto [id, caption] : buttons) {
        Child(hwnd, L"BUTTON", caption, WS_TABSTOP | BS_PUSHBUTTON, x, 310, 108, 30, id);
        x += 115;
      }
      UseFont(hwnd);
      Refresh();
      return 0;
    }
    case WM_COMMAND:
      OnCommand(hwnd, LOWORD(wp));
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int RunWindow() {
  std::optional<Pet> pet = ReadPet(g_app.dir);
  if (!pet) {
    // A host without a pet: the user names a new one, and it is written
    // before anything else happens.
    for (;;) {
      std::optional<std::string> name = AskName(nullptr, L"新しいペットの名前を入力してください");
      if (!name) return 0;
      try {
        CreatePet(g_app.dir, Pet{*name, std::string(kDefaultKind)});
        break;
      } catch (const std::exception& e) {
        MessageBoxW(nullptr, lup::Wide(e.what()).c_str(), kTitle, MB_OK | MB_ICONEXCLAMATION);
      }
    }
  }
  HWND hwnd = TopWindow(kMainClass, kTitle, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, 590, 350,
                        nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (!IsDialogMessageW(hwnd, &msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  return 0;
}

int RunScript(const fs::path& script) {
  std::vector<Action> actions;
  try {
    actions = ParseScript(ReadFileText(script));
  } catch (const std::exception& e) {
    LogError(g_app.dir, nullptr, e.what());
    return 2;
  }
  for (const Action& action : actions) {
    try {
      RunAction(g_app.dir, action, [](int ms) { Sleep(static_cast<DWORD>(ms)); });
    } catch (const std::exception& e) {
      LogError(g_app.dir, &action, e.what());
      return 1;
    }
  }
  return 0;
}

// The script named by --script on the command line or by LUP_HOSTSIM_SCRIPT.
std::optional<fs::path> ScriptPath() {
  std::vector<std::string> args = lup::ProgramArguments();
  for (size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] == "--script") return lup::U8Path(args[i + 1]);
  }
  wchar_t buf[32768];
  DWORD n = GetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", buf, 32768);
  if (n > 0 && n < 32768) return fs::path(std::wstring(buf, n));
  return std::nullopt;
}

void RegisterClasses() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpfnWndProc = MainProc;
  wc.lpszClassName = kMainClass;
  RegisterClassExW(&wc);
  wc.lpfnWndProc = NameProc;
  wc.lpszClassName = kNameClass;
  RegisterClassExW(&wc);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const fs::path exe = lup::ProgramPath();
  g_app.dir = exe.parent_path();
  std::wstring_view cmd = GetCommandLineW();
  std::wstring_view trimmed = cmd.substr(0, cmd.find_last_not_of(L' ') + 1);
  g_app.noSplash = trimmed.ends_with(L" -ns");

  StartRecord start;
  start.cmd = Narrow(cmd);
  std::wstring cwd(32768, L'\0');
  cwd.resize(GetCurrentDirectoryW(static_cast<DWORD>(cwd.size()), cwd.data()));
  start.cwd = Narrow(cwd);
  start.exe = lup::PathText(exe);
  std::string unreadable;
  try {
    if (std::optional<Pet> pet = ReadPet(g_app.dir)) start.pet = pet->name;
  } catch (const std::exception& e) {
    unreadable = e.what();
  }
  LogStart(g_app.dir, start);
  if (!unreadable.empty()) LogError(g_app.dir, nullptr, unreadable);

  if (std::optional<fs::path> script = ScriptPath()) return RunScript(*script);

  g_app.font = JapaneseFont();
  RegisterClasses();
  int code = RunWindow();
  DeleteObject(g_app.font);
  return code;
}
