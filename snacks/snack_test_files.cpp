#include "snacks/snack_test_files.h"

#include <stdexcept>

#include "tests/support/temp_folder.h"
#include "base/codepage.h"

namespace lup::snacks::test {

unsigned char FillerByte(std::size_t offset) {
  return static_cast<unsigned char>((offset * 7 + 3) & 0xFF);
}

std::string SnackBytes(const SnackSpec& spec) {
  const std::size_t whole = spec.length < kSnackLayoutLength ? kSnackLayoutLength : spec.length;
  std::string bytes(whole, '\0');
  for (std::size_t i = 0; i < whole; ++i) bytes[i] = static_cast<char>(FillerByte(i));
  const auto name = Utf8ToCp932(spec.name);
  if (!name || name->size() > 255) throw std::invalid_argument("snack name not storable: " + spec.name);
  bytes[32] = static_cast<char>(name->size());
  bytes.replace(33, name->size(), *name);
  auto put16 = [&](std::size_t at, int v) {
    bytes[at] = static_cast<char>(v & 0xFF);
    bytes[at + 1] = static_cast<char>((v >> 8) & 0xFF);
  };
  put16(881, spec.count);
  put16(883, spec.keepDays);
  if (spec.opened.year == 0) {
    for (std::size_t i = 889; i <= 902; ++i) bytes[i] = 0;
  } else {
    // The rest of the opened-date block keeps its filler: the host's time of day.
    put16(889, spec.opened.year);
    bytes[891] = static_cast<char>(spec.opened.month);
    bytes[893] = static_cast<char>(spec.opened.day);
  }
  bytes.resize(spec.length);
  return bytes;
}

void PutSnack(const std::filesystem::path& file, const SnackSpec& spec) {
  lup::test::WriteBytes(file, SnackBytes(spec));
}

}  // namespace lup::snacks::test
