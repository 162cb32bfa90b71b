// The raw file layer on POSIX systems (the native build).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/file_view.h"
#include "platform/osfile.h"

namespace lup::os {
namespace {

namespace fs = std::filesystem;
using view::Use;

// A file without write permission stands for one the user marked read-only
// on Windows: it is never replaced, changed or deleted, also when the
// program could (as root does).
bool MarkedReadOnly(const std::filesystem::path& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IWUSR);
}

std::error_code LastError() { return std::error_code(errno, std::generic_category()); }

std::error_code OpenWith(const std::filesystem::path& path, int flags, std::intptr_t* h) {
  int fd;
  do {
    fd = ::open(path.c_str(), flags | O_CLOEXEC, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return LastError();
  // Only an open for reading alone can open a folder; any other is refused
  // one by the system.
  struct stat st;
  if ((flags & O_ACCMODE) == O_RDONLY && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return std::make_error_code(std::errc::is_a_directory);
  }
  *h = fd;
  return {};
}

// The name the system is given for `name` (file_view.h).
fs::path Seen(const fs::path& name) {
  fs::path seen;
  view::Resolve(name, Use::kLook, &seen);
  return seen;
}

std::int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileStamp StampOf(const struct stat& st, bool usable) {
  FileStamp stamp;
  stamp.usable = usable;
  stamp.size = static_cast<std::uint64_t>(st.st_size);
  stamp.writeTime = Nanoseconds(st.st_mtim);
  stamp.changeTime = Nanoseconds(st.st_ctim);
  stamp.id = static_cast<std::uint64_t>(st.st_ino);
  return stamp;
}

// FAT and exFAT keep no change time and no lasting file numbers.
bool KeepsStamps(DIR* dir) {
  struct statfs info;
  if (::fstatfs(::dirfd(dir), &info) != 0) return false;
  constexpr unsigned long kFat = 0x4d44, kExFat = 0x2011BAB0;
  const auto type = static_cast<unsigned long>(info.f_type);
  return type != kFat && type != kExFat;
}

}  // namespace

namespace raw {

bool Exists(const fs::path& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool IsFolder(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::error_code MakeFolder(const fs::path& path) {
  if (::mkdir(path.c_str(), 0777) != 0) return LastError();
  return {};
}

std::error_code RemoveFolder(const fs::path& path) {
  if (::rmdir(path.c_str()) != 0) return LastError();
  return {};
}

std::error_code List(const fs::path& folder, std::vector<FolderItem>* items, bool stamps) {
  items->clear();
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return LastError();
  const bool usable = stamps && KeepsStamps(dir);
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    FolderItem item;
    item.name = entry->d_name;
    struct stat st;
    if (!stamps && (entry->d_type == DT_REG || entry->d_type == DT_DIR)) {
      // Without stamps the type the listing gives is all that is needed.
      item.folder = entry->d_type == DT_DIR;
      item.file = entry->d_type == DT_REG;
    } else if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0) {
      // Looked up in the folder already open: no walk of the whole path per
      // entry. A link is followed, as opening it would.
      item.folder = S_ISDIR(st.st_mode);
      item.file = S_ISREG(st.st_mode);
      if (stamps && item.file) item.stamp = StampOf(st, usable);
    }
    items->push_back(std::move(item));
    errno = 0;
  }
  const int error = errno;
  ::closedir(dir);
  return error ? std::error_code(error, std::generic_category()) : std::error_code();
}

}  // namespace raw

std::error_code OpenRead(const std::filesystem::path& name, File* file, bool waitIfHeld) {
  file->Close();
  const fs::path path = Seen(name);
  const auto open = [&] { return OpenWith(path, O_RDONLY, &file->h_); };
  return waitIfHeld ? RetryWhileHeld(name, open) : TryUnlessHeld(name, open);
}

std::error_code CreateNew(const std::filesystem::path& name, File* file) {
  file->Close();
  fs::path path;
  if (std::error_code e = view::Resolve(name, Use::kMake, &path)) return e;
  return OpenWith(path, O_WRONLY | O_CREAT | O_EXCL, &file->h_);
}

// Keeping files open gains nothing here (the barrier is one syncfs), so few
// are kept: well under the usual limit of 1,024 descriptors a process.
int MaxFilesKeptOpen() { return 256; }

// Nothing more is needed here to rename a file that is open.
std::error_code CreateNewToRename(const std::filesystem::path& name, File* file) {
  return CreateNew(name, file);
}

std::error_code OpenEdit(const std::filesystem::path& name, File* file) {
  file->Close();
  if (MarkedReadOnly(Seen(name))) return std::make_error_code(std::errc::permission_denied);
  fs::path path;
  if (std::error_code e = view::Resolve(name, Use::kEdit, &path)) return e;
  return RetryWhileHeld(name, [&] { return OpenWith(path, O_RDWR, &file->h_); });
}

std::error_code LookUp(const std::filesystem::path& name, EntryInfo* info) {
  struct stat st;
  if (::stat(Seen(name).c_str(), &st) != 0) return LastError();
  info->folder = S_ISDIR(st.st_mode);
  info->file = S_ISREG(st.st_mode);
  info->size = static_cast<std::uint64_t>(st.st_size);
  info->writeTime = Nanoseconds(st.st_mtim);
  return {};
}

bool NameTaken(const std::filesystem::path& name) { return raw::Exists(Seen(name)); }


std::error_code File::Read(char* buffer, std::size_t size, std::size_t* got) {
  ssize_t n;
  do {
    n = ::read(static_cast<int>(h_), buffer, size);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    *got = 0;
    return LastError();
  }
  *got = static_cast<std::size_t>(n);
  return {};
}

std::error_code File::WriteAll(const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(static_cast<int>(h_), data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return LastError();
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return {};
}

std::error_code File::Size(std::uint64_t* size) {
  struct stat st;
  if (::fstat(static_cast<int>(h_), &st) != 0) return LastError();
  *size = static_cast<std::uint64_t>(st.st_size);
  return {};
}

std::error_code File::Seek(std::uint64_t offset) {
  if (::lseek(static_cast<int>(h_), static_cast<off_t>(offset), SEEK_SET) < 0) return LastError();
  return {};
}

std::error_code File::Sync() {
  if (::fsync(static_cast<int>(h_)) != 0) return LastError();
  return {};
}

std::error_code File::CopyTimeFrom(File& other) {
  struct stat st;
  if (::fstat(static_cast<int>(other.h_), &st) != 0) return LastError();
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  if (::futimens(static_cast<int>(h_), times) != 0) return LastError();
  return {};
}

std::error_code File::StartWriteOut() {
#if defined(__linux__)
  if (::sync_file_range(static_cast<int>(h_), 0, 0, SYNC_FILE_RANGE_WRITE) == 0) return {};
  if (errno != ENOSYS && errno != EINVAL && errno != ESPIPE) return LastError();
#endif
  return {};  // where the system cannot start it, the barrier writes it all
}

std::error_code File::Close() {
  if (h_ == kNone) return {};
  int fd = static_cast<int>(h_);
  h_ = kNone;
  if (::close(fd) != 0 && errno != EINTR) return LastError();
  return {};
}

std::error_code SyncOneFile(const std::filesystem::path& name) {
  int fd = ::open(Seen(name).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return LastError();
  std::error_code e;
  if (::fdatasync(fd) != 0) e = LastError();
  ::close(fd);
  return e;
}

// One syncfs per file system the files lie on: the data whose write-out was
// started is on the disk when it returns, its write errors reported (Linux
// 5.8 on). One flush of the journal for the whole batch, where a flush of
// each new file would commit the journal once per file.
std::error_code SyncFiles(const std::vector<std::filesystem::path>& paths,
                          std::filesystem::path* failed, const std::vector<File*>& held) {
#if defined(__linux__)
  // A file made in a folder lies on that folder's file system: each folder
  // is looked up once, not each file.
  std::vector<std::pair<dev_t, std::filesystem::path>> volumes;
  std::vector<fs::path> folders;
  for (const std::filesystem::path& name : paths) {
    const fs::path path = Seen(name);
    fs::path folder = path.parent_path();
    if (folder.empty()) folder = ".";
    if (std::find(folders.begin(), folders.end(), folder) != folders.end()) continue;
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
      *failed = name;
      return LastError();
    }
    folders.push_back(std::move(folder));
    bool known = false;
    for (const auto& v : volumes) known = known || v.first == st.st_dev;
    if (!known) volumes.emplace_back(st.st_dev, path);
  }
  for (const auto& [device, path] : volumes) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *failed = path;
      return LastError();
    }
    const int error = ::syncfs(fd) != 0 ? errno : 0;
    ::close(fd);
    if (error == ENOSYS) return SyncEachFile(paths, failed, held);
    if (error != 0) {
      *failed = path;
      return std::error_code(error, std::generic_category());
    }
  }
  return {};
#else
  return SyncEachFile(paths, failed, held);
#endif
}

std::error_code SyncFolder(const std::filesystem::path& name) {
  const fs::path folder = Seen(name);
  int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_CLOEXEC);
  if (dir < 0) return LastError();
  std::error_code e;
  if (::fsync(dir) != 0) e = LastError();
  ::close(dir);
  return e;
}

std::error_code ReplaceByRename(const std::filesystem::path& fromName, const std::filesystem::path& toName,
                                bool syncFolder) {
  if (MarkedReadOnly(Seen(toName))) return std::make_error_code(std::errc::permission_denied);
  fs::path from, to;
  if (std::error_code e = view::Resolve(fromName, Use::kRemove, &from)) return e;
  if (std::error_code e = view::Resolve(toName, Use::kWriteOver, &to)) return e;
  if (std::error_code e = RetryWhileHeld(toName, [&] {
        return ::rename(from.c_str(), to.c_str()) != 0 ? LastError() : std::error_code();
      }))
    return e;
  // Make the new name itself durable.
  if (syncFolder) SyncFolder(toName.parent_path());
  return {};
}

// A file is renamed by its name here, open or not; it is closed first, as
// it is everywhere after its rename.
std::error_code ReplaceOpenByRename(File& file, const std::filesystem::path& fromName,
                                    const std::filesystem::path& toName, bool syncFolder) {
  if (std::error_code e = file.Close()) return e;
  std::error_code e = ReplaceByRename(fromName, toName, syncFolder);
  if (!e && raw::OpenRenames().renamed) raw::OpenRenames().renamed(toName, false);
  return e;
}

std::error_code RenameNoReplace(const std::filesystem::path& fromName, const std::filesystem::path& toName) {
  if (NameTaken(toName)) return std::make_error_code(std::errc::file_exists);
  fs::path from, to;
  if (std::error_code e = view::Resolve(fromName, Use::kRemove, &from)) return e;
  if (std::error_code e = view::Resolve(toName, Use::kMake, &to)) return e;
  return RetryWhileHeld(fromName, [&] {
    return ::rename(from.c_str(), to.c_str()) != 0 ? LastError() : std::error_code();
  });
}

std::error_code HardLink(const std::filesystem::path& existingName, const std::filesystem::path& linkName) {
  const fs::path existing = Seen(existingName);
  if (view::InRealFolder(existing)) return std::make_error_code(std::errc::cross_device_link);
  fs::path link;
  if (std::error_code e = view::Resolve(linkName, Use::kMake, &link)) return e;
  if (::link(existing.c_str(), link.c_str()) != 0) return LastError();
  return {};
}

bool IsNoHardLink(const std::error_code& e) {
  return e == std::errc::operation_not_permitted || e == std::errc::cross_device_link ||
         e == std::errc::too_many_links || e == std::errc::not_supported ||
         e == std::errc::operation_not_supported || e == std::errc::function_not_supported;
}

std::error_code DeleteOneFile(const std::filesystem::path& name) {
  struct stat st;
  if (::lstat(Seen(name).c_str(), &st) == 0 && S_ISDIR(st.st_mode))
    return std::make_error_code(std::errc::is_a_directory);
  if (MarkedReadOnly(Seen(name))) return std::make_error_code(std::errc::permission_denied);
  fs::path path;
  if (std::error_code e = view::Resolve(name, Use::kRemove, &path)) return e;
  return RetryWhileHeld(name, [&] { return ::unlink(path.c_str()) != 0 ? LastError() : std::error_code(); });
}

bool IsHeldError(const std::error_code& e, const std::filesystem::path&) {
  return e == std::errc::device_or_resource_busy || e == std::errc::text_file_busy;
}

// No system here tells which program holds a file.
std::string ProgramsHolding(const std::filesystem::path&) { return {}; }



bool IsCrossDevice(const std::error_code& error) { return error == std::errc::cross_device_link; }

bool IsMarkedReadOnly(const std::filesystem::path& path) { return MarkedReadOnly(Seen(path)); }

}  // namespace lup::os
