// The backup, repair and deletion dialogs, headless, opened from the menu as
// the user opens them. What lands where on disk is the pet store's and is
// tested in core/petstore_backup_test.cpp; here: the dialogs, what they say,
// and that they stay usable or close as they should.
#include <gtest/gtest.h>

#include <algorithm>
#include <system_error>

#include "base/text.h"
#include "core/fileops.h"
#include "core/petstore.h"
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

constexpr const char* kTitle = "ルピナ・ヴィラ用ユーティリティ";
constexpr const char* kBackedUp = "全てのペットのデータをバックアップしました\r\n「壊れてしまったデータの修復」で修復できます";

class DataDialogsTest : public ::testing::Test {
 protected:
  DataDialogsTest() {
    hf.PutThreePets();
    settings.hostFolder = hf.D();
    settings.MakeHostPaths();
  }
  void Start() {
    menu = hf.MakeMenu(host);
    ASSERT_TRUE(menu->Start());
  }
  PetStore Store() const { return PetStore(settings); }
  void BackUpNow() { ASSERT_TRUE(Store().BackUp().ok()); }
  // The selection dialog from `button`, `pet` picked.
  void ExpectPick(const std::string& pet) {
    host.ExpectModal("Form3", [this, pet](ui::Form& f) {
      const auto items = menu->selection().list().Items();
      const auto it = std::find(items.begin(), items.end(), pet);
      ASSERT_NE(it, items.end()) << pet;
      host.Select(f, "List1", static_cast<int>(it - items.begin()));
    });
  }
  static ui::CheckBox& Box(ui::Form& f, int index) { return f.Get<ui::CheckBox>("Check1", index); }
  // The reachable controls in tab order.
  static std::vector<std::string> TabOrder(const ui::Form& f) {
    std::vector<const ui::Control*> controls;
    for (const auto& c : f.Controls())
      if (c->kind() != ui::ControlKind::kLabel) controls.push_back(c.get());
    std::sort(controls.begin(), controls.end(),
              [](const ui::Control* a, const ui::Control* b) { return a->TabIndex() < b->TabIndex(); });
    std::vector<std::string> out;
    for (const ui::Control* c : controls) out.push_back(c->Label());
    return out;
  }

  UtilityFolder hf;
  Settings settings;
  HeadlessHost host;
  std::unique_ptr<MenuWindow> menu;
};

// ---- the backup ----------------------------------------------------------------------

TEST_F(DataDialogsTest, TheBackupDialogOffersFiveCheckedBoxesAndCancelCopiesNothing) {
  Start();
  host.ExpectModal("Form5", [&](ui::Form& f) {
    EXPECT_EQ(f.Caption(), "データをバックアップします");
    EXPECT_EQ(f.Get<ui::Label>("Label2").Caption(), "全てのペットのデータをバックアップします");
    EXPECT_EQ(f.Get<ui::Label>("Label1").Caption(), "チェックを外したアイテムはバックアップされません");
    const char* captions[5] = {"おともだち帳", "送受信簿", "おやつ", "宝物", "PostPet設定.ppc"};
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(Box(f, i).Caption(), captions[i]);
      EXPECT_EQ(Box(f, i).Value(), 1);
      EXPECT_TRUE(Box(f, i).Enabled());
    }
    // From top to bottom: the settings file, then the four kinds.
    EXPECT_LT(Box(f, 4).Geometry().top, Box(f, 0).Geometry().top);
    EXPECT_LT(Box(f, 2).Geometry().top, Box(f, 3).Geometry().top);
    EXPECT_EQ(TabOrder(f), (std::vector<std::string>{"Command2", "Command1", "Check1(3)", "Check1(2)", "Check1(1)",
                                                     "Check1(0)", "Check1(4)"}));
    EXPECT_EQ(f.Focused(), &f.GetControl("Command2"));
    EXPECT_EQ(f.Get<ui::Button>("Command1").Caption(), "バックアップ実行");
    host.Click(f, {"Check1", 4});
    host.Click(f, "Command2");
  });
  host.Click(menu->form(), "Command5");
  // Every opening starts anew; Esc cancels.
  host.ExpectModal("Form5", [&](ui::Form& f) {
    EXPECT_EQ(Box(f, 4).Value(), 1);
    host.PressEscape(f);
  });
  host.Click(menu->form(), "Command5");
  EXPECT_FALSE(hf.Exists("bak"));
  EXPECT_TRUE(host.messages().empty());
}

TEST_F(DataDialogsTest, ABackupRunBacksUpWhatIsCheckedSaysSoAndCloses) {
  Start();
  host.ExpectModal("Form5", [&](ui::Form& f) {
    host.Click(f, {"Check1", 4});  // the settings files stay out
    host.Click(f, "Command1");
    EXPECT_FALSE(f.Loaded());
  });
  host.ExpectMessage(Answer::kOk).Title(kTitle).Text(kBackedUp).With(ui::Icon::kInformation);
  host.Click(menu->form(), "Command5");
  EXPECT_FALSE(host.busy());
  EXPECT_FALSE(hf.Exists("bak/ミミ_PostPet設定.ppc.bak"));
  // ミミ is current: her backup is her latest, saved from the host first.
  EXPECT_EQ(hf.Read("bak/ミミ_おともだち帳.bak"), "ミミ friends, newest");
  EXPECT_EQ(hf.Read("bak/おともだち帳.bak"), "ミミ friends, newest");
  EXPECT_EQ(hf.Read("bak/共有/おともだち帳.bak"), "共有 friends");
  EXPECT_FALSE(hf.Exists("bak/ソラ_おやつ"));  // she shares her snacks
}

TEST_F(DataDialogsTest, ABackupThatCouldNotCopySomethingNamesItAndNeverClaimsSuccess) {
  hf.WriteCurrent("");  // nothing to save first: the backup's own copies fail
  Start();
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(hf / "ミミ_受信フォルダ", std::make_error_code(std::errc::io_error));
  const OpResult unlisted = OpResult::Fail(Action::List, std::make_error_code(std::errc::io_error), hf / "ミミ_受信フォルダ");
  host.ExpectModal("Form5", [&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kOk)
      .Title(kTitle)
      .Text("次のデータはバックアップできませんでした\r\n" + unlisted.Describe() + "\r\nそれ以外のデータはバックアップしました")
      .With(ui::Icon::kExclamation);
  host.Click(menu->form(), "Command5");

  // A full disk: a long list is cut and counted.
  ops.ClearFaults();
  hf.Put("ミミ_受信フォルダ/0009.txt", "more mail");
  hf.Put("おともだち帳", "ミミ friends, newer still");
  // A file where the generations are kept: the run cannot keep the backup
  // it would replace, and backs up nothing.
  hf.Remove("bak履歴");
  hf.Put("bak履歴", "not a folder");
  const Files before = hf.Snapshot();
  host.ExpectModal("Form5", [&](ui::Form& f) {
    host.Click(f, "Command1");
    host.Click(f, "Command2");
  });
  host.ExpectMessage(Answer::kOk)
      .TextHas(PathText(hf / "bak履歴"))
      .TextHas("今のバックアップを前の世代として残せないため、バックアップしませんでした")
      .With(ui::Icon::kCritical);
  host.Click(menu->form(), "Command5");
  EXPECT_EQ(hf.Snapshot(), before);
  hf.Remove("bak履歴");
  // A full disk: every copy fails before anything is replaced.
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device), true);
  host.ExpectModal("Form5", [&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kOk).TextHas("ディスクの空き容量").TextHas("\r\nほか ");
  host.Click(menu->form(), "Command5");
  for (const ui::headless::MessageRecord& m : host.messages())
    EXPECT_EQ(m.message.text.find("全てのペットのデータをバックアップしました"), std::string::npos);
}

TEST_F(DataDialogsTest, ABackupWithoutReadableShareFlagsBacksUpEveryOwnCopyAndSaysSo) {
  Start();
  hf.Put("ソラ_おともだち帳", "left from before she shared");
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(hf / "lupina3.dat", std::make_error_code(std::errc::permission_denied));
  const OpResult unread = OpResult::Fail(Action::Read, std::make_error_code(std::errc::permission_denied), hf / "lupina3.dat");
  host.ExpectModal("Form5", [&](ui::Form& f) { host.Click(f, "Command1"); });
  host.ExpectMessage(Answer::kOk)
      .Text(unread.Describe() + "\r\nどのデータを共有しているか分からないため、各ペットのデータはあるものを全てバックアップしました\r\n" +
            kBackedUp)
      .With(ui::Icon::kExclamation);
  host.Click(menu->form(), "Command5");
  EXPECT_EQ(hf.Read("bak/ソラ_おともだち帳.bak"), "left from before she shared");
}

// ---- the repair ----------------------------------------------------------------------

TEST_F(DataDialogsTest, TheRepairDialogShowsSharedKindsBoldAndEnablesBoxesByTheirBackup) {
  BackUpNow();
  hf.Remove("bak/ソラ_送信フォルダ");  // only half of her mail's backup is left
  hf.Put("ソラ_受信フォルダ/ソラ-in.txt", "ミミ's mail, by mistake");
  hf.Put("ソラ_宝物/ソラ-gem.bmp", "damaged, but left as it is");
  Start();
  ExpectPick("ソラ");
  host.ExpectModal("Form6", [&](ui::Form& f) {
    EXPECT_EQ(f.Caption(), "ソラのデータを修復します");
    EXPECT_EQ(f.Get<ui::Label>("Label1").Caption(), "チェックを外したアイテムは修復されません");
    EXPECT_EQ(f.Get<ui::Label>("Label2").Caption(), "太字は他のペットと共有のアイテムです");
    const bool bold[5] = {true, false, true, false, false};
    const bool enabled[5] = {true, false, true, true, true};
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(Box(f, i).GetFont().bold, bold[i]) << i;
      EXPECT_EQ(Box(f, i).Enabled(), enabled[i]) << i;
      EXPECT_EQ(Box(f, i).Value(), enabled[i] ? 1 : 0) << i;
    }
    EXPECT_EQ(TabOrder(f), (std::vector<std::string>{"Command2", "Command1", "Check1(3)", "Check1(2)", "Check1(1)",
                                                     "Check1(0)", "Check1(4)", "Combo1"}));
    EXPECT_EQ(f.Focused(), &f.GetControl("Command2"));
    host.Click(f, {"Check1", 3});  // the treasure is left out
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk).Title(kTitle).Text("ソラのデータを修復しました").With(ui::Icon::kInformation);
  host.Click(menu->form(), "Command4");
  EXPECT_EQ(menu->state().flags, (ShareFlags{1, 0, 1, 0}));
  EXPECT_EQ(hf.Read("ソラ_受信フォルダ/ソラ-in.txt"), "ミミ's mail, by mistake");  // its box was off
  EXPECT_EQ(hf.Read("ソラ_宝物/ソラ-gem.bmp"), "damaged, but left as it is");
  EXPECT_EQ(hf.Read("共有/おともだち帳"), "共有 friends");
  EXPECT_EQ(hf.Read("おともだち帳"), "ミミ friends, newest");  // the host holds ミミ's own
}

TEST_F(DataDialogsTest, TheRepairOffersEveryGenerationNewestFirstAndRestoresTheChosenOne) {
  hf.WriteCurrent("");
  BackUpNow();
  // The damage, then a backup of it.
  hf.Put("ミミ_おともだち帳", "ソラ friends, by mistake");
  hf.Remove("ミミ_受信フォルダ/ミミ-in.txt");
  BackUpNow();
  Start();
  ExpectPick("ミミ");
  host.ExpectModal("Form6", [&](ui::Form& f) {
    const ui::ComboBox& which = f.Get<ui::ComboBox>("Combo1");
    EXPECT_EQ(f.Get<ui::Label>("Label3").Caption(), "修復に使うバックアップ");
    ASSERT_EQ(which.Count(), 2);
    EXPECT_EQ(which.ListIndex(), 0);
    EXPECT_NE(which.Item(0).find("（最新）"), std::string::npos);
    EXPECT_EQ(which.Item(0).size(), which.Item(1).size() + std::string("（最新）").size());
    // The earlier one: taken before the damage.
    host.Select(f, "Combo1", 1);
    EXPECT_TRUE(Box(f, kSendReceiveLog).Enabled());
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk).Text("ミミのデータを修復しました");
  host.Click(menu->form(), "Command4");
  EXPECT_EQ(hf.Read("ミミ_おともだち帳"), "ミミ friends");
  EXPECT_EQ(hf.Read("ミミ_受信フォルダ/ミミ-in.txt"), "ミミ received");
}

TEST_F(DataDialogsTest, RepairingTheCurrentPetTellsThatTheNextCallBringsTheRepairIn) {
  BackUpNow();
  hf.Put("ミミ_おともだち帳", "ソラ friends");
  Start();
  ExpectPick("ミミ");
  host.ExpectModal("Form6", [&](ui::Form& f) {
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(Box(f, i).GetFont().bold);
    host.Click(f, "Command1");
  });
  host.ExpectMessage(Answer::kOk)
      .Text("ミミのデータを修復しました\r\n"
            "ミミはポストペットに入っているペットだったので、そのデータを保存してから修復しました\r\n"
            "次にミミを呼び出すと、修復したデータが使われます");
  host.Click(menu->form(), "Command4");
  EXPECT_EQ(hf.CurrentOnDisk(), "-");
  EXPECT_EQ(hf.Read("ミミ_おともだち帳"), "ミミ friends, newest");  // as backed up
}

TEST_F(DataDialogsTest, ABackupOrAnEmptyingOfATreasureBoxIsRefusedWhileTheHostRuns) {
  Start();
  hf.processes.running = {"C:\\PP\\PostPet20.exe"};
  const Files before = hf.Snapshot();
  const std::string running = "ポストペット（PostPet20.exe）が起動中です\r\nポストペットを終了してから、もう一度実行してください";
  host.ExpectModal("Form5", [&](ui::Form& f) {
    host.ExpectMessage(Answer::kOk).Title(kTitle).Text(running).With(ui::Icon::kCritical);
    host.Click(f, "Command1");
    EXPECT_TRUE(f.Loaded());  // the user may try again once the host has ended
    host.Click(f, "Command2");
  });
  host.Click(menu->form(), "Command5");
  ExpectPick("ミミ");
  host.ExpectMessage(Answer::kOk).Title(kTitle).Text(running).With(ui::Icon::kCritical);
  host.Click(menu->form(), "Command8");
  EXPECT_EQ(hf.Snapshot(), before);
  host.VerifyAllAnswered();
}

TEST_F(DataDialogsTest, ABackupWhoseSaveOfTheCurrentPetFailsSaysSoCopiesNothingAndStaysOpen) {
  Start();
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(hf / "ミミ_受信フォルダ", std::make_error_code(std::errc::io_error));
  host.ExpectModal("Form5", [&](ui::Form& f) {
    host.ExpectMessage(Answer::kOk)
        .Text("前回呼び出したペットのデータを保存できなかったため、作業を中止しました\r\n" +
              OpResult::Fail(Action::List, std::make_error_code(std::errc::io_error), hf / "ミミ_受信フォルダ").Describe())
        .With(ui::Icon::kCritical);
    host.Click(f, "Command1");
    EXPECT_TRUE(f.Enabled());
    host.Click(f, "Command2");
  });
  host.Click(menu->form(), "Command5");
  EXPECT_FALSE(hf.Exists("bak"));
}

TEST_F(DataDialogsTest, AnErrorInTheSnacksStopsTheRepairThereNamesItAndLeavesTheDialogUsable) {
  hf.WriteCurrent("ソラ");
  BackUpNow();
  const Files backup = hf.Snapshot();
  for (const std::string item : {"PostPet設定.ppc", "おともだち帳", "受信フォルダ/0001.txt", "おやつ/ミミ-cake.pac",
                                 "宝物/ミミ-gem.bmp"})
    hf.Put("ミミ_" + item, "ソラ's, by mistake");
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(hf / "bak/ミミ_おやつ", std::make_error_code(std::errc::io_error));
  const OpResult unlisted = OpResult::Fail(Action::List, std::make_error_code(std::errc::io_error), hf / "bak/ミミ_おやつ");
  Start();
  ExpectPick("ミミ");
  host.ExpectModal("Form6", [&](ui::Form& f) {
    host.Click(f, "Command1");
    EXPECT_TRUE(f.Loaded());
    EXPECT_TRUE(f.Enabled());
    EXPECT_FALSE(host.busy());
    host.Click(f, "Command2");
  });
  host.ExpectMessage(Answer::kOk)
      .Title(kTitle)
      .Text("おやつ修復中にエラーが発生しました\r\n" + unlisted.Describe() + "\r\n以降の修復作業は中断されました")
      .With(ui::Icon::kExclamation);
  host.Click(menu->form(), "Command4");
  for (const std::string item : {"PostPet設定.ppc", "おともだち帳", "受信フォルダ/0001.txt"})
    EXPECT_EQ(hf.Read("ミミ_" + item), backup.at("ミミ_" + item)) << item;
  EXPECT_EQ(hf.Read("ミミ_おやつ/ミミ-cake.pac"), "ソラ's, by mistake");
  EXPECT_EQ(hf.Read("ミミ_宝物/ミミ-gem.bmp"), "ソラ's, by mistake");
}

TEST_F(DataDialogsTest, RepairAndDeletionWaitUntilTheHostHasEnded) {
  BackUpNow();
  hf.processes.running = {"C:\\PP\\POSTPET20.EXE"};
  const Files before = hf.Snapshot();
  const std::string running = "ポストペット（PostPet20.exe）が起動中です\r\nポストペットを終了してから、もう一度実行してください";
  Start();
  ExpectPick("ソラ");
  host.ExpectModal("Form6", [&](ui::Form& f) {
    host.Click(f, "Command1");
    EXPECT_TRUE(f.Enabled());
    host.Click(f, "Command2");
  });
  host.ExpectMessage(Answer::kOk).Title(kTitle).Text(running).With(ui::Icon::kCritical);
  host.Click(menu->form(), "Command4");
  ExpectPick("ソラ");
  host.ExpectModal("Form4", [&](ui::Form& f) {
    host.Click(f, "Command1");
    host.PressEscape(f);
  });
  host.ExpectMessage(Answer::kOk).Text(running);
  host.Click(menu->form(), "Command6");
  EXPECT_EQ(hf.Snapshot(), before);
}

TEST_F(DataDialogsTest, APetWithoutARecordSharesNothingAndAnUnreadableShareListCancelsTheRepair) {
  BackUpNow();
  Start();
  ExpectPick("クロ");
  host.ExpectModal("Form6", [&](ui::Form& f) {
    for (int i = 0; i < 5; ++i) {
      EXPECT_FALSE(Box(f, i).GetFont().bold) << i;
      EXPECT_TRUE(Box(f, i).Enabled()) << i;
    }
    host.PressEscape(f);
  });
  host.Click(menu->form(), "Command4");

  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(hf / "lupina3.dat", std::make_error_code(std::errc::permission_denied));
  const OpResult unread = OpResult::Fail(Action::Read, std::make_error_code(std::errc::permission_denied), hf / "lupina3.dat");
  ExpectPick("クロ");
  host.ExpectMessage(Answer::kOk).Title(kTitle).Text(unread.Describe() + "\r\n作業を取りやめました").With(ui::Icon::kCritical);
  host.Click(menu->form(), "Command4");
  EXPECT_EQ(host.modal_forms(), (std::vector<std::string>{"Form3", "Form6", "Form3"}));
}

// ---- the deletion --------------------------------------------------------------------

TEST_F(DataDialogsTest, TheDeletionDialogEnablesTheKindsSheKeepsAndDeletesWhatIsChecked) {
  BackUpNow();
  hf.Put("ソラ_受信フォルダ/keep/inner.txt", "a sub-folder");
  Start();
  ExpectPick("ソラ");
  host.ExpectModal("Form4", [&](ui::Form& f) {
    EXPECT_EQ(f.Caption(), "ソラを削除します");
    EXPECT_EQ(f.Get<ui::Label>("Label1").Caption(), "チェックを外したアイテムは削除されません");
    const char* captions[4] = {"おともだち帳を削除する", "送受信簿を削除する", "おやつを削除する", "宝物を削除する"};
    const bool enabled[4] = {false, true, false, true};  // she shares her friend book and snacks
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(Box(f, i).Caption(), captions[i]);
      EXPECT_EQ(Box(f, i).Enabled(), enabled[i]) << i;
      EXPECT_EQ(Box(f, i).Value(), enabled[i] ? 1 : 0) << i;
    }
    EXPECT_EQ(TabOrder(f), (std::vector<std::string>{"Check1(0)", "Check1(1)", "Check1(2)", "Check1(3)", "Command1",
                                                     "Command2"}));
    EXPECT_EQ(f.Focused(), &Box(f, 1));  // the first box she can tick
    EXPECT_EQ(f.Get<ui::Button>("Command1").Caption(), "削除実行");
    host.Click(f, {"Check1", 3});  // her treasures stay
    host.Click(f, "Command1");
    EXPECT_FALSE(f.Loaded());
  });
  host.ExpectMessage(Answer::kOk)
      .Title(kTitle)
      .Text("ソラを削除しました\r\n次のフォルダは中にフォルダがあるため残しました\r\n" + PathText(hf / "ソラ_受信フォルダ"))
      .With(ui::Icon::kInformation);
  const Files before = hf.Snapshot();
  host.Click(menu->form(), "Command6");
  EXPECT_FALSE(hf.Exists("ソラ_PostPet設定.ppc"));
  EXPECT_FALSE(hf.Exists("bak/ソラ_PostPet設定.ppc.bak"));
  EXPECT_FALSE(hf.Exists("ソラ_送信フォルダ"));
  EXPECT_FALSE(hf.Exists("bak/ソラ_受信フォルダ"));
  EXPECT_EQ(test::NamesIn(hf / "ソラ_受信フォルダ"), "keep");
  EXPECT_TRUE(hf.Exists("ソラ_宝物/tzl001.pac"));
  EXPECT_TRUE(hf.Exists("bak/ソラ_宝物/tzl001.pac"));
  EXPECT_EQ(hf.CurrentOnDisk(), "ミミ");
  for (const auto& [path, bytes] : before)
    if (path.find("ソラ_") == std::string::npos) {
      EXPECT_EQ(hf.Read(path), bytes) << path;
    }
}

TEST_F(DataDialogsTest, ADeletionThatCouldNotDeleteTheSettingsFileSaysThePetIsStillRegistered) {
  BackUpNow();
  Start();
  ExpectPick("ソラ");
  std::unique_ptr<FileOps> ops;
  std::unique_ptr<ScopedFileOps> scope;
  host.ExpectModal("Form4", [&](ui::Form& f) {
    ops = std::make_unique<FileOps>();
    scope = std::make_unique<ScopedFileOps>(*ops);
    ops->FailAt(1, std::make_error_code(std::errc::permission_denied));  // her settings file
    host.Click(f, "Command1");
  });
  const OpResult refused =
      OpResult::Fail(Action::Delete, std::make_error_code(std::errc::permission_denied), hf / "ソラ_PostPet設定.ppc");
  host.ExpectMessage(Answer::kOk)
      .Text("ソラの削除で、次のデータを削除できませんでした\r\n" + refused.Describe() +
            "\r\nそれ以外のデータは削除しました\r\n設定ファイルが残っているため、ソラは登録されたままです")
      .With(ui::Icon::kExclamation);
  host.Click(menu->form(), "Command6");
  EXPECT_TRUE(hf.Exists("ソラ_PostPet設定.ppc"));
  EXPECT_FALSE(hf.Exists("ソラ_受信フォルダ"));
}

}  // namespace
}  // namespace lup
