#pragma once
// Read-only questions to the file system: existence tests and folder listings
// with Windows wild cards, in the order in which Windows lists an NTFS folder.
// Nothing here changes the disk (changes go through core/fileops.h).
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

#include "core/result.h"
#include "platform/osfile.h"

namespace lup {

// ---- existence tests ------------------------------------------------------

// True when `path` names an existing ordinary file; a folder does not count.
bool FileExists(const std::filesystem::path& path);

// True when `path` names an existing folder or an existing file: the name is
// taken. Where a folder is made only when its name is free, or an own copy
// is left alone when anything holds its name, a file of that name counts as
// much as a folder. IsFolder below asks for a folder only.
bool EntryExists(const std::filesystem::path& path);

// True only when `path` names an existing folder.
bool IsFolder(const std::filesystem::path& path);

// True for an existing ordinary file the user marked read-only: the funnel
// refuses to replace, change or delete it.
bool IsReadOnlyFile(const std::filesystem::path& path);

// True when folder\*.* matches at least one ordinary file (sub-folders do
// not count). False for a missing folder, and for one that cannot be listed:
// for what the user is shown only. Anything that moves data lists with
// ListMatching, which tells a failed listing from an empty folder.
bool AnyFileMatches(const std::filesystem::path& folder);

// Length of an ordinary file; -1 when it is missing or not an ordinary file.
long long FileLength(const std::filesystem::path& path);

// The whole content of a file; a Read failure naming it (a fault the tests
// set with FileOps::FailReadsOf included).
OpResult ReadFileBytes(const std::filesystem::path& path, std::string* bytes);

// ---- listings -------------------------------------------------------------

enum class Pick { Files = 1, Folders = 2, Both = 3 };

struct FolderEntry {
  std::string name;  // UTF-8 file name (no folder part)
  bool isFolder = false;
  std::u16string key;  // the name upper-cased, as the file system compares names
};

struct Listing {
  std::vector<FolderEntry> entries;  // in Windows listing order (see below)
  std::error_code error;             // set when the folder could not be read
                                     // (a missing folder included); the
                                     // entries then hold what was read before
};

// Lists the entries of `folder` whose names match the Windows wild-card
// `pattern` ("*_PostPet設定.ppc", "*.pac", "*おやつ", "*.*"), choosing ordinary
// files, folders or both; "." and ".." never appear. Matching ignores letter
// case as Windows does. The entries come back in one order on every
// platform: NameOrderLess below.
// With `stamps`, each listed file's stamp too, by its upper-cased name, from
// the same one query of the folder (no file is opened).
using FolderStamps = std::unordered_map<std::u16string, os::FileStamp>;
Listing ListFolder(const std::filesystem::path& folder, std::string_view pattern, Pick pick,
                   FolderStamps* stamps = nullptr);

// The names of ListFolder. A folder that does not exist holds none; any
// other failure to list it is an error (Action::List naming the folder),
// never taken for "no files".
OpResult ListMatching(const std::filesystem::path& folder, std::string_view pattern, Pick pick,
                      std::vector<std::string>* names);

// Every ordinary file of a folder, as a copy between folders goes by them:
// the names in ListFolder's order, each upper-cased, and with `withStamps`
// their stamps, all from one query. Failures as ListMatching's.
struct FilesListed {
  std::vector<std::string> names;
  std::vector<std::u16string> keys;  // keys[i]: names[i] upper-cased
  FolderStamps stamps;               // by key, when asked for
};
OpResult ListFiles(const std::filesystem::path& folder, bool withStamps, FilesListed* files);

// Windows wild-card match of one name: '*' any run of characters, '?' any one
// character, letter case ignored; "*.*" matches every name (also one without a
// dot), a pattern ending in ".*" also matches the name without that dot
// ("abc.*" matches "abc"), and a pattern ending in "." matches names without
// a dot ("*." matches "abc"). 8.3 short names play no part.
bool WildcardMatch(std::string_view pattern, std::string_view name);

// The order in which Windows lists an NTFS folder: names compared as UTF-16
// code units after upper-casing (ASCII, Latin-1, Latin Extended-A, Greek,
// Cyrillic and full-width Latin letters), ordinal; names that differ only in
// letter case (possible off Windows) are ordered by their bytes.
bool NameOrderLess(std::string_view a, std::string_view b);

}  // namespace lup
