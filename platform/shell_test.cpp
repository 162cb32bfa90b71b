// Shortcut files made and read back by this system's own shell (under Wine
// the Unicode shell-link object), and the file test of the icon chooser.
#include "platform/shell.h"

#include <gtest/gtest.h>

#include "base/text.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;

TEST(Shortcut, EveryFieldComesBackAsWrittenWithCharactersOutsideTheCodePages) {
  test::TempFolder temp;
  // "ŝ" is in neither the Japanese nor the Western ANSI code page.
  const fs::path programs = temp / "プログラム ŝ";
  fs::create_directories(programs);
  test::WriteBytes(programs / U8Path("lupina.exe"), "MZ");
  Shortcut link;
  link.target = programs / U8Path("lupina.exe");
  link.arguments = "ミミŝ";
  link.workingFolder = temp / "PostPet for Windows ver. 2.0";
  link.iconFile = programs / U8Path("lupina.exe");
  link.iconIndex = 2;
  link.showCommand = 0;
  link.hotKey = 0;
  const ShortcutBytes made = EncodeShortcut(link);
  ASSERT_TRUE(made.ok()) << made.error.message();
  ASSERT_FALSE(made.bytes.empty());
  const fs::path file = programs / U8Path("ミミŝ.LNK");
  test::WriteBytes(file, made.bytes);

  std::error_code error;
  const std::optional<Shortcut> back = ReadShortcut(file, &error);
  ASSERT_TRUE(back) << error.message();
  EXPECT_EQ(PathText(back->target), PathText(link.target));
  EXPECT_EQ(back->arguments, "ミミŝ");
  EXPECT_EQ(PathText(back->workingFolder), PathText(link.workingFolder));
  EXPECT_EQ(PathText(back->iconFile), PathText(link.iconFile));
  EXPECT_EQ(back->iconIndex, 2);
  EXPECT_EQ(back->showCommand, 1);  // 0 is a normal window to the link format
  EXPECT_EQ(back->hotKey, 0);
}

TEST(Shortcut, EmptyFieldsStayUnsetAndAnEmptyTargetIsRefused) {
  test::TempFolder temp;
  test::WriteBytes(temp / "a.exe", "MZ");
  Shortcut link;
  link.target = temp / "a.exe";
  const ShortcutBytes made = EncodeShortcut(link);
  ASSERT_TRUE(made.ok());
  test::WriteBytes(temp / "a.lnk", made.bytes);
  const std::optional<Shortcut> back = ReadShortcut(temp / "a.lnk");
  ASSERT_TRUE(back);
  EXPECT_EQ(back->arguments, "");
  EXPECT_EQ(PathText(back->workingFolder), "");
  EXPECT_EQ(PathText(back->iconFile), "");

  EXPECT_FALSE(EncodeShortcut(Shortcut{}).ok());
  test::WriteBytes(temp / "not a link.lnk", "hello");
  std::error_code error;
  EXPECT_FALSE(ReadShortcut(temp / "not a link.lnk", &error));
  EXPECT_TRUE(error);
  EXPECT_FALSE(ReadShortcut(temp / "missing.lnk"));
}

TEST(Shortcut, ShowCommandsTheLinkFormatDoesNotKnowMeanANormalWindow) {
  EXPECT_EQ(KnownShowCommand(0), 1);
  EXPECT_EQ(KnownShowCommand(1), 1);
  EXPECT_EQ(KnownShowCommand(3), 3);
  EXPECT_EQ(KnownShowCommand(7), 7);
  EXPECT_EQ(KnownShowCommand(2), 1);
#ifndef _WIN32
  // The native build's stand-in file without the line (found by fuzzing).
  test::TempFolder temp;
  test::WriteBytes(temp / "no show.lnk", "[lupina shortcut]\ntarget=/x\n");
  const std::optional<Shortcut> read = ReadShortcut(temp / "no show.lnk");
  ASSERT_TRUE(read);
  EXPECT_EQ(read->showCommand, 1);
#endif
}

TEST(IconStart, OnlyAWritableOrdinaryFileCounts) {
  test::TempFolder temp;
  const fs::path file = temp / "lupina.exe";
  test::WriteBytes(file, "MZ");
  EXPECT_TRUE(IsArchiveOnlyFile(file));
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_FALSE(IsArchiveOnlyFile(file));  // read-only
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_FALSE(IsArchiveOnlyFile(temp / "missing.exe"));
  EXPECT_FALSE(IsArchiveOnlyFile(temp.path()));  // a folder
}

}  // namespace
}  // namespace lup
