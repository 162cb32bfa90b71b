#pragma once
// A host folder for the launcher's tests: a temporary folder D holding the
// host executable, pets registered by their settings files, a memory store
// pointing at D and fake processes, plus a launcher that records its calls.
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/temp_folder.h"
#include "launcher/launcher.h"
#include "platform/fake_processes.h"
#include "platform/settings_store.h"
#include "ui/host.h"

namespace lup::test {

struct RecordedCall {
  std::vector<Pet> pets;
  int called = 0;
  bool ownerDisabled = false;
  bool busy = false;
};

class HostFolder {
 public:
  HostFolder();
  const std::filesystem::path& D() const { return d_; }
  std::filesystem::path operator/(std::string_view utf8) const;

  // D\name_PostPet設定.ppc
  void AddPet(std::string_view name, std::string_view content = "pet");
  void Write(std::string_view relative, std::string_view bytes);
  std::string Read(std::string_view relative) const;
  bool Exists(std::string_view relative) const;
  // A list file record text (UTF-8) as the CP932 bytes written on disk.
  static std::string Cp932(std::string_view utf8);

  std::string Setting(const std::string& key) const { return store.Get(key).value_or("<absent>"); }

  MemorySettingsStore store;
  FakeProcesses processes;

  // A launcher on this folder whose calls are recorded instead of run.
  std::unique_ptr<Launcher> MakeLauncher(ui::Host& host, bool firstInstance = true);
  std::vector<RecordedCall> calls;

 private:
  TempFolder temp_;
  std::filesystem::path d_;
};

}  // namespace lup::test
