#pragma once
// The host folder as the host itself sees it.
//
// The host is a 32-bit program without a requested execution level. Run
// without elevation from a folder Windows protects (Program Files, the
// Windows folder, ProgramData), its writes there are redirected to the
// user's VirtualStore (%LOCALAPPDATA%\VirtualStore\<the folder without its
// drive>) and it reads a merged view: a file in the VirtualStore hides the
// one of the same name in the real folder; listings are the union. Our
// programs are 64-bit with a requested execution level, so Windows never
// does this for them: they must do it themselves (UseVirtualStore) to see
// the pets' data where the host keeps it.
#include <filesystem>
#include <functional>
#include <string>

namespace lup::os {

// What decides the host's view of its folder D.
struct HostViewFacts {
  bool protectedFolder = false;  // D lies under a folder Windows protects
  bool elevated = false;         // this program runs elevated (the host it starts would too)
  bool virtualization = false;   // UAC and its file virtualization are on
  bool hostRedirected = false;   // the host program is 32-bit without a requested execution level
  bool folderWritable = true;    // this user can write to D itself
  std::filesystem::path store;   // D's VirtualStore folder (empty where there is none)
  bool storeExists = false;      // that folder exists
};

// Looks at the system (Windows); elsewhere nothing is redirected. The seam,
// when set, answers instead (Wine has no virtualization).
HostViewFacts LookAtHostView(const std::filesystem::path& hostFolder,
                             const std::filesystem::path& hostProgram);
void SetHostViewSeam(
    std::function<HostViewFacts(const std::filesystem::path&, const std::filesystem::path&)> seam);

enum class HostView {
  kReal,               // the host sees D as it is
  kVirtualStore,       // the host sees D merged with its VirtualStore copy
  kElevatedBesideStore,  // we run elevated while a VirtualStore copy exists:
                         // the host we start would see D without the user's copy
};
HostView HostViewOf(const HostViewFacts& facts);

// The view decided for the host folder `folder` (by its settings' read):
// kVirtualStore also puts the raw file layer on it (UseVirtualStore), any
// other view takes it off. HostViewInUse gives it back (kReal for any other
// folder).
void UseHostView(const std::filesystem::path& folder, HostView view, const std::filesystem::path& store);
HostView HostViewInUse(const std::filesystem::path& folder);

// From now on every name under `real` is resolved by the raw file layer as
// the host's view does (see file_view.h); empty paths end that.
void UseVirtualStore(const std::filesystem::path& real, const std::filesystem::path& store);

// The failure of a step the host's view cannot take: the name lies in the
// real folder, which this user cannot change (and whose file would show
// again in place of a removed copy).
std::error_code InRealFolderError();
bool IsInRealFolderError(const std::error_code& error);

// For tests: every change the raw file layer would make under `folder`
// fails with "access denied", as Windows refuses it to a standard user in
// Program Files; an empty path ends that.
void RefuseChangesUnder(const std::filesystem::path& folder);

namespace detail {
// What the system says (platform/win32/host_view_win32.cpp; elsewhere all
// false). LookAtHostView asks it when no seam is set.
HostViewFacts SystemHostView(const std::filesystem::path& hostFolder,
                             const std::filesystem::path& hostProgram);
}  // namespace detail

}  // namespace lup::os
