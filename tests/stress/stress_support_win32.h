#pragma once
// What the stress programs have in common: a host folder of three pets with
// different share flags and the model of every data file in it, the user's
// settings set aside while a run works, and a look at a process's windows.

#include <tlhelp32.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/codepage.h"
#include "base/text.h"
#include "core/fileops.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "platform/win32/registry_settings.h"
#include "platform/win32/wide.h"
#include "tests/support/host_folder.h"
#include "core/product.h"
#include "tests/support/remote_window_win32.h"
#include "tools/hostsim/host_files.h"

namespace lup_stress {

namespace fs = std::filesystem;
using lup::PathText;
using lup::U8Path;
using lup::test::Files;

// The command line of a stress program: --kills N (200), --seed N (a fresh
// one); printed with `what` so that a run can be repeated.
struct StressArgs {
  int kills = 200;
  unsigned seed = 0;
};
inline StressArgs ReadStressArgs(int argc, wchar_t** argv, const char* what) {
  StressArgs args;
  args.seed = static_cast<unsigned>(std::random_device{}());
  for (int i = 1; i + 1 < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--kills") args.kills = std::stoi(argv[++i]);
    else if (a == L"--seed") args.seed = static_cast<unsigned>(std::stoul(argv[++i]));
  }
  std::printf("%s: %d kills, seed %u\n", what, args.kills, args.seed);
  std::fflush(stdout);
  return args;
}

// When to kill: a time drawn from the seeded source over the length of a
// whole run and a tenth beyond. The length follows the machine: a run that
// ended before its kill time gives the new one, so that a machine that got
// quicker still sees its runs cut short.
class KillClock {
 public:
  KillClock(unsigned seed, double wholeSeconds) : random_(seed), whole_(wholeSeconds) {}
  double Next() { return std::uniform_real_distribution<double>(0.0, whole_ * 1.1)(random_); }
  void WholeRunTook(double seconds) {
    if (seconds > 0) whole_ = seconds;
  }

 private:
  std::mt19937 random_;
  double whole_;
};

// The differences between the files a run must have left and those it
// left, one line each, named `what`.
inline std::vector<std::string> Differences(const Files& want, const Files& have,
                                            const std::string& what) {
  std::vector<std::string> problems;
  for (const auto& [path, bytes] : want) {
    const auto found = have.find(path);
    if (found == have.end())
      problems.push_back(what + " missing: " + path);
    else if (found->second != bytes)
      problems.push_back(what + " changed: " + path + " holds \"" + found->second.substr(0, 60) + "\"");
  }
  for (const auto& [path, bytes] : have)
    if (!want.count(path)) problems.push_back(what + " unexpected: " + path);
  return problems;
}

struct StressPet {
  const char* name;
  lup::ShareFlags flags;
};
const StressPet kPets[] = {
    {"ミミ", {0, 0, 0, 0}},
    {"ソラ", {1, 0, 1, 0}},
    {"クロ", {0, 1, 0, 1}},
};
constexpr int kMailsPerPet = 120;

const char* const kKeys[] = {"pp_dir", "pp_name", "ppc_name", "friend_name", "tz_dir",
                             "tz_name", "jyusin_dir", "sousin_dir", "oyatsu_dir", "flg_sopt1",
                             "flg_opt1", "ppexe1", "ppexe2", "cnt_pet"};

inline void Put(const fs::path& p, std::string_view bytes) {
  fs::create_directories(p.parent_path());
  lup::test::WriteBytes(p, bytes);
}

inline lup::ShareFlags FlagsOf(const std::string& pet) {
  for (const StressPet& p : kPets)
    if (pet == p.name) return p.flags;
  return {};
}

// The host folder and its model: what every file must hold after each
// completed call.
class Installation {
 public:
  explicit Installation(const fs::path& root)
      : d_(root / U8Path("Post Pet ホスト")), work_(root / "work") {
    fs::remove_all(root);
    fs::create_directories(d_);
    fs::create_directories(work_);
    fs::copy_file(lup::ProgramFolder() / "hostsim.exe", d_ / "PostPet20.exe");
    for (const StressPet& pet : kPets) MakeCopies(std::string(pet.name) + "_", pet.name);
    MakeCopies("共有/", "shared");
    MakeCopies("", kPets[0].name);  // the host holds ミミ's data
    current_ = kPets[0].name;
    Put(d_ / "lupina.dat", "\"" + Cp932(current_) + "\"\r\n");
    std::string list;
    for (const StressPet& pet : kPets) {
      list += "\"" + Cp932(pet.name) + "\"";
      for (int flag : pet.flags) {
        list += ',';
        list += std::to_string(flag);
      }
      list += "\r\n";
    }
    Put(d_ / "lupina3.dat", list);
    model_ = Data();
  }

  const fs::path& D() const { return d_; }
  // Where the programs are started (beside D, not in it).
  const fs::path& Work() const { return work_; }
  const std::string& current() const { return current_; }

  // What a completed call of `pet` does to the model: the current pet put
  // away, the called one brought in.
  void ModelCall(const std::string& pet) {
    if (pet != current_) {
      lup::test::ModelPutAway(model_, current_, FlagsOf(current_));
      lup::test::ModelBringIn(model_, pet, FlagsOf(pet));
      current_ = pet;
    }
  }

  // The stand-in host's script for the current pet in round `round`, and
  // what it does to the model.
  std::string ScriptFor(int round) {
    const std::string pet = current_;
    const std::string tag = pet + "-" + std::to_string(round);
    std::string script = "receive r" + std::to_string(round) + ".txt " + tag + " received\r\n" +
                         "send s" + std::to_string(round) + ".txt " + tag + " sent\r\n" +
                         "friend " + tag + "\r\n";
    model_["受信フォルダ/r" + std::to_string(round) + ".txt"] = tag + " received";
    model_["送信フォルダ/s" + std::to_string(round) + ".txt"] = tag + " sent";
    std::string& book = model_["おともだち帳"];
    if (!book.empty() && book.back() != '\n') book += "\r\n";
    book += tag + "\r\n";
    if (round % 3 == 0) {
      // A mail deleted in the host stays deleted.
      for (const auto& [path, bytes] : model_) {
        if (path.rfind("受信フォルダ/", 0) == 0) {
          const std::string name = path.substr(std::string("受信フォルダ/").size());
          script += "delete-received " + name + "\r\n";
          model_.erase(path);
          break;
        }
      }
    }
    return script;
  }

  // Every data file under D (the list files, the host's own files and the
  // backups aside).
  Files Data() const {
    Files out;
    for (auto& [path, bytes] : Snapshot()) {
      if (path.rfind("bak/", 0) == 0 || path.rfind("bak履歴/", 0) == 0 || path == "lupina.dat" ||
          path == "lupina3.dat" || path == "PostPet20.exe" || path == "hostsim-log.txt")
        continue;
      out[path] = bytes;
    }
    return out;
  }

  // Leftover temporary files of the funnel (not data; counted).
  int Strays() const {
    int n = 0;
    for (auto& [path, bytes] : Snapshot())
      if (lup::IsTempName(lup::NameText(U8Path(path)))) ++n;
    return n;
  }

  // The differences between the disk and the model, one line each.
  std::vector<std::string> Check() const {
    Files disk = Data();
    for (auto it = disk.begin(); it != disk.end();)
      it = lup::IsTempName(lup::NameText(U8Path(it->first))) ? disk.erase(it) : std::next(it);
    std::vector<std::string> problems = Differences(model_, disk, "data");
    const std::string list = lup::test::ReadBytes(d_ / "lupina.dat");
    if (list != "\"" + Cp932(current_) + "\"\r\n")
      problems.push_back("lupina.dat does not name " + current_);
    return problems;
  }

  // Every file under D, by its path relative to D with '/' between folders.
  Files Snapshot() const {
    Files out;
    std::error_code e;
    for (fs::recursive_directory_iterator it(d_, e), end; !e && it != end; it.increment(e)) {
      // Our notes of which folders hold the same files are not data.
      if (it.depth() == 0 && it->path().filename() == lup::U8Path(lup::kSameFilesFolderName)) {
        it.disable_recursion_pending();
        continue;
      }
      if (!it->is_regular_file()) continue;
      out[PathText(it->path().lexically_relative(d_).generic_u8string())] =
          lup::test::ReadBytes(it->path());
    }
    return out;
  }

 private:
  static std::string Cp932(std::string_view utf8) { return lup::Utf8ToCp932(utf8).value_or("?"); }

  void MakeCopies(const std::string& prefix, const std::string& owner) {
    const fs::path d = d_;
    auto at = [&](const std::string& relative) { return d / U8Path(prefix + relative); };
    if (prefix != "共有/") Put(at("PostPet設定.ppc"), "name=" + owner + "\r\nkind=クマ\r\n");
    Put(at("おともだち帳"), owner + " の友達\r\n");
    Put(at("宝物/tzl001.pac"), lup::test::BoxBytes(owner));
    Put(at("宝物/" + owner + "-gem.bmp"), owner + " gem");
    Put(at("おやつ/" + owner + "-cake.pac"), owner + " cake");
    for (int i = 0; i < kMailsPerPet; ++i) {
      Put(at("受信フォルダ/m" + std::to_string(i) + ".txt"),
          owner + " mail " + std::to_string(i) + std::string(200 + i * 13 % 3000, 'x'));
    }
    Put(at("送信フォルダ/" + owner + "-out.txt"), owner + " sent");
  }

  fs::path d_;
  fs::path work_;
  std::string current_;
  Files model_;
};

// Starts lupina.exe (beside this program) with `pet` on its command line,
// in the folder `work`.
inline bool StartLauncher(const fs::path& work, const std::string& pet, PROCESS_INFORMATION* pi) {
  const fs::path lupina = lup::ProgramFolder() / "lupina.exe";
  std::wstring cmd = L"\"" + lupina.wstring() + L"\" " + lup::Wide(pet);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  return CreateProcessW(lupina.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        work.c_str(), &si, pi) != 0;
}

inline bool HostRunning() {
  for (const std::string& name : lup::RunningProcessNames()) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("POSTPET20.EXE") != std::string::npos) return true;
  }
  return false;
}

// True while a process started by process `parent` runs (a host that a
// killed launcher had just started may not carry its name yet).
inline bool ChildRunning(DWORD parent) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry))
    found = entry.th32ParentProcessID == parent;
  CloseHandle(snapshot);
  return found;
}

// Ends the stand-in hosts and whatever process `launcher` started; how many.
inline int EndHosts(DWORD launcher) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int ended = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    const bool host = _wcsicmp(entry.szExeFile, L"PostPet20.exe") == 0;
    if (!host && !(launcher != 0 && entry.th32ParentProcessID == launcher)) continue;
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
      if (TerminateProcess(process, 97)) ++ended;
      WaitForSingleObject(process, 10000);
      CloseHandle(process);
    }
  }
  CloseHandle(snapshot);
  return ended;
}

// The host counts as ended when neither it nor anything the launcher
// `launcher` started has been seen for a whole second. One that is still
// there after `patience` seconds is ended: under Wine a process whose parent
// was killed while starting it may never run. The stand-in host of a killed
// call has no script; ending it changes no file. Returns how many were ended.
inline int WaitForHostToEnd(DWORD launcher = 0, double patience = 20) {
  const auto quiet = [&] {
    int quietPolls = 0;
    const int polls = static_cast<int>(patience * 20);
    for (int i = 0; i < polls && quietPolls < 20; ++i) {
      quietPolls = HostRunning() || (launcher != 0 && ChildRunning(launcher)) ? 0 : quietPolls + 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return quietPolls >= 20;
  };
  if (quiet()) return 0;
  const int ended = EndHosts(launcher);
  quiet();
  return ended;
}

// The texts of the windows of process `pid` (a message box nobody answers).
inline std::string WindowTexts(DWORD pid) {
  struct Found {
    DWORD pid;
    std::string text;
  } found{pid, {}};
  EnumWindows(
      [](HWND window, LPARAM param) -> BOOL {
        auto* f = reinterpret_cast<Found*>(param);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != f->pid || !IsWindowVisible(window)) return TRUE;
        auto add = [&](HWND w) {
          wchar_t buffer[2048];
          if (GetWindowTextW(w, buffer, 2048) > 0) f->text += "[" + lup::Narrow(buffer) + "] ";
        };
        add(window);
        EnumChildWindows(
            window,
            [](HWND child, LPARAM p) -> BOOL {
              wchar_t buffer[2048];
              if (GetWindowTextW(child, buffer, 2048) > 0)
                reinterpret_cast<Found*>(p)->text += "[" + lup::Narrow(buffer) + "] ";
              return TRUE;
            },
            param);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.text;
}

class SettingsAside {
 public:
  explicit SettingsAside(const fs::path& d) : store_(lup::OpenUserSettings()) {
    for (const char* key : kKeys) {
      saved_[key] = store_->Get(key);
      lup::DeleteRegistrySetting("Lupina", "setting", key);
    }
    store_->Set("pp_dir", PathText(d));
    store_->Set("cnt_pet", std::to_string(std::size(kPets)));
  }
  ~SettingsAside() {
    for (const auto& [key, value] : saved_) {
      if (value)
        store_->Set(key, *value);
      else
        lup::DeleteRegistrySetting("Lupina", "setting", key);
    }
  }

 private:
  std::unique_ptr<lup::SettingsStore> store_;
  std::map<std::string, std::optional<std::string>> saved_;
};


// Waits up to `seconds` for `found` to give something (a window, true);
// what it gave last.
template <class F>
auto WaitFor(F found, double seconds = 30) -> decltype(found()) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  for (;;) {
    if (auto got = found()) return got;
    if (std::chrono::steady_clock::now() >= end) return found();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// The visible message boxes of process `pid`, with their texts.
inline std::vector<std::pair<HWND, std::string>> MessageBoxes(DWORD pid) {
  struct Found {
    DWORD pid;
    std::vector<std::pair<HWND, std::string>> boxes;
  } found{pid, {}};
  EnumWindows(
      [](HWND h, LPARAM p) -> BOOL {
        auto* f = reinterpret_cast<Found*>(p);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner != f->pid || !IsWindowVisible(h) || lup::remote::ClassOf(h) != L"#32770") return TRUE;
        std::wstring text;
        for (HWND c = GetWindow(h, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
          if (lup::remote::ClassOf(c) == L"Static") text += lup::remote::TextOf(c);
        f->boxes.emplace_back(h, lup::Narrow(text));
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.boxes;
}

// Starts lupina.exe calling `pet`; true when it started the host. It is
// ended when it shows a message (a refusal nobody answers).
inline bool Call(const fs::path& work, const std::string& pet, std::string* said) {
  PROCESS_INFORMATION pi{};
  if (!StartLauncher(work, pet, &pi)) return false;
  bool ended = false;
  for (int i = 0; i < 2400 && !ended; ++i) {
    ended = WaitForSingleObject(pi.hProcess, 25) == WAIT_OBJECT_0;
    if (!ended && !MessageBoxes(pi.dwProcessId).empty()) break;
  }
  if (!ended) {
    *said = WindowTexts(pi.dwProcessId);
    TerminateProcess(pi.hProcess, 98);
    WaitForSingleObject(pi.hProcess, INFINITE);
  }
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  WaitForHostToEnd(pi.dwProcessId, ended ? 120 : 20);
  return ended && code == 0;
}

// The utility's backup, run from its menu as a user runs it.
inline constexpr char kBackupDone[] = "全てのペットのデータをバックアップしました";

struct BackupRun {
  bool reachedRun = false;  // the backup was started in the dialog
  bool refused = false;     // another program had the data: it said so
  bool killed = false;      // ended by us before it said it was done
  double seconds = 0;       // from the click on "バックアップ実行"
  std::string shown;        // its windows' texts when it did not finish
};

// Starts lupset.exe and backs up every pet, ending it after `killAfter`
// from the click (none: when it says it is done, or after two minutes).
inline BackupRun RunBackup(const fs::path& work, std::optional<std::chrono::microseconds> killAfter) {
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
  const HWND menu = WaitFor([&] { return lup::remote::Form(pid, lup::Wide(lup::kUtilityTitle)); });
  const HWND open = menu ? WaitFor([&] { return lup::remote::Child(menu, L"Button", L"データのバックアップ"); }) : nullptr;
  if (open) lup::remote::Press(menu, open);
  const HWND dialog = open ? WaitFor([&] { return lup::remote::Form(pid, L"データをバックアップします"); }) : nullptr;
  const HWND go = dialog ? WaitFor([&] { return lup::remote::Child(dialog, L"Button", L"バックアップ実行"); }) : nullptr;
  if (go) {
    run.reachedRun = true;
    const auto begin = std::chrono::steady_clock::now();
    lup::remote::Press(dialog, go);
    const double limit = killAfter ? std::chrono::duration<double>(*killAfter).count() : 120.0;
    bool done = false;
    while (!done && std::chrono::steady_clock::now() - begin < std::chrono::duration<double>(limit)) {
      const std::string texts = WindowTexts(pid);
      done = texts.find(kBackupDone) != std::string::npos;
      run.refused = texts.find("がポストペットのデータを使っています") != std::string::npos;
      if (run.refused) break;
      if (!done) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    run.killed = !done && !run.refused;
  }
  if (run.killed || run.refused || !run.reachedRun) run.shown = WindowTexts(pid);
  TerminateProcess(pi.hProcess, 99);
  WaitForSingleObject(pi.hProcess, INFINITE);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return run;
}

}  // namespace lup_stress
