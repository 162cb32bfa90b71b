#pragma once
// The utility's three dialogs around the pets' data, each shown modally and
// created anew for every opening:
//
//   BackupDialog  (Form5)  the menu's "データのバックアップ": every pet, the host
//                          copies and the shared copies into D\bak
//   RepairDialog  (Form6)  a pet picked for repair: her data back from D\bak
//   DeleteDialog  (Form4)  a pet picked for deletion: her settings file and
//                          the checked items, with their backups
//
// The boxes are Check1 by the index of ItemChoice (core/petstore.h): 0 to 3
// the data kinds, 4 the pet settings file. The work is the pet store's; the
// dialogs say what it did, and name what failed.
#include "core/petstore.h"
#include "core/product.h"
#include "ui/host.h"
#include "ui/messenger.h"
#include "utility/utility.h"

namespace lup {

// What the three dialogs have in common: the form, its messages, and the
// utility's state they work on.
class DataDialog {
 public:
  DataDialog(const DataDialog&) = delete;
  DataDialog& operator=(const DataDialog&) = delete;
  ui::Form& form() { return form_; }
  // Modal: returns when the dialog has closed.
  void Show() { env_.host.ShowModal(form_); }

 protected:
  DataDialog(UtilityEnv& env, UtilityState& state, const char* formName)
      : env_(env), state_(state), form_(formName), say_(env.host, kUtilityTitle, &form_) {}
  ~DataDialog() = default;

  UtilityEnv& env_;
  UtilityState& state_;
  ui::Form form_;
  ui::Messenger say_;
};

class BackupDialog : public DataDialog {
 public:
  BackupDialog(UtilityEnv& env, UtilityState& state);

 private:
  void Run();
  ui::CheckBox* boxes_[5] = {};
};

class RepairDialog : public DataDialog {
 public:
  RepairDialog(UtilityEnv& env, UtilityState& state);
  // Reads the selected pet's flags and sets the caption and the boxes: a
  // shared kind's caption bold, each box enabled when the backup it would
  // restore from is there. A failure (\lupina3.dat missing or unreadable)
  // means the dialog is not shown.
  OpResult CheckData();

 private:
  void Run();
  std::string ReleasedNote() const;
  static std::string GenerationText(const BackupGeneration& g, bool newest);
  int Generation() const;  // the chosen one's BackupGeneration::undone
  void ShowBoxes();
  ui::CheckBox* boxes_[5] = {};
  ui::ComboBox* generation_ = nullptr;
  std::vector<BackupGeneration> generations_;  // as Combo1 lists them
};

class DeleteDialog : public DataDialog {
 public:
  DeleteDialog(UtilityEnv& env, UtilityState& state);
  // True, after telling the user, when the selected pet is listed only
  // through a settings file whose name holds another "_": nothing would
  // take her off the lists.
  bool RefusedMisnamed();
  // Sets the caption and the boxes for the selected pet: each box enabled
  // when she has her own copy of that kind.
  OpResult CheckData();

 private:
  void Run();
  ui::CheckBox* boxes_[4] = {};
};

// The hooks of MoreDialogs that open these dialogs.
MoreDialogs DataDialogs(UtilityEnv& env);

}  // namespace lup
