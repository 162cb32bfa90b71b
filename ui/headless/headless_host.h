#pragma once
// The test backend: no windows. Forms are shown through the same Host calls
// as in the program; the test then acts as the user (clicks, types, selects,
// closes) on controls by name, reads every property back from the Form, and
// scripts in order the answers to every question the program asks:
//
//   ui::headless::HeadlessHost host;
//   PetListWindow window(host, ...);
//   host.Show(window.form());
//   host.ExpectMessage(ui::Answer::kYes).Title("ルピナ・ヴィラ").TextHas("共有にコピー");
//   host.ExpectModal("Form4", [&](ui::Form& dialog) { host.Click(dialog, "Command1"); });
//   host.ClickCell(window.form(), "List1", 1, 0, ui::kCtrlKey);
//
// A question without a scripted answer, a question of another kind than the
// next scripted one, an answer that does not fit the question, and a scripted
// answer still unused when the host is destroyed each fail the current test
// (GoogleTest ADD_FAILURE) with a description of the question. Every message
// box is recorded. An action the user could not do (clicking a disabled or
// hidden control, acting on a form behind a modal one, acting after the
// program ended) fails the test and does nothing.
//
// Timers run on a virtual clock: DoEvents moves the clock to the next due
// tick and runs it, so "wait until the timer clears the flag" loops finish
// at once; AdvanceTime runs every tick due within a span.
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/window_stack.h"

namespace lup::ui::headless {

// A control by name and optional index: "Command1" or {"Text1", 3}.
struct Ref {
  Ref(const char* n) : name(n) {}
  Ref(std::string n, int i = -1) : name(std::move(n)), index(i) {}
  std::string name;
  int index = -1;
};

// One scripted answer, with optional checks of the question it answers.
// The setters return *this so that checks chain.
class Expectation {
 public:
  enum class Kind { kMessage, kOpenFile, kFolder, kIcon, kModal };
  explicit Expectation(Kind kind) : kind_(kind) {}
  Kind kind() const { return kind_; }

  // Message boxes.
  Expectation& Title(std::string title);  // also for the file and folder dialogs
  Expectation& Text(std::string text);
  Expectation& TextHas(std::string part);
  Expectation& With(Buttons buttons);
  Expectation& With(Icon icon);
  Expectation& DefaultButton(int index);
  // The open-file dialog.
  Expectation& InitialFolder(std::filesystem::path folder);
  Expectation& Filter(std::string description, std::string pattern);  // the whole list, in order
  // The icon chooser.
  Expectation& StartsAt(IconChoice start);

  std::string Describe() const;

 private:
  friend class HeadlessHost;
  Kind kind_;
  std::optional<std::string> title_, text_, text_has_;
  std::optional<Buttons> buttons_;
  std::optional<Icon> icon_;
  std::optional<int> default_button_;
  std::optional<std::filesystem::path> initial_folder_;
  std::optional<std::vector<FileFilter>> filters_;
  std::optional<IconChoice> icon_start_;
  Answer answer_ = Answer::kOk;
  std::filesystem::path path_;
  std::optional<IconChoice> icon_answer_;
  std::string form_name_;
  std::function<void(Form&)> actions_;
};

struct MessageRecord {
  Message message;  // with the title as shown (the program's title when empty)
  Answer answer;
};

class HeadlessHost final : public Host, private WindowBackend {
 public:
  HeadlessHost();
  // Fails the test for every scripted answer left unused.
  ~HeadlessHost() override;

  // --- scripting the answers, in the order the questions come ---
  Expectation& ExpectMessage(Answer answer);
  // An empty path answers "cancelled".
  Expectation& ExpectOpenFile(std::filesystem::path answer);
  Expectation& ExpectFolder(std::filesystem::path answer);
  Expectation& ExpectIcon(std::optional<IconChoice> answer);
  // When the form `form_name` is shown modally, after its load: run these
  // actions as the user, who must end by closing or unloading it.
  Expectation& ExpectModal(std::string form_name, std::function<void(Form&)> actions);
  // Fails the test for every unused answer now, and forgets them.
  void VerifyAllAnswered();
  size_t PendingAnswers() const { return script_.size(); }

  // --- what happened ---
  const std::vector<MessageRecord>& messages() const { return messages_; }
  const std::vector<OpenFileRequest>& file_requests() const { return file_requests_; }
  const std::vector<std::string>& modal_forms() const { return modal_log_; }
  bool busy() const { return busy_; }
  // The program ended: Quit was called, or its last form was unloaded.
  bool ended() const;
  bool quit_called() const { return stack_.Ending(); }
  int exit_code() const { return stack_.ExitCode(); }
  // The loaded forms, in the order they were loaded.
  std::vector<Form*> LoadedForms() const { return stack_.Loaded(); }
  Form* FindLoaded(std::string_view name) const;
  int now_ms() const { return now_ms_; }

  // --- acting as the user ---
  // Button, label, frame: mouse down, mouse up, click. Check box: toggles
  // its value. Grid: a click beside the cells (nothing selected).
  void Click(Form& form, const Ref& ref, Modifiers keys = kNoKeys);
  void DoubleClick(Form& form, const Ref& ref, Modifiers keys = kNoKeys);
  void MouseDown(Form& form, const Ref& ref, MouseButton button, Modifiers keys = kNoKeys);
  void MouseUp(Form& form, const Ref& ref, MouseButton button, Modifiers keys = kNoKeys);
  // Over a control; over a disabled control the form gets the move.
  void MoveMouse(Form& form, const Ref& ref);
  void MoveMouseOverForm(Form& form);
  // Replaces the text of a text box as the user's edit (one change event).
  void Type(Form& form, const Ref& ref, std::string_view text);
  // Picks entry `index` of a list box or drop-down list.
  void Select(Form& form, const Ref& ref, int index);
  // Ticks or unticks entry `index` of a check-box list.
  void CheckItem(Form& form, const Ref& ref, int index, bool on);
  // Grid: the left button on a cell. Plain or Ctrl: the cell becomes current
  // and the selection; with Shift the selection stretches from the current
  // row. The header row is not selectable.
  void ClickCell(Form& form, const Ref& ref, int row, int col, Modifiers keys = kNoKeys);
  void DoubleClickCell(Form& form, const Ref& ref, int row, int col, Modifiers keys = kNoKeys);
  void MouseDownCell(Form& form, const Ref& ref, int row, int col, MouseButton button,
                     Modifiers keys = kNoKeys);
  // Grid: press on row `from`, drag to row `to`, release.
  void DragRows(Form& form, const Ref& ref, int from, int to);
  // Grid: scroll so that `row` is the first row in view.
  void ScrollTo(Form& form, const Ref& ref, int row);
  // The Enter key: on a focused grid it does what a double click does;
  // otherwise it presses the focused button, else the form's default button
  // (Form::EnterTarget). The Esc key: the cancel button. A key with nothing
  // to press does nothing.
  void PressEnter(Form& form);
  void PressEscape(Form& form);
  // The form's close box.
  void CloseBox(Form& form);
  // One tick of a running timer, now.
  void Tick(Form& form, const Ref& ref);
  // Moves the virtual clock on, running every timer tick due meanwhile.
  void AdvanceTime(int ms);
  // Runs on every DoEvents with no timer due (a fake process may end here).
  std::function<void()> on_idle;
  // A user who answers by rule, for runs whose questions depend on where a
  // fault strikes: asked only when nothing is scripted any more. Unset, an
  // unscripted question fails the test.
  std::function<Answer(const Message&)> answer_unscripted;
  std::function<void(Form&)> act_on_unscripted_modal;

  // --- Host ---
  void SetAppTitle(std::string title) override { app_title_ = std::move(title); }
  Answer Ask(const Message& message, const Form* owner = nullptr) override;
  std::filesystem::path ChooseOpenFile(const OpenFileRequest& request) override;
  std::filesystem::path ChooseFolder(const std::string& title, const Form* owner = nullptr) override;
  std::optional<IconChoice> ChooseIcon(const IconChoice& start, const Form* owner = nullptr) override;
  void SetBusy(bool on) override { busy_ = on; }
  void Show(Form& form) override { stack_.Show(form); }
  void ShowModal(Form& form, const Form* owner = nullptr) override {
    stack_.ShowModal(form, owner);
  }
  void Unload(Form& form) override { stack_.Unload(form); }
  void DoEvents() override;
  void Quit(int exit_code) override { stack_.Quit(exit_code); }
  bool Ending() const override { return stack_.Ending(); }
  // Returns at once with the exit code so far: the test drives the forms.
  int Run() override { return stack_.Run(); }

 private:
  // --- WindowBackend: no windows; a modal form runs its scripted actions ---
  std::unique_ptr<FormPeer> MakeWindow(Form& form, const Form* owner) override;
  void DropWindow(std::unique_ptr<FormPeer>) override {}
  void Block(Form&, bool) override {}
  void Activate(Form&) override {}
  void ModalShown(Form& form) override;
  bool WaitForEvent() override { return false; }
  void StartTimer(Form& form, int id, int interval_ms) override;
  void StopTimer(Form&, int id) override { due_.erase(id); }
  void Misuse(const std::string& what) override;

  Expectation& Push(Expectation::Kind kind);
  // The next scripted answer when it is of this kind; otherwise fails the
  // test with `question` and returns nullptr.
  std::unique_ptr<Expectation> Next(Expectation::Kind kind, const std::string& question);
  bool FormTakesInput(Form& form, const std::string& action);
  Control* Reach(Form& form, const Ref& ref, const std::string& action, bool need_enabled = true);
  Grid* ReachGrid(Form& form, const Ref& ref, const std::string& action);
  void PressCell(Grid& grid, int row, int col, MouseButton button, Modifiers keys);
  void TakeFocus(Control& c);
  // The id of the timer due first, not after `limit_ms`; 0: none.
  int NextDueTimer(int limit_ms) const;

  std::deque<std::unique_ptr<Expectation>> script_;
  std::vector<MessageRecord> messages_;
  std::vector<OpenFileRequest> file_requests_;
  std::vector<std::string> modal_log_;
  std::string app_title_;
  bool busy_ = false;
  struct Due {
    int at_ms;
    int interval_ms;
  };
  std::map<int, Due> due_;  // the running timers by their stack's id
  WindowStack stack_{*this};
  int now_ms_ = 0;
  long idle_calls_ = 0;
};

}  // namespace lup::ui::headless
