#pragma once
// Helpers shared by the stand-in host's tests: a temporary host folder and
// snack files of the host's layout.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "core/text.h"

namespace hostsim::support {

namespace fs = std::filesystem;

inline void WriteBytes(const fs::path& p, std::string_view bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
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

// A fresh folder with a Japanese name and a space in it, removed afterwards.
class TempFolder {
 public:
  explicit TempFolder(std::string_view stem) {
    static std::atomic<int> n{0};
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = fs::temp_directory_path() /
            lup::U8Path(std::string(stem) + " テスト-" + std::to_string(stamp) + "-" + std::to_string(n++));
    fs::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

}  // namespace hostsim::support
