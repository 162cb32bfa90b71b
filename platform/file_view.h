#pragma once
// Inside the raw file layer: each name a raw call is given is resolved here
// first, as the host's view of its folder has it (host_view.h). While no
// VirtualStore is in use every name stands for itself.
//
// Under the real folder R with its VirtualStore copy V, a name R\x is
//   looked at (opened to read, looked up, flushed, listed):  V\x where that
//       exists, else R\x;
//   made (a new file, folder or second name):  V\x, its folders made in V as
//       the view has them; refused as taken when the view already has x;
//   written over (a rename's target, a file changed in place):  V\x; a file
//       changed in place that only R has is first copied to V\x, as Windows
//       does for the host;
//   removed (deleted, renamed away):  V\x; refused while R\x exists, which
//       this user cannot remove and which would show again in its place.
// A listing of R\x is the union of R\x and V\x, V winning for a name in both.
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/osfile.h"

namespace lup::os::view {

enum class Use { kLook, kMake, kWriteOver, kEdit, kRemove };

// `*resolved` is the name the system call is given; an error means the step
// cannot be done in the host's view (nothing was changed).
std::error_code Resolve(const std::filesystem::path& name, Use use, std::filesystem::path* resolved);

// The folder's entries as the host's view shows them.
std::error_code List(const std::filesystem::path& folder, std::vector<FolderItem>* items,
                     bool stamps = false);

// For a hard link: true when `existing` resolves to a file of the real folder
// (this user cannot give it another name there; a copy serves instead).
bool InRealFolder(const std::filesystem::path& resolved);

}  // namespace lup::os::view

namespace lup::os::raw {
// What each system's file layer provides to the view, on names already
// resolved.
bool Exists(const std::filesystem::path& path);
bool IsFolder(const std::filesystem::path& path);
std::error_code MakeFolder(const std::filesystem::path& path);
std::error_code RemoveFolder(const std::filesystem::path& path);
std::error_code List(const std::filesystem::path& folder, std::vector<FolderItem>* items,
                     bool stamps = false);
// The seam set by SetOpenRenameSeam.
const OpenRenameSeam& OpenRenames();
}  // namespace lup::os::raw
