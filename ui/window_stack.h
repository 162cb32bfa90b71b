#pragma once
// What a UI host does with forms, whatever shows them: loading and
// unloading them in order, the modal forms and what they block, Enter and
// Esc, the end of the program and the timers. Both backends (ui/win32,
// ui/headless) drive one WindowStack and only make, update and drop the
// windows and run their event loops, through WindowBackend.
//
// A form is loaded by Show or ShowModal: the backend makes its window
// (hidden), the load handler runs, and the form is shown unless the handler
// unloaded it or ended the program. Unloading runs the unload handler, then
// the window goes. A modal form blocks every form loaded before it until it
// is unloaded; ShowModal runs the backend's loop until then. Quit ends every
// loop and drops every form without its unload handler.
#include <memory>
#include <string>
#include <vector>

#include "ui/form.h"

namespace lup::ui {

class WindowBackend {
 public:
  virtual ~WindowBackend() = default;
  // The form's window, hidden, with a window for every control but the
  // timers; it is the form's view (FormPeer) while the form is loaded.
  // `owner`: the form it is shown over, or nullptr.
  virtual std::unique_ptr<FormPeer> MakeWindow(Form& form, const Form* owner) = 0;
  // The window of an unloaded form: it stops showing the form and goes.
  virtual void DropWindow(std::unique_ptr<FormPeer> window) = 0;
  // A modal form is open over `form` (on) or no longer (off).
  virtual void Block(Form& form, bool on) = 0;
  // `form` becomes the active window again (the modal form over it ends).
  virtual void Activate(Form& form) = 0;
  // The modal form has been shown; before the loop waits for its end.
  virtual void ModalShown(Form& form) = 0;
  // Waits for the next event and handles it; false when there is nothing
  // more to wait for (the system ended the program, or no real loop runs).
  virtual bool WaitForEvent() = 0;
  // A system timer that calls WindowStack::TimerDue(id) every `interval_ms`;
  // starting a running one again starts its count again.
  virtual void StartTimer(Form& form, int id, int interval_ms) = 0;
  virtual void StopTimer(Form& form, int id) = 0;
  // The window code did what it must not (shown modally a form that is
  // open); nothing is done.
  virtual void Misuse(const std::string& what) = 0;
};

class WindowStack {
 public:
  explicit WindowStack(WindowBackend& backend);
  // Drops the forms still loaded (the backend must still be there: the
  // host calls ForgetAll first).
  ~WindowStack();
  WindowStack(const WindowStack&) = delete;
  WindowStack& operator=(const WindowStack&) = delete;

  // Host::Show, ShowModal, Unload, Quit, Ending, Run.
  void Show(Form& form);
  void ShowModal(Form& form, const Form* owner);
  void Unload(Form& form);
  // The user closed the form by its close box (or Alt+F4).
  void CloseBox(Form& form);
  void Quit(int exit_code);
  bool Ending() const { return ending_; }
  int ExitCode() const { return exit_code_; }
  int Run();
  // The system ended the program (its quit message): every loop returns.
  void EndedBySystem(int exit_code);

  // Drops a loaded form without its unload handler (the Form goes away).
  void Forget(Form& form);
  void ForgetAll();

  // The loaded forms, in the order they were loaded.
  const std::vector<Form*>& Loaded() const { return loaded_; }
  // Some form was loaded at some time.
  bool AnyLoaded() const { return any_loaded_; }
  // The modal form that keeps `form` from input, or nullptr.
  const Form* BlockedBy(const Form& form) const;
  // The form a question or a modal form is shown over: `asked` when it is
  // loaded, otherwise the open modal form, otherwise the last visible form.
  const Form* OwnerFor(const Form* asked) const;

  // Enter on the form: on a focused grid what a double click does,
  // otherwise the focused or default button (Form::EnterTarget). Esc: the
  // cancel button. False when there is nothing to press.
  static bool PressEnter(Form& form);
  static bool PressEscape(Form& form);

  // A system timer (WindowBackend::StartTimer) is due: the timer ticks
  // when it still runs and is not already in its tick.
  void TimerDue(int id);
  // The id the backend knows a running timer by; 0 when it does not run.
  int TimerId(const Timer& timer) const;

  // The backend's window of a form loaded in any stack, or nullptr.
  static FormPeer* WindowOf(const Form& form);

 private:
  class Entry;
  class TimerPeer;
  struct Modal {
    Form* form;
    std::vector<Form*> blocked;
    bool ended;
  };
  bool Load(Form& form, const Form* owner);
  void UnloadWith(Form& form, UnloadReason reason);
  void EndModal(Form& form);
  void AddTimer(Entry& entry, Timer& timer);
  Entry* EntryOf(const Form& form) const;
  TimerPeer* FindTimer(int id) const;

  WindowBackend& backend_;
  bool ending_ = false;
  bool any_loaded_ = false;
  int exit_code_ = 0;
  int next_timer_id_ = 1;
  std::vector<Form*> loaded_;
  std::vector<std::unique_ptr<Entry>> entries_;
  std::vector<Modal> modals_;
};

}  // namespace lup::ui
