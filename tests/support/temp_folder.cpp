#include "tests/support/temp_folder.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

#include "base/text.h"

namespace lup::test {
namespace fs = std::filesystem;

TempFolder::TempFolder(std::string_view tag) {
  std::random_device random;
  for (;;) {
    path_ = fs::temp_directory_path() /
            U8Path("ルピナ test " + std::string(tag) + "-" + std::to_string(random()));
    std::error_code e;
    if (fs::create_directory(path_, e)) break;
  }
}

TempFolder::~TempFolder() {
  std::error_code e;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, e);
  fs::remove_all(path_, e);
}

fs::path TempFolder::operator/(std::string_view utf8) const {
  fs::path p = path_;
  std::size_t start = 0;
  for (;;) {
    std::size_t slash = utf8.find('/', start);
    p /= U8Path(utf8.substr(start, slash == std::string_view::npos ? slash : slash - start));
    if (slash == std::string_view::npos) return p;
    start = slash + 1;
  }
}

void WriteBytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string NamesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code e;
  for (fs::directory_iterator it(folder, e), end; !e && it != end; it.increment(e))
    names.push_back(NameText(it->path()));
  std::sort(names.begin(), names.end());
  std::string out;
  for (const std::string& n : names) out += (out.empty() ? "" : "|") + n;
  return out;
}

}  // namespace lup::test
