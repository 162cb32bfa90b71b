#pragma once
// The utility lupset: its menu window (Form1) and start-up.
//
//   lup::MenuWindow menu(env);
//   if (menu.Start()) return host.Run();
//
// Start-up reads the settings (the utility never writes one), checks that the
// host program is where they say (otherwise it offers the launcher, whose
// settings dialog corrects them, and ends), rebuilds a missing \lupina3.dat,
// and shows the menu. Its buttons register pets (register.h), and open the
// pet selection dialog (select.h) for the shortcut and treasure tasks, and
// for the repair and deletion dialogs; the backup, repair and deletion
// dialogs (data_dialogs.h) plug in through MoreDialogs.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/pets.h"
#include "core/result.h"
#include "core/product.h"
#include "core/settings.h"
#include "platform/process.h"
#include "platform/settings_store.h"
#include "ui/host.h"
#include "ui/messenger.h"

namespace lup {

// What the utility's dialogs share for the whole run: the settings read at
// start-up, and the pet picked last in the selection dialog with its flags.
struct UtilityState {
  Settings settings;
  std::string selectedPet;
  ShareFlags flags{};
};

// The dialogs that continue the menu's work: the backup (Form5), and the
// repair (Form6) and deletion (Form4) of the pet picked in the selection
// dialog (UtilityState::selectedPet). A repair or deletion hook returns why
// its dialog could not be prepared; the pick then ends with the cancel
// message. A hook that is not set is the utility's own dialog
// (data_dialogs.h); tests set their own.
struct MoreDialogs {
  std::function<void(UtilityState&)> backup;
  std::function<OpResult(UtilityState&)> repair;
  std::function<OpResult(UtilityState&)> remove;
};

struct UtilityEnv {
  SettingsStore& store;                 // read only
  ProcessSystem& processes;             // the host check, the host and the launcher
  ui::Host& host;
  std::filesystem::path programFolder;  // where lupset.exe and lupina.exe lie
  MoreDialogs more;
};

// Where the menu's descriptions go back to when the mouse leaves a button.
inline constexpr const char* kMenuHint = "ボタンの上にマウスを持っていくと説明を表示します";

class PetSelectDialog;
enum class SelectionTask;

class MenuWindow {
 public:
  explicit MenuWindow(UtilityEnv env);
  ~MenuWindow();
  MenuWindow(const MenuWindow&) = delete;
  MenuWindow& operator=(const MenuWindow&) = delete;

  // The whole start-up; true when the menu is shown (run the event loop),
  // false when the utility ended.
  bool Start();

  ui::Form& form() { return form_; }
  UtilityState& state() { return state_; }
  UtilityEnv& env() { return env_; }
  PetSelectDialog& selection() { return *selection_; }

 private:
  void BuildForm();
  bool HostFound();
  void OpenSelection(SelectionTask task);

  UtilityEnv env_;
  UtilityState state_;
  ui::Form form_{"Form1"};
  ui::Messenger say_{env_.host, kUtilityTitle, &form_};
  ui::Label* hint_ = nullptr;
  std::unique_ptr<PetSelectDialog> selection_;
};

}  // namespace lup
