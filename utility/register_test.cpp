// Registering pets, both ways, through every answer, headless.
#include <gtest/gtest.h>

#include "base/text.h"
#include "core/fileops.h"
#include "ui/headless/headless_host.h"
#include "utility/register.h"
#include "core/petname.h"
#include "tests/support/pet_names.h"
#include "utility/utility_fixture.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::UtilityFolder;
using ui::Answer;
using ui::headless::HeadlessHost;

constexpr const char* kTitle = "ルピナ・ヴィラ用ユーティリティ";
constexpr const char* kSpecialQuestion = "新しく作成するペットはノクタ・ミラですか？";
constexpr const char* kCancelled = "ペットの新規作成がキャンセルされました";
constexpr const char* kTakeOverTail = "\r\n「いいえ」を選択すると、起動時に新規作成されます(非共有時)";

class RegisterTest : public ::testing::Test {
 protected:
  RegisterTest() {
    hf.Write("PostPet設定.ppc", "current pet");
    hf.WriteCurrent("ミミ");
    hf.AddPet("ミミ", "mimi");
    menu = hf.MakeMenu(host);
    EXPECT_TRUE(menu->Start());
  }
  ui::Form& Menu() { return menu->form(); }
  // The host, when started, makes a new pet.
  void HostMakesPet(std::string content = "new pet") {
    hf.processes.onStart = [this, content](const StartRequest&) { hf.Write("PostPet設定.ppc", content); };
  }
  void ExpectName(const std::string& name) {
    host.ExpectModal("Form2", [this, name](ui::Form& f) {
      host.Type(f, "Text1", name);
      host.Click(f, "Command1");
    });
  }
  void ExpectNotSpecial() { host.ExpectMessage(Answer::kNo).Text(kSpecialQuestion); }

  UtilityFolder hf;
  HeadlessHost host;
  std::unique_ptr<MenuWindow> menu;
};

// ---- the first way: a new pet ----------------------------------------------------

TEST_F(RegisterTest, ANewPetIsRegisteredAndTheHostsOwnSettingsFileComesBack) {
  HostMakesPet();
  bool menuEnabledWhileWaiting = true;
  host.on_idle = [&] { menuEnabledWhileWaiting = Menu().Enabled(); };
  host.ExpectMessage(Answer::kNo).Title(kTitle).Text(kSpecialQuestion).With(ui::Buttons::kYesNo).With(ui::Icon::kNone).DefaultButton(1);
  host.ExpectModal("Form2", [&](ui::Form& f) {
    EXPECT_EQ(f.Get<ui::Label>("Label1").Caption(), "新しいペットの名前を入力してください");
    EXPECT_EQ(f.Caption(), "");
    EXPECT_FALSE(f.Get<ui::Button>("Command1").Enabled());
    // The host's settings file is set aside while the host runs.
    EXPECT_EQ(hf.Read("PostPet設定.ppcbak"), "current pet");
    host.Type(f, "Text1", "ハナ");
    EXPECT_TRUE(f.Get<ui::Button>("Command1").Enabled());
    host.Type(f, "Text1", "");
    EXPECT_FALSE(f.Get<ui::Button>("Command1").Enabled());
    host.Type(f, "Text1", "ハナ");
    host.PressEnter(f);  // Enter presses OK
  });
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました").With(ui::Icon::kInformation);
  host.Click(Menu(), "Command1");

  ASSERT_EQ(hf.processes.started.size(), 1u);
  EXPECT_EQ(hf.processes.started[0].program, hf / "PostPet20.exe");
  EXPECT_EQ(hf.processes.started[0].show, ShowState::NormalFocus);
  EXPECT_EQ(hf.processes.waits, 1);
  EXPECT_EQ(hf.processes.pumps, 1);
  EXPECT_FALSE(menuEnabledWhileWaiting);
  EXPECT_TRUE(Menu().Enabled());
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "new pet");
  EXPECT_EQ(hf.Read("bak/ハナ_PostPet設定.ppc.bak"), "new pet");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  // ミミ was current: her settings, as the host held them, were put away
  // before the host ran.
  EXPECT_EQ(hf.Read("ミミ_PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(host.busy());
}

TEST_F(RegisterTest, WithoutAHostSettingsFileNothingIsSetAsideOrGivenBack) {
  hf.Remove("PostPet設定.ppc");
  HostMakesPet();
  ExpectNotSpecial();
  ExpectName("ハナ");
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "new pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppc"));
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
}

TEST_F(RegisterTest, ASpecialKindPetStartsTheKeptPatchedHostAndIsNamedInTheReminder) {
  hf.Write("patched.exe", "x");
  hf.Write("ordinary.exe", "x");
  hf.store.Set("ppexe1", PathText(hf / "ordinary.exe"));
  hf.store.Set("ppexe2", PathText(hf / "patched.exe"));
  menu = hf.MakeMenu(host);
  ASSERT_TRUE(menu->Start());
  HostMakesPet();
  host.ExpectMessage(Answer::kYes).Text(kSpecialQuestion);
  ExpectName("ノクタ");
  host.ExpectMessage(Answer::kOk).Text("ノクタをルピナ・ヴィラに登録しました");
  host.ExpectMessage(Answer::kOk)
      .Text("ルピナ・ヴィラの詳細設定のノクタ・ミラ用設定で\r\n「ノクタ」のチェックをオンにしてください")
      .With(ui::Icon::kInformation);
  host.Click(Menu(), "Command1");
  ASSERT_EQ(hf.processes.started.size(), 1u);
  EXPECT_EQ(hf.processes.started[0].program, hf / "patched.exe");

  // An ordinary pet then starts the kept ordinary host.
  HostMakesPet();
  ExpectNotSpecial();
  ExpectName("ハナ");
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.processes.started.at(1).program, hf / "ordinary.exe");
}

TEST_F(RegisterTest, NoPatchedHostChosenCancelsAndGivesTheSettingsFileBack) {
  host.ExpectMessage(Answer::kYes).Text(kSpecialQuestion);
  host.ExpectMessage(Answer::kOk).Text("ノクタ・ミラ用に書き換えたPostPetプログラムを選択してください。").With(ui::Icon::kNone);
  host.ExpectOpenFile({})
      .Title("ノクタ・ミラ用に書き換えたPostPetプログラムを選択")
      .Filter("プログラム", "*.exe")
      .InitialFolder(hf.D());
  host.ExpectMessage(Answer::kOk).Text(kCancelled).With(ui::Icon::kCritical);
  host.Click(Menu(), "Command1");
  EXPECT_TRUE(hf.processes.started.empty());
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
  EXPECT_TRUE(hf.Exists("lupina.dat"));
}

TEST_F(RegisterTest, AChosenPatchedHostIsStarted) {
  hf.Write("elsewhere/patched.exe", "x");
  HostMakesPet();
  host.ExpectMessage(Answer::kYes).Text(kSpecialQuestion);
  host.ExpectMessage(Answer::kOk);
  host.ExpectOpenFile(hf / "elsewhere/patched.exe");
  ExpectName("ノクタ");
  host.ExpectMessage(Answer::kOk).Text("ノクタをルピナ・ヴィラに登録しました");
  host.ExpectMessage(Answer::kOk).TextHas("「ノクタ」");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.processes.started.at(0).program, hf / "elsewhere/patched.exe");
}

TEST_F(RegisterTest, AHostThatMadeNoPetOrCouldNotStartCancelsAndGivesTheFileBack) {
  ExpectNotSpecial();
  host.ExpectMessage(Answer::kOk).Text(kCancelled);
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
  EXPECT_TRUE(hf.Exists("lupina.dat"));

  hf.processes.failStart = "アクセスが拒否されました。";
  ExpectNotSpecial();
  host.ExpectMessage(Answer::kOk)
      .Text(PathText(hf / "PostPet20.exe") + " を起動できませんでした\r\nアクセスが拒否されました。")
      .With(ui::Icon::kCritical);
  host.ExpectMessage(Answer::kOk).Text(kCancelled);
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
}

TEST_F(RegisterTest, NeitherWayRunsBesideTheHostAndNothingIsTouched) {
  hf.processes.running = {"C:\\PP\\POSTPET20.EXE"};
  const auto before = hf.Snapshot();
  const std::string refusal = "ポストペット（PostPet20.exe）が起動中です\r\nポストペットを終了してから、もう一度実行してください";
  host.ExpectMessage(Answer::kOk).Text(refusal).With(ui::Icon::kCritical);
  host.Click(Menu(), "Command1");
  host.ExpectMessage(Answer::kOk).Text(refusal);
  host.Click(Menu(), "Command2");
  EXPECT_TRUE(hf.processes.started.empty());
  EXPECT_TRUE(host.file_requests().empty());
  EXPECT_EQ(hf.Snapshot(), before);
}

TEST_F(RegisterTest, ACurrentPetThatCannotBePutAwayStopsANewPetBeforeTheHostRuns) {
  const auto before = hf.Snapshot();
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device));
  host.ExpectMessage(Answer::kOk)
      .TextHas("前回呼び出したペットのデータを保存できなかったため、作業を中止しました")
      .With(ui::Icon::kCritical);
  host.Click(Menu(), "Command1");
  EXPECT_TRUE(hf.processes.started.empty());
  EXPECT_EQ(hf.Snapshot(), before);
}

// What an interrupted creation leaves: no pet current (she was released
// before the host ran), the host's settings file set aside.
TEST_F(RegisterTest, ASetAsideFileLeftWhileNoPetIsCurrentIsGivenBackFirst) {
  hf.Remove("PostPet設定.ppc");
  hf.Write("PostPet設定.ppcbak", "the pet the host held");
  hf.Remove("lupina.dat");
  ExpectNotSpecial();
  host.ExpectMessage(Answer::kOk).Text(kCancelled);
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "the pet the host held");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
}

TEST_F(RegisterTest, ASetAsideFileWhileAPetIsCurrentIsNeverGivenBackUnderHerName) {
  // A call put ミミ into the host since: her settings file is the host's.
  hf.Write("PostPet設定.ppcbak", "mimi");  // the same as ミミ's own copy
  const auto before = hf.Snapshot();
  host.ExpectMessage(Answer::kOk)
      .Text("前回の新しいペットの作成が途中で終わっています\r\n" + PathText(hf / "PostPet設定.ppcbak") +
            " は、その前にポストペットに入っていたペットの設定ファイルです（ミミの設定ファイルと同じ内容です）\r\n" +
            PathText(hf / "PostPet設定.ppc") + " は、今ポストペットに入っているミミの設定ファイルです\r\n" +
            "今ポストペットに入っているペットのデータとして保存されないよう、" + PathText(hf / "PostPet設定.ppcbak") +
            " を別の場所に移してから、もう一度実行してください")
      .With(ui::Icon::kExclamation);
  host.Click(Menu(), "Command1");
  // \lupina.dat unreadable: whose the host's file is cannot be said.
  hf.Put("lupina.dat", "\"unterminated");
  hf.Remove("PostPet設定.ppc");
  host.ExpectMessage(Answer::kOk)
      .TextHas(PathText(hf / "PostPet設定.ppcbak") + " は、その前にポストペットに入っていたペットの設定ファイルです")
      .TextHas("を別の場所に移してから");
  host.Click(Menu(), "Command1");
  EXPECT_TRUE(hf.processes.started.empty());
  EXPECT_EQ(hf.Read("PostPet設定.ppcbak"), "mimi");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppc"));
  EXPECT_EQ(hf.Read("ミミ_PostPet設定.ppc"), "mimi");
  host.VerifyAllAnswered();
}

TEST_F(RegisterTest, ANewPetLeftUnnamedIsNamedOnTheNextTryOrLeftAsItIs) {
  hf.Remove("lupina.dat");
  hf.Write("PostPet設定.ppcbak", "current pet");
  hf.Write("PostPet設定.ppc", "the pet the host made");
  const auto before = hf.Snapshot();
  const std::string question =
      "前回の新しいペットの作成が途中で終わっています\r\n" + PathText(hf / "PostPet設定.ppc") +
      " は、そのときポストペットが作成したペットの設定ファイルです（登録されたどのペットの設定ファイルとも違う内容です）\r\n" +
      PathText(hf / "PostPet設定.ppcbak") +
      " は、その前にポストペットに入っていたペットの設定ファイルです（登録されたどのペットの設定ファイルとも違う内容です）\r\n\r\n" +
      "作成されたペットを今登録しますか？\r\n「いいえ」を押すと、何も変更せずに終わります";
  host.ExpectMessage(Answer::kNo).Text(question).With(ui::Buttons::kYesNo);
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Snapshot(), before);

  host.ExpectMessage(Answer::kYes).Text(question);
  ExpectName("ハナ");
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_TRUE(hf.processes.started.empty());  // the host made her already
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "the pet the host made");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
  EXPECT_FALSE(hf.Exists("lupina.dat"));
}

TEST_F(RegisterTest, ANewPetRegisteredBeforeTheCreationWasCutOffOnlyGetsTheHostsFileBack) {
  hf.Remove("lupina.dat");
  hf.Write("PostPet設定.ppcbak", "current pet");
  hf.Write("PostPet設定.ppc", "ハナ");
  hf.AddPet("ハナ", "ハナ");
  host.ExpectMessage(Answer::kOk)
      .Text("前回の新しいペットの作成が途中で終わっています\r\nハナは登録されていたので、作成を最後まで終えました")
      .With(ui::Icon::kInformation);
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "ハナ");
  EXPECT_TRUE(hf.processes.started.empty());
}

TEST_F(RegisterTest, AnUnreadableCurrentPetRecordIsKeptAndANewPetMadeOnlyOnYes) {
  hf.Put("lupina.dat", "\"unterminated");
  const auto before = hf.Snapshot();
  const std::string question = PathText(hf / "lupina.dat") +
                               "を読み込めないため、ポストペットが今どのペットのデータを持っているか分かりません\r\n"
                               "そのデータは保存されずに残ります。新しいペットを作成しますか？";
  host.ExpectMessage(Answer::kNo).Text(question).DefaultButton(1);
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Snapshot(), before);

  HostMakesPet();
  host.ExpectMessage(Answer::kYes).Text(question);
  ExpectNotSpecial();
  ExpectName("ハナ");
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "new pet");
  EXPECT_EQ(hf.Read("lupina.dat"), "\"unterminated");  // the next call still asks
}

TEST_F(RegisterTest, ABadNameIsRefusedBeforeAnythingIsWrittenAndTheDialogStays) {
  HostMakesPet();
  ExpectNotSpecial();
  const char* const bad[] = {"ハ_ナ", "CON", " ハナ", "ハナ.", "ハ\"ナ", "a/b"};
  host.ExpectModal("Form2", [&](ui::Form& f) {
    for (const char* name : bad) {
      host.Type(f, "Text1", name);
      host.Click(f, "Command1");
      EXPECT_TRUE(f.Visible()) << name;
      EXPECT_FALSE(hf.Exists("bak")) << name;
    }
    host.Type(f, "Text1", "ハナ");
    host.Click(f, "Command1");
  });
  for (std::size_t i = 0; i < std::size(bad); ++i)
    host.ExpectMessage(Answer::kOk).TextHas("別の名前を入力してください").With(ui::Icon::kExclamation);
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(test::NamesIn(hf / "bak"), "ハナ_PostPet設定.ppc.bak");
  EXPECT_EQ(host.messages().at(1).message.text, "ペットの名前に「_」は使えません\r\n別の名前を入力してください");
}

TEST_F(RegisterTest, ARegisteredNameIsOverwrittenOnlyOnYes) {
  hf.Write("bak/ミミ_PostPet設定.ppc.bak", "mimi's backup");
  HostMakesPet();
  ExpectNotSpecial();
  host.ExpectModal("Form2", [&](ui::Form& f) {
    host.Type(f, "Text1", "ミミ");
    host.Click(f, "Command1");
    EXPECT_TRUE(f.Visible());
    EXPECT_EQ(hf.Read("ミミ_PostPet設定.ppc"), "current pet");  // put away before the host ran
    EXPECT_EQ(hf.Read("bak/ミミ_PostPet設定.ppc.bak"), "mimi's backup");
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kNo)
      .Text("ミミはすでに登録されています\r\n" + PathText(hf / "ミミ_PostPet設定.ppc") +
            " とそのバックアップを上書きしてもよろしいですか？")
      .With(ui::Buttons::kYesNo)
      .DefaultButton(1);
  host.ExpectMessage(Answer::kYes).TextHas("ミミはすでに登録されています");
  host.ExpectMessage(Answer::kOk).Text("ミミをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("ミミ_PostPet設定.ppc"), "new pet");
  EXPECT_EQ(hf.Read("bak/ミミ_PostPet設定.ppc.bak"), "new pet");
}

TEST_F(RegisterTest, ClosingTheNameDialogAsksBeforeTheNewPetIsLost) {
  HostMakesPet();
  ExpectNotSpecial();
  host.ExpectModal("Form2", [&](ui::Form& f) { host.CloseBox(f); });
  host.ExpectMessage(Answer::kNo).TextHas("新しいペットを登録せずに終了しますか？").DefaultButton(1);
  ExpectName("ハナ");
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "new pet");

  // Yes: the new pet is not kept; the host's own file comes back.
  HostMakesPet("unwanted");
  ExpectNotSpecial();
  host.ExpectModal("Form2", [&](ui::Form& f) { host.CloseBox(f); });
  host.ExpectMessage(Answer::kYes).TextHas("新しいペットを登録せずに終了しますか？");
  host.ExpectMessage(Answer::kOk).Text(kCancelled);
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
}

TEST_F(RegisterTest, ASettingsFileThatCannotBeWrittenIsReportedAndBothFilesStay) {
  HostMakesPet();
  ExpectNotSpecial();
  FileOps ops;
  ScopedFileOps scope(ops);
  host.ExpectModal("Form2", [&](ui::Form& f) {
    host.Type(f, "Text1", "ハナ");
    ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device));
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk)
      .TextHas(PathText(hf / "ハナ_PostPet設定.ppc") + " にコピーできませんでした（ディスクの空き容量が足りません）")
      .TextHas("ハナを登録できませんでした");
  host.ExpectMessage(Answer::kOk)
      .Text("新しいペットの設定ファイルは " + PathText(hf / "PostPet設定.ppc") + " に、\r\n元の設定ファイルは " +
            PathText(hf / "PostPet設定.ppcbak") + " に残してあります");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "new pet");
  EXPECT_EQ(hf.Read("PostPet設定.ppcbak"), "current pet");
  EXPECT_FALSE(hf.Exists("ハナ_PostPet設定.ppc"));
  for (const auto& m : host.messages()) EXPECT_EQ(m.message.text.find("登録しました"), std::string::npos);
}

TEST_F(RegisterTest, AFailedBackupIsNamedAndNoSuccessIsSaid) {
  HostMakesPet();
  ExpectNotSpecial();
  FileOps ops;
  ScopedFileOps scope(ops);
  host.ExpectModal("Form2", [&](ui::Form& f) {
    host.Type(f, "Text1", "ハナ");
    ops.FailAt(3, std::make_error_code(std::errc::permission_denied));  // copy, bak folder, backup
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk)
      .TextHas("バックアップを作成できませんでした")
      .TextHas(PathText(hf / "bak/ハナ_PostPet設定.ppc.bak") + " にコピーできませんでした");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "new pet");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "current pet");
  for (const auto& m : host.messages()) EXPECT_EQ(m.message.text.find("をルピナ・ヴィラに登録しました"), std::string::npos);
}

// ---- the second way: the pet the host holds ------------------------------------------

class CurrentPetTest : public RegisterTest {
 protected:
  void Choose(const fs::path& file) {
    host.ExpectOpenFile(file)
        .Title("変換するPostPet設定.ppcを選択")
        .Filter("PostPet設定.ppc", "PostPet設定.ppc")
        .InitialFolder(hf.D());
  }
  void Reply(const char* firstLine, ui::Answer a) {
    host.ExpectMessage(a).Text(std::string(firstLine) + kTakeOverTail).With(ui::Icon::kQuestion).With(ui::Buttons::kYesNo);
  }
};

TEST_F(CurrentPetTest, RegisteringFromTheHostsOwnFileTakesOverTheHostCopies) {
  hf.PutItems("", "host");
  Choose(hf / "PostPet設定.ppc");
  host.ExpectModal("Form2", [&](ui::Form& f) {
    EXPECT_EQ(f.Get<ui::Label>("Label1").Caption(), "ペットの名前を入力してください");
    host.Type(f, "Text1", "ソラ");
    host.Click(f, "Command1");
  });
  Reply("現在のおともだち帳を引き継ぎますか？", ui::Answer::kYes);
  Reply("現在の宝箱を引き継ぎますか？", ui::Answer::kYes);
  Reply("現在の送受信簿を引き継ぎますか？", ui::Answer::kYes);
  Reply("現在のおやつを引き継ぎますか？", ui::Answer::kNo);
  host.ExpectMessage(ui::Answer::kOk).Text("ソラをルピナ・ヴィラに登録しました").With(ui::Icon::kInformation);
  host.Click(Menu(), "Command2");
  EXPECT_EQ(hf.Read("ソラ_PostPet設定.ppc"), hf.Read("PostPet設定.ppc"));
  EXPECT_TRUE(hf.Exists("bak/ソラ_PostPet設定.ppc.bak"));
  EXPECT_EQ(hf.Read("ソラ_おともだち帳"), hf.Read("おともだち帳"));
  EXPECT_EQ(test::NamesIn(hf / "ソラ_宝物"), test::NamesIn(hf / "宝物"));
  EXPECT_EQ(test::NamesIn(hf / "ソラ_受信フォルダ"), test::NamesIn(hf / "受信フォルダ"));
  EXPECT_EQ(test::NamesIn(hf / "ソラ_送信フォルダ"), test::NamesIn(hf / "送信フォルダ"));
  EXPECT_FALSE(hf.Exists("ソラ_おやつ"));
  EXPECT_FALSE(hf.Exists("lupina.dat"));
  EXPECT_TRUE(hf.processes.started.empty());
}

TEST_F(CurrentPetTest, EveryHostileNameIsRefusedAndNothingIsWritten) {
  Choose(hf / "PostPet設定.ppc");
  const auto before = hf.Snapshot();
  int refused = 0;
  host.ExpectModal("Form2", [&](ui::Form& f) {
    for (const std::string& name : test::kHostilePetNames) {
      if (name.empty()) continue;  // OK is not even enabled
      host.Type(f, "Text1", name);
      host.Click(f, "Command1");
      EXPECT_TRUE(f.Visible()) << name;
      EXPECT_EQ(hf.Snapshot(), before) << name;
      ++refused;
    }
    host.CloseBox(f);
  });
  for (const std::string& name : test::kHostilePetNames)
    if (!name.empty()) host.ExpectMessage(ui::Answer::kOk).TextHas("別の名前を入力してください");
  host.Click(Menu(), "Command2");
  EXPECT_GE(refused, 40);
  EXPECT_EQ(hf.Snapshot(), before);
}

TEST_F(CurrentPetTest, EveryOrdinaryNameIsRegisteredUnderTheNameThatReadsBack) {
  for (const std::string& typed : test::kPetNames) {
    const std::string name = StoredPetName(typed);
    Choose(hf / "PostPet設定.ppc");
    ExpectName(typed);
    for (const char* q : {"現在のおともだち帳を引き継ぎますか？", "現在の宝箱を引き継ぎますか？",
                          "現在の送受信簿を引き継ぎますか？", "現在のおやつを引き継ぎますか？"})
      Reply(q, ui::Answer::kNo);
    host.ExpectMessage(ui::Answer::kOk).Text(name + "をルピナ・ヴィラに登録しました");
    host.Click(Menu(), "Command2");
    EXPECT_EQ(hf.Read(name + "_PostPet設定.ppc"), "current pet") << typed;
    EXPECT_TRUE(hf.Exists("bak/" + name + "_PostPet設定.ppc.bak")) << typed;
  }
  std::vector<std::string> pets;
  ASSERT_TRUE(PetStore(ReadSettings(hf.store, hf.Programs())).PetNames(&pets).ok());
  for (const std::string& typed : test::kPetNames)
    EXPECT_NE(std::find(pets.begin(), pets.end(), StoredPetName(typed)), pets.end()) << typed;
}

TEST_F(CurrentPetTest, ItemsAlreadyThereOrMissingAreReportedAndPassedOver) {
  hf.Write("old/PostPet設定.ppc", "old pet");
  hf.Write("old/受信フォルダ/in.txt", "mail");
  hf.Write("ソラ_宝物/mine.bmp", "own treasure");
  Choose(hf / "old/PostPet設定.ppc");
  ExpectName("ソラ");
  // The questions first, then the registration as one piece of work, then
  // what the take-over met, item by item.
  Reply("現在のおともだち帳を引き継ぎますか？", ui::Answer::kYes);
  Reply("現在の宝箱を引き継ぎますか？", ui::Answer::kYes);
  Reply("現在の送受信簿を引き継ぎますか？", ui::Answer::kYes);
  Reply("現在のおやつを引き継ぎますか？", ui::Answer::kNo);
  host.ExpectMessage(ui::Answer::kOk)
      .Text(PathText(hf / "old/おともだち帳") + "が見つかりません\r\n引き継ぎはせずに先に進みます")
      .With(ui::Icon::kExclamation);
  host.ExpectMessage(ui::Answer::kOk)
      .Text(PathText(hf / "ソラ_宝物") + "が既に存在しています\r\n引き継ぎはせずに先に進みます");
  host.ExpectMessage(ui::Answer::kOk).Text(PathText(hf / "old/送信フォルダ") + "が見つかりません\r\n引き継ぎはせずに先に進みます");
  host.ExpectMessage(ui::Answer::kOk).Text("ソラをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command2");
  EXPECT_EQ(hf.Read("ソラ_PostPet設定.ppc"), "old pet");
  EXPECT_EQ(test::NamesIn(hf / "ソラ_宝物"), "mine.bmp");
  EXPECT_EQ(test::NamesIn(hf / "ソラ_受信フォルダ"), "in.txt");
  EXPECT_FALSE(hf.Exists("ソラ_送信フォルダ"));
}

TEST_F(CurrentPetTest, AFailedTakeOverIsNamedInTheClosingMessage) {
  hf.Write("old/PostPet設定.ppc", "old pet");
  hf.Write("old/おともだち帳", "friends");
  hf.Remove("lupina.dat");  // no pet to put away first: the count below is the registration's
  Choose(hf / "old/PostPet設定.ppc");
  FileOps ops;
  ScopedFileOps scope(ops);
  ExpectName("ソラ");
  host.ExpectMessage(ui::Answer::kYes).TextHas("おともだち帳");
  host.ExpectMessage(ui::Answer::kNo).TextHas("宝箱");
  host.ExpectMessage(ui::Answer::kNo).TextHas("送受信簿");
  host.ExpectMessage(ui::Answer::kNo).TextHas("おやつ");
  host.ExpectMessage(ui::Answer::kOk)
      .Text("ソラをルピナ・ヴィラに登録しました\r\n次のデータは引き継げませんでした\r\n" + PathText(hf / "old/おともだち帳") +
            " を " + PathText(hf / "ソラ_おともだち帳") + " にコピーできませんでした（ディスクの空き容量が足りません）")
      .With(ui::Icon::kExclamation);
  ops.FailAt(4, std::make_error_code(std::errc::no_space_on_device));  // the two copies, the bak folder, then the friend book
  host.Click(Menu(), "Command2");
  EXPECT_FALSE(hf.Exists("ソラ_おともだち帳"));
}

TEST_F(CurrentPetTest, NoFileChosenOrTheDialogClosedRegistersNothing) {
  Choose({});
  host.Click(Menu(), "Command2");
  Choose(hf / "PostPet設定.ppc");
  host.ExpectModal("Form2", [&](ui::Form& f) { host.CloseBox(f); });
  host.Click(Menu(), "Command2");
  EXPECT_TRUE(hf.Exists("lupina.dat"));
  EXPECT_EQ(test::NamesIn(hf.D()), "PostPet20.exe|PostPet設定.ppc|lupina.dat|lupina3.dat|ミミ_PostPet設定.ppc");
}

}  // namespace
}  // namespace lup
