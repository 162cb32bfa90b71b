// The pet selection dialog, the per-pet shortcut and emptying a treasure box.
#include "utility/select.h"

#include "app/box_source.h"
#include "app/data_hold.h"
#include "base/text.h"
#include "core/fsquery.h"
#include "core/shortcut.h"
#include "platform/shell.h"
#include "utility/tasks.h"

namespace lup {

namespace fs = std::filesystem;

namespace {

constexpr const char* kRepairCaption = "修復するペットの選択";
constexpr const char* kDeleteCaption = "削除するペットの選択";
constexpr const char* kShortcutCaption = "スイッチに指定するペットの選択";
constexpr const char* kTreasureCaption = "宝箱を空にするペットの選択";

}  // namespace

ui::IconChoice IconChooserStart(const fs::path& iconFile) {
  if (IsArchiveOnlyFile(iconFile)) return {iconFile, 0};
  return {SystemFolder() / U8Path("SHELL32.DLL"), 0};
}

PetSelectDialog::PetSelectDialog(UtilityEnv& env, UtilityState& state) : env_(env), state_(state) {
  form_.SetClientSize(2655, 5235);
  form_.SetBorder(ui::Border::kFixedDialog);
  form_.SetShowInTaskbar(false);
  list_ = &form_.AddListBox("List1", {0, 0, 2655, 4740});
  list_->on_select = [this] { Pick(); };
  auto& cancel = form_.AddButton("Command1", {120, 4800, 2415, 375});
  cancel.SetCaption("キャンセル");
  cancel.on_click = [this] { env_.host.Unload(form_); };
  form_.SetCancelButton(&cancel);
}

void PetSelectDialog::SetForm(SelectionTask task) {
  task_ = task;
  list_->Clear();
  list_->SetVisible(false);
  const PetStore store(state_.settings);
  std::vector<std::string> pets;
  OpResult listed;
  switch (task) {
    case SelectionTask::kRepair:
      form_.SetCaption(kRepairCaption);
      listed = store.BackedUpPetNames(&pets);
      break;
    case SelectionTask::kDelete:
      form_.SetCaption(kDeleteCaption);
      listed = store.PetNames(&pets);
      break;
    case SelectionTask::kTreasure:
      form_.SetCaption(kTreasureCaption);
      listed = store.PetNames(&pets);
      break;
    default:
      form_.SetCaption(kShortcutCaption);
      listed = store.PetNames(&pets);
      break;
  }
  say_.TellFailure(listed, "ペットの一覧を作れませんでした");
  for (const std::string& pet : pets) list_->AddItem(pet);
  list_->SetVisible(true);
}

void PetSelectDialog::ShowAndRun() {
  picked_ = false;
  env_.host.ShowModal(form_);
  if (picked_ && !env_.host.Ending()) RunTask();
}

// The dialog goes before the task's own questions appear.
void PetSelectDialog::Pick() {
  if (list_->ListIndex() < 0 || !form_.Loaded()) return;
  state_.selectedPet = list_->SelectedText();
  picked_ = true;
  env_.host.Unload(form_);
}

void PetSelectDialog::RunTask() {
  switch (task_) {
    case SelectionTask::kRepair:
    case SelectionTask::kDelete: {
      const auto& hook = task_ == SelectionTask::kRepair ? env_.more.repair : env_.more.remove;
      if (!hook) break;
      const OpResult prepared = hook(state_);
      if (!prepared.ok()) Cancelled(prepared);
      break;
    }
    case SelectionTask::kTreasure:
      TreasureTask();
      break;
    default:
      ShortcutTask();
      break;
  }
}

void PetSelectDialog::Cancelled(const OpResult& failure) {
  say_.Tell((failure.ok() ? std::string() : failure.Describe() + kCrLf) + "作業を取りやめました",
            ui::Icon::kCritical);
}

// ---- a per-pet shortcut -------------------------------------------------------------

void PetSelectDialog::ShortcutTask() {
  const fs::path folder = env_.host.ChooseFolder("ショートカットを作成するフォルダ");
  if (folder.empty()) return;
  MakeShortcut(folder);
}

void PetSelectDialog::MakeShortcut(const fs::path& folder) {
  say_.Tell("ショートカットに使用するアイコンを選択してください。", ui::Icon::kNone);
  const fs::path launcher = env_.programFolder / U8Path(kLauncherFileName);
  const std::optional<ui::IconChoice> icon = env_.host.ChooseIcon(IconChooserStart(launcher));
  if (!icon) return;
  Shortcut link;
  link.target = launcher;
  link.arguments = state_.selectedPet;
  link.workingFolder = state_.settings.hostFolder;
  link.iconFile = icon->file;
  link.iconIndex = icon->index;
  link.showCommand = 0;
  link.hotKey = 0;
  const OpResult written = WriteShortcut(folder / U8Path(ShortcutFileName(state_.selectedPet)), link);
  if (say_.TellFailure(written, "ショートカットを作成できませんでした")) return;
  say_.Tell("ショートカットを作成しました", ui::Icon::kNone);
}

// ---- emptying a treasure box --------------------------------------------------------

void PetSelectDialog::TreasureTask() {
  // The host holds the treasure folders, and the current pet's are saved first.
  if (RefusedWhileHostRuns(env_.processes, state_.settings, say_)) return;
  const PetStore store(state_.settings);
  const std::string& pet = state_.selectedPet;
  const PetStore::FlagsRead read = store.ReadFlags(pet);
  if (!read.error.ok()) {
    Cancelled(read.error);
    return;
  }
  state_.flags = read.flags;
  const bool shared = read.flags[kTreasureBox] != 0;
  if (shared && say_.Ask(pet + "の宝箱は共有です" + kCrLf + "空にしてもよろしいですか？", ui::Buttons::kYesNo,
                         ui::Icon::kNone, 1) != ui::Answer::kYes) {
    Cancelled();
    return;
  }
  // The data is held for each piece of work, never while the user chooses
  // a box: a missing one is asked for between two tries.
  const auto empty = [&](const std::optional<fs::path>& source) -> std::optional<std::optional<OpResult>> {
    const DataHold hold(env_.processes, state_.settings.hostFolder, kUtilityFileName, say_);
    if (!hold) return std::nullopt;
    return store.EmptyTreasureBox(pet, shared, source);
  };
  std::optional<std::optional<OpResult>> emptied = empty(std::nullopt);
  if (!emptied) return;
  if (!*emptied) {
    const std::optional<fs::path> source =
        AskForBoxSource(env_.host, state_.settings, shared ? std::string("共有の宝箱") : pet + "の宝箱");
    if (source) emptied = empty(source);
    if (!emptied) return;
  }
  if (!*emptied || !(*emptied)->ok()) {
    Cancelled(emptied->value_or(OpResult::Ok()));
    return;
  }
  say_.Tell(pet + "の宝箱を空にしました", ui::Icon::kInformation);
}

}  // namespace lup
