#pragma once
// UTF-8 text <-> std::filesystem::path. A path built from a plain std::string
// would be read in the ANSI code page on Windows; always go through these.
#include <filesystem>
#include <string>
#include <string_view>

namespace lup {

// The line break inside message texts and list-file records.
inline constexpr const char* kCrLf = "\r\n";

inline std::filesystem::path U8Path(std::string_view utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string PathText(const std::filesystem::path& p) {
  std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

// The last element of a path as UTF-8 (a file or folder name).
inline std::string NameText(const std::filesystem::path& p) { return PathText(p.filename()); }

}  // namespace lup
