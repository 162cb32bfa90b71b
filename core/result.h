#pragma once
// The outcome of one step that touches the disk or the settings store.
//
// Every step reports what it did: on failure the result names the path (and,
// for copies and moves, the other path), the action and the system error, and
// Describe() turns it into one Japanese line for a message box. Callers that
// must pass over a failing step may ignore the result; callers that must not
// (anything that could lose a pet's data) check ok() and show Describe().
#include <filesystem>
#include <string>
#include <system_error>

namespace lup {

// What the failing step was doing.
enum class Action {
  None,
  Copy,          // path = source, other = target
  Move,          // path = source, other = target
  Rename,        // path = old name, other = new name
  Link,          // path = the file, other = its second name
  Delete,        // path = the file
  MakeFolder,    // path = the folder
  RemoveFolder,  // path = the (empty) folder
  Write,         // path = the file written whole
  Edit,          // path = the file changed in place
  Read,          // path = the file read
  List,          // path = the folder listed
  SaveSetting,   // key = the settings key
};

// Errors of our own, beside the system's (std::generic_category /
// std::system_category): conditions the system does not know as errors.
enum class CoreError {
  FileTooShort = 1,     // an in-place change would reach past the end of the file
  NotCp932,             // text that the ANSI code page (CP932) cannot hold
  SettingNotStored,     // the settings store refused a value
  NotAFolder,           // a folder was expected, a file is there
  IsAFolder,            // a file was expected, a folder is there
  AlreadyExists,        // the name to create is taken
  InjectedFault,        // a test made this step fail
  ExtraUnderscore,      // a pet's settings file named with another "_" in it
};
const std::error_category& CoreErrorCategory();
std::error_code MakeError(CoreError e);

// Reason text of an error in Japanese ("ディスクの空き容量が足りません" ...), for
// the system's errors of both categories on both platforms and for CoreError.
std::string ReasonText(const std::error_code& error);

// True when `error` means "no such file or folder" (errno or Windows codes).
bool IsNotFound(const std::error_code& error);

struct OpResult {
  Action action = Action::None;
  std::error_code error;            // empty: the step succeeded
  std::filesystem::path path;       // the path of the step (see Action)
  std::filesystem::path other;      // the target of a copy, move or rename
  bool atTarget = false;            // copy/move/rename: the target side failed
  std::string key;                  // SaveSetting: the key
  std::string heldBy;               // the programs Windows says hold the failing file

  // The one path that failed: `other` when atTarget, else `path`.
  const std::filesystem::path& FailingPath() const { return atTarget ? other : path; }

  bool ok() const { return !error; }
  explicit operator bool() const { return ok(); }

  // One line, no line break, naming the path(s) and the reason, e.g.
  // "C:\PP\おともだち帳 を C:\PP\ミミ_おともだち帳 にコピーできませんでした（ディスクの空き容量が足りません）".
  // Empty for a successful result.
  std::string Describe() const;

  static OpResult Ok(Action a = Action::None) { OpResult r; r.action = a; return r; }
  static OpResult Fail(Action a, std::error_code e, std::filesystem::path p,
                       std::filesystem::path o = {}) {
    OpResult r;
    r.action = a;
    r.error = e;
    r.path = std::move(p);
    r.other = std::move(o);
    return r;
  }
};

}  // namespace lup
