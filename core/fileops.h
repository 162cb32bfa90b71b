#pragma once
// The funnel: the one object through which every change to the disk goes.
//
//   lup::Fs().Copy(from, to)          copy one file, replacing `to` atomically
//   lup::Fs().Write(path, bytes)      write a whole file atomically
//   lup::Fs().EditBytes(path, 881, b) change bytes in place
//
// Atomic replacement: Copy and Write write a temporary file named
// "~lupina-tmp-XXXXXXXXXXXXXXXX.tmp" in the destination folder, flush it to the disk, then rename
// it over the target. A program killed meanwhile leaves the old file or the
// new one, never half a file (at most a stray temporary file, which the next
// Copy or Write into that folder removes: each instance sweeps a folder once,
// before its first temporary file there). On any failure the temporary file
// is removed and the target is untouched.
//
// A copy whose target already holds the same bytes (the same size, then the
// same content) writes nothing: the target, its time stamp included, stays
// as it is.
//
// Folder copies go through a CopyBatch: every file of the batch is written
// to its temporary name and its write-out started, one barrier makes them
// all durable, then each is renamed over its target. The order "data
// durable before the rename that publishes it" holds for every file.
//
// Every operation returns an OpResult (core/result.h) naming the failing path
// and the system error; nothing is hidden.
//
// Tests install their own instance with ScopedFileOps and can make the Nth
// operation fail (once or from then on) with a chosen error, count the
// operations and record a journal of them. Each public call below is one
// operation.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "core/result.h"
#include "core/same_files.h"
#include "platform/osfile.h"

namespace lup {

// Length of the temporary names ("~lupina-tmp-" + 16 lower-case hex digits +
// ".tmp") in the destination folders; the pet-name check keeps room for it.
// The mark and the 64 random bits make a name no host or user file carries,
// so that a file taken for a leftover of ours is always one.
inline constexpr int kTempNameLength = 32;

// True for names of our temporary files (left behind only by a killed program).
bool IsTempName(std::string_view fileName);

// Removes the files under our temporary names in `folder` (a killed program's
// leftovers); any other file is left alone, and a leftover that cannot be
// removed stays for a later try. Returns how many were removed.
int RemoveStrayTemps(const std::filesystem::path& folder);

// Where an injected fault strikes.
enum class FaultPoint {
  Start,          // the operation fails before it changes anything
  BeforeReplace,  // Copy/Write: the temporary file is written whole, then the
                  // rename over the target fails (other operations: as Start)
};

class FileOps;

// A temporary file of the funnel's: its name and, while one of the Cap()
// places is its own, the file kept open from its write through the barrier
// to its rename (flushed and, on Windows, renamed through its handle: no
// open by name for either).
class TempFile {
 public:
  TempFile() = default;
  ~TempFile() { Close(); }
  TempFile(TempFile&& other) noexcept;
  TempFile& operator=(TempFile&& other) noexcept;
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // How many temporary files all batches of the process may keep open at
  // once (os::MaxFilesKeptOpen: each is a handle, and a descriptor of the
  // system, whose number is limited). The files beyond it are closed after
  // their write and opened again by name for the flush and the rename.
  static int Cap();
  // Takes a place under the cap; false when all are taken.
  bool Hold();
  bool held() const { return held_; }
  // Closes the file if it is open and gives its place back.
  void Close();
  // The temporary files kept open now, by every batch of the process.
  static int HeldNow();

  std::filesystem::path path;
  os::File file;

 private:
  bool held_ = false;
};

// What a batch does with the files it replaces and removes when it keeps
// them (an earlier generation of the backup): each is handed over before it
// is replaced, or in place of its deletion, and the targets that are new
// are named once, before the first rename. A failure stops the batch there,
// as a failed rename does.
class ReplacedFiles {
 public:
  virtual ~ReplacedFiles() = default;
  virtual OpResult New(const std::vector<std::filesystem::path>& targets) = 0;
  virtual OpResult Replacing(const std::filesystem::path& target) = 0;
  virtual OpResult Removing(const std::filesystem::path& target) = 0;
  // A folder the batch's owner is about to make for its copies.
  virtual OpResult MakingFolder(const std::filesystem::path& folder) = 0;
};

// Copies made durable together (see FileOps::Copy). Commit makes every
// temporary file of the batch durable with one barrier, then renames each
// over its target in the order the copies were asked, and makes the new
// names durable once per folder. A failure anywhere (a copy of the batch,
// the barrier, a rename) removes every temporary file not yet renamed, and
// Commit reports the failing file; the targets renamed before it stay
// replaced, each one whole. A batch dropped without Commit, or one with a
// failed copy, renames nothing and removes all its temporary files.
// Files given to RemoveAfter are deleted (each a Delete of the funnel) only
// when every copy is in place and durable, and only then. After Commit the
// batch is empty and can take new copies.
class CopyBatch {
 public:
  CopyBatch() = default;
  ~CopyBatch();
  CopyBatch(const CopyBatch&) = delete;
  CopyBatch& operator=(const CopyBatch&) = delete;

  OpResult Commit();
  // Deletes `file` after the copies (a folder refreshed: what its source no
  // longer holds); stops at the first failing deletion.
  void RemoveAfter(std::filesystem::path file) { removals_.push_back(std::move(file)); }
  // Copies complete so far: targets replaced by Commit, and those that
  // already held the same bytes, up to a failure.
  int Done() const { return done_; }
  // From now on the files this batch replaces or removes go to `keeper`.
  void KeepReplacedIn(ReplacedFiles* keeper) { keeper_ = keeper; }
  // Once Commit has succeeded, the folders of `alike` are recorded as
  // holding its files alike (core/same_files.h).
  void RecordAlikeAfter(AlikeFolders alike) { alike_.push_back(std::move(alike)); }

 private:
  friend class FileOps;
  struct Staged {
    std::filesystem::path from, to;
    TempFile temp;            // no name: `to` holds the bytes already
    std::error_code fault;    // an injected fault that strikes at the rename
    std::size_t journalIndex; // the copy's record in the journal, if kept
  };
  void Discard(std::size_t from);
  OpResult CommitCopies();

  FileOps* ops_ = nullptr;
  std::vector<Staged> staged_;
  std::vector<std::filesystem::path> removals_;
  OpResult failed_;  // the first failed copy of the batch
  int done_ = 0;
  ReplacedFiles* keeper_ = nullptr;
  std::vector<AlikeFolders> alike_;
};

class FileOps {
 public:
  // `keepJournal`: record every operation (see Journal); the process-wide
  // default instance keeps none.
  explicit FileOps(bool keepJournal = true) : keepJournal_(keepJournal) {}
  FileOps(const FileOps&) = delete;
  FileOps& operator=(const FileOps&) = delete;

  // Copies the ordinary file `from` to `to`, replacing `to` when it exists
  // (atomically). Keeps the source's last-write time. `to` must not be a folder.
  // With a `batch` the temporary file is written and left for the batch's
  // Commit: `to` is not replaced before then.
  OpResult Copy(const std::filesystem::path& from, const std::filesystem::path& to,
                CopyBatch* batch = nullptr);

  // What is known of one copy of CopyAll before it starts, from the
  // folders' records (core/same_files.h).
  struct CopyHint {
    // Both ends hold the same bytes already: neither file is opened.
    bool alike = false;
    // The sum of the bytes at both ends then, when known.
    std::optional<std::uint64_t> sum;
    // The sum of the bytes the target holds now, when known: a source of
    // another sum is written without the target being opened to compare.
    std::optional<std::uint64_t> targetSum;
  };

  // Copies each (from, to) of `copies` into `batch` as Copy would, one after
  // the other, stopping at the first that fails: the same operations
  // counted, journaled and staged, the same failure returned. The files are
  // compared and written from a few threads at once. `*done` counts the
  // copies that succeeded. With `hints` (one for each copy, or none), a copy
  // known alike is counted and journaled, and neither file is opened. With
  // `sums`, each copy's is the sum of the bytes its target holds once the
  // batch is in, where known.
  OpResult CopyAll(const std::vector<std::pair<std::filesystem::path, std::filesystem::path>>& copies,
                   CopyBatch& batch, int* done, const std::vector<CopyHint>* hints = nullptr,
                   std::vector<std::optional<std::uint64_t>>* sums = nullptr);

  // Moves the file `from` to `to`, replacing `to` when it exists. A rename
  // when both lie on one volume, otherwise an atomic copy and a delete.
  OpResult Move(const std::filesystem::path& from, const std::filesystem::path& to);

  // Renames a file or folder; fails (AlreadyExists) when `to` exists.
  OpResult Rename(const std::filesystem::path& from, const std::filesystem::path& to);

  // Gives the file `from` the second name `to` (a hard link: the folder
  // changes, no data is written); fails (AlreadyExists) when `to` exists,
  // and where the file system has no such names.
  OpResult Link(const std::filesystem::path& from, const std::filesystem::path& to);
  // True when a Link failed because the disk has no second names for a file.
  static bool IsNoLink(const OpResult& failed);

  // Deletes one ordinary file; a missing file or a folder is an error.
  OpResult Delete(const std::filesystem::path& path);

  // Creates one folder level (the parent must exist); an existing entry of
  // that name is an error (AlreadyExists).
  OpResult MakeFolder(const std::filesystem::path& path);

  // Removes one empty folder.
  OpResult RemoveFolder(const std::filesystem::path& path);

  // Writes `bytes` as the whole content of `path`, replacing it atomically.
  OpResult Write(const std::filesystem::path& path, std::string_view bytes);

  // Overwrites bytes of an existing file in place, starting at `offset`. The
  // file keeps its length: a change that would reach past the end is refused
  // (FileTooShort) and nothing is written.
  OpResult EditBytes(const std::filesystem::path& path, std::uint64_t offset,
                     std::string_view bytes);

  // ---- for tests -------------------------------------------------------
  // Makes operation number `nth` (1 = the next operation counted from the
  // creation of this object, see Count) fail with `error`; with
  // `fromThenOn` every later operation fails as well.
  void FailAt(int nth, std::error_code error, bool fromThenOn = false,
              FaultPoint point = FaultPoint::Start);
  // Makes every listing of the folder `path`, or every read of the file
  // `path`, fail with `error` (until ClearFaults). Listings and reads are
  // not operations: they are not counted and not journaled.
  void FailReadsOf(const std::filesystem::path& path, std::error_code error);
  // The fault a listing or read of `path` meets; empty when none.
  std::error_code ReadFault(const std::filesystem::path& path) const;
  void ClearFaults();
  // Number of operations asked of this object so far (failed ones included).
  int Count() const { return count_; }

  // What reached the disk, for the tests of power cuts: every file's data
  // written (not yet durable), made durable, and every change of names, in
  // the order the system was asked, from every thread of the process. Folders
  // are left out (a power cut keeps a folder or not; the files decide).
  struct DiskEvent {
    enum class Kind { kWrite, kDurable, kRename, kLink, kDelete };
    Kind kind;
    std::filesystem::path path;   // kRename: the old name; kLink: the file
    std::filesystem::path other;  // kRename: the new name; kLink: the second name
    std::string bytes;            // kWrite: the file's content afterwards
    std::string lost;             // kWrite: what the file holds when the write is lost
  };
  // Records into `events` (nullptr: stops); process-wide.
  static void RecordDiskEvents(std::vector<DiskEvent>* events);

  struct Record {
    Action action;
    std::filesystem::path path;
    std::filesystem::path other;
    bool ok;
  };
  // Every operation since creation (or ClearJournal), in order, with its
  // outcome; empty when the instance keeps no journal.
  const std::vector<Record>& Journal() const { return journal_; }
  void ClearJournal() { journal_.clear(); }

 private:
  // Counts the operation, and returns the injected fault that applies to it
  // (empty when none) together with its point.
  std::error_code Begin(FaultPoint* point);
  OpResult Finish(OpResult r, const std::filesystem::path& path,
                  const std::filesystem::path& other);
  std::error_code BeginCopy(const std::filesystem::path& to, FaultPoint* point, bool knownAlike = false);
  OpResult EndCopy(OpResult r, const std::filesystem::path& from, const std::filesystem::path& to,
                   std::error_code fault, TempFile& staged, CopyBatch* batch);
  friend class CopyBatch;
  void MarkFailed(std::size_t journalIndex);

  bool keepJournal_;
  int count_ = 0;
  int failAt_ = 0;
  bool failFromThenOn_ = false;
  std::error_code failError_;
  FaultPoint failPoint_ = FaultPoint::Start;
  std::vector<Record> journal_;
  std::vector<std::pair<std::filesystem::path, std::error_code>> readFaults_;
  // Folders already swept of stray temporary files (see Copy).
  std::vector<std::filesystem::path> swept_;
  void SweepOnce(const std::filesystem::path& folder);
};

// The process-wide funnel that every module uses.
FileOps& Fs();

// Installs `ops` as Fs() for its lifetime (tests); restores the previous one.
class ScopedFileOps {
 public:
  explicit ScopedFileOps(FileOps& ops);
  ~ScopedFileOps();
  ScopedFileOps(const ScopedFileOps&) = delete;
  ScopedFileOps& operator=(const ScopedFileOps&) = delete;

 private:
  FileOps* previous_;
};

}  // namespace lup
