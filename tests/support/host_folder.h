#pragma once
// A host folder D on disk for the tests of all three programs: the host
// executable, a settings store that points at D, fake processes, files put
// and read by relative UTF-8 paths ("ミミ_受信フォルダ/0001.txt"), whole-folder
// snapshots to compare byte for byte, and a model of where each copy's files
// must be after the pet store moved a pet's data. Test-only.
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/fileops.h"
#include "core/pets.h"
#include "platform/fake_processes.h"
#include "platform/settings_store.h"
#include "tests/support/temp_folder.h"

namespace lup::test {

// One state a power cut may leave: after the first `after` events, the
// unflushed writes `lost` says lost (see HostFolder::AfterPowerCut).
struct PowerCut {
  std::size_t after = 0;
  std::function<bool(std::size_t)> lost;
  std::string name;  // for the test's trace
};
// The states to try for `events`: after each event, with nothing unflushed
// lost and with all of it lost. With LUP_POWER_CUTS=all in the environment
// (make stress) also each unflushed write lost alone and random sets of them
// (the seed is printed). Under Wine only the state after the whole work.
std::vector<struct PowerCut> PowerCuts(const std::vector<FileOps::DiskEvent>& events);

// Relative UTF-8 path -> bytes, every file under D.
using Files = std::map<std::string, std::string>;

// The six items by their default names; folders end without "/".
inline const std::vector<std::string> kFileItems = {"PostPet設定.ppc", "おともだち帳"};
inline const std::vector<std::string> kFolderItems = {"宝物", "受信フォルダ", "送信フォルダ",
                                                      "おやつ"};

// A treasure box file with one pet-kind tag whose value (two bytes 16 after
// the tag) is non-zero, so that a reset shows; and the same box reset.
std::string BoxBytes(const std::string& owner);
std::string BoxBytesReset(const std::string& owner);

class HostFolder {
 public:
  HostFolder();
  HostFolder(const HostFolder&) = delete;
  HostFolder& operator=(const HostFolder&) = delete;

  // D, with PostPet20.exe in it; the store's pp_dir names it.
  const std::filesystem::path& D() const { return d_; }
  std::filesystem::path At(std::string_view relative) const;
  std::filesystem::path operator/(std::string_view relative) const { return At(relative); }
  // A folder beside D where the programs lie (their default host folder
  // is elsewhere).
  std::filesystem::path Programs() const { return temp_ / "プログラム"; }

  // Writes a whole file (its folders made first), bypassing the funnel.
  void Put(std::string_view relative, std::string_view bytes);
  void Write(std::string_view relative, std::string_view bytes) { Put(relative, bytes); }
  std::string Read(std::string_view relative) const;
  bool Exists(std::string_view relative) const;
  void Remove(std::string_view relative);  // a file or a whole folder

  // D\name_PostPet設定.ppc: a registered pet.
  void AddPet(std::string_view name, std::string_view content = "pet");
  // A full set of the six items under `prefix` ("" host copies, "ミミ_" a
  // pet's, "共有/" the shared ones, which have no settings file), every
  // file's bytes starting with `owner`.
  void PutItems(const std::string& prefix, const std::string& owner);
  void PutPet(const std::string& name) { PutItems(name + "_", name); }

  // Three pets: ミミ keeps every kind to herself and is current (the host
  // holds her data, newer than her own copies: another friend book, a third
  // mail); ソラ shares her friend book and snacks (she has no own copies of
  // them); クロ has no record in \lupina3.dat. The shared copies exist.
  void PutThreePets();

  // \lupina.dat naming `name`; what it names ("-" missing, "?" unreadable).
  void WriteCurrent(std::string_view name);
  std::string CurrentOnDisk() const;

  Files Snapshot() const;

  // ---- power cuts ----------------------------------------------------------
  // The files under D (as Snapshot gives them) that a power cut leaves when it
  // strikes after the first `cut` of `events` (FileOps::RecordDiskEvents)
  // reached the disk, starting from `before`: every change of names up to it
  // kept, in order; the data of each write not yet flushed lost where
  // `lost(i)` says so for its event i (a new file then holds nothing, a file
  // changed in place its old bytes).
  Files AfterPowerCut(const Files& before, const std::vector<FileOps::DiskEvent>& events, std::size_t cut,
                      const std::function<bool(std::size_t)>& lost) const;
  // D made to hold exactly the files `files` (its folders stay).
  void Restore(const Files& files);

  // A list-file record text (UTF-8) as the CP932 bytes written on disk.
  static std::string Cp932(std::string_view utf8);
  std::string Setting(const std::string& key) const { return store.Get(key).value_or("<absent>"); }

  MemorySettingsStore store;
  FakeProcesses processes;

 private:
  TempFolder temp_;
  std::filesystem::path d_;
};

// The files of one item copy ("ミミ_受信フォルダ") in a snapshot: for a folder
// its top-level files by name, for a file the one entry "".
Files ItemOf(const Files& files, const std::string& item);
// Replaces an item copy in a model by `content` (as ItemOf returns it).
void SetItem(Files& model, const std::string& item, const Files& content);
// Adds and replaces the files of `content` in an item copy (a put-away).
void MergeItem(Files& model, const std::string& item, const Files& content);
// The copy that holds `item` for `pet` with `flags`: "共有/item" or "pet_item".
std::string CopyOf(const std::string& item, const std::string& pet, ShareFlags flags);

// The expected disk after a clean put-away of `pet` with `flags`: host files
// replace its own or the shared files, each folder copy holds what the host
// folder holds (a host folder without files counts as missing: its copy
// stays as it is).
void ModelPutAway(Files& model, const std::string& pet, ShareFlags flags);
// The expected disk after a clean bring-in of `pet` whose copies all exist.
void ModelBringIn(Files& model, const std::string& pet, ShareFlags flags);
// An empty folder is invisible in a Files map; these list empty folders too.
std::vector<std::string> FoldersIn(const std::filesystem::path& d);

}  // namespace lup::test
