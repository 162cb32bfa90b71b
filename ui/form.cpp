#include "ui/form.h"

#include <stdexcept>

namespace lup::ui {

Form::Form(std::string name) : name_(std::move(name)) {}

Form::~Form() {
  if (peer_) peer_->FormDestroyed(*this);
}

void Form::SetCaption(std::string_view caption) {
  if (caption_ == caption) return;
  caption_ = std::string(caption);
  Notify(Prop::kText);
}

void Form::SetBorder(Border b) {
  border_ = b;
  if (b == Border::kFixedSingle || b == Border::kFixedDialog) {
    max_button_ = false;
    min_button_ = false;
  }
}

void Form::SetEnabled(bool on) {
  if (enabled_ == on) return;
  enabled_ = on;
  Notify(Prop::kEnabled);
}

void Form::SetVisibleState(bool on) {
  if (visible_ == on) return;
  visible_ = on;
  Notify(Prop::kVisible);
}

void Form::SetFocusTo(Control* c) {
  focused_ = c;
  Notify(Prop::kFocus);
}

void Form::SetDefaultButton(Button* b) {
  if (default_button_ == b) return;
  default_button_ = b;
  Notify(Prop::kDefaultButton);
}

Button* Form::EnterTarget() const {
  auto* focused = dynamic_cast<Button*>(focused_);
  Button* b = focused ? focused : default_button_;
  return b && b->Reachable() ? b : nullptr;
}

Button* Form::EscapeTarget() const {
  return cancel_button_ && cancel_button_->Reachable() ? cancel_button_ : nullptr;
}

template <typename T, typename... A>
T& Form::Add(std::string name, int index, A&&... args) {
  if (Find(name, index)) {
    throw std::logic_error(name_ + ": the control " + ControlLabel(name, index) + " is added twice");
  }
  auto control = std::make_unique<T>(*this, std::move(name), index, std::forward<A>(args)...);
  T& ref = *control;
  ref.SetTabIndex(static_cast<int>(controls_.size()));
  controls_.push_back(std::move(control));
  if (peer_) peer_->ControlAdded(ref);
  return ref;
}

Button& Form::AddButton(std::string name, Rect where, Frame* parent, int index) {
  return Add<Button>(std::move(name), index, where, parent);
}
CheckBox& Form::AddCheckBox(std::string name, Rect where, Frame* parent, int index) {
  return Add<CheckBox>(std::move(name), index, where, parent);
}
Label& Form::AddLabel(std::string name, Rect where, Frame* parent, int index) {
  return Add<Label>(std::move(name), index, where, parent);
}
TextBox& Form::AddTextBox(std::string name, Rect where, Frame* parent, int index) {
  return Add<TextBox>(std::move(name), index, where, parent);
}
ListBox& Form::AddListBox(std::string name, Rect where, Frame* parent, int index) {
  return Add<ListBox>(std::move(name), index, where, parent, false);
}
ListBox& Form::AddCheckList(std::string name, Rect where, Frame* parent, int index) {
  return Add<ListBox>(std::move(name), index, where, parent, true);
}
ComboBox& Form::AddComboBox(std::string name, Rect where, Frame* parent, int index) {
  return Add<ComboBox>(std::move(name), index, where, parent);
}
Frame& Form::AddFrame(std::string name, Rect where, Frame* parent, int index) {
  return Add<Frame>(std::move(name), index, where, parent);
}
Timer& Form::AddTimer(std::string name, int interval_ms, bool enabled, int index) {
  Timer& t = Add<Timer>(std::move(name), index);
  t.SetInterval(interval_ms);
  t.SetEnabled(enabled);
  return t;
}
Grid& Form::AddGrid(std::string name, Rect where, int cols, Frame* parent, int index) {
  return Add<Grid>(std::move(name), index, where, parent, cols);
}

Control* Form::Find(std::string_view name, int index) const {
  for (const auto& c : controls_) {
    if (c->name() == name && c->index() == index) return c.get();
  }
  return nullptr;
}

Control& Form::GetControl(std::string_view name, int index) const {
  if (Control* c = Find(name, index)) return *c;
  throw std::logic_error(name_ + " has no control " + ControlLabel(name, index));
}

void Form::WrongKind(const Control& c) const {
  throw std::logic_error(name_ + "." + c.Label() + " is a " + KindName(c.kind()) +
                         ", not the kind asked for");
}

}  // namespace lup::ui
