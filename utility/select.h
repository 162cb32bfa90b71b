#pragma once
// The pet selection dialog (Form3): one list of pets for four tasks. The menu
// fills it for a mode with SetForm and shows it; a pick (a click, or a change
// of the entry by the keyboard) closes it and starts the task at once.
//
//   mode 1  repair       the pets with a backup  -> MoreDialogs::repair
//   mode 2  deletion     the registered pets     -> MoreDialogs::remove
//   mode 3  shortcut     the registered pets     -> a per-pet shortcut
//   mode 4  treasure     the registered pets     -> the pet's treasure box emptied
//
// Any other mode acts as mode 3. The dialog keeps its mode in its caption.
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

class PetSelectDialog {
 public:
  PetSelectDialog(UtilityEnv& env, UtilityState& state);

  // Empties the list and fills it with the pets of `mode`, under its caption.
  void SetForm(int mode);
  // Shows the dialog modally; after a pick the task runs.
  void ShowAndRun();
  // The selected pet's shortcut written into `folder`, after the icon choice.
  void MakeShortcut(const std::filesystem::path& folder);

  ui::Form& form() { return form_; }
  ui::ListBox& list() { return *list_; }

 private:
  int Mode() const;
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
  bool picked_ = false;
};

}  // namespace lup
