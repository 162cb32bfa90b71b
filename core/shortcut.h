#pragma once
// Per-pet shortcut files: their name, and writing one atomically.
#include <filesystem>
#include <string>
#include <string_view>

#include "core/result.h"
#include "platform/shell.h"

namespace lup {

// The file name of `pet`'s shortcut: the name and ".LNK", unless it ends in
// ".lnk" in any letter case already ("x.lnk" stays "x.lnk").
std::string ShortcutFileName(std::string_view pet);

// Writes `link` as the shortcut file `file` through the funnel: a temporary
// file beside it, then renamed over it, so that a shortcut of that name is
// replaced whole or not at all. A shortcut that cannot be made is a Write
// failure of `file`.
OpResult WriteShortcut(const std::filesystem::path& file, const Shortcut& link);

}  // namespace lup
