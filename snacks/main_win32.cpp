// lupsnack.exe: the snack manager's window shown by the Win32 backend. The
// settings come from the user's store; the launcher is started from our own
// folder when the host cannot be found.
#include <windows.h>

#include "platform/process.h"
#include "platform/program.h"
#include "platform/settings_store.h"
#include "snacks/snack_window.h"
#include "ui/win32/host_win32.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  lup::HardenLibrarySearch();
  std::unique_ptr<lup::ui::Host> host = lup::ui::win32::NewHost();
  host->SetAppTitle(lup::snacks::kTitle);
  std::unique_ptr<lup::SettingsStore> store = lup::OpenUserSettings();
  lup::snacks::SnackWindow window(
      *host, lup::snacks::SnackEnv{*store, lup::SystemProcesses(), lup::ProgramFolder(),
                                   lup::ProgramVersion()});
  host->Show(window.form());
  return host->Run();
}
