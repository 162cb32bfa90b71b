#include "ui/window_stack.h"

#include <algorithm>

namespace lup::ui {

// A loaded form's view: what the form tells goes to the backend's window,
// but its timers are the stack's.
class WindowStack::Entry final : public FormPeer {
 public:
  Entry(WindowStack& stack, Form& form) : stack_(stack), form_(form) {}
  void FormChanged(Form& form, Prop prop) override {
    if (window) window->FormChanged(form, prop);
  }
  void ControlAdded(Control& control) override {
    if (auto* timer = dynamic_cast<Timer*>(&control))
      stack_.AddTimer(*this, *timer);
    else if (window)
      window->ControlAdded(control);
  }
  // The window code let go of a loaded form: it is forgotten without events.
  void FormDestroyed(Form& form) override { stack_.Forget(form); }

  Form& form() const { return form_; }
  std::unique_ptr<FormPeer> window;
  std::vector<std::unique_ptr<TimerPeer>> timers;

 private:
  WindowStack& stack_;
  Form& form_;
};

class WindowStack::TimerPeer final : public ControlPeer {
 public:
  TimerPeer(WindowBackend& backend, Form& form, Timer& timer, int id)
      : backend_(backend), form_(form), timer_(timer), id_(id) {}
  void Changed(Control&, Prop prop, int, int) override {
    if (prop == Prop::kEnabled || prop == Prop::kTimer) Sync();
  }
  // Runs the system timer while the timer ticks.
  void Sync() {
    if (timer_.Ticking()) {
      backend_.StartTimer(form_, id_, timer_.Interval());
      running_ = true;
    } else if (running_) {
      backend_.StopTimer(form_, id_);
      running_ = false;
    }
  }
  void Stop() {
    if (running_) backend_.StopTimer(form_, id_);
    running_ = false;
    timer_.AttachPeer(nullptr);
  }

  Timer& timer() const { return timer_; }
  int id() const { return id_; }
  bool running() const { return running_; }
  bool in_tick = false;

 private:
  WindowBackend& backend_;
  Form& form_;
  Timer& timer_;
  int id_;
  bool running_ = false;
};

WindowStack::WindowStack(WindowBackend& backend) : backend_(backend) {}

WindowStack::~WindowStack() { ForgetAll(); }

WindowStack::Entry* WindowStack::EntryOf(const Form& form) const {
  for (const auto& e : entries_) {
    if (&e->form() == &form) return e.get();
  }
  return nullptr;
}

FormPeer* WindowStack::WindowOf(const Form& form) {
  auto* entry = dynamic_cast<Entry*>(form.peer());
  return entry ? entry->window.get() : nullptr;
}

// --- loading and unloading ---

// The form is not loaded (Show and ShowModal show a loaded one as it is).
bool WindowStack::Load(Form& form, const Form* owner) {
  if (ending_) return false;
  entries_.push_back(std::make_unique<Entry>(*this, form));
  Entry& entry = *entries_.back();
  entry.window = backend_.MakeWindow(form, owner);
  form.AttachPeer(&entry);
  for (const auto& c : form.Controls()) {
    if (auto* timer = dynamic_cast<Timer*>(c.get())) AddTimer(entry, *timer);
  }
  loaded_.push_back(&form);
  any_loaded_ = true;
  form.SetLoadedState(true);
  if (form.on_load) form.on_load();
  if (ending_ || !form.Loaded()) return false;
  form.SetVisibleState(true);
  return true;
}

void WindowStack::Show(Form& form) {
  if (form.Loaded()) {
    if (!ending_) form.SetVisibleState(true);  // shown again after Hide
    return;
  }
  Load(form, nullptr);
}

void WindowStack::ShowModal(Form& form, const Form* owner) {
  if (ending_) return;
  if (form.Loaded() && form.Visible()) {
    backend_.Misuse("the form " + form.name() + " is shown modally while it is open");
    return;
  }
  const Form* over = OwnerFor(owner);
  Modal modal{&form, {}, false};
  for (Form* f : loaded_) {
    if (f == &form) continue;
    backend_.Block(*f, true);
    modal.blocked.push_back(f);
  }
  modals_.push_back(std::move(modal));
  // A form loaded and hidden before is shown modally as it is.
  bool shown = form.Loaded();
  if (shown)
    form.SetVisibleState(true);
  else
    shown = Load(form, over);
  if (shown) {
    backend_.ModalShown(form);
    while (form.Loaded() && !ending_ && backend_.WaitForEvent()) {
    }
    // Left open with no loop to wait in: the user closes it.
    if (form.Loaded() && !ending_) UnloadWith(form, UnloadReason::kCloseBox);
  }
  EndModal(form);
  modals_.erase(std::remove_if(modals_.begin(), modals_.end(),
                               [&](const Modal& m) { return m.form == &form; }),
                modals_.end());
}

void WindowStack::EndModal(Form& form) {
  for (Modal& m : modals_) {
    if (m.form != &form || m.ended) continue;
    m.ended = true;
    for (Form* f : m.blocked) {
      if (EntryOf(*f)) backend_.Block(*f, false);
    }
    // The activation goes back to the window behind before this one goes.
    for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it) {
      if (*it != &form && (*it)->Visible() && (*it)->Enabled()) {
        backend_.Activate(**it);
        break;
      }
    }
  }
}

void WindowStack::Unload(Form& form) {
  if (form.Loaded()) UnloadWith(form, UnloadReason::kCode);
}

void WindowStack::CloseBox(Form& form) {
  if (form.Loaded()) UnloadWith(form, UnloadReason::kCloseBox);
}

void WindowStack::UnloadWith(Form& form, UnloadReason reason) {
  if (form.on_unload) form.on_unload(reason);
  if (form.Loaded()) Forget(form);
}

void WindowStack::Forget(Form& form) {
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const auto& e) { return &e->form() == &form; });
  if (it == entries_.end()) return;
  EndModal(form);
  std::unique_ptr<Entry> entry = std::move(*it);
  entries_.erase(it);
  for (auto& t : entry->timers) t->Stop();
  form.AttachPeer(nullptr);
  loaded_.erase(std::remove(loaded_.begin(), loaded_.end(), &form), loaded_.end());
  form.SetLoadedState(false);
  form.SetVisibleState(false);
  backend_.DropWindow(std::move(entry->window));
}

void WindowStack::ForgetAll() {
  for (Form* f : std::vector<Form*>(loaded_)) Forget(*f);
}

// --- the end ---

void WindowStack::Quit(int exit_code) {
  if (ending_) return;
  ending_ = true;
  exit_code_ = exit_code;
  ForgetAll();
}

void WindowStack::EndedBySystem(int exit_code) {
  if (ending_) return;
  ending_ = true;
  exit_code_ = exit_code;
}

int WindowStack::Run() {
  while (!ending_ && !loaded_.empty()) {
    if (!backend_.WaitForEvent()) break;
  }
  return exit_code_;
}

// --- who takes input ---

const Form* WindowStack::BlockedBy(const Form& form) const {
  for (auto it = modals_.rbegin(); it != modals_.rend(); ++it) {
    if (it->ended) continue;
    if (std::find(it->blocked.begin(), it->blocked.end(), &form) != it->blocked.end()) {
      return it->form;
    }
  }
  return nullptr;
}

const Form* WindowStack::OwnerFor(const Form* asked) const {
  if (asked && EntryOf(*asked)) return asked;
  for (auto it = modals_.rbegin(); it != modals_.rend(); ++it) {
    if (!it->ended && it->form->Loaded()) return it->form;
  }
  for (auto it = loaded_.rbegin(); it != loaded_.rend(); ++it) {
    if ((*it)->Visible()) return *it;
  }
  return nullptr;
}

bool WindowStack::PressEnter(Form& form) {
  Control* focused = form.Focused();
  if (focused && focused->kind() == ControlKind::kGrid && focused->Reachable()) {
    focused->Fire(focused->on_dbl_click);
    return true;
  }
  Button* b = form.EnterTarget();
  if (!b) return false;
  b->Fire(b->on_click);
  return true;
}

bool WindowStack::PressEscape(Form& form) {
  Button* b = form.EscapeTarget();
  if (!b) return false;
  b->Fire(b->on_click);
  return true;
}

// --- timers ---

void WindowStack::AddTimer(Entry& entry, Timer& timer) {
  entry.timers.push_back(
      std::make_unique<TimerPeer>(backend_, entry.form(), timer, next_timer_id_++));
  timer.AttachPeer(entry.timers.back().get());
  entry.timers.back()->Sync();
}

WindowStack::TimerPeer* WindowStack::FindTimer(int id) const {
  for (const auto& e : entries_) {
    for (const auto& t : e->timers) {
      if (t->id() == id) return t.get();
    }
  }
  return nullptr;
}

void WindowStack::TimerDue(int id) {
  TimerPeer* peer = FindTimer(id);
  if (!peer || peer->in_tick || !peer->timer().Ticking()) return;
  peer->in_tick = true;
  Timer& timer = peer->timer();
  timer.Fire(timer.on_tick);
  // The tick may have unloaded the form and its timers with it.
  if (TimerPeer* still = FindTimer(id)) still->in_tick = false;
}

int WindowStack::TimerId(const Timer& timer) const {
  for (const auto& e : entries_) {
    for (const auto& t : e->timers) {
      if (&t->timer() == &timer) return t->running() ? t->id() : 0;
    }
  }
  return 0;
}

}  // namespace lup::ui
