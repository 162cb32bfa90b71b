#include "core/settings.h"

#include <climits>

#include "core/listfiles.h"
#include "core/text.h"

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

void Settings::MakeHostPaths() {
  const fs::path shared = SharedFolder();
  auto set = [&](ItemPaths& paths, const std::string& item) {
    paths.host = Under(ppDir, item);
    paths.shared = Under(shared, item);
  };
  set(ppcPaths, ppcName);
  set(friendPaths, friendName);
  set(tzPaths, tzDir);
  set(jyusinPaths, jyusinDir);
  set(sousinPaths, sousinDir);
  set(oyatsuPaths, oyatsuDir);
}

void Settings::MakePetPaths(std::string_view petName) {
  const std::string prefix = std::string(petName) + "_";
  ppcPaths.pet = Under(ppDir, prefix + ppcName);
  friendPaths.pet = Under(ppDir, prefix + friendName);
  tzPaths.pet = Under(ppDir, prefix + tzDir);
  jyusinPaths.pet = Under(ppDir, prefix + jyusinDir);
  sousinPaths.pet = Under(ppDir, prefix + sousinDir);
  oyatsuPaths.pet = Under(ppDir, prefix + oyatsuDir);
}

fs::path Settings::HostExe() const { return Under(ppDir, ppName); }
fs::path Settings::SharedFolder() const { return ppDir / U8Path(kSharedFolderName); }
fs::path Settings::BoxFile(const fs::path& treasureFolder) const {
  return Under(treasureFolder, tzName);
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
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 9) return false;
  long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  if (negative) v = -v;
  if (v < INT_MIN || v > INT_MAX) return false;
  *value = static_cast<int>(v);
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

fs::path ReadHostFolder(const SettingsStore& store, const fs::path& programFolder) {
  if (auto v = store.Get(key::kPpDir)) return U8Path(*v);
  return DefaultHostFolder(programFolder);
}

std::string ReadHostExeName(const SettingsStore& store) {
  return store.Get(key::kPpName).value_or("PostPet20.exe");
}

namespace {

// The keys after pp_dir, in the order of the launcher's read.
void ReadKeys(const SettingsStore& store, Settings* s) {
  ReadText(store, key::kPpName, &s->ppName);
  ReadInt(store, key::kFlgSopt1, &s->flgSopt1);
  ReadText(store, key::kPpcName, &s->ppcName);
  ReadText(store, key::kFriendName, &s->friendName);
  ReadText(store, key::kTzName, &s->tzName);
  ReadText(store, key::kTzDir, &s->tzDir);
  ReadText(store, key::kJyusinDir, &s->jyusinDir);
  ReadText(store, key::kSousinDir, &s->sousinDir);
  ReadText(store, key::kOyatsuDir, &s->oyatsuDir);
  ReadInt(store, key::kFlgOpt1, &s->flgOpt1);
  ReadPath(store, key::kPpexe1, &s->ppexe1);
  ReadPath(store, key::kPpexe2, &s->ppexe2);
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
  s.ppDir = ReadHostFolder(store, programFolder);
  ReadKeys(store, &s);
  s.MakeHostPaths();
  return s;
}

LoadReport LoadSettings(const SettingsStore& store, const fs::path& programFolder) {
  LoadReport report;
  Settings& s = report.settings;
  // 1. The host folder.
  s.ppDir = ReadHostFolder(store, programFolder);
  // 2. The current pet.
  CurrentPetRead current = ReadCurrentPet(s.ppDir);
  switch (current.state) {
    case CurrentPetRead::State::Ok:
      s.currentPetName = current.name;
      break;
    case CurrentPetRead::State::Unreadable:
      report.currentPetUnreadable = true;
      report.listFileProblem = current.error;
      break;
    case CurrentPetRead::State::Missing:
      report.listFileProblem = WriteCurrentPet(s.ppDir, "");
      break;
  }
  // 3. The keys. 4. The paths.
  ReadKeys(store, &s);
  s.MakeHostPaths();
  return report;
}

OpResult SaveSettings(const Settings& s, SettingsStore& store) {
  OpResult r = WriteCurrentPet(s.ppDir, s.currentPetName);
  if (!r.ok()) return r;
  const std::pair<const char*, std::string> values[] = {
      {key::kPpName, s.ppName},
      {key::kFlgSopt1, std::to_string(s.flgSopt1)},
      {key::kPpcName, s.ppcName},
      {key::kFriendName, s.friendName},
      {key::kTzName, s.tzName},
      {key::kTzDir, s.tzDir},
      {key::kJyusinDir, s.jyusinDir},
      {key::kSousinDir, s.sousinDir},
      {key::kOyatsuDir, s.oyatsuDir},
      {key::kFlgOpt1, std::to_string(s.flgOpt1)},
      {key::kPpDir, PathText(s.ppDir)},
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

OpResult WriteSpecialExes(SettingsStore& store, const fs::path& ppexe1, const fs::path& ppexe2) {
  OpResult r = Store(store, key::kPpexe1, PathText(ppexe1));
  if (!r.ok()) return r;
  return Store(store, key::kPpexe2, PathText(ppexe2));
}

}  // namespace lup
