// Files another program holds for a moment (an antivirus, the search
// indexer, a sync client): every step that opens, replaces, renames or
// deletes one tries again for a while, then fails as before, naming why.
// The holder is a stand-in of the raw file layer; the waits are counted,
// not slept.
#include <gtest/gtest.h>

#include <system_error>

#include "base/text.h"
#include "core/fileops.h"
#include "core/fsquery.h"
#include "platform/osfile.h"
#include "tests/support/held_files.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;

using test::HeldError;
using test::Holder;

class HeldFiles : public ::testing::Test {
 protected:
  HeldFiles() {
    test::WriteBytes(dir / "new.txt", "new");
    test::WriteBytes(dir / "target.txt", "old");
  }
  test::TempFolder dir{"held"};
};

TEST_F(HeldFiles, AFileHeldForAMomentIsReplacedRenamedReadAndDeletedAfterAFewTries) {
  {
    Holder holder(dir / "target.txt", 4);
    EXPECT_TRUE(Fs().Copy(dir / "new.txt", dir / "target.txt").ok());
    EXPECT_GE(holder.refused, 4);
    EXPECT_LT(holder.waited, os::kHeldPatienceMs);
  }
  EXPECT_EQ(test::ReadBytes(dir / "target.txt"), "new");
  {
    Holder holder(dir / "target.txt", 3);
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(dir / "target.txt", &bytes).ok());
    EXPECT_EQ(bytes, "new");
  }
  {
    Holder holder(dir / "target.txt", 3);
    EXPECT_TRUE(Fs().Rename(dir / "target.txt", dir / "renamed.txt").ok());
  }
  {
    Holder holder(dir / "renamed.txt", 5);
    EXPECT_TRUE(Fs().Delete(dir / "renamed.txt").ok());
    EXPECT_EQ(holder.refused, 5);
  }
  EXPECT_FALSE(fs::exists(dir / "renamed.txt"));
}

TEST_F(HeldFiles, AFileHeldForLongFailsAfterAboutThreeSecondsWithNothingChangedAndSaysWhy) {
  Holder holder(dir / "target.txt", -1);
  const OpResult copied = Fs().Copy(dir / "new.txt", dir / "target.txt");
  ASSERT_FALSE(copied.ok());
  EXPECT_EQ(holder.waited, os::kHeldPatienceMs);
  EXPECT_NE(copied.Describe().find(ReasonText(HeldError())), std::string::npos) << copied.Describe();
  EXPECT_EQ(test::ReadBytes(dir / "target.txt"), "old");
  EXPECT_EQ(test::NamesIn(dir.path()), "new.txt|target.txt");  // no temporary file left
  holder.waited = 0;
  EXPECT_FALSE(Fs().Delete(dir / "target.txt").ok());
  EXPECT_EQ(holder.waited, os::kHeldPatienceMs);
  EXPECT_TRUE(fs::exists(dir / "target.txt"));
}

TEST_F(HeldFiles, OtherFailuresAreNotTriedAgain) {
  Holder holder(dir / "elsewhere.txt", -1);
  EXPECT_FALSE(Fs().Delete(dir / "missing.txt").ok());
  EXPECT_EQ(holder.waited, 0);
#ifdef _WIN32
  // Access denied on a file the user made read-only is no program's hold.
  EXPECT_TRUE(os::IsHeldError(std::error_code(5, std::system_category()), dir / "target.txt"));
  fs::permissions(dir / "target.txt", fs::perms::owner_write, fs::perm_options::remove);
  EXPECT_FALSE(os::IsHeldError(std::error_code(5, std::system_category()), dir / "target.txt"));
  fs::permissions(dir / "target.txt", fs::perms::owner_write, fs::perm_options::add);
#endif
}

}  // namespace
}  // namespace lup
