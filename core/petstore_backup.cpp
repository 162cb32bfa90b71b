// The backup, the repair and the deletion of pets (the utility's safety net).
// What keeps the data safe here:
//  - a folder copy is refreshed by copying first and removing what is left
//    over only after every copy succeeded, so a failure never leaves a
//    backup, or a pet's data, emptied;
//  - a shared kind is restored only into copies that hold the shared data,
//    never into a host copy that holds another pet's own data;
//  - whatever the host holds for the current pet is put away before her
//    copies change, and \lupina.dat no longer names her afterwards;
//  - every failure comes back to the window, none is passed over.

#include "base/text.h"
#include "core/backup_history.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/petstore.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

// The items in the order the backup and the repair go through them.
constexpr Item kInBoxOrder[] = {Item::kPetFile, Item::kFriendBook, Item::kReceived,
                                Item::kSent,    Item::kSnacks,     Item::kTreasure};

// The ItemChoice index of an item.
int ChoiceOf(Item item) {
  const std::optional<DataKind> kind = KindOf(item);
  return kind ? static_cast<int>(*kind) : kPetFileChoice;
}

}  // namespace

OpResult RefreshFolderCopy(const fs::path& source, const fs::path& target, std::string_view keep,
                           ReplacedFiles* keeper) {
  if (!IsFolder(target)) {
    OpResult made = keeper ? keeper->MakingFolder(target) : OpResult::Ok();
    if (made.ok()) made = MakeFolder(target);
    if (!made.ok()) return made;
  }
  CopyBatch batch;
  batch.KeepReplacedIn(keeper);
  const OpResult staged = MirrorFolder(source, target, keep, &batch);
  return staged.ok() ? batch.Commit() : staged;
}

// ---- the backup -------------------------------------------------------------------

PetStore::BackupReport PetStore::BackUp(const ItemChoice& items) const {
  BackupReport out;
  // What this run replaces or removes in D\bak is kept as the generation
  // before it: nothing changes there before the run's record exists, and
  // when that record cannot be made the run stops (stopped).
  BackupRun run(s_);
  bool stopped = false;
  const auto note = [&](const OpResult& r) {
    if (!r.ok() && !run.Unrecorded().ok()) {
      out.notStarted = run.Unrecorded();
      stopped = true;
    } else if (!r.ok()) {
      out.failures.push_back(r);
    }
    return r.ok();
  };
  // A treasure folder that lost its box file is damaged: its backup keeps
  // the box so that a repair can bring it back.
  const auto keep = [&](Item item) {
    return item == Item::kTreasure ? std::string_view(s_.treasureBoxName) : std::string_view();
  };
  // The current pet's latest data is in the host copies: saved first, as a
  // call would, so that her backup (and the shared one) holds it.
  // Without the share list whose copies are hers is unknown: the host copies'
  // own backup then holds her latest data, and the run goes on.
  out.unsaved = SaveCurrent();
  if (out.unsaved.action == Action::Read && out.unsaved.path == ShareListFile(s_.hostFolder))
    out.unsaved = OpResult::Ok();
  if (!out.unsaved.ok()) return out;
  const BackupLayout bak(s_);
  out.notStarted = run.Begin();
  if (!out.notStarted.ok()) return out;
  const auto makeFolder = [&](const fs::path& folder) {
    OpResult r = run.MakingFolder(folder);
    return r.ok() ? MakeFolder(folder) : r;
  };
  const auto copyFile = [&](const fs::path& from, const fs::path& to) {
    CopyBatch batch;
    batch.KeepReplacedIn(&run);
    OpResult r = Fs().Copy(from, to, &batch);
    return r.ok() ? batch.Commit() : r;
  };
  const auto refresh = [&](const fs::path& from, const fs::path& to, std::string_view kept) {
    return RefreshFolderCopy(from, to, kept, &run);
  };
  // Without D\bak every copy would fail: that one failure says it all.
  if (!IsFolder(bak.Folder()) && !note(makeFolder(bak.Folder()))) return out;

  const ShareListRead shares = ReadShareList(s_.hostFolder);
  const bool flagsKnown = shares.error.ok() && shares.exists;
  if (!shares.error.ok()) {
    out.sharesUnknown = shares.error;
  } else if (!shares.exists) {
    out.sharesUnknown = ShareListMissing(s_.hostFolder);
  }

  std::vector<std::string> pets;
  note(PetNames(&pets));
  for (const std::string& pet : pets) {
    if (stopped) return out;
    // A pet without a record shares nothing.
    const ShareFlags flags =
        flagsKnown ? FindShareFlags(shares.records, pet).value_or(ShareFlags{}) : ShareFlags{};
    for (Item item : kInBoxOrder) {
      if (stopped) return out;
      if (!items[ChoiceOf(item)] || SharesItem(flags, item)) continue;
      const fs::path own = s_.PetCopy(pet, item);
      if (item == Item::kPetFile && !FileExists(own)) {
        // Listed through an older file name with another "_" in it, which
        // the launcher does not call either: said, not skipped.
        if (const std::optional<std::string> misnamed = MisnamedPetFile(pet))
          note(OpResult::Fail(Action::Copy, MakeError(CoreError::ExtraUnderscore),
                              s_.hostFolder / U8Path(*misnamed), bak.OfPet(pet, item)));
      } else if (IsFileItem(item)) {
        if (FileExists(own)) note(copyFile(own, bak.OfPet(pet, item)));
      } else if (flagsKnown || IsFolder(own)) {
        // With the flags unknown, a missing folder may be a shared kind's:
        // its backup is left as it is.
        note(refresh(own, bak.OfPet(pet, item), keep(item)));
      }
    }
    ++out.pets;
  }

  // The host copies and the shared copies, whatever was chosen.
  for (const bool shared : {false, true}) {
    if (shared && !IsFolder(bak.SharedFolder()) && !note(makeFolder(bak.SharedFolder()))) break;
    for (Item item : kInBoxOrder) {
      if (stopped) return out;
      if (item == Item::kPetFile) continue;  // the host's own is not backed up
      const ItemPaths& paths = s_.PathsOf(item);
      const fs::path& from = shared ? paths.shared : paths.host;
      const fs::path to = shared ? bak.OfShared(item) : bak.OfHost(item);
      if (IsFileItem(item)) {
        if (FileExists(from)) note(copyFile(from, to));
      } else {
        note(refresh(from, to, keep(item)));
      }
    }
  }
  // Whole only when every step went through: a run with failures leaves a
  // generation that is offered to nobody, and the ones before it whole.
  if (!stopped && out.failures.empty()) note(run.Finish());
  return out;
}

// ---- the repair -------------------------------------------------------------------

std::vector<BackupGeneration> PetStore::BackupGenerations() const {
  return BackupHistory(s_).Generations();
}

bool PetStore::HasBackupFor(std::string_view pet, const ShareFlags& flags, int choice,
                            int generation) const {
  const BackupLayout bak(s_);
  const BackupView view = BackupHistory(s_).View(generation);
  bool any = false;
  for (Item item : kInBoxOrder) {
    if (ChoiceOf(item) != choice) continue;
    any = true;
    const fs::path from = SharesItem(flags, item) ? bak.OfShared(item) : bak.OfPet(pet, item);
    if (!(IsFileItem(item) ? view.File(from).has_value() : view.IsFolder(from))) return false;
  }
  return any;
}

// One item back from its backup, as `view` has it: into her own copy, or
// into the shared copy (and the host copy when `hostToo`) from the shared
// backup.
OpResult PetStore::Restore(std::string_view pet, Item item, bool shared, bool hostToo,
                           const BackupView& view) const {
  const BackupLayout bak(s_);
  const ItemPaths paths = s_.PetPaths(pet, item);
  const fs::path from = shared ? bak.OfShared(item) : bak.OfPet(pet, item);
  std::vector<fs::path> targets;
  if (!shared) targets.push_back(paths.pet);
  if (shared) targets.push_back(paths.shared);
  if (shared && hostToo) targets.push_back(paths.host);
  const std::string_view keep =
      item == Item::kTreasure ? std::string_view(s_.treasureBoxName) : std::string_view();
  for (const fs::path& target : targets) {
    OpResult r = OpResult::Ok(Action::Copy);
    if (!IsFileItem(item)) {
      std::vector<std::pair<std::string, fs::path>> files;
      r = view.Files(from, &files);
      if (r.ok() && !IsFolder(target)) r = MakeFolder(target);
      if (r.ok()) r = MirrorFiles(files, target, keep);
    } else if (const std::optional<fs::path> file = view.File(from)) {
      r = Fs().Copy(*file, target);
    }
    if (!r.ok()) return r;
  }
  return OpResult::Ok(Action::Copy);
}

PetStore::RepairReport PetStore::Repair(std::string_view pet, const ShareFlags& flags,
                                        const ItemChoice& items, int generation) const {
  RepairReport out;
  const BackupView view = BackupHistory(s_).View(generation);
  const CurrentPetRead current = ReadCurrentPet(s_.hostFolder);
  // Which kinds the host copies hold as the shared data: all of them when
  // no pet is current (they belong to nobody), the current pet's shared
  // kinds otherwise, none when whose data they hold is unknown.
  std::array<bool, 4> hostShares{};
  const bool nobody = current.state == CurrentPetRead::State::Missing ||
                      (current.state == CurrentPetRead::State::Ok && current.name.empty());
  if (current.state == CurrentPetRead::State::Ok && SamePetName(current.name, pet)) {
    // Her latest data is saved first; from now on the host copies are
    // nobody's, and the next call brings the repaired data in.
    out.failure = ReleaseCurrent();
    if (!out.failure.ok()) return out;
    out.released = true;
    hostShares.fill(true);
  } else if (nobody) {
    hostShares.fill(true);
  } else if (current.state == CurrentPetRead::State::Ok && IsRegistered(current.name)) {
    const FlagsRead theirs = ReadFlags(current.name);
    if (theirs.error.ok())
      for (int k = 0; k < 4; ++k) hostShares[k] = theirs.flags[k] != 0;
  }

  for (const int choice : {kPetFileChoice, 0, 1, 2, 3}) {
    if (!items[choice]) continue;
    for (Item item : kInBoxOrder) {
      if (ChoiceOf(item) != choice) continue;
      const bool shared = SharesItem(flags, item);
      OpResult r = Restore(pet, item, shared, shared && hostShares.at(choice), view);
      if (!r.ok()) {
        out.failedChoice = choice;
        out.failure = r;
        return out;
      }
    }
  }
  return out;
}

// ---- the deletion -----------------------------------------------------------------

bool PetStore::HasOwnCopy(std::string_view pet, DataKind kind) const {
  switch (kind) {
    case kFriendBook:
      return FileExists(s_.PetCopy(pet, Item::kFriendBook));
    case kSendReceiveLog:
      // The received folder stands for both: without it the sent folder stays.
      return IsFolder(s_.PetCopy(pet, Item::kReceived));
    case kSnacks:
      return IsFolder(s_.PetCopy(pet, Item::kSnacks));
    case kTreasureBox:
      return IsFolder(s_.PetCopy(pet, Item::kTreasure));
  }
  return false;
}

namespace {

// A file deleted when it exists; a missing one is nothing to do.
OpResult DeleteIfThere(const fs::path& file) {
  if (!FileExists(file)) return OpResult::Ok(Action::Delete);
  return Fs().Delete(file);
}

// The folder's files deleted, every one tried; the folder itself removed
// when nothing is left in it. A missing folder is nothing to do.
void EmptyAndRemove(const fs::path& folder, PetStore::DeletionReport& report) {
  if (!IsFolder(folder)) return;
  std::vector<std::string> files;
  OpResult listed = ListMatching(folder, "*.*", Pick::Files, &files);
  if (!listed.ok()) {
    report.failures.push_back(listed);
    return;
  }
  bool allGone = true;
  for (const std::string& name : files) {
    OpResult r = Fs().Delete(folder / U8Path(name));
    if (!r.ok()) {
      report.failures.push_back(r);
      allGone = false;
    }
  }
  if (!allGone) return;
  std::vector<std::string> left;
  listed = ListMatching(folder, "*", Pick::Both, &left);
  if (!listed.ok()) {
    report.failures.push_back(listed);
  } else if (!left.empty()) {
    report.keptFolders.push_back(folder);
  } else {
    OpResult removed = Fs().RemoveFolder(folder);
    if (!removed.ok()) report.failures.push_back(removed);
  }
}

}  // namespace

void PetStore::DeleteOwn(std::string_view pet, Item item, DeletionReport& report) const {
  const fs::path own = s_.PetCopy(pet, item);
  const fs::path backup = BackupLayout(s_).OfPet(pet, item);
  if (IsFileItem(item)) {
    for (const fs::path& file : {own, backup}) {
      OpResult r = DeleteIfThere(file);
      if (!r.ok()) report.failures.push_back(r);
    }
    return;
  }
  EmptyAndRemove(own, report);
  EmptyAndRemove(backup, report);
}

PetStore::DeletionReport PetStore::DeletePet(std::string_view pet, const ItemChoice& items) const {
  DeletionReport out;
  const CurrentPetRead current = ReadCurrentPet(s_.hostFolder);
  if (current.state == CurrentPetRead::State::Ok && SamePetName(current.name, pet)) {
    // Her latest data goes into the copies that stay (and the shared ones,
    // which other pets use), and \lupina.dat stops naming her.
    OpResult released = ReleaseCurrent();
    if (!released.ok()) {
      out.failures.push_back(released);
      out.stopped = true;
      out.stillRegistered = IsRegistered(pet);
      return out;
    }
    out.released = true;
  }
  DeleteOwn(pet, Item::kPetFile, out);
  out.stillRegistered = IsRegistered(pet);
  for (Item item : kInBoxOrder)
    if (item != Item::kPetFile && items[ChoiceOf(item)]) DeleteOwn(pet, item, out);
  return out;
}

}  // namespace lup
