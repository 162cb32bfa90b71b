// The settings store of the native build: one set of values for the whole
// process, so that every window that opens the store sees what another wrote,
// as with the registry. Nothing is kept after the program ends.
#include <mutex>

#include "platform/settings_store.h"

namespace lup {

namespace {

class ProcessSettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> Get(const std::string& key) const override {
    std::lock_guard lock(Mutex());
    return Values().Get(key);
  }
  bool Set(const std::string& key, const std::string& value) override {
    std::lock_guard lock(Mutex());
    return Values().Set(key, value);
  }

 private:
  static MemorySettingsStore& Values() {
    static MemorySettingsStore values;
    return values;
  }
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
};

}  // namespace

std::unique_ptr<SettingsStore> OpenUserSettings() { return std::make_unique<ProcessSettingsStore>(); }

}  // namespace lup
