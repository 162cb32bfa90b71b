// The backup, repair and deletion dialogs.
#include "utility/data_dialogs.h"

#include <functional>

#include "app/data_hold.h"
#include "app/data_messages.h"
#include "base/text.h"
#include "utility/tasks.h"

namespace lup {

namespace {

// Wide enough for the longest line, "チェックを外したアイテムはバックアップされません".
constexpr ui::Twips kWidth = 4335;
constexpr ui::Twips kBoxLeft = 360, kBoxWidth = 3600, kBoxHeight = 300, kBoxStep = 330;
constexpr ui::Rect RunPlace(ui::Twips top) { return {120, top, 1995, 375}; }
constexpr ui::Rect CancelPlace(ui::Twips top) { return {2220, top, 1995, 375}; }

// The captions of the backup's and the repair's boxes, by ItemChoice index.
constexpr const char* kItemCaptions[5] = {"おともだち帳", "送受信簿", "おやつ", "宝物", "PostPet設定.ppc"};
// The boxes from top to bottom, and their tab order after the two buttons.
constexpr int kTopDown[5] = {kPetFileChoice, 0, 1, 2, 3};
constexpr int kTabAfterButtons[5] = {5, 4, 3, 2, 6};  // by ItemChoice index

// The label a repair's error message begins with, by ItemChoice index.
constexpr const char* kRepairLabels[5] = {" おともだち帳", "送受信簿", "おやつ", "宝物", "PostPet設定.ppc"};

// The deletion's boxes, by DataKind.
constexpr const char* kDeleteCaptions[4] = {"おともだち帳を削除する", "送受信簿を削除する", "おやつを削除する",
                                            "宝物を削除する"};

void StartForm(ui::Form& form, ui::Twips height) {
  form.SetClientSize(kWidth, height);
  form.SetBorder(ui::Border::kFixedDialog);
  form.SetShowInTaskbar(false);
}

ui::Label& AddText(ui::Form& form, const char* name, ui::Twips top, const char* caption, int tab) {
  ui::Label& label = form.AddLabel(name, {120, top, kWidth - 240, 255});
  label.SetCaption(caption);
  label.SetTabIndex(tab);
  return label;
}

// "実行" and "キャンセル" side by side; Esc cancels.
ui::Button& AddButtons(ui::Form& form, ui::Twips top, const char* run, ui::Host& host,
                       std::function<void()> onRun, int runTab, int cancelTab) {
  ui::Button& go = form.AddButton("Command1", RunPlace(top));
  go.SetCaption(run);
  go.SetTabIndex(runTab);
  go.on_click = std::move(onRun);
  ui::Button& cancel = form.AddButton("Command2", CancelPlace(top));
  cancel.SetCaption("キャンセル");
  cancel.SetTabIndex(cancelTab);
  cancel.on_click = [&host, &form] { host.Unload(form); };
  form.SetCancelButton(&cancel);
  return go;
}

struct Text {
  const char* name;
  const char* caption;
  int tab;
};

// The backup's and the repair's dialog: two lines of text, the five boxes
// all checked, the run and cancel buttons; "キャンセル" has the focus.
void BuildItemDialog(ui::Form& form, const char* caption, Text first, Text second, const char* run,
                     ui::Host& host, std::function<void()> onRun, ui::CheckBox* (&boxes)[5]) {
  form.SetCaption(caption);
  StartForm(form, 2985);
  AddText(form, first.name, 120, first.caption, first.tab);
  AddText(form, second.name, 420, second.caption, second.tab);
  for (int row = 0; row < 5; ++row) {
    const int i = kTopDown[row];
    boxes[i] = &form.AddCheckBox("Check1", {kBoxLeft, 780 + row * kBoxStep, kBoxWidth, kBoxHeight}, nullptr, i);
    boxes[i]->SetCaption(kItemCaptions[i]);
    boxes[i]->SetValue(1);
    boxes[i]->SetTabIndex(kTabAfterButtons[i]);
  }
  AddButtons(form, 2490, run, host, std::move(onRun), 1, 0);
  form.Get<ui::Button>("Command2").SetFocus();
}

ItemChoice Checked(ui::CheckBox* const (&boxes)[5]) {
  ItemChoice items{};
  for (int i = 0; i < 5; ++i) items[i] = boxes[i]->Value() != 0 && boxes[i]->Enabled();
  return items;
}

}  // namespace

// ---- the backup -------------------------------------------------------------------

BackupDialog::BackupDialog(UtilityEnv& env, UtilityState& state) : DataDialog(env, state, "Form5") {
  BuildItemDialog(form_, "データをバックアップします", {"Label2", "全てのペットのデータをバックアップします", 8},
                  {"Label1", "チェックを外したアイテムはバックアップされません", 7}, "バックアップ実行", env_.host,
                  [this] { Run(); }, boxes_);
  form_.SetDefaultButton(&form_.Get<ui::Button>("Command1"));
}

void BackupDialog::Run() {
  // The host writes the files the backup copies, and the current pet's are
  // saved first.
  if (RefusedWhileHostRuns(env_.processes, state_.settings, say_)) return;
  PetStore::BackupReport report;
  {
    const DataHold hold(env_.processes, state_.settings.hostFolder, kUtilityFileName, say_);
    if (!hold) return;
    form_.SetEnabled(false);
    env_.host.SetBusy(true);
    report = PetStore(state_.settings).BackUp(Checked(boxes_));
    env_.host.SetBusy(false);
  }
  if (!SavedOrTold(report.unsaved, say_)) {
    form_.SetEnabled(true);
    return;
  }
  if (!report.notStarted.ok()) {
    say_.Tell(report.notStarted.Describe() + kCrLf + "今のバックアップを前の世代として残せないため、バックアップしませんでした" +
                  kCrLf + "今のバックアップはそのままです",
              ui::Icon::kCritical);
    form_.SetEnabled(true);
    return;
  }
  std::string text;
  if (!report.sharesUnknown.ok()) {
    text = report.sharesUnknown.Describe() + kCrLf + "どのデータを共有しているか分からないため、" +
           "各ペットのデータはあるものを全てバックアップしました" + kCrLf;
  }
  if (report.ok()) {
    text += std::string("全てのペットのデータをバックアップしました") + kCrLf + "「壊れてしまったデータの修復」で修復できます";
  } else {
    text += "次のデータはバックアップできませんでした" + FailureLines(report.failures) + kCrLf +
            "それ以外のデータはバックアップしました";
  }
  const bool clean = report.ok() && report.sharesUnknown.ok();
  say_.Tell(text, clean ? ui::Icon::kInformation : ui::Icon::kExclamation);
  env_.host.Unload(form_);
}

// ---- the repair -------------------------------------------------------------------

RepairDialog::RepairDialog(UtilityEnv& env, UtilityState& state) : DataDialog(env, state, "Form6") {
  BuildItemDialog(form_, "のデータを修復します", {"Label1", "チェックを外したアイテムは修復されません", 7},
                  {"Label2", "太字は他のペットと共有のアイテムです", 8}, "修復実行", env_.host, [this] { Run(); },
                  boxes_);
  // Which backup: the newest by default, an earlier generation on request,
  // each by its date and time. The buttons move down below the choice.
  constexpr ui::Twips kChoiceTop = 2460, kButtonsTop = 3180;
  AddText(form_, "Label3", kChoiceTop, "修復に使うバックアップ", 10);
  generation_ = &form_.AddComboBox("Combo1", {kBoxLeft, kChoiceTop + 300, kWidth - kBoxLeft - 120, 300});
  generation_->SetTabIndex(9);
  generation_->on_select = [this] { ShowBoxes(); };
  form_.GetControl("Command1").Move(RunPlace(kButtonsTop));
  form_.GetControl("Command2").Move(CancelPlace(kButtonsTop));
  StartForm(form_, kButtonsTop + 495);
  // Enter repairs only from the run button itself.
  form_.SetDefaultButton(&form_.Get<ui::Button>("Command2"));
}

OpResult RepairDialog::CheckData() {
  const std::string& pet = state_.selectedPet;
  const PetStore store(state_.settings);
  const PetStore::FlagsRead read = store.ReadFlags(pet);
  if (!read.error.ok()) return read.error;
  state_.flags = read.flags;
  form_.SetCaption(pet + "のデータを修復します");
  for (int k = 0; k < 4; ++k) boxes_[k]->SetBold(read.flags[k] != 0);
  generations_ = store.BackupGenerations();
  if (generations_.empty()) generations_.push_back({});  // D\bak as it is
  generation_->Clear();
  for (std::size_t g = 0; g < generations_.size(); ++g) generation_->AddItem(GenerationText(generations_[g], g == 0));
  generation_->SetListIndex(0);
  return OpResult::Ok();
}

std::string RepairDialog::GenerationText(const BackupGeneration& g, bool newest) {
  if (!g.whole) return "途中で終わったバックアップ";
  const std::string when = g.when.empty() ? std::string("以前のバックアップ（日時不明）") : g.when;
  return newest ? when + "（最新）" : when;
}

int RepairDialog::Generation() const {
  const int chosen = generation_->ListIndex();
  return chosen < 0 || chosen >= static_cast<int>(generations_.size()) ? 0
                                                                       : generations_[static_cast<std::size_t>(chosen)].undone;
}

// Each box enabled, and checked as it was, when the chosen backup holds
// what it restores; otherwise disabled and unchecked.
void RepairDialog::ShowBoxes() {
  const PetStore store(state_.settings);
  for (int k = 0; k < 4; ++k) {
    ui::CheckBox& box = *boxes_[k];
    const bool there = store.HasBackupFor(state_.selectedPet, state_.flags, k, Generation());
    if (there && !box.Enabled()) box.SetValue(1);
    box.SetEnabled(there);
    if (!there) box.SetValue(0);
  }
}

std::string RepairDialog::ReleasedNote() const {
  const std::string& pet = state_.selectedPet;
  return kCrLf + pet + "はポストペットに入っているペットだったので、そのデータを保存してから修復しました" + kCrLf +
         "次に" + pet + "を呼び出すと、修復したデータが使われます";
}

void RepairDialog::Run() {
  // The repair writes copies that the host may hold open or put away.
  if (RefusedWhileHostRuns(env_.processes, state_.settings, say_)) return;
  PetStore::RepairReport report;
  {
    const DataHold hold(env_.processes, state_.settings.hostFolder, kUtilityFileName, say_);
    if (!hold) return;
    form_.SetEnabled(false);
    env_.host.SetBusy(true);
    report = PetStore(state_.settings).Repair(state_.selectedPet, state_.flags, Checked(boxes_), Generation());
    env_.host.SetBusy(false);
  }
  const std::string note = report.released ? ReleasedNote() : std::string();
  if (!report.ok()) {
    const std::string label = report.failedChoice < 0 ? std::string() : kRepairLabels[report.failedChoice];
    say_.Tell(label + "修復中にエラーが発生しました" + kCrLf + report.failure.Describe() + kCrLf +
              "以降の修復作業は中断されました" + note);
    form_.SetEnabled(true);
    return;
  }
  say_.Tell(state_.selectedPet + "のデータを修復しました" + note, ui::Icon::kInformation);
  env_.host.Unload(form_);
}

// ---- the deletion -----------------------------------------------------------------

DeleteDialog::DeleteDialog(UtilityEnv& env, UtilityState& state) : DataDialog(env, state, "Form4") {
  form_.SetCaption("を削除します");
  StartForm(form_, 2385);
  AddText(form_, "Label1", 120, "チェックを外したアイテムは削除されません", 6);
  for (int k = 0; k < 4; ++k) {
    boxes_[k] = &form_.AddCheckBox("Check1", {kBoxLeft, 480 + k * kBoxStep, kBoxWidth, kBoxHeight}, nullptr, k);
    boxes_[k]->SetCaption(kDeleteCaptions[k]);
    boxes_[k]->SetValue(1);
    boxes_[k]->SetTabIndex(k);
  }
  AddButtons(form_, 1890, "削除実行", env_.host, [this] { Run(); }, 4, 5);
  // The dialog is the only confirmation: Enter never deletes, only the
  // run button itself does.
  form_.SetDefaultButton(&form_.Get<ui::Button>("Command2"));
}

bool DeleteDialog::RefusedMisnamed() {
  const std::string& pet = state_.selectedPet;
  const std::optional<std::string> misnamed = PetStore(state_.settings).MisnamedPetFile(pet);
  if (!misnamed) return false;
  // Deleting her would delete nothing that lists her.
  say_.Tell(MisnamedPetText(*misnamed, pet, state_.settings.petFileName, "を削除できません", "削除してください"),
            ui::Icon::kCritical);
  return true;
}

OpResult DeleteDialog::CheckData() {
  const std::string& pet = state_.selectedPet;
  const PetStore store(state_.settings);
  form_.SetCaption(pet + "を削除します");
  ui::Control* focus = nullptr;
  for (int k = 0; k < 4; ++k) {
    const bool there = store.HasOwnCopy(pet, static_cast<DataKind>(k));
    boxes_[k]->SetEnabled(there);
    if (!there) boxes_[k]->SetValue(0);
    if (there && !focus) focus = boxes_[k];
  }
  (focus ? *focus : form_.GetControl("Command2")).SetFocus();
  return OpResult::Ok();
}

void DeleteDialog::Run() {
  if (RefusedWhileHostRuns(env_.processes, state_.settings, say_)) return;
  const std::string& pet = state_.selectedPet;
  ItemChoice items{};
  for (int k = 0; k < 4; ++k) items[k] = boxes_[k]->Value() != 0 && boxes_[k]->Enabled();
  PetStore::DeletionReport report;
  {
    const DataHold hold(env_.processes, state_.settings.hostFolder, kUtilityFileName, say_);
    if (!hold) return;
    form_.SetEnabled(false);
    report = PetStore(state_.settings).DeletePet(pet, items);
  }
  if (report.stopped) {
    SavedOrTold(report.failures.front(), say_);
    form_.SetEnabled(true);
    return;
  }
  std::string kept;
  if (!report.keptFolders.empty()) {
    kept = kCrLf + std::string("次のフォルダは中にフォルダがあるため残しました");
    for (const auto& folder : report.keptFolders) kept += kCrLf + PathText(folder);
  }
  if (report.failures.empty()) {
    say_.Tell(pet + "を削除しました" + kept, ui::Icon::kInformation);
  } else {
    std::string text = pet + "の削除で、次のデータを削除できませんでした" + FailureLines(report.failures) + kCrLf +
                       "それ以外のデータは削除しました";
    if (report.stillRegistered)
      text += kCrLf + std::string("設定ファイルが残っているため、") + pet + "は登録されたままです";
    say_.Tell(text + kept);
  }
  env_.host.Unload(form_);
}

// ---- the hooks --------------------------------------------------------------------

MoreDialogs DataDialogs(UtilityEnv& env) {
  MoreDialogs more;
  more.backup = [&env](UtilityState& state) { BackupDialog(env, state).Show(); };
  more.repair = [&env](UtilityState& state) {
    RepairDialog dialog(env, state);
    OpResult prepared = dialog.CheckData();
    if (prepared.ok()) dialog.Show();
    return prepared;
  };
  more.remove = [&env](UtilityState& state) {
    DeleteDialog dialog(env, state);
    if (dialog.RefusedMisnamed()) return OpResult::Ok();
    OpResult prepared = dialog.CheckData();
    if (prepared.ok()) dialog.Show();
    return prepared;
  };
  return more;
}

}  // namespace lup
