#include "ui/headless/headless_host.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "base/text.h"

namespace lup::ui::headless {

namespace {

std::string Quoted(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out + "\"";
}

std::string DescribeMessage(const Message& m) {
  std::ostringstream os;
  os << "message box " << Quoted(m.title) << ": " << Quoted(m.text) << " [" << ButtonsName(m.buttons)
     << ", " << IconName(m.icon) << ", default button " << m.default_button << "]";
  return os.str();
}

std::string DescribeFilters(const std::vector<FileFilter>& filters) {
  std::string s;
  for (const auto& f : filters) s += (s.empty() ? "" : ", ") + f.description + "|" + f.pattern;
  return s;
}

std::string DescribeOpenFile(const OpenFileRequest& r) {
  return "open-file dialog " + Quoted(r.title) + " in " + Quoted(PathText(r.initial_folder)) +
         " filters [" + DescribeFilters(r.filters) + "]";
}

int ButtonCount(Buttons b) { return b == Buttons::kOk ? 1 : 2; }

bool AnswerFits(Buttons b, Answer a) {
  switch (b) {
    case Buttons::kOk: return a == Answer::kOk;
    case Buttons::kOkCancel: return a == Answer::kOk || a == Answer::kCancel;
    case Buttons::kYesNo: return a == Answer::kYes || a == Answer::kNo;
    case Buttons::kRetryCancel: return a == Answer::kRetry || a == Answer::kCancel;
  }
  return false;
}

// What closing the box without choosing answers.
Answer Dismissed(Buttons b) {
  switch (b) {
    case Buttons::kOk: return Answer::kOk;
    case Buttons::kYesNo: return Answer::kNo;
    default: return Answer::kCancel;
  }
}

constexpr long kIdleLimit = 100000;

}  // namespace

// --- Expectation ---

Expectation& Expectation::Title(std::string title) {
  title_ = std::move(title);
  return *this;
}
Expectation& Expectation::Text(std::string text) {
  text_ = std::move(text);
  return *this;
}
Expectation& Expectation::TextHas(std::string part) {
  text_has_ = std::move(part);
  return *this;
}
Expectation& Expectation::With(Buttons buttons) {
  buttons_ = buttons;
  return *this;
}
Expectation& Expectation::With(Icon icon) {
  icon_ = icon;
  return *this;
}
Expectation& Expectation::DefaultButton(int index) {
  default_button_ = index;
  return *this;
}
Expectation& Expectation::InitialFolder(std::filesystem::path folder) {
  initial_folder_ = std::move(folder);
  return *this;
}
Expectation& Expectation::Filter(std::string description, std::string pattern) {
  if (!filters_) filters_.emplace();
  filters_->push_back({std::move(description), std::move(pattern)});
  return *this;
}
Expectation& Expectation::StartsAt(IconChoice start) {
  icon_start_ = std::move(start);
  return *this;
}

std::string Expectation::Describe() const {
  std::ostringstream os;
  switch (kind_) {
    case Kind::kMessage:
      os << "message box answered " << AnswerName(answer_);
      break;
    case Kind::kOpenFile:
      os << "open-file dialog answered " << (path_.empty() ? "cancel" : Quoted(PathText(path_)));
      break;
    case Kind::kFolder:
      os << "folder chooser answered " << (path_.empty() ? "cancel" : Quoted(PathText(path_)));
      break;
    case Kind::kIcon:
      os << "icon chooser answered "
         << (icon_answer_ ? Quoted(PathText(icon_answer_->file)) + "," + std::to_string(icon_answer_->index)
                          : std::string("cancel"));
      break;
    case Kind::kModal:
      os << "modal form " << form_name_;
      break;
  }
  if (title_) os << " titled " << Quoted(*title_);
  if (text_) os << " with text " << Quoted(*text_);
  if (text_has_) os << " with text holding " << Quoted(*text_has_);
  return os.str();
}

// --- the backend: no windows ---

namespace {

class NoWindow final : public FormPeer {
 public:
  void FormChanged(Form&, Prop) override {}
  void ControlAdded(Control&) override {}
  void FormDestroyed(Form&) override {}
};

}  // namespace

std::unique_ptr<FormPeer> HeadlessHost::MakeWindow(Form&, const Form*) {
  return std::make_unique<NoWindow>();
}

void HeadlessHost::Misuse(const std::string& what) { ADD_FAILURE() << what; }

HeadlessHost::HeadlessHost() = default;

HeadlessHost::~HeadlessHost() {
  VerifyAllAnswered();
  stack_.ForgetAll();
}

void HeadlessHost::VerifyAllAnswered() {
  for (const auto& e : script_) ADD_FAILURE() << "scripted but never asked: " << e->Describe();
  script_.clear();
}

Expectation& HeadlessHost::Push(Expectation::Kind kind) {
  script_.push_back(std::make_unique<Expectation>(kind));
  return *script_.back();
}

Expectation& HeadlessHost::ExpectMessage(Answer answer) {
  Expectation& e = Push(Expectation::Kind::kMessage);
  e.answer_ = answer;
  return e;
}

Expectation& HeadlessHost::ExpectOpenFile(std::filesystem::path answer) {
  Expectation& e = Push(Expectation::Kind::kOpenFile);
  e.path_ = std::move(answer);
  return e;
}

Expectation& HeadlessHost::ExpectFolder(std::filesystem::path answer) {
  Expectation& e = Push(Expectation::Kind::kFolder);
  e.path_ = std::move(answer);
  return e;
}

Expectation& HeadlessHost::ExpectIcon(std::optional<IconChoice> answer) {
  Expectation& e = Push(Expectation::Kind::kIcon);
  e.icon_answer_ = std::move(answer);
  return e;
}

Expectation& HeadlessHost::ExpectModal(std::string form_name, std::function<void(Form&)> actions) {
  Expectation& e = Push(Expectation::Kind::kModal);
  e.form_name_ = std::move(form_name);
  e.actions_ = std::move(actions);
  return e;
}

std::unique_ptr<Expectation> HeadlessHost::Next(Expectation::Kind kind, const std::string& question) {
  if (script_.empty()) {
    ADD_FAILURE() << "unexpected " << question << " (no answer scripted)";
    return nullptr;
  }
  if (script_.front()->kind() != kind) {
    ADD_FAILURE() << "unexpected " << question << "; the next scripted answer is for a "
                  << script_.front()->Describe();
    return nullptr;
  }
  std::unique_ptr<Expectation> e = std::move(script_.front());
  script_.pop_front();
  return e;
}

// --- questions ---

Answer HeadlessHost::Ask(const Message& message, const Form*) {
  Message shown = message;
  if (shown.title.empty()) shown.title = app_title_;
  const std::string what = DescribeMessage(shown);
  if (shown.default_button < 0 || shown.default_button >= ButtonCount(shown.buttons)) {
    ADD_FAILURE() << "default button out of range: " << what;
  }
  Answer answer = Dismissed(shown.buttons);
  if (script_.empty() && answer_unscripted) {
    answer = answer_unscripted(shown);
    if (!AnswerFits(shown.buttons, answer)) ADD_FAILURE() << "the rule's answer is not a button of " << what;
  } else if (auto e = Next(Expectation::Kind::kMessage, what)) {
    if (e->title_) {
      EXPECT_EQ(*e->title_, shown.title) << what;
    }
    if (e->text_) {
      EXPECT_EQ(*e->text_, shown.text) << what;
    }
    if (e->text_has_ && shown.text.find(*e->text_has_) == std::string::npos) {
      ADD_FAILURE() << what << " does not hold " << Quoted(*e->text_has_);
    }
    if (e->buttons_ && *e->buttons_ != shown.buttons) {
      ADD_FAILURE() << what << ": expected buttons " << ButtonsName(*e->buttons_);
    }
    if (e->icon_ && *e->icon_ != shown.icon) ADD_FAILURE() << what << ": expected icon " << IconName(*e->icon_);
    if (e->default_button_ && *e->default_button_ != shown.default_button) {
      ADD_FAILURE() << what << ": expected default button " << *e->default_button_;
    }
    if (AnswerFits(shown.buttons, e->answer_)) {
      answer = e->answer_;
    } else {
      ADD_FAILURE() << "the scripted answer " << AnswerName(e->answer_) << " is not a button of " << what;
    }
  }
  messages_.push_back({shown, answer});
  return answer;
}

std::filesystem::path HeadlessHost::ChooseOpenFile(const OpenFileRequest& request) {
  file_requests_.push_back(request);
  const std::string what = DescribeOpenFile(request);
  auto e = Next(Expectation::Kind::kOpenFile, what);
  if (!e) return {};
  if (e->title_) {
    EXPECT_EQ(*e->title_, request.title) << what;
  }
  if (e->initial_folder_) {
    EXPECT_EQ(PathText(*e->initial_folder_), PathText(request.initial_folder)) << what;
  }
  if (e->filters_) {
    EXPECT_EQ(DescribeFilters(*e->filters_), DescribeFilters(request.filters)) << what;
  }
  return e->path_;
}

std::filesystem::path HeadlessHost::ChooseFolder(const std::string& title, const Form*) {
  const std::string what = "folder chooser " + Quoted(title);
  auto e = Next(Expectation::Kind::kFolder, what);
  if (!e) return {};
  if (e->title_) {
    EXPECT_EQ(*e->title_, title) << what;
  }
  return e->path_;
}

std::optional<IconChoice> HeadlessHost::ChooseIcon(const IconChoice& start, const Form*) {
  const std::string what =
      "icon chooser at " + Quoted(PathText(start.file)) + "," + std::to_string(start.index);
  auto e = Next(Expectation::Kind::kIcon, what);
  if (!e) return std::nullopt;
  if (e->icon_start_) {
    EXPECT_EQ(PathText(e->icon_start_->file), PathText(start.file)) << what;
    EXPECT_EQ(e->icon_start_->index, start.index) << what;
  }
  return e->icon_answer_;
}

// --- forms ---

void HeadlessHost::ModalShown(Form& form) {
  modal_log_.push_back(form.name());
  if (script_.empty() && act_on_unscripted_modal) {
    act_on_unscripted_modal(form);
    return;
  }
  auto e =
      Next(Expectation::Kind::kModal, "modal form " + form.name() + " " + Quoted(form.Caption()));
  if (!e) return;
  if (e->form_name_ != form.name()) {
    ADD_FAILURE() << "the modal form " << form.name() << " was shown; expected " << e->form_name_;
  } else if (e->actions_) {
    e->actions_(form);
  }
  if (form.Loaded() && !stack_.Ending()) {
    ADD_FAILURE() << "the modal form " << form.name()
                  << " is still open after its scripted actions;"
                  << " it is closed by its close box";
  }
}

Form* HeadlessHost::FindLoaded(std::string_view name) const {
  for (Form* f : stack_.Loaded()) {
    if (f->name() == name) return f;
  }
  return nullptr;
}

bool HeadlessHost::ended() const {
  return stack_.Ending() || (stack_.AnyLoaded() && stack_.Loaded().empty());
}

// --- timers ---

void HeadlessHost::StartTimer(Form&, int id, int interval_ms) {
  due_[id] = Due{now_ms_ + interval_ms, interval_ms};
}

int HeadlessHost::NextDueTimer(int limit_ms) const {
  int best = 0, best_due = 0;
  for (const auto& [id, due] : due_) {
    if (due.at_ms <= limit_ms && (!best || due.at_ms < best_due)) {
      best = id;
      best_due = due.at_ms;
    }
  }
  return best;
}

void HeadlessHost::AdvanceTime(int ms) {
  const int until = now_ms_ + ms;
  while (int id = NextDueTimer(until)) {
    Due& due = due_[id];
    now_ms_ = std::max(now_ms_, due.at_ms);
    due.at_ms = now_ms_ + due.interval_ms;
    stack_.TimerDue(id);
    if (stack_.Ending()) return;
  }
  now_ms_ = until;
}

void HeadlessHost::DoEvents() {
  if (int id = NextDueTimer(std::numeric_limits<int>::max())) {
    idle_calls_ = 0;
    AdvanceTime(due_[id].at_ms - now_ms_);
    return;
  }
  if (on_idle) {
    on_idle();
    return;
  }
  if (++idle_calls_ >= kIdleLimit) {
    idle_calls_ = 0;
    throw std::runtime_error("DoEvents was called 100000 times with no timer running: the program waits forever");
  }
}

void HeadlessHost::Tick(Form& form, const Ref& ref) {
  if (stack_.Ending() || !form.Loaded()) {
    ADD_FAILURE() << "tick of " << form.name() << "." << ref.name << ": the form is not loaded";
    return;
  }
  auto* t = dynamic_cast<Timer*>(&form.GetControl(ref.name, ref.index));
  if (!t) throw std::logic_error(form.name() + "." + ref.name + " is not a timer");
  const int id = stack_.TimerId(*t);
  if (!id) {
    ADD_FAILURE() << "tick of " << form.name() << "." << t->Label() << ", which is not running";
    return;
  }
  due_[id].at_ms = now_ms_ + t->Interval();
  stack_.TimerDue(id);
}

// --- the user ---

bool HeadlessHost::FormTakesInput(Form& form, const std::string& action) {
  std::string why;
  const Form* modal = stack_.BlockedBy(form);
  if (stack_.Ending()) why = "the program has ended";
  else if (!form.Loaded()) why = "the form is not loaded";
  else if (!form.Visible()) why = "the form is hidden";
  else if (!form.Enabled()) why = "the form is disabled";
  else if (modal) why = "the modal form " + modal->name() + " is open";
  if (why.empty()) return true;
  ADD_FAILURE() << action << " on " << form.name() << ": " << why;
  return false;
}

Control* HeadlessHost::Reach(Form& form, const Ref& ref, const std::string& action, bool need_enabled) {
  Control& c = form.GetControl(ref.name, ref.index);
  if (!FormTakesInput(form, action + " " + c.Label())) return nullptr;
  for (const Control* p = &c; p; p = p->parent()) {
    if (!p->Visible() || (need_enabled && !p->Enabled())) {
      ADD_FAILURE() << action << " " << form.name() << "." << c.Label() << ": "
                    << (p == &c ? "it" : p->Label()) << " is " << (p->Visible() ? "disabled" : "hidden");
      return nullptr;
    }
  }
  return &c;
}

Grid* HeadlessHost::ReachGrid(Form& form, const Ref& ref, const std::string& action) {
  Control* c = Reach(form, ref, action);
  if (!c) return nullptr;
  auto* g = dynamic_cast<Grid*>(c);
  if (!g) throw std::logic_error(form.name() + "." + c->Label() + " is not a grid");
  return g;
}

void HeadlessHost::TakeFocus(Control& c) {
  switch (c.kind()) {
    case ControlKind::kLabel:
    case ControlKind::kFrame:
    case ControlKind::kTimer:
      return;
    default:
      c.form().UserSetFocus(&c);
  }
}

void HeadlessHost::Click(Form& form, const Ref& ref, Modifiers keys) {
  Control* c = Reach(form, ref, "click");
  if (!c) return;
  if (c->kind() == ControlKind::kListBox || c->kind() == ControlKind::kComboBox) {
    throw std::logic_error("use Select to pick an entry of " + c->Label());
  }
  MouseEvent e{MouseButton::kLeft, keys, 0, 0};
  TakeFocus(*c);
  c->FireMouse(c->on_mouse_down, e);
  c->FireMouse(c->on_mouse_up, e);
  if (auto* box = dynamic_cast<CheckBox*>(c)) {
    box->UserSetValue(box->Value() ? 0 : 1);  // fires on_click
  } else {
    c->Fire(c->on_click);
  }
}

void HeadlessHost::DoubleClick(Form& form, const Ref& ref, Modifiers keys) {
  Control* c = Reach(form, ref, "double click");
  if (!c) return;
  MouseEvent e{MouseButton::kLeft, keys, 0, 0};
  TakeFocus(*c);
  c->FireMouse(c->on_mouse_down, e);
  c->FireMouse(c->on_mouse_up, e);
  c->Fire(c->on_click);
  if (stack_.Ending() || !form.Loaded()) return;
  c->Fire(c->on_dbl_click);
  if (stack_.Ending() || !form.Loaded()) return;
  c->FireMouse(c->on_mouse_up, e);
}

void HeadlessHost::MouseDown(Form& form, const Ref& ref, MouseButton button, Modifiers keys) {
  if (Control* c = Reach(form, ref, "mouse down")) {
    TakeFocus(*c);
    c->FireMouse(c->on_mouse_down, MouseEvent{button, keys, 0, 0});
  }
}

void HeadlessHost::MouseUp(Form& form, const Ref& ref, MouseButton button, Modifiers keys) {
  if (Control* c = Reach(form, ref, "mouse up")) c->FireMouse(c->on_mouse_up, MouseEvent{button, keys, 0, 0});
}

void HeadlessHost::MoveMouse(Form& form, const Ref& ref) {
  Control* c = Reach(form, ref, "mouse move over", false);
  if (!c) return;
  if (c->Reachable()) c->FireMouse(c->on_mouse_move, MouseEvent{});
  else if (form.on_mouse_move) form.on_mouse_move(MouseEvent{});
}

void HeadlessHost::MoveMouseOverForm(Form& form) {
  if (FormTakesInput(form, "mouse move") && form.on_mouse_move) form.on_mouse_move(MouseEvent{});
}

void HeadlessHost::Type(Form& form, const Ref& ref, std::string_view text) {
  Control* c = Reach(form, ref, "typing into");
  if (!c) return;
  if (c->kind() != ControlKind::kTextBox) throw std::logic_error(c->Label() + " is not a text box");
  TakeFocus(*c);
  c->UserSetText(text);
}

void HeadlessHost::Select(Form& form, const Ref& ref, int index) {
  Control* c = Reach(form, ref, "selecting in");
  if (!c) return;
  auto* list = dynamic_cast<ListControl*>(c);
  if (!list) throw std::logic_error(c->Label() + " is not a list");
  if (index < 0 || index >= list->Count()) {
    ADD_FAILURE() << form.name() << "." << c->Label() << " has no entry " << index << " to select";
    return;
  }
  TakeFocus(*c);
  list->UserSetListIndex(index);
}

void HeadlessHost::CheckItem(Form& form, const Ref& ref, int index, bool on) {
  Control* c = Reach(form, ref, "ticking in");
  if (!c) return;
  auto* list = dynamic_cast<ListBox*>(c);
  if (!list || !list->HasCheckBoxes()) throw std::logic_error(c->Label() + " is not a check-box list");
  if (index < 0 || index >= list->Count()) {
    ADD_FAILURE() << form.name() << "." << c->Label() << " has no entry " << index << " to tick";
    return;
  }
  TakeFocus(*c);
  list->UserSetChecked(index, on);
}

void HeadlessHost::PressCell(Grid& grid, int row, int col, MouseButton button, Modifiers keys) {
  if (row < 0 || row >= grid.Rows() || col < 0 || col >= grid.Cols()) {
    throw std::out_of_range(grid.Label() + " has no cell " + std::to_string(row) + "," + std::to_string(col));
  }
  TakeFocus(grid);
  if (button == MouseButton::kLeft && row > 0) {
    if (keys & kShiftKey) grid.UserSetSelection(grid.Row() > 0 ? grid.Row() : row, col, row);
    else grid.UserSetSelection(row, col, row);
  }
  grid.FireMouse(grid.on_mouse_down, MouseEvent{button, keys, 0, 0});
}

void HeadlessHost::ClickCell(Form& form, const Ref& ref, int row, int col, Modifiers keys) {
  Grid* g = ReachGrid(form, ref, "click on a cell of");
  if (!g) return;
  PressCell(*g, row, col, MouseButton::kLeft, keys);
  if (stack_.Ending() || !form.Loaded()) return;
  MouseEvent e{MouseButton::kLeft, keys, 0, 0};
  g->FireMouse(g->on_mouse_up, e);
  if (stack_.Ending() || !form.Loaded()) return;
  g->Fire(g->on_click);
}

void HeadlessHost::DoubleClickCell(Form& form, const Ref& ref, int row, int col, Modifiers keys) {
  Grid* g = ReachGrid(form, ref, "double click on a cell of");
  if (!g) return;
  ClickCell(form, ref, row, col, keys);
  if (stack_.Ending() || !form.Loaded()) return;
  g->Fire(g->on_dbl_click);
  if (stack_.Ending() || !form.Loaded()) return;
  g->FireMouse(g->on_mouse_up, MouseEvent{MouseButton::kLeft, keys, 0, 0});
}

void HeadlessHost::MouseDownCell(Form& form, const Ref& ref, int row, int col, MouseButton button,
                                 Modifiers keys) {
  if (Grid* g = ReachGrid(form, ref, "mouse down on a cell of")) PressCell(*g, row, col, button, keys);
}

void HeadlessHost::DragRows(Form& form, const Ref& ref, int from, int to) {
  Grid* g = ReachGrid(form, ref, "dragging over");
  if (!g) return;
  if (from < 1 || to < 1 || from >= g->Rows() || to >= g->Rows()) {
    throw std::out_of_range(g->Label() + ": rows " + std::to_string(from) + " to " + std::to_string(to));
  }
  PressCell(*g, from, 0, MouseButton::kLeft, kNoKeys);
  if (stack_.Ending() || !form.Loaded()) return;
  g->UserSetSelection(from, 0, to);
  g->FireMouse(g->on_mouse_up, MouseEvent{});
  if (stack_.Ending() || !form.Loaded()) return;
  g->Fire(g->on_click);
}

void HeadlessHost::ScrollTo(Form& form, const Ref& ref, int row) {
  if (Grid* g = ReachGrid(form, ref, "scrolling")) g->UserSetTopRow(row);
}

void HeadlessHost::PressEnter(Form& form) {
  if (FormTakesInput(form, "Enter")) WindowStack::PressEnter(form);
}

void HeadlessHost::PressEscape(Form& form) {
  if (FormTakesInput(form, "Esc")) WindowStack::PressEscape(form);
}

void HeadlessHost::CloseBox(Form& form) {
  if (FormTakesInput(form, "close box")) stack_.CloseBox(form);
}

}  // namespace lup::ui::headless
