#pragma once
// Which files two folders hold alike, known without reading them (and
// whether two files do: a file item and its copy).
//
// When a folder copy has been made durable, the pair of folders is recorded:
// for each file both hold alike, its stamp in each (os::FileStamp: size,
// last-write time, change time, file number). A later copy between the same
// two folders, in either direction, lists both (one query each) and takes a
// file for alike without opening it only when
//   - both stamps are usable and exactly those recorded, and
//   - neither was written or changed at or after the record's own last-write
//     time (from the same clock: a file written within the tick of the record
//     could be written again in that tick and keep its times).
// Everything else is compared byte by byte, as without a record: no record,
// one that cannot be read, is cut short or is of other folders, a stamp that
// proves nothing (FAT).
//
// Records lie in D\lupina照合, one file a pair of folders under D (and one
// a folder for the folder's sums, FolderSums below). They are
// notes of ours, not data: losing one costs a comparison and nothing else,
// so they are written without the funnel (not counted, not journaled, not
// made durable) and their failures are passed over.
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/fsquery.h"
#include "platform/osfile.h"

namespace lup {

inline constexpr const char* kSameFilesFolderName = "lupina照合";

// From now on pairs of folders under `hostFolder` are recorded, in
// hostFolder\lupina照合; an empty path: none are (the default).
void UseSameFilesRecords(const std::filesystem::path& hostFolder);

// The stamps of a folder's files, by name as the file system compares them
// (upper-cased). False when the folder cannot be listed.
bool ListStamps(const std::filesystem::path& folder, FolderStamps* stamps);

class SameFiles {
 public:
  // The record of the folders `a` and `b`; Empty when there is none to go by.
  static SameFiles Of(const std::filesystem::path& a, const std::filesystem::path& b);
  bool Empty() const { return files_.empty(); }
  // True when the file `name` is known to be alike in `a` and `b`, its
  // stamps there being `inA` and `inB` now.
  bool Alike(std::string_view name, const os::FileStamp& inA, const os::FileStamp& inB) const;
  // The same by the name upper-cased, as a listing gives it (FolderEntry::key).
  bool Alike(const std::u16string& key, const os::FileStamp& inA, const os::FileStamp& inB) const;

 private:
  struct Pair {
    os::FileStamp first, second;
  };
  bool swapped_ = false;  // `a` is the record's second folder
  std::int64_t recordTime_ = 0;
  std::unordered_map<std::u16string, Pair> files_;
};

// A sum of a file's content that tells two files apart without opening the
// second: files whose sums differ hold different bytes. Equal sums prove
// nothing (the bytes are compared then), so a weak, quick sum serves. The
// same bytes give the same sum however they are cut into pieces.
class ContentSum {
 public:
  void Add(const char* data, std::size_t size);
  void Add(std::string_view bytes) { Add(bytes.data(), bytes.size()); }
  std::uint64_t Value() const;

 private:
  void Mix(std::uint64_t word);
  std::uint64_t h_ = 0x6c7570696e61ull;
  std::uint64_t word_ = 0;
  unsigned pending_ = 0;  // bytes of word_ taken so far
  std::uint64_t length_ = 0;
};

// What a folder's files held when a copy into or out of it was last made
// durable: each file's stamp then and the sum of its content, in
// D\lupina照合 beside the pairs' records. A sum is known only while the
// file's stamp is exactly the one recorded and neither of its times lies at
// or after the record's own (the rule of the pairs' records); a record that
// is missing, garbled or of another folder knows none.
class FolderSums {
 public:
  static FolderSums Of(const std::filesystem::path& folder);
  bool Empty() const { return sums_.empty(); }
  // The sum of the file `name`, its stamp being `now`; nullopt when unknown.
  std::optional<std::uint64_t> Sum(std::string_view name, const os::FileStamp& now) const;
  // The same by the name upper-cased (FolderEntry::key).
  std::optional<std::uint64_t> Sum(const std::u16string& key, const os::FileStamp& now) const;

 private:
  struct Entry {
    os::FileStamp stamp;
    std::uint64_t sum = 0;
  };
  std::int64_t recordTime_ = 0;
  std::unordered_map<std::u16string, Entry> sums_;
};

// Two folders that now hold alike each file of `names` (copied one into
// the other and made durable); or, with `files`, the two files `a` and `b`
// (a file item and its copy), recorded as one entry named kFilePairEntry.
struct AlikeFolders {
  std::filesystem::path a, b;
  std::vector<std::string> names;
  bool files = false;
  // Beside `names`, the sum of each one's content where it is known; the
  // folders' sums are recorded from them (none when empty).
  std::vector<std::optional<std::uint64_t>> sums;
  // With `aListed`, the stamps of `a`'s files (the copies' sources) listed
  // before they were read (kFilePairEntry for the file `a`): a file whose
  // stamp is another now was changed while it was copied, and is left out.
  FolderStamps aBefore;
  bool aListed = false;
};
inline constexpr const char* kFilePairEntry = "*";  // no file carries this name

// The stamps of the two files `a` and `b`, from a listing of their folders;
// false when a folder cannot be listed or a file is not there.
bool FilePairStamps(const std::filesystem::path& a, const std::filesystem::path& b,
                    os::FileStamp* inA, os::FileStamp* inB);
// Records each pair, when records are kept and both folders lie under the
// host folder, and the sums of both folders' files where `sums` gives them. A file written so recently that the record's time would not
// lie after it is waited for, a few ticks of the clock at the most, so that
// the next copy can go by it.
void RecordSameFiles(const std::vector<AlikeFolders>& pairs);

// The record file of the folders `a` and `b` (either order); empty while
// no records are kept or when either lies outside the host folder.
std::filesystem::path SameFilesRecord(const std::filesystem::path& a, const std::filesystem::path& b);
// The record file of the sums of `folder`'s files; empty as above.
std::filesystem::path FolderSumsRecord(const std::filesystem::path& folder);

}  // namespace lup
