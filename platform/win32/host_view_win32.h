#pragma once
// The pieces of SystemHostView (host_view_win32.cpp) that need no particular
// system state, apart so that they can be tried on their own.
#include <filesystem>
#include <string>

namespace lup::os::detail {

// `path` is `folder` itself or lies under it. Both are full paths; letter
// case is ignored as the file system ignores it, and only whole names count
// ("C:\Program Files (x86)" is not under "C:\Program Files"). Trailing
// backslashes and '/' for '\' make no difference.
bool IsUnderFolder(const std::wstring& path, const std::wstring& folder);

// Whether Windows would redirect the writes of the program `exe` into
// protected folders: it is a 32-bit (i386) image whose manifest asks for no
// execution level, or that has no manifest at all. False when the file is
// missing, is no image, or cannot be mapped as one (then it cannot be
// started either).
bool IsRedirectedHostProgram(const std::filesystem::path& exe);

// Where Windows puts the redirected files of the full path `folder`:
// <localAppData>\VirtualStore\<folder without its drive>. Empty for a path
// without a drive letter (a share, or no full path).
std::filesystem::path VirtualStoreFolderOf(const std::filesystem::path& folder,
                                           const std::filesystem::path& localAppData);

}  // namespace lup::os::detail
