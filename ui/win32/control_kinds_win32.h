#pragma once
// One window class per kind of control (see control_window_win32.h).
#include <string>
#include <vector>

#include "ui/win32/control_window_win32.h"

namespace lup::ui::win32 {

// button_windows_win32.cpp
class ButtonWindow final : public ControlWindow {
 public:
  using ControlWindow::ControlWindow;

 protected:
  void OnCommand(UINT code) override;
  WindowKind Kind() const override;
};

class CheckBoxWindow final : public ControlWindow {
 public:
  using ControlWindow::ControlWindow;

 protected:
  void OnCommand(UINT code) override;
  WindowKind Kind() const override;
  void Created() override { ShowValue(); }
  void KindChanged(Prop prop, int a, int b) override;

 private:
  void ShowValue();
};

class FrameWindow final : public ControlWindow {
 public:
  using ControlWindow::ControlWindow;

 protected:
  WindowKind Kind() const override;
  // The controls in a frame are hidden, disabled and moved with it.
  void KindChanged(Prop prop, int a, int b) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;
};

// text_windows_win32.cpp
class LabelWindow final : public ControlWindow {
 public:
  using ControlWindow::ControlWindow;

 protected:
  void OnCommand(UINT code) override;
  WindowKind Kind() const override;
};

class TextBoxWindow final : public ControlWindow {
 public:
  using ControlWindow::ControlWindow;

 protected:
  void OnCommand(UINT code) override;
  WindowKind Kind() const override;
};

// list_windows_win32.cpp: a list box and a drop-down list, which differ
// only in their window's messages.
class ListWindow : public ControlWindow {
 public:
  struct Messages {
    UINT reset, init_storage, add_string, set_cur_sel, get_cur_sel, sel_change;
    LRESULT error;
  };
  ListWindow(FormWindow& owner, Control& control, int id, const Messages& messages)
      : ControlWindow(owner, control, id), messages_(messages) {}

 protected:
  void OnCommand(UINT code) override;
  void Created() override { Defer(kItemsPending); }
  void KindChanged(Prop prop, int a, int b) override;
  void Apply(unsigned what) override;

 private:
  void SyncItems();
  void SyncListIndex();
  const Messages& messages_;
};

class ListBoxWindow final : public ListWindow {
 public:
  ListBoxWindow(FormWindow& owner, Control& control, int id);

 protected:
  WindowKind Kind() const override;
};

class ComboBoxWindow final : public ListWindow {
 public:
  ComboBoxWindow(FormWindow& owner, Control& control, int id);

 protected:
  WindowKind Kind() const override;
  // A drop-down list's window height includes its opened list.
  int WindowHeight(int control_height) const override;
};

// check_list_win32.cpp: a list box with check boxes, a list view.
class CheckListWindow final : public ControlWindow {
 public:
  using ControlWindow::ControlWindow;

 protected:
  LRESULT OnNotify(NMHDR* header, bool* handled) override;
  WindowKind Kind() const override;
  void Created() override;
  void KindChanged(Prop prop, int a, int b) override;
  void Apply(unsigned what) override;

 private:
  ListBox& box() const { return static_cast<ListBox&>(control()); }
  void SyncItems();
  void SyncTicks();
  void SyncListIndex();
  std::vector<int> ticks_pending_;  // entries whose tick changed
  ShownSelection shown_;
};

// grid_win32.cpp: the grid, a list view in report mode with its cells in
// the Form.
class GridWindow final : public ControlWindow {
 public:
  using ControlWindow::ControlWindow;
  // The row at the top: applies what is waiting first, so that the live
  // value is that of the window as the Form has it.
  std::optional<int> Query(const Control& control, Prop prop) const override;

 protected:
  LRESULT OnNotify(NMHDR* header, bool* handled) override;
  WindowKind Kind() const override;
  std::wstring InitialText() const override { return {}; }
  void Created() override;
  void KindChanged(Prop prop, int a, int b) override;
  void Apply(unsigned what) override;
  void LaidOut() override { CreateColumns(); }
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) override;

 private:
  Grid& grid() const { return static_cast<Grid&>(control()); }
  void CreateColumns();
  void SyncShape();
  void SyncSelection();
  void ScrollTo(int row);
  bool Hit(LPARAM lp, int* row, int* col) const;
  LRESULT Mouse(UINT msg, WPARAM wp, LPARAM lp);
  void FromView();
  LRESULT CustomDraw(NMLVCUSTOMDRAW* draw);
  LRESULT HeaderDraw(NMCUSTOMDRAW* draw);

  bool dragging_ = false;
  bool after_double_click_ = false;
  std::wstring text_buffer_;  // the last text handed to the list view
  int top_row_pending_ = 0;
  ShownSelection shown_;
};

}  // namespace lup::ui::win32
