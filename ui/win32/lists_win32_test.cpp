// Long lists in the real backend under Wine: filled while hidden, changed
// after they are shown, their selection moved. What the windows show is read
// back through the Win32 API; which list view items the backend touched is
// seen from a hook on the messages sent to the list view.
#include "ui/win32/host_win32.h"
#include "ui/win32/readback_win32.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "platform/win32/wide.h"

namespace lup::ui::win32 {
namespace {

using namespace readback;

constexpr int kRows = 2000;
constexpr Colour kMint = Rgb(192, 255, 224);

std::string RowText(int row) { return "おやつ" + std::to_string(row); }
bool RedRow(int row) { return row % 3 == 0; }

// The messages the backend sends to one list view, seen from a hook.
struct Sent {
  HWND list = nullptr;
  std::vector<int> item_states;  // the item of every LVM_SETITEMSTATE (-1: all)
  bool count_set = false;        // LVM_SETITEMCOUNT was sent
  bool box_after_count = false;  // a message box came up after that
  bool box_seen = false;
};
Sent* g_sent = nullptr;

LRESULT CALLBACK SentHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && g_sent) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (m->hwnd == g_sent->list && m->message == LVM_SETITEMSTATE) g_sent->item_states.push_back(static_cast<int>(m->wParam));
    if (m->hwnd == g_sent->list && m->message == LVM_SETITEMCOUNT) g_sent->count_set = true;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

// Records while it lives.
class Watch {
 public:
  explicit Watch(HWND list) {
    sent_.list = list;
    g_sent = &sent_;
    hook_ = SetWindowsHookExW(WH_CALLWNDPROC, &SentHook, nullptr, GetCurrentThreadId());
  }
  ~Watch() {
    if (hook_) UnhookWindowsHookEx(hook_);
    g_sent = nullptr;
  }
  Watch(const Watch&) = delete;
  Watch& operator=(const Watch&) = delete;
  bool ok() const { return hook_ != nullptr; }
  const Sent& sent() const { return sent_; }
  std::set<int> Items() const { return {sent_.item_states.begin(), sent_.item_states.end()}; }

 private:
  Sent sent_;
  HHOOK hook_ = nullptr;
};

// A point inside a cell, away from the grid lines. (For sub-item 0 the
// bounds are those of the whole row: its label is the cell.)
POINT CellPoint(HWND list, int item, int col) {
  RECT cell{};
  ListView_GetSubItemRect(list, item, col, col == 0 ? LVIR_LABEL : LVIR_BOUNDS, &cell);
  return POINT{cell.right - 4, (cell.top + cell.bottom) / 2};
}

std::set<int> Span(int first, int last) {
  std::set<int> s;
  for (int i = first; i <= last; ++i) s.insert(i);
  return s;
}

class Win32ListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host = NewHost();
    form.SetCaption("長い一覧");
    form.SetClientSize(9000, 6600);
    form.SetBorder(Border::kFixedSingle);
    grid = &form.AddGrid("Grid1", {0, 0, 4215, 6615}, 3);
    grid->SetColWidth(0, 2400);
    grid->SetColWidth(1, 900);
    grid->SetColWidth(2, 0);
    grid->SetCell(0, 0, "名前");
    grid->SetCell(0, 1, "個数");
    list = &form.AddListBox("List1", {4320, 0, 2200, 3000});
    checks = &form.AddCheckList("List2", {6600, 0, 2300, 3000});
    combo = &form.AddComboBox("Combo1", {4320, 3240, 2200, 300});
  }
  void TearDown() override { host.reset(); }

  void Settle() {
    for (int i = 0; i < 20; ++i) host->DoEvents();
  }
  HWND Win(const Control& c) const { return WindowOf(c); }
  int Px(Twips t) const { return MulDiv(t, static_cast<int>(DpiOf(form)), 1440); }

  // As the snack manager fills its grid: the current row follows the rows added.
  void FillGrid() {
    grid->SetRows(1);
    for (int i = 1; i <= kRows; ++i) {
      const int r = grid->AddRow();
      grid->SetRow(r);
      grid->SetCell(r, 0, RowText(r));
      grid->SetCell(r, 1, std::to_string(r % 7));
      if (RedRow(r)) {
        grid->SetCellColour(r, 0, kRed);
        grid->SetCellColour(r, 1, kRed);
      }
    }
  }

  // Every row of the grid's list view against the Form: texts and the
  // selected and focused states.
  void ExpectGridRows() {
    HWND lv = Win(*grid);
    ASSERT_EQ(ListView_GetItemCount(lv), grid->Rows() - 1);
    int wrong_text = 0, wrong_state = 0, first_wrong = -1;
    for (int r = 1; r < grid->Rows(); ++r) {
      if (CellText(lv, r - 1, 0) != Wide(grid->Cell(r, 0)) || CellText(lv, r - 1, 1) != Wide(grid->Cell(r, 1))) {
        ++wrong_text;
        if (first_wrong < 0) first_wrong = r;
      }
      const bool selected = grid->Row() >= 1 && r >= grid->FirstSelectedRow() && r <= grid->LastSelectedRow();
      UINT want = (selected ? LVIS_SELECTED : 0) | (r == grid->RowSel() ? LVIS_FOCUSED : 0);
      if (ListView_GetItemState(lv, r - 1, LVIS_SELECTED | LVIS_FOCUSED) != want) {
        ++wrong_state;
        if (first_wrong < 0) first_wrong = r;
      }
    }
    EXPECT_EQ(wrong_text, 0) << "first wrong row " << first_wrong;
    EXPECT_EQ(wrong_state, 0) << "first wrong row " << first_wrong;
    EXPECT_EQ(ListView_GetSelectedCount(lv),
              static_cast<UINT>(grid->Row() >= 1 ? grid->LastSelectedRow() - std::max(1, grid->FirstSelectedRow()) + 1 : 0));
  }

  // The colours the screen shows for the rows in view: each cell's own, or
  // the window's colour (rows of the selection other than the current one
  // are highlighted and not looked at).
  void ExpectVisibleColours() {
    HWND lv = Win(*grid);
    const int top = ListView_GetTopIndex(lv);
    const int per_page = ListView_GetCountPerPage(lv);
    int looked = 0;
    for (int item = top; item < top + per_page && item < grid->Rows() - 1; ++item) {
      const int r = item + 1;
      if (r != grid->Row() && r >= grid->FirstSelectedRow() && r <= grid->LastSelectedRow()) continue;
      for (int col = 0; col < 2; ++col) {
        const auto c = grid->CellColour(r, col);
        const COLORREF want = c ? Ref(*c) : GetSysColor(COLOR_WINDOW);
        EXPECT_EQ(ScreenPixel(lv, CellPoint(lv, item, col)), want) << "row " << r << " col " << col;
        ++looked;
      }
    }
    EXPECT_GT(looked, 20);
  }

  std::unique_ptr<Host> host;
  Form form{"Form1"};
  Grid* grid = nullptr;
  ListBox* list = nullptr;
  ListBox* checks = nullptr;
  ComboBox* combo = nullptr;
};

TEST_F(Win32ListsTest, AGridFilledWhileHiddenShowsEveryRowColourAndTheSelection) {
  host->Show(form);
  grid->SetVisible(false);
  FillGrid();
  // The last changes of the fill, one of them undone again: they all count.
  grid->SetCell(kRows, 0, "最後のおやつ");
  grid->SetCellColour(kRows, 1, kMint);
  grid->SetCellColour(kRows - 1, 0, kRed);
  grid->SetCellColour(kRows - 1, 0, kMint);
  grid->SetRow(kRows - 40);
  grid->SetRowSel(kRows - 30);
  grid->SetRowSel(kRows - 20);
  grid->SetVisible(true);

  ExpectGridRows();
  HWND lv = Win(*grid);
  EXPECT_EQ(CellText(lv, kRows - 1, 0), L"最後のおやつ");
  EXPECT_EQ(ListView_GetNextItem(lv, -1, LVNI_FOCUSED), kRows - 21);
  EXPECT_EQ(ListView_GetSelectionMark(lv), kRows - 41);

  // What the screen shows at the end of the list and at its top.
  ListView_EnsureVisible(lv, kRows - 1, FALSE);
  Settle();
  ExpectVisibleColours();
  EXPECT_EQ(ScreenPixel(lv, CellPoint(lv, kRows - 2, 0)), Ref(kMint));
  grid->SetTopRow(1);
  Settle();
  EXPECT_EQ(ListView_GetTopIndex(lv), 0);
  ExpectVisibleColours();
}

TEST_F(Win32ListsTest, AGridFilledBeforeItsFormIsShownIsCompleteWhenItAppears) {
  bool count_when_shown_right = false;
  form.on_load = [&] { FillGrid(); };
  host->Show(form);
  count_when_shown_right = ListView_GetItemCount(Win(*grid)) == kRows;
  EXPECT_TRUE(count_when_shown_right);
  ExpectGridRows();
  Settle();
  ExpectVisibleColours();
}

TEST_F(Win32ListsTest, ChangesAfterTheGridIsShownAppear) {
  FillGrid();
  host->Show(form);
  Settle();
  HWND lv = Win(*grid);

  // Read back at once, before any event loop ran.
  const int r = grid->AddRow();
  grid->SetCell(r, 0, "追加のおやつ");
  EXPECT_EQ(ListView_GetItemCount(lv), kRows + 1);
  EXPECT_EQ(CellText(lv, r - 1, 0), L"追加のおやつ");
  // The top row asked of the grid is the one the list view shows.
  grid->SetTopRow(1000);
  EXPECT_EQ(grid->TopRow(), 1000);
  EXPECT_EQ(ListView_GetTopIndex(lv), 999);

  // Through the event loop, as the user sees them.
  grid->SetCellColour(1003, 0, kMint);
  grid->SetCellColour(1004, 1, kRed);
  grid->SetCell(1005, 0, "名前を変えた");
  grid->SetRow(1010);
  Settle();
  ExpectGridRows();
  ExpectVisibleColours();
  EXPECT_EQ(CellText(lv, 1004, 0), L"名前を変えた");
  // A row taken out and one added at the end: as many rows, all moved.
  grid->RemoveRow(1002);
  grid->AddRow();
  Settle();
  ExpectGridRows();
  ExpectVisibleColours();

  // Fewer rows than before: the list view follows, the selection with it.
  grid->SetRows(501);
  grid->SetRow(500);
  Settle();
  ExpectGridRows();
  grid->SetRows(1);
  EXPECT_EQ(ListView_GetItemCount(lv), 0);
  EXPECT_EQ(ListView_GetSelectedCount(lv), 0u);
}

TEST_F(Win32ListsTest, MovingTheSelectionTouchesOnlyTheRowsWhoseStateChanges) {
  FillGrid();
  host->Show(form);
  Settle();
  HWND lv = Win(*grid);
  ASSERT_EQ(grid->Row(), kRows);
  {
    Watch watch(lv);
    ASSERT_TRUE(watch.ok());
    grid->SetRow(1200);
    Settle();
    EXPECT_EQ(watch.Items(), (std::set<int>{kRows - 1, 1199}));
  }
  ExpectGridRows();
  {
    Watch watch(lv);
    grid->SetRow(100);
    grid->SetRowSel(110);
    Settle();
    std::set<int> want = Span(99, 109);
    want.insert(1199);
    EXPECT_EQ(watch.Items(), want);
  }
  ExpectGridRows();
  EXPECT_EQ(ListView_GetSelectedCount(lv), 11u);
  {
    // The range shrinks to its middle row.
    Watch watch(lv);
    grid->SetRow(105);
    Settle();
    EXPECT_EQ(watch.Items(), Span(99, 109));
  }
  ExpectGridRows();
  // The user's click moves it the same way.
  {
    Watch watch(lv);
    ListView_EnsureVisible(lv, 107, FALSE);
    const POINT p = CellPoint(lv, 107, 0);
    const LPARAM at = MAKELPARAM(p.x, p.y);
    SendMessageW(lv, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(lv, WM_LBUTTONUP, 0, at);
    Settle();
    EXPECT_EQ(grid->Row(), 108);
    EXPECT_EQ(watch.Items(), (std::set<int>{104, 107}));
  }
  ExpectGridRows();
}

TEST_F(Win32ListsTest, ListsFilledWhileHiddenHoldEveryEntryTickAndTheSelection) {
  host->Show(form);
  list->SetVisible(false);
  checks->SetVisible(false);
  combo->SetVisible(false);
  for (int i = 0; i < kRows; ++i) {
    list->AddItem("項目" + std::to_string(i));
    list->SetListIndex(i);
    checks->AddItem("ペット" + std::to_string(i));
    checks->SetChecked(i, i % 3 == 0);
    combo->AddItem("入口" + std::to_string(i));
  }
  checks->SetChecked(kRows - 1, true);  // the last change of the fill
  checks->SetListIndex(1500);
  combo->SetListIndex(777);
  list->SetVisible(true);
  checks->SetVisible(true);
  combo->SetVisible(true);

  HWND lb = Win(*list), lv = Win(*checks), cb = Win(*combo);
  ASSERT_EQ(SendMessageW(lb, LB_GETCOUNT, 0, 0), kRows);
  ASSERT_EQ(ListView_GetItemCount(lv), kRows);
  ASSERT_EQ(SendMessageW(cb, CB_GETCOUNT, 0, 0), kRows);
  int wrong = 0, first_wrong = -1;
  for (int i = 0; i < kRows; ++i) {
    wchar_t text[64] = {};
    SendMessageW(lb, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    bool right = Narrow(text) == list->Item(i);
    right = right && Narrow(CellText(lv, i, 0)) == checks->Item(i);
    right = right && (ListView_GetCheckState(lv, i) != 0) == checks->Checked(i);
    right = right && Narrow(ComboText(cb, i)) == combo->Item(i);
    right = right && (ListView_GetItemState(lv, i, LVIS_SELECTED) != 0) == (i == 1500);
    if (!right && first_wrong < 0) first_wrong = i;
    wrong += !right;
  }
  EXPECT_EQ(wrong, 0) << "first wrong entry " << first_wrong;
  EXPECT_TRUE(ListView_GetCheckState(lv, kRows - 1));
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), kRows - 1);
  EXPECT_EQ(ListView_GetSelectedCount(lv), 1u);
  EXPECT_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), 777);

  // After they are shown, changes appear at once when read back.
  list->AddItem("先頭", 0);
  EXPECT_EQ(SendMessageW(lb, LB_GETCOUNT, 0, 0), kRows + 1);
  EXPECT_EQ(SendMessageW(lb, LB_GETCURSEL, 0, 0), kRows);  // the selected entry moved down
  checks->SetChecked(4, true);
  EXPECT_TRUE(ListView_GetCheckState(lv, 4));
  combo->RemoveItem(0);
  EXPECT_EQ(SendMessageW(cb, CB_GETCOUNT, 0, 0), kRows - 1);
  EXPECT_EQ(SendMessageW(cb, CB_GETCURSEL, 0, 0), 776);

  // A new selection in the check list touches the entry left and the one chosen.
  Settle();
  {
    Watch watch(lv);
    checks->SetListIndex(10);
    Settle();
    EXPECT_EQ(watch.Items(), (std::set<int>{1500, 10}));
  }
  EXPECT_EQ(ListView_GetNextItem(lv, -1, LVNI_SELECTED), 10);
  EXPECT_EQ(ListView_GetSelectedCount(lv), 1u);
}

TEST_F(Win32ListsTest, TheUsersTickAndChoiceReachTheForm) {
  for (int i = 0; i < 50; ++i) checks->AddItem("ペット" + std::to_string(i));
  host->Show(form);
  Settle();
  HWND lv = Win(*checks);
  int ticked = -1;
  checks->on_item_check = [&](int i) { ticked = i; };
  ListView_SetCheckState(lv, 7, TRUE);
  EXPECT_EQ(ticked, 7);
  EXPECT_TRUE(checks->Checked(7));
  ListView_SetItemState(lv, 12, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
  EXPECT_EQ(checks->ListIndex(), 12);
  // The code's next choice starts from what the user left.
  checks->SetListIndex(3);
  Settle();
  EXPECT_EQ(ListView_GetSelectedCount(lv), 1u);
  EXPECT_EQ(ListView_GetNextItem(lv, -1, LVNI_SELECTED), 3);
}

// A message box (its own loop) comes up over lists that are complete.
HHOOK g_box_hook = nullptr;
LRESULT CALLBACK BoxHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE && g_sent) {
    auto box = reinterpret_cast<HWND>(wp);
    if (ClassOf(box) == L"#32770") {
      g_sent->box_seen = true;
      g_sent->box_after_count = g_sent->count_set;
      PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
  }
  return CallNextHookEx(g_box_hook, code, wp, lp);
}

TEST_F(Win32ListsTest, ChangesReachTheListsBeforeAMessageBoxComesUp) {
  host->Show(form);
  Settle();
  Watch watch(Win(*grid));
  FillGrid();
  g_box_hook = SetWindowsHookExW(WH_CBT, &BoxHook, nullptr, GetCurrentThreadId());
  ASSERT_TRUE(g_box_hook);
  host->Ask({"", "おやつを並べました", Buttons::kOk, Icon::kNone, 0});
  UnhookWindowsHookEx(g_box_hook);
  EXPECT_TRUE(watch.sent().box_seen);
  EXPECT_TRUE(watch.sent().box_after_count);
  ExpectGridRows();
}

}  // namespace
}  // namespace lup::ui::win32
