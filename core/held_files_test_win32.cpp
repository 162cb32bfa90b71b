// A real program holding a file (opened without sharing it for deleting or
// renaming, as an antivirus or a sync client does) while a backup and a
// snack move meet it: held for a moment, each waits and does its whole
// work; held for long, each fails after its patience naming the file, with
// nothing lost.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>

#include "base/text.h"
#include "core/backup_history.h"
#include "core/fileops.h"
#include "core/petstore.h"
#include "platform/process.h"
#include "platform/test_support.h"
#include "tests/support/host_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using testing::Quoted;
using testing::SleeperPath;
using testing::WaitUntil;

class HeldByAnotherProgram : public ::testing::Test, public test::HostFolder {
 protected:
  HeldByAnotherProgram() {
    settings.hostFolder = D();
    settings.MakeHostPaths();
  }
  ~HeldByAnotherProgram() override {
    if (holder_) {
      TerminateProcess(reinterpret_cast<HANDLE>(holder_->process.native()), 0);
      WaitForProcess(holder_->process);
    }
  }
  // The helper holds `file` for `ms`, then ends.
  void Hold(const fs::path& file, int ms) {
    const fs::path ready = D().parent_path() / "holding";
    fs::remove(ready);
    holder_ = StartProgram(SleeperPath(),
                           "--hold " + Quoted(file) + " --mark " + Quoted(ready) + " --sleep " + std::to_string(ms), {},
                           ShowState::NormalFocus);
    ASSERT_TRUE(holder_->ok) << holder_->errorText;
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(ready); }, std::chrono::seconds(60)));
  }
  Settings settings;
  std::optional<StartResult> holder_;
};

TEST_F(HeldByAnotherProgram, ABackupWaitsForAHeldBackupFileOrReportsItWithEveryGenerationWhole) {
  for (const int ms : {500, 10000}) {
    SCOPED_TRACE(ms);
    fs::remove_all(D());
    fs::create_directories(D());
    PutThreePets();
    ASSERT_TRUE(PetStore(settings).BackUp().ok());
    // ソラ's mail is gone from her copies: the next backup moves its backup
    // copy into the generation it keeps, while a program holds it.
    Remove("ソラ_受信フォルダ/0001.txt");
    const fs::path held = At("bak/ソラ_受信フォルダ/0001.txt");
    Hold(held, ms);
    const PetStore::BackupReport report = PetStore(settings).BackUp();
    if (ms < 1000) {
      EXPECT_TRUE(report.ok());
      EXPECT_FALSE(fs::exists(held));
    } else {
      ASSERT_FALSE(report.ok());
      ASSERT_FALSE(report.failures.empty());
      EXPECT_NE(report.failures.front().Describe().find(PathText(held)), std::string::npos)
          << report.failures.front().Describe();
      EXPECT_EQ(Read("bak/ソラ_受信フォルダ/0001.txt"), "ソラ first mail");
    }
    // Whatever happened, the oldest generation (the first backup) reads
    // back whole.
    const BackupHistory history(settings);
    const std::vector<BackupGeneration> generations = history.Generations();
    ASSERT_FALSE(generations.empty());
    const std::optional<fs::path> kept = history.View(generations.back().undone).File(held);
    ASSERT_TRUE(kept);
    EXPECT_EQ(test::ReadBytes(*kept), "ソラ first mail");
    TerminateProcess(reinterpret_cast<HANDLE>(holder_->process.native()), 0);
    WaitForProcess(holder_->process);
    holder_.reset();
  }
}

TEST_F(HeldByAnotherProgram, ASnackMoveWaitsForAHeldSnackOrFailsWithTheSnackWhereItWas) {
  for (const int ms : {500, 10000}) {
    SCOPED_TRACE(ms);
    PutPet("ミミ");
    PutPet("ソラ");
    const fs::path from = At("ミミ_おやつ/ミミ-cake.pac"), to = At("ソラ_おやつ/ミミ-cake.pac");
    fs::remove(to);
    Hold(from, ms);
    const OpResult moved = Fs().Move(from, to);
    if (ms < 1000) {
      EXPECT_TRUE(moved.ok()) << moved.Describe();
      EXPECT_FALSE(fs::exists(from));
      EXPECT_EQ(test::ReadBytes(to), "ミミ cake");
    } else {
      EXPECT_FALSE(moved.ok());
      EXPECT_NE(moved.Describe().find(PathText(from)), std::string::npos) << moved.Describe();
      EXPECT_EQ(test::ReadBytes(from), "ミミ cake");
      EXPECT_FALSE(fs::exists(to));
    }
    TerminateProcess(reinterpret_cast<HANDLE>(holder_->process.native()), 0);
    WaitForProcess(holder_->process);
    holder_.reset();
  }
}

}  // namespace
}  // namespace lup
