// The utility's work followed by what the launcher does next, on one host
// folder: a registration, a deletion or an emptied treasure box cut short,
// or done as a user does it, and then the launcher started as a per-pet
// shortcut starts it (its start-up, then the call). Every pet's files are
// checked afterwards: nothing of one pet is filed under another, nothing
// is lost.
#include <gtest/gtest.h>

#include <algorithm>
#include <system_error>
#include <tuple>

#include "base/text.h"
#include "core/fileops.h"
#include "launcher/call_pet.h"
#include "launcher/launcher.h"
#include "ui/headless/headless_host.h"
#include "utility/select.h"
#include "utility/utility_fixture.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::Files;
using test::UtilityFolder;
using ui::Answer;
using ui::headless::HeadlessHost;

constexpr const char* kSpecialQuestion = "新しく作成するペットはノクタ・ミラですか？";
constexpr const char* kUnfinished = "新しいペットの作成が途中で終わっているため、呼び出しを中止します";

// The user of the kill runs: no to the special kind, yes to naming a pet
// left unnamed, "ハナ" as the name, no to leaving without registering, OK
// to everything else.
void AnswerAsAUser(HeadlessHost& ui) {
  ui.answer_unscripted = [](const ui::Message& m) {
    if (m.text.find("ノクタ・ミラですか") != std::string::npos) return Answer::kNo;
    if (m.text.find("今登録しますか") != std::string::npos) return Answer::kYes;
    if (m.text.find("登録せずに終了しますか") != std::string::npos) return Answer::kNo;
    if (m.text.find("上書きしてもよろしいですか") != std::string::npos) return Answer::kYes;
    if (m.text.find("新規作成しますか") != std::string::npos) return Answer::kYes;
    return m.buttons == ui::Buttons::kYesNo ? Answer::kNo : Answer::kOk;
  };
  ui.act_on_unscripted_modal = [&ui](ui::Form& f) {
    if (f.name() != "Form2") return;
    ui.Type(f, "Text1", "ハナ");
    ui.Click(f, "Command1");
  };
}

// ミミ is current: the host holds her settings and her newest friend book;
// ソラ and クロ wait in their own copies. Every file says whose it is.
class Scene {
 public:
  Scene() {
    hf.PutPet("ミミ");
    hf.PutItems("", "ミミ");
    hf.Put("おともだち帳", "ミミ friends, newest");
    hf.PutPet("ソラ");
    hf.PutPet("クロ");
    hf.PutItems("共有/", "共有");
    hf.Put("lupina3.dat", test::HostFolder::Cp932("\"ミミ\",0,0,0,0\r\n\"ソラ\",0,0,0,0\r\n\"クロ\",0,0,0,0\r\n"));
    hf.WriteCurrent("ミミ");
    hf.store.Set("cnt_pet", "3");
    menu = hf.MakeMenu(host);
    EXPECT_TRUE(menu->Start());
  }
  ui::Form& Menu() { return menu->form(); }

  // The host, started by the utility, makes a new pet: her settings file
  // and a friend book of her own in the host's folders.
  void HostMakesPet(const std::string& content = "new pet") {
    hf.processes.onStart = [this, content](const StartRequest&) { MakePet(content); };
  }
  void MakePet(const std::string& content = "new pet") {
    hf.Put("PostPet設定.ppc", content);
    hf.Put("おともだち帳", content + " friends");
  }

  // The launcher started with `pet` on its command line, with a UI of its
  // own (it may run while a dialog of the utility is open).
  StartOutcome NextCall(const std::string& pet, HeadlessHost& ui) {
    hf.processes.onStart = nullptr;
    Launcher launcher(LauncherEnv{hf.store, hf.processes, ui, hf.Programs(), true, CallPet, {1, 0, 0}});
    return launcher.Start(pet);
  }
  // A call that must succeed: the host is started on `pet`'s data.
  void CallsThrough(const std::string& pet) {
    HeadlessHost ui;
    AnswerAsAUser(ui);
    const std::size_t starts = hf.processes.started.size();
    EXPECT_EQ(NextCall(pet, ui), StartOutcome::Called);
    ui.VerifyAllAnswered();
    EXPECT_EQ(hf.processes.started.size(), starts + 1) << "the host was not started for " << pet;
    EXPECT_TRUE(SamePetName(hf.CurrentOnDisk(), pet)) << hf.CurrentOnDisk();
  }
  // A call refused because a new pet's creation did not end: nothing of
  // any pet's changes.
  void CallIsRefused(const std::string& pet) {
    HeadlessHost ui;
    const Files before = hf.Snapshot();
    const std::size_t starts = hf.processes.started.size();
    ui.ExpectMessage(Answer::kOk).TextHas(kUnfinished).With(ui::Icon::kCritical);
    NextCall(pet, ui);
    ui.VerifyAllAnswered();
    EXPECT_EQ(hf.processes.started.size(), starts);
    for (const auto& [path, bytes] : hf.Snapshot())
      if (path.find('_') != std::string::npos) {
        EXPECT_EQ(bytes, before.at(path)) << path;
      }
  }
  // Each pet's own settings file still hers, and no pet's copies hold the
  // new pet's data.
  void ExpectEveryPetHerOwn() {
    for (const std::string pet : {"ミミ", "ソラ", "クロ"}) {
      EXPECT_EQ(hf.Read(pet + "_PostPet設定.ppc").rfind(pet, 0), 0u) << pet << "'s settings file";
      for (const auto& [path, bytes] : hf.Snapshot())
        if (path.rfind(pet + "_", 0) == 0) {
          EXPECT_EQ(bytes.find("new pet"), std::string::npos) << path;
        }
    }
  }

  UtilityFolder hf;
  HeadlessHost host;
  std::unique_ptr<MenuWindow> menu;
};

class Flows : public ::testing::Test, public Scene {};

// ---- a new pet cut short -------------------------------------------------------------

TEST_F(Flows, TheUtilityEndedWhileANewPetIsNamedLeavesNoCallThatMixesHerIn) {
  HostMakesPet();
  host.ExpectMessage(Answer::kNo).Text(kSpecialQuestion);
  host.ExpectModal("Form2", [&](ui::Form&) { host.Quit(0); });  // the utility is ended
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "new pet");
  EXPECT_EQ(hf.CurrentOnDisk(), "-");  // ミミ was saved and forgotten before the host ran
  EXPECT_EQ(hf.Read("ミミ_PostPet設定.ppc"), "ミミ settings");
  EXPECT_EQ(hf.Read("ミミ_おともだち帳"), "ミミ friends, newest");

  CallIsRefused("ソラ");
  ExpectEveryPetHerOwn();

  // The next try of the utility names her; then calls work as ever.
  HeadlessHost again;
  menu = hf.MakeMenu(again);
  ASSERT_TRUE(menu->Start());
  again.ExpectMessage(Answer::kYes).TextHas("作成されたペットを今登録しますか？");
  again.ExpectModal("Form2", [&](ui::Form& f) {
    again.Type(f, "Text1", "ハナ");
    again.Click(f, "Command1");
  });
  again.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  again.Click(menu->form(), "Command1");
  again.VerifyAllAnswered();
  CallsThrough("ソラ");
  CallsThrough("ハナ");
  CallsThrough("ミミ");
  ExpectEveryPetHerOwn();
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "new pet");
}

TEST_F(Flows, TheLauncherRunWhileANewPetIsNamedCallsNobody) {
  HostMakesPet();
  host.ExpectMessage(Answer::kNo).Text(kSpecialQuestion);
  host.ExpectModal("Form2", [&](ui::Form& f) {
    CallIsRefused("ソラ");
    host.Type(f, "Text1", "ハナ");
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  CallsThrough("ソラ");
  ExpectEveryPetHerOwn();
  EXPECT_EQ(hf.Read("ハナ_PostPet設定.ppc"), "new pet");
}

// The whole new-pet creation, journaled.
std::vector<FileOps::Record> NewPetOperations() {
  Scene s;
  FileOps ops;
  ScopedFileOps scope(ops);
  s.HostMakesPet();
  AnswerAsAUser(s.host);
  s.host.Click(s.Menu(), "Command1");
  EXPECT_TRUE(s.hf.Exists("ハナ_PostPet設定.ppc"));
  return ops.Journal();
}

// The utility killed at any operation from the save of ミミ to the end of
// the registration (every operation from there on fails, as if it were
// gone), then the launcher calls ソラ; when it refuses, the utility is run
// again and the user names the pet the host made. After that every pet
// holds her own data, ミミ her latest, and the new pet is registered
// exactly when the host got to make her.
TEST(NewPetKills, AUtilityKilledAtAnyOperationNeverMixesOrLosesAPet) {
  const std::vector<FileOps::Record> journal = NewPetOperations();
  const int total = static_cast<int>(journal.size());
  ASSERT_GT(total, 8);
  for (int n = 1; n <= total + 1; ++n) {
    SCOPED_TRACE("killed at operation " + std::to_string(n) + " of " + std::to_string(total));
    Scene s;
    Files mimi = s.hf.Snapshot();
    test::ModelPutAway(mimi, "ミミ", {0, 0, 0, 0});
    bool hostRan = false;
    {
      FileOps ops;
      ScopedFileOps scope(ops);
      ops.FailAt(n, std::make_error_code(std::errc::io_error), true);
      s.hf.processes.onStart = [&](const StartRequest&) {
        hostRan = true;
        s.MakePet();  // the host itself is not ours to kill
      };
      AnswerAsAUser(s.host);
      s.host.Click(s.Menu(), "Command1");
    }
    // The launcher next: it calls ソラ, or refuses until the utility has
    // finished the creation.
    {
      HeadlessHost ui;
      AnswerAsAUser(ui);
      const std::size_t starts = s.hf.processes.started.size();
      s.NextCall("ソラ", ui);
      if (s.hf.processes.started.size() == starts) {
        HeadlessHost again;
        AnswerAsAUser(again);
        s.menu = s.hf.MakeMenu(again);
        ASSERT_TRUE(s.menu->Start());
        again.Click(s.menu->form(), "Command1");
        s.CallsThrough("ソラ");
      }
    }
    EXPECT_EQ(s.hf.CurrentOnDisk(), "ソラ");
    s.ExpectEveryPetHerOwn();
    for (const auto& [path, bytes] : s.hf.Snapshot())
      if (path.rfind("ミミ_", 0) == 0) EXPECT_EQ(bytes, mimi.at(path)) << path;
    EXPECT_EQ(s.hf.Exists("ハナ_PostPet設定.ppc"), hostRan);
    if (hostRan) {
      EXPECT_EQ(s.hf.Read("ハナ_PostPet設定.ppc"), "new pet");
    }
    EXPECT_FALSE(s.hf.Exists("PostPet設定.ppcbak"));
    if (::testing::Test::HasFailure()) break;
  }
}

TEST_F(Flows, ANewPetNotWantedAfterTheHostMadeHerLeavesMimisCopiesHers) {
  HostMakesPet("new pet, unwanted");
  host.ExpectMessage(Answer::kNo).Text(kSpecialQuestion);
  host.ExpectModal("Form2", [&](ui::Form& f) { host.CloseBox(f); });
  host.ExpectMessage(Answer::kYes).TextHas("新しいペットを登録せずに終了しますか？");
  host.ExpectMessage(Answer::kOk).Text("ペットの新規作成がキャンセルされました");
  host.Click(Menu(), "Command1");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "ミミ settings");
  CallsThrough("ソラ");
  CallsThrough("ミミ");
  ExpectEveryPetHerOwn();
}

}  // namespace
}  // namespace lup

namespace lup {
namespace {

// ---- registering the pet the host holds -------------------------------------------

TEST_F(Flows, RegisteringTheCurrentPetFromAnotherFileKeepsThatFileThroughTheNextCall) {
  hf.Put("elsewhere/PostPet設定.ppc", "ミミ settings, from the old computer");
  host.ExpectOpenFile(hf / "elsewhere/PostPet設定.ppc");
  host.ExpectModal("Form2", [&](ui::Form& f) {
    host.Type(f, "Text1", "ミミ");
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kYes).TextHas("ミミはすでに登録されています");
  for (int i = 0; i < 4; ++i) host.ExpectMessage(Answer::kNo).TextHas("引き継ぎますか？");
  host.ExpectMessage(Answer::kOk).Text("ミミをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command2");
  EXPECT_EQ(hf.CurrentOnDisk(), "-");
  // Her newest friend book was saved before she was forgotten.
  EXPECT_EQ(hf.Read("ミミ_おともだち帳"), "ミミ friends, newest");
  CallsThrough("ソラ");
  EXPECT_EQ(hf.Read("ミミ_PostPet設定.ppc"), "ミミ settings, from the old computer");
  EXPECT_EQ(hf.Read("bak/ミミ_PostPet設定.ppc.bak"), "ミミ settings, from the old computer");
  CallsThrough("ミミ");
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "ミミ settings, from the old computer");
}

// ---- names in another letter case -----------------------------------------------------

TEST_F(Flows, ANameTypedInAnotherCaseIsTheRegisteredPetAndKeepsHerSpelling) {
  Scene s;
  s.hf.Remove("ミミ_PostPet設定.ppc");
  s.hf.PutPet("Mimi");
  s.hf.Put("lupina3.dat", test::HostFolder::Cp932("\"Mimi\",1,0,0,0\r\n\"ソラ\",0,0,0,0\r\n\"クロ\",0,0,0,0\r\n"));
  s.hf.WriteCurrent("Mimi");
  s.hf.Put("おともだち帳", "Mimi friends, newest");
  s.hf.Put("elsewhere/PostPet設定.ppc", "Mimi settings, again");
  s.host.ExpectOpenFile(s.hf / "elsewhere/PostPet設定.ppc");
  s.host.ExpectModal("Form2", [&](ui::Form& f) {
    s.host.Type(f, "Text1", "mimi");
    s.host.Click(f, "Command1");
  });
  s.host.ExpectMessage(Answer::kYes).Text("Mimiはすでに登録されています\r\n" +
                                          PathText(s.hf / "Mimi_PostPet設定.ppc") +
                                          " とそのバックアップを上書きしてもよろしいですか？");
  for (int i = 0; i < 4; ++i) s.host.ExpectMessage(Answer::kNo);
  s.host.ExpectMessage(Answer::kOk).Text("Mimiをルピナ・ヴィラに登録しました");
  s.host.Click(s.Menu(), "Command2");
  EXPECT_EQ(s.hf.Read("Mimi_PostPet設定.ppc"), "Mimi settings, again");
  // One file, by her spelling (off Windows "mimi" would be a second pet).
  EXPECT_NE(test::NamesIn(s.hf.D()).find("Mimi_PostPet設定.ppc"), std::string::npos);
  EXPECT_EQ(test::NamesIn(s.hf.D()).find("mimi_PostPet設定.ppc"), std::string::npos);
  // Her shared friend book went into the shared copy, by her flags.
  EXPECT_EQ(s.hf.Read("共有/おともだち帳"), "Mimi friends, newest");
  EXPECT_FALSE(s.hf.Exists("Mimi_おともだち帳") && s.hf.Read("Mimi_おともだち帳") == "Mimi friends, newest");
}

TEST_F(Flows, ACurrentPetRecordedInAnotherCaseIsPutAwayByHerFlagsUnderHerSpelling) {
  Scene s;
  s.hf.Remove("ミミ_PostPet設定.ppc");
  s.hf.PutPet("Mimi");
  s.hf.Put("lupina3.dat", test::HostFolder::Cp932("\"Mimi\",1,0,0,0\r\n\"ソラ\",0,0,0,0\r\n\"クロ\",0,0,0,0\r\n"));
  s.hf.WriteCurrent("mimi");  // as an older installation may have written it
  s.hf.Put("おともだち帳", "Mimi friends, newest");
  s.hf.Put("受信フォルダ/new.txt", "Mimi new mail");
  s.CallsThrough("ソラ");
  EXPECT_EQ(s.hf.Read("共有/おともだち帳"), "Mimi friends, newest");
  EXPECT_EQ(s.hf.Read("Mimi_受信フォルダ/new.txt"), "Mimi new mail");
  for (const auto& [path, bytes] : s.hf.Snapshot()) EXPECT_NE(path.rfind("mimi_", 0), 0u) << path;
  // A shortcut's name in another case calls her too.
  s.CallsThrough("MIMI");
  EXPECT_EQ(s.hf.CurrentOnDisk(), "Mimi");
  EXPECT_EQ(s.hf.Read("受信フォルダ/new.txt"), "Mimi new mail");
}

// ---- a leftover set-aside file and the launcher ---------------------------------------

TEST_F(Flows, ACallGivesBackASetAsideFileOnlyWhenNoPetIsCurrentAndNoneIsInTheHost) {
  hf.Remove("lupina.dat");
  hf.Remove("PostPet設定.ppc");
  hf.Put("PostPet設定.ppcbak", "ミミ settings");
  CallsThrough("ソラ");
  EXPECT_FALSE(hf.Exists("PostPet設定.ppcbak"));
  EXPECT_EQ(hf.Read("PostPet設定.ppc"), "ソラ settings");
  EXPECT_EQ(hf.Read("ミミ_PostPet設定.ppc"), "ミミ settings");

  // With a pet current, the set-aside file is never hers: the call stops.
  hf.Put("PostPet設定.ppcbak", "someone's settings");
  CallIsRefused("クロ");
  EXPECT_EQ(hf.CurrentOnDisk(), "ソラ");
  EXPECT_EQ(hf.Read("PostPet設定.ppcbak"), "someone's settings");
}

// ---- an unreadable record of the current pet ------------------------------------------

TEST_F(Flows, EmptyingATreasureBoxKeepsAnUnreadableCurrentPetRecordAndTheNextCallStillAsks) {
  hf.Put("lupina.dat", "\"unterminated");
  host.ExpectModal("Form3", [&](ui::Form& f) { host.Select(f, "List1", 1); });  // ソラ
  host.ExpectMessage(Answer::kOk).Text("ソラの宝箱を空にしました");
  host.Click(Menu(), "Command8");
  EXPECT_EQ(hf.Read("lupina.dat"), "\"unterminated");
  EXPECT_EQ(hf.Read("ソラ_宝物/tzl001.pac"), test::BoxBytesReset("ソラ"));
  HeadlessHost ui;
  ui.ExpectMessage(Answer::kOk).TextHas("から前回呼び出したペットの名前を読み取れませんでした");
  ui.ExpectMessage(Answer::kNo).TextHas("どのペットのデータを持っているか分かりません");
  NextCall("クロ", ui);
  ui.VerifyAllAnswered();
  EXPECT_EQ(hf.Read("おともだち帳"), "ミミ friends, newest");  // nothing overwritten unasked
}

// ---- a pet listed through an older file name ------------------------------------------

TEST_F(Flows, APetListedThroughAFileNameWithAnotherUnderscoreIsNeitherDeletedNorSkippedSilently) {
  hf.Remove("クロ_PostPet設定.ppc");
  hf.Put("クロ_2_PostPet設定.ppc", "クロ settings");
  const Files before = hf.Snapshot();
  host.ExpectModal("Form3", [&](ui::Form& f) {
    const auto items = menu->selection().list().Items();
    host.Select(f, "List1", static_cast<int>(std::find(items.begin(), items.end(), "クロ") - items.begin()));
  });
  host.ExpectMessage(Answer::kOk)
      .Text("クロ_2_PostPet設定.ppc は名前に「_」が2つ以上あるため、クロを削除できません\r\n"
            "ファイルの名前を クロ_PostPet設定.ppc に変えてから削除してください\r\n"
            "ポストペットのデータは何も変更していません")
      .With(ui::Icon::kCritical);
  host.Click(Menu(), "Command6");
  EXPECT_EQ(hf.Snapshot(), before);
  EXPECT_TRUE(host.modal_forms().back() == "Form3");  // the deletion dialog never opened

  host.ExpectModal("Form5", [&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kOk)
      .TextHas("次のデータはバックアップできませんでした\r\n" + PathText(hf / "クロ_2_PostPet設定.ppc") + " を " +
               PathText(hf / "bak/クロ_PostPet設定.ppc.bak") + " にコピーできませんでした（名前に「_」が2つ以上あります）");
  host.Click(Menu(), "Command5");
  EXPECT_FALSE(hf.Exists("bak/クロ_PostPet設定.ppc.bak"));
  EXPECT_TRUE(hf.Exists("bak/クロ_おともだち帳.bak"));  // the rest of hers is backed up
}

}  // namespace
}  // namespace lup

namespace lup {
namespace {

// ---- one program at a time on the data -------------------------------------------------

TEST_F(Flows, WhileAnotherProgramHoldsTheDataEveryTaskSaysWhichAndChangesNothing) {
  hf.Put("bak/ソラ_PostPet設定.ppc.bak", "ソラ settings");  // something to repair from
  hf.Put("elsewhere/PostPet設定.ppc", "ミミ settings, again");
  hf.processes.dataHolder = "lupsnack.exe";
  const Files before = hf.Snapshot();
  const std::string busy = "ルピナ・ヴィラ用おやつ管理ツール（lupsnack.exe）がポストペットのデータを使っています\r\n"
                           "その作業が終わってから、もう一度実行してください\r\n何も変更していません";
  // A new pet: nothing set aside, the host never started.
  host.ExpectMessage(Answer::kOk).Text(busy).With(ui::Icon::kExclamation);
  host.Click(Menu(), "Command1");
  // The pet the host holds, registered again: the dialog stays for another try.
  host.ExpectOpenFile(hf / "elsewhere/PostPet設定.ppc");
  host.ExpectModal("Form2", [&](ui::Form& f) {
    host.Type(f, "Text1", "ハナ");
    host.Click(f, "Command1");
    EXPECT_TRUE(f.Visible());
    host.CloseBox(f);
  });
  for (int i = 0; i < 4; ++i) host.ExpectMessage(Answer::kNo).TextHas("引き継ぎますか？");
  host.ExpectMessage(Answer::kOk).Text(busy);
  host.Click(Menu(), "Command2");
  // The backup, the repair and the deletion: each dialog stays open.
  for (const auto& [button, form, pet] : {std::tuple{"Command5", "Form5", -1}, std::tuple{"Command4", "Form6", 0},
                                          std::tuple{"Command6", "Form4", 1}}) {
    if (pet >= 0) host.ExpectModal("Form3", [&](ui::Form& f) { host.Select(f, "List1", pet); });
    host.ExpectModal(form, [&](ui::Form& f) {
      host.Click(f, "Command1");
      EXPECT_TRUE(f.Loaded() && f.Enabled()) << form;
      host.Click(f, "Command2");
    });
    host.ExpectMessage(Answer::kOk).Text(busy);
    host.Click(Menu(), button);
  }
  // Emptying a treasure box.
  host.ExpectModal("Form3", [&](ui::Form& f) { host.Select(f, "List1", 1); });
  host.ExpectMessage(Answer::kOk).Text(busy);
  host.Click(Menu(), "Command8");
  host.VerifyAllAnswered();
  // The launcher's call.
  HeadlessHost ui;
  ui.ExpectMessage(Answer::kOk).Text(busy);
  NextCall("ソラ", ui);
  ui.VerifyAllAnswered();
  EXPECT_TRUE(hf.processes.started.empty());
  EXPECT_EQ(hf.Snapshot(), before);
}

TEST_F(Flows, TheDataIsHeldForEachPieceOfWorkAndNeverWhileAWindowWaitsForTheUser) {
  // A new pet: not while the host runs, nor while she is named.
  hf.processes.onStart = [&](const StartRequest&) {
    EXPECT_EQ(hf.processes.locksHeld, 0) << "while the host runs";
    MakePet();
  };
  host.ExpectMessage(Answer::kNo).Text(kSpecialQuestion);
  host.ExpectModal("Form2", [&](ui::Form& f) {
    EXPECT_EQ(hf.processes.locksHeld, 0) << "while she is named";
    host.Type(f, "Text1", "ハナ");
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk).Text("ハナをルピナ・ヴィラに登録しました");
  host.Click(Menu(), "Command1");
  EXPECT_GE(hf.processes.lockAttempts, 3);  // the release, the registration, the give-back
  EXPECT_EQ(hf.processes.locksHeld, 0);
  // The backup's dialog, open: nothing held; its run: held.
  hf.processes.lockAttempts = 0;
  host.ExpectModal("Form5", [&](ui::Form& f) {
    EXPECT_EQ(hf.processes.locksHeld, 0);
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk).TextHas("バックアップしました");
  host.Click(Menu(), "Command5");
  EXPECT_EQ(hf.processes.lockAttempts, 1);
  // A missing box is chosen with nothing held.
  hf.Remove("ソラ_宝物/tzl001.pac");
  hf.Put("elsewhere/tzl001.pac", test::BoxBytes("クロ"));
  host.ExpectModal("Form3", [&](ui::Form& f) { host.Select(f, "List1", 1); });
  host.ExpectMessage(Answer::kOk).TextHas("ソラの宝箱が見つかりません");
  host.ExpectOpenFile(hf / "elsewhere/tzl001.pac");
  host.ExpectMessage(Answer::kOk).Text("ソラの宝箱を空にしました");
  bool heldWhileChoosing = true;
  host.on_idle = nullptr;
  hf.processes.onLockData = [&] { heldWhileChoosing = hf.processes.locksHeld > 0; };
  host.Click(Menu(), "Command8");
  EXPECT_FALSE(heldWhileChoosing);
  EXPECT_EQ(hf.Read("ソラ_宝物/tzl001.pac"), test::BoxBytesReset("クロ"));
  EXPECT_EQ(hf.processes.locksHeld, 0);
}

TEST_F(Flows, ACallHoldsTheDataThroughItsQuestionsSoNoOtherProgramSeesItHalfSwapped) {
  hf.Remove("ソラ_おともだち帳");
  HeadlessHost ui;
  int heldAtTheQuestion = -1;
  ui.answer_unscripted = [&](const ui::Message&) {
    heldAtTheQuestion = hf.processes.locksHeld;
    return Answer::kYes;
  };
  NextCall("ソラ", ui);
  EXPECT_EQ(heldAtTheQuestion, 1);
  EXPECT_EQ(hf.processes.locksHeld, 0);
  EXPECT_EQ(hf.CurrentOnDisk(), "ソラ");
}

}  // namespace
}  // namespace lup
