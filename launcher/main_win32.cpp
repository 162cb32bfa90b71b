// lupina.exe: the launcher's entry point. Builds the real windows, the
// user's settings in the registry, the real processes, and runs start-up
// with the command-line text after the program name.
#include <windows.h>

#include "launcher/call_pet.h"
#include "launcher/launcher.h"
#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "ui/win32/host_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  lup::HardenLibrarySearch();
  // Held until the launcher ends, so that a second launcher ends at once.
  lup::SingleInstanceGuard guard("Lupina.lupina");
  std::unique_ptr<lup::ui::Host> host = lup::ui::win32::NewHost();
  std::unique_ptr<lup::SettingsStore> store = lup::OpenUserSettings();
  lup::LauncherEnv env{*store,
                       lup::SystemProcesses(),
                       *host,
                       lup::ProgramFolder(),
                       guard.IsFirst(),
                       [](lup::CallPetContext& context) { return lup::CallPet(context); },
                       lup::ProgramVersion()};
  lup::Launcher launcher(env);
  if (launcher.Start(lup::ProgramArgumentText()) != lup::StartOutcome::Shown) return 0;
  return host->Run();
}
