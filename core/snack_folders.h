#pragma once
// The snack folders of a host folder as the snack manager offers them, and
// what a change to a snack file does there. Each list entry names one
// folder:
//
//   "共有"    D\共有\おやつ     the shared snacks
//   "おやつ"  D\おやつ          the host's live folder (offered only when there
//                              is nothing else)
//   a pet P   D\P_おやつ        that pet's own
//
// The live folder holds a copy of the current pet's snacks (the shared ones
// when she shares them): her next put-away takes it as her snacks. So every
// change to a file of that pet's folder is made to its live twin too, and a
// snack copied or moved into that folder is copied into the live folder as
// well; otherwise the next put-away would undo the change.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace lup {

inline constexpr const char* kSharedSnackEntry = "共有";
inline constexpr const char* kLiveSnackEntry = "おやつ";
// The snack folder's name; the snack manager never looks at the oyatsu_dir setting.
inline constexpr const char* kSnackFolderName = "おやつ";

// The folder a list entry names.
std::filesystem::path ResolveSnackFolder(const std::filesystem::path& hostFolder,
                                         std::string_view entry);

// Two entries stand for one folder when their names differ only in letter
// case, as the file system compares them.
bool SameSnackEntry(std::string_view a, std::string_view b);

class SnackFolders {
 public:
  // `liveOwner`: the entry whose folder the live folder mirrors (the current
  // pet's, or "共有" when she shares her snacks); nullopt when no pet is
  // current or it cannot be told which one is: then nothing is mirrored.
  SnackFolders(std::filesystem::path hostFolder, std::optional<std::string> liveOwner)
      : hostFolder_(std::move(hostFolder)), liveOwner_(std::move(liveOwner)) {}

  std::filesystem::path Folder(std::string_view entry) const {
    return ResolveSnackFolder(hostFolder_, entry);
  }
  // The live folder mirrors the folder of `entry`.
  bool Mirrors(std::string_view entry) const {
    return liveOwner_ && SameSnackEntry(*liveOwner_, entry);
  }

  using FileChange = std::function<OpResult(const std::filesystem::path&)>;
  // Changes `file` (of the folder of `source`) and, when that succeeded, its
  // live twin; false when `file` itself could not be changed. Failures are
  // added to `failures`.
  bool Change(const std::filesystem::path& file, std::string_view source, const FileChange& change,
              std::vector<OpResult>* failures) const;
  // Deletes `file` and its live twin, the twin first; false when `file` stays.
  bool Remove(const std::filesystem::path& file, std::string_view source,
              std::vector<OpResult>* failures) const;
  // Copies `file` into the folder of `target` (and into the live folder when
  // that mirrors `target`), then with `move` removes it and its twin; the
  // source goes only once every copy is safe. False when it is not all done.
  bool CopyInto(const std::filesystem::path& file, std::string_view source, std::string_view target,
                bool move, std::vector<OpResult>* failures) const;

 private:
  // The file of the same name in the live folder when `source` is the live
  // folder's owner and such a file (other than `file` itself) exists.
  std::filesystem::path LiveTwin(const std::filesystem::path& file, std::string_view source) const;

  std::filesystem::path hostFolder_;
  std::optional<std::string> liveOwner_;
};

}  // namespace lup
