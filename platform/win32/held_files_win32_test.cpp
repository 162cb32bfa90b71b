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
  ~HeldByAProgram() override { os::SetHeldFilesSeam({}); }
  // The helper holds `file_` until it is told to let go or is ended.
  StartResult Hold() {
    StartResult started = StartProgram(
        SleeperPath(), "--hold " + Quoted(file_) + " --mark " + Quoted(ready_) + " --until " + Quoted(letGo_), {},
        ShowState::NormalFocus);
    EXPECT_TRUE(started.ok) << started.errorText;
    EXPECT_TRUE(WaitUntil([&] { return fs::exists(ready_); }, std::chrono::seconds(60)));
    return started;
  }
  TempFolder temp_{"held"};
  fs::path file_ = temp_ / "新しいメール.txt", ready_ = temp_ / "ready", letGo_ = temp_ / "let-go";
};

// The helper lets go at the layer's first wait; the next try finds the file
// free once the helper has ended.
TEST_F(HeldByAProgram, ADeleteWaitsForAProgramThatLetsGoWithinAMoment) {
  testing::WriteBytes(file_, "mail");
  StartResult holder = Hold();
  int waits = 0;
  os::SetHeldFilesSeam({nullptr, [&](int) {
                          if (waits++ > 0) return;
                          testing::WriteBytes(letGo_, "");
                          WaitForProcess(holder.process);
                        }});
  EXPECT_FALSE(os::DeleteOneFile(file_));
  EXPECT_GE(waits, 1) << "the delete never met the held file";
  EXPECT_FALSE(fs::exists(file_));
}

// Held throughout: the layer's own waits, then the system's error.
TEST_F(HeldByAProgram, ADeleteFailsWithTheSystemsErrorWhenTheProgramHoldsOn) {
  testing::WriteBytes(file_, "mail");
  StartResult holder = Hold();
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
