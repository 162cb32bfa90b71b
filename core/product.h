#pragma once
// The product's own names: the titles of the three programs' message boxes,
// the version box, and the launcher's file name that the other two start.
#include <string>
#include <string_view>
#include <utility>

#include "platform/program.h"

namespace lup {

inline constexpr const char* kLauncherTitle = "ルピナ・ヴィラ";
inline constexpr const char* kUtilityTitle = "ルピナ・ヴィラ用ユーティリティ";
inline constexpr const char* kSnackTitle = "ルピナ・ヴィラ用おやつ管理ツール";
inline constexpr const char* kVersionBoxTitle = "ﾊﾞｰｼﾞｮﾝ情報";

// lupina.exe, in the folder of the program that starts it.
inline constexpr const char* kLauncherFileName = "lupina.exe";
inline constexpr const char* kUtilityFileName = "lupset.exe";
inline constexpr const char* kSnackFileName = "lupsnack.exe";

// The name a user knows one of the three programs by, from its file name
// ("ルピナ・ヴィラ用ユーティリティ（lupset.exe）"); the file name alone for any other.
inline std::string ProgramTitle(std::string_view fileName) {
  const std::string file(fileName);
  for (const auto& [name, title] : {std::pair{kLauncherFileName, kLauncherTitle},
                                    std::pair{kUtilityFileName, kUtilityTitle},
                                    std::pair{kSnackFileName, kSnackTitle}})
    if (file == name) return std::string(title) + "（" + file + "）";
  return file;
}

// The text of a version box: "ルピナ・ヴィラ Ver.1.64" for major 1, minor 6 and
// revision 4 (the minor and revision digits written together).
inline std::string VersionText(std::string_view product, const VersionNumber& v) {
  return std::string(product) + " Ver." + std::to_string(v.major) + "." + std::to_string(v.minor) +
         std::to_string(v.revision);
}

}  // namespace lup
