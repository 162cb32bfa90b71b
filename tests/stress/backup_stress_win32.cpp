// Real kills of the real utility during a backup. In a host folder of its
// own (three pets with different share flags, the host's copies and the
// shared ones), each round changes some files of every copy as calls would
// (a friend more, a mail changed, one new, one deleted, a snack changed),
// then lupset.exe is started, "データのバックアップ" and "バックアップ実行"
// are clicked, and the program is ended with TerminateProcess at a time drawn
// over the whole length of a backup. After the kill:
//  - no pet's data changed (a backup only reads it);
//  - every file in bak holds its last backup or its new one, byte for byte,
//    and no file of the last backup is missing unless the new backup drops it;
// then a fresh lupset.exe backs up to the end and bak must hold exactly the
// backup of the data as it is.
//
//   lup_backup_stress.exe --kills 200 [--seed N]
//
// lupset.exe lies beside this program. The user's settings are set aside
// while it runs (it is meant for a Wine prefix of its own). Exit code 0 when
// every check held.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/product.h"
#include "platform/program.h"
#include "tests/stress/stress_support_win32.h"
#include "tests/support/remote_window_win32.h"

namespace {

using namespace lup_stress;
using lup::remote::Child;
using lup::remote::Form;
using lup::remote::Press;

constexpr char kDone[] = "全てのペットのデータをバックアップしました";

struct BackedUpItem {
  const char* name;
  bool isFile;
  int kind;  // the data kind it belongs to; -1 for the pet settings file
};
constexpr BackedUpItem kItems[] = {
    {"PostPet設定.ppc", true, -1}, {"おともだち帳", true, 0}, {"受信フォルダ", false, 1},
    {"送信フォルダ", false, 1},    {"おやつ", false, 2},      {"宝物", false, 3},
};

// Where the backup keeps the data file `path` (relative to D); none for a
// file it does not back up (a kind the pet shares, the host's own settings file).
std::optional<std::string> BackupPathOf(const std::string& path) {
  std::string rest = path, into = "bak/";
  const StressPet* pet = nullptr;
  if (path.rfind("共有/", 0) == 0) {
    rest = path.substr(std::string("共有/").size());
    into = "bak/共有/";
  } else {
    for (const StressPet& p : kPets) {
      const std::string prefix = std::string(p.name) + "_";
      if (path.rfind(prefix, 0) == 0) {
        pet = &p;
        rest = path.substr(prefix.size());
        into = "bak/" + prefix;
      }
    }
  }
  for (const BackedUpItem& item : kItems) {
    const std::string name = item.name;
    const bool match = item.isFile ? rest == name : rest.rfind(name + "/", 0) == 0;
    if (!match) continue;
    if (item.kind < 0 && into == "bak/") return std::nullopt;  // the host's own
    if (pet && item.kind >= 0 && pet->flags[item.kind] != 0) return std::nullopt;
    return into + (item.isFile ? rest + ".bak" : rest);
  }
  return std::nullopt;
}

Files BackupOf(const Files& data) {
  Files out;
  for (const auto& [path, bytes] : data)
    if (std::optional<std::string> to = BackupPathOf(path)) out[*to] = bytes;
  return out;
}

// The backup folder as it is, temporary files left out (they are counted).
Files Backups(const Installation& inst, int* strays = nullptr) {
  Files out;
  if (strays) *strays = 0;
  for (auto& [path, bytes] : inst.Snapshot()) {
    if (path.rfind("bak/", 0) != 0) continue;
    if (lup::IsTempName(lup::NameText(U8Path(path)))) {
      if (strays) ++*strays;
      continue;
    }
    out[path] = bytes;
  }
  return out;
}

// What calls between two backups do to every copy.
void ChangeData(const Installation& inst, int round) {
  const std::string tag = "round " + std::to_string(round);
  std::vector<std::string> owners = {"", "共有/"};
  for (const StressPet& p : kPets) owners.push_back(std::string(p.name) + "_");
  for (const std::string& owner : owners) {
    const fs::path d = inst.D();
    auto at = [&](const std::string& relative) { return d / U8Path(owner + relative); };
    Put(at("おともだち帳"), lup::test::ReadBytes(at("おともだち帳")) + tag + "\r\n");
    Put(at("受信フォルダ/m" + std::to_string(round % kMailsPerPet) + ".txt"),
        owner + tag + " changed" + std::string(round * 37 % 4000, 'y'));
    Put(at("受信フォルダ/n" + std::to_string(round) + ".txt"), owner + tag + " new");
    std::error_code ignored;
    fs::remove(at("受信フォルダ/m" + std::to_string((round + 7) % kMailsPerPet) + ".txt"), ignored);
    Put(at("おやつ/cake" + std::to_string(round % 3) + ".pac"), owner + tag + " snack");
  }
}

struct BackupRun {
  bool reachedRun = false;  // the backup was started in the dialog
  bool killed = false;      // ended by us before it said it was done
  double seconds = 0;       // from the click on "バックアップ実行"
  std::string shown;        // its windows' texts when it did not finish
};

// Starts lupset.exe and backs up every pet, ending it after `killAfter`
// from the click (none: when it says it is done, or after two minutes).
BackupRun RunBackup(const fs::path& work, std::optional<std::chrono::microseconds> killAfter) {
  BackupRun run;
  const fs::path lupset = lup::ProgramFolder() / "lupset.exe";
  std::wstring cmd = L"\"" + lupset.wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(lupset.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      work.c_str(), &si, &pi))
    return run;
  const DWORD pid = pi.dwProcessId;
  const HWND menu = WaitFor([&] { return Form(pid, lup::Wide(lup::kUtilityTitle)); });
  const HWND open = menu ? WaitFor([&] { return Child(menu, L"Button", L"データのバックアップ"); }) : nullptr;
  if (open) Press(menu, open);
  const HWND dialog = open ? WaitFor([&] { return Form(pid, L"データをバックアップします"); }) : nullptr;
  const HWND go = dialog ? WaitFor([&] { return Child(dialog, L"Button", L"バックアップ実行"); }) : nullptr;
  if (go) {
    run.reachedRun = true;
    const auto begin = std::chrono::steady_clock::now();
    Press(dialog, go);
    const double limit = killAfter ? std::chrono::duration<double>(*killAfter).count() : 120.0;
    bool done = false;
    while (!done && std::chrono::steady_clock::now() - begin < std::chrono::duration<double>(limit)) {
      done = WindowTexts(pid).find(kDone) != std::string::npos;
      if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    run.killed = !done;
  }
  if (run.killed || !run.reachedRun) run.shown = WindowTexts(pid);
  TerminateProcess(pi.hProcess, 99);
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

// The differences between the backups after a kill and what they may hold.
std::vector<std::string> CheckAfterKill(const Files& before, const Files& after,
                                        const Files& backups) {
  std::vector<std::string> problems;
  const Files next = BackupOf(after);
  for (const auto& [path, bytes] : backups) {
    const auto old = before.find(path);
    const auto now = next.find(path);
    const bool isOld = old != before.end() && old->second == bytes;
    const bool isNew = now != next.end() && now->second == bytes;
    if (!isOld && !isNew) problems.push_back("neither its last backup nor its new one: " + path);
  }
  for (const auto& [path, bytes] : before)
    if (next.count(path) && !backups.count(path)) problems.push_back("backup lost: " + path);
  return problems;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const StressArgs args = ReadStressArgs(argc, argv, "backup stress");
  const int kills = args.kills;
  const unsigned seed = args.seed;

  Installation inst(fs::temp_directory_path() / U8Path("ルピナ backup stress"));
  const fs::path work = inst.Work();
  SettingsAside aside(inst.D());

  // A whole backup, measured once: the kills are spread over it.
  const BackupRun measured = RunBackup(work, std::nullopt);
  std::vector<std::string> problems = Differences(BackupOf(inst.Data()), Backups(inst), "backup");
  if (!measured.reachedRun || measured.killed || !problems.empty()) {
    std::printf("FAIL: an uninterrupted backup went wrong; its windows: %s\n", measured.shown.c_str());
    for (std::size_t i = 0; i < problems.size() && i < 20; ++i) std::printf("  %s\n", problems[i].c_str());
    return 1;
  }
  std::printf("a whole backup takes %.2f s; each kill is drawn from 0 to 1.1 times the last whole run\n",
              measured.seconds);
  KillClock clock(seed, measured.seconds);

  int cutShort = 0, completedAnyway = 0, failures = 0;
  for (int round = 1; cutShort < kills && round <= 3 * kills; ++round) {
    const Files lastBackup = Backups(inst);
    ChangeData(inst, round);
    const Files data = inst.Data();
    const double at = clock.Next();
    const BackupRun killed =
        RunBackup(work, std::chrono::microseconds(static_cast<long long>(at * 1e6)));
    if (killed.killed) {
      ++cutShort;
    } else if (killed.reachedRun) {
      ++completedAnyway;
      clock.WholeRunTook(killed.seconds);
    }
    problems = Differences(data, inst.Data(), "pet data");
    for (const std::string& p : CheckAfterKill(lastBackup, data, Backups(inst))) problems.push_back(p);

    const BackupRun fresh = RunBackup(work, std::nullopt);
    int strays = 0;
    if (problems.empty()) problems = Differences(BackupOf(data), Backups(inst, &strays), "backup");
    for (const std::string& p : Differences(data, inst.Data(), "pet data")) problems.push_back(p);
    const bool ok = killed.reachedRun && fresh.reachedRun && !fresh.killed && problems.empty();
    std::printf("round %d: killed at %.3f s%s, then a whole backup: %s, %d leftover temporary file(s)\n",
                round, at, killed.killed ? "" : " (it had ended)", ok ? "ok" : "FAILED", strays);
    if (!ok) {
      ++failures;
      if (!killed.reachedRun || !fresh.reachedRun || fresh.killed)
        std::printf("  a backup did not run to its end; its windows: %s%s\n", killed.shown.c_str(),
                    fresh.shown.c_str());
      for (std::size_t i = 0; i < problems.size() && i < 20; ++i)
        std::printf("  %s\n", problems[i].c_str());
      break;
    }
    std::fflush(stdout);
  }
  std::printf("backup stress: seed %u, %d kills during a backup, %d backups that ended first, %s\n",
              seed, cutShort, completedAnyway, failures == 0 ? "every check held" : "FAILED");
  return failures == 0 ? 0 : 1;
}
