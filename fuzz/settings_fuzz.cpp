// The settings as they come from the store, every key holding any text (or
// absent), read the way the programs read them, and the paths built from
// them: host and shared copies, a pet's copies for a pet name of any text,
// the host executable, the shared folder, the treasure box, the pet-name
// check measured with these settings, and messages naming these paths.
// When the host folder is a real temporary folder, the settings are also
// saved and read back, and a second save stores the same values.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <string>

#include "core/petname.h"
#include "core/settings.h"
#include "tests/support/temp_folder.h"
#include "base/text.h"
#include "fuzz/fuzz_check.h"

namespace lup {
namespace {

constexpr std::array kKeys = {key::kPpDir,     key::kPpName,    key::kPpcName,  key::kFriendName,
                              key::kTzDir,     key::kTzName,    key::kJyusinDir, key::kSousinDir,
                              key::kOyatsuDir, key::kFlgSopt1,  key::kFlgOpt1,  key::kPpexe1,
                              key::kPpexe2,    key::kCntPet};
constexpr std::array kNumberKeys = {key::kFlgSopt1, key::kFlgOpt1};

// The one place that names members of Settings.
std::array<const ItemPaths*, 6> Triples(const Settings& s) {
  return {&s.petFilePaths, &s.friendBookPaths, &s.treasurePaths, &s.receivedPaths, &s.sentPaths, &s.snackPaths};
}
const ItemPaths& TreasureFolder(const Settings& s) { return s.treasurePaths; }

bool IsNumberKey(std::string_view k) {
  for (const char* n : kNumberKeys)
    if (k == n) return true;
  return false;
}

void CheckStoredInt(std::string_view text) {
  int value = 0;
  if (!ParseStoredInt(text, &value)) return;
  FUZZ_CHECK(value >= -999999999 && value <= 999999999);
  int again = 1;
  FUZZ_CHECK(ParseStoredInt(std::to_string(value), &again) && again == value);
}

void CheckPaths(const SettingsStore& store, const std::filesystem::path& program,
                const std::string& pet) {
  Settings s = ReadSettings(store, program);
  const std::filesystem::path d = ReadHostFolder(store, program);
  if (auto stored = store.Get(key::kPpDir)) FUZZ_CHECK(PathText(d) == *stored);
  else FUZZ_CHECK(d == DefaultHostFolder(program));
  FUZZ_CHECK(ReadHostExeName(store) == store.Get(key::kPpName).value_or("PostPet20.exe"));
  const int pets = ReadPetCount(store);
  if (!store.Get(key::kCntPet)) FUZZ_CHECK(pets == -1);

  s.MakeHostPaths();
  s.MakePetPaths(pet);
  const std::string petPrefix = PathText(d / U8Path(pet + "_"));
  const PetNameCheck check = CheckPetName(pet, s);
  FUZZ_CHECK(check.Reason().empty() == check.ok());
  if (check.ok()) FUZZ_CHECK(CheckPetNameShape(pet).ok() && IsSafeNamePart(pet));
  const std::string shared = PathText(s.SharedFolder());
  for (const ItemPaths* t : Triples(s)) {
    FUZZ_CHECK(PathText(t->host).starts_with(PathText(d)));
    FUZZ_CHECK(PathText(t->shared).starts_with(shared));
    FUZZ_CHECK(PathText(t->pet).starts_with(PathText(d)));
    if (IsSafeNamePart(pet)) FUZZ_CHECK(PathText(t->pet).starts_with(petPrefix));
    FUZZ_CHECK(!OpResult::Fail(Action::Copy, std::make_error_code(std::errc::no_space_on_device),
                               t->host, t->pet)
                    .Describe()
                    .empty());
  }
  const std::string exe = PathText(s.HostExe());
  FUZZ_CHECK(exe.starts_with(PathText(d)) && exe.ends_with(ReadHostExeName(store)));
  const std::filesystem::path box = s.BoxFile(TreasureFolder(s).host);
  FUZZ_CHECK(!OpResult::Fail(Action::Edit, MakeError(CoreError::FileTooShort), box)
                  .Describe()
                  .empty());
}

// Saves what was read into a fresh store, reads that back and saves again:
// both saves store the same values, and each text value is the one read.
void CheckSaveAndReadBack(const SettingsStore& store, const std::filesystem::path& program) {
  const Settings s = ReadSettings(store, program);
  MemorySettingsStore saved;
  FUZZ_CHECK(SaveSettings(s, saved).ok());
  for (const char* k : kKeys) {
    auto stored = store.Get(k);
    auto written = saved.Get(k);
    if (k == std::string_view(key::kPpexe1) || k == std::string_view(key::kPpexe2) ||
        k == std::string_view(key::kCntPet)) {
      FUZZ_CHECK(!written);  // not written by a save
      continue;
    }
    FUZZ_CHECK(written.has_value());
    if (!stored) continue;
    if (IsNumberKey(k)) {
      int n = 0;
      FUZZ_CHECK(*written == std::to_string(ParseStoredInt(*stored, &n) ? n : 0));
    } else {
      FUZZ_CHECK(*written == *stored);
    }
  }
  MemorySettingsStore again;
  FUZZ_CHECK(SaveSettings(ReadSettings(saved, program), again).ok());
  FUZZ_CHECK(again.values() == saved.values());
}

}  // namespace
}  // namespace lup

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace lup;
  static test::TempFolder host;
  FuzzedDataProvider in(data, size);
  const bool realFolder = in.ConsumeBool();
  MemorySettingsStore store;
  for (const char* k : kKeys) {
    if (!in.ConsumeBool()) continue;
    std::string value = in.ConsumeRandomLengthString(300);
    CheckStoredInt(value);
    store.Set(k, value);
  }
  const std::filesystem::path program = U8Path(in.ConsumeRandomLengthString(100));
  const std::string pet = in.ConsumeRemainingBytesAsString();
  if (realFolder) store.Set(key::kPpDir, PathText(host.path()));
  CheckPaths(store, program, pet);
  if (realFolder) CheckSaveAndReadBack(store, program);
  return 0;
}
