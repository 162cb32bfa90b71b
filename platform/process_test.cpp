#include "platform/process.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "core/hostproc.h"
#include "platform/fake_processes.h"
#include "platform/test_support.h"

namespace lup {
namespace {

using testing::Quoted;
using testing::ReadBytes;
using testing::SleeperPath;
using testing::TempFolder;
using testing::WaitUntil;
using testing::WithProgramExtension;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

bool ListHolds(const std::string& name) {
  const std::vector<std::string> names = RunningProcessNames();
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(CommandLineFor, QuotesTheProgramAndAddsTheArguments) {
  const auto program = U8Path("/Post Pet/host.exe");
  EXPECT_EQ(CommandLineFor(program, ""), "\"" + PathText(program) + "\"");
  EXPECT_EQ(CommandLineFor(program, "-ns"), "\"" + PathText(program) + "\" -ns");
}

TEST(SplitArguments, FollowsTheWindowsRules) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitArguments(""), V{});
  EXPECT_EQ(SplitArguments("  \t "), V{});
  EXPECT_EQ(SplitArguments("-ns"), V{"-ns"});
  EXPECT_EQ(SplitArguments("  a\tb  c "), (V{"a", "b", "c"}));
  EXPECT_EQ(SplitArguments("\"two words\" ポチ"), (V{"two words", "ポチ"}));
  EXPECT_EQ(SplitArguments("x\"y z\"w"), V{"xy zw"});
  EXPECT_EQ(SplitArguments("\"\""), V{""});
  EXPECT_EQ(SplitArguments("C:\\a\\b c:\\d\\"), (V{"C:\\a\\b", "c:\\d\\"}));
  EXPECT_EQ(SplitArguments("a\\\"b"), V{"a\"b"});         // \" is a quote
  EXPECT_EQ(SplitArguments("a\\\\\"b c\""), V{"a\\b c"});  // \\" is a backslash, then quoting
  EXPECT_EQ(SplitArguments("\"a\"\"b\""), V{"a\"b"});      // "" inside quotes
  EXPECT_EQ(SplitArguments("\"unclosed arg"), V{"unclosed arg"});
  // Second Shift_JIS bytes never show up in UTF-8, but backslashes after kanji stay.
  EXPECT_EQ(SplitArguments("ソ\\表\\"), V{"ソ\\表\\"});
}

TEST(StartProgram, PassesArgumentsAndReportsTheExitCode) {
  TempFolder tmp("args");
  const auto out = tmp / "args.txt";
  StartResult started = StartProgram(SleeperPath(),
                                     "--args " + Quoted(out) + " --exit 7 \"two words\" 日本語 ソ表",
                                     {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  ASSERT_TRUE(started.process.valid());
  EXPECT_NE(started.process.id(), 0u);
  EXPECT_EQ(WaitForProcess(started.process), 7u);
  EXPECT_EQ(Lines(ReadBytes(out)),
            (std::vector<std::string>{"--args", PathText(out), "--exit", "7", "two words", "日本語", "ソ表"}));
}

TEST(StartProgram, RunsInTheGivenWorkingFolder) {
  TempFolder tmp("cwd");
  const auto work = tmp / "作業 folder";
  std::filesystem::create_directory(work);
  const auto out = tmp / "cwd.txt";
  StartResult started = StartProgram(SleeperPath(), "--cwd " + Quoted(out), work, ShowState::MinimizedFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  EXPECT_EQ(WaitForProcess(started.process), 0u);
  EXPECT_TRUE(std::filesystem::equivalent(U8Path(ReadBytes(out)), work)) << ReadBytes(out);
}

TEST(StartProgram, MissingProgramIsReportedInTheSystemsWords) {
  TempFolder tmp("missing");
  StartResult started = StartProgram(tmp / "nothing here.exe", "", {}, ShowState::NormalFocus);
  EXPECT_FALSE(started.ok);
  EXPECT_FALSE(started);
  EXPECT_NE(started.errorCode, 0u);
  EXPECT_FALSE(started.errorText.empty());
  EXPECT_FALSE(started.process.valid());
}

// A host in "<tmp>/Post Pet/" beside a decoy "<tmp>/Post": only the host may run.
void ExpectTheHostRunsNotTheDecoy(std::string_view folderName, std::string_view decoyName) {
  TempFolder tmp("decoy");
  const auto folder = tmp / folderName;
  std::filesystem::create_directory(folder);
  const auto host = folder / WithProgramExtension("host");
  const auto decoy = tmp.path() / WithProgramExtension(decoyName);
  std::filesystem::copy_file(SleeperPath(), host);
  std::filesystem::copy_file(SleeperPath(), decoy);
  const auto marker = tmp / "marker.txt";

  StartResult started = StartProgram(host, "--mark " + Quoted(marker), folder, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  EXPECT_EQ(WaitForProcess(started.process), 0u);
  ASSERT_TRUE(std::filesystem::exists(marker));
  EXPECT_TRUE(std::filesystem::equivalent(U8Path(ReadBytes(marker)), host)) << ReadBytes(marker);
}

TEST(StartProgram, FolderWithSpacesRunsTheProgramNeverTheDecoy) {
  ExpectTheHostRunsNotTheDecoy("Post Pet", "Post");
  ExpectTheHostRunsNotTheDecoy("ポスト ペット", "ポスト");
}

TEST(RunningProcessNames, ListsAStartedProgramUntilItEnds) {
  TempFolder tmp("list");
  // Longer than the 15 characters a kernel process name keeps.
  const std::string name = "lupina-sleeper-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
  const auto copy = tmp.path() / WithProgramExtension(name);
  const std::string listed = NameText(copy);
  std::filesystem::copy_file(SleeperPath(), copy);
  const auto stop = tmp / "stop";

  EXPECT_FALSE(ListHolds(listed));
  StartResult started = StartProgram(copy, "--until " + Quoted(stop), {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  EXPECT_TRUE(WaitUntil([&] { return ListHolds(listed); })) << listed;
  EXPECT_EQ(ExitCodeIfEnded(started.process), std::nullopt);

  testing::WriteBytes(stop, "");
  EXPECT_EQ(WaitForProcess(started.process), 0u);
  EXPECT_TRUE(WaitUntil([&] { return !ListHolds(listed); }));
}

// The launcher's host check on the live process list: the host is found by
// its name in any letter case, a program whose name holds "LUPINA.EXE" never.
TEST(RunningProcessNames, TheHostIsFoundInAnyCaseButNeverTheLauncher) {
  TempFolder tmp("host");
  const std::string stamp =
      std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
  const std::string hostName = "PetHost" + stamp;
  const auto host = tmp.path() / WithProgramExtension("pethost" + stamp);
  const auto launcherLike = tmp.path() / WithProgramExtension("lupina.exe-PetHostB" + stamp);
  std::filesystem::copy_file(SleeperPath(), host);
  std::filesystem::copy_file(SleeperPath(), launcherLike);
  const auto stop = tmp / "stop";

  EXPECT_FALSE(IsHostRunning(RunningProcessNames(), hostName));
  StartResult a = StartProgram(host, "--until " + Quoted(stop), {}, ShowState::NormalFocus);
  StartResult b = StartProgram(launcherLike, "--until " + Quoted(stop), {}, ShowState::NormalFocus);
  ASSERT_TRUE(a.ok) << a.errorText;
  ASSERT_TRUE(b.ok) << b.errorText;
  EXPECT_TRUE(WaitUntil([&] { return IsHostRunning(RunningProcessNames(), hostName); }));
  EXPECT_TRUE(WaitUntil([&] { return ListHolds(NameText(launcherLike)); }));
  EXPECT_FALSE(IsHostRunning(RunningProcessNames(), "PETHOSTB" + stamp));

  testing::WriteBytes(stop, "");
  EXPECT_EQ(WaitForProcess(a.process), 0u);
  EXPECT_EQ(WaitForProcess(b.process), 0u);
}

TEST(RunningProcessNames, FindsAJapaneseProgramName) {
  TempFolder tmp("jp");
  const auto copy = tmp.path() / WithProgramExtension("ペット番-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000));
  std::filesystem::copy_file(SleeperPath(), copy);
  const auto stop = tmp / "stop";
  StartResult started = StartProgram(copy, "--until " + Quoted(stop), {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  EXPECT_TRUE(WaitUntil([&] { return ListHolds(NameText(copy)); })) << NameText(copy);
  testing::WriteBytes(stop, "");
  EXPECT_EQ(WaitForProcess(started.process), 0u);
}

TEST(WaitForProcess, EndedProgramGivesItsCodeAtOnceAndAgain) {
  StartResult started = StartProgram(SleeperPath(), "--exit 3", {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  ASSERT_TRUE(WaitUntil([&] { return ExitCodeIfEnded(started.process).has_value(); }));
  EXPECT_EQ(ExitCodeIfEnded(started.process), 3u);
  int pumps = 0;
  EXPECT_EQ(WaitForProcess(started.process, [&] { ++pumps; }), 3u);
  EXPECT_EQ(WaitForProcess(started.process), 3u);
  EXPECT_EQ(pumps, 0);
}

// The sleeper writes its mark only after its sleep, as its last act: a wait
// that came back early would find no mark and no exit code.
TEST(WaitForProcess, WaitsForTheWholeRun) {
  TempFolder tmp("whole");
  const auto ended = tmp / "ended.txt";
  StartResult started =
      StartProgram(SleeperPath(), "--sleep 400 --mark " + Quoted(ended) + " --exit 5", {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  EXPECT_EQ(WaitForProcess(started.process, [] {}), 5u);
  EXPECT_TRUE(std::filesystem::exists(ended));
}

TEST(WaitForProcess, EmptyHandleGivesNothing) {
  ProcessHandle none;
  EXPECT_FALSE(none.valid());
  EXPECT_EQ(WaitForProcess(none), std::nullopt);
  EXPECT_EQ(ExitCodeIfEnded(none), std::nullopt);
}

TEST(ProcessHandle, MovingHandsTheProgramOn) {
  StartResult started = StartProgram(SleeperPath(), "--exit 9", {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  const std::uint32_t id = started.process.id();
  ProcessHandle moved = std::move(started.process);
  EXPECT_FALSE(started.process.valid());
  EXPECT_EQ(moved.id(), id);
  ProcessHandle assigned;
  assigned = std::move(moved);
  EXPECT_FALSE(moved.valid());
  EXPECT_EQ(WaitForProcess(assigned), 9u);
}

TEST(SingleInstanceGuard, SecondHolderSeesTheFirstUntilItIsGone) {
  const std::string name = "Lupina.Test\\" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count());
  {
    SingleInstanceGuard first(name);
    EXPECT_TRUE(first.IsFirst());
    SingleInstanceGuard second(name);
    EXPECT_FALSE(second.IsFirst());
    SingleInstanceGuard other(name + "-other");
    EXPECT_TRUE(other.IsFirst());
  }
  SingleInstanceGuard again(name);
  EXPECT_TRUE(again.IsFirst());
}

TEST(SystemProcesses, StartsAndWaitsThroughTheInterface) {
  ProcessSystem& system = SystemProcesses();
  StartResult started = system.Start({SleeperPath(), "--exit 4", {}, ShowState::NormalFocus});
  ASSERT_TRUE(started.ok) << started.errorText;
  EXPECT_EQ(system.Wait(started.process, {}), 4u);
  EXPECT_FALSE(system.RunningNames().empty());
}

TEST(FakeProcesses, RecordsStartsAndRunsTheStandIn) {
  FakeProcesses fake;
  fake.running = {"PostPet20.exe"};
  int ran = 0;
  fake.onStart = [&](const StartRequest&) { ++ran; };
  StartResult started = fake.Start({U8Path("/D/PostPet20.exe"), "-ns", {}, ShowState::NormalFocus});
  EXPECT_TRUE(started.ok);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(fake.CommandLine(0), "\"/D/PostPet20.exe\" -ns");
  fake.failStart = "not found";
  EXPECT_FALSE(fake.Start({U8Path("/D/x.exe"), "", {}, ShowState::NormalFocus}).ok);
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(fake.started.size(), 2u);
  EXPECT_EQ(fake.RunningNames(), std::vector<std::string>{"PostPet20.exe"});
}

}  // namespace
}  // namespace lup
