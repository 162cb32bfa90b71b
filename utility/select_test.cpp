// The pet selection dialog, the per-pet shortcut and emptying a treasure
// box, headless.
#include <gtest/gtest.h>

#include "base/text.h"
#include "core/fileops.h"
#include "platform/shell.h"
#include "ui/headless/headless_host.h"
#include "utility/select.h"
#include "utility/utility_fixture.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::HostFolder;
using test::UtilityFolder;
using ui::Answer;
using ui::headless::HeadlessHost;

constexpr const char* kCancelled = "作業を取りやめました";

class SelectTest : public ::testing::Test {
 protected:
  SelectTest() {
    hf.AddPet("ミミ");
    hf.AddPet("ソラ");
    hf.Write("bak/ソラ_PostPet設定.ppc.bak", "backup");
    hf.WriteCurrent("ミミ");
  }
  void Start() {
    menu = hf.MakeMenu(host);
    ASSERT_TRUE(menu->Start());
  }
  PetSelectDialog& Dialog() { return menu->selection(); }
  std::vector<std::string> Listed() { return Dialog().list().Items(); }
  // Opens the dialog from `button` and picks `pet`; `task` scripts what the
  // task then asks.
  void Pick(const char* button, const std::string& pet, const std::function<void()>& task = {}) {
    host.ExpectModal("Form3", [this, pet](ui::Form& f) {
      const auto& items = Dialog().list().Items();
      const auto it = std::find(items.begin(), items.end(), pet);
      ASSERT_NE(it, items.end()) << pet;
      host.Select(f, "List1", static_cast<int>(it - items.begin()));
      EXPECT_FALSE(f.Loaded());  // gone before the task asks anything
    });
    if (task) task();
    host.Click(menu->form(), button);
  }

  UtilityFolder hf;
  HeadlessHost host;
  std::unique_ptr<MenuWindow> menu;
};

TEST_F(SelectTest, EachModeHasItsCaptionAndItsPets) {
  Start();
  // A value outside the four acts as the shortcut.
  const struct {
    int mode;
    const char* caption;
    std::vector<std::string> pets;
  } modes[] = {{0, "スイッチに指定するペットの選択", {"ソラ", "ミミ"}},
               {1, "修復するペットの選択", {"ソラ"}},
               {2, "削除するペットの選択", {"ソラ", "ミミ"}},
               {3, "スイッチに指定するペットの選択", {"ソラ", "ミミ"}},
               {4, "宝箱を空にするペットの選択", {"ソラ", "ミミ"}},
               {5, "スイッチに指定するペットの選択", {"ソラ", "ミミ"}}};
  for (const auto& m : modes) {
    Dialog().SetForm(static_cast<SelectionTask>(m.mode));
    EXPECT_EQ(Dialog().form().Caption(), m.caption) << m.mode;
    EXPECT_EQ(Listed(), m.pets) << m.mode;
    EXPECT_TRUE(Dialog().list().Visible());
    EXPECT_EQ(Dialog().list().ListIndex(), -1);
  }
  // The list fills the dialog's width above the cancel button.
  const ui::Form& f = Dialog().form();
  const ui::Rect list = Dialog().list().Geometry();
  const ui::Rect cancel = f.Get<ui::Button>("Command1").Geometry();
  EXPECT_EQ(f.Get<ui::Button>("Command1").Caption(), "キャンセル");
  EXPECT_EQ(list.left, 0);
  EXPECT_EQ(list.width, f.ClientWidth());
  EXPECT_GE(cancel.top, list.top + list.height);
  EXPECT_GE(cancel.left, 0);
  EXPECT_LE(cancel.left + cancel.width, f.ClientWidth());
  EXPECT_LE(cancel.top + cancel.height, f.ClientHeight());
}

TEST_F(SelectTest, WithoutPetsOnlyCancelOrEscCloseTheDialog) {
  hf.Remove("ミミ_PostPet設定.ppc");
  hf.Remove("ソラ_PostPet設定.ppc");
  Start();
  host.ExpectModal("Form3", [&](ui::Form& f) {
    EXPECT_EQ(Dialog().list().Count(), 0);
    host.Click(f, "Command1");
  });
  host.Click(menu->form(), "Command7");
  host.ExpectModal("Form3", [&](ui::Form& f) { host.PressEscape(f); });
  host.Click(menu->form(), "Command8");
  EXPECT_TRUE(host.messages().empty());
  EXPECT_TRUE(hf.Exists("lupina.dat"));
}

TEST_F(SelectTest, RepairAndDeletionPicksGoToTheirDialogs) {
  std::vector<std::string> calls;
  OpResult prepared = OpResult::Ok();
  hf.more.repair = [&](UtilityState& s) {
    calls.push_back("repair " + s.selectedPet);
    return prepared;
  };
  hf.more.remove = [&](UtilityState& s) {
    calls.push_back("delete " + s.selectedPet);
    return prepared;
  };
  Start();
  Pick("Command4", "ソラ");
  Pick("Command6", "ミミ");
  EXPECT_EQ(calls, (std::vector<std::string>{"repair ソラ", "delete ミミ"}));
  EXPECT_TRUE(host.messages().empty());
  // A dialog that cannot be prepared ends the pick with the cancel message.
  prepared = OpResult::Fail(Action::Read, std::make_error_code(std::errc::permission_denied), hf / "lupina3.dat");
  Pick("Command6", "ソラ", [&] {
    host.ExpectMessage(Answer::kOk)
        .Title("ルピナ・ヴィラ用ユーティリティ")
        .Text(prepared.Describe() + "\r\n" + kCancelled)
        .With(ui::Icon::kCritical);
  });
  EXPECT_EQ(menu->state().selectedPet, "ソラ");
}

// ---- per-pet shortcuts ---------------------------------------------------------------

class ShortcutTest : public SelectTest {
 protected:
  ShortcutTest() { hf.Write("../プログラム/lupina.exe", "MZ"); }
  fs::path Launcher() { return hf.Programs() / "lupina.exe"; }
  fs::path Links() {
    fs::create_directories(hf / "../Links");
    return fs::weakly_canonical(hf / "../Links");
  }
  void ExpectIconQuestion() {
    host.ExpectMessage(Answer::kOk)
        .Title("ルピナ・ヴィラ用ユーティリティ")
        .Text("ショートカットに使用するアイコンを選択してください。")
        .With(ui::Icon::kNone);
  }
};

TEST_F(ShortcutTest, AShortcutStartsTheLauncherWithThePetsName) {
  Start();
  const fs::path links = Links();
  Pick("Command7", "ミミ", [&] {
    host.ExpectFolder(links).Title("ショートカットを作成するフォルダ");
    ExpectIconQuestion();
    host.ExpectIcon(ui::IconChoice{Launcher(), 0}).StartsAt({Launcher(), 0});
    host.ExpectMessage(Answer::kOk).Text("ショートカットを作成しました").With(ui::Icon::kNone);
  });
  const std::optional<Shortcut> link = ReadShortcut(links / U8Path("ミミ.LNK"));
  ASSERT_TRUE(link);
  EXPECT_EQ(link->target, Launcher());
  EXPECT_EQ(link->arguments, "ミミ");
  EXPECT_EQ(link->workingFolder, hf.D());
  EXPECT_EQ(link->iconFile, Launcher());
  EXPECT_EQ(link->iconIndex, 0);
  EXPECT_EQ(link->showCommand, 1);  // written 0: a normal window
  EXPECT_EQ(link->hotKey, 0);
  EXPECT_EQ(test::NamesIn(links), "ミミ.LNK");
  EXPECT_TRUE(hf.Exists("lupina.dat"));  // nothing else changes
}

TEST_F(ShortcutTest, ANameEndingInLnkGetsNoSecondExtensionAndTheChosenIconIsKept) {
  hf.AddPet("x.LnK");
  Start();
  const fs::path links = Links();
  Pick("Command7", "x.LnK", [&] {
    host.ExpectFolder(links);
    ExpectIconQuestion();
    host.ExpectIcon(ui::IconChoice{hf / "icons.dll", 7});
    host.ExpectMessage(Answer::kOk).Text("ショートカットを作成しました");
  });
  EXPECT_EQ(test::NamesIn(links), "x.LnK");
  const std::optional<Shortcut> link = ReadShortcut(links / "x.LnK");
  ASSERT_TRUE(link);
  EXPECT_EQ(link->iconFile, hf / "icons.dll");
  EXPECT_EQ(link->iconIndex, 7);
}

TEST_F(ShortcutTest, CancellingTheFolderOrTheIconEndsSilently) {
  Start();
  Pick("Command7", "ミミ", [&] {
    host.ExpectFolder({});
  });
  const fs::path links = Links();
  Pick("Command7", "ミミ", [&] {
    host.ExpectFolder(links);
    ExpectIconQuestion();
    host.ExpectIcon(std::nullopt);
  });
  EXPECT_EQ(test::NamesIn(links), "");
  EXPECT_EQ(host.messages().size(), 1u);
}

TEST_F(ShortcutTest, AReadOnlyOrMissingLauncherOffersTheSystemIcons) {
  fs::permissions(Launcher(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const ui::IconChoice system{SystemFolder() / "SHELL32.DLL", 0};
  EXPECT_EQ(IconChooserStart(Launcher()), system);
  fs::permissions(Launcher(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(IconChooserStart(Launcher()), (ui::IconChoice{Launcher(), 0}));
  EXPECT_EQ(IconChooserStart(hf / "missing.exe"), system);
}

TEST_F(ShortcutTest, AShortcutThatCannotBeWrittenIsReportedNamingThePath) {
  Start();
  const fs::path links = Links();
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(1, std::make_error_code(std::errc::permission_denied));
  Pick("Command7", "ソラ", [&] {
    host.ExpectFolder(links);
    ExpectIconQuestion();
    host.ExpectIcon(ui::IconChoice{Launcher(), 0});
    host.ExpectMessage(Answer::kOk)
        .Text(PathText(links / U8Path("ソラ.LNK")) + " に書き込めませんでした（アクセスが拒否されました（読み取り専用か、使用中です））\r\n"
              "ショートカットを作成できませんでした")
        .With(ui::Icon::kExclamation);
  });
  EXPECT_EQ(test::NamesIn(links), "");
}

// ---- emptying a treasure box ------------------------------------------------------------

class TreasureTest : public SelectTest {
 protected:
  TreasureTest() {
    hf.Write("lupina3.dat", HostFolder::Cp932("\"ミミ\",0,0,0,0\r\n\"ソラ\",0,0,0,1\r\n"));
    hf.Put("ミミ_宝物/tzl001.pac", test::BoxBytes("ミミ"));
    hf.Put("共有/宝物/tzl001.pac", test::BoxBytes("共有"));
    hf.Put("ソラ_宝物/tzl001.pac", test::BoxBytes("ソラ"));
  }
  void ExpectEmptied(const std::string& pet) {
    host.ExpectMessage(Answer::kOk)
        .Title("ルピナ・ヴィラ用ユーティリティ")
        .Text(pet + "の宝箱を空にしました")
        .With(ui::Icon::kInformation);
  }
  void ExpectCancelled() { host.ExpectMessage(Answer::kOk).Text(kCancelled).With(ui::Icon::kCritical); }
  void ExpectBoxQuestion(const std::string& whose, const fs::path& answer) {
    host.ExpectMessage(Answer::kOk)
        .Text(whose + "が見つかりません\r\n他のペットの宝箱を元に作成します\r\n元にするtzl001.pacを指定してください")
        .With(ui::Icon::kExclamation);
    host.ExpectOpenFile(answer).Title("コピー元の宝箱を選択").Filter("宝箱", "tzl001.pac").InitialFolder(hf.D());
  }
};

TEST_F(TreasureTest, APetsOwnBoxIsEmptiedWithoutAQuestion) {
  Start();
  Pick("Command8", "ミミ", [&] {
    ExpectEmptied("ミミ");
  });
  EXPECT_EQ(hf.Read("ミミ_宝物/tzl001.pac"), test::BoxBytesReset("ミミ"));
  EXPECT_EQ(hf.Read("共有/宝物/tzl001.pac"), test::BoxBytes("共有"));
  EXPECT_FALSE(hf.Exists("lupina.dat"));
}

TEST_F(TreasureTest, ASharedBoxIsEmptiedOnlyOnYesAndNamedAfterThePet) {
  Start();
  Pick("Command8", "ソラ", [&] {
    host.ExpectMessage(Answer::kNo)
        .Text("ソラの宝箱は共有です\r\n空にしてもよろしいですか？")
        .With(ui::Buttons::kYesNo)
        .With(ui::Icon::kNone)
        .DefaultButton(1);
    ExpectCancelled();
  });
  EXPECT_EQ(hf.Read("共有/宝物/tzl001.pac"), test::BoxBytes("共有"));
  EXPECT_TRUE(hf.Exists("lupina.dat"));

  Pick("Command8", "ソラ", [&] {
    host.ExpectMessage(Answer::kYes).TextHas("ソラの宝箱は共有です");
    ExpectEmptied("ソラ");
  });
  EXPECT_EQ(hf.Read("共有/宝物/tzl001.pac"), test::BoxBytesReset("共有"));
  EXPECT_EQ(hf.Read("ソラ_宝物/tzl001.pac"), test::BoxBytes("ソラ"));
  EXPECT_EQ(menu->state().flags, (ShareFlags{0, 0, 0, 1}));
  EXPECT_FALSE(hf.Exists("lupina.dat"));
}

TEST_F(TreasureTest, AMissingOwnBoxAndFolderAreMadeFromTheChosenBox) {
  hf.Remove("ミミ_宝物");
  hf.Put("elsewhere/tzl001.pac", test::BoxBytes("他"));
  Start();
  Pick("Command8", "ミミ", [&] {
    ExpectBoxQuestion("ミミの宝箱", hf / "elsewhere/tzl001.pac");
    ExpectEmptied("ミミ");
  });
  EXPECT_EQ(hf.Read("ミミ_宝物/tzl001.pac"), test::BoxBytesReset("他"));
  EXPECT_EQ(hf.Read("elsewhere/tzl001.pac"), test::BoxBytes("他"));
}

TEST_F(TreasureTest, AMissingSharedBoxNotChosenCancels) {
  hf.Remove("共有/宝物/tzl001.pac");
  Start();
  Pick("Command8", "ソラ", [&] {
    host.ExpectMessage(Answer::kYes);
    ExpectBoxQuestion("共有の宝箱", {});
    ExpectCancelled();
  });
  EXPECT_FALSE(hf.Exists("共有/宝物/tzl001.pac"));
  EXPECT_TRUE(hf.Exists("lupina.dat"));
}

TEST_F(TreasureTest, APetWithoutARecordSharesNothing) {
  hf.AddPet("クロ");
  hf.Put("クロ_宝物/tzl001.pac", test::BoxBytes("クロ"));
  Start();
  // No question: ソラ's line before it does not count.
  Pick("Command8", "クロ", [&] { ExpectEmptied("クロ"); });
  EXPECT_EQ(hf.Read("クロ_宝物/tzl001.pac"), test::BoxBytesReset("クロ"));
  EXPECT_EQ(hf.Read("共有/宝物/tzl001.pac"), test::BoxBytes("共有"));
}

TEST_F(TreasureTest, TheCurrentPetsTreasuresArePutAwayBeforeHerBoxIsEmptied) {
  hf.Put("宝物/tzl001.pac", test::BoxBytes("ミミ, newer"));
  hf.Put("宝物/gem.bmp", "a treasure she found since her call");
  Start();
  Pick("Command8", "ミミ", [&] { ExpectEmptied("ミミ"); });
  EXPECT_EQ(hf.Read("ミミ_宝物/tzl001.pac"), test::BoxBytesReset("ミミ, newer"));
  EXPECT_EQ(hf.Read("ミミ_宝物/gem.bmp"), "a treasure she found since her call");
  EXPECT_FALSE(hf.Exists("lupina.dat"));
}

TEST_F(TreasureTest, AFailureInTheMiddleIsNamedAndTheCurrentPetKept) {
  // ミミ's folders are there and the host holds nothing of hers: putting her
  // away takes no operation, and the first one is the box's.
  for (const char* d : {"受信フォルダ", "送信フォルダ", "おやつ"}) std::filesystem::create_directories(hf / (std::string("ミミ_") + d));
  Start();
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device));
  Pick("Command8", "ミミ", [&] {
    host.ExpectMessage(Answer::kOk)
        .Text(PathText(hf / "ミミ_宝物/tzl001.pac") + " に書き込めませんでした（ディスクの空き容量が足りません）\r\n" + kCancelled)
        .With(ui::Icon::kCritical);
  });
  EXPECT_EQ(hf.Read("ミミ_宝物/tzl001.pac"), test::BoxBytes("ミミ"));
  EXPECT_TRUE(hf.Exists("lupina.dat"));

  // A missing share list ends the task before anything is touched.
  hf.Remove("lupina3.dat");
  Pick("Command8", "ミミ", [&] {
    host.ExpectMessage(Answer::kOk).TextHas(PathText(hf / "lupina3.dat")).TextHas(kCancelled);
  });
}

}  // namespace
}  // namespace lup
