// A call while another program (an antivirus, a sync client) holds a file
// it puts away: it waits for it, or stops with everything saved.
#include <gtest/gtest.h>

#include <optional>

#include "launcher/call_pet_fixture.h"
#include "tests/support/held_files.h"

namespace lup {
namespace {

namespace fs = std::filesystem;

// The host's friend book held by another program while a call puts it away.
TEST(HeldFilesCall, ACallWaitsForAHeldFileOrStopsWithEverythingSaved) {
  for (const int tries : {6, -1}) {
    SCOPED_TRACE(tries < 0 ? "held for long" : "held for a moment");
    test::CallPetFixture f;
    f.PutPet("ミミ");
    f.PutPet("ソラ");
    f.PutItems("", "ミミ");
    f.Put("おともだち帳", "ミミ friends, newest");
    f.AddRow("ミミ");
    f.AddRow("ソラ");
    f.SetCurrent("ミミ");
    const test::Files before = f.Snapshot();
    if (tries < 0) f.ui.ExpectMessage(ui::Answer::kOk).TextHas("ミミのデータを保存できなかったため");
    std::optional<test::Holder> holder;
    holder.emplace(f / "ミミ_おともだち帳", tries);
    const CallOutcome outcome = f.CallByName("ソラ");
    holder.reset();
    f.ui.VerifyAllAnswered();
    if (tries > 0) {
      EXPECT_EQ(outcome, CallOutcome::HostStarted);
      EXPECT_EQ(f.Read("ミミ_おともだち帳"), "ミミ friends, newest");
      EXPECT_EQ(f.CurrentOnDisk(), "ソラ");
    } else {
      EXPECT_EQ(outcome, CallOutcome::PutAwayFailed);
      EXPECT_EQ(f.Snapshot(), before);
      EXPECT_TRUE(f.processes.started.empty());
    }
  }
}

}  // namespace
}  // namespace lup
