#include "core/same_files.h"

#include <algorithm>
#include <chrono>
#include <charconv>
#include <cstring>
#include <mutex>
#include <thread>

#include "base/text.h"
#include "base/unicode.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFirstLine = "lupina same files 1";
constexpr std::string_view kSumsFirstLine = "lupina folder sums 1";

std::mutex& HostLock() {
  static std::mutex lock;
  return lock;
}
fs::path& HostFolder() {
  static fs::path host;
  return host;
}

fs::path RecordsHost() {
  std::lock_guard<std::mutex> hold(HostLock());
  return HostFolder();
}

// The folder spelled as records compare it.
std::string Spelled(const fs::path& folder) { return PathText(folder.lexically_normal()); }

// Strictly below the host folder.
bool Inside(const fs::path& folder, const fs::path& host) {
  fs::path below;
  return LiesUnder(folder, host, &below) && !below.empty();
}

std::uint64_t Fnv(std::string_view bytes, std::uint64_t h = 1469598103934665603ull) {
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

std::string Hex(std::uint64_t v) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kDigits[v & 15];
  return out;
}

// The pair in the record's order, by the names as the file system compares them.
bool InOrder(const fs::path& a, const fs::path& b) {
  return UpcasedUtf16(Spelled(a)) <= UpcasedUtf16(Spelled(b));
}

std::string StampText(const os::FileStamp& s) {
  return std::to_string(s.size) + " " + std::to_string(s.writeTime) + " " +
         std::to_string(s.changeTime) + " " + std::to_string(s.id);
}

template <typename T>
bool Number(std::string_view& text, T* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value);
  if (error != std::errc() || end == text.data()) return false;
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  if (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  return true;
}

// The whole of `text` as a hexadecimal number.
bool HexNumber(std::string_view text, std::uint64_t* value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), *value, 16);
  return error == std::errc() && !text.empty() && end == text.data() + text.size();
}

// A record's entry: its name and two fields, each after a tab.
bool SplitEntry(std::string_view line, std::string_view* name, std::string_view* first,
                std::string_view* second) {
  const std::size_t tab1 = line.find('\t');
  const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
  if (tab2 == std::string_view::npos) return false;
  *name = line.substr(0, tab1);
  *first = line.substr(tab1 + 1, tab2 - tab1 - 1);
  *second = line.substr(tab2 + 1);
  return true;
}

bool ParseStamp(std::string_view text, os::FileStamp* s) {
  s->usable = true;
  return Number(text, &s->size) && Number(text, &s->writeTime) && Number(text, &s->changeTime) &&
         Number(text, &s->id) && text.empty();
}

bool NextLine(std::string_view& text, std::string_view* line) {
  const std::size_t end = text.find('\n');
  if (end == std::string_view::npos) return false;
  *line = text.substr(0, end);
  text.remove_prefix(end + 1);
  return true;
}

std::int64_t WriteTimeOf(const fs::path& file) {
  os::EntryInfo entry;
  return os::LookUp(file, &entry) ? 0 : entry.writeTime;
}

// The record `file`, whole and of the kind `firstLine`: `*text` is what
// follows its first line up to its last, `*count` the entries the last line
// counts, `*time` the record's own last-write time. The last line counts the
// entries and sums up all that comes before it: a record cut short or
// garbled is no record.
bool ReadRecord(const fs::path& file, std::string_view firstLine, std::string* bytes,
                std::string_view* text, std::size_t* count, std::int64_t* time) {
  if (file.empty() || os::ReadWhole(file, bytes)) return false;
  *time = WriteTimeOf(file);
  std::string_view all = *bytes, line;
  const std::size_t lastLine = all.rfind("\nend ");
  if (*time == 0 || lastLine == std::string_view::npos || all.back() != '\n') return false;
  std::string_view tail = all.substr(lastLine + 5, all.size() - lastLine - 6);
  const std::string_view body = all.substr(0, lastLine + 1);
  std::uint64_t sum = 0;
  if (!Number(tail, count) || !HexNumber(tail, &sum) || sum != Fnv(body)) return false;
  *text = body;
  return NextLine(*text, &line) && line == firstLine;
}

std::string EndLine(const std::string& text, std::size_t entries) {
  return "end " + std::to_string(entries) + " " + Hex(Fnv(text)) + "\n";
}

// A file neither written nor changed at or after `recordTime`, the record's
// own last-write time (from the same clock): one written within the tick
// of the record could be written again in that tick and keep its times.
bool Settled(const os::FileStamp& s, std::int64_t recordTime) {
  return s.writeTime < recordTime && s.changeTime < recordTime;
}

// The newest time any entry of the record was written or changed.
std::int64_t NewestTime(const std::vector<std::pair<os::FileStamp, os::FileStamp>>& entries) {
  std::int64_t newest = 0;
  for (const auto& [x, y] : entries)
    newest = std::max({newest, x.writeTime, x.changeTime, y.writeTime, y.changeTime});
  return newest;
}

// A record written: the whole text to a fresh name beside it, renamed over it.
bool WriteRecord(const fs::path& file, const std::string& text) {
  const fs::path fresh = fs::path(file).replace_extension(".new");
  os::DeleteOneFile(fresh);
  os::File out;
  if (os::CreateNew(fresh, &out)) return false;
  const bool written = !out.WriteAll(text.data(), text.size()) && !out.Close();
  if (!written || os::ReplaceByRename(fresh, file, /*syncFolder=*/false)) {
    out.Close();
    os::DeleteOneFile(fresh);
    return false;
  }
  return true;
}

}  // namespace

void UseSameFilesRecords(const fs::path& hostFolder) {
  std::lock_guard<std::mutex> hold(HostLock());
  HostFolder() = hostFolder;
}

bool ListStamps(const fs::path& folder, FolderStamps* stamps) {
  stamps->clear();
  std::vector<os::FolderItem> items;
  if (os::ListOneFolder(folder, &items, /*stamps=*/true)) return false;
  stamps->reserve(items.size());
  for (const os::FolderItem& item : items)
    if (item.file) stamps->emplace(UpcasedUtf16(PathText(item.name)), item.stamp);
  return true;
}

bool FilePairStamps(const fs::path& a, const fs::path& b, os::FileStamp* inA, os::FileStamp* inB) {
  FolderStamps first, second;
  if (!ListStamps(a.parent_path(), &first)) return false;
  if (a.parent_path() != b.parent_path() && !ListStamps(b.parent_path(), &second)) return false;
  const FolderStamps& ofB = a.parent_path() == b.parent_path() ? first : second;
  const auto x = first.find(UpcasedUtf16(NameText(a.filename())));
  const auto y = ofB.find(UpcasedUtf16(NameText(b.filename())));
  if (x == first.end() || y == ofB.end()) return false;
  *inA = x->second;
  *inB = y->second;
  return true;
}

fs::path SameFilesRecord(const fs::path& a, const fs::path& b) {
  const fs::path host = RecordsHost();
  if (host.empty() || !Inside(a, host) || !Inside(b, host)) return {};
  const bool ordered = InOrder(a, b);
  const std::string key = UpperCase(Spelled(ordered ? a : b)) + "\n" + UpperCase(Spelled(ordered ? b : a));
  return host / U8Path(kSameFilesFolderName) / U8Path(Hex(Fnv(key)) + ".dat");
}

fs::path FolderSumsRecord(const fs::path& folder) {
  const fs::path host = RecordsHost();
  if (host.empty() || !Inside(folder, host)) return {};
  return host / U8Path(kSameFilesFolderName) / U8Path(Hex(Fnv(UpperCase(Spelled(folder)))) + ".sum");
}

void ContentSum::Mix(std::uint64_t word) {
  h_ = (h_ ^ word) * 0x9e3779b97f4a7c15ull;
  h_ ^= h_ >> 29;
}

void ContentSum::Add(const char* data, std::size_t size) {
  length_ += size;
  while (size > 0) {
    if (pending_ == 0) {
      for (; size >= 8; data += 8, size -= 8) {
        std::uint64_t word;
        std::memcpy(&word, data, 8);
        Mix(word);
      }
      if (size == 0) break;
    }
    word_ |= std::uint64_t{static_cast<unsigned char>(*data)} << (8 * pending_);
    ++data;
    --size;
    if (++pending_ == 8) {
      Mix(word_);
      word_ = 0;
      pending_ = 0;
    }
  }
}

std::uint64_t ContentSum::Value() const {
  std::uint64_t h = h_;
  h = (h ^ word_ ^ (std::uint64_t{pending_} << 60)) * 0xbf58476d1ce4e5b9ull;
  h = (h ^ length_ ^ (h >> 31)) * 0x94d049bb133111ebull;
  return h ^ (h >> 32);
}

SameFiles SameFiles::Of(const fs::path& a, const fs::path& b) {
  SameFiles out;
  const fs::path file = SameFilesRecord(a, b);
  std::string bytes;
  std::string_view text, line, first, second;
  std::size_t count = 0;
  std::int64_t recordTime = 0;
  if (!ReadRecord(file, kFirstLine, &bytes, &text, &count, &recordTime) ||
      !NextLine(text, &first) || !NextLine(text, &second))
    return out;
  const bool ordered = InOrder(a, b);
  if (first != Spelled(ordered ? a : b) || second != Spelled(ordered ? b : a)) return out;
  std::unordered_map<std::u16string, Pair> files;
  files.reserve(std::min(count, text.size() / 16));  // an entry's line is longer
  while (NextLine(text, &line)) {
    std::string_view name, x, y;
    Pair p;
    if (!SplitEntry(line, &name, &x, &y) || !ParseStamp(x, &p.first) || !ParseStamp(y, &p.second))
      return out;
    files.emplace(UpcasedUtf16(name), p);
  }
  if (files.size() != count) return out;
  out.swapped_ = !ordered;
  out.recordTime_ = recordTime;
  out.files_ = std::move(files);
  return out;
}

FolderSums FolderSums::Of(const fs::path& folder) {
  FolderSums out;
  const fs::path file = FolderSumsRecord(folder);
  std::string bytes;
  std::string_view text, line, spelled;
  std::size_t count = 0;
  std::int64_t recordTime = 0;
  if (!ReadRecord(file, kSumsFirstLine, &bytes, &text, &count, &recordTime) ||
      !NextLine(text, &spelled) || spelled != Spelled(folder))
    return out;
  std::unordered_map<std::u16string, Entry> sums;
  sums.reserve(std::min(count, text.size() / 16));
  while (NextLine(text, &line)) {
    std::string_view name, stamp, sum;
    Entry e;
    if (!SplitEntry(line, &name, &stamp, &sum) || !ParseStamp(stamp, &e.stamp) || !HexNumber(sum, &e.sum))
      return out;
    sums.emplace(UpcasedUtf16(name), e);
  }
  if (sums.size() != count) return out;
  out.recordTime_ = recordTime;
  out.sums_ = std::move(sums);
  return out;
}

std::optional<std::uint64_t> FolderSums::Sum(std::string_view name, const os::FileStamp& now) const {
  return Sum(UpcasedUtf16(name), now);
}

std::optional<std::uint64_t> FolderSums::Sum(const std::u16string& key, const os::FileStamp& now) const {
  const auto found = sums_.find(key);
  if (found == sums_.end() || !now.usable || !Settled(now, recordTime_) || !(now == found->second.stamp))
    return std::nullopt;
  return found->second.sum;
}

bool SameFiles::Alike(std::string_view name, const os::FileStamp& inA,
                      const os::FileStamp& inB) const {
  return Alike(UpcasedUtf16(name), inA, inB);
}

bool SameFiles::Alike(const std::u16string& key, const os::FileStamp& inA,
                      const os::FileStamp& inB) const {
  const auto found = files_.find(key);
  if (found == files_.end() || !inA.usable || !inB.usable) return false;
  const os::FileStamp& a = swapped_ ? found->second.second : found->second.first;
  const os::FileStamp& b = swapped_ ? found->second.first : found->second.second;
  return Settled(inA, recordTime_) && Settled(inB, recordTime_) && inA == a && inB == b;
}

void RecordSameFiles(const std::vector<AlikeFolders>& pairs) {
  struct Written {
    fs::path file;
    std::string text;
    std::int64_t newest = 0;
  };
  std::vector<Written> written;
  for (const AlikeFolders& pair : pairs) {
    const fs::path file = SameFilesRecord(pair.a, pair.b);
    if (file.empty()) continue;
    const bool ordered = InOrder(pair.a, pair.b);
    const fs::path& first = ordered ? pair.a : pair.b;
    const fs::path& second = ordered ? pair.b : pair.a;
    FolderStamps inFirst, inSecond;
    if (pair.files) {
      const std::u16string key = UpcasedUtf16(kFilePairEntry);
      if (!FilePairStamps(first, second, &inFirst[key], &inSecond[key])) continue;
    } else if (!ListStamps(first, &inFirst) || !ListStamps(second, &inSecond)) {
      continue;
    }
    const std::vector<std::string> fileEntry = {kFilePairEntry};
    const std::vector<std::string>& names = pair.files ? fileEntry : pair.names;
    const bool withSums = !pair.files && pair.sums.size() == names.size();
    std::string text = std::string(kFirstLine) + "\n" + Spelled(first) + "\n" + Spelled(second) + "\n";
    std::string sumsOf[2] = {std::string(kSumsFirstLine) + "\n" + Spelled(first) + "\n",
                             std::string(kSumsFirstLine) + "\n" + Spelled(second) + "\n"};
    std::size_t summed = 0;
    std::vector<std::pair<os::FileStamp, os::FileStamp>> entries;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string& name = names[i];
      if (name.find_first_of("\t\n\r") != std::string::npos) continue;
      const std::u16string key = UpcasedUtf16(name);
      const auto x = inFirst.find(key), y = inSecond.find(key);
      if (x == inFirst.end() || y == inSecond.end() || !x->second.usable || !y->second.usable) continue;
      if (pair.aListed) {  // a source written to while it was copied: not alike
        const auto before = pair.aBefore.find(key);
        const os::FileStamp& now = ordered ? x->second : y->second;
        if (before == pair.aBefore.end() || !(before->second == now)) continue;
      }
      entries.emplace_back(x->second, y->second);
      text += name + "\t" + StampText(x->second) + "\t" + StampText(y->second) + "\n";
      if (withSums && pair.sums[i]) {
        sumsOf[0] += name + "\t" + StampText(x->second) + "\t" + Hex(*pair.sums[i]) + "\n";
        sumsOf[1] += name + "\t" + StampText(y->second) + "\t" + Hex(*pair.sums[i]) + "\n";
        ++summed;
      }
      inFirst.erase(x);  // a name given twice is recorded once
    }
    text += EndLine(text, entries.size());
    os::MakeOneFolder(file.parent_path());
    const std::int64_t newest = NewestTime(entries);
    if (WriteRecord(file, text)) written.push_back({file, std::move(text), newest});
    if (!withSums) continue;
    const fs::path* folders[2] = {&first, &second};
    for (int k = 0; k < 2; ++k) {
      const fs::path sums = FolderSumsRecord(*folders[k]);
      sumsOf[k] += EndLine(sumsOf[k], summed);
      if (WriteRecord(sums, sumsOf[k])) written.push_back({sums, std::move(sumsOf[k]), newest});
    }
  }
  // The files just written may lie within the record's tick; write the
  // record again once the clock has moved past them.
  for (int wait = 1; wait <= 32; wait *= 2) {
    bool late = false;
    for (const Written& w : written) late = late || WriteTimeOf(w.file) <= w.newest;
    if (!late) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(wait));
    for (const Written& w : written)
      if (WriteTimeOf(w.file) <= w.newest) WriteRecord(w.file, w.text);
  }
}

}  // namespace lup
