#include "core/pets.h"

#include <cstring>

#include "base/unicode.h"

#include "core/fileops.h"
#include "core/fsquery.h"
#include "platform/osfile.h"

namespace lup {
namespace fs = std::filesystem;

bool SamePetName(std::string_view a, std::string_view b) {
  return a == b || UpcasedUtf16(a) == UpcasedUtf16(b);
}

bool PetNameOfFile(std::string_view fileName, std::string* petName) {
  std::size_t underscore = fileName.find('_');
  if (underscore == std::string_view::npos) return false;
  *petName = std::string(fileName.substr(0, underscore));
  return true;
}

OpResult ListPets(const fs::path& hostFolder, std::string_view petFileName,
                  std::vector<std::string>* pets) {
  pets->clear();
  std::vector<std::string> files;
  OpResult listed = ListMatching(hostFolder, "*_" + std::string(petFileName), Pick::Files, &files);
  for (const std::string& file : files) {
    std::string pet;
    if (PetNameOfFile(file, &pet)) pets->push_back(pet);
  }
  return listed;
}

bool ResetTreasureTagsInBytes(std::string& bytes) {
  const long long length = static_cast<long long>(bytes.size());
  bool changed = false;
  auto at = [&](long long i) -> char { return i < length ? bytes[static_cast<std::size_t>(i)] : '\0'; };
  long long k = 0;
  while (k < length - 1) {
    const char b[4] = {at(k), at(k + 1), at(k + 2), at(k + 3)};
    if (std::memcmp(b, "BM6", 3) == 0) break;
    if (std::memcmp(b, "BEAR", 4) == 0 || std::memcmp(b, "NONE", 4) == 0 ||
        std::memcmp(b, "RABI", 4) == 0 || std::memcmp(b, "KAME", 4) == 0 ||
        std::memcmp(b, "CAT", 3) == 0) {
      // The value at k+16 is cleared only where it lies inside the file.
      for (long long i = k + 16; i < k + 18 && i < length; ++i) {
        if (bytes[static_cast<std::size_t>(i)] != '\0') changed = true;
        bytes[static_cast<std::size_t>(i)] = '\0';
      }
      k += 17;
    } else {
      ++k;
    }
  }
  return changed;
}

OpResult ResetTreasureTags(const fs::path& path) {
  std::string bytes;
  if (std::error_code e = os::ReadWhole(path, &bytes)) {
    if (e == std::errc::is_a_directory) e = MakeError(CoreError::IsAFolder);
    return OpResult::Fail(Action::Read, e, path);
  }
  if (!ResetTreasureTagsInBytes(bytes)) return OpResult::Ok(Action::Write);
  return Fs().Write(path, bytes);
}

}  // namespace lup
