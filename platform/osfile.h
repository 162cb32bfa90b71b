#pragma once
// The few raw file calls the funnel and the readers are built on, with the
// system's own error codes: POSIX calls natively (osfile_posix.cpp), the W
// calls of Windows in the Windows build (osfile_win32.cpp). Only core/ uses
// this; everything else goes through core/fileops.h and core/fsquery.h.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

namespace lup::os {

// An open file; closed by its destructor (use Close to see the error).
class File {
 public:
  File() = default;
  ~File();
  File(File&& other) noexcept : h_(other.h_) { other.h_ = kNone; }
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool open() const { return h_ != kNone; }
  std::error_code Read(char* buffer, std::size_t size, std::size_t* got);
  std::error_code WriteAll(const char* data, std::size_t size);
  std::error_code Size(std::uint64_t* size);
  std::error_code Seek(std::uint64_t offset);
  std::error_code Sync();   // flushes the data to the disk
  // Gives this file the last-write time of the open file `other`.
  std::error_code CopyTimeFrom(File& other);
  // Asks the system to start writing the data out and returns without
  // waiting: nothing is durable yet, SyncFiles makes it so.
  std::error_code StartWriteOut();
  std::error_code Close();

 private:
  friend std::error_code OpenRead(const std::filesystem::path&, File*, bool);
  friend std::error_code CreateNew(const std::filesystem::path&, File*);
  friend std::error_code CreateNewToRename(const std::filesystem::path&, File*);
  friend std::error_code ReplaceOpenByRename(File&, const std::filesystem::path&,
                                             const std::filesystem::path&, bool);
  friend std::error_code OpenEdit(const std::filesystem::path&, File*);
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t h_ = kNone;
};

// `waitIfHeld` false: a file another program holds fails at once (for a
// look that may be passed over; see RetryWhileHeld).
std::error_code OpenRead(const std::filesystem::path& path, File* file, bool waitIfHeld = true);
// Creates a new file for writing; fails when the name exists.
std::error_code CreateNew(const std::filesystem::path& path, File* file);
// CreateNew for a file that stays open until ReplaceOpenByRename gives it
// its target's name: on Windows opened with the access a rename through
// the handle needs, so that the file is never opened again by name.
std::error_code CreateNewToRename(const std::filesystem::path& path, File* file);
// How many files made by CreateNewToRename the funnel may keep open at
// once (the system's own limits, with room to spare).
int MaxFilesKeptOpen();
// Opens an existing file for reading and writing in place.
std::error_code OpenEdit(const std::filesystem::path& path, File* file);

// What a name holds, from its directory entry (no file is opened): whether
// it is a folder and, for a file, its size. Fails when nothing is there.
struct EntryInfo {
  bool folder = false;
  bool file = false;  // an ordinary file (not a folder, device or link to nowhere)
  std::uint64_t size = 0;
  std::int64_t writeTime = 0;  // as in FileStamp
};
std::error_code LookUp(const std::filesystem::path& path, EntryInfo* info);

// True when anything at all has the name (also a link to nowhere).
bool NameTaken(const std::filesystem::path& path);

// What the file system keeps of a file beside its data, enough to tell that
// it was not written since: its size, last-write time, change time (any
// write, rename or change of its attributes sets it; nobody sets it back)
// and the number that identifies the file on its volume. The times count
// in the system's own units (100 ns on Windows, 1 ns elsewhere) from the
// system's own epoch. `usable` is false where the file system keeps no
// change time or file number (FAT, exFAT): such a stamp proves nothing.
struct FileStamp {
  bool usable = false;
  std::uint64_t size = 0;
  std::int64_t writeTime = 0;
  std::int64_t changeTime = 0;
  std::uint64_t id = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// One entry of a folder, as its listing gives it.
struct FolderItem {
  std::filesystem::path name;  // the name alone
  bool folder = false;
  bool file = false;  // an ordinary file
  FileStamp stamp;    // a file's, when the listing was asked for stamps
};
// The entries of `folder`, in the system's order, without "." and "..".
// With `stamps` each file's FileStamp too, from the same one query of the
// folder (no file is opened).
std::error_code ListOneFolder(const std::filesystem::path& folder, std::vector<FolderItem>* items,
                              bool stamps = false);

// Reads a whole file.
std::error_code ReadWhole(const std::filesystem::path& path, std::string* bytes);

// Makes the data of every file in `paths` (files whose write-out was
// started) durable, as one barrier for the lot: on Linux one syncfs per
// file system, elsewhere SyncEachFile. `held[i]`, where given and open, is
// paths[i] still open since its write: it is flushed through that handle,
// the others are opened again by name. On failure `*failed` names a file
// that could not be made durable (the first one).
std::error_code SyncFiles(const std::vector<std::filesystem::path>& paths,
                          std::filesystem::path* failed, const std::vector<File*>& held = {});
// Each file's data flush (fdatasync, FlushFileBuffers), issued from a few
// threads at once so that the waits for the disk overlap.
std::error_code SyncEachFile(const std::vector<std::filesystem::path>& paths,
                             std::filesystem::path* failed, const std::vector<File*>& held = {});
// One file's data made durable.
std::error_code SyncOneFile(const std::filesystem::path& path);

// Renames `from` over `to`, replacing it (one step on the same volume).
// With `syncFolder` the new name is made durable at once; a batch of renames
// passes false and calls SyncFolder once per folder afterwards.
std::error_code ReplaceByRename(const std::filesystem::path& from, const std::filesystem::path& to,
                                bool syncFolder = true);
// ReplaceByRename for `file`, open since CreateNewToRename made it as
// `fromName`. On Windows renamed through its handle (no open by name);
// where the file system refuses that (some network shares and FAT drivers
// answer "invalid parameter", "not supported" or "invalid function"), the
// file is closed and renamed by name. Every other failure is the one the
// rename by name would give, tried again the same way while the target is
// held. Elsewhere closed, then renamed by name. `file` is closed on return,
// renamed or not.
std::error_code ReplaceOpenByRename(File& file, const std::filesystem::path& fromName,
                                    const std::filesystem::path& toName, bool syncFolder = true);
// Makes the names in `folder` durable (where the system needs that).
std::error_code SyncFolder(const std::filesystem::path& folder);
// Renames without replacing; an existing `to` is an error.
std::error_code RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to);
std::error_code DeleteOneFile(const std::filesystem::path& path);
// A second name `link` for the existing file `existing` (a hard link: one
// change to the folder, no data copied); an existing `link` is an error.
// Fails on file systems that have no such names (FAT, some shares).
std::error_code HardLink(const std::filesystem::path& existing, const std::filesystem::path& link);
// True when HardLink failed because the file system cannot give the file
// another name (or no more of them), not for a full disk or a missing file.
bool IsNoHardLink(const std::error_code& error);
std::error_code MakeOneFolder(const std::filesystem::path& path);
std::error_code RemoveEmptyFolder(const std::filesystem::path& path);

// ---- files another program holds for a moment ---------------------------
// On Windows an antivirus, the search indexer or a backup or sync client
// often holds a fresh file for a moment: opening, renaming over, renaming
// or deleting it then fails with a sharing violation, a lock violation, a
// pending delete or access denied. The calls above that open, rename or
// delete try again while they fail so, with growing waits (from 10 ms,
// doubling, at most 500 ms each) for about kHeldPatienceMs in all, then
// fail as they did.
inline constexpr int kHeldPatienceMs = 3000;

// True for the errors a file held by another program gives (on Windows:
// sharing or lock violation, pending delete, access denied on a file that is
// not read-only; elsewhere: busy).
bool IsHeldError(const std::error_code& error, const std::filesystem::path& path);

// `attempt`, tried again as described above while it fails as on a held
// file `path`.
std::error_code RetryWhileHeld(const std::filesystem::path& path,
                               const std::function<std::error_code()>& attempt);
// `attempt` once, not waited for (a held file fails it at once).
std::error_code TryUnlessHeld(const std::filesystem::path& path,
                              const std::function<std::error_code()>& attempt);

// The programs holding `path` open, as Windows can tell (its Restart
// Manager): their names, comma-separated; empty when it cannot say.
std::string ProgramsHolding(const std::filesystem::path& path);

// For tests: another program that holds files, and the waits. Before each
// try of a step on `path`, `holds(path)` is asked: an error fails that try
// with it. `sleep` stands for each wait. Empty members: the system's own.
struct HeldFilesSeam {
  std::function<std::error_code(const std::filesystem::path&)> holds;
  std::function<void(int ms)> sleep;
};
void SetHeldFilesSeam(HeldFilesSeam seam);

// For tests: the renames through a handle (ReplaceOpenByRename on
// Windows). Before each try, `refuse(to)` is asked: an error stands for the
// system's answer to that try. `renamed(to, byHandle)` is told how each one
// that succeeded went. Empty members: the system's own answers, no report.
struct OpenRenameSeam {
  std::function<std::error_code(const std::filesystem::path& to)> refuse;
  std::function<void(const std::filesystem::path& to, bool byHandle)> renamed;
};
void SetOpenRenameSeam(OpenRenameSeam seam);

// True when the error means "source and target are on different volumes".
bool IsCrossDevice(const std::error_code& error);

// True for an ordinary file the user marked read-only (on POSIX systems: one
// without write permission), which the layer never replaces, changes or deletes.
bool IsMarkedReadOnly(const std::filesystem::path& path);

}  // namespace lup::os
