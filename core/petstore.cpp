// The pet store. The order of the work is what keeps the users' data safe:
// a put-away only adds and replaces files; a folder is refreshed by copying
// first and removing what is left over only after every copy succeeded; a
// bring-in stops at the first failure and says which file failed.
#include "core/petstore.h"

#include "base/text.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/listfiles.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

fs::path AllFiles(const fs::path& folder) { return folder / U8Path("*.*"); }

OpResult CopyAllFiles(const fs::path& from, const fs::path& to) {
  return ShellFileOp(AllFiles(from), to, ShellOp::Copy).result;
}

}  // namespace

std::optional<DataKind> KindOf(Item item) {
  switch (item) {
    case Item::kFriendBook:
      return kFriendBook;
    case Item::kReceived:
    case Item::kSent:
      return kSendReceiveLog;
    case Item::kSnacks:
      return kSnacks;
    case Item::kTreasure:
      return kTreasureBox;
    case Item::kPetFile:
      break;
  }
  return std::nullopt;
}

namespace {

bool IsShared(const ShareFlags& flags, Item item) {
  const std::optional<DataKind> kind = KindOf(item);
  return kind && flags[*kind] != 0;
}

}  // namespace

bool SameFileName(std::string_view a, std::string_view b) {
  if (a.find_first_of("*?") != std::string_view::npos) return a == b;
  return WildcardMatch(a, b);
}

OpResult MirrorFolder(const fs::path& source, const fs::path& target) {
  const std::vector<std::string> sourceNames = ListNames(source, "*.*", Pick::Files);
  std::vector<std::string> extras;
  for (const std::string& name : ListNames(target, "*.*", Pick::Files)) {
    bool inSource = false;
    for (const std::string& s : sourceNames)
      if (SameFileName(s, name)) inSource = true;
    if (!inSource) extras.push_back(name);
  }
  if (!sourceNames.empty()) {
    OpResult copied = CopyAllFiles(source, target);
    if (!copied.ok()) return copied;
  }
  for (const std::string& name : extras) {
    OpResult removed = Fs().Delete(target / U8Path(name));
    if (!removed.ok()) return removed;
  }
  return OpResult::Ok(Action::Copy);
}

// ---- the backup layout ---------------------------------------------------------

fs::path BackupLayout::Folder() const { return s_.hostFolder / U8Path("bak"); }
fs::path BackupLayout::SharedFolder() const { return Folder() / U8Path(kSharedFolderName); }

fs::path BackupLayout::In(const fs::path& folder, const std::string& name, Item item) const {
  return folder / U8Path(IsFileItem(item) ? name + ".bak" : name);
}
fs::path BackupLayout::OfPet(std::string_view pet, Item item) const {
  return In(Folder(), std::string(pet) + "_" + s_.NameOf(item), item);
}
fs::path BackupLayout::OfHost(Item item) const { return In(Folder(), s_.NameOf(item), item); }
fs::path BackupLayout::OfShared(Item item) const {
  return In(SharedFolder(), s_.NameOf(item), item);
}

// ---- who holds the live snacks ------------------------------------------------

LiveSnackOwner ReadLiveSnackOwner(const fs::path& hostFolder) {
  LiveSnackOwner owner;
  const CurrentPetRead current = ReadCurrentPet(hostFolder);
  if (current.state == CurrentPetRead::State::Unreadable) {
    owner.state = LiveSnackOwner::State::kCurrentUnknown;
    return owner;
  }
  if (current.state == CurrentPetRead::State::Missing || current.name.empty()) return owner;
  owner.pet = current.name;
  const ShareListRead shares = ReadShareList(hostFolder);
  if (!shares.error.ok()) {
    owner.state = LiveSnackOwner::State::kSharesUnknown;
    return owner;
  }
  owner.state = LiveSnackOwner::State::kPet;
  const std::optional<ShareFlags> flags = FindShareFlags(shares.records, owner.pet);
  owner.shared = flags && (*flags)[kSnacks] != 0;
  return owner;
}

// ---- the store -------------------------------------------------------------------

PetStore::PetStore(const Settings& settings) : s_(settings) { s_.MakeHostPaths(); }

ItemPaths PetStore::PathsFor(Item item, std::string_view pet) const {
  ItemPaths paths = s_.PathsOf(item);
  paths.pet = s_.PetCopy(pet, item);
  return paths;
}

std::vector<std::string> PetStore::PetNames() const {
  return ListPets(s_.hostFolder, s_.petFileName);
}

PetsRead PetStore::ReadPets() const {
  PetsRead out;
  const ShareListRead shares = ReadShareList(s_.hostFolder);
  if (!shares.error.ok()) {
    out.error = shares.error;
    return out;
  }
  for (const std::string& name : PetNames()) {
    Pet pet;
    pet.name = name;
    pet.flags = FindShareFlags(shares.records, name).value_or(ShareFlags{});
    out.pets.push_back(std::move(pet));
  }
  return out;
}

OpResult PetStore::SaveShares(const std::vector<Pet>& pets) const {
  std::vector<ShareRecord> records;
  for (const Pet& pet : pets) {
    ShareRecord r;
    r.name = pet.name;
    r.flags = pet.flags;
    records.push_back(std::move(r));
  }
  return WriteShareList(s_.hostFolder, records);
}

OpResult PetStore::RebuildShares() const {
  std::vector<ShareRecord> records;
  for (const std::string& file : ListNames(s_.hostFolder, "*" + s_.petFileName, Pick::Files)) {
    ShareRecord r;
    if (PetNameOfFile(file, &r.name)) records.push_back(std::move(r));
  }
  return WriteShareList(s_.hostFolder, records);
}

SpecialMarksRead PetStore::ReadPatchedMarks() const { return ReadSpecialMarks(s_.hostFolder); }

OpResult PetStore::SavePatchedMarks(const std::vector<SpecialMark>& marks) const {
  return WriteSpecialMarks(s_.hostFolder, marks);
}

OpResult PetStore::ForgetPatchedMarks() const {
  const fs::path file = SpecialMarksFile(s_.hostFolder);
  if (!FileExists(file)) return OpResult::Ok(Action::Delete);
  return Fs().Delete(file);
}

bool PetStore::UsesPatchedHost(std::string_view pet) const {
  const SpecialMarksRead marks = ReadPatchedMarks();
  if (!marks.exists) return false;
  const std::optional<bool> mark = FindSpecialMark(marks.records, pet);
  return mark && *mark;
}

OpResult PetStore::RecordCurrent(std::string_view pet) const {
  return WriteCurrentPet(s_.hostFolder, pet);
}

OpResult PetStore::ForgetCurrent() const {
  const fs::path file = CurrentPetFile(s_.hostFolder);
  if (!FileExists(file)) return OpResult::Ok(Action::Delete);
  return Fs().Delete(file);
}

// ---- put-away ---------------------------------------------------------------------

OpResult PetStore::PutAwayFolder(const ItemPaths& paths, bool shared) const {
  if (!shared && !FolderExists(paths.pet)) {
    OpResult made = MakeFolder(paths.pet);
    if (!made.ok()) return made;
  }
  return CopyAllFiles(paths.host, shared ? paths.shared : paths.pet);
}

OpResult PetStore::PutAway(std::string_view pet, const ShareFlags& flags) const {
  for (Item item : kAllItems) {
    const ItemPaths paths = PathsFor(item, pet);
    const bool shared = IsShared(flags, item);
    OpResult r = OpResult::Ok(Action::Copy);
    if (!IsFileItem(item)) {
      r = PutAwayFolder(paths, shared);
    } else if (FileExists(paths.host)) {
      r = CopyOneFile(paths.host, shared ? paths.shared : paths.pet);
    }
    if (!r.ok()) return r;
  }
  return OpResult::Ok(Action::Copy);
}

// ---- bring-in ---------------------------------------------------------------------

PetStore::BringInEnd PetStore::BringInPetFile(std::string_view pet, StoreQuestions& q,
                                              OpResult* failure) const {
  const ItemPaths p = PathsFor(Item::kPetFile, pet);
  OpResult r;
  if (FileExists(p.pet)) {
    r = CopyOneFile(p.pet, p.host);
  } else {
    q.PetFileWillBeMade(pet);
    if (!FileExists(p.host)) return BringInEnd::kNoPetFile;
    r = CopyOneFile(p.host, p.pet);  // the host's file is the pet's now
  }
  if (r.ok()) return BringInEnd::kDone;
  *failure = r;
  return BringInEnd::kFailed;
}

OpResult PetStore::BringInFriendBook(std::string_view pet, bool shared, StoreQuestions& q) const {
  const ItemPaths p = PathsFor(Item::kFriendBook, pet);
  const OpResult nothing = OpResult::Ok(Action::Copy);
  if (shared) return FileExists(p.shared) ? CopyOneFile(p.shared, p.host) : nothing;
  if (FileExists(p.pet)) return CopyOneFile(p.pet, p.host);
  if (q.MakeItemNew(pet, s_.friendBookName)) {
    if (FileExists(p.host)) {
      OpResult removed = Fs().Delete(p.host);
      if (!removed.ok()) return removed;
    }
    return Fs().Write(p.pet, "");
  }
  return FileExists(p.host) ? CopyOneFile(p.host, p.pet) : nothing;
}

std::optional<OpResult> PetStore::RecoverBox(const fs::path& folder, StoreQuestions& q) const {
  const std::optional<fs::path> chosen = q.ChooseBoxSource(folder);
  if (!chosen) return std::nullopt;
  if (!IsFolder(folder)) {
    OpResult made = MakeFolder(folder);
    if (!made.ok()) return made;
  }
  OpResult copied = CopyOneFile(*chosen, Box(folder));
  if (!copied.ok()) return copied;
  return ResetTreasureTags(Box(folder));
}

// The host's treasure folder from an existing copy (shared or the pet's).
OpResult PetStore::TreasureFrom(const fs::path& source, StoreQuestions& q) const {
  const fs::path host = s_.treasurePaths.host;
  OpResult r = MirrorFolder(source, host);
  if (!r.ok() || FileExists(Box(source))) return r;
  const std::optional<OpResult> recovered = RecoverBox(source, q);
  if (!recovered) return r;
  if (!recovered->ok()) return *recovered;
  return CopyOneFile(Box(source), Box(host));
}

// A new, empty box: only the box file stays in the host's treasure folder.
OpResult PetStore::NewTreasure(const ItemPaths& p, StoreQuestions& q) const {
  const fs::path hostBox = Box(p.host);
  bool haveBox = FileExists(hostBox);
  if (!haveBox) {
    const std::optional<OpResult> recovered = RecoverBox(p.host, q);
    if (recovered && !recovered->ok()) return *recovered;
    haveBox = recovered.has_value();
  }
  if (haveBox) {
    OpResult copied = CopyOneFile(hostBox, Box(p.pet));
    if (!copied.ok()) return copied;
  }
  // The previous pet's treasures go even when no box was chosen: left in
  // the host's folder they would be put away as the called pet's.
  for (const std::string& name : ListNames(p.host, "*.*", Pick::Files)) {
    // The box file is kept whatever the letter case of its name on disk.
    if (haveBox && SameFileName(s_.treasureBoxName, name)) continue;
    OpResult removed = Fs().Delete(p.host / U8Path(name));
    if (!removed.ok()) return removed;
  }
  if (!haveBox) return OpResult::Ok(Action::Edit);
  OpResult reset = ResetTreasureTags(Box(p.pet));
  return reset.ok() ? ResetTreasureTags(hostBox) : reset;
}

// The pet's new treasure folder is a copy of what the host holds now.
OpResult PetStore::CopyCurrentTreasure(const ItemPaths& p, StoreQuestions& q) const {
  if (AnyFileMatches(p.host)) {
    OpResult copied = CopyAllFiles(p.host, p.pet);
    if (!copied.ok()) return copied;
  }
  if (FileExists(Box(p.host))) return OpResult::Ok(Action::Copy);
  const std::optional<OpResult> recovered = RecoverBox(p.host, q);
  if (!recovered || !recovered->ok()) return recovered.value_or(OpResult::Ok(Action::Copy));
  return CopyOneFile(Box(p.host), Box(p.pet));
}

OpResult PetStore::BringInTreasure(std::string_view pet, bool shared, StoreQuestions& q) const {
  const ItemPaths p = PathsFor(Item::kTreasure, pet);
  if (shared) return TreasureFrom(p.shared, q);
  if (IsFolder(p.pet)) return TreasureFrom(p.pet, q);
  OpResult made = MakeFolder(p.pet);
  if (!made.ok()) return made;
  return q.MakeItemNew(pet, s_.treasureFolderName) ? NewTreasure(p, q) : CopyCurrentTreasure(p, q);
}

// A received, sent or snack folder.
OpResult PetStore::BringInFolder(std::string_view pet, Item item, bool shared,
                                 StoreQuestions& q) const {
  const ItemPaths p = PathsFor(item, pet);
  if (shared) return MirrorFolder(p.shared, p.host);
  if (IsFolder(p.pet)) return MirrorFolder(p.pet, p.host);
  OpResult made = MakeFolder(p.pet);
  if (!made.ok()) return made;
  const bool makeNew = q.MakeItemNew(pet, s_.NameOf(item));
  const fs::path& from = p.host;
  if (!AnyFileMatches(from)) return OpResult::Ok(Action::Copy);
  // New: the host starts with an empty folder. Otherwise the pet's new
  // folder is a copy of the host's.
  return makeNew ? DeleteMatching(from) : CopyAllFiles(from, p.pet);
}

PetStore::BringInResult PetStore::BringIn(std::string_view pet, const ShareFlags& flags,
                                          StoreQuestions& questions) const {
  BringInResult out;
  out.end = BringInPetFile(pet, questions, &out.failure);
  if (out.end != BringInEnd::kDone) return out;
  for (Item item : kAllItems) {
    const bool shared = IsShared(flags, item);
    OpResult r = OpResult::Ok(Action::Copy);
    switch (item) {
      case Item::kPetFile:
        continue;
      case Item::kFriendBook:
        r = BringInFriendBook(pet, shared, questions);
        break;
      case Item::kTreasure:
        r = BringInTreasure(pet, shared, questions);
        break;
      default:
        r = BringInFolder(pet, item, shared, questions);
        break;
    }
    if (!r.ok()) {
      out.end = BringInEnd::kFailed;
      out.failure = r;
      return out;
    }
  }
  return out;
}

// ---- the shared copies -------------------------------------------------------------

std::vector<OpResult> PetStore::PrepareSharedCopies() const {
  std::vector<OpResult> failures;
  const auto note = [&](const OpResult& r) {
    if (!r.ok()) failures.push_back(r);
    return r.ok();
  };
  const fs::path shared = s_.SharedFolder();
  if (!FolderExists(shared)) note(MakeFolder(shared));
  for (Item item : kAllItems) {
    const ItemPaths& paths = s_.PathsOf(item);
    if (item == Item::kPetFile) continue;  // every pet keeps its own
    if (IsFileItem(item)) {
      if (!FileExists(paths.shared) && FileExists(paths.host))
        note(CopyOneFile(paths.host, paths.shared));
    } else if (!FolderExists(paths.shared) && note(MakeFolder(paths.shared))) {
      note(CopyAllFiles(paths.host, paths.shared));
    }
  }
  return failures;
}

OpResult PetStore::CopyToShared(std::string_view pet, DataKind kind) const {
  for (Item item : kAllItems) {
    if (KindOf(item) != kind) continue;
    const ItemPaths p = PathsFor(item, pet);
    OpResult r = OpResult::Ok(Action::Copy);
    if (!IsFileItem(item)) {
      r = MirrorFolder(p.pet, p.shared);
    } else if (FileExists(p.pet)) {
      r = CopyOneFile(p.pet, p.shared);
    }
    if (!r.ok()) return r;
  }
  return OpResult::Ok(Action::Copy);
}

}  // namespace lup
