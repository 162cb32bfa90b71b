// Paths past MAX_PATH: a pet's folder deep in the host folder holds them
// (the host folder's path, the pet's name, the backup's own folders).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/text.h"
#include "platform/osfile.h"
#include "platform/win32/system_name.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;

TEST(SystemName, ShortNamesStayAsTheyAreAndLongOnesTakeTheWholeForm) {
  EXPECT_EQ(os::SystemName(L"C:\\PP/受信フォルダ/0001.txt"), L"C:\\PP\\受信フォルダ\\0001.txt");
  const std::wstring deep(300, L'a');
  EXPECT_EQ(os::SystemName(L"C:\\PP\\" + deep + L"\\..\\" + deep + L"/x.txt"),
            L"\\\\?\\C:\\PP\\" + deep + L"\\x.txt");
  EXPECT_EQ(os::SystemName(L"\\\\server\\share\\" + deep), L"\\\\?\\UNC\\server\\share\\" + deep);
  const std::wstring already = L"\\\\?\\C:\\" + deep;
  EXPECT_EQ(os::SystemName(already), already);
}

TEST(LongPaths, EveryRawStepWorksPastMaxPath) {
  test::TempFolder tmp("long");
  fs::path folder = tmp.path();
  std::vector<fs::path> made;
  while (folder.wstring().size() < 320) {
    folder /= U8Path("ミミ_受信フォルダ_とても長い名前のフォルダ");
    ASSERT_FALSE(os::MakeOneFolder(folder)) << PathText(folder);
    made.push_back(folder);
  }
  const fs::path file = folder / "0001.txt";
  ASSERT_GT(file.wstring().size(), static_cast<std::size_t>(MAX_PATH));
  os::File out;
  ASSERT_FALSE(os::CreateNew(folder / "t.tmp", &out));
  ASSERT_FALSE(out.WriteAll("mail", 4));
  ASSERT_FALSE(out.Sync());
  ASSERT_FALSE(out.Close());
  ASSERT_FALSE(os::ReplaceByRename(folder / "t.tmp", file));
  std::string bytes;
  ASSERT_FALSE(os::ReadWhole(file, &bytes));
  EXPECT_EQ(bytes, "mail");
  os::EntryInfo entry;
  ASSERT_FALSE(os::LookUp(file, &entry));
  EXPECT_TRUE(entry.file);
  EXPECT_EQ(entry.size, 4u);
  std::vector<fs::path> paths = {file};
  fs::path failed;
  EXPECT_FALSE(os::SyncFiles(paths, &failed));
  ASSERT_FALSE(os::HardLink(file, folder / "kept.txt"));
  ASSERT_FALSE(os::RenameNoReplace(folder / "kept.txt", folder / "0002.txt"));
  std::vector<os::FolderItem> items;
  ASSERT_FALSE(os::ListOneFolder(folder, &items));
  ASSERT_EQ(items.size(), 2u);
  EXPECT_TRUE(items[0].file && items[1].file);
  EXPECT_FALSE(os::DeleteOneFile(file));
  EXPECT_FALSE(os::DeleteOneFile(folder / "0002.txt"));
  EXPECT_FALSE(os::NameTaken(file));
  for (auto it = made.rbegin(); it != made.rend(); ++it) EXPECT_FALSE(os::RemoveEmptyFolder(*it));
  EXPECT_FALSE(os::NameTaken(made.front()));
}

}  // namespace
}  // namespace lup
