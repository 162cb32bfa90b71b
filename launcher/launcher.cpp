#include "launcher/launcher.h"

#include <utility>

#include "app/data_hold.h"
#include "app/host_check.h"
#include "base/text.h"
#include "core/fsquery.h"
#include "core/fssteps.h"
#include "core/hostproc.h"
#include "core/listfiles.h"
#include "core/petname.h"
#include "launcher/dialogs.h"

namespace lup {

namespace {

constexpr int kCols = 9;
constexpr int kFirstFlagCol = 5;  // columns 5 to 8 hold the flags as numbers

const char* const kHeaders[5] = {"", "友", "簿", "菓", "宝"};
constexpr ui::Twips kWidths[5] = {2560, 300, 300, 300, 300};

}  // namespace

std::string CommandLinePetName(std::string_view commandLine) {
  std::string text;
  for (char c : commandLine) {
    if (c != '"') text += c;
  }
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.back())) text.pop_back();
  std::size_t start = 0;
  while (start < text.size() && blank(text[start])) ++start;
  return text.substr(start);
}

Launcher::Launcher(LauncherEnv env) : env_(std::move(env)) {
  env_.host.SetAppTitle(kLauncherTitle);
  BuildForm();
}

void Launcher::BuildForm() {
  form_.SetCaption(kLauncherTitle);
  form_.SetClientSize(3855, 5775);
  form_.SetBorder(ui::Border::kFixedSingle);
  form_.SetMinButton(true);

  grid_ = &form_.AddGrid("List1", {0, 0, 3855, 4215}, kCols);
  grid_->SetToolTip("Ctrl+クリックで共有・非共有の設定ができます");
  grid_->on_mouse_down = [this](const ui::MouseEvent& e) { OnGridMouseDown(e); };
  grid_->on_dbl_click = [this] {
    if (!pets_.empty()) CallRow(grid_->Row());
  };

  oneClick_ = &form_.AddCheckBox("Check2", {120, 4440, 1575, 255});
  oneClick_->SetCaption("1クリックで起動");
  oneClick_->SetToolTip("未チェックの場合はダブルクリックで起動します");
  oneClick_->on_click = [this] { settings_.oneClickLaunch = oneClick_->Value(); };

  status_ = &form_.AddLabel("Label1", {120, 4920, 1815, 735});

  auto& details = form_.AddButton("Command2", {2160, 4320, 1575, 375});
  details.SetCaption("詳細設定");
  details.on_click = [this] { OpenSettingsDialog(); };
  auto& version = form_.AddButton("Command3", {2160, 4800, 1575, 375});
  version.SetCaption("バージョン情報");
  version.on_click = [this] { ShowVersion(); };
  auto& quit = form_.AddButton("Command1", {2160, 5280, 1575, 375});
  quit.SetCaption("終了");
  quit.on_click = [this] { Quit(); };

  // The close box keeps the share flags; the settings are kept only by the
  // quit button.
  form_.on_unload = [this](ui::UnloadReason) { say_.TellFailure(SavePlist()); };
}

bool Launcher::HostRunning() {
  return IsHostRunning(env_.processes.RunningNames(), settings_.hostExeName);
}

StartOutcome Launcher::Start(std::string_view commandLine) {
  // One launcher at a time; a second one ends without a word.
  if (!env_.firstInstance) return StartOutcome::Ended;

  // Never beside the host: it holds the data we would move.
  settings_.hostExeName = ReadHostExeName(env_.store);
  if (HostRunning()) {
    say_.Tell(HostRunningText(), ui::Icon::kCritical);
    return StartOutcome::Ended;
  }

  LoadReport loaded = LoadSettings(env_.store, env_.programFolder);
  settings_ = std::move(loaded.settings);
  SetUpColumns();
  if (!HostFound()) return StartOutcome::Ended;
  TellCurrentPetProblems(loaded);
  CheckSpecialExes();
  oneClick_->SetValue(settings_.oneClickLaunch != 0 ? 1 : 0);

  // A missing share list is rebuilt with every kind per pet.
  if (!FileExists(ShareListFile(settings_.hostFolder))) say_.TellFailure(InitPlist());
  if (!FillList()) return StartOutcome::Ended;
  CountPets();
  ShowStatus();
  PrepareSharedFolder();

  // A pet named on the command line is called at once.
  const std::string name = CommandLinePetName(commandLine);
  if (!name.empty()) return CommandLinePet(name);

  if (!pets_.empty()) grid_->SetRow(1);
  env_.host.Show(form_);
  return form_.Loaded() ? StartOutcome::Shown : StartOutcome::Ended;
}

void Launcher::SetUpColumns() {
  for (int c = 0; c < kCols; ++c) {
    grid_->SetColWidth(c, c < 5 ? kWidths[c] : 0);
    if (c < 5) grid_->SetCell(0, c, kHeaders[c]);
  }
}

// The host must be where the settings say; otherwise the user may correct
// the settings, and starts the launcher again to use them.
bool Launcher::HostFound() {
  if (lup::HostFound(settings_.hostFolder, settings_.hostExeName)) return true;
  const ui::Messenger unowned(env_.host, kLauncherTitle);
  const std::string text = HostMissingText(settings_.hostFolder, settings_.hostExeName,
                                           "詳細設定を変更する場合は「再試行」を押してください");
  if (unowned.Ask(text, ui::Buttons::kRetryCancel, ui::Icon::kExclamation) == ui::Answer::kRetry)
    OpenSettingsDialog();
  return false;
}

// Problems with \lupina.dat are told only once the host folder is known to be
// right: a wrong folder is explained by the host check.
void Launcher::TellCurrentPetProblems(const LoadReport& loaded) {
  say_.TellFailure(loaded.listFileProblem);
  currentPetUnreadable_ = loaded.currentPetUnreadable;
  if (!loaded.currentPetUnreadable) return;
  say_.Tell(PathText(CurrentPetFile(settings_.hostFolder)) +
            " から前回呼び出したペットの名前を読み取れませんでした" + kCrLf +
            "どのペットも選択されていないものとして続けます");
}

// The special-kind executables, when set, must exist.
void Launcher::CheckSpecialExes() {
  if ((settings_.patchedHostExe.empty() || FileExists(settings_.patchedHostExe)) &&
      (settings_.ordinaryHostExe.empty() || FileExists(settings_.ordinaryHostExe)))
    return;
  say_.Tell(PathText(settings_.ordinaryHostExe) + kCrLf + "または" + kCrLf +
                PathText(settings_.patchedHostExe) + kCrLf + "は存在しません" + kCrLf +
                "正しい場所を指定しなおすか" + kCrLf +
                "ノクタ・ミラを使用しない場合は設定欄をクリアしてください",
            ui::Icon::kCritical);
}

// The pets and their flags. False when the flags cannot be read: showing
// every pet as per pet would put the host's data away into the wrong copies
// and, on closing, overwrite the flags.
bool Launcher::FillList() {
  PetsRead read = Store().ReadPets();
  if (say_.TellFailure(read.error, "共有・非共有の設定が分からないため終了します")) return false;
  pets_ = std::move(read.pets);
  grid_->SetVisible(false);
  for (std::size_t i = 0; i < pets_.size(); ++i) DrawRow(grid_->AddRow());
  grid_->SetVisible(true);
  return true;
}

// Grid row `row` from its pet: the name, "共" or "非" on its colour for each
// kind, and the flags as numbers in the hidden columns.
void Launcher::DrawRow(int row) {
  const Pet& pet = pets_.at(static_cast<std::size_t>(row - 1));
  grid_->SetCell(row, 0, pet.name);
  for (int kind = 0; kind < 4; ++kind) {
    const bool shared = pet.flags[kind] != 0;
    grid_->SetCell(row, 1 + kind, shared ? "共" : "非");
    grid_->SetCellColour(row, 1 + kind, shared ? kSharedColour : kPerPetColour);
    grid_->SetCell(row, kFirstFlagCol + kind, std::to_string(pet.flags[kind]));
  }
}

void Launcher::CountPets() {
  const int count = static_cast<int>(pets_.size());
  const int stored = ReadPetCount(env_.store);
  if (stored != -1 && stored != count) {
    // Pets were registered or deleted since the last start: from now on the
    // host copies belong to no pet, but what they hold of the current pet is
    // saved first.
    if (!ReleaseCurrent()) {
      // The current pet stays current: keep the old count so that the next
      // start tries again.
      return;
    }
  }
  if (stored == -1 || stored != count) say_.TellFailure(WritePetCount(env_.store, count));
}

bool Launcher::ReleaseCurrent() {
  const std::string current = settings_.currentPetName;
  const DataHold hold(env_.processes, settings_.hostFolder, kLauncherFileName, say_);
  if (!hold) return false;
  const OpResult released = Store().ReleaseCurrent();
  if (!released.ok()) {
    say_.Tell(current + "のデータを保存できなかったため、" + current +
                  "を前回呼び出したペットのままにしておきます" + kCrLf + released.Describe(),
              ui::Icon::kCritical);
    return false;
  }
  // Memory and disk agree: no pet is current.
  settings_.currentPetName.clear();
  if (status_) ShowStatus();
  return true;
}

void Launcher::ShowStatus() {
  status_->SetCaption(settings_.currentPetName.empty()
                          ? std::string("現在どのペットも選択されていません")
                          : "前回呼び出したペットは " + settings_.currentPetName + " です");
}

// D\共有 and the shared copies that are missing, first filled from the host
// copies.
void Launcher::PrepareSharedFolder() {
  const std::vector<OpResult> problems = Store().PrepareSharedCopies();
  if (problems.empty()) return;
  std::string text =
      "共有フォルダ " + PathText(settings_.SharedFolder()) + " の準備中に失敗しました";
  for (const OpResult& p : problems) text += kCrLf + p.Describe();
  say_.Tell(text);
}

StartOutcome Launcher::CommandLinePet(std::string name) {
  // Only a name that could be a pet's is looked up, among the listed pets,
  // as the file system compares names: a shortcut's "mimi" calls Mimi.
  int row = -1;
  if (CheckPetNameShape(name).ok()) {
    for (std::size_t i = 0; i < pets_.size() && row < 0; ++i)
      if (SamePetName(pets_[i].name, name)) row = static_cast<int>(i) + 1;
  }
  if (row < 0) {
    say_.Tell(name + "は存在しないペットです", ui::Icon::kCritical);
    return StartOutcome::Ended;
  }
  grid_->SetRow(row);
  CallRow(row);
  return StartOutcome::Called;
}

OpResult Launcher::InitPlist() { return Store().RebuildShares(); }

OpResult Launcher::SavePlist() { return Store().SaveShares(pets_); }

void Launcher::CallRow(int row) {
  if (called_ || row < 1 || row > static_cast<int>(pets_.size())) return;
  called_ = true;
  form_.SetEnabled(false);
  env_.host.SetBusy(true);
  grid_->SetVisible(false);
  CallPetContext context{settings_, env_.store, env_.host, &form_, env_.processes, pets_, row - 1};
  context.currentPetUnreadable = currentPetUnreadable_;
  if (env_.callPet) env_.callPet(context);
  env_.host.SetBusy(false);
  // Whatever the outcome, the launcher ends after a call.
  env_.host.Quit(0);
}

void Launcher::OnGridMouseDown(const ui::MouseEvent& e) {
  if (pets_.empty() || e.button != ui::MouseButton::kLeft) return;
  const int row = grid_->Row();
  if (e.keys == ui::kCtrlKey) {
    if (row >= 1) OpenShareDialog(row);
    return;
  }
  if (settings_.oneClickLaunch != 0) CallRow(row);
}

void Launcher::OpenShareDialog(int row) {
  ShareDialog dialog(
      env_.host, Store(), row, pets_.at(static_cast<std::size_t>(row - 1)),
      [this] { return ReleaseCurrent(); },
      [this](int r, const ShareFlags& flags) { ApplyShareFlags(r, flags); });
  env_.host.ShowModal(dialog.form(), &form_);
}

// The share dialog's OK: the row and the list file take the new flags (the
// current pet was saved and forgotten before the first change).
void Launcher::ApplyShareFlags(int row, const ShareFlags& flags) {
  if (row < 1 || row > static_cast<int>(pets_.size())) return;
  pets_[static_cast<std::size_t>(row - 1)].flags = flags;
  grid_->SetRow(row);
  DrawRow(row);
  say_.TellFailure(SavePlist());
}

void Launcher::OpenSettingsDialog() {
  SettingsDialog dialog(settings_, env_.store, env_.host);
  env_.host.ShowModal(dialog.form(), form_.Loaded() ? &form_ : nullptr);
}

void Launcher::ShowVersion() {
  const ui::Messenger box(env_.host, kVersionBoxTitle, &form_);
  box.Tell(VersionText(kLauncherTitle, env_.version), ui::Icon::kNone);
}

void Launcher::Quit() {
  say_.TellFailure(SaveSettings(settings_, env_.store), "設定を保存できませんでした");
  env_.host.Quit(0);
}

}  // namespace lup
