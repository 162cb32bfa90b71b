#include "core/fsquery.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "base/text.h"
#include "base/unicode.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

using test::TempFolder;
using test::WriteBytes;

TEST(Wildcard, MatchesAsWindowsDoesIgnoringCase) {
  EXPECT_TRUE(WildcardMatch("*.*", "a.b"));
  EXPECT_TRUE(WildcardMatch("*.*", "おともだち帳"));  // no dot
  EXPECT_TRUE(WildcardMatch("*.pac", "ケーキ.PAC"));
  EXPECT_FALSE(WildcardMatch("*.pac", "tzl001.pac.bak"));
  EXPECT_TRUE(WildcardMatch("*_PostPet設定.ppc", "ミミ_postpet設定.PPC"));
  EXPECT_TRUE(WildcardMatch("*_PostPet設定.ppc", "A_B_PostPet設定.ppc"));
  EXPECT_FALSE(WildcardMatch("*_PostPet設定.ppc", "PostPet設定.ppc"));
  EXPECT_TRUE(WildcardMatch("*おやつ", "ミミ_おやつ"));
  EXPECT_TRUE(WildcardMatch("*おやつ", "おやつ"));
  EXPECT_FALSE(WildcardMatch("*おやつ", "おやつ箱"));
  EXPECT_TRUE(WildcardMatch("a?c", "abc"));
  EXPECT_FALSE(WildcardMatch("a?c", "ac"));
  EXPECT_TRUE(WildcardMatch("abc.*", "abc"));
  EXPECT_TRUE(WildcardMatch("*.", "readme"));
  EXPECT_FALSE(WildcardMatch("*.", "read.me"));
  // Letters beyond ASCII compare without case too.
  EXPECT_TRUE(WildcardMatch("ＡＢ*", "ａｂｃ"));
  EXPECT_TRUE(WildcardMatch("café", "CAFÉ"));
  EXPECT_FALSE(WildcardMatch("あ", "ア"));
}

TEST(Wildcard, AStarInTheNameIsMatchedByTheWildCard) {
  // Names off Windows may hold '*' and '?'; the pattern's '*' still stands for
  // any run of characters there.
  EXPECT_TRUE(WildcardMatch("*", "*\\"));
  EXPECT_TRUE(WildcardMatch("*.pac", "*x.pac"));
  EXPECT_TRUE(WildcardMatch("a*", "a*b"));
  EXPECT_TRUE(WildcardMatch("*_PostPet設定.ppc", "*_PostPet設定.ppc"));
  EXPECT_FALSE(WildcardMatch("*.pac", "*.pa"));
}

TEST(NameOrder, IsTheOrdinalOrderOfUpperCasedUtf16) {
  std::vector<std::string> names = {"_x", "b", "A", "Z", "a1", "ｂ", "Ａ", "𠮷", "ｱ", "あ", "é", "F"};
  std::sort(names.begin(), names.end(), NameOrderLess);
  // '_' (5F) comes after the upper-cased letters; é sorts as É (C9); the
  // surrogate pair of 𠮷 (D842) comes before the half-width katakana (FF71)
  // and the full-width letters (FF21...).
  std::vector<std::string> expected = {"A", "a1", "b", "F", "Z", "_x", "é", "あ", "𠮷", "Ａ", "ｂ", "ｱ"};
  EXPECT_EQ(names, expected);
  EXPECT_FALSE(NameOrderLess("abc", "abc"));
  // Names that differ only in case (possible off Windows) still get one order.
  EXPECT_NE(NameOrderLess("abc", "ABC"), NameOrderLess("ABC", "abc"));
}

TEST(ListFolder, ChoosesFilesOrFoldersInListingOrder) {
  TempFolder dir;
  WriteBytes(dir / "b_PostPet設定.ppc", "");
  WriteBytes(dir / "A_PostPet設定.ppc", "");
  WriteBytes(dir / "PostPet設定.ppc", "");
  std::filesystem::create_directory(dir / "c_PostPet設定.ppc");
  std::filesystem::create_directory(dir / "ミミ_おやつ");
  WriteBytes(dir / "ミミ_おやつ/x.pac", "");

  std::vector<std::string> files;
  ASSERT_TRUE(ListMatching(dir.path(), "*_PostPet設定.ppc", Pick::Files, &files).ok());
  EXPECT_EQ(files, (std::vector<std::string>{"A_PostPet設定.ppc", "b_PostPet設定.ppc"}));
  ASSERT_TRUE(ListMatching(dir.path(), "*_PostPet設定.ppc", Pick::Folders, &files).ok());
  EXPECT_EQ(files, std::vector<std::string>{"c_PostPet設定.ppc"});
  ASSERT_TRUE(ListMatching(dir.path(), "*.*", Pick::Both, &files).ok());
  EXPECT_EQ(files.size(), 5u);
  // A missing folder holds nothing; one that cannot be listed is an error.
  EXPECT_TRUE(ListMatching(dir / "none", "*.*", Pick::Both, &files).ok());
  EXPECT_TRUE(files.empty());
  const OpResult notAFolder = ListMatching(dir / "ミミ_おやつ/x.pac", "*.*", Pick::Both, &files);
  EXPECT_EQ(notAFolder.action, Action::List);

  Listing both = ListFolder(dir.path(), "*", Pick::Both);
  ASSERT_EQ(both.entries.size(), 5u);
  EXPECT_FALSE(both.error);
  EXPECT_EQ(both.entries[0].name, "A_PostPet設定.ppc");
  EXPECT_EQ(both.entries[2].name, "c_PostPet設定.ppc");
  EXPECT_TRUE(both.entries[2].isFolder);
  EXPECT_EQ(both.entries[3].name, "PostPet設定.ppc");
  EXPECT_EQ(both.entries[4].name, "ミミ_おやつ");

  Listing missing = ListFolder(dir / "none", "*.*", Pick::Both);
  EXPECT_TRUE(missing.entries.empty());
  EXPECT_TRUE(missing.error);
}

// The stamps come with the names from the same listing, for the files
// listed only, and are those the folder's own listing gives.
TEST(ListFolder, AStampedListingGivesEachFileListedItsStamp) {
  TempFolder dir;
  WriteBytes(dir / "ケーキ.pac", "12345");
  WriteBytes(dir / "readme.txt", "");
  std::filesystem::create_directory(dir / "箱.pac");
  FolderStamps stamps{{u"LEFT OVER", {}}};
  const Listing listing = ListFolder(dir.path(), "*.pac", Pick::Both, &stamps);
  ASSERT_EQ(listing.entries.size(), 2u);
  EXPECT_EQ(listing.entries[0].name, "ケーキ.pac");
  EXPECT_EQ(listing.entries[0].key, UpcasedUtf16("ケーキ.pac"));
  EXPECT_EQ(listing.entries[1].name, "箱.pac");
  ASSERT_EQ(stamps.size(), 1u);
  const auto cake = stamps.find(UpcasedUtf16("ケーキ.pac"));
  ASSERT_NE(cake, stamps.end());
  EXPECT_EQ(cake->second.size, 5u);
  std::vector<os::FolderItem> items;
  ASSERT_FALSE(os::ListOneFolder(dir.path(), &items, /*stamps=*/true));
  for (const os::FolderItem& item : items)
    if (item.name == std::filesystem::path(U8Path("ケーキ.pac"))) EXPECT_EQ(item.stamp, cake->second);
  // Every file, for a copy between folders.
  FilesListed files;
  ASSERT_TRUE(ListFiles(dir.path(), /*withStamps=*/true, &files).ok());
  EXPECT_EQ(files.names, (std::vector<std::string>{"readme.txt", "ケーキ.pac"}));
  EXPECT_EQ(files.keys, (std::vector<std::u16string>{u"README.TXT", UpcasedUtf16("ケーキ.pac")}));
  EXPECT_EQ(files.stamps.size(), 2u);
  ASSERT_TRUE(ListFiles(dir / "none", /*withStamps=*/true, &files).ok());
  EXPECT_TRUE(files.names.empty() && files.stamps.empty());
  EXPECT_EQ(ListFiles(dir / "ケーキ.pac", false, &files).action, Action::List);
}

#ifndef _WIN32
// A link is what it leads to, whether or not stamps are asked for; one that
// leads nowhere is neither a file nor a folder.
TEST(ListFolder, ALinkIsListedAsWhatItLeadsTo) {
  TempFolder dir;
  WriteBytes(dir / "mail", "x");
  std::filesystem::create_directory(dir / "box");
  std::filesystem::create_symlink(dir / "mail", dir / "to-mail");
  std::filesystem::create_directory_symlink(dir / "box", dir / "to-box");
  std::filesystem::create_symlink(dir / "gone", dir / "to-nothing");
  for (const bool stamped : {false, true}) {
    FilesListed files;
    std::vector<std::string> folders;
    ASSERT_TRUE(ListFiles(dir.path(), stamped, &files).ok());
    ASSERT_TRUE(ListMatching(dir.path(), "*", Pick::Folders, &folders).ok());
    EXPECT_EQ(files.names, (std::vector<std::string>{"mail", "to-mail"}));
    EXPECT_EQ(folders, (std::vector<std::string>{"box", "to-box"}));
    EXPECT_EQ(files.stamps.size(), stamped ? 2u : 0u);
  }
}
#endif

TEST(Existence, FilesFoldersAndMatches) {
  TempFolder dir;
  WriteBytes(dir / "file", "x");
  std::filesystem::create_directory(dir / "empty");
  std::filesystem::create_directory(dir / "only-sub");
  std::filesystem::create_directory(dir / "only-sub/sub");

  EXPECT_TRUE(FileExists(dir / "file"));
  EXPECT_FALSE(FileExists(dir / "empty"));
  EXPECT_FALSE(FileExists(dir / "none"));
  EXPECT_FALSE(FileExists({}));
  // A plain file takes the name as a folder does.
  EXPECT_TRUE(EntryExists(dir / "empty"));
  EXPECT_TRUE(EntryExists(dir / "file"));
  EXPECT_FALSE(EntryExists(dir / "none"));
  EXPECT_TRUE(IsFolder(dir / "empty"));
  EXPECT_FALSE(IsFolder(dir / "file"));

  EXPECT_TRUE(AnyFileMatches(dir.path()));
  EXPECT_FALSE(AnyFileMatches(dir / "empty"));
  EXPECT_FALSE(AnyFileMatches(dir / "only-sub"));
  EXPECT_FALSE(AnyFileMatches(dir / "none"));

  EXPECT_EQ(FileLength(dir / "file"), 1);
  EXPECT_EQ(FileLength(dir / "empty"), -1);
}

}  // namespace
}  // namespace lup
