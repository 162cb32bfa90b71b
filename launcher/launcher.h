#pragma once
// The launcher: its start-up and the pet list window (Form1).
//
//   lup::Launcher launcher(env);
//   if (launcher.Start(commandLine) == lup::StartOutcome::Shown) return host.Run();
//
// Start-up runs in a fixed order: the single-instance test, the host-running
// test, the settings, the host check (offering the detailed settings), the
// special-kind check, the pet list from the settings files in the host
// folder and the share flags of \lupina3.dat, the pet count, the status line,
// the shared folder, and finally the pet named on the command line, which is
// called at once without showing the window.
//
// Everything the launcher needs from outside comes in through LauncherEnv, so
// tests drive it with a temporary host folder, a memory store, fake processes
// and the headless UI host.
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/petstore.h"
#include "core/product.h"
#include "core/result.h"
#include "core/settings.h"
#include "launcher/call_pet.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "ui/host.h"
#include "ui/messenger.h"

namespace lup {

// The colours of the share columns: "共" (shared) and "非" (per pet).
inline constexpr ui::Colour kSharedColour = ui::Rgb(255, 192, 255);
inline constexpr ui::Colour kPerPetColour = ui::Rgb(192, 255, 255);

using CallPetFn = std::function<CallOutcome(CallPetContext&)>;

struct LauncherEnv {
  SettingsStore& store;
  ProcessSystem& processes;
  ui::Host& host;
  std::filesystem::path programFolder;  // where lupina.exe lies (default host folder)
  bool firstInstance = true;            // false: another launcher runs already
  CallPetFn callPet;                    // calls a pet (lup::CallPet in the program)
  VersionNumber version{};              // shown by the version box
};

enum class StartOutcome {
  Ended,   // start-up ended the launcher (nothing shown, or a message only)
  Called,  // the pet of the command line was called; the launcher ends
  Shown,   // the pet list window is shown; run the event loop
};

class Launcher {
 public:
  explicit Launcher(LauncherEnv env);
  Launcher(const Launcher&) = delete;
  Launcher& operator=(const Launcher&) = delete;

  // The whole start-up. `commandLine` is the argument text after the
  // program name, as typed (quotes are removed here).
  StartOutcome Start(std::string_view commandLine);

  ui::Form& form() { return form_; }
  Settings& settings() { return settings_; }
  LauncherEnv& env() { return env_; }
  ui::Grid& grid() { return *grid_; }
  // The registered pets as the list shows them; grid row r is pets()[r - 1].
  const std::vector<Pet>& pets() const { return pets_; }

  // Rebuilds \lupina3.dat from the registered pets, every flag 0.
  OpResult InitPlist();
  // Writes \lupina3.dat from the pets of the list, in list order.
  OpResult SavePlist();

 private:
  void BuildForm();
  PetStore Store() const { return PetStore(settings_); }
  bool HostRunning();
  void SetUpColumns();
  bool HostFound();
  void TellCurrentPetProblems(const LoadReport& loaded);
  void CheckSpecialExes();
  bool FillList();
  void DrawRow(int row);
  void CountPets();
  // The current pet's data saved and the pet forgotten, in memory and on
  // disk; false (told) when its data could not be saved.
  bool ReleaseCurrent();
  void ShowStatus();
  void PrepareSharedFolder();
  StartOutcome CommandLinePet(std::string name);
  void CallRow(int row);
  void OnGridMouseDown(const ui::MouseEvent& e);
  void OpenShareDialog(int row);
  void ApplyShareFlags(int row, const ShareFlags& flags);
  void OpenSettingsDialog();
  void ShowVersion();
  void Quit();

  LauncherEnv env_;
  Settings settings_;
  std::vector<Pet> pets_;
  ui::Form form_{"Form1"};
  ui::Messenger say_{env_.host, kLauncherTitle, &form_};
  ui::Grid* grid_ = nullptr;
  ui::Label* status_ = nullptr;
  ui::CheckBox* oneClick_ = nullptr;
  bool called_ = false;
  // \lupina.dat could not be read at start-up: the call asks before it
  // overwrites the host copies.
  bool currentPetUnreadable_ = false;
};

// The command-line text with every double quote removed and the blanks at
// both ends dropped.
std::string CommandLinePetName(std::string_view commandLine);

}  // namespace lup
