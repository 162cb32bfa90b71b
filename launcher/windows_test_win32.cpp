// The launcher's windows built by the real backend under Wine: controls,
// captions and colours read back through the Win32 API, and a screenshot of
// each window for a person to look at.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "base/text.h"
#include "launcher/dialogs.h"
#include "launcher/launcher.h"
#include "launcher/launcher_fixture.h"
#include "platform/win32/wide.h"
#include "ui/headless/headless_host.h"
#include "ui/win32/host_win32.h"
#include "ui/win32/readback_win32.h"
#include "ui/win32/screenshot_win32.h"

namespace lup {
namespace {

using namespace ui::win32::readback;

using test::HostFolder;
using test::LauncherFolder;

std::filesystem::path ScreenshotFile(const char* name) {
  return ui::win32::ScreenshotFile(U8Path(LUP_SCREENSHOT_DIR), name);
}

class LauncherWindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hf.AddPet("ミミ");
    hf.AddPet("ソラ");
    hf.AddPet("能登");
    hf.Write("lupina3.dat", HostFolder::Cp932("\"ミミ\",1,0,1,0\r\n\"ソラ\",0,1,0,1\r\n"));
    hf.Write("lupina.dat", HostFolder::Cp932("\"ミミ\"\r\n"));
    hf.Write("lupina2.dat", HostFolder::Cp932("\"能登\",#TRUE#\r\n"));
    // Both kept executables in place: the special-kind dialog saves silently.
    hf.Write("通常用_PostPet20.exe", "x");
    hf.Write("ノクタ用_PostPet20.exe", "x");
    hf.store.Set("ppexe1", PathText(hf / "通常用_PostPet20.exe"));
    hf.store.Set("ppexe2", PathText(hf / "ノクタ用_PostPet20.exe"));
    hf.store.Set("flg_opt1", "1");
    host = ui::win32::NewHost();
    launcher = hf.MakeLauncher(*host);
    ASSERT_EQ(launcher->Start(""), StartOutcome::Shown);
    Settle();
  }
  void TearDown() override {
    launcher.reset();
    host.reset();
  }
  void Settle() {
    for (int i = 0; i < 20; ++i) host->DoEvents();
  }
  // Lets every control finish painting before the screen is read.
  bool Screenshot(HWND window, const char* name) {
    // The pointer away from the window: no tool tip in the picture.
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    if (!ui::win32::RepaintAndSettle(window, [&] { host->DoEvents(); })) return false;
    return ui::win32::SaveScreenshot(window, ScreenshotFile(name));
  }
  int Px(const ui::Form& f, ui::Twips t) { return MulDiv(t, static_cast<int>(ui::win32::DpiOf(f)), 1440); }
  HWND Win(const ui::Form& f, const char* name, int index = -1) {
    return ui::win32::WindowOf(f.GetControl(name, index));
  }
  void ExpectControl(const ui::Form& f, const char* name, int index, const wchar_t* cls,
                     const std::string& text) {
    HWND h = Win(f, name, index);
    ASSERT_TRUE(h) << name << " " << index;
    EXPECT_EQ(ClassOf(h), cls) << name << " " << index;
    EXPECT_EQ(Narrow(TextOf(h)), text) << name << " " << index;
    EXPECT_TRUE(IsWindowVisible(h)) << name << " " << index;
  }
  POINT CellPoint(HWND list, int row, int col) {
    RECT r{};
    ListView_GetSubItemRect(list, row - 1, col, LVIR_BOUNDS, &r);
    return POINT{r.left + 2, r.bottom - 2};
  }

  LauncherFolder hf;
  std::unique_ptr<ui::Host> host;
  std::unique_ptr<Launcher> launcher;
};

TEST_F(LauncherWindowsTest, ThePetListWindow) {
  const ui::Form& f = launcher->form();
  HWND main = ui::win32::WindowOf(f);
  EXPECT_EQ(CaptionsThatDoNotFit(main), std::vector<std::string>{});
  ASSERT_TRUE(main);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(Narrow(TextOf(main)), "ルピナ・ヴィラ");
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, Px(f, f.ClientWidth()));
  EXPECT_EQ(client.bottom, Px(f, f.ClientHeight()));

  ExpectControl(f, "Check2", -1, L"Button", "1クリックで起動");
  EXPECT_EQ(SendMessageW(Win(f, "Check2"), BM_GETCHECK, 0, 0), BST_CHECKED);
  ExpectControl(f, "Label1", -1, L"Static", "前回呼び出したペットは ミミ です");
  ExpectControl(f, "Command2", -1, L"Button", "詳細設定");
  ExpectControl(f, "Command3", -1, L"Button", "バージョン情報");
  ExpectControl(f, "Command1", -1, L"Button", "終了");

  HWND list = Win(f, "List1");
  ASSERT_TRUE(list);
  EXPECT_EQ(ClassOf(list), L"SysListView32");
  const ui::Grid& grid = launcher->grid();
  for (int c = 0; c < 9; ++c) {
    if (c < 5) EXPECT_EQ(Narrow(HeaderText(list, c)), grid.Cell(0, c)) << c;
    EXPECT_EQ(ListView_GetColumnWidth(list, c), Px(f, grid.ColWidth(c))) << c;
  }
  // The shown columns fit: the list never scrolls sideways.
  EXPECT_FALSE(GetWindowLongPtrW(list, GWL_STYLE) & WS_HSCROLL);
  ASSERT_EQ(ListView_GetItemCount(list), 3);
  EXPECT_EQ(Narrow(CellText(list, 0, 0)), "ソラ");
  EXPECT_EQ(Narrow(CellText(list, 1, 0)), "ミミ");
  EXPECT_EQ(Narrow(CellText(list, 1, 1)), "共");
  EXPECT_EQ(Narrow(CellText(list, 1, 2)), "非");
  EXPECT_EQ(Narrow(CellText(list, 1, 7)), "1");

  // The share colours as the screen shows them, on the current row too.
  EXPECT_EQ(ScreenPixel(list, CellPoint(list, 1, 1)), Ref(kPerPetColour));
  EXPECT_EQ(ScreenPixel(list, CellPoint(list, 1, 2)), Ref(kSharedColour));
  EXPECT_EQ(ScreenPixel(list, CellPoint(list, 2, 1)), Ref(kSharedColour));
  EXPECT_EQ(ScreenPixel(list, CellPoint(list, 2, 2)), Ref(kPerPetColour));
  EXPECT_EQ(ScreenPixel(list, CellPoint(list, 3, 4)), Ref(kPerPetColour));

  EXPECT_TRUE(Screenshot(main, "launcher_pet_list.png"));
}

// Keys as the user presses them, on the focused control: posted, then taken
// off the queue by the host's loop as the user's keys are.
void PressKey(ui::Host& host, HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
  for (int i = 0; i < 10; ++i) host.DoEvents();
}

TEST_F(LauncherWindowsTest, ArrowKeysMoveTheCurrentPetAndEnterCallsIt) {
  HWND list = Win(launcher->form(), "List1");
  launcher->grid().SetFocus();
  Settle();
  ASSERT_EQ(GetFocus(), list);
  ASSERT_EQ(launcher->grid().Row(), 1);
  PressKey(*host, list, VK_DOWN);
  EXPECT_EQ(launcher->grid().Row(), 2);
  PressKey(*host, list, VK_DOWN);
  PressKey(*host, list, VK_UP);
  EXPECT_EQ(launcher->grid().Row(), 2);
  EXPECT_TRUE(hf.calls.empty());  // moving calls nobody, even with one-click launch
  PressKey(*host, list, VK_RETURN);
  ASSERT_EQ(hf.calls.size(), 1u);
  EXPECT_EQ(hf.calls[0].called, 1);
}

TEST_F(LauncherWindowsTest, TheShareSettingsDialog) {
  ShareDialog dialog(*host, PetStore(launcher->settings()), 2, launcher->pets().at(1),
                     [] { return true; }, [](int, const ShareFlags&) {});
  host->Show(dialog.form());
  Settle();
  const ui::Form& f = dialog.form();
  HWND window = ui::win32::WindowOf(f);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  ASSERT_TRUE(window);
  EXPECT_EQ(Narrow(TextOf(window)), "共有・非共有の設定");
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(f, f.ClientWidth()));
  EXPECT_EQ(client.bottom, Px(f, f.ClientHeight()));
  EXPECT_FALSE(GetWindowLongPtrW(window, GWL_STYLE) & WS_MAXIMIZEBOX);
  ExpectControl(f, "Label1", -1, L"Static", "ミミ");
  ExpectControl(f, "Frame1", -1, L"Button", "");
  const char* captions[] = {"おともだち帳", "送受信簿", "おやつ", "宝物"};
  const int values[] = {BST_CHECKED, BST_UNCHECKED, BST_CHECKED, BST_UNCHECKED};
  for (int k = 0; k < 4; ++k) {
    const std::string name = "Check" + std::to_string(k + 1);
    ExpectControl(f, name.c_str(), -1, L"Button", captions[k]);
    EXPECT_EQ(SendMessageW(Win(f, name.c_str()), BM_GETCHECK, 0, 0), values[k]) << name;
  }
  ExpectControl(f, "Command1", -1, L"Button", "OK");
  EXPECT_TRUE(Screenshot(window, "launcher_share_settings.png"));
  host->Unload(dialog.form());
}

// Windows moves the host's writes to the user's VirtualStore: the dialog
// says where the pets' data is, in full, above its buttons.
TEST_F(LauncherWindowsTest, TheDetailedSettingsDialogTellsWhereWindowsKeepsTheData) {
  Settings settings = launcher->settings();
  settings.hostView = os::HostView::kVirtualStore;
  settings.hostDataFolder = U8Path("C:\\Users\\ユーザー\\AppData\\Local\\VirtualStore\\Program Files (x86)\\So-net\\PostPet for Windows ver. 2.0");
  SettingsDialog dialog(settings, hf.store, *host);
  host->Show(dialog.form());
  Settle();
  const ui::Form& f = dialog.form();
  HWND window = ui::win32::WindowOf(f);
  ASSERT_TRUE(window);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  const std::string note = f.Get<ui::Label>("dataFolder").Caption();
  ExpectControl(f, "dataFolder", -1, L"Static", note);
  EXPECT_NE(note.find("VirtualStore"), std::string::npos);
  EXPECT_TRUE(Screenshot(window, "launcher_detailed_settings_virtualstore.png"));
  host->Unload(dialog.form());
}

TEST_F(LauncherWindowsTest, TheDetailedSettingsDialog) {
  SettingsDialog dialog(launcher->settings(), hf.store, *host);
  host->Show(dialog.form());
  Settle();
  const ui::Form& f = dialog.form();
  HWND window = ui::win32::WindowOf(f);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  ASSERT_TRUE(window);
  EXPECT_EQ(Narrow(TextOf(window)), "詳細設定");
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(f, f.ClientWidth()));
  EXPECT_EQ(client.bottom, Px(f, f.ClientHeight()));
  ExpectControl(f, "Text1", 8, L"Edit", PathText(hf.D()));
  ExpectControl(f, "Text1", 0, L"Edit", "PostPet20.exe");
  ExpectControl(f, "Text1", 2, L"Edit", "PostPet設定.ppc");
  ExpectControl(f, "Text1", 3, L"Edit", "おともだち帳");
  ExpectControl(f, "Text1", 5, L"Edit", "受信フォルダ");
  ExpectControl(f, "Label1", 8, L"Static", "ポストペットのインストール先");
  ExpectControl(f, "Label1", 7, L"Static", "おやつフォルダ名");
  ExpectControl(f, "Check1", -1, L"Button", "nsオプションを有効にする");
  ExpectControl(f, "Command3", -1, L"Button", "...");
  ExpectControl(f, "Command2", -1, L"Button", "ノクタ・ミラ用設定");
  ExpectControl(f, "Command1", -1, L"Button", "OK");
  EXPECT_TRUE(Screenshot(window, "launcher_detailed_settings.png"));
  host->Unload(dialog.form());
  EXPECT_EQ(hf.Setting("pp_name"), "<absent>");  // leaving without OK stores nothing
}

TEST_F(LauncherWindowsTest, TheSpecialKindDialog) {
  SpecialDialog dialog(launcher->settings(), hf.store, *host);
  host->Show(dialog.form());
  Settle();
  const ui::Form& f = dialog.form();
  HWND window = ui::win32::WindowOf(f);
  EXPECT_EQ(CaptionsThatDoNotFit(window), std::vector<std::string>{});
  ASSERT_TRUE(window);
  EXPECT_EQ(Narrow(TextOf(window)), "ノクタ・ミラ用設定");
  RECT client{};
  GetClientRect(window, &client);
  EXPECT_EQ(client.right, Px(f, f.ClientWidth()));
  EXPECT_EQ(client.bottom, Px(f, f.ClientHeight()));
  ExpectControl(f, "Label1", 0, L"Static", "通常ペット用ポストペット本体の場所");
  ExpectControl(f, "Label1", 1, L"Static", "ノクタ・ミラ用ポストペット本体の場所");
  ExpectControl(f, "Text1", 0, L"Edit", PathText(hf / "通常用_PostPet20.exe"));
  ExpectControl(f, "Text1", 1, L"Edit", PathText(hf / "ノクタ用_PostPet20.exe"));
  ExpectControl(f, "Label2", -1, L"Static", "チェックを入れたペットはノクタ・ミラ用のポストペット本体で起動します");
  ExpectControl(f, "Command2", -1, L"Button", "OK");
  HWND list = Win(f, "List1");
  ASSERT_TRUE(list);
  EXPECT_EQ(ClassOf(list), L"SysListView32");
  ASSERT_EQ(ListView_GetItemCount(list), 3);
  EXPECT_EQ(Narrow(CellText(list, 2, 0)), "能登");
  EXPECT_FALSE(ListView_GetCheckState(list, 0));
  EXPECT_TRUE(ListView_GetCheckState(list, 2));
  EXPECT_TRUE(Screenshot(window, "launcher_special_kind.png"));
  host->Unload(dialog.form());
  EXPECT_EQ(hf.Read("lupina2.dat"),
            HostFolder::Cp932("\"ソラ\",#FALSE#\r\n\"ミミ\",#FALSE#\r\n\"能登\",#TRUE#\r\n"));
}

// Windows finds a settings file whatever the letter case of the name, and
// so does the launcher: the pet is called by the spelling her files carry.
TEST(LauncherOnWindows, ACommandLineNameDifferingOnlyInLetterCaseCallsThatPet) {
  LauncherFolder hf;
  hf.AddPet("Mimi");
  ASSERT_TRUE(std::filesystem::exists(hf / "mimi_PostPet設定.ppc"));
  ui::headless::HeadlessHost host;
  auto launcher = hf.MakeLauncher(host);
  EXPECT_EQ(launcher->Start("\"mimi\""), StartOutcome::Called);
  ASSERT_EQ(hf.calls.size(), 1u);
  EXPECT_EQ(hf.calls[0].pets.at(static_cast<std::size_t>(hf.calls[0].called)).name, "Mimi");
}

}  // namespace
}  // namespace lup
