// How long the real launcher takes to switch pets (make bench-wine).
//
//   call_bench <folder> <mails> <runs>
//
// Makes a host folder under <folder> with two pets, ミミ and ソラ, of <mails>
// mails each (three quarters received, a quarter sent, and a few snacks and
// treasures with the treasure box), the host holding ミミ's data and nothing
// shared, and points the launcher's settings at it (the user's own are set
// aside and given back).
// Then, <runs> times each, in turn:
//   start   lupina.exe ミミ while ミミ is current: the program's start and
//           the host's, nothing to move (what the script subtracts);
//   switch  lupina.exe ソラ, then lupina.exe ミミ: the host's data unchanged
//           since the last call, so the put-away finds its copy in place and
//           the bring-in writes every file of the called pet;
//   floor   safe_floor.exe (bench/safe_floor_win32.cpp) writing one pet's
//           copies over a folder of the host's items (root\floor) the safe
//           way and nothing more: the least the bring-in could cost, timed
//           by its own clock, without its start.
// Each call is timed from the start of lupina.exe until it ends (the host started);
// the host, run with an empty script, ends by itself and is waited for
// untimed. Prints `call-bench <what> <seconds>` lines, then `host <path>`.
//
//   call_bench <folder> trace
//
// On the host folder a timed run left (ミミ current, her data unchanged since
// the last call), for counting the Wine server's requests of each call:
//   warm-up    lupina.exe ミミ, not counted (the first start after the
//              server's);
//   current    lupina.exe ミミ: nothing to move (the baseline);
//   unchanged  lupina.exe ソラ: ミミ's host files compared and found in place,
//              every file of ソラ's written into the host folder;
//   changed    every host file (now ソラ's) given new bytes of the same
//              length, then lupina.exe ミミ: every host file compared and
//              written into ソラ's copies, every file of ミミ's written.
// Prints `call-trace files <host> <called>` (the data files of the host's
// items and of ソラ's copies before the unchanged switch), `call-trace <what>
// <pid> <seconds>` for each call, `call-trace changed-files <host> <called>`
// (the host files changed and ミミ's files before the changed switch), and
// `call-trace put-away-written <n>`: how many of ソラ's copies hold the
// changed bytes after it; then, for the floor's requests, safe_floor.exe
// writing nothing (its start-up, `call-trace floor-start <pid> <seconds>`)
// and writing ソラ's copies over root\floor (`call-trace floor <pid>
// <seconds>`, `call-trace floor-files <n>`).
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/stress/stress_support_win32.h"

namespace {

namespace fs = std::filesystem;
using lup::U8Path;
using lup_stress::Put;

// The host's data items; a pet's copies carry her name and "_" before them.
const char* const kItems[] = {"PostPet設定.ppc", "おともだち帳", "受信フォルダ",
                              "送信フォルダ", "おやつ", "宝物"};

std::string Bytes(std::size_t n, char seed) {
  std::string s(n, '\0');
  for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>(seed + i * 31);
  return s;
}

// One pet's data under `prefix` in D ("" for the host's own).
void FillPet(const fs::path& d, const std::string& prefix, const std::string& name, int mails,
             char seed) {
  Put(d / U8Path(prefix + "PostPet設定.ppc"), "name=" + name + "\r\nkind=クマ\r\n");
  Put(d / U8Path(prefix + "おともだち帳"), "友だち\r\n" + Bytes(20000, seed));
  const int received = mails * 3 / 4;
  struct Part {
    const char* folder;
    int files;
  };
  const Part parts[] = {{"受信フォルダ", received}, {"送信フォルダ", mails - received},
                        {"おやつ", 10}, {"宝物", 10}};
  for (const Part& part : parts) {
    const fs::path folder = d / U8Path(prefix + part.folder);
    fs::create_directories(folder);
    for (int i = 0; i < part.files; ++i)
      lup::test::WriteBytes(folder / ("m" + std::to_string(i) + ".dat"),
                            Bytes(2000 + (i % 7) * 500, seed));
  }
  Put(d / U8Path(prefix + "宝物") / "tzl001.pac", Bytes(4000, seed));  // the treasure box
}

// From the start of lupina.exe with `pet` until it ends; then the host it
// started is waited for, untimed. `*pid` is the launcher's process id.
double Call(const fs::path& work, const std::string& pet, DWORD* pid = nullptr) {
  PROCESS_INFORMATION pi{};
  const auto begin = std::chrono::steady_clock::now();
  if (!lup_stress::StartLauncher(work, pet, &pi)) {
    std::fprintf(stderr, "lupina.exe did not start (%lu)\n", GetLastError());
    std::exit(1);
  }
  if (pid) *pid = pi.dwProcessId;
  if (WaitForSingleObject(pi.hProcess, 120000) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "lupina.exe %s did not end: %s\n", pet.c_str(),
                 lup_stress::WindowTexts(pi.dwProcessId).c_str());
    TerminateProcess(pi.hProcess, 98);
    std::exit(1);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  lup_stress::WaitForHostToEnd(pi.dwProcessId, 120);
  if (code != 0) {
    std::fprintf(stderr, "lupina.exe %s ended with %lu\n", pet.c_str(), code);
    std::exit(1);
  }
  return seconds;
}

// The pet the host holds, as \lupina.dat says.
std::string Current(const fs::path& d) {
  const std::string bytes = lup::test::ReadBytes(d / "lupina.dat");
  const std::size_t open = bytes.find('"'), close = bytes.find('"', open + 1);
  if (open == std::string::npos || close == std::string::npos) return {};
  return lup::Cp932ToUtf8(bytes.substr(open + 1, close - open - 1)).value_or("");
}

// The data files of the items under `prefix` in D ("" for the host's own).
std::vector<fs::path> DataFiles(const fs::path& d, const std::string& prefix) {
  std::vector<fs::path> files;
  for (const char* item : kItems) {
    const fs::path p = d / U8Path(prefix + item);
    if (fs::is_regular_file(p)) files.push_back(p);
    else if (fs::is_directory(p))
      for (const fs::directory_entry& e : fs::recursive_directory_iterator(p))
        if (e.is_regular_file()) files.push_back(e.path());
  }
  return files;
}

// The safe floor of a bring-in: the files of `pet`'s copies written over
// the floor's folders (root\floor, made once beside the host folder with the
// host's items) by safe_floor.exe, started as the launcher is so that a
// traced run counts its requests apart. The pets take turns, as the
// switches do, so that no run writes its targets' bytes for it first.
// Returns the seconds safe_floor took by its own clock; `*files`, how many
// it wrote. With no pet, it writes nothing: its start-up alone.
double Floor(const fs::path& root, const std::string& pet, DWORD* pid = nullptr,
             std::size_t* files = nullptr) {
  const fs::path d = root / U8Path("ホスト"), floor = root / "floor";
  const fs::path seconds = root / "floor-seconds.txt",
                 exe = lup::ProgramFolder() / "safe_floor.exe";
  std::wstring cmd = L"\"" + exe.wstring() + L"\" \"" + seconds.wstring() + L"\"";
  for (const char* item : kItems)
    if (!pet.empty())
      cmd += L" \"" + (d / U8Path(pet + "_" + item)).wstring() + L"\" \"" +
             (floor / U8Path(item)).wstring() + L"\"";
  fs::remove(seconds);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, root.c_str(),
                      &si, &pi)) {
    std::fprintf(stderr, "safe_floor.exe did not start (%lu)\n", GetLastError());
    std::exit(1);
  }
  DWORD code = 1;
  if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  else
    TerminateProcess(pi.hProcess, 98);
  if (pid) *pid = pi.dwProcessId;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  double taken = 0;
  std::size_t written = 0;
  if (code != 0 ||
      std::sscanf(lup::test::ReadBytes(seconds).c_str(), "%lf %zu", &taken, &written) != 2) {
    std::fprintf(stderr, "safe_floor.exe failed (%lu)\n", code);
    std::exit(1);
  }
  if (files) *files = written;
  return taken;
}

void Traced(const char* what, const fs::path& d, const fs::path& work, const std::string& pet) {
  DWORD pid = 0;
  const double seconds = Call(work, pet, &pid);
  if (Current(d) != pet) {
    std::fprintf(stderr, "after the call of %s the host holds %s\n", pet.c_str(), Current(d).c_str());
    std::exit(1);
  }
  std::printf("call-trace %s %lu %.4f\n", what, pid, seconds);
  std::fflush(stdout);
}

int Trace(const fs::path& root) {
  const fs::path d = root / U8Path("ホスト"), work = root / "work";
  if (Current(d) != "ミミ") {
    std::fprintf(stderr, "%s holds %s, not ミミ: run the timed calls first\n",
                 lup::PathText(d).c_str(), Current(d).c_str());
    return 1;
  }
  lup_stress::SettingsAside aside(d);
  lup::OpenUserSettings()->Set("cnt_pet", "2");
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", (work / "script.txt").c_str());

  std::printf("call-trace files %zu %zu\n", DataFiles(d, "").size(),
              DataFiles(d, "ソラ_").size());
  Traced("warm-up", d, work, "ミミ");
  Traced("current", d, work, "ミミ");
  Traced("unchanged", d, work, "ソラ");
  // The host changes every file it holds, each keeping its length: the
  // put-away reads each through before it finds it changed, as the
  // bring-in does with the files it writes.
  const std::vector<fs::path> host = DataFiles(d, "");
  std::vector<std::pair<fs::path, std::string>> changed;
  for (const fs::path& file : host) {
    std::string bytes = lup::test::ReadBytes(file);
    for (char& c : bytes) c = static_cast<char>(c + 1);
    lup::test::WriteBytes(file, bytes);
    changed.emplace_back(fs::relative(file, d), bytes);
  }
  std::printf("call-trace changed-files %zu %zu\n", host.size(), DataFiles(d, "ミミ_").size());
  Traced("changed", d, work, "ミミ");
  // Where the put-away wrote them: ソラ's copies.
  int written = 0;
  for (const auto& [relative, bytes] : changed) {
    fs::path own = d / U8Path("ソラ_" + lup::PathText(*relative.begin()));
    for (auto name = std::next(relative.begin()); name != relative.end(); ++name) own /= *name;
    if (fs::is_regular_file(own) && lup::test::ReadBytes(own) == bytes) ++written;
  }
  std::printf("call-trace put-away-written %d\n", written);
  if (!fs::is_directory(root / "floor")) {
    std::fprintf(stderr, "no floor's folders in %s: run the timed calls first\n",
                 lup::PathText(root).c_str());
    return 1;
  }
  DWORD floorPid = 0;
  std::size_t floorFiles = 0;
  double floorSeconds = Floor(root, "", &floorPid);
  std::printf("call-trace floor-start %lu %.4f\n", floorPid, floorSeconds);
  floorSeconds = Floor(root, "ソラ", &floorPid, &floorFiles);
  std::printf("call-trace floor %lu %.4f\ncall-trace floor-files %zu\n", floorPid, floorSeconds,
              floorFiles);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && std::wstring(argv[2]) == L"trace") return Trace(argv[1]);
  if (argc != 4) {
    std::fprintf(stderr, "usage: call_bench <folder> <mails> <runs> | call_bench <folder> trace\n");
    return 2;
  }
  const fs::path root = argv[1];
  const int mails = std::stoi(argv[2]), runs = std::stoi(argv[3]);
  const fs::path d = root / U8Path("ホスト"), work = root / "work";
  fs::remove_all(root);
  fs::create_directories(work);
  fs::create_directories(d);
  fs::copy_file(lup::ProgramFolder() / "hostsim.exe", d / "PostPet20.exe");
  for (const char* shared : {"受信フォルダ", "送信フォルダ", "おやつ", "宝物"})
    fs::create_directories(d / U8Path("共有") / U8Path(shared));
  FillPet(d, "ミミ_", "ミミ", mails, 'a');
  FillPet(d, "ソラ_", "ソラ", mails, 'b');
  FillPet(d, "", "ミミ", mails, 'a');  // the host holds ミミ's data
  const std::string mimi = lup::Utf8ToCp932("ミミ").value_or("?");
  const std::string sora = lup::Utf8ToCp932("ソラ").value_or("?");
  Put(d / "lupina.dat", "\"" + mimi + "\"\r\n");
  Put(d / "lupina3.dat", "\"" + mimi + "\",0,0,0,0\r\n\"" + sora + "\",0,0,0,0\r\n");

  lup_stress::SettingsAside aside(d);
  lup::OpenUserSettings()->Set("cnt_pet", "2");
  // The host reads its script from here: an empty one, so it ends at once.
  Put(work / "script.txt", "");
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", (work / "script.txt").c_str());

  const fs::path floor = root / "floor";
  fs::create_directories(floor);
  for (const char* item : kItems)
    fs::copy(d / U8Path(item), floor / U8Path(item), fs::copy_options::recursive);

  Call(work, "ミミ");  // once unmeasured: the first start reads everything from the disk
  for (int run = 0; run < runs; ++run) {
    std::printf("call-bench start %.4f\n", Call(work, "ミミ"));
    for (const char* pet : {"ソラ", "ミミ"}) {
      const double seconds = Call(work, pet);
      if (Current(d) != pet) {
        std::fprintf(stderr, "after the call of %s the host holds %s\n", pet, Current(d).c_str());
        return 1;
      }
      std::printf("call-bench switch %.4f\n", seconds);
    }
    std::printf("call-bench floor %.4f\n", Floor(root, run % 2 ? "ミミ" : "ソラ"));
    std::fflush(stdout);
  }
  std::printf("host %s\n", lup::PathText(d).c_str());
  return 0;
}
