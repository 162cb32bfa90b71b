// The snack manager's window built by the real backend under Wine: its
// controls read back through the Win32 API, the expired rows red on the
// screen, and a screenshot for the eye.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "tests/support/temp_folder.h"
#include "base/text.h"
#include "platform/fake_processes.h"
#include "platform/win32/wide.h"
#include "snacks/snack_test_files.h"
#include "snacks/snack_window.h"
#include "ui/win32/host_win32.h"
#include "ui/win32/readback_win32.h"
#include "ui/win32/screenshot_win32.h"

namespace lup::snacks {
namespace {

using namespace ui::win32::readback;

namespace fs = std::filesystem;
using test::PutSnack;
using test::SnackSpec;

SnackSpec Snack(std::string name, int count, bool expired) {
  SnackSpec s;
  s.name = std::move(name);
  s.count = count;
  if (expired) {
    s.keepDays = 7;
    s.opened = {2023, 4, 1};
  }
  return s;
}

class Win32SnackWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(D());
    lup::test::WriteBytes(D() / U8Path("PostPet20.exe"), "host");
    for (const char* f : {"ミミ_おやつ", "ポチ_おやつ", "共有/おやつ", "おやつ"}) fs::create_directories(tmp / f);
    PutSnack(tmp / "ミミ_おやつ/a.pac", Snack("にんじんクッキー", 5, false));
    PutSnack(tmp / "ミミ_おやつ/b.pac", Snack("いちごミルク", 65535, true));
    PutSnack(tmp / "ミミ_おやつ/c.pac", Snack("おせんべい", 2, false));
    PutSnack(tmp / "ミミ_おやつ/d.pac", Snack("古いプリン", 1, true));
    PutSnack(tmp / "共有/おやつ/s.pac", Snack("みんなのアメ", 12, false));
    store.Set("pp_dir", PathText(D()));
    host = ui::win32::NewHost();
    window = std::make_unique<SnackWindow>(
        *host, SnackEnv{store, processes, tmp.path(), VersionNumber{1, 0, 0},
                        [] { return CivilDate{2024, 6, 15}; }});
    host->Show(window->form());
    Settle();
  }
  void TearDown() override {
    window.reset();
    host.reset();
  }
  void Settle() {
    for (int i = 0; i < 20; ++i) host->DoEvents();
  }
  fs::path D() const { return tmp.path(); }
  ui::Form& form() { return window->form(); }
  HWND Win(const char* name, int index = -1) { return ui::win32::WindowOf(form().GetControl(name, index)); }
  int Px(int twips) { return MulDiv(twips, static_cast<int>(ui::win32::DpiOf(form())), 1440); }
  void Pick(int combo, int index) {
    HWND h = Win("Combo1", combo);
    SendMessageW(h, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(GetParent(h), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(h), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(h));
  }
  POINT CellPoint(int item, int col) {
    RECT r{};
    ListView_GetSubItemRect(Win("Grid1"), item, col, LVIR_BOUNDS, &r);
    return POINT{r.right - 4, (r.top + r.bottom) / 2};
  }

  lup::test::TempFolder tmp;
  MemorySettingsStore store;
  FakeProcesses processes;
  std::unique_ptr<ui::Host> host;
  std::unique_ptr<SnackWindow> window;
};

TEST_F(Win32SnackWindowTest, ShiftWithTheArrowKeysStretchesTheSelection) {
  Pick(0, 1);  // ミミ's four snacks
  Settle();
  auto& grid = form().Get<ui::Grid>("Grid1");
  HWND list = Win("Grid1");
  ASSERT_GE(grid.Rows(), 5);
  grid.SetFocus();
  grid.SetRow(1);
  Settle();
  ASSERT_EQ(GetFocus(), list);
  const auto press = [&](WPARAM key, bool shift) {
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(keys);
    PostMessageW(list, WM_KEYDOWN, key, 1);
    PostMessageW(list, WM_KEYUP, key, 0xC0000001);
    for (int i = 0; i < 10; ++i) host->DoEvents();
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
  };
  press(VK_DOWN, true);
  press(VK_DOWN, true);
  EXPECT_EQ(grid.FirstSelectedRow(), 1);
  EXPECT_EQ(grid.LastSelectedRow(), 3);
  press(VK_DOWN, false);  // without Shift: one row again
  EXPECT_EQ(grid.FirstSelectedRow(), 4);
  EXPECT_EQ(grid.LastSelectedRow(), 4);
}

TEST_F(Win32SnackWindowTest, TheWindowAndItsControls) {
  HWND main = ui::win32::WindowOf(form());
  EXPECT_EQ(CaptionsThatDoNotFit(main), std::vector<std::string>{});
  ASSERT_TRUE(main) << "loaded " << form().Loaded() << ", launcher starts "
                    << processes.started.size();
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(TextOf(main), L"ルピナ・ヴィラ用おやつ管理ツール");
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, Px(form().ClientWidth()));
  EXPECT_EQ(client.bottom, Px(form().ClientHeight()));

  // Each control a window of its class showing the form's caption (the
  // combo boxes show their lists, read below).
  struct Expect { const char* name; int index; const wchar_t* cls; };
  const Expect expected[] = {
      {"Combo1", 0, L"ComboBox"},      {"Combo1", 1, L"ComboBox"},    {"Label1", -1, L"Static"},
      {"Label2", -1, L"Static"},       {"Label3", -1, L"Static"},     {"Label4", -1, L"Static"},
      {"Label5", -1, L"Static"},       {"Label6", -1, L"Static"},     {"Grid1", -1, L"SysListView32"},
      {"Text1", -1, L"Edit"},          {"btn_del", -1, L"Button"},    {"btn_move", -1, L"Button"},
      {"btn_copy", -1, L"Button"},     {"btn_new", -1, L"Button"},    {"btn_cnt", -1, L"Button"},
      {"Command7", -1, L"Button"},     {"Command6", -1, L"Button"},
  };
  for (const auto& e : expected) {
    HWND h = Win(e.name, e.index);
    ASSERT_TRUE(h) << e.name;
    EXPECT_EQ(ClassOf(h), e.cls) << e.name;
    if (e.cls != std::wstring_view(L"ComboBox") && e.cls != std::wstring_view(L"SysListView32")) {
      EXPECT_EQ(Narrow(TextOf(h)), form().GetControl(e.name, e.index).Caption()) << e.name;
    }
  }
  EXPECT_FALSE(IsWindowEnabled(Win("btn_cnt")));
  EXPECT_FALSE(IsWindowEnabled(Win("btn_move")));
  EXPECT_FALSE(IsWindowEnabled(Win("btn_copy")));

  // Both lists: the shared folder on top, then the pets in reverse listing order.
  for (int i = 0; i < 2; ++i) {
    HWND combo = Win("Combo1", i);
    ASSERT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 3);
    EXPECT_EQ(ComboText(combo, 0), L"共有");
    EXPECT_EQ(ComboText(combo, 1), L"ミミ");
    EXPECT_EQ(ComboText(combo, 2), L"ポチ");
    EXPECT_EQ(SendMessageW(combo, CB_GETCURSEL, 0, 0), 0);
  }
  HWND list = Win("Grid1");
  ASSERT_EQ(ListView_GetItemCount(list), 1);
  EXPECT_EQ(CellText(list, 0, 0), L"みんなのアメ");
  EXPECT_EQ(CellText(list, 0, 1), L"12");
}

TEST_F(Win32SnackWindowTest, ExpiredSnacksAreRedOnTheScreen) {
  Pick(0, 1);  // ミミ
  Pick(1, 0);  // to the shared folder
  Settle();
  EXPECT_TRUE(IsWindowEnabled(Win("btn_move")));
  HWND list = Win("Grid1");
  ASSERT_EQ(ListView_GetItemCount(list), 4);
  EXPECT_EQ(CellText(list, 1, 0), L"いちごミルク");
  EXPECT_EQ(CellText(list, 1, 1), L"∞");
  const ui::Grid& grid = form().Get<ui::Grid>("Grid1");
  for (int c = 0; c < 3; ++c) EXPECT_EQ(ListView_GetColumnWidth(list, c), Px(grid.ColWidth(c))) << c;
  EXPECT_EQ(ListView_GetColumnWidth(list, 2), 0) << "the file names stay hidden";

  // Away from the current row, red where expired and not elsewhere.
  form().Get<ui::Grid>("Grid1").SetRow(0);
  Settle();
  EXPECT_EQ(ScreenPixel(list, CellPoint(1, 0)), RGB(255, 0, 0));
  EXPECT_EQ(ScreenPixel(list, CellPoint(3, 1)), RGB(255, 0, 0));
  EXPECT_NE(ScreenPixel(list, CellPoint(0, 0)), RGB(255, 0, 0));
  EXPECT_NE(ScreenPixel(list, CellPoint(2, 1)), RGB(255, 0, 0));

  EXPECT_TRUE(ui::win32::SaveScreenshot(
      ui::win32::WindowOf(form()), ui::win32::ScreenshotFile(U8Path(LUP_SCREENSHOT_DIR), "lupsnack.png")));
}

// The name column makes room for the scroll bar once the snacks are more
// than the list shows: the name and the count stay in view whole, with or
// without the bar, and the list never scrolls sideways.
TEST_F(Win32SnackWindowTest, TheColumnsShowWholeWithAndWithoutTheScrollBar) {
  for (int i = 0; i < 40; ++i) {
    PutSnack(tmp / ("ポチ_おやつ/s" + std::to_string(100 + i) + ".pac"), Snack("おかし", 1, false));
  }
  HWND list = Win("Grid1");
  const auto bar = [&](DWORD which) { return (GetWindowLongPtrW(list, GWL_STYLE) & which) != 0; };
  const auto show = [&](int snacks) {
    Pick(0, 0);  // another list first: the grid is read afresh
    Pick(0, 2);  // ポチ
    Settle();
    ASSERT_EQ(ListView_GetItemCount(list), snacks);
  };

  show(40);
  ASSERT_LT(ListView_GetCountPerPage(list), 40);
  EXPECT_TRUE(bar(WS_VSCROLL));
  EXPECT_FALSE(bar(WS_HSCROLL));

  for (int i = 28; i < 40; ++i) fs::remove(tmp / ("ポチ_おやつ/s" + std::to_string(100 + i) + ".pac"));
  show(28);
  EXPECT_FALSE(bar(WS_VSCROLL));
  EXPECT_FALSE(bar(WS_HSCROLL));
}

TEST_F(Win32SnackWindowTest, TypingACountAndPressingTheButtonWritesIt) {
  Pick(0, 1);
  Settle();
  ui::Grid& grid = form().Get<ui::Grid>("Grid1");
  grid.SetRow(1);
  SetWindowTextW(Win("Text1"), L"-1");
  EXPECT_TRUE(IsWindowEnabled(Win("btn_cnt")));
  grid.SetRow(3);
  SendMessageW(Win("btn_cnt"), BM_CLICK, 0, 0);
  Settle();
  EXPECT_EQ(CellText(Win("Grid1"), 2, 1), L"∞");
  const std::string bytes = lup::test::ReadBytes(tmp / "ミミ_おやつ/c.pac");
  EXPECT_EQ(static_cast<unsigned char>(bytes.at(881)), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(bytes.at(882)), 0xFF);

  // Discarding the current row leaves three snacks.
  SendMessageW(Win("btn_del"), BM_CLICK, 0, 0);
  Settle();
  EXPECT_EQ(ListView_GetItemCount(Win("Grid1")), 3);
  EXPECT_FALSE(fs::exists(tmp / "ミミ_おやつ/c.pac"));
}

}  // namespace
}  // namespace lup::snacks
