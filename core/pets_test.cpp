#include "core/pets.h"

#include <gtest/gtest.h>

#include "core/fileops.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

TEST(ListPets, NamesBeforeTheFirstUnderscoreInListingOrder) {
  TempFolder d;
  WriteBytes(d / "PostPet設定.ppc", "");  // the host's own file
  WriteBytes(d / "ミミ_PostPet設定.ppc", "");
  WriteBytes(d / "A_B_PostPet設定.ppc", "");
  WriteBytes(d / "b_postpet設定.PPC", "");  // letter case does not matter
  WriteBytes(d / "c_PostPet設定.ppc.bak", "");
  WriteBytes(d / "ミミ_おともだち帳", "");
  std::filesystem::create_directory(d / "F_PostPet設定.ppc");  // a folder is no pet
  std::vector<std::string> pets;
  EXPECT_TRUE(ListPets(d.path(), "PostPet設定.ppc", &pets).ok());
  EXPECT_EQ(pets, (std::vector<std::string>{"A", "b", "ミミ"}));
  EXPECT_TRUE(ListPets(d / "none", "PostPet設定.ppc", &pets).ok());
  EXPECT_TRUE(pets.empty());
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailReadsOf(d.path(), std::make_error_code(std::errc::permission_denied));
  const OpResult unlisted = ListPets(d.path(), "PostPet設定.ppc", &pets);
  EXPECT_EQ(unlisted.action, Action::List);
  EXPECT_EQ(unlisted.path, d.path());
  EXPECT_TRUE(pets.empty());

  std::string pet;
  EXPECT_TRUE(PetNameOfFile("_PostPet設定.ppc", &pet));
  EXPECT_EQ(pet, "");
  EXPECT_FALSE(PetNameOfFile("PostPet設定.ppc", &pet));
}

// A box of `length` zero bytes with `tag` written at `at`.
std::string Box(std::size_t length) { return std::string(length, '\x01'); }
void Put(std::string& box, std::size_t at, std::string_view text) { box.replace(at, text.size(), text); }

TEST(ResetTreasureTags, ClearsTheValueSixteenBytesAfterEachTag) {
  std::string box = Box(100);
  Put(box, 0, "BEAR");
  Put(box, 30, "CAT");
  Put(box, 60, "KAME");
  std::string expected = box;
  Put(expected, 16, std::string(2, '\0'));
  Put(expected, 46, std::string(2, '\0'));
  Put(expected, 76, std::string(2, '\0'));
  EXPECT_TRUE(ResetTreasureTagsInBytes(box));
  EXPECT_EQ(box, expected);
  EXPECT_FALSE(ResetTreasureTagsInBytes(box));  // nothing left to change
}

TEST(ResetTreasureTags, SkipsSeventeenBytesAfterATag) {
  std::string box = Box(60);
  Put(box, 0, "NONE");
  Put(box, 10, "RABI");  // inside the skipped stretch: not examined
  std::string expected = box;
  Put(expected, 16, std::string(2, '\0'));
  ResetTreasureTagsInBytes(box);
  EXPECT_EQ(box, expected);
}

TEST(ResetTreasureTags, StopsAtTheBitmap) {
  std::string box = Box(80);
  Put(box, 5, "BM6");
  Put(box, 20, "BEAR");
  std::string before = box;
  EXPECT_FALSE(ResetTreasureTagsInBytes(box));
  EXPECT_EQ(box, before);
}

TEST(ResetTreasureTags, ShortFilesAndTheEnd) {
  std::string empty, one = "C";
  EXPECT_FALSE(ResetTreasureTagsInBytes(empty));
  EXPECT_FALSE(ResetTreasureTagsInBytes(one));
  EXPECT_EQ(one, "C");
  // "CA" + past-the-end zero is no tag; a tag in the last byte is never read.
  std::string end = Box(20);
  Put(end, 18, "CA");
  std::string before = end;
  EXPECT_FALSE(ResetTreasureTagsInBytes(end));
  EXPECT_EQ(end, before);
  // A tag whose value lies partly past the end: the file does not grow.
  std::string near = Box(20);
  Put(near, 3, "CAT");
  EXPECT_TRUE(ResetTreasureTagsInBytes(near));
  ASSERT_EQ(near.size(), 20u);
  EXPECT_EQ(near[19], '\0');
  EXPECT_EQ(near[18], '\x01');
  std::string far = Box(10);
  Put(far, 0, "BEAR");
  before = far;
  EXPECT_FALSE(ResetTreasureTagsInBytes(far));
  EXPECT_EQ(far, before);
}

TEST(ResetTreasureTags, ChangesTheFileThroughTheFunnel) {
  FileOps ops;
  ScopedFileOps use(ops);
  TempFolder d;
  std::string box = Box(40);
  Put(box, 2, "BEAR");
  WriteBytes(d / "tzl001.pac", box);
  ASSERT_TRUE(ResetTreasureTags(d / "tzl001.pac").ok());
  std::string after = ReadBytes(d / "tzl001.pac");
  EXPECT_EQ(after.size(), 40u);
  EXPECT_EQ(after.substr(18, 2), std::string(2, '\0'));
  EXPECT_EQ(ops.Count(), 1);
  // Unchanged content: no write at all.
  ASSERT_TRUE(ResetTreasureTags(d / "tzl001.pac").ok());
  EXPECT_EQ(ops.Count(), 1);
  WriteBytes(d / "one.pac", "B");
  EXPECT_TRUE(ResetTreasureTags(d / "one.pac").ok());
  EXPECT_EQ(ReadBytes(d / "one.pac"), "B");
  OpResult missing = ResetTreasureTags(d / "none.pac");
  EXPECT_EQ(missing.action, Action::Read);
  EXPECT_TRUE(IsNotFound(missing.error));
}

}  // namespace
}  // namespace lup
