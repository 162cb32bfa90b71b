#pragma once
// A host folder on disk for the tests of calling a pet: pets, host copies and
// shared copies filled with small files whose bytes say whose they are, a
// whole-folder snapshot to compare byte for byte, and a model of where each
// copy's files must be after a call.
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/fileops.h"
#include "core/settings.h"
#include "tests/support/temp_folder.h"
#include "launcher/call_pet.h"
#include "platform/fake_processes.h"
#include "platform/settings_store.h"
#include "ui/headless/headless_host.h"

namespace lup::test {

// Relative UTF-8 path ("ミミ_受信フォルダ/a.txt") -> bytes, every file under D.
using Files = std::map<std::string, std::string>;

// The six items by their default names; folders end without "/".
inline const std::vector<std::string> kFileItems = {"PostPet設定.ppc", "おともだち帳"};
inline const std::vector<std::string> kFolderItems = {"宝物", "受信フォルダ", "送信フォルダ",
                                                      "おやつ"};

// A treasure box file with one pet-kind tag whose value (two bytes 16 after
// the tag) is non-zero, so that a reset shows.
std::string BoxBytes(const std::string& owner);
std::string BoxBytesReset(const std::string& owner);

class CallPetFixture {
 public:
  CallPetFixture();

  const std::filesystem::path& D() const { return d_; }
  std::filesystem::path At(const std::string& relative) const;

  void Put(const std::string& relative, const std::string& bytes);
  // A full set of the six items under `prefix` ("" host copies, "ミミ_" a pet's,
  // "共有/" the shared ones), every file's bytes starting with `owner`.
  void PutItems(const std::string& prefix, const std::string& owner);
  void PutPet(const std::string& name) { PutItems(name + "_", name); }
  void Remove(const std::string& relative);

  Files Snapshot() const;

  // Rows of the pet list and the current pet (written to \lupina.dat too).
  void AddRow(const std::string& name, ShareFlags flags = {});
  void SetCurrent(const std::string& name);
  std::string CurrentOnDisk() const;  // "?" when unreadable, "-" when missing

  // Calls the pet of row `row` with the fixture's settings.
  CallOutcome Call(int row);
  CallOutcome CallByName(const std::string& name);

  Settings settings;
  MemorySettingsStore store;
  ui::headless::HeadlessHost ui;
  FakeProcesses processes;
  std::vector<Pet> pets;  // the pet list, in order
  bool currentPetUnreadable = false;

 private:
  TempFolder tmp_;
  std::filesystem::path d_;
};

// The files of one item copy ("ミミ_受信フォルダ") in a snapshot: for a folder
// its top-level files by name, for a file the one entry "".
Files ItemOf(const Files& files, const std::string& item);
// Replaces an item copy in a model by `content` (as ItemOf returns it).
void SetItem(Files& model, const std::string& item, const Files& content);
// Adds and replaces the files of `content` in an item copy (a put-away).
void MergeItem(Files& model, const std::string& item, const Files& content);

// The expected disk after a clean put-away of `pet` with `flags` (host copies
// added to its own or the shared copies; per-pet folders made).
void ModelPutAway(Files& model, const std::string& pet, ShareFlags flags);
// The expected disk after a clean bring-in of `pet` whose copies all exist.
void ModelBringIn(Files& model, const std::string& pet, ShareFlags flags);
// An empty folder is invisible in a Files map; these list empty folders too.
std::vector<std::string> FoldersIn(const std::filesystem::path& d);

}  // namespace lup::test
