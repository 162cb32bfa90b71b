// A call on a host folder under Program Files whose data the host keeps in
// the user's VirtualStore: it ends as the same call on a plain folder ends,
// and the real folder, which refuses every change, is left as it was.
#include <gtest/gtest.h>

#include "base/text.h"
#include "launcher/call_pet_fixture.h"
#include "core/fsquery.h"
#include "core/same_files.h"
#include "core/settings.h"
#include "platform/host_view.h"

namespace lup {
namespace {

namespace fs = std::filesystem;

void Fill(test::CallPetFixture& f) {
  f.PutPet("ミミ");
  f.PutPet("ソラ");
  f.PutItems("", "ミミ");
  f.Put("受信フォルダ/0003.txt", "ミミ mail, newest");
  f.AddRow("ミミ");
  f.AddRow("ソラ");
  f.SetCurrent("ミミ");
}

test::Files FilesUnder(const fs::path& folder) {
  test::Files files;
  const std::string notes = std::string(kSameFilesFolderName) + "/";  // ours, not data
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    if (entry.is_regular_file() &&
        PathText(entry.path().lexically_relative(folder).generic_u8string()).rfind(notes, 0) != 0)
      files[PathText(entry.path().lexically_relative(folder).generic_u8string())] =
          test::ReadBytes(entry.path());
  return files;
}

class VirtualStoreCall : public ::testing::Test {
 protected:
  // Everything of D but the host program moves to the store, where the host
  // wrote it; D itself refuses changes from now on.
  void MoveIntoStore(test::CallPetFixture& f, const std::vector<std::string>& keepReal = {}) {
    store_ = f.Programs().parent_path() / "VirtualStore" / "PostPet";
    fs::create_directories(store_);
    for (const auto& entry : fs::directory_iterator(f.D())) {
      const std::string name = NameText(entry.path());
      if (name != "PostPet20.exe") fs::rename(entry.path(), store_ / entry.path().filename());
    }
    for (const std::string& relative : keepReal) {
      fs::create_directories((f / relative).parent_path());
      fs::rename(store_ / U8Path(relative), f / relative);
    }
    os::RefuseChangesUnder(f.D());
    os::UseVirtualStore(f.D(), store_);
  }
  void TearDown() override {
    os::UseVirtualStore({}, {});
    os::RefuseChangesUnder({});
  }
  fs::path store_;
};

TEST_F(VirtualStoreCall, ACallEndsAsOnAPlainFolderAndLeavesTheRealOneAlone) {
  test::CallPetFixture plain;
  Fill(plain);
  ASSERT_EQ(plain.CallByName("ソラ"), CallOutcome::HostStarted);

  test::CallPetFixture f;
  Fill(f);
  MoveIntoStore(f, {"おともだち帳"});  // an installed file the host never changed
  const test::Files real = f.Snapshot();
  ASSERT_EQ(f.CallByName("ソラ"), CallOutcome::HostStarted);
  f.ui.VerifyAllAnswered();
  EXPECT_EQ(f.Snapshot(), real);
  // The host's view: the store over the real folder.
  test::Files seen = real;
  for (const auto& [name, bytes] : FilesUnder(store_)) seen[name] = bytes;
  test::Files expected = plain.Snapshot();
  EXPECT_EQ(seen, expected);
  EXPECT_EQ(f.CurrentOnDisk(), "ソラ");
}

TEST_F(VirtualStoreCall, AFileOnlyTheRealFolderHoldsStopsTheCallNamedAndNothingIsLost) {
  test::CallPetFixture f;
  Fill(f);
  // A mail the host had before it was redirected: the call cannot remove it
  // from the host's folder when it brings ソラ's mail in.
  MoveIntoStore(f, {"受信フォルダ/0003.txt"});
  const test::Files real = f.Snapshot();
  std::string said;
  f.ui.answer_unscripted = [&](const ui::Message& m) {
    said += m.text + "\n";
    return ui::Answer::kOk;
  };
  EXPECT_NE(f.CallByName("ソラ"), CallOutcome::HostStarted);
  EXPECT_NE(said.find("0003.txt"), std::string::npos) << said;
  EXPECT_NE(said.find("保護されたフォルダ"), std::string::npos) << said;
  EXPECT_EQ(f.Snapshot(), real);
  EXPECT_TRUE(f.processes.started.empty());
  // ミミ's newest mail is kept in her own copies.
  EXPECT_EQ(test::ReadBytes(store_ / U8Path("ミミ_受信フォルダ/0003.txt")), "ミミ mail, newest");
  EXPECT_EQ(FilesUnder(store_).count("ソラ_PostPet設定.ppc"), 1u);
}

// What Windows says decides, at each read of the settings, how every name
// under D is taken.
class HostViewFromSettings : public ::testing::Test {
 protected:
  void Answer(os::HostViewFacts facts) {
    os::SetHostViewSeam([facts](const fs::path&, const fs::path&) { return facts; });
  }
  void TearDown() override {
    os::SetHostViewSeam(nullptr);
    os::UseHostView({}, os::HostView::kReal, {});
  }
};

TEST_F(HostViewFromSettings, ARedirectedHostPutsTheProgramsOnItsStoreAndAnyOtherAnswerTakesThemOff) {
  test::CallPetFixture f;
  const fs::path store = f.Programs().parent_path() / "VirtualStore";
  fs::create_directories(store);
  os::HostViewFacts facts;
  facts.protectedFolder = true;
  facts.virtualization = true;
  facts.hostRedirected = true;
  facts.folderWritable = false;
  facts.store = store;
  facts.storeExists = true;
  Answer(facts);
  f.Put("受信フォルダ/0001.txt", "real");
  fs::create_directories(store / U8Path("受信フォルダ"));
  test::WriteBytes(store / U8Path("受信フォルダ/0001.txt"), "store");
  Settings s = ReadSettings(f.store, f.Programs());
  EXPECT_EQ(s.hostView, os::HostView::kVirtualStore);
  EXPECT_EQ(s.hostDataFolder, store);
  std::string bytes;
  ASSERT_TRUE(ReadFileBytes(f / "受信フォルダ/0001.txt", &bytes).ok());
  EXPECT_EQ(bytes, "store");
  // Any fact that keeps Windows from redirecting: D as it is.
  for (int which = 0; which < 4; ++which) {
    os::HostViewFacts other = facts;
    if (which == 0) other.protectedFolder = false;
    if (which == 1) other.virtualization = false;
    if (which == 2) other.hostRedirected = false;
    if (which == 3) other.folderWritable = true;
    Answer(other);
    s = ReadSettings(f.store, f.Programs());
    EXPECT_EQ(s.hostView, os::HostView::kReal) << which;
    ASSERT_TRUE(ReadFileBytes(f / "受信フォルダ/0001.txt", &bytes).ok());
    EXPECT_EQ(bytes, "real") << which;
  }
}

TEST_F(HostViewFromSettings, RunElevatedBesideTheUsersStoreNothingIsChanged) {
  test::CallPetFixture f;
  Fill(f);
  os::HostViewFacts facts;
  facts.protectedFolder = true;
  facts.elevated = true;
  facts.virtualization = true;
  facts.hostRedirected = true;
  facts.store = f.Programs().parent_path() / "VirtualStore";
  facts.storeExists = true;
  Answer(facts);
  EXPECT_EQ(ReadSettings(f.store, f.Programs()).hostView, os::HostView::kElevatedBesideStore);
  const test::Files before = f.Snapshot();
  f.ui.ExpectMessage(ui::Answer::kOk).TextHas("管理者として実行されています").TextHas("ふつうに起動");
  EXPECT_EQ(f.CallByName("ソラ"), CallOutcome::DataBusy);
  f.ui.VerifyAllAnswered();
  EXPECT_EQ(f.Snapshot(), before);
  EXPECT_TRUE(f.processes.started.empty());
  // Without a store of the user's, elevated is as Windows has it: D itself.
  facts.storeExists = false;
  Answer(facts);
  EXPECT_EQ(ReadSettings(f.store, f.Programs()).hostView, os::HostView::kReal);
  EXPECT_EQ(f.CallByName("ソラ"), CallOutcome::HostStarted);
}

}  // namespace
}  // namespace lup
