// Calling a pet on a real temporary host folder, headless: the copies of the
// host, the pets and the shared folder are compared byte for byte afterwards.
#include "launcher/call_pet.h"

#include <gtest/gtest.h>

#include "core/fileops.h"
#include "core/listfiles.h"
#include "core/pets.h"
#include "base/text.h"
#include "launcher/call_pet_fixture.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::CallPetFixture;
using test::Files;
using test::ItemOf;
using test::ModelBringIn;
using test::ModelPutAway;
using ui::Answer;

constexpr ShareFlags kPerPet{0, 0, 0, 0};
constexpr ShareFlags kAllShared{1, 1, 1, 1};

// Two registered pets with full copies, the host holding ミミ's data as she
// left it (one mail more, one mail fewer, a changed friend book), the shared
// copies full.
class CallPetTest : public ::testing::Test, public CallPetFixture {
 protected:
  void Prepare(ShareFlags mimi, ShareFlags pochi) {
    PutPet("ミミ");
    PutPet("ポチ");
    PutItems("共有/", "shared");
    PutItems("", "ミミ");
    Put("おともだち帳", "ミミ friends, one more");
    Put("受信フォルダ/ミミ-new.txt", "ミミ new mail");
    Remove("受信フォルダ/0001.txt");  // deleted in the host while it ran
    AddRow("ミミ", mimi);
    AddRow("ポチ", pochi);
    SetCurrent("ミミ");
  }
  void ExpectStartedOnce(const fs::path& exe, const std::string& arguments = "") {
    ASSERT_EQ(processes.started.size(), 1u);
    EXPECT_EQ(processes.started[0].program, exe);
    EXPECT_EQ(processes.started[0].arguments, arguments);
    EXPECT_EQ(processes.started[0].workingFolder, D());
    EXPECT_EQ(processes.started[0].show, ShowState::NormalFocus);
  }
  // The disk without \lupina.dat (checked on its own).
  Files Disk() const {
    Files f = Snapshot();
    f.erase("lupina.dat");
    return f;
  }
};

// ---- the whole road ---------------------------------------------------------

struct FlagCase {
  ShareFlags mimi, pochi;
};

class CallPetFlagsTest : public CallPetTest, public ::testing::WithParamInterface<FlagCase> {};

TEST_P(CallPetFlagsTest, PutsTheHostDataAwayAndBringsTheCalledPetsCopiesIn) {
  Prepare(GetParam().mimi, GetParam().pochi);
  Files model = Disk();
  ModelPutAway(model, "ミミ", GetParam().mimi);
  ModelBringIn(model, "ポチ", GetParam().pochi);

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);

  EXPECT_EQ(Disk(), model);
  EXPECT_EQ(CurrentOnDisk(), "ポチ");
  EXPECT_EQ(settings.currentPetName, "ポチ");
  EXPECT_TRUE(ui.messages().empty());
  ExpectStartedOnce(D() / U8Path("PostPet20.exe"));
  EXPECT_EQ(store.values().at("pp_dir"), PathText(D()));
  EXPECT_EQ(store.values().at("ppc_name"), "PostPet設定.ppc");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, CallPetFlagsTest,
    ::testing::Values(FlagCase{kPerPet, kPerPet}, FlagCase{kAllShared, kAllShared},
                      FlagCase{kPerPet, kAllShared}, FlagCase{kAllShared, kPerPet},
                      FlagCase{{1, 0, 1, 0}, {0, 1, 0, 1}}, FlagCase{{0, 1, 0, 1}, {1, 0, 1, 0}}));

TEST_F(CallPetTest, TheModelSeesTheEdgeCasesOfThePutAway) {
  // Spelled out once, so that the model above is not the only witness.
  Prepare(kPerPet, kPerPet);
  ASSERT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  Files disk = Disk();
  // The mail the host deleted is gone from ミミ's copy too; the new one was added.
  EXPECT_EQ(disk.count("ミミ_受信フォルダ/0001.txt"), 0u);
  EXPECT_EQ(disk.at("ミミ_受信フォルダ/ミミ-new.txt"), "ミミ new mail");
  EXPECT_EQ(disk.at("ミミ_おともだち帳"), "ミミ friends, one more");
  // The host holds ポチ's data and nothing of ミミ's.
  EXPECT_EQ(ItemOf(disk, "受信フォルダ"), ItemOf(disk, "ポチ_受信フォルダ"));
  EXPECT_EQ(disk.count("受信フォルダ/ミミ-new.txt"), 0u);
  EXPECT_EQ(disk.at("受信フォルダ/0001.txt"), "ポチ first mail");
  EXPECT_EQ(disk.at("PostPet設定.ppc"), "ポチ settings");
  EXPECT_EQ(disk.at("宝物/tzl001.pac"), test::BoxBytes("ポチ"));
}

TEST_F(CallPetTest, CallingTheCurrentPetCopiesNothingAndStartsTheHost) {
  Prepare(kPerPet, kPerPet);
  Files before = Disk();
  FileOps ops;
  ScopedFileOps scope(ops);
  EXPECT_EQ(CallByName("ミミ"), CallOutcome::HostStarted);
  EXPECT_EQ(Disk(), before);
  // The only change is SaveSettings rewriting \lupina.dat.
  ASSERT_EQ(ops.Journal().size(), 1u);
  EXPECT_EQ(ops.Journal()[0].action, Action::Write);
  EXPECT_EQ(CurrentOnDisk(), "ミミ");
  ExpectStartedOnce(D() / U8Path("PostPet20.exe"));
}

TEST_F(CallPetTest, WithNoCurrentPetNothingIsPutAwayAndTheHostDataIsReplaced) {
  Prepare(kPerPet, kPerPet);
  SetCurrent("");
  Files model = Disk();
  ModelBringIn(model, "ポチ", kPerPet);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(Disk(), model);
  EXPECT_EQ(CurrentOnDisk(), "ポチ");
}

// A host folder set with a separator at its end ("C:\PostPet\") is the same
// folder: the call files every copy where it does without the separator.
TEST_F(CallPetTest, AHostFolderEndingInASeparatorIsTheSameFolder) {
  Prepare(kPerPet, {1, 0, 1, 0});
  settings.hostFolder = D();
  settings.hostFolder += fs::path::preferred_separator;
  settings.MakeHostPaths();
  Files model = Disk();
  ModelPutAway(model, "ミミ", kPerPet);
  ModelBringIn(model, "ポチ", {1, 0, 1, 0});
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(Disk(), model);
  EXPECT_EQ(CurrentOnDisk(), "ポチ");
}

TEST_F(CallPetTest, ACurrentPetWithoutARowGetsItsPerPetCopiesBackAndIsRegisteredAgain) {
  // クロ was deleted by the utility while another pet was registered: her
  // data is in the host copies and she has no row and no copies at all.
  PutPet("ポチ");
  PutItems("共有/", "shared");
  PutItems("", "クロ");
  AddRow("ポチ", kAllShared);
  SetCurrent("クロ");
  Files model = Disk();
  ModelPutAway(model, "クロ", kPerPet);
  ModelBringIn(model, "ポチ", kAllShared);

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(Disk(), model);
  std::vector<std::string> pets;
  ASSERT_TRUE(ListPets(D(), settings.petFileName, &pets).ok());
  EXPECT_EQ(pets, (std::vector<std::string>{"クロ", "ポチ"}));
}

TEST_F(CallPetTest, PutAwayPassesOverMissingHostItemsButMakesThePetsFolders) {
  Prepare(kPerPet, kPerPet);
  Remove("おともだち帳");
  Remove("送信フォルダ");
  Remove("ミミ_送信フォルダ");
  Remove("ミミ_おやつ");
  Files model = Disk();
  ModelPutAway(model, "ミミ", kPerPet);
  ModelBringIn(model, "ポチ", kPerPet);

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(Disk(), model);
  EXPECT_EQ(test::NamesIn(At("ミミ_送信フォルダ")), "");  // made, empty
  EXPECT_EQ(test::NamesIn(At("ミミ_おやつ")), "ミミ-cake.pac");
  EXPECT_EQ(test::ReadBytes(At("ミミ_おともだち帳")), "ミミ friends");
}

TEST_F(CallPetTest, SubFoldersAreNeitherCopiedNorDeleted) {
  Prepare(kPerPet, kPerPet);
  Put("受信フォルダ/old/keep.txt", "ミミ archive");
  ASSERT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(test::ReadBytes(At("受信フォルダ/old/keep.txt")), "ミミ archive");
  EXPECT_FALSE(fs::exists(At("ミミ_受信フォルダ/old")));
}

// ---- the question for each missing item of the called pet ------------------

struct MissingItem {
  const char* item;
  bool yes;
};

class MissingItemTest : public CallPetTest, public ::testing::WithParamInterface<MissingItem> {};

TEST_P(MissingItemTest, AnswersMakeTheItemNewOrCopyTheCurrentOne) {
  const std::string item = GetParam().item;
  Prepare(kPerPet, kPerPet);
  Remove("ポチ_" + item);
  Files before = Disk();
  ui.ExpectMessage(GetParam().yes ? Answer::kYes : Answer::kNo)
      .Title("ルピナ・ヴィラ")
      .Text("ポチ_" + item + "が見つかりません\r\n新規作成しますか？\r\n「いいえ」を押すと現在の\r\n" +
            item + "をコピーして作成します")
      .With(ui::Buttons::kYesNo)
      .With(ui::Icon::kQuestion);

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);

  Files disk = Disk();
  Files model = before;
  ModelPutAway(model, "ミミ", kPerPet);
  Files hostAfterPutAway = ItemOf(model, item);
  ModelBringIn(model, "ポチ", kPerPet);  // every other item as usual
  if (item == "おともだち帳") {
    if (GetParam().yes) {
      test::SetItem(model, item, {});
      test::SetItem(model, "ポチ_" + item, {{"", ""}});
    } else {
      test::SetItem(model, item, hostAfterPutAway);
      test::SetItem(model, "ポチ_" + item, hostAfterPutAway);
    }
  } else if (item == "宝物") {
    if (GetParam().yes) {
      // Only the box stays, in both copies, with its pet-kind value reset.
      Files box{{"tzl001.pac", test::BoxBytesReset("ミミ")}};
      test::SetItem(model, item, box);
      test::SetItem(model, "ポチ_" + item, box);
    } else {
      test::SetItem(model, item, hostAfterPutAway);
      test::SetItem(model, "ポチ_" + item, hostAfterPutAway);
    }
  } else {
    test::SetItem(model, item, GetParam().yes ? Files{} : hostAfterPutAway);
    test::SetItem(model, "ポチ_" + item, GetParam().yes ? Files{} : hostAfterPutAway);
  }
  EXPECT_EQ(disk, model);
  if (item != "おともだち帳") {
    EXPECT_TRUE(fs::is_directory(At("ポチ_" + item)));
  }
  EXPECT_EQ(CurrentOnDisk(), "ポチ");
}

INSTANTIATE_TEST_SUITE_P(Items, MissingItemTest,
                         ::testing::Values(MissingItem{"おともだち帳", true},
                                           MissingItem{"おともだち帳", false},
                                           MissingItem{"宝物", true}, MissingItem{"宝物", false},
                                           MissingItem{"受信フォルダ", true},
                                           MissingItem{"受信フォルダ", false},
                                           MissingItem{"送信フォルダ", true},
                                           MissingItem{"送信フォルダ", false},
                                           MissingItem{"おやつ", true},
                                           MissingItem{"おやつ", false}));

TEST_F(CallPetTest, QuestionsComeInTheOrderOfTheItems) {
  Prepare(kPerPet, kPerPet);
  for (const char* item : {"おともだち帳", "宝物", "受信フォルダ", "送信フォルダ", "おやつ"})
    Remove(std::string("ポチ_") + item);
  for (const char* item : {"おともだち帳", "宝物", "受信フォルダ", "送信フォルダ", "おやつ"})
    ui.ExpectMessage(Answer::kNo).TextHas(std::string("ポチ_") + item + "が見つかりません");
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
}

TEST_F(CallPetTest, AllSharedKindsAskNothingWhenTheSharedCopiesExist) {
  Prepare(kPerPet, kAllShared);
  Files model = Disk();
  ModelPutAway(model, "ミミ", kPerPet);
  ModelBringIn(model, "ポチ", kAllShared);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_TRUE(ui.messages().empty());
  EXPECT_EQ(Disk(), model);
}

// A shared kind without a shared copy: the host never keeps the previous
// pet's data to be put away as the shared one; the user says what to do.
TEST_F(CallPetTest, AMissingSharedCopyIsAskedForLikeAMissingOwnOne) {
  Prepare(kPerPet, kAllShared);
  Remove("共有/おともだち帳");
  Remove("共有/受信フォルダ");
  Remove("共有/おやつ");
  ui.ExpectMessage(Answer::kYes)
      .Text("共有のおともだち帳が見つかりません\r\n新規作成しますか？\r\n「いいえ」を押すと現在の\r\n"
            "おともだち帳をコピーして作成します")
      .With(ui::Buttons::kYesNo)
      .With(ui::Icon::kQuestion);
  ui.ExpectMessage(Answer::kYes).TextHas("共有の受信フォルダが見つかりません");
  ui.ExpectMessage(Answer::kNo).TextHas("共有のおやつが見つかりません");
  const Files hostSnacks = ItemOf(Disk(), "おやつ");
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  const Files disk = Disk();
  // Yes: the kind starts empty, and so does its new shared copy.
  EXPECT_EQ(disk.count("おともだち帳"), 0u);
  EXPECT_EQ(disk.at("共有/おともだち帳"), "");
  EXPECT_EQ(ItemOf(disk, "受信フォルダ"), Files{});
  EXPECT_TRUE(std::filesystem::is_directory(At("共有/受信フォルダ")));
  // No: the host's snacks stay and become the shared copy.
  EXPECT_EQ(ItemOf(disk, "おやつ"), hostSnacks);
  EXPECT_EQ(ItemOf(disk, "共有/おやつ"), hostSnacks);
  // ミミ's own data was put away first, whatever was answered.
  EXPECT_EQ(disk.at("ミミ_おともだち帳"), "ミミ friends, one more");
  EXPECT_EQ(disk.at("ミミ_受信フォルダ/ミミ-new.txt"), "ミミ new mail");
}

// ---- a missing pet settings file -------------------------------------------

TEST_F(CallPetTest, AMissingSettingsFileIsMadeFromTheHostsOne) {
  Prepare(kPerPet, kPerPet);
  Remove("ポチ_PostPet設定.ppc");
  ui.ExpectMessage(Answer::kOk)
      .Title("ルピナ・ヴィラ")
      .Text("ポチ_PostPet設定.ppcが見つかりません\r\n現在のPostPet設定.ppcをコピーして作成します")
      .With(ui::Buttons::kOk)
      .With(ui::Icon::kExclamation);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(test::ReadBytes(At("ポチ_PostPet設定.ppc")), "ミミ settings");
  EXPECT_EQ(test::ReadBytes(At("PostPet設定.ppc")), "ミミ settings");
  EXPECT_EQ(test::ReadBytes(At("ミミ_PostPet設定.ppc")), "ミミ settings");
  EXPECT_EQ(test::ReadBytes(At("受信フォルダ/0001.txt")), "ポチ first mail");
}

TEST_F(CallPetTest, WithoutAnySettingsFileTheCallEndsAndForgetsTheCurrentPet) {
  Prepare(kPerPet, kPerPet);
  Remove("ポチ_PostPet設定.ppc");
  Remove("PostPet設定.ppc");
  ui.ExpectMessage(Answer::kOk).TextHas("ポチ_PostPet設定.ppcが見つかりません");
  ui.ExpectMessage(Answer::kOk)
      .Title("ルピナ・ヴィラ")
      .Text("PostPet設定.ppcが見つかりません\r\n作業が続行できないため終了します")
      .With(ui::Icon::kExclamation);
  Files model = Disk();
  ModelPutAway(model, "ミミ", kPerPet);

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::NoSettingsFile);

  EXPECT_EQ(Disk(), model);  // put away, nothing else touched
  EXPECT_EQ(CurrentOnDisk(), "-");
  EXPECT_TRUE(processes.started.empty());
}

// ---- box recovery -------------------------------------------------------------

TEST_F(CallPetTest, ABoxChosenForTheSharedFolderIsResetAndCopiedToBoth) {
  Prepare(kPerPet, {0, 0, 0, 1});
  Remove("共有/宝物/tzl001.pac");
  Put("よそ/tzl001.pac", test::BoxBytes("よそ"));
  ui.ExpectMessage(Answer::kOk)
      .Title("ルピナ・ヴィラ用ユーティリティ")
      .Text(PathText(At("共有/宝物")) +
            "フォルダに宝箱が見つかりません\r\n他のペットの宝箱を元に作成します\r\n元にするtzl001.pacを指定してください")
      .With(ui::Icon::kExclamation);
  ui.ExpectOpenFile(At("よそ/tzl001.pac"))
      .Title("コピー元の宝箱を選択")
      .Filter("宝箱", "tzl001.pac")
      .InitialFolder(D());

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);

  EXPECT_EQ(test::ReadBytes(At("共有/宝物/tzl001.pac")), test::BoxBytesReset("よそ"));
  EXPECT_EQ(test::ReadBytes(At("宝物/tzl001.pac")), test::BoxBytesReset("よそ"));
  EXPECT_EQ(test::ReadBytes(At("よそ/tzl001.pac")), test::BoxBytes("よそ"));
  EXPECT_EQ(test::NamesIn(At("宝物")), "shared-gem.bmp|tzl001.pac");
  EXPECT_EQ(ui.messages().size(), 1u);
}

TEST_F(CallPetTest, ABoxNotChosenForThePetsFolderLeavesThePetWithoutOne) {
  Prepare(kPerPet, kPerPet);
  Remove("ポチ_宝物/tzl001.pac");
  ui.ExpectMessage(Answer::kOk).TextHas(PathText(At("ポチ_宝物")) + "フォルダに宝箱が見つかりません");
  ui.ExpectOpenFile({});
  ui.ExpectMessage(Answer::kOk)
      .Title("ルピナ・ヴィラ")
      .Text("ポチの宝箱は作成されませんでした")
      .With(ui::Icon::kExclamation);

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);

  EXPECT_EQ(test::NamesIn(At("宝物")), "ポチ-gem.bmp");
  EXPECT_EQ(test::NamesIn(At("ポチ_宝物")), "ポチ-gem.bmp");
  EXPECT_EQ(test::ReadBytes(At("ミミ_宝物/tzl001.pac")), test::BoxBytes("ミミ"));
}

TEST_F(CallPetTest, ANewBoxWithoutAHostBoxTakesTheChosenOne) {
  Prepare(kPerPet, kPerPet);
  Remove("ポチ_宝物");
  Remove("宝物/tzl001.pac");
  Put("よそ/tzl001.pac", test::BoxBytes("よそ"));
  ui.ExpectMessage(Answer::kYes).TextHas("ポチ_宝物が見つかりません");
  ui.ExpectMessage(Answer::kOk).TextHas(PathText(At("宝物")) + "フォルダに宝箱が見つかりません");
  ui.ExpectOpenFile(At("よそ/tzl001.pac"));

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);

  EXPECT_EQ(test::NamesIn(At("宝物")), "tzl001.pac");
  EXPECT_EQ(test::ReadBytes(At("宝物/tzl001.pac")), test::BoxBytesReset("よそ"));
  EXPECT_EQ(test::NamesIn(At("ポチ_宝物")), "tzl001.pac");
  EXPECT_EQ(test::ReadBytes(At("ポチ_宝物/tzl001.pac")), test::BoxBytesReset("よそ"));
  EXPECT_EQ(test::NamesIn(At("ミミ_宝物")), "tzl001.pac|ミミ-gem.bmp");
}

TEST_F(CallPetTest, ANewBoxNotChosenStillLeavesNoneOfTheOtherPetsTreasures) {
  // "Make new" and then no box: the host's folder must not go on holding
  // ミミ's treasures, which the next call would file under ポチ.
  Prepare(kPerPet, kPerPet);
  Remove("ポチ_宝物");
  Remove("宝物/tzl001.pac");
  ui.ExpectMessage(Answer::kYes).TextHas("ポチ_宝物が見つかりません");
  ui.ExpectMessage(Answer::kOk).TextHas("フォルダに宝箱が見つかりません");
  ui.ExpectOpenFile({});
  ui.ExpectMessage(Answer::kOk).Text("ポチの宝箱は作成されませんでした");

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);

  EXPECT_EQ(test::NamesIn(At("宝物")), "");
  EXPECT_EQ(test::NamesIn(At("ポチ_宝物")), "");
  EXPECT_EQ(test::ReadBytes(At("ミミ_宝物/ミミ-gem.bmp")), "ミミ gem");
}

TEST_F(CallPetTest, CopyingTheCurrentTreasuresWithoutABoxRecoversOneForBoth) {
  Prepare(kPerPet, kPerPet);
  Remove("ポチ_宝物");
  Remove("宝物/tzl001.pac");
  Put("よそ/tzl001.pac", test::BoxBytes("よそ"));
  ui.ExpectMessage(Answer::kNo).TextHas("ポチ_宝物が見つかりません");
  ui.ExpectMessage(Answer::kOk).TextHas(PathText(At("宝物")) + "フォルダに宝箱が見つかりません");
  ui.ExpectOpenFile(At("よそ/tzl001.pac"));

  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);

  EXPECT_EQ(test::NamesIn(At("宝物")), "tzl001.pac|ミミ-gem.bmp");
  EXPECT_EQ(test::NamesIn(At("ポチ_宝物")), "tzl001.pac|ミミ-gem.bmp");
  EXPECT_EQ(test::ReadBytes(At("ポチ_宝物/tzl001.pac")), test::BoxBytesReset("よそ"));
  EXPECT_EQ(test::ReadBytes(At("宝物/tzl001.pac")), test::BoxBytesReset("よそ"));
}

// ---- which host executable ------------------------------------------------------

struct ExeCase {
  const char* name;
  bool set1, exists1, set2, exists2;
  const char* marks;  // \lupina2.dat content, nullptr: no file
  int expected;       // 0 D\pp_name, 1 ordinaryHostExe, 2 patchedHostExe
};

class ExecutableTest : public CallPetTest, public ::testing::WithParamInterface<ExeCase> {};

TEST_P(ExecutableTest, ChoosesTheHostForThePet) {
  const ExeCase& c = GetParam();
  Prepare(kPerPet, kPerPet);
  if (c.set1) settings.ordinaryHostExe = At("通常用_PostPet20.exe");
  if (c.set2) settings.patchedHostExe = At("ノクタ用_PostPet20.exe");
  if (c.exists1) Put("通常用_PostPet20.exe", "ordinary");
  if (c.exists2) Put("ノクタ用_PostPet20.exe", "patched");
  if (c.marks) Put("lupina2.dat", c.marks);
  ASSERT_EQ(CallByName("ミミ"), CallOutcome::HostStarted);
  const fs::path expected[] = {D() / U8Path("PostPet20.exe"), At("通常用_PostPet20.exe"),
                               At("ノクタ用_PostPet20.exe")};
  ExpectStartedOnce(expected[c.expected]);
}

// ミミ in CP932 is 83 7E 83 7E.
#define MIMI "\x83\x7e\x83\x7e"
INSTANTIATE_TEST_SUITE_P(
    Table, ExecutableTest,
    ::testing::Values(
        ExeCase{"MarkedTrue", true, true, true, true, "\"" MIMI "\",#TRUE#\r\n", 2},
        ExeCase{"MarkedFalse", true, true, true, true, "\"" MIMI "\",#FALSE#\r\n", 1},
        ExeCase{"FirstRecordCounts", true, true, true, true,
                "\"x\",#TRUE#\r\n\"" MIMI "\",#FALSE#\r\n\"" MIMI "\",#TRUE#\r\n", 1},
        ExeCase{"NoRecord", true, true, true, true, "\"x\",#TRUE#\r\n", 1},
        ExeCase{"NoMarksFile", true, true, true, true, nullptr, 1},
        ExeCase{"OnlyOrdinarySet", true, true, false, true, "\"" MIMI "\",#TRUE#\r\n", 0},
        ExeCase{"OnlyPatchedSet", false, true, true, true, "\"" MIMI "\",#TRUE#\r\n", 0},
        ExeCase{"PatchedMissing", true, true, true, false, "\"" MIMI "\",#TRUE#\r\n", 0},
        ExeCase{"OrdinaryMissing", true, false, true, true, "\"" MIMI "\",#TRUE#\r\n", 0},
        ExeCase{"NotSetUp", false, false, false, false, nullptr, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CallPetTest, TheNsSwitchEndsTheQuotedCommandLine) {
  Prepare(kPerPet, kPerPet);
  settings.nsOption = 1;
  ASSERT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  ExpectStartedOnce(D() / U8Path("PostPet20.exe"), "-ns");
  const std::string line = processes.CommandLine(0);
  EXPECT_EQ(line, "\"" + PathText(D() / U8Path("PostPet20.exe")) + "\" -ns");
  EXPECT_EQ(store.values().at("flg_sopt1"), "1");
}

TEST_F(CallPetTest, WithoutTheSwitchTheCommandLineIsTheQuotedPathAlone) {
  Prepare(kPerPet, kPerPet);
  ASSERT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(processes.CommandLine(0), "\"" + PathText(D() / U8Path("PostPet20.exe")) + "\"");
}

TEST_F(CallPetTest, AHostThatCannotStartIsReportedWithTheDataInPlace) {
  Prepare(kPerPet, kPerPet);
  processes.failStart = "指定されたファイルが見つかりません。";
  ui.ExpectMessage(Answer::kOk)
      .Text(PathText(D() / U8Path("PostPet20.exe")) +
            "を起動できませんでした\r\n指定されたファイルが見つかりません。")
      .With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::StartFailed);
  EXPECT_EQ(CurrentOnDisk(), "ポチ");
  EXPECT_EQ(test::ReadBytes(At("PostPet設定.ppc")), "ポチ settings");
}

// ---- a current pet nobody can name ----------------------------------------------

TEST_F(CallPetTest, AnUnreadableCurrentPetKeepsTheHostDataUnlessTheUserLetsItGo) {
  Prepare(kPerPet, kPerPet);
  Put("lupina.dat", "\"broken\r\n");
  settings.currentPetName.clear();
  currentPetUnreadable = true;
  Files before = Snapshot();
  ui.ExpectMessage(Answer::kNo)
      .Text(PathText(At("lupina.dat")) +
            "を読み込めないため、ポストペットが今どのペットのデータを持っているか分かりません\r\n"
            "「はい」を押すと、そのデータを保存せずにポチのデータに入れ替えます\r\n"
            "「いいえ」を押すと、何も変更せずに終了します")
      .With(ui::Buttons::kYesNo)
      .DefaultButton(1);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::PutAwayFailed);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(processes.started.empty());
}

TEST_F(CallPetTest, AnUnreadableCurrentPetGivenUpIsReplacedLikeNoCurrentPet) {
  Prepare(kPerPet, kPerPet);
  Put("lupina.dat", "\"broken\r\n");
  settings.currentPetName.clear();
  currentPetUnreadable = true;
  Files model = Disk();
  ModelBringIn(model, "ポチ", kPerPet);
  ui.ExpectMessage(Answer::kYes).TextHas("を読み込めないため");
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
  EXPECT_EQ(Disk(), model);
  EXPECT_EQ(CurrentOnDisk(), "ポチ");
}

// ---- around the call ---------------------------------------------------------------

TEST_F(CallPetTest, AHostStartedAfterTheListWasShownStopsTheCallBeforeAnything) {
  Prepare(kPerPet, kPerPet);
  processes.running = {"C:\\Program Files\\So-net\\POSTPET20.EXE"};
  const Files before = Snapshot();
  ui.ExpectMessage(Answer::kOk)
      .Text("ポストペットが起動中です\r\nlupina.exeはポストペット起動中に実行する事は出来ません")
      .With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::HostRunning);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_TRUE(processes.started.empty());
}

TEST_F(CallPetTest, WhatTheHostDeletedStaysDeletedWhateverTheFlags) {
  for (const ShareFlags flags : {kPerPet, kAllShared}) {
    SCOPED_TRACE(flags[0]);
    CallPetFixture fresh;
    fresh.PutPet("ミミ");
    fresh.PutPet("ポチ");
    fresh.PutItems("共有/", "ミミ");  // what ミミ brought in when she shares
    fresh.PutItems("", "ミミ");
    fresh.Remove("受信フォルダ/0001.txt");      // a mail she deleted
    fresh.Remove("おやつ/ミミ-cake.pac");       // a snack she ate
    fresh.Remove("宝物/ミミ-gem.bmp");          // a treasure she gave away
    fresh.AddRow("ミミ", flags);
    fresh.AddRow("ポチ", kPerPet);
    fresh.SetCurrent("ミミ");
    ASSERT_EQ(fresh.CallByName("ポチ"), CallOutcome::HostStarted);
    const std::string home = flags[0] ? "共有/" : "ミミ_";
    EXPECT_FALSE(fresh.Exists(home + "受信フォルダ/0001.txt"));
    EXPECT_FALSE(fresh.Exists(home + "おやつ/ミミ-cake.pac"));
    EXPECT_FALSE(fresh.Exists(home + "宝物/ミミ-gem.bmp"));
    EXPECT_TRUE(fresh.Exists(home + "宝物/tzl001.pac"));
    EXPECT_TRUE(fresh.Exists(home + "受信フォルダ/ミミ-in.txt"));
  }
}

TEST_F(CallPetTest, APetListedFromAnOlderSettingsFileNameIsToldNotMadeFromAnother) {
  Prepare(kPerPet, kPerPet);
  Put("クロ_2_PostPet設定.ppc", "クロ's settings under an older name");
  AddRow("クロ", kPerPet);
  const Files before = Snapshot();
  ui.ExpectMessage(Answer::kOk)
      .TextHas("クロ_2_PostPet設定.ppc は名前に「_」が2つ以上あるため、クロを呼び出せません")
      .TextHas("クロ_PostPet設定.ppc に変えてから")
      .With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("クロ"), CallOutcome::NoSettingsFile);
  EXPECT_EQ(Snapshot(), before);
  EXPECT_EQ(CurrentOnDisk(), "ミミ");
  EXPECT_TRUE(processes.started.empty());
}

// A folder that cannot be listed stops the call where it is met: nothing of
// the host's data is overwritten by a step that took it for an empty folder.
struct Unlisted {
  const char* folder;
  CallOutcome outcome;
};

class UnlistedFolderTest : public CallPetTest, public ::testing::WithParamInterface<Unlisted> {};

TEST_P(UnlistedFolderTest, StopsTheCallAndNamesTheFolder) {
  Prepare(kPerPet, kPerPet);
  const Files hostBefore = Disk();
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(At(GetParam().folder), std::make_error_code(std::errc::permission_denied));
  ui.ExpectMessage(Answer::kOk).TextHas(PathText(At(GetParam().folder))).With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("ポチ"), GetParam().outcome);
  EXPECT_TRUE(processes.started.empty());
  if (GetParam().outcome == CallOutcome::PutAwayFailed) {
    EXPECT_EQ(CurrentOnDisk(), "ミミ");
    for (const char* item : {"受信フォルダ", "送信フォルダ", "おやつ", "宝物"})
      EXPECT_EQ(ItemOf(Disk(), item), ItemOf(hostBefore, item)) << item;
  } else {
    EXPECT_EQ(CurrentOnDisk(), "");  // ミミ's data is saved; the host's belongs to nobody
  }
}

INSTANTIATE_TEST_SUITE_P(
    Folders, UnlistedFolderTest,
    ::testing::Values(Unlisted{"受信フォルダ", CallOutcome::PutAwayFailed},
                      Unlisted{"ミミ_おやつ", CallOutcome::PutAwayFailed},
                      Unlisted{"ポチ_送信フォルダ", CallOutcome::BringInFailed},
                      Unlisted{"ポチ_宝物", CallOutcome::BringInFailed}));

}  // namespace
}  // namespace lup
