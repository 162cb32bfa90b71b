#pragma once
// The product's own names: the titles of the three programs' message boxes,
// the version box, and the launcher's file name that the other two start.
#include <string>
#include <string_view>

#include "platform/program.h"

namespace lup {

inline constexpr const char* kLauncherTitle = "ルピナ・ヴィラ";
inline constexpr const char* kUtilityTitle = "ルピナ・ヴィラ用ユーティリティ";
inline constexpr const char* kSnackTitle = "ルピナ・ヴィラ用おやつ管理ツール";
inline constexpr const char* kVersionBoxTitle = "ﾊﾞｰｼﾞｮﾝ情報";

// lupina.exe, in the folder of the program that starts it.
inline constexpr const char* kLauncherFileName = "lupina.exe";

// The text of a version box: "ルピナ・ヴィラ Ver.1.64" for major 1, minor 6 and
// revision 4 (the minor and revision digits written together).
inline std::string VersionText(std::string_view product, const VersionNumber& v) {
  return std::string(product) + " Ver." + std::to_string(v.major) + "." + std::to_string(v.minor) +
         std::to_string(v.revision);
}

}  // namespace lup
