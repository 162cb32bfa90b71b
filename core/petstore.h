#pragma once
// The pet store: the one home of every pet's data in the host folder D and of
// the operations on it. Calling a pet, the share settings, the snack manager
// and the utility all move pets' data through here, so that they can never
// drift apart.
//
//   D\N          the host copy of item N: what the host reads and writes now
//   D\P_N        pet P's own copy (for the kinds P keeps to itself)
//   D\共有\N      the shared copy (for the kinds P shares)
//   D\bak\...    the backup (BackupLayout below)
//   D\lupina.dat  whose data the host copies hold (the current pet)
//   D\lupina3.dat every pet's share flags
//
//   PetStore store(settings);
//   store.PutAway(current.name, current.flags);      // the host's data goes home
//   store.RecordCurrent("");                         // nobody's data from here
//   store.BringIn(called.name, called.flags, asker); // the called pet's comes in
//
// The store never shows a message. What it must ask goes through
// StoreQuestions, which the windows answer; what failed comes back as an
// OpResult naming the file. Every change goes through the funnel (atomic
// copies and writes).
#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/backup_history.h"
#include "core/listfiles.h"
#include "core/pets.h"
#include "core/result.h"
#include "core/settings.h"

namespace lup {

class BackupView;
class CopyBatch;
class ReplacedFiles;

// What the store asks while it moves a pet's data in.
class StoreQuestions {
 public:
  virtual ~StoreQuestions() = default;
  // `pet` has no settings file of its own; the host's is about to become it.
  // Told, not asked.
  virtual void PetFileWillBeMade(std::string_view pet) = 0;
  // `pet` has no own copy of the item named `itemName` (or, when `shared`,
  // there is no shared copy of it): true to start it new and empty, false to
  // make the missing copy a copy of what the host holds now.
  virtual bool MakeItemNew(std::string_view pet, std::string_view itemName, bool shared) = 0;
  // The treasure folder `folder` has no box file: the box to make one from
  // (usually another pet's), or nullopt when the user chose none.
  virtual std::optional<std::filesystem::path> ChooseBoxSource(
      const std::filesystem::path& folder) = 0;
};

// Makes the folder `target` hold exactly the top-level files of `source`:
// the files of `source` are copied in first (each atomically), and only when
// every copy succeeded are the files of `target` removed that `source` lacks
// (names compared as the file system does, letter case ignored). A missing or
// empty `source` empties `target`; a missing `target` is made only when there
// is something to copy. Sub-folders on either side are left alone, and the
// funnel's own temporary files are never taken for data. A file of `target`
// named `keep` is never removed. Stops at the first failure and returns it.
// With a `batch` the copies and the removals are left to it (a step that
// refreshes several folders commits them together); without one they are
// committed before it returns.
OpResult MirrorFolder(const std::filesystem::path& source, const std::filesystem::path& target,
                      std::string_view keep = {}, CopyBatch* batch = nullptr);
// The same with the source's files given one by one (name, where it is):
// a folder of an earlier generation of the backup.
OpResult MirrorFiles(const std::vector<std::pair<std::string, std::filesystem::path>>& sources,
                     const std::filesystem::path& target, std::string_view keep = {},
                     CopyBatch* batch = nullptr);

// A folder copy refreshed: `target` is made when it is not a folder (one
// level, its parent must exist), then MirrorFolder(source, target, keep). So
// `target` ends up holding exactly the top-level files of `source` (none
// when `source` is missing or empty), and until every file of `source` is in
// nothing of `target` is removed. Stops at the first failure and returns it.
// With a `keeper` (a backup run) the files it replaces or removes go to it,
// and a folder made is named to it before it is made.
OpResult RefreshFolderCopy(const std::filesystem::path& source,
                           const std::filesystem::path& target, std::string_view keep = {},
                           ReplacedFiles* keeper = nullptr);

// The data kind an item belongs to; the pet settings file has none.
std::optional<DataKind> KindOf(Item item);
// True when `flags` share the kind of `item`: its shared copy is the one in
// use. The pet settings file belongs to no kind and is never shared.
bool SharesItem(const ShareFlags& flags, Item item);

// Names compared as the Windows file system compares them (letter case
// ignored for the letters it folds).
bool SameFileName(std::string_view a, std::string_view b);

// The backup folder D\bak: one generation of every pet's own copies, of the
// host copies and of the shared copies. A file item gets ".bak" after its
// name, a folder item keeps it.
class BackupLayout {
 public:
  explicit BackupLayout(const Settings& settings) : s_(settings) {}
  std::filesystem::path Folder() const;                                // D\bak
  std::filesystem::path SharedFolder() const;                          // D\bak\共有
  std::filesystem::path OfPet(std::string_view pet, Item item) const;  // D\bak\P_N[.bak]
  std::filesystem::path OfHost(Item item) const;                       // D\bak\N[.bak]
  std::filesystem::path OfShared(Item item) const;                     // D\bak\共有\N[.bak]

 private:
  std::filesystem::path In(const std::filesystem::path& folder, const std::string& name,
                           Item item) const;
  const Settings& s_;
};

// What the backup, the repair and the deletion are asked to handle, in the
// order of their boxes: the four data kinds by DataKind, and the pet
// settings file at kPetFileChoice.
inline constexpr int kPetFileChoice = 4;
using ItemChoice = std::array<bool, 5>;
inline constexpr ItemChoice kEverything = {true, true, true, true, true};

// The registered pets with their share flags.
struct PetsRead {
  std::vector<Pet> pets;  // in listing order; a pet without a record shares nothing
  OpResult error;         // the host folder could not be listed, or \lupina3.dat
                          // exists but could not be read (pets then empty)
};

// Whose snacks the host's snack folder holds now (the snack manager mirrors
// its changes there).
struct LiveSnackOwner {
  enum class State {
    kNobody,          // no pet is current
    kPet,             // `pet` is current; `shared` says whether it shares its snacks
    kCurrentUnknown,  // \lupina.dat cannot be read
    kSharesUnknown,   // `pet` is current but \lupina3.dat cannot be read
  };
  State state = State::kNobody;
  std::string pet;
  bool shared = false;
};
// Reads \lupina.dat and \lupina3.dat of `hostFolder`.
LiveSnackOwner ReadLiveSnackOwner(const std::filesystem::path& hostFolder);

class PetStore {
 public:
  // Takes the host folder and the item names of `settings`.
  explicit PetStore(const Settings& settings);

  const Settings& settings() const { return s_; }

  // ---- pets and their flags --------------------------------------------------

  // The names of the registered pets, in listing order; an error when the
  // host folder cannot be listed.
  OpResult PetNames(std::vector<std::string>* names) const;
  // The registered pets with the flags of \lupina3.dat (the first record of
  // each name counts).
  PetsRead ReadPets() const;
  // \lupina3.dat written anew from `pets`, in their order.
  OpResult SaveShares(const std::vector<Pet>& pets) const;
  // \lupina3.dat rebuilt from the settings files in D: every name of a file
  // matching "*" + the pet file name that holds "_" (the text before its first
  // "_"), every kind per pet.
  OpResult RebuildShares() const;

  // ---- which pets use the patched host (\lupina2.dat) ------------------------

  SpecialMarksRead ReadPatchedMarks() const;
  // \lupina2.dat written anew from `marks`, in their order.
  OpResult SavePatchedMarks(const std::vector<SpecialMark>& marks) const;
  // \lupina2.dat removed (when it exists): no pet is marked.
  OpResult ForgetPatchedMarks() const;
  // True when \lupina2.dat marks `pet` (its first record counts).
  bool UsesPatchedHost(std::string_view pet) const;
  // Where the host folder keeps its copy of the ordinary host program
  // (D\通常用_<host>) or of the patched one (D\ノクタ用_<host>).
  std::filesystem::path HostProgramCopy(bool patched) const;
  // The host program the user chose, copied there (replacing the copy kept).
  OpResult KeepHostProgram(const std::filesystem::path& chosen, bool patched) const;

  // ---- the current pet -------------------------------------------------------

  // \lupina.dat names `pet` ("" = no pet's data is in the host copies).
  OpResult RecordCurrent(std::string_view pet) const;
  // \lupina.dat removed (when it exists): no pet is current. One that cannot
  // be read stays: whose data the host holds is unknown, and the next call
  // must still ask before it overwrites that data.
  OpResult ForgetCurrent() const;

  // The settings file of an older version that registers `pet` under a name
  // holding another "_" ("ミミ_2_PostPet設定.ppc" lists as ミミ) while `pet`'s
  // own settings file does not exist; nullopt otherwise. Calling such a pet
  // would make it from another pet's settings.
  std::optional<std::string> MisnamedPetFile(std::string_view pet) const;

  // ---- moving a pet's data ---------------------------------------------------

  // The host copies go back into `pet`'s own copies, or the shared ones for
  // the kinds `flags` shares: each folder copy ends up holding the host
  // folder's files (copied first; what the host deleted is removed only when
  // every copy of that folder succeeded), files are replaced, the pet's
  // folders are made when missing, host items that do not exist are passed
  // over. Sub-folders are left alone. Stops at the first failure: nothing of
  // the host's is lost, the next try repeats it.
  OpResult PutAway(std::string_view pet, const ShareFlags& flags) const;

  // The current pet's latest data saved, so that nothing that the host holds
  // now is lost when the host copies stop being that pet's. When
  // \lupina.dat names a registered pet, the host copies are put away by its
  // flags in \lupina3.dat. Nothing happens when no pet is current, when the
  // named pet is no longer registered, or when \lupina.dat cannot be read
  // (whose data the host holds is unknown; the call asks before it
  // overwrites it). A \lupina3.dat that cannot be read is an error.
  OpResult SaveCurrent() const;
  // SaveCurrent, then ForgetCurrent: from now on the host copies belong to
  // no pet. When the save failed, nothing is removed. An unreadable
  // \lupina.dat stays, so that the next call still asks.
  OpResult ReleaseCurrent() const;

  enum class BringInEnd {
    kDone,
    kNoPetFile,  // neither the pet's settings file nor the host's: nothing brought in
    kFailed,     // `failure` names the file; the host copies are part old, part new
  };
  struct BringInResult {
    BringInEnd end = BringInEnd::kDone;
    OpResult failure;
  };
  // `pet`'s copies (own, or shared by `flags`) replace the host copies. A
  // missing copy, own or shared, is made as `questions` answers (new and
  // empty, or from what the host holds): the host never keeps another pet's
  // data unasked. A treasure folder without its box file gets one made from
  // a box the user chooses.
  BringInResult BringIn(std::string_view pet, const ShareFlags& flags,
                        StoreQuestions& questions) const;

  // D\共有 and every shared copy that does not exist yet, each first filled
  // from the host copy. Goes on after a failure; returns every failure.
  std::vector<OpResult> PrepareSharedCopies() const;

  // `pet`'s own copy of one data kind replaces the shared copy (the friend
  // book when it exists; the folders mirrored). Stops at the first failure.
  OpResult CopyToShared(std::string_view pet, DataKind kind) const;

  // A treasure folder's missing box file made from the box the user chooses:
  // copied in (the folder made when missing) and its pet-kind values reset.
  // nullopt when the user chose none (nothing is changed).
  std::optional<OpResult> RecoverBox(const std::filesystem::path& folder,
                                     StoreQuestions& questions) const;
  // The same from the box `source`, already chosen.
  OpResult RecoverBoxFrom(const std::filesystem::path& folder,
                          const std::filesystem::path& source) const;

  // ---- registering pets and emptying treasure boxes (the utility) -----------

  // D\ppc_name + "bak": the host's own settings file, set aside while the host
  // makes a new pet.
  std::filesystem::path SetAsideFile() const;
  // D\ppc_name renamed to SetAsideFile(); nothing to do when there is none.
  // Never replaces anything: a set-aside file already there is AlreadyExists.
  OpResult SetAsideHostPetFile() const;
  // SetAsideFile() renamed back to D\ppc_name; nothing to do when there is
  // none. When D\ppc_name exists as well nothing changes (AlreadyExists).
  OpResult GiveBackHostPetFile() const;

  // A set-aside settings file found before a new pet is made, or before a
  // call: left by a new-pet creation that did not end (the utility ended or
  // failed meanwhile, or an older version's cancel).
  struct SetAsideLeft {
    enum class State {
      kNone,        // no set-aside file
      kGiveBack,    // no pet is current and D\ppc_name is missing: giving it
                    // back restores what the host held before
      kUnfinished,  // no pet is current and D\ppc_name exists: most likely
                    // the pet the host made, not registered yet
      kUnsafe,      // a pet is current (or \lupina.dat cannot be read): given
                    // back, it would be put away under her name
    };
    State state = State::kNone;
    // The registered pets whose own settings file holds the same bytes as
    // the set-aside file, and as D\ppc_name (when it exists): what each is.
    std::vector<std::string> asideMatches, hostMatches;
    std::string current;        // kUnsafe: the current pet, when known
    bool currentUnknown = false;  // kUnsafe: \lupina.dat cannot be read
  };
  SetAsideLeft LookAtSetAside() const;

  // True when `pet` is among the registered pets (SamePetName).
  bool IsRegistered(std::string_view pet) const;
  // The registered spelling of the pet the file system takes `pet` for
  // ("Mimi" for "mimi"); nullopt when no such pet is registered.
  std::optional<std::string> RegisteredName(std::string_view pet) const;

  struct Registration {
    OpResult petFile;  // D\P_ppc_name written (the pet is registered)
    OpResult backup;   // D\bak\P_ppc_name.bak written (not tried when petFile failed)
    bool ok() const { return petFile.ok() && backup.ok(); }
  };
  // `pet` registered from the settings file `source`: copied to
  // D\P_ppc_name, then that copy to its backup (D\bak made when missing).
  Registration RegisterPet(std::string_view pet, const std::filesystem::path& source) const;

  enum class TakeOverEnd {
    kCopied,
    kAlreadyThere,   // `path`, the pet's own copy, exists: left as it is
    kSourceMissing,  // `path`, the source, does not exist: nothing copied
    kFailed,         // `failure` names the file
  };
  struct TakeOver {
    Item item = Item::kFriendBook;
    TakeOverEnd end = TakeOverEnd::kCopied;
    std::filesystem::path path;
    OpResult failure;
  };
  // `pet` takes over the items of `kind` from `sourceFolder` (the folder of
  // the settings file it was registered from), item by item: a file is
  // copied, a folder made and its top-level files copied in. An own copy
  // that exists already is never touched.
  std::vector<TakeOver> TakeOverKind(std::string_view pet, DataKind kind,
                                     const std::filesystem::path& sourceFolder) const;

  // The share flags of `pet`: those of its first record in \lupina3.dat;
  // a pet without a record shares nothing. `error` when the file is missing
  // or cannot be read.
  struct FlagsRead {
    ShareFlags flags{};
    OpResult error;
  };
  FlagsRead ReadFlags(std::string_view pet) const;

  // The pets with a backup of their settings file (D\bak\P_ppc_name.bak),
  // in listing order; an error when D\bak cannot be listed.
  OpResult BackedUpPetNames(std::vector<std::string>* pets) const;

  // Empties `pet`'s treasure box, or the shared one when `shared`: the
  // current pet's data is put away first (SaveCurrent), then the box's
  // pet-kind values are reset, then \lupina.dat is removed, so that the next
  // call brings the emptied box in and puts nothing old over it. A missing
  // box is first made from `source` (RecoverBoxFrom); without one nothing
  // but the save is done and nullopt is returned: the caller asks the user
  // for a box, outside its hold on the data, and calls again. Otherwise the
  // first failure.
  std::optional<OpResult> EmptyTreasureBox(std::string_view pet, bool shared,
                                           const std::optional<std::filesystem::path>& source) const;

  // ---- backup, repair and deletion (core/petstore_backup.cpp) ----------------

  struct BackupReport {
    // The current pet's host data could not be saved first: nothing was
    // backed up (her backup would miss her latest data).
    OpResult unsaved;
    // The record of the run, which keeps the backup it replaces, could not
    // be begun: nothing was backed up.
    OpResult notStarted;
    int pets = 0;                    // the registered pets that were gone through
    std::vector<OpResult> failures;  // every step that failed, in order
    // \lupina3.dat could not be read (or is missing): nobody's flags are
    // known, so every pet's own copies that exist were backed up.
    OpResult sharesUnknown;
    bool ok() const { return unsaved.ok() && notStarted.ok() && failures.empty(); }
  };
  // The current pet's host data saved (SaveCurrent); then one generation of
  // the backup (BackupLayout): for every registered pet
  // (in listing order) its settings file and its own copies of the kinds it
  // does not share, as far as `items` asks for them; then the host copies
  // and the shared copies, whatever `items` says. File items are copied
  // when they exist; folder items refreshed (RefreshFolderCopy, the
  // treasure box file never removed from a backup). Goes on after a failure
  // and returns every one; each backup file is whole, old or new.
  BackupReport BackUp(const ItemChoice& items = kEverything) const;

  // The generations of the backup a repair can restore, newest first
  // (core/backup_history.h).
  std::vector<BackupGeneration> BackupGenerations() const;

  // True when the backup that a repair of `choice` (an ItemChoice index)
  // restores `pet` from is all there in the generation `generation`
  // (BackupGeneration::undone; 0 is D\bak as it is): her own backup, or for
  // a kind that `flags` shares the shared backup (D\bak\共有), every item of
  // the kind.
  bool HasBackupFor(std::string_view pet, const ShareFlags& flags, int choice,
                    int generation = 0) const;

  struct RepairReport {
    int failedChoice = -1;  // the ItemChoice index whose restore failed; -1 none
                            // (or a failure before the first item)
    OpResult failure;
    bool released = false;  // `pet` was the current pet: her host data was put
                            // away first, and no pet is current now
    bool ok() const { return failure.ok(); }
  };
  // `pet`'s data put back from the backup, item by item in the order pet
  // settings file, friend book, send/receive log, snacks, treasure box, as
  // far as `items` asks. A kind she keeps to herself goes back into her own
  // copy; a kind `flags` shares into the shared copy from the shared
  // backup, and into the host copy as well (from the same backup) only when
  // no pet is current or the current pet shares that kind. When `pet` is
  // the current pet, her host data is put away and \lupina.dat removed
  // before anything is restored, so that the next call brings the repaired
  // data in. Folders are refreshed (RefreshFolderCopy); a file whose backup
  // is missing is left as it is. Stops at the first failure.
  // `generation` chooses the backup (BackupGeneration::undone; 0 is D\bak
  // as it is).
  RepairReport Repair(std::string_view pet, const ShareFlags& flags, const ItemChoice& items,
                      int generation = 0) const;

  // True when `pet` has her own copy of the data kind `kind` (the friend
  // book file; the received, snack or treasure folder).
  bool HasOwnCopy(std::string_view pet, DataKind kind) const;

  struct DeletionReport {
    std::vector<OpResult> failures;  // every file or folder that could not go
    // Folders left in place because they hold sub-folders (their files are gone).
    std::vector<std::filesystem::path> keptFolders;
    bool stillRegistered = false;  // her settings file is still there
    bool released = false;         // she was the current pet (see DeletePet)
    bool stopped = false;          // her host data could not be put away: nothing deleted
  };
  // `pet` deleted: her settings file and its backup always, and for each
  // kind checked in `items` (the pet-file entry is not looked at) her own
  // copies and their backups: files deleted, folders emptied of their files
  // and removed when nothing is left in them. Host and shared copies are
  // never touched. When she is the current pet, her host data is first put
  // away (into the copies the deletion keeps, and the shared ones) and
  // \lupina.dat removed, so that no later call files the host's data under
  // her name; when that fails nothing is deleted. Goes on after a failure.
  DeletionReport DeletePet(std::string_view pet, const ItemChoice& items) const;

 private:
  OpResult PutAwayFolder(Item item, const ItemPaths& paths, bool shared, CopyBatch& batch) const;
  BringInEnd BringInPetFile(std::string_view pet, StoreQuestions& q, OpResult* failure) const;
  OpResult BringInFriendBook(std::string_view pet, bool shared, StoreQuestions& q,
                             CopyBatch& batch) const;
  OpResult BringInTreasure(std::string_view pet, bool shared, StoreQuestions& q,
                           CopyBatch& batch) const;
  OpResult TreasureFrom(const std::filesystem::path& source, StoreQuestions& q,
                        CopyBatch& batch) const;
  OpResult NewTreasure(const std::filesystem::path& host, const std::filesystem::path& copy,
                       StoreQuestions& q) const;
  OpResult CopyCurrentTreasure(const std::filesystem::path& host, const std::filesystem::path& copy,
                               StoreQuestions& q) const;
  static const std::filesystem::path& CopyFor(const ItemPaths& paths, bool shared);
  OpResult BringInFolder(std::string_view pet, Item item, bool shared, StoreQuestions& q,
                         CopyBatch& batch) const;
  OpResult Restore(std::string_view pet, Item item, bool shared, bool hostToo,
                   const BackupView& view) const;
  void DeleteOwn(std::string_view pet, Item item, DeletionReport& report) const;
  std::filesystem::path Box(const std::filesystem::path& treasureFolder) const {
    return s_.BoxFile(treasureFolder);
  }

  Settings s_;
};

}  // namespace lup
