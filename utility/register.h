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
  // new pet (no take-over questions; the pet the host held was released
  // before it was made). Otherwise the pet the host holds is put away and
  // forgotten right before the settings file is written.
  PetNameDialog(ui::Host& host, ProcessSystem& processes, const Settings& settings,
                std::string prompt, std::filesystem::path source, bool newPet);
  ui::Form& form() { return form_; }
  Outcome outcome() const { return outcome_; }
  const std::string& petName() const { return name_; }

 private:
  void Ok();
  std::optional<std::string> NameAccepted(const std::string& typed);
  void Pause();
  std::vector<DataKind> AskTakeOver();
  void TellTakenOver(const std::vector<PetStore::TakeOver>& taken, std::vector<OpResult>* failures);
  void Report(const PetStore::Registration& r, const std::vector<OpResult>& failures);

  ui::Host& host_;
  ProcessSystem& processes_;
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
  enum class Leftover { kNone, kResume, kStop };
  bool HostRunning();
  bool Saved(const OpResult& saved);
  Leftover LookAtLeftover();
  bool GoOnWithoutSaving();
  void NameAndFinish(bool patched);
  std::optional<std::filesystem::path> ChooseProgram(bool patched);
  bool RunAndWait(const std::filesystem::path& program);
  PetNameDialog::Outcome NameNewPet(std::string* name);
  void Cancelled();

  UtilityEnv& env_;
  const Settings& s_;
  ui::Form& menu_;
  PetStore store_;
  ui::Messenger say_;
  std::string released_;  // the pet the host held before a new one was made
  bool setAsideByUs_ = false;  // the host's settings file was set aside for it
};

}  // namespace lup
