#pragma once
// The launcher's three dialogs, each a Form loaded when it is shown:
//
//   ShareDialog    Form4 "共有・非共有の設定": the four share flags of one pet
//   SettingsDialog Form2 "詳細設定": where the host lives and its item names
//   SpecialDialog  Form3 "ノクタ・ミラ用設定": the ordinary and patched host
//                  executables and which pets use the patched one
//
//   ShareDialog dialog(host, store, row, pet, apply);
//   host.ShowModal(dialog.form(), &listWindow);
#include <filesystem>
#include <functional>
#include <string>

#include "core/petstore.h"
#include "core/product.h"
#include "core/result.h"
#include "core/settings.h"
#include "platform/settings_store.h"
#include "ui/host.h"
#include "ui/messenger.h"

namespace lup {

class ShareDialog {
 public:
  // Saves the current pet's data and forgets it, before the first change;
  // false (told) when it could not be saved: then nothing is changed.
  using Release = std::function<bool()>;
  // What OK hands back: the row and the pet's new flags.
  using Apply = std::function<void(int row, const ShareFlags& flags)>;

  // Fills the dialog for `pet`, row `row` of the pet list: the name in
  // Label1, the flags in Check1 to Check4. OK asks, for every ticked kind,
  // whether the pet's own copy is to replace the shared one (copied through
  // `store`), then hands `row` and the new flags to `apply`. Before
  // the first copy or change `release` runs; OK that changes nothing (no
  // flag changed, every copy declined) changes nothing at all.
  ShareDialog(ui::Host& host, PetStore store, int row, const Pet& pet, Release release,
              Apply apply);
  ui::Form& form() { return form_; }

 private:
  void Ok();
  bool Released();

  ui::Host& host_;
  PetStore store_;
  int row_;          // of the pet list, handed back to `apply`
  std::string pet_;  // the pet whose flags these are
  ShareFlags original_;
  Release release_;
  bool released_ = false;
  Apply apply_;
  ui::Form form_{"Form4"};
  ui::Messenger say_{host_, kLauncherTitle, &form_};
  ui::CheckBox* checks_[4] = {};
};

class SettingsDialog {
 public:
  // `settings` are the launcher's settings in memory; OK stores into them and
  // saves them.
  SettingsDialog(Settings& settings, SettingsStore& store, ui::Host& host);
  ui::Form& form() { return form_; }

 private:
  void Load();
  void Browse();
  void Ok();

  Settings& settings_;
  SettingsStore& store_;
  ui::Host& host_;
  ui::Form form_{"Form2"};
  ui::Messenger say_{host_, kLauncherTitle, &form_};
};

class SpecialDialog {
 public:
  // Reads and writes ppexe1/ppexe2 in the store; D, pp_name and ppc_name
  // come from the launcher's settings in memory.
  SpecialDialog(const Settings& settings, SettingsStore& store, ui::Host& host);
  ui::Form& form() { return form_; }

  // D\通常用_pp_name and D\ノクタ用_pp_name.
  std::filesystem::path OrdinaryCopy() const;
  std::filesystem::path PatchedCopy() const;

 private:
  void Load();
  void Browse(int index);
  void Save();
  // Copies one executable to its kept copy when the path differs from it.
  // Returns true when the field may be set to the kept copy.
  bool Keep(const std::string& path, bool patched, bool* copied);

  const Settings& settings_;
  SettingsStore& store_;
  ui::Host& host_;
  ui::Form form_{"Form3"};
  ui::Messenger say_{host_, kLauncherTitle, &form_};
};

}  // namespace lup
