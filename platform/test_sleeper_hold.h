#pragma once
// The test helper's --hold: opens `file` and leaves it open until the helper
// ends, sharing it for reading and writing but not for deleting or renaming
// (as an antivirus does). Windows only; elsewhere it does nothing.
#include <filesystem>

void HoldFileOpen(const std::filesystem::path& file);
