#pragma once
// Snack files for the snack manager's tests: whole files of the host's
// layout (903 bytes or more) with the fields the manager reads set, and a
// recognisable pattern in every other byte so that a test can tell that
// nothing else changed.
#include <cstddef>
#include <filesystem>
#include <string>

#include "core/snack.h"

namespace lup::snacks::test {

struct SnackSpec {
  std::string name = "クッキー";   // UTF-8; stored as CP932
  int count = 3;
  int keepDays = kKeepsForever;
  CivilDate opened{};              // year 0: unopened
  std::size_t length = 1024;       // below 903 makes a damaged (short) file
};

// The file's bytes.
std::string SnackBytes(const SnackSpec& spec);
// Writes the file (bypassing the funnel).
void PutSnack(const std::filesystem::path& file, const SnackSpec& spec);
// The filler byte the file holds at `offset` where no field lies.
unsigned char FillerByte(std::size_t offset);

}  // namespace lup::snacks::test
