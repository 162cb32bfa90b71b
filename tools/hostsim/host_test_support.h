#pragma once
// Helpers shared by the stand-in host's tests: a temporary host folder and
// snack files of the host's layout.
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/temp_folder.h"
#include "base/text.h"

namespace hostsim::support {

namespace fs = std::filesystem;

// Writes a whole file, making its folders first (bypasses the funnel).
inline void Put(const fs::path& p, std::string_view bytes) {
  fs::create_directories(p.parent_path());
  lup::test::WriteBytes(p, bytes);
}

// A snack file: name length at 32, name at 33, count at 881, and a
// recognisable pattern in every other byte.
inline std::string SnackBytes(std::string_view cp932Name, std::uint16_t count, size_t size = 903) {
  std::string b(size, '\0');
  for (size_t i = 0; i < size; ++i) b[i] = static_cast<char>(i * 7 + 3);
  b[32] = static_cast<char>(cp932Name.size());
  b.replace(33, cp932Name.size(), cp932Name);
  if (size >= 883) {
    b[881] = static_cast<char>(count & 0xFF);
    b[882] = static_cast<char>(count >> 8);
  }
  return b;
}

// A host folder whose path holds Japanese and a space, removed afterwards.
class TempHost {
 public:
  TempHost() { fs::create_directories(dir); }
  fs::path At(std::string_view a) const { return dir / lup::U8Path(a); }
  fs::path At(std::string_view a, std::string_view b) const { return At(a) / lup::U8Path(b); }

  lup::test::TempFolder temp;
  const fs::path dir = temp / "ホスト 代役";
};

}  // namespace hostsim::support
