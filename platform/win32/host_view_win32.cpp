// The host's view of its folder on Windows: where the folder lies, who we
// run as, what UAC is set to do and what the host program asks for.
#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

#include <atomic>
#include <optional>
#include <string_view>

#include "platform/host_view.h"
#include "platform/win32/host_view_win32.h"

namespace lup::os::detail {
namespace fs = std::filesystem;

namespace {

// '/' as '\' and without trailing backslashes ("C:\" becomes "C:").
std::wstring Trimmed(std::wstring_view path) {
  std::wstring s(path);
  for (wchar_t& c : s) {
    if (c == L'/') c = L'\\';
  }
  while (!s.empty() && s.back() == L'\\') s.pop_back();
  return s;
}

// The full path the system makes of `path`, in its plain form (the long-path
// prefixes name the same folder); empty when it makes none.
std::wstring FullPath(const fs::path& path) {
  const std::wstring in = path.wstring();
  if (in.empty()) return {};
  std::wstring out(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n =
        GetFullPathNameW(in.c_str(), static_cast<DWORD>(out.size()), out.data(), nullptr);
    if (n == 0) return {};
    if (n < out.size()) {
      out.resize(n);
      break;
    }
    out.resize(n);  // too short: n is the size needed, terminator included
  }
  if (out.starts_with(L"\\\\?\\UNC\\")) {
    out.erase(2, 6);  // \\?\UNC\server\share -> \\server\share
  } else if (out.starts_with(L"\\\\?\\")) {
    out.erase(0, 4);
  }
  return out;
}

std::wstring KnownFolder(REFKNOWNFOLDERID id) {
  PWSTR found = nullptr;
  std::wstring path;
  if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &found)) && found != nullptr) path = found;
  CoTaskMemFree(found);  // owed even when the call failed
  return path;
}

// The folders where UAC protects the files of all users.
bool IsProtectedFolder(const std::wstring& full) {
  const KNOWNFOLDERID* const folders[] = {&FOLDERID_ProgramFiles, &FOLDERID_ProgramFilesX86,
                                          &FOLDERID_Windows, &FOLDERID_ProgramData};
  for (const KNOWNFOLDERID* id : folders) {
    if (IsUnderFolder(full, KnownFolder(*id))) return true;
  }
  return false;
}

bool IsElevated() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const bool ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return ok && elevation.TokenIsElevated != 0;
}

// A UAC switch. One that is not set (or not as a number) is on, as Windows
// takes it.
bool UacSwitchOn(const wchar_t* name) {
  DWORD value = 1;
  DWORD size = sizeof value;
  if (RegGetValueW(HKEY_LOCAL_MACHINE,
                   L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", name,
                   RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
    return true;
  }
  return value != 0;
}

// Reads exactly `size` bytes at `offset`.
bool ReadAt(HANDLE file, ULONGLONG offset, void* out, DWORD size) {
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  DWORD read = 0;
  return SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
         ReadFile(file, out, size, &read, nullptr) && read == size;
}

// The machine the image `file` is built for, from its headers; 0 for a file
// that is missing, too short or no image.
WORD ImageMachine(const fs::path& file) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  WORD machine = 0;
  LARGE_INTEGER size{};
  IMAGE_DOS_HEADER dos{};
  DWORD signature = 0;
  IMAGE_FILE_HEADER header{};
  if (GetFileSizeEx(h, &size) && ReadAt(h, 0, &dos, sizeof dos) &&
      dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew >= 0) {
    const ULONGLONG nt = static_cast<ULONGLONG>(dos.e_lfanew);
    if (nt + sizeof signature + sizeof header <= static_cast<ULONGLONG>(size.QuadPart) &&
        ReadAt(h, nt, &signature, sizeof signature) && signature == IMAGE_NT_SIGNATURE &&
        ReadAt(h, nt + sizeof signature, &header, sizeof header)) {
      machine = header.Machine;
    }
  }
  CloseHandle(h);
  return machine;
}

bool Mentions(std::string_view bytes, std::string_view word) {
  if (bytes.find(word) != std::string_view::npos) return true;
  std::string utf16;  // a manifest may be UTF-16 as well
  for (char c : word) {
    utf16 += c;
    utf16 += '\0';
  }
  return bytes.find(utf16) != std::string_view::npos;
}

// Whether the manifest of the program `exe` asks for an execution level
// (false when it has none); nullopt when the file cannot be mapped as an
// image or its manifest cannot be read.
std::optional<bool> AsksForExecutionLevel(const fs::path& exe) {
  // As data only: nothing of the file runs.
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (module == nullptr) return std::nullopt;
  std::optional<bool> asks = false;
  if (HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const auto* bytes = static_cast<const char*>(loaded ? LockResource(loaded) : nullptr);
    if (bytes == nullptr) {
      asks = std::nullopt;
    } else {
      asks = Mentions(std::string_view(bytes, size), "requestedExecutionLevel");
    }
  }
  FreeLibrary(module);
  return asks;
}

// Whether this user can make a file in `folder` (a full path) itself. The
// file goes away when it is closed.
bool CanMakeFileIn(const std::wstring& folder) {
  if (folder.empty()) return false;
  static std::atomic<unsigned> made{0};
  const std::wstring base =
      Trimmed(folder) + L"\\~lupina-write-test-" + std::to_wstring(GetCurrentProcessId()) + L"-";
  for (int attempt = 0; attempt < 4; ++attempt) {
    const std::wstring name =
        base + std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(made++) + L".tmp";
    HANDLE h = CreateFileW(
        name.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
        FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      CloseHandle(h);
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  return false;
}

bool IsFolder(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool IsUnderFolder(const std::wstring& path, const std::wstring& folder) {
  const std::wstring p = Trimmed(path), f = Trimmed(folder);
  if (f.empty() || p.size() < f.size()) return false;
  if (p.size() > f.size() && p[f.size()] != L'\\') return false;
  const int n = static_cast<int>(f.size());
  return CompareStringOrdinal(p.data(), n, f.data(), n, TRUE) == CSTR_EQUAL;
}

bool IsRedirectedHostProgram(const fs::path& exe) {
  if (ImageMachine(exe) != IMAGE_FILE_MACHINE_I386) return false;
  // A file Windows will not map as an image, it will not start either: then
  // no host runs whose writes could be redirected, and its folder is seen as
  // it is.
  const std::optional<bool> asks = AsksForExecutionLevel(exe);
  return asks.has_value() && !*asks;
}

fs::path VirtualStoreFolderOf(const fs::path& folder, const fs::path& localAppData) {
  const std::wstring f = Trimmed(folder.wstring()), base = Trimmed(localAppData.wstring());
  const bool letter =
      f.size() >= 2 && ((f[0] >= L'A' && f[0] <= L'Z') || (f[0] >= L'a' && f[0] <= L'z'));
  if (!letter || f[1] != L':' || (f.size() > 2 && f[2] != L'\\') || base.empty()) return {};
  return fs::path(base + L"\\VirtualStore" + f.substr(2));
}

HostViewFacts SystemHostView(const fs::path& hostFolder, const fs::path& hostProgram) {
  HostViewFacts facts;
  // For the tests under Wine, which has no virtualization: LUP_TEST_VIRTUAL_STORE
  // names the folder that stands for D's VirtualStore, as if Windows
  // redirected the host there.
  wchar_t seam[MAX_PATH];
  const DWORD seamLength = GetEnvironmentVariableW(L"LUP_TEST_VIRTUAL_STORE", seam, MAX_PATH);
  if (seamLength > 0 && seamLength < MAX_PATH) {
    facts.protectedFolder = facts.virtualization = facts.hostRedirected = true;
    facts.folderWritable = false;
    facts.store = fs::path(std::wstring(seam, seamLength));
    facts.storeExists = IsFolder(facts.store);
    return facts;
  }
  const std::wstring folder = FullPath(hostFolder);
  facts.protectedFolder = !folder.empty() && IsProtectedFolder(folder);
  facts.elevated = IsElevated();
  facts.virtualization = UacSwitchOn(L"EnableLUA") && UacSwitchOn(L"EnableVirtualization");
  // Read at every read of the settings: the host program and a file made in
  // D only where Windows could redirect at all.
  if (facts.protectedFolder) {
    facts.hostRedirected = IsRedirectedHostProgram(hostProgram);
    facts.folderWritable = CanMakeFileIn(folder);
  }
  facts.store = VirtualStoreFolderOf(folder, KnownFolder(FOLDERID_LocalAppData));
  facts.storeExists = !facts.store.empty() && IsFolder(facts.store);
  return facts;
}

}  // namespace lup::os::detail
