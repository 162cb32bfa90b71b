#include "core/petname.h"

#include "base/codepage.h"
#include "tests/support/pet_names.h"

#include <gtest/gtest.h>

#include "core/settings.h"
#include "base/text.h"

namespace lup {
namespace {

PetNameProblem Problem(std::string_view name) { return CheckPetNameShape(name).problem; }

TEST(PetName, AcceptsNamesThatCanPrefixAFileAndLiveInCp932) {
  for (const char* name : {"ミミ", "ソ", "表", "能", "ソ表能", "Momo", "a.b", "ｱｲｳ", "CONSOLE", "COM0",
                           "LPT10", "x y", "ﾎﾟｽﾍﾟ", "１２３", "∞"})
    EXPECT_TRUE(CheckPetNameShape(name).ok()) << name;
}

TEST(PetName, RejectsWhatCannotBeAPetsName) {
  EXPECT_EQ(Problem(""), PetNameProblem::Empty);
  EXPECT_EQ(Problem("_"), PetNameProblem::Underscore);
  EXPECT_EQ(Problem("ミミ_2"), PetNameProblem::Underscore);
  EXPECT_EQ(Problem("a\"b"), PetNameProblem::Quote);
  for (const char* name : {"a\\b", "a/b", "a:b", "a*", "a?", "<a", "a>", "a|b", "C:"})
    EXPECT_EQ(Problem(name), PetNameProblem::ForbiddenChar) << name;
  EXPECT_EQ(Problem("a\tb"), PetNameProblem::ControlChar);
  EXPECT_EQ(Problem(std::string("a\0b", 3)), PetNameProblem::ControlChar);
  EXPECT_EQ(Problem("a\x7f"), PetNameProblem::ControlChar);
  EXPECT_EQ(Problem(" ミミ"), PetNameProblem::EdgeSpace);
  EXPECT_EQ(Problem("ミミ "), PetNameProblem::EdgeSpace);
  EXPECT_EQ(Problem("ミミ\u3000"), PetNameProblem::EdgeSpace);
  EXPECT_EQ(Problem("ミミ."), PetNameProblem::TrailingDot);
  EXPECT_EQ(Problem("."), PetNameProblem::TrailingDot);
  EXPECT_EQ(Problem(".."), PetNameProblem::TrailingDot);
  for (const char* name : {"CON", "con", "Prn", "AUX", "nul", "COM1", "com9", "LPT1", "lpt9",
                           "CONIN$", "conout$", "NUL.txt", "con.ミミ", "AUX .x"})
    EXPECT_EQ(Problem(name), PetNameProblem::DeviceName) << name;
  EXPECT_EQ(Problem("🐱"), PetNameProblem::NotCp932);
  EXPECT_EQ(Problem("𠮷"), PetNameProblem::NotCp932);
  EXPECT_EQ(Problem("\xff\xfe"), PetNameProblem::NotCp932);
  EXPECT_FALSE(CheckPetNameShape("_").Reason().empty());
  EXPECT_TRUE(CheckPetNameShape("ミミ").Reason().empty());
}

TEST(PetName, EveryHostileNameIsRefusedWithAReason) {
  Settings s;
  s.hostFolder = U8Path("C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0");
  for (const std::string& name : test::kHostilePetNames) {
    const PetNameCheck check = CheckPetName(StoredPetName(name), s);
    EXPECT_FALSE(check.ok()) << name;
    EXPECT_FALSE(check.Reason().empty()) << name;
  }
  EXPECT_GE(test::kHostilePetNames.size(), 40u);
}

TEST(PetName, EveryOrdinaryNameWorksAsStoredAndReadsBackExactly) {
  Settings s;
  s.hostFolder = U8Path("C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0");
  for (const std::string& typed : test::kPetNames) {
    const std::string name = StoredPetName(typed);
    EXPECT_TRUE(CheckPetName(name, s).ok()) << typed << ": " << CheckPetName(name, s).Reason();
    EXPECT_TRUE(IsSafeNamePart(name)) << typed;
    // What the list files write is what they read back: the name is found.
    const std::optional<std::string> bytes = Utf8ToCp932(name);
    ASSERT_TRUE(bytes.has_value()) << typed;
    EXPECT_EQ(Cp932ToUtf8(*bytes), name) << typed;
  }
  EXPECT_GE(test::kPetNames.size(), 20u);
  // The forms Japanese input gives for characters CP932 keeps under
  // another code become the ones it keeps; nothing else changes.
  EXPECT_EQ(StoredPetName("〜ミミ〜"), "～ミミ～");
  EXPECT_EQ(StoredPetName("a−b‖¢£¬"), "a－b∥￠￡￢");
  EXPECT_EQ(StoredPetName("ミミ"), "ミミ");
}

TEST(PetName, TheLongestPathMustStayWithinWindowsLimits) {
  Settings s;
  s.hostFolder = U8Path("C:\\Program Files\\So-net\\PostPet for Windows ver. 2.0");  // 52
  // 52 + "\bak\" (5) + name + "_" + "受信フォルダ" (6) + "\" + a temporary
  // name (32) = 97 + name: 162 characters fit, 163 do not.
  EXPECT_TRUE(CheckPetName(std::string(162, 'a'), s).ok());
  EXPECT_EQ(CheckPetName(std::string(163, 'a'), s).problem, PetNameProblem::TooLong);
  // Characters count as UTF-16 units, not bytes: 162 × "ミ" fits.
  std::string mi;
  for (int i = 0; i < 162; ++i) mi += "ミ";
  EXPECT_TRUE(CheckPetName(mi, s).ok());
  s.treasureBoxName = std::string(33, 't');  // a longer box file name takes more room
  EXPECT_EQ(CheckPetName(mi, s).problem, PetNameProblem::TooLong);
  s.treasureBoxName = "tzl001.pac";
  s.friendBookName = std::string(36, 'f');  // D\bak\name_f….bak: 98 + name
  EXPECT_EQ(CheckPetName(mi, s).problem, PetNameProblem::TooLong);
  EXPECT_EQ(CheckPetName("a_b", s).problem, PetNameProblem::Underscore);
}

TEST(PetName, NamesReadBackNeedOnlyBeSafeInAPath) {
  EXPECT_TRUE(IsSafeNamePart(""));
  EXPECT_TRUE(IsSafeNamePart("ミミ "));
  EXPECT_TRUE(IsSafeNamePart("a_b"));
  EXPECT_TRUE(IsSafeNamePart("CON"));
  EXPECT_FALSE(IsSafeNamePart(".."));
  EXPECT_FALSE(IsSafeNamePart("..\\x"));
  EXPECT_FALSE(IsSafeNamePart("a/b"));
  EXPECT_FALSE(IsSafeNamePart("a\nb"));
  EXPECT_FALSE(IsSafeNamePart("\xff"));
}

}  // namespace
}  // namespace lup
