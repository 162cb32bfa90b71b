#pragma once
// Controls of the window toolkit. A window is built in portable code as data:
// a Form (form.h) holding controls addressed by name and optional index
// ("Command1", "Text1" index 3), with geometry in twips (1440 per inch) and
// events as callbacks. The controls hold the whole truth of their state; a
// UI backend (ui/win32, ui/headless) mirrors it into real widgets and feeds
// the user's changes back, so window code reads every property from here.
//
// Changes made from code behave as they always have for these windows:
//   - TextBox::SetText fires on_change when the text changes;
//   - CheckBox::SetValue fires on_click when the value changes;
//   - ListBox/ComboBox::SetListIndex fire on_select when the selection changes.
// Grid selection setters from code fire nothing; the grid's on_select fires
// only for the user's own changes.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lup::ui {

class Form;
class Frame;

// Lengths and positions in twips (1440 per inch, 15 per pixel at 96 DPI).
using Twips = int;

struct Rect {
  Twips left = 0, top = 0, width = 0, height = 0;
  bool operator==(const Rect&) const = default;
};

struct Colour {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Colour&) const = default;
};
constexpr Colour Rgb(std::uint8_t r, std::uint8_t g, std::uint8_t b) { return Colour{r, g, b}; }
inline constexpr Colour kWhite = Rgb(255, 255, 255);
inline constexpr Colour kRed = Rgb(255, 0, 0);

// The Japanese UI font; under Wine it falls back to an installed Japanese font.
inline constexpr const char* kDefaultFontName = "ＭＳ Ｐゴシック";
struct Font {
  std::string name = kDefaultFontName;
  int points = 9;
  bool bold = false;
  bool operator==(const Font&) const = default;
};

enum class MouseButton { kLeft = 1, kRight = 2, kMiddle = 4 };

// Shift keys held during a mouse event, as a bit set.
using Modifiers = unsigned;
inline constexpr Modifiers kNoKeys = 0;
inline constexpr Modifiers kShiftKey = 1;
inline constexpr Modifiers kCtrlKey = 2;
inline constexpr Modifiers kAltKey = 4;

struct MouseEvent {
  MouseButton button = MouseButton::kLeft;
  Modifiers keys = kNoKeys;
  Twips x = 0, y = 0;  // relative to the control (or the form's client area)
};

enum class ControlKind { kButton, kCheckBox, kLabel, kTextBox, kListBox, kComboBox, kFrame, kTimer, kGrid };
const char* KindName(ControlKind kind);
// "Text1(3)", or "Command1" outside a control array.
std::string ControlLabel(std::string_view name, int index);

// What changed, told to the backend that mirrors the control.
enum class Prop {
  kText, kEnabled, kVisible, kToolTip, kGeometry, kFont, kTabIndex, kFocus,
  kValue,                  // check box value
  kItems,                  // list/combo entries replaced or inserted/removed (a = index or -1 for all)
  kListIndex,              // list/combo selection
  kItemChecked,            // check-box list: entry a ticked/unticked
  kTimer,                  // interval or enabled
  kGridShape,              // rows or columns count
  kColWidth,               // a = column
  kCell,                   // a = row, b = column: text or colour
  kGridSelection,          // current row/column or selection end
  kTopRow,                 // a = the row asked for
  kDefaultButton,          // the form's default button changed
};

class Control;

// Implemented by a UI backend for every control it mirrors.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void Changed(Control& control, Prop prop, int a, int b) = 0;
  // Live value of a property the widget owns (the grid's top row after the
  // user scrolled). nullopt: the model's value stands.
  virtual std::optional<int> Query(const Control& control, Prop prop) const {
    (void)control; (void)prop;
    return std::nullopt;
  }
};

class Control {
 public:
  Control(Form& form, ControlKind kind, std::string name, int index, Rect where, Frame* parent);
  virtual ~Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Form& form() const { return form_; }
  ControlKind kind() const { return kind_; }
  const std::string& name() const { return name_; }
  int index() const { return index_; }  // -1: not part of a control array
  // "Text1(3)" or "Command1": for messages in tests and failures.
  std::string Label() const;
  // The frame that holds this control; its geometry is relative to the frame.
  Frame* parent() const { return parent_; }

  // Caption of buttons, check boxes, labels and frames; text of text boxes.
  const std::string& Text() const { return text_; }
  void SetText(std::string_view text);
  const std::string& Caption() const { return text_; }
  void SetCaption(std::string_view text) { SetText(text); }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  bool Visible() const { return visible_; }
  void SetVisible(bool on);
  // Visible and enabled, with every frame around it: the user can reach it.
  bool Reachable() const;

  const std::string& ToolTip() const { return tool_tip_; }
  void SetToolTip(std::string_view text);

  int TabIndex() const { return tab_index_; }
  void SetTabIndex(int i);

  const Font& GetFont() const { return font_; }
  void SetFont(const Font& f);
  void SetBold(bool on);

  const Rect& Geometry() const { return where_; }
  void Move(Rect where);
  // Position in the form's client area (adds the frames around it).
  Rect FormGeometry() const;

  // Free text for the window code (the caller hands a dialog its row number).
  std::string tag;

  // Gives this control the keyboard focus (recorded by the form).
  void SetFocus();

  // A click of the user comes as mouse down, mouse up, click; the second
  // press of a double click as double click, mouse up. A check box's
  // on_click means its value changed. On a grid the current row is already
  // the clicked one when on_mouse_down runs (left button; with Shift the
  // selection stretches from the current row). Moves over a disabled
  // control go to the form's on_mouse_move. On a focused grid the arrow keys
  // move the current row (with Shift they stretch the selection) and Enter
  // does what a double click does.
  std::function<void()> on_click;
  std::function<void()> on_dbl_click;
  std::function<void(const MouseEvent&)> on_mouse_down;
  std::function<void(const MouseEvent&)> on_mouse_up;
  std::function<void(const MouseEvent&)> on_mouse_move;

  // --- for UI backends ---
  void AttachPeer(ControlPeer* peer) { peer_ = peer; }
  ControlPeer* peer() const { return peer_; }
  void Fire(const std::function<void()>& handler) { if (handler) handler(); }
  void FireMouse(const std::function<void(const MouseEvent&)>& handler, const MouseEvent& e) {
    if (handler) handler(e);
  }
  // The user's own edit of a text box, already shown by the widget.
  void UserSetText(std::string_view text);

 protected:
  void Notify(Prop prop, int a = -1, int b = -1) {
    if (peer_) peer_->Changed(*this, prop, a, b);
  }
  virtual void TextChanged() {}

 private:
  Form& form_;
  ControlKind kind_;
  std::string name_;
  int index_;
  Frame* parent_;
  Rect where_;
  std::string text_;
  bool enabled_ = true;
  bool visible_ = true;
  std::string tool_tip_;
  int tab_index_ = 0;
  Font font_;
  ControlPeer* peer_ = nullptr;
};

class Button final : public Control {
 public:
  Button(Form& f, std::string name, int index, Rect where, Frame* parent)
      : Control(f, ControlKind::kButton, std::move(name), index, where, parent) {}
};

class Label final : public Control {
 public:
  Label(Form& f, std::string name, int index, Rect where, Frame* parent)
      : Control(f, ControlKind::kLabel, std::move(name), index, where, parent) {}
};

class Frame final : public Control {
 public:
  Frame(Form& f, std::string name, int index, Rect where, Frame* parent)
      : Control(f, ControlKind::kFrame, std::move(name), index, where, parent) {}
};

class TextBox final : public Control {
 public:
  TextBox(Form& f, std::string name, int index, Rect where, Frame* parent)
      : Control(f, ControlKind::kTextBox, std::move(name), index, where, parent) {}
  // Fires after every change of the text, by the user or by code.
  std::function<void()> on_change;

 private:
  void TextChanged() override { Fire(on_change); }
};

class CheckBox final : public Control {
 public:
  CheckBox(Form& f, std::string name, int index, Rect where, Frame* parent)
      : Control(f, ControlKind::kCheckBox, std::move(name), index, where, parent) {}
  int Value() const { return value_; }  // 0 unticked, 1 ticked
  // Fires on_click when the value changes.
  void SetValue(int value);
  // --- for UI backends: the user ticked or unticked the box ---
  void UserSetValue(int value);

 private:
  void Store(int value, bool from_user);
  int value_ = 0;
};

// A list of text entries with one selected entry: a list box (optionally with
// a check box per entry) or a drop-down list.
class ListControl : public Control {
 public:
  using Control::Control;
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Item(int i) const;
  const std::vector<std::string>& Items() const { return items_; }
  // Inserts at `at` (0 = at the top), or appends when at is -1.
  void AddItem(std::string_view text, int at = -1);
  void RemoveItem(int i);
  void Clear();
  int ListIndex() const { return list_index_; }  // -1: nothing selected
  // Fires on_select when the selection changes.
  void SetListIndex(int i);
  // Text of the selected entry; empty when nothing is selected.
  std::string SelectedText() const;
  // Fires when the selected entry changes: mouse, keyboard or code.
  std::function<void()> on_select;

  // --- for UI backends: the user selected an entry ---
  void UserSetListIndex(int i);

 protected:
  virtual void ItemInserted(int) {}
  virtual void ItemRemoved(int) {}
  virtual void ItemsCleared() {}

 private:
  void StoreIndex(int i, bool from_user);
  std::vector<std::string> items_;
  int list_index_ = -1;
};

class ListBox final : public ListControl {
 public:
  ListBox(Form& f, std::string name, int index, Rect where, Frame* parent, bool check_boxes)
      : ListControl(f, ControlKind::kListBox, std::move(name), index, where, parent),
        check_boxes_(check_boxes) {}
  // A check box per entry.
  bool HasCheckBoxes() const { return check_boxes_; }
  bool Checked(int i) const;
  void SetChecked(int i, bool on);
  // Fires when the user ticks or unticks entry i.
  std::function<void(int)> on_item_check;
  // --- for UI backends ---
  void UserSetChecked(int i, bool on);

 private:
  void ItemInserted(int i) override;
  void ItemRemoved(int i) override;
  void ItemsCleared() override { checked_.clear(); }
  bool check_boxes_;
  std::vector<bool> checked_;
};

// A drop-down list: the user picks an entry, never types.
class ComboBox final : public ListControl {
 public:
  ComboBox(Form& f, std::string name, int index, Rect where, Frame* parent)
      : ListControl(f, ControlKind::kComboBox, std::move(name), index, where, parent) {}
};

class Timer final : public Control {
 public:
  Timer(Form& f, std::string name, int index)
      : Control(f, ControlKind::kTimer, std::move(name), index, Rect{}, nullptr) {}
  // Milliseconds between ticks; 0 stops the timer.
  int Interval() const { return interval_ms_; }
  void SetInterval(int ms);
  // Ticking while Enabled() and Interval() > 0 on a loaded form.
  bool Ticking() const { return Enabled() && interval_ms_ > 0; }
  std::function<void()> on_tick;

 private:
  int interval_ms_ = 0;
};

// A grid of text cells with one fixed header row (row 0) and no fixed column.
// Rows() counts the header row. The current cell is (Row(), Col()); the
// selected rows run from Row() to RowSel() in either direction.
class Grid final : public Control {
 public:
  Grid(Form& f, std::string name, int index, Rect where, Frame* parent, int cols);

  int Cols() const { return cols_; }
  void SetCols(int n);
  int Rows() const { return static_cast<int>(cells_.size()); }
  // Grows with empty rows or cuts rows off the bottom; never below the header.
  void SetRows(int n);
  // Appends an empty row; returns its number.
  int AddRow();
  void RemoveRow(int row);

  Twips ColWidth(int col) const;
  void SetColWidth(int col, Twips width);  // 0 hides the column

  const std::string& Cell(int row, int col) const;
  void SetCell(int row, int col, std::string_view text);
  // nullopt: the grid's own colour (window colour, or the header colour).
  std::optional<Colour> CellColour(int row, int col) const;
  void SetCellColour(int row, int col, Colour c);

  int Row() const { return row_; }
  int Col() const { return col_; }
  int RowSel() const { return row_sel_; }
  // Also makes the selection the current row alone (RowSel := row).
  void SetRow(int row);
  void SetCol(int col);
  // Extends the selection from Row() to `row`.
  void SetRowSel(int row);
  // First and last selected row, in ascending order.
  int FirstSelectedRow() const { return row_ < row_sel_ ? row_ : row_sel_; }
  int LastSelectedRow() const { return row_ < row_sel_ ? row_sel_ : row_; }

  // The first row below the header that is scrolled into view.
  int TopRow() const;
  void SetTopRow(int row);

  // Fires when the user changes the current cell or the selection.
  std::function<void()> on_select;

  // --- for UI backends: the user clicked, dragged or moved with the keys ---
  void UserSetSelection(int row, int col, int row_sel);
  void UserSetTopRow(int row);

 private:
  struct CellData {
    std::string text;
    std::optional<Colour> colour;
  };
  void CheckCell(int row, int col) const;
  int ClampRow(int row) const;
  int cols_;
  std::vector<std::vector<CellData>> cells_;
  std::vector<Twips> widths_;
  int row_ = 0, col_ = 0, row_sel_ = 0;
  int top_row_ = 1;
};

}  // namespace lup::ui
