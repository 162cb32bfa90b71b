#pragma once
// Inside the Win32 backend: a FormWindow mirrors one loaded Form into a
// top-level window, a ControlWindow (control_window_win32.h, one class for
// each kind of control) mirrors one control into a child window,
// and Win32Host runs the event loops and the common dialogs for the
// WindowStack, which decides what is loaded, shown, blocked and ticking.
//
// The Form is the truth. Changes made by code reach the windows through the
// peer calls (Changed/FormChanged); the user's changes reach the Form from
// the notifications (EN_CHANGE, BN_CLICKED, LVN_ITEMCHANGED, ...). Handlers
// of the window code may unload forms at any time, so unloaded windows are
// destroyed at once but their objects are kept until the outermost event
// loop is back in control.
//
// What a list holds (entries, ticks, rows, cells, colours, the selection)
// reaches its window in batches: a change only marks what is to be done
// (ControlWindow::Defer), and everything marked is applied in one go from
// the Form as it then stands (ControlWindow::Flush) before the window can
// be seen or asked: when the event loop is about to wait or look for input,
// before a message box, a common dialog or a modal loop, when the form or
// the control is shown, when the window code asks for live state (Query)
// and when any message reaches the control's window (a read-back, a paint,
// the user's input). Filling a list of n rows costs n changes of the Form
// and one pass over the window; a change of the selection touches only the
// rows whose state changes.
#include <windows.h>

#include <commctrl.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/window_stack.h"
#include "ui/win32/control_window_win32.h"

namespace lup::ui::win32 {

class Win32Host;
class FormWindow;

// The dots per inch a window is shown at.
unsigned WindowDpi(HWND hwnd);
// The named face when it is installed; otherwise the first installed
// Japanese face that also holds the Latin letters and digits. Left to the
// font mapper, a missing face can fall on a font without Latin glyphs
// (under Wine: Droid Sans Fallback), which shows digits as boxes.
std::wstring UsableFace(const std::string& name);
// The font of our controls (the named face or its stand-in) for a DPI.
HFONT CreateUiFont(const Font& font, unsigned dpi);

// The shift keys and the button of a mouse message.
Modifiers KeysOf(WPARAM wp);
MouseButton ButtonOf(UINT msg);

class FormWindow final : public FormPeer {
 public:
  FormWindow(Win32Host& host, Form& form, HWND owner);
  ~FormWindow() override;
  FormWindow(const FormWindow&) = delete;
  FormWindow& operator=(const FormWindow&) = delete;

  HWND hwnd() const { return hwnd_; }
  Form& form() const { return form_; }
  Win32Host& host() const { return host_; }
  HWND tooltip() const { return tooltip_; }
  unsigned dpi() const { return dpi_; }
  int Px(Twips t) const { return MulDiv(t, static_cast<int>(dpi_), 1440); }
  Twips ToTwips(int px) const { return MulDiv(px, 1440, static_cast<int>(dpi_)); }
  HFONT FontFor(const Font& font);

  // Another form is shown modally over this one.
  void Block(bool on);
  // Stops mirroring: timers end, peers are detached, the window goes.
  void Detach();
  bool detached() const { return detached_; }
  void Show();
  // A system timer of the window stack (WM_TIMER with its id).
  void StartTimer(int id, int interval_ms);
  void StopTimer(int id);

  void FormChanged(Form& form, Prop prop) override;
  void ControlAdded(Control& control) override;
  void FormDestroyed(Form& form) override;

  void ReorderTabs();
  // The default button (keys_win32.cpp): its id as DM_GETDEFID answers it
  // (0: none), which the dialog manager reads to draw it; the cancel button
  // pressed for an IDCANCEL; the default button drawn as such. The keys
  // themselves go to the window stack (Win32Host::StackKey).
  LRESULT DefaultButtonId() const;
  void PressCancel();
  void MarkDefaultButton();
  // Every control placed in `frame`, at any depth.
  void ForEachInside(const Control& frame, const std::function<void(ControlWindow&)>& action);
  ControlWindow* ById(int id) const;
  ControlWindow* WindowFor(const Control* c) const;

  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

 private:
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void SizeAndPlace(HWND owner);
  void SyncEnabled();

  Win32Host& host_;
  Form& form_;
  HWND hwnd_ = nullptr;
  HWND tooltip_ = nullptr;
  unsigned dpi_ = 96;
  int blocked_ = 0;
  bool detached_ = false;
  std::vector<std::unique_ptr<ControlWindow>> controls_;
  std::vector<std::pair<Font, HFONT>> fonts_;
};

class Win32Host final : public Host, private WindowBackend {
 public:
  Win32Host();
  ~Win32Host() override;

  void SetAppTitle(std::string title) override { app_title_ = std::move(title); }
  Answer Ask(const Message& message, const Form* owner = nullptr) override;
  std::filesystem::path ChooseOpenFile(const OpenFileRequest& request) override;
  std::filesystem::path ChooseFolder(const std::string& title, const Form* owner = nullptr) override;
  std::optional<IconChoice> ChooseIcon(const IconChoice& start, const Form* owner = nullptr) override;
  void SetBusy(bool on) override;
  void Show(Form& form) override { stack_.Show(form); }
  void ShowModal(Form& form, const Form* owner = nullptr) override {
    stack_.ShowModal(form, owner);
  }
  void Unload(Form& form) override { stack_.Unload(form); }
  void DoEvents() override;
  void Quit(int exit_code) override { stack_.Quit(exit_code); }
  bool Ending() const override { return stack_.Ending(); }
  int Run() override;

  WindowStack& stack() { return stack_; }
  bool busy() const { return busy_; }
  HINSTANCE instance() const { return instance_; }
  // A control window has changes waiting; FlushAll applies them.
  void Pending(ControlWindow* window);
  void NotPending(ControlWindow* window);
  // Applies the waiting changes of every window.
  void FlushAll();

 private:
  // --- WindowBackend ---
  std::unique_ptr<FormPeer> MakeWindow(Form& form, const Form* owner) override;
  void DropWindow(std::unique_ptr<FormPeer> window) override;
  void Block(Form& form, bool on) override;
  void Activate(Form& form) override;
  void ModalShown(Form&) override {}
  bool WaitForEvent() override { return Pump(true); }
  void StartTimer(Form& form, int id, int interval_ms) override;
  void StopTimer(Form& form, int id) override;
  // Shown modally while open: the stack does nothing, nor does the program.
  void Misuse(const std::string&) override {}

  HWND OwnerWindow(const Form* owner) const;
  // One message: true when one was handled, false on WM_QUIT.
  bool Pump(bool wait);
  void Dispatch(MSG& msg);
  bool StackKey(Form& form, const MSG& msg);

  HINSTANCE instance_;
  HWND app_window_ = nullptr;  // hidden owner of forms kept out of the task bar
  bool com_ = false;
  std::string app_title_;
  bool busy_ = false;
  int depth_ = 0;
  std::vector<ControlWindow*> pending_;
  // Handlers of an unloaded form's window may still be running: its object
  // stays until the outermost loop is back.
  std::vector<std::unique_ptr<FormPeer>> graveyard_;
  WindowStack stack_{*this};
};

}  // namespace lup::ui::win32
