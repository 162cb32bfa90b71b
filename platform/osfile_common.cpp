// Parts of the raw file layer that are the same on every system.
#include "platform/osfile.h"

namespace lup::os {

File::~File() { Close(); }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    h_ = other.h_;
    other.h_ = kNone;
  }
  return *this;
}

std::error_code ReadWhole(const std::filesystem::path& path, std::string* bytes) {
  bytes->clear();
  File f;
  if (auto e = OpenRead(path, &f)) return e;
  char buffer[65536];
  for (;;) {
    std::size_t got = 0;
    if (auto e = f.Read(buffer, sizeof buffer, &got)) return e;
    if (got == 0) break;
    bytes->append(buffer, got);
  }
  return f.Close();
}

}  // namespace lup::os
