#include "snacks/snack_window.h"

#include <algorithm>

#include "app/data_hold.h"
#include "app/host_check.h"
#include "base/text.h"
#include "base/unicode.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/listfiles.h"
#include "core/petstore.h"
#include "core/settings.h"

namespace lup::snacks {
namespace fs = std::filesystem;

namespace {

// A failure message names at most this many files, then "ほか N 件".
constexpr std::size_t kMaxListedFailures = 10;

bool IsBlank(char32_t c) { return c == U' ' || c == U'\t' || c == U'\u3000'; }

}  // namespace

std::vector<std::string> SnackListEntries(const fs::path& hostFolder, OpResult* listing) {
  std::vector<std::string> entries, names;
  *listing = ListMatching(hostFolder, std::string("*") + kSnackFolderName, Pick::Both, &names);
  for (const std::string& name : names) {
    const std::size_t underscore = name.find('_');
    if (underscore == std::string::npos) continue;
    std::string pet = name.substr(0, underscore);
    // These would stand for another folder than D\{pet}_おやつ.
    if (pet.empty() || SameEntry(pet, kSharedEntry) || SameEntry(pet, kLiveEntry)) continue;
    // Names that differ only in letter case stand for one folder.
    const auto same = [&](const std::string& e) { return SameEntry(e, pet); };
    if (std::find_if(entries.begin(), entries.end(), same) != entries.end()) continue;
    entries.insert(entries.begin(), std::move(pet));
  }
  if (IsFolder(ResolveSnackFolder(hostFolder, kSharedEntry)))
    entries.insert(entries.begin(), kSharedEntry);
  if (entries.empty()) entries.push_back(kLiveEntry);
  return entries;
}

std::optional<int> ParseCountText(std::string_view text) {
  bool valid = true;
  const std::u32string chars = DecodeUtf8(text, &valid);
  if (!valid) return std::nullopt;
  std::size_t i = 0;
  const std::size_t n = chars.size();
  while (i < n && IsBlank(chars[i])) ++i;
  bool negative = false;
  if (i < n && (chars[i] == U'-' || chars[i] == U'－' || chars[i] == U'−')) {
    negative = true;
    ++i;
  } else if (i < n && (chars[i] == U'+' || chars[i] == U'＋')) {
    ++i;
  }
  long long value = 0;
  int digits = 0;
  for (; i < n; ++i) {
    int d = -1;
    if (chars[i] >= U'0' && chars[i] <= U'9')
      d = static_cast<int>(chars[i] - U'0');
    else if (chars[i] >= U'０' && chars[i] <= U'９')
      d = static_cast<int>(chars[i] - U'０');
    if (d < 0) break;
    ++digits;
    if (value < 1000000) value = value * 10 + d;  // far beyond 65535 is as good as any
  }
  while (i < n && IsBlank(chars[i])) ++i;
  if (digits == 0 || i != n) return std::nullopt;
  if (negative) value = -value;
  if (value == -1) value = kUnlimitedCount;
  if (value > kUnlimitedCount) value = kUnlimitedCount;
  if (value < 0) value = 0;
  return static_cast<int>(value);
}

// ---------------------------------------------------------------------------

SnackWindow::SnackWindow(ui::Host& host, SnackEnv env) : host_(host), env_(std::move(env)) {
  using ui::Rect;
  form_.SetCaption(kTitle);
  form_.SetClientSize(6930, 6945);
  form_.SetBorder(ui::Border::kFixedSingle);
  form_.SetMinButton(true);

  source_ = &form_.AddComboBox("Combo1", Rect{120, 0, 2295, 300}, nullptr, 0);
  form_.AddLabel("Label1", Rect{2520, 60, 1395, 195}).SetCaption("の おやつリスト");
  grid_ = &form_.AddGrid("Grid1", Rect{0, 360, 4215, 6615}, 3);

  auto& del = form_.AddButton("btn_del", Rect{4320, 360, 2535, 375});
  del.SetCaption("捨てる");

  auto& moveFrame = form_.AddFrame("Frame1", Rect{4320, 840, 2535, 1935});
  target_ = &form_.AddComboBox("Combo1", Rect{120, 240, 2295, 300}, &moveFrame, 1);
  form_.AddLabel("Label2", Rect{120, 600, 1590, 195}, &moveFrame).SetCaption("の おやつリストに");
  btnMove_ = &form_.AddButton("btn_move", Rect{120, 960, 2295, 375}, &moveFrame);
  btnMove_->SetCaption("移動");
  btnCopy_ = &form_.AddButton("btn_copy", Rect{120, 1440, 2295, 375}, &moveFrame);
  btnCopy_->SetCaption("コピー");

  auto& unopened = form_.AddButton("btn_new", Rect{4320, 2880, 2535, 375});
  unopened.SetCaption("未開封にする");

  auto& countFrame = form_.AddFrame("Frame2", Rect{4320, 3360, 2535, 1335});
  form_.AddLabel("Label3", Rect{120, 240, 1200, 195}, &countFrame).SetCaption("おやつの数を");
  countBox_ = &form_.AddTextBox("Text1", Rect{1360, 240, 735, 270}, &countFrame);
  form_.AddLabel("Label4", Rect{2160, 240, 210, 195}, &countFrame).SetCaption("に");
  form_.AddLabel("Label5", Rect{1320, 555, 975, 195}, &countFrame).SetCaption("(-1なら∞)");
  btnCnt_ = &form_.AddButton("btn_cnt", Rect{120, 840, 2295, 375}, &countFrame);
  btnCnt_->SetCaption("変更");
  btnCnt_->SetEnabled(false);

  form_.AddLabel("Label6", Rect{4320, 4800, 2535, 615})
      .SetCaption("賞味期限切れのおやつは赤色で表示されます");
  auto& version = form_.AddButton("Command7", Rect{4320, 6000, 2535, 375});
  version.SetCaption("バージョン情報");
  auto& quit = form_.AddButton("Command6", Rect{4320, 6480, 2535, 375});
  quit.SetCaption("終了");

  form_.on_load = [this] { StartUp(); };
  source_->on_select = [this] {
    FillSnackGrid();
    UpdateMoveCopy();
  };
  target_->on_select = [this] { UpdateMoveCopy(); };
  grid_->on_mouse_up = [this](const ui::MouseEvent&) { lastClickedRow_ = grid_->Row(); };
  countBox_->on_change = [this] { btnCnt_->SetEnabled(!countBox_->Text().empty()); };
  btnCnt_->on_click = [this] { SetCount(); };
  btnCopy_->on_click = [this] { CopySnacks(false); };
  btnMove_->on_click = [this] { CopySnacks(true); };
  del.on_click = [this] { Discard(); };
  unopened.on_click = [this] { MakeUnopened(); };
  version.on_click = [this] { ShowVersion(); };
  quit.on_click = [this] { host_.Quit(0); };
}

void SnackWindow::ReportFailures(const std::string& heading,
                                 const std::vector<OpResult>& failures) {
  if (failures.empty()) return;
  std::string text = heading;
  for (std::size_t i = 0; i < failures.size() && i < kMaxListedFailures; ++i)
    text += kCrLf + failures[i].Describe();
  if (failures.size() > kMaxListedFailures)
    text +=
        std::string(kCrLf) + "ほか " + std::to_string(failures.size() - kMaxListedFailures) + " 件";
  say_.Tell(text);
}

// ---- start-up ---------------------------------------------------------------

void SnackWindow::StartUp() {
  hostFolder_ = ReadHostFolder(env_.store, env_.programFolder);
  hostExeName_ = ReadHostExeName(env_.store);
  if (!CheckHost()) return;
  ReadCurrentPet();

  grid_->SetColWidth(0, kNameWidth);
  grid_->SetColWidth(1, 600);
  grid_->SetColWidth(2, 0);
  grid_->SetCell(0, 0, "名前");
  grid_->SetCell(0, 1, "個数");

  BuildLists();
}

bool SnackWindow::CheckHost() {
  if (HostFound(hostFolder_, hostExeName_)) return true;
  OfferLauncherForSettings(host_, env_.processes, env_.programFolder, kTitle, hostFolder_,
                           hostExeName_);
  host_.Quit(0);
  return false;
}

// Whose snacks the live folder holds. Read again before every action: a pet
// may have been called since the window was opened. An unreadable list is
// told once, not at every action.
void SnackWindow::ReadCurrentPet() {
  currentPetName_.clear();
  liveOwner_.reset();
  const LiveSnackOwner owner = ReadLiveSnackOwner(hostFolder_);
  currentPetName_ = owner.pet;
  if (owner.state != LiveSnackOwner::State::kPet && owner.state != LiveSnackOwner::State::kNobody) {
    if (toldUnknownOwner_) return;
    toldUnknownOwner_ = true;
  }
  switch (owner.state) {
    case LiveSnackOwner::State::kNobody:
      return;
    case LiveSnackOwner::State::kPet:
      // The live folder holds the shared snacks when the current pet shares
      // them; otherwise its own.
      liveOwner_ = owner.shared ? std::string(kSharedEntry) : owner.pet;
      return;
    case LiveSnackOwner::State::kCurrentUnknown:
      ownerNote_ = PathText(CurrentPetFile(hostFolder_)) + " を読み取れませんでした" + kCrLf +
                   "ポストペットが今どのペットのおやつを使っているか分からないため、" + kCrLf +
                   "おやつの変更はポストペットのおやつフォルダには反映されません";
      break;
    case LiveSnackOwner::State::kSharesUnknown:
      ownerNote_ = PathText(ShareListFile(hostFolder_)) + " を読み取れませんでした" + kCrLf +
                   "ペットの" + currentPetName_ + "がおやつを共有しているか分からないため、" + kCrLf +
                   "おやつの変更はポストペットのおやつフォルダには反映されません";
      break;
  }
  // Said when nothing of ours waits on it (after an action's work).
  if (!holding_) TellOwnerNote();
}

void SnackWindow::TellOwnerNote() {
  if (ownerNote_.empty()) return;
  say_.Tell(ownerNote_);
  ownerNote_.clear();
}

// An action's work on the files, while no other of our programs changes
// them: whose snacks the live folder holds is read again first (a pet may
// have been called since the window was opened). False, after telling the
// user which program is at work, when the data could not be had.
bool SnackWindow::WithData(const std::function<void()>& work) {
  {
    const DataHold hold(env_.processes, hostFolder_, kSnackFileName, say_);
    if (!hold) return false;
    holding_ = true;
    ReadCurrentPet();
    work();
    holding_ = false;
  }
  TellOwnerNote();
  return true;
}

void SnackWindow::BuildLists() {
  source_->SetVisible(false);
  target_->SetVisible(false);
  source_->Clear();
  target_->Clear();
  OpResult listing;
  for (const std::string& entry : SnackListEntries(hostFolder_, &listing)) {
    source_->AddItem(entry);
    target_->AddItem(entry);
  }
  say_.TellFailure(listing, "ペットのおやつフォルダを一覧にできませんでした");
  source_->SetListIndex(0);
  target_->SetListIndex(0);
  UpdateMoveCopy();
  source_->SetVisible(true);
  target_->SetVisible(true);
}

// ---- the grid ---------------------------------------------------------------

std::string SnackWindow::SourceEntry() const { return source_->SelectedText(); }
std::string SnackWindow::TargetEntry() const { return target_->SelectedText(); }

void SnackWindow::FillSnackGrid() {
  grid_->SetRows(1);
  rowFiles_.clear();
  grid_->SetVisible(false);
  const fs::path folder = ResolveSnackFolder(hostFolder_, SourceEntry());
  grid_->SetColWidth(0, kNameWidth);
  const CivilDate today = env_.today();
  const Listing listing = ListFolder(folder, "*.pac", Pick::Files);
  std::vector<OpResult> unreadable;
  for (const FolderEntry& entry : listing.entries) {
    const fs::path file = folder / U8Path(entry.name);
    const SnackRead read = ReadSnackInfo(file);
    if (!read.ok()) {
      unreadable.push_back(read.error);
      continue;
    }
    const int row = grid_->AddRow();
    rowFiles_.push_back(file);
    if (grid_->Rows() > kScrollRows) grid_->SetColWidth(0, kNameWidthScrolled);
    grid_->SetRow(row);
    grid_->SetCell(row, 0, read.info.name);
    grid_->SetCell(row, 1, SnackCountText(read.info.count));
    if (IsSnackExpired(read.info, today)) {
      grid_->SetCellColour(row, 0, ui::kRed);
      grid_->SetCellColour(row, 1, ui::kRed);
    }
    grid_->SetCell(row, 2, PathText(file));
  }
  grid_->SetVisible(true);
  if (listing.error) {
    say_.Tell(PathText(folder) + " のおやつを一覧にできませんでした（" + ReasonText(listing.error) +
              "）");
  } else {
    ReportFailures("次のおやつファイルを読み取れなかったため、一覧に載せていません", unreadable);
  }
}

void SnackWindow::UpdateMoveCopy() {
  const bool differ = !SameEntry(SourceEntry(), TargetEntry());
  btnMove_->SetEnabled(differ);
  btnCopy_->SetEnabled(differ);
}

bool SnackWindow::HasSnackRows() const { return grid_->Rows() > 1; }

fs::path SnackWindow::RowFile(int row) const {
  if (row < 1 || row > static_cast<int>(rowFiles_.size())) return {};
  return rowFiles_[static_cast<std::size_t>(row - 1)];
}

// ---- the actions ------------------------------------------------------------

std::vector<OpResult> SnackWindow::ChangeSelected(const SnackFolders::FileChange& change,
                                                  const std::function<void(int)>& changed) {
  std::vector<OpResult> failures;
  const SnackFolders folders = Folders();
  const std::string source = SourceEntry();
  for (int row = grid_->FirstSelectedRow(); row <= grid_->LastSelectedRow(); ++row) {
    const fs::path file = RowFile(row);
    if (!file.empty() && folders.Change(file, source, change, &failures) && changed) changed(row);
  }
  return failures;
}

void SnackWindow::SetCount() {
  if (!HasSnackRows()) return;
  const std::optional<int> count = ParseCountText(countBox_->Text());
  if (!count) {
    say_.Tell("おやつの数は整数で入力してください（-1なら∞）" + std::string(kCrLf) + "「" +
              countBox_->Text() + "」は数ではないため、何も変更していません");
    return;
  }
  std::vector<OpResult> failures;
  if (!WithData([&] {
        failures = ChangeSelected([&](const fs::path& f) { return WriteSnackCount(f, *count); },
                                  [&](int row) { grid_->SetCell(row, 1, SnackCountText(*count)); });
      }))
    return;
  if (failures.empty()) return;
  ReportFailures("次のおやつの数を変更できませんでした", failures);
  FillSnackGrid();
}

void SnackWindow::MakeUnopened() {
  if (!HasSnackRows()) return;
  std::vector<OpResult> failures;
  if (!WithData([&] {
        failures = ChangeSelected([](const fs::path& f) { return MarkSnackUnopened(f); },
                                  [&](int row) {
                                    grid_->SetCellColour(row, 0, ui::kWhite);
                                    grid_->SetCellColour(row, 1, ui::kWhite);
                                  });
      }))
    return;
  if (failures.empty()) return;
  ReportFailures("次のおやつを未開封にできませんでした", failures);
  FillSnackGrid();
}

void SnackWindow::CopySnacks(bool move) {
  if (!HasSnackRows()) return;
  const std::string source = SourceEntry(), target = TargetEntry();
  if (SameEntry(source, target)) return;
  const fs::path sourceFolder = ResolveSnackFolder(hostFolder_, source);
  const fs::path targetFolder = ResolveSnackFolder(hostFolder_, target);
  const char* verb = move ? "移動" : "コピー";
  if (targetFolder == sourceFolder) return;
  // The manager never makes folders: a missing target is the user's to fix.
  if (!IsFolder(targetFolder)) {
    say_.Tell(PathText(targetFolder) + " フォルダが見つからないため、おやつを" + verb +
              "できませんでした" + kCrLf + "何も変更していません");
    return;
  }
  std::vector<OpResult> failures;
  if (!WithData([&] {
        const SnackFolders folders = Folders();
        for (int row = grid_->FirstSelectedRow(); row <= grid_->LastSelectedRow(); ++row) {
          const fs::path file = RowFile(row);
          if (!file.empty()) folders.CopyInto(file, source, target, move, &failures);
        }
      }))
    return;
  ReportFailures(std::string("次のおやつを") + verb + "できませんでした" +
                     (move ? "（コピーできなかったおやつは元の場所に残っています）" : ""),
                 failures);
  if (move) {
    AfterRemoval();
  } else if (!failures.empty()) {
    FillSnackGrid();
  }
}

void SnackWindow::Discard() {
  if (!HasSnackRows()) return;
  std::vector<OpResult> failures;
  if (!WithData([&] {
        const SnackFolders folders = Folders();
        const std::string source = SourceEntry();
        for (int row = grid_->FirstSelectedRow(); row <= grid_->LastSelectedRow(); ++row) {
          const fs::path file = RowFile(row);
          if (!file.empty()) folders.Remove(file, source, &failures);
        }
      }))
    return;
  ReportFailures("次のおやつを捨てられませんでした", failures);
  AfterRemoval();
}

void SnackWindow::AfterRemoval() {
  FillSnackGrid();
  UpdateMoveCopy();
  grid_->SetFocus();
  if (lastClickedRow_ >= grid_->Rows()) lastClickedRow_ = grid_->Rows() - 1;
  grid_->SetTopRow(lastClickedRow_);
}

void SnackWindow::ShowVersion() {
  const ui::Messenger box(host_, kVersionBoxTitle, &form_);
  box.Tell(VersionText(kTitle, env_.version), ui::Icon::kNone);
}

}  // namespace lup::snacks
