// Real kills of the real launcher. In a host folder of its own, three pets
// with different share flags take turns: lupina.exe is started to call a
// pet and ended with TerminateProcess at a time drawn over the whole length
// of a call; then a fresh lupina.exe calls a pet to the end, the stand-in host
// does its scripted work (mails in and out, a friend, a deleted mail) and
// ends. After every such call the whole folder must be exactly what the
// calls made of it: every file of every pet present, byte for byte one of its
// versions, in the pet's own copy or the shared one as its flags say, and no
// half file or temporary file taken for data.
//
//   lup_call_stress.exe --kills 200 [--seed N]     (200 calls cut short)
//
// lupina.exe and hostsim.exe lie beside this program. The user's settings
// are set aside while it runs (it is meant for a Wine prefix of its own).
// Exit code 0 when every check held.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/program.h"
#include "tests/stress/stress_support_win32.h"

namespace {

using namespace lup_stress;

struct Run {
  bool started = false;
  bool killed = false;   // ended by us
  DWORD exitCode = 0;
  double seconds = 0;
  std::string shown;     // what its windows said when it did not end
  bool hostWasRunning = false;  // it refused to call: a host ran
  int hostsEnded = 0;            // hosts that did not end by themselves
};

// Starts lupina.exe with `pet` on its command line and the host script in
// `script`; ends it after `killAfter` (none: waits up to a minute).
Run RunLauncher(const fs::path& work, const std::string& pet, const std::string& script,
                std::optional<std::chrono::microseconds> killAfter) {
  Run run;
  // A script of its own for every run: a host that a killed launcher started
  // late must not read the next run's script.
  static int runs = 0;
  const fs::path scriptFile = work / ("script-" + std::to_string(++runs) + ".txt");
  Put(scriptFile, script);
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", scriptFile.c_str());
  PROCESS_INFORMATION pi{};
  const auto begin = std::chrono::steady_clock::now();
  if (!StartLauncher(work, pet, &pi)) return run;
  run.started = true;
  DWORD waited = WAIT_TIMEOUT;
  if (killAfter) {
    const DWORD ms = static_cast<DWORD>(killAfter->count() / 1000);
    waited = WaitForSingleObject(pi.hProcess, ms);
    if (waited == WAIT_TIMEOUT) {
      TerminateProcess(pi.hProcess, 99);
      WaitForSingleObject(pi.hProcess, INFINITE);
      run.killed = true;
    }
  } else {
    // A host that a killed launcher started may show up later than any wait
    // for it: the call is then refused, as it must be, and said so.
    for (int i = 0; i < 240 && waited == WAIT_TIMEOUT && !run.hostWasRunning; ++i) {
      waited = WaitForSingleObject(pi.hProcess, 250);
      run.hostWasRunning = waited == WAIT_TIMEOUT &&
                           WindowTexts(pi.dwProcessId).find("ポストペットが起動中です") != std::string::npos;
    }
    if (waited == WAIT_TIMEOUT) {
      run.shown = WindowTexts(pi.dwProcessId);
      TerminateProcess(pi.hProcess, 98);
      WaitForSingleObject(pi.hProcess, INFINITE);
      run.killed = true;  // hung: a message box nobody answers
    }
  }
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  GetExitCodeProcess(pi.hProcess, &run.exitCode);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // The host of a completed call runs its script to the end.
  run.hostsEnded = WaitForHostToEnd(pi.dwProcessId, run.killed ? 20 : 120);
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
  return run;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const StressArgs args = ReadStressArgs(argc, argv, "call stress");
  const int kills = args.kills;
  const unsigned seed = args.seed;
  std::mt19937 random(seed);

  Installation inst(fs::temp_directory_path() / U8Path("ルピナ stress"));
  const fs::path work = inst.Work();
  SettingsAside aside(inst.D());
  if (HostRunning()) {
    std::printf("FAIL: a host runs already\n");
    return 2;
  }

  // The length of a whole call (put-away and bring-in of a pet), measured
  // once: the kills are spread over it.
  const std::string first = kPets[1].name;
  const Run measured = RunLauncher(work, first, "", std::nullopt);
  inst.ModelCall(first);
  std::vector<std::string> problems = inst.Check();
  if (!measured.started || measured.killed || measured.exitCode != 0 || !problems.empty()) {
    std::printf("FAIL: an uninterrupted call went wrong (exit %lu)\n", measured.exitCode);
    for (const std::string& p : problems) std::printf("  %s\n", p.c_str());
    return 1;
  }
  const double callSeconds = measured.seconds;
  std::printf("a whole call takes %.2f s; each kill is drawn from 0 to 1.1 times the last whole call\n",
              callSeconds);
  KillClock clock(seed, callSeconds);
  std::uniform_int_distribution<int> whichPet(0, static_cast<int>(std::size(kPets)) - 1);
  int cutShort = 0, completedAnyway = 0, failures = 0;
  // Until `kills` calls were cut short (a call may end before its kill).
  for (int round = 1; cutShort < kills && round <= 3 * kills; ++round) {
    // Another pet than the current one: the killed call has data to move.
    std::string target = inst.current();
    while (target == inst.current()) target = kPets[whichPet(random)].name;
    const double at = clock.Next();
    const Run killedRun = RunLauncher(
        work, target, "", std::chrono::microseconds(static_cast<long long>(at * 1e6)));
    if (killedRun.killed) {
      ++cutShort;
    } else {
      ++completedAnyway;
      if (killedRun.exitCode == 0) {
        inst.ModelCall(target);
        clock.WholeRunTook(killedRun.seconds);
      }
    }

    // A fresh launcher calls another pet to the end, and the host works on
    // its data. Another pet: then the fresh call puts the last completed
    // call's pet away in full, wherever the killed one stopped (a kill may
    // leave her copies part updated, each file whole, old or new).
    const std::string before = inst.current();
    std::string next = before;
    while (next == before) next = kPets[whichPet(random)].name;
    inst.ModelCall(next);
    const std::string script = inst.ScriptFor(round);
    Run fresh = RunLauncher(work, next, script, std::nullopt);
    for (int again = 0; again < 3 && fresh.hostWasRunning; ++again) {
      std::printf("round %d: the call was refused while the host a killed launcher started ran; "
                  "called again once it ended\n", round);
      WaitForHostToEnd();
      fresh = RunLauncher(work, next, script, std::nullopt);
    }
    problems = inst.Check();
    const bool ok = fresh.started && !fresh.killed && fresh.exitCode == 0 && problems.empty();
    std::printf("round %d: %s killed at %.3f s%s%s, then %s called (from %s): %s, %d leftover "
                "temporary file(s)\n",
                round, target.c_str(), at, killedRun.killed ? "" : " (it had ended)",
                killedRun.hostsEnded ? " (the host it was starting never ran: ended)" : "",
                next.c_str(), before.c_str(), ok ? "ok" : "FAILED", inst.Strays());
    if (!ok) {
      ++failures;
      if (fresh.killed)
        std::printf("  the fresh call did not end; its windows: %s\n", fresh.shown.c_str());
      if (fresh.exitCode != 0) std::printf("  the fresh call ended with %lu\n", fresh.exitCode);
      for (std::size_t i = 0; i < problems.size() && i < 20; ++i)
        std::printf("  %s\n", problems[i].c_str());
      break;  // the model no longer knows the disk
    }
    std::fflush(stdout);
  }
  std::printf("call stress: seed %u, %d kills during a call, %d calls that ended first, %s\n", seed,
              cutShort, completedAnyway, failures == 0 ? "every check held" : "FAILED");
  return failures == 0 ? 0 : 1;
}
