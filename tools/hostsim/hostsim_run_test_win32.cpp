// Runs the stand-in host as the host executable of a temporary host folder:
// scripted sessions, the start log, and its two windows driven by messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/text.h"
#include "platform/program.h"
#include "tools/hostsim/host_files.h"
#include "tools/hostsim/host_test_support.h"
#include "tools/hostsim/hostsim_ids.h"

namespace hostsim {
namespace {

using lup::U8Path;
using support::Put;
using support::SnackBytes;

std::wstring WindowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
  text.resize(static_cast<size_t>(
      SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

bool Contains(const std::wstring& text, const wchar_t* part) { return text.find(part) != std::wstring::npos; }

// One started host process; ended by its handle if a test leaves it running.
class Host {
 public:
  Host(const fs::path& exe, const std::wstring& commandLine, const fs::path& cwd) {
    STARTUPINFOW si{};
    si.cb = sizeof si;
    std::wstring cmd = commandLine;
    started_ = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, cwd.c_str(), &si, &pi_);
  }
  ~Host() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 99);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  bool started() const { return started_; }
  // The exit code, or nullopt when it has not ended within the time.
  std::optional<DWORD> Wait(DWORD ms = 30000) {
    if (!started_ || WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return std::nullopt;
    DWORD code = 0;
    GetExitCodeProcess(pi_.hProcess, &code);
    return code;
  }
  // A visible top-level window of this process with the given class.
  HWND FindWindowOf(const wchar_t* cls, DWORD ms = 20000) {
    struct Search {
      DWORD pid;
      const wchar_t* cls;
      HWND found;
    } search{pi_.dwProcessId, cls, nullptr};
    for (DWORD waited = 0; waited < ms && !search.found; waited += 50) {
      EnumWindows(
          [](HWND hwnd, LPARAM lp) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lp);
            DWORD pid = 0;
            wchar_t name[64];
            GetWindowThreadProcessId(hwnd, &pid);
            if (pid == s->pid && IsWindowVisible(hwnd) && GetClassNameW(hwnd, name, 64) &&
                std::wstring_view(name) == s->cls) {
              s->found = hwnd;
              return FALSE;
            }
            return TRUE;
          },
          reinterpret_cast<LPARAM>(&search));
      if (!search.found) Sleep(50);
    }
    return search.found;
  }

 private:
  bool started_ = false;
  PROCESS_INFORMATION pi_{};
};

class HostRun : public ::testing::Test, protected support::TempHost {
 protected:
  void SetUp() override {
    const fs::path built = lup::ProgramFolder() / U8Path("hostsim.exe");  // built beside this test
    ASSERT_TRUE(fs::exists(built));
    fs::copy_file(built, exe);
    fs::create_directories(elsewhere);
    SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
  }
  void TearDown() override { SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr); }

  std::string Read(const fs::path& p) const { return ReadFileText(p); }
  std::wstring Quoted() const { return L"\"" + exe.wstring() + L"\""; }

  // Runs the host with a script given through the environment, as the
  // launcher and the utility start it (they pass no arguments of ours).
  std::optional<DWORD> RunScript(std::string_view script, const std::wstring& commandLine) {
    fs::path file = temp / "台本.txt";
    Put(file, script);
    SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", file.c_str());
    Host host(exe, commandLine, elsewhere);
    SetEnvironmentVariableW(L"LUP_HOSTSIM_SCRIPT", nullptr);
    if (!host.started()) return std::nullopt;
    return host.Wait();
  }

  fs::path exe = dir / U8Path("PostPet20.exe");
  fs::path elsewhere = temp / "作業";
};

TEST_F(HostRun, AScriptedSessionChangesThePetsFilesAndRecordsTheStart) {
  Put(At(kSettingsName), "name=ミケ\r\nkind=ネコ\r\n");
  Put(At(kFriendBookName), "たろう\r\n");
  const std::string snack = SnackBytes("\x83\x60\x83\x87\x83\x52", 2);
  Put(At(kSnackDir, "choco.pac"), snack);
  Put(At(kReceivedDir, "old.txt"), "old");

  const std::wstring cmd = Quoted() + L" -ns";
  ASSERT_EQ(RunScript("receive r1.txt こんにちは\nsend s1.txt またね\nfriend はなこ\neat\n"
                      "delete-received old.txt\nwait 10\n", cmd),
            0u);

  EXPECT_EQ(Read(At(kReceivedDir, "r1.txt")), "こんにちは");
  EXPECT_FALSE(fs::exists(At(kReceivedDir, "old.txt")));
  EXPECT_EQ(Read(At(kSentDir, "s1.txt")), "またね");
  EXPECT_EQ(Read(At(kFriendBookName)), "たろう\r\nはなこ\r\n");
  std::string eaten = Read(At(kSnackDir, "choco.pac"));
  EXPECT_EQ(eaten.size(), snack.size());
  EXPECT_EQ(eaten[881], 1);
  EXPECT_EQ(eaten.substr(0, 881), snack.substr(0, 881));
  EXPECT_EQ(eaten.substr(882), snack.substr(882));

  std::vector<StartRecord> log = ReadStartLog(dir);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].cmd, lup::PathText(fs::path(cmd)));
  EXPECT_EQ(log[0].pet, "ミケ");
  EXPECT_TRUE(fs::equivalent(U8Path(log[0].exe), exe));
  EXPECT_TRUE(fs::equivalent(U8Path(log[0].cwd), elsewhere));
}

TEST_F(HostRun, WithoutAPetTheScriptCreatesOneAndTheNextStartFindsIt) {
  const std::wstring unquoted = exe.wstring();  // a path with a space, not quoted
  ASSERT_EQ(RunScript("newpet タマ\n", unquoted), 0u);
  EXPECT_EQ(ReadPet(dir)->name, "タマ");
  EXPECT_TRUE(fs::is_directory(At(kReceivedDir)));
  EXPECT_TRUE(fs::exists(At(kTreasureDir, kTreasureBoxName)));

  ASSERT_EQ(RunScript("newpet ポチ\n", Quoted()), 1u);  // a pet is there already
  EXPECT_EQ(ReadPet(dir)->name, "タマ");

  std::vector<StartRecord> log = ReadStartLog(dir);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].pet, "");
  EXPECT_EQ(log[0].cmd, lup::PathText(fs::path(unquoted)));
  EXPECT_EQ(log[1].pet, "タマ");
}

TEST_F(HostRun, AFailingActionStopsTheScriptWithACodeAndALogLine) {
  Put(At(kSettingsName), "name=ミケ\r\n");
  ASSERT_EQ(RunScript("receive a.txt x\neat\nsend b.txt y\n", Quoted()), 1u);
  EXPECT_TRUE(fs::exists(At(kReceivedDir, "a.txt")));
  EXPECT_FALSE(fs::exists(At(kSentDir, "b.txt")));
  EXPECT_NE(Read(At(kLogName)).find("error\tline=2\teat\t"), std::string::npos);

  ASSERT_EQ(RunScript("receive c.txt x\nfly away\n", Quoted()), 2u);  // checked before anything runs
  EXPECT_FALSE(fs::exists(At(kReceivedDir, "c.txt")));
}

TEST_F(HostRun, TheScriptCanAlsoBeNamedOnTheCommandLine) {
  Put(At(kSettingsName), "name=ミケ\r\n");
  fs::path file = temp / "台本 2.txt";
  Put(file, "send s.txt やあ\n");
  Host host(exe, Quoted() + L" --script \"" + file.wstring() + L"\"", elsewhere);
  ASSERT_TRUE(host.started());
  EXPECT_EQ(host.Wait(), 0u);
  EXPECT_EQ(Read(At(kSentDir, "s.txt")), "やあ");
}

TEST_F(HostRun, TheWindowShowsThePetAndItsButtonsChangeTheFiles) {
  Put(At(kSettingsName), "name=ミケ\r\nkind=ネコ\r\n");
  Put(At(kSnackDir, "a.pac"), SnackBytes("\x83\x60\x83\x87\x83\x52", 3));
  Host host(exe, Quoted() + L" -ns", elsewhere);
  ASSERT_TRUE(host.started());
  HWND main = host.FindWindowOf(kMainClass);
  ASSERT_TRUE(main);
  HWND info = GetDlgItem(main, kIdInfo);
  std::wstring text = WindowText(info);
  EXPECT_TRUE(Contains(text, L"ミケ（ネコ）")) << lup::PathText(text);
  EXPECT_TRUE(Contains(text, L"-ns"));
  EXPECT_TRUE(Contains(text, L"チョコ × 3"));
  EXPECT_TRUE(Contains(text, L"受信メール: 0 通"));

  for (int id : {kIdReceive, kIdSend, kIdEat}) SendMessageW(main, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
  text = WindowText(info);
  EXPECT_TRUE(Contains(text, L"受信メール: 1 通"));
  EXPECT_TRUE(Contains(text, L"送信メール: 1 通"));
  EXPECT_TRUE(Contains(text, L"チョコ × 2"));
  EXPECT_EQ(CountMails(dir, kReceivedDir), 1);
  EXPECT_EQ(ReadSnacks(dir)[0].count, 2);

  // The friend button asks for a name in a modal window of its own.
  PostMessageW(main, WM_COMMAND, MAKEWPARAM(kIdFriend, BN_CLICKED), 0);
  HWND ask = host.FindWindowOf(kNameClass);
  ASSERT_TRUE(ask);
  SetWindowTextW(GetDlgItem(ask, kIdName), L"はなこ");
  SendMessageW(ask, WM_COMMAND, MAKEWPARAM(kIdNameOk, BN_CLICKED), 0);
  EXPECT_FALSE(IsWindow(ask));
  // The friend is written once the modal loop has ended.
  for (int i = 0; i < 200 && ReadFriends(dir).empty(); ++i) Sleep(50);
  EXPECT_EQ(ReadFriends(dir), std::vector<std::string>{"はなこ"});

  PostMessageW(main, WM_COMMAND, MAKEWPARAM(kIdClose, BN_CLICKED), 0);
  EXPECT_EQ(host.Wait(), 0u);
}

TEST_F(HostRun, WithoutAPetTheUserNamesANewOneBeforeTheWindowOpens) {
  Host host(exe, Quoted(), elsewhere);
  ASSERT_TRUE(host.started());
  HWND ask = host.FindWindowOf(kNameClass);
  ASSERT_TRUE(ask);
  SetWindowTextW(GetDlgItem(ask, kIdName), L"タマ");
  PostMessageW(ask, WM_COMMAND, MAKEWPARAM(kIdNameOk, BN_CLICKED), 0);
  HWND main = host.FindWindowOf(kMainClass);
  ASSERT_TRUE(main);
  EXPECT_EQ(ReadPet(dir)->name, "タマ");
  EXPECT_TRUE(Contains(WindowText(GetDlgItem(main, kIdInfo)), L"タマ"));
  PostMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(host.Wait(), 0u);
}

TEST_F(HostRun, ClosingTheNameWindowLeavesTheFolderWithoutAPet) {
  Host host(exe, Quoted(), elsewhere);
  ASSERT_TRUE(host.started());
  HWND ask = host.FindWindowOf(kNameClass);
  ASSERT_TRUE(ask);
  PostMessageW(ask, WM_CLOSE, 0, 0);
  EXPECT_EQ(host.Wait(), 0u);
  EXPECT_FALSE(fs::exists(At(kSettingsName)));
  EXPECT_FALSE(fs::exists(At(kReceivedDir)));
}

}  // namespace
}  // namespace hostsim
