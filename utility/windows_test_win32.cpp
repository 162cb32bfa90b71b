// The utility's windows built by the real backend under Wine: controls,
// captions and places read back through the Win32 API, the hover
// descriptions and keys as the user gives them, and a screenshot of each
// window for a person to look at.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <ostream>
#include <string>

#include "base/text.h"
#include "core/petstore.h"
#include "platform/win32/wide.h"
#include "ui/win32/host_win32.h"
#include "ui/win32/readback_win32.h"
#include "ui/win32/screenshot_win32.h"
#include "utility/data_dialogs.h"
#include "utility/register.h"
#include "utility/select.h"
#include "utility/utility_fixture.h"

namespace lup {
namespace {

using namespace ui::win32::readback;
using test::UtilityFolder;

std::filesystem::path ScreenshotFile(const char* name) {
  return ui::win32::ScreenshotFile(U8Path(LUP_SCREENSHOT_DIR), name);
}

class UtilityWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hf.AddPet("ミミ");
    hf.AddPet("ソラ");
    hf.AddPet("能登");
    // The pointer away from the windows: the menu's label follows it.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    host = ui::win32::NewHost();
    menu = hf.MakeMenu(*host);
    ASSERT_TRUE(menu->Start());
    Settle();
  }
  void TearDown() override {
    menu.reset();
    host.reset();
  }
  void Settle() {
    for (int i = 0; i < 20; ++i) host->DoEvents();
  }
  bool Screenshot(HWND window, const char* name) {
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    if (!ui::win32::RepaintAndSettle(window, [&] { host->DoEvents(); })) return false;
    return ui::win32::SaveScreenshot(window, ScreenshotFile(name));
  }
  int Px(const ui::Form& f, ui::Twips t) { return MulDiv(t, static_cast<int>(ui::win32::DpiOf(f)), 1440); }
  HWND Win(const ui::Form& f, const char* name, int index = -1) {
    return ui::win32::WindowOf(f.GetControl(name, index));
  }
  void ExpectControl(const ui::Form& f, const char* name, const wchar_t* cls, const std::string& text) {
    HWND h = Win(f, name);
    ASSERT_TRUE(h) << name;
    EXPECT_EQ(ClassOf(h), cls) << name;
    EXPECT_EQ(Narrow(TextOf(h)), text) << name;
    EXPECT_TRUE(IsWindowVisible(h)) << name;
  }
  void ExpectClientSize(HWND window, const ui::Form& f) {
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, Px(f, f.ClientWidth()));
    EXPECT_EQ(client.bottom, Px(f, f.ClientHeight()));
  }

  UtilityFolder hf;
  std::unique_ptr<ui::Host> host;
  std::unique_ptr<MenuWindow> menu;
};

TEST_F(UtilityWindowsTest, TheMenuWindow) {
  const ui::Form& f = menu->form();
  HWND main = ui::win32::WindowOf(f);
  EXPECT_EQ(CaptionsThatDoNotFit(main), std::vector<std::string>{});
  ASSERT_TRUE(main);
  EXPECT_EQ(Narrow(TextOf(main)), "ルピナ・ヴィラ用ユーティリティ");
  ExpectClientSize(main, f);
  const LONG_PTR style = GetWindowLongPtrW(main, GWL_STYLE);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  // Each button where the form puts it, with its caption.
  for (const char* name : {"Command1", "Command2", "Command3", "Command4", "Command5", "Command6", "Command7",
                           "Command8"}) {
    const ui::Control& button = f.GetControl(name);
    ExpectControl(f, name, L"Button", button.Caption());
    const RECT place = PlaceOf(Win(f, name));
    EXPECT_EQ(place.left, Px(f, button.Geometry().left)) << name;
    EXPECT_EQ(place.top, Px(f, button.Geometry().top)) << name;
    EXPECT_EQ(place.right - place.left, Px(f, button.Geometry().width)) << name;
  }
  ExpectControl(f, "Label1", L"Static", kMenuHint);

  // The tab order the menu gives.
  const char* order[] = {"Command1", "Command2", "Command3", "Command6", "Command5",
                         "Command4", "Command7", "Command8", "Command1"};
  for (int i = 0; i + 1 < 9; ++i) {
    EXPECT_EQ(GetNextDlgTabItem(main, Win(f, order[i]), FALSE), Win(f, order[i + 1])) << order[i];
  }

  EXPECT_TRUE(Screenshot(main, "utility_menu.png"));

  // The descriptions follow the mouse; the background brings the hint back.
  SendMessageW(Win(f, "Command7"), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(Narrow(TextOf(Win(f, "Label1"))), "ペットの名前をスイッチ指定したルピナヴィラのショートカットを作成します");
  SendMessageW(Win(f, "Command8"), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
  EXPECT_EQ(Narrow(TextOf(Win(f, "Label1"))), "ペットの名前をスイッチ指定したルピナヴィラのショートカットを作成します");
  SendMessageW(main, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(Narrow(TextOf(Win(f, "Label1"))), kMenuHint);
}

TEST_F(UtilityWindowsTest, ThePetNameDialog) {
  PetNameDialog dialog(*host, hf.processes, menu->state().settings, "新しいペットの名前を入力してください",
                       hf / "PostPet設定.ppc", true);
  host->Show(dialog.form());
  Settle();
  const ui::Form& f = dialog.form();
  HWND window = ui::win32::WindowOf(f);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  ASSERT_TRUE(window);
  EXPECT_EQ(Narrow(TextOf(window)), "");
  ExpectClientSize(window, f);
  ExpectControl(f, "Label1", L"Static", "新しいペットの名前を入力してください");
  ExpectControl(f, "Text1", L"Edit", "");
  ExpectControl(f, "Command1", L"Button", "OK");
  EXPECT_FALSE(IsWindowEnabled(Win(f, "Command1")));
  EXPECT_EQ(GetWindowLongPtrW(Win(f, "Command1"), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  SetWindowTextW(Win(f, "Text1"), L"ハナ");  // as the user types
  EXPECT_TRUE(IsWindowEnabled(Win(f, "Command1")));
  EXPECT_TRUE(Screenshot(window, "utility_pet_name.png"));
  host->Unload(dialog.form());
  EXPECT_FALSE(hf.Exists("ハナ_PostPet設定.ppc"));
}

TEST_F(UtilityWindowsTest, ThePetSelectionDialog) {
  PetSelectDialog& selection = menu->selection();
  selection.SetForm(SelectionTask::kShortcut);
  host->Show(selection.form());
  Settle();
  const ui::Form& f = selection.form();
  HWND window = ui::win32::WindowOf(f);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  ASSERT_TRUE(window);
  EXPECT_EQ(Narrow(TextOf(window)), "スイッチに指定するペットの選択");
  ExpectClientSize(window, f);
  HWND list = Win(f, "List1");
  ASSERT_TRUE(list);
  EXPECT_EQ(ClassOf(list), L"ListBox");
  ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 3);
  const char* pets[] = {"ソラ", "ミミ", "能登"};
  for (int i = 0; i < 3; ++i) {
    wchar_t text[64] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    EXPECT_EQ(Narrow(text), pets[i]);
  }
  EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), LB_ERR);
  ExpectControl(f, "Command1", L"Button", "キャンセル");
  EXPECT_TRUE(Screenshot(window, "utility_pet_selection.png"));

  // Esc is the cancel button: the dialog goes, nothing is picked.
  selection.list().SetFocus();
  PostMessageW(list, WM_KEYDOWN, VK_ESCAPE, 1);
  Settle();
  EXPECT_FALSE(f.Loaded());
  EXPECT_EQ(menu->state().selectedPet, "");
}

// ---- the backup, repair and deletion dialogs -----------------------------------------

// A check box as the user sees it: caption, tick, enabled, bold.
struct BoxSeen {
  std::string caption;
  bool checked;
  bool enabled;
  bool bold;
  bool operator==(const BoxSeen&) const = default;
};
std::ostream& operator<<(std::ostream& os, const BoxSeen& b) {
  return os << b.caption << (b.checked ? " ticked" : "") << (b.enabled ? "" : " disabled") << (b.bold ? " bold" : "");
}

BoxSeen SeeBox(HWND box) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(box, WM_GETFONT, 0, 0)), sizeof font, &font);
  return {Narrow(TextOf(box)), SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED, IsWindowEnabled(box) != FALSE,
          font.lfWeight >= FW_BOLD};
}

class DataDialogsWindowsTest : public UtilityWindowsTest {
 protected:
  void SetUp() override {
    UtilityWindowsTest::SetUp();
    hf.PutThreePets();
    Settings s;
    s.hostFolder = hf.D();
    s.MakeHostPaths();
    ASSERT_TRUE(PetStore(s).BackUp().ok());
  }
  // Shows `f` as the user would see it (not modally: the test reads it back).
  HWND ShowForm(ui::Form& f) {
    host->Show(f);
    Settle();
    return ui::win32::WindowOf(f);
  }
  // The tab order from `first` round to it again, as the Tab key goes.
  std::vector<std::string> TabOrder(const ui::Form& f, HWND window, HWND first) {
    std::vector<std::string> names;
    HWND h = first;
    for (int i = 0; i < 12; ++i) {
      for (const auto& c : f.Controls())
        if (ui::win32::WindowOf(*c) == h) names.push_back(c->Label());
      h = GetNextDlgTabItem(window, h, FALSE);
      if (h == first) break;
    }
    return names;
  }
};

TEST_F(DataDialogsWindowsTest, TheBackupDialog) {
  BackupDialog dialog(menu->env(), menu->state());
  ui::Form& f = dialog.form();
  HWND window = ShowForm(f);
  ASSERT_TRUE(window);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  EXPECT_EQ(Narrow(TextOf(window)), "データをバックアップします");
  ExpectClientSize(window, f);
  ExpectControl(f, "Label2", L"Static", "全てのペットのデータをバックアップします");
  ExpectControl(f, "Label1", L"Static", "チェックを外したアイテムはバックアップされません");
  ExpectControl(f, "Command1", L"Button", "バックアップ実行");
  ExpectControl(f, "Command2", L"Button", "キャンセル");
  const char* captions[5] = {"おともだち帳", "送受信簿", "おやつ", "宝物", "PostPet設定.ppc"};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(SeeBox(Win(f, "Check1", i)), (BoxSeen{captions[i], true, true, false})) << i;
  EXPECT_EQ(GetFocus(), Win(f, "Command2"));
  EXPECT_EQ(TabOrder(f, window, Win(f, "Command2")),
            (std::vector<std::string>{"Command2", "Command1", "Check1(3)", "Check1(2)", "Check1(1)", "Check1(0)",
                                      "Check1(4)"}));
  // Unticked by the user, as the dialog reads it.
  SendMessageW(Win(f, "Check1", 4), BM_CLICK, 0, 0);
  Settle();
  EXPECT_EQ(f.Get<ui::CheckBox>("Check1", 4).Value(), 0);
  EXPECT_TRUE(Screenshot(window, "utility_backup.png"));
  host->Unload(f);
}

TEST_F(DataDialogsWindowsTest, TheRepairDialogShowsSharedItemsInBold) {
  hf.Remove("bak/ソラ_宝物");  // her treasures have no backup
  menu->state().selectedPet = "ソラ";
  RepairDialog dialog(menu->env(), menu->state());
  ASSERT_TRUE(dialog.CheckData().ok());
  ui::Form& f = dialog.form();
  HWND window = ShowForm(f);
  ASSERT_TRUE(window);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  EXPECT_EQ(Narrow(TextOf(window)), "ソラのデータを修復します");
  ExpectClientSize(window, f);
  ExpectControl(f, "Label1", L"Static", "チェックを外したアイテムは修復されません");
  ExpectControl(f, "Label2", L"Static", "太字は他のペットと共有のアイテムです");
  ExpectControl(f, "Command1", L"Button", "修復実行");
  // She shares her friend book and snacks.
  EXPECT_EQ(SeeBox(Win(f, "Check1", 0)), (BoxSeen{"おともだち帳", true, true, true}));
  EXPECT_EQ(SeeBox(Win(f, "Check1", 1)), (BoxSeen{"送受信簿", true, true, false}));
  EXPECT_EQ(SeeBox(Win(f, "Check1", 2)), (BoxSeen{"おやつ", true, true, true}));
  EXPECT_EQ(SeeBox(Win(f, "Check1", 3)), (BoxSeen{"宝物", false, false, false}));
  EXPECT_EQ(SeeBox(Win(f, "Check1", 4)), (BoxSeen{"PostPet設定.ppc", true, true, false}));
  EXPECT_EQ(GetFocus(), Win(f, "Command2"));
  EXPECT_TRUE(Screenshot(window, "utility_repair.png"));
  host->Unload(f);
}

TEST_F(DataDialogsWindowsTest, TheDeletionDialog) {
  menu->state().selectedPet = "ソラ";
  DeleteDialog dialog(menu->env(), menu->state());
  ASSERT_TRUE(dialog.CheckData().ok());
  ui::Form& f = dialog.form();
  HWND window = ShowForm(f);
  ASSERT_TRUE(window);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  EXPECT_EQ(Narrow(TextOf(window)), "ソラを削除します");
  ExpectClientSize(window, f);
  ExpectControl(f, "Label1", L"Static", "チェックを外したアイテムは削除されません");
  ExpectControl(f, "Command1", L"Button", "削除実行");
  ExpectControl(f, "Command2", L"Button", "キャンセル");
  EXPECT_EQ(SeeBox(Win(f, "Check1", 0)), (BoxSeen{"おともだち帳を削除する", false, false, false}));
  EXPECT_EQ(SeeBox(Win(f, "Check1", 1)), (BoxSeen{"送受信簿を削除する", true, true, false}));
  EXPECT_EQ(SeeBox(Win(f, "Check1", 2)), (BoxSeen{"おやつを削除する", false, false, false}));
  EXPECT_EQ(SeeBox(Win(f, "Check1", 3)), (BoxSeen{"宝物を削除する", true, true, false}));
  EXPECT_EQ(GetFocus(), Win(f, "Check1", 1));
  // Disabled boxes are passed over.
  EXPECT_EQ(TabOrder(f, window, Win(f, "Check1", 1)),
            (std::vector<std::string>{"Check1(1)", "Check1(3)", "Command1", "Command2"}));
  EXPECT_TRUE(Screenshot(window, "utility_delete.png"));
  host->Unload(f);
  EXPECT_TRUE(hf.Exists("ソラ_PostPet設定.ppc"));
}

// Presses the Down key in the list once the dialog runs its modal loop.
ui::ListBox* g_list = nullptr;
void CALLBACK PressDown(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  HWND list = ui::win32::WindowOf(*g_list);
  SetFocus(list);
  PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
}

// The keyboard picks as a click does: the dialog goes (inside the list's own
// notification) and the task starts.
TEST_F(UtilityWindowsTest, APickByTheKeyboardClosesTheDialogAndStartsItsTask) {
  hf.Write("bak/ソラ_PostPet設定.ppc.bak", "backup");
  std::string repaired;
  bool dialogGone = false;
  menu->env().more.repair = [&](UtilityState& s) {
    repaired = s.selectedPet;
    dialogGone = !menu->selection().form().Loaded();
    return OpResult::Ok();
  };
  menu->selection().SetForm(SelectionTask::kRepair);
  g_list = &menu->selection().list();
  SetTimer(nullptr, 0, 50, &PressDown);
  menu->selection().ShowAndRun();
  EXPECT_EQ(repaired, "ソラ");
  EXPECT_TRUE(dialogGone);
  EXPECT_TRUE(IsWindowEnabled(ui::win32::WindowOf(menu->form())));
}

}  // namespace
}  // namespace lup
