#pragma once
// The pet selection dialog (Form3): one list of pets for four tasks. The menu
// fills it for a task with SetForm and shows it; a pick (a click, or a change
// of the entry by the keyboard) closes it and starts the task at once.
//
//   mode 1  kRepair     the pets with a backup  -> MoreDialogs::repair
//   mode 2  kDelete     the registered pets     -> MoreDialogs::remove
//   mode 3  kShortcut   the registered pets     -> a per-pet shortcut
//   mode 4  kTreasure   the registered pets     -> the pet's treasure box emptied
//
// Any other value acts as kShortcut. SetForm keeps the task for the pick.
#include <filesystem>
#include <string>

#include "core/petstore.h"
#include "core/product.h"
#include "ui/host.h"
#include "ui/messenger.h"
#include "utility/utility.h"

namespace lup {

// Where the icon chooser starts for `iconFile`: the file itself at index 0
// when it is an ordinary archive-only file, else the system's SHELL32.DLL.
ui::IconChoice IconChooserStart(const std::filesystem::path& iconFile);

enum class SelectionTask { kRepair = 1, kDelete = 2, kShortcut = 3, kTreasure = 4 };

class PetSelectDialog {
 public:
  PetSelectDialog(UtilityEnv& env, UtilityState& state);

  // Empties the list and fills it with the pets for `task`, under its caption.
  void SetForm(SelectionTask task);
  // Shows the dialog modally; after a pick the task runs.
  void ShowAndRun();
  // The selected pet's shortcut written into `folder`, after the icon choice.
  void MakeShortcut(const std::filesystem::path& folder);

  ui::Form& form() { return form_; }
  ui::ListBox& list() { return *list_; }

 private:
  void Pick();
  void RunTask();
  void ShortcutTask();
  void TreasureTask();
  void Cancelled(const OpResult& failure = OpResult::Ok());

  UtilityEnv& env_;
  UtilityState& state_;
  ui::Form form_{"Form3"};
  ui::Messenger say_{env_.host, kUtilityTitle};
  ui::ListBox* list_ = nullptr;
  SelectionTask task_ = SelectionTask::kShortcut;  // what a pick starts
  bool picked_ = false;
};

}  // namespace lup
