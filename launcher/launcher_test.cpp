// Start-up and the pet list window, driven headless on temporary host folders.
#include "launcher/launcher.h"

#include "core/petname.h"
#include "tests/support/pet_names.h"

#include <gtest/gtest.h>

#include "core/fileops.h"
#include "base/text.h"
#include "launcher/launcher_fixture.h"
#include "ui/headless/headless_host.h"

namespace lup {
namespace {

using test::HostFolder;
using test::LauncherFolder;
using ui::Answer;
using ui::headless::HeadlessHost;

constexpr const char* kMissingHostTail = "詳細設定を変更する場合は「再試行」を押してください";

class LauncherTest : public ::testing::Test {
 protected:
  void Make(bool first = true) { launcher = hf.MakeLauncher(host, first); }
  StartOutcome StartWith(std::string_view commandLine = "") {
    Make();
    return launcher->Start(commandLine);
  }
  ui::Grid& grid() { return launcher->grid(); }
  std::string Status() { return launcher->form().Get<ui::Label>("Label1").Caption(); }
  // "ミミ:非非共非:0010" for every pet row.
  std::string RowsText() {
    std::string out;
    for (int r = 1; r < grid().Rows(); ++r) {
      if (!out.empty()) out += " ";
      out += grid().Cell(r, 0) + ":";
      for (int c = 1; c <= 4; ++c) out += grid().Cell(r, c);
      out += ":";
      for (int c = 5; c <= 8; ++c) out += grid().Cell(r, c);
    }
    return out;
  }

  LauncherFolder hf;
  HeadlessHost host;
  std::unique_ptr<Launcher> launcher;
};

TEST_F(LauncherTest, ASecondLauncherEndsWithoutAWordAndTouchesNothing) {
  hf.AddPet("ミミ");
  Make(/*first=*/false);
  EXPECT_EQ(launcher->Start(""), StartOutcome::Ended);
  EXPECT_TRUE(host.messages().empty());
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_FALSE(hf.Exists("lupina3.dat"));
  EXPECT_FALSE(hf.Exists("共有"));
}

TEST_F(LauncherTest, RefusesToRunBesideTheHostWhateverItsLetterCase) {
  hf.AddPet("ミミ");
  hf.processes.running = {"explorer.exe", "C:\\PP\\postpet20.EXE"};
  host.ExpectMessage(Answer::kOk)
      .Title("ルピナ・ヴィラ")
      .Text("ポストペットが起動中です\r\nlupina.exeはポストペット起動中に実行する事は出来ません")
      .With(ui::Icon::kCritical)
      .With(ui::Buttons::kOk);
  EXPECT_EQ(StartWith(), StartOutcome::Ended);
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_FALSE(hf.Exists("共有"));
}

TEST_F(LauncherTest, TheHostRunningTestUsesTheStoredExecutableNameAndSkipsTheLauncher) {
  hf.store.Set("pp_name", "Other.exe");
  hf.Write("Other.exe", "host");
  hf.processes.running = {"PostPet20.exe", "LUPINA.EXE other.exe"};
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(LauncherTest, MissingHostCancelEndsAfterTheExactMessage) {
  std::filesystem::remove(hf / "PostPet20.exe");
  host.ExpectMessage(Answer::kCancel)
      .Title("ルピナ・ヴィラ")
      .Text("PostPet20.exeが見つかりません\r\n現在ポストペットのインストール先は" + PathText(hf.D()) +
            "になっています\r\n" + kMissingHostTail)
      .With(ui::Buttons::kRetryCancel)
      .With(ui::Icon::kExclamation);
  EXPECT_EQ(StartWith(), StartOutcome::Ended);
  EXPECT_TRUE(host.modal_forms().empty());
  EXPECT_FALSE(launcher->form().Loaded());
}

TEST_F(LauncherTest, AMissingHostFolderGivesOnlyTheHostMessage) {
  hf.store.Set("pp_dir", PathText(hf / "nowhere"));
  host.ExpectMessage(Answer::kCancel).TextHas("PostPet20.exeが見つかりません");
  EXPECT_EQ(StartWith(), StartOutcome::Ended);
  EXPECT_EQ(host.messages().size(), 1u);
}

TEST_F(LauncherTest, AnUnreadableCurrentPetIsToldAndNoPetIsCurrent) {
  hf.AddPet("ミミ");
  hf.Write("lupina.dat", "\"\x81\"\r\n");  // half a CP932 character
  host.ExpectMessage(Answer::kOk).TextHas("から前回呼び出したペットの名前を読み取れませんでした");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(Status(), "現在どのペットも選択されていません");
}

// List files that other programs, older versions or a broken disk left: the
// launcher starts, lists the pets, takes a flag only from a record it can
// read, and never takes garbage for a pet's name.
struct BadList {
  const char* what;
  std::string shareList;  // \lupina3.dat
  const char* rows;       // what the list shows
};

class BadShareListTest : public LauncherTest, public ::testing::WithParamInterface<BadList> {};

TEST_P(BadShareListTest, TheLauncherStartsAndReadsWhatItCan) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  hf.Write("lupina3.dat", GetParam().shareList);
  hf.WriteCurrent("");
  EXPECT_EQ(StartWith(), StartOutcome::Shown) << GetParam().what;
  EXPECT_EQ(RowsText(), GetParam().rows) << GetParam().what;
}

std::string HugeShareList() {
  std::string list;
  for (int i = 0; list.size() < 10'000'000; ++i) list += "\"pet" + std::to_string(i) + "\",1,1,1,1\r\n";
  return HostFolder::Cp932("\"ソラ\",0,1,0,0\r\n") + list;
}

INSTANTIATE_TEST_SUITE_P(
    Lists, BadShareListTest,
    ::testing::Values(
        BadList{"empty", "", "ソラ:非非非非:0000 ミミ:非非非非:0000"},
        BadList{"10 MB", HugeShareList(), "ソラ:非共非非:0100 ミミ:非非非非:0000"},
        BadList{"cut in a record", HostFolder::Cp932("\"ソラ\",1,0,1,0\r\n\"ミミ\",1,"),
                "ソラ:共非共非:1010 ミミ:共非非非:1000"},
        BadList{"a quote never closed", HostFolder::Cp932("\"ミミ,1,1,1,1\r\n\"ソラ\",0,0,0,1\r\n"),
                "ソラ:非非非共:0001 ミミ:非非非非:0000"},
        BadList{"NUL bytes", "\"" + std::string(1, '\0') + HostFolder::Cp932("ミミ\",1,1,1,1\r\n") +
                                 std::string(3, '\0') + "\r\n" +
                                 HostFolder::Cp932("\"ソラ\",1,1,0,0\r\n"),
                "ソラ:共共非非:1100 ミミ:非非非非:0000"},
        BadList{"UTF-8 with a byte-order mark", "\xEF\xBB\xBF\"ミミ\",0,0,1,0\r\n",
                "ソラ:非非非非:0000 ミミ:非非共非:0010"}));

TEST_F(LauncherTest, MissingHostRetryOpensTheDetailedSettingsThenEnds) {
  std::filesystem::remove(hf / "PostPet20.exe");
  hf.Write("Other/Host.exe", "host");
  host.ExpectMessage(Answer::kRetry).TextHas(kMissingHostTail);
  host.ExpectModal("Form2", [&](ui::Form& f) {
    host.Type(f, {"Text1", 8}, PathText(hf / "Other"));
    host.Type(f, {"Text1", 0}, "Host.exe");
    host.Click(f, "Command1");
  });
  EXPECT_EQ(StartWith(), StartOutcome::Ended);
  EXPECT_EQ(hf.Setting("pp_dir"), PathText(hf / "Other"));
  EXPECT_EQ(hf.Setting("pp_name"), "Host.exe");
  EXPECT_FALSE(launcher->form().Loaded());
  // The next start uses the new settings.
  HeadlessHost second;
  auto next = hf.MakeLauncher(second);
  EXPECT_EQ(next->Start(""), StartOutcome::Shown);
}

TEST_F(LauncherTest, AMissingSpecialKindExecutableIsReportedAndStartUpGoesOn) {
  hf.AddPet("ミミ");
  hf.Write("ordinary.exe", "x");
  hf.store.Set("ppexe1", PathText(hf / "ordinary.exe"));
  hf.store.Set("ppexe2", PathText(hf / "patched.exe"));
  host.ExpectMessage(Answer::kOk)
      .Text(PathText(hf / "ordinary.exe") + "\r\nまたは\r\n" + PathText(hf / "patched.exe") +
            "\r\nは存在しません\r\n正しい場所を指定しなおすか\r\n"
            "ノクタ・ミラを使用しない場合は設定欄をクリアしてください")
      .With(ui::Icon::kCritical);
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(RowsText(), "ミミ:非非非非:0000");
}

TEST_F(LauncherTest, BothSpecialKindExecutablesPresentOrUnsetSayNothing) {
  hf.Write("a.exe", "x");
  hf.Write("b.exe", "x");
  hf.store.Set("ppexe1", PathText(hf / "a.exe"));
  hf.store.Set("ppexe2", PathText(hf / "b.exe"));
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(LauncherTest, FirstStartBuildsTheListFilesTheCountAndTheSharedFolder) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  hf.Write("PostPet設定.ppc", "host's own");  // the host's file is no pet
  hf.Write("おともだち帳", "friends");
  hf.Write("受信フォルダ/m1.txt", "mail");
  hf.Write("受信フォルダ/sub/deep.txt", "not copied");
  hf.Write("宝物/tzl001.pac", "box");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_TRUE(host.messages().empty());

  EXPECT_EQ(RowsText(), "ソラ:非非非非:0000 ミミ:非非非非:0000");
  EXPECT_EQ(hf.Read("lupina3.dat"), HostFolder::Cp932("\"ソラ\",0,0,0,0\r\n\"ミミ\",0,0,0,0\r\n"));
  EXPECT_EQ(hf.Read("lupina.dat"), "\"\"\r\n");
  EXPECT_EQ(hf.Setting("cnt_pet"), "2");
  EXPECT_EQ(Status(), "現在どのペットも選択されていません");
  EXPECT_EQ(grid().Row(), 1);
  EXPECT_TRUE(launcher->form().Visible());

  EXPECT_EQ(hf.Read("共有/おともだち帳"), "friends");
  EXPECT_EQ(test::NamesIn(hf / "共有"), "おともだち帳|おやつ|受信フォルダ|宝物|送信フォルダ");
  EXPECT_EQ(test::NamesIn(hf / "共有/受信フォルダ"), "m1.txt");
  EXPECT_EQ(hf.Read("共有/宝物/tzl001.pac"), "box");
}

TEST_F(LauncherTest, TheGridShowsFlagsWithTheirColoursAndHidesTheFlagColumns) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  hf.AddPet("能登");
  // ソラ twice (the first counts), ミミ with too few fields, 能登 absent, a stray pet.
  hf.Write("lupina3.dat", HostFolder::Cp932("\"ソラ\",1,0,1,0\r\n\"ソラ\",0,0,0,0\r\n\"ミミ\",0,1\r\n"
                                            "\"ハナ\",1,1,1,1\r\n"));
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(RowsText(), "ソラ:共非共非:1010 ミミ:非共非非:0100 能登:非非非非:0000");
  EXPECT_EQ(grid().CellColour(1, 1), kSharedColour);
  EXPECT_EQ(grid().CellColour(1, 2), kPerPetColour);
  EXPECT_NE(kSharedColour, kPerPetColour);
  // The name and the four share columns show side by side across the grid;
  // the flag columns behind them stay hidden.
  const char* headers[] = {"", "友", "簿", "菓", "宝"};
  ui::Twips shown = 0;
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(grid().Cell(0, c), headers[c]);
    EXPECT_GT(grid().ColWidth(c), 0) << c;
    shown += grid().ColWidth(c);
  }
  EXPECT_LE(shown, grid().Geometry().width);
  for (int c = 5; c < 9; ++c) EXPECT_EQ(grid().ColWidth(c), 0) << c;
  EXPECT_TRUE(grid().Visible());
  EXPECT_EQ(grid().ToolTip(), "Ctrl+クリックで共有・非共有の設定ができます");

  // The close box saves the list: the stray pet goes, 能登 gets its record.
  host.CloseBox(launcher->form());
  EXPECT_EQ(hf.Read("lupina3.dat"),
            HostFolder::Cp932("\"ソラ\",1,0,1,0\r\n\"ミミ\",0,1,0,0\r\n\"能登\",0,0,0,0\r\n"));
}

TEST_F(LauncherTest, AGarbledShareListShowsEveryPetPerPet) {
  hf.AddPet("ミミ");
  hf.Write("lupina3.dat", std::string("\x81\"\xff\xfe,,\r\n\"\x83\x7e\x83\x7e,1,1\n\0\0", 20));
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(RowsText(), "ミミ:非非非非:0000");
}

TEST_F(LauncherTest, AFolderInThePlaceOfTheShareListIsReported) {
  hf.AddPet("ミミ");
  std::filesystem::create_directory(hf / "lupina3.dat");
  host.ExpectMessage(Answer::kOk).TextHas(PathText(hf / "lupina3.dat"));
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(RowsText(), "ミミ:非非非非:0000");
}

TEST_F(LauncherTest, AFailedShareListWriteIsReportedAndTheListStillShows) {
  hf.AddPet("ミミ");
  hf.Write("lupina.dat", "\"\"\r\n");
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device));
  host.ExpectMessage(Answer::kOk).TextHas(PathText(hf / "lupina3.dat")).With(ui::Icon::kExclamation);
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(RowsText(), "ミミ:非非非非:0000");
}

TEST_F(LauncherTest, TheFirstCountKeepsTheCurrentPet) {
  hf.AddPet("ミミ");
  hf.Write("lupina.dat", HostFolder::Cp932("\"ミミ\"\r\n"));
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(Status(), "前回呼び出したペットは ミミ です");
  EXPECT_EQ(hf.Setting("cnt_pet"), "1");
  EXPECT_TRUE(hf.Exists("lupina.dat"));
  EXPECT_EQ(launcher->settings().currentPetName, "ミミ");
}

TEST_F(LauncherTest, AChangedPetCountForgetsTheCurrentPet) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  hf.store.Set("cnt_pet", "3");
  hf.Write("lupina.dat", HostFolder::Cp932("\"ミミ\"\r\n"));
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(Status(), "現在どのペットも選択されていません");
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_EQ(hf.Setting("cnt_pet"), "2");
  EXPECT_EQ(launcher->settings().currentPetName, "");
}

TEST_F(LauncherTest, AnUnchangedCountIsNotRewritten) {
  hf.AddPet("ミミ");
  hf.store.Set("cnt_pet", "1");
  hf.Write("lupina.dat", HostFolder::Cp932("\"ミミ\"\r\n"));
  FileOps ops;
  ScopedFileOps scoped(ops);
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(Status(), "前回呼び出したペットは ミミ です");
  EXPECT_EQ(hf.Setting("cnt_pet"), "1");
}

// A changed count: the current pet's data is saved before she is forgotten.
class CountChangeTest : public LauncherTest {
 protected:
  void SetUp() override {
    hf.AddPet("ミミ");
    hf.AddPet("ソラ");
    hf.store.Set("cnt_pet", "5");
    hf.Write("lupina.dat", HostFolder::Cp932("\"ミミ\"\r\n"));
    hf.Write("lupina3.dat", HostFolder::Cp932("\"ミミ\",0,0,1,0\r\n"));
    hf.Write("共有/おともだち帳", "");
    for (const char* d : {"宝物", "受信フォルダ", "送信フォルダ", "おやつ"}) {
      std::filesystem::create_directories(hf / (std::string("共有/") + d));
      std::filesystem::create_directories(hf / (std::string("ミミ_") + d));
    }
  }
};

TEST_F(CountChangeTest, TheCurrentPetIsPutAwayBeforeSheIsForgotten) {
  hf.Write("おともだち帳", "ミミ's friends, one more");
  hf.Write("受信フォルダ/new.mail", "ミミ's newest mail");
  hf.Write("おやつ/cake.pac", "a snack she shares");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(hf.Read("ミミ_おともだち帳"), "ミミ's friends, one more");
  EXPECT_EQ(hf.Read("ミミ_受信フォルダ/new.mail"), "ミミ's newest mail");
  EXPECT_EQ(hf.Read("共有/おやつ/cake.pac"), "a snack she shares");
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_EQ(hf.Setting("cnt_pet"), "2");
  EXPECT_EQ(launcher->settings().currentPetName, "");
  EXPECT_EQ(Status(), "現在どのペットも選択されていません");
}

TEST_F(CountChangeTest, WhenTheCurrentPetCannotBeSavedSheStaysCurrentAndTheOldCountStays) {
  hf.Write("受信フォルダ/new.mail", "ミミ's newest mail");
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailAt(1, std::make_error_code(std::errc::permission_denied));
  host.ExpectMessage(Answer::kOk)
      .TextHas("ミミのデータを保存できなかったため")
      .TextHas(PathText(hf / "ミミ_受信フォルダ/new.mail"))
      .With(ui::Icon::kCritical);
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(hf.Setting("cnt_pet"), "5");
  EXPECT_EQ(hf.CurrentOnDisk(), "ミミ");
  EXPECT_EQ(Status(), "前回呼び出したペットは ミミ です");
}

TEST_F(CountChangeTest, WhenTheOldCurrentPetCannotBeForgottenTheOldCountStays) {
  // Nothing of ミミ's in the host copies: the first operation is the removal.
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailAt(1, std::make_error_code(std::errc::permission_denied));
  host.ExpectMessage(Answer::kOk).TextHas(PathText(hf / "lupina.dat") + " を削除できませんでした");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(hf.Setting("cnt_pet"), "5");
  EXPECT_EQ(hf.CurrentOnDisk(), "ミミ");
}

TEST_F(CountChangeTest, APetNoLongerRegisteredIsForgottenWithoutAPutAway) {
  hf.Remove("ミミ_PostPet設定.ppc");
  hf.Write("受信フォルダ/new.mail", "whose is unknown");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_FALSE(hf.Exists("ミミ_受信フォルダ/new.mail"));
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_EQ(hf.Setting("cnt_pet"), "1");
}

TEST_F(LauncherTest, NoPetsMeansOnlyTheHeaderAndClicksDoNothing) {
  hf.store.Set("flg_opt1", "1");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(grid().Rows(), 1);
  host.ClickCell(launcher->form(), "List1", 0, 0);
  host.ClickCell(launcher->form(), "List1", 0, 0, ui::kCtrlKey);
  host.DoubleClickCell(launcher->form(), "List1", 0, 0);
  EXPECT_TRUE(hf.calls.empty());
  EXPECT_TRUE(host.modal_forms().empty());
  EXPECT_FALSE(host.ended());
}

TEST_F(LauncherTest, OneClickOnCallsThePetOfTheClickedRow) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  hf.Write("lupina3.dat", HostFolder::Cp932("\"ミミ\",0,1,0,1\r\n"));
  hf.store.Set("flg_opt1", "1");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(launcher->form().Get<ui::CheckBox>("Check2").Value(), 1);
  host.ClickCell(launcher->form(), "List1", 2, 0);
  ASSERT_EQ(hf.calls.size(), 1u);
  EXPECT_EQ(hf.calls[0].called, 1);
  ASSERT_EQ(hf.calls[0].pets.size(), 2u);
  EXPECT_EQ(hf.calls[0].pets[1].name, "ミミ");
  EXPECT_EQ(hf.calls[0].pets[1].flags, (ShareFlags{0, 1, 0, 1}));
  EXPECT_TRUE(hf.calls[0].ownerDisabled);
  EXPECT_TRUE(host.ended());
  EXPECT_FALSE(host.busy());
}

TEST_F(LauncherTest, OneClickOffNeedsADoubleClick) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(launcher->form().Get<ui::CheckBox>("Check2").Value(), 0);
  host.ClickCell(launcher->form(), "List1", 2, 0);
  EXPECT_TRUE(hf.calls.empty());
  host.DoubleClickCell(launcher->form(), "List1", 2, 0);
  ASSERT_EQ(hf.calls.size(), 1u);
  EXPECT_EQ(hf.calls[0].called, 1);
  EXPECT_TRUE(host.ended());
}

TEST_F(LauncherTest, CtrlClickOpensTheShareDialogForTheRowAndCallsNoPet) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  hf.Write("lupina3.dat", HostFolder::Cp932("\"ミミ\",1,0,0,1\r\n"));
  hf.store.Set("flg_opt1", "1");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  host.ExpectModal("Form4", [&](ui::Form& f) {
    EXPECT_EQ(f.Caption(), "共有・非共有の設定");
    EXPECT_EQ(f.Get<ui::Label>("Label1").Caption(), "ミミ");
    EXPECT_EQ(f.Get<ui::CheckBox>("Check1").Value(), 1);
    EXPECT_EQ(f.Get<ui::CheckBox>("Check2").Value(), 0);
    EXPECT_EQ(f.Get<ui::CheckBox>("Check3").Value(), 0);
    EXPECT_EQ(f.Get<ui::CheckBox>("Check4").Value(), 1);
    host.Click(f, "Check2");
    host.Click(f, "Command1");
  });
  for (int ticked = 0; ticked < 3; ++ticked) host.ExpectMessage(Answer::kNo).TextHas("ミミの");
  host.ClickCell(launcher->form(), "List1", 2, 0, ui::kCtrlKey);
  // OK hands the new flags back to the row the dialog was opened for.
  EXPECT_EQ(RowsText(), "ソラ:非非非非:0000 ミミ:共共非共:1101");
  EXPECT_TRUE(hf.calls.empty());
  EXPECT_FALSE(host.ended());
  // The right button never calls.
  host.MouseDownCell(launcher->form(), "List1", 1, 0, ui::MouseButton::kRight);
  EXPECT_TRUE(hf.calls.empty());
}

TEST_F(LauncherTest, QuitKeepsTheOneClickOptionButNotTheListWhileTheCloseBoxDoesTheOpposite) {
  hf.AddPet("ミミ");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  const std::string listBefore = hf.Read("lupina3.dat");
  hf.Write("lupina3.dat", "untouched");
  host.Click(launcher->form(), "Check2");
  EXPECT_EQ(launcher->settings().oneClickLaunch, 1);
  host.Click(launcher->form(), "Command1");
  EXPECT_TRUE(host.quit_called());
  EXPECT_EQ(hf.Setting("flg_opt1"), "1");
  EXPECT_EQ(hf.Setting("pp_name"), "PostPet20.exe");
  EXPECT_EQ(hf.Read("lupina3.dat"), "untouched");

  HeadlessHost second;
  auto next = hf.MakeLauncher(second);
  EXPECT_EQ(next->Start(""), StartOutcome::Shown);
  EXPECT_EQ(next->form().Get<ui::CheckBox>("Check2").Value(), 1);
  second.Click(next->form(), "Check2");
  second.CloseBox(next->form());
  EXPECT_EQ(hf.Setting("flg_opt1"), "1");  // the change is lost
  EXPECT_EQ(hf.Read("lupina3.dat"), listBefore);
}

TEST_F(LauncherTest, AFailedListSaveOnTheCloseBoxIsReported) {
  hf.AddPet("ミミ");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  FileOps ops;
  ScopedFileOps scoped(ops);
  ops.FailAt(1, std::make_error_code(std::errc::read_only_file_system));
  host.ExpectMessage(Answer::kOk).TextHas(PathText(hf / "lupina3.dat") + " に書き込めませんでした");
  host.CloseBox(launcher->form());
}

TEST_F(LauncherTest, TheVersionBox) {
  EXPECT_EQ(VersionText(kLauncherTitle, {1, 6, 4}), "ルピナ・ヴィラ Ver.1.64");
  EXPECT_EQ(VersionText(kLauncherTitle, {2, 0, 13}), "ルピナ・ヴィラ Ver.2.013");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  host.ExpectMessage(Answer::kOk)
      .Title("ﾊﾞｰｼﾞｮﾝ情報")
      .Text("ルピナ・ヴィラ Ver.1.64")
      .With(ui::Icon::kNone)
      .With(ui::Buttons::kOk);
  host.Click(launcher->form(), "Command3");
}

TEST_F(LauncherTest, TheSettingsButtonOpensTheDetailedSettings) {
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  host.ExpectModal("Form2", [&](ui::Form& f) { host.CloseBox(f); });
  host.Click(launcher->form(), "Command2");
  EXPECT_EQ(host.modal_forms(), std::vector<std::string>{"Form2"});
}

TEST_F(LauncherTest, TheSharedFolderKeepsWhatItHas) {
  hf.Write("おともだち帳", "host friends");
  hf.Write("共有/おともだち帳", "shared friends");
  hf.Write("おやつ/a.pac", "host snack");
  hf.Write("共有/おやつ/b.pac", "shared snack");
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  EXPECT_EQ(hf.Read("共有/おともだち帳"), "shared friends");
  EXPECT_EQ(test::NamesIn(hf / "共有/おやつ"), "b.pac");
}

TEST_F(LauncherTest, SharedFolderFailuresAreReportedTogether) {
  hf.Write("共有", "a file where the folder should be");
  host.ExpectMessage(Answer::kOk).TextHas("の準備中に失敗しました").With(ui::Icon::kExclamation);
  EXPECT_EQ(StartWith(), StartOutcome::Shown);
  ASSERT_EQ(host.messages().size(), 1u);
  EXPECT_NE(host.messages()[0].message.text.find(PathText(hf / "共有/宝物")), std::string::npos);
}

// ---- the command line ----

TEST_F(LauncherTest, CommandLinePetInQuotesIsCalledWithoutShowingTheWindow) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  EXPECT_EQ(StartWith("\"ミミ\""), StartOutcome::Called);
  ASSERT_EQ(hf.calls.size(), 1u);
  EXPECT_EQ(hf.calls[0].pets.at(hf.calls[0].called).name, "ミミ");
  EXPECT_FALSE(launcher->form().Loaded());
  EXPECT_TRUE(host.ended());
  // Start-up ran through before the call.
  EXPECT_TRUE(hf.Exists("lupina3.dat"));
  EXPECT_EQ(hf.Setting("cnt_pet"), "2");
}

TEST_F(LauncherTest, CommandLinePetNameRules) {
  EXPECT_EQ(CommandLinePetName("\"ミミ\""), "ミミ");
  EXPECT_EQ(CommandLinePetName("  \"能\"登\"  "), "能登");
  EXPECT_EQ(CommandLinePetName(" "), "");
  EXPECT_EQ(CommandLinePetName("\"\""), "");
}

TEST_F(LauncherTest, AnEmptyCommandLineShowsTheWindow) {
  hf.AddPet("ミミ");
  EXPECT_EQ(StartWith("\"\""), StartOutcome::Shown);
  EXPECT_TRUE(hf.calls.empty());
}

TEST_F(LauncherTest, AnUnregisteredCommandLinePetIsReportedAndNothingIsCalled) {
  hf.AddPet("ミミ");
  host.ExpectMessage(Answer::kOk).Text("ハナは存在しないペットです").With(ui::Icon::kCritical);
  EXPECT_EQ(StartWith("ハナ"), StartOutcome::Ended);
  EXPECT_TRUE(hf.calls.empty());
  EXPECT_FALSE(launcher->form().Loaded());
}

TEST_F(LauncherTest, AHostFolderWithoutItsDriveIsNotTakenForOne) {
  // A folder given without its drive would move with the working folder.
  hf.store.Set("pp_dir", "PostPet for Windows ver. 2.0");
  std::filesystem::current_path(hf.D().parent_path());
  host.ExpectMessage(Answer::kCancel)
      .TextHas("PostPet20.exeが見つかりません\r\n現在ポストペットのインストール先はPostPet for Windows ver. 2.0になっています")
      .With(ui::Buttons::kRetryCancel);
  EXPECT_EQ(StartWith(), StartOutcome::Ended);
  std::filesystem::current_path(hf.Programs());
}

// Host folders that hold no host: a share of another computer that is not
// there, a path longer than the system's old limit. Each is told as a host
// not found, and nothing is written anywhere.
TEST_F(LauncherTest, HostFoldersThatHoldNoHostAreToldAndNothingIsWritten) {
  std::string longFolder = PathText(hf.D());
  while (longFolder.size() <= 300) longFolder += "\\ポストペット置き場";
  for (const std::string& folder : {std::string("\\\\no-such-server\\share\\PostPet"), longFolder}) {
    SCOPED_TRACE(folder);
    hf.store.Set("pp_dir", folder);
    host.ExpectMessage(Answer::kCancel)
        .TextHas("PostPet20.exeが見つかりません\r\n現在ポストペットのインストール先は" + folder + "になっています")
        .With(ui::Buttons::kRetryCancel);
    EXPECT_EQ(StartWith(), StartOutcome::Ended);
    EXPECT_FALSE(hf.Exists("lupina3.dat"));
    EXPECT_FALSE(hf.Exists("lupina.dat"));
  }
}

TEST_F(LauncherTest, EnterOnThePetListCallsTheCurrentPetAsADoubleClickDoes) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  ASSERT_EQ(StartWith(), StartOutcome::Shown);
  grid().SetFocus();
  grid().SetRow(2);
  host.PressEnter(launcher->form());
  ASSERT_EQ(hf.calls.size(), 1u);
  EXPECT_EQ(hf.calls[0].pets.at(hf.calls[0].called).name, "ミミ");
}

TEST_F(LauncherTest, EveryHostileCommandLineNameIsToldAndNothingIsTouched) {
  hf.AddPet("ミミ");
  hf.AddPet("ソラ");
  hf.Write("lupina3.dat", HostFolder::Cp932("\"ミミ\",0,0,0,0\r\n\"ソラ\",0,0,0,0\r\n"));
  hf.WriteCurrent("ミミ");
  hf.store.Set("cnt_pet", "2");
  std::filesystem::create_directories(hf / "共有/宝物");
  for (const char* d : {"受信フォルダ", "送信フォルダ", "おやつ"})
    std::filesystem::create_directories(hf / (std::string("共有/") + d));
  hf.Write("共有/おともだち帳", "");
  const auto before = hf.Snapshot();
  for (const std::string& name : test::kHostilePetNames) {
    const std::string given = CommandLinePetName(name);
    if (given.empty()) continue;  // no name: the window is shown
    HeadlessHost fresh;
    launcher = hf.MakeLauncher(fresh);
    fresh.ExpectMessage(Answer::kOk).Text(given + "は存在しないペットです").With(ui::Icon::kCritical);
    EXPECT_EQ(launcher->Start(name), StartOutcome::Ended) << name;
    fresh.VerifyAllAnswered();
  }
  EXPECT_TRUE(hf.calls.empty());
  EXPECT_EQ(hf.Snapshot(), before);
}

TEST_F(LauncherTest, EveryOrdinaryNameIsCalledFromTheCommandLine) {
  for (const std::string& typed : test::kPetNames) hf.AddPet(StoredPetName(typed));
  hf.store.Set("cnt_pet", std::to_string(test::kPetNames.size()));
  for (const std::string& typed : test::kPetNames) {
    const std::string name = StoredPetName(typed);
    HeadlessHost fresh;
    launcher = hf.MakeLauncher(fresh);
    hf.calls.clear();
    EXPECT_EQ(launcher->Start("\"" + name + "\""), StartOutcome::Called) << name;
    ASSERT_EQ(hf.calls.size(), 1u) << name;
    EXPECT_EQ(hf.calls[0].pets.at(hf.calls[0].called).name, name);
  }
}

TEST_F(LauncherTest, ACommandLineNameThatCannotBeAPetNameTouchesNoPath) {
  hf.AddPet("ミミ");
  // "..\\x" or "a_b" would reach other files by plain concatenation.
  hf.Write("a_b_PostPet設定.ppc", "x");
  test::WriteBytes(hf.D().parent_path() / U8Path("x_PostPet設定.ppc"), "x");
  for (const char* bad : {"../x", "..\\x", "a_b", "ミミ*", "CON"}) {
    SCOPED_TRACE(bad);
    HeadlessHost h;
    auto l = hf.MakeLauncher(h);
    h.ExpectMessage(Answer::kOk).Text(std::string(bad) + "は存在しないペットです");
    EXPECT_EQ(l->Start(bad), StartOutcome::Ended);
  }
  EXPECT_TRUE(hf.calls.empty());
}

}  // namespace
}  // namespace lup
