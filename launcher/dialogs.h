#pragma once
// The launcher's three dialogs, each a Form loaded when it is shown:
//
//   ShareDialog    Form4 "共有・非共有の設定": the four share flags of one pet
//   SettingsDialog Form2 "詳細設定": where the host lives and its item names
//   SpecialDialog  Form3 "ノクタ・ミラ用設定": the ordinary and patched host
//                  executables and which pets use the patched one
//
//   ShareDialog dialog(launcher, row);
//   host.ShowModal(dialog.form(), &launcher.form());
#include <filesystem>
#include <string>

#include "core/result.h"
#include "core/settings.h"
#include "platform/settings_store.h"
#include "ui/host.h"

namespace lup {

class Launcher;

class ShareDialog {
 public:
  // Fills the dialog for pet row `row` of the launcher's grid: the row number
  // in the tag, the pet's name in Label1, its flags in Check1 to Check4.
  ShareDialog(Launcher& launcher, int row);
  ui::Form& form() { return form_; }

 private:
  void Ok();
  // Copies the pet's own copy of one data kind over the shared copy.
  void CopyToShared(int kind, const Settings& paths);
  void RefreshSharedFolder(const std::filesystem::path& petFolder,
                           const std::filesystem::path& sharedFolder);

  Launcher& launcher_;
  ui::Form form_{"Form4"};
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
  bool Keep(const std::string& path, const std::filesystem::path& copy, bool* copied);

  const Settings& settings_;
  SettingsStore& store_;
  ui::Host& host_;
  ui::Form form_{"Form3"};
};

}  // namespace lup
