#pragma once
// A stand-in for another program (an antivirus, a sync client) holding a
// file for a number of tries of the raw file layer (platform/osfile.h); the
// waits between tries are counted, not slept. Test-only.
#include <filesystem>
#include <system_error>
#include <utility>

#include "platform/osfile.h"

namespace lup::test {

// What the system says of a file another program holds.
inline std::error_code HeldError() {
#ifdef _WIN32
  return std::error_code(32, std::system_category());  // ERROR_SHARING_VIOLATION
#else
  return std::make_error_code(std::errc::device_or_resource_busy);
#endif
}

// Holds `file` for the next `tries` tries of any step on it (-1: for ever).
class Holder {
 public:
  Holder(std::filesystem::path file, int tries) : file_(std::move(file)), left_(tries) {
    os::SetHeldFilesSeam({[this](const std::filesystem::path& p) -> std::error_code {
                            if (p != file_ || left_ == 0) return {};
                            if (left_ > 0) --left_;
                            ++refused;
                            return HeldError();
                          },
                          [this](int ms) { waited += ms; }});
  }
  ~Holder() { os::SetHeldFilesSeam({}); }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  int waited = 0, refused = 0;

 private:
  std::filesystem::path file_;
  int left_;
};

}  // namespace lup::test
