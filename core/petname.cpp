#include "core/petname.h"

#include <algorithm>

#include "core/fileops.h"
#include "core/settings.h"
#include "base/text.h"
#include "base/unicode.h"
#include "base/codepage.h"

namespace lup {
namespace {

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F; }
bool IsForbidden(char32_t c) {
  return c == U'\\' || c == U'/' || c == U':' || c == U'*' || c == U'?' || c == U'<' ||
         c == U'>' || c == U'|';
}
bool IsSpace(char32_t c) { return c == U' ' || c == 0x3000; }

bool IsDeviceName(std::string_view name) {
  // The part before the first dot names the device ("nul.txt" is NUL); spaces
  // before the dot are dropped by Windows too.
  std::string base = UpperCase(name.substr(0, name.find('.')));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* d : kDevices)
    if (base == d) return true;
  if (base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
      base[3] >= '1' && base[3] <= '9')
    return true;
  return false;
}

}  // namespace

std::string StoredPetName(std::string_view typed) {
  bool valid = true;
  std::u32string text = DecodeUtf8(typed, &valid);
  if (!valid) return std::string(typed);
  for (char32_t& c : text) {
    switch (c) {
      case U'\u301C': c = U'\uFF5E'; break;  // 〜 -> ～
      case U'\u2016': c = U'\u2225'; break;  // ‖ -> ∥
      case U'\u2212': c = U'\uFF0D'; break;  // − -> －
      case U'\u00A2': c = U'\uFFE0'; break;  // ¢ -> ￠
      case U'\u00A3': c = U'\uFFE1'; break;  // £ -> ￡
      case U'\u00AC': c = U'\uFFE2'; break;  // ¬ -> ￢
      default: break;
    }
  }
  return EncodeUtf8(text);
}

PetNameCheck CheckPetNameShape(std::string_view name) {
  PetNameCheck check;
  auto fail = [&](PetNameProblem p) {
    check.problem = p;
    return check;
  };
  if (name.empty()) return fail(PetNameProblem::Empty);
  bool valid = true;
  std::u32string text = DecodeUtf8(name, &valid);
  if (!valid) return fail(PetNameProblem::NotCp932);
  for (char32_t c : text)
    if (IsControl(c)) return fail(PetNameProblem::ControlChar);
  for (char32_t c : text)
    if (IsForbidden(c)) return fail(PetNameProblem::ForbiddenChar);
  for (char32_t c : text) {
    if (c == U'"') return fail(PetNameProblem::Quote);
    if (c == U'_') return fail(PetNameProblem::Underscore);
  }
  if (IsSpace(text.front()) || IsSpace(text.back())) return fail(PetNameProblem::EdgeSpace);
  if (text.back() == U'.') return fail(PetNameProblem::TrailingDot);
  if (IsDeviceName(name)) return fail(PetNameProblem::DeviceName);
  if (!Utf8ToCp932(name)) return fail(PetNameProblem::NotCp932);
  return check;
}

PetNameCheck CheckPetName(std::string_view name, const Settings& settings) {
  PetNameCheck check = CheckPetNameShape(name);
  if (!check.ok()) return check;
  // The longest paths a pet's name takes part in lie in the backup folder:
  // D\bak\name_item.bak for the two file items and D\bak\name_item\file for
  // the four folder items, with file the longer of the treasure box file and
  // the funnel's temporary name.
  std::size_t fileItem = std::max(Utf16Length(settings.petFileName), Utf16Length(settings.friendBookName));
  std::size_t folderItem = 0;
  for (const std::string* n :
       {&settings.treasureFolderName, &settings.receivedFolderName, &settings.sentFolderName, &settings.snackFolderName})
    folderItem = std::max(folderItem, Utf16Length(*n));
  std::size_t inner = std::max<std::size_t>(Utf16Length(settings.treasureBoxName), kTempNameLength);
  std::size_t prefix = Utf16Length(PathText(settings.hostFolder)) + 5 + Utf16Length(name) + 1;
  std::size_t length = prefix + std::max(fileItem + 4, folderItem + 1 + inner);
  if (length > 259) check.problem = PetNameProblem::TooLong;
  return check;
}

bool IsSafeNamePart(std::string_view name) {
  bool valid = true;
  std::u32string text = DecodeUtf8(name, &valid);
  if (!valid) return false;
  if (name == "." || name == "..") return false;
  for (char32_t c : text)
    if (IsControl(c) || IsForbidden(c) || c == U'"') return false;
  return true;
}

std::string PetNameCheck::Reason() const {
  switch (problem) {
    case PetNameProblem::None: return "";
    case PetNameProblem::Empty: return "ペットの名前が入力されていません";
    case PetNameProblem::Underscore: return "ペットの名前に「_」は使えません";
    case PetNameProblem::Quote: return "ペットの名前に「\"」は使えません";
    case PetNameProblem::ForbiddenChar:
      return "ペットの名前に次の文字は使えません：\\ / : * ? < > |";
    case PetNameProblem::ControlChar: return "ペットの名前に制御文字は使えません";
    case PetNameProblem::EdgeSpace: return "ペットの名前の最初と最後に空白は使えません";
    case PetNameProblem::TrailingDot: return "ペットの名前の最後に「.」は使えません";
    case PetNameProblem::DeviceName: return "この名前はWindowsの予約名のため使えません";
    case PetNameProblem::NotCp932: return "ペットの名前に使えない文字が含まれています";
    case PetNameProblem::TooLong: return "ペットの名前が長すぎます";
  }
  return "";
}

}  // namespace lup
