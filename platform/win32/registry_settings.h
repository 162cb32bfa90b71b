#pragma once
// Settings kept in the registry under
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<application>\<section>,
// one REG_SZ value per key. OpenUserSettings() opens application "Lupina",
// section "setting"; tests use a section of their own.
#include <memory>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace lup {

// The registry key path below HKEY_CURRENT_USER.
std::wstring RegistrySettingsKey(std::string_view application, std::string_view section);

// A store on that key. The key is created on the first write; reading a key
// that does not exist gives nullopt. A value holding a NUL character, or a key
// name that is empty, is refused (Set returns false) rather than cut short.
std::unique_ptr<SettingsStore> OpenRegistrySettings(std::string_view application,
                                                    std::string_view section);

// Removes one value; true when it is gone afterwards (also when it was absent).
bool DeleteRegistrySetting(std::string_view application, std::string_view section,
                           std::string_view key);

// Removes the whole key of an application with all its sections.
bool DeleteRegistryApplication(std::string_view application);

}  // namespace lup
