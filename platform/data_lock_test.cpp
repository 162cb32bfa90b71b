// The data lock between programs: real processes (the helper program
// beside the tests) hold it, end with it, and are ended holding it.
#include "platform/data_lock.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/process.h"
#include "platform/test_support.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::SleeperPath;
using testing::TempFolder;
using testing::WaitUntil;

TEST(DataLockKey, IsTheFolderAsTheFileSystemComparesIt) {
  const std::string key = DataLockKey(U8Path("C:\\Program Files\\PostPet"));
  EXPECT_EQ(key.size(), 16u);
  EXPECT_EQ(DataLockKey(U8Path("c:\\PROGRAM FILES\\postpet")), key);
  EXPECT_EQ(DataLockKey(U8Path("C:\\Program Files\\PostPet\\")), key);
  EXPECT_EQ(DataLockKey(U8Path("C:/Program Files/PostPet")), key);
  EXPECT_NE(DataLockKey(U8Path("C:\\Program Files\\PostPet2")), key);
  EXPECT_NE(DataLockKey(U8Path("D:\\Program Files\\PostPet")), key);
}

class DataLockTest : public ::testing::Test {
 protected:
  // The helper holds the lock of `d_`, says so in `ready`, and ends (with
  // or without letting it go) when `stop` appears.
  StartResult StartHolder(const char* ending) {
    StartResult started =
        StartProgram(SleeperPath(),
                     "--lock-data " + Quoted(d_) + " --mark " + Quoted(ready_) + " --until " + Quoted(stop_) + " " + ending,
                     {}, ShowState::NormalFocus);
    EXPECT_TRUE(started.ok) << started.errorText;
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(ready_); }, std::chrono::seconds(60)));
    return started;
  }
  void Stop() { testing::WriteBytes(stop_, "stop"); }

  TempFolder temp_{"lock"};
  fs::path d_ = temp_ / "ホスト";
  fs::path ready_ = temp_ / "ready", stop_ = temp_ / "stop";
};

TEST_F(DataLockTest, AnotherProgramWaitsNamesTheHolderAndGetsItOnceItEnds) {
  StartResult holder = StartHolder("--exit 0");
  DataLockAttempt refused = LockDataOfSystem(d_, "lupina.exe", std::chrono::milliseconds(50));
  EXPECT_FALSE(refused.lock.held());
  EXPECT_EQ(refused.holder, "sleeper.exe");
  // Another host folder is not held by it.
  EXPECT_TRUE(LockDataOfSystem(temp_ / "other", "lupina.exe", std::chrono::milliseconds(0)).lock.held());
  // Waiting: the holder ends meanwhile.
  Stop();
  DataLockAttempt got = LockDataOfSystem(d_, "lupina.exe", std::chrono::seconds(60));
  EXPECT_TRUE(got.lock.held());
  EXPECT_EQ(WaitForProcess(holder.process), 0u);
}

TEST_F(DataLockTest, AProgramThatEndsHoldingItReleasesItAsAKilledOneDoes) {
  StartResult holder = StartHolder("--abandon 7");
  Stop();
  EXPECT_EQ(WaitForProcess(holder.process), 7u);
  EXPECT_TRUE(LockDataOfSystem(d_, "lupset.exe", std::chrono::milliseconds(0)).lock.held());
}

TEST_F(DataLockTest, TheHolderTakesItAgainAndOthersWaitUntilTheLastHoldGoes) {
  DataLockAttempt first = LockDataOfSystem(d_, "lupset.exe", std::chrono::milliseconds(0));
  ASSERT_TRUE(first.lock.held());
  DataLockAttempt again = LockDataOfSystem(d_, "lupset.exe", std::chrono::milliseconds(0));
  EXPECT_TRUE(again.lock.held());
  first.lock.Reset();
  // Still held by this program: a helper that wants it waits.
  StartResult helper =
      StartProgram(SleeperPath(), "--lock-data " + Quoted(d_) + " --mark " + Quoted(ready_), {}, ShowState::NormalFocus);
  ASSERT_TRUE(helper.ok) << helper.errorText;
  EXPECT_FALSE(WaitUntil([&] { return fs::exists(ready_); }, std::chrono::milliseconds(300)));
  again.lock.Reset();
  EXPECT_TRUE(WaitUntil([&] { return fs::exists(ready_); }, std::chrono::seconds(60)));
  WaitForProcess(helper.process);
}

}  // namespace
}  // namespace lup
