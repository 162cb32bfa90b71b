// Calls that fail or are cut off at every single file operation: the host's
// data is never deleted before it is saved, no pet's data is ever filed under
// another pet's name, no file is lost, and the host never runs on
// half-swapped data.
#include <gtest/gtest.h>

#include <set>
#include <system_error>

#include "core/fileops.h"
#include "core/listfiles.h"
#include "core/settings.h"
#include "base/text.h"
#include "launcher/call_pet.h"
#include "launcher/call_pet_fixture.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::Files;
using test::ItemOf;
using ui::Answer;

const std::vector<std::string> kPets = {"ミミ", "ポチ", "クロ"};
const ShareFlags kMimi{0, 0, 0, 0};
const ShareFlags kPochi{1, 0, 0, 1};
const ShareFlags kKuro{0, 1, 1, 0};

// Three pets with full copies, shared copies, the host holding ミミ's data
// with what she did while it ran; the settings stored as the launcher left
// them.
class Realistic : public test::CallPetFixture {
 public:
  Realistic() {
    for (const std::string& pet : kPets) PutPet(pet);
    PutItems("共有/", "shared");
    PutItems("", "ミミ");
    Put("おともだち帳", "ミミ friends, one more");
    Put("受信フォルダ/ミミ-new.txt", "ミミ new mail");
    Put("おやつ/ミミ-cake.pac", "ミミ cake, one piece eaten");
    Remove("受信フォルダ/0001.txt");
    AddRow("ミミ", kMimi);
    AddRow("ポチ", kPochi);
    AddRow("クロ", kKuro);
    SetCurrent("ミミ");
    EXPECT_TRUE(SaveSettings(settings, store).ok());
  }

  // The disk without the list file and without stray temporary files.
  Files Disk() const {
    Files out;
    for (auto& [path, bytes] : Snapshot()) {
      if (path == "lupina.dat" || IsTempName(NameText(U8Path(path)))) continue;
      out[path] = bytes;
    }
    return out;
  }
  Files HostItems() const {
    Files out;
    for (const char* item : {"PostPet設定.ppc", "おともだち帳", "宝物", "受信フォルダ", "送信フォルダ", "おやつ"})
      for (auto& [name, bytes] : ItemOf(Snapshot(), item)) out[std::string(item) + "/" + name] = bytes;
    return out;
  }
};

// The files of a pet's copies hold that pet's data only, the shared copies
// no pet's: checked over every file, stray temporary files included.
void ExpectNoPetDataUnderAnotherName(const Files& files) {
  for (const auto& [path, bytes] : files) {
    std::string owner;
    if (path.rfind("共有/", 0) == 0) {
      owner = "shared";
    } else {
      std::size_t underscore = path.find('_');
      std::size_t slash = path.find('/');
      if (underscore == std::string::npos || (slash != std::string::npos && slash < underscore))
        continue;  // host copies and the system's own files
      owner = path.substr(0, underscore);
    }
    for (const std::string& pet : kPets)
      if (pet != owner) {
        EXPECT_EQ(bytes.find(pet), std::string::npos) << path << " holds " << pet << "'s data";
      }
  }
}

struct DryRun {
  std::vector<FileOps::Record> journal;
  int clearAt = 0;  // the operation that empties \lupina.dat
};

DryRun CountOperations() {
  Realistic r;
  FileOps ops;
  ScopedFileOps scope(ops);
  EXPECT_EQ(r.CallByName("ポチ"), CallOutcome::HostStarted);
  DryRun out;
  out.journal = ops.Journal();
  for (std::size_t i = 0; i < out.journal.size(); ++i)
    if (out.journal[i].action == Action::Write && out.journal[i].path == CurrentPetFile(r.D())) {
      out.clearAt = static_cast<int>(i) + 1;
      break;
    }
  EXPECT_GT(out.clearAt, 5);
  EXPECT_GT(static_cast<int>(out.journal.size()), out.clearAt + 10);
  return out;
}

TEST(CallPetFaults, EveryFailingOperationStopsTheCallWithTheDataSafe) {
  const DryRun dry = CountOperations();
  const int total = static_cast<int>(dry.journal.size());
  for (int n = 1; n <= total; ++n) {
    SCOPED_TRACE("operation " + std::to_string(n) + " of " + std::to_string(total));
    Realistic r;
    const Files before = r.Disk();
    const Files hostBefore = r.HostItems();
    Files putAway = before;
    test::ModelPutAway(putAway, "ミミ", kMimi);
    const FileOps::Record& failing = dry.journal[static_cast<std::size_t>(n) - 1];
    r.ui.ExpectMessage(Answer::kOk)
        .Title("ルピナ・ヴィラ")
        .TextHas(PathText(failing.path))
        .TextHas("ディスクの空き容量");

    FileOps ops;
    ScopedFileOps scope(ops);
    ops.FailAt(n, std::make_error_code(std::errc::no_space_on_device));
    const CallOutcome outcome = r.CallByName("ポチ");

    EXPECT_TRUE(r.processes.started.empty());
    ExpectNoPetDataUnderAnotherName(r.Snapshot());
    if (n < dry.clearAt) {
      // The put-away failed: nothing deleted, ミミ still current.
      EXPECT_EQ(outcome, CallOutcome::PutAwayFailed);
      EXPECT_EQ(r.HostItems(), hostBefore);
      EXPECT_EQ(r.CurrentOnDisk(), "ミミ");
    } else if (n == dry.clearAt) {
      EXPECT_EQ(outcome, CallOutcome::BringInFailed);
      EXPECT_EQ(r.Disk(), putAway);
      EXPECT_EQ(r.CurrentOnDisk(), "ミミ");
    } else {
      // Everything of ミミ's is saved; the host copies belong to nobody.
      EXPECT_EQ(outcome, CallOutcome::BringInFailed);
      EXPECT_EQ(r.CurrentOnDisk(), "");
      for (const auto& [path, bytes] : putAway)
        if (path.rfind("ミミ_", 0) == 0 || path.rfind("共有/", 0) == 0) {
          EXPECT_EQ(r.Disk()[path], bytes) << path;
        }
    }
    if (::testing::Test::HasFailure()) break;
  }
}

// A launcher killed at operation N (every operation from N on fails, as if
// the process were gone), then started afresh to call クロ.
void KilledThenCalledAgain(FaultPoint point) {
  const DryRun dry = CountOperations();
  const int total = static_cast<int>(dry.journal.size());
  for (int n = 1; n <= total + 1; ++n) {
    SCOPED_TRACE("killed at operation " + std::to_string(n) + " of " + std::to_string(total));
    Realistic r;
    Files expected = r.Disk();
    test::ModelPutAway(expected, "ミミ", kMimi);
    test::ModelBringIn(expected, "クロ", kKuro);
    {
      FileOps ops;
      ScopedFileOps scope(ops);
      ops.FailAt(n, std::make_error_code(std::errc::io_error), true, point);
      if (n <= total) r.ui.ExpectMessage(Answer::kOk);
      r.CallByName("ポチ");
      r.ui.VerifyAllAnswered();
    }
    const std::size_t startsBefore = r.processes.started.size();
    EXPECT_EQ(startsBefore, n <= total ? 0u : 1u);

    // A fresh start of the launcher.
    LoadReport load = LoadSettings(r.store, r.D());
    ASSERT_FALSE(load.currentPetUnreadable);
    ASSERT_EQ(load.settings.hostFolder, r.D());
    r.settings = load.settings;
    EXPECT_EQ(r.CallByName("クロ"), CallOutcome::HostStarted);

    EXPECT_EQ(r.Disk(), expected);
    ExpectNoPetDataUnderAnotherName(r.Snapshot());
    EXPECT_EQ(r.CurrentOnDisk(), "クロ");
    EXPECT_EQ(r.processes.started.size(), startsBefore + 1);
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(CallPetFaults, ALauncherKilledAtAnyOperationNeverMixesOrLosesData) {
  KilledThenCalledAgain(FaultPoint::Start);
}

TEST(CallPetFaults, ALauncherKilledBeforeARenameLeavesOnlyWholeFiles) {
  KilledThenCalledAgain(FaultPoint::BeforeReplace);
}

// Power cuts during a call: after each thing that reached the disk, the
// state a power cut may leave (every change of names up to it kept in
// order; the data not yet flushed kept, or lost), then the launcher started
// afresh to call クロ. LUP_POWER_CUTS=all (make stress) also loses each
// unflushed write alone and random sets of them.
TEST(CallPetPowerCuts, APowerCutAnywhereInACallLeavesEveryPetsDataWholeForTheNextCall) {
  Realistic dry;
  const Files before = dry.Snapshot();
  std::vector<FileOps::DiskEvent> events;
  FileOps::RecordDiskEvents(&events);
  EXPECT_EQ(dry.CallByName("ポチ"), CallOutcome::HostStarted);
  FileOps::RecordDiskEvents(nullptr);
  ASSERT_GT(events.size(), 20u);
  for (const test::PowerCut& cut : test::PowerCuts(events)) {
    SCOPED_TRACE(cut.name);
    Realistic r;
    Files expected = r.Disk();
    test::ModelPutAway(expected, "ミミ", kMimi);
    test::ModelBringIn(expected, "クロ", kKuro);
    r.Restore(dry.AfterPowerCut(before, events, cut.after, cut.lost));
    LoadReport load = LoadSettings(r.store, r.D());
    ASSERT_FALSE(load.currentPetUnreadable);
    r.settings = load.settings;
    EXPECT_EQ(r.CallByName("クロ"), CallOutcome::HostStarted);
    r.ui.VerifyAllAnswered();
    EXPECT_EQ(r.Disk(), expected);
    ExpectNoPetDataUnderAnotherName(r.Snapshot());
    EXPECT_EQ(r.CurrentOnDisk(), "クロ");
    if (::testing::Test::HasFailure()) break;
  }
}

TEST(CallPetFaults, AFolderThatCannotBeMadeStopsThePutAway) {
  Realistic r;
  r.Remove("ミミ_おやつ");
  r.Put("ミミ_おやつ", "ミミ: a file where her snack folder should be");
  const Files hostBefore = r.HostItems();
  r.ui.ExpectMessage(Answer::kOk)
      .TextHas("ミミのデータを保存できなかったため、呼び出しを中止します")
      .TextHas(PathText(r.At("ミミ_おやつ")))
      .With(ui::Icon::kCritical);
  EXPECT_EQ(r.CallByName("ポチ"), CallOutcome::PutAwayFailed);
  EXPECT_EQ(r.HostItems(), hostBefore);
  EXPECT_EQ(r.CurrentOnDisk(), "ミミ");
  EXPECT_TRUE(r.processes.started.empty());
}

TEST(CallPetFaults, EveryChangeOnDiskGoesThroughTheAtomicFunnel) {
  Realistic r;
  const Files before = r.Snapshot();
  FileOps ops;
  ScopedFileOps scope(ops);
  ASSERT_EQ(r.CallByName("ポチ"), CallOutcome::HostStarted);
  const Files after = r.Snapshot();
  std::set<std::string> touched;
  for (const FileOps::Record& rec : ops.Journal()) {
    for (const fs::path& p : {rec.path, rec.other})
      if (!p.empty()) touched.insert(PathText(p.lexically_relative(r.D()).generic_u8string()));
  }
  for (const auto& [path, bytes] : after) {
    auto old = before.find(path);
    if (old == before.end() || old->second != bytes) {
      EXPECT_TRUE(touched.count(path)) << path << " changed outside the funnel";
    }
  }
  for (const auto& [path, bytes] : before)
    if (!after.count(path)) {
      EXPECT_TRUE(touched.count(path)) << path << " vanished outside the funnel";
    }
}

}  // namespace
}  // namespace lup
