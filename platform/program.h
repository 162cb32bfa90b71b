#pragma once
// The running program itself: where its file lies, its version, what it was
// started with.
#include <compare>
#include <filesystem>
#include <string>
#include <vector>

namespace lup {

// Full path of the running program's executable file.
std::filesystem::path ProgramPath();

// The folder that holds the running program's executable file.
std::filesystem::path ProgramFolder();

struct VersionNumber {
  unsigned major = 0;
  unsigned minor = 0;
  unsigned revision = 0;
  auto operator<=>(const VersionNumber&) const = default;
};

// The program's version. On Windows it is read from the executable's own
// version resource (file version a.b.0.c gives major a, minor b, revision c);
// elsewhere, and when a Windows program carries no such resource, it is the
// project version the library was built with.
VersionNumber ProgramVersion();

// The project version the library was built with.
VersionNumber BuiltVersion();

// Called first thing by every program: libraries loaded after start-up come
// from the system folder only, never from the program's folder or the
// working folder, where somebody could have dropped a DLL of that name.
// Does nothing where there are no DLLs.
void HardenLibrarySearch();

// The program's arguments, without the program name, UTF-8. On Windows the
// command line is split by the system's own rules (quotes group words).
std::vector<std::string> ProgramArguments();

// The command line after the program name, as one text: the leading blanks
// are dropped, the rest stands as it was typed (quotes included). Elsewhere
// the arguments joined with single spaces.
std::string ProgramArgumentText();

}  // namespace lup
