#include "core/fileops.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <random>
#include <thread>

#include "base/parallel.h"
#include "base/text.h"
#include "platform/osfile.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

FileOps g_defaultOps(/*keepJournal=*/false);
FileOps* g_currentOps = &g_defaultOps;

const char kHex[] = "0123456789abcdef";

constexpr std::string_view kTempPrefix = "~lupina-tmp-";
constexpr std::string_view kTempSuffix = ".tmp";
constexpr std::size_t kTempDigits = 16;

std::string MakeTempName() {
  // One generator a thread: a folder's copies are written from a few.
  thread_local std::mt19937_64 random(
      (static_cast<std::uint64_t>(std::random_device{}()) << 32) ^
      static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
      std::hash<std::thread::id>{}(std::this_thread::get_id()));
  const std::uint64_t v = random();
  std::string name(kTempPrefix);
  for (std::size_t i = 0; i < kTempDigits; ++i) name.push_back(kHex[(v >> (i * 4)) & 15]);
  return name + std::string(kTempSuffix);
}

// The power-cut tests' record of what reached the disk (RecordDiskEvents).
std::mutex& EventsLock() {
  static std::mutex lock;
  return lock;
}
std::atomic<std::vector<FileOps::DiskEvent>*>& Events() {
  static std::atomic<std::vector<FileOps::DiskEvent>*> events{nullptr};
  return events;
}

bool Recording() { return Events().load() != nullptr; }

// `written`: a file's content as its writer knows it (a file kept open for
// its rename is not opened again by name); otherwise it is read.
void Note(FileOps::DiskEvent::Kind kind, const fs::path& path, const fs::path& other = {},
          std::string lost = {}, const std::string* written = nullptr) {
  if (!Events().load()) return;
  FileOps::DiskEvent event{kind, path, other, {}, std::move(lost)};
  if (kind == FileOps::DiskEvent::Kind::kWrite) {
    if (written)
      event.bytes = *written;
    else
      os::ReadWhole(path, &event.bytes);
  }
  std::lock_guard<std::mutex> hold(EventsLock());
  if (std::vector<FileOps::DiskEvent>* events = Events().load()) events->push_back(std::move(event));
}

void NoteWrite(const fs::path& path, std::string lost = {}) { Note(FileOps::DiskEvent::Kind::kWrite, path, {}, std::move(lost)); }
void NoteWritten(const fs::path& path, const std::string& bytes) {
  Note(FileOps::DiskEvent::Kind::kWrite, path, {}, {}, &bytes);
}
void NoteDurable(const fs::path& path) { Note(FileOps::DiskEvent::Kind::kDurable, path); }
void NoteRename(const fs::path& from, const fs::path& to) { Note(FileOps::DiskEvent::Kind::kRename, from, to); }
void NoteDelete(const fs::path& path) { Note(FileOps::DiskEvent::Kind::kDelete, path); }

std::error_code Deleted(const fs::path& path) {
  std::error_code e = os::DeleteOneFile(path);
  if (!e) NoteDelete(path);
  return e;
}

std::error_code Renamed(const fs::path& from, const fs::path& to, bool syncFolder = true) {
  std::error_code e = os::ReplaceByRename(from, to, syncFolder);
  if (!e) NoteRename(from, to);
  return e;
}

// A temporary file kept open to its rename is renamed through its handle.
std::error_code Renamed(TempFile& temp, const fs::path& to, bool syncFolder) {
  if (!temp.file.open()) return Renamed(temp.path, to, syncFolder);
  std::error_code e = os::ReplaceOpenByRename(temp.file, temp.path, to, syncFolder);
  temp.Close();
  if (!e) NoteRename(temp.path, to);
  return e;
}

// Creates a fresh temporary file in `folder`; `toRename`: one to be kept
// open until its rename.
std::error_code CreateTemp(const fs::path& folder, os::File* file, fs::path* tempPath,
                           bool toRename = false) {
  std::error_code e;
  for (int attempt = 0; attempt < 100; ++attempt) {
    *tempPath = folder / U8Path(MakeTempName());
    e = toRename ? os::CreateNewToRename(*tempPath, file) : os::CreateNew(*tempPath, file);
    if (!e) return {};
    if (e != std::errc::file_exists && !(e.category() == std::system_category() && e.value() == 80))
      return e;
  }
  return e;
}

void Discard(TempFile& temp) {
  temp.Close();
  if (!temp.path.empty()) Deleted(temp.path);
}

std::atomic<int> g_heldTemps{0};

bool NameExists(const fs::path& p) {
  os::EntryInfo entry;
  return !os::LookUp(p, &entry);
}

bool IsFolderPath(const fs::path& p) {
  os::EntryInfo entry;
  return !os::LookUp(p, &entry) && entry.folder;
}

// A failure of a two-path step; `atTarget` says which side failed.
OpResult TwoPathFailure(Action action, std::error_code e, const fs::path& from,
                        const fs::path& to, bool atTarget) {
  OpResult r = OpResult::Fail(action, e, from, to);
  r.atTarget = atTarget;
  return r;
}

// After a failed rename: a missing source is the source's fault, anything
// else is taken as the target's.
bool TargetsFault(const std::error_code& e, const fs::path& from) {
  return !IsNotFound(e) || NameExists(from);
}

}  // namespace

TempFile::TempFile(TempFile&& other) noexcept
    : path(std::move(other.path)), file(std::move(other.file)), held_(other.held_) {
  other.path.clear();
  other.held_ = false;
}

TempFile& TempFile::operator=(TempFile&& other) noexcept {
  if (this != &other) {
    Close();
    path = std::move(other.path);
    file = std::move(other.file);
    held_ = other.held_;
    other.path.clear();
    other.held_ = false;
  }
  return *this;
}

bool TempFile::Hold() {
  if (held_) return true;
  for (int now = g_heldTemps.load(); now < Cap();)
    if (g_heldTemps.compare_exchange_weak(now, now + 1)) return held_ = true;
  return false;
}

void TempFile::Close() {
  file.Close();
  if (held_) {
    held_ = false;
    g_heldTemps.fetch_sub(1);
  }
}

int TempFile::HeldNow() { return g_heldTemps.load(); }

int TempFile::Cap() {
  static const int cap = os::MaxFilesKeptOpen();
  return cap;
}

bool IsTempName(std::string_view name) {
  if (name.size() != static_cast<std::size_t>(kTempNameLength)) return false;
  if (name.substr(0, kTempPrefix.size()) != kTempPrefix) return false;
  if (name.substr(kTempPrefix.size() + kTempDigits) != kTempSuffix) return false;
  for (char c : name.substr(kTempPrefix.size(), kTempDigits))
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  return true;
}

int RemoveStrayTemps(const fs::path& folder) {
  int removed = 0;
  std::vector<os::FolderItem> items;
  os::ListOneFolder(folder, &items);
  for (const os::FolderItem& item : items)
    if (item.file && IsTempName(NameText(item.name)) && !Deleted(folder / item.name)) ++removed;
  return removed;
}

// A temporary file of another of our programs at work in the same folder
// could be taken for a leftover: its step then fails and says so, its target
// untouched. Sweeping is not an operation: it is neither counted nor
// journaled, and an injected fault does not reach it.
void FileOps::SweepOnce(const fs::path& folder) {
  const fs::path where = (folder.empty() ? fs::path(".") : folder).lexically_normal();
  for (const fs::path& done : swept_)
    if (done == where) return;
  swept_.push_back(where);
  RemoveStrayTemps(where);
}

FileOps& Fs() { return *g_currentOps; }

ScopedFileOps::ScopedFileOps(FileOps& ops) : previous_(g_currentOps) { g_currentOps = &ops; }
ScopedFileOps::~ScopedFileOps() { g_currentOps = previous_; }

void FileOps::FailAt(int nth, std::error_code error, bool fromThenOn, FaultPoint point) {
  failAt_ = count_ + nth;
  failError_ = error ? error : MakeError(CoreError::InjectedFault);
  failFromThenOn_ = fromThenOn;
  failPoint_ = point;
}

void FileOps::FailReadsOf(const fs::path& path, std::error_code error) {
  readFaults_.emplace_back(path.lexically_normal(),
                           error ? error : MakeError(CoreError::InjectedFault));
}

std::error_code FileOps::ReadFault(const fs::path& path) const {
  if (readFaults_.empty()) return {};
  const fs::path normal = path.lexically_normal();
  for (const auto& [p, e] : readFaults_)
    if (p == normal) return e;
  return {};
}

void FileOps::ClearFaults() {
  readFaults_.clear();
  failAt_ = 0;
  failFromThenOn_ = false;
  failError_.clear();
}

std::error_code FileOps::Begin(FaultPoint* point) {
  ++count_;
  *point = failPoint_;
  if (failAt_ > 0 && (count_ == failAt_ || (failFromThenOn_ && count_ > failAt_)))
    return failError_;
  return {};
}

// A failure on a file another program holds names that program, as far as
// the system can tell (it was tried again for a while first: osfile.h).
static OpResult NameHolder(OpResult r) {
  if (!r.ok() && os::IsHeldError(r.error, r.FailingPath())) r.heldBy = os::ProgramsHolding(r.FailingPath());
  return r;
}

OpResult FileOps::Finish(OpResult r, const fs::path& path, const fs::path& other) {
  r = NameHolder(std::move(r));
  if (keepJournal_) journal_.push_back(Record{r.action, path, other, r.ok()});
  return r;
}

namespace {

enum class Target { kOther, kSameBytes, kFolder };

// Whether the file `to` holds exactly the bytes `source` holds: the sizes
// first (from the folder's entry: a target missing or of another size is
// never opened), then the content. `source` is left at its start again;
// when the bytes are the same, `*sum` has taken all of them.
Target CompareTarget(os::File& source, const fs::path& to, ContentSum* sum, std::error_code* error) {
  std::uint64_t sourceSize = 0, targetSize = 0;
  os::EntryInfo entry;
  if (os::LookUp(to, &entry)) return Target::kOther;
  if (entry.folder) return Target::kFolder;
  if (source.Size(&sourceSize) || sourceSize != entry.size) return Target::kOther;
  os::File target;
  // A target another program holds is not waited for here: then it is
  // taken as different, and its replacement waits for it.
  if (std::error_code e = os::OpenRead(to, &target, false))
    return e == std::errc::is_a_directory ? Target::kFolder : Target::kOther;
  if (target.Size(&targetSize) || sourceSize != targetSize) return Target::kOther;
  static thread_local char a[65536], b[65536];
  bool same = true;
  for (std::uint64_t left = sourceSize; same && left > 0;) {
    std::size_t gotA = 0, gotB = 0;
    if (source.Read(a, sizeof a, &gotA) || gotA == 0) {
      same = false;
      break;
    }
    for (std::size_t done = 0; done < gotA;) {
      std::size_t n = 0;
      if (target.Read(b + done, gotA - done, &n) || n == 0) break;
      done += n;
      gotB = done;
    }
    same = gotB == gotA && std::equal(a, a + gotA, b);
    sum->Add(a, gotA);
    left -= gotA;
  }
  if (auto e = source.Seek(0)) *error = e;
  return same ? Target::kSameBytes : Target::kOther;
}

// The largest source read whole to be told apart from its target by its
// sum; a larger one is compared with its target as it is read.
constexpr std::uint64_t kReadWholeUpTo = 4u << 20;

// Reads the rest of `source` into `*bytes`.
std::error_code ReadRest(os::File& source, std::string* bytes) {
  char buffer[65536];
  for (;;) {
    std::size_t got = 0;
    if (auto e = source.Read(buffer, sizeof buffer, &got)) return e;
    if (got == 0) return {};
    bytes->append(buffer, got);
  }
}

}  // namespace

// Copies `from` into a temporary file beside `to` and renames it over `to`,
// or leaves the temporary file to `batch`. Shared by Copy and by a Move
// across volumes; `fault` strikes before the rename. With a `targetSum`, a
// source small enough is read whole first and, when its sum is another,
// written without its target being opened. `*sumOut` gets the sum of the
// bytes the target holds afterwards when every byte was read.
static OpResult CopyAtomically(const fs::path& from, const fs::path& to, Action action,
                               std::error_code fault, CopyBatch* batch = nullptr,
                               TempFile* staged = nullptr,
                               std::optional<std::uint64_t> targetSum = std::nullopt,
                               std::optional<std::uint64_t>* sumOut = nullptr) {
  auto fail = [&](std::error_code e, bool atTarget) {
    return TwoPathFailure(action, e, from, to, atTarget);
  };
  os::File source;
  if (auto e = os::OpenRead(from, &source)) return fail(e, false);
  ContentSum sum;
  std::string whole;  // the source read whole, to be told apart by its sum
  bool toldApart = false;  // by its sum: `whole` is written, the target not opened
  std::uint64_t size = 0;
  if (!fault && action == Action::Copy && targetSum && !source.Size(&size) && size <= kReadWholeUpTo) {
    if (auto e = ReadRest(source, &whole)) return fail(e, false);
    sum.Add(whole);
    toldApart = sum.Value() != *targetSum;
    if (!toldApart) {  // perhaps the same bytes: compared as without a sum
      whole.clear();
      sum = ContentSum();
      if (auto e = source.Seek(0)) return fail(e, false);
    }
  }
  if (!fault && action == Action::Copy && !toldApart) {
    std::error_code e;
    const Target target = CompareTarget(source, to, &sum, &e);
    if (e) return fail(e, false);
    if (target == Target::kFolder) return fail(MakeError(CoreError::IsAFolder), true);
    if (target == Target::kSameBytes) {  // nothing to write, not even the time
      if (sumOut) *sumOut = sum.Value();
      return OpResult::Ok(action);
    }
    sum = ContentSum();
  } else if (!toldApart && IsFolderPath(to)) {
    // (A target told apart by its sum was listed as a file; should a folder
    // have taken its name since, the rename is refused.)
    return fail(MakeError(CoreError::IsAFolder), true);
  }
  fs::path folder = to.parent_path();
  // The temporary file stays open to its rename while there is room (a
  // batch's through the barrier).
  TempFile temp;
  const bool keepOpen = temp.Hold();
  if (auto e = CreateTemp(folder.empty() ? fs::path(".") : folder, &temp.file, &temp.path, keepOpen)) {
    temp.path.clear();
    return fail(e, true);
  }
  const fs::path& tempPath = temp.path;
  std::string written;  // only while the power-cut tests record
  const bool recording = Recording();
  if (toldApart) {
    if (auto e = temp.file.WriteAll(whole.data(), whole.size())) {
      Discard(temp);
      return fail(e, true);
    }
    if (recording) written = whole;
  }
  char buffer[65536];
  while (!toldApart) {
    std::size_t got = 0;
    if (auto e = source.Read(buffer, sizeof buffer, &got)) {
      Discard(temp);
      return fail(e, false);
    }
    if (got == 0) break;
    if (auto e = temp.file.WriteAll(buffer, got)) {
      Discard(temp);
      return fail(e, true);
    }
    sum.Add(buffer, got);
    if (recording) written.append(buffer, got);
  }
  // Keep the source's last-write time, as a copy by the shell does.
  temp.file.CopyTimeFrom(source);
  source.Close();
  std::error_code e = batch ? temp.file.StartWriteOut() : temp.file.Sync();
  if (!e && !keepOpen) e = temp.file.Close();
  if (e) {
    Discard(temp);
    return fail(e, true);
  }
  if (recording) NoteWritten(tempPath, written);
  if (!batch) NoteDurable(tempPath);
  if (fault && !batch) {
    Discard(temp);
    return fail(fault, true);
  }
  if (sumOut) *sumOut = sum.Value();
  if (batch) {
    *staged = std::move(temp);
    return OpResult::Ok(action);
  }
  if (auto e2 = Renamed(temp, to, true)) {
    Discard(temp);
    return fail(e2, true);
  }
  return OpResult::Ok(action);
}

// A copy is counted (its injected fault found) and its folder swept first,
// then done (RunCopy, which touches nothing of the funnel's own), then
// handed to its batch and journaled. A copy known to write nothing (its
// target known alike) leaves its folder unswept.
std::error_code FileOps::BeginCopy(const fs::path& to, FaultPoint* point, bool knownAlike) {
  std::error_code fault = Begin(point);
  const bool writes = fault ? *point != FaultPoint::Start : !knownAlike;
  if (writes) SweepOnce(to.parent_path());
  return fault;
}

static OpResult RunCopy(const fs::path& from, const fs::path& to, std::error_code fault,
                        FaultPoint point, CopyBatch* batch, TempFile* staged,
                        std::optional<std::uint64_t> targetSum = std::nullopt,
                        std::optional<std::uint64_t>* sumOut = nullptr) {
  return fault && point == FaultPoint::Start
             ? TwoPathFailure(Action::Copy, fault, from, to, true)
             : CopyAtomically(from, to, Action::Copy, fault, batch, staged, targetSum, sumOut);
}

OpResult FileOps::EndCopy(OpResult r, const fs::path& from, const fs::path& to,
                          std::error_code fault, TempFile& staged, CopyBatch* batch) {
  if (batch) {
    batch->ops_ = this;
    // A copy that wrote nothing needs no names at the commit: it is counted.
    const bool wrote = !staged.path.empty();
    if (r.ok())
      batch->staged_.push_back({wrote ? from : fs::path(), wrote ? to : fs::path(), std::move(staged), fault,
                                journal_.size()});
    if (!r.ok() && batch->failed_.ok()) batch->failed_ = r;
  }
  return Finish(r, from, to);
}

OpResult FileOps::Copy(const fs::path& from, const fs::path& to, CopyBatch* batch) {
  FaultPoint point;
  const std::error_code fault = BeginCopy(to, &point);
  TempFile staged;
  const OpResult r = RunCopy(from, to, fault, point, batch, &staged);
  return EndCopy(r, from, to, fault, staged, batch);
}

OpResult FileOps::CopyAll(const std::vector<std::pair<fs::path, fs::path>>& copies,
                          CopyBatch& batch, int* done, const std::vector<CopyHint>* hints,
                          std::vector<std::optional<std::uint64_t>>* sums) {
  *done = 0;
  if (hints && hints->size() != copies.size()) hints = nullptr;
  if (sums) sums->assign(copies.size(), std::nullopt);
  const int countBefore = count_;
  struct One {
    std::error_code fault;
    FaultPoint point = FaultPoint::Start;
    OpResult result;
    TempFile staged;
    std::optional<std::uint64_t> sum;
  };
  std::vector<One> work(copies.size());
  if (const std::size_t need = batch.staged_.size() + copies.size(); need > batch.staged_.capacity())
    batch.staged_.reserve(std::max(need, 2 * batch.staged_.capacity()));
  // Counted in order; a copy whose fault strikes at its start is the last.
  std::size_t asked = 0;
  std::vector<std::size_t> toRun;  // the copies that open a file
  while (asked < copies.size()) {
    One& w = work[asked];
    const CopyHint* hint = hints ? &(*hints)[asked] : nullptr;
    w.fault = BeginCopy(copies[asked].second, &w.point, hint && hint->alike);
    if (!w.fault && hint && hint->alike) {
      w.result = OpResult::Ok(Action::Copy);  // as a copy onto the same bytes ends
      w.sum = hint->sum;
    } else {
      toRun.push_back(asked);
    }
    ++asked;
    if (w.fault && w.point == FaultPoint::Start) break;
  }
  // Read and written from a few threads; once a copy failed, the ones after
  // it that have not started are not needed.
  std::atomic<std::size_t> firstFailed{asked};
  ForEachIndexInParallel(toRun.size(), [&](std::size_t k) {
    const std::size_t i = toRun[k];
    if (i > firstFailed.load()) return;
    One& w = work[i];
    const CopyHint* hint = hints ? &(*hints)[i] : nullptr;
    try {
      w.result = RunCopy(copies[i].first, copies[i].second, w.fault, w.point, &batch, &w.staged,
                         hint ? hint->targetSum : std::nullopt, &w.sum);
    } catch (const std::bad_alloc&) {  // a worker thread must not end the program
      w.result = TwoPathFailure(Action::Copy, std::make_error_code(std::errc::not_enough_memory),
                                copies[i].first, copies[i].second, true);
    }
    if (w.result.ok()) return;
    for (std::size_t seen = firstFailed.load(); i < seen;)
      if (firstFailed.compare_exchange_weak(seen, i)) break;
  });
  // Handed over in order up to the first failure, which ends the list as it
  // would have ended one copy after the other: the copies after it are not
  // counted, and their temporary files go.
  OpResult r = OpResult::Ok(Action::Copy);
  for (std::size_t i = 0; i < asked; ++i) {
    One& w = work[i];
    if (!r.ok()) {
      Discard(w.staged);
      continue;
    }
    r = EndCopy(w.result, copies[i].first, copies[i].second, w.fault, w.staged, &batch);
    if (r.ok()) {
      ++*done;
      if (sums && !w.fault) (*sums)[i] = w.sum;
    } else
      count_ = countBefore + static_cast<int>(i) + 1;
  }
  return r;
}

void FileOps::RecordDiskEvents(std::vector<DiskEvent>* events) {
  std::lock_guard<std::mutex> hold(EventsLock());
  Events().store(events);
}

void FileOps::MarkFailed(std::size_t journalIndex) {
  if (journalIndex < journal_.size()) journal_[journalIndex].ok = false;
}

CopyBatch::~CopyBatch() { Discard(0); }

// Commit, and the removals when it succeeded; the batch is empty afterwards.
OpResult CopyBatch::Commit() {
  OpResult r = CommitCopies();
  std::vector<fs::path> removals;
  removals.swap(removals_);
  std::vector<AlikeFolders> alike;
  alike.swap(alike_);
  failed_ = OpResult();
  for (const fs::path& file : removals) {
    if (!r.ok()) break;
    // One already gone is where it should be: a leftover temporary file is
    // swept by the first copy into its folder, before its turn comes.
    OpResult removed = keeper_ ? keeper_->Removing(file) : Fs().Delete(file);
    if (!removed.ok() && !IsNotFound(removed.error)) r = removed;
  }
  if (r.ok() && !alike.empty()) RecordSameFiles(alike);
  return r;
}

// A file still open is closed before it is deleted (Windows would not
// delete it while we hold it without sharing).
void CopyBatch::Discard(std::size_t from) {
  for (std::size_t i = from; i < staged_.size(); ++i) lup::Discard(staged_[i].temp);
  staged_.clear();
}

OpResult CopyBatch::CommitCopies() {
  if (!failed_.ok()) {
    Discard(0);
    return failed_;
  }
  std::vector<fs::path> temps;
  std::vector<os::File*> held;  // flushed through the handles kept open
  temps.reserve(staged_.size());
  held.reserve(staged_.size());
  for (Staged& s : staged_)
    if (!s.temp.path.empty()) {
      temps.push_back(s.temp.path);
      held.push_back(s.temp.file.open() ? &s.temp.file : nullptr);
    }
  fs::path unsure;
  if (std::error_code e = temps.empty() ? std::error_code() : os::SyncFiles(temps, &unsure, held)) {
    std::size_t i = 0;
    while (i + 1 < staged_.size() && staged_[i].temp.path != unsure) ++i;
    OpResult r = TwoPathFailure(Action::Copy, e, staged_[i].from, staged_[i].to, true);
    ops_->MarkFailed(staged_[i].journalIndex);
    Discard(0);
    return r;
  }
  for (const fs::path& temp : temps) NoteDurable(temp);
  if (keeper_) {
    std::vector<fs::path> fresh;
    for (const Staged& s : staged_)
      if (!s.temp.path.empty() && !NameExists(s.to)) fresh.push_back(s.to);
    if (OpResult k = fresh.empty() ? OpResult::Ok() : keeper_->New(fresh); !k.ok()) {
      Discard(0);
      return k;
    }
  }
  std::vector<fs::path> folders;
  OpResult r = OpResult::Ok(Action::Copy);
  std::size_t i = 0;
  for (; i < staged_.size(); ++i) {
    Staged& s = staged_[i];
    if (s.temp.path.empty()) {
      ++done_;
      continue;
    }
    if (keeper_ && NameExists(s.to)) {
      if (OpResult k = keeper_->Replacing(s.to); !k.ok()) {
        r = k;
        break;
      }
    }
    std::error_code e = s.fault ? s.fault : Renamed(s.temp, s.to, false);
    if (e) {
      r = NameHolder(TwoPathFailure(Action::Copy, e, s.from, s.to, true));
      ops_->MarkFailed(s.journalIndex);
      break;
    }
    ++done_;
    fs::path folder = s.to.parent_path();
    if (std::find(folders.begin(), folders.end(), folder) == folders.end())
      folders.push_back(folder);
  }
  Discard(i);
  // The renames done are made durable also when a later one failed.
  for (const fs::path& folder : folders) {
    std::error_code e = os::SyncFolder(folder);
    if (e && r.ok()) r = OpResult::Fail(Action::Copy, e, folder);
  }
  return r;
}

OpResult FileOps::Move(const fs::path& from, const fs::path& to) {
  FaultPoint point;
  OpResult r;
  if (std::error_code fault = Begin(&point)) {
    r = TwoPathFailure(Action::Move, fault, from, to, true);
  } else if (IsFolderPath(from) || IsFolderPath(to)) {
    r = TwoPathFailure(Action::Move, MakeError(CoreError::IsAFolder), from, to, !IsFolderPath(from));
  } else if (std::error_code e = Renamed(from, to)) {
    if (os::IsCrossDevice(e)) {
      SweepOnce(to.parent_path());
      r = CopyAtomically(from, to, Action::Move, {});
      if (r.ok()) {
        if (auto e2 = Deleted(from)) r = OpResult::Fail(Action::Move, e2, from, to);
      }
    } else {
      r = TwoPathFailure(Action::Move, e, from, to, TargetsFault(e, from));
    }
  } else {
    r = OpResult::Ok(Action::Move);
  }
  return Finish(r, from, to);
}

OpResult FileOps::Rename(const fs::path& from, const fs::path& to) {
  FaultPoint point;
  OpResult r;
  if (std::error_code fault = Begin(&point)) {
    r = TwoPathFailure(Action::Rename, fault, from, to, true);
  } else {
    if (os::NameTaken(to)) {
      r = TwoPathFailure(Action::Rename, MakeError(CoreError::AlreadyExists), from, to, true);
    } else if (std::error_code e = os::RenameNoReplace(from, to)) {
      r = TwoPathFailure(Action::Rename, e, from, to, TargetsFault(e, from));
    } else {
      NoteRename(from, to);
      r = OpResult::Ok(Action::Rename);
    }
  }
  return Finish(r, from, to);
}

OpResult FileOps::Link(const fs::path& from, const fs::path& to) {
  FaultPoint point;
  OpResult r;
  if (std::error_code fault = Begin(&point)) {
    r = TwoPathFailure(Action::Link, fault, from, to, true);
  } else {
    if (os::NameTaken(to)) {
      r = TwoPathFailure(Action::Link, MakeError(CoreError::AlreadyExists), from, to, true);
    } else if (std::error_code e = os::HardLink(from, to)) {
      r = TwoPathFailure(Action::Link, e, from, to, TargetsFault(e, from));
    } else {
      Note(DiskEvent::Kind::kLink, from, to);
      r = OpResult::Ok(Action::Link);
    }
  }
  return Finish(r, from, to);
}

bool FileOps::IsNoLink(const OpResult& failed) { return !failed.ok() && os::IsNoHardLink(failed.error); }

OpResult FileOps::Delete(const fs::path& path) {
  FaultPoint point;
  std::error_code e = Begin(&point);
  if (!e) e = Deleted(path);
  if (e == std::errc::is_a_directory) e = MakeError(CoreError::IsAFolder);
  return Finish(e ? OpResult::Fail(Action::Delete, e, path) : OpResult::Ok(Action::Delete), path, {});
}

OpResult FileOps::MakeFolder(const fs::path& path) {
  FaultPoint point;
  std::error_code e = Begin(&point);
  if (!e) {
    if (os::NameTaken(path))
      e = MakeError(CoreError::AlreadyExists);
    else
      e = os::MakeOneFolder(path);
  }
  return Finish(e ? OpResult::Fail(Action::MakeFolder, e, path) : OpResult::Ok(Action::MakeFolder),
                path, {});
}

OpResult FileOps::RemoveFolder(const fs::path& path) {
  FaultPoint point;
  std::error_code e = Begin(&point);
  if (!e) {
    os::EntryInfo entry;
    if (!os::LookUp(path, &entry) && !entry.folder)
      e = MakeError(CoreError::NotAFolder);
    else
      e = os::RemoveEmptyFolder(path);
  }
  return Finish(
      e ? OpResult::Fail(Action::RemoveFolder, e, path) : OpResult::Ok(Action::RemoveFolder), path,
      {});
}

OpResult FileOps::Write(const fs::path& path, std::string_view bytes) {
  FaultPoint point;
  std::error_code fault = Begin(&point);
  auto done = [&](std::error_code e) {
    return Finish(e ? OpResult::Fail(Action::Write, e, path) : OpResult::Ok(Action::Write), path,
                  {});
  };
  if (fault && point == FaultPoint::Start) return done(fault);
  if (IsFolderPath(path)) return done(MakeError(CoreError::IsAFolder));
  fs::path folder = path.parent_path();
  SweepOnce(folder);
  // Kept open from its write to its rename while there is room.
  TempFile temp;
  const bool keepOpen = temp.Hold();
  if (auto e = CreateTemp(folder.empty() ? fs::path(".") : folder, &temp.file, &temp.path, keepOpen)) {
    temp.path.clear();
    return done(e);
  }
  std::error_code e = temp.file.WriteAll(bytes.data(), bytes.size());
  if (!e) e = temp.file.Sync();
  if (!e && !keepOpen) e = temp.file.Close();
  if (!e) {
    if (Recording()) NoteWritten(temp.path, std::string(bytes));
    NoteDurable(temp.path);
  }
  if (!e && fault) e = fault;
  if (!e) e = Renamed(temp, path, true);
  if (e) Discard(temp);
  return done(e);
}

OpResult FileOps::EditBytes(const fs::path& path, std::uint64_t offset, std::string_view bytes) {
  FaultPoint point;
  std::error_code e = Begin(&point);
  if (!e) {
    os::File file;
    std::string before;
    if (Events().load()) os::ReadWhole(path, &before);
    e = os::OpenEdit(path, &file);
    std::uint64_t length = 0;
    if (!e) e = file.Size(&length);
    if (!e && offset + bytes.size() > length) e = MakeError(CoreError::FileTooShort);
    if (!e) e = file.Seek(offset);
    if (!e) e = file.WriteAll(bytes.data(), bytes.size());
    // (What a power cut before the flush leaves: the old bytes.)
    if (!e) NoteWrite(path, before);
    if (!e) e = file.Sync();
    if (!e) e = file.Close();
    if (!e) NoteDurable(path);
  }
  if (e == std::errc::is_a_directory) e = MakeError(CoreError::IsAFolder);
  return Finish(e ? OpResult::Fail(Action::Edit, e, path) : OpResult::Ok(Action::Edit), path, {});
}

}  // namespace lup
