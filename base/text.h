#pragma once
// UTF-8 text <-> std::filesystem::path. A path built from a plain std::string
// would be read in the ANSI code page on Windows; always go through these.
#include <filesystem>
#include <optional>
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

// A whole number written in decimal: an optional "-" and one to nine ASCII
// digits, nothing before or after them. nullopt for anything else (a blank,
// a "+", a second sign, ten digits or more). Readers that allow blanks or a
// "+" around a number remove them first.
std::optional<int> ParseDecimal(std::string_view text);

// True when `name` is `root` or lies under it, each part compared as Windows
// compares names (letter case aside); `*rest` is the part below (empty for
// `root` itself).
bool LiesUnder(const std::filesystem::path& name, const std::filesystem::path& root,
               std::filesystem::path* rest = nullptr);

}  // namespace lup
