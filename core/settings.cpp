#include "core/settings.h"

#include "base/text.h"
#include "base/unicode.h"
#include "core/fsquery.h"
#include "core/listfiles.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

// folder + separator + name. A name that starts with a separator or a drive
// ("\受信フォルダ", "C:x") would start a new path under operator/ and lead
// out of the folder; it is appended as text, so that it names an entry inside
// the folder or none that can exist.
fs::path Under(const fs::path& folder, std::string_view name) {
  fs::path n = U8Path(name);
  if (!n.has_root_path()) return folder / n;
  fs::path p = folder;
  p += fs::path::preferred_separator;
  p += n;
  return p;
}

}  // namespace

const std::string& Settings::NameOf(Item item) const {
  switch (item) {
    case Item::kPetFile:
      return petFileName;
    case Item::kFriendBook:
      return friendBookName;
    case Item::kTreasure:
      return treasureFolderName;
    case Item::kReceived:
      return receivedFolderName;
    case Item::kSent:
      return sentFolderName;
    case Item::kSnacks:
      break;
  }
  return snackFolderName;
}

ItemPaths& Settings::PathsOf(Item item) {
  switch (item) {
    case Item::kPetFile:
      return petFilePaths;
    case Item::kFriendBook:
      return friendBookPaths;
    case Item::kTreasure:
      return treasurePaths;
    case Item::kReceived:
      return receivedPaths;
    case Item::kSent:
      return sentPaths;
    case Item::kSnacks:
      break;
  }
  return snackPaths;
}

const ItemPaths& Settings::PathsOf(Item item) const {
  return const_cast<Settings*>(this)->PathsOf(item);
}

void Settings::MakeHostPaths() {
  const fs::path shared = SharedFolder();
  for (Item item : kAllItems) {
    PathsOf(item).host = Under(hostFolder, NameOf(item));
    PathsOf(item).shared = Under(shared, NameOf(item));
  }
}

std::string Settings::PetCopyName(std::string_view petName, Item item) const {
  return std::string(petName) + "_" + NameOf(item);
}

fs::path Settings::PetCopy(std::string_view petName, Item item) const {
  return Under(hostFolder, PetCopyName(petName, item));
}

ItemPaths Settings::PetPaths(std::string_view petName, Item item) const {
  ItemPaths paths = PathsOf(item);
  paths.pet = PetCopy(petName, item);
  return paths;
}

void Settings::MakePetPaths(std::string_view petName) {
  for (Item item : kAllItems) PathsOf(item) = PetPaths(petName, item);
}

fs::path Settings::HostExe() const { return Under(hostFolder, hostExeName); }
fs::path Settings::SharedFolder() const { return hostFolder / U8Path(kSharedFolderName); }
fs::path Settings::BoxFile(const fs::path& treasureFolder) const {
  return Under(treasureFolder, treasureBoxName);
}

fs::path DefaultHostFolder(const fs::path& programFolder) {
  static const char kRest[] = ":\\Program Files\\So-net\\PostPet for Windows ver. 2.0";
  std::string text = PathText(programFolder);
  bool driveLetter = text.size() >= 2 && text[1] == ':' &&
                     ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z'));
  if (driveLetter) return U8Path(text.substr(0, 1) + kRest);
#ifdef _WIN32
  return U8Path(std::string("C") + kRest);
#else
  return programFolder / "Program Files" / "So-net" / "PostPet for Windows ver. 2.0";
#endif
}

bool ParseStoredInt(std::string_view text, int* value) {
  // A stored number may have spaces around it and a "+" before it (one sign
  // only: "+-1" is no number).
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.starts_with('-')) return false;
  }
  const std::optional<int> n = ParseDecimal(text);
  if (!n) return false;
  *value = *n;
  return true;
}

namespace {

void ReadText(const SettingsStore& store, const char* key, std::string* value) {
  if (auto v = store.Get(key)) *value = *v;
}

void ReadPath(const SettingsStore& store, const char* key, fs::path* value) {
  if (auto v = store.Get(key)) *value = U8Path(*v);
}

// A number that does not convert leaves 0, as a failed step of the read does.
void ReadInt(const SettingsStore& store, const char* key, int* value) {
  if (auto v = store.Get(key)) {
    int n = 0;
    *value = ParseStoredInt(*v, &n) ? n : 0;
  }
}

}  // namespace

namespace {

fs::path StoredHostFolder(const SettingsStore& store, const fs::path& programFolder) {
  if (auto v = store.Get(key::kPpDir)) return U8Path(*v);
  return DefaultHostFolder(programFolder);
}

}  // namespace

fs::path HostFolderInUse(const fs::path& folder, std::string_view exeName) {
  if (FileExists(Under(folder, exeName))) return folder;
  fs::path twin;
  bool found = false;
  for (const fs::path& part : folder) {
    if (!found && UpcasedUtf16(PathText(part)) == UpcasedUtf16("Program Files")) {
      twin /= "Program Files (x86)";
      found = true;
    } else {
      twin /= part;
    }
  }
  if (found && FileExists(Under(twin, exeName))) return twin;
  return folder;
}

fs::path ReadHostFolder(const SettingsStore& store, const fs::path& programFolder) {
  return HostFolderInUse(StoredHostFolder(store, programFolder), ReadHostExeName(store));
}

namespace {

// hostFolder as in use, and pp_dir as set when the two differ.
void ReadHostFolderInto(const SettingsStore& store, const fs::path& programFolder, Settings* s) {
  const fs::path stored = StoredHostFolder(store, programFolder);
  s->hostFolder = HostFolderInUse(stored, ReadHostExeName(store));
  s->hostFolderAsSet = s->hostFolder == stored ? fs::path() : stored;
  // Before anything under it is read: the files there are those the host sees.
  const os::HostViewFacts facts = os::LookAtHostView(s->hostFolder, Under(s->hostFolder, ReadHostExeName(store)));
  s->hostView = os::HostViewOf(facts);
  s->hostDataFolder = s->hostView == os::HostView::kReal ? fs::path() : facts.store;
  os::UseHostView(s->hostFolder, s->hostView, facts.store);
}

}  // namespace

std::string ReadHostExeName(const SettingsStore& store) {
  return store.Get(key::kPpName).value_or("PostPet20.exe");
}

namespace {

// The keys after pp_dir, in the order of the launcher's read.
void ReadKeys(const SettingsStore& store, Settings* s) {
  ReadText(store, key::kPpName, &s->hostExeName);
  ReadInt(store, key::kFlgSopt1, &s->nsOption);
  ReadText(store, key::kPpcName, &s->petFileName);
  ReadText(store, key::kFriendName, &s->friendBookName);
  ReadText(store, key::kTzName, &s->treasureBoxName);
  ReadText(store, key::kTzDir, &s->treasureFolderName);
  ReadText(store, key::kJyusinDir, &s->receivedFolderName);
  ReadText(store, key::kSousinDir, &s->sentFolderName);
  ReadText(store, key::kOyatsuDir, &s->snackFolderName);
  ReadInt(store, key::kFlgOpt1, &s->oneClickLaunch);
  ReadPath(store, key::kPpexe1, &s->ordinaryHostExe);
  ReadPath(store, key::kPpexe2, &s->patchedHostExe);
}

OpResult Store(SettingsStore& store, const char* k, const std::string& v) {
  if (store.Set(k, v)) return OpResult::Ok(Action::SaveSetting);
  OpResult fail = OpResult::Fail(Action::SaveSetting, MakeError(CoreError::SettingNotStored), {});
  fail.key = k;
  return fail;
}

}  // namespace

Settings ReadSettings(const SettingsStore& store, const fs::path& programFolder) {
  Settings s;
  ReadHostFolderInto(store, programFolder, &s);
  ReadKeys(store, &s);
  s.MakeHostPaths();
  return s;
}

LoadReport LoadSettings(const SettingsStore& store, const fs::path& programFolder) {
  LoadReport report;
  Settings& s = report.settings;
  // The host folder first: the current pet is read from there.
  ReadHostFolderInto(store, programFolder, &s);
  // The current pet.
  CurrentPetRead current = ReadCurrentPet(s.hostFolder);
  switch (current.state) {
    case CurrentPetRead::State::Ok:
      s.currentPetName = current.name;
      break;
    case CurrentPetRead::State::Unreadable:
      report.currentPetUnreadable = true;
      report.listFileProblem = current.error;
      break;
    case CurrentPetRead::State::Missing:
      report.listFileProblem = WriteCurrentPet(s.hostFolder, "");
      break;
  }
  // The other keys, then the paths built from them.
  ReadKeys(store, &s);
  s.MakeHostPaths();
  return report;
}

OpResult SaveSettings(const Settings& s, SettingsStore& store) {
  OpResult r = WriteCurrentPet(s.hostFolder, s.currentPetName);
  if (!r.ok()) return r;
  const std::pair<const char*, std::string> values[] = {
      {key::kPpName, s.hostExeName},           {key::kFlgSopt1, std::to_string(s.nsOption)},
      {key::kPpcName, s.petFileName},          {key::kFriendName, s.friendBookName},
      {key::kTzName, s.treasureBoxName},       {key::kTzDir, s.treasureFolderName},
      {key::kJyusinDir, s.receivedFolderName}, {key::kSousinDir, s.sentFolderName},
      {key::kOyatsuDir, s.snackFolderName},    {key::kFlgOpt1, std::to_string(s.oneClickLaunch)},
      {key::kPpDir, PathText(s.hostFolderAsSet.empty() ? s.hostFolder : s.hostFolderAsSet)},
  };
  for (const auto& [k, v] : values) {
    r = Store(store, k, v);
    if (!r.ok()) return r;
  }
  return OpResult::Ok(Action::SaveSetting);
}

int ReadPetCount(const SettingsStore& store) {
  int n = -1;
  if (auto v = store.Get(key::kCntPet)) {
    if (!ParseStoredInt(*v, &n)) n = -1;
  }
  return n;
}

OpResult WritePetCount(SettingsStore& store, int count) {
  return Store(store, key::kCntPet, std::to_string(count));
}

OpResult WriteSpecialExes(SettingsStore& store, const fs::path& ordinaryHostExe,
                          const fs::path& patchedHostExe) {
  OpResult r = Store(store, key::kPpexe1, PathText(ordinaryHostExe));
  if (!r.ok()) return r;
  return Store(store, key::kPpexe2, PathText(patchedHostExe));
}

}  // namespace lup
