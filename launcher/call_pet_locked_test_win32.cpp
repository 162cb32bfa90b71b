// Calls on real Windows files (under Wine): files that another program holds
// open without sharing, and files marked read-only, in every place a call
// reads or replaces. The call stops where it meets one, names it, loses
// nothing, and the next call once the file is free does the whole work.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>

#include "base/text.h"
#include "launcher/call_pet_fixture.h"
#include "platform/osfile.h"

namespace lup {
namespace {

using test::CallPetFixture;
using test::Files;
using ui::Answer;

constexpr ShareFlags kOwn{0, 0, 0, 0};

class LockedFileTest : public ::testing::Test, public CallPetFixture {
 protected:
  void SetUp() override {
    PutPet("ミミ");
    PutPet("ポチ");
    PutItems("共有/", "shared");
    PutItems("", "ミミ");
    Put("受信フォルダ/ミミ-new.txt", "ミミ new mail");
    AddRow("ミミ", kOwn);
    AddRow("ポチ", kOwn);
    SetCurrent("ミミ");
  }
  void TearDown() override {
    os::SetHeldFilesSeam({});
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
  }
  // Another program holds the file open and shares nothing.
  void Hold(const std::string& relative) {
    held_ = CreateFileW(At(relative).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held_, INVALID_HANDLE_VALUE) << relative;
  }
  void Release() {
    CloseHandle(held_);
    held_ = INVALID_HANDLE_VALUE;
  }
  void ReadOnly(const std::string& relative, bool on) {
    ASSERT_TRUE(SetFileAttributesW(At(relative).c_str(),
                                   on ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
  }
  // After the file is free again, a call does the whole work.
  void ThenACallSucceeds(Files expected) {
    ui.VerifyAllAnswered();
    settings.currentPetName = CurrentOnDisk() == "ミミ" ? "ミミ" : "";
    ASSERT_EQ(CallByName("ポチ"), CallOutcome::HostStarted);
    Files disk = Snapshot();
    disk.erase("lupina.dat");
    EXPECT_EQ(disk, expected);
  }
  Files Expected() {
    Files model = Snapshot();
    model.erase("lupina.dat");
    test::ModelPutAway(model, "ミミ", kOwn);
    test::ModelBringIn(model, "ポチ", kOwn);
    return model;
  }

  HANDLE held_ = INVALID_HANDLE_VALUE;
};

TEST_F(LockedFileTest, AHostFileHeldOpenStopsThePutAwayBeforeAnythingIsDeleted) {
  const Files expected = Expected();
  const Files before = Snapshot();
  Hold("受信フォルダ/ミミ-new.txt");
  ui.ExpectMessage(Answer::kOk)
      .TextHas("ミミのデータを保存できなかったため、呼び出しを中止します")
      .TextHas(PathText(At("受信フォルダ/ミミ-new.txt")))
      .With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::PutAwayFailed);
  EXPECT_EQ(CurrentOnDisk(), "ミミ");
  EXPECT_TRUE(processes.started.empty());
  Release();
  for (const auto& [path, bytes] : before) {
    if (path.rfind("ミミ_", 0) != 0 && path != "lupina.dat") {
      EXPECT_EQ(Snapshot()[path], bytes) << path;
    }
  }
  ThenACallSucceeds(expected);
}

// Held for a moment, as an antivirus scanning a fresh mail does: the call
// meets the file held and waits; the file is let go during that wait, and
// the call does the whole work.
TEST_F(LockedFileTest, AHostFileHeldForAMomentIsWaitedForAndTheCallGoesThrough) {
  const Files expected = Expected();
  Hold("受信フォルダ/ミミ-new.txt");
  std::atomic<int> waits = 0;  // the folder's files are copied from a few threads
  os::SetHeldFilesSeam({nullptr, [&](int) {
                          if (waits++ == 0) Release();
                        }});
  const CallOutcome outcome = CallByName("ポチ");
  os::SetHeldFilesSeam({});
  EXPECT_GE(waits, 1) << "the call never met the held file";
  ASSERT_EQ(outcome, CallOutcome::HostStarted);
  Files disk = Snapshot();
  disk.erase("lupina.dat");
  EXPECT_EQ(disk, expected);
}

TEST_F(LockedFileTest, AReadOnlyPetFileStopsThePutAwayAndKeepsTheHostsData) {
  // A friend more in the host: her copy must be replaced (a copy onto the
  // same bytes would write nothing, read-only or not).
  Put("おともだち帳", "ミミ friends, one more");
  const Files expected = Expected();
  ReadOnly("ミミ_おともだち帳", true);
  ui.ExpectMessage(Answer::kOk)
      .TextHas(PathText(At("ミミ_おともだち帳")))
      .With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::PutAwayFailed);
  EXPECT_EQ(CurrentOnDisk(), "ミミ");
  EXPECT_EQ(test::ReadBytes(At("おともだち帳")), "ミミ friends, one more");
  EXPECT_EQ(test::ReadBytes(At("ミミ_おともだち帳")), "ミミ friends");
  ReadOnly("ミミ_おともだち帳", false);
  ThenACallSucceeds(expected);
}

TEST_F(LockedFileTest, TheCalledPetsFileHeldOpenStopsTheBringInWithHerPredecessorSaved) {
  const Files expected = Expected();
  Hold("ポチ_送信フォルダ/ポチ-out.txt");
  ui.ExpectMessage(Answer::kOk)
      .TextHas("ポチのデータをポストペットに移せなかったため、ポストペットを起動しません")
      .TextHas(PathText(At("ポチ_送信フォルダ/ポチ-out.txt")))
      .With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::BringInFailed);
  EXPECT_EQ(CurrentOnDisk(), "");
  EXPECT_EQ(test::ReadBytes(At("ミミ_受信フォルダ/ミミ-new.txt")), "ミミ new mail");
  EXPECT_TRUE(processes.started.empty());
  Release();
  ThenACallSucceeds(expected);
}

TEST_F(LockedFileTest, AReadOnlyCurrentPetFileStopsTheCallWithTheDataPutAway) {
  const Files expected = Expected();
  ReadOnly("lupina.dat", true);
  ui.ExpectMessage(Answer::kOk)
      .TextHas("呼び出し中のペットの記録を消せなかったため、呼び出しを中止します")
      .TextHas(PathText(At("lupina.dat")))
      .With(ui::Icon::kCritical);
  EXPECT_EQ(CallByName("ポチ"), CallOutcome::BringInFailed);
  EXPECT_EQ(CurrentOnDisk(), "ミミ");
  EXPECT_EQ(test::ReadBytes(At("PostPet設定.ppc")), "ミミ settings");
  ReadOnly("lupina.dat", false);
  ThenACallSucceeds(expected);
}

}  // namespace
}  // namespace lup
