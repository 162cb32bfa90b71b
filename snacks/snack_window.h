#pragma once
// The snack manager's one window: the snack files of one snack folder at a
// time (a pet's own, the shared one or the host's live one) in a grid, with
// expired snacks in red, and the actions on the selected rows: set the
// count, make unopened, copy, move, discard. Changes that concern the
// snacks the host holds now are repeated in the host's live folder D\おやつ.
//
// Written once against ui/ and core/; the program's entry point shows it
// through the Win32 backend, the tests through the headless one:
//
//   SnackWindow window(host, {store, processes, ProgramFolder(),
//                             ProgramVersion(), LocalToday});
//   host.Show(window.form());   // start-up runs in the form's load
//   return host.Run();
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/product.h"
#include "core/result.h"
#include "core/snack.h"
#include "core/snack_folders.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "ui/host.h"
#include "ui/messenger.h"

namespace lup::snacks {

inline constexpr const char* kTitle = kSnackTitle;
// The list entries of the shared snack folder D\共有\おやつ and of the host's
// live snack folder D\おやつ (core/snack_folders.h).
inline constexpr const char* kSharedEntry = kSharedSnackEntry;
inline constexpr const char* kLiveEntry = kLiveSnackEntry;
using lup::kSnackFolderName;
using lup::ResolveSnackFolder;

// Width of the name column; narrower while the grid has more than
// kScrollRows rows (heading included) so the scroll bar leaves room.
inline constexpr int kNameWidth = 3500;
inline constexpr int kNameWidthScrolled = 3300;
inline constexpr int kScrollRows = 29;

// The entries of both lists, top first: for every name in D matching
// "*おやつ" (folders and files) that holds "_", the text before its first
// "_" (each entry once, letter case ignored), in the reverse of the listing order; "共有" on top when D\共有\おやつ
// is a folder; "おやつ" alone when there is nothing else. A name that gives
// an empty text, "共有" or "おやつ" (which would stand for another folder)
// gives no entry, and each entry appears once.
// `listing` is set to the failure when D cannot be listed (the entries are
// then those that need no listing).
std::vector<std::string> SnackListEntries(const std::filesystem::path& hostFolder,
                                          OpResult* listing);
inline bool SameEntry(std::string_view a, std::string_view b) { return SameSnackEntry(a, b); }

// The count typed into the count box: a whole number (ASCII or full-width
// digits, an optional sign, spaces around), then -1 and everything above
// 65535 mean unlimited (65535) and other negatives 0. nullopt when the text
// is not a whole number.
std::optional<int> ParseCountText(std::string_view text);

struct SnackEnv {
  SettingsStore& store;                           // pp_dir and pp_name
  ProcessSystem& processes;                       // starts the launcher when the host is missing
  std::filesystem::path programFolder;            // where lupina.exe lies; pp_dir's default
  VersionNumber version;                          // for the version box
  std::function<CivilDate()> today = LocalToday;  // expiry is judged against it
};

class SnackWindow {
 public:
  SnackWindow(ui::Host& host, SnackEnv env);
  SnackWindow(const SnackWindow&) = delete;
  SnackWindow& operator=(const SnackWindow&) = delete;

  ui::Form& form() { return form_; }

  // Window state, for the tests.
  const std::filesystem::path& hostFolder() const { return hostFolder_; }
  const std::string& currentPetName() const { return currentPetName_; }
  // The list entry whose folder the live folder D\おやつ stands for: the
  // current pet's, or "共有" when that pet shares its snacks; nullopt when no
  // pet is current or it cannot be told which one is.
  const std::optional<std::string>& liveOwner() const { return liveOwner_; }
  int lastClickedRow() const { return lastClickedRow_; }

 private:
  void StartUp();
  bool CheckHost();
  void ReadCurrentPet();
  void BuildLists();
  void FillSnackGrid();
  void UpdateMoveCopy();
  void SetCount();
  void CopySnacks(bool move);
  void Discard();
  void MakeUnopened();
  void AfterRemoval();
  // The snack folders as they stand now: the live folder's owner read last.
  SnackFolders Folders() const { return SnackFolders(hostFolder_, liveOwner_); }
  // A change of the file of every selected row and of its live twin, in
  // ascending order; `changed(row)` runs after a row's own file changed.
  std::vector<OpResult> ChangeSelected(const SnackFolders::FileChange& change,
                                       const std::function<void(int)>& changed);
  void ShowVersion();
  bool WithData(const std::function<void()>& work);
  void TellOwnerNote();

  bool HasSnackRows() const;
  std::string SourceEntry() const;
  std::string TargetEntry() const;
  // The snack file grid row `row` lists; empty for a row without one.
  std::filesystem::path RowFile(int row) const;
  void ReportFailures(const std::string& heading, const std::vector<OpResult>& failures);

  ui::Host& host_;
  SnackEnv env_;
  ui::Form form_{"Form1"};
  ui::Messenger say_{host_, kTitle, &form_};
  ui::ComboBox* source_ = nullptr;
  ui::ComboBox* target_ = nullptr;
  ui::Grid* grid_ = nullptr;
  ui::TextBox* countBox_ = nullptr;
  ui::Button* btnCnt_ = nullptr;
  ui::Button* btnCopy_ = nullptr;
  ui::Button* btnMove_ = nullptr;

  std::filesystem::path hostFolder_;
  std::string hostExeName_;
  std::string currentPetName_;
  std::optional<std::string> liveOwner_;
  std::vector<std::filesystem::path> rowFiles_;  // the file of each snack row, row 1 first
  int lastClickedRow_ = 0;
  bool toldUnknownOwner_ = false;
  std::string ownerNote_;  // why the live folder's owner is unknown, to be said
  bool holding_ = false;   // an action holds the data (WithData)
};

}  // namespace lup::snacks
