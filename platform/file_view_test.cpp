// The host's view of a folder whose files the host keeps in the user's
// VirtualStore, on a real folder that refuses every change (as Program Files
// does to a standard user).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/host_view.h"
#include "platform/osfile.h"
#include "tests/support/temp_folder.h"

namespace lup {
namespace {

namespace fs = std::filesystem;

class VirtualStoreView : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(real());
    fs::create_directories(store());
    os::RefuseChangesUnder(real());
    os::UseVirtualStore(real(), store());
  }
  void TearDown() override {
    os::UseVirtualStore({}, {});
    os::RefuseChangesUnder({});
  }

  fs::path real() const { return tmp / "Program Files/PP"; }
  fs::path store() const { return tmp / "VirtualStore/Program Files/PP"; }
  fs::path R(std::string_view name) const { return real() / U8Path(name); }
  fs::path V(std::string_view name) const { return store() / U8Path(name); }

  static void Put(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path());
    test::WriteBytes(path, bytes);
  }
  static std::string Seen(const fs::path& path) {
    std::string bytes;
    return os::ReadWhole(path, &bytes) ? "<none>" : bytes;
  }
  static std::error_code Write(const fs::path& path, std::string_view bytes) {
    os::File file;
    if (std::error_code e = os::CreateNew(path, &file)) return e;
    if (std::error_code e = file.WriteAll(bytes.data(), bytes.size())) return e;
    return file.Close();
  }
  std::string Listed(std::string_view folder) const {
    std::vector<os::FolderItem> items;
    if (std::error_code e = os::ListOneFolder(R(folder), &items)) return "error";
    std::vector<std::string> names;
    for (const os::FolderItem& item : items)
      names.push_back(NameText(item.name) + (item.folder ? "/" : "") + "=" + Seen(R(folder) / item.name));
    std::sort(names.begin(), names.end());
    std::string out;
    for (const std::string& n : names) out += n + " ";
    return out;
  }

  test::TempFolder tmp{"view"};
};

TEST_F(VirtualStoreView, TheRealFolderRefusesChangesWithoutTheView) {
  // What the tests below rely on: any change that reaches the real folder fails.
  os::UseVirtualStore({}, {});
  EXPECT_EQ(Write(R("new.txt"), "x"), std::errc::permission_denied);
  Put(R("a.txt"), "real");
  EXPECT_EQ(os::DeleteOneFile(R("a.txt")), std::errc::permission_denied);
  EXPECT_EQ(os::MakeOneFolder(R("sub")), std::errc::permission_denied);
  EXPECT_EQ(Seen(R("a.txt")), "real");
}

TEST_F(VirtualStoreView, ReadsAndListingsShowTheStoreCopyOverTheRealOne) {
  Put(R("a.txt"), "real a");
  Put(V("a.txt"), "store a");
  Put(R("only real.txt"), "real b");
  Put(V("受信フォルダ/0001.txt"), "mail");
  Put(R("受信フォルダ/0000.txt"), "old mail");
  EXPECT_EQ(Seen(R("a.txt")), "store a");
  EXPECT_EQ(Seen(R("only real.txt")), "real b");
  EXPECT_EQ(Seen(R("受信フォルダ/0001.txt")), "mail");
  os::EntryInfo entry;
  ASSERT_FALSE(os::LookUp(R("a.txt"), &entry));
  EXPECT_EQ(entry.size, 7u);
  EXPECT_TRUE(os::NameTaken(R("受信フォルダ/0001.txt")));
  EXPECT_FALSE(os::NameTaken(R("none.txt")));
  EXPECT_EQ(Listed(""), "a.txt=store a only real.txt=real b 受信フォルダ/=<none> ");
  EXPECT_EQ(Listed("受信フォルダ"), "0000.txt=old mail 0001.txt=mail ");
  // A folder only the store has, and one neither has.
  Put(V("おやつ/x.pac"), "snack");
  EXPECT_EQ(Listed("おやつ"), "x.pac=snack ");
  std::vector<os::FolderItem> items;
  EXPECT_TRUE(os::ListOneFolder(R("none"), &items));
  // Letter case does not make two names of one.
  Put(R("受信フォルダ/mail.txt"), "real");
  Put(V("受信フォルダ/MAIL.TXT"), "store");
  EXPECT_EQ(Listed("受信フォルダ").find("mail.txt"), std::string::npos);
}

TEST_F(VirtualStoreView, NewFilesAndFoldersGoToTheStore) {
  Put(R("宝物/box.txt"), "real box");
  ASSERT_FALSE(Write(R("宝物/new.txt"), "new"));  // a folder only the real one has
  EXPECT_EQ(test::ReadBytes(V("宝物/new.txt")), "new");
  EXPECT_FALSE(fs::exists(R("宝物/new.txt")));
  ASSERT_FALSE(os::MakeOneFolder(R("ミミ_宝物")));
  EXPECT_TRUE(fs::is_directory(V("ミミ_宝物")));
  // Names the view already has, from either side, are taken.
  EXPECT_TRUE(os::MakeOneFolder(R("宝物")));
  EXPECT_TRUE(Write(R("宝物/box.txt"), "x"));
  // A folder the view lacks is not made on the way.
  EXPECT_TRUE(Write(R("none/x.txt"), "x"));
  EXPECT_FALSE(fs::exists(V("none")));
  // The store's own folder is made when it is missing.
  fs::remove_all(tmp / "VirtualStore");
  ASSERT_FALSE(Write(R("first.txt"), "1"));
  EXPECT_EQ(test::ReadBytes(V("first.txt")), "1");
}

TEST_F(VirtualStoreView, AFileWrittenOverOrChangedInPlaceGetsItsCopyInTheStore) {
  Put(R("PostPet設定.ppc"), "installed");
  Put(R("受信フォルダ/0001.txt"), "old");
  ASSERT_FALSE(Write(R("t.tmp"), "new settings"));
  ASSERT_FALSE(os::ReplaceByRename(R("t.tmp"), R("PostPet設定.ppc")));
  EXPECT_EQ(Seen(R("PostPet設定.ppc")), "new settings");
  EXPECT_EQ(test::ReadBytes(R("PostPet設定.ppc")), "installed");
  // In place: copied to the store first, then changed there.
  os::File file;
  ASSERT_FALSE(os::OpenEdit(R("受信フォルダ/0001.txt"), &file));
  ASSERT_FALSE(file.Seek(0));
  ASSERT_FALSE(file.WriteAll("n", 1));
  ASSERT_FALSE(file.Close());
  EXPECT_EQ(Seen(R("受信フォルダ/0001.txt")), "nld");
  EXPECT_EQ(test::ReadBytes(R("受信フォルダ/0001.txt")), "old");
  EXPECT_EQ(test::NamesIn(V("受信フォルダ")), "0001.txt");
}

TEST_F(VirtualStoreView, WhatTheRealFolderHoldsIsNeverClaimedRemoved) {
  Put(R("real.txt"), "real");
  Put(R("both.txt"), "real both");
  Put(V("both.txt"), "store both");
  Put(V("store.txt"), "store");
  EXPECT_TRUE(os::IsInRealFolderError(os::DeleteOneFile(R("real.txt"))));
  EXPECT_TRUE(os::IsInRealFolderError(os::DeleteOneFile(R("both.txt"))));
  EXPECT_EQ(Seen(R("both.txt")), "store both");  // nothing was removed
  EXPECT_FALSE(os::DeleteOneFile(R("store.txt")));
  EXPECT_FALSE(os::NameTaken(R("store.txt")));
  EXPECT_TRUE(os::IsInRealFolderError(os::RenameNoReplace(R("real.txt"), R("moved.txt"))));
  EXPECT_FALSE(os::NameTaken(R("moved.txt")));
  // A second name for a real file: the caller is told to copy it instead.
  EXPECT_TRUE(os::IsNoHardLink(os::HardLink(R("real.txt"), R("link.txt"))));
  EXPECT_FALSE(os::HardLink(R("both.txt"), R("link.txt")));
  EXPECT_EQ(test::ReadBytes(V("link.txt")), "store both");
  // A folder: only the store's is removed, and only when the real one is not there.
  Put(V("empty/.keep"), "");
  fs::remove(V("empty/.keep"));
  EXPECT_FALSE(os::RemoveEmptyFolder(R("empty")));
  fs::create_directories(R("real folder"));
  EXPECT_TRUE(os::IsInRealFolderError(os::RemoveEmptyFolder(R("real folder"))));
  EXPECT_TRUE(fs::is_directory(R("real folder")));
}

TEST_F(VirtualStoreView, NamesOutsideTheFolderAndTheViewSwitchedOffAreThemselves) {
  const fs::path outside = tmp / "elsewhere/a.txt";
  Put(outside, "x");
  EXPECT_FALSE(os::DeleteOneFile(outside));
  os::UseVirtualStore({}, {});
  os::RefuseChangesUnder({});
  Put(V("a.txt"), "store");
  EXPECT_EQ(Seen(R("a.txt")), "<none>");
  ASSERT_FALSE(Write(R("a.txt"), "real"));
  EXPECT_EQ(test::ReadBytes(R("a.txt")), "real");
}

}  // namespace
}  // namespace lup
