// Shortcut files where there is no shell: a text stand-in with one field a
// line, which the tests read back as they would read a real link.
#include <sys/stat.h>

#include "base/text.h"
#include "platform/osfile.h"
#include "platform/shell.h"

namespace lup {

namespace {

constexpr std::string_view kHeader = "[lupina shortcut]";

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

ShortcutBytes EncodeShortcut(const Shortcut& s) {
  ShortcutBytes out;
  const std::string target = PathText(s.target), work = PathText(s.workingFolder),
                    icon = PathText(s.iconFile);
  if (target.empty() || HasLineBreak(target) || HasLineBreak(work) || HasLineBreak(icon) ||
      HasLineBreak(s.arguments)) {
    out.error = std::make_error_code(std::errc::invalid_argument);
    return out;
  }
  out.bytes = std::string(kHeader) + "\n" + "target=" + target + "\n" + "arguments=" + s.arguments +
              "\n" + "workdir=" + work + "\n" + "icon=" + icon + "\n" +
              "iconindex=" + std::to_string(s.iconIndex) + "\n" +
              "showcmd=" + std::to_string(s.showCommand) + "\n" +
              "hotkey=" + std::to_string(s.hotKey) + "\n";
  return out;
}

std::optional<Shortcut> ReadShortcut(const std::filesystem::path& path, std::error_code* error) {
  std::string bytes;
  std::error_code e = os::ReadWhole(path, &bytes);
  if (!e && bytes.rfind(kHeader, 0) != 0) e = std::make_error_code(std::errc::illegal_byte_sequence);
  Shortcut s;
  s.showCommand = KnownShowCommand(0);  // a file without the line: a normal window
  std::size_t at = kHeader.size() + 1;
  while (!e && at < bytes.size()) {
    const std::size_t end = bytes.find('\n', at);
    const std::string line = bytes.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? bytes.size() : end + 1;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    try {
      if (key == "target") s.target = U8Path(value);
      else if (key == "arguments") s.arguments = value;
      else if (key == "workdir") s.workingFolder = U8Path(value);
      else if (key == "icon") s.iconFile = U8Path(value);
      else if (key == "iconindex") s.iconIndex = std::stoi(value);
      else if (key == "showcmd") s.showCommand = KnownShowCommand(std::stoi(value));
      else if (key == "hotkey") s.hotKey = std::stoi(value);
    } catch (const std::exception&) {
      e = std::make_error_code(std::errc::illegal_byte_sequence);
    }
  }
  if (error) *error = e;
  if (e) return std::nullopt;
  return s;
}

std::filesystem::path SystemFolder() { return {}; }

bool IsArchiveOnlyFile(const std::filesystem::path& path) {
  struct stat st {};
  const std::string name = path.string();
  return ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) != 0;
}

}  // namespace lup
