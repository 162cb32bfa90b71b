#include "core/settings.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/fileops.h"
#include "core/listfiles.h"
#include "tests/support/temp_folder.h"
#include "base/text.h"

namespace lup {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// Remembers the order of the writes and can refuse one key.
class RecordingStore : public SettingsStore {
 public:
  std::optional<std::string> Get(const std::string& key) const override {
    return memory.Get(key);
  }
  bool Set(const std::string& key, const std::string& value) override {
    if (key == refuse) return false;
    order.push_back(key);
    return memory.Set(key, value);
  }
  MemorySettingsStore memory;
  std::vector<std::string> order;
  std::string refuse;
};

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hostDir = dir / "PP";
    fs::create_directory(hostDir);
    store.memory.Set("pp_dir", PathText(hostDir));
  }
  FileOps ops;
  ScopedFileOps use{ops};
  TempFolder dir;
  fs::path hostDir;
  RecordingStore store;
};

TEST(DefaultHostFolder, UsesTheDriveLetterOfTheProgramFolder) {
  EXPECT_EQ(PathText(DefaultHostFolder(U8Path("E:\\Tools\\ルピナ"))),
            "E:\\Program Files\\So-net\\PostPet for Windows ver. 2.0");
#ifndef _WIN32
  EXPECT_EQ(DefaultHostFolder("/opt/root"),
            fs::path("/opt/root/Program Files/So-net/PostPet for Windows ver. 2.0"));
#endif
}

TEST_F(SettingsTest, AFreshUserGetsEveryDefaultAndAnEmptyCurrentPetFile) {
  MemorySettingsStore empty;
  fs::create_directories(DefaultHostFolder(dir.path()));
  LoadReport r = LoadSettings(empty, dir.path());
  const Settings& s = r.settings;
  EXPECT_EQ(s.hostFolder, DefaultHostFolder(dir.path()));
  EXPECT_EQ(s.hostExeName, "PostPet20.exe");
  EXPECT_EQ(s.petFileName, "PostPet設定.ppc");
  EXPECT_EQ(s.friendBookName, "おともだち帳");
  EXPECT_EQ(s.treasureFolderName, "宝物");
  EXPECT_EQ(s.treasureBoxName, "tzl001.pac");
  EXPECT_EQ(s.receivedFolderName, "受信フォルダ");
  EXPECT_EQ(s.sentFolderName, "送信フォルダ");
  EXPECT_EQ(s.snackFolderName, "おやつ");
  EXPECT_EQ(s.nsOption, 0);
  EXPECT_EQ(s.oneClickLaunch, 0);
  EXPECT_TRUE(s.ordinaryHostExe.empty());
  EXPECT_TRUE(s.patchedHostExe.empty());
  EXPECT_EQ(s.currentPetName, "");
  EXPECT_TRUE(r.listFileProblem.ok());
  EXPECT_FALSE(r.currentPetUnreadable);
  EXPECT_EQ(ReadBytes(s.hostFolder / "lupina.dat"), "\"\"\r\n");
  EXPECT_TRUE(empty.values().empty());  // defaults are never written back
  EXPECT_EQ(ReadPetCount(empty), -1);
}

TEST_F(SettingsTest, StoredValuesAndNumbersThatDoNotConvert) {
  store.memory.Set("flg_opt1", "1");
  store.memory.Set("flg_sopt1", "abc");
  store.memory.Set("tz_dir", "たからもの");
  store.memory.Set("ppexe2", "C:\\x\\ノクタ用_PostPet20.exe");
  store.memory.Set("cnt_pet", " 3 ");
  WriteCurrentPet(hostDir, "ミミ");
  LoadReport r = LoadSettings(store, dir.path());
  EXPECT_EQ(r.settings.oneClickLaunch, 1);
  EXPECT_EQ(r.settings.nsOption, 0);
  EXPECT_EQ(r.settings.treasureFolderName, "たからもの");
  EXPECT_EQ(PathText(r.settings.patchedHostExe), "C:\\x\\ノクタ用_PostPet20.exe");
  EXPECT_EQ(r.settings.currentPetName, "ミミ");
  EXPECT_EQ(ReadPetCount(store), 3);
  store.memory.Set("cnt_pet", "many");
  EXPECT_EQ(ReadPetCount(store), -1);
  EXPECT_TRUE(store.order.empty());
}

TEST_F(SettingsTest, AnUnreadableCurrentPetIsReportedNotCleared) {
  WriteBytes(hostDir / U8Path("lupina.dat"), "\"\x83\"\r\n");
  LoadReport r = LoadSettings(store, dir.path());
  EXPECT_TRUE(r.currentPetUnreadable);
  EXPECT_EQ(r.settings.currentPetName, "");
  EXPECT_EQ(ReadBytes(hostDir / U8Path("lupina.dat")), "\"\x83\"\r\n");  // left as it was
  EXPECT_EQ(r.settings.petFileName, "PostPet設定.ppc");               // the next steps ran
}

TEST_F(SettingsTest, AMissingHostFolderIsPassedOver) {
  store.memory.Set("pp_dir", PathText(dir / "none"));
  store.memory.Set("flg_opt1", "1");
  LoadReport r = LoadSettings(store, dir.path());
  EXPECT_FALSE(r.listFileProblem.ok());
  EXPECT_EQ(r.settings.oneClickLaunch, 1);
  EXPECT_EQ(r.settings.friendBookPaths.host, dir / "none/おともだち帳");
}

TEST_F(SettingsTest, PathTriples) {
  Settings s = LoadSettings(store, dir.path()).settings;
  EXPECT_EQ(s.friendBookPaths.host, hostDir / U8Path("おともだち帳"));
  EXPECT_EQ(s.friendBookPaths.shared, hostDir / U8Path("共有") / U8Path("おともだち帳"));
  EXPECT_EQ(s.snackPaths.shared, hostDir / U8Path("共有") / U8Path("おやつ"));
  EXPECT_TRUE(s.friendBookPaths.pet.empty());
  s.MakePetPaths("ソ");
  EXPECT_EQ(s.petFilePaths.pet, hostDir / U8Path("ソ_PostPet設定.ppc"));
  EXPECT_EQ(s.treasurePaths.pet, hostDir / U8Path("ソ_宝物"));
  EXPECT_EQ(s.receivedPaths.pet, hostDir / U8Path("ソ_受信フォルダ"));
  EXPECT_EQ(s.sentPaths.pet, hostDir / U8Path("ソ_送信フォルダ"));
  EXPECT_EQ(s.BoxFile(s.treasurePaths.pet), hostDir / U8Path("ソ_宝物") / U8Path("tzl001.pac"));
  EXPECT_EQ(s.HostExe(), hostDir / U8Path("PostPet20.exe"));
  // A changed folder name reaches host and shared at once, the pet's copy at
  // the next MakePetPaths.
  s.treasureFolderName = "たから";
  s.MakeHostPaths();
  EXPECT_EQ(s.treasurePaths.host, hostDir / U8Path("たから"));
  EXPECT_EQ(s.treasurePaths.shared, hostDir / U8Path("共有") / U8Path("たから"));
  EXPECT_EQ(s.treasurePaths.pet, hostDir / U8Path("ソ_宝物"));
  s.MakePetPaths("ソ");
  EXPECT_EQ(s.treasurePaths.pet, hostDir / U8Path("ソ_たから"));
}

TEST_F(SettingsTest, APetsTripleIsTheSettingsOneWithHerOwnCopy) {
  Settings s = LoadSettings(store, dir.path()).settings;
  EXPECT_EQ(s.PetCopyName("ソ", Item::kFriendBook), "ソ_おともだち帳");
  EXPECT_EQ(s.PetCopyName("", Item::kSnacks), "_おやつ");
  const ItemPaths sora = s.PetPaths("ソラ", Item::kReceived);
  EXPECT_EQ(sora.host, s.receivedPaths.host);
  EXPECT_EQ(sora.shared, s.receivedPaths.shared);
  EXPECT_EQ(sora.pet, hostDir / U8Path("ソラ_受信フォルダ"));
  EXPECT_EQ(sora.pet, s.PetCopy("ソラ", Item::kReceived));
  // The settings' own triples are not changed by it.
  EXPECT_TRUE(s.receivedPaths.pet.empty());
  s.MakePetPaths("ミミ");
  EXPECT_EQ(s.PetPaths("ソラ", Item::kReceived).pet, sora.pet);
  EXPECT_EQ(s.receivedPaths.pet, hostDir / U8Path("ミミ_受信フォルダ"));
  EXPECT_EQ(s.receivedPaths.host, sora.host);
}

TEST_F(SettingsTest, NamesThatLookLikePathsOfTheirOwnStayInTheHostFolder) {
  // A folder or file name that starts with a separator (or, on Windows, a
  // drive) is appended to the host folder as text: it names an entry of the
  // host folder, or one that cannot exist, never a place elsewhere.
  const std::string sep(1, static_cast<char>(fs::path::preferred_separator));
  std::vector<std::string> names = {sep + "受信フォルダ", sep + "etc"};
#ifdef _WIN32
  names.push_back("C:\\Windows");
  names.push_back("C:x");
#endif
  for (const std::string& name : names) {
    for (const char* k : {"jyusin_dir", "pp_name", "tz_name"}) store.memory.Set(k, name);
    Settings s = ReadSettings(store, dir.path());
    s.MakePetPaths("ソ");
    for (const fs::path& p : {s.receivedPaths.host, s.receivedPaths.pet, s.HostExe(),
                              s.BoxFile(s.treasurePaths.host)})
      EXPECT_TRUE(PathText(p).starts_with(PathText(hostDir) + sep)) << PathText(p);
    EXPECT_TRUE(PathText(s.receivedPaths.shared).starts_with(PathText(s.SharedFolder()) + sep));
  }
  // "\受信フォルダ" is the host folder's received folder, as the host finds it.
  store.memory.Set("jyusin_dir", sep + "受信フォルダ");
  Settings s = ReadSettings(store, dir.path());
  ASSERT_TRUE(Fs().MakeFolder(s.receivedPaths.host).ok());
  EXPECT_TRUE(fs::is_directory(hostDir / U8Path("受信フォルダ")));
}

TEST_F(SettingsTest, SaveWritesTheCurrentPetThenTheKeysInOrder) {
  Settings s = LoadSettings(store, dir.path()).settings;
  s.currentPetName = "ミミ";
  s.oneClickLaunch = 1;
  s.ordinaryHostExe = U8Path("x.exe");
  OpResult r = SaveSettings(s, store);
  ASSERT_TRUE(r.ok()) << r.Describe();
  EXPECT_EQ(ReadCurrentPet(hostDir).name, "ミミ");
  std::vector<std::string> expected = {"pp_name",    "flg_sopt1", "ppc_name",   "friend_name",
                                       "tz_name",    "tz_dir",    "jyusin_dir", "sousin_dir",
                                       "oyatsu_dir", "flg_opt1",  "pp_dir"};
  EXPECT_EQ(store.order, expected);
  EXPECT_EQ(store.memory.Get("flg_opt1"), "1");
  EXPECT_EQ(store.memory.Get("pp_dir"), PathText(hostDir));
  EXPECT_EQ(store.memory.Get("ppexe1"), std::nullopt);
  EXPECT_EQ(store.memory.Get("cnt_pet"), std::nullopt);
}

TEST_F(SettingsTest, SaveStopsAtTheFirstFailureAndSaysWhere) {
  Settings s = LoadSettings(store, dir.path()).settings;
  s.currentPetName = "🐱";  // CP932 cannot hold it
  OpResult r = SaveSettings(s, store);
  EXPECT_EQ(r.error, MakeError(CoreError::NotCp932));
  EXPECT_TRUE(store.order.empty());
  EXPECT_EQ(ReadBytes(hostDir / U8Path("lupina.dat")), "\"\"\r\n");

  s.currentPetName = "ミミ";
  store.refuse = "tz_name";
  r = SaveSettings(s, store);
  EXPECT_EQ(r.action, Action::SaveSetting);
  EXPECT_EQ(r.key, "tz_name");
  EXPECT_NE(r.Describe().find("tz_name"), std::string::npos);
  EXPECT_EQ(store.order.size(), 4u);

  store.refuse.clear();
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device));
  EXPECT_FALSE(SaveSettings(s, store).ok());
  EXPECT_EQ(store.order.size(), 4u);
}

TEST_F(SettingsTest, UtilityAndSnackManagerReads) {
  store.memory.Set("pp_name", "pp.exe");
  Settings s = ReadSettings(store, dir.path());
  EXPECT_EQ(s.hostExeName, "pp.exe");
  EXPECT_EQ(s.hostFolder, hostDir);
  EXPECT_FALSE(fs::exists(hostDir / U8Path("lupina.dat")));  // the utility's read touches no file
  EXPECT_EQ(ReadHostFolder(store, dir.path()), hostDir);
  EXPECT_EQ(ReadHostExeName(store), "pp.exe");
  MemorySettingsStore empty;
  EXPECT_EQ(ReadHostExeName(empty), "PostPet20.exe");

  EXPECT_TRUE(WritePetCount(store, 2).ok());
  EXPECT_EQ(ReadPetCount(store), 2);
  EXPECT_TRUE(WriteSpecialExes(store, U8Path("a.exe"), {}).ok());
  EXPECT_EQ(store.memory.Get("ppexe1"), "a.exe");
  EXPECT_EQ(store.memory.Get("ppexe2"), "");
}

// On 64-bit Windows the host's 32-bit installer puts it under "Program
// Files (x86)"; the folder the settings give (stored or default) is used
// when it holds the host, the (x86) one when only that one does, and what
// is stored stays as it was.
TEST_F(SettingsTest, TheHostUnderProgramFilesX86IsUsedWhereTheGivenFolderHasNone) {
  const fs::path root = dir / "drive";
  const fs::path given = root / "Program Files" / "So-net" / U8Path("PostPet for Windows ver. 2.0");
  const fs::path x86 = root / "Program Files (x86)" / "So-net" / U8Path("PostPet for Windows ver. 2.0");
  fs::create_directories(x86);
  WriteBytes(x86 / "PostPet20.exe", "host");
  // The default, with nothing stored.
  MemorySettingsStore empty;
#ifndef _WIN32
  EXPECT_EQ(ReadHostFolder(empty, root), x86);
#endif
  // A stored folder without the host: its (x86) twin is used, the stored
  // value written back as it was.
  store.memory.Set("pp_dir", PathText(given));
  LoadReport loaded = LoadSettings(store, dir.path());
  EXPECT_EQ(loaded.settings.hostFolder, x86);
  EXPECT_EQ(loaded.settings.PetCopy("ミミ", Item::kPetFile), x86 / U8Path("ミミ_PostPet設定.ppc"));
  EXPECT_TRUE(fs::exists(x86 / "lupina.dat"));  // the current pet is read from there
  EXPECT_EQ(ReadSettings(store, dir.path()).hostFolder, x86);
  ASSERT_TRUE(SaveSettings(loaded.settings, store).ok());
  EXPECT_EQ(store.memory.Get("pp_dir"), PathText(given));
  // The given folder holds the host as well: it is the one.
  fs::create_directories(given);
  WriteBytes(given / "PostPet20.exe", "host");
  EXPECT_EQ(ReadHostFolder(store, dir.path()), given);
  // Neither does: the given one, as the user will be told.
  fs::remove(given / "PostPet20.exe");
  fs::remove(x86 / "PostPet20.exe");
  EXPECT_EQ(ReadHostFolder(store, dir.path()), given);
  // A folder elsewhere has no twin.
  EXPECT_EQ(HostFolderInUse(hostDir, "PostPet20.exe"), hostDir);
}

TEST(ParseStoredInt, AcceptsSignedDecimalsOnly) {
  int v = 7;
  EXPECT_TRUE(ParseStoredInt("-1", &v));
  EXPECT_EQ(v, -1);
  EXPECT_TRUE(ParseStoredInt(" 12 ", &v));
  EXPECT_EQ(v, 12);
  EXPECT_FALSE(ParseStoredInt("", &v));
  EXPECT_FALSE(ParseStoredInt("1x", &v));
  EXPECT_FALSE(ParseStoredInt("-", &v));
  EXPECT_FALSE(ParseStoredInt("99999999999", &v));
  EXPECT_EQ(v, 12);
}

TEST(ParseStoredInt, TakesSpacesAndOnePlusAroundTheNumberButNothingElse) {
  int v = 7;
  EXPECT_TRUE(ParseStoredInt("+5", &v));
  EXPECT_EQ(v, 5);
  EXPECT_TRUE(ParseStoredInt("  +6  ", &v));
  EXPECT_EQ(v, 6);
  EXPECT_TRUE(ParseStoredInt(" -999999999", &v));
  EXPECT_EQ(v, -999999999);
  EXPECT_TRUE(ParseStoredInt("+000000001", &v));
  EXPECT_EQ(v, 1);
  // One sign only, and the spaces go around the number, not inside it.
  for (const char* text : {"+", " + ", "+-1", "-+1", "++1", "--1", "+ 1", "- 1", "1 2",
                           "\t1", "1\t", "0000000001", "+1000000000"}) {
    EXPECT_FALSE(ParseStoredInt(text, &v)) << text;
  }
  EXPECT_EQ(v, 1);
}

}  // namespace
}  // namespace lup
