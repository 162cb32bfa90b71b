// The whole road under Windows: lupina.exe, started with a pet's name as a
// per-pet shortcut starts it, swaps the pets' data in a host folder, records
// the called pet and the settings, and starts the stand-in host installed as
// the host executable; a second call files the host's changes under the
// right pet.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <thread>

#include "tests/support/temp_folder.h"
#include "core/shortcut.h"
#include "base/text.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "platform/win32/registry_settings.h"
#include "platform/win32/wide.h"
#include "tests/stress/stress_support_win32.h"
#include "tools/hostsim/host_files.h"

namespace {

namespace fs = std::filesystem;
using lup::PathText;
using lup::U8Path;

const char* const kKeys[] = {"pp_dir", "pp_name",   "ppc_name",   "friend_name", "tz_dir",
                             "tz_name", "jyusin_dir", "sousin_dir", "oyatsu_dir",  "flg_sopt1",
                             "flg_opt1", "ppexe1",    "ppexe2",     "cnt_pet"};

// The pet names as the list files hold them (CP932).
const char kPochiCp932[] = "\x83\x7c\x83\x60";
const char kMimiCp932[] = "\x83\x7e\x83\x7e";

void Put(const fs::path& p, std::string_view bytes) {
  fs::create_directories(p.parent_path());
  lup::test::WriteBytes(p, bytes);
}

// A snack file of the host's layout: name length at 32, CP932 name at 33,
// pieces left at 881.
std::string Snack(std::string_view cp932Name, std::uint16_t count) {
  std::string b(903, '\0');
  b[32] = static_cast<char>(cp932Name.size());
  b.replace(33, cp932Name.size(), cp932Name);
  b[881] = static_cast<char>(count & 0xFF);
  b[882] = static_cast<char>(count >> 8);
  return b;
}
int SnackCount(const fs::path& file) {
  std::string b = lup::test::ReadBytes(file);
  if (b.size() < 883) return -1;
  return static_cast<unsigned char>(b[881]) | (static_cast<unsigned char>(b[882]) << 8);
}

class CallPetEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path here = lup::ProgramFolder();
    lupina_ = here / "lupina.exe";
    hostsim_ = here / "hostsim.exe";
    if (!fs::exists(lupina_)) GTEST_SKIP() << "lupina.exe is not built beside this test yet";
    if (!fs::exists(hostsim_)) GTEST_SKIP() << "hostsim.exe is not built beside this test yet";
    ASSERT_FALSE(HostRunning()) << "a host from an earlier test still runs";

    // The user's settings are set aside and put back afterwards.
    store_ = lup::OpenUserSettings();
    for (const char* key : kKeys) {
      saved_[key] = store_->Get(key);
      lup::DeleteRegistrySetting("Lupina", "setting", key);
    }
    savedKeys_ = true;
    ASSERT_TRUE(store_->Set("pp_dir", PathText(d_)));

    fs::create_directories(d_);
    fs::copy_file(hostsim_, d_ / "PostPet20.exe");
    MakePet("ミミ", 7);
    MakePet("ポチ", 5);
    // The host holds ミミ's data: she was called last.
    for (const char* item : {"PostPet設定.ppc", "おともだち帳", "宝物", "受信フォルダ", "送信フォルダ", "おやつ"})
      fs::copy(At(std::string("ミミ_") + item), At(item), fs::copy_options::recursive);
    Put(At("lupina.dat"), std::string("\"") + kMimiCp932 + "\"\r\n");
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
    SetEnvironmentVariableW(L"LUP_TEST_VIRTUAL_STORE", nullptr);
    WaitForHostToEnd();
    if (!savedKeys_) return;
    for (const auto& [key, value] : saved_) {
      if (value) {
        store_->Set(key, *value);
      } else {
        lup::DeleteRegistrySetting("Lupina", "setting", key);
      }
    }
  }

  fs::path At(const std::string& relative) const { return d_ / U8Path(relative); }

  // A pet's own copies as the stand-in host makes them, plus a snack and a mail.
  void MakePet(const std::string& name, std::uint16_t snacks) {
    const fs::path scratch = tmp_ / ("new-" + name);
    fs::create_directories(scratch);
    hostsim::CreatePet(scratch, {name, "クマ"});
    Put(scratch / U8Path("おやつ/cake.pac"), Snack("\x83\x50\x81\x5b\x83\x4c", snacks));
    Put(scratch / U8Path("受信フォルダ/" + name + "-1.txt"), name + " のメール");
    hostsim::AddFriend(scratch, name + " の友達");
    for (const auto& entry : fs::directory_iterator(scratch))
      fs::copy(entry.path(), d_ / U8Path(name + "_" + lup::NameText(entry.path())),
               fs::copy_options::recursive);
  }

  static bool HostRunning() {
    for (const std::string& name : lup::RunningProcessNames()) {
      std::string upper = name;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (upper.find("POSTPET20.EXE") != std::string::npos) return true;
    }
    return false;
  }
  static void WaitForHostToEnd() {
    for (int i = 0; i < 600 && HostRunning(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  // Runs lupina.exe with `arguments` and the stand-in host's `script`, and
  // waits until the launcher and the host it started have both ended.
  void CallPet(const std::string& arguments, const std::string& script) {
    Run(lupina_, arguments, tmp_.path(), script);
  }

  // Runs `program` with `arguments` in `folder` as CallPet does.
  void Run(const fs::path& program, const std::string& arguments, const fs::path& folder,
           const std::string& script) {
    const size_t startsBefore = hostsim::ReadStartLog(d_).size();
    const fs::path scriptFile = tmp_ / "script.txt";
    Put(scriptFile, script);
    SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", scriptFile.c_str());

    std::wstring cmd = L"\"" + program.wstring() + L"\" " + lup::Wide(arguments);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(CreateProcessW(program.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                               folder.c_str(), &si, &pi));
    const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
    if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "lupina.exe did not end (waiting on a message box?)";

    for (int i = 0; i < 600 && hostsim::ReadStartLog(d_).size() == startsBefore; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    WaitForHostToEnd();
    SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
    ASSERT_EQ(hostsim::ReadStartLog(d_).size(), startsBefore + 1) << "the host was not started";
  }

  hostsim::StartRecord LastStart() const { return hostsim::ReadStartLog(d_).back(); }
  std::string Setting(const char* key) const { return store_->Get(key).value_or("(absent)"); }
  std::string Quoted(const fs::path& p) const { return "\"" + PathText(p) + "\""; }

  lup::test::TempFolder tmp_;
  const fs::path d_ = tmp_ / "Post Pet ホスト";
  fs::path lupina_, hostsim_;
  std::unique_ptr<lup::SettingsStore> store_;
  std::map<std::string, std::optional<std::string>> saved_;
  bool savedKeys_ = false;
};

TEST_F(CallPetEndToEnd, ACallSwapsTheDataAndTheNextOneFilesTheHostsChangesUnderThatPet) {
  CallPet("ポチ", "receive e2e-mail.txt こんにちは\r\neat\r\n");

  // The host ran on ポチ's data, started by its quoted full path in D.
  const hostsim::StartRecord start = LastStart();
  EXPECT_EQ(start.pet, "ポチ");
  EXPECT_EQ(start.cmd, Quoted(At("PostPet20.exe")));
  EXPECT_EQ(fs::path(U8Path(start.cwd)), d_);
  EXPECT_EQ(lup::test::ReadBytes(At("lupina.dat")), std::string("\"") + kPochiCp932 + "\"\r\n");
  EXPECT_EQ(Setting("pp_dir"), PathText(d_));
  EXPECT_EQ(Setting("pp_name"), "PostPet20.exe");
  EXPECT_EQ(Setting("ppc_name"), "PostPet設定.ppc");
  EXPECT_EQ(Setting("oyatsu_dir"), "おやつ");
  EXPECT_EQ(Setting("flg_sopt1"), "0");
  // ミミ's data went back into her copies; the host's own copies are ポチ's
  // with what the host did.
  EXPECT_EQ(hostsim::ReadPet(d_)->name, "ポチ");
  EXPECT_EQ(lup::test::ReadBytes(At("受信フォルダ/e2e-mail.txt")).find("こんにちは") != std::string::npos, true);
  EXPECT_FALSE(fs::exists(At("受信フォルダ/ミミ-1.txt")));
  EXPECT_EQ(SnackCount(At("おやつ/cake.pac")), 4);
  EXPECT_EQ(SnackCount(At("ミミ_おやつ/cake.pac")), 7);
  EXPECT_EQ(SnackCount(At("ポチ_おやつ/cake.pac")), 5);

  CallPet("ミミ", "");

  EXPECT_EQ(LastStart().pet, "ミミ");
  EXPECT_EQ(lup::test::ReadBytes(At("lupina.dat")), std::string("\"") + kMimiCp932 + "\"\r\n");
  // ポチ keeps the mail she received and the snack she ate; ミミ has neither.
  EXPECT_TRUE(fs::exists(At("ポチ_受信フォルダ/e2e-mail.txt")));
  EXPECT_EQ(SnackCount(At("ポチ_おやつ/cake.pac")), 4);
  EXPECT_FALSE(fs::exists(At("ミミ_受信フォルダ/e2e-mail.txt")));
  EXPECT_EQ(SnackCount(At("ミミ_おやつ/cake.pac")), 7);
  EXPECT_EQ(SnackCount(At("おやつ/cake.pac")), 7);
  EXPECT_TRUE(fs::exists(At("受信フォルダ/ミミ-1.txt")));
  EXPECT_FALSE(fs::exists(At("受信フォルダ/e2e-mail.txt")));
}

TEST_F(CallPetEndToEnd, TheNsSwitchEndsTheHostsCommandLine) {
  ASSERT_TRUE(store_->Set("flg_sopt1", "1"));
  CallPet("ポチ", "");
  EXPECT_EQ(LastStart().cmd, Quoted(At("PostPet20.exe")) + " -ns");
  EXPECT_EQ(Setting("flg_sopt1"), "1");
}

TEST_F(CallPetEndToEnd, ASpecialKindPetRunsThePatchedHost) {
  fs::copy_file(hostsim_, At("通常用_PostPet20.exe"));
  fs::copy_file(hostsim_, At("ノクタ用_PostPet20.exe"));
  ASSERT_TRUE(store_->Set("ppexe1", PathText(At("通常用_PostPet20.exe"))));
  ASSERT_TRUE(store_->Set("ppexe2", PathText(At("ノクタ用_PostPet20.exe"))));
  Put(At("lupina2.dat"), std::string("\"") + kMimiCp932 + "\",#FALSE#\r\n\"" + kPochiCp932 +
                             "\",#TRUE#\r\n");

  CallPet("ポチ", "");
  EXPECT_EQ(LastStart().cmd, Quoted(At("ノクタ用_PostPet20.exe")));
  EXPECT_EQ(fs::path(U8Path(LastStart().exe)), At("ノクタ用_PostPet20.exe"));
  EXPECT_EQ(LastStart().pet, "ポチ");

  CallPet("ミミ", "");
  EXPECT_EQ(LastStart().cmd, Quoted(At("通常用_PostPet20.exe")));
  EXPECT_EQ(LastStart().pet, "ミミ");
}

// A per-pet shortcut as the utility writes it (the real writer), read back
// by the shell-link object, starts the launcher for its pet.
TEST_F(CallPetEndToEnd, APerPetShortcutStartsTheLauncherWithThePetsName) {
  CallPet("ポチ", "");  // ポチ is current when the shortcut calls ミミ back
  // "ŝ" lies outside the Japanese and the Western code pages.
  const fs::path links = tmp_ / "リンク ŝ";
  fs::create_directories(links);
  lup::Shortcut link;
  link.target = lupina_;
  link.arguments = "ミミ";
  link.workingFolder = d_;
  link.iconFile = lupina_;
  const fs::path file = links / U8Path(lup::ShortcutFileName("ミミ"));
  ASSERT_TRUE(lup::WriteShortcut(file, link).ok());

  const std::optional<lup::Shortcut> back = lup::ReadShortcut(file);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->target, lupina_);
  EXPECT_EQ(back->arguments, "ミミ");
  EXPECT_EQ(back->workingFolder, d_);
  EXPECT_EQ(back->iconFile, lupina_);
  EXPECT_EQ(back->showCommand, 1);  // written 0: a normal window
  EXPECT_EQ(back->hotKey, 0);

  Run(back->target, back->arguments, back->workingFolder, "");
  EXPECT_EQ(LastStart().pet, "ミミ");
  EXPECT_EQ(lup::test::ReadBytes(At("lupina.dat")), std::string("\"") + kMimiCp932 + "\"\r\n");
  std::printf("shortcut %s: %s %s -> the host runs with %s\n", PathText(file).c_str(),
              PathText(back->target).c_str(), back->arguments.c_str(), LastStart().pet.c_str());
}

}  // namespace

// D under Program Files, the host redirected to the user's VirtualStore:
// Windows does that, Wine does not, so the platform layer's seam
// (LUP_TEST_VIRTUAL_STORE) says it for the programs. The launcher's call and
// the utility's backup work on the store; D stays as installed. (The
// stand-in host itself reads D unredirected: only its start is looked at.)
TEST_F(CallPetEndToEnd, OnAVirtualStoreTheCallAndTheBackupWorkThereAndTheRealFolderStaysAsInstalled) {
  const fs::path store = tmp_ / "VirtualStore" / "Post Pet ホスト";
  fs::create_directories(store);
  for (const auto& entry : fs::directory_iterator(d_))
    if (entry.path().filename() != "PostPet20.exe") fs::rename(entry.path(), store / entry.path().filename());
  SetEnvironmentVariableW(L"LUP_TEST_VIRTUAL_STORE", store.c_str());

  CallPet("ポチ", "");
  EXPECT_EQ(lup::test::NamesIn(d_), "PostPet20.exe|" + std::string(hostsim::kLogName));
  EXPECT_EQ(lup::test::ReadBytes(store / "lupina.dat"), std::string("\"") + kPochiCp932 + "\"\r\n");
  ASSERT_TRUE(hostsim::ReadPet(store));
  EXPECT_EQ(hostsim::ReadPet(store)->name, "ポチ");
  EXPECT_TRUE(fs::exists(store / U8Path("受信フォルダ/ポチ-1.txt")));
  EXPECT_FALSE(fs::exists(store / U8Path("受信フォルダ/ミミ-1.txt")));
  EXPECT_TRUE(fs::exists(store / U8Path("ミミ_受信フォルダ/ミミ-1.txt")));
  EXPECT_EQ(SnackCount(store / U8Path("ミミ_おやつ/cake.pac")), 7);

  const lup_stress::BackupRun backup = lup_stress::RunBackup(tmp_.path(), std::nullopt);
  EXPECT_TRUE(backup.reachedRun && !backup.killed && !backup.refused) << backup.shown;
  EXPECT_TRUE(fs::exists(store / U8Path("bak/ポチ_PostPet設定.ppc.bak")));
  EXPECT_TRUE(fs::exists(store / U8Path("bak/ミミ_受信フォルダ/ミミ-1.txt")));
  EXPECT_EQ(lup::test::NamesIn(d_), "PostPet20.exe|" + std::string(hostsim::kLogName));
}
