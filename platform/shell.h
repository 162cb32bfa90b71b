#pragma once
// What the shell provides for per-pet shortcuts: the content of a shortcut
// file, reading one back, and where the icon chooser starts.
//
//   ShortcutBytes made = EncodeShortcut(link);   // then written atomically (core)
//   std::optional<Shortcut> back = ReadShortcut(path);
//
// On Windows a shortcut is the shell's own link format, made and read by the
// Unicode shell-link object (IShellLinkW), so every character of a path or an
// argument survives. Elsewhere it is a small text stand-in with the same
// fields, so that the portable tests can read back what they wrote.
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace lup {

struct Shortcut {
  std::filesystem::path target;         // the program the shortcut starts
  std::string arguments;                // its command-line arguments, as they stand
  std::filesystem::path workingFolder;  // "" = none
  std::filesystem::path iconFile;       // "" = the target's own icon
  int iconIndex = 0;
  int showCommand = 0;                  // read back: see KnownShowCommand
  int hotKey = 0;                       // 0 = none
  bool operator==(const Shortcut&) const = default;
};

struct ShortcutBytes {
  std::string bytes;     // the whole content of the shortcut file
  std::error_code error; // why it could not be made
  bool ok() const { return !error; }
};

// How the link format takes a show command: a normal window (1), maximised
// (3) or minimised without focus (7); every other value means a normal
// window. ReadShortcut answers with these values.
int KnownShowCommand(int showCommand);

// The content of a shortcut file for `link`. An empty target is refused.
ShortcutBytes EncodeShortcut(const Shortcut& link);

// Reads the shortcut file at `path`; nullopt (and `error` set when given)
// when it cannot be read as a shortcut.
std::optional<Shortcut> ReadShortcut(const std::filesystem::path& path,
                                     std::error_code* error = nullptr);

// The system folder (on Windows the one that holds SHELL32.DLL); empty where
// there is none.
std::filesystem::path SystemFolder();

// True when `path` is an ordinary file that carries the archive attribute
// and no other (what a program copied into a folder normally carries). Where
// files have no attributes: an ordinary file that its owner may write.
bool IsArchiveOnlyFile(const std::filesystem::path& path);

}  // namespace lup
