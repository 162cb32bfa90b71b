// A real program holding a file (opened without sharing it for deleting or
// renaming, as an antivirus or a sync client does): the raw file layer
// waits for it to let go, or fails after its patience with the system's
// error, nothing changed.
#include <windows.h>

#include <gtest/gtest.h>

#include "base/text.h"
#include "platform/osfile.h"
#include "platform/process.h"
#include "platform/test_support.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::SleeperPath;
using testing::TempFolder;
using testing::WaitUntil;

class HeldByAProgram : public ::testing::Test {
 protected:
  // The helper holds `file_` for `ms`, then ends.
  StartResult Hold(int ms) {
    StartResult started = StartProgram(
        SleeperPath(), "--hold " + Quoted(file_) + " --mark " + Quoted(ready_) + " --sleep " + std::to_string(ms), {},
        ShowState::NormalFocus);
    EXPECT_TRUE(started.ok) << started.errorText;
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(ready_); }, std::chrono::seconds(60)));
    return started;
  }
  TempFolder temp_{"held"};
  fs::path file_ = temp_ / "新しいメール.txt", ready_ = temp_ / "ready";
};

TEST_F(HeldByAProgram, ADeleteWaitsForAProgramThatLetsGoWithinAMoment) {
  testing::WriteBytes(file_, "mail");
  StartResult holder = Hold(500);
  EXPECT_FALSE(os::DeleteOneFile(file_));
  EXPECT_FALSE(fs::exists(file_));
  WaitForProcess(holder.process);
}

TEST_F(HeldByAProgram, ADeleteFailsWithTheSystemsErrorWhenTheProgramHoldsOn) {
  testing::WriteBytes(file_, "mail");
  StartResult holder = Hold(20000);
  const std::error_code e = os::DeleteOneFile(file_);
  EXPECT_TRUE(e);
  EXPECT_TRUE(os::IsHeldError(e, file_)) << e.value();
  EXPECT_TRUE(fs::exists(file_));
  EXPECT_EQ(testing::ReadBytes(file_), "mail");
  TerminateProcess(reinterpret_cast<HANDLE>(holder.process.native()), 0);
  WaitForProcess(holder.process);
}

}  // namespace
}  // namespace lup
