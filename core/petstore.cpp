// The pet store. The order of the work is what keeps the users' data safe:
// a put-away only adds and replaces files; a folder is refreshed by copying
// first and removing what is left over only after every copy succeeded; a
// bring-in stops at the first failure and says which file failed.
#include "core/petstore.h"

#include <unordered_map>
#include <unordered_set>

#include "base/text.h"
#include "base/unicode.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/same_files.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

fs::path AllFiles(const fs::path& folder) { return folder / U8Path("*.*"); }

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

bool SharesItem(const ShareFlags& flags, Item item) {
  const std::optional<DataKind> kind = KindOf(item);
  return kind && flags[*kind] != 0;
}

bool SameFileName(std::string_view a, std::string_view b) {
  if (a.find_first_of("*?") != std::string_view::npos) return a == b;
  return WildcardMatch(a, b);
}

namespace {

using CopyHint = FileOps::CopyHint;

// What the records of `source` and `target` tell of the files whose names
// upper-cased are `keys` (copied from the one into the other)
// without a file opened: which hold the same bytes at both ends already, and
// the sums of the bytes at either end; empty when there is no record to go
// by. `inSource` and `inTarget` are the two folders' stamps, listed before
// anything is copied.
void KnownOf(const fs::path& source, const fs::path& target, const std::vector<std::u16string>& keys,
             const FolderStamps& inSource, const FolderStamps& inTarget, std::vector<CopyHint>* known) {
  known->clear();
  const auto stampIn = [&](const FolderStamps& folder, std::size_t i) {
    const auto found = folder.find(keys[i]);
    return found == folder.end() ? nullptr : &found->second;
  };
  std::vector<CopyHint> hints(keys.size());
  std::size_t alike = 0;
  const SameFiles same = SameFiles::Of(source, target);
  if (!same.Empty()) {
    for (std::size_t i = 0; i < keys.size(); ++i) {
      const os::FileStamp *s = stampIn(inSource, i), *t = stampIn(inTarget, i);
      hints[i].alike = s && t && same.Alike(keys[i], *s, *t);
      alike += hints[i].alike ? 1 : 0;
    }
  }
  // The sums matter only where something is to be copied (and recorded
  // again): a folder found alike throughout reads none.
  bool summed = false;
  if (alike < keys.size()) {
    const FolderSums targetSums = FolderSums::Of(target);
    const FolderSums sourceSums = alike > 0 ? FolderSums::Of(source) : FolderSums();
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (const os::FileStamp* t = stampIn(inTarget, i)) hints[i].targetSum = targetSums.Sum(keys[i], *t);
      if (hints[i].alike) hints[i].sum = sourceSums.Sum(keys[i], *stampIn(inSource, i));
      if (hints[i].alike && !hints[i].sum) hints[i].sum = hints[i].targetSum;
      summed = summed || hints[i].targetSum;
    }
  }
  if (alike > 0 || summed) *known = std::move(hints);
}

// A file item copied in `batch`: when the record of the two files shows
// them alike, neither is opened; otherwise they are compared and copied as
// any file, and recorded once the batch is in.
OpResult CopyFileItem(const fs::path& from, const fs::path& to, CopyBatch& batch) {
  std::vector<CopyHint> known;
  const SameFiles same = SameFiles::Of(from, to);
  os::FileStamp inFrom, inTo;
  const bool listed = FilePairStamps(from, to, &inFrom, &inTo);
  if (!same.Empty() && listed)
    known.push_back({same.Alike(kFilePairEntry, inFrom, inTo), std::nullopt, std::nullopt});
  int done = 0;
  OpResult copied = Fs().CopyAll({{from, to}}, batch, &done, &known);
  if (copied.ok() && listed && !(known.size() == 1 && known[0].alike)) {
    AlikeFolders alike;
    alike.a = from;
    alike.b = to;
    alike.files = true;
    alike.aBefore = {{UpcasedUtf16(kFilePairEntry), inFrom}};
    alike.aListed = true;
    batch.RecordAlikeAfter(std::move(alike));
  }
  return copied;
}

// MirrorFiles; with a `sourceFolder` that holds every given file (and
// `inSource`, its listing made before anything was read, given[i] its i-th
// file), the two folders' record spares the comparisons it can, and is made
// anew once the batch is in.
OpResult MirrorInto(std::vector<std::pair<std::string, fs::path>> given,
                    const fs::path& sourceFolder, const FilesListed* inSource, const fs::path& target,
                    std::string_view keep, CopyBatch* batch) {
  if (!batch) {
    // On its own: a batch of its own, committed here.
    CopyBatch own;
    const OpResult staged = MirrorInto(std::move(given), sourceFolder, inSource, target, keep, &own);
    return staged.ok() ? own.Commit() : staged;
  }
  const bool recorded = !sourceFolder.empty() && inSource && inSource->keys.size() == given.size();
  FilesListed inTarget;
  OpResult listed = ListFiles(target, recorded, &inTarget);
  if (!listed.ok()) return listed;
  // A temporary file of the funnel is never data: not copied from the
  // source, and removed from the target.
  std::vector<std::pair<fs::path, fs::path>> copies;
  std::vector<std::string> copiedNames;
  std::vector<std::u16string> copiedKeys;  // each name upper-cased once
  // Names the file system takes for one (views of copiedKeys, which is
  // reserved whole and never moves); the few that SameFileName reads as
  // patterns are compared one by one.
  std::unordered_set<std::u16string_view> plain;
  std::vector<std::string> odd;
  copies.reserve(given.size());
  copiedNames.reserve(given.size());
  copiedKeys.reserve(given.size());
  plain.reserve(given.size());
  for (std::size_t i = 0; i < given.size(); ++i) {
    auto& [s, from] = given[i];
    if (IsTempName(s)) continue;
    copies.emplace_back(std::move(from), target / U8Path(s));
    copiedKeys.push_back(recorded ? inSource->keys[i] : UpcasedUtf16(s));
    if (s.find_first_of("*?") == std::string::npos && !s.empty() && s.back() != '.')
      plain.insert(copiedKeys.back());
    else
      odd.push_back(s);
    copiedNames.push_back(std::move(s));
  }
  std::vector<std::string> extras;
  for (std::size_t i = 0; i < inTarget.names.size(); ++i) {
    const std::string& name = inTarget.names[i];
    bool inSource = plain.count(inTarget.keys[i]) > 0;
    for (const std::string& s : odd) inSource = inSource || SameFileName(s, name);
    if (!inSource && !(!keep.empty() && SameFileName(keep, name))) extras.push_back(name);
  }
  if (!copies.empty()) {
    OpResult made = EnsureFolder(target);
    if (!made.ok()) return made;
    std::vector<CopyHint> known;
    if (recorded)
      KnownOf(sourceFolder, target, copiedKeys, inSource->stamps, inTarget.stamps, &known);
    int done = 0;
    std::vector<std::optional<std::uint64_t>> sums;
    OpResult copied = Fs().CopyAll(copies, *batch, &done, &known, &sums);
    if (!copied.ok()) return copied;
    // A record that showed every file alike stays as true as it was.
    const bool allKnown = !known.empty() && std::all_of(known.begin(), known.end(),
                                                        [](const CopyHint& k) { return k.alike; });
    if (recorded && !(allKnown && extras.empty())) {
      AlikeFolders alike{.a = sourceFolder, .b = target, .names = std::move(copiedNames),
                         .sums = std::move(sums), .aBefore = inSource->stamps, .aListed = true};
      batch->RecordAlikeAfter(std::move(alike));
    }
  }
  for (const std::string& name : extras) batch->RemoveAfter(target / U8Path(name));
  return OpResult::Ok(Action::Copy);
}

}  // namespace

OpResult MirrorFolder(const fs::path& source, const fs::path& target, std::string_view keep,
                      CopyBatch* batch) {
  FilesListed inSource;  // before anything is read
  OpResult listed = ListFiles(source, /*withStamps=*/true, &inSource);
  if (!listed.ok()) return listed;
  std::vector<std::pair<std::string, fs::path>> sources;
  sources.reserve(inSource.names.size());
  for (const std::string& name : inSource.names) sources.emplace_back(name, source / U8Path(name));
  return MirrorInto(std::move(sources), source, &inSource, target, keep, batch);
}

OpResult MirrorFiles(const std::vector<std::pair<std::string, fs::path>>& given, const fs::path& target,
                     std::string_view keep, CopyBatch* batch) {
  return MirrorInto(given, {}, nullptr, target, keep, batch);
}

// ---- the backup layout ---------------------------------------------------------

fs::path BackupLayout::Folder() const { return s_.hostFolder / U8Path("bak"); }
fs::path BackupLayout::SharedFolder() const { return Folder() / U8Path(kSharedFolderName); }

fs::path BackupLayout::In(const fs::path& folder, const std::string& name, Item item) const {
  return folder / U8Path(IsFileItem(item) ? name + ".bak" : name);
}
fs::path BackupLayout::OfPet(std::string_view pet, Item item) const {
  return In(Folder(), s_.PetCopyName(pet, item), item);
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

// The store at work is the one whose folders are recorded.
PetStore::PetStore(const Settings& settings) : s_(settings) {
  s_.MakeHostPaths();
  UseSameFilesRecords(s_.hostFolder);
}

OpResult PetStore::PetNames(std::vector<std::string>* names) const {
  return ListPets(s_.hostFolder, s_.petFileName, names);
}

PetsRead PetStore::ReadPets() const {
  PetsRead out;
  const ShareListRead shares = ReadShareList(s_.hostFolder);
  if (!shares.error.ok()) {
    out.error = shares.error;
    return out;
  }
  std::vector<std::string> names;
  out.error = PetNames(&names);
  if (!out.error.ok()) return out;
  // Each name's flags, the first usable record of a name counting: found at
  // once however many pets there are.
  // Names are keyed as the file system compares them (SamePetName).
  std::unordered_map<std::u16string, ShareFlags> flagsOf;
  for (const ShareRecord& record : shares.records)
    if (record.usable) flagsOf.emplace(UpcasedUtf16(record.name), record.flags);
  for (const std::string& name : names) {
    Pet pet;
    pet.name = name;
    const auto found = flagsOf.find(UpcasedUtf16(name));
    if (found != flagsOf.end()) pet.flags = found->second;
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
  std::vector<std::string> files;
  OpResult listed = ListMatching(s_.hostFolder, "*" + s_.petFileName, Pick::Files, &files);
  if (!listed.ok()) return listed;
  std::vector<ShareRecord> records;
  for (const std::string& file : files) {
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

fs::path PetStore::HostProgramCopy(bool patched) const {
  return s_.hostFolder / U8Path((patched ? "ノクタ用_" : "通常用_") + s_.hostExeName);
}

OpResult PetStore::KeepHostProgram(const fs::path& chosen, bool patched) const {
  return Fs().Copy(chosen, HostProgramCopy(patched));
}

OpResult PetStore::RecordCurrent(std::string_view pet) const {
  return WriteCurrentPet(s_.hostFolder, pet);
}

OpResult PetStore::ForgetCurrent() const {
  const fs::path file = CurrentPetFile(s_.hostFolder);
  if (!FileExists(file)) return OpResult::Ok(Action::Delete);
  // One that cannot be read may name the pet whose data the host holds: it
  // stays, so that the next call still asks before it overwrites that data.
  if (ReadCurrentPet(s_.hostFolder).state == CurrentPetRead::State::Unreadable)
    return OpResult::Ok(Action::Delete);
  return Fs().Delete(file);
}

// ---- put-away ---------------------------------------------------------------------

// The copy then holds the host folder's files: copied in first, and only when
// every copy succeeded are the files removed that the host no longer has (a
// mail deleted, a snack eaten, a treasure given away). A host folder that
// does not exist leaves the copy as it is, and so does a treasure folder
// without its box file: the box itself is never given away, so its absence
// is damage that box recovery mends, not something to copy.
OpResult PetStore::PutAwayFolder(Item item, const ItemPaths& paths, bool shared,
                                 CopyBatch& batch) const {
  if (!shared && !EntryExists(paths.pet)) {
    OpResult made = MakeFolder(paths.pet);
    if (!made.ok()) return made;
  }
  if (!IsFolder(paths.host)) return OpResult::Ok(Action::Copy);
  const std::string_view keep = item == Item::kTreasure ? s_.treasureBoxName : std::string_view();
  return MirrorFolder(paths.host, shared ? paths.shared : paths.pet, keep, &batch);
}

std::optional<std::string> PetStore::MisnamedPetFile(std::string_view pet) const {
  if (FileExists(s_.PetCopy(pet, Item::kPetFile))) return std::nullopt;
  std::vector<std::string> files;
  const std::string pattern = std::string(pet) + "_*_" + s_.petFileName;
  if (!ListMatching(s_.hostFolder, pattern, Pick::Files, &files).ok() || files.empty())
    return std::nullopt;
  return files.front();
}

OpResult PetStore::SaveCurrent() const {
  const CurrentPetRead current = ReadCurrentPet(s_.hostFolder);
  if (current.state != CurrentPetRead::State::Ok || current.name.empty())
    return OpResult::Ok(Action::Copy);
  const PetsRead pets = ReadPets();
  if (!pets.error.ok()) return pets.error;
  // Her copies carry the registered spelling of her name.
  for (const Pet& pet : pets.pets)
    if (SamePetName(pet.name, current.name)) return PutAway(pet.name, pet.flags);
  return OpResult::Ok(Action::Copy);  // no longer registered: nobody to save for
}

OpResult PetStore::ReleaseCurrent() const {
  OpResult saved = SaveCurrent();
  if (!saved.ok()) return saved;
  return ForgetCurrent();
}

// Every copy of the put-away is one batch, made durable together; what the
// copies' folders hold beyond the host's goes only after that.
OpResult PetStore::PutAway(std::string_view pet, const ShareFlags& flags) const {
  CopyBatch batch;
  for (Item item : kAllItems) {
    const ItemPaths paths = s_.PetPaths(pet, item);
    const bool shared = SharesItem(flags, item);
    OpResult r = OpResult::Ok(Action::Copy);
    if (!IsFileItem(item)) {
      r = PutAwayFolder(item, paths, shared, batch);
    } else if (FileExists(paths.host)) {
      r = CopyFileItem(paths.host, shared ? paths.shared : paths.pet, batch);
    }
    if (!r.ok()) return r;
  }
  return batch.Commit();
}

// ---- bring-in ---------------------------------------------------------------------

PetStore::BringInEnd PetStore::BringInPetFile(std::string_view pet, StoreQuestions& q,
                                              OpResult* failure) const {
  const ItemPaths p = s_.PetPaths(pet, Item::kPetFile);
  OpResult r;
  if (FileExists(p.pet)) {
    r = Fs().Copy(p.pet, p.host);
  } else {
    q.PetFileWillBeMade(pet);
    if (!FileExists(p.host)) return BringInEnd::kNoPetFile;
    r = Fs().Copy(p.host, p.pet);  // the host's file is the pet's now
  }
  if (r.ok()) return BringInEnd::kDone;
  *failure = r;
  return BringInEnd::kFailed;
}

// Where an item comes in from: the pet's own copy, or the shared one.
const fs::path& PetStore::CopyFor(const ItemPaths& p, bool shared) {
  return shared ? p.shared : p.pet;
}

OpResult PetStore::BringInFriendBook(std::string_view pet, bool shared, StoreQuestions& q,
                                     CopyBatch& batch) const {
  const ItemPaths p = s_.PetPaths(pet, Item::kFriendBook);
  const fs::path& from = CopyFor(p, shared);
  if (FileExists(from)) return CopyFileItem(from, p.host, batch);
  // The copy is missing: never leave another pet's friend book in the host
  // to be put away as this one's.
  if (q.MakeItemNew(pet, s_.friendBookName, shared)) {
    if (FileExists(p.host)) {
      OpResult removed = Fs().Delete(p.host);
      if (!removed.ok()) return removed;
    }
    return Fs().Write(from, "");
  }
  return FileExists(p.host) ? Fs().Copy(p.host, from) : OpResult::Ok(Action::Copy);
}

std::optional<OpResult> PetStore::RecoverBox(const fs::path& folder, StoreQuestions& q) const {
  const std::optional<fs::path> chosen = q.ChooseBoxSource(folder);
  if (!chosen) return std::nullopt;
  return RecoverBoxFrom(folder, *chosen);
}

OpResult PetStore::RecoverBoxFrom(const fs::path& folder, const fs::path& source) const {
  if (!IsFolder(folder)) {
    OpResult made = MakeFolder(folder);
    if (!made.ok()) return made;
  }
  OpResult copied = Fs().Copy(source, Box(folder));
  if (!copied.ok()) return copied;
  return ResetTreasureTags(Box(folder));
}

// The host's treasure folder from an existing copy (shared or the pet's).
OpResult PetStore::TreasureFrom(const fs::path& source, StoreQuestions& q,
                                CopyBatch& batch) const {
  const fs::path host = s_.treasurePaths.host;
  OpResult r = MirrorFolder(source, host, {}, &batch);
  if (!r.ok() || FileExists(Box(source))) return r;
  // The box is recovered into folders whose refresh must be complete first.
  r = batch.Commit();
  if (!r.ok()) return r;
  const std::optional<OpResult> recovered = RecoverBox(source, q);
  if (!recovered) return r;
  if (!recovered->ok()) return *recovered;
  return Fs().Copy(Box(source), Box(host));
}

// A new, empty box: only the box file stays in the host's treasure folder,
// and `copy` gets the box too.
OpResult PetStore::NewTreasure(const fs::path& host, const fs::path& copy,
                               StoreQuestions& q) const {
  const fs::path hostBox = Box(host);
  bool haveBox = FileExists(hostBox);
  if (!haveBox) {
    const std::optional<OpResult> recovered = RecoverBox(host, q);
    if (recovered && !recovered->ok()) return *recovered;
    haveBox = recovered.has_value();
  }
  if (haveBox) {
    OpResult copied = Fs().Copy(hostBox, Box(copy));
    if (!copied.ok()) return copied;
  }
  // The previous pet's treasures go even when no box was chosen: left in
  // the host's folder they would be put away as the called pet's.
  std::vector<std::string> names;
  OpResult listed = ListMatching(host, "*.*", Pick::Files, &names);
  if (!listed.ok()) return listed;
  for (const std::string& name : names) {
    // The box file is kept whatever the letter case of its name on disk.
    if (haveBox && SameFileName(s_.treasureBoxName, name)) continue;
    OpResult removed = Fs().Delete(host / U8Path(name));
    if (!removed.ok()) return removed;
  }
  if (!haveBox) return OpResult::Ok(Action::Edit);
  OpResult reset = ResetTreasureTags(Box(copy));
  return reset.ok() ? ResetTreasureTags(hostBox) : reset;
}

// The new `copy` of the treasure folder is a copy of what the host holds now.
OpResult PetStore::CopyCurrentTreasure(const fs::path& host, const fs::path& copy,
                                       StoreQuestions& q) const {
  OpResult copied = ShellFileOp(AllFiles(host), copy, ShellOp::Copy).result;
  if (!copied.ok()) return copied;
  if (FileExists(Box(host))) return OpResult::Ok(Action::Copy);
  const std::optional<OpResult> recovered = RecoverBox(host, q);
  if (!recovered || !recovered->ok()) return recovered.value_or(OpResult::Ok(Action::Copy));
  return Fs().Copy(Box(host), Box(copy));
}

OpResult PetStore::BringInTreasure(std::string_view pet, bool shared, StoreQuestions& q,
                                   CopyBatch& batch) const {
  const ItemPaths p = s_.PetPaths(pet, Item::kTreasure);
  const fs::path& from = CopyFor(p, shared);
  if (IsFolder(from)) return TreasureFrom(from, q, batch);
  OpResult made = MakeFolder(from);
  if (!made.ok()) return made;
  return q.MakeItemNew(pet, s_.treasureFolderName, shared) ? NewTreasure(p.host, from, q)
                                                           : CopyCurrentTreasure(p.host, from, q);
}

// A received, sent or snack folder.
OpResult PetStore::BringInFolder(std::string_view pet, Item item, bool shared,
                                 StoreQuestions& q, CopyBatch& batch) const {
  const ItemPaths p = s_.PetPaths(pet, item);
  const fs::path& from = CopyFor(p, shared);
  if (IsFolder(from)) return MirrorFolder(from, p.host, {}, &batch);
  OpResult made = MakeFolder(from);
  if (!made.ok()) return made;
  // New: the host starts with an empty folder. Otherwise the new copy is a
  // copy of the host's folder.
  if (q.MakeItemNew(pet, s_.NameOf(item), shared)) return MirrorFolder(from, p.host, {}, &batch);
  return ShellFileOp(AllFiles(p.host), from, ShellOp::Copy).result;
}

PetStore::BringInResult PetStore::BringIn(std::string_view pet, const ShareFlags& flags,
                                          StoreQuestions& questions) const {
  BringInResult out;
  out.end = BringInPetFile(pet, questions, &out.failure);
  if (out.end != BringInEnd::kDone) return out;
  // The copies into the host are one batch, made durable together.
  CopyBatch batch;
  for (Item item : kAllItems) {
    const bool shared = SharesItem(flags, item);
    OpResult r = OpResult::Ok(Action::Copy);
    switch (item) {
      case Item::kPetFile:
        continue;
      case Item::kFriendBook:
        r = BringInFriendBook(pet, shared, questions, batch);
        break;
      case Item::kTreasure:
        r = BringInTreasure(pet, shared, questions, batch);
        break;
      default:
        r = BringInFolder(pet, item, shared, questions, batch);
        break;
    }
    if (!r.ok()) {
      out.end = BringInEnd::kFailed;
      out.failure = r;
      return out;
    }
  }
  if (OpResult r = batch.Commit(); !r.ok()) {
    out.end = BringInEnd::kFailed;
    out.failure = r;
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
  if (!EntryExists(shared)) note(MakeFolder(shared));
  for (Item item : kAllItems) {
    const ItemPaths& paths = s_.PathsOf(item);
    if (item == Item::kPetFile) continue;  // every pet keeps its own
    if (IsFileItem(item)) {
      if (!FileExists(paths.shared) && FileExists(paths.host))
        note(Fs().Copy(paths.host, paths.shared));
    } else if (!EntryExists(paths.shared) && note(MakeFolder(paths.shared))) {
      note(ShellFileOp(AllFiles(paths.host), paths.shared, ShellOp::Copy).result);
    }
  }
  return failures;
}

OpResult PetStore::CopyToShared(std::string_view pet, DataKind kind) const {
  for (Item item : kAllItems) {
    if (KindOf(item) != kind) continue;
    const ItemPaths p = s_.PetPaths(pet, item);
    OpResult r = OpResult::Ok(Action::Copy);
    if (!IsFileItem(item)) {
      r = MirrorFolder(p.pet, p.shared);
    } else if (FileExists(p.pet)) {
      r = Fs().Copy(p.pet, p.shared);
    }
    if (!r.ok()) return r;
  }
  return OpResult::Ok(Action::Copy);
}

}  // namespace lup
