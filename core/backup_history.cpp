#include "core/backup_history.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "base/local_time.h"

#include "base/text.h"
#include "base/unicode.h"
#include "core/fsquery.h"
#include "core/fssteps.h"

namespace lup {
namespace fs = std::filesystem;

namespace {

constexpr const char* kInfoName = "info.txt";
constexpr const char* kKeptName = "bak";
constexpr const char* kAddedName = "added";
constexpr std::size_t kRunDigits = 6;

bool IsRunName(const std::string& name) {
  return name.size() == kRunDigits &&
         std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Digits(int n) {
  char text[16];
  std::snprintf(text, sizeof text, "%06d", n);
  return text;
}

// A path under D\bak as the history writes it: relative, with "/".
std::string Relative(const fs::path& bak, const fs::path& inBak) {
  return PathText(inBak.lexically_relative(bak).generic_u8string());
}

std::u16string Key(std::string_view relative) { return UpcasedUtf16(relative); }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) out.push_back(std::move(line));
    at = end + 1;
  }
  return out;
}

// "key=value" lines.
std::string ValueOf(const std::string& text, std::string_view key) {
  const std::string prefix = std::string(key) + "=";
  for (const std::string& line : Lines(text))
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  return {};
}

// A time stamp of the history ("2026-12-08 19:00:05") as the user reads it.
std::string Shown(std::string stamp) {
  for (std::size_t i = 0; i < stamp.size() && i < 10; ++i)
    if (stamp[i] == '-') stamp[i] = '/';
  return stamp;
}

bool IsTime(const std::string& value) { return !value.empty() && value[0] >= '0' && value[0] <= '9'; }

// Every file and folder under `folder` removed, then `folder`; what cannot
// go stays for a later try.
void RemoveTree(const fs::path& folder) {
  std::vector<std::string> names;
  ListMatching(folder, "*", Pick::Folders, &names);
  for (const std::string& name : names) RemoveTree(folder / U8Path(name));
  names.clear();
  ListMatching(folder, "*", Pick::Files, &names);
  for (const std::string& name : names) Fs().Delete(folder / U8Path(name));
  Fs().RemoveFolder(folder);
}

}  // namespace

std::string LocalTimeStamp() {
  const std::tm local = LocalTimeNow();
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// ---- a generation ---------------------------------------------------------------

std::optional<fs::path> BackupView::Resolve(const fs::path& relative) const {
  const std::string text = PathText(relative.generic_u8string());
  const std::u16string key = Key(text);
  for (const Run& run : runs_) {
    if (run.added.count(key)) return std::nullopt;
    const fs::path kept = run.kept / relative;
    if (FileExists(kept)) return kept;
  }
  const fs::path now = bak_ / relative;
  if (FileExists(now)) return now;
  return std::nullopt;
}

std::optional<fs::path> BackupView::File(const fs::path& inBak) const {
  return Resolve(inBak.lexically_relative(bak_));
}

bool BackupView::IsFolder(const fs::path& inBak) const {
  const fs::path relative = inBak.lexically_relative(bak_);
  const std::u16string key = Key(PathText(relative.generic_u8string()) + "/");
  for (const Run& run : runs_)
    if (run.added.count(key)) return false;
  if (lup::IsFolder(inBak)) return true;
  for (const Run& run : runs_)
    if (lup::IsFolder(run.kept / relative)) return true;
  return false;
}

OpResult BackupView::Files(const fs::path& inBak,
                           std::vector<std::pair<std::string, fs::path>>* files) const {
  files->clear();
  if (!IsFolder(inBak)) return OpResult::Ok(Action::List);
  const fs::path relative = inBak.lexically_relative(bak_);
  std::vector<std::string> names;
  OpResult listed = ListMatching(inBak, "*.*", Pick::Files, &names);
  if (!listed.ok()) return listed;
  for (const Run& run : runs_) {
    std::vector<std::string> kept;
    listed = ListMatching(run.kept / relative, "*.*", Pick::Files, &kept);
    if (!listed.ok()) return listed;
    for (std::string& name : kept) {
      const bool known = std::any_of(names.begin(), names.end(),
                                     [&](const std::string& n) { return UpcasedUtf16(n) == UpcasedUtf16(name); });
      if (!known) names.push_back(std::move(name));
    }
  }
  std::sort(names.begin(), names.end(), NameOrderLess);
  for (const std::string& name : names) {
    if (IsTempName(name)) continue;
    if (std::optional<fs::path> where = Resolve(relative / U8Path(name))) files->emplace_back(name, *where);
  }
  return OpResult::Ok(Action::List);
}

// ---- the history ----------------------------------------------------------------

BackupHistory::BackupHistory(const Settings& settings) : s_(settings) {}

fs::path BackupHistory::Folder() const { return s_.hostFolder / U8Path(kHistoryFolderName); }

std::vector<BackupHistory::RunInfo> BackupHistory::Runs() const {
  std::vector<RunInfo> runs;
  std::vector<std::string> names;
  ListMatching(Folder(), "*", Pick::Folders, &names);
  std::erase_if(names, [](const std::string& n) { return !IsRunName(n); });
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    RunInfo run;
    run.folder = Folder() / U8Path(name);
    // A run without its record never began: nothing of D\bak changed.
    if (!FileExists(run.folder / kInfoName)) continue;
    std::string info;
    if (ReadFileBytes(run.folder / kInfoName, &info).ok()) {
      run.before = ValueOf(info, "before");
      run.done = ValueOf(info, "done");
    }
    runs.push_back(std::move(run));
  }
  return runs;
}

std::vector<BackupGeneration> BackupHistory::Generations() const {
  std::vector<BackupGeneration> out;
  const std::vector<RunInfo> runs = Runs();
  const fs::path bak = s_.hostFolder / U8Path("bak");
  if (runs.empty()) {
    if (lup::IsFolder(bak)) out.push_back({0, {}});
    return out;
  }
  if (!runs.back().done.empty()) out.push_back({0, Shown(runs.back().done)});
  for (std::size_t i = runs.size(); i-- > 0;) {
    const std::string& before = runs[i].before;
    const int undone = static_cast<int>(runs.size() - i);
    if (IsTime(before))
      out.push_back({undone, Shown(before)});
    else if (before == "unknown")
      out.push_back({undone, {}});
  }
  if (out.empty() && lup::IsFolder(bak)) out.push_back({0, {}, false});
  return out;
}

BackupView BackupHistory::View(int undone) const {
  BackupView view(s_.hostFolder / U8Path("bak"));
  const std::vector<RunInfo> runs = Runs();
  const std::size_t from = runs.size() - std::min<std::size_t>(runs.size(), static_cast<std::size_t>(std::max(undone, 0)));
  for (std::size_t i = from; i < runs.size(); ++i) {
    BackupView::Run run;
    run.kept = runs[i].folder / kKeptName;
    std::vector<std::string> lists;
    ListMatching(runs[i].folder / kAddedName, "*.txt", Pick::Files, &lists);
    for (const std::string& list : lists) {
      std::string text;
      if (!ReadFileBytes(runs[i].folder / kAddedName / U8Path(list), &text).ok()) continue;
      for (const std::string& line : Lines(text)) run.added.insert(Key(line));
    }
    view.runs_.push_back(std::move(run));
  }
  return view;
}

// ---- one run ---------------------------------------------------------------------

BackupRun::BackupRun(const Settings& settings, std::function<std::string()> now)
    : s_(settings), now_(std::move(now)) {}

fs::path BackupRun::KeptAt(const fs::path& inBak) const {
  return folder_ / kKeptName / inBak.lexically_relative(s_.hostFolder / U8Path("bak"));
}

OpResult BackupRun::Begin() {
  const BackupHistory history(s_);
  const std::vector<BackupHistory::RunInfo> runs = history.Runs();
  const fs::path bak = s_.hostFolder / U8Path("bak");
  if (runs.empty()) {
    std::vector<std::string> entries;
    ListMatching(bak, "*", Pick::Both, &entries);
    before_ = entries.empty() ? "none" : "unknown";
  } else {
    before_ = runs.back().done.empty() ? "incomplete" : runs.back().done;
  }
  // Before the first run nothing was there to go back to; its record is
  // made at once (a first run cut short is then known as one).
  recording_ = before_ != "none";
  return recording_ ? OpResult::Ok(Action::MakeFolder) : Started();
}

// The run's record, made before its first change to D\bak: a run that
// changes nothing leaves none (D\bak is then the generation it was), and
// evicts no kept generation.
OpResult BackupRun::Started() {
  if (!folder_.empty() || !unrecorded_.ok()) return unrecorded_;
  const BackupHistory history(s_);
  if (!lup::IsFolder(history.Folder())) {
    OpResult made = MakeFolder(history.Folder());
    if (!made.ok()) return unrecorded_ = made;
  }
  // Numbered after every run folder there is, begun or not.
  std::vector<std::string> names;
  ListMatching(history.Folder(), "*", Pick::Folders, &names);
  int last = 0;
  for (const std::string& name : names)
    if (IsRunName(name)) last = std::max(last, ParseDecimal(name).value_or(0));
  const fs::path folder = history.Folder() / Digits(last + 1);
  OpResult made = MakeFolder(folder);
  if (!made.ok()) return unrecorded_ = made;
  OpResult written = Fs().Write(folder / kInfoName, "before=" + before_ + "\r\n");
  if (!written.ok()) {
    Fs().RemoveFolder(folder);
    return unrecorded_ = written;
  }
  folder_ = folder;
  return OpResult::Ok(Action::Write);
}

OpResult BackupRun::NameAdded(const std::vector<std::string>& lines) {
  if (OpResult started = Started(); !started.ok()) return started;
  const fs::path lists = folder_ / kAddedName;
  if (!lup::IsFolder(lists)) {
    OpResult made = MakeFolder(lists);
    if (!made.ok()) return made;
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return Fs().Write(lists / (Digits(++lists_) + ".txt"), text);
}

OpResult BackupRun::MakingFolder(const fs::path& folder) {
  if (!recording_) return OpResult::Ok(Action::MakeFolder);
  return NameAdded({Relative(s_.hostFolder / U8Path("bak"), folder) + "/"});
}

OpResult BackupRun::New(const std::vector<fs::path>& targets) {
  if (!recording_) return OpResult::Ok(Action::Copy);
  std::vector<std::string> lines;
  for (const fs::path& target : targets) lines.push_back(Relative(s_.hostFolder / U8Path("bak"), target));
  return NameAdded(lines);
}

OpResult BackupRun::Replacing(const fs::path& target) {
  if (!recording_) return OpResult::Ok(Action::Copy);
  if (OpResult started = Started(); !started.ok()) return started;
  const fs::path kept = KeptAt(target);
  OpResult r = EnsureFolder(kept.parent_path());
  if (!r.ok()) return r;
  r = Fs().Link(target, kept);
  if (r.error == MakeError(CoreError::AlreadyExists)) return OpResult::Ok(Action::Link);
  // A disk without second names for a file: a copy of it instead.
  if (FileOps::IsNoLink(r)) r = Fs().Copy(target, kept);
  return r;
}

OpResult BackupRun::Removing(const fs::path& target) {
  if (!recording_) return Fs().Delete(target);
  if (OpResult started = Started(); !started.ok()) return started;
  const fs::path kept = KeptAt(target);
  OpResult r = EnsureFolder(kept.parent_path());
  if (!r.ok()) return r;
  r = Fs().Rename(target, kept);
  // Kept already (a run before this one was cut short): it can go.
  if (r.error == MakeError(CoreError::AlreadyExists)) return Fs().Delete(target);
  return r;
}

OpResult BackupRun::Finish() {
  // A run that changed nothing keeps no record: D\bak is the generation
  // it was. Not after a run cut short, whose state this run now makes
  // whole; and the first run keeps one all the same, for its time. It
  // still removes the runs beyond those kept: a run ended after its
  // "done=" and before its own removal left them.
  if (folder_.empty() && recording_ && before_ != "incomplete") {
    Prune();
    return OpResult::Ok(Action::Write);
  }
  if (OpResult started = Started(); !started.ok()) return started;
  OpResult r = Fs().Write(folder_ / kInfoName, "before=" + before_ + "\r\ndone=" + now_() + "\r\n");
  if (r.ok()) Prune();
  return r;
}

// The runs older than the kKeptRuns newest whole generations before a run
// go (a run cut short keeps no generation of its own, so it does not
// count): each renamed first, so that a run half removed is never taken for
// one, then emptied.
void BackupRun::Prune() {
  const BackupHistory history(s_);
  const std::vector<BackupHistory::RunInfo> runs = history.Runs();
  std::size_t oldestKept = 0;
  int whole = 0;
  for (std::size_t i = runs.size(); i-- > 0;) {
    if (IsTime(runs[i].before) || runs[i].before == "unknown") ++whole;
    if (whole == kKeptRuns) {
      oldestKept = i;
      break;
    }
  }
  for (std::size_t i = 0; i < oldestKept; ++i) {
    const fs::path gone = history.Folder() / U8Path("~" + NameText(runs[i].folder.filename()));
    Fs().Rename(runs[i].folder, gone);
  }
  std::vector<std::string> names;
  ListMatching(history.Folder(), "~*", Pick::Folders, &names);
  for (const std::string& name : names) RemoveTree(history.Folder() / U8Path(name));
}

}  // namespace lup
