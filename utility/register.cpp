// Registering pets: the two flows and the pet-name dialog.
#include "utility/register.h"

#include "app/data_hold.h"
#include "base/text.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "core/listfiles.h"
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

PetNameDialog::PetNameDialog(ui::Host& host, ProcessSystem& processes, const Settings& settings,
                             std::string prompt, fs::path source, bool newPet)
    : host_(host), processes_(processes), store_(settings), source_(std::move(source)), newPet_(newPet) {
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
// A name the file system takes for a registered pet's ("mimi" for "Mimi")
// is that pet, and keeps her spelling. nullopt when the name is not taken.
std::optional<std::string> PetNameDialog::NameAccepted(const std::string& typed) {
  const PetNameCheck check = CheckPetName(typed, store_.settings());
  if (!check.ok()) {
    say_.Tell(check.Reason() + kCrLf + "別の名前を入力してください");
    return std::nullopt;
  }
  const std::optional<std::string> registered = store_.RegisteredName(typed);
  if (!registered) return typed;
  const std::string& name = *registered;
  const std::string question =
      name + "はすでに登録されています" + kCrLf + PathText(store_.settings().PetCopy(name, Item::kPetFile)) +
      " とそのバックアップを上書きしてもよろしいですか？";
  if (say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kExclamation, 1) != ui::Answer::kYes) return std::nullopt;
  return name;
}

// Gives the host a moment to finish writing its files.
void PetNameDialog::Pause() {
  host_.SetBusy(true);
  form_.Hide();
  waiting_ = true;
  timer_->SetEnabled(true);
  while (waiting_ && !host_.Ending()) host_.DoEvents();
}

// The registration is one piece of work, while no other of our programs
// changes the data: the take-over questions are asked before it, their
// copies made within it, and what they met is said after it.
void PetNameDialog::Ok() {
  const std::optional<std::string> name = NameAccepted(StoredPetName(text_->Text()));
  if (!name) return;
  const std::vector<DataKind> kinds = newPet_ ? std::vector<DataKind>() : AskTakeOver();
  const DataHold hold(processes_, store_.settings().hostFolder, kUtilityFileName, say_);
  if (!hold) return;  // told; the dialog stays for another try
  name_ = *name;
  Pause();
  // The pet the host holds is put away and forgotten before the new file
  // is written: done afterwards, the put-away would bring the host's old
  // settings file back over it.
  if (!newPet_) {
    const OpResult released = store_.ReleaseCurrent();
    if (!released.ok()) {
      host_.SetBusy(false);
      SavedOrTold(released, say_);
      host_.Unload(form_);
      return;
    }
  }
  const PetStore::Registration r = store_.RegisterPet(name_, source_);
  std::vector<PetStore::TakeOver> taken;
  if (r.petFile.ok()) {
    const fs::path from = source_.parent_path();
    for (DataKind kind : kinds)
      for (PetStore::TakeOver& t : store_.TakeOverKind(name_, kind, from)) taken.push_back(std::move(t));
  }
  host_.SetBusy(false);
  if (!r.petFile.ok()) {
    outcome_ = Outcome::kFailed;
    say_.Tell(r.petFile.Describe() + kCrLf + name_ + "を登録できませんでした", ui::Icon::kCritical);
    host_.Unload(form_);
    return;
  }
  outcome_ = Outcome::kRegistered;
  std::vector<OpResult> failures;
  TellTakenOver(taken, &failures);
  Report(r, failures);
  host_.Unload(form_);
}

// Which kinds the pet takes over from the folder of the registered file.
std::vector<DataKind> PetNameDialog::AskTakeOver() {
  std::vector<DataKind> kinds;
  for (const TakeOverQuestion& q : kTakeOvers) {
    const std::string question =
        std::string(q.firstLine) + kCrLf + "「いいえ」を選択すると、起動時に新規作成されます(非共有時)";
    if (say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kQuestion) == ui::Answer::kYes) kinds.push_back(q.kind);
  }
  return kinds;
}

// What the take-over met, item by item; the copies that failed are added.
void PetNameDialog::TellTakenOver(const std::vector<PetStore::TakeOver>& taken, std::vector<OpResult>* failures) {
  for (const PetStore::TakeOver& t : taken) {
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

// What a settings file is, for the message about a new-pet creation that
// did not end: the registered pets whose own file holds the same bytes.
std::string SameAs(const std::vector<std::string>& pets) {
  if (pets.empty()) return "（登録されたどのペットの設定ファイルとも違う内容です）";
  std::string names;
  for (const std::string& pet : pets) names += (names.empty() ? "" : "、") + pet;
  return "（" + names + "の設定ファイルと同じ内容です）";
}

// A set-aside file left by a new-pet creation that did not end is the
// settings file of the pet the host held before: given back only when no
// pet is current, never deleted. When the host holds a settings file too
// and no pet is current, it is the pet the host made then: the user may
// name it now.
Registrar::Leftover Registrar::LookAtLeftover() {
  std::optional<DataHold> hold;
  hold.emplace(env_.processes, s_.hostFolder, kUtilityFileName, say_);
  if (!*hold) return Leftover::kStop;
  const PetStore::SetAsideLeft left = store_.LookAtSetAside();
  if (left.state != PetStore::SetAsideLeft::State::kGiveBack &&
      !(left.state == PetStore::SetAsideLeft::State::kUnfinished && !left.hostMatches.empty()))
    hold.reset();  // what follows asks the user
  const fs::path aside = store_.SetAsideFile();
  const fs::path host = s_.petFilePaths.host;
  const std::string heading = "前回の新しいペットの作成が途中で終わっています";
  const std::string asideIs = PathText(aside) + " は、その前にポストペットに入っていたペットの設定ファイルです" +
                              SameAs(left.asideMatches);
  switch (left.state) {
    case PetStore::SetAsideLeft::State::kNone:
      return Leftover::kNone;
    case PetStore::SetAsideLeft::State::kGiveBack:
      return say_.TellFailure(store_.GiveBackHostPetFile()) ? Leftover::kStop : Leftover::kNone;
    case PetStore::SetAsideLeft::State::kUnfinished: {
      if (!left.hostMatches.empty()) {
        // She was registered before the creation was cut off: only the
        // host's own settings file is still to come back.
        if (say_.TellFailure(Fs().Delete(host)) || say_.TellFailure(store_.GiveBackHostPetFile()))
          return Leftover::kStop;
        say_.Tell(heading + kCrLf + left.hostMatches.front() + "は登録されていたので、作成を最後まで終えました",
                  ui::Icon::kInformation);
        return Leftover::kStop;
      }
      const std::string question = heading + kCrLf + PathText(host) + " は、そのときポストペットが作成したペットの設定ファイルです" +
                                   SameAs(left.hostMatches) + kCrLf + asideIs + kCrLf + kCrLf +
                                   "作成されたペットを今登録しますか？" + kCrLf +
                                   "「いいえ」を押すと、何も変更せずに終わります";
      return say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kExclamation) == ui::Answer::kYes ? Leftover::kResume
                                                                                               : Leftover::kStop;
    }
    case PetStore::SetAsideLeft::State::kUnsafe:
      break;
  }
  const std::string holder = left.currentUnknown ? std::string("ペット（") + PathText(CurrentPetFile(s_.hostFolder)) +
                                                       " を読み込めないため、どのペットか分かりません）"
                                                 : left.current;
  std::string text = heading + kCrLf + asideIs + kCrLf;
  if (FileExists(host))
    text += PathText(host) + " は、今ポストペットに入っている" + holder + "の設定ファイルです" + kCrLf;
  text += "今ポストペットに入っているペットのデータとして保存されないよう、" + PathText(aside) +
          " を別の場所に移してから、もう一度実行してください";
  say_.Tell(text, ui::Icon::kExclamation);
  return Leftover::kStop;
}

// \lupina.dat that cannot be read may name the pet the host holds: her
// data is not saved, and the host may change it while it makes a new pet.
bool Registrar::GoOnWithoutSaving() {
  if (ReadCurrentPet(s_.hostFolder).state != CurrentPetRead::State::Unreadable) return true;
  const std::string question = PathText(CurrentPetFile(s_.hostFolder)) +
                               "を読み込めないため、ポストペットが今どのペットのデータを持っているか分かりません" + kCrLf +
                               "そのデータは保存されずに残ります。新しいペットを作成しますか？";
  return say_.Ask(question, ui::Buttons::kYesNo, ui::Icon::kExclamation, 1) == ui::Answer::kYes;
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
    PetNameDialog dialog(env_.host, env_.processes, s_, "新しいペットの名前を入力してください", s_.petFilePaths.host, true);
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

// No new pet was made: the host's settings file comes back and, when that
// restores what the host held, so does the record of its pet. (Given back
// by a call meanwhile, the file is no longer set aside, and the record the
// call wrote stays.)
void Registrar::Cancelled() {
  const DataHold hold(env_.processes, s_.hostFolder, kUtilityFileName, say_);
  if (!hold) return;  // the next try gives the file back
  const bool setAside = FileExists(store_.SetAsideFile());
  const OpResult back = store_.GiveBackHostPetFile();
  say_.TellFailure(back);
  const CurrentPetRead now = ReadCurrentPet(s_.hostFolder);
  const bool nobody = now.state == CurrentPetRead::State::Missing ||
                      (now.state == CurrentPetRead::State::Ok && now.name.empty());
  const bool givenBackMeanwhile = setAsideByUs_ && !setAside;
  if (back.ok() && nobody && !givenBackMeanwhile && !released_.empty())
    say_.TellFailure(store_.RecordCurrent(released_));
  say_.Tell("ペットの新規作成がキャンセルされました", ui::Icon::kCritical);
}

void Registrar::NewPet() {
  if (HostRunning()) return;
  const Leftover leftover = LookAtLeftover();
  if (leftover == Leftover::kStop) return;
  if (leftover == Leftover::kResume) {
    NameAndFinish(false);
    return;
  }
  if (!GoOnWithoutSaving()) return;
  {
    // The pet the host holds is put away and forgotten before the host runs:
    // while it makes a new pet the host changes its files, and until the new
    // pet is registered no call may put them away under anyone's name.
    const DataHold hold(env_.processes, s_.hostFolder, kUtilityFileName, say_);
    if (!hold) return;
    const CurrentPetRead before = ReadCurrentPet(s_.hostFolder);
    if (!Saved(store_.ReleaseCurrent())) return;
    released_ = before.state == CurrentPetRead::State::Ok ? before.name : std::string();
    // Without its settings file the host makes a new pet.
    setAsideByUs_ = FileExists(s_.petFilePaths.host);
    if (say_.TellFailure(store_.SetAsideHostPetFile(), "新しいペットの作成を中止しました")) {
      if (!released_.empty()) say_.TellFailure(store_.RecordCurrent(released_));
      return;
    }
  }
  const bool patched = say_.Ask("新しく作成するペットはノクタ・ミラですか？", ui::Buttons::kYesNo,
                                ui::Icon::kNone, 1) == ui::Answer::kYes;
  const std::optional<fs::path> program = ChooseProgram(patched);
  if (!program || !RunAndWait(*program) || !FileExists(s_.petFilePaths.host)) {
    Cancelled();
    return;
  }
  NameAndFinish(patched);
}

// The host has made a new pet (its settings file is D\ppc_name, the file it
// held before is set aside): she is named and registered, then the host's
// own settings file comes back. Ended or failed on the way, the set-aside
// state stays for the next try, and no pet is current meanwhile.
void Registrar::NameAndFinish(bool patched) {
  std::string name;
  const PetNameDialog::Outcome outcome = NameNewPet(&name);
  if (env_.host.Ending()) return;
  if (outcome == PetNameDialog::Outcome::kFailed) {
    say_.Tell("新しいペットの設定ファイルは " + PathText(s_.petFilePaths.host) + " に、" + kCrLf +
              "元の設定ファイルは " + PathText(store_.SetAsideFile()) + " に残してあります");
    return;
  }
  {
    // The new pet lives in its own copy now (or was not wanted): the host's
    // own settings file comes back.
    const DataHold hold(env_.processes, s_.hostFolder, kUtilityFileName, say_);
    if (!hold) {
      if (outcome == PetNameDialog::Outcome::kRegistered)
        say_.Tell(name + "は登録しました" + kCrLf + "作成を終えるには、もう一度「新しいペットを飼う」を押してください",
                  ui::Icon::kInformation);
      return;
    }
    if (say_.TellFailure(Fs().Delete(s_.petFilePaths.host))) return;
    if (say_.TellFailure(store_.GiveBackHostPetFile())) return;
    say_.TellFailure(store_.ForgetCurrent());
  }
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
  // The pet the host holds now is put away and forgotten as the dialog
  // registers the new one.
  PetNameDialog dialog(env_.host, env_.processes, s_, "ペットの名前を入力してください", chosen, false);
  env_.host.ShowModal(dialog.form());
}

// Tells a failed put-away of the current pet; true when it succeeded.
bool Registrar::Saved(const OpResult& saved) { return SavedOrTold(saved, say_); }

}  // namespace lup
