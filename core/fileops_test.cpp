#include "core/fileops.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "core/fsquery.h"
#include "core/fssteps.h"
#include "platform/osfile.h"
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
  EXPECT_FALSE(EntryExists(dir / "nofolder"));

  std::filesystem::create_directory(dir / "sub");
  OpResult ontoFolder = Fs().Copy(dir / "b", dir / "sub");
  EXPECT_EQ(ontoFolder.error, MakeError(CoreError::IsAFolder));
  EXPECT_TRUE(IsFolder(dir / "sub"));
  // Nor is a folder ever opened as a file: to be read, changed or made anew.
  EXPECT_FALSE(Fs().Copy(dir / "sub", dir / "c").ok());
  EXPECT_FALSE(EntryExists(dir / "c"));
  os::File file;
  EXPECT_TRUE(os::OpenRead(dir / "sub", &file));
  EXPECT_TRUE(os::OpenEdit(dir / "sub", &file));
  EXPECT_TRUE(os::CreateNew(dir / "sub", &file));
  EXPECT_FALSE(file.open());
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
  EXPECT_FALSE(EntryExists(dir / "f"));
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

// ---- a copy onto the same bytes, batches -------------------------------------

TEST_F(FileOpsTest, ACopyOntoTheSameBytesChangesNothingNotEvenTheTime) {
  namespace fs = std::filesystem;
  WriteBytes(dir / "from", "the same mail");
  WriteBytes(dir / "to", "the same mail");
  WriteBytes(dir / "other", "the samE mail");  // same size, one byte differs
  const auto old = fs::last_write_time(dir / "from") - std::chrono::hours(48);
  fs::last_write_time(dir / "to", old);
  fs::last_write_time(dir / "other", old);
  CopyBatch batch;
  ASSERT_TRUE(Fs().Copy(dir / "from", dir / "to").ok());
  ASSERT_TRUE(Fs().Copy(dir / "from", dir / "to", &batch).ok());
  ASSERT_TRUE(Fs().Copy(dir / "from", dir / "other", &batch).ok());
  ASSERT_TRUE(batch.Commit().ok());
  EXPECT_EQ(fs::last_write_time(dir / "to"), old);
  EXPECT_EQ(ReadBytes(dir / "other"), "the same mail");
  EXPECT_EQ(fs::last_write_time(dir / "other"), fs::last_write_time(dir / "from"));
  EXPECT_EQ(batch.Done(), 2);
  // Each is still an operation of the funnel.
  ASSERT_EQ(ops.Journal().size(), 3u);
  EXPECT_TRUE(ops.Journal()[1].ok);
  EXPECT_EQ(NamesIn(dir.path()), "from|other|to");
}

TEST_F(FileOpsTest, ABatchReplacesNothingBeforeCommitAndNothingWhenDropped) {
  WriteBytes(dir / "a", "new a");
  WriteBytes(dir / "b", "new b");
  std::filesystem::create_directory(dir / "to");
  WriteBytes(dir / "to/a", "old a");
  {
    CopyBatch batch;
    ASSERT_TRUE(Fs().Copy(dir / "a", dir / "to/a", &batch).ok());
    ASSERT_TRUE(Fs().Copy(dir / "b", dir / "to/b", &batch).ok());
    EXPECT_EQ(ReadBytes(dir / "to/a"), "old a");
    EXPECT_EQ(NamesIn(dir / "to").size(), std::string("a||").size() + 2 * kTempNameLength);
  }
  EXPECT_EQ(NamesIn(dir / "to"), "a");
  EXPECT_EQ(ReadBytes(dir / "to/a"), "old a");

  // A copy of the batch that failed: Commit renames nothing and says which.
  CopyBatch batch;
  ASSERT_TRUE(Fs().Copy(dir / "a", dir / "to/a", &batch).ok());
  EXPECT_FALSE(Fs().Copy(dir / "none", dir / "to/none", &batch).ok());
  ASSERT_TRUE(Fs().Copy(dir / "b", dir / "to/b", &batch).ok());
  const OpResult r = batch.Commit();
  EXPECT_TRUE(IsNotFound(r.error));
  EXPECT_EQ(r.path, dir / "none");
  EXPECT_EQ(batch.Done(), 0);
  EXPECT_EQ(NamesIn(dir / "to"), "a");
  EXPECT_EQ(ReadBytes(dir / "to/a"), "old a");
}

// A folder copy (one batch) with a failure, or a kill, at every operation:
// each target is whole, old or new, no temporary file is left or taken for
// data, and a copy made afresh afterwards completes it.
class BatchFaults : public FileOpsTest {
 protected:
  BatchFaults() {
    std::filesystem::create_directory(dir / "from");
    for (int i = 1; i <= 5; ++i) WriteBytes(dir / "from" / Name(i), "new " + std::to_string(i));
    WriteBytes(dir / "from/m3.mail", std::string(150000, 'n'));  // more than one buffer
  }
  static std::string Name(int i) { return "m" + std::to_string(i) + ".mail"; }
  void Reset() {
    std::filesystem::remove_all(dir / "to");
    std::filesystem::create_directory(dir / "to");
    WriteBytes(dir / "to/m1.mail", "old 1");
    WriteBytes(dir / "to/m2.mail", "new 2");  // already the same
    WriteBytes(dir / "to/m3.mail", std::string(150000, 'o'));
    WriteBytes(dir / "to/leftover", "left over");
  }
  FolderOpResult CopyFolder() { return ShellFileOp(dir / "from/*.*", dir / "to", ShellOp::Copy); }
  // Each target is the old file or the new one (absent before, absent or new).
  void ExpectWholeFiles(const std::vector<std::filesystem::path>& renamed) {
    EXPECT_EQ(ReadBytes(dir / "to/leftover"), "left over");
    for (int i = 1; i <= 5; ++i) {
      const std::filesystem::path target = dir / "to" / Name(i);
      const bool isNew = std::find(renamed.begin(), renamed.end(), target) != renamed.end();
      const std::string now = FileExists(target) ? ReadBytes(target) : "(none)";
      std::string old = i == 1 ? "old 1" : i == 2 ? "new 2" : i == 3 ? std::string(150000, 'o') : "(none)";
      EXPECT_EQ(now, isNew ? ReadBytes(dir / "from" / Name(i)) : old) << Name(i);
    }
    for (const char* name : {"to", "from"})
      for (const auto& entry : std::filesystem::directory_iterator(dir / name))
        EXPECT_FALSE(IsTempName(NameText(entry.path().filename()))) << PathText(entry.path());
  }
};

TEST_F(BatchFaults, AFailureOrAKillAtEveryOperationLeavesEachFileWholeOldOrNew) {
  Reset();
  ASSERT_TRUE(CopyFolder().ok());
  const std::vector<FileOps::Record> dry = ops.Journal();
  ASSERT_EQ(dry.size(), 5u);
  for (FaultPoint point : {FaultPoint::Start, FaultPoint::BeforeReplace})
    for (bool killed : {false, true})
      for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE("operation " + std::to_string(n) + (killed ? ", killed" : ", failed") +
                     (point == FaultPoint::Start ? " at its start" : " before its rename"));
        Reset();
        ops.ClearJournal();
        ops.FailAt(n, kNoSpace, killed, point);
        const FolderOpResult r = CopyFolder();
        ops.ClearFaults();
        EXPECT_FALSE(r.ok());
        EXPECT_EQ(r.result.FailingPath(), dry[n - 1].other);
        EXPECT_EQ(r.result.error, kNoSpace);
        // Before the renames nothing is replaced; a failing rename leaves
        // the ones before it done.
        std::vector<std::filesystem::path> renamed;
        if (point == FaultPoint::BeforeReplace)
          for (int i = 0; i < n - 1; ++i) renamed.push_back(dry[i].other);
        EXPECT_EQ(r.filesDone, static_cast<int>(renamed.size()));
        ExpectWholeFiles(renamed);
        ASSERT_GE(ops.Journal().size(), static_cast<std::size_t>(n));
        EXPECT_FALSE(ops.Journal()[n - 1].ok);
        // Started afresh, the copy completes.
        ASSERT_TRUE(CopyFolder().ok());
        std::vector<std::filesystem::path> all;
        for (const auto& rec : dry) all.push_back(rec.other);
        ExpectWholeFiles(all);
        if (::testing::Test::HasFailure()) return;
      }
}

// A folder of many files is copied from a few threads; whatever fails, the
// outcome is the one of copies made one after the other: the first failure
// in the list is the one reported, the operations after it are neither
// counted nor journaled, no temporary file is left, nothing is replaced.
TEST_F(FileOpsTest, CopiesFromAFewThreadsEndAtTheFirstFailureAsOneAfterTheOther) {
  constexpr int kFiles = 60;
  std::filesystem::create_directories(dir / "from");
  std::filesystem::create_directories(dir / "to");
  std::vector<std::pair<std::filesystem::path, std::filesystem::path>> copies;
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "m" + std::to_string(i) + ".mail";
    WriteBytes(dir / "from" / name, "new " + std::to_string(i) + std::string(i * 997, 'x'));
    if (i % 3 == 0) WriteBytes(dir / "to" / name, "old " + std::to_string(i));
    copies.emplace_back(dir / "from" / name, dir / "to" / name);
  }
  std::string before = NamesIn(dir / "to");
  auto expectUntouched = [&] {
    EXPECT_EQ(NamesIn(dir / "to"), before);
    for (int i = 0; i < kFiles; i += 3)
      EXPECT_EQ(ReadBytes(copies[i].second), "old " + std::to_string(i));
  };
  auto runExpectingFailureAt = [&](std::size_t failing, std::error_code error) {
    ops.ClearJournal();
    const int countBefore = ops.Count();
    CopyBatch batch;
    int done = -1;
    const OpResult r = Fs().CopyAll(copies, batch, &done);
    ops.ClearFaults();
    // Windows names a missing file in its own codes.
    EXPECT_TRUE(r.error == error || (IsNotFound(error) && IsNotFound(r.error))) << r.Describe();
    EXPECT_EQ(r.other, copies[failing].second);
    EXPECT_EQ(done, static_cast<int>(failing));
    EXPECT_EQ(ops.Count() - countBefore, static_cast<int>(failing) + 1);
    ASSERT_EQ(ops.Journal().size(), failing + 1);
    EXPECT_FALSE(ops.Journal().back().ok);
    EXPECT_EQ(ops.Journal().back().other, copies[failing].second);
    EXPECT_FALSE(batch.Commit().ok());
    expectUntouched();
  };
  for (FaultPoint point : {FaultPoint::Start, FaultPoint::BeforeReplace})
    for (int n : {1, 17, kFiles}) {
      SCOPED_TRACE("injected at copy " + std::to_string(n));
      ops.FailAt(n, kNoSpace, /*fromThenOn=*/false, point);
      if (point == FaultPoint::Start) {
        runExpectingFailureAt(static_cast<std::size_t>(n - 1), kNoSpace);
      } else {
        // This fault strikes at the rename: staged whole, it fails in Commit.
        CopyBatch batch;
        int done = 0;
        ASSERT_TRUE(Fs().CopyAll(copies, batch, &done).ok());
        EXPECT_EQ(done, kFiles);
        ops.ClearFaults();
        EXPECT_EQ(batch.Commit().error, kNoSpace);
        EXPECT_EQ(batch.Done(), n - 1);
        // Put back what the renames before it replaced.
        for (int i = 0; i < n - 1; ++i) {
          if (i % 3 == 0)
            WriteBytes(copies[i].second, "old " + std::to_string(i));
          else
            std::filesystem::remove(copies[i].second);
        }
        expectUntouched();
      }
    }
  // Failures of the files themselves: a source gone, a target that is a
  // folder. The earlier one in the list is reported, wherever the threads were.
  std::filesystem::remove(copies[41].first);
  std::filesystem::create_directory(dir / "to/m50.mail");
  before = NamesIn(dir / "to");
  runExpectingFailureAt(41, std::make_error_code(std::errc::no_such_file_or_directory));
  WriteBytes(copies[41].first, "new 41");
  int done = 0;
  {
    CopyBatch batch;
    const OpResult r = Fs().CopyAll(copies, batch, &done);
    EXPECT_EQ(r.error, MakeError(CoreError::IsAFolder));
    EXPECT_EQ(done, 50);
    EXPECT_EQ(batch.Commit().other, copies[50].second);
    EXPECT_EQ(NamesIn(dir / "to"), before);
  }

  // Nothing failing: every file copied whole, the ones already the same untouched.
  std::filesystem::remove(dir / "to/m50.mail");
  WriteBytes(copies[6].second, ReadBytes(copies[6].first));
  const auto longAgo = std::filesystem::last_write_time(copies[6].second) - std::chrono::hours(48);
  std::filesystem::last_write_time(copies[6].second, longAgo);
  CopyBatch all;
  ASSERT_TRUE(Fs().CopyAll(copies, all, &done).ok());
  ASSERT_TRUE(all.Commit().ok());
  EXPECT_EQ(all.Done(), kFiles);
  for (const auto& [from, to] : copies) EXPECT_EQ(ReadBytes(to), ReadBytes(from)) << PathText(to);
  EXPECT_EQ(std::filesystem::last_write_time(copies[6].second), longAgo);
  EXPECT_EQ(NamesIn(dir / "to").find("~lupina-tmp"), std::string::npos);
}

// Temporary files kept open from their write to their rename: at most
// TempFile::Cap() at once, the others closed and opened again by name; when
// the batch ends (committed, failed or dropped) every one is closed, none
// is left, and the folder can go (Windows would refuse it a file we hold).
class HeldTemps : public FileOpsTest {
 protected:
  using Copies = std::vector<std::pair<std::filesystem::path, std::filesystem::path>>;
  void SetUp() override {
    os::SetOpenRenameSeam({{}, [this](const std::filesystem::path&, bool byHandle) {
                             ++(byHandle ? byHandle_ : byName_);
                           }});
  }
  void TearDown() override { os::SetOpenRenameSeam({}); }
  Copies MakeFiles(int count) {
    std::filesystem::create_directories(dir / "from");
    std::filesystem::create_directories(dir / "to");
    Copies copies;
    for (int i = 0; i < count; ++i) {
      const std::string name = "m" + std::to_string(i) + ".mail";
      WriteBytes(dir / "from" / name, "new " + std::to_string(i));
      if (i % 2 == 0) WriteBytes(dir / "to" / name, "old " + std::to_string(i));
      copies.emplace_back(dir / "from" / name, dir / "to" / name);
    }
    return copies;
  }
  static int OpenFiles() {
#ifdef __linux__
    int n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++n;
    return n;
#else
    return 0;
#endif
  }
  void ExpectAllClosedAndTheFolderRemovable() {
    EXPECT_EQ(TempFile::HeldNow(), 0);
    EXPECT_EQ(NamesIn(dir / "to").find("~lupina-tmp"), std::string::npos);
    std::error_code e;
    std::filesystem::remove_all(dir / "to", e);
    EXPECT_FALSE(e) << e.message();
    EXPECT_FALSE(std::filesystem::exists(dir / "to"));
  }
  int byHandle_ = 0, byName_ = 0;
};

TEST_F(HeldTemps, AFolderPastTheCapIsCopiedWholeAndEveryFileClosed) {
  const int files = TempFile::Cap() + 44;
  const Copies copies = MakeFiles(files);
  const int openBefore = OpenFiles();
  {
    // Dropped: closed and removed, the old files untouched.
    CopyBatch dropped;
    int done = 0;
    ASSERT_TRUE(Fs().CopyAll(copies, dropped, &done).ok());
    EXPECT_EQ(TempFile::HeldNow(), TempFile::Cap());
  }
  EXPECT_EQ(TempFile::HeldNow(), 0);
  EXPECT_EQ(OpenFiles(), openBefore);
  EXPECT_EQ(ReadBytes(copies[0].second), "old 0");
  EXPECT_FALSE(std::filesystem::exists(copies[1].second));
  EXPECT_EQ(NamesIn(dir / "to").find("~lupina-tmp"), std::string::npos);

  CopyBatch batch;
  int done = 0;
  ASSERT_TRUE(Fs().CopyAll(copies, batch, &done).ok());
  EXPECT_EQ(TempFile::HeldNow(), TempFile::Cap());
  // Beyond the cap a new copy waits for no place: it is closed after its write.
  WriteBytes(dir / "from/extra", "extra");
  ASSERT_TRUE(Fs().Copy(dir / "from/extra", dir / "to/extra", &batch).ok());
  EXPECT_EQ(TempFile::HeldNow(), TempFile::Cap());
  const OpResult r = batch.Commit();
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(batch.Done(), files + 1);
  for (const auto& [from, to] : copies) EXPECT_EQ(ReadBytes(to), ReadBytes(from)) << PathText(to);
  EXPECT_EQ(ReadBytes(dir / "to/extra"), "extra");
  // The ones kept open were renamed through their handles where the system can.
  EXPECT_EQ(byHandle_ + byName_, TempFile::Cap());
#ifdef _WIN32
  EXPECT_EQ(byHandle_, TempFile::Cap());
#endif
  EXPECT_EQ(OpenFiles(), openBefore);
  ExpectAllClosedAndTheFolderRemovable();
}

TEST_F(HeldTemps, AFailureWhileTheyAreHeldLeavesNoTemporaryAndNoFileOpen) {
  const Copies copies = MakeFiles(20);
  const int openBefore = OpenFiles();
  // A rename failing halfway: the ones before it done, the rest untouched.
  ops.FailAt(8, kNoSpace, false, FaultPoint::BeforeReplace);
  CopyBatch batch;
  int done = 0;
  ASSERT_TRUE(Fs().CopyAll(copies, batch, &done).ok());
  EXPECT_EQ(TempFile::HeldNow(), 20);
  const OpResult r = batch.Commit();
  EXPECT_EQ(r.error, kNoSpace);
  EXPECT_EQ(r.other, copies[7].second);
  EXPECT_EQ(batch.Done(), 7);
  for (int i = 0; i < 20; ++i) {
    const std::string now = std::filesystem::exists(copies[i].second) ? ReadBytes(copies[i].second) : "(none)";
    EXPECT_EQ(now, i < 7 ? "new " + std::to_string(i) : i % 2 == 0 ? "old " + std::to_string(i) : "(none)");
  }
  EXPECT_EQ(TempFile::HeldNow(), 0);
  EXPECT_EQ(OpenFiles(), openBefore);
  EXPECT_EQ(NamesIn(dir / "to").find("~lupina-tmp"), std::string::npos);

  // A copy failing in the middle of the list, the ones staged before it held.
  std::filesystem::remove(copies[12].first);
  CopyBatch failing;
  EXPECT_FALSE(Fs().CopyAll(copies, failing, &done).ok());
  EXPECT_EQ(done, 12);
  EXPECT_TRUE(IsNotFound(failing.Commit().error));
  EXPECT_EQ(ReadBytes(copies[8].second), "old 8");
  EXPECT_EQ(OpenFiles(), openBefore);
  ExpectAllClosedAndTheFolderRemovable();
}

// A copy or a write on its own keeps its temporary file open to its rename
// too, and on a failure closes it before it removes it.
TEST_F(HeldTemps, ASingleCopyOrWriteIsRenamedFromItsOpenFile) {
  const Copies copies = MakeFiles(2);
  const int openBefore = OpenFiles();
  ASSERT_TRUE(Fs().Copy(copies[0].first, copies[0].second).ok());
  ASSERT_TRUE(Fs().Write(dir / "to/settings.dat", "written").ok());
  EXPECT_EQ(ReadBytes(copies[0].second), "new 0");
  EXPECT_EQ(ReadBytes(dir / "to/settings.dat"), "written");
  EXPECT_EQ(byHandle_ + byName_, 2);
#ifdef _WIN32
  EXPECT_EQ(byHandle_, 2);
#endif
  ops.FailAt(1, kNoSpace, false, FaultPoint::BeforeReplace);
  EXPECT_EQ(Fs().Copy(copies[1].first, copies[1].second).error, kNoSpace);
  ops.FailAt(1, kNoSpace, false, FaultPoint::BeforeReplace);
  EXPECT_EQ(Fs().Write(dir / "to/settings.dat", "lost").error, kNoSpace);
  EXPECT_FALSE(std::filesystem::exists(copies[1].second));
  EXPECT_EQ(ReadBytes(dir / "to/settings.dat"), "written");
  EXPECT_EQ(OpenFiles(), openBefore);
  ExpectAllClosedAndTheFolderRemovable();
}

#ifdef _WIN32
// Where the system cannot rename an open file through its handle, the batch
// closes it and renames it by name: the same outcome.
TEST_F(HeldTemps, WhereTheHandleIsRefusedTheBatchRenamesByName) {
  const std::error_code notSupported(50, std::system_category());  // ERROR_NOT_SUPPORTED
  os::SetOpenRenameSeam({[=](const std::filesystem::path&) { return notSupported; },
                         [this](const std::filesystem::path&, bool byHandle) { ++(byHandle ? byHandle_ : byName_); }});
  const Copies copies = MakeFiles(10);
  CopyBatch batch;
  int done = 0;
  ASSERT_TRUE(Fs().CopyAll(copies, batch, &done).ok());
  const OpResult r = batch.Commit();
  ASSERT_TRUE(r.ok()) << r.Describe();
  for (const auto& [from, to] : copies) EXPECT_EQ(ReadBytes(to), ReadBytes(from)) << PathText(to);
  EXPECT_EQ(byHandle_, 0);
  EXPECT_EQ(byName_, 10);
  ExpectAllClosedAndTheFolderRemovable();
}
#endif

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
