#pragma once
// Calling a pet: the host's data goes back to the pet that was called last,
// the called pet's data comes into the host copies (both through the pet
// store), the current pet and the settings are saved and the host is
// started. The pet list window hands over its pets and the called one; the
// window itself (disabling, the busy pointer, ending the launcher) stays the
// window's business.
#include <string>
#include <vector>

#include "core/pets.h"
#include "core/settings.h"
#include "platform/process.h"
#include "platform/settings_store.h"
#include "ui/host.h"

namespace lup {

struct CallPetContext {
  Settings& settings;        // the launcher's settings in memory (currentPetName among them)
  SettingsStore& store;      // where SaveSettings writes
  ui::Host& host;            // questions and messages
  const ui::Form* owner;     // the pet list window (owner of dialogs)
  ProcessSystem& processes;  // starts the host
  std::vector<Pet> pets;     // the registered pets, in list order
  int called = 0;            // index into pets of the pet to call
  // LoadSettings could not read \lupina.dat (LoadReport::currentPetUnreadable):
  // the host copies may hold a pet's data that nobody has put away. The call
  // then asks before it overwrites them (default: change nothing, start nothing).
  bool currentPetUnreadable = false;
};

// How a call ended. Whatever the outcome, the launcher ends afterwards.
enum class CallOutcome {
  HostStarted,     // the host runs on the called pet's data
  HostRunning,     // the host runs already: nothing touched
  DataBusy,        // another of our programs is at work on the data: nothing touched
  NoSettingsFile,  // neither the pet's nor the host's settings file: nothing started
  PutAwayFailed,   // the host's data could not be saved (or its owner is unknown and
                   // the user kept it): nothing deleted, nothing started
  BringInFailed,   // the called pet's data could not be brought in: host not started
  StartFailed,     // everything is in place but the host could not be started
};

CallOutcome CallPet(CallPetContext& context);

// The message when the host runs: the launcher then never moves its data.
std::string HostRunningText();

}  // namespace lup
