#pragma once
// The name the raw file layer hands to the W calls for a path: the path as
// it is while it is short; from MAX_PATH less 12 characters (where
// CreateDirectoryW stops taking a name) the "\\?\" form, absolute, with
// backslashes only and no "." or ".." parts, which the calls take up to
// 32,767 characters long.
#include <filesystem>
#include <string>

namespace lup::os {

std::wstring SystemName(const std::filesystem::path& path);

}  // namespace lup::os
