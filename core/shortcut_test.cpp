#include "core/shortcut.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "core/fileops.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

TEST(ShortcutFile, TheNameGetsLnkUnlessItEndsInItInAnyLetterCase) {
  EXPECT_EQ(ShortcutFileName("abc"), "abc.LNK");
  EXPECT_EQ(ShortcutFileName("x.lnk"), "x.lnk");
  EXPECT_EQ(ShortcutFileName("X.LnK"), "X.LnK");
  EXPECT_EQ(ShortcutFileName("lnk"), "lnk.LNK");
  EXPECT_EQ(ShortcutFileName("ミミ"), "ミミ.LNK");
  EXPECT_EQ(ShortcutFileName(".lnk"), ".lnk");
  EXPECT_EQ(ShortcutFileName(""), ".LNK");
  EXPECT_EQ(ShortcutFileName("a.lnkx"), "a.lnkx.LNK");
  EXPECT_EQ(ShortcutFileName("ミミ.LNK"), "ミミ.LNK");
  // Full-width letters are other letters than the ending's.
  EXPECT_EQ(ShortcutFileName("ミミ.ｌｎｋ"), "ミミ.ｌｎｋ.LNK");
  EXPECT_EQ(ShortcutFileName("ミミ.ＬＮＫ"), "ミミ.ＬＮＫ.LNK");
}

TEST(ShortcutFile, WrittenWholeOrNotAtAll) {
  test::TempFolder temp;
  test::WriteBytes(temp / "lupina.exe", "MZ");
  Shortcut link;
  link.target = temp / "lupina.exe";
  link.arguments = "ミミ";
  const auto file = temp / "ミミ.LNK";
  test::WriteBytes(file, "an older shortcut");
  ASSERT_TRUE(WriteShortcut(file, link).ok());
  const std::optional<Shortcut> back = ReadShortcut(file);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->arguments, "ミミ");

  // A full disk: the old shortcut stays, no temporary file is left.
  const std::string before = test::ReadBytes(file);
  FileOps ops;
  ScopedFileOps scope(ops);
  ops.FailAt(1, std::make_error_code(std::errc::no_space_on_device), false, FaultPoint::BeforeReplace);
  link.arguments = "ソラ";
  const OpResult r = WriteShortcut(file, link);
  ASSERT_FALSE(r.ok());
  EXPECT_EQ(r.path, file);
  EXPECT_NE(r.Describe().find("ディスクの空き容量が足りません"), std::string::npos);
  EXPECT_EQ(test::ReadBytes(file), before);
  EXPECT_EQ(test::NamesIn(temp.path()), "lupina.exe|ミミ.LNK");

  // A shortcut that cannot be made is reported for its file.
  const OpResult empty = WriteShortcut(temp / "x.LNK", Shortcut{});
  EXPECT_FALSE(empty.ok());
  EXPECT_EQ(empty.path, temp / "x.LNK");
}

}  // namespace
}  // namespace lup
