#include "launcher/call_pet_fixture.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "base/text.h"

namespace lup::test {

CallPetFixture::CallPetFixture() {
  settings.hostFolder = D();
  settings.MakeHostPaths();
  std::filesystem::create_directories(At("共有"));
}

void CallPetFixture::AddRow(const std::string& name, ShareFlags flags) {
  pets.push_back(Pet{name, flags});
}

void CallPetFixture::SetCurrent(const std::string& name) {
  settings.currentPetName = name;
  WriteCurrent(name);
}

CallOutcome CallPetFixture::Call(int row) {
  CallPetContext context{settings, store, ui, nullptr, processes, pets, row};
  context.currentPetUnreadable = currentPetUnreadable;
  return CallPet(context);
}

CallOutcome CallPetFixture::CallByName(const std::string& name) {
  for (std::size_t i = 0; i < pets.size(); ++i)
    if (pets[i].name == name) return Call(static_cast<int>(i));
  ADD_FAILURE() << "no row for " << name;
  return CallOutcome::NoSettingsFile;
}

}  // namespace lup::test
