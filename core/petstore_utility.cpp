// The pet store's operations for the utility: registering a pet from a
// settings file (with its backup and the take-over of its data), setting the
// host's own settings file aside while the host makes a new pet, and
// emptying a treasure box. Nothing here ever deletes or replaces a set-aside
// settings file: it may be the only copy of a pet.
#include "base/text.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/petstore.h"

namespace lup {
namespace fs = std::filesystem;

fs::path PetStore::SetAsideFile() const {
  return s_.hostFolder / U8Path(s_.petFileName + "bak");
}

OpResult PetStore::SetAsideHostPetFile() const {
  const fs::path host = s_.petFilePaths.host;
  if (!FileExists(host)) return OpResult::Ok(Action::Rename);
  return Fs().Rename(host, SetAsideFile());
}

OpResult PetStore::GiveBackHostPetFile() const {
  if (!FileExists(SetAsideFile())) return OpResult::Ok(Action::Rename);
  return Fs().Rename(SetAsideFile(), s_.petFilePaths.host);
}

namespace {

// The pets (of `pets`) whose own settings file holds the bytes of `file`.
std::vector<std::string> PetsWithTheSameFile(const Settings& s, const std::vector<std::string>& pets,
                                             const fs::path& file) {
  std::vector<std::string> out;
  std::string bytes;
  if (!ReadFileBytes(file, &bytes).ok()) return out;
  for (const std::string& pet : pets) {
    std::string theirs;
    const fs::path own = s.PetCopy(pet, Item::kPetFile);
    if (FileLength(own) == static_cast<long long>(bytes.size()) && ReadFileBytes(own, &theirs).ok() &&
        theirs == bytes)
      out.push_back(pet);
  }
  return out;
}

}  // namespace

PetStore::SetAsideLeft PetStore::LookAtSetAside() const {
  SetAsideLeft out;
  const fs::path aside = SetAsideFile();
  if (!FileExists(aside)) return out;
  const fs::path host = s_.petFilePaths.host;
  const CurrentPetRead current = ReadCurrentPet(s_.hostFolder);
  const bool nobody = current.state == CurrentPetRead::State::Missing ||
                      (current.state == CurrentPetRead::State::Ok && current.name.empty());
  if (nobody) {
    out.state = FileExists(host) ? SetAsideLeft::State::kUnfinished : SetAsideLeft::State::kGiveBack;
  } else {
    out.state = SetAsideLeft::State::kUnsafe;
    out.currentUnknown = current.state != CurrentPetRead::State::Ok;
    out.current = current.name;
  }
  std::vector<std::string> pets;
  PetNames(&pets);
  out.asideMatches = PetsWithTheSameFile(s_, pets, aside);
  if (FileExists(host)) out.hostMatches = PetsWithTheSameFile(s_, pets, host);
  return out;
}

bool PetStore::IsRegistered(std::string_view pet) const { return RegisteredName(pet).has_value(); }

std::optional<std::string> PetStore::RegisteredName(std::string_view pet) const {
  std::vector<std::string> names;
  // A host folder that cannot be listed: her own file is looked for.
  if (!PetNames(&names).ok()) {
    if (FileExists(s_.PetCopy(pet, Item::kPetFile))) return std::string(pet);
    return std::nullopt;
  }
  for (std::string& name : names)
    if (SamePetName(name, pet)) return std::move(name);
  return std::nullopt;
}

PetStore::Registration PetStore::RegisterPet(std::string_view pet, const fs::path& source) const {
  Registration r;
  const fs::path own = s_.PetCopy(pet, Item::kPetFile);
  r.petFile = Fs().Copy(source, own);
  if (!r.petFile.ok()) return r;
  const BackupLayout backup(s_);
  if (!IsFolder(backup.Folder())) r.backup = MakeFolder(backup.Folder());
  if (r.backup.ok()) r.backup = Fs().Copy(own, backup.OfPet(pet, Item::kPetFile));
  return r;
}

std::vector<PetStore::TakeOver> PetStore::TakeOverKind(std::string_view pet, DataKind kind,
                                                       const fs::path& sourceFolder) const {
  std::vector<TakeOver> out;
  for (Item item : kAllItems) {
    if (KindOf(item) != kind) continue;
    TakeOver t;
    t.item = item;
    const fs::path own = s_.PetCopy(pet, item);
    const fs::path source = sourceFolder / U8Path(s_.NameOf(item));
    const bool file = IsFileItem(item);
    if (file ? FileExists(own) : EntryExists(own)) {
      t.end = TakeOverEnd::kAlreadyThere;
      t.path = own;
    } else if (!(file ? FileExists(source) : EntryExists(source))) {
      t.end = TakeOverEnd::kSourceMissing;
      t.path = source;
    } else {
      t.failure = file ? Fs().Copy(source, own) : MakeFolder(own);
      if (!file && t.failure.ok()) t.failure = ShellFileOp(source / U8Path("*.*"), own, ShellOp::Copy).result;
      if (!t.failure.ok()) t.end = TakeOverEnd::kFailed;
    }
    out.push_back(std::move(t));
  }
  return out;
}

PetStore::FlagsRead PetStore::ReadFlags(std::string_view pet) const {
  FlagsRead out;
  const ShareListRead shares = ReadShareList(s_.hostFolder);
  if (!shares.error.ok()) {
    out.error = shares.error;
  } else if (!shares.exists) {
    out.error = ShareListMissing(s_.hostFolder);
  } else {
    out.flags = FindShareFlags(shares.records, pet).value_or(ShareFlags{});
  }
  return out;
}

OpResult PetStore::BackedUpPetNames(std::vector<std::string>* pets) const {
  pets->clear();
  std::vector<std::string> files;
  const BackupLayout backup(s_);
  OpResult listed =
      ListMatching(backup.Folder(), "*_" + s_.petFileName + ".bak", Pick::Files, &files);
  for (const std::string& file : files) {
    std::string pet;
    if (PetNameOfFile(file, &pet)) pets->push_back(std::move(pet));
  }
  return listed;
}

std::optional<OpResult> PetStore::EmptyTreasureBox(std::string_view pet, bool shared,
                                                   const std::optional<fs::path>& source) const {
  const fs::path folder = shared ? s_.treasurePaths.shared : s_.PetCopy(pet, Item::kTreasure);
  // The current pet's treasures are put away first: done afterwards, the
  // put-away would bring the full box back over the emptied one.
  OpResult r = SaveCurrent();
  if (!r.ok()) return r;
  if (FileExists(s_.BoxFile(folder))) {
    r = ResetTreasureTags(s_.BoxFile(folder));
  } else if (source) {
    r = RecoverBoxFrom(folder, *source);
  } else {
    return std::nullopt;
  }
  if (!r.ok()) return r;
  return ForgetCurrent();
}

}  // namespace lup
