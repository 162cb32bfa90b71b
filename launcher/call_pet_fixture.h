#pragma once
// A host folder for the tests of calling a pet: pets, host copies and shared
// copies filled with small files whose bytes say whose they are (the host
// folder of tests/support), the launcher's settings and pet list, and a call
// of one of its pets.
#include <string>
#include <vector>

#include "core/settings.h"
#include "launcher/call_pet.h"
#include "tests/support/host_folder.h"
#include "ui/headless/headless_host.h"

namespace lup::test {

class CallPetFixture : public HostFolder {
 public:
  CallPetFixture();

  // A row of the pet list.
  void AddRow(const std::string& name, ShareFlags flags = {});
  // The current pet, in memory and in \lupina.dat.
  void SetCurrent(const std::string& name);

  // Calls the pet of row `row` (0 = the first) with the fixture's settings.
  CallOutcome Call(int row);
  CallOutcome CallByName(const std::string& name);

  Settings settings;
  ui::headless::HeadlessHost ui;
  std::vector<Pet> pets;  // the pet list, in order
  bool currentPetUnreadable = false;
};

}  // namespace lup::test
