// The pet store's operations for the utility, on a real host folder. The
// flows around them (questions, messages) are tested with the utility's
// windows (utility/*_test.cpp).
#include <gtest/gtest.h>

#include <system_error>

#include "base/text.h"
#include "core/fileops.h"
#include "core/petstore.h"
#include "tests/support/host_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::HostFolder;
using test::NamesIn;

class UtilityStoreTest : public ::testing::Test, public HostFolder {
 protected:
  UtilityStoreTest() {
    settings.hostFolder = D();
    settings.MakeHostPaths();
  }
  PetStore Store() const { return PetStore(settings); }
  fs::path src() const { return At("src"); }
  Settings settings;
};

TEST_F(UtilityStoreTest, TheSetAsideFileIsNeverReplacedNorReplacesTheHostFile) {
  EXPECT_TRUE(Store().SetAsideHostPetFile().ok());  // nothing to set aside
  EXPECT_TRUE(Store().GiveBackHostPetFile().ok());  // nothing to give back
  Put("PostPet設定.ppc", "current pet");
  ASSERT_TRUE(Store().SetAsideHostPetFile().ok());
  EXPECT_EQ(Read("PostPet設定.ppcbak"), "current pet");
  EXPECT_FALSE(Exists("PostPet設定.ppc"));

  // The host made a new pet: neither file may go.
  Put("PostPet設定.ppc", "new pet");
  EXPECT_EQ(Store().SetAsideHostPetFile().error, MakeError(CoreError::AlreadyExists));
  EXPECT_EQ(Store().GiveBackHostPetFile().error, MakeError(CoreError::AlreadyExists));
  EXPECT_EQ(Read("PostPet設定.ppc"), "new pet");
  EXPECT_EQ(Read("PostPet設定.ppcbak"), "current pet");

  Remove("PostPet設定.ppc");
  ASSERT_TRUE(Store().GiveBackHostPetFile().ok());
  EXPECT_EQ(Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(Exists("PostPet設定.ppcbak"));
}

TEST_F(UtilityStoreTest, RegisteringWritesTheSettingsFileThenItsBackup) {
  Put("elsewhere/PostPet設定.ppc", "ソラ's settings");
  const PetStore::Registration r = Store().RegisterPet("ソラ", At("elsewhere/PostPet設定.ppc"));
  ASSERT_TRUE(r.ok());
  EXPECT_TRUE(Store().IsRegistered("ソラ"));
  EXPECT_EQ(Read("ソラ_PostPet設定.ppc"), "ソラ's settings");
  EXPECT_EQ(Read("bak/ソラ_PostPet設定.ppc.bak"), "ソラ's settings");

  // A missing source registers nothing.
  const PetStore::Registration missing = Store().RegisterPet("クロ", At("nowhere/PostPet設定.ppc"));
  EXPECT_FALSE(missing.petFile.ok());
  EXPECT_FALSE(Store().IsRegistered("クロ"));
  EXPECT_FALSE(Exists("bak/クロ_PostPet設定.ppc.bak"));
}

TEST_F(UtilityStoreTest, AFailedBackupLeavesThePetRegisteredAndNamesTheBackup) {
  Put("PostPet設定.ppc", "new pet");
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(3, std::make_error_code(std::errc::no_space_on_device));  // copy, bak folder, backup
  const PetStore::Registration r = Store().RegisterPet("ミミ", At("PostPet設定.ppc"));
  EXPECT_TRUE(r.petFile.ok());
  ASSERT_FALSE(r.backup.ok());
  EXPECT_EQ(r.backup.FailingPath(), At("bak/ミミ_PostPet設定.ppc.bak"));
  EXPECT_TRUE(Store().IsRegistered("ミミ"));
  EXPECT_EQ(NamesIn(At("bak")), "");
}

TEST_F(UtilityStoreTest, TakeOverCopiesWhatIsThereAndNeverTouchesAnOwnCopy) {
  Put("src/PostPet設定.ppc", "pet");
  Put("src/おともだち帳", "friends");
  Put("src/受信フォルダ/a.txt", "mail");
  Put("src/受信フォルダ/sub/deep.txt", "not taken");
  Put("ミミ_おやつ/own.pac", "own snack");
  Put("src/おやつ/other.pac", "other snack");
  const fs::path src = At("src");

  auto friends = Store().TakeOverKind("ミミ", kFriendBook, src);
  ASSERT_EQ(friends.size(), 1u);
  EXPECT_EQ(friends[0].end, PetStore::TakeOverEnd::kCopied);
  EXPECT_EQ(Read("ミミ_おともだち帳"), "friends");

  // Only the received folder exists: it is copied, the sent one is missing.
  auto log = Store().TakeOverKind("ミミ", kSendReceiveLog, src);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].item, Item::kReceived);
  EXPECT_EQ(log[0].end, PetStore::TakeOverEnd::kCopied);
  EXPECT_EQ(log[1].item, Item::kSent);
  EXPECT_EQ(log[1].end, PetStore::TakeOverEnd::kSourceMissing);
  EXPECT_EQ(log[1].path, At("src/送信フォルダ"));
  EXPECT_EQ(NamesIn(At("ミミ_受信フォルダ")), "a.txt");
  EXPECT_FALSE(Exists("ミミ_送信フォルダ"));

  auto snacks = Store().TakeOverKind("ミミ", kSnacks, src);
  ASSERT_EQ(snacks.size(), 1u);
  EXPECT_EQ(snacks[0].end, PetStore::TakeOverEnd::kAlreadyThere);
  EXPECT_EQ(snacks[0].path, At("ミミ_おやつ"));
  EXPECT_EQ(NamesIn(At("ミミ_おやつ")), "own.pac");

  // An empty source folder still gives the pet its folder.
  Put("src/宝物/.keep-out", "");
  Remove("src/宝物/.keep-out");
  auto treasure = Store().TakeOverKind("ミミ", kTreasureBox, src);
  EXPECT_EQ(treasure.at(0).end, PetStore::TakeOverEnd::kCopied);
  EXPECT_TRUE(fs::is_directory(At("ミミ_宝物")));
}

TEST_F(UtilityStoreTest, AFileUnderTheNameOfAnOwnFolderCountsAsTheOwnCopyAndStays) {
  Put("src/受信フォルダ/a.txt", "mail");
  Put("ミミ_受信フォルダ", "a file, not a folder");
  auto log = Store().TakeOverKind("ミミ", kSendReceiveLog, src());
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].end, PetStore::TakeOverEnd::kAlreadyThere);
  EXPECT_EQ(log[0].path, At("ミミ_受信フォルダ"));
  EXPECT_EQ(Read("ミミ_受信フォルダ"), "a file, not a folder");
}

TEST_F(UtilityStoreTest, AFailedTakeOverNamesTheFile) {
  Put("src/受信フォルダ/a.txt", "mail");
  Put("src/送信フォルダ/b.txt", "sent");
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(2, std::make_error_code(std::errc::permission_denied));  // the first mail's copy
  auto log = Store().TakeOverKind("ミミ", kSendReceiveLog, At("src"));
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].end, PetStore::TakeOverEnd::kFailed);
  EXPECT_EQ(log[0].failure.FailingPath(), At("ミミ_受信フォルダ/a.txt"));
  EXPECT_EQ(log[1].end, PetStore::TakeOverEnd::kCopied);
}

TEST_F(UtilityStoreTest, APetWithoutARecordSharesNothing) {
  Put("lupina3.dat", HostFolder::Cp932("\"ソラ\",1,1,1,1\r\n\"ミミ\",0,1,0,1\r\n\"ミミ\",1,1,1,1\r\n"));
  EXPECT_EQ(Store().ReadFlags("ミミ").flags, (ShareFlags{0, 1, 0, 1}));  // the first record counts
  const PetStore::FlagsRead other = Store().ReadFlags("クロ");
  EXPECT_TRUE(other.error.ok());
  EXPECT_EQ(other.flags, (ShareFlags{0, 0, 0, 0}));  // not the last line's flags
  Remove("lupina3.dat");
  const PetStore::FlagsRead missing = Store().ReadFlags("ミミ");
  EXPECT_EQ(missing.error.path, At("lupina3.dat"));
  EXPECT_EQ(missing.error.action, Action::Read);
  EXPECT_TRUE(IsNotFound(missing.error.error));
}

TEST_F(UtilityStoreTest, BackedUpPetsAreThoseWithABackupOfTheirSettingsFile) {
  Put("bak/ミミ_PostPet設定.ppc.bak", "x");
  Put("bak/A_B_PostPet設定.ppc.bak", "x");
  Put("bak/PostPet設定.ppc.bak", "the host's: no pet");
  Put("bak/ソラ_おともだち帳.bak", "not a settings file");
  Put("ソラ_PostPet設定.ppc", "registered, never backed up");
  std::vector<std::string> pets;
  ASSERT_TRUE(Store().BackedUpPetNames(&pets).ok());
  EXPECT_EQ(pets, (std::vector<std::string>{"A", "ミミ"}));
}

}  // namespace
}  // namespace lup
