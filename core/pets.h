#pragma once
// Pets: their data kinds and share flags, how the registered pets are found
// in the host folder, and the one change the system makes inside the host's
// treasure box file.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace lup {

// The four data kinds, the index into ShareFlags.
enum DataKind { kFriendBook = 0, kSendReceiveLog = 1, kSnacks = 2, kTreasureBox = 3 };
// A pet's four share flags in the order of DataKind: 0 = the pet's own copy
// ("非"), anything else = the shared copy ("共").
using ShareFlags = std::array<int, 4>;

// A registered pet as the programs hold it.
struct Pet {
  std::string name;
  ShareFlags flags{};
  bool operator==(const Pet&) const = default;
};

// The registered pets: for every ordinary file of `hostFolder` matching
// "*_" + petFileName, in listing order (core/fsquery.h), the text of the file name
// before its first "_". "A_B_PostPet設定.ppc" registers "A"; the host's own
// D\petFileName never counts. A host folder that cannot be listed is an error.
OpResult ListPets(const std::filesystem::path& hostFolder, std::string_view petFileName,
                  std::vector<std::string>* pets);

// Two pet names stand for one pet when the file system takes them for one
// (their files are one): letter case ignored as Windows folds it
// ("mimi" is "Mimi"). Every lookup of a pet by name compares this way; the
// registered spelling is the one its settings file carries.
bool SamePetName(std::string_view a, std::string_view b);

// The pet name of one settings file name (the text before the first "_");
// false when the name holds no "_". Used by ListPets.
bool PetNameOfFile(std::string_view fileName, std::string* petName);

// Resets the pet-kind values of a treasure box file. Scans from offset 0
// while the offset is below length - 1: the bytes "BM6" end the scan; a tag
// "BEAR", "NONE", "RABI", "KAME" (four bytes) or "CAT" (three) has the two
// bytes 16 and 17 after its first byte set to zero, and the scan resumes 17
// bytes after the tag's first byte; otherwise it moves on by one. Bytes
// past the end read as zero. Files of length 0 or 1 stay unchanged.
//
// The file never grows: a tag so near the end that its value lies (partly)
// beyond it has only the bytes inside the file cleared. The file is read once
// and, when anything changed, written once atomically through the funnel.
OpResult ResetTreasureTags(const std::filesystem::path& path);

// The same rule on bytes in memory (returns true when anything changed).
bool ResetTreasureTagsInBytes(std::string& bytes);

}  // namespace lup
