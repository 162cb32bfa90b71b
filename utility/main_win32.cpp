// lupset.exe: the utility's entry point. Builds the real windows, reads the
// user's settings from the registry, and runs start-up.
#include <windows.h>

#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "ui/win32/host_win32.h"
#include "utility/utility.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  lup::HardenLibrarySearch();
  std::unique_ptr<lup::ui::Host> host = lup::ui::win32::NewHost();
  std::unique_ptr<lup::SettingsStore> store = lup::OpenUserSettings();
  lup::MenuWindow menu(lup::UtilityEnv{*store, lup::SystemProcesses(), *host, lup::ProgramFolder(), {}});
  if (!menu.Start()) return 0;
  return host->Run();
}
