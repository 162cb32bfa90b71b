// The settings store in the registry, through the W API only.
#include <windows.h>

#include "platform/win32/registry_settings.h"
#include "platform/win32/wide.h"

namespace lup {

namespace {

constexpr wchar_t kRoot[] = L"Software\\VB and VBA Program Settings";

class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  HKEY* out() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

class RegistrySettingsStore final : public SettingsStore {
 public:
  explicit RegistrySettingsStore(std::wstring key) : key_(std::move(key)) {}

  std::optional<std::string> Get(const std::string& name) const override {
    if (name.empty() || name.find('\0') != std::string::npos) return std::nullopt;
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, KEY_QUERY_VALUE, key.out()) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    const std::wstring value = Wide(name);
    // The value may change between the two calls: ask again while it grows.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD bytes = 0;
      LSTATUS r = RegGetValueW(key.get(), nullptr, value.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &bytes);
      if (r != ERROR_SUCCESS) return std::nullopt;
      std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
      bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
      r = RegGetValueW(key.get(), nullptr, value.c_str(), RRF_RT_REG_SZ, nullptr, text.data(), &bytes);
      if (r == ERROR_MORE_DATA) continue;
      if (r != ERROR_SUCCESS) return std::nullopt;
      text.resize(bytes / sizeof(wchar_t));
      // RegGetValueW ends the text with a NUL; the value ends at the first one.
      const std::size_t nul = text.find(L'\0');
      if (nul != std::wstring::npos) text.resize(nul);
      return Narrow(text);
    }
    return std::nullopt;
  }

  bool Set(const std::string& name, const std::string& value) override {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    if (value.find('\0') != std::string::npos) return false;
    const std::optional<std::wstring> text = WideStrict(value);
    if (!text) return false;
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, key_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, key.out(), nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const DWORD bytes = static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.get(), Wide(name).c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text->c_str()), bytes) == ERROR_SUCCESS;
  }

 private:
  std::wstring key_;
};

}  // namespace

std::wstring RegistrySettingsKey(std::string_view application, std::string_view section) {
  std::wstring key = kRoot;
  key += L'\\';
  key += Wide(application);
  key += L'\\';
  key += Wide(section);
  return key;
}

std::unique_ptr<SettingsStore> OpenRegistrySettings(std::string_view application,
                                                    std::string_view section) {
  return std::make_unique<RegistrySettingsStore>(RegistrySettingsKey(application, section));
}

std::unique_ptr<SettingsStore> OpenUserSettings() { return OpenRegistrySettings("Lupina", "setting"); }

bool DeleteRegistrySetting(std::string_view application, std::string_view section,
                           std::string_view name) {
  RegistryKey key;
  const LSTATUS r = RegOpenKeyExW(HKEY_CURRENT_USER, RegistrySettingsKey(application, section).c_str(),
                                  0, KEY_SET_VALUE, key.out());
  if (r == ERROR_FILE_NOT_FOUND) return true;
  if (r != ERROR_SUCCESS) return false;
  const LSTATUS d = RegDeleteValueW(key.get(), Wide(name).c_str());
  return d == ERROR_SUCCESS || d == ERROR_FILE_NOT_FOUND;
}

bool DeleteRegistryApplication(std::string_view application) {
  // Never the whole root, never a key somewhere else.
  if (application.empty() || application.find('\\') != std::string_view::npos) return false;
  std::wstring key = kRoot;
  key += L'\\';
  key += Wide(application);
  const LSTATUS r = RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) return false;
  const LSTATUS d = RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
  return d == ERROR_SUCCESS || d == ERROR_FILE_NOT_FOUND;
}

}  // namespace lup
