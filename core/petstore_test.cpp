// The pet store's own rules, on a real host folder. Putting away and bringing
// in are tested through the call of a pet (launcher/call_pet_*_test.cpp).
#include "core/petstore.h"

#include <gtest/gtest.h>

#include <system_error>

#include "base/text.h"
#include "core/fileops.h"
#include "tests/support/host_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::HostFolder;
using test::NamesIn;

class PetStoreTest : public ::testing::Test, public HostFolder {
 protected:
  PetStoreTest() {
    settings.hostFolder = D();
    settings.MakeHostPaths();
  }
  PetStore Store() const { return PetStore(settings); }
  Settings settings;
};

// ---- the folder mirror ------------------------------------------------------------

TEST_F(PetStoreTest, AMirrorHoldsExactlyTheSourceFilesAndLeavesSubFoldersAlone) {
  Put("from/a.txt", "new a");
  Put("from/b.txt", "new b");
  Put("from/sub/deep.txt", "not copied");
  Put("from/~lupina-tmp-0123456789abcdef.tmp", "a killed program's leftover");
  Put("from/~lup1a2b.tmp", "a user's file that looks like an old temporary name");
  Put("to/a.txt", "old a");
  Put("to/gone.txt", "removed");
  Put("to/keep/inner.txt", "stays");
  // Swept by the first copy into the folder, before the mirror's own turn.
  Put("to/~lupina-tmp-fedcba9876543210.tmp", "left in the target by a killed run");
  ASSERT_TRUE(MirrorFolder(At("from"), At("to")).ok());
  EXPECT_EQ(NamesIn(At("to")), "a.txt|b.txt|keep|~lup1a2b.tmp");
  EXPECT_EQ(Read("to/a.txt"), "new a");
  EXPECT_EQ(Read("to/keep/inner.txt"), "stays");
}

// In a batch (a put-away, a backup) the leftover is swept by the first copy
// into the folder as well, and its removal after the copies finds it gone.
TEST_F(PetStoreTest, ABatchedMirrorTakesALeftoverTemporaryFileSweptMeanwhileAsGone) {
  Put("from/a.txt", "new a");
  Put("to/gone.txt", "removed");
  Put("to/~lupina-tmp-0011223344556677.tmp", "left in the target by a killed run");
  CopyBatch batch;
  ASSERT_TRUE(MirrorFolder(At("from"), At("to"), "", &batch).ok());
  const OpResult committed = batch.Commit();
  ASSERT_TRUE(committed.ok()) << committed.Describe();
  EXPECT_EQ(NamesIn(At("to")), "a.txt");
}

TEST_F(PetStoreTest, AMirrorTakesNamesThatDifferInLetterCaseForTheSameFile) {
  // On Windows these are one file: removing "A.TXT" after copying "a.txt"
  // would remove the copy itself.
  Put("from/a.txt", "new");
  Put("to/A.TXT", "old, the same file for Windows");
  ASSERT_TRUE(MirrorFolder(At("from"), At("to")).ok());
  EXPECT_TRUE(Exists("to/A.TXT"));
}

TEST_F(PetStoreTest, AMirrorThatFailsToCopyRemovesNothing) {
  Put("from/a.txt", "new a");
  Put("from/b.txt", "new b");
  Put("to/old.txt", "the last good copy");
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(2, std::make_error_code(std::errc::no_space_on_device));
  const OpResult r = MirrorFolder(At("from"), At("to"));
  EXPECT_FALSE(r.ok());
  EXPECT_EQ(r.FailingPath(), At("to/b.txt"));
  EXPECT_EQ(Read("to/old.txt"), "the last good copy");
}

TEST_F(PetStoreTest, AMissingOrEmptySourceEmptiesTheTargetButMakesNoFolder) {
  Put("to/old.txt", "old");
  ASSERT_TRUE(MirrorFolder(At("nothing"), At("to")).ok());
  EXPECT_EQ(NamesIn(At("to")), "");
  ASSERT_TRUE(MirrorFolder(At("nothing"), At("not there")).ok());
  EXPECT_FALSE(Exists("not there"));
}

// ---- pets, flags and marks ----------------------------------------------------------

TEST_F(PetStoreTest, PetsComeWithTheFlagsOfTheirFirstRecordAndNoneWithout) {
  AddPet("ミミ");
  AddPet("ソラ");
  Put("lupina3.dat", Cp932("\"ミミ\",1,0,1,0\r\n\"ミミ\",0,0,0,0\r\n\"クロ\",1,1,1,1\r\n"));
  const PetsRead read = Store().ReadPets();
  ASSERT_TRUE(read.error.ok());
  EXPECT_EQ(read.pets, (std::vector<Pet>{{"ソラ", {0, 0, 0, 0}}, {"ミミ", {1, 0, 1, 0}}}));
}

TEST_F(PetStoreTest, TheRebuiltShareListTakesTheTextBeforeTheFirstUnderscore) {
  AddPet("A_B");
  AddPet("");
  Put("PostPet設定.ppc", "the host's own");
  Put("CPostPet設定.ppc", "no underscore: no pet");
  ASSERT_TRUE(Store().RebuildShares().ok());
  // In listing order: "A_B_..." before "_...".
  EXPECT_EQ(Read("lupina3.dat"), "\"A\",0,0,0,0\r\n\"\",0,0,0,0\r\n");
}

TEST_F(PetStoreTest, SavedFlagsAreReadBackInOrder) {
  AddPet("ミミ");
  AddPet("ソラ");
  const std::vector<Pet> pets{{"ミミ", {0, 1, 0, 1}}, {"ソラ", {1, 1, 1, 1}}};
  ASSERT_TRUE(Store().SaveShares(pets).ok());
  EXPECT_EQ(Read("lupina3.dat"), Cp932("\"ミミ\",0,1,0,1\r\n\"ソラ\",1,1,1,1\r\n"));
}

TEST(SharesItem, EachItemFollowsTheFlagOfItsKindAndThePetFileNone) {
  const ShareFlags everything{1, 1, 1, 1};
  EXPECT_FALSE(SharesItem(everything, Item::kPetFile));
  // Any value but 0 shares; both logs follow the one send/receive flag.
  const ShareFlags logsOnly{0, -1, 0, 0};
  EXPECT_TRUE(SharesItem(logsOnly, Item::kReceived));
  EXPECT_TRUE(SharesItem(logsOnly, Item::kSent));
  EXPECT_FALSE(SharesItem(logsOnly, Item::kFriendBook));
  EXPECT_FALSE(SharesItem(logsOnly, Item::kSnacks));
  EXPECT_FALSE(SharesItem(logsOnly, Item::kTreasure));
  EXPECT_TRUE(SharesItem(ShareFlags{1, 0, 0, 0}, Item::kFriendBook));
  EXPECT_TRUE(SharesItem(ShareFlags{0, 0, 2, 0}, Item::kSnacks));
  EXPECT_TRUE(SharesItem(ShareFlags{0, 0, 0, 1}, Item::kTreasure));
  EXPECT_FALSE(SharesItem(ShareFlags{0, 1, 1, 1}, Item::kFriendBook));
}

TEST_F(PetStoreTest, OnlyATrueFirstMarkMeansThePatchedHost) {
  EXPECT_FALSE(Store().UsesPatchedHost("ノクタ"));
  ASSERT_TRUE(Store().SavePatchedMarks({{"ノクタ", true, true}, {"ミミ", true, false}}).ok());
  EXPECT_TRUE(Store().UsesPatchedHost("ノクタ"));
  EXPECT_FALSE(Store().UsesPatchedHost("ミミ"));
  EXPECT_FALSE(Store().UsesPatchedHost("ソラ"));
  ASSERT_TRUE(Store().ForgetPatchedMarks().ok());
  EXPECT_FALSE(Exists("lupina2.dat"));
  EXPECT_TRUE(Store().ForgetPatchedMarks().ok());  // nothing left to forget
}

TEST_F(PetStoreTest, TheLiveSnacksBelongToTheCurrentPetOrTheSharedFolder) {
  EXPECT_EQ(ReadLiveSnackOwner(D()).state, LiveSnackOwner::State::kNobody);
  WriteCurrent("ミミ");
  Put("lupina3.dat", Cp932("\"ミミ\",0,0,1,0\r\n"));
  LiveSnackOwner owner = ReadLiveSnackOwner(D());
  EXPECT_EQ(owner.state, LiveSnackOwner::State::kPet);
  EXPECT_EQ(owner.pet, "ミミ");
  EXPECT_TRUE(owner.shared);
  Put("lupina3.dat", "");
  EXPECT_FALSE(ReadLiveSnackOwner(D()).shared);  // no record: her own snacks
  Put("lupina.dat", "\"unterminated");
  EXPECT_EQ(ReadLiveSnackOwner(D()).state, LiveSnackOwner::State::kCurrentUnknown);
}

TEST_F(PetStoreTest, PreparedSharedCopiesLeaveANameTakenByAFileAsItIs) {
  Put("受信フォルダ/m.txt", "mail");
  Put("送信フォルダ/s.txt", "sent");
  Put("共有/受信フォルダ", "a file, not a folder");
  const std::vector<OpResult> failures = Store().PrepareSharedCopies();
  EXPECT_TRUE(failures.empty()) << failures.front().Describe();
  EXPECT_EQ(Read("共有/受信フォルダ"), "a file, not a folder");
  EXPECT_EQ(NamesIn(At("共有/送信フォルダ")), "s.txt");
}

// ---- the backup layout and box recovery ------------------------------------------------

TEST_F(PetStoreTest, TheBackupLayoutAddsBakToFilesOnly) {
  const BackupLayout bak(settings);
  EXPECT_EQ(bak.Folder(), At("bak"));
  EXPECT_EQ(bak.SharedFolder(), At("bak/共有"));
  EXPECT_EQ(bak.OfPet("ミミ", Item::kPetFile), At("bak/ミミ_PostPet設定.ppc.bak"));
  EXPECT_EQ(bak.OfPet("ミミ", Item::kFriendBook), At("bak/ミミ_おともだち帳.bak"));
  EXPECT_EQ(bak.OfPet("ミミ", Item::kReceived), At("bak/ミミ_受信フォルダ"));
  EXPECT_EQ(bak.OfHost(Item::kFriendBook), At("bak/おともだち帳.bak"));
  EXPECT_EQ(bak.OfHost(Item::kTreasure), At("bak/宝物"));
  EXPECT_EQ(bak.OfShared(Item::kSnacks), At("bak/共有/おやつ"));
  EXPECT_EQ(bak.OfShared(Item::kFriendBook), At("bak/共有/おともだち帳.bak"));
}

class ChooseOnly final : public StoreQuestions {
 public:
  explicit ChooseOnly(std::optional<fs::path> answer) : answer_(std::move(answer)) {}
  void PetFileWillBeMade(std::string_view) override { ADD_FAILURE() << "not told here"; }
  bool MakeItemNew(std::string_view, std::string_view, bool) override {
    ADD_FAILURE() << "not asked here";
    return false;
  }
  std::optional<fs::path> ChooseBoxSource(const fs::path& folder) override {
    asked = folder;
    return answer_;
  }
  fs::path asked;

 private:
  std::optional<fs::path> answer_;
};

TEST_F(PetStoreTest, ARecoveredBoxIsCopiedIntoItsFolderMadeIfNeededAndReset) {
  Put("ソラ_宝物/tzl001.pac", test::BoxBytes("ソラ"));
  ChooseOnly chosen(At("ソラ_宝物/tzl001.pac"));
  const std::optional<OpResult> r = Store().RecoverBox(At("ミミ_宝物"), chosen);
  ASSERT_TRUE(r && r->ok());
  EXPECT_EQ(chosen.asked, At("ミミ_宝物"));
  EXPECT_EQ(Read("ミミ_宝物/tzl001.pac"), test::BoxBytesReset("ソラ"));
  EXPECT_EQ(Read("ソラ_宝物/tzl001.pac"), test::BoxBytes("ソラ"));  // the source stays

  ChooseOnly none(std::nullopt);
  EXPECT_FALSE(Store().RecoverBox(At("クロ_宝物"), none).has_value());
  EXPECT_FALSE(Exists("クロ_宝物"));
}

}  // namespace
}  // namespace lup
