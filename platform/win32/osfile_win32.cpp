// The raw file layer on Windows: the W calls, with the system's error codes.
#include <windows.h>
#include <winternl.h>
#include <restartmanager.h>

#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_view.h"
#include "platform/osfile.h"
#include "platform/win32/system_name.h"

namespace lup::os {
namespace {

namespace fs = std::filesystem;
using view::Use;

}  // namespace

// The whole path of `name` as the system completes it; empty when it cannot.
static std::wstring FullPathOf(const std::wstring& name) {
  DWORD size = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  size = GetFullPathNameW(name.c_str(), size, full.data(), nullptr);
  if (size == 0 || size >= full.size()) return {};
  full.resize(size);
  return full;
}

// Without the process being long-path aware (which needs a setting of the
// whole system too).
std::wstring SystemName(const fs::path& path) {
  std::wstring name = path.wstring();
  for (wchar_t& c : name)
    if (c == L'/') c = L'\\';
  if (name.size() < MAX_PATH - 12 || name.rfind(L"\\\\?\\", 0) == 0) return name;
  const std::wstring full = FullPathOf(name);
  if (full.empty()) return name;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

// The name the system is given for `name` to look at it (file_view.h).
std::wstring Seen(const fs::path& name) {
  fs::path seen;
  view::Resolve(name, Use::kLook, &seen);
  return SystemName(seen);
}

// A file the user marked read-only is never replaced, changed or deleted:
// Windows refuses that; Wine does not, so the programs ask first and behave
// the same on both. (`path`: a name for the system.)
bool MarkedReadOnly(const std::wstring& path) {
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

std::error_code OpenWith(const std::wstring& path, DWORD access, DWORD share,
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

namespace raw {

bool Exists(const fs::path& path) { return GetFileAttributesW(SystemName(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(SystemName(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::error_code MakeFolder(const fs::path& path) {
  if (!CreateDirectoryW(SystemName(path).c_str(), nullptr)) return LastError();
  return {};
}

std::error_code RemoveFolder(const fs::path& path) {
  if (!RemoveDirectoryW(SystemName(path).c_str())) return LastError();
  return {};
}

static std::int64_t Ticks(const LARGE_INTEGER& t) { return static_cast<std::int64_t>(t.QuadPart); }

// Whether the volume of the folder open as `dir` keeps change times and
// file numbers (NTFS, ReFS), asked once a folder: asking the volume costs
// the Wine server a dozen requests, as many as the rest of a listing, and a
// call lists each of its folders several times. (The volume's number would
// cost as much to learn.)
static bool KeepsStamps(HANDLE dir, const fs::path& folder) {
  const std::wstring key = SystemName(folder);
  static std::mutex lock;
  static std::vector<std::pair<std::wstring, bool>> known;
  {
    std::lock_guard<std::mutex> hold(lock);
    for (const auto& [volume, keeps] : known)
      if (volume == key) return keeps;
  }
  wchar_t system[MAX_PATH + 1] = L"";
  const bool keeps =
      GetVolumeInformationByHandleW(dir, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1) &&
      (std::wstring_view(system) == L"NTFS" || std::wstring_view(system) == L"ReFS");
  std::lock_guard<std::mutex> hold(lock);
  if (known.size() < 256) known.emplace_back(key, keeps);
  return keeps;
}

// Every entry with its stamp from queries of the folder's own handle (one
// directory query a buffer of entries, no file opened). The stamps prove
// something only on NTFS and ReFS, which keep change times and file numbers.
static std::error_code ListStamped(const fs::path& folder, std::vector<FolderItem>* items) {
  HANDLE dir = CreateFileW(SystemName(folder).c_str(), FILE_LIST_DIRECTORY,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dir == INVALID_HANDLE_VALUE) return LastError();
  std::error_code e;
  FILE_BASIC_INFO self;
  if (!GetFileInformationByHandleEx(dir, FileBasicInfo, &self, sizeof self)) {
    e = LastError();
  } else if (!(self.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    e = std::error_code(ERROR_DIRECTORY, std::system_category());
  }
  const bool usable = !e && KeepsStamps(dir, folder);
  std::vector<LONGLONG> buffer(64 * 1024 / sizeof(LONGLONG));
  FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
  while (!e) {
    if (!GetFileInformationByHandleEx(dir, query, buffer.data(),
                                      static_cast<DWORD>(buffer.size() * sizeof(LONGLONG)))) {
      if (GetLastError() != ERROR_NO_MORE_FILES) e = LastError();
      break;
    }
    query = FileIdBothDirectoryInfo;
    const char* at = reinterpret_cast<const char*>(buffer.data());
    for (;;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      if (name != L"." && name != L"..") {
        FolderItem item;
        item.name = name;
        item.folder = (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        item.file = !item.folder && !(entry->FileAttributes & FILE_ATTRIBUTE_DEVICE);
        if (item.file) {
          item.stamp.size = static_cast<std::uint64_t>(entry->EndOfFile.QuadPart);
          item.stamp.writeTime = Ticks(entry->LastWriteTime);
          item.stamp.changeTime = Ticks(entry->ChangeTime);
          item.stamp.id = static_cast<std::uint64_t>(entry->FileId.QuadPart);
          item.stamp.usable = usable && item.stamp.id != 0 && item.stamp.changeTime != 0;
        }
        items->push_back(std::move(item));
      }
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  CloseHandle(dir);
  return e;
}

std::error_code List(const fs::path& folder, std::vector<FolderItem>* items, bool stamps) {
  items->clear();
  if (stamps) return ListStamped(folder, items);
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileExW(SystemName(folder / L"*").c_str(), FindExInfoBasic, &found,
                                 FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (find == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // A folder without even "." (a drive's root) that is empty.
    if (error == ERROR_FILE_NOT_FOUND && IsFolder(folder)) return {};
    return std::error_code(static_cast<int>(error), std::system_category());
  }
  std::error_code e;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderItem item;
    item.name = name;
    item.folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    item.file = !item.folder && !(found.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
    items->push_back(std::move(item));
  } while (FindNextFileW(find, &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) e = LastError();
  FindClose(find);
  return e;
}

}  // namespace raw

std::error_code OpenRead(const std::filesystem::path& name, File* file, bool waitIfHeld) {
  file->Close();
  const std::wstring path = Seen(name);
  const auto open = [&] {
    return OpenWith(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, &file->h_);
  };
  return waitIfHeld ? RetryWhileHeld(name, open) : TryUnlessHeld(name, open);
}

std::error_code CreateNew(const std::filesystem::path& name, File* file) {
  file->Close();
  fs::path path;
  if (std::error_code e = view::Resolve(name, Use::kMake, &path)) return e;
  return OpenWith(SystemName(path), GENERIC_WRITE, 0, CREATE_NEW, &file->h_);
}

// Enough to keep a folder of a pet's mails (a thousand or two) open whole
// through its batch. A process may hold millions of handles; under Wine each
// is also a descriptor of the Wine server, which serves every program of
// the prefix, and of our process: a few thousand stay well within what
// Linux systems give them.
int MaxFilesKeptOpen() { return 2048; }

std::error_code CreateNewToRename(const std::filesystem::path& name, File* file) {
  file->Close();
  fs::path path;
  if (std::error_code e = view::Resolve(name, Use::kMake, &path)) return e;
  return OpenWith(SystemName(path), GENERIC_WRITE | DELETE, 0, CREATE_NEW, &file->h_);
}

std::error_code OpenEdit(const std::filesystem::path& name, File* file) {
  file->Close();
  if (MarkedReadOnly(Seen(name))) return ReadOnlyError();
  fs::path resolved;
  if (std::error_code e = view::Resolve(name, Use::kEdit, &resolved)) return e;
  const std::wstring path = SystemName(resolved);
  return RetryWhileHeld(name, [&] {
    return OpenWith(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING, &file->h_);
  });
}

// The attributes of a name come without opening the file (under Wine,
// without a round trip to its server).
std::error_code LookUp(const std::filesystem::path& name, EntryInfo* info) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Seen(name).c_str(), GetFileExInfoStandard, &data)) return LastError();
  info->folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  info->file = !info->folder && !(data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE);
  info->size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  info->writeTime = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime);
  return {};
}

bool NameTaken(const std::filesystem::path& name) {
  return GetFileAttributesW(Seen(name).c_str()) != INVALID_FILE_ATTRIBUTES;
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
                          std::filesystem::path* failed, const std::vector<File*>& held) {
  return SyncEachFile(paths, failed, held);
}

std::error_code SyncOneFile(const std::filesystem::path& name) {
  HANDLE h = CreateFileW(Seen(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
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

std::error_code ReplaceByRename(const std::filesystem::path& fromName, const std::filesystem::path& toName,
                                bool) {
  if (MarkedReadOnly(Seen(toName))) return ReadOnlyError();
  fs::path fromPath, toPath;
  if (std::error_code e = view::Resolve(fromName, Use::kRemove, &fromPath)) return e;
  if (std::error_code e = view::Resolve(toName, Use::kWriteOver, &toPath)) return e;
  const std::wstring from = SystemName(fromPath), to = SystemName(toPath);
  return RetryWhileHeld(toName, [&] {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? std::error_code()
               : LastError();
  });
}

namespace {

// The target's name for a rename through a handle: the whole path, as the
// rename by name would be given it (the \\?\ form past MAX_PATH).
std::wstring WholeName(const fs::path& path) {
  const std::wstring name = SystemName(path);
  if (name.rfind(L"\\\\?\\", 0) == 0) return name;
  const std::wstring full = FullPathOf(name);
  return full.empty() ? name : full;
}

std::error_code RenameThroughHandle(HANDLE h, const std::wstring& to) {
  const std::size_t bytes = to.size() * sizeof(wchar_t);
  // FileName[1] holds the terminating NUL.
  std::vector<char> buffer(sizeof(FILE_RENAME_INFO) + bytes);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = TRUE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(bytes);
  std::memcpy(info->FileName, to.c_str(), bytes + sizeof(wchar_t));
  if (!SetFileInformationByHandle(h, FileRenameInfo, info, static_cast<DWORD>(buffer.size())))
    return LastError();
  return {};
}

// How a file system that cannot rename an open file through its handle
// (some network redirectors, FAT drivers) answers; the rename by name works
// there.
bool RefusedThroughHandle(const std::error_code& e) {
  if (e.category() != std::system_category()) return false;
  switch (e.value()) {
    case ERROR_INVALID_PARAMETER:
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_FUNCTION:
      return true;
    default:
      return false;
  }
}

}  // namespace

// The temporary file was made with DELETE access and is still open: the
// rename needs no open by name. The target is checked and resolved as the
// rename by name does it, and tried again while it is held the same way,
// so that its failures are the same ones.
std::error_code ReplaceOpenByRename(File& file, const std::filesystem::path& fromName,
                                    const std::filesystem::path& toName, bool syncFolder) {
  const auto closed = [&](std::error_code e) {
    file.Close();  // renamed (the data made durable before) or failed: nothing to report
    return e;
  };
  if (MarkedReadOnly(Seen(toName))) return closed(ReadOnlyError());
  fs::path toPath;
  if (std::error_code e = view::Resolve(toName, Use::kWriteOver, &toPath)) return closed(e);
  const std::wstring to = WholeName(toPath);
  const OpenRenameSeam& seam = raw::OpenRenames();
  const std::error_code e = RetryWhileHeld(toName, [&] {
    if (seam.refuse)
      if (std::error_code refused = seam.refuse(toName)) return refused;
    return RenameThroughHandle(H(file.h_), to);
  });
  if (RefusedThroughHandle(e)) {
    file.Close();
    const std::error_code byName = ReplaceByRename(fromName, toName, syncFolder);
    if (!byName && seam.renamed) seam.renamed(toName, false);
    return byName;
  }
  if (!e && seam.renamed) seam.renamed(toName, true);
  return closed(e);
}

std::error_code RenameNoReplace(const std::filesystem::path& fromName, const std::filesystem::path& toName) {
  fs::path fromPath, toPath;
  if (std::error_code e = view::Resolve(fromName, Use::kRemove, &fromPath)) return e;
  if (std::error_code e = view::Resolve(toName, Use::kMake, &toPath)) return e;
  const std::wstring from = SystemName(fromPath), to = SystemName(toPath);
  return RetryWhileHeld(fromName, [&] {
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) ? std::error_code() : LastError();
  });
}

std::error_code HardLink(const std::filesystem::path& existingName, const std::filesystem::path& linkName) {
  fs::path existing;
  view::Resolve(existingName, Use::kLook, &existing);
  // A file of the folder this user cannot change cannot get another name
  // either: the caller copies it instead.
  if (view::InRealFolder(existing)) return std::error_code(ERROR_NOT_SAME_DEVICE, std::system_category());
  fs::path link;
  if (std::error_code e = view::Resolve(linkName, Use::kMake, &link)) return e;
  if (!CreateHardLinkW(SystemName(link).c_str(), SystemName(existing).c_str(), nullptr)) return LastError();
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

std::error_code DeleteOneFile(const std::filesystem::path& name) {
  const std::wstring seen = Seen(name);
  DWORD attributes = GetFileAttributesW(seen.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return std::make_error_code(std::errc::is_a_directory);
  if (MarkedReadOnly(seen)) return ReadOnlyError();
  fs::path resolved;
  if (std::error_code e = view::Resolve(name, Use::kRemove, &resolved)) return e;
  const std::wstring path = SystemName(resolved);
  return RetryWhileHeld(name, [&] { return DeleteFileW(path.c_str()) ? std::error_code() : LastError(); });
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
      return !MarkedReadOnly(Seen(path));
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
    const std::wstring file = Seen(path);
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



bool IsCrossDevice(const std::error_code& error) {
  return error.category() == std::system_category() && error.value() == ERROR_NOT_SAME_DEVICE;
}

bool IsMarkedReadOnly(const std::filesystem::path& path) { return MarkedReadOnly(Seen(path)); }

}  // namespace lup::os
