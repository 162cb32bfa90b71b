// The running program on Windows.
#include <windows.h>
#include <shellapi.h>

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

std::optional<VersionNumber> FileVersion(const std::filesystem::path& file) {
  const std::wstring name = file.wstring();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(name.c_str(), 0, size, data.data())) return std::nullopt;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != 0xFEEF04BD) {
    return std::nullopt;
  }
  return VersionNumber{HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
                       LOWORD(info->dwFileVersionLS)};
}

VersionNumber ProgramVersion() { return FileVersion(ProgramPath()).value_or(BuiltVersion()); }

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
