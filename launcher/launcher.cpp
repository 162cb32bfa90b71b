#include "launcher/launcher.h"

#include <string>
#include <unordered_map>
#include <utility>

#include "core/fileops.h"
#include "core/fssteps.h"
#include "core/hostproc.h"
#include "core/listfiles.h"
#include "core/petname.h"
#include "core/pets.h"
#include "core/text.h"
#include "launcher/dialogs.h"

namespace lup {

namespace {

constexpr const char* kCrLf = "\r\n";
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

std::string VersionText(const VersionNumber& v) {
  return "ルピナ・ヴィラ Ver." + std::to_string(v.major) + "." + std::to_string(v.minor) +
         std::to_string(v.revision);
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
    if (PetRowCount() > 0) CallRow(grid_->Row());
  };

  oneClick_ = &form_.AddCheckBox("Check2", {120, 4440, 1575, 255});
  oneClick_->SetCaption("1クリックで起動");
  oneClick_->SetToolTip("未チェックの場合はダブルクリックで起動します");
  oneClick_->on_click = [this] { settings_.flgOpt1 = oneClick_->Value(); };

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
  form_.on_unload = [this](ui::UnloadReason) { TellFailure(SavePlist()); };
}

void Launcher::Tell(const std::string& text, ui::Icon icon) const {
  ui::Message m;
  m.title = kLauncherTitle;
  m.text = text;
  m.buttons = ui::Buttons::kOk;
  m.icon = icon;
  env_.host.Ask(m, form_.Loaded() ? &form_ : nullptr);
}

bool Launcher::TellFailure(const OpResult& result, const std::string& after) const {
  if (result.ok()) return false;
  Tell(result.Describe() + (after.empty() ? "" : kCrLf + after), ui::Icon::kExclamation);
  return true;
}

bool Launcher::HostRunning() {
  return IsHostRunning(env_.processes.RunningNames(), settings_.ppName);
}

StartOutcome Launcher::Start(std::string_view commandLine) {
  // 1. One launcher at a time; a second one ends without a word.
  if (!env_.firstInstance) return StartOutcome::Ended;

  // 2.-3. Never beside the host: it holds the data we would move.
  settings_.ppName = ReadHostExeName(env_.store);
  if (HostRunning()) {
    Tell(std::string("ポストペットが起動中です") + kCrLf +
             "lupina.exeはポストペット起動中に実行する事は出来ません",
         ui::Icon::kCritical);
    return StartOutcome::Ended;
  }

  // 4. The settings and the current pet.
  LoadReport loaded = LoadSettings(env_.store, env_.programFolder);
  settings_ = std::move(loaded.settings);

  // 5. The grid's columns and headers.
  for (int c = 0; c < kCols; ++c) {
    grid_->SetColWidth(c, c < 5 ? kWidths[c] : 0);
    if (c < 5) grid_->SetCell(0, c, kHeaders[c]);
  }

  // 6. The host must be where the settings say.
  if (!FileExists(settings_.HostExe())) {
    ui::Message m;
    m.title = kLauncherTitle;
    m.text = settings_.ppName + "が見つかりません" + kCrLf + "現在ポストペットのインストール先は" +
             PathText(settings_.ppDir) + "になっています" + kCrLf +
             "詳細設定を変更する場合は「再試行」を押してください";
    m.buttons = ui::Buttons::kRetryCancel;
    m.icon = ui::Icon::kExclamation;
    if (env_.host.Ask(m) == ui::Answer::kRetry) OpenSettingsDialog();
    return StartOutcome::Ended;
  }

  // Problems with \lupina.dat are told only once the host folder is known to
  // be right: a wrong folder is explained by the message above.
  TellFailure(loaded.listFileProblem);
  currentPetUnreadable_ = loaded.currentPetUnreadable;
  if (loaded.currentPetUnreadable) {
    Tell(PathText(CurrentPetFile(settings_.ppDir)) + " から前回呼び出したペットの名前を読み取れませんでした" +
             kCrLf + "どのペットも選択されていないものとして続けます",
         ui::Icon::kExclamation);
  }

  // 7. The special-kind executables, when set, must exist.
  if ((!settings_.ppexe2.empty() && !FileExists(settings_.ppexe2)) ||
      (!settings_.ppexe1.empty() && !FileExists(settings_.ppexe1))) {
    Tell(PathText(settings_.ppexe1) + kCrLf + "または" + kCrLf + PathText(settings_.ppexe2) + kCrLf +
             "は存在しません" + kCrLf + "正しい場所を指定しなおすか" + kCrLf +
             "ノクタ・ミラを使用しない場合は設定欄をクリアしてください",
         ui::Icon::kCritical);
  }

  // 8. The one-click option.
  oneClick_->SetValue(settings_.flgOpt1 != 0 ? 1 : 0);

  // 9. A missing share list is rebuilt with every kind per pet.
  if (!FileExists(ShareListFile(settings_.ppDir))) TellFailure(InitPlist());

  // 10. The pet list.
  const ShareListRead shares = ReadShareList(settings_.ppDir);
  if (!shares.error.ok()) {
    // Showing every pet as per pet would put the host's data away into the
    // wrong copies and, on closing, overwrite the flags.
    TellFailure(shares.error, "共有・非共有の設定が分からないため終了します");
    return StartOutcome::Ended;
  }
  // Each name's flags (the first record of a name counts, as FindShareFlags
  // has it): found at once however many pets there are.
  std::unordered_map<std::string, ShareFlags> flagsOf;
  for (const ShareRecord& record : shares.records) {
    if (record.usable) flagsOf.emplace(record.name, record.flags);
  }
  grid_->SetVisible(false);
  for (const std::string& pet : ListPets(settings_.ppDir, settings_.ppcName)) {
    const int row = grid_->AddRow();
    grid_->SetCell(row, 0, pet);
    const auto flags = flagsOf.find(pet);
    for (int k = 0; k < 4; ++k) {
      const int flag = flags != flagsOf.end() ? flags->second[k] : 0;
      ShowFlag(row, k, flag != 0);
      grid_->SetCell(row, kFirstFlagCol + k, std::to_string(flag));
    }
  }
  grid_->SetVisible(true);

  // 11.-13.
  CountPets();
  ShowStatus();
  PrepareSharedFolder();

  // 14. A pet named on the command line is called at once.
  const std::string name = CommandLinePetName(commandLine);
  if (!name.empty()) return CommandLinePet(name);

  // 15.
  if (PetRowCount() > 0) grid_->SetRow(1);
  env_.host.Show(form_);
  return form_.Loaded() ? StartOutcome::Shown : StartOutcome::Ended;
}

void Launcher::ShowFlag(int row, int kind, bool shared) {
  grid_->SetCell(row, 1 + kind, shared ? "共" : "非");
  grid_->SetCellColour(row, 1 + kind, shared ? kSharedColour : kPerPetColour);
}

void Launcher::CountPets() {
  const int count = PetRowCount();
  const int stored = ReadPetCount(env_.store);
  if (stored != -1 && stored != count) {
    // Pets were registered or deleted since the last start: the host copies
    // no longer belong to a known pet.
    settings_.currentPetName.clear();
    const std::filesystem::path current = CurrentPetFile(settings_.ppDir);
    if (FileExists(current) && TellFailure(Fs().Delete(current))) {
      // The old name is still on disk: keep the old count so that the next
      // start forgets it again.
      return;
    }
  }
  if (stored == -1 || stored != count) TellFailure(WritePetCount(env_.store, count));
}

void Launcher::ShowStatus() {
  status_->SetCaption(settings_.currentPetName.empty()
                          ? std::string("現在どのペットも選択されていません")
                          : "前回呼び出したペットは " + settings_.currentPetName + " です");
}

void Launcher::PrepareSharedFolder() {
  std::vector<std::string> problems;
  const auto note = [&](const OpResult& r) {
    if (!r.ok()) problems.push_back(r.Describe());
  };
  const std::filesystem::path shared = settings_.SharedFolder();
  if (!FolderExists(shared)) note(MakeFolder(shared));
  if (!FileExists(settings_.friendPaths.shared) && FileExists(settings_.friendPaths.host)) {
    note(CopyOneFile(settings_.friendPaths.host, settings_.friendPaths.shared));
  }
  for (const ItemPaths* item : {&settings_.tzPaths, &settings_.jyusinPaths, &settings_.sousinPaths,
                                &settings_.oyatsuPaths}) {
    if (FolderExists(item->shared)) continue;
    const OpResult made = MakeFolder(item->shared);
    note(made);
    if (made.ok()) note(ShellFileOp(item->host / "*.*", item->shared, ShellOp::Copy).result);
  }
  if (problems.empty()) return;
  std::string text = "共有フォルダ " + PathText(shared) + " の準備中に失敗しました";
  for (const std::string& p : problems) text += kCrLf + p;
  Tell(text, ui::Icon::kExclamation);
}

StartOutcome Launcher::CommandLinePet(std::string name) {
  // The name becomes part of a path only when it could be a pet's name, and
  // only the row of exactly that name is called.
  int row = -1;
  if (CheckPetNameShape(name).ok() &&
      FileExists(settings_.ppDir / U8Path(name + "_" + settings_.ppcName))) {
    for (int r = 1; r < grid_->Rows(); ++r) {
      if (grid_->Cell(r, 0) == name) {
        row = r;
        break;
      }
    }
  }
  if (row < 0) {
    Tell(name + "は存在しないペットです", ui::Icon::kCritical);
    return StartOutcome::Ended;
  }
  grid_->SetRow(row);
  CallRow(row);
  return StartOutcome::Called;
}

OpResult Launcher::InitPlist() {
  std::vector<ShareRecord> records;
  for (const std::string& pet : ListPets(settings_.ppDir, settings_.ppcName)) {
    ShareRecord r;
    r.name = pet;
    records.push_back(std::move(r));
  }
  return WriteShareList(settings_.ppDir, records);
}

OpResult Launcher::SavePlist() {
  std::vector<ShareRecord> records;
  for (const PetRow& row : Rows()) {
    ShareRecord r;
    r.name = row.name;
    r.flags = row.flags;
    records.push_back(std::move(r));
  }
  return WriteShareList(settings_.ppDir, records);
}

std::vector<PetRow> Launcher::Rows() const {
  std::vector<PetRow> rows;
  for (int r = 1; r < grid_->Rows(); ++r) {
    PetRow row;
    row.name = grid_->Cell(r, 0);
    for (int k = 0; k < 4; ++k) {
      int flag = 0;
      if (!ParseStoredInt(grid_->Cell(r, kFirstFlagCol + k), &flag)) flag = 0;
      row.flags[k] = flag;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

void Launcher::CallRow(int row) {
  if (called_ || row < 1 || row >= grid_->Rows()) return;
  called_ = true;
  form_.SetEnabled(false);
  env_.host.SetBusy(true);
  grid_->SetVisible(false);
  CallPetContext context{settings_, env_.store, env_.host, &form_, env_.processes, Rows(), row - 1};
  context.currentPetUnreadable = currentPetUnreadable_;
  if (env_.callPet) env_.callPet(context);
  env_.host.SetBusy(false);
  // Whatever the outcome, the launcher ends after a call.
  env_.host.Quit(0);
}

void Launcher::OnGridMouseDown(const ui::MouseEvent& e) {
  if (PetRowCount() < 1 || e.button != ui::MouseButton::kLeft) return;
  const int row = grid_->Row();
  if (e.keys == ui::kCtrlKey) {
    if (row >= 1) OpenShareDialog(row);
    return;
  }
  if (settings_.flgOpt1 != 0) CallRow(row);
}

void Launcher::OpenShareDialog(int row) {
  ShareDialog dialog(*this, row);
  env_.host.ShowModal(dialog.form(), &form_);
}

void Launcher::OpenSettingsDialog() {
  SettingsDialog dialog(settings_, env_.store, env_.host);
  env_.host.ShowModal(dialog.form(), form_.Loaded() ? &form_ : nullptr);
}

void Launcher::ShowVersion() {
  ui::Message m;
  m.title = "ﾊﾞｰｼﾞｮﾝ情報";
  m.text = VersionText(env_.version);
  m.buttons = ui::Buttons::kOk;
  m.icon = ui::Icon::kNone;
  env_.host.Ask(m, &form_);
}

void Launcher::Quit() {
  TellFailure(SaveSettings(settings_, env_.store), "設定を保存できませんでした");
  env_.host.Quit(0);
}

}  // namespace lup
