// The control model on its own: what window code relies on whatever backend
// shows the form.
#include <gtest/gtest.h>

#include <stdexcept>

#include "ui/form.h"

namespace lup::ui {
namespace {

TEST(FormModel, ControlsAreFoundByNameAndIndexAndKind) {
  Form form("Form2");
  auto& a = form.AddTextBox("Text1", {120, 240, 3975, 270}, nullptr, 8);
  auto& b = form.AddTextBox("Text1", {120, 840, 4335, 270}, nullptr, 0);
  form.AddButton("Command1", {3120, 5880, 1335, 375});
  EXPECT_EQ(&form.Get<TextBox>("Text1", 8), &a);
  EXPECT_EQ(&form.Get<TextBox>("Text1", 0), &b);
  EXPECT_EQ(form.Find("Text1"), nullptr);  // the array has no element without index
  EXPECT_EQ(form.Find("Text1", 3), nullptr);
  EXPECT_EQ(b.Label(), "Text1(0)");
  EXPECT_THROW(form.Get<Button>("Text1", 0), std::logic_error);
  EXPECT_THROW(form.Get<Button>("Command9"), std::logic_error);
  // The same name and index twice is a fault of the window code.
  EXPECT_THROW(form.AddButton("Command1", {}), std::logic_error);
  // Tab order follows the order of adding until it is set.
  EXPECT_EQ(a.TabIndex(), 0);
  EXPECT_EQ(b.TabIndex(), 1);
}

TEST(FormModel, ControlsTakeTheFormFontAndFramesPlaceTheirChildren) {
  Form form("Form4");
  auto& first = form.AddLabel("Label1", {});
  EXPECT_EQ(first.GetFont(), form.DefaultFont());
  EXPECT_FALSE(first.GetFont().bold);
  form.SetDefaultFont({"ＭＳ ゴシック", 12, false});
  auto& frame = form.AddFrame("Frame1", {120, 240, 3495, 1215});
  auto& check = form.AddCheckBox("Check2", {1800, 240, 1575, 375}, &frame);
  EXPECT_EQ(check.GetFont().points, 12);
  EXPECT_EQ(check.Geometry(), (Rect{1800, 240, 1575, 375}));
  EXPECT_EQ(check.FormGeometry(), (Rect{1920, 480, 1575, 375}));
  check.SetBold(true);
  EXPECT_TRUE(check.GetFont().bold);
  EXPECT_EQ(check.GetFont().name, "ＭＳ ゴシック");
  // A control in a hidden or disabled frame cannot be reached by the user.
  EXPECT_TRUE(check.Reachable());
  frame.SetEnabled(false);
  EXPECT_FALSE(check.Reachable());
}

TEST(FormModel, FixedBordersTakeTheBoxesAway) {
  Form form("Form3");
  EXPECT_TRUE(form.MaxButton());
  form.SetBorder(Border::kFixedSingle);
  EXPECT_FALSE(form.MaxButton());
  EXPECT_FALSE(form.MinButton());
}

TEST(FormModel, ChangesFromCodeFireTheirEventsOnlyWhenTheValueChanges) {
  Form form("Form1");
  auto& text = form.AddTextBox("Text1", {});
  auto& check = form.AddCheckBox("Check2", {});
  auto& combo = form.AddComboBox("Combo1", {}, nullptr, 0);
  int changes = 0, clicks = 0, selects = 0;
  text.on_change = [&] { ++changes; };
  check.on_click = [&] { ++clicks; };
  combo.on_select = [&] { ++selects; };
  text.SetText("a");
  text.SetText("a");
  text.SetText("");
  EXPECT_EQ(changes, 2);
  check.SetValue(1);
  check.SetValue(1);
  check.SetValue(5);  // any non-zero value is ticked
  EXPECT_EQ(check.Value(), 1);
  EXPECT_EQ(clicks, 1);
  combo.AddItem("a");
  combo.AddItem("b");
  combo.SetListIndex(0);
  combo.SetListIndex(0);
  EXPECT_EQ(selects, 1);
  // A label's caption has no change event and no text box fires for it.
  form.AddLabel("Label1", {}).SetCaption("x");
  EXPECT_EQ(changes, 2);
}

TEST(FormModel, ListInsertsAtTheTopKeepTheSelectedEntry) {
  Form form("Form1");
  auto& list = form.AddComboBox("Combo1", {}, nullptr, 0);
  list.AddItem("a");
  list.AddItem("b", 0);
  list.AddItem("c", 0);
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"c", "b", "a"}));
  list.SetListIndex(2);
  int selects = 0;
  list.on_select = [&] { ++selects; };
  list.AddItem("d", 0);
  EXPECT_EQ(list.ListIndex(), 3);
  EXPECT_EQ(list.SelectedText(), "a");
  EXPECT_EQ(selects, 0);  // the same entry is still selected
  list.RemoveItem(3);
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(list.SelectedText(), "");
  EXPECT_THROW(list.SetListIndex(3), std::out_of_range);
  EXPECT_THROW(list.Item(-1), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(FormModel, CheckListKeepsTicksWithTheirEntries) {
  Form form("Form3");
  auto& list = form.AddCheckList("List1", {});
  EXPECT_TRUE(list.HasCheckBoxes());
  list.AddItem("a");
  list.AddItem("b");
  list.SetChecked(1, true);
  list.AddItem("z", 0);
  EXPECT_FALSE(list.Checked(0));
  EXPECT_FALSE(list.Checked(1));
  EXPECT_TRUE(list.Checked(2));
  list.RemoveItem(0);
  EXPECT_TRUE(list.Checked(1));
  list.Clear();
  list.AddItem("a");
  EXPECT_FALSE(list.Checked(0));
}

TEST(GridModel, RowsCountTheHeaderAndAreCutBackToIt) {
  Form form("Form1");
  auto& grid = form.AddGrid("Grid1", {}, 3);
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_EQ(grid.AddRow(), 1);
  EXPECT_EQ(grid.AddRow(), 2);
  grid.SetCell(2, 1, "5");
  grid.SetCellColour(2, 0, kRed);
  grid.SetRow(2);
  grid.SetRows(1);
  EXPECT_EQ(grid.Rows(), 1);
  EXPECT_EQ(grid.Row(), 0);  // the header is all that is left
  grid.SetRows(0);
  EXPECT_EQ(grid.Rows(), 1);  // never below the header
  // New rows come back empty, with the grid's own colour.
  grid.AddRow();
  grid.AddRow();
  EXPECT_EQ(grid.Cell(2, 1), "");
  EXPECT_EQ(grid.CellColour(2, 0), std::nullopt);
  EXPECT_THROW(grid.Cell(3, 0), std::out_of_range);
  EXPECT_THROW(grid.SetCell(0, 3, "x"), std::out_of_range);
}

TEST(GridModel, SelectionRunsEitherWay) {
  Form form("Form1");
  auto& grid = form.AddGrid("Grid1", {}, 3);
  for (int i = 0; i < 5; ++i) grid.AddRow();
  grid.SetRow(4);
  grid.SetRowSel(2);  // selected upwards
  EXPECT_EQ(grid.FirstSelectedRow(), 2);
  EXPECT_EQ(grid.LastSelectedRow(), 4);
  grid.SetRow(3);  // a new current row is the whole selection again
  EXPECT_EQ(grid.RowSel(), 3);
  grid.SetRowSel(5);
  EXPECT_EQ(grid.FirstSelectedRow(), 3);
  EXPECT_EQ(grid.LastSelectedRow(), 5);
  grid.RemoveRow(5);
  EXPECT_EQ(grid.RowSel(), 4);
  EXPECT_THROW(grid.RemoveRow(0), std::out_of_range);  // the header stays
}

TEST(GridModel, ColumnWidthsHideAndTopRowStaysBelowTheHeader) {
  Form form("Form1");
  auto& grid = form.AddGrid("Grid1", {}, 3);
  grid.SetColWidth(2, 0);
  EXPECT_EQ(grid.ColWidth(2), 0);
  grid.SetColWidth(1, -5);
  EXPECT_EQ(grid.ColWidth(1), 0);
  grid.SetTopRow(1);  // no rows to scroll: ignored
  EXPECT_EQ(grid.TopRow(), 1);
  for (int i = 0; i < 4; ++i) grid.AddRow();
  grid.SetTopRow(3);
  EXPECT_EQ(grid.TopRow(), 3);
  grid.SetRows(3);
  EXPECT_EQ(grid.TopRow(), 2);
  grid.SetCols(2);
  EXPECT_THROW(grid.ColWidth(2), std::out_of_range);
}

TEST(TimerModel, TicksOnlyWithAnIntervalAndEnabled) {
  Form form("Form2");
  auto& t = form.AddTimer("Timer1", 3000, false);
  EXPECT_FALSE(t.Ticking());
  t.SetEnabled(true);
  EXPECT_TRUE(t.Ticking());
  t.SetInterval(0);
  EXPECT_FALSE(t.Ticking());
}

}  // namespace
}  // namespace lup::ui
