// Start-up and the menu window, headless on temporary host folders.
#include <gtest/gtest.h>

#include "base/text.h"
#include "ui/headless/headless_host.h"
#include "utility/utility_fixture.h"

namespace lup {
namespace {

using test::HostFolder;
using test::UtilityFolder;
using ui::Answer;
using ui::headless::HeadlessHost;

class MenuTest : public ::testing::Test {
 protected:
  bool Start() {
    menu = hf.MakeMenu(host);
    return menu->Start();
  }
  std::string Hint() { return menu->form().Get<ui::Label>("Label1").Caption(); }

  UtilityFolder hf;
  HeadlessHost host;
  std::unique_ptr<MenuWindow> menu;
};

std::string MissingHostText(const HostFolder& hf) {
  return "PostPet20.exeが見つかりません\r\n現在ポストペットのインストール先は" + PathText(hf.D()) +
         "になっています\r\n詳細設定を変更するため、ルピナ・ヴィラを起動します";
}

TEST_F(MenuTest, AMissingHostOkStartsTheLauncherMinimisedAndEnds) {
  hf.Remove("PostPet20.exe");
  host.ExpectMessage(Answer::kOk)
      .Title("ルピナ・ヴィラ用ユーティリティ")
      .Text(MissingHostText(hf))
      .With(ui::Buttons::kOkCancel)
      .With(ui::Icon::kExclamation);
  EXPECT_FALSE(Start());
  ASSERT_EQ(hf.processes.started.size(), 1u);
  EXPECT_EQ(hf.processes.started[0].program, hf.Programs() / "lupina.exe");
  EXPECT_EQ(hf.processes.started[0].arguments, "");
  EXPECT_EQ(hf.processes.started[0].show, ShowState::MinimizedFocus);
  EXPECT_TRUE(host.ended());
  EXPECT_FALSE(menu->form().Loaded());
  EXPECT_FALSE(hf.Exists("lupina3.dat"));
}

TEST_F(MenuTest, AMissingHostCancelEndsWithoutStartingAnything) {
  hf.Remove("PostPet20.exe");
  host.ExpectMessage(Answer::kCancel).Text(MissingHostText(hf));
  EXPECT_FALSE(Start());
  EXPECT_TRUE(hf.processes.started.empty());
  EXPECT_TRUE(host.ended());
  EXPECT_FALSE(hf.Exists("lupina3.dat"));
}

TEST_F(MenuTest, ALauncherThatCannotStartIsReportedAndTheUtilityEnds) {
  hf.Remove("PostPet20.exe");
  hf.processes.failStart = "指定されたファイルが見つかりません。";
  host.ExpectMessage(Answer::kOk).With(ui::Buttons::kOkCancel);
  host.ExpectMessage(Answer::kOk)
      .Text(PathText(hf.Programs() / "lupina.exe") + " を起動できませんでした（指定されたファイルが見つかりません。）")
      .With(ui::Icon::kCritical);
  EXPECT_FALSE(Start());
  EXPECT_TRUE(host.ended());
}

TEST_F(MenuTest, AMissingShareListIsRebuiltFromTheSettingsFiles) {
  hf.AddPet("ミミ");
  hf.Write("A_B_PostPet設定.ppc", "A");
  hf.Write("_PostPet設定.ppc", "nameless");
  hf.Write("PostPet設定.ppc", "the host's own: no pet");
  EXPECT_TRUE(Start());
  EXPECT_EQ(hf.Read("lupina3.dat"),
            HostFolder::Cp932("\"A\",0,0,0,0\r\n\"\",0,0,0,0\r\n\"ミミ\",0,0,0,0\r\n"));
  EXPECT_TRUE(host.messages().empty());
  EXPECT_FALSE(hf.Exists("lupina.dat"));  // the utility keeps no current pet
  EXPECT_TRUE(hf.store.values().size() == 1);  // and writes no setting
}

TEST_F(MenuTest, WithoutPetsAnEmptyShareListIsMadeAndAnExistingOneIsNeverRebuilt) {
  EXPECT_TRUE(Start());
  EXPECT_EQ(hf.Read("lupina3.dat"), "");
  HeadlessHost again;
  hf.AddPet("ミミ");
  hf.Write("lupina3.dat", HostFolder::Cp932("\"ゴースト\",1,1,1,1\r\n"));
  auto second = hf.MakeMenu(again);
  EXPECT_TRUE(second->Start());
  EXPECT_EQ(hf.Read("lupina3.dat"), HostFolder::Cp932("\"ゴースト\",1,1,1,1\r\n"));
}

// The buttons one below the other in this order, none over another, the
// hint beneath them, all inside the window.
TEST_F(MenuTest, TheMenuHasItsButtonsInTheirPlacesAndTabOrder) {
  ASSERT_TRUE(Start());
  const ui::Form& f = menu->form();
  EXPECT_TRUE(f.Visible());
  EXPECT_EQ(f.Caption(), "ルピナ・ヴィラ用ユーティリティ");
  EXPECT_EQ(f.GetBorder(), ui::Border::kFixedSingle);
  EXPECT_FALSE(f.MaxButton());
  EXPECT_FALSE(f.MinButton());
  const auto inside = [&](const ui::Rect& r) {
    return r.left >= 0 && r.top >= 0 && r.width > 0 && r.height > 0 && r.left + r.width <= f.ClientWidth() &&
           r.top + r.height <= f.ClientHeight();
  };
  const struct {
    const char* name;
    const char* caption;
    int tab;
  } buttons[] = {{"Command1", "新しいペットを飼う", 0},         {"Command2", "飼っているペットのデータを変換", 1},
                 {"Command6", "ペットの削除", 4},              {"Command5", "データのバックアップ", 5},
                 {"Command4", "壊れてしまったデータの修復", 6}, {"Command7", "ペット別のショートカット作成", 7},
                 {"Command8", "宝箱を空にする", 8},            {"Command3", "終了", 3}};
  ui::Twips below = 0;  // the bottom of the button above
  for (const auto& b : buttons) {
    const auto& c = f.Get<ui::Button>(b.name);
    EXPECT_EQ(c.Caption(), b.caption) << b.name;
    EXPECT_TRUE(inside(c.Geometry())) << b.name;
    EXPECT_GE(c.Geometry().top, below) << b.name;
    below = c.Geometry().top + c.Geometry().height;
    EXPECT_EQ(c.TabIndex(), b.tab) << b.name;
  }
  const auto& label = f.Get<ui::Label>("Label1");
  EXPECT_TRUE(inside(label.Geometry()));
  EXPECT_GE(label.Geometry().top, below);
  EXPECT_EQ(label.TabIndex(), 2);
  EXPECT_EQ(label.Caption(), kMenuHint);
}

TEST_F(MenuTest, HoverDescriptionsAndTheBackgroundResetTheLabel) {
  ASSERT_TRUE(Start());
  ui::Form& f = menu->form();
  host.MoveMouse(f, "Command1");
  const std::string first = Hint();
  EXPECT_EQ(first,
            "ポスペを起動して新しいペットを作成し\r\nルピナ・ヴィラに登録します\r\n"
            "現在飼っているペットをまだ登録していない場合、先に登録してから行ってください");
  // Command8, Command3 and the label itself keep the last description.
  host.MoveMouse(f, "Command8");
  host.MoveMouse(f, "Command3");
  host.MoveMouse(f, "Label1");
  EXPECT_EQ(Hint(), first);
  host.MoveMouse(f, "Command4");
  EXPECT_EQ(Hint(),
            "他のペットのデータが上書きされてしまったりして壊れてしまったデータを\r\n"
            "登録時、またはバックアップ時の状態に戻します");
  const std::pair<const char*, const char*> others[] = {
      {"Command2", "現在飼っているペットをルピナ・ヴィラに登録します"},
      {"Command5", "現在の全てのペットのデータをバックアップします"},
      {"Command6", "ルピナ・ヴィラに登録したペットを削除します"},
      {"Command7", "ペットの名前をスイッチ指定したルピナヴィラのショートカットを作成します"}};
  for (const auto& [button, text] : others) {
    host.MoveMouse(f, button);
    EXPECT_EQ(Hint(), text) << button;
  }
  host.MoveMouseOverForm(f);
  EXPECT_EQ(Hint(), kMenuHint);
}

TEST_F(MenuTest, TheBackupButtonOpensItsDialogAndEndOrTheCloseBoxEndTheUtility) {
  int backups = 0;
  hf.more.backup = [&](UtilityState& s) {
    ++backups;
    EXPECT_EQ(s.settings.hostFolder, hf.D());
  };
  ASSERT_TRUE(Start());
  host.Click(menu->form(), "Command5");
  EXPECT_EQ(backups, 1);
  host.Click(menu->form(), "Command3");
  EXPECT_TRUE(host.ended());

  HeadlessHost other;
  auto second = hf.MakeMenu(other);
  ASSERT_TRUE(second->Start());
  other.CloseBox(second->form());
  EXPECT_TRUE(other.ended());
  EXPECT_TRUE(other.quit_called());
}

}  // namespace
}  // namespace lup
