// The real backend under Wine: the example window becomes real windows, and
// what it shows is read back through the Win32 API.
#include "ui/win32/host_win32.h"
#include "ui/win32/readback_win32.h"
#include "ui/win32/screenshot_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/win32/wide.h"
#include "ui/testing/example_form.h"

namespace lup::ui::win32 {
namespace {

using namespace readback;

using testing::ExampleWindow;
using testing::kAqua;
using testing::kPink;

// Runs `action` from inside whatever event loop is running `delay_ms` from now.
std::function<void()> g_later;
void CALLBACK LaterProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  auto f = std::move(g_later);
  g_later = nullptr;
  if (f) f();
}
void Later(int delay_ms, std::function<void()> action) {
  g_later = std::move(action);
  SetTimer(nullptr, 0, static_cast<UINT>(delay_ms), &LaterProc);
}

class Win32ExampleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = NewHost();
    w = std::make_unique<ExampleWindow>(*host);
    host->Show(w->form());
    Settle();
  }
  void TearDown() override {
    w.reset();
    host.reset();
  }
  // Lets the windows paint.
  void Settle() {
    for (int i = 0; i < 20; ++i) host->DoEvents();
  }
  Form& form() { return w->form(); }
  Grid& grid() { return form().Get<Grid>("Grid1"); }
  HWND Win(const char* name, int index = -1) { return WindowOf(form().GetControl(name, index)); }
  int Px(Twips t) { return MulDiv(t, static_cast<int>(DpiOf(form())), 1440); }
  void AddName(const std::string& name) {
    SetWindowTextW(Win("Text1", 0), Wide(name).c_str());  // as the user types
    SendMessageW(Win("Command1"), BM_CLICK, 0, 0);
  }
  POINT CellPoint(int row, int col) {
    RECT r{};
    ListView_GetSubItemRect(Win("Grid1"), row - 1, col, LVIR_BOUNDS, &r);
    return POINT{r.right - 4, (r.top + r.bottom) / 2};
  }

  std::unique_ptr<Host> host;
  std::unique_ptr<ExampleWindow> w;
};

TEST_F(Win32ExampleTest, ControlsAreCommonControlsWithTheirCaptionsAndPlaces) {
  HWND main = WindowOf(form());
  ASSERT_TRUE(main);
  EXPECT_TRUE(IsWindowVisible(main));
  EXPECT_EQ(TextOf(main), L"ルピナ・ヴィラ 見本");
  RECT client{};
  GetClientRect(main, &client);
  EXPECT_EQ(client.right, Px(form().ClientWidth()));
  EXPECT_EQ(client.bottom, Px(form().ClientHeight()));
  // Fixed single border: no maximise or minimise box.
  const auto style = GetWindowLongPtrW(main, GWL_STYLE);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  struct Expect { const char* name; int index; const wchar_t* cls; const wchar_t* text; };
  const Expect expected[] = {
      {"Command1", -1, L"Button", L"追加"},  {"Label1", -1, L"Static", L"名前"},
      {"Text1", 0, L"Edit", L""},             {"Combo1", 0, L"ComboBox", nullptr},
      {"Frame1", -1, L"Button", L"設定"},   {"Check1", -1, L"Button", L"確認しない"},
      {"List1", -1, L"ListBox", nullptr},     {"List2", -1, L"SysListView32", nullptr},
      {"Grid1", -1, L"SysListView32", nullptr},
  };
  for (const auto& e : expected) {
    HWND h = Win(e.name, e.index);
    ASSERT_TRUE(h) << e.name;
    EXPECT_EQ(ClassOf(h), e.cls) << e.name;
    if (e.text) {
      EXPECT_EQ(TextOf(h), e.text) << e.name;
    }
  }
  EXPECT_EQ(WindowOf(form().GetControl("Timer1")), nullptr);

  // Twips become pixels of the window's DPI; controls in a frame are placed inside it.
  const Rect addWanted = form().GetControl("Command1").Geometry();
  RECT add = PlaceOf(Win("Command1"));
  EXPECT_EQ(add.left, Px(addWanted.left));
  EXPECT_EQ(add.top, Px(addWanted.top));
  EXPECT_EQ(add.right - add.left, Px(addWanted.width));
  EXPECT_EQ(add.bottom - add.top, Px(addWanted.height));
  const Control& checkControl = form().GetControl("Check1");
  const Control& frame = form().GetControl("Frame1");
  RECT check = PlaceOf(Win("Check1"));
  EXPECT_EQ(check.left, Px(frame.Geometry().left + checkControl.Geometry().left));
  EXPECT_EQ(check.top, Px(frame.Geometry().top + checkControl.Geometry().top));
  // The check box lies over its frame.
  HWND above = GetWindow(Win("Frame1"), GW_HWNDPREV);
  EXPECT_TRUE(above);
  EXPECT_EQ(GetWindow(Win("Frame1"), GW_HWNDNEXT), nullptr);
}

TEST_F(Win32ExampleTest, EveryControlHasTheJapaneseFont) {
  int windows = 0;
  for (const auto& c : form().Controls()) {
    HWND h = WindowOf(*c);
    if (c->kind() == ControlKind::kTimer) continue;
    ASSERT_TRUE(h) << c->Label();
    ++windows;
    auto font = reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0));
    ASSERT_TRUE(font) << c->Label();
    LOGFONTW lf{};
    ASSERT_TRUE(GetObjectW(font, sizeof lf, &lf));
    // The named face, or an installed Japanese face standing in for it,
    // with glyphs for Latin letters, digits and kana alike.
    const std::wstring face = lf.lfFaceName;
    EXPECT_TRUE(face == L"ＭＳ Ｐゴシック" || face.find(L"Gothic") != std::wstring::npos ||
                face.find(L"ゴシック") != std::wstring::npos)
        << c->Label();
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, font);
    WORD glyphs[4] = {};
    GetGlyphIndicesW(dc, L"A9アあ", 4, glyphs, GGI_MARK_NONEXISTING_GLYPHS);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    for (WORD g : glyphs) EXPECT_NE(g, 0xFFFF) << c->Label() << " lacks a glyph";
    EXPECT_EQ(lf.lfCharSet, SHIFTJIS_CHARSET) << c->Label();
    EXPECT_EQ(lf.lfHeight, -MulDiv(9, static_cast<int>(DpiOf(form())), 72)) << c->Label();
    EXPECT_EQ(lf.lfWeight, c->GetFont().bold ? FW_BOLD : FW_NORMAL) << c->Label();
  }
  EXPECT_EQ(windows, 16);
  // A check box made bold at run time (a shared item's caption).
  form().Get<CheckBox>("Check1").SetBold(true);
  LOGFONTW bold{};
  ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Win("Check1"), WM_GETFONT, 0, 0)), sizeof bold, &bold));
  EXPECT_EQ(bold.lfWeight, FW_BOLD);
}

TEST_F(Win32ExampleTest, GridShowsHeadersCellsWidthsAndColours) {
  AddName("ミント");
  SendMessageW(Win("Combo1", 0), CB_SETCURSEL, 1, 0);
  SendMessageW(WindowOf(form()), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(Win("Combo1", 0)), CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(Win("Combo1", 0)));
  ASSERT_EQ(form().Get<ComboBox>("Combo1", 0).ListIndex(), 1);
  AddName("ココア");
  HWND list = Win("Grid1");
  ASSERT_EQ(ListView_GetItemCount(list), 2);
  EXPECT_EQ(CellText(list, 0, 0), L"ミント");
  EXPECT_EQ(CellText(list, 1, 1), L"9");
  HWND header = ListView_GetHeader(list);
  ASSERT_EQ(Header_GetItemCount(header), 3);
  wchar_t text[32] = {};
  HDITEMW item{};
  item.mask = HDI_TEXT;
  item.pszText = text;
  item.cchTextMax = 32;
  Header_GetItem(header, 1, &item);
  EXPECT_STREQ(text, L"文字数");
  EXPECT_EQ(ListView_GetColumnWidth(list, 0), Px(grid().ColWidth(0)));
  EXPECT_EQ(ListView_GetColumnWidth(list, 2), 0);  // hidden

  // The colours as the screen shows them, away from the current row.
  grid().SetRow(0);
  Settle();
  EXPECT_EQ(ScreenPixel(list, CellPoint(1, 0)), Ref(kPink));
  EXPECT_EQ(ScreenPixel(list, CellPoint(1, 1)), Ref(kPink));
  EXPECT_EQ(ScreenPixel(list, CellPoint(2, 0)), Ref(kAqua));
  // The current row keeps its own colours too.
  grid().SetRow(2);
  Settle();
  EXPECT_EQ(ScreenPixel(list, CellPoint(2, 0)), Ref(kAqua));
  grid().SetCellColour(2, 1, kRed);
  Settle();
  EXPECT_EQ(ScreenPixel(list, CellPoint(2, 1)), Ref(kRed));

  std::error_code ec;
  std::filesystem::create_directories(U8Path(LUP_SCREENSHOT_DIR), ec);
  EXPECT_TRUE(SaveScreenshot(WindowOf(form()), U8Path(LUP_SCREENSHOT_DIR "/ui_example.png")));
}

TEST_F(Win32ExampleTest, UserChangesReachTheForm) {
  // Typing enables the button through the window code's change handler.
  EXPECT_FALSE(IsWindowEnabled(Win("Command1")));
  SetWindowTextW(Win("Text1", 0), L"ラテ");
  EXPECT_EQ(form().Get<TextBox>("Text1", 0).Text(), "ラテ");
  EXPECT_TRUE(IsWindowEnabled(Win("Command1")));
  SendMessageW(Win("Command1"), BM_CLICK, 0, 0);
  ASSERT_EQ(grid().Rows(), 2);
  EXPECT_EQ(TextOf(Win("Text1", 0)), L"");

  SendMessageW(Win("Check1"), BM_CLICK, 0, 0);
  EXPECT_EQ(form().Get<CheckBox>("Check1").Value(), 1);

  HWND pets = Win("List2");
  ASSERT_EQ(ListView_GetItemCount(pets), 2);
  ListView_SetCheckState(pets, 1, TRUE);
  EXPECT_TRUE(form().Get<ListBox>("List2").Checked(1));
  EXPECT_FALSE(form().Get<ListBox>("List2").Checked(0));

  // A Ctrl+click on a cell makes its row current, then the handler recolours it.
  AddName("モカ");
  const POINT p = CellPoint(1, 0);
  SendMessageW(Win("Grid1"), WM_LBUTTONDOWN, MK_LBUTTON | MK_CONTROL, MAKELPARAM(p.x, p.y));
  SendMessageW(Win("Grid1"), WM_LBUTTONUP, MK_CONTROL, MAKELPARAM(p.x, p.y));
  EXPECT_EQ(grid().Row(), 1);
  EXPECT_EQ(grid().CellColour(1, 0), kAqua);
  EXPECT_EQ(form().Focused(), &grid());
  // Shift+click stretches the selection from the current row.
  const POINT q = CellPoint(2, 0);
  SendMessageW(Win("Grid1"), WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, MAKELPARAM(q.x, q.y));
  SendMessageW(Win("Grid1"), WM_LBUTTONUP, MK_SHIFT, MAKELPARAM(q.x, q.y));
  EXPECT_EQ(grid().Row(), 1);
  EXPECT_EQ(grid().RowSel(), 2);
  EXPECT_EQ(ListView_GetSelectedCount(Win("Grid1")), 2u);
  // A double click calls the row.
  SendMessageW(Win("Grid1"), WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(q.x, q.y));
  SendMessageW(Win("Grid1"), WM_LBUTTONUP, 0, MAKELPARAM(q.x, q.y));
  auto& log = form().Get<ListBox>("List1");
  ASSERT_EQ(log.Count(), 1);
  EXPECT_EQ(log.Item(0), "ラテ を呼びました");
  EXPECT_EQ(SendMessageW(Win("List1"), LB_GETCOUNT, 0, 0), 1);
}

TEST_F(Win32ExampleTest, CodeChangesReachTheWindows) {
  auto& combo = form().Get<ComboBox>("Combo1", 0);
  EXPECT_EQ(SendMessageW(Win("Combo1", 0), CB_GETCOUNT, 0, 0), 2);
  combo.SetListIndex(1);
  EXPECT_EQ(SendMessageW(Win("Combo1", 0), CB_GETCURSEL, 0, 0), 1);
  form().Get<CheckBox>("Check1").SetValue(1);
  EXPECT_EQ(SendMessageW(Win("Check1"), BM_GETCHECK, 0, 0), BST_CHECKED);
  form().Get<Button>("Command2").SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(Win("Command2")));
  // A frame hides and disables what it holds.
  form().Get<Frame>("Frame1").SetEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(Win("Check1")));
  EXPECT_TRUE(form().Get<CheckBox>("Check1").Enabled());
  form().Get<Frame>("Frame1").SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(Win("Frame1")));
  EXPECT_FALSE(IsWindowVisible(Win("List2")));
  form().Get<Frame>("Frame1").SetVisible(true);
  EXPECT_TRUE(IsWindowVisible(Win("List2")));
  // Tab order follows the tab indices.
  form().Get<Button>("Command5").SetTabIndex(-1);
  EXPECT_EQ(GetNextDlgTabItem(WindowOf(form()), nullptr, FALSE), Win("Command5"));
  EXPECT_EQ(GetNextDlgTabItem(WindowOf(form()), Win("Command5"), FALSE), Win("Grid1"));
  form().Get<Label>("Label2").SetCaption("一行目\r\n二行目");
  EXPECT_EQ(TextOf(Win("Label2")), L"一行目\r\n二行目");
  form().SetCaption("別の題");
  EXPECT_EQ(TextOf(WindowOf(form())), L"別の題");

  // Tool tips.
  HWND main = WindowOf(form());
  TTTOOLINFOW info{};
  info.cbSize = sizeof info;
  info.hwnd = main;
  info.uId = reinterpret_cast<UINT_PTR>(Win("Grid1"));
  wchar_t tip[128] = {};
  info.lpszText = tip;
  HWND tips = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND h, LPARAM out) -> BOOL {
        wchar_t cls[64] = {};
        GetClassNameW(h, cls, 64);
        if (lstrcmpW(cls, TOOLTIPS_CLASSW) == 0 && GetWindow(h, GW_OWNER) == GetForegroundWindow()) {
          *reinterpret_cast<HWND*>(out) = h;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&tips));
  if (tips) {
    SendMessageW(tips, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&info));
    EXPECT_STREQ(tip, L"Ctrl+クリックで色を変えます");
  }

  // Rows, selection and the top row of the grid.
  grid().SetVisible(false);
  for (int i = 0; i < 40; ++i) {
    const int r = grid().AddRow();
    grid().SetCell(r, 0, "行" + std::to_string(r));
  }
  grid().SetVisible(true);
  HWND list = Win("Grid1");
  EXPECT_EQ(ListView_GetItemCount(list), 40);
  grid().SetRow(7);
  grid().SetRowSel(5);
  EXPECT_EQ(ListView_GetSelectedCount(list), 3u);
  EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), 4);
  grid().SetTopRow(20);
  EXPECT_EQ(ListView_GetTopIndex(list), 19);
  EXPECT_EQ(grid().TopRow(), 20);
  grid().SetRows(1);
  EXPECT_EQ(ListView_GetItemCount(list), 0);
  EXPECT_EQ(ListView_GetSelectedCount(list), 0u);
}

TEST_F(Win32ExampleTest, ModalFormDisablesTheOwnerUntilItIsUnloaded) {
  HWND main = WindowOf(form());
  bool owner_was_enabled = true;
  std::wstring dialog_caption;
  Later(50, [&] {
    HWND active = GetActiveWindow();
    dialog_caption = TextOf(active);
    owner_was_enabled = IsWindowEnabled(main) != 0;
    // Type into the dialog's text box and press its OK button.
    HWND edit = FindWindowExW(active, nullptr, L"Edit", nullptr);
    HWND ok = FindWindowExW(active, nullptr, L"Button", L"OK");
    ASSERT_TRUE(edit && ok);
    SetWindowTextW(edit, L"モーダルから");
    SendMessageW(ok, BM_CLICK, 0, 0);
  });
  SendMessageW(Win("Command6"), BM_CLICK, 0, 0);  // returns when the dialog is unloaded
  EXPECT_EQ(dialog_caption, L"詳細設定");
  EXPECT_FALSE(owner_was_enabled);
  EXPECT_TRUE(IsWindowEnabled(main));
  EXPECT_EQ(form().Get<Label>("Label2").Caption(), "モーダルから");
  EXPECT_EQ(form().Get<ListBox>("List1").Item(0), "詳細設定を閉じました");
}

// The message box seen from a hook: its title, texts, buttons and default.
struct SeenBox {
  std::wstring title;
  std::vector<std::wstring> texts;
  bool yes = false, no = false, icon = false, shot = false;
  int missing_glyphs = 0;
  int default_id = 0;
};
SeenBox g_seen;
HHOOK g_hook = nullptr;
int g_answer = IDYES;
std::string g_shot_name;

void ReadBox(HWND box) {
  wchar_t cls[32] = {};
  g_seen.title = TextOf(box);
  g_seen.yes = GetDlgItem(box, IDYES) != nullptr;
  g_seen.no = GetDlgItem(box, IDNO) != nullptr;
  // The default button has the focus when the box opens.
  if (HWND focus = GetFocus(); focus && GetParent(focus) == box) g_seen.default_id = GetDlgCtrlID(focus);
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    GetClassNameW(c, cls, 32);
    const auto style = GetWindowLongPtrW(c, GWL_STYLE);
    if (lstrcmpW(cls, L"Static") != 0 || !(style & WS_VISIBLE)) continue;
    if ((style & SS_TYPEMASK) == SS_ICON) g_seen.icon |= SendMessageW(c, STM_GETICON, 0, 0) != 0;
    else {
      g_seen.texts.push_back(TextOf(c));
      // The font shows every character of the text.
      auto font = reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0));
      std::wstring text;
      for (wchar_t ch : g_seen.texts.back()) {
        if (ch != L'\r' && ch != L'\n') text += ch;
      }
      HDC dc = GetDC(c);
      HGDIOBJ old = SelectObject(dc, font);
      std::vector<WORD> glyphs(text.size());
      GetGlyphIndicesW(dc, text.c_str(), static_cast<int>(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
      SelectObject(dc, old);
      ReleaseDC(c, dc);
      for (WORD g : glyphs) g_seen.missing_glyphs += g == 0xFFFF;
    }
  }
  g_seen.shot = SaveScreenshot(box, U8Path(std::string(LUP_SCREENSHOT_DIR "/") + g_shot_name));
  PostMessageW(box, WM_COMMAND, static_cast<WPARAM>(g_answer), 0);
}

LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) {
    auto box = reinterpret_cast<HWND>(wp);
    wchar_t cls[32] = {};
    GetClassNameW(box, cls, 32);
    // Read it once it is up, from inside its own loop.
    if (lstrcmpW(cls, L"#32770") == 0) Later(100, [box] { ReadBox(box); });
  }
  return CallNextHookEx(g_hook, code, wp, lp);
}

TEST_F(Win32ExampleTest, MessageBoxesShowTheirTitleTextButtonsAndDefault) {
  AddName("a");
  g_seen = {};
  g_answer = IDYES;
  g_shot_name = "ui_message_yes_no.png";
  g_hook = SetWindowsHookExW(WH_CBT, &BoxHook, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(g_hook);
  SendMessageW(Win("Command2"), BM_CLICK, 0, 0);  // asks before it deletes
  UnhookWindowsHookEx(g_hook);
  EXPECT_EQ(g_seen.title, L"見本");
  bool text_found = false;
  for (const auto& t : g_seen.texts) text_found |= t == L"1件を削除しますか？\r\n元には戻せません";
  EXPECT_TRUE(text_found);
  EXPECT_TRUE(g_seen.yes && g_seen.no);
  EXPECT_TRUE(g_seen.icon);
  EXPECT_EQ(g_seen.default_id, IDNO);
  EXPECT_TRUE(g_seen.shot);
  EXPECT_EQ(g_seen.missing_glyphs, 0);
  EXPECT_EQ(grid().Rows(), 1);  // answered Yes

  // An OK box without a title of its own bears the program's title.
  host->SetAppTitle("見本アプリ");
  g_seen = {};
  g_answer = IDOK;
  g_shot_name = "ui_message_ok.png";
  g_hook = SetWindowsHookExW(WH_CBT, &BoxHook, nullptr, GetCurrentThreadId());
  const Answer a = host->Ask({"", "PostPet20.exeを作成しました", Buttons::kOk, Icon::kNone, 0});
  UnhookWindowsHookEx(g_hook);
  EXPECT_EQ(a, Answer::kOk);
  EXPECT_EQ(g_seen.title, L"見本アプリ");
  EXPECT_FALSE(g_seen.icon);
  EXPECT_FALSE(g_seen.yes);
  EXPECT_EQ(g_seen.missing_glyphs, 0);
}

TEST_F(Win32ExampleTest, BusyPointerAndCloseBox) {
  host->SetBusy(true);
  HWND main = WindowOf(form());
  SendMessageW(main, WM_SETCURSOR, reinterpret_cast<WPARAM>(main), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
  host->SetBusy(false);

  AddName("a");
  AddName("b");
  SendMessageW(main, WM_CLOSE, 0, 0);
  EXPECT_EQ(w->saved(), (std::vector<std::string>{"a", "b"}));
  EXPECT_FALSE(form().Loaded());
  EXPECT_FALSE(IsWindow(main));
  EXPECT_EQ(host->Run(), 0);  // no form left: the loop ends at once
}

// Acts on the next dialog box of this thread once it is up.
std::function<void(HWND)> g_dialog_action;
HHOOK g_dialog_hook = nullptr;
LRESULT CALLBACK DialogHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE && g_dialog_action) {
    auto box = reinterpret_cast<HWND>(wp);
    if (ClassOf(box) == L"#32770") {
      auto action = std::move(g_dialog_action);
      g_dialog_action = nullptr;
      Later(300, [box, action] { action(box); });
    }
  }
  return CallNextHookEx(g_dialog_hook, code, wp, lp);
}
void OnNextDialog(std::function<void(HWND)> action) {
  g_dialog_action = std::move(action);
  if (!g_dialog_hook) g_dialog_hook = SetWindowsHookExW(WH_CBT, &DialogHook, nullptr, GetCurrentThreadId());
}
void StopDialogHook() {
  if (g_dialog_hook) UnhookWindowsHookEx(g_dialog_hook);
  g_dialog_hook = nullptr;
  g_dialog_action = nullptr;
}

bool HasTextInside(HWND box, const std::wstring& text) {
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    if (TextOf(c) == text || HasTextInside(c, text)) return true;
  }
  return false;
}

TEST(Win32Choosers, OpenFileDialogReturnsTheJapanesePathChosen) {
  auto host = NewHost();
  const auto folder = std::filesystem::temp_directory_path() / U8Path("ルピナ試験");
  std::filesystem::create_directories(folder);
  const auto file = folder / U8Path("本体.exe");
  { std::ofstream(file) << "x"; }
  std::wstring title;
  OnNextDialog([&](HWND box) {
    title = TextOf(box);
    SetDlgItemTextW(box, 0x47C, file.wstring().c_str());  // the file name box
    SetDlgItemTextW(box, 0x480, file.wstring().c_str());
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  OpenFileRequest r;
  r.title = "ポストペットのインストール先";
  r.filters = {{"ポストペット本体", "*.exe"}};
  r.initial_folder = folder;
  const auto chosen = host->ChooseOpenFile(r);
  StopDialogHook();
  EXPECT_EQ(title, L"ポストペットのインストール先");
  EXPECT_EQ(PathText(chosen), PathText(file));
  // Cancelled: empty.
  OnNextDialog([](HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); });
  EXPECT_TRUE(host->ChooseOpenFile(r).empty());
  StopDialogHook();
  std::filesystem::remove_all(folder);
}

TEST(Win32Choosers, FolderChooserShowsItsTitleAndCancelIsEmpty) {
  auto host = NewHost();
  bool title_shown = false;
  OnNextDialog([&](HWND box) {
    title_shown = HasTextInside(box, L"ショートカットを作成するフォルダ");
    PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_TRUE(host->ChooseFolder("ショートカットを作成するフォルダ").empty());
  StopDialogHook();
  EXPECT_TRUE(title_shown);
}

TEST(Win32Choosers, IconChooserAnswersTheIconPickedOrTheOfferedOne) {
  auto host = NewHost();
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  bool shown = false;
  OnNextDialog([&](HWND box) {
    shown = true;
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  // Wine has no icon dialog: the offered icon is the answer there.
  auto choice = host->ChooseIcon({std::filesystem::path(self), 0});
  StopDialogHook();
  ASSERT_TRUE(choice);
  EXPECT_EQ(choice->index, 0);
  EXPECT_EQ(choice->file.filename(), std::filesystem::path(self).filename());
  if (shown) {
    OnNextDialog([](HWND box) { PostMessageW(box, WM_COMMAND, IDCANCEL, 0); });
    EXPECT_FALSE(host->ChooseIcon({std::filesystem::path(self), 0}));
    StopDialogHook();
  }
}

TEST(Win32Host, TimersTickInTheLoopAndQuitEndsEveryLoop) {
  auto host = NewHost();
  Form form("Form1");
  form.SetCaption("タイマー");
  auto& timer = form.AddTimer("Timer1", 30, true);
  int ticks = 0;
  timer.on_tick = [&] {
    if (++ticks == 3) {
      timer.SetEnabled(false);
      host->Quit(7);
    }
  };
  host->Show(form);
  EXPECT_EQ(host->Run(), 7);
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(host->Ending());
  EXPECT_FALSE(form.Loaded());
}

TEST(Win32Host, AHiddenFormIsShownModallyWithoutASecondLoad) {
  auto host = NewHost();
  Form main("Form1"), list("Form3");
  int loads = 0;
  list.on_load = [&] { ++loads; };
  host->Show(main);
  host->Show(list);
  list.Hide();
  EXPECT_FALSE(IsWindowVisible(WindowOf(list)));
  bool visible = false, main_enabled = true;
  Later(50, [&] {
    visible = IsWindowVisible(WindowOf(list)) != 0;
    main_enabled = IsWindowEnabled(WindowOf(main)) != 0;
    SendMessageW(WindowOf(list), WM_CLOSE, 0, 0);
  });
  host->ShowModal(list);
  EXPECT_TRUE(visible);
  EXPECT_FALSE(main_enabled);
  EXPECT_TRUE(IsWindowEnabled(WindowOf(main)));
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(list.Loaded());
}

// Keys as the user presses them: posted to the focused control and taken
// off the queue by the host's loop, which hands Enter and Esc to the window
// stack and the rest to the dialog manager.
void PressKey(Host& host, HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, 0xC0000001);
  for (int i = 0; i < 5; ++i) host.DoEvents();
}

TEST(Win32Host, EnterAndEscPressTheDefaultFocusedAndCancelButtons) {
  auto host = NewHost();
  Form dialog("Form2");
  dialog.SetCaption("キー");
  auto& text = dialog.AddTextBox("Text1", {120, 120, 2000, 300});
  auto& ok = dialog.AddButton("Command1", {120, 600, 900, 375});
  auto& other = dialog.AddButton("Command2", {1200, 600, 900, 375});
  auto& cancel = dialog.AddButton("Command3", {2280, 600, 900, 375});
  auto& list = dialog.AddListBox("List1", {120, 1080, 2000, 900});
  list.AddItem("ミミ");
  list.AddItem("ソラ");
  std::string pressed;
  ok.on_click = [&] { pressed += "ok "; };
  other.on_click = [&] { pressed += "other "; };
  cancel.on_click = [&] { pressed += "cancel "; };
  list.on_select = [&] { pressed += "select" + std::to_string(list.ListIndex()) + " "; };
  dialog.SetDefaultButton(&ok);
  dialog.SetCancelButton(&cancel);
  host->Show(dialog);
  EXPECT_EQ(GetWindowLongPtrW(WindowOf(ok), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongPtrW(WindowOf(other), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);

  text.SetFocus();
  ASSERT_EQ(GetFocus(), WindowOf(text));
  PressKey(*host, WindowOf(text), VK_RETURN);
  PressKey(*host, WindowOf(text), VK_ESCAPE);
  EXPECT_EQ(pressed, "ok cancel ");

  // Enter on a focused button presses that button.
  other.SetFocus();
  pressed.clear();
  PressKey(*host, WindowOf(other), VK_RETURN);
  EXPECT_EQ(pressed, "other ");

  // A change of the list's entry by the keyboard is a selection too.
  list.SetFocus();
  pressed.clear();
  PressKey(*host, WindowOf(list), VK_DOWN);
  EXPECT_EQ(pressed, "select0 ");
  PressKey(*host, WindowOf(list), VK_DOWN);
  EXPECT_EQ(pressed, "select0 select1 ");

  // A disabled default button is not pressed; no cancel button, no Esc.
  ok.SetEnabled(false);
  dialog.SetCancelButton(nullptr);
  text.SetFocus();
  pressed.clear();
  PressKey(*host, WindowOf(text), VK_RETURN);
  PressKey(*host, WindowOf(text), VK_ESCAPE);
  EXPECT_EQ(pressed, "");
  host->Unload(dialog);
}

// Enter on a focused grid does what its double click does, not the default
// button; an open drop-down list keeps Enter and Esc to close itself.
TEST(Win32Host, EnterOnAGridAndKeysOfAnOpenDropDownList) {
  auto host = NewHost();
  Form dialog("Form2");
  dialog.SetCaption("キー");
  auto& grid = dialog.AddGrid("Grid1", {120, 120, 3000, 1200}, 2);
  grid.SetRows(3);
  auto& combo = dialog.AddComboBox("Combo1", {120, 1440, 2000, 300});
  combo.AddItem("ミミ");
  combo.AddItem("ソラ");
  auto& ok = dialog.AddButton("Command1", {120, 1920, 900, 375});
  auto& cancel = dialog.AddButton("Command2", {1200, 1920, 900, 375});
  std::string pressed;
  grid.on_dbl_click = [&] { pressed += "grid "; };
  ok.on_click = [&] { pressed += "ok "; };
  cancel.on_click = [&] { pressed += "cancel "; };
  dialog.SetDefaultButton(&ok);
  dialog.SetCancelButton(&cancel);
  host->Show(dialog);

  grid.SetFocus();
  ASSERT_EQ(GetFocus(), WindowOf(grid));
  PressKey(*host, WindowOf(grid), VK_RETURN);
  EXPECT_EQ(pressed, "grid ");

  combo.SetFocus();
  pressed.clear();
  SendMessageW(WindowOf(combo), CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_TRUE(SendMessageW(WindowOf(combo), CB_GETDROPPEDSTATE, 0, 0));
  PressKey(*host, GetFocus(), VK_ESCAPE);
  EXPECT_FALSE(SendMessageW(WindowOf(combo), CB_GETDROPPEDSTATE, 0, 0));
  EXPECT_EQ(pressed, "");
  // Closed, the keys are the form's again.
  PressKey(*host, GetFocus(), VK_RETURN);
  PressKey(*host, GetFocus(), VK_ESCAPE);
  EXPECT_EQ(pressed, "ok cancel ");
  host->Unload(dialog);
}

TEST(Win32Host, LoadHandlerThatUnloadsShowsNoWindow) {
  auto host = NewHost();
  Form form("Form1");
  HWND during_load = nullptr;
  form.on_load = [&] {
    during_load = WindowOf(form);
    host->Unload(form);
  };
  host->Show(form);
  EXPECT_TRUE(during_load);
  EXPECT_FALSE(IsWindow(during_load));
  EXPECT_FALSE(form.Loaded());
}

}  // namespace
}  // namespace lup::ui::win32
