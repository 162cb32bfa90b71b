#include "core/fileops.h"

#include <gtest/gtest.h>

#include "core/fsquery.h"
#include "tests/support/temp_folder.h"
#include "base/text.h"

namespace lup {
namespace {

using test::NamesIn;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

const std::error_code kNoSpace = std::make_error_code(std::errc::no_space_on_device);
const std::error_code kDenied = std::make_error_code(std::errc::permission_denied);

class FileOpsTest : public ::testing::Test {
 protected:
  FileOps ops;
  ScopedFileOps use{ops};
  TempFolder dir;
};

TEST_F(FileOpsTest, CopyReplacesTheTargetAndLeavesNoTemporaryFile) {
  WriteBytes(dir / "おともだち帳", "new friends");
  WriteBytes(dir / "ミミ_おともだち帳", "old friends");
  OpResult r = Fs().Copy(dir / "おともだち帳", dir / "ミミ_おともだち帳");
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(ReadBytes(dir / "ミミ_おともだち帳"), "new friends");
  EXPECT_EQ(ReadBytes(dir / "おともだち帳"), "new friends");
  EXPECT_EQ(NamesIn(dir.path()), "おともだち帳|ミミ_おともだち帳");
}

TEST_F(FileOpsTest, CopyThatFailsBeforeTheReplaceKeepsTheOldTarget) {
  WriteBytes(dir / "a", std::string(200000, 'n'));  // more than one buffer
  WriteBytes(dir / "b", "old");
  ops.FailAt(1, kNoSpace, false, FaultPoint::BeforeReplace);
  OpResult r = Fs().Copy(dir / "a", dir / "b");
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.error, kNoSpace);
  EXPECT_TRUE(r.atTarget);
  EXPECT_EQ(r.FailingPath(), dir / "b");
  EXPECT_EQ(ReadBytes(dir / "b"), "old");
  EXPECT_EQ(NamesIn(dir.path()), "a|b");
}

// A file the user marked read-only (no write permission here, the read-only
// attribute on Windows) is never replaced, changed or deleted, whatever the
// program's rights: the step fails, names it, and the file stays.
TEST_F(FileOpsTest, AReadOnlyFileIsNeverReplacedChangedOrDeleted) {
  namespace fs = std::filesystem;
  WriteBytes(dir / "new", "new bytes");
  WriteBytes(dir / "kept", "the user's own");
  fs::permissions(dir / "kept", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  for (const OpResult& r : {Fs().Copy(dir / "new", dir / "kept"), Fs().Write(dir / "kept", "x"),
                            Fs().Move(dir / "new", dir / "kept"), Fs().Delete(dir / "kept"),
                            Fs().EditBytes(dir / "kept", 0, "T")}) {
    EXPECT_FALSE(r.ok()) << r.Describe();
    EXPECT_EQ(r.FailingPath(), dir / "kept");
    EXPECT_FALSE(ReasonText(r.error).empty());
  }
  EXPECT_EQ(ReadBytes(dir / "kept"), "the user's own");
  EXPECT_EQ(ReadBytes(dir / "new"), "new bytes");
  EXPECT_EQ(NamesIn(dir.path()), "kept|new");  // no temporary file left
}

TEST_F(FileOpsTest, CopyKeepsTheSourcesModificationTime) {
  WriteBytes(dir / "a", "x");
  auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  std::filesystem::last_write_time(dir / "a", old);
  ASSERT_TRUE(Fs().Copy(dir / "a", dir / "b").ok());
  EXPECT_EQ(std::filesystem::last_write_time(dir / "b"), std::filesystem::last_write_time(dir / "a"));
}

TEST_F(FileOpsTest, CopyFailuresNameTheSideThatFailed) {
  WriteBytes(dir / "b", "old");
  OpResult missing = Fs().Copy(dir / "none", dir / "b");
  EXPECT_FALSE(missing.ok());
  EXPECT_FALSE(missing.atTarget);
  EXPECT_TRUE(IsNotFound(missing.error));
  EXPECT_EQ(ReadBytes(dir / "b"), "old");
  EXPECT_NE(missing.Describe().find(PathText(dir / "none")), std::string::npos);
  EXPECT_NE(missing.Describe().find("コピーできませんでした"), std::string::npos);

  OpResult noFolder = Fs().Copy(dir / "b", dir / "nofolder/b");
  EXPECT_FALSE(noFolder.ok());
  EXPECT_TRUE(noFolder.atTarget);
  EXPECT_FALSE(FolderExists(dir / "nofolder"));

  std::filesystem::create_directory(dir / "sub");
  OpResult ontoFolder = Fs().Copy(dir / "b", dir / "sub");
  EXPECT_EQ(ontoFolder.error, MakeError(CoreError::IsAFolder));
  EXPECT_TRUE(IsFolder(dir / "sub"));
}

TEST_F(FileOpsTest, FaultInjectionCountsOperationsAndStrikesOnceOrFromThenOn) {
  WriteBytes(dir / "a", "1");
  EXPECT_TRUE(Fs().Copy(dir / "a", dir / "b").ok());
  EXPECT_EQ(ops.Count(), 1);
  ops.FailAt(2, kNoSpace);  // the second operation from now: number 3
  EXPECT_TRUE(Fs().Copy(dir / "a", dir / "c").ok());
  OpResult failed = Fs().Write(dir / "d", "x");
  EXPECT_EQ(failed.error, kNoSpace);
  EXPECT_EQ(failed.action, Action::Write);
  EXPECT_NE(failed.Describe().find("ディスクの空き容量が足りません"), std::string::npos);
  EXPECT_FALSE(FileExists(dir / "d"));
  EXPECT_TRUE(Fs().Write(dir / "d", "x").ok());
  EXPECT_EQ(ops.Count(), 4);

  ops.FailAt(1, kDenied, /*fromThenOn=*/true);
  EXPECT_EQ(Fs().Delete(dir / "a").error, kDenied);
  EXPECT_EQ(Fs().MakeFolder(dir / "f").error, kDenied);
  EXPECT_EQ(Fs().EditBytes(dir / "a", 0, "2").error, kDenied);
  EXPECT_EQ(ReadBytes(dir / "a"), "1");
  EXPECT_FALSE(FolderExists(dir / "f"));
  ops.ClearFaults();
  EXPECT_TRUE(Fs().Delete(dir / "a").ok());

  ASSERT_EQ(ops.Journal().size(), 8u);
  EXPECT_EQ(ops.Journal()[2].action, Action::Write);
  EXPECT_FALSE(ops.Journal()[2].ok);
  EXPECT_TRUE(ops.Journal()[7].ok);
}

TEST_F(FileOpsTest, WriteIsAtomic) {
  ASSERT_TRUE(Fs().Write(dir / "lupina.dat", "\"\"\r\n").ok());
  EXPECT_EQ(ReadBytes(dir / "lupina.dat"), "\"\"\r\n");
  ops.FailAt(1, kNoSpace, false, FaultPoint::BeforeReplace);
  EXPECT_FALSE(Fs().Write(dir / "lupina.dat", "\"ミミ\"\r\n").ok());
  EXPECT_EQ(ReadBytes(dir / "lupina.dat"), "\"\"\r\n");
  EXPECT_EQ(NamesIn(dir.path()), "lupina.dat");
  EXPECT_TRUE(Fs().Write(dir / "empty", "").ok());
  EXPECT_EQ(FileLength(dir / "empty"), 0);
}

TEST_F(FileOpsTest, EditBytesChangesInPlaceAndNeverLengthens) {
  WriteBytes(dir / "f", "abcdef");
  ASSERT_TRUE(Fs().EditBytes(dir / "f", 2, "XY").ok());
  EXPECT_EQ(ReadBytes(dir / "f"), "abXYef");
  ASSERT_TRUE(Fs().EditBytes(dir / "f", 4, "ZZ").ok());
  EXPECT_EQ(ReadBytes(dir / "f"), "abXYZZ");
  OpResult past = Fs().EditBytes(dir / "f", 5, "12");
  EXPECT_EQ(past.error, MakeError(CoreError::FileTooShort));
  EXPECT_EQ(ReadBytes(dir / "f"), "abXYZZ");
  EXPECT_TRUE(IsNotFound(Fs().EditBytes(dir / "none", 0, "1").error));
  EXPECT_FALSE(FileExists(dir / "none"));
}

TEST_F(FileOpsTest, RenameMoveDeleteAndFolders) {
  WriteBytes(dir / "a", "A");
  WriteBytes(dir / "b", "B");
  // Rename never replaces; Move does.
  OpResult taken = Fs().Rename(dir / "a", dir / "b");
  EXPECT_EQ(taken.error, MakeError(CoreError::AlreadyExists));
  EXPECT_EQ(ReadBytes(dir / "b"), "B");
  EXPECT_TRUE(Fs().Rename(dir / "a", dir / "退避_a").ok());
  EXPECT_TRUE(Fs().Move(dir / "退避_a", dir / "b").ok());
  EXPECT_EQ(ReadBytes(dir / "b"), "A");
  EXPECT_EQ(NamesIn(dir.path()), "b");
  EXPECT_FALSE(Fs().Move(dir / "none", dir / "c").ok());

  EXPECT_TRUE(Fs().MakeFolder(dir / "宝物").ok());
  EXPECT_EQ(Fs().MakeFolder(dir / "宝物").error, MakeError(CoreError::AlreadyExists));
  EXPECT_FALSE(Fs().MakeFolder(dir / "x/y").ok());  // one level only
  EXPECT_EQ(Fs().Delete(dir / "宝物").error, MakeError(CoreError::IsAFolder));
  WriteBytes(dir / "宝物/tzl001.pac", "t");
  EXPECT_FALSE(Fs().RemoveFolder(dir / "宝物").ok());
  EXPECT_TRUE(Fs().Delete(dir / "宝物/tzl001.pac").ok());
  EXPECT_TRUE(IsNotFound(Fs().Delete(dir / "宝物/tzl001.pac").error));
  EXPECT_TRUE(Fs().RemoveFolder(dir / "宝物").ok());
  EXPECT_EQ(NamesIn(dir.path()), "b");
}

#ifdef _WIN32
// Windows reports its own error codes; the reasons must still read right.
TEST_F(FileOpsTest, WindowsErrorsGetTheirJapaneseReasons) {
  WriteBytes(dir / "読み取り専用", "x");
  std::filesystem::permissions(dir / "読み取り専用", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  OpResult denied = Fs().Delete(dir / "読み取り専用");
  ASSERT_FALSE(denied.ok());
  EXPECT_EQ(denied.error.category(), std::system_category());
  EXPECT_NE(denied.Describe().find("アクセスが拒否されました"), std::string::npos)
      << denied.Describe();
  EXPECT_NE(denied.Describe().find("読み取り専用 を削除できませんでした"), std::string::npos);
  std::filesystem::permissions(dir / "読み取り専用", std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  OpResult missing = Fs().Copy(dir / "none", dir / "b");
  EXPECT_NE(missing.Describe().find("見つかりません"), std::string::npos) << missing.Describe();
}
#endif

TEST(FileOpsScope, InstallsAndRestoresTheFunnel) {
  FileOps* original = &Fs();
  {
    FileOps outer;
    ScopedFileOps a(outer);
    EXPECT_EQ(&Fs(), &outer);
    {
      FileOps inner;
      ScopedFileOps b(inner);
      EXPECT_EQ(&Fs(), &inner);
    }
    EXPECT_EQ(&Fs(), &outer);
  }
  EXPECT_EQ(&Fs(), original);
}

TEST(FileOpsJournal, TheProcessWideFunnelKeepsNone) {
  test::TempFolder dir;
  ASSERT_TRUE(Fs().Write(dir / "x", "1").ok());
  EXPECT_TRUE(Fs().Journal().empty());
}

TEST(FileOpsNames, OnlyOurOwnTemporaryNamesAreTakenForThem) {
  EXPECT_TRUE(IsTempName("~lupina-tmp-0123456789abcdef.tmp"));
  EXPECT_FALSE(IsTempName("~lupina-tmp-0123456789abcdef.tmpx"));
  EXPECT_FALSE(IsTempName("~lupina-tmp-0123456789ABCDEF.tmp"));
  EXPECT_FALSE(IsTempName("~lupina-tmp-0123456789abcde.tmp"));
  // The short names of earlier versions may be a user's own files.
  EXPECT_FALSE(IsTempName("~lup0a9f.tmp"));
  EXPECT_FALSE(IsTempName("tzl001.pac"));
}

// A killed program leaves its temporary file behind; the next copy or write
// into that folder removes it, and only files under our own temporary names.
TEST_F(FileOpsTest, LeftoversOfAKilledRunGoAtTheNextWorkInTheirFolder) {
  const char* stray = "~lupina-tmp-00ff00ff00ff00ff.tmp";
  const char* strayInSub = "~lupina-tmp-1111222233334444.tmp";
  WriteBytes(dir / stray, "half a mail");
  WriteBytes(dir / "~lupina-tmp-userfile.tmp", "mine");
  WriteBytes(dir / "~lup0a9f.tmp", "an older program's name, maybe the user's");
  std::filesystem::create_directory(dir / "sub");
  WriteBytes(dir / "sub" / strayInSub, "another folder's");
  WriteBytes(dir / "from", "data");

  // Sweeping is not an operation: the fault meant for the copy strikes it.
  ops.FailAt(1, kNoSpace, false, FaultPoint::BeforeReplace);
  EXPECT_FALSE(Fs().Copy(dir / "from", dir / "to").ok());
  EXPECT_EQ(ops.Count(), 1);
  EXPECT_EQ(ops.Journal().size(), 1u);
  EXPECT_EQ(NamesIn(dir.path()), "from|sub|~lup0a9f.tmp|~lupina-tmp-userfile.tmp");
  EXPECT_EQ(NamesIn(dir / "sub"), strayInSub);

  // A write into the other folder sweeps that one too.
  ASSERT_TRUE(Fs().Write(dir / "sub" / "x", "1").ok());
  EXPECT_EQ(NamesIn(dir / "sub"), "x");

  WriteBytes(dir / stray, "left by another run");
  EXPECT_EQ(RemoveStrayTemps(dir.path()), 1);
  EXPECT_EQ(RemoveStrayTemps(dir / "missing"), 0);
}

}  // namespace
}  // namespace lup
