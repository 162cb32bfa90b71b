#include "core/fsquery.h"

#include <algorithm>

#include "base/text.h"
#include "base/unicode.h"
#include "core/fileops.h"
#include "platform/osfile.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

bool Look(const fs::path& path, os::EntryInfo* entry) { return !path.empty() && !os::LookUp(path, entry); }

}  // namespace

bool FileExists(const fs::path& path) {
  os::EntryInfo entry;
  return Look(path, &entry) && entry.file;
}

bool EntryExists(const fs::path& path) {
  os::EntryInfo entry;
  return Look(path, &entry) && (entry.folder || entry.file);
}

bool IsFolder(const fs::path& path) {
  os::EntryInfo entry;
  return Look(path, &entry) && entry.folder;
}

bool IsReadOnlyFile(const fs::path& path) { return !path.empty() && os::IsMarkedReadOnly(path); }

bool AnyFileMatches(const fs::path& folder) {
  if (folder.empty()) return false;
  return !ListFolder(folder, "*.*", Pick::Files).entries.empty();
}

OpResult ReadFileBytes(const fs::path& path, std::string* bytes) {
  std::error_code e = Fs().ReadFault(path);
  if (!e) e = os::ReadWhole(path, bytes);
  return e ? OpResult::Fail(Action::Read, e, path) : OpResult::Ok(Action::Read);
}

long long FileLength(const fs::path& path) {
  os::EntryInfo entry;
  return Look(path, &entry) && entry.file ? static_cast<long long>(entry.size) : -1;
}

namespace {

bool GlobMatch(const std::u32string& p, const std::u32string& n) {
  std::size_t pi = 0, ni = 0;
  std::size_t starP = std::u32string::npos, starN = 0;
  while (ni < n.size()) {
    // A '*' in the pattern is a wild card even where the name holds a '*'
    // (names may hold one off Windows).
    if (pi < p.size() && p[pi] == U'*') {
      starP = pi++;
      starN = ni;
    } else if (pi < p.size() && (p[pi] == U'?' || p[pi] == n[ni])) {
      ++pi;
      ++ni;
    } else if (starP != std::u32string::npos) {
      pi = starP + 1;
      ni = ++starN;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == U'*') ++pi;
  return pi == p.size();
}

}  // namespace

bool WildcardMatch(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;  // every name
  std::u32string p = UpcasedCodePoints(pattern);
  std::u32string n = UpcasedCodePoints(name);
  if (p.size() >= 2 && p.compare(p.size() - 2, 2, U".*") == 0) {
    // "x.*" also matches "x": the dot and what follows may be absent.
    if (GlobMatch(p, n)) return true;
    return GlobMatch(p.substr(0, p.size() - 2), n);
  }
  if (!p.empty() && p.back() == U'.') {
    // "x." matches names without an extension.
    if (n.find(U'.') != std::u32string::npos) return false;
    return GlobMatch(p.substr(0, p.size() - 1), n);
  }
  return GlobMatch(p, n);
}

bool NameOrderLess(std::string_view a, std::string_view b) {
  std::u16string ua = UpcasedUtf16(a);
  std::u16string ub = UpcasedUtf16(b);
  if (ua != ub) return ua < ub;
  return a < b;
}

Listing ListFolder(const fs::path& folder, std::string_view pattern, Pick pick, FolderStamps* stamps) {
  Listing out;
  if (stamps) stamps->clear();
  if ((out.error = Fs().ReadFault(folder))) return out;
  std::vector<os::FolderItem> items;
  out.error = os::ListOneFolder(folder, &items, stamps != nullptr);
  out.entries.reserve(items.size());
  if (stamps) stamps->reserve(items.size());
  // NameOrderLess, with each name upper-cased once rather than at every
  // comparison.
  for (const os::FolderItem& item : items) {
    std::string name = NameText(item.name);
    if (!WildcardMatch(pattern, name)) continue;
    const bool folderWanted = item.folder && (static_cast<int>(pick) & static_cast<int>(Pick::Folders));
    const bool fileWanted = item.file && (static_cast<int>(pick) & static_cast<int>(Pick::Files));
    if (!folderWanted && !fileWanted) continue;
    std::u16string key = UpcasedUtf16(name);
    if (stamps && fileWanted) stamps->emplace(key, item.stamp);
    out.entries.push_back(FolderEntry{std::move(name), folderWanted, std::move(key)});
  }
  std::sort(out.entries.begin(), out.entries.end(), [](const FolderEntry& x, const FolderEntry& y) {
    if (x.key != y.key) return x.key < y.key;
    return x.name < y.name;
  });
  return out;
}

OpResult ListMatching(const fs::path& folder, std::string_view pattern, Pick pick,
                      std::vector<std::string>* names) {
  names->clear();
  const Listing listing = ListFolder(folder, pattern, pick);
  if (listing.error && !IsNotFound(listing.error))
    return OpResult::Fail(Action::List, listing.error, folder);
  for (const FolderEntry& entry : listing.entries) names->push_back(entry.name);
  return OpResult::Ok(Action::List);
}

OpResult ListFiles(const fs::path& folder, bool withStamps, FilesListed* files) {
  files->names.clear();
  files->keys.clear();
  Listing listing = ListFolder(folder, "*.*", Pick::Files, withStamps ? &files->stamps : nullptr);
  if (!withStamps) files->stamps.clear();
  if (listing.error && !IsNotFound(listing.error))
    return OpResult::Fail(Action::List, listing.error, folder);
  files->names.reserve(listing.entries.size());
  files->keys.reserve(listing.entries.size());
  for (FolderEntry& entry : listing.entries) {
    files->names.push_back(std::move(entry.name));
    files->keys.push_back(std::move(entry.key));
  }
  return OpResult::Ok(Action::List);
}

}  // namespace lup
