#pragma once
// A form (a window) built in portable code as data. Window code owns its
// Form, adds the controls by the names the windows use, sets the event
// handlers, and shows it through the UI host (host.h):
//
//   ui::Form form("Form4");
//   form.SetCaption("共有・非共有の設定");
//   form.SetClientSize(3750, 2055);
//   form.SetBorder(ui::Border::kFixedSingle);
//   auto& frame = form.AddFrame("Frame1", {120, 240, 3495, 1215});
//   auto& check = form.AddCheckBox("Check1", {120, 240, 1575, 375}, &frame);
//   auto& ok = form.AddButton("Command1", {120, 1560, 3495, 375});
//   ok.on_click = [&] { ...; host.Unload(form); };
//   host.ShowModal(form);
//
// Controls of a control array share a name and differ by index
// (AddTextBox("Text1", where, nullptr, 3)). Controls placed in a frame have
// their geometry relative to the frame. Every control starts with the form's
// font ("ＭＳ Ｐゴシック" 9 pt unless the form's font is set before adding).
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control.h"

namespace lup::ui {

enum class Border { kSizable, kFixedSingle, kFixedDialog, kNone };

// Why a form is unloaded: its close box (or Alt+F4), or the program's own call.
enum class UnloadReason { kCloseBox, kCode };

class Form;

// Implemented by a UI backend for every form it shows.
class FormPeer {
 public:
  virtual ~FormPeer() = default;
  // Caption, enabled, visible, focus or default button changed (Prop::kText,
  // kEnabled, kVisible, kFocus, kDefaultButton).
  virtual void FormChanged(Form& form, Prop prop) = 0;
  // The control was added after the form was shown.
  virtual void ControlAdded(Control& control) = 0;
  // The Form object is being destroyed while the backend still holds it.
  virtual void FormDestroyed(Form& form) = 0;
};

class Form {
 public:
  explicit Form(std::string name);
  ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& name() const { return name_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string_view caption);

  Twips ClientWidth() const { return client_width_; }
  Twips ClientHeight() const { return client_height_; }
  void SetClientSize(Twips width, Twips height) { client_width_ = width; client_height_ = height; }

  Border GetBorder() const { return border_; }
  // kFixedSingle and kFixedDialog also take the maximise and minimise boxes away.
  void SetBorder(Border b);
  bool MaxButton() const { return max_button_; }
  bool MinButton() const { return min_button_; }
  void SetMaxButton(bool on) { max_button_ = on; }
  void SetMinButton(bool on) { min_button_ = on; }
  bool ShowInTaskbar() const { return show_in_taskbar_; }
  void SetShowInTaskbar(bool on) { show_in_taskbar_ = on; }

  // The font of controls added from now on.
  const Font& DefaultFont() const { return font_; }
  void SetDefaultFont(const Font& f) { font_ = f; }

  // A disabled form takes no input (the pet list while a pet is called).
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool on);
  // Hidden and shown again without unloading (the host's Show loads and shows).
  bool Visible() const { return visible_; }
  void Hide() { SetVisibleState(false); }
  // True from the host's Show/ShowModal until the form is unloaded.
  bool Loaded() const { return loaded_; }

  // Free text for the window code (a dialog's row number from its caller).
  std::string tag;

  Button& AddButton(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  CheckBox& AddCheckBox(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  Label& AddLabel(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  TextBox& AddTextBox(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  ListBox& AddListBox(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  // A list box with a check box in front of every entry.
  ListBox& AddCheckList(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  ComboBox& AddComboBox(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  Frame& AddFrame(std::string name, Rect where, Frame* parent = nullptr, int index = -1);
  Timer& AddTimer(std::string name, int interval_ms, bool enabled, int index = -1);
  // A grid with `cols` columns and the header row.
  Grid& AddGrid(std::string name, Rect where, int cols, Frame* parent = nullptr, int index = -1);

  // nullptr when there is no such control.
  Control* Find(std::string_view name, int index = -1) const;
  // The control of that name, index and kind; throws std::logic_error naming
  // what is missing (a fault of the window code or the test).
  template <typename T>
  T& Get(std::string_view name, int index = -1) const {
    Control& c = GetControl(name, index);
    T* typed = dynamic_cast<T*>(&c);
    if (!typed) WrongKind(c);
    return *typed;
  }
  Control& GetControl(std::string_view name, int index = -1) const;
  // In the order they were added.
  const std::vector<std::unique_ptr<Control>>& Controls() const { return controls_; }

  // The control with the keyboard focus, or nullptr.
  Control* Focused() const { return focused_; }

  // The buttons that Enter and Esc press (nullptr: none). Enter presses the
  // focused button when a button has the focus, otherwise the default
  // button; Esc presses the cancel button. A button the user cannot reach
  // (disabled or hidden) is not pressed.
  void SetDefaultButton(Button* b);
  void SetCancelButton(Button* b) { cancel_button_ = b; }
  Button* DefaultButton() const { return default_button_; }
  Button* CancelButton() const { return cancel_button_; }
  // The button a key press would press now, or nullptr.
  Button* EnterTarget() const;
  Button* EscapeTarget() const;

  std::function<void()> on_load;
  std::function<void(UnloadReason)> on_unload;
  // The mouse moves over the form's own background (not over a control).
  std::function<void(const MouseEvent&)> on_mouse_move;

  // --- for UI backends ---
  void AttachPeer(FormPeer* peer) { peer_ = peer; }
  FormPeer* peer() const { return peer_; }
  void SetLoadedState(bool on) { loaded_ = on; }
  void SetVisibleState(bool on);
  void SetFocusTo(Control* c);
  // The user moved the focus (no peer notification).
  void UserSetFocus(Control* c) { focused_ = c; }

 private:
  template <typename T, typename... A>
  T& Add(std::string name, int index, A&&... args);
  [[noreturn]] void WrongKind(const Control& c) const;
  void Notify(Prop p) {
    if (peer_) peer_->FormChanged(*this, p);
  }

  std::string name_;
  std::string caption_;
  Twips client_width_ = 4800, client_height_ = 3600;
  Border border_ = Border::kSizable;
  bool max_button_ = true, min_button_ = true, show_in_taskbar_ = true;
  Font font_;
  bool enabled_ = true, visible_ = false, loaded_ = false;
  std::vector<std::unique_ptr<Control>> controls_;
  Control* focused_ = nullptr;
  Button* default_button_ = nullptr;
  Button* cancel_button_ = nullptr;
  FormPeer* peer_ = nullptr;
};

}  // namespace lup::ui
