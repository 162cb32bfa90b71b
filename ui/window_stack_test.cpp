// The window stack that both backends drive, on a backend that records what
// it is told and whose event loop runs the events a test queues.
#include "ui/window_stack.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace lup::ui {
namespace {

class RecordingBackend final : public WindowBackend {
 public:
  class Window final : public FormPeer {
   public:
    Window(RecordingBackend& backend, Form& form) : backend_(backend), form_(form) {}
    void FormChanged(Form&, Prop prop) override {
      if (prop == Prop::kVisible)
        backend_.Say((form_.Visible() ? "show " : "hide ") + form_.name());
    }
    void ControlAdded(Control& c) override { backend_.Say("add " + c.Label()); }
    void FormDestroyed(Form&) override { backend_.Say("window told of destruction"); }
    const std::string& name() const { return form_.name(); }

   private:
    RecordingBackend& backend_;
    Form& form_;
  };

  std::unique_ptr<FormPeer> MakeWindow(Form& form, const Form* owner) override {
    Say("make " + form.name() + (owner ? " over " + owner->name() : ""));
    return std::make_unique<Window>(*this, form);
  }
  void DropWindow(std::unique_ptr<FormPeer> window) override {
    Say("drop " + static_cast<Window&>(*window).name());
  }
  void Block(Form& form, bool on) override { Say((on ? "block " : "unblock ") + form.name()); }
  void Activate(Form& form) override { Say("activate " + form.name()); }
  void ModalShown(Form& form) override { Say("modal " + form.name()); }
  bool WaitForEvent() override {
    if (events.empty()) return false;
    auto event = std::move(events.front());
    events.pop_front();
    event();
    return true;
  }
  void StartTimer(Form&, int id, int interval_ms) override {
    running[id] = interval_ms;
    Say("start " + std::to_string(interval_ms));
  }
  void StopTimer(Form&, int id) override {
    Say("stop " + std::to_string(running[id]));
    running.erase(id);
  }
  void Misuse(const std::string& what) override { Say("misuse: " + what); }

  void Say(std::string s) { log.push_back(std::move(s)); }
  // What was said since the last call.
  std::vector<std::string> Said() { return std::exchange(log, {}); }

  std::vector<std::string> log;
  std::deque<std::function<void()>> events;
  std::map<int, int> running;  // timer id: interval
};

using Log = std::vector<std::string>;

class WindowStackTest : public ::testing::Test {
 protected:
  RecordingBackend backend;
  WindowStack stack{backend};
};

TEST_F(WindowStackTest, TheLoadHandlerRunsWithTheWindowMadeAndTheFormIsShownAfterIt) {
  Form form("Form1");
  form.AddButton("Command1", {0, 0, 100, 100});
  bool window_at_load = false, visible_at_load = true;
  form.on_load = [&] {
    window_at_load = WindowStack::WindowOf(form) != nullptr;
    visible_at_load = form.Visible();
    backend.Say("load");
  };
  stack.Show(form);
  EXPECT_TRUE(window_at_load);
  EXPECT_FALSE(visible_at_load);
  EXPECT_EQ(backend.Said(), (Log{"make Form1", "load", "show Form1"}));
  // Controls added later reach the window; the Form's own view is the stack's.
  form.AddLabel("Label1", {0, 0, 100, 100});
  EXPECT_EQ(backend.Said(), (Log{"add Label1"}));
  // Hidden and shown again: no second load.
  form.Hide();
  stack.Show(form);
  EXPECT_EQ(backend.Said(), (Log{"hide Form1", "show Form1"}));
  EXPECT_EQ(stack.Loaded(), std::vector<Form*>{&form});
}

TEST_F(WindowStackTest, ALoadHandlerThatUnloadsOrEndsTheProgramShowsNothing) {
  Form unloads("Form1"), quits("Form2"), later("Form3");
  int unloaded = 0;
  unloads.on_load = [&] { stack.Unload(unloads); };
  unloads.on_unload = [&](UnloadReason r) { unloaded += r == UnloadReason::kCode; };
  stack.Show(unloads);
  EXPECT_FALSE(unloads.Loaded());
  EXPECT_FALSE(unloads.Visible());
  EXPECT_EQ(unloaded, 1);
  EXPECT_EQ(backend.Said(), (Log{"make Form1", "drop Form1"}));
  EXPECT_EQ(WindowStack::WindowOf(unloads), nullptr);

  quits.on_load = [&] { stack.Quit(1); };
  quits.on_unload = [&](UnloadReason) { ++unloaded; };
  stack.ShowModal(quits, nullptr);
  EXPECT_FALSE(quits.Loaded());
  EXPECT_EQ(unloaded, 1);  // Quit runs no unload handler
  EXPECT_EQ(backend.Said(), (Log{"make Form2", "drop Form2"}));
  EXPECT_TRUE(stack.Ending());
  EXPECT_EQ(stack.ExitCode(), 1);
  // After the end nothing more is shown.
  stack.Show(later);
  stack.ShowModal(later, nullptr);
  EXPECT_FALSE(later.Loaded());
  EXPECT_TRUE(backend.Said().empty());
}

TEST_F(WindowStackTest, AModalFormBlocksTheFormsLoadedBeforeItUntilItIsUnloaded) {
  Form main("Form1"), dialog("Form2"), inner("Form3");
  stack.Show(main);
  backend.Said();
  std::vector<const Form*> blockers;
  backend.events.push_back([&] {
    blockers.push_back(stack.BlockedBy(main));
    blockers.push_back(stack.BlockedBy(dialog));
    stack.ShowModal(inner, nullptr);  // runs the next events in its own loop
  });
  backend.events.push_back([&] {
    blockers.push_back(stack.BlockedBy(main));
    blockers.push_back(stack.BlockedBy(dialog));
    EXPECT_EQ(stack.OwnerFor(nullptr), &inner);
    EXPECT_EQ(stack.OwnerFor(&main), &main);
    stack.Unload(inner);
  });
  backend.events.push_back([&] { stack.CloseBox(dialog); });
  backend.events.push_back([&] { ADD_FAILURE() << "the loop went on after the modal form"; });
  stack.ShowModal(dialog, &main);
  EXPECT_EQ(blockers, (std::vector<const Form*>{&dialog, nullptr, &inner, &inner}));
  EXPECT_EQ(backend.Said(),
            (Log{"block Form1", "make Form2 over Form1", "show Form2", "modal Form2", "block Form1",
                 "block Form2", "make Form3 over Form2", "show Form3", "modal Form3",
                 "unblock Form1", "unblock Form2", "activate Form2", "drop Form3", "unblock Form1",
                 "activate Form1", "drop Form2"}));
  EXPECT_EQ(stack.BlockedBy(main), nullptr);
  EXPECT_EQ(backend.events.size(), 1u);
}

TEST_F(WindowStackTest, AHiddenFormIsShownModallyAsItIsAndAnOpenOneNotAtAll) {
  Form list("Form3");
  int loads = 0;
  list.on_load = [&] { ++loads; };
  stack.Show(list);
  list.Hide();
  backend.Said();
  backend.events.push_back([&] { stack.Unload(list); });
  stack.ShowModal(list, nullptr);
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(list.Loaded());
  EXPECT_EQ(backend.Said(), (Log{"show Form3", "modal Form3", "drop Form3"}));

  stack.Show(list);
  backend.Said();
  stack.ShowModal(list, nullptr);
  EXPECT_EQ(loads, 2);
  EXPECT_EQ(backend.Said(), (Log{"misuse: the form Form3 is shown modally while it is open"}));
  EXPECT_TRUE(list.Visible());
}

TEST_F(WindowStackTest, AModalFormLeftOpenWithNoLoopToWaitInIsClosedByItsCloseBox) {
  Form dialog("Form2");
  std::vector<UnloadReason> reasons;
  dialog.on_unload = [&](UnloadReason r) { reasons.push_back(r); };
  stack.ShowModal(dialog, nullptr);
  EXPECT_FALSE(dialog.Loaded());
  EXPECT_EQ(reasons, std::vector<UnloadReason>{UnloadReason::kCloseBox});
  // Nothing was loaded any more: the program's loop has nothing to run.
  EXPECT_EQ(stack.Run(), 0);
  EXPECT_FALSE(stack.Ending());
}

TEST_F(WindowStackTest, AnUnloadHandlerThatUnloadsItsFormRunsTwiceAndTheWindowGoesOnce) {
  Form form("Form1");
  std::vector<UnloadReason> reasons;
  form.on_unload = [&](UnloadReason r) {
    reasons.push_back(r);
    if (r == UnloadReason::kCloseBox) stack.Unload(form);  // the handler runs once more
  };
  stack.Show(form);
  stack.CloseBox(form);
  EXPECT_EQ(reasons, (std::vector<UnloadReason>{UnloadReason::kCloseBox, UnloadReason::kCode}));
  EXPECT_FALSE(form.Loaded());
  // Unloading what is not loaded runs nothing.
  stack.Unload(form);
  stack.CloseBox(form);
  EXPECT_EQ(reasons.size(), 2u);
  EXPECT_EQ(backend.Said(), (Log{"make Form1", "show Form1", "drop Form1"}));
}

TEST_F(WindowStackTest, QuitEndsEveryLoopAndTheSystemsEndKeepsTheForms) {
  Form main("Form1"), dialog("Form2");
  int unloads = 0;
  main.on_unload = dialog.on_unload = [&](UnloadReason) { ++unloads; };
  stack.Show(main);
  backend.events.push_back([&] { stack.ShowModal(dialog, nullptr); });
  backend.events.push_back([&] { stack.Quit(7); });
  backend.events.push_back([&] { ADD_FAILURE() << "a loop went on after Quit"; });
  EXPECT_EQ(stack.Run(), 7);
  EXPECT_EQ(unloads, 0);
  EXPECT_FALSE(main.Loaded());
  EXPECT_FALSE(dialog.Loaded());
  EXPECT_TRUE(stack.Loaded().empty());
  stack.Quit(9);  // the first code stands
  EXPECT_EQ(stack.ExitCode(), 7);

  RecordingBackend other;
  WindowStack ended(other);
  Form form("Form1");
  ended.Show(form);
  other.events.push_back([&] { ended.EndedBySystem(2); });
  EXPECT_EQ(ended.Run(), 2);
  EXPECT_TRUE(form.Loaded());
  ended.ForgetAll();
  EXPECT_FALSE(form.Loaded());
}

TEST_F(WindowStackTest, DestroyingALoadedFormForgetsItWithoutItsHandler) {
  Form main("Form1");
  stack.Show(main);
  {
    Form gone("Form9");
    gone.on_unload = [](UnloadReason) { ADD_FAILURE() << "unload handler of a destroyed form"; };
    stack.Show(gone);
    backend.Said();
  }
  EXPECT_EQ(backend.Said(), (Log{"drop Form9"}));
  EXPECT_EQ(stack.Loaded(), std::vector<Form*>{&main});
  EXPECT_EQ(stack.OwnerFor(nullptr), &main);
}

TEST_F(WindowStackTest, TimersRunWhileTheyTickOnALoadedForm) {
  Form form("Form1");
  auto& fast = form.AddTimer("Timer1", 100, true);
  auto& idle = form.AddTimer("Timer2", 0, true);
  int ticks = 0;
  fast.on_tick = [&] { ++ticks; };
  EXPECT_EQ(stack.TimerId(fast), 0);
  stack.Show(form);
  EXPECT_EQ(backend.Said(), (Log{"make Form1", "start 100", "show Form1"}));
  const int id = stack.TimerId(fast);
  ASSERT_NE(id, 0);
  EXPECT_EQ(stack.TimerId(idle), 0);
  stack.TimerDue(id);
  EXPECT_EQ(ticks, 1);
  // Changed, stopped, started again: the backend's timer follows.
  fast.SetInterval(50);
  fast.SetEnabled(false);
  stack.TimerDue(id);  // a tick already queued when it stopped
  EXPECT_EQ(ticks, 1);
  idle.SetInterval(30);
  fast.SetEnabled(true);
  form.AddTimer("Timer3", 70, true);  // added to the loaded form
  EXPECT_EQ(backend.Said(), (Log{"start 50", "stop 50", "start 30", "start 50", "start 70"}));
  stack.Unload(form);
  EXPECT_EQ(backend.Said(), (Log{"stop 50", "stop 30", "stop 70", "drop Form1"}));
  EXPECT_TRUE(backend.running.empty());
  stack.TimerDue(id);
  fast.SetEnabled(false);  // no longer anyone's
  EXPECT_EQ(ticks, 1);
  EXPECT_TRUE(backend.Said().empty());
}

TEST_F(WindowStackTest, ATickDoesNotRunAgainInsideItselfAndMayUnloadItsForm) {
  Form form("Form1");
  auto& timer = form.AddTimer("Timer1", 100, true);
  int ticks = 0;
  timer.on_tick = [&] {
    ++ticks;
    stack.TimerDue(stack.TimerId(timer));  // the loop of a pause inside the tick
    if (ticks == 2) stack.Unload(form);
  };
  stack.Show(form);
  const int id = stack.TimerId(timer);
  stack.TimerDue(id);
  EXPECT_EQ(ticks, 1);
  stack.TimerDue(id);
  EXPECT_EQ(ticks, 2);
  EXPECT_FALSE(form.Loaded());
  stack.Show(form);  // loaded again: its timer runs again
  stack.TimerDue(stack.TimerId(timer));
  EXPECT_EQ(ticks, 3);
}

TEST(WindowStackKeys, EnterPressesTheFocusedOrDefaultButtonAndEscTheCancelButton) {
  Form dialog("Form2");
  auto& name = dialog.AddTextBox("Text1", {0, 240, 3735, 270});
  auto& ok = dialog.AddButton("Command1", {3840, 240, 855, 255});
  auto& other = dialog.AddButton("Command2", {3840, 600, 855, 255});
  auto& cancel = dialog.AddButton("Command3", {3840, 960, 855, 255});
  auto& grid = dialog.AddGrid("Grid1", {0, 1200, 3000, 1000}, 2);
  std::string pressed;
  ok.on_click = [&] { pressed += "ok "; };
  other.on_click = [&] { pressed += "other "; };
  cancel.on_click = [&] { pressed += "cancel "; };
  grid.on_dbl_click = [&] { pressed += "grid "; };
  // Without named buttons the keys press nothing.
  name.SetFocus();
  EXPECT_FALSE(WindowStack::PressEnter(dialog));
  EXPECT_FALSE(WindowStack::PressEscape(dialog));

  dialog.SetDefaultButton(&ok);
  dialog.SetCancelButton(&cancel);
  EXPECT_TRUE(WindowStack::PressEnter(dialog));
  EXPECT_TRUE(WindowStack::PressEscape(dialog));
  EXPECT_EQ(pressed, "ok cancel ");
  // A focused button takes Enter; Esc stays with the cancel button.
  other.SetFocus();
  pressed.clear();
  WindowStack::PressEnter(dialog);
  WindowStack::PressEscape(dialog);
  EXPECT_EQ(pressed, "other cancel ");
  // A focused grid takes Enter as a double click, unless it is disabled.
  grid.SetFocus();
  pressed.clear();
  WindowStack::PressEnter(dialog);
  grid.SetEnabled(false);
  WindowStack::PressEnter(dialog);
  EXPECT_EQ(pressed, "grid ok ");
  // Buttons the user cannot reach are not pressed.
  name.SetFocus();
  ok.SetEnabled(false);
  cancel.SetVisible(false);
  pressed.clear();
  EXPECT_FALSE(WindowStack::PressEnter(dialog));
  EXPECT_FALSE(WindowStack::PressEscape(dialog));
  EXPECT_EQ(pressed, "");
}

}  // namespace
}  // namespace lup::ui
