#pragma once
// Test helpers for every test that works on real folders: a fresh temporary
// folder removed at the end of the test, and whole-file reads and writes that
// bypass the funnel. Test-only: no shipped program links this.
#include <filesystem>
#include <string>
#include <string_view>

namespace lup::test {

// Its name holds a space and Japanese on purpose, so that every test also
// shows that such paths work.
class TempFolder {
 public:
  explicit TempFolder(std::string_view tag = "t");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // path() / utf8 name (may hold '/'-separated parts).
  std::filesystem::path operator/(std::string_view utf8) const;

 private:
  std::filesystem::path path_;
};

void WriteBytes(const std::filesystem::path& path, std::string_view bytes);
std::string ReadBytes(const std::filesystem::path& path);
// The names in a folder, sorted by bytes (for "nothing else is there" checks).
std::string NamesIn(const std::filesystem::path& folder);

}  // namespace lup::test
