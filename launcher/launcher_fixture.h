#pragma once
// The launcher on a host folder of tests/support, with its calls recorded
// instead of run.
#include <memory>
#include <vector>

#include "launcher/launcher.h"
#include "tests/support/host_folder.h"
#include "ui/host.h"

namespace lup::test {

struct RecordedCall {
  std::vector<Pet> pets;
  int called = 0;
  bool ownerDisabled = false;
  bool busy = false;
};

class LauncherFolder : public HostFolder {
 public:
  // A launcher on this folder (started from Programs()) whose calls are
  // recorded in `calls`.
  std::unique_ptr<Launcher> MakeLauncher(ui::Host& host, bool firstInstance = true);
  std::vector<RecordedCall> calls;
};

}  // namespace lup::test
