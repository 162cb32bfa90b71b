// A temporary file kept open from its write to its rename, renamed through
// its handle; where the system refuses that, closed and renamed by name;
// every other failure reported as the rename by name reports it.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/osfile.h"
#include "platform/win32/system_name.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;

std::error_code Win(DWORD code) { return std::error_code(static_cast<int>(code), std::system_category()); }

class RenameOpen : public ::testing::Test {
 protected:
  void SetUp() override {
    os::SetOpenRenameSeam({refuse, [this](const fs::path& to, bool byHandle) {
                             routes.push_back(NameText(to.filename()) + (byHandle ? ":handle" : ":name"));
                           }});
    os::SetHeldFilesSeam({{}, [](int) {}});
  }
  void TearDown() override {
    os::SetOpenRenameSeam({});
    os::SetHeldFilesSeam({});
  }
  // A temporary `name` in the folder holding `bytes`, flushed through its
  // handle, still open.
  void Stage(os::File* file, const fs::path& temp, std::string_view bytes) {
    ASSERT_FALSE(os::CreateNewToRename(temp, file));
    ASSERT_FALSE(file->WriteAll(bytes.data(), bytes.size()));
    ASSERT_FALSE(file->StartWriteOut());
    fs::path failed;
    ASSERT_FALSE(os::SyncFiles({temp}, &failed, {file}));
  }
  static void Put(const fs::path& path, std::string_view bytes) {
    os::File file;
    ASSERT_FALSE(os::CreateNew(path, &file));
    ASSERT_FALSE(file.WriteAll(bytes.data(), bytes.size()));
    ASSERT_FALSE(file.Close());
  }
  static std::string Bytes(const fs::path& path) {
    std::string bytes;
    return os::ReadWhole(path, &bytes) ? "<none>" : bytes;
  }

  std::function<std::error_code(const fs::path&)> refuse;
  std::vector<std::string> routes;
  test::TempFolder dir{"rename-open"};
};

TEST_F(RenameOpen, ReplacesAndMakesNewNamesThroughTheHandleAlsoPastMaxPath) {
  fs::path folder = dir.path();
  std::vector<fs::path> made;
  while (folder.wstring().size() < 300) {
    folder /= U8Path("ミミ_受信フォルダ_とても長い名前のフォルダ");
    ASSERT_FALSE(os::MakeOneFolder(folder));
    made.push_back(folder);
  }
  for (const fs::path& where : {dir.path(), folder}) {
    SCOPED_TRACE(PathText(where));
    routes.clear();
    Put(where / "old.mail", "old");
    os::File a, b;
    Stage(&a, where / "t1.tmp", "new");
    Stage(&b, where / "t2.tmp", "fresh");
    EXPECT_FALSE(os::ReplaceOpenByRename(a, where / "t1.tmp", where / "old.mail"));
    EXPECT_FALSE(os::ReplaceOpenByRename(b, where / "t2.tmp", where / U8Path("新しい.mail")));
    EXPECT_FALSE(a.open());
    EXPECT_FALSE(b.open());
    EXPECT_EQ(Bytes(where / "old.mail"), "new");
    EXPECT_EQ(Bytes(where / U8Path("新しい.mail")), "fresh");
    EXPECT_FALSE(os::NameTaken(where / "t1.tmp"));
    EXPECT_FALSE(os::NameTaken(where / "t2.tmp"));
    EXPECT_EQ(routes, (std::vector<std::string>{"old.mail:handle", "新しい.mail:handle"}));
    // Closed: nothing of ours keeps the files from going.
    EXPECT_FALSE(os::DeleteOneFile(where / "old.mail"));
    EXPECT_FALSE(os::DeleteOneFile(where / U8Path("新しい.mail")));
  }
  for (auto it = made.rbegin(); it != made.rend(); ++it) EXPECT_FALSE(os::RemoveEmptyFolder(*it));
}

TEST_F(RenameOpen, WhereTheSystemRefusesTheHandleTheNameServes) {
  for (DWORD code : {ERROR_INVALID_PARAMETER, ERROR_NOT_SUPPORTED, ERROR_INVALID_FUNCTION}) {
    SCOPED_TRACE(code);
    routes.clear();
    refuse = [code](const fs::path&) { return Win(code); };
    SetUp();
    Put(dir / "old.mail", "old");
    os::File file;
    Stage(&file, dir / "t.tmp", "new " + std::to_string(code));
    EXPECT_FALSE(os::ReplaceOpenByRename(file, dir / "t.tmp", dir / "old.mail"));
    EXPECT_FALSE(file.open());
    EXPECT_EQ(Bytes(dir / "old.mail"), "new " + std::to_string(code));
    EXPECT_FALSE(os::NameTaken(dir / "t.tmp"));
    EXPECT_EQ(routes, std::vector<std::string>{"old.mail:name"});
    EXPECT_FALSE(os::DeleteOneFile(dir / "old.mail"));
  }
}

TEST_F(RenameOpen, RealFailuresAreReportedAsTheRenameByNameReportsThem) {
  Put(dir / "old.mail", "old");
  // A full disk: no second try by name, the target untouched, the
  // temporary closed (its owner removes it).
  refuse = [](const fs::path&) { return Win(ERROR_DISK_FULL); };
  SetUp();
  os::File file;
  Stage(&file, dir / "t.tmp", "new");
  EXPECT_EQ(os::ReplaceOpenByRename(file, dir / "t.tmp", dir / "old.mail"), Win(ERROR_DISK_FULL));
  EXPECT_FALSE(file.open());
  EXPECT_EQ(Bytes(dir / "old.mail"), "old");
  EXPECT_FALSE(os::DeleteOneFile(dir / "t.tmp"));

  // A target another program holds: tried again while it does, then its
  // error, which is still taken for a hold.
  int tries = 0;
  refuse = [&](const fs::path&) {
    ++tries;
    return Win(ERROR_ACCESS_DENIED);
  };
  SetUp();
  Stage(&file, dir / "t.tmp", "new");
  const std::error_code held = os::ReplaceOpenByRename(file, dir / "t.tmp", dir / "old.mail");
  EXPECT_EQ(held, Win(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(os::IsHeldError(held, dir / "old.mail"));
  EXPECT_GT(tries, 2);
  EXPECT_EQ(Bytes(dir / "old.mail"), "old");
  EXPECT_FALSE(os::DeleteOneFile(dir / "t.tmp"));

  // One that lets go within a moment: renamed through the handle after all.
  tries = 0;
  refuse = [&](const fs::path&) { return ++tries < 3 ? Win(ERROR_SHARING_VIOLATION) : std::error_code(); };
  SetUp();
  routes.clear();
  Stage(&file, dir / "t.tmp", "new");
  EXPECT_FALSE(os::ReplaceOpenByRename(file, dir / "t.tmp", dir / "old.mail"));
  EXPECT_EQ(Bytes(dir / "old.mail"), "new");
  EXPECT_EQ(routes, std::vector<std::string>{"old.mail:handle"});

  // A target the user marked read-only is never replaced.
  refuse = {};
  SetUp();
  SetFileAttributesW(os::SystemName(dir / "old.mail").c_str(), FILE_ATTRIBUTE_READONLY);
  Stage(&file, dir / "t.tmp", "newer");
  const std::error_code readOnly = os::ReplaceOpenByRename(file, dir / "t.tmp", dir / "old.mail");
  EXPECT_EQ(readOnly, Win(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(os::IsHeldError(readOnly, dir / "old.mail"));
  EXPECT_EQ(Bytes(dir / "old.mail"), "new");
  EXPECT_FALSE(os::DeleteOneFile(dir / "t.tmp"));
  SetFileAttributesW(os::SystemName(dir / "old.mail").c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
}  // namespace lup
