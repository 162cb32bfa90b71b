// Processes under Windows (or Wine): the message-pumping wait, the command
// line as the started program sees it, the program's own resources.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/test_support.h"
#include "platform/win32/file_version.h"
#include "platform/win32/wide.h"

namespace lup {
namespace {

using testing::Quoted;
using testing::ReadBytes;
using testing::SleeperPath;
using testing::TempFolder;

// The timer's events during the wait; at the tenth the sleeper is told to
// end, so that the wait can only end after they were all dispatched.
int g_ticks = 0;
std::filesystem::path g_stop;
void CALLBACK CountTick(HWND, UINT, UINT_PTR, DWORD) {
  if (++g_ticks == 10) testing::WriteBytes(g_stop, "");
}

TEST(WaitForProcessWin32, WindowEventsFlowAndThePumpRunsOnlyWhenTheyArrive) {
  TempFolder tmp("pump");
  g_stop = tmp / "stop";
  const auto ended = tmp / "ended.txt";
  StartResult started = StartProgram(SleeperPath(), "--until " + Quoted(g_stop) + " --mark " + Quoted(ended), {},
                                     ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  g_ticks = 0;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, CountTick);
  ASSERT_NE(timer, 0u);
  int pumps = 0;
  auto pump = [&] {
    ++pumps;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  };
  EXPECT_EQ(WaitForProcess(started.process, pump), 0u);
  KillTimer(nullptr, timer);

  EXPECT_GE(g_ticks, 10) << "timer events must be dispatched during the wait";
  EXPECT_TRUE(std::filesystem::exists(ended)) << "the wait ends with the program";
  // Woken by the events, not by a clock: about one pump for each event
  // (a wait polling every few milliseconds would pump many times between
  // two ticks).
  EXPECT_LE(pumps, 2 * g_ticks + 10);
}

TEST(WaitForProcessWin32, WithoutAPumpTheWaitStillEnds) {
  StartResult started = StartProgram(SleeperPath(), "--sleep 200 --exit 259", {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  // 259 is what a running program reports as its exit code; the wait must
  // still see that this one has ended.
  EXPECT_EQ(WaitForProcess(started.process), 259u);
}

TEST(StartProgramWin32, TheStartedProgramSeesItsQuotedPathAndTheArgumentsAsGiven) {
  TempFolder tmp("cmdline");
  const auto out = tmp / "text.txt";
  const std::string arguments = "--text " + Quoted(out) + "  -ns  \"a b\" ポチ";
  StartResult started = StartProgram(SleeperPath(), arguments, {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  EXPECT_EQ(WaitForProcess(started.process), 0u);
  EXPECT_EQ(ReadBytes(out), arguments);
}

TEST(StartProgramWin32, AnUnquotedCommandLineWouldRunTheDecoy) {
  // The trap the quoting avoids: the system reads "<tmp>\Post Pet\host.exe"
  // without quotes as "<tmp>\Post" followed by arguments, and runs Post.exe.
  TempFolder tmp("trap");
  std::filesystem::create_directory(tmp / "Post Pet");
  const auto host = tmp / "Post Pet\\host.exe";
  const auto decoy = tmp / "Post.exe";
  std::filesystem::copy_file(SleeperPath(), host);
  std::filesystem::copy_file(SleeperPath(), decoy);
  const auto marker = tmp / "marker.txt";
  std::wstring line = host.wstring() + L" --mark " + Wide(Quoted(marker));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_TRUE(std::filesystem::equivalent(U8Path(ReadBytes(marker)), decoy)) << ReadBytes(marker);

  // Our start runs the host.
  std::filesystem::remove(marker);
  StartResult started = StartProgram(host, "--mark " + Quoted(marker), {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  WaitForProcess(started.process);
  EXPECT_TRUE(std::filesystem::equivalent(U8Path(ReadBytes(marker)), host)) << ReadBytes(marker);
}

TEST(StartProgramWin32, AQuoteInTheProgramPathIsRefused) {
  StartResult started = StartProgram(U8Path("C:\\a\" b.exe"), "", {}, ShowState::NormalFocus);
  EXPECT_FALSE(started.ok);
  EXPECT_EQ(started.errorCode, static_cast<std::uint32_t>(ERROR_INVALID_NAME));
}

TEST(SplitArgumentsWin32, SplitsAsTheSystemDoes) {
  for (const char* text :
       {"a b", "\"a b\" c", "a\\\\b", "a\\\"b", "a\\\\\"b c\" d", "\"a\"\"b\" c", "\"\"\"a\"\"\" b",
        "\"\"\"\" x", "x\"y\"\"z\" w", "\"unclosed", "C:\\dir\\ \"D:\\x y\\\\\" z", "ソ\\ \"表 能\"",
        "\ta\t\"\"\t", "a\\\\\\\"b"}) {
    SCOPED_TRACE(text);
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(Wide(std::string("prog.exe ") + text).c_str(), &count);
    ASSERT_NE(argv, nullptr);
    std::vector<std::string> system;
    for (int i = 1; i < count; ++i) system.push_back(Narrow(argv[i]));
    LocalFree(argv);
    EXPECT_EQ(SplitArguments(text), system);
  }
}

TEST(ProgramWin32, CarriesItsVersionManifestAndIcon) {
  const auto version = FileVersion(ProgramPath());
  ASSERT_TRUE(version.has_value());
  EXPECT_EQ(*version, (VersionNumber{TEST_VERSION_MAJOR, TEST_VERSION_MINOR, TEST_VERSION_PATCH}));
  EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr);  // manifest
  EXPECT_NE(FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14)), nullptr);  // icon group
  EXPECT_NE(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1)), nullptr);
}

TEST(ProgramWin32, VersionTextsAreJapanese) {
  const std::wstring file = ProgramPath().wstring();
  DWORD ignored = 0;
  std::vector<unsigned char> data(GetFileVersionInfoSizeW(file.c_str(), &ignored));
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(GetFileVersionInfoW(file.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  auto text = [&](const wchar_t* name) {
    wchar_t* value = nullptr;
    UINT length = 0;
    const std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
    if (!VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return std::string();
    return Narrow(value);
  };
  EXPECT_EQ(text(L"ProductName"), "ルピナ・ヴィラ");
  EXPECT_EQ(text(L"FileDescription"), "Win32 platform tests");
  EXPECT_EQ(text(L"OriginalFilename"), "platform_win32_test.exe");
}

// A DLL of a name the program might ask for, dropped beside it or in the
// working folder, is never loaded once the library search is hardened.
TEST(ProgramWin32, APlantedLibraryIsNeverLoaded) {
  TempFolder tmp("planted");
  const std::filesystem::path marker = tmp / "loaded.txt";
  SetEnvironmentVariableW(L"LUP_PLANTED_MARKER", marker.c_str());
  std::filesystem::copy_file(ProgramFolder() / "lup_planted.dll", tmp / "lup_planted.dll");
  // Without the hardening the DLL beside the program is found by its name:
  // the test can tell.
  HMODULE before = LoadLibraryW(L"lup_planted.dll");
  ASSERT_NE(before, nullptr);
  FreeLibrary(before);
  ASSERT_TRUE(std::filesystem::exists(marker));
  std::filesystem::remove(marker);

  HardenLibrarySearch();
  SetCurrentDirectoryW(tmp.path().c_str());
  EXPECT_EQ(LoadLibraryW(L"lup_planted.dll"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(marker));
  // The system's own libraries still load.
  EXPECT_NE(LoadLibraryW(L"shell32.dll"), nullptr);
  SetCurrentDirectoryW(ProgramFolder().c_str());
  SetEnvironmentVariableW(L"LUP_PLANTED_MARKER", nullptr);
}

TEST(ProgramWin32, AFileWithoutVersionHasNone) {
  TempFolder tmp("noversion");
  testing::WriteBytes(tmp / "plain.exe", "MZ not really");
  EXPECT_EQ(FileVersion(tmp / "plain.exe"), std::nullopt);
  EXPECT_EQ(FileVersion(tmp / "absent.exe"), std::nullopt);
}

}  // namespace
}  // namespace lup
