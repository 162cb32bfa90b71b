// Real kills of the real utility during a backup. In a host folder of its
// own (three pets with different share flags, the host's copies and the
// shared ones), each round changes some files of every copy as calls would
// (a friend more, a mail changed, one new, one deleted, a snack changed),
// then lupset.exe is started, "データのバックアップ" and "バックアップ実行"
// are clicked, and the program is ended with TerminateProcess at a time drawn
// over the whole length of a backup. After the kill:
//  - no pet's data changed but the current pet's, whose host data a backup
//    saves first: each of her files is as it was or as that save leaves it;
//  - every file in bak holds its last backup or its new one, byte for byte,
//    and no file of the last backup is missing unless the new backup drops it;
//  - the newest whole generation is the last backup that ended, file for file;
// then a fresh lupset.exe backs up to the end and bak must hold exactly the
// backup of the data as it is, and every generation offered (the newest six)
// exactly the backups that ended, newest first.
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

#include <set>

#include "core/backup_history.h"
#include "core/product.h"
#include "platform/program.h"
#include "tests/stress/stress_support_win32.h"
#include "tests/support/remote_window_win32.h"

namespace {

using namespace lup_stress;


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

// What a backup makes of the data first: the current pet's host data saved.
Files Saved(const Files& data, const std::string& current = kPets[0].name) {
  Files out = data;
  lup::test::ModelPutAway(out, current, FlagsOf(current));
  return out;
}

// Every file of the data is as it was or as the save of the current pet
// leaves it; nothing else changed.
std::vector<std::string> OldOrSaved(const Files& before, const Files& now) {
  std::vector<std::string> problems;
  const Files saved = Saved(before);
  std::set<std::string> paths;
  for (const Files* f : {&before, &saved, &now})
    for (const auto& [path, bytes] : *f) paths.insert(path);
  const auto at = [](const Files& f, const std::string& p) -> std::optional<std::string> {
    const auto it = f.find(p);
    if (it == f.end()) return std::nullopt;
    return it->second;
  };
  for (const std::string& path : paths)
    if (!lup::IsTempName(lup::NameText(U8Path(path))) && at(now, path) != at(before, path) &&
        at(now, path) != at(saved, path))
      problems.push_back("pet data neither as it was nor as saved: " + path);
  return problems;
}

Files Backups(const Installation& inst, int* strays);

// The backups each offered generation holds, newest first, read the way the
// repair reads them.
std::vector<Files> GenerationsOf(const Installation& inst, const std::vector<Files>& taken) {
  lup::Settings settings;
  settings.hostFolder = inst.D();
  const lup::BackupHistory history(settings);
  std::set<std::string> paths;
  for (const Files& backup : taken)
    for (const auto& [path, bytes] : backup) paths.insert(path);
  for (const auto& [path, bytes] : Backups(inst, nullptr)) paths.insert(path);
  std::vector<Files> out;
  for (const lup::BackupGeneration& g : history.Generations()) {
    const lup::BackupView view = history.View(g.undone);
    Files files;
    for (const std::string& path : paths)
      if (std::optional<fs::path> file = view.File(inst.D() / U8Path(path)))
        files[path] = lup::test::ReadBytes(*file);
    out.push_back(std::move(files));
  }
  return out;
}

// A backup that ended, as a generation: one that changed nothing is the
// generation it found, not one more.
void Took(std::vector<Files>& taken, const Files& backup) {
  if (taken.empty() || taken.back() != backup) taken.push_back(backup);
}

// The generations are the backups that ended, newest first.
std::vector<std::string> CheckGenerations(const Installation& inst, const std::vector<Files>& taken) {
  std::vector<std::string> problems;
  const std::vector<Files> offered = GenerationsOf(inst, taken);
  const std::size_t want = std::min<std::size_t>(taken.size(), lup::kKeptRuns + 1);
  if (offered.size() != want)
    problems.push_back(std::to_string(offered.size()) + " generations offered, " + std::to_string(want) + " kept");
  for (std::size_t g = 0; g < offered.size() && g < taken.size(); ++g)
    for (const std::string& p : Differences(taken[taken.size() - 1 - g], offered[g], "generation " + std::to_string(g)))
      problems.push_back(p);
  return problems;
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

// A call whose record of the current pet cannot be read asks, under its
// hold on the data, whether to overwrite what the host holds; a backup
// started then must refuse, naming the launcher, and change nothing; the
// call is then told no and changes nothing either.
std::vector<std::string> BackupDuringACallsQuestion(const Installation& inst, const fs::path& work) {
  std::vector<std::string> problems;
  const fs::path record = inst.D() / "lupina.dat";
  const std::string kept = lup::test::ReadBytes(record);
  Put(record, "\"unterminated");
  const Files data = inst.Data(), bak = Backups(inst);
  PROCESS_INFORMATION pi{};
  std::string other = kPets[0].name == inst.current() ? kPets[1].name : kPets[0].name;
  if (!StartLauncher(work, other, &pi)) return {"the launcher did not start"};
  HWND question = nullptr;
  for (int i = 0; i < 3000 && !question; ++i) {
    for (const auto& [box, text] : MessageBoxes(pi.dwProcessId)) {
      if (text.find("どのペットのデータを持っているか分かりません") != std::string::npos)
        question = box;
      else
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (!question) problems.push_back("the call never asked; it said: " + WindowTexts(pi.dwProcessId));
  const BackupRun backup = RunBackup(work, std::nullopt);
  if (!backup.refused) problems.push_back("the backup was not refused while the call asked");
  if (backup.shown.find("ルピナ・ヴィラ（lupina.exe）がポストペットのデータを使っています") == std::string::npos)
    problems.push_back("the backup did not name the launcher: " + backup.shown);
  if (question)
    PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(question, IDNO)));
  if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
    problems.push_back("the call did not end after the answer");
    TerminateProcess(pi.hProcess, 97);
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  if (inst.Data() != data) problems.push_back("pet data changed");
  if (Backups(inst) != bak) problems.push_back("bak changed");
  Put(record, kept);
  return problems;
}

// The backup and a call of the launcher started at once on one host
// folder, `rounds` times, either one first: the second waits for the first
// or says which program is at work and changes nothing. The backup is then
// wholly the data before the call or wholly the data after it, never a mix,
// and the call leaves exactly what a call leaves.
int Together(int rounds) {
  Installation inst(fs::temp_directory_path() / U8Path("ルピナ together"));
  const fs::path work = inst.Work();
  SettingsAside aside(inst.D());
  Put(work / "empty.txt", "");
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", (work / "empty.txt").c_str());
  int failures = 0, waited = 0, refused = 0;
  for (int round = 1; round <= rounds && failures == 0; ++round) {
    if (round % 3 == 0) {
      // The launcher holds the data through its questions: the backup
      // started meanwhile waits, then says the launcher is at work.
      std::vector<std::string> problems = BackupDuringACallsQuestion(inst, work);
      std::printf("round %d: a backup while the call asks: %s\n", round, problems.empty() ? "ok" : "FAILED");
      for (std::size_t i = 0; i < problems.size() && i < 20; ++i) std::printf("  %s\n", problems[i].c_str());
      if (!problems.empty()) ++failures;
      ++refused;
      continue;
    }
    const Files pre = inst.Data();
    const Files lastBackup = Backups(inst);
    std::string target = inst.current();
    while (target == inst.current()) target = kPets[round % std::size(kPets)].name;
    BackupRun backup;
    std::thread utility([&] { backup = RunBackup(work, std::nullopt); });
    // Either first: the utility's click comes about when the launcher starts.
    if (round % 2 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(600));
    std::string said;
    const bool called = Call(work, target, &said);
    utility.join();
    if (called) inst.ModelCall(target);
    std::vector<std::string> problems = inst.Check();
    const Files bak = Backups(inst);
    if (backup.refused || !backup.reachedRun) {
      if (bak != lastBackup) problems.push_back("a refused backup changed bak");
    } else if (bak != BackupOf(Saved(pre, inst.current())) && bak != BackupOf(Saved(inst.Data(), inst.current())) &&
               bak != BackupOf(pre)) {
      problems.push_back("the backup is neither the data before the call nor after it");
    }
    if (!called && said.find("がポストペットのデータを使っています") == std::string::npos)
      problems.push_back("the call neither ran nor said why: " + said);
    if (!called) ++refused;
    if (backup.refused) ++refused;
    if (called && !backup.refused) ++waited;
    std::printf("round %d: the call %s, the backup %s: %s\n", round, called ? "ran" : "was refused",
                backup.refused ? "was refused" : (backup.killed ? "did not end" : "ran"),
                problems.empty() ? "ok" : "FAILED");
    for (std::size_t i = 0; i < problems.size() && i < 20; ++i) std::printf("  %s\n", problems[i].c_str());
    if (!problems.empty()) ++failures;
    std::fflush(stdout);
  }
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
  std::printf("two programs at once: %d rounds, both ran in %d, one refused in %d, %s\n", rounds, waited, refused,
              failures == 0 ? "every check held" : "FAILED");
  return failures == 0 ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  for (int i = 1; i + 1 < argc; ++i)
    if (std::wstring(argv[i]) == L"--together") return Together(std::stoi(argv[i + 1]));
  const StressArgs args = ReadStressArgs(argc, argv, "backup stress");
  const int kills = args.kills;
  const unsigned seed = args.seed;

  Installation inst(fs::temp_directory_path() / U8Path("ルピナ backup stress"));
  const fs::path work = inst.Work();
  SettingsAside aside(inst.D());

  // A whole backup, measured once: the kills are spread over it.
  const Files first = Saved(inst.Data());
  const BackupRun measured = RunBackup(work, std::nullopt);
  std::vector<std::string> problems = Differences(first, inst.Data(), "pet data");
  for (const std::string& p : Differences(BackupOf(first), Backups(inst), "backup")) problems.push_back(p);
  std::vector<Files> taken = {Backups(inst)};
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
    const Files saved = Saved(data);
    const double at = clock.Next();
    const BackupRun killed =
        RunBackup(work, std::chrono::microseconds(static_cast<long long>(at * 1e6)));
    if (killed.killed) {
      ++cutShort;
    } else if (killed.reachedRun) {
      ++completedAnyway;
      clock.WholeRunTook(killed.seconds);
      Took(taken, Backups(inst));
    }
    problems = OldOrSaved(data, inst.Data());
    for (const std::string& p : CheckAfterKill(lastBackup, saved, Backups(inst))) problems.push_back(p);
    // The last backup that ended is still whole: the newest generation (or
    // the killed one, when it ended just before its message was seen).
    const std::vector<Files> offered = GenerationsOf(inst, taken);
    if (offered.empty()) {
      problems.push_back("no generation offered after the kill");
    } else if (killed.killed && offered.front() != taken.back() && offered.front() == BackupOf(saved)) {
      Took(taken, offered.front());
    } else {
      for (const std::string& p : Differences(taken.back(), offered.front(), "newest generation"))
        problems.push_back(p);
    }

    const BackupRun fresh = RunBackup(work, std::nullopt);
    int strays = 0;
    if (problems.empty()) problems = Differences(BackupOf(saved), Backups(inst, &strays), "backup");
    for (const std::string& p : Differences(saved, inst.Data(), "pet data")) problems.push_back(p);
    if (problems.empty()) {
      Took(taken, Backups(inst));
      problems = CheckGenerations(inst, taken);
    }
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
