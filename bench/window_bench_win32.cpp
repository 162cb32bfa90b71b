// window_bench: times the real programs from outside, the way a user sees
// them: from the start of a program (or the press of a button) until its
// list holds every row. It runs under Wine beside lupina.exe and
// lupsnack.exe, drives their windows by posting messages to them and reads
// the lists with LVM_GETITEMCOUNT, which works across processes.
// scripts/bench-windows.sh makes the host folders, runs it and prints the
// table.
//
//   window_bench launcher <host folder> <pets>
//       launcher start              the pet list holds every pet
//       launcher share change       Ctrl+click on the first pet, untick every
//                                   kind, OK: until the dialog is gone and
//                                   the pet list answers again
//       launcher special-kind list  詳細設定, then ノクタ・ミラ用設定: until the
//                                   dialog's pet list holds every pet
//   window_bench utility <host folder> <pets>
//       utility selection list      the menu's ペット別のショートカット作成:
//                                   until the dialog's list holds every pet
//   window_bench snacks <host folder> <rows> <entry> <empty entry>
//       snacks start                the first folder's grid holds every snack
//       snacks switch               <entry> chosen in the source list (after
//                                   <empty entry>, so the grid was empty)
//       snacks discard              every row selected, 捨てる pressed: until
//                                   the grid is refilled (empty)
//
// Each start is also printed as "<name> start after Wine": the same wait,
// timed from the program's first window, which its window toolkit makes
// before the program reads anything. The special-kind list, the switch and
// the utility's selection list are timed three times in one run (opened
// again after closing, or chosen again).
//
// Each measurement prints one line "<name>\t<rows>\t<seconds>" (seconds
// "timeout" after LUP_BENCH_TIMEOUT seconds, default 120). pp_dir is set to
// the host folder in the user's settings before the program starts. Any
// message box of the program ends the run with its text: the host folders
// are made so that none appears.
#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/settings.h"
#include "launcher/launcher.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "platform/win32/wide.h"
#include "snacks/snack_window.h"
#include "tests/support/remote_window_win32.h"
#include "ui/win32/host_win32.h"

namespace {

using lup::Narrow;
using lup::Wide;
using lup::remote::Ask;
using lup::remote::ClassOf;
using lup::remote::Click;
using lup::remote::Count;
using lup::remote::Press;
using lup::remote::TextOf;

// The steps that leave the program as they found it (choosing another
// folder, opening a list and closing it) are timed this often in a run:
// the program's start, its costliest part to repeat, is paid once for them.
constexpr int kTimesInOneRun = 3;

struct Failure : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct TimedOut {};

double Now() {
  static LARGE_INTEGER frequency{};
  if (!frequency.QuadPart) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double TimeoutSeconds() {
  const char* text = std::getenv("LUP_BENCH_TIMEOUT");
  const double t = text ? std::atof(text) : 0;
  return t > 0 ? t : 120;
}

// The program under test: started suspended-free, ended by force at the end
// (its windows would otherwise write their settings and lists on closing).
class Program {
 public:
  Program(const std::wstring& exe) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring command = L"\"" + exe + L"\"";
    const std::wstring folder = exe.substr(0, exe.find_last_of(L'\\'));
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &si,
                        &pi_)) {
      throw Failure("cannot start " + Narrow(exe) + ": " + lup::SystemErrorText(GetLastError()));
    }
  }
  ~Program() {
    TerminateProcess(pi_.hProcess, 0);
    WaitForSingleObject(pi_.hProcess, 10000);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  DWORD pid() const { return pi_.dwProcessId; }
  HANDLE process() const { return pi_.hProcess; }
  bool Running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

  // The program's visible top-level windows of a class.
  std::vector<HWND> Windows(const wchar_t* cls) const {
    struct Search {
      DWORD pid;
      const wchar_t* cls;
      std::vector<HWND> found;
    } search{pi_.dwProcessId, cls, {}};
    EnumWindows(
        [](HWND h, LPARAM p) -> BOOL {
          auto* s = reinterpret_cast<Search*>(p);
          DWORD pid = 0;
          GetWindowThreadProcessId(h, &pid);
          if (pid == s->pid && IsWindowVisible(h) && ClassOf(h) == s->cls) s->found.push_back(h);
          return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
  }

  // Whether the program's code runs: the hidden window that its window
  // toolkit makes first thing, before the program reads anything.
  bool HasFirstWindow() const {
    for (HWND h = nullptr; (h = FindWindowExW(nullptr, h, lup::ui::win32::kAppWindowClass, nullptr)) != nullptr;) {
      DWORD pid = 0;
      GetWindowThreadProcessId(h, &pid);
      if (pid == pi_.dwProcessId) return true;
    }
    return false;
  }

  // The program's form with this caption, or nullptr.
  HWND Form(const std::wstring& caption) const { return lup::remote::Form(pi_.dwProcessId, caption); }

  // A message box means the host folder is not what the bench meant it to
  // be: stop with its text rather than wait for nothing, unless `expected`
  // takes it (answers it and returns true).
  using ExpectedBox = std::function<bool(HWND box, const std::wstring& text)>;
  void CheckNoMessageBox(const ExpectedBox& expected = nullptr) const {
    for (HWND box : Windows(L"#32770")) {
      std::wstring text = TextOf(box) + L":";
      for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (ClassOf(c) == L"Static") text += L" " + TextOf(c);
      }
      if (expected && expected(box, text)) continue;
      throw Failure("the program shows a message box: " + Narrow(text));
    }
  }

 private:
  PROCESS_INFORMATION pi_{};
};

// Waits until `done` holds; returns the seconds since `start`.
double WaitFor(const Program& program, double start, const std::function<bool()>& done,
               const Program::ExpectedBox& expected = nullptr) {
  static const double timeout = TimeoutSeconds();
  for (;;) {
    if (done()) return Now() - start;
    if (!program.Running()) throw Failure("the program ended");
    program.CheckNoMessageBox(expected);
    if (Now() - start > timeout) throw TimedOut{};
    Sleep(1);
  }
}

// The child of `form` of the class `cls` (with `caption`, the one showing
// that text); the run stops when there is none.
HWND Child(HWND form, const wchar_t* cls, const wchar_t* caption = nullptr) {
  if (HWND found = lup::remote::Child(form, cls, caption)) return found;
  throw Failure("no " + Narrow(cls) + (caption ? " " + Narrow(caption) : "") + " in " + Narrow(TextOf(form)));
}

// A list view item's place; the run stops when it cannot be read.
POINT ItemPoint(const Program& program, HWND list, int item) {
  if (std::optional<POINT> p = lup::remote::ItemPoint(program.process(), list, item)) return *p;
  throw Failure("cannot read the place of row " + std::to_string(item + 1));
}

struct ListWindow {
  HWND form = nullptr;
  HWND list = nullptr;  // its list view
};

// Waits until the program shows the form `caption` and its list view holds
// `rows` rows; the seconds since `start`. With `up`, also notes when the
// program's first window appears (see Run).
double WaitForList(const Program& program, double start, const std::wstring& caption, int rows, ListWindow* found,
                   double* up = nullptr) {
  return WaitFor(program, start, [&] {
    if (up && *up < 0 && program.HasFirstWindow()) *up = Now();
    if (!found->form) found->form = program.Form(caption);
    if (found->form && !found->list) found->list = Child(found->form, WC_LISTVIEWW);
    return found->list && Count(found->list) == rows;
  });
}

void Report(const char* name, int rows, double seconds) {
  std::printf("%s\t%d\t%.4f\n", name, rows, seconds);
  std::fflush(stdout);
}

std::wstring Beside(const wchar_t* exe) { return (lup::ProgramFolder() / exe).wstring(); }

void UseHostFolder(const std::wstring& folder) {
  auto store = lup::OpenUserSettings();
  if (!store->Set(lup::key::kPpDir, Narrow(folder))) throw Failure("cannot store pp_dir");
}

// Starts `exe` on the host folder, reports "<name> start" once its window's
// list holds `rows` rows, then runs the next steps; each step names itself
// in `step` so that a timeout is reported under its name.
using Steps = std::function<void(const Program&, const ListWindow&, std::string& step)>;
void Run(const std::wstring& folder, const wchar_t* exe, const char* name, const char* title, int rows,
         const Steps& steps) {
  UseHostFolder(folder);
  std::string step = std::string(name) + " start";
  try {
    const double start = Now();
    Program program(Beside(exe));
    ListWindow main;
    double up = -1;
    const double whole = WaitForList(program, start, Wide(title), rows, &main, &up);
    Report(step.c_str(), rows, whole);
    // The same, timed from the program's first window: Wine's start of a
    // program (loading it and its libraries) varies between runs by more
    // than a thousand rows cost, and drops out of this line.
    if (up >= 0) Report((step + " after Wine").c_str(), rows, start + whole - up);
    steps(program, main, step);
  } catch (const TimedOut&) {
    std::printf("%s\t%d\ttimeout\n", step.c_str(), rows);
  }
}

void RunLauncher(const std::wstring& folder, int pets) {
  Run(folder, L"lupina.exe", "launcher", lup::kLauncherTitle, pets, [&](const Program& program, const ListWindow& main,
                                                                         std::string& step) {
    HWND form = main.form, grid = main.list;
    // A share change of the first pet: every kind unticked, so nothing is asked.
    step = "launcher share change";
    LRESULT r = 0;
    Ask(grid, LVM_ENSUREVISIBLE, 0, FALSE, &r);
    const POINT first = ItemPoint(program, grid, 0);
    // Only the press: the dialog opens inside its handling.
    PostMessageW(grid, WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(first.x, first.y));
    HWND share = nullptr;
    WaitFor(program, Now(), [&] { return (share = program.Form(L"共有・非共有の設定")) != nullptr; });
    for (HWND c = GetWindow(share, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
      if (ClassOf(c) != L"Button" || (GetWindowLongPtrW(c, GWL_STYLE) & BS_TYPEMASK) != BS_AUTOCHECKBOX) continue;
      Ask(c, BM_SETCHECK, BST_UNCHECKED, 0, &r);
      Ask(share, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), BN_CLICKED), reinterpret_cast<LPARAM>(c), &r);
    }
    HWND ok = Child(share, L"Button", L"OK");
    double start = Now();
    Press(share, ok);
    Report(step.c_str(), pets, WaitFor(program, start, [&] { return !IsWindow(share) && Count(grid) == pets; }));

    step = "launcher special-kind list";
    Press(form, Child(form, L"Button", L"詳細設定"));
    HWND settings = nullptr;
    WaitFor(program, Now(), [&] { return (settings = program.Form(L"詳細設定")) != nullptr; });
    HWND special_button = Child(settings, L"Button", L"ノクタ・ミラ用設定");
    for (int time = 0; time < kTimesInOneRun; ++time) {
      start = Now();
      Press(settings, special_button);
      ListWindow special;
      Report(step.c_str(), pets, WaitForList(program, start, L"ノクタ・ミラ用設定", pets, &special));
      // Closed with OK: the marks are saved as they were, and since the
      // bench sets no special-kind host the dialog says that the ticks do
      // nothing until one is set (its one message box expected here).
      Press(special.form, Child(special.form, L"Button", L"OK"));
      WaitFor(
          program, Now(), [&] { return !IsWindow(special.form); },
          [](HWND box, const std::wstring& text) {
            if (text.find(L"設定するまでチェックは有効になりません") == std::wstring::npos) return false;
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return true;
          });
    }
  });
}

void RunSnacks(const std::wstring& folder, int rows, const std::wstring& entry, const std::wstring& empty_entry) {
  Run(folder, L"lupsnack.exe", "snacks", lup::snacks::kTitle, rows, [&](const Program& program, const ListWindow& main,
                                                                          std::string& step) {
    HWND form = main.form, grid = main.list;
    // The source list is the first drop-down list of the form.
    step = "snacks switch";
    HWND source = Child(form, L"ComboBox");
    const auto choose = [&](const std::wstring& text) {
      if (!lup::remote::Choose(form, source, text)) throw Failure("no entry " + Narrow(text) + " in the source list");
    };
    for (int time = 0; time < kTimesInOneRun; ++time) {
      choose(empty_entry);
      WaitFor(program, Now(), [&] { return Count(grid) == 0; });
      const double start = Now();
      choose(entry);
      Report(step.c_str(), rows, WaitFor(program, start, [&] { return Count(grid) == rows; }));
    }

    // Every row selected: a click on the first, a Shift+click on the last.
    step = "snacks discard";
    LRESULT r = 0;
    Ask(grid, LVM_ENSUREVISIBLE, 0, FALSE, &r);
    Click(grid, ItemPoint(program, grid, 0), 0);
    WaitFor(program, Now(), [&] {
      LRESULT first = -1, selected = 0;
      return Ask(grid, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED, &first) && first == 0 &&
             Ask(grid, LVM_GETSELECTEDCOUNT, 0, 0, &selected) && selected == 1;
    });
    Ask(grid, LVM_ENSUREVISIBLE, static_cast<WPARAM>(rows - 1), FALSE, &r);
    Click(grid, ItemPoint(program, grid, rows - 1), MK_SHIFT);
    WaitFor(program, Now(), [&] {
      LRESULT selected = 0;
      return Ask(grid, LVM_GETSELECTEDCOUNT, 0, 0, &selected) && selected == rows;
    });
    const double start = Now();
    Press(form, Child(form, L"Button", L"捨てる"));
    Report(step.c_str(), rows, WaitFor(program, start, [&] { return Count(grid) == 0; }));
  });
}

// The utility: its pet selection dialog, opened from the menu's shortcut
// button, until its list box holds every pet.
void RunUtility(const std::wstring& folder, int pets) {
  UseHostFolder(folder);
  std::string step = "utility selection list";
  try {
    Program program(Beside(L"lupset.exe"));
    HWND menu = nullptr;
    WaitFor(program, Now(), [&] { return (menu = program.Form(Wide(lup::kUtilityTitle))) != nullptr; });
    HWND button = Child(menu, L"Button", L"ペット別のショートカット作成");
    for (int time = 0; time < kTimesInOneRun; ++time) {
      const double start = Now();
      Press(menu, button);
      HWND dialog = nullptr, list = nullptr;
      Report(step.c_str(), pets, WaitFor(program, start, [&] {
               if (!dialog) dialog = program.Form(L"スイッチに指定するペットの選択");
               if (dialog && !list) list = Child(dialog, L"ListBox");
               LRESULT n = -1;
               return list && Ask(list, LB_GETCOUNT, 0, 0, &n) && n == pets;
             }));
      Press(dialog, Child(dialog, L"Button", L"キャンセル"));
      WaitFor(program, Now(), [&] { return !IsWindow(dialog); });
    }
  } catch (const TimedOut&) {
    std::printf("%s\t%d\ttimeout\n", step.c_str(), pets);
  }
}

int Usage() {
  std::fprintf(stderr,
               "usage: window_bench launcher <host folder> <pets>\n"
               "       window_bench utility <host folder> <pets>\n"
               "       window_bench snacks <host folder> <rows> <entry> <empty entry>\n");
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  try {
    const std::wstring what = argc > 1 ? argv[1] : L"";
    if (what == L"launcher" && argc == 4) {
      RunLauncher(argv[2], _wtoi(argv[3]));
    } else if (what == L"utility" && argc == 4) {
      RunUtility(argv[2], _wtoi(argv[3]));
    } else if (what == L"snacks" && argc == 6) {
      RunSnacks(argv[2], _wtoi(argv[3]), argv[4], argv[5]);
    } else {
      return Usage();
    }
  } catch (const Failure& e) {
    std::fprintf(stderr, "window_bench: %s\n", e.what());
    return 1;
  }
  return 0;
}
