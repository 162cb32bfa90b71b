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
#include "tools/hostsim/host_files.h"

namespace {

namespace fs = std::filesystem;
using lup::PathText;
using lup::U8Path;
using lup::test::Files;

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

void Put(const fs::path& p, std::string_view bytes) {
  fs::create_directories(p.parent_path());
  lup::test::WriteBytes(p, bytes);
}

lup::ShareFlags FlagsOf(const std::string& pet) {
  for (const StressPet& p : kPets)
    if (pet == p.name) return p.flags;
  return {};
}

// The host folder and its model: what every file must hold after each
// completed call.
class Installation {
 public:
  explicit Installation(const fs::path& root) : d_(root / U8Path("Post Pet ホスト")) {
    fs::remove_all(root);
    fs::create_directories(d_);
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

  // Every data file under D (the list files and the host's own files aside).
  Files Data() const {
    Files out;
    for (auto& [path, bytes] : Snapshot()) {
      if (path == "lupina.dat" || path == "lupina3.dat" || path == "PostPet20.exe" ||
          path == "hostsim-log.txt")
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
    std::vector<std::string> problems;
    Files disk = Data();
    for (auto it = disk.begin(); it != disk.end();)
      it = lup::IsTempName(lup::NameText(U8Path(it->first))) ? disk.erase(it) : std::next(it);
    for (const auto& [path, bytes] : model_) {
      auto found = disk.find(path);
      if (found == disk.end())
        problems.push_back("missing: " + path);
      else if (found->second != bytes)
        problems.push_back("changed: " + path + " holds \"" + found->second.substr(0, 60) + "\"");
    }
    for (const auto& [path, bytes] : disk)
      if (!model_.count(path)) problems.push_back("unexpected: " + path);
    const std::string list = lup::test::ReadBytes(d_ / "lupina.dat");
    if (list != "\"" + Cp932(current_) + "\"\r\n")
      problems.push_back("lupina.dat does not name " + current_);
    return problems;
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

  Files Snapshot() const {
    Files out;
    std::error_code e;
    for (fs::recursive_directory_iterator it(d_, e), end; !e && it != end; it.increment(e)) {
      if (!it->is_regular_file()) continue;
      out[PathText(it->path().lexically_relative(d_).generic_u8string())] =
          lup::test::ReadBytes(it->path());
    }
    return out;
  }

  fs::path d_;
  std::string current_;
  Files model_;
};

bool HostRunning() {
  for (const std::string& name : lup::RunningProcessNames()) {
    std::string upper = name;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (upper.find("POSTPET20.EXE") != std::string::npos) return true;
  }
  return false;
}

// True while a process started by process `parent` runs (a host that a
// killed launcher had just started may not carry its name yet).
bool ChildRunning(DWORD parent) {
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

// The host counts as ended when neither it nor anything the launcher
// `launcher` started has been seen for a whole second.
void WaitForHostToEnd(DWORD launcher = 0) {
  int quiet = 0;
  for (int i = 0; i < 2400 && quiet < 20; ++i) {
    quiet = HostRunning() || (launcher != 0 && ChildRunning(launcher)) ? 0 : quiet + 1;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

struct Run {
  bool started = false;
  bool killed = false;   // ended by us
  DWORD exitCode = 0;
  double seconds = 0;
  std::string shown;     // what its windows said when it did not end
};

// The texts of the windows of process `pid` (a message box nobody answers).
std::string WindowTexts(DWORD pid) {
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

// Starts lupina.exe with `pet` on its command line and the host script in
// `script`; ends it after `killAfter` (none: waits up to a minute).
Run RunLauncher(const fs::path& work, const std::string& pet, const std::string& script,
                std::optional<std::chrono::microseconds> killAfter) {
  Run run;
  const fs::path scriptFile = work / "script.txt";
  Put(scriptFile, script);
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", scriptFile.c_str());
  const fs::path lupina = lup::ProgramFolder() / "lupina.exe";
  std::wstring cmd = L"\"" + lupina.wstring() + L"\" " + lup::Wide(pet);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const auto begin = std::chrono::steady_clock::now();
  if (!CreateProcessW(lupina.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      work.c_str(), &si, &pi))
    return run;
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
    waited = WaitForSingleObject(pi.hProcess, 60000);
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
  WaitForHostToEnd(pi.dwProcessId);
  SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
  return run;
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

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int kills = 200;
  unsigned seed = static_cast<unsigned>(std::random_device{}());
  for (int i = 1; i + 1 < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--kills") kills = std::stoi(argv[++i]);
    else if (a == L"--seed") seed = static_cast<unsigned>(std::stoul(argv[++i]));
  }
  std::printf("call stress: %d kills, seed %u\n", kills, seed);
  std::fflush(stdout);
  std::mt19937 random(seed);

  const fs::path root = fs::temp_directory_path() / U8Path("ルピナ stress");
  Installation inst(root);
  const fs::path work = root / "work";
  fs::create_directories(work);
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
  std::printf("a whole call takes %.2f s; kills are drawn from 0 to %.2f s\n", callSeconds,
              callSeconds * 1.1);

  std::uniform_real_distribution<double> when(0.0, callSeconds * 1.1);
  std::uniform_int_distribution<int> whichPet(0, static_cast<int>(std::size(kPets)) - 1);
  int cutShort = 0, completedAnyway = 0, failures = 0;
  // Until `kills` calls were cut short (a call may end before its kill).
  for (int round = 1; cutShort < kills && round <= 3 * kills; ++round) {
    // Another pet than the current one: the killed call has data to move.
    std::string target = inst.current();
    while (target == inst.current()) target = kPets[whichPet(random)].name;
    const double at = when(random);
    const Run killedRun = RunLauncher(
        work, target, "", std::chrono::microseconds(static_cast<long long>(at * 1e6)));
    if (killedRun.killed) {
      ++cutShort;
    } else {
      ++completedAnyway;
      if (killedRun.exitCode == 0) inst.ModelCall(target);
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
    const Run fresh = RunLauncher(work, next, script, std::nullopt);
    problems = inst.Check();
    const bool ok = fresh.started && !fresh.killed && fresh.exitCode == 0 && problems.empty();
    std::printf("round %d: %s killed at %.3f s%s, then %s called (from %s): %s, %d leftover "
                "temporary file(s)\n",
                round, target.c_str(), at, killedRun.killed ? "" : " (it had ended)",
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
