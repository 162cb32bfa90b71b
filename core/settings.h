#pragma once
// The settings of the three programs (store application "Lupina", section
// "setting") and the paths derived from them.
//
// Launcher:      Settings s = LoadSettings(store, ProgramFolder()).settings;
//                ... s.MakePetPaths(pet) ...; SaveSettings(s, store);
// Utility:       Settings s = ReadSettings(store, ProgramFolder());  (no list file)
// Snack manager: fs::path d = ReadHostFolder(store, ProgramFolder());
//
// Defaults apply at every read and are never written back by a read.
#include <filesystem>
#include <string>
#include <string_view>

#include "core/result.h"
#include "platform/host_view.h"
#include "platform/settings_store.h"

namespace lup {

// The three copies of one pet item: D\N, D\P_N, D\共有\N.
struct ItemPaths {
  std::filesystem::path host;    // where the host itself reads the item
  std::filesystem::path pet;     // the pet's own copy (set by MakePetPaths, PetPaths)
  std::filesystem::path shared;  // the copy shared by the pets that share it
};

// Key names, in the store.
namespace key {
inline constexpr const char* kPpDir = "pp_dir";
inline constexpr const char* kPpName = "pp_name";
inline constexpr const char* kPpcName = "ppc_name";
inline constexpr const char* kFriendName = "friend_name";
inline constexpr const char* kTzDir = "tz_dir";
inline constexpr const char* kTzName = "tz_name";
inline constexpr const char* kJyusinDir = "jyusin_dir";
inline constexpr const char* kSousinDir = "sousin_dir";
inline constexpr const char* kOyatsuDir = "oyatsu_dir";
inline constexpr const char* kFlgSopt1 = "flg_sopt1";
inline constexpr const char* kFlgOpt1 = "flg_opt1";
inline constexpr const char* kPpexe1 = "ppexe1";
inline constexpr const char* kPpexe2 = "ppexe2";
inline constexpr const char* kCntPet = "cnt_pet";
}  // namespace key

// Name of the shared folder inside D.
inline constexpr const char* kSharedFolderName = "共有";

// The six items of a pet that are swapped in and out of the host copies.
enum class Item { kPetFile, kFriendBook, kTreasure, kReceived, kSent, kSnacks };
inline constexpr Item kAllItems[] = {Item::kPetFile,  Item::kFriendBook, Item::kTreasure,
                                     Item::kReceived, Item::kSent,       Item::kSnacks};
// The pet settings file and the friend book are files, the others folders.
inline bool IsFileItem(Item item) { return item == Item::kPetFile || item == Item::kFriendBook; }

struct Settings {
  // The fourteen keys under names that say what they hold; the store's own
  // spelling of each is in the comment and in namespace key above. The
  // defaults apply when a key is absent (hostFolder's default is computed,
  // see DefaultHostFolder).
  std::filesystem::path hostFolder;                 // pp_dir: the host folder D
  // pp_dir as stored (or its default) when hostFolder is the folder that
  // 64-bit Windows gives the host's 32-bit installer instead
  // (HostFolderInUse): what SaveSettings writes back. Empty: hostFolder.
  std::filesystem::path hostFolderAsSet;
  // How the host sees hostFolder (platform/host_view.h) and, where Windows
  // redirects its writes, the folder that then holds the pets' data.
  os::HostView hostView = os::HostView::kReal;
  std::filesystem::path hostDataFolder;
  std::string hostExeName = "PostPet20.exe";        // pp_name
  std::string petFileName = "PostPet設定.ppc";      // ppc_name: the pet settings file
  std::string friendBookName = "おともだち帳";      // friend_name
  std::string treasureFolderName = "宝物";          // tz_dir
  std::string treasureBoxName = "tzl001.pac";       // tz_name: the box file in the treasure folder
  std::string receivedFolderName = "受信フォルダ";  // jyusin_dir
  std::string sentFolderName = "送信フォルダ";      // sousin_dir
  std::string snackFolderName = "おやつ";           // oyatsu_dir
  int nsOption = 0;                                 // flg_sopt1: start the host with " -ns"
  int oneClickLaunch = 0;                           // flg_opt1: a single click calls a pet
  std::filesystem::path ordinaryHostExe;            // ppexe1: the kept ordinary host ("" = unset)
  std::filesystem::path patchedHostExe;             // ppexe2: the kept patched host ("" = unset)
  int petCount = -1;                                // cnt_pet: pets at the last start
                                                    // (kept by ReadPetCount/WritePetCount only)

  // The pet whose data is in the host copies (\lupina.dat); empty: none.
  std::string currentPetName;

  // The six item triples, in the order of the items.
  ItemPaths petFilePaths, friendBookPaths, treasurePaths, receivedPaths, sentPaths, snackPaths;

  // The item's name (a setting above) and its triple.
  const std::string& NameOf(Item item) const;
  const ItemPaths& PathsOf(Item item) const;
  ItemPaths& PathsOf(Item item);

  // Sets `host` and `shared` of all six triples from the current values.
  void MakeHostPaths();
  // Sets `pet` of all six triples for the pet `petName` (PetPaths).
  void MakePetPaths(std::string_view petName);
  // The triple of `item` with `pet` set for the pet `petName`; the settings'
  // own triples stay as they are.
  ItemPaths PetPaths(std::string_view petName, Item item) const;
  // Pet `petName`'s own copy of `item`: D / PetCopyName.
  std::filesystem::path PetCopy(std::string_view petName, Item item) const;
  // The name of pet `petName`'s own copy of `item`, P + "_" + N, in D and in
  // its backup alike.
  std::string PetCopyName(std::string_view petName, Item item) const;

  // D\pp_name
  std::filesystem::path HostExe() const;
  // D\共有
  std::filesystem::path SharedFolder() const;
  // The treasure box file of a treasure folder: folder\tz_name.
  std::filesystem::path BoxFile(const std::filesystem::path& treasureFolder) const;
};

// The default host folder. When `programFolder` starts with a drive letter
// ("E:\Tools"), its letter + ":\Program Files\So-net\PostPet for Windows ver.
// 2.0"; a Windows path without a drive letter (a network path) uses "C".
// Where paths have no drive letters (the native build), `programFolder`
// stands in for the drive's root: programFolder / "Program Files" / "So-net" /
// "PostPet for Windows ver. 2.0".
std::filesystem::path DefaultHostFolder(const std::filesystem::path& programFolder);

// The folder the host is used from when pp_dir (or its default) names
// `folder`: `folder` itself when it holds the host `exeName`; otherwise, when
// it lies under "Program Files" and the same path under "Program Files
// (x86)" holds the host (where the host's 32-bit installer puts it on 64-bit
// Windows), that one; otherwise `folder`.
std::filesystem::path HostFolderInUse(const std::filesystem::path& folder, std::string_view exeName);

// Reads pp_dir only (the snack manager), with its default, as in use
// (HostFolderInUse).
std::filesystem::path ReadHostFolder(const SettingsStore& store,
                                     const std::filesystem::path& programFolder);

// Reads pp_name only (the launcher's first read), default "PostPet20.exe".
std::string ReadHostExeName(const SettingsStore& store);

// Reads every key of the struct except cnt_pet (see ReadPetCount), applying
// the defaults, and makes the host paths. Touches no file. A number that does
// not convert leaves 0 (flags). This is the utility's read.
Settings ReadSettings(const SettingsStore& store, const std::filesystem::path& programFolder);

struct LoadReport {
  Settings settings;
  // \lupina.dat existed but its record could not be read as a usable pet
  // name (not CP932, a damaged line, a name that cannot be a pet's): no pet
  // is taken as current. The host copies may still hold a pet's data, so a
  // caller about to overwrite them must not act as if none were current.
  bool currentPetUnreadable = false;
  // \lupina.dat was missing and could not be created, or could not be read.
  OpResult listFileProblem;
};

// The launcher's read, in the fixed order: pp_dir; the current pet from
// D\lupina.dat (created holding one empty record when missing); flg_sopt1,
// ppc_name, friend_name, tz_name, tz_dir, jyusin_dir, sousin_dir,
// oyatsu_dir, flg_opt1, ppexe1, ppexe2; MakeHostPaths. A failing step is
// passed over (reported in the LoadReport) and the next one runs. pp_name is
// read as well (the launcher reads it first through ReadHostExeName; both
// give the same value).
LoadReport LoadSettings(const SettingsStore& store, const std::filesystem::path& programFolder);

// Rewrites D\lupina.dat with currentPetName, then stores, in this order,
// pp_name, flg_sopt1, ppc_name, friend_name, tz_name, tz_dir, jyusin_dir,
// sousin_dir, oyatsu_dir, flg_opt1, pp_dir (not ppexe1, ppexe2, cnt_pet).
// Stops at the first failure and returns it: a list file that cannot be
// written (or a name CP932 cannot hold) leaves every key as it was.
OpResult SaveSettings(const Settings& settings, SettingsStore& store);

// cnt_pet: -1 when absent or not a number.
int ReadPetCount(const SettingsStore& store);
OpResult WritePetCount(SettingsStore& store, int count);

// ppexe1 and ppexe2 (the special-kind dialog's save).
OpResult WriteSpecialExes(SettingsStore& store, const std::filesystem::path& ordinaryHostExe,
                          const std::filesystem::path& patchedHostExe);

// Converts a stored number the way the settings are read: spaces around it
// allowed, then an optional "+" or "-" and one to nine decimal digits
// (ParseDecimal). False when it does not convert.
bool ParseStoredInt(std::string_view text, int* value);

}  // namespace lup
