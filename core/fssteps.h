#pragma once
// The file-system steps that moving a pet's data is made of. Each one changes
// the disk only through the funnel (core/fileops.h) and returns an OpResult
// that the caller may pass over or check. The queries FileExists,
// EntryExists, IsFolder and AnyFileMatches are in core/fsquery.h.
#include <filesystem>

#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/result.h"

namespace lup {

// Deletes every ordinary file that folder\*.* matches, leaving sub-folders.
// Deleting with no match is an error (not found), as on Windows: callers test
// AnyFileMatches first. Goes on after a file that cannot be deleted and
// returns the first failure.
OpResult DeleteMatching(const std::filesystem::path& folder);

// Creates one folder (its parent must exist); an existing one is an error.
OpResult MakeFolder(const std::filesystem::path& path);

// Creates `folder` and any missing parents, each level through the funnel;
// an existing folder is nothing to do, a file of its name an error.
OpResult EnsureFolder(const std::filesystem::path& folder);

enum class ShellOp { Copy, Move };
// The shell's code for a move is 1; every other value means a copy.
inline ShellOp ShellOpFromCode(int code) { return code == 1 ? ShellOp::Move : ShellOp::Copy; }

struct FolderOpResult {
  OpResult result;   // ok, or the first failing file
  int filesDone = 0; // files copied or moved before the end (or the failure)
  bool ok() const { return result.ok(); }
  explicit operator bool() const { return ok(); }
};

// Copies or moves files the way the shell's file operation does with "files
// only, no confirmation, silent":
//  - `from` is a path ending in a wild-card pattern (the callers pass
//    folder / "*.*") or one file. Only the TOP-LEVEL ordinary files that
//    match are taken, never sub-folders, and never the funnel's temporary
//    files that a killed program may have left (IsTempName).
//  - `to` is the destination folder; existing files of the same names are
//    replaced (each copy atomically). When `to` does not exist it is created
//    (with its missing parent folders), as the shell does.
//  - When `from` or `to` is empty nothing happens (ok, 0 files).
//  - When nothing matches (the source folder is missing or holds no file),
//    nothing happens (ok, 0 files). A source folder that cannot be listed
//    is an error (Action::List), never taken for an empty one.
//  - The files are taken in listing order; the operation stops at the first
//    failing file and reports it. Moved files before it stay moved. Copies
//    are one CopyBatch: a copy that fails before the renames leaves every
//    target as it was; one whose rename fails leaves the targets renamed
//    before it replaced. Each target is whole, old or new; the callers
//    decide what to do.
//  - With a `batch` (copies only) the copies are left to it: nothing is
//    replaced before the caller commits it; filesDone counts the copies
//    handed to it.
FolderOpResult ShellFileOp(const std::filesystem::path& from, const std::filesystem::path& to,
                           ShellOp op, CopyBatch* batch = nullptr);

}  // namespace lup
