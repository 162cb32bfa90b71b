#pragma once
// The earlier generations of the backup. D\bak always holds the newest one,
// in the layout the repair reads and users open; what a backup run replaces
// or removes there is kept beside it, one folder a run, so that a backup
// taken after damage never destroys the last good one:
//
//   D\bak履歴\000007\info.txt   "before=" when the backup it replaced was taken
//                              (or unknown, none, incomplete), and "done=" when
//                              run 7 ended, written once it has
//   D\bak履歴\000007\bak\...    the files run 7 replaced or removed in D\bak, at
//                              their paths there: a second name for each (no
//                              data copied), or a copy where the disk has none
//   D\bak履歴\000007\added\*    the files and folders run 7 added to D\bak, each
//                              named there before it was added
//
// The backup as it was before run k is D\bak with the runs from k on undone:
// for each of its paths the oldest of those runs that knows the path says
// what it was (kept, or not there yet); a path none of them knows is as it
// is now. A run cut short leaves its folder without "done=": the state it
// left is offered to nobody, and every earlier one is still whole, because
// each file was kept before it was replaced and each new one named before
// it appeared. The runs that keep the newest kKeptRuns whole generations
// before them are kept (with D\bak, kKeptRuns + 1 generations).
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "core/fileops.h"
#include "core/result.h"
#include "core/settings.h"

namespace lup {

inline constexpr const char* kHistoryFolderName = "bak履歴";
inline constexpr int kKeptRuns = 5;

// Now, as the history writes it: "2026-12-08 19:00:05", local time.
std::string LocalTimeStamp();

// One generation of the backup, as the repair offers it.
struct BackupGeneration {
  int undone = 0;     // 0: D\bak as it is; k: with the newest k runs undone
  std::string when;   // "2026/12/08 19:00:05"; empty when unknown (a backup
                      // taken before generations were kept)
  bool whole = true;  // false: D\bak as a run cut short left it, offered
                      // only when no whole generation is there
};

// Where the files of one generation of D\bak are now.
class BackupView {
 public:
  // D\bak as it is.
  explicit BackupView(std::filesystem::path bak) : bak_(std::move(bak)) {}

  // `inBak` is a path under D\bak ("D\bak\ミミ_受信フォルダ\0001.txt").
  // The file it was, nullopt when there was none.
  std::optional<std::filesystem::path> File(const std::filesystem::path& inBak) const;
  bool IsFolder(const std::filesystem::path& inBak) const;
  // The files the folder `inBak` held (no temporary files of ours), each by
  // its name with where it is now, in listing order. A folder that cannot
  // be listed is an error; one that was not there holds none.
  OpResult Files(const std::filesystem::path& inBak,
                 std::vector<std::pair<std::string, std::filesystem::path>>* files) const;

 private:
  friend class BackupHistory;
  struct Run {
    std::filesystem::path kept;                // its "bak" folder
    std::unordered_set<std::u16string> added;  // relative paths, upper-cased; folders end in "/"
  };
  std::optional<std::filesystem::path> Resolve(const std::filesystem::path& relative) const;
  std::filesystem::path bak_;
  std::vector<Run> runs_;  // the runs undone, oldest first
};

class BackupHistory {
 public:
  explicit BackupHistory(const Settings& settings);
  std::filesystem::path Folder() const;  // D\bak履歴

  // The generations that can be restored, newest first: D\bak when the
  // last run ended (or when no run kept one), then the backup before each
  // kept run, when the run before that one ended. When none of them is
  // whole, D\bak as it is.
  std::vector<BackupGeneration> Generations() const;
  BackupView View(int undone) const;

 private:
  struct RunInfo {
    std::filesystem::path folder;
    std::string before, done;
  };
  std::vector<RunInfo> Runs() const;  // oldest first
  friend class BackupRun;
  Settings s_;
};

// The record of one backup run: its batches hand it every file of D\bak
// they replace or remove and name the new ones (ReplacedFiles).
class BackupRun final : public ReplacedFiles {
 public:
  explicit BackupRun(const Settings& settings, std::function<std::string()> now = LocalTimeStamp);
  // What the run replaces (the record itself is made before its first
  // change to D\bak).
  OpResult Begin();
  // The failure to make the run's record, when its first change needed it:
  // the run must stop there (nothing of D\bak changed before).
  const OpResult& Unrecorded() const { return unrecorded_; }
  // `folder` (under D\bak) is about to be made by this run.
  OpResult MakingFolder(const std::filesystem::path& folder) override;
  OpResult New(const std::vector<std::filesystem::path>& targets) override;
  OpResult Replacing(const std::filesystem::path& target) override;
  OpResult Removing(const std::filesystem::path& target) override;
  // The run has ended: its "done=" written, the runs beyond kKeptRuns
  // removed (a removal that fails is tried again by the next run).
  OpResult Finish();

 private:
  std::filesystem::path KeptAt(const std::filesystem::path& inBak) const;
  OpResult Started();
  OpResult NameAdded(const std::vector<std::string>& lines);
  void Prune();

  Settings s_;
  std::function<std::string()> now_;
  std::filesystem::path folder_;
  std::string before_;
  bool recording_ = false;  // an earlier backup is there to keep
  OpResult unrecorded_;
  int lists_ = 0;
};

}  // namespace lup
