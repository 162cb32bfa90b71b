// The backup, the repair and the deletion of the pet store on real host
// folders: what lands where, whose data goes into which copy, and that a
// failure at any single operation loses or mixes nothing. The dialogs
// around them are tested in utility/data_dialogs_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <stdexcept>
#include <system_error>

#include "base/text.h"
#include "core/backup_history.h"
#include "core/fileops.h"
#include "core/petstore.h"
#include "tests/support/host_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::Files;
using test::ItemOf;
using test::NamesIn;

constexpr ShareFlags kKeepsAll = {0, 0, 0, 0};
constexpr ShareFlags kSora = {1, 0, 1, 0};  // shares her friend book and snacks

class Scene : public test::HostFolder {
 public:
  Scene() {
    settings.hostFolder = D();
    settings.MakeHostPaths();
  }
  PetStore Store() const { return PetStore(settings); }

  // This host folder made a copy of `model`'s, bypassing the funnel: the
  // fault tests start every run from the same prepared folder.
  void Clone(const Scene& model) {
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(model.D())) {
      const fs::path to = D() / e.path().lexically_relative(model.D());
      if (e.is_directory()) {
        fs::create_directories(to);
      } else {
        fs::remove(to);  // (mingw's copy_file does not overwrite)
        fs::copy_file(e.path(), to);
      }
    }
  }

  Settings settings;
};

// The files of a snapshot whose paths start with `prefix`, or (`!inside`)
// the others.
Files Under(const Files& files, const std::string& prefix, bool inside = true) {
  Files out;
  for (const auto& [path, bytes] : files)
    if ((path.rfind(prefix, 0) == 0) == inside) out[path] = bytes;
  return out;
}

// The host items of a snapshot (names without "_" or "/" at their start).
Files HostItems(const Files& files) {
  Files out;
  for (const std::string item : {"おともだち帳", "宝物", "受信フォルダ", "送信フォルダ", "おやつ"})
    for (const auto& [name, bytes] : ItemOf(files, item)) out[item + "/" + name] = bytes;
  return out;
}

// The paths of a journal, relative to the host folder (each run has its own).
std::vector<fs::path> Relative(const std::vector<FileOps::Record>& journal, const fs::path& d) {
  std::vector<fs::path> out;
  for (const FileOps::Record& r : journal) out.push_back(r.path.lexically_relative(d));
  return out;
}

std::string Sorted(std::vector<std::string> names) {
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : "|") + n;
  return out;
}

// A path's content in a snapshot, or "<none>".
std::string At(const Files& files, const std::string& path) {
  const auto it = files.find(path);
  return it == files.end() ? "<none>" : it->second;
}

// ---- the folder refresh --------------------------------------------------------------

TEST(RefreshFolderCopy, MakesTheTargetAndLeavesItHoldingExactlyTheSourceFiles) {
  Scene s;
  ASSERT_TRUE(RefreshFolderCopy(s / "nothing", s / "made").ok());
  EXPECT_TRUE(fs::is_directory(s / "made"));  // a missing source still makes it
  s.Put("to/old.txt", "old");
  s.Put("to/sub/keep.txt", "a sub-folder stays");
  ASSERT_TRUE(RefreshFolderCopy(s / "nothing", s / "to").ok());
  EXPECT_EQ(NamesIn(s / "to"), "sub");
  s.Put("from/a.txt", "a");
  ASSERT_TRUE(RefreshFolderCopy(s / "from", s / "to").ok());
  EXPECT_EQ(NamesIn(s / "to"), "a.txt|sub");
  s.Put("plain", "a file where the folder should be");
  EXPECT_FALSE(RefreshFolderCopy(s / "from", s / "plain").ok());
  EXPECT_EQ(s.Read("plain"), "a file where the folder should be");
}

TEST(RefreshFolderCopy, AFailureHalfWayRemovesNothingOfTheTarget) {
  Scene s;
  s.Put("from/a.txt", "new a");
  s.Put("from/b.txt", "new b");
  s.Put("to/old.txt", "the last good copy");
  s.Put("to/b.txt", "old b");
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(2, std::make_error_code(std::errc::no_space_on_device));
  const OpResult r = RefreshFolderCopy(s / "from", s / "to");
  EXPECT_EQ(r.FailingPath(), s / "to/b.txt");
  EXPECT_EQ(NamesIn(s / "to"), "b.txt|old.txt");  // the copies are one batch
  EXPECT_EQ(s.Read("to/b.txt"), "old b");
  EXPECT_EQ(s.Read("to/old.txt"), "the last good copy");
}

// ---- the backup ----------------------------------------------------------------------

TEST(Backup, EachPetsOwnKindsThenTheHostAndTheSharedCopiesGoIntoBak) {
  Scene s;
  s.PutThreePets();
  s.Put("ソラ_おともだち帳", "left from before she shared");
  const PetStore::BackupReport report = s.Store().BackUp();
  ASSERT_TRUE(report.ok()) << report.failures.front().Describe();
  EXPECT_TRUE(report.sharesUnknown.ok());
  EXPECT_EQ(report.pets, 3);

  std::vector<std::string> expected = {"おともだち帳.bak", "宝物", "受信フォルダ", "送信フォルダ", "おやつ", "共有"};
  for (const std::string pet : {"ミミ", "クロ"})  // クロ has no record: she shares nothing
    for (const std::string item : {"PostPet設定.ppc.bak", "おともだち帳.bak", "宝物", "受信フォルダ", "送信フォルダ", "おやつ"})
      expected.push_back(pet + "_" + item);
  for (const std::string item : {"PostPet設定.ppc.bak", "宝物", "受信フォルダ", "送信フォルダ"})
    expected.push_back("ソラ_" + item);
  EXPECT_EQ(NamesIn(s / "bak"), Sorted(expected));

  const Files disk = s.Snapshot();
  // ミミ is current: her latest, in the host copies, was saved first and is
  // what her backup holds (the mail only the host had included).
  EXPECT_EQ(s.Read("bak/ミミ_おともだち帳.bak"), "ミミ friends, newest");
  EXPECT_EQ(s.Read("bak/ミミ_受信フォルダ/0003.txt"), "ミミ third mail, only in the host");
  EXPECT_EQ(s.CurrentOnDisk(), "ミミ");
  EXPECT_EQ(s.Read("bak/おともだち帳.bak"), "ミミ friends, newest");       // the host's
  EXPECT_EQ(s.Read("bak/共有/おともだち帳.bak"), "共有 friends");
  EXPECT_EQ(s.Read("bak/ソラ_PostPet設定.ppc.bak"), "ソラ settings");
  for (const std::string folder : {"宝物", "受信フォルダ", "送信フォルダ", "おやつ"}) {
    EXPECT_EQ(ItemOf(disk, "bak/ミミ_" + folder), ItemOf(disk, "ミミ_" + folder)) << folder;
    EXPECT_EQ(ItemOf(disk, "bak/" + folder), ItemOf(disk, folder)) << folder;
    EXPECT_EQ(ItemOf(disk, "bak/共有/" + folder), ItemOf(disk, "共有/" + folder)) << folder;
  }
  EXPECT_EQ(NamesIn(s / "bak/共有"), Sorted({"おともだち帳.bak", "宝物", "受信フォルダ", "送信フォルダ", "おやつ"}));
}

TEST(Backup, ASecondRunReplacesTheFirstFolderByFolder) {
  Scene s;
  s.PutThreePets();
  s.WriteCurrent("");  // her own copies are what is backed up
  ASSERT_TRUE(s.Store().BackUp().ok());
  s.Remove("ミミ_受信フォルダ/0001.txt");            // gone from the backup too
  s.Put("ミミ_受信フォルダ/sub/deep.txt", "never backed up");
  s.Put("bak/ミミ_受信フォルダ/older/inner.txt", "a sub-folder of the backup stays");
  s.Remove("ミミ_おやつ/ミミ-cake.pac");            // emptied: its backup is emptied
  s.Remove("ソラ_送信フォルダ");                     // missing: its backup is made empty
  s.Remove("ミミ_宝物/tzl001.pac");                  // a damaged treasure folder
  s.Put("ミミ_宝物/ミミ-gem.bmp", "ミミ gem, polished");
  ASSERT_TRUE(s.Store().BackUp().ok());
  EXPECT_EQ(NamesIn(s / "bak/ミミ_受信フォルダ"), "older|ミミ-in.txt");
  EXPECT_EQ(s.Read("bak/ミミ_受信フォルダ/older/inner.txt"), "a sub-folder of the backup stays");
  EXPECT_EQ(NamesIn(s / "bak/ミミ_おやつ"), "");
  EXPECT_EQ(NamesIn(s / "bak/ソラ_送信フォルダ"), "");
  // The box file is never taken out of a backup: a repair can bring it back.
  EXPECT_EQ(NamesIn(s / "bak/ミミ_宝物"), "tzl001.pac|ミミ-gem.bmp");
  EXPECT_EQ(s.Read("bak/ミミ_宝物/ミミ-gem.bmp"), "ミミ gem, polished");
}

TEST(Backup, UncheckedItemsKeepTheirLastBackupButHostAndSharedCopiesAlwaysGo) {
  Scene s;
  s.PutThreePets();
  ASSERT_TRUE(s.Store().BackUp().ok());
  const Files first = s.Snapshot();
  for (const std::string prefix : {"ミミ_", "", "共有/"}) {
    s.Put(prefix + "おともだち帳", prefix + " friends, changed");
    s.Put(prefix + "おやつ/new.pac", "new snack");
  }
  s.Put("ミミ_PostPet設定.ppc", "ミミ settings, changed");
  ItemChoice items{};
  items[kSnacks] = true;
  ASSERT_TRUE(s.Store().BackUp(items).ok());
  EXPECT_EQ(s.Read("bak/ミミ_おともだち帳.bak"), At(first, "bak/ミミ_おともだち帳.bak"));
  EXPECT_EQ(s.Read("bak/ミミ_PostPet設定.ppc.bak"), "ミミ settings");
  EXPECT_TRUE(s.Exists("bak/ミミ_おやつ/new.pac"));
  EXPECT_EQ(s.Read("bak/おともだち帳.bak"), " friends, changed");
  EXPECT_EQ(s.Read("bak/共有/おともだち帳.bak"), "共有/ friends, changed");

  // All boxes off: nothing of any pet's own is copied.
  s.Put("ミミ_おやつ/newer.pac", "newer snack");
  s.Put("おやつ/newer.pac", "newer snack");
  ASSERT_TRUE(s.Store().BackUp(ItemChoice{}).ok());
  EXPECT_FALSE(s.Exists("bak/ミミ_おやつ/newer.pac"));
  EXPECT_TRUE(s.Exists("bak/おやつ/newer.pac"));
}

TEST(Backup, WithoutPetsOnlyTheHostAndTheSharedCopiesAreBackedUp) {
  Scene s;
  s.PutItems("", "host");
  const PetStore::BackupReport report = s.Store().BackUp();
  EXPECT_TRUE(report.ok());
  EXPECT_EQ(report.pets, 0);
  EXPECT_EQ(NamesIn(s / "bak"), Sorted({"おともだち帳.bak", "宝物", "受信フォルダ", "送信フォルダ", "おやつ", "共有"}));
  // No shared copies yet: their backups are there and empty.
  EXPECT_EQ(NamesIn(s / "bak/共有"), Sorted({"宝物", "受信フォルダ", "送信フォルダ", "おやつ"}));
  EXPECT_EQ(NamesIn(s / "bak/共有/受信フォルダ"), "");
}

TEST(Backup, UnknownFlagsBackUpEveryOwnCopyThereIsAndSaySo) {
  Scene s;
  s.PutThreePets();
  s.Put("ソラ_おともだち帳", "left from before she shared");
  s.Put("bak/ソラ_おやつ/old.pac", "an earlier backup");
  {
    FileOps ops;
    ScopedFileOps scope(ops);
    ops.FailReadsOf(s / "lupina3.dat", std::make_error_code(std::errc::permission_denied));
    const PetStore::BackupReport report = s.Store().BackUp();
    EXPECT_TRUE(report.ok());
    EXPECT_EQ(report.sharesUnknown.path, s / "lupina3.dat");
  }
  EXPECT_EQ(s.Read("bak/ソラ_おともだち帳.bak"), "left from before she shared");
  EXPECT_EQ(NamesIn(s / "bak/ソラ_おやつ"), "old.pac");  // not there: not emptied
  EXPECT_EQ(NamesIn(s / "bak/ソラ_受信フォルダ"), NamesIn(s / "ソラ_受信フォルダ"));

  s.Remove("lupina3.dat");
  const PetStore::BackupReport missing = s.Store().BackUp();
  EXPECT_TRUE(IsNotFound(missing.sharesUnknown.error));
  EXPECT_EQ(missing.sharesUnknown.action, Action::Read);
  EXPECT_EQ(missing.sharesUnknown.path, s / "lupina3.dat");
}

TEST(Backup, AFolderThatCannotBeListedIsAFailureAndTheRunGoesOn) {
  Scene s;
  s.PutThreePets();
  s.WriteCurrent("");
  ASSERT_TRUE(s.Store().BackUp().ok());
  s.Put("ミミ_受信フォルダ/0009.txt", "new");
  s.Put("クロ_おともだち帳", "クロ friends, changed");
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(s / "ミミ_受信フォルダ", std::make_error_code(std::errc::io_error));
  const PetStore::BackupReport report = s.Store().BackUp();
  ASSERT_EQ(report.failures.size(), 1u);
  EXPECT_EQ(report.failures[0].action, Action::List);
  EXPECT_EQ(report.failures[0].path, s / "ミミ_受信フォルダ");
  EXPECT_EQ(NamesIn(s / "bak/ミミ_受信フォルダ"), "0001.txt|ミミ-in.txt");  // the last backup stays
  EXPECT_EQ(s.Read("bak/クロ_おともだち帳.bak"), "クロ friends, changed");
}

TEST(Backup, TheCurrentPetNotSavedStopsTheRunBeforeAnythingIsCopied) {
  Scene s;
  s.PutThreePets();
  const Files before = s.Snapshot();
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(s / "ミミ_受信フォルダ", std::make_error_code(std::errc::io_error));
  const PetStore::BackupReport report = s.Store().BackUp();
  EXPECT_FALSE(report.ok());
  EXPECT_EQ(report.unsaved.path, s / "ミミ_受信フォルダ");
  EXPECT_TRUE(report.failures.empty());
  EXPECT_FALSE(s.Exists("bak"));
  EXPECT_EQ(s.CurrentOnDisk(), "ミミ");
  for (const auto& [path, bytes] : s.Snapshot()) EXPECT_EQ(bytes, At(before, path)) << path;
}

// One run on a copy of `model` with every operation journaled: the paths
// the operations touch (relative to the host folder) and the disk after.
struct DryRun {
  std::vector<fs::path> journal;
  Files after;
};
template <typename Run>
DryRun Journaled(const Scene& model, Run run) {
  Scene dry;
  dry.Clone(model);
  FileOps ops;
  ScopedFileOps scope(ops);
  run(dry);
  return {Relative(ops.Journal(), dry.D()), dry.Snapshot()};
}

// A realistic second backup: the first one taken, then mail came and went,
// a friend book and a snack changed, the shared treasures grew.
struct BackupRun : Scene {
  BackupRun() {
    PutThreePets();
    if (!Store().BackUp().ok()) throw std::runtime_error("first backup failed");
    Remove("ミミ_受信フォルダ/0001.txt");
    Put("ミミ_受信フォルダ/0002.txt", "ミミ second mail");
    Put("ミミ_おともだち帳", "ミミ friends, later");
    Put("ソラ_宝物/ソラ-gem.bmp", "ソラ gem, later");
    Remove("受信フォルダ/0001.txt");
    Put("おやつ/ミミ-cake.pac", "ミミ cake, half eaten");
    Put("共有/宝物/共有-crown.bmp", "crown");
  }
};

// The record of the generations is the history's own, not data.
Files WithoutHistory(const Files& files) { return Under(files, std::string(kHistoryFolderName) + "/", false); }

// Every file, of the backup and of the live data (which the current pet's
// save changes), holds what it held or what the whole run leaves; none that
// both have is lost.
void ExpectOldOrNewBackup(const Files& resultWithHistory, const Files& before, const Files& after) {
  const Files result = WithoutHistory(resultWithHistory);
  for (const auto& [path, bytes] : result)
    EXPECT_TRUE(bytes == At(before, path) || bytes == At(after, path)) << path << " is neither old nor new";
  for (const auto& [path, bytes] : WithoutHistory(before))
    if (!result.count(path)) {
      EXPECT_FALSE(after.count(path)) << path << " is lost";
    }
}

// The files of D\bak as generation `undone` has them, read the way the
// repair reads them: every path any of `seen` has under bak/.
Files Generation(const Scene& s, int undone, const std::vector<const Files*>& seen) {
  const BackupView view = BackupHistory(s.settings).View(undone);
  std::set<std::string> paths;
  for (const Files* files : seen)
    for (const auto& [path, bytes] : Under(*files, "bak/")) paths.insert(path);
  for (const auto& [path, bytes] : s.Snapshot()) {
    // A kept file stands at its path in D\bak below its run's "bak".
    const std::string history = std::string(kHistoryFolderName) + "/";
    if (path.rfind(history, 0) != 0) continue;
    const std::size_t kept = path.find("/bak/");
    if (kept != std::string::npos) paths.insert(path.substr(kept + 1));
  }
  Files out;
  for (const std::string& path : paths)
    if (const std::optional<fs::path> file = view.File(s / path)) out[path] = test::ReadBytes(*file);
  return out;
}

// The newest whole generation is `expected` (the backup of D\bak).
void ExpectNewestGeneration(const Scene& s, const Files& expected, const std::vector<const Files*>& seen) {
  const std::vector<BackupGeneration> generations = BackupHistory(s.settings).Generations();
  ASSERT_FALSE(generations.empty());
  const Files got = Generation(s, generations.front().undone, seen), want = Under(expected, "bak/");
  for (const auto& [p, b] : want)
    if (At(got, p) != b) ADD_FAILURE() << "generation differs at " << p << ": " << At(got, p);
  for (const auto& [p, b] : got)
    if (!want.count(p)) ADD_FAILURE() << "generation has more: " << p;
}

TEST(BackupFaults, AFailureAtAnyOperationLeavesEveryBackupFileOldOrNewAndIsReported) {
  const BackupRun model;
  const auto [journal, after] = Journaled(model, [](Scene& s) { EXPECT_TRUE(s.Store().BackUp().ok()); });
  const int total = static_cast<int>(journal.size());
  ASSERT_GT(total, 20);
  const Files before = model.Snapshot();
  for (int n = 1; n <= total; ++n) {
    SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
    Scene r;
    r.Clone(model);
    FileOps ops;
    ScopedFileOps scope(ops);
    ops.FailAt(n, std::make_error_code(std::errc::no_space_on_device));
    const PetStore::BackupReport report = r.Store().BackUp();
    if (!report.unsaved.ok() || !report.notStarted.ok()) {
      // The current pet's save, or the record of the run, failed: nothing
      // was backed up.
      EXPECT_TRUE(report.failures.empty());
      const OpResult& stop = report.unsaved.ok() ? report.notStarted : report.unsaved;
      EXPECT_EQ(stop.path.lexically_relative(r.D()), journal[n - 1]);
      EXPECT_EQ(Under(r.Snapshot(), "bak/"), Under(before, "bak/"));
    } else {
      ASSERT_EQ(report.failures.size(), 1u);
      EXPECT_EQ(report.failures[0].path.lexically_relative(r.D()), journal[n - 1]);
    }
    ExpectOldOrNewBackup(r.Snapshot(), before, after);
    // The last good backup is the newest whole generation still; once the
    // same run goes through, it is the one before the newest.
    const Files failed = r.Snapshot();
    ExpectNewestGeneration(r, before, {&before, &after, &failed});
    ASSERT_TRUE(r.Store().BackUp().ok());
    ExpectNewestGeneration(r, after, {&before, &after, &failed});
    EXPECT_EQ(Generation(r, BackupHistory(r.settings).Generations().at(1).undone, {&before, &after, &failed}),
              Under(before, "bak/"));
    if (::testing::Test::HasFailure()) return;
  }
}

// What `run` does to a copy of `model`, recorded as it reaches the disk,
// and the copy it was done on (AfterPowerCut reads its names).
struct Recorded {
  // A copy of `model` (whose files were `before`) as the power cut `cut`
  // during the recorded work leaves it.
  std::unique_ptr<Scene> Cut(const Scene& model, const Files& before, const test::PowerCut& cut) const {
    auto r = std::make_unique<Scene>();
    r->Clone(model);
    r->Restore(scene->AfterPowerCut(before, events, cut.after, cut.lost));
    return r;
  }
  std::unique_ptr<Scene> scene = std::make_unique<Scene>();
  std::vector<FileOps::DiskEvent> events;
  Files after;
};
template <typename Run>
Recorded Record(const Scene& model, Run run) {
  Recorded out;
  out.scene->Clone(model);
  FileOps::RecordDiskEvents(&out.events);
  run(*out.scene);
  FileOps::RecordDiskEvents(nullptr);
  out.after = out.scene->Snapshot();
  return out;
}

// The files of a snapshot without our temporary files (which a power cut
// leaves behind and the next piece of work sweeps).
Files WithoutTemps(const Files& files) {
  Files out;
  for (const auto& [path, bytes] : files)
    if (!IsTempName(NameText(U8Path(path)))) out[path] = bytes;
  return out;
}

// Power cuts during a backup (test::PowerCuts): every backup file old or
// new, the newest whole generation the backup before the run or the one it
// makes, and the next run makes the backup whole with the one before it kept.
TEST(BackupPowerCuts, APowerCutAnywhereInABackupLeavesEveryGenerationWhole) {
  const BackupRun model;
  const Files before = model.Snapshot();
  const Recorded dry = Record(model, [](Scene& s) { EXPECT_TRUE(s.Store().BackUp().ok()); });
  ASSERT_GT(dry.events.size(), 20u);
  const Files& after = dry.after;
  for (const test::PowerCut& cut : test::PowerCuts(dry.events)) {
    SCOPED_TRACE(cut.name);
    const std::unique_ptr<Scene> cutShort = dry.Cut(model, before, cut);
    Scene& r = *cutShort;
    const Files state = r.Snapshot();
    ExpectOldOrNewBackup(WithoutTemps(state), before, after);
    const std::vector<BackupGeneration> generations = BackupHistory(r.settings).Generations();
    ASSERT_FALSE(generations.empty());
    const Files newest = WithoutTemps(Generation(r, generations.front().undone, {&before, &after, &state}));
    EXPECT_TRUE(newest == Under(before, "bak/") || newest == Under(after, "bak/"));
    ASSERT_TRUE(r.Store().BackUp().ok());
    ExpectNewestGeneration(r, after, {&before, &after, &state});
    EXPECT_EQ(Generation(r, BackupHistory(r.settings).Generations().at(1).undone, {&before, &after, &state}),
              Under(before, "bak/"));
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(BackupFaults, ADiskFullFromAnyOperationOnLosesNothingAndNamesEveryFailure) {
  const BackupRun model;
  const auto [journal, after] = Journaled(model, [](Scene& s) { EXPECT_TRUE(s.Store().BackUp().ok()); });
  const Files before = model.Snapshot();
  const int total = static_cast<int>(journal.size());
  for (int n = 1; n <= total; n += 3) {
    SCOPED_TRACE("full from operation " + std::to_string(n));
    Scene r;
    r.Clone(model);
    FileOps ops;
    ScopedFileOps scope(ops);
    ops.FailAt(n, std::make_error_code(std::errc::no_space_on_device), true);
    const PetStore::BackupReport report = r.Store().BackUp();
    // Every operation from n on was tried and failed, or belongs to a
    // folder whose refresh had already stopped; a failed save of the
    // current pet stops the run at once.
    if (report.unsaved.ok() && report.notStarted.ok())
      EXPECT_EQ(static_cast<int>(report.failures.size()), ops.Count() - n + 1);
    else if (!report.unsaved.ok())
      EXPECT_EQ(ops.Count(), n);
    else  // the run's record, needed for a change, could not be made: the run stopped there
      EXPECT_EQ(PathText(report.notStarted.FailingPath().lexically_relative(r.D())).rfind(kHistoryFolderName, 0), 0u);
    ExpectOldOrNewBackup(r.Snapshot(), before, after);
    // As a run killed there: the last good backup is whole.
    const Files failed = r.Snapshot();
    ExpectNewestGeneration(r, before, {&before, &after, &failed});
    if (::testing::Test::HasFailure()) return;
  }
}

// ---- the repair ----------------------------------------------------------------------

// ソラ (shares her friend book and snacks) with a backup; クロ shares every
// kind, ミミ none. The host's own backup was taken while ミミ was current:
// it holds her data and must never reach ソラ or the shared copies.
struct RepairScene : Scene {
  RepairScene() {
    PutPet("ミミ");
    PutPet("ソラ");
    Remove("ソラ_おともだち帳");
    Remove("ソラ_おやつ");
    PutPet("クロ");
    PutItems("", "host");
    PutItems("共有/", "共有");
    Put("lupina3.dat", Cp932("\"ミミ\",0,0,0,0\r\n\"ソラ\",1,0,1,0\r\n\"クロ\",1,1,1,1\r\n"));
    // PutItems names files as the live copies; the backup's file items get ".bak".
    PutItems("bak/ソラ_", "ソラ backup");
    PutItems("bak/共有/", "shared backup");
    PutItems("bak/", "ミミ via the host backup");
    for (const std::string prefix : {"bak/ソラ_", "bak/共有/", "bak/"}) {
      Remove(prefix + "PostPet設定.ppc");
      Remove(prefix + "おともだち帳");
    }
    Remove("bak/ソラ_おやつ");
    Put("bak/ソラ_PostPet設定.ppc.bak", "ソラ settings backup");
    Put("bak/共有/おともだち帳.bak", "shared friends backup");
    Put("bak/おともだち帳.bak", "ミミ friends via the host backup");
    // The damage: ソラ's own mail and the shared friend book overwritten.
    Put("ソラ_受信フォルダ/0001.txt", "ミミ first mail");
    Put("共有/おともだち帳", "ミミ friends");
  }
};

TEST(Repair, ASharedKindGoesIntoTheHostCopyOnlyWhenTheHostHoldsTheSharedData) {
  const struct {
    const char* current;  // "-": no \lupina.dat, "?": unreadable
    bool hostRestored;
  } cases[] = {{"-", true}, {"", true}, {"ミミ", false}, {"クロ", true}, {"ソラ", true}, {"?", false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("current: ") + c.current);
    RepairScene s;
    if (std::string(c.current) == "-") {
      s.Remove("lupina.dat");
    } else if (std::string(c.current) == "?") {
      s.Put("lupina.dat", "\"unterminated");
    } else {
      s.WriteCurrent(c.current);
    }
    const Files before = s.Snapshot();
    const std::string current = s.CurrentOnDisk();
    const PetStore::RepairReport report = s.Store().Repair("ソラ", kSora, kEverything);
    ASSERT_TRUE(report.ok()) << report.failure.Describe();
    const bool herself = current == "ソラ";
    EXPECT_EQ(report.released, herself);
    EXPECT_EQ(s.CurrentOnDisk(), herself ? "-" : current);
    const Files disk = s.Snapshot();

    EXPECT_EQ(s.Read("ソラ_PostPet設定.ppc"), "ソラ settings backup");
    EXPECT_EQ(ItemOf(disk, "ソラ_受信フォルダ"), ItemOf(disk, "bak/ソラ_受信フォルダ"));
    EXPECT_EQ(ItemOf(disk, "ソラ_宝物"), ItemOf(disk, "bak/ソラ_宝物"));
    EXPECT_EQ(s.Read("共有/おともだち帳"), "shared friends backup");
    EXPECT_EQ(ItemOf(disk, "共有/おやつ"), ItemOf(disk, "bak/共有/おやつ"));
    EXPECT_EQ(s.Read("おともだち帳"), c.hostRestored ? "shared friends backup" : "host friends");
    EXPECT_EQ(ItemOf(disk, "おやつ"), c.hostRestored ? ItemOf(disk, "bak/共有/おやつ") : ItemOf(before, "おやつ"));
    // Kinds she keeps to herself never reach the host or the shared copies.
    for (const std::string item : {"受信フォルダ", "送信フォルダ", "宝物"}) {
      EXPECT_EQ(ItemOf(disk, item), ItemOf(before, item)) << item;
      EXPECT_EQ(ItemOf(disk, "共有/" + item), ItemOf(before, "共有/" + item)) << item;
    }
    // The host's backup (ミミ's data) went nowhere; nothing else changed.
    for (const auto& [path, bytes] : Under(disk, "bak/", false))
      EXPECT_EQ(bytes.find("via the host backup"), std::string::npos) << path;
    EXPECT_EQ(Under(disk, "bak/"), Under(before, "bak/"));
    EXPECT_EQ(Under(disk, "ミミ_"), Under(before, "ミミ_"));
    EXPECT_EQ(Under(disk, "クロ_"), Under(before, "クロ_"));
  }
}

TEST(Repair, TheCurrentPetIsPutAwayFirstAndNoLongerCurrentSoTheNextCallKeepsTheRepair) {
  Scene s;
  s.PutThreePets();
  ASSERT_TRUE(s.Store().BackUp().ok());
  s.Put("ミミ_おともだち帳", "ソラ friends");  // damaged
  ItemChoice items{};
  items[kFriendBook] = true;
  const PetStore::RepairReport report = s.Store().Repair("ミミ", kKeepsAll, items);
  ASSERT_TRUE(report.ok());
  EXPECT_TRUE(report.released);
  EXPECT_EQ(s.CurrentOnDisk(), "-");
  // The backup's friend book: her latest when it was taken (the backup
  // saved the host's first), over the damage.
  EXPECT_EQ(s.Read("ミミ_おともだち帳"), "ミミ friends, newest");
  // Everything else of the host's came home; the host copies are untouched.
  EXPECT_EQ(s.Read("ミミ_受信フォルダ/0003.txt"), "ミミ third mail, only in the host");
  EXPECT_EQ(s.Read("おともだち帳"), "ミミ friends, newest");
  // What the next call does first puts nothing over the repair.
  s.Put("おともだち帳", "ソラ friends");  // the host now holds someone else's
  ASSERT_TRUE(s.Store().SaveCurrent().ok());
  EXPECT_EQ(s.Read("ミミ_おともだち帳"), "ミミ friends, newest");
}

TEST(Repair, RightAfterABackupTheCurrentPetsMailOnlyTheHostHadIsKept) {
  Scene s;
  s.PutThreePets();  // ミミ is current; a mail of hers is only in the host
  ASSERT_TRUE(s.Store().BackUp().ok());
  ItemChoice items{};
  items[kSendReceiveLog] = true;
  ASSERT_TRUE(s.Store().Repair("ミミ", kKeepsAll, items).ok());
  EXPECT_EQ(s.Read("ミミ_受信フォルダ/0003.txt"), "ミミ third mail, only in the host");
}

TEST(Repair, AnEmptyBackupEmptiesButTheBoxStaysAndAMissingFileBackupLeavesTheFile) {
  Scene s;
  s.PutPet("ミミ");
  s.Put("lupina3.dat", Scene::Cp932("\"ミミ\",0,0,0,0\r\n"));
  fs::create_directories(s / "bak/ミミ_おやつ");
  s.Put("bak/ミミ_宝物/ミミ-gem.bmp", "ミミ gem, backed up");  // no box in the backup
  const PetStore store = s.Store();
  EXPECT_FALSE(store.HasBackupFor("ミミ", kKeepsAll, kFriendBook));
  EXPECT_TRUE(store.HasBackupFor("ミミ", kKeepsAll, kSnacks));
  // Shared, the snacks come from the shared backup, which is missing.
  EXPECT_FALSE(store.HasBackupFor("ミミ", {0, 0, 1, 0}, kSnacks));
  s.Put("bak/ミミ_受信フォルダ/0001.txt", "mail");
  EXPECT_FALSE(store.HasBackupFor("ミミ", kKeepsAll, kSendReceiveLog));  // the sent folder's is missing
  fs::create_directories(s / "bak/ミミ_送信フォルダ");
  EXPECT_TRUE(store.HasBackupFor("ミミ", kKeepsAll, kSendReceiveLog));

  ItemChoice items{};
  items[kFriendBook] = items[kSnacks] = items[kTreasureBox] = true;
  ASSERT_TRUE(store.Repair("ミミ", kKeepsAll, items).ok());
  EXPECT_EQ(NamesIn(s / "ミミ_おやつ"), "");
  EXPECT_EQ(NamesIn(s / "ミミ_宝物"), "tzl001.pac|ミミ-gem.bmp");
  EXPECT_EQ(s.Read("ミミ_宝物/ミミ-gem.bmp"), "ミミ gem, backed up");
  EXPECT_EQ(s.Read("ミミ_おともだち帳"), "ミミ friends");
}

// ミミ is current and shares her snacks with ソラ; her friend book was
// overwritten with ソラ's. The repair of all her items.
struct CurrentRepair : Scene {
  CurrentRepair() {
    PutThreePets();
    Put("lupina3.dat", Cp932("\"ミミ\",0,0,1,0\r\n\"ソラ\",1,0,1,0\r\n"));
    Remove("ミミ_おやつ");
    if (!Store().BackUp().ok()) throw std::runtime_error("backup failed");
    Put("ミミ_おともだち帳", "ソラ friends");
    Put("ミミ_受信フォルダ/0001.txt", "ソラ first mail");
    Put("おやつ/ミミ-cake.pac", "ミミ cake, newest");
  }
};

// A repair of ミミ cut short (`disk`, `current` as \lupina.dat names her):
// the backup and ソラ's copies untouched, every file as before, put away or
// repaired; while she is not released, the host's copies hers as before.
void ExpectARepairCutShort(const Files& disk, const std::string& current, const Files& before,
                           const Files& putAway, const Files& after) {
  EXPECT_EQ(Under(disk, "bak/"), Under(before, "bak/"));
  EXPECT_EQ(Under(disk, "ソラ_"), Under(before, "ソラ_"));
  std::set<std::string> paths;
  for (const Files* f : std::initializer_list<const Files*>{&before, &putAway, &after, &disk})
    for (const auto& [path, bytes] : *f) paths.insert(path);
  for (const std::string& path : paths) {
    const std::string now = At(disk, path);
    EXPECT_TRUE(now == At(before, path) || now == At(putAway, path) || now == At(after, path)) << path;
  }
  if (current == "ミミ") {
    // Not released yet: the host still holds her latest, nothing restored.
    EXPECT_EQ(HostItems(disk), HostItems(before));
    for (const auto& [path, bytes] : Under(disk, "ミミ_"))
      EXPECT_TRUE(bytes == At(before, path) || bytes == At(putAway, path)) << path;
  }
}

// The repair of all of ミミ's items, her share flags, the disk before it and
// with her data put away.
constexpr ShareFlags kRepairedMimi = {0, 0, 1, 0};
struct RepairCase {
  RepairCase() : before(model.Snapshot()), putAway(before) {
    test::ModelPutAway(putAway, "ミミ", kRepairedMimi);
    putAway.erase("lupina.dat");
  }
  const CurrentRepair model;
  const Files before;
  Files putAway;
};

TEST(RepairFaults, AFailureAtAnyOperationMixesNothingAndTheSameRepairThenCompletes) {
  const RepairCase c;
  const auto [journal, after] = Journaled(c.model, [&](Scene& s) {
    EXPECT_TRUE(s.Store().Repair("ミミ", kRepairedMimi, kEverything).ok());
  });
  EXPECT_EQ(At(after, "ミミ_おともだち帳"), "ミミ friends, newest");
  EXPECT_EQ(ItemOf(after, "おやつ"), ItemOf(after, "bak/共有/おやつ"));
  const int total = static_cast<int>(journal.size());
  for (int n = 1; n <= total; ++n) {
    SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
    Scene r;
    r.Clone(c.model);
    {
      FileOps ops;
      ScopedFileOps scope(ops);
      ops.FailAt(n, std::make_error_code(std::errc::io_error));
      const PetStore::RepairReport report = r.Store().Repair("ミミ", kRepairedMimi, kEverything);
      ASSERT_FALSE(report.ok());
      EXPECT_EQ(report.failure.path.lexically_relative(r.D()), journal[n - 1]);
    }
    ExpectARepairCutShort(r.Snapshot(), r.CurrentOnDisk(), c.before, c.putAway, after);
    // Run again, it completes as if nothing had failed.
    ASSERT_TRUE(r.Store().Repair("ミミ", kRepairedMimi, kEverything).ok());
    EXPECT_EQ(r.Snapshot(), after);
    if (::testing::Test::HasFailure()) return;
  }
}

// Power cuts during a repair of the current pet: no file of any pet's is
// other than before, put away or repaired, the backup untouched, and the same
// repair run again then ends as if nothing had happened.
TEST(RepairPowerCuts, APowerCutAnywhereInARepairMixesNothingAndTheRepairThenCompletes) {
  const RepairCase c;
  const Recorded dry = Record(c.model, [&](Scene& s) { EXPECT_TRUE(s.Store().Repair("ミミ", kRepairedMimi, kEverything).ok()); });
  const Files& after = dry.after;
  for (const test::PowerCut& cut : test::PowerCuts(dry.events)) {
    SCOPED_TRACE(cut.name);
    const std::unique_ptr<Scene> cutShort = dry.Cut(c.model, c.before, cut);
    Scene& r = *cutShort;
    ExpectARepairCutShort(WithoutTemps(r.Snapshot()), r.CurrentOnDisk(), c.before, c.putAway, after);
    ASSERT_TRUE(r.Store().Repair("ミミ", kRepairedMimi, kEverything).ok());
    EXPECT_EQ(r.Snapshot(), after);
    if (::testing::Test::HasFailure()) return;
  }
}

// ---- the deletion --------------------------------------------------------------------

TEST(Deletion, EveryCombinationOfBoxesTakesExactlyThoseItemsAndTheirBackups) {
  for (int mask = 0; mask < 16; ++mask) {
    SCOPED_TRACE("boxes " + std::to_string(mask));
    Scene s;
    s.PutThreePets();
    s.WriteCurrent("ソラ");
    ASSERT_TRUE(s.Store().BackUp().ok());
    const Files before = s.Snapshot();
    ItemChoice items{};
    for (int k = 0; k < 4; ++k) items[k] = (mask >> k) & 1;
    items[kPetFileChoice] = false;  // not looked at: the settings file always goes
    const PetStore::DeletionReport report = s.Store().DeletePet("ミミ", items);
    EXPECT_TRUE(report.failures.empty());
    EXPECT_FALSE(report.stillRegistered);
    EXPECT_FALSE(report.released);
    const Files disk = s.Snapshot();
    EXPECT_FALSE(s.Exists("ミミ_PostPet設定.ppc"));
    EXPECT_FALSE(s.Exists("bak/ミミ_PostPet設定.ppc.bak"));
    const struct {
      int kind;
      std::vector<std::string> names;
    } kinds[] = {{kFriendBook, {"おともだち帳", "おともだち帳.bak"}},
                 {kSendReceiveLog, {"受信フォルダ", "送信フォルダ"}},
                 {kSnacks, {"おやつ"}},
                 {kTreasureBox, {"宝物"}}};
    for (const auto& k : kinds)
      for (const std::string& name : k.names)
        for (const std::string prefix : {"ミミ_", "bak/ミミ_"}) {
          const std::string item = prefix + name;
          if (ItemOf(before, item).empty()) continue;  // not in that place
          EXPECT_EQ(s.Exists(item), !items[k.kind]) << item;
          if (!items[k.kind]) {
            EXPECT_EQ(ItemOf(disk, item), ItemOf(before, item)) << item;
          }
        }
    // Nothing of anyone else's, of the host or of the shared copies.
    const auto others = [](const Files& f) {
      Files out;
      for (const auto& [path, bytes] : f)
        if (path.find("ミミ_") == std::string::npos) out[path] = bytes;
      return out;
    };
    EXPECT_EQ(others(disk), others(before));
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(Deletion, AFolderWithASubFolderStaysEmptiedAndAMissingBackupIsNoFailure) {
  Scene s;
  s.PutPet("ミミ");
  s.Put("ミミ_受信フォルダ/sub/kept.txt", "in a sub-folder");
  s.Remove("ミミ_送信フォルダ");
  const PetStore store = s.Store();
  EXPECT_TRUE(store.HasOwnCopy("ミミ", kSendReceiveLog));
  EXPECT_TRUE(store.HasOwnCopy("ミミ", kFriendBook));
  const PetStore::DeletionReport report = store.DeletePet("ミミ", kEverything);
  EXPECT_TRUE(report.failures.empty());
  ASSERT_EQ(report.keptFolders.size(), 1u);
  EXPECT_EQ(report.keptFolders[0], s / "ミミ_受信フォルダ");
  EXPECT_EQ(NamesIn(s / "ミミ_受信フォルダ"), "sub");
  EXPECT_EQ(s.Read("ミミ_受信フォルダ/sub/kept.txt"), "in a sub-folder");
  EXPECT_FALSE(s.Exists("ミミ_宝物"));
  EXPECT_FALSE(s.Exists("bak"));

  // Only the received folder stands for the send/receive log.
  s.PutPet("ソラ");
  s.Remove("ソラ_受信フォルダ");
  EXPECT_FALSE(store.HasOwnCopy("ソラ", kSendReceiveLog));
  s.Remove("ソラ_おともだち帳");
  EXPECT_FALSE(store.HasOwnCopy("ソラ", kFriendBook));
}

TEST(Deletion, TheCurrentPetsHostDataIsPutAwayAndSheIsNoLongerCurrent) {
  Scene s;
  s.PutThreePets();
  s.Put("lupina3.dat", Scene::Cp932("\"ミミ\",0,0,1,0\r\n"));  // she shares her snacks
  s.Put("おやつ/ミミ-cake.pac", "ミミ cake, half eaten");
  const Files before = s.Snapshot();
  ItemChoice items{};
  items[kSendReceiveLog] = true;
  const PetStore::DeletionReport report = s.Store().DeletePet("ミミ", items);
  EXPECT_TRUE(report.failures.empty());
  EXPECT_TRUE(report.released);
  EXPECT_EQ(s.CurrentOnDisk(), "-");
  // The copy the deletion keeps holds her latest; the shared snacks too.
  EXPECT_EQ(s.Read("ミミ_おともだち帳"), "ミミ friends, newest");
  EXPECT_EQ(s.Read("共有/おやつ/ミミ-cake.pac"), "ミミ cake, half eaten");
  EXPECT_FALSE(s.Exists("ミミ_受信フォルダ"));
  EXPECT_EQ(HostItems(s.Snapshot()), HostItems(before));
}

TEST(DeletionFaults, AFailureAtAnyOperationIsReportedAndTouchesNoOneElse) {
  Scene model;
  model.PutThreePets();
  ASSERT_TRUE(model.Store().BackUp().ok());
  const Files before = model.Snapshot();
  Files putAway = before;
  test::ModelPutAway(putAway, "ミミ", kKeepsAll);
  const DryRun dry = Journaled(model, [](Scene& s) {
    EXPECT_TRUE(s.Store().DeletePet("ミミ", kEverything).failures.empty());
  });
  const std::vector<fs::path>& journal = dry.journal;
  const auto scene = [&model] {
    auto s = std::make_unique<Scene>();
    s->Clone(model);
    return s;
  };
  const int total = static_cast<int>(journal.size());
  for (int n = 1; n <= total; ++n) {
    SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
    auto s = scene();
    FileOps ops;
    ScopedFileOps scope(ops);
    ops.FailAt(n, std::make_error_code(std::errc::permission_denied));
    const PetStore::DeletionReport report = s->Store().DeletePet("ミミ", kEverything);
    ASSERT_EQ(report.failures.size(), 1u);
    EXPECT_EQ(report.failures[0].path.lexically_relative(s->D()), journal[n - 1]);
    const Files disk = s->Snapshot();
    EXPECT_EQ(report.stillRegistered, s->Exists("ミミ_PostPet設定.ppc"));
    for (const auto& [path, bytes] : disk)
      if (path.find("ミミ_") == std::string::npos && path != "lupina.dat") {
        EXPECT_TRUE(bytes == At(before, path) || bytes == At(putAway, path)) << path;
      }
    EXPECT_EQ(HostItems(disk), HostItems(before));
    if (report.stopped) {
      // Her data could not be put away: nothing deleted, she stays current.
      EXPECT_EQ(s->CurrentOnDisk(), "ミミ");
      EXPECT_TRUE(s->Exists("ミミ_PostPet設定.ppc"));
      EXPECT_TRUE(s->Exists("bak/ミミ_PostPet設定.ppc.bak"));
    } else {
      EXPECT_EQ(s->CurrentOnDisk(), "-");
      // What is left of hers is what the put-away saved.
      for (const auto& [path, bytes] : Under(disk, "ミミ_")) EXPECT_EQ(bytes, At(putAway, path)) << path;
    }
    if (::testing::Test::HasFailure()) return;
  }
}

}  // namespace
}  // namespace lup
