#include "ui/control.h"

#include <algorithm>
#include <stdexcept>

#include "ui/form.h"

namespace lup::ui {

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kButton: return "button";
    case ControlKind::kCheckBox: return "check box";
    case ControlKind::kLabel: return "label";
    case ControlKind::kTextBox: return "text box";
    case ControlKind::kListBox: return "list box";
    case ControlKind::kComboBox: return "drop-down list";
    case ControlKind::kFrame: return "frame";
    case ControlKind::kTimer: return "timer";
    case ControlKind::kGrid: return "grid";
  }
  return "control";
}

Control::Control(Form& form, ControlKind kind, std::string name, int index, Rect where, Frame* parent)
    : form_(form), kind_(kind), name_(std::move(name)), index_(index), parent_(parent), where_(where),
      font_(form.DefaultFont()) {}

std::string ControlLabel(std::string_view name, int index) {
  std::string s(name);
  if (index >= 0) {
    s += '(';
    s += std::to_string(index);
    s += ')';
  }
  return s;
}

std::string Control::Label() const { return ControlLabel(name_, index_); }

void Control::SetText(std::string_view text) {
  if (text_ == text) return;
  text_ = std::string(text);
  Notify(Prop::kText);
  TextChanged();
}

void Control::UserSetText(std::string_view text) {
  if (text_ == text) return;
  text_ = std::string(text);
  TextChanged();
}

void Control::SetEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  Notify(Prop::kEnabled);
}

void Control::SetVisible(bool on) {
  if (visible_ == on) return;
  visible_ = on;
  Notify(Prop::kVisible);
}

bool Control::Reachable() const {
  for (const Control* c = this; c; c = c->parent_) {
    if (!c->enabled_ || !c->visible_) return false;
  }
  return true;
}

void Control::SetToolTip(std::string_view text) {
  if (tool_tip_ == text) return;
  tool_tip_ = std::string(text);
  Notify(Prop::kToolTip);
}

void Control::SetTabIndex(int i) {
  tab_index_ = i;
  Notify(Prop::kTabIndex);
}

void Control::SetFont(const Font& f) {
  if (font_ == f) return;
  font_ = f;
  Notify(Prop::kFont);
}

void Control::SetBold(bool on) {
  Font f = font_;
  f.bold = on;
  SetFont(f);
}

void Control::Move(Rect where) {
  if (where_ == where) return;
  where_ = where;
  Notify(Prop::kGeometry);
}

Rect Control::FormGeometry() const {
  Rect r = where_;
  for (const Control* p = parent_; p; p = p->parent_) {
    r.left += p->where_.left;
    r.top += p->where_.top;
  }
  return r;
}

void Control::SetFocus() {
  form_.SetFocusTo(this);
}

// --- CheckBox ---

void CheckBox::Store(int value, bool from_user) {
  value = value ? 1 : 0;
  if (value_ == value) return;
  value_ = value;
  if (!from_user) Notify(Prop::kValue);
  Fire(on_click);
}

void CheckBox::SetValue(int value) { Store(value, false); }
void CheckBox::UserSetValue(int value) { Store(value, true); }

// --- ListControl ---

const std::string& ListControl::Item(int i) const {
  if (i < 0 || i >= Count()) throw std::out_of_range(Label() + ": no entry " + std::to_string(i));
  return items_[static_cast<size_t>(i)];
}

void ListControl::AddItem(std::string_view text, int at) {
  if (at < 0 || at > Count()) at = Count();
  items_.insert(items_.begin() + at, std::string(text));
  ItemInserted(at);
  // The selected entry stays selected: it moved down by one.
  if (list_index_ >= at) ++list_index_;
  Notify(Prop::kItems, at);
}

void ListControl::RemoveItem(int i) {
  if (i < 0 || i >= Count()) throw std::out_of_range(Label() + ": no entry " + std::to_string(i));
  items_.erase(items_.begin() + i);
  ItemRemoved(i);
  if (list_index_ == i) list_index_ = -1;
  else if (list_index_ > i) --list_index_;
  Notify(Prop::kItems, i);
}

void ListControl::Clear() {
  items_.clear();
  ItemsCleared();
  list_index_ = -1;
  Notify(Prop::kItems, -1);
}

void ListControl::StoreIndex(int i, bool from_user) {
  if (i < -1 || i >= Count()) throw std::out_of_range(Label() + ": no entry " + std::to_string(i));
  if (list_index_ == i) return;
  list_index_ = i;
  if (!from_user) Notify(Prop::kListIndex);
  Fire(on_select);
}

void ListControl::SetListIndex(int i) { StoreIndex(i, false); }
void ListControl::UserSetListIndex(int i) { StoreIndex(i, true); }

std::string ListControl::SelectedText() const {
  return list_index_ < 0 ? std::string() : items_[static_cast<size_t>(list_index_)];
}

// --- ListBox ---

bool ListBox::Checked(int i) const {
  Item(i);  // range check
  return checked_[static_cast<size_t>(i)];
}

void ListBox::SetChecked(int i, bool on) {
  Item(i);
  if (checked_[static_cast<size_t>(i)] == on) return;
  checked_[static_cast<size_t>(i)] = on;
  Notify(Prop::kItemChecked, i);
}

void ListBox::UserSetChecked(int i, bool on) {
  Item(i);
  if (checked_[static_cast<size_t>(i)] == on) return;
  checked_[static_cast<size_t>(i)] = on;
  if (on_item_check) on_item_check(i);
}

void ListBox::ItemInserted(int i) { checked_.insert(checked_.begin() + i, false); }
void ListBox::ItemRemoved(int i) { checked_.erase(checked_.begin() + i); }

// --- Timer ---

void Timer::SetInterval(int ms) {
  if (ms < 0) ms = 0;
  if (interval_ms_ == ms) return;
  interval_ms_ = ms;
  Notify(Prop::kTimer);
}

// --- Grid ---

Grid::Grid(Form& f, std::string name, int index, Rect where, Frame* parent, int cols)
    : Control(f, ControlKind::kGrid, std::move(name), index, where, parent),
      cols_(cols < 1 ? 1 : cols),
      cells_(1, std::vector<CellData>(static_cast<size_t>(cols_))),
      widths_(static_cast<size_t>(cols_), 960) {}

void Grid::SetCols(int n) {
  if (n < 1) n = 1;
  if (n == cols_) return;
  cols_ = n;
  for (auto& row : cells_) row.resize(static_cast<size_t>(n));
  widths_.resize(static_cast<size_t>(n), 960);
  if (col_ >= n) col_ = n - 1;
  Notify(Prop::kGridShape);
}

void Grid::SetRows(int n) {
  if (n < 1) n = 1;
  if (n == Rows()) return;
  cells_.resize(static_cast<size_t>(n), std::vector<CellData>(static_cast<size_t>(cols_)));
  row_ = ClampRow(row_);
  row_sel_ = ClampRow(row_sel_);
  top_row_ = std::max(1, std::min(top_row_, n - 1));
  Notify(Prop::kGridShape);
}

int Grid::AddRow() {
  SetRows(Rows() + 1);
  return Rows() - 1;
}

void Grid::RemoveRow(int row) {
  if (row < 1 || row >= Rows()) throw std::out_of_range(Label() + ": no row " + std::to_string(row));
  cells_.erase(cells_.begin() + row);
  row_ = ClampRow(row_);
  row_sel_ = ClampRow(row_sel_);
  top_row_ = std::max(1, std::min(top_row_, Rows() - 1));
  Notify(Prop::kGridShape);
}

int Grid::ClampRow(int row) const { return std::max(0, std::min(row, Rows() - 1)); }

void Grid::CheckCell(int row, int col) const {
  if (row < 0 || row >= Rows() || col < 0 || col >= cols_)
    throw std::out_of_range(Label() + ": no cell " + std::to_string(row) + "," + std::to_string(col));
}

Twips Grid::ColWidth(int col) const {
  CheckCell(0, col);
  return widths_[static_cast<size_t>(col)];
}

void Grid::SetColWidth(int col, Twips width) {
  CheckCell(0, col);
  if (width < 0) width = 0;
  if (widths_[static_cast<size_t>(col)] == width) return;
  widths_[static_cast<size_t>(col)] = width;
  Notify(Prop::kColWidth, col);
}

const std::string& Grid::Cell(int row, int col) const {
  CheckCell(row, col);
  return cells_[static_cast<size_t>(row)][static_cast<size_t>(col)].text;
}

void Grid::SetCell(int row, int col, std::string_view text) {
  CheckCell(row, col);
  auto& cell = cells_[static_cast<size_t>(row)][static_cast<size_t>(col)];
  if (cell.text == text) return;
  cell.text = std::string(text);
  Notify(Prop::kCell, row, col);
}

std::optional<Colour> Grid::CellColour(int row, int col) const {
  CheckCell(row, col);
  return cells_[static_cast<size_t>(row)][static_cast<size_t>(col)].colour;
}

void Grid::SetCellColour(int row, int col, Colour c) {
  CheckCell(row, col);
  auto& cell = cells_[static_cast<size_t>(row)][static_cast<size_t>(col)];
  if (cell.colour == c) return;
  cell.colour = c;
  Notify(Prop::kCell, row, col);
}

void Grid::SetRow(int row) {
  CheckCell(row, 0);
  row_ = row;
  row_sel_ = row;
  Notify(Prop::kGridSelection);
}

void Grid::SetCol(int col) {
  CheckCell(0, col);
  col_ = col;
  Notify(Prop::kGridSelection);
}

void Grid::SetRowSel(int row) {
  CheckCell(row, 0);
  row_sel_ = row;
  Notify(Prop::kGridSelection);
}

int Grid::TopRow() const {
  if (peer()) {
    if (auto live = peer()->Query(*this, Prop::kTopRow)) return *live;
  }
  return top_row_;
}

void Grid::SetTopRow(int row) {
  if (Rows() < 2) return;  // nothing below the header to scroll
  CheckCell(row, 0);
  top_row_ = std::max(1, row);
  Notify(Prop::kTopRow, top_row_);
}

void Grid::UserSetSelection(int row, int col, int row_sel) {
  CheckCell(row, col);
  CheckCell(row_sel, 0);
  if (row == row_ && col == col_ && row_sel == row_sel_) return;
  row_ = row;
  col_ = col;
  row_sel_ = row_sel;
  Fire(on_select);
}

void Grid::UserSetTopRow(int row) {
  if (Rows() < 2) return;
  top_row_ = std::max(1, ClampRow(row));
}

}  // namespace lup::ui
