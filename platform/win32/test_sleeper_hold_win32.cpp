#include <windows.h>

#include "platform/test_sleeper_hold.h"

void HoldFileOpen(const std::filesystem::path& file) {
  CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
              FILE_ATTRIBUTE_NORMAL, nullptr);
}
