// The share settings, detailed settings and special-kind dialogs, headless.
#include "launcher/dialogs.h"

#include <gtest/gtest.h>

#include "core/fileops.h"
#include "base/text.h"
#include "launcher/launcher.h"
#include "launcher/launcher_fixture.h"
#include "ui/headless/headless_host.h"

namespace lup {
namespace {

using test::HostFolder;
using test::LauncherFolder;
using ui::Answer;
using ui::headless::HeadlessHost;

// ---- share settings -------------------------------------------------------

class ShareDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hf.AddPet("ソラ");
    hf.AddPet("ミミ");
    hf.Write("lupina3.dat", HostFolder::Cp932("\"ソラ\",0,0,0,0\r\n\"ミミ\",0,0,1,0\r\n"));
    hf.Write("lupina.dat", HostFolder::Cp932("\"ソラ\"\r\n"));
    hf.Write("ミミ_おともだち帳", "mimi friends");
    hf.Write("共有/おともだち帳", "shared friends");
    hf.Write("ミミ_受信フォルダ/r1", "mimi r1");
    hf.Write("ミミ_送信フォルダ/s1", "mimi s1");
    hf.Write("共有/受信フォルダ/old", "old shared mail");
    hf.Write("共有/受信フォルダ/r1", "old r1");
    hf.Write("共有/送信フォルダ/s0", "old sent");
    hf.Write("ミミ_おやつ/a.pac", "a");
    hf.Write("ミミ_おやつ/b.pac", "b");
    hf.Write("ミミ_おやつ/c.pac", "c");
    hf.Write("共有/おやつ/old.pac", "old snack");
    std::filesystem::create_directories(hf / "共有/宝物");
    // ソラ is current; her folders are there and the host holds nothing yet.
    for (const char* d : {"宝物", "受信フォルダ", "送信フォルダ", "おやつ"})
      std::filesystem::create_directories(hf / (std::string("ソラ_") + d));
    launcher = hf.MakeLauncher(host);
    ASSERT_EQ(launcher->Start(""), StartOutcome::Shown);
  }
  // Scripts the dialog for ミミ's row (row 2): `actions` in the dialog; the
  // questions it asks are scripted next, then CtrlClickMimi opens it.
  void ScriptDialog(std::function<void(ui::Form&)> actions) {
    host.ExpectModal("Form4", std::move(actions));
  }
  void CtrlClickMimi() { host.ClickCell(launcher->form(), "List1", 2, 0, ui::kCtrlKey); }
  void Tick(ui::Form& f, int box, int value) {
    if (f.Get<ui::CheckBox>("Check" + std::to_string(box)).Value() != value)
      host.Click(f, "Check" + std::to_string(box));
  }
  std::string Row2() {
    std::string out;
    for (int c = 1; c <= 8; ++c) out += launcher->grid().Cell(2, c);
    return out;
  }

  LauncherFolder hf;
  HeadlessHost host;
  std::unique_ptr<Launcher> launcher;
};

TEST_F(ShareDialogTest, YesCopiesThePetsDataOverTheSharedCopies) {
  ScriptDialog([&](ui::Form& f) {
    Tick(f, 1, 1);
    Tick(f, 2, 1);
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kYes)
      .Title("ルピナ・ヴィラ")
      .Text("ミミのおともだち帳を共有にコピーしますか？\r\n既に共有のおともだち帳がある場合、上書きされます")
      .With(ui::Buttons::kYesNo)
      .With(ui::Icon::kNone)
      .DefaultButton(1);
  host.ExpectMessage(Answer::kYes).Text(
      "ミミの送受信簿を共有にコピーしますか？\r\n既に共有の送受信簿がある場合、上書きされます");
  host.ExpectMessage(Answer::kYes).Text(
      "ミミのおやつを共有にコピーしますか？\r\n既に共有のおやつがある場合、上書きされます");
  CtrlClickMimi();
  EXPECT_EQ(hf.Read("共有/おともだち帳"), "mimi friends");
  EXPECT_EQ(test::NamesIn(hf / "共有/受信フォルダ"), "r1");
  EXPECT_EQ(hf.Read("共有/受信フォルダ/r1"), "mimi r1");
  EXPECT_EQ(test::NamesIn(hf / "共有/送信フォルダ"), "s1");
  EXPECT_EQ(test::NamesIn(hf / "共有/おやつ"), "a.pac|b.pac|c.pac");
  EXPECT_EQ(Row2(), "共共共非1110");
  EXPECT_EQ(launcher->grid().CellColour(2, 1), kSharedColour);
  EXPECT_EQ(launcher->grid().CellColour(2, 4), kPerPetColour);
  EXPECT_EQ(hf.Read("lupina3.dat"), HostFolder::Cp932("\"ソラ\",0,0,0,0\r\n\"ミミ\",1,1,1,0\r\n"));
  // The current pet was put away and forgotten, in memory too.
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_EQ(launcher->settings().currentPetName, "");
  // The pet's own copies stay.
  EXPECT_EQ(hf.Read("ミミ_おともだち帳"), "mimi friends");
  EXPECT_EQ(test::NamesIn(hf / "ミミ_おやつ"), "a.pac|b.pac|c.pac");
  EXPECT_FALSE(host.ended());
}

TEST_F(ShareDialogTest, NoChangesOnlyTheFlagAndUntickingCopiesNothing) {
  ScriptDialog([&](ui::Form& f) {
    Tick(f, 1, 1);
    Tick(f, 3, 0);
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kNo).TextHas("おともだち帳");
  CtrlClickMimi();
  EXPECT_EQ(hf.Read("共有/おともだち帳"), "shared friends");
  EXPECT_EQ(test::NamesIn(hf / "共有/おやつ"), "old.pac");
  EXPECT_EQ(Row2(), "共非非非1000");
  EXPECT_EQ(launcher->grid().CellColour(2, 3), kPerPetColour);
  EXPECT_EQ(hf.Read("lupina3.dat"), HostFolder::Cp932("\"ソラ\",0,0,0,0\r\n\"ミミ\",1,0,0,0\r\n"));
  EXPECT_FALSE(hf.Exists("lupina.dat"));
}

TEST_F(ShareDialogTest, OkWithoutAChangeChangesNothing) {
  const std::string list = hf.Read("lupina3.dat");
  ScriptDialog([&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kNo).TextHas("のおやつを共有に");
  CtrlClickMimi();
  EXPECT_EQ(hf.Read("lupina3.dat"), list);
  EXPECT_EQ(hf.CurrentOnDisk(), "ソラ");
  EXPECT_EQ(launcher->settings().currentPetName, "ソラ");
}

TEST_F(ShareDialogTest, TheCloseBoxChangesNothing) {
  const std::string list = hf.Read("lupina3.dat");
  ScriptDialog([&](ui::Form& f) {
    Tick(f, 1, 1);
    host.CloseBox(f);
  });
  CtrlClickMimi();
  EXPECT_EQ(Row2(), "非非共非0010");
  EXPECT_EQ(hf.Read("lupina3.dat"), list);
  EXPECT_TRUE(hf.Exists("lupina.dat"));
}

TEST_F(ShareDialogTest, AFailedCopyNamesTheFileAndNeverEmptiesTheSharedCopy) {
  FileOps ops;
  ScopedFileOps scoped(ops);
  // The second snack file cannot be written (the first operation forgets
  // the current pet, whose host copies hold nothing to put away).
  ScriptDialog([&](ui::Form& f) {
    ops.FailAt(3, std::make_error_code(std::errc::no_space_on_device));
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kYes).TextHas("のおやつを共有に");
  host.ExpectMessage(Answer::kOk)
      .TextHas(PathText(hf / "ミミ_おやつ/b.pac") + " を " + PathText(hf / "共有/おやつ/b.pac") +
               " にコピーできませんでした")
      .With(ui::Icon::kExclamation);
  CtrlClickMimi();
  EXPECT_EQ(test::NamesIn(hf / "共有/おやつ"), "old.pac");  // the folder's copies are one batch
  EXPECT_EQ(hf.Read("共有/おやつ/old.pac"), "old snack");
  // The flags are still saved.
  EXPECT_EQ(Row2(), "非非共非0010");
  EXPECT_FALSE(hf.Exists("lupina.dat"));
}

TEST_F(ShareDialogTest, APetWithoutFilesEmptiesTheSharedFolderAsAsked) {
  std::filesystem::remove_all(hf / "ミミ_おやつ");
  ScriptDialog([&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kYes).TextHas("のおやつを共有に");
  CtrlClickMimi();
  EXPECT_EQ(test::NamesIn(hf / "共有/おやつ"), "");
  EXPECT_TRUE(std::filesystem::is_directory(hf / "共有/おやつ"));
}

TEST_F(ShareDialogTest, AMissingPetFriendBookIsNotCopiedAndNotReported) {
  std::filesystem::remove(hf / "ミミ_おともだち帳");
  ScriptDialog([&](ui::Form& f) {
    Tick(f, 1, 1);
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kYes).TextHas("おともだち帳");
  host.ExpectMessage(Answer::kNo).TextHas("おやつ");
  CtrlClickMimi();
  EXPECT_EQ(hf.Read("共有/おともだち帳"), "shared friends");
}

// The current pet's latest data is never dropped by the share settings.
TEST_F(ShareDialogTest, ChangingTheCurrentPetsFlagsFilesHerDataByTheOldFlagsFirst) {
  hf.Write("おともだち帳", "ソラ's newest friends");
  hf.Write("受信フォルダ/new.mail", "ソラ's newest mail");
  host.ExpectModal("Form4", [&](ui::Form& f) {
    Tick(f, 1, 1);  // her friend book becomes shared ...
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kNo).TextHas("ソラのおともだち帳を共有に");  // ... keeping the shared one
  host.ClickCell(launcher->form(), "List1", 1, 0, ui::kCtrlKey);
  EXPECT_EQ(hf.Read("ソラ_おともだち帳"), "ソラ's newest friends");
  EXPECT_EQ(hf.Read("ソラ_受信フォルダ/new.mail"), "ソラ's newest mail");
  EXPECT_EQ(hf.Read("共有/おともだち帳"), "shared friends");
  // Memory and disk agree: no pet is current, and quitting keeps it so.
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_EQ(launcher->settings().currentPetName, "");
  EXPECT_EQ(launcher->form().Get<ui::Label>("Label1").Caption(), "現在どのペットも選択されていません");
  host.Click(launcher->form(), "Command1");
  EXPECT_EQ(hf.CurrentOnDisk(), "");
}

TEST_F(ShareDialogTest, AfterOkWithoutAChangeTheNextLauncherStillPutsTheCurrentPetAway) {
  hf.Write("受信フォルダ/new.mail", "ソラ's newest mail");
  hf.AddPet("ソラ", "ソラ settings");
  ScriptDialog([&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kNo).TextHas("のおやつを共有に");
  CtrlClickMimi();
  host.CloseBox(launcher->form());

  hf.PutPet("ミミ");
  HeadlessHost next;
  auto again = hf.MakeLauncher(next);
  again->env().callPet = [](CallPetContext& c) { return CallPet(c); };
  ASSERT_EQ(again->Start("ミミ"), StartOutcome::Called);
  EXPECT_EQ(hf.Read("ソラ_受信フォルダ/new.mail"), "ソラ's newest mail");
  EXPECT_EQ(hf.CurrentOnDisk(), "ミミ");
}

TEST_F(ShareDialogTest, ACurrentPetThatCannotBeSavedLeavesEverythingAsItWas) {
  hf.Write("受信フォルダ/new.mail", "ソラ's newest mail");
  const std::string list = hf.Read("lupina3.dat");
  FileOps ops;
  ScopedFileOps scoped(ops);
  ScriptDialog([&](ui::Form& f) {
    ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device));
    Tick(f, 1, 1);
    host.Click(f, "Command1");
    host.CloseBox(f);
  });
  host.ExpectMessage(Answer::kYes).TextHas("のおともだち帳を共有に");
  host.ExpectMessage(Answer::kOk).TextHas("ソラのデータを保存できなかったため").With(ui::Icon::kCritical);
  CtrlClickMimi();
  EXPECT_EQ(hf.Read("共有/おともだち帳"), "shared friends");
  EXPECT_EQ(hf.Read("lupina3.dat"), list);
  EXPECT_EQ(hf.CurrentOnDisk(), "ソラ");
  EXPECT_EQ(launcher->settings().currentPetName, "ソラ");
}

TEST_F(ShareDialogTest, APetFolderThatCannotBeListedIsToldAndTheSharedCopyStays) {
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailReadsOf(hf / "ミミ_おやつ", std::make_error_code(std::errc::permission_denied));
  ScriptDialog([&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kYes).TextHas("のおやつを共有に");
  host.ExpectMessage(Answer::kOk).TextHas(PathText(hf / "ミミ_おやつ"));
  CtrlClickMimi();
  EXPECT_EQ(test::NamesIn(hf / "共有/おやつ"), "old.pac");
}

// ---- detailed settings ----------------------------------------------------

class SettingsDialogTest : public ::testing::Test {
 protected:
  SettingsDialogTest() : settings(ReadSettings(hf.store, hf.D())) {}
  LauncherFolder hf;
  HeadlessHost host;
  Settings settings;
};

TEST_F(SettingsDialogTest, LoadShowsTheSettingsAndOkStoresEveryFieldAsTyped) {
  settings.nsOption = 1;
  SettingsDialog dialog(settings, hf.store, host);
  host.Show(dialog.form());
  ui::Form& f = dialog.form();
  EXPECT_EQ(f.Caption(), "詳細設定");
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 8).Text(), PathText(hf.D()));
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 0).Text(), "PostPet20.exe");
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 1).Text(), "宝物");
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 7).Text(), "おやつ");
  EXPECT_EQ(f.Get<ui::CheckBox>("Check1").Value(), 1);
  EXPECT_EQ(f.Get<ui::Label>("Label1", 5).Caption(), "受信簿フォルダ名");

  host.Type(f, {"Text1", 1}, "たからもの");
  host.Type(f, {"Text1", 3}, "");
  host.Type(f, {"Text1", 6}, "送信");
  host.Click(f, "Check1");
  host.Click(f, "Command1");
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(settings.treasureFolderName, "たからもの");
  EXPECT_EQ(settings.treasurePaths.host, hf / "たからもの");
  EXPECT_EQ(settings.treasurePaths.shared, hf / "共有/たからもの");
  EXPECT_EQ(hf.Setting("tz_dir"), "たからもの");
  EXPECT_EQ(hf.Setting("friend_name"), "");
  EXPECT_EQ(hf.Setting("sousin_dir"), "送信");
  EXPECT_EQ(hf.Setting("flg_sopt1"), "0");
  EXPECT_EQ(hf.Setting("pp_dir"), PathText(hf.D()));
  EXPECT_TRUE(hf.Exists("lupina.dat"));
}

TEST_F(SettingsDialogTest, WhereWindowsKeepsTheHostsWritesIsToldOnlyWhenItMovesThem) {
  {
    SettingsDialog dialog(settings, hf.store, host);
    EXPECT_FALSE(dialog.form().Find("dataFolder"));
  }
  settings.hostView = os::HostView::kVirtualStore;
  settings.hostDataFolder = hf / "VirtualStore";
  SettingsDialog dialog(settings, hf.store, host);
  host.Show(dialog.form());
  const ui::Label& note = dialog.form().Get<ui::Label>("dataFolder");
  EXPECT_NE(note.Caption().find(PathText(hf / "VirtualStore")), std::string::npos);
  EXPECT_LT(note.Geometry().top + note.Geometry().height,
            dialog.form().Get<ui::Button>("Command1").Geometry().top);
}

TEST_F(SettingsDialogTest, BrowseFillsOnlyTheFolderAndTheCloseBoxStoresNothing) {
  SettingsDialog dialog(settings, hf.store, host);
  host.Show(dialog.form());
  ui::Form& f = dialog.form();
  host.ExpectOpenFile(hf / "Other/Another.exe")
      .Title("ポストペットのインストール先")
      .Filter("ポストペット本体", "*.exe")
      .InitialFolder(hf.D());
  host.Click(f, "Command3");
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 8).Text(), PathText(hf / "Other"));
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 0).Text(), "PostPet20.exe");
  host.ExpectOpenFile({});  // cancelled: nothing changes
  host.Click(f, "Command3");
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 8).Text(), PathText(hf / "Other"));
  host.CloseBox(f);
  EXPECT_EQ(settings.hostFolder, hf.D());
  EXPECT_EQ(hf.Setting("pp_name"), "<absent>");
  EXPECT_FALSE(hf.Exists("lupina.dat"));
}

TEST_F(SettingsDialogTest, AFailedSaveIsReported) {
  SettingsDialog dialog(settings, hf.store, host);
  host.Show(dialog.form());
  host.Type(dialog.form(), {"Text1", 8}, PathText(hf / "nowhere"));
  host.ExpectMessage(Answer::kOk).TextHas(PathText(hf / "nowhere/lupina.dat"));
  host.Click(dialog.form(), "Command1");
  EXPECT_FALSE(dialog.form().Loaded());
}

TEST_F(SettingsDialogTest, TheSpecialKindButtonOpensItsDialog) {
  SettingsDialog dialog(settings, hf.store, host);
  host.Show(dialog.form());
  host.ExpectModal("Form3", [&](ui::Form& f) { host.Click(f, "Command2"); });
  host.Click(dialog.form(), "Command2");
  EXPECT_TRUE(hf.Exists("lupina2.dat"));
}

// ---- special-kind host settings -------------------------------------------

class SpecialDialogTest : public ::testing::Test {
 protected:
  SpecialDialogTest() : settings(ReadSettings(hf.store, hf.D())) {
    hf.AddPet("ソラ");
    hf.AddPet("ミミ");
    hf.AddPet("能登");
    hf.Write("src/PostPet20.exe", "ordinary");
    hf.Write("src/patched.exe", "patched");
  }
  std::unique_ptr<SpecialDialog> Open() {
    auto d = std::make_unique<SpecialDialog>(settings, hf.store, host);
    host.Show(d->form());
    return d;
  }
  ui::ListBox& List(SpecialDialog& d) { return d.form().Get<ui::ListBox>("List1"); }
  std::string Ordinary() { return PathText(hf / "通常用_PostPet20.exe"); }
  std::string Patched() { return PathText(hf / "ノクタ用_PostPet20.exe"); }

  LauncherFolder hf;
  HeadlessHost host;
  Settings settings;
};

TEST_F(SpecialDialogTest, LoadListsThePetsAndTheirMarks) {
  hf.store.Set("ppexe1", "C:\\a.exe");
  hf.Write("lupina2.dat", HostFolder::Cp932("\"ミミ\",#TRUE#\r\n\"ハナ\",#TRUE#\r\n\"ソラ\",#FALSE#\r\n"));
  auto d = Open();
  ui::Form& f = d->form();
  EXPECT_EQ(f.Caption(), "ノクタ・ミラ用設定");
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 0).Text(), "C:\\a.exe");
  EXPECT_EQ(f.Get<ui::TextBox>("Text1", 1).Text(), "");
  EXPECT_EQ(List(*d).Items(), (std::vector<std::string>{"ソラ", "ミミ", "能登"}));
  EXPECT_FALSE(List(*d).Checked(0));
  EXPECT_TRUE(List(*d).Checked(1));
  EXPECT_FALSE(List(*d).Checked(2));
  EXPECT_TRUE(List(*d).Visible());
}

TEST_F(SpecialDialogTest, ARepeatedMarkCountsLastAndAPetListedTwiceIsTickedInBothPlaces) {
  hf.Write("ミミ_別_PostPet設定.ppc", "name=ミミ\r\n");  // a second settings file naming ミミ
  hf.Write("lupina2.dat", HostFolder::Cp932("\"能登\",#TRUE#\r\n\"ミミ\",#FALSE#\r\n\"ミミ\",#TRUE#\r\n"
                                            "\"能登\",#FALSE#\r\n"));
  auto d = Open();
  const ui::ListBox& list = List(*d);
  int mimi = 0;
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Item(i) == "ミミ") ++mimi;
    EXPECT_EQ(list.Checked(i), list.Item(i) == "ミミ") << list.Item(i);
  }
  EXPECT_EQ(mimi, 2);
}

TEST_F(SpecialDialogTest, SavingTwoNewLocationsKeepsCopiesAndSaysSo) {
  auto d = Open();
  ui::Form& f = d->form();
  EXPECT_TRUE(hf.Exists("lupina2.dat"));  // made empty on load
  host.ExpectOpenFile(hf / "src/PostPet20.exe")
      .Title("通常ペット用ポストペット本体")
      .Filter("ポストペット本体", "*.exe")
      .InitialFolder(hf.D());
  host.Click(f, {"Command1", 0});
  host.ExpectOpenFile(hf / "src/patched.exe").Title("ノクタ・ミラ用ポストペット本体");
  host.Click(f, {"Command1", 1});
  host.CheckItem(f, "List1", 1, true);
  const std::string src0 = PathText(hf / "src/PostPet20.exe");
  const std::string src1 = PathText(hf / "src/patched.exe");
  host.ExpectMessage(Answer::kOk)
      .Title("ルピナ・ヴィラ")
      .Text(src0 + "を" + Ordinary() + "にコピーしました\r\n" + src1 + "を" + Patched() + "にコピーしました")
      .With(ui::Icon::kInformation);
  host.Click(f, "Command2");
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(hf.Read("通常用_PostPet20.exe"), "ordinary");
  EXPECT_EQ(hf.Read("ノクタ用_PostPet20.exe"), "patched");
  EXPECT_EQ(hf.Setting("ppexe1"), Ordinary());
  EXPECT_EQ(hf.Setting("ppexe2"), Patched());
  EXPECT_EQ(hf.Read("lupina2.dat"),
            HostFolder::Cp932("\"ソラ\",#FALSE#\r\n\"ミミ\",#TRUE#\r\n\"能登\",#FALSE#\r\n"));

  // Reopened: the kept copies are shown; OK copies nothing and says nothing.
  FileOps ops;
  ScopedFileOps scoped(ops);
  auto again = Open();
  EXPECT_EQ(again->form().Get<ui::TextBox>("Text1", 0).Text(), Ordinary());
  EXPECT_TRUE(List(*again).Checked(1));
  host.Click(again->form(), "Command2");
  for (const auto& r : ops.Journal()) EXPECT_NE(r.action, Action::Copy) << PathText(r.path);
  EXPECT_EQ(host.messages().size(), 1u);
}

TEST_F(SpecialDialogTest, OnlyANewPatchedLocationCopiesOnlyItAndSaysNothing) {
  hf.Write("通常用_PostPet20.exe", "kept ordinary");
  hf.store.Set("ppexe1", Ordinary());
  auto d = Open();
  host.Type(d->form(), {"Text1", 1}, PathText(hf / "src/patched.exe"));
  host.CloseBox(d->form());  // the close box saves too
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(hf.Read("通常用_PostPet20.exe"), "kept ordinary");
  EXPECT_EQ(hf.Read("ノクタ用_PostPet20.exe"), "patched");
  EXPECT_EQ(hf.Setting("ppexe2"), Patched());
}

TEST_F(SpecialDialogTest, TickedPetsWithoutBothLocationsAreWarnedAndUnmarked) {
  auto d = Open();
  host.Type(d->form(), {"Text1", 0}, PathText(hf / "src/PostPet20.exe"));
  host.CheckItem(d->form(), "List1", 0, true);
  host.ExpectMessage(Answer::kOk)
      .Text("通常用、ノクタ・ミラ用のポストペット本体の場所が指定されていません\r\n"
            "設定するまでチェックは有効になりません")
      .With(ui::Icon::kExclamation);
  host.Click(d->form(), "Command2");
  EXPECT_FALSE(hf.Exists("lupina2.dat"));
  EXPECT_FALSE(hf.Exists("通常用_PostPet20.exe"));  // one location only: nothing copied
  EXPECT_EQ(hf.Setting("ppexe1"), PathText(hf / "src/PostPet20.exe"));
  EXPECT_EQ(hf.Setting("ppexe2"), "");
}

TEST_F(SpecialDialogTest, NoTickAndOneLocationEmptyWritesEveryPetFalse) {
  auto d = Open();
  host.Click(d->form(), "Command2");
  EXPECT_TRUE(host.messages().empty());
  EXPECT_EQ(hf.Read("lupina2.dat"),
            HostFolder::Cp932("\"ソラ\",#FALSE#\r\n\"ミミ\",#FALSE#\r\n\"能登\",#FALSE#\r\n"));
}

TEST_F(SpecialDialogTest, AMissingLocationIsReportedAndTheRestIsStillSaved) {
  auto d = Open();
  const std::string missing = PathText(hf / "src/gone.exe");
  host.Type(d->form(), {"Text1", 0}, PathText(hf / "src/PostPet20.exe"));
  host.Type(d->form(), {"Text1", 1}, missing);
  host.CheckItem(d->form(), "List1", 2, true);
  host.ExpectMessage(Answer::kOk).TextHas(missing + "が見つかりません").With(ui::Icon::kExclamation);
  host.Click(d->form(), "Command2");
  EXPECT_EQ(hf.Read("通常用_PostPet20.exe"), "ordinary");
  EXPECT_FALSE(hf.Exists("ノクタ用_PostPet20.exe"));
  EXPECT_EQ(hf.Setting("ppexe1"), Ordinary());
  EXPECT_EQ(hf.Setting("ppexe2"), missing);  // stays as typed: the next start reports it
  EXPECT_EQ(hf.Read("lupina2.dat"),
            HostFolder::Cp932("\"ソラ\",#FALSE#\r\n\"ミミ\",#FALSE#\r\n\"能登\",#TRUE#\r\n"));
}

TEST_F(SpecialDialogTest, AFailedCopyIsReportedNamingTheFile) {
  auto d = Open();
  host.Type(d->form(), {"Text1", 0}, PathText(hf / "src/PostPet20.exe"));
  host.Type(d->form(), {"Text1", 1}, PathText(hf / "src/patched.exe"));
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device));
  host.ExpectMessage(Answer::kOk).TextHas(Ordinary() + " にコピーできませんでした");
  host.Click(d->form(), "Command2");
  EXPECT_EQ(hf.Setting("ppexe1"), PathText(hf / "src/PostPet20.exe"));
  EXPECT_EQ(hf.Setting("ppexe2"), Patched());
}

// Enter in a text box presses OK, as in every dialog of the three programs.
TEST_F(SettingsDialogTest, EnterInAFieldPressesOk) {
  SettingsDialog dialog(settings, hf.store, host);
  host.Show(dialog.form());
  host.Type(dialog.form(), {"Text1", 0}, "Host.exe");
  host.PressEnter(dialog.form());
  EXPECT_FALSE(dialog.form().Loaded());
  EXPECT_EQ(hf.Setting("pp_name"), "Host.exe");
}

}  // namespace
}  // namespace lup
