#include "core/snack_folders.h"

#include "base/text.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/petstore.h"

namespace lup {
namespace fs = std::filesystem;

fs::path ResolveSnackFolder(const fs::path& hostFolder, std::string_view entry) {
  if (entry == kSharedSnackEntry) return hostFolder / U8Path(kSharedSnackEntry) / U8Path(kSnackFolderName);
  if (entry == kLiveSnackEntry) return hostFolder / U8Path(kSnackFolderName);
  return hostFolder / U8Path(std::string(entry) + "_" + kSnackFolderName);
}

bool SameSnackEntry(std::string_view a, std::string_view b) { return SameFileName(a, b); }

fs::path SnackFolders::LiveTwin(const fs::path& file, std::string_view source) const {
  if (!Mirrors(source)) return {};
  const fs::path live = Folder(kLiveSnackEntry) / file.filename();
  if (live == file || !FileExists(live)) return {};
  return live;
}

bool SnackFolders::Change(const fs::path& file, std::string_view source, const FileChange& change,
                          std::vector<OpResult>* failures) const {
  const fs::path live = LiveTwin(file, source);
  if (OpResult r = change(file); !r) {
    failures->push_back(r);
    return false;
  }
  if (!live.empty()) {
    if (OpResult r = change(live); !r) failures->push_back(r);
  }
  return true;
}

// Her next put-away takes the host's folder as the current pet's snacks: the
// host's copy goes first, so that a run cut short between the two leaves a
// snack that the next call removes from her folder too, as the user meant,
// rather than one that comes back. A read-only file of hers stops both.
bool SnackFolders::Remove(const fs::path& file, std::string_view source,
                          std::vector<OpResult>* failures) const {
  const fs::path live = LiveTwin(file, source);
  if (!live.empty() && !IsReadOnlyFile(file)) {
    if (OpResult r = Fs().Delete(live); !r) {
      failures->push_back(r);
      return false;
    }
  }
  if (OpResult r = Fs().Delete(file); !r) {
    failures->push_back(r);
    return false;
  }
  return true;
}

bool SnackFolders::CopyInto(const fs::path& file, std::string_view source, std::string_view target,
                            bool move, std::vector<OpResult>* failures) const {
  if (OpResult r = Fs().Copy(file, Folder(target) / file.filename()); !r) {
    failures->push_back(r);
    return false;
  }
  // Into the current pet the host's folder needs it too: her next put-away
  // takes that folder as her snacks, and a snack missing there would go.
  // Without that copy a moved snack stays where it was.
  const fs::path live = Folder(kLiveSnackEntry) / file.filename();
  if (Mirrors(target) && live != file) {
    if (OpResult r = Fs().Copy(file, live); !r) {
      failures->push_back(r);
      return false;
    }
  }
  return !move || Remove(file, source, failures);
}

}  // namespace lup
