// Real kills of the real utility while it registers a new pet. In a host
// folder of its own (three pets, the host holding one of them, changed since
// her last call), each round lupset.exe is started, "新しいペットを飼う" is
// clicked, the stand-in host makes a new pet (and a friend of hers in the
// host's friend book), the pet is named and registered; the program is ended
// with TerminateProcess at a time drawn over the whole length of that. Then
// the launcher calls one of the three pets; when it refuses (the creation
// did not end), the utility is run again and finishes it, and the pet is
// called. After every round:
//  - the three pets' own copies and the shared ones hold exactly what they
//    held, the host's data of the pet it held put away into hers;
//  - the new pet is registered, or was never made; her settings file and
//    her friend are in no other pet's files;
//  - no settings file is left set aside, and the called pet is the host's.
//
//   lup_newpet_stress.exe --kills 200 [--seed N]
//
// lupset.exe, lupina.exe and hostsim.exe lie beside this program. The
// user's settings are set aside while it runs (it is meant for a Wine
// prefix of its own). Exit code 0 when every check held.
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
namespace remote = lup::remote;
using Clock = std::chrono::steady_clock;

void Answer(HWND box, int id) {
  PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

struct UtilityRun {
  bool clicked = false;   // "新しいペットを飼う" was pressed
  bool finished = false;  // it said how the creation ended
  bool killed = false;    // ended by us before that
  double seconds = 0;     // from the click
  std::string said;       // what it said that no user was told to expect
};

// Starts lupset.exe, makes a new pet named `name` (or finishes the one left
// unnamed) and answers it as a user would, until it says how the creation
// ended; ends it after `killAfter` from the click (none: at that end).
UtilityRun RunNewPet(const fs::path& work, const fs::path& d, const std::string& name,
                     std::optional<std::chrono::microseconds> killAfter) {
  UtilityRun run;
  const fs::path lupset = lup::ProgramFolder() / "lupset.exe";
  std::wstring cmd = L"\"" + lupset.wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(lupset.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, work.c_str(), &si, &pi))
    return run;
  const DWORD pid = pi.dwProcessId;
  Clock::time_point begin = Clock::now();
  const Clock::time_point giveUp = begin + std::chrono::seconds(120);
  bool named = false, registered = false;
  while (Clock::now() < giveUp && !run.finished) {
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
    if (!run.clicked) {
      if (HWND menu = remote::Form(pid, lup::Wide(lup::kUtilityTitle)))
        if (HWND button = remote::Child(menu, L"Button", L"新しいペットを飼う")) {
          remote::Press(menu, button);
          run.clicked = true;
          begin = Clock::now();
        }
    } else if (killAfter && Clock::now() - begin >= *killAfter) {
      break;
    }
    for (const auto& [box, text] : MessageBoxes(pid)) {
      if (Has(text, "ノクタ・ミラですか")) {
        Answer(box, IDNO);
      } else if (Has(text, "今登録しますか")) {
        Answer(box, IDYES);
      } else if (Has(text, "登録しました") || Has(text, "作成を最後まで終えました")) {
        // Said before the host's own settings file comes back: the
        // creation has ended once nothing is set aside any more.
        Answer(box, IDOK);
        registered = true;
      } else {
        run.said += "[" + text + "] ";
        run.finished = Has(text, "キャンセルされました");
        Answer(box, GetDlgItem(box, IDOK) ? IDOK : IDNO);
      }
    }
    if (!named) {
      if (HWND dialog = remote::Form(pid, L"")) {
        HWND edit = remote::Child(dialog, L"Edit");
        HWND ok = remote::Child(dialog, L"Button", L"OK");
        if (edit && ok) {
          const std::wstring wide = lup::Wide(name);
          DWORD_PTR ignored = 0;
          SendMessageTimeoutW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), SMTO_ABORTIFHUNG, 5000,
                              &ignored);
          remote::Press(dialog, ok);
          named = true;
        }
      }
    }
    if (registered && !fs::exists(d / U8Path("PostPet設定.ppcbak"))) run.finished = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.seconds = std::chrono::duration<double>(Clock::now() - begin).count();
  run.killed = !run.finished;
  TerminateProcess(pi.hProcess, 99);
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

void Script(const fs::path& work, const std::string& text) {
  static int scripts = 0;
  const fs::path file = work / ("script-" + std::to_string(++scripts) + ".txt");
  Put(file, text);
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", file.c_str());
}

// The three pets' own and shared copies, by path.
Files PetCopies(const Files& data) {
  Files out;
  for (const auto& [path, bytes] : data) {
    bool theirs = path.rfind("共有/", 0) == 0;
    for (const StressPet& p : kPets) theirs = theirs || path.rfind(std::string(p.name) + "_", 0) == 0;
    if (theirs) out[path] = bytes;
  }
  return out;
}

std::vector<std::string> Check(const Installation& inst, const Files& expected, const std::string& newPet,
                               const std::string& called) {
  Files disk = inst.Data();
  for (auto it = disk.begin(); it != disk.end();)
    it = lup::IsTempName(lup::NameText(U8Path(it->first))) ? disk.erase(it) : std::next(it);
  std::vector<std::string> problems = Differences(PetCopies(expected), PetCopies(disk), "pet copy");
  for (const auto& [path, bytes] : inst.Snapshot()) {
    const bool hers = path.rfind(newPet + "_", 0) == 0 || path.rfind("bak/" + newPet + "_", 0) == 0 ||
                      path.rfind("bak履歴/", 0) == 0;
    if (!hers && bytes.find(newPet) != std::string::npos) problems.push_back(newPet + "'s data in " + path);
  }
  if (disk.count("PostPet設定.ppcbak")) problems.push_back("a settings file is left set aside");
  const auto ppc = disk.find(newPet + "_PostPet設定.ppc");
  if (ppc != disk.end() && ppc->second.find("name=" + newPet) == std::string::npos)
    problems.push_back(newPet + "'s settings file holds " + ppc->second.substr(0, 40));
  const auto host = disk.find("PostPet設定.ppc");
  if (host == disk.end() || host->second != expected.at(called + "_PostPet設定.ppc"))
    problems.push_back("the host does not hold " + called + "'s settings file");
  if (lup::test::ReadBytes(inst.D() / "lupina.dat") != "\"" + lup::Utf8ToCp932(called).value_or("") + "\"\r\n")
    problems.push_back("lupina.dat does not name " + called);
  return problems;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const StressArgs args = ReadStressArgs(argc, argv, "new-pet stress");
  std::mt19937 random(args.seed);
  Installation inst(fs::temp_directory_path() / U8Path("ルピナ newpet stress"));
  const fs::path work = inst.Work();
  SettingsAside aside(inst.D());
  if (HostRunning()) {
    std::printf("FAIL: a host runs already\n");
    return 2;
  }
  std::string current = inst.current();

  // A whole creation, measured once: the kills are spread over it.
  Script(work, "newpet ハナ0号\r\nfriend ハナ0号の友達\r\n");
  const UtilityRun measured = RunNewPet(work, inst.D(), "ハナ0号", std::nullopt);
  WaitForHostToEnd();
  if (!measured.finished || !measured.said.empty() || !inst.Data().count("ハナ0号_PostPet設定.ppc")) {
    std::printf("FAIL: an uninterrupted creation went wrong; it said: %s\n", measured.said.c_str());
    return 1;
  }
  std::printf("a whole creation takes %.2f s; each kill is drawn from 0 to 1.1 times the last whole one\n",
              measured.seconds);
  KillClock clock(args.seed, measured.seconds);
  std::uniform_int_distribution<int> whichPet(0, static_cast<int>(std::size(kPets)) - 1);
  current.clear();  // a registration leaves no pet current

  int cutShort = 0, completed = 0, failures = 0;
  for (int round = 1; cutShort < args.kills && round <= 3 * args.kills; ++round) {
    // "号" after the number: no name is a part of another.
    const std::string newPet = "ハナ" + std::to_string(round) + "号";
    Files expected = inst.Data();
    if (!current.empty()) lup::test::ModelPutAway(expected, current, FlagsOf(current));
    Script(work, "newpet " + newPet + "\r\nfriend " + newPet + "の友達\r\n");
    const double at = clock.Next();
    const UtilityRun killed = RunNewPet(work, inst.D(), newPet, std::chrono::microseconds(static_cast<long long>(at * 1e6)));
    WaitForHostToEnd();
    if (killed.killed) {
      ++cutShort;
    } else {
      ++completed;
      clock.WholeRunTook(killed.seconds);
    }

    // The launcher next, with the host's work of the called pet scripted.
    // Another pet than the host's: whether or not the killed run saved
    // hers, the call then puts her data away.
    std::string called = current;
    while (called == current) called = kPets[whichPet(random)].name;
    const std::string work1 = "receive r" + std::to_string(round) + ".txt " + called + " mail " +
                              std::to_string(round) + "\r\n";
    std::string said;
    Script(work, work1);
    bool started = Call(work, called, &said);
    const bool refusedFirst = !started;
    if (!started) {
      // Refused: the creation is finished first, as the user is told to.
      Script(work, "");
      const UtilityRun again = RunNewPet(work, inst.D(), newPet, std::nullopt);
      WaitForHostToEnd();
      if (!again.said.empty()) std::printf("  finishing it, the utility said: %s\n", again.said.c_str());
      Script(work, work1);
      started = Call(work, called, &said);
    }
    SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
    std::vector<std::string> problems;
    if (!started) problems.push_back("the call did not start the host; it said: " + said);
    if (problems.empty()) problems = Check(inst, expected, newPet, called);
    const bool registered = inst.Data().count(newPet + "_PostPet設定.ppc") > 0;
    std::printf("round %d: killed at %.3f s%s, then %s called%s; %s %s: %s\n", round, at,
                killed.killed ? "" : " (it had ended)", called.c_str(),
                refusedFirst ? " (refused until the creation was finished)" : "", newPet.c_str(),
                registered ? "registered" : "never made", problems.empty() ? "ok" : "FAILED");
    if (!killed.killed && !killed.said.empty()) std::printf("  the utility said: %s\n", killed.said.c_str());
    if (!problems.empty()) {
      ++failures;
      if (!killed.said.empty()) std::printf("  the utility said: %s\n", killed.said.c_str());
      for (std::size_t i = 0; i < problems.size() && i < 20; ++i) std::printf("  %s\n", problems[i].c_str());
      break;
    }
    // The called pet's mail, received while the host ran, is in the host's
    // folder now: the next round's release puts it into her copy.
    current = called;
    std::fflush(stdout);
  }
  std::printf("new-pet stress: seed %u, %d kills during a creation, %d creations that ended first, %s\n",
              args.seed, cutShort, completed, failures == 0 ? "every check held" : "FAILED");
  return failures == 0 ? 0 : 1;
}
