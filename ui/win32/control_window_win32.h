#pragma once
// A ControlWindow mirrors one control of a loaded form into a child window.
// This base does what every kind shares (the window, its place, font, state,
// tool tip, mouse and focus, and the changes that wait for Flush); each kind
// of control has its own small class (control_kinds_win32.h) that says what
// window it is made of, shows what only it has and turns the window's
// notifications into the user's changes of the control.
#include <windows.h>

#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>

#include "ui/control.h"

namespace lup::ui::win32 {

class FormWindow;

class ControlWindow : public ControlPeer {
 public:
  // The window of a control (nullptr for a timer, which has none); made
  // and attached to the control.
  static std::unique_ptr<ControlWindow> Make(FormWindow& owner, Control& control, int id);
  // Made by Make only, which makes the window once the object is complete.
  ControlWindow(FormWindow& owner, Control& control, int id);
  ~ControlWindow() override;
  ControlWindow(const ControlWindow&) = delete;
  ControlWindow& operator=(const ControlWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  Control& control() const { return control_; }
  int id() const { return id_; }

  // Places the window for the form's DPI.
  void Layout();
  void ApplyFont();
  // Shown and enabled as the control and every frame around it say.
  void SyncState();
  void Detach();

  // The changes every kind shows, then the kind's own (KindChanged).
  void Changed(Control& control, Prop prop, int a, int b) final;

  // Applies every change waiting for this window (see backend_win32.h).
  void Flush();

  // WM_COMMAND and WM_NOTIFY from the window, sent to the form: the
  // user's changes, unless they are our own (OnCommand, OnNotify).
  void Command(UINT code);
  LRESULT Notify(NMHDR* header, bool* handled);

 protected:
  virtual void OnCommand(UINT code) { (void)code; }
  virtual LRESULT OnNotify(NMHDR* header, bool* handled) {
    (void)header;
    (void)handled;
    return 0;
  }
  struct WindowKind {
    const wchar_t* window_class;
    DWORD style;  // besides WS_CHILD, WS_VISIBLE and WS_DISABLED
    DWORD ex_style;
  };
  // What waits for the window: a change marks it (Defer), Flush applies it
  // (Apply). The bits are the kind's own.
  enum Pending : unsigned {
    kItemsPending = 1u << 0,      // every entry of a list (with its tick)
    kTicksPending = 1u << 1,      // the ticks of the entries changed
    kIndexPending = 1u << 2,      // the selected entry of a list
    kColumnsPending = 1u << 3,    // the grid's columns, their widths and headers
    kRowsPending = 1u << 4,       // the grid's row count
    kCellsPending = 1u << 5,      // texts and colours of the grid's cells
    kSelectionPending = 1u << 6,  // the grid's current row and selection
    kTopRowPending = 1u << 7,     // the grid's row to scroll to the top
  };
  // The selection a list view shows, as this window last set it: list view
  // items first..last (-1: none) and the focused item. Not known after the
  // list view changed it itself (the user's keys) or after its item count
  // changed; then it is read back.
  struct ShownSelection {
    int first = -1, last = -1, focus = -1;
    bool known = true;
  };

  virtual WindowKind Kind() const = 0;
  // The window's text when it is made.
  virtual std::wstring InitialText() const;
  // The window is made: what the control holds beyond its text.
  virtual void Created() {}
  // A property changed that the common part does not show (or shows and
  // the kind adds to: a frame's children follow it).
  virtual void KindChanged(Prop prop, int a, int b) {
    (void)prop;
    (void)a;
    (void)b;
  }
  // Applies the marked changes (Pending bits).
  virtual void Apply(unsigned what) { (void)what; }
  // The window's height in pixels for the control's.
  virtual int WindowHeight(int control_height) const { return control_height; }
  virtual void LaidOut() {}
  // A message before the common handling; true when handled, with its result.
  virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT* result) {
    (void)msg;
    (void)wp;
    (void)lp;
    (void)result;
    return false;
  }

  void Defer(unsigned what);
  // The control's own window procedure.
  LRESULT CallClassProc(UINT msg, WPARAM wp, LPARAM lp);
  MouseEvent MakeMouse(MouseButton button, WPARAM wp, LPARAM lp) const;
  FormWindow& owner() const { return owner_; }
  bool detached() const { return detached_; }
  bool pending(unsigned what) const { return (pending_ & what) != 0; }

  HWND hwnd_ = nullptr;
  bool syncing_ = false;  // our own changes to the window: no user events

 private:
  // In front of the control's own window procedure (class_proc_).
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void Create();
  bool ShownInFrames() const;
  bool EnabledInFrames() const;
  void SyncTip();

  FormWindow& owner_;
  Control& control_;
  int id_;
  WNDPROC class_proc_ = nullptr;
  HWND made_ = nullptr;  // hwnd_ as made: kept when the control lets go of it
  bool detached_ = false;
  bool tip_added_ = false;
  unsigned pending_ = 0;  // Pending bits
  bool listed_ = false;   // in the host's list of windows with changes waiting
  bool flushing_ = false;
};

}  // namespace lup::ui::win32
