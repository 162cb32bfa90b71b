// The raw file layer on Windows: the W calls, with the system's error codes.
#include <windows.h>
#include <winternl.h>
#include <restartmanager.h>

#include "platform/osfile.h"

namespace lup::os {
namespace {

// A file the user marked read-only is never replaced, changed or deleted:
// Windows refuses that; Wine does not, so the programs ask first and behave
// the same on both.
bool MarkedReadOnly(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
         !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::error_code ReadOnlyError() {
  return std::error_code(ERROR_ACCESS_DENIED, std::system_category());
}

std::error_code LastError() {
  return std::error_code(static_cast<int>(GetLastError()), std::system_category());
}

HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

std::error_code OpenWith(const std::filesystem::path& path, DWORD access, DWORD share,
                         DWORD disposition, std::intptr_t* out) {
  HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, disposition,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
        disposition != CREATE_NEW)
      return std::make_error_code(std::errc::is_a_directory);
    return LastError();
  }
  *out = reinterpret_cast<std::intptr_t>(h);
  return {};
}

}  // namespace

std::error_code OpenRead(const std::filesystem::path& path, File* file, bool waitIfHeld) {
  file->Close();
  const auto open = [&] {
    return OpenWith(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &file->h_);
  };
  return waitIfHeld ? RetryWhileHeld(path, open) : open();
}

std::error_code CreateNew(const std::filesystem::path& path, File* file) {
  file->Close();
  return OpenWith(path, GENERIC_WRITE, 0, CREATE_NEW, &file->h_);
}

std::error_code OpenEdit(const std::filesystem::path& path, File* file) {
  file->Close();
  if (MarkedReadOnly(path)) return ReadOnlyError();
  return RetryWhileHeld(path, [&] {
    return OpenWith(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, &file->h_);
  });
}

// The attributes of a name come without opening the file (under Wine,
// without a round trip to its server).
std::error_code LookUp(const std::filesystem::path& path, EntryInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return LastError();
  info->folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return {};
}

std::error_code File::Read(char* buffer, std::size_t size, std::size_t* got) {
  DWORD n = 0;
  DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  if (!ReadFile(H(h_), buffer, ask, &n, nullptr)) {
    *got = 0;
    return LastError();
  }
  *got = n;
  return {};
}

std::error_code File::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    DWORD n = 0;
    DWORD ask = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!WriteFile(H(h_), data, ask, &n, nullptr)) return LastError();
    if (n == 0) return std::make_error_code(std::errc::io_error);
    data += n;
    size -= n;
  }
  return {};
}

std::error_code File::Size(std::uint64_t* size) {
  LARGE_INTEGER li;
  if (!GetFileSizeEx(H(h_), &li)) return LastError();
  *size = static_cast<std::uint64_t>(li.QuadPart);
  return {};
}

std::error_code File::Seek(std::uint64_t offset) {
  LARGE_INTEGER li;
  li.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(H(h_), li, nullptr, FILE_BEGIN)) return LastError();
  return {};
}

std::error_code File::Sync() {
  if (!FlushFileBuffers(H(h_))) return LastError();
  return {};
}

std::error_code File::CopyTimeFrom(File& other) {
  FILETIME created, accessed, written;
  if (!GetFileTime(H(other.h_), &created, &accessed, &written)) return LastError();
  if (!SetFileTime(H(h_), nullptr, nullptr, &written)) return LastError();
  return {};
}

namespace {

// NtFlushBuffersFileEx (Windows 8 on), looked up at run time: with
// FLUSH_FLAGS_FILE_DATA_ONLY it starts writing the data out without the
// full flush of the device. Null where the system lacks it (older Wine).
using FlushEx = NTSTATUS(NTAPI*)(HANDLE, ULONG, PVOID, ULONG, PIO_STATUS_BLOCK);
constexpr ULONG kFlushFileDataOnly = 0x1;

FlushEx FindFlushEx() {
  static const FlushEx found = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll ? reinterpret_cast<FlushEx>(
                       reinterpret_cast<void*>(GetProcAddress(ntdll, "NtFlushBuffersFileEx")))
                 : nullptr;
  }();
  return found;
}

}  // namespace

std::error_code File::StartWriteOut() {
  if (FlushEx flush = FindFlushEx()) {
    IO_STATUS_BLOCK status{};
    if (NT_SUCCESS(flush(H(h_), kFlushFileDataOnly, nullptr, 0, &status))) return {};
  }
  // Missing (Wine 8) or refused: nothing started here; the barrier's
  // FlushFileBuffers of each file (SyncFiles) writes it all, from a few
  // threads, where a flush here would wait for each file in turn.
  return {};
}

std::error_code File::Close() {
  if (h_ == kNone) return {};
  HANDLE h = H(h_);
  h_ = kNone;
  if (!CloseHandle(h)) return LastError();
  return {};
}


std::error_code SyncFiles(const std::vector<std::filesystem::path>& paths,
                          std::filesystem::path* failed) {
  return SyncEachFile(paths, failed);
}

std::error_code SyncOneFile(const std::filesystem::path& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LastError();
  std::error_code e;
  if (!FlushFileBuffers(h)) e = LastError();
  CloseHandle(h);
  return e;
}

// A rename within one volume is a change of the file system's own log,
// which reaches the disk in the order the changes were made: a later change
// found after a power cut brings every earlier rename with it, and the data
// renamed was flushed before (the barrier). MOVEFILE_WRITE_THROUGH makes a
// move across volumes, a copy and a delete, wait for its flush. Nothing
// more is done for the folder.
std::error_code SyncFolder(const std::filesystem::path&) { return {}; }

std::error_code ReplaceByRename(const std::filesystem::path& from, const std::filesystem::path& to,
                                bool) {
  if (MarkedReadOnly(to)) return ReadOnlyError();
  return RetryWhileHeld(to, [&] {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? std::error_code()
               : LastError();
  });
}

std::error_code RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
  return RetryWhileHeld(from, [&] {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? std::error_code() : LastError();
  });
}

std::error_code HardLink(const std::filesystem::path& existing, const std::filesystem::path& link) {
  if (!CreateHardLinkW(link.c_str(), existing.c_str(), nullptr)) return LastError();
  return {};
}

bool IsNoHardLink(const std::error_code& e) {
  if (e == std::errc::not_supported || e == std::errc::operation_not_supported) return true;
  if (e.category() != std::system_category()) return false;
  // ERROR_INVALID_FUNCTION, ERROR_NOT_SAME_DEVICE, ERROR_NOT_SUPPORTED,
  // ERROR_INVALID_PARAMETER (FAT), ERROR_TOO_MANY_LINKS
  switch (e.value()) {
    case 1: case 17: case 50: case 87: case 1142: return true;
    default: return false;
  }
}

std::error_code DeleteOneFile(const std::filesystem::path& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::make_error_code(std::errc::is_a_directory);
  if (MarkedReadOnly(path)) return ReadOnlyError();
  return RetryWhileHeld(path, [&] { return DeleteFileW(path.c_str()) ? std::error_code() : LastError(); });
}

bool IsHeldError(const std::error_code& e, const std::filesystem::path& path) {
  if (e.category() != std::system_category()) return false;
  switch (e.value()) {
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_DELETE_PENDING:
      return true;
    case ERROR_ACCESS_DENIED:
      // A read-only file is the user's choice, not a program's hold.
      return !MarkedReadOnly(path);
    default:
      return false;
  }
}

// The Restart Manager is loaded from the system folder only when a file is
// found held: a DLL of that name beside the program is never taken.
std::string ProgramsHolding(const std::filesystem::path& path) {
  HMODULE rm = LoadLibraryExW(L"rstrtmgr.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  if (!rm) return {};
  using Start = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
  using Register = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
  using GetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, DWORD*);
  using End = DWORD(WINAPI*)(DWORD);
  const auto start = reinterpret_cast<Start>(reinterpret_cast<void*>(GetProcAddress(rm, "RmStartSession")));
  const auto add = reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(rm, "RmRegisterResources")));
  const auto list = reinterpret_cast<GetList>(reinterpret_cast<void*>(GetProcAddress(rm, "RmGetList")));
  const auto end = reinterpret_cast<End>(reinterpret_cast<void*>(GetProcAddress(rm, "RmEndSession")));
  std::string names;
  DWORD session = 0;
  WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
  if (start && add && list && end && start(&session, 0, key) == ERROR_SUCCESS) {
    const std::wstring file = path.wstring();
    LPCWSTR files[] = {file.c_str()};
    if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
      RM_PROCESS_INFO info[8];
      UINT needed = 0, count = 8;
      DWORD reasons = 0;
      const DWORD got = list(session, &needed, &count, info, &reasons);
      for (UINT i = 0; (got == ERROR_SUCCESS || got == ERROR_MORE_DATA) && i < count && i < 8; ++i) {
        const std::wstring name(info[i].strAppName);
        if (name.empty()) continue;
        const int size = WideCharToMultiByte(CP_UTF8, 0, name.c_str(), static_cast<int>(name.size()), nullptr, 0,
                                             nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        WideCharToMultiByte(CP_UTF8, 0, name.c_str(), static_cast<int>(name.size()), utf8.data(), size, nullptr,
                            nullptr);
        names += (names.empty() ? "" : "、") + utf8;
      }
    }
    end(session);
  }
  FreeLibrary(rm);
  return names;
}

std::error_code MakeOneFolder(const std::filesystem::path& path) {
  if (!CreateDirectoryW(path.c_str(), nullptr)) return LastError();
  return {};
}

std::error_code RemoveEmptyFolder(const std::filesystem::path& path) {
  if (!RemoveDirectoryW(path.c_str())) return LastError();
  return {};
}

bool IsCrossDevice(const std::error_code& error) {
  return error.category() == std::system_category() && error.value() == ERROR_NOT_SAME_DEVICE;
}

bool IsMarkedReadOnly(const std::filesystem::path& path) { return MarkedReadOnly(path); }

}  // namespace lup::os
