#pragma once
// The UI host: everything that asks the user or waits goes through here, and
// forms are shown, shown modally and unloaded here. Window code gets a Host&
// and never sees a window handle. ui/win32 shows real windows; ui/headless
// answers from a test's script.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ui/form.h"

namespace lup::ui {

enum class Buttons { kOk, kOkCancel, kYesNo, kRetryCancel };
enum class Icon { kNone, kInformation, kExclamation, kCritical, kQuestion };
enum class Answer { kOk, kCancel, kYes, kNo, kRetry };

const char* ButtonsName(Buttons b);
const char* IconName(Icon i);
const char* AnswerName(Answer a);

struct Message {
  std::string title;  // empty: the program's title (Host::SetAppTitle)
  std::string text;   // lines separated by CR LF
  Buttons buttons = Buttons::kOk;
  Icon icon = Icon::kNone;
  int default_button = 0;  // 0 the first button, 1 the second
};

struct FileFilter {
  std::string description;  // "ポストペット本体"
  std::string pattern;      // "*.exe", or a plain file name
};

struct OpenFileRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::filesystem::path initial_folder;
  const Form* owner = nullptr;  // nullptr: the active form
};

struct IconChoice {
  std::filesystem::path file;
  int index = 0;
  bool operator==(const IconChoice&) const = default;
};

class Host {
 public:
  virtual ~Host() = default;

  // The title of message boxes whose Message::title is empty.
  virtual void SetAppTitle(std::string title) = 0;

  // A modal message box; returns the button pressed. Closing the box with
  // its close box or Esc answers Cancel (or No, or OK when that is the only button).
  virtual Answer Ask(const Message& message, const Form* owner = nullptr) = 0;

  // The open-file dialog for one existing file; empty when cancelled.
  virtual std::filesystem::path ChooseOpenFile(const OpenFileRequest& request) = 0;
  // The folder chooser; empty when cancelled.
  virtual std::filesystem::path ChooseFolder(const std::string& title, const Form* owner = nullptr) = 0;
  // The icon chooser, starting at `start`; nullopt when cancelled. Where
  // the system has no icon chooser (Wine), `start` is the answer.
  virtual std::optional<IconChoice> ChooseIcon(const IconChoice& start, const Form* owner = nullptr) = 0;

  // The wait (hourglass) pointer over all our windows, on or off.
  virtual void SetBusy(bool on) = 0;

  // Loads the form (its on_load runs) and shows it. The load handler may
  // unload the form or end the program; then nothing is shown. A loaded
  // form that was hidden is shown again (no second load).
  virtual void Show(Form& form) = 0;
  // Loads and shows the form modally: every other form takes no input until
  // it is unloaded, and only then does ShowModal return. A loaded, hidden
  // form is shown modally without a second load. Returns at once when the
  // program is ending.
  virtual void ShowModal(Form& form, const Form* owner = nullptr) = 0;
  // Unloads a loaded form: its on_unload(kCode) runs, then its window goes.
  virtual void Unload(Form& form) = 0;

  // Lets pending window events (and due timers) run, then returns.
  virtual void DoEvents() = 0;

  // Ends the program: every loop returns, no unload handler runs, and Run
  // returns `exit_code`. The caller returns from its handler after this.
  virtual void Quit(int exit_code) = 0;
  virtual bool Ending() const = 0;

  // Runs the event loop until Quit or until no form is loaded any more;
  // returns the exit code (0 when the last form was closed).
  virtual int Run() = 0;
};

}  // namespace lup::ui
