#pragma once
// The version resource of an executable file.
#include <filesystem>
#include <optional>

#include "platform/program.h"

namespace lup {

// The file version of `file` (a.b.0.c gives major a, minor b, revision c);
// nullopt when the file carries no version resource.
std::optional<VersionNumber> FileVersion(const std::filesystem::path& file);

}  // namespace lup
