#pragma once
// Registering pets, the menu's first two buttons:
//
//   NewPet      the host makes a brand-new pet while its own settings file is
//               set aside; the new settings file is registered under a name
//               the user types, and the set-aside file is given back.
//   CurrentPet  a pet settings file the user picks (normally the host's own)
//               is registered, and its data taken over on request.
//
// Both end in the pet-name dialog (Form2), which checks the name, writes the
// pet's settings file and its backup, and reports every copy that failed.
// Neither runs beside the host: it holds the files they rename and copy.
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "core/petstore.h"
#include "core/product.h"
#include "ui/host.h"
#include "ui/messenger.h"
#include "utility/utility.h"

namespace lup {

class PetNameDialog {
 public:
  enum class Outcome {
    kClosed,      // closed without a name: nothing written
    kRegistered,  // the pet's settings file was written
    kFailed,      // its settings file could not be written (reported)
  };
  // `source`: the settings file to register. `newPet`: it is the host's own
  // new pet (no take-over questions).
  PetNameDialog(ui::Host& host, const Settings& settings, std::string prompt,
                std::filesystem::path source, bool newPet);
  ui::Form& form() { return form_; }
  Outcome outcome() const { return outcome_; }
  const std::string& petName() const { return name_; }

 private:
  void Ok();
  bool NameAccepted(const std::string& name);
  void Pause();
  void TakeOver(std::vector<OpResult>* failures);
  void Report(const PetStore::Registration& r, const std::vector<OpResult>& failures);

  ui::Host& host_;
  PetStore store_;
  std::filesystem::path source_;
  bool newPet_;
  ui::Form form_{"Form2"};
  ui::Messenger say_{host_, kUtilityTitle, &form_};
  ui::TextBox* text_ = nullptr;
  ui::Timer* timer_ = nullptr;
  bool waiting_ = false;
  std::string name_;
  Outcome outcome_ = Outcome::kClosed;
};

class Registrar {
 public:
  Registrar(UtilityEnv& env, const Settings& settings, ui::Form& menu);
  void NewPet();
  void CurrentPet();

 private:
  bool HostRunning();
  bool Saved(const OpResult& saved);
  bool GiveBackLeftover();
  std::optional<std::filesystem::path> ChooseProgram(bool patched);
  bool RunAndWait(const std::filesystem::path& program);
  PetNameDialog::Outcome NameNewPet(std::string* name);
  void Cancelled();

  UtilityEnv& env_;
  const Settings& s_;
  ui::Form& menu_;
  PetStore store_;
  ui::Messenger say_;
};

}  // namespace lup
