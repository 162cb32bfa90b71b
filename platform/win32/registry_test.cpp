// The settings store in the registry of the Wine prefix (or of Windows).
#include <windows.h>

#include <gtest/gtest.h>

#include "platform/win32/registry_settings.h"
#include "platform/win32/wide.h"

namespace lup {
namespace {

std::string Unique(std::string_view base) {
  return std::string(base) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(GetTickCount64());
}

bool KeyExists(const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

// Removes a key only when it holds neither values nor sub-keys.
void DeleteIfEmpty(const std::wstring& key) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return;
  DWORD subKeys = 1, values = 1;
  RegQueryInfoKeyW(h, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                   nullptr, nullptr);
  RegCloseKey(h);
  if (subKeys == 0 && values == 0) RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}

// Reads a value with the API directly, to see what really was written.
std::optional<std::pair<DWORD, std::wstring>> RawValue(const std::wstring& key, const std::wstring& name) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return std::nullopt;
  wchar_t buffer[512] = {};
  DWORD type = 0;
  DWORD bytes = sizeof buffer - sizeof(wchar_t);
  const LSTATUS r = RegQueryValueExW(h, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  RegCloseKey(h);
  if (r != ERROR_SUCCESS) return std::nullopt;
  return std::make_pair(type, std::wstring(buffer));
}

class RegistryStore : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_TRUE(DeleteRegistryApplication(app_)); }
  const std::string app_ = Unique("LupinaTest");
};

TEST_F(RegistryStore, KeyIsCreatedOnTheFirstWriteAndJapaneseComesBack) {
  auto store = OpenRegistrySettings(app_, "setting");
  const std::wstring key = RegistrySettingsKey(app_, "setting");
  EXPECT_FALSE(KeyExists(key));
  EXPECT_EQ(store->Get("pp_dir"), std::nullopt);
  EXPECT_FALSE(KeyExists(key)) << "reading must not create the key";

  const std::string dir = "C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0";
  ASSERT_TRUE(store->Set("pp_dir", dir));
  ASSERT_TRUE(store->Set("ppc_name", "PostPet設定.ppc"));
  ASSERT_TRUE(store->Set("tz_dir", "宝物"));
  ASSERT_TRUE(store->Set("名前", "ソ表能𠮷"));
  ASSERT_TRUE(store->Set("empty", ""));
  EXPECT_TRUE(KeyExists(key));

  auto again = OpenRegistrySettings(app_, "setting");
  EXPECT_EQ(again->Get("pp_dir"), dir);
  EXPECT_EQ(again->Get("ppc_name"), "PostPet設定.ppc");
  EXPECT_EQ(again->Get("tz_dir"), "宝物");
  EXPECT_EQ(again->Get("名前"), "ソ表能𠮷");
  EXPECT_EQ(again->Get("empty"), "");
  EXPECT_EQ(again->Get("flg_opt1"), std::nullopt);
  EXPECT_EQ(again->Get("PP_DIR"), dir) << "value names ignore letter case, as the registry does";

  // Stored as REG_SZ text, as other programs on the key expect.
  const auto raw = RawValue(key, L"ppc_name");
  ASSERT_TRUE(raw.has_value());
  EXPECT_EQ(raw->first, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw->second, L"PostPet\x8A2D\x5B9A.ppc");
}

TEST_F(RegistryStore, OverwritingAndLongValues) {
  auto store = OpenRegistrySettings(app_, "setting");
  ASSERT_TRUE(store->Set("cnt_pet", "3"));
  ASSERT_TRUE(store->Set("cnt_pet", "-1"));
  EXPECT_EQ(store->Get("cnt_pet"), "-1");
  std::string longText;
  for (int i = 0; i < 2000; ++i) longText += "ペ";
  ASSERT_TRUE(store->Set("long", longText));
  EXPECT_EQ(store->Get("long"), longText);
}

TEST_F(RegistryStore, ValuesThatWouldBeCutShortAreRefused) {
  auto store = OpenRegistrySettings(app_, "setting");
  ASSERT_TRUE(store->Set("pp_name", "PostPet20.exe"));
  EXPECT_FALSE(store->Set("pp_name", std::string("Post\0Pet.exe", 12)));
  EXPECT_FALSE(store->Set("pp_name", "bad\xFF"));
  EXPECT_FALSE(store->Set("", "x"));
  EXPECT_EQ(store->Get("pp_name"), "PostPet20.exe");
}

TEST_F(RegistryStore, ValuesOfAnotherTypeReadAsAbsent) {
  auto store = OpenRegistrySettings(app_, "setting");
  ASSERT_TRUE(store->Set("x", "1"));
  HKEY h = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, RegistrySettingsKey(app_, "setting").c_str(), 0, KEY_SET_VALUE, &h),
            ERROR_SUCCESS);
  const DWORD number = 1;
  RegSetValueExW(h, L"flg_opt1", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(h);
  EXPECT_EQ(store->Get("flg_opt1"), std::nullopt);
}

TEST(UserSettings, LiveUnderTheLupinaSettingKey) {
  const std::string name = Unique("lup_test_値");
  const std::wstring lupina = L"Software\\VB and VBA Program Settings\\Lupina";
  const bool existed = KeyExists(lupina + L"\\setting");
  auto store = OpenUserSettings();
  EXPECT_EQ(store->Get(name), std::nullopt);
  ASSERT_TRUE(store->Set(name, "ルピナ・ヴィラ"));
  const auto raw = RawValue(L"Software\\VB and VBA Program Settings\\Lupina\\setting", Wide(name));
  EXPECT_TRUE(DeleteRegistrySetting("Lupina", "setting", name));
  ASSERT_TRUE(raw.has_value());
  EXPECT_EQ(Narrow(raw->second), "ルピナ・ヴィラ");
  EXPECT_EQ(store->Get(name), std::nullopt);
  if (!existed) {  // leave no empty key behind; a key with values or sections stays
    DeleteIfEmpty(lupina + L"\\setting");
    DeleteIfEmpty(lupina);
  }
}

TEST(DeleteRegistryApplication, RefusesTheRootAndOtherKeys) {
  EXPECT_FALSE(DeleteRegistryApplication(""));
  EXPECT_FALSE(DeleteRegistryApplication("Lupina\\..\\x"));
}

}  // namespace
}  // namespace lup
