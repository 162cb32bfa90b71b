#pragma once
// Helpers for the platform tests: a temporary folder per test, small file
// reads and writes, waiting for a condition, and the helper program.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>

#include "core/text.h"
#include "platform/program.h"

namespace lup::testing {

// A fresh folder under the system's temporary folder, removed with all it
// holds when the test ends. Its name holds a space and Japanese on purpose.
class TempFolder {
 public:
  explicit TempFolder(std::string_view tag) {
    static int counter = 0;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    path_ = std::filesystem::temp_directory_path() /
            U8Path("ルピナ test " + std::string(tag) + "-" + std::to_string(stamp) + "-" +
                   std::to_string(++counter));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(std::string_view utf8) const { return path_ / U8Path(utf8); }

 private:
  std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Polls `done` until it holds or `limit` has passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds limit = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// The helper program built beside the tests (test_sleeper.cpp).
inline std::filesystem::path SleeperPath() { return ProgramFolder() / U8Path(LUP_TEST_SLEEPER_NAME); }

// `name` with the helper program's extension (".exe" on Windows).
inline std::filesystem::path WithProgramExtension(std::string_view name) {
  return U8Path(std::string(name) + PathText(SleeperPath().extension()));
}

// A path quoted for an argument text.
inline std::string Quoted(const std::filesystem::path& p) {
  std::string text(1, '"');
  text += PathText(p);
  text += '"';
  return text;
}

}  // namespace lup::testing
