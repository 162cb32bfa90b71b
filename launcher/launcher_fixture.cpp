#include "launcher/launcher_fixture.h"

namespace lup::test {

std::unique_ptr<Launcher> LauncherFolder::MakeLauncher(ui::Host& host, bool firstInstance) {
  LauncherEnv env{store, processes, host, Programs(), firstInstance, {}, VersionNumber{1, 6, 4}};
  auto launcher = std::make_unique<Launcher>(env);
  Launcher* self = launcher.get();
  launcher->env().callPet = [this, self](CallPetContext& c) {
    calls.push_back(RecordedCall{c.pets, c.called, !self->form().Enabled(), false});
    return CallOutcome::HostStarted;
  };
  return launcher;
}

}  // namespace lup::test
