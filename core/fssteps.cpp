#include "core/fssteps.h"

#include <vector>

#include "core/fileops.h"
#include "base/text.h"
#include "platform/osfile.h"

namespace lup {
namespace fs = std::filesystem;

OpResult MakeFolder(const fs::path& path) { return Fs().MakeFolder(path); }

OpResult DeleteMatching(const fs::path& folder) {
  Listing listing = ListFolder(folder, "*.*", Pick::Files);
  if (listing.entries.empty()) {
    std::error_code e = listing.error ? listing.error
                                      : std::make_error_code(std::errc::no_such_file_or_directory);
    return OpResult::Fail(listing.error ? Action::List : Action::Delete, e, folder);
  }
  OpResult first = OpResult::Ok(Action::Delete);
  for (const FolderEntry& entry : listing.entries) {
    OpResult r = Fs().Delete(folder / U8Path(entry.name));
    if (!r.ok() && first.ok()) first = r;
  }
  return first;
}

namespace {

bool HasWildcard(std::string_view name) { return name.find_first_of("*?") != std::string_view::npos; }

}  // namespace

OpResult EnsureFolder(const fs::path& folder) {
  if (IsFolder(folder)) return OpResult::Ok(Action::MakeFolder);
  if (os::NameTaken(folder))
    return OpResult::Fail(Action::MakeFolder, MakeError(CoreError::NotAFolder), folder);
  std::vector<fs::path> missing;
  for (fs::path p = folder; !p.empty() && !IsFolder(p); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    OpResult r = Fs().MakeFolder(*it);
    if (!r.ok()) return r;
  }
  return OpResult::Ok(Action::MakeFolder);
}

FolderOpResult ShellFileOp(const fs::path& from, const fs::path& to, ShellOp op,
                           CopyBatch* outside) {
  FolderOpResult out;
  const Action action = op == ShellOp::Move ? Action::Move : Action::Copy;
  out.result = OpResult::Ok(action);
  if (from.empty() || to.empty()) return out;

  fs::path folder = from.parent_path();
  std::vector<std::string> names;
  std::string last = NameText(from.filename());
  if (HasWildcard(last)) {
    // Temporary files that a killed program left behind are not data.
    std::vector<std::string> matching;
    OpResult listed = ListMatching(folder, last, Pick::Files, &matching);
    if (!listed.ok()) {
      out.result = listed;
      return out;
    }
    for (std::string& name : matching)
      if (!IsTempName(name)) names.push_back(std::move(name));
  } else if (IsFolder(from)) {
    out.result = OpResult::Fail(action, MakeError(CoreError::IsAFolder), from, to);
    return out;
  } else if (FileExists(from)) {
    names.push_back(last);
  }
  if (names.empty()) return out;

  OpResult made = EnsureFolder(to);
  if (!made.ok()) {
    out.result = made;
    return out;
  }
  if (op == ShellOp::Move) {
    for (const std::string& name : names) {
      OpResult r = Fs().Move(folder / U8Path(name), to / U8Path(name));
      if (!r.ok()) {
        out.result = r;
        return out;
      }
      ++out.filesDone;
    }
    return out;
  }
  // Copies are made durable together, then renamed over their targets.
  std::vector<std::pair<fs::path, fs::path>> copies;
  copies.reserve(names.size());
  for (const std::string& name : names)
    copies.emplace_back(folder / U8Path(name), to / U8Path(name));
  CopyBatch own;
  int staged = 0;
  out.result = Fs().CopyAll(copies, outside ? *outside : own, &staged);
  if (outside) {
    out.filesDone = staged;
  } else if (out.result.ok()) {
    out.result = own.Commit();
    out.filesDone = own.Done();
  }
  return out;
}

}  // namespace lup
