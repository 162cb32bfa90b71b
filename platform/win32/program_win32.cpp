// The running program on Windows.
#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

#include "platform/program.h"
#include "platform/win32/file_version.h"
#include "platform/win32/wide.h"

namespace lup {

std::filesystem::path ProgramPath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      return std::filesystem::path(buffer);
    }
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);  // cut short: the path is longer than the buffer
  }
}

std::filesystem::path ProgramFolder() { return ProgramPath().parent_path(); }

namespace {

// The fixed part of a module's version resource. Read straight from the
// resource, so that no program of ours needs version.dll, which Windows
// would look for beside the program first.
std::optional<VersionNumber> ModuleVersion(HMODULE module) {
  HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(VS_VERSION_INFO), RT_VERSION);
  if (found == nullptr) return std::nullopt;
  HGLOBAL loaded = LoadResource(module, found);
  const DWORD size = SizeofResource(module, found);
  const auto* bytes = static_cast<const unsigned char*>(loaded ? LockResource(loaded) : nullptr);
  if (bytes == nullptr) return std::nullopt;
  // VS_FIXEDFILEINFO starts with its signature, on a 4-byte boundary.
  for (DWORD at = 0; at + sizeof(VS_FIXEDFILEINFO) <= size; at += 4) {
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, bytes + at, sizeof info);
    if (info.dwSignature != 0xFEEF04BD) continue;
    return VersionNumber{HIWORD(info.dwFileVersionMS), LOWORD(info.dwFileVersionMS),
                         LOWORD(info.dwFileVersionLS)};
  }
  return std::nullopt;
}

}  // namespace

std::optional<VersionNumber> FileVersion(const std::filesystem::path& file) {
  // As data only: nothing of the file runs.
  HMODULE module = LoadLibraryExW(file.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return std::nullopt;
  const std::optional<VersionNumber> version = ModuleVersion(module);
  FreeLibrary(module);
  return version;
}

VersionNumber ProgramVersion() {
  return ModuleVersion(GetModuleHandleW(nullptr)).value_or(BuiltVersion());
}

void HardenLibrarySearch() {
  // Libraries loaded later come from the system folder only: a DLL dropped
  // beside the program, in the host folder or in the working folder is
  // never loaded.
  SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");
}

std::vector<std::string> ProgramArguments() {
  std::vector<std::string> words;
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr) return words;
  for (int i = 1; i < count; ++i) words.push_back(Narrow(argv[i]));
  LocalFree(argv);
  return words;
}

std::string ProgramArgumentText() {
  std::wstring_view line = GetCommandLineW();
  // The program name ends at its closing quote, or at the first blank.
  std::size_t i = 0;
  if (!line.empty() && line[0] == L'"') {
    const std::size_t close = line.find(L'"', 1);
    i = close == std::wstring_view::npos ? line.size() : close + 1;
  } else {
    while (i < line.size() && line[i] != L' ' && line[i] != L'\t') ++i;
  }
  while (i < line.size() && (line[i] == L' ' || line[i] == L'\t')) ++i;
  return Narrow(line.substr(i));
}

}  // namespace lup
