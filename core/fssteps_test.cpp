#include "core/fssteps.h"

#include <gtest/gtest.h>

#include "core/fileops.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

using test::NamesIn;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

class StepsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir / "受信フォルダ");
    std::filesystem::create_directory(dir / "受信フォルダ/sub");
    WriteBytes(dir / "受信フォルダ/sub/deep.txt", "deep");
    WriteBytes(dir / "受信フォルダ/m1.mail", "one");
    WriteBytes(dir / "受信フォルダ/m2.mail", "two");
    WriteBytes(dir / "受信フォルダ/noext", "three");
  }
  FileOps ops;
  ScopedFileOps use{ops};
  TempFolder dir;
};

TEST_F(StepsTest, ShellCopyTakesOnlyTopLevelFilesAndReplaces) {
  std::filesystem::create_directory(dir / "ミミ_受信フォルダ");
  WriteBytes(dir / "ミミ_受信フォルダ/m1.mail", "old");
  WriteBytes(dir / "ミミ_受信フォルダ/kept.mail", "kept");
  FolderOpResult r = ShellFileOp(dir / "受信フォルダ/*.*", dir / "ミミ_受信フォルダ", ShellOp::Copy);
  ASSERT_TRUE(r.ok()) << r.result.Describe();
  EXPECT_EQ(r.filesDone, 3);
  EXPECT_EQ(NamesIn(dir / "ミミ_受信フォルダ"), "kept.mail|m1.mail|m2.mail|noext");
  EXPECT_EQ(ReadBytes(dir / "ミミ_受信フォルダ/m1.mail"), "one");
  EXPECT_EQ(NamesIn(dir / "受信フォルダ"), "m1.mail|m2.mail|noext|sub");
}

TEST_F(StepsTest, ShellCopyLeavesStrayTemporaryFilesBehind) {
  WriteBytes(dir / "受信フォルダ/~lupina-tmp-00000000000000af.tmp", "half");
  FolderOpResult r = ShellFileOp(dir / "受信フォルダ/*.*", dir / "to", ShellOp::Copy);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(NamesIn(dir / "to"), "m1.mail|m2.mail|noext");
}

TEST_F(StepsTest, ShellOpWithEmptySourceOrTargetOrNoMatchDoesNothing) {
  EXPECT_TRUE(ShellFileOp({}, dir / "x", ShellOp::Copy).ok());
  EXPECT_TRUE(ShellFileOp(dir / "受信フォルダ/*.*", {}, ShellOp::Move).ok());
  FolderOpResult none = ShellFileOp(dir / "none/*.*", dir / "x", ShellOp::Copy);
  EXPECT_TRUE(none.ok());
  EXPECT_EQ(none.filesDone, 0);
  EXPECT_EQ(ops.Count(), 0);
  EXPECT_FALSE(EntryExists(dir / "x"));
  EXPECT_EQ(NamesIn(dir / "受信フォルダ"), "m1.mail|m2.mail|noext|sub");
}

TEST_F(StepsTest, ShellMoveCreatesTheTargetAndEmptiesTheSourceOfFiles) {
  FolderOpResult r = ShellFileOp(dir / "受信フォルダ/*.*", dir / "共有/受信フォルダ", ShellOp::Move);
  ASSERT_TRUE(r.ok()) << r.result.Describe();
  EXPECT_EQ(NamesIn(dir / "共有/受信フォルダ"), "m1.mail|m2.mail|noext");
  EXPECT_EQ(NamesIn(dir / "受信フォルダ"), "sub");
  EXPECT_EQ(ShellOpFromCode(1), ShellOp::Move);
  EXPECT_EQ(ShellOpFromCode(2), ShellOp::Copy);
  EXPECT_EQ(ShellOpFromCode(0), ShellOp::Copy);
}

TEST_F(StepsTest, ShellCopyStopsAtTheFirstFailingFileAndNamesIt) {
  std::filesystem::create_directory(dir / "bak");
  ops.FailAt(2, std::make_error_code(std::errc::no_space_on_device));
  FolderOpResult r = ShellFileOp(dir / "受信フォルダ/*.*", dir / "bak", ShellOp::Copy);
  EXPECT_FALSE(r.ok());
  // The copies are one batch: the first one's temporary file goes too.
  EXPECT_EQ(r.filesDone, 0);
  EXPECT_EQ(r.result.path, dir / "受信フォルダ/m2.mail");
  EXPECT_EQ(r.result.other, dir / "bak/m2.mail");
  EXPECT_EQ(NamesIn(dir / "bak"), "");
  EXPECT_EQ(ops.Count(), 2);  // nothing after the failure
}

TEST_F(StepsTest, ShellMoveThatFailsLeavesTheSourceFile) {
  std::filesystem::create_directory(dir / "to");
  ops.FailAt(1, std::make_error_code(std::errc::permission_denied));
  EXPECT_FALSE(ShellFileOp(dir / "受信フォルダ/*.*", dir / "to", ShellOp::Move).ok());
  EXPECT_EQ(NamesIn(dir / "受信フォルダ"), "m1.mail|m2.mail|noext|sub");
  EXPECT_EQ(NamesIn(dir / "to"), "");
}

TEST_F(StepsTest, DeleteMatchingLeavesSubFoldersAndFailsWithoutMatch) {
  ASSERT_TRUE(DeleteMatching(dir / "受信フォルダ").ok());
  EXPECT_EQ(NamesIn(dir / "受信フォルダ"), "sub");
  EXPECT_EQ(ReadBytes(dir / "受信フォルダ/sub/deep.txt"), "deep");
  OpResult again = DeleteMatching(dir / "受信フォルダ");
  EXPECT_FALSE(again.ok());
  EXPECT_TRUE(IsNotFound(again.error));
}

TEST_F(StepsTest, DeleteMatchingGoesOnPastAFailureAndReportsIt) {
  ops.FailAt(1, std::make_error_code(std::errc::permission_denied));
  OpResult r = DeleteMatching(dir / "受信フォルダ");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.path, dir / "受信フォルダ/m1.mail");
  EXPECT_EQ(NamesIn(dir / "受信フォルダ"), "m1.mail|sub");
}

TEST_F(StepsTest, CopyAFileAndMakeFolder) {
  ASSERT_TRUE(MakeFolder(dir / "宝物").ok());
  EXPECT_FALSE(MakeFolder(dir / "宝物").ok());
  WriteBytes(dir / "宝物/tzl001.pac", "old");
  ASSERT_TRUE(Fs().Copy(dir / "受信フォルダ/m1.mail", dir / "宝物/tzl001.pac").ok());
  EXPECT_EQ(ReadBytes(dir / "宝物/tzl001.pac"), "one");
}

}  // namespace
}  // namespace lup
