// Registering pets: the two flows and the pet-name dialog.
#include "utility/register.h"

#include "base/text.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/petname.h"
#include "utility/tasks.h"

namespace lup {

namespace fs = std::filesystem;

namespace {

constexpr int kPauseMs = 3000;

struct TakeOverQuestion {
  DataKind kind;
  const char* firstLine;
};
constexpr TakeOverQuestion kTakeOvers[] = {
    {kFriendBook, "現在のおともだち帳を引き継ぎますか？"},
    {kTreasureBox, "現在の宝箱を引き継ぎますか？"},
    {kSendReceiveLog, "現在の送受信簿を引き継ぎますか？"},
    {kSnacks, "現在のおやつを引き継ぎますか？"},
};

}  // namespace

// ---- the pet-name dialog ---------------------------------------------------------

PetNameDialog::PetNameDialog(ui::Host& host, const Settings& settings, std::string prompt,
                             fs::path source, bool newPet)
    : host_(host), store_(settings), source_(std::move(source)), newPet_(newPet) {
  form_.SetCaption("");
  form_.SetClientSize(4710, 510);
  form_.SetBorder(ui::Border::kFixedDialog);
  form_.SetShowInTaskbar(false);
  form_.AddLabel("Label1", {0, 0, 4620, 180}).SetCaption(prompt);
  text_ = &form_.AddTextBox("Text1", {0, 240, 3735, 270});
  auto& ok = form_.AddButton("Command1", {3840, 240, 855, 255});
  ok.SetCaption("OK");
  ok.SetEnabled(false);
  ok.on_click = [this] { Ok(); };
  form_.SetDefaultButton(&ok);
  text_->on_change = [this, &ok] { ok.SetEnabled(!text_->Text().empty()); };
  timer_ = &form_.AddTimer("Timer1", kPauseMs, false);
  timer_->on_tick = [this] {
    timer_->SetEnabled(false);
    waiting_ = false;
  };
}

// The name becomes part of file names: it is checked before anything is
// written, and a registered pet is overwritten only when the user says so.
bool PetNameDialog::NameAccepted(const std::string& name) {
  const PetNameCheck check = CheckPetName(name, store_.settings());
  if (!check.ok()) {
    say_.Tell(check.Reason() + kCrLf + "別の名前を入力してください");
    return false;
  }
  if (!store_.IsRegistered(name)) return true;
  const std::string question =
      name + "はすでに登録されています" + kCrLf + PathText(store_.settings().PetCopy(name, Item::kPetFile)) +
      " とそのバックアップを上書きしてもよろしいですか？";
  return say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kExclamation, 1) == ui::Answer::kYes;
}

// Gives the host a moment to finish writing its files.
void PetNameDialog::Pause() {
  host_.SetBusy(true);
  form_.Hide();
  waiting_ = true;
  timer_->SetEnabled(true);
  while (waiting_ && !host_.Ending()) host_.DoEvents();
}

void PetNameDialog::Ok() {
  const std::string name = StoredPetName(text_->Text());
  if (!NameAccepted(name)) return;
  name_ = name;
  Pause();
  const PetStore::Registration r = store_.RegisterPet(name_, source_);
  host_.SetBusy(false);
  if (!r.petFile.ok()) {
    outcome_ = Outcome::kFailed;
    say_.Tell(r.petFile.Describe() + kCrLf + name_ + "を登録できませんでした", ui::Icon::kCritical);
    host_.Unload(form_);
    return;
  }
  outcome_ = Outcome::kRegistered;
  std::vector<OpResult> failures;
  if (!newPet_) TakeOver(&failures);
  Report(r, failures);
  host_.Unload(form_);
}

// The data in the folder of the registered file, kind by kind on request.
void PetNameDialog::TakeOver(std::vector<OpResult>* failures) {
  const fs::path from = source_.parent_path();
  for (const TakeOverQuestion& q : kTakeOvers) {
    const std::string question =
        std::string(q.firstLine) + kCrLf + "「いいえ」を選択すると、起動時に新規作成されます(非共有時)";
    if (say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kQuestion) != ui::Answer::kYes) continue;
    for (const PetStore::TakeOver& t : store_.TakeOverKind(name_, q.kind, from)) {
      switch (t.end) {
        case PetStore::TakeOverEnd::kAlreadyThere:
          say_.Tell(PathText(t.path) + "が既に存在しています" + kCrLf + "引き継ぎはせずに先に進みます");
          break;
        case PetStore::TakeOverEnd::kSourceMissing:
          say_.Tell(PathText(t.path) + "が見つかりません" + kCrLf + "引き継ぎはせずに先に進みます");
          break;
        case PetStore::TakeOverEnd::kFailed:
          failures->push_back(t.failure);
          break;
        case PetStore::TakeOverEnd::kCopied:
          break;
      }
    }
  }
}

// Success is said only when the settings file and its backup were written;
// whatever failed is named.
void PetNameDialog::Report(const PetStore::Registration& r, const std::vector<OpResult>& failures) {
  const std::string notTaken = failures.empty() ? std::string()
                                                : kCrLf + std::string("次のデータは引き継げませんでした") + FailureLines(failures);
  if (!r.backup.ok()) {
    say_.Tell(name_ + "の設定ファイルは " + PathText(store_.settings().PetCopy(name_, Item::kPetFile)) +
              " に書き込みましたが、バックアップを作成できませんでした" + kCrLf + r.backup.Describe() + notTaken);
    return;
  }
  say_.Tell(name_ + "をルピナ・ヴィラに登録しました" + notTaken,
            failures.empty() ? ui::Icon::kInformation : ui::Icon::kExclamation);
}

// ---- the two ways ---------------------------------------------------------------

Registrar::Registrar(UtilityEnv& env, const Settings& settings, ui::Form& menu)
    : env_(env), s_(settings), menu_(menu), store_(settings), say_(env.host, kUtilityTitle, &menu) {}

// The host holds the files that registering renames and copies.
bool Registrar::HostRunning() { return RefusedWhileHostRuns(env_.processes, s_, say_); }

// A set-aside file left by an interrupted run is the settings file of the
// pet the host held: it is given back, never deleted.
bool Registrar::GiveBackLeftover() {
  const fs::path aside = store_.SetAsideFile();
  if (!FileExists(aside)) return true;
  const fs::path host = s_.petFilePaths.host;
  if (FileExists(host)) {
    say_.Tell("前回の新しいペットの作成が途中で終わっています" + std::string(kCrLf) + PathText(aside) +
              " は元の設定ファイル、" + kCrLf + PathText(host) + " は作成されたペットの設定ファイルです" +
              kCrLf + "どちらかを別の場所に移してから、もう一度実行してください");
    return false;
  }
  return !say_.TellFailure(store_.GiveBackHostPetFile());
}

std::optional<fs::path> Registrar::ChooseProgram(bool patched) {
  const bool keptPatched = !s_.patchedHostExe.empty() && FileExists(s_.patchedHostExe);
  if (!patched) return keptPatched ? s_.ordinaryHostExe : s_.HostExe();
  if (keptPatched) return s_.patchedHostExe;
  say_.Tell("ノクタ・ミラ用に書き換えたPostPetプログラムを選択してください。", ui::Icon::kNone);
  ui::OpenFileRequest request;
  request.title = "ノクタ・ミラ用に書き換えたPostPetプログラムを選択";
  request.filters = {{"プログラム", "*.exe"}};
  request.initial_folder = s_.hostFolder;
  request.owner = &menu_;
  fs::path chosen = env_.host.ChooseOpenFile(request);
  if (chosen.empty()) return std::nullopt;
  return chosen;
}

// Starts the host and waits for it to end. The menu stays painted but takes
// no input meanwhile: it must not start a second registration or end the
// utility while the host's settings file is set aside.
bool Registrar::RunAndWait(const fs::path& program) {
  StartRequest request;
  request.program = program;
  request.workingFolder = s_.hostFolder;
  request.show = ShowState::NormalFocus;
  StartResult started = env_.processes.Start(request);
  if (!started.ok) {
    say_.Tell(PathText(program) + " を起動できませんでした" + kCrLf + started.errorText, ui::Icon::kCritical);
    return false;
  }
  menu_.SetEnabled(false);
  env_.processes.Wait(started.process, [this] { env_.host.DoEvents(); });
  menu_.SetEnabled(true);
  return true;
}

// The pet-name dialog until a pet is registered, its registration failed,
// or the user confirms that the new pet is not wanted.
PetNameDialog::Outcome Registrar::NameNewPet(std::string* name) {
  for (;;) {
    PetNameDialog dialog(env_.host, s_, "新しいペットの名前を入力してください", s_.petFilePaths.host, true);
    env_.host.ShowModal(dialog.form());
    if (env_.host.Ending()) return PetNameDialog::Outcome::kClosed;
    *name = dialog.petName();
    if (dialog.outcome() != PetNameDialog::Outcome::kClosed) return dialog.outcome();
    const std::string question = std::string("新しいペットを登録せずに終了しますか？") + kCrLf +
                                 "登録しないと、作成したペットは失われます";
    if (say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kExclamation, 1) == ui::Answer::kYes) {
      return PetNameDialog::Outcome::kClosed;
    }
  }
}

void Registrar::Cancelled() {
  say_.TellFailure(store_.GiveBackHostPetFile());
  say_.Tell("ペットの新規作成がキャンセルされました", ui::Icon::kCritical);
}

void Registrar::NewPet() {
  // The current pet's data is put away before the host runs: while it makes
  // a new pet, the host may change what it holds.
  if (HostRunning() || !GiveBackLeftover() || !Saved(store_.SaveCurrent())) return;
  // Without its settings file the host makes a new pet.
  if (say_.TellFailure(store_.SetAsideHostPetFile(), "新しいペットの作成を中止しました")) return;
  const bool patched = say_.Ask("新しく作成するペットはノクタ・ミラですか？", ui::Buttons::kYesNo,
                                ui::Icon::kNone, 1) == ui::Answer::kYes;
  const std::optional<fs::path> program = ChooseProgram(patched);
  if (!program || !RunAndWait(*program) || !FileExists(s_.petFilePaths.host)) {
    Cancelled();
    return;
  }
  std::string name;
  const PetNameDialog::Outcome outcome = NameNewPet(&name);
  if (env_.host.Ending()) return;
  if (outcome == PetNameDialog::Outcome::kFailed) {
    say_.Tell("新しいペットの設定ファイルは " + PathText(s_.petFilePaths.host) + " に、" + kCrLf +
              "元の設定ファイルは " + PathText(store_.SetAsideFile()) + " に残してあります");
    return;
  }
  // The new pet lives in its own copy now (or was not wanted): the host's
  // own settings file comes back.
  if (say_.TellFailure(Fs().Delete(s_.petFilePaths.host))) return;
  if (say_.TellFailure(store_.GiveBackHostPetFile())) return;
  if (outcome == PetNameDialog::Outcome::kRegistered) say_.TellFailure(store_.ForgetCurrent());
  if (outcome != PetNameDialog::Outcome::kRegistered) {
    say_.Tell("ペットの新規作成がキャンセルされました", ui::Icon::kCritical);
    return;
  }
  if (patched) {
    say_.Tell("ルピナ・ヴィラの詳細設定のノクタ・ミラ用設定で" + std::string(kCrLf) + "「" + name + "」" +
                  "のチェックをオンにしてください",
              ui::Icon::kInformation);
  }
}

void Registrar::CurrentPet() {
  if (HostRunning()) return;
  ui::OpenFileRequest request;
  request.title = "変換する" + s_.petFileName + "を選択";
  request.filters = {{s_.petFileName, s_.petFileName}};
  request.initial_folder = s_.hostFolder;
  request.owner = &menu_;
  const fs::path chosen = env_.host.ChooseOpenFile(request);
  if (chosen.empty()) return;
  PetNameDialog dialog(env_.host, s_, "ペットの名前を入力してください", chosen, false);
  env_.host.ShowModal(dialog.form());
  // The pet the host holds now is put away before the programs forget her.
  if (dialog.outcome() == PetNameDialog::Outcome::kRegistered) Saved(store_.ReleaseCurrent());
}

// Tells a failed put-away of the current pet; true when it succeeded.
bool Registrar::Saved(const OpResult& saved) { return SavedOrTold(saved, say_); }

}  // namespace lup
