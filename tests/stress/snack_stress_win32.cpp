// Real kills of the real snack manager during a move. In a host folder of its
// own, クロ's snack folder holds a heap of snacks; each round lupsnack.exe is
// started, every snack of one pet is selected and moved to the other (クロ to
// ミミ, then back), and the program is ended with TerminateProcess at a time
// drawn over the whole length of a move. ミミ is the pet the host holds: a
// snack moved to her goes into the host's snack folder too, and one moved
// away from her leaves it. After the kill:
//  - every snack is still there, byte for byte, in one pet's folder or both;
//  - none is left only in ミミ's own folder without the host's copy (her
//    next put-away would take the host's folder as her snacks and drop it);
//  - no other file changed;
// then a fresh lupsnack.exe moves what is left, and every snack must be in
// the target pet's folder only, the host's folder following ミミ.
//
//   lup_snack_stress.exe --kills 200 [--seed N]
//
// lupsnack.exe lies beside this program. The user's settings are set aside
// while it runs (it is meant for a Wine prefix of its own). Exit code 0 when
// every check held.
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "core/product.h"
#include "platform/program.h"
#include "tests/stress/stress_support_win32.h"
#include "tests/support/remote_window_win32.h"

namespace {

using namespace lup_stress;
namespace remote = lup::remote;

constexpr int kSnacks = 150;
const std::string kLive = "おやつ/";

std::string FolderOf(const std::string& pet) { return pet + "_おやつ/"; }

// A snack file of the host's length with its name in it.
std::string SnackBytes(int i) {
  std::string bytes = "snack " + std::to_string(i) + " ";
  while (bytes.size() < 1024) bytes += static_cast<char>('a' + (bytes.size() * 7 + i) % 26);
  return bytes;
}

std::string SnackName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "s%03d.pac", i);
  return name;
}

bool IsTemp(const std::string& path) { return lup::IsTempName(lup::NameText(U8Path(path))); }

// Every file under D but the leftover temporary files.
Files Disk(const Installation& inst) {
  Files out;
  for (auto& [path, bytes] : inst.Snapshot())
    if (!IsTemp(path)) out[path] = bytes;
  return out;
}

struct Move {
  std::string from, to;  // pets
};

// The snacks in `folder` ("<pet>_おやつ/") on `disk`, by file name.
std::set<std::string> NamesIn(const Files& disk, const std::string& folder) {
  std::set<std::string> names;
  for (const auto& [path, bytes] : disk)
    if (path.rfind(folder, 0) == 0 && path.find('/', folder.size()) == std::string::npos)
      names.insert(path.substr(folder.size()));
  return names;
}

// What may have happened during a move cut short: each moved snack copied,
// its host copy made, or removed before its source, any number of them;
// nothing else.
std::vector<std::string> CheckAfterKill(const Files& before, const Files& after, const Move& move,
                                        const Files& snacks) {
  std::vector<std::string> problems;
  const std::string from = FolderOf(move.from), to = FolderOf(move.to);
  const bool intoHost = move.to == kPets[0].name, outOfHost = move.from == kPets[0].name;
  for (const auto& [name, bytes] : snacks) {
    const bool atSource = after.count(from + name) != 0, atTarget = after.count(to + name) != 0;
    const bool atLive = after.count(kLive + name) != 0;
    if (!atSource && !atTarget) problems.push_back("snack lost: " + name);
    for (const std::string& where : {from, to, kLive}) {
      const auto found = after.find(where + name);
      if (found != after.end() && found->second != bytes)
        problems.push_back("snack changed: " + where + name);
    }
    // In ミミ's folder only, without the host's copy: her next put-away drops it.
    if (intoHost && atTarget && !atSource && !atLive)
      problems.push_back("moved to ミミ but not into the host's folder: " + name);
    // Only in ミミ's folder, the host's copy gone: her next put-away drops it.
    if (outOfHost && atSource && !atTarget && !atLive && before.count(kLive + name))
      problems.push_back("only ミミ's and gone from the host's folder: " + name);
  }
  for (const auto& [path, bytes] : before) {
    const std::string name = lup::NameText(U8Path(path));
    const bool moving = snacks.count(name) &&
                        (path == from + name || path == to + name || path == kLive + name);
    if (moving) continue;
    const auto found = after.find(path);
    if (found == after.end()) problems.push_back("missing: " + path);
    else if (found->second != bytes) problems.push_back("changed: " + path);
  }
  for (const auto& [path, bytes] : after) {
    const std::string name = lup::NameText(U8Path(path));
    const bool moving = snacks.count(name) &&
                        (path == to + name || (intoHost && path == kLive + name));
    if (!before.count(path) && !moving) problems.push_back("unexpected: " + path);
  }
  return problems;
}

// The end of a whole move: every snack in the target only, the host's folder
// following ミミ, nothing else changed.
std::vector<std::string> CheckComplete(const Files& before, const Files& after, const Move& move,
                                       const Files& snacks) {
  Files want = before;
  for (const auto& [name, bytes] : snacks) {
    want.erase(FolderOf(move.from) + name);
    want[FolderOf(move.to) + name] = bytes;
    if (move.to == kPets[0].name) want[kLive + name] = bytes;
    if (move.from == kPets[0].name) want.erase(kLive + name);
  }
  return Differences(want, after, "after the whole move:");
}

struct MoveRun {
  bool pressed = false;  // 移動 was pressed on every row
  bool killed = false;   // ended by us before the grid was empty
  double seconds = 0;    // from the press
  std::string shown;     // its windows' texts when it did not finish
};

// Starts lupsnack.exe, selects every snack of `move.from` (`rows` of them),
// chooses `move.to` and presses 移動; ends it after `killAfter` from the
// press (none: once the grid is empty, or after two minutes).
MoveRun RunMove(const fs::path& work, const Move& move, int rows,
                std::optional<std::chrono::microseconds> killAfter) {
  MoveRun run;
  const fs::path exe = lup::ProgramFolder() / "lupsnack.exe";
  std::wstring cmd = L"\"" + exe.wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, work.c_str(),
                      &si, &pi))
    return run;
  const DWORD pid = pi.dwProcessId;
  const HWND form = WaitFor([&] { return remote::Form(pid, lup::Wide(lup::kSnackTitle)); });
  const std::vector<HWND> combos = form ? remote::Children(form, L"ComboBox") : std::vector<HWND>{};
  const HWND grid = form ? remote::Child(form, WC_LISTVIEWW) : nullptr;
  const HWND moveButton = form ? remote::Child(form, L"Button", L"移動") : nullptr;
  bool ready = combos.size() >= 2 && grid && moveButton &&
               remote::Choose(form, combos[1], lup::Wide(move.to)) &&
               remote::Choose(form, combos[0], lup::Wide(move.from)) &&
               WaitFor([&] { return remote::Count(grid) == rows; });
  if (!ready) run.shown = "(the source's rows did not show) ";
  // Every row selected: a click on the first, a Shift+click on the last.
  // Clicks posted from outside can be lost on a busy machine: tried again.
  const auto selected = [&](int want) {
    return WaitFor(
        [&] {
          LRESULT n = 0;
          return remote::Ask(grid, LVM_GETSELECTEDCOUNT, 0, 0, &n) && n == want;
        },
        5);
  };
  bool allSelected = rows == 0;
  for (int attempt = 0; ready && !allSelected && attempt < 3; ++attempt) {
    LRESULT r = 0;
    remote::Ask(grid, LVM_ENSUREVISIBLE, 0, FALSE, &r);
    const std::optional<POINT> first = remote::ItemPoint(pi.hProcess, grid, 0);
    if (!first) continue;
    remote::Click(grid, *first);
    if (!selected(1)) continue;
    remote::Ask(grid, LVM_ENSUREVISIBLE, static_cast<WPARAM>(rows - 1), FALSE, &r);
    const std::optional<POINT> last = remote::ItemPoint(pi.hProcess, grid, rows - 1);
    if (!last) continue;
    remote::Click(grid, *last, MK_SHIFT);
    allSelected = selected(rows);
  }
  if (ready && !allSelected) run.shown = "(the rows could not be selected) ";
  ready = ready && allSelected;
  if (ready) {
    run.pressed = true;
    const auto begin = std::chrono::steady_clock::now();
    remote::Press(form, moveButton);
    const double limit = killAfter ? std::chrono::duration<double>(*killAfter).count() : 120.0;
    bool done = rows == 0;
    // The program is busy while it moves: a question that waited for its
    // answer would hold the kill back until the move was over.
    while (!done && std::chrono::steady_clock::now() - begin < std::chrono::duration<double>(limit)) {
      done = remote::Count(grid, 2) == 0;
      if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    run.killed = !done;
  }
  if (run.killed || !run.pressed) run.shown += WindowTexts(pid);
  TerminateProcess(pi.hProcess, 99);
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const StressArgs args = ReadStressArgs(argc, argv, "snack stress");
  const int kills = args.kills;
  const unsigned seed = args.seed;

  Installation inst(fs::temp_directory_path() / U8Path("ルピナ snack stress"));
  const fs::path work = inst.Work();
  SettingsAside aside(inst.D());
  Files snacks;
  for (int i = 0; i < kSnacks; ++i) {
    snacks[SnackName(i)] = SnackBytes(i);
    Put(inst.D() / U8Path(FolderOf(kPets[2].name) + SnackName(i)), SnackBytes(i));
  }
  // The snack each of the two pets had from the start moves with the heap.
  for (const std::string pet : {kPets[0].name, kPets[2].name})
    snacks[pet + "-cake.pac"] = lup::test::ReadBytes(inst.D() / U8Path(FolderOf(pet) + pet + "-cake.pac"));

  Move move{kPets[2].name, kPets[0].name};
  const auto rowsAt = [&](const std::string& pet) {
    return static_cast<int>(NamesIn(Disk(inst), FolderOf(pet)).size());
  };

  // A whole move, measured once: the kills are spread over it.
  Files before = Disk(inst);
  const MoveRun measured = RunMove(work, move, rowsAt(move.from), std::nullopt);
  std::vector<std::string> problems = CheckComplete(before, Disk(inst), move, snacks);
  if (!measured.pressed || measured.killed || !problems.empty()) {
    std::printf("FAIL: an uninterrupted move went wrong; its windows: %s\n", measured.shown.c_str());
    for (std::size_t i = 0; i < problems.size() && i < 20; ++i) std::printf("  %s\n", problems[i].c_str());
    return 1;
  }
  std::printf("a whole move of %zu snacks takes %.2f s; each kill is drawn from 0 to 1.1 times the "
              "last whole move\n", snacks.size(), measured.seconds);
  KillClock clock(seed, measured.seconds);

  int cutShort = 0, completedAnyway = 0, failures = 0;
  for (int round = 1; cutShort < kills && round <= 3 * kills; ++round) {
    std::swap(move.from, move.to);
    before = Disk(inst);
    const double at = clock.Next();
    const MoveRun killed = RunMove(work, move, rowsAt(move.from),
                                   std::chrono::microseconds(static_cast<long long>(at * 1e6)));
    if (killed.killed) {
      ++cutShort;
    } else if (killed.pressed) {
      ++completedAnyway;
      clock.WholeRunTook(killed.seconds);
    }
    const Files afterKill = Disk(inst);
    problems = CheckAfterKill(before, afterKill, move, snacks);
    const std::size_t left = NamesIn(afterKill, FolderOf(move.from)).size();

    const MoveRun fresh = RunMove(work, move, rowsAt(move.from), std::nullopt);
    if (problems.empty()) problems = CheckComplete(before, Disk(inst), move, snacks);
    int strays = 0;
    for (auto& [path, bytes] : inst.Snapshot()) strays += IsTemp(path) ? 1 : 0;
    const bool ok = killed.pressed && fresh.pressed && !fresh.killed && problems.empty();
    std::printf("round %d: %s to %s killed at %.3f s%s with %zu of %zu snacks left, then the rest "
                "moved: %s, %d leftover temporary file(s)\n",
                round, move.from.c_str(), move.to.c_str(), at, killed.killed ? "" : " (it had ended)",
                left, snacks.size(), ok ? "ok" : "FAILED", strays);
    if (!ok) {
      ++failures;
      if (!killed.pressed || !fresh.pressed || fresh.killed)
        std::printf("  a move did not run to its end; its windows: %s%s\n", killed.shown.c_str(),
                    fresh.shown.c_str());
      for (std::size_t i = 0; i < problems.size() && i < 20; ++i)
        std::printf("  %s\n", problems[i].c_str());
      break;
    }
    std::fflush(stdout);
  }
  std::printf("snack stress: seed %u, %d kills during a move, %d moves that ended first, %s\n", seed,
              cutShort, completedAnyway, failures == 0 ? "every check held" : "FAILED");
  return failures == 0 ? 0 : 1;
}
