#pragma once
// The per-user settings store: application "Lupina", section "setting",
// string values. On Windows the registry key
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\Lupina\setting.
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace lup {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // nullopt when the key is absent (or cannot be read).
  virtual std::optional<std::string> Get(const std::string& key) const = 0;
  // false when the value could not be stored.
  virtual bool Set(const std::string& key, const std::string& value) = 0;
};

// Keeps values in memory: the test store, and the store of the native build.
class MemorySettingsStore final : public SettingsStore {
 public:
  std::optional<std::string> Get(const std::string& key) const override {
    auto it = values_.find(key);
    if (it == values_.end()) return std::nullopt;
    return it->second;
  }
  bool Set(const std::string& key, const std::string& value) override {
    values_[key] = value;
    return true;
  }
  const std::map<std::string, std::string>& values() const { return values_; }

 private:
  std::map<std::string, std::string> values_;
};

// The user's own store: the registry on Windows; natively a memory store.
std::unique_ptr<SettingsStore> OpenUserSettings();

}  // namespace lup
