// The running program on Linux: /proc/self.
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/program.h"

namespace lup {

std::filesystem::path ProgramPath() {
  std::error_code ec;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe;
}

std::filesystem::path ProgramFolder() { return ProgramPath().parent_path(); }

VersionNumber ProgramVersion() { return BuiltVersion(); }

void HardenLibrarySearch() {}

std::vector<std::string> ProgramArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    words.push_back(all.substr(start, end - start));
    start = end + 1;
  }
  if (!words.empty()) words.erase(words.begin());  // the program name
  return words;
}

std::string ProgramArgumentText() {
  std::string text;
  for (const std::string& w : ProgramArguments()) {
    if (!text.empty()) text += ' ';
    text += w;
  }
  return text;
}

}  // namespace lup
