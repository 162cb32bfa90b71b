// A real program holding a file (opened without sharing it for deleting or
// renaming, as an antivirus or a sync client does) while a backup and a
// snack move meet it: held for a moment, each waits and does its whole
// work; held for long, each fails after its patience naming the file, with
// nothing lost.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <optional>

#include "base/text.h"
#include "core/backup_history.h"
#include "core/fileops.h"
#include "core/petstore.h"
#include "platform/osfile.h"
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
    os::SetHeldFilesSeam({});
    if (holder_) {
      TerminateProcess(reinterpret_cast<HANDLE>(holder_->process.native()), 0);
      WaitForProcess(holder_->process);
    }
  }
  // The helper holds `file` until it is told to let go or is ended.
  void Hold(const fs::path& file) {
    const fs::path ready = D().parent_path() / "holding";
    fs::remove(ready);
    fs::remove(release_);
    holder_ = StartProgram(SleeperPath(),
                           "--hold " + Quoted(file) + " --mark " + Quoted(ready) + " --until " + Quoted(release_), {},
                           ShowState::NormalFocus);
    ASSERT_TRUE(holder_->ok) << holder_->errorText;
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(ready); }, std::chrono::seconds(60)));
  }
  // Held for a moment: at the first wait of the work on a held file, the
  // helper lets go and ends; the work goes on once it has. Held for long:
  // the waits are the system's own and the helper holds on throughout.
  void LetGoAtTheFirstWait(bool forAMoment) {
    waited_ = false;
    if (!forAMoment) return;
    letGo_.emplace();
    os::SetHeldFilesSeam({nullptr, [this](int) {
                            std::call_once(*letGo_, [this] {
                              waited_ = true;
                              test::WriteBytes(release_, "");
                              WaitForProcess(holder_->process);
                            });
                          }});
  }
  void EndHolder() {
    os::SetHeldFilesSeam({});
    letGo_.reset();
    TerminateProcess(reinterpret_cast<HANDLE>(holder_->process.native()), 0);
    WaitForProcess(holder_->process);
    holder_.reset();
  }
  const fs::path release_ = D().parent_path() / "let-go";
  std::optional<std::once_flag> letGo_;
  std::atomic<bool> waited_ = false;
  Settings settings;
  std::optional<StartResult> holder_;
};

TEST_F(HeldByAnotherProgram, ABackupWaitsForAHeldBackupFileOrReportsItWithEveryGenerationWhole) {
  for (const bool forAMoment : {true, false}) {
    SCOPED_TRACE(forAMoment ? "held for a moment" : "held for long");
    fs::remove_all(D());
    fs::create_directories(D());
    PutThreePets();
    ASSERT_TRUE(PetStore(settings).BackUp().ok());
    // ソラ's mail is gone from her copies: the next backup moves its backup
    // copy into the generation it keeps, while a program holds it.
    Remove("ソラ_受信フォルダ/0001.txt");
    const fs::path held = At("bak/ソラ_受信フォルダ/0001.txt");
    Hold(held);
    LetGoAtTheFirstWait(forAMoment);
    const PetStore::BackupReport report = PetStore(settings).BackUp();
    if (forAMoment) {
      EXPECT_TRUE(waited_) << "the backup never met the held file";
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
    EndHolder();
  }
}

TEST_F(HeldByAnotherProgram, ASnackMoveWaitsForAHeldSnackOrFailsWithTheSnackWhereItWas) {
  for (const bool forAMoment : {true, false}) {
    SCOPED_TRACE(forAMoment ? "held for a moment" : "held for long");
    PutPet("ミミ");
    PutPet("ソラ");
    const fs::path from = At("ミミ_おやつ/ミミ-cake.pac"), to = At("ソラ_おやつ/ミミ-cake.pac");
    fs::remove(to);
    Hold(from);
    LetGoAtTheFirstWait(forAMoment);
    const OpResult moved = Fs().Move(from, to);
    if (forAMoment) {
      EXPECT_TRUE(waited_) << "the move never met the held snack";
      EXPECT_TRUE(moved.ok()) << moved.Describe();
      EXPECT_FALSE(fs::exists(from));
      EXPECT_EQ(test::ReadBytes(to), "ミミ cake");
    } else {
      EXPECT_FALSE(moved.ok());
      EXPECT_NE(moved.Describe().find(PathText(from)), std::string::npos) << moved.Describe();
      EXPECT_EQ(test::ReadBytes(from), "ミミ cake");
      EXPECT_FALSE(fs::exists(to));
    }
    EndHolder();
  }
}

}  // namespace
}  // namespace lup
