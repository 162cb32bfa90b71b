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

#include "core/result.h"
#include "core/settings.h"
#include "launcher/call_pet.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "ui/host.h"

namespace lup {

// Title of the launcher's message boxes.
inline constexpr const char* kLauncherTitle = "ルピナ・ヴィラ";

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

  // Rebuilds \lupina3.dat from the registered pets, every flag 0.
  OpResult InitPlist();
  // Writes \lupina3.dat from the pet rows of the grid, in row order.
  OpResult SavePlist();

  // The pet rows of the grid (column 0 and the flags of columns 5 to 8).
  std::vector<PetRow> Rows() const;
  int PetRowCount() const { return grid_->Rows() - 1; }

  // Sets the display cell of one data kind (column 1 to 4) to "共" or "非"
  // with its colour.
  void ShowFlag(int row, int kind, bool shared);

  // A message box with the launcher's title and an OK button.
  void Tell(const std::string& text, ui::Icon icon) const;
  // Tells a failed step (OpResult::Describe), when it failed; true if it did.
  bool TellFailure(const OpResult& result, const std::string& after = {}) const;

 private:
  void BuildForm();
  bool HostRunning();
  void FillList();
  void CountPets();
  void ShowStatus();
  void PrepareSharedFolder();
  StartOutcome CommandLinePet(std::string name);
  void CallRow(int row);
  void OnGridMouseDown(const ui::MouseEvent& e);
  void OpenShareDialog(int row);
  void OpenSettingsDialog();
  void ShowVersion();
  void Quit();

  LauncherEnv env_;
  Settings settings_;
  ui::Form form_{"Form1"};
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

// "ルピナ・ヴィラ Ver.1.64" for major 1, minor 6, revision 4.
std::string VersionText(const VersionNumber& v);

}  // namespace lup
