// The generations of the backup: run after run on changing data, each
// generation read back as the repair reads it must be exactly the backup
// that run took; what a run costs beyond the plain backup; the disks that
// have no second names for a file; a repair from an earlier generation.
#include "core/backup_history.h"

#include <gtest/gtest.h>

#include <set>
#include <system_error>

#include "base/text.h"
#include "core/fileops.h"
#include "core/petstore.h"
#include "tests/support/host_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::Files;
using test::ItemOf;

struct HistoryScene : test::HostFolder {
  HistoryScene() {
    settings.hostFolder = D();
    settings.MakeHostPaths();
    PutThreePets();
  }
  PetStore Store() const { return PetStore(settings); }
  Files Bak() const {
    Files out;
    for (const auto& [path, bytes] : Snapshot())
      if (path.rfind("bak/", 0) == 0) out[path] = bytes;
    return out;
  }
  // A backup, and what it left in D\bak.
  Files BackUp() {
    const PetStore::BackupReport report = Store().BackUp();
    EXPECT_TRUE(report.ok()) << (report.failures.empty() ? report.notStarted.Describe()
                                                         : report.failures.front().Describe());
    return Bak();
  }
  // Generation `undone` read as the repair reads it, at every path any of
  // the backups taken so far had.
  Files Generation(int undone) const {
    const BackupView view = BackupHistory(settings).View(undone);
    std::set<std::string> paths;
    for (const Files& taken : backups)
      for (const auto& [path, bytes] : taken) paths.insert(path);
    Files out;
    for (const std::string& path : paths)
      if (const std::optional<fs::path> file = view.File(At(path))) out[path] = test::ReadBytes(*file);
    return out;
  }
  // What calls between two backups do: a mail more and one less, a friend
  // book and a snack changed, once a new pet with her folders.
  void Change(int round) {
    const std::string tag = "round " + std::to_string(round);
    Put("ミミ_受信フォルダ/r" + std::to_string(round) + ".txt", "ミミ " + tag);
    Remove("ミミ_受信フォルダ/r" + std::to_string(round - 2) + ".txt");
    Put("ミミ_おともだち帳", "ミミ friends, " + tag);
    Put("共有/おやつ/共有-cake.pac", "共有 cake, " + tag);
    Put("おともだち帳", "ミミ friends, " + tag);
    if (round == 6) PutPet("ハナ");
    if (round == 4) Remove("ソラ_受信フォルダ/0001.txt");
  }

  Settings settings;
  std::vector<Files> backups;  // every backup taken, oldest first
};

class History : public ::testing::Test, public HistoryScene {};

TEST_F(History, EveryGenerationIsExactlyTheBackupItsRunTookAndTheNewestFiveRunsAreKept) {
  WriteCurrent("");  // the pets' own copies are what is backed up
  for (int round = 1; round <= 8; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Change(round);
    backups.push_back(BackUp());
    const std::vector<BackupGeneration> generations = BackupHistory(settings).Generations();
    // D\bak, then the backups before each kept run: at most five runs back.
    ASSERT_EQ(generations.size(), std::min<std::size_t>(backups.size(), kKeptRuns + 1));
    for (std::size_t g = 0; g < generations.size(); ++g) {
      EXPECT_EQ(generations[g].undone, static_cast<int>(g));
      EXPECT_EQ(generations[g].when.size(), 19u);  // "2026/12/08 19:00:05"
      if (g > 0) EXPECT_LE(generations[g].when, generations[g - 1].when);
      EXPECT_EQ(Generation(generations[g].undone), backups[backups.size() - 1 - g]) << "generation " << g;
    }
    // D\bak itself stays the plain layout.
    EXPECT_EQ(Generation(0), Bak());
    if (HasFailure()) return;
  }
  EXPECT_EQ(test::NamesIn(At(kHistoryFolderName)), "000004|000005|000006|000007|000008");
  // A new pet's folders were not there before her first backup.
  // (She came in round 6: the backups before runs 6, 7 and 8 are undone.)
  const BackupView before = BackupHistory(settings).View(3);
  EXPECT_FALSE(before.IsFolder(At("bak/ハナ_受信フォルダ")));
  EXPECT_TRUE(BackupHistory(settings).View(2).IsFolder(At("bak/ハナ_受信フォルダ")));
  // So a repair of her offers her mail from the one and not the other.
  EXPECT_FALSE(Store().HasBackupFor("ハナ", {}, kSendReceiveLog, 3));
  EXPECT_TRUE(Store().HasBackupFor("ハナ", {}, kSendReceiveLog, 2));
}

TEST_F(History, RunsCutShortKeepNoGenerationAndTakeNoneOfTheKeptOnesPlace) {
  WriteCurrent("");
  for (int round = 1; round <= 9; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    Change(round);
    if (round % 2 == 0) {
      // Cut short half way: as a program ended there.
      FileOps ops;
      ScopedFileOps scope(ops);
      ops.FailAt(12, std::make_error_code(std::errc::io_error), true);
      EXPECT_FALSE(Store().BackUp().ok());
    }
    backups.push_back(BackUp());
  }
  const std::vector<BackupGeneration> generations = BackupHistory(settings).Generations();
  ASSERT_EQ(generations.size(), static_cast<std::size_t>(kKeptRuns + 1));
  for (std::size_t g = 0; g < generations.size(); ++g)
    EXPECT_EQ(Generation(generations[g].undone), backups[backups.size() - 1 - g]) << "generation " << g;
}

TEST_F(History, ANewRunIsNumberedAfterTheHighestRunFolderAndOtherNamesCountForNothing) {
  WriteCurrent("");
  // A run folder that never began counts; names that are not six digits do not.
  for (const char* name : {"000099", "-00001", "12345", "0001000", "00010a", "999999x"})
    fs::create_directories(At(std::string(kHistoryFolderName) + "/" + name));
  BackUp();
  EXPECT_TRUE(fs::is_directory(At(std::string(kHistoryFolderName) + "/000100")));
  EXPECT_FALSE(fs::is_directory(At(std::string(kHistoryFolderName) + "/000001")));
  EXPECT_FALSE(fs::is_directory(At(std::string(kHistoryFolderName) + "/1000000")));
}

TEST_F(History, BackupsThatChangeNothingKeepNoRecordAndPushNoGenerationOut) {
  WriteCurrent("");
  for (int round = 1; round <= 3; ++round) {
    Change(round);
    backups.push_back(BackUp());
  }
  const std::vector<BackupGeneration> kept = BackupHistory(settings).Generations();
  const std::string runs = test::NamesIn(At(kHistoryFolderName));
  for (int again = 0; again < kKeptRuns + 2; ++again) BackUp();
  EXPECT_EQ(test::NamesIn(At(kHistoryFolderName)), runs);
  const std::vector<BackupGeneration> now = BackupHistory(settings).Generations();
  ASSERT_EQ(now.size(), kept.size());
  for (std::size_t g = 0; g < now.size(); ++g) {
    EXPECT_EQ(now[g].when, kept[g].when);
    EXPECT_EQ(Generation(now[g].undone), backups[backups.size() - 1 - g]);
  }
}

// A run ended after its "done=" and before it removed the oldest run: the
// next backup removes it, even when it has nothing to change.
TEST(HistoryPrune, ARunEndedBeforeItsRemovalIsPrunedByTheNextBackupThatChangesNothing) {
  // Backups of kKeptRuns + 1 rounds, then the data changed once more.
  const auto prepare = [](HistoryScene& scene) {
    scene.WriteCurrent("");
    for (int round = 1; round <= kKeptRuns + 1; ++round) {
      scene.Change(round);
      scene.backups.push_back(scene.BackUp());
    }
    scene.Change(kKeptRuns + 2);
  };
  // Where the last run's removal begins: the first operation after its "done=".
  int firstRemoval = 0;
  {
    HistoryScene probe;
    prepare(probe);
    FileOps ops;
    ScopedFileOps scope(ops);
    probe.BackUp();
    for (std::size_t i = 0; i < ops.Journal().size() && firstRemoval == 0; ++i)
      if (ops.Journal()[i].action == Action::Rename &&
          NameText(ops.Journal()[i].other.filename()).rfind("~", 0) == 0)
        firstRemoval = static_cast<int>(i) + 1;
    ASSERT_GT(firstRemoval, 0) << "the last run removed no run";
  }
  HistoryScene scene;
  prepare(scene);
  {
    FileOps ops;
    ScopedFileOps scope(ops);
    ops.FailAt(firstRemoval, std::make_error_code(std::errc::interrupted), true);
    EXPECT_TRUE(scene.Store().BackUp().ok());  // the backup itself ended
    scene.backups.push_back(scene.Bak());
  }
  ASSERT_GT(BackupHistory(scene.settings).Generations().size(), static_cast<std::size_t>(kKeptRuns + 1));
  scene.BackUp();  // nothing changed since
  const std::vector<BackupGeneration> generations = BackupHistory(scene.settings).Generations();
  ASSERT_EQ(generations.size(), static_cast<std::size_t>(kKeptRuns + 1));
  for (std::size_t g = 0; g < generations.size(); ++g)
    EXPECT_EQ(scene.Generation(generations[g].undone), scene.backups[scene.backups.size() - 1 - g])
        << "generation " << g;
}

TEST_F(History, ARunCostsOneSecondNameForEachFileItReplacesAndCopiesNothingMore) {
  WriteCurrent("");
  BackUp();
  Change(1);
  Change(2);
  FileOps ops;
  ScopedFileOps scope(ops);
  BackUp();
  const std::string history = std::string(kHistoryFolderName) + "/";
  const auto intoHistory = [&](const FileOps::Record& r) {
    return PathText(r.other.lexically_relative(D()).generic_u8string()).rfind(history, 0) == 0;
  };
  std::set<fs::path> linked;
  int moved = 0;
  for (const FileOps::Record& r : ops.Journal()) {
    if (r.action == Action::Link) linked.insert(r.path);
    if (r.action == Action::Rename && intoHistory(r)) ++moved;
    // Nothing is copied into the history: the old files get second names.
    if (r.action == Action::Copy) EXPECT_FALSE(intoHistory(r)) << PathText(r.other);
  }
  // Replaced: ミミ's friend book, the shared cake, the host's friend book,
  // each once; ミミ's two new mails are added, nothing else is touched.
  EXPECT_EQ(linked, (std::set<fs::path>{At("bak/ミミ_おともだち帳.bak"), At("bak/共有/おやつ/共有-cake.pac"),
                                        At("bak/おともだち帳.bak")}));
  EXPECT_EQ(moved, 0);
  // A mail gone from her folder is moved out of D\bak, not copied.
  Change(3);
  ops.ClearJournal();
  BackUp();
  std::vector<fs::path> renamed;
  for (const FileOps::Record& r : ops.Journal())
    if (r.action == Action::Rename && intoHistory(r)) renamed.push_back(r.path);
  EXPECT_EQ(renamed, std::vector<fs::path>{At("bak/ミミ_受信フォルダ/r1.txt")});
}

TEST_F(History, ADiskWithoutSecondNamesKeepsACopyOfEachReplacedFileInstead) {
  WriteCurrent("");
  backups.push_back(BackUp());
  Change(1);
  // Which operations of the run are the second names: a dry run on a
  // folder made the same way.
  int firstLink = 0;
  {
    HistoryScene dry;
    dry.WriteCurrent("");
    dry.BackUp();
    dry.Change(1);
    FileOps ops;
    ScopedFileOps scope(ops);
    dry.BackUp();
    for (std::size_t i = 0; i < ops.Journal().size() && firstLink == 0; ++i)
      if (ops.Journal()[i].action == Action::Link) firstLink = static_cast<int>(i) + 1;
  }
  ASSERT_GT(firstLink, 0);
  HistoryScene& fresh = *this;
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(firstLink, std::make_error_code(std::errc::not_supported));
  fresh.backups.push_back(fresh.BackUp());
  int copiedIntoHistory = 0;
  for (const FileOps::Record& r : ops.Journal())
    if (r.action == Action::Copy && r.ok &&
        PathText(r.other.lexically_relative(fresh.D()).generic_u8string()).rfind(kHistoryFolderName, 0) == 0)
      ++copiedIntoHistory;
  EXPECT_EQ(copiedIntoHistory, 1);
  EXPECT_EQ(fresh.Generation(1), fresh.backups[0]);
  EXPECT_EQ(fresh.Generation(0), fresh.backups[1]);
  EXPECT_TRUE(FileOps::IsNoLink(OpResult::Fail(Action::Link, std::make_error_code(std::errc::not_supported), D(), D())));
  EXPECT_FALSE(FileOps::IsNoLink(OpResult::Fail(Action::Link, std::make_error_code(std::errc::no_space_on_device), D(), D())));
}

TEST_F(History, ABackupFromBeforeGenerationsWereKeptIsOfferedWithoutATime) {
  WriteCurrent("");
  Put("bak/ミミ_おともだち帳.bak", "an old backup");
  Put("bak/ミミ_PostPet設定.ppc.bak", "ミミ settings");
  backups.push_back(Bak());
  backups.push_back(BackUp());
  const std::vector<BackupGeneration> generations = BackupHistory(settings).Generations();
  ASSERT_EQ(generations.size(), 2u);
  EXPECT_EQ(generations[1].when, "");
  EXPECT_EQ(Generation(1), backups[0]);
  EXPECT_EQ(Generation(0), backups[1]);
}

TEST_F(History, ARepairFromAnEarlierGenerationBringsThatBackupBack) {
  WriteCurrent("");
  backups.push_back(BackUp());
  // The damage comes first, a backup is taken of it, then it is noticed.
  Put("ミミ_受信フォルダ/0001.txt", "ソラ first mail, by mistake");
  Remove("ミミ_受信フォルダ/ミミ-in.txt");
  Put("ミミ_おともだち帳", "ソラ friends, by mistake");
  backups.push_back(BackUp());
  const PetStore store = Store();
  EXPECT_TRUE(store.HasBackupFor("ミミ", {}, kSendReceiveLog, 1));
  ASSERT_TRUE(store.Repair("ミミ", {}, kEverything, 1).ok());
  const Files disk = Snapshot();
  EXPECT_EQ(Read("ミミ_おともだち帳"), "ミミ friends");
  EXPECT_EQ(Read("ミミ_受信フォルダ/0001.txt"), "ミミ first mail");
  EXPECT_EQ(Read("ミミ_受信フォルダ/ミミ-in.txt"), "ミミ received");
  // The backups themselves are untouched by the repair.
  EXPECT_EQ(Bak(), backups[1]);
  EXPECT_EQ(Generation(1), backups[0]);
}

}  // namespace
}  // namespace lup
