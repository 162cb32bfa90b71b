#pragma once
// Whether a text may be a pet's name: it becomes the prefix of file names in
// the host folder (D\name_item), of the shortcut "name.LNK" and of list-file
// records in CP932. Registration and the launcher's command line both ask
// here before the name becomes part of a path.
#include <string>
#include <string_view>

namespace lup {

struct Settings;

enum class PetNameProblem {
  None,
  Empty,
  Underscore,        // "_" separates the pet name from the item name
  Quote,             // '"' (ends a list-file text field)
  ForbiddenChar,     // \ / : * ? < > |
  ControlChar,       // U+0000-U+001F, U+007F
  EdgeSpace,         // leading or trailing space (also full-width U+3000)
  TrailingDot,       // Windows drops trailing dots ("." and ".." included)
  DeviceName,        // CON PRN AUX NUL COM1-9 LPT1-9 CONIN$ CONOUT$, any case,
                     // also with an extension ("nul.txt")
  NotCp932,          // a character CP932 cannot hold (or invalid UTF-8)
  TooLong,           // a path under D would exceed 259 characters
};

struct PetNameCheck {
  PetNameProblem problem = PetNameProblem::None;
  bool ok() const { return problem == PetNameProblem::None; }
  explicit operator bool() const { return ok(); }
  // Japanese reason for a message box ("ペットの名前に「_」は使えません"), empty when ok.
  std::string Reason() const;
};

// The name as it will be stored: the few characters that Japanese input
// gives in a form the ANSI code page (CP932) has under another code (the wave
// dash 〜 for ～, ‖ for ∥, − for －, ¢ £ ¬ for ￠ ￡ ￢) are replaced by the
// form CP932 keeps, so that the name reads back from the list files exactly
// as its files are named. Everything else stays as typed.
std::string StoredPetName(std::string_view typed);

// Full check. The longest paths a pet's name takes part in are measured with
// the folder and item names of `settings`; they lie in the backup folder:
// D\bak\name_item.bak for the two file items, D\bak\name_item\file for the
// four folder items (file: the longer of tz_name and the funnel's temporary
// name). Their UTF-16 length must stay within 259 characters.
PetNameCheck CheckPetName(std::string_view name, const Settings& settings);

// Every test but the length.
PetNameCheck CheckPetNameShape(std::string_view name);

// The lighter test for names read back from list files, which older
// installations may have written: true when the text can be put into a path
// under D without leaving it or naming something else: no \ / : * ? " < > |,
// no control characters, not "." or "..", valid UTF-8. Empty text passes (it
// means "no pet" in \lupina.dat).
bool IsSafeNamePart(std::string_view name);

}  // namespace lup
