// Waiting natively: the pump keeps running and the CPU stays idle.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/test_support.h"

namespace lup {
namespace {

// How often this program gave the processor away of its own accord (slept,
// waited).
long VoluntarySwitches() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_nvcsw;
}

// The sleeper runs until the pump has run ten times: the wait can only end
// after it kept pumping. Between two pumps the wait rests: each round gives
// the processor away, where a tight loop would pump on without ever.
TEST(WaitForProcessNative, PumpsWhileWaitingWithoutSpinning) {
  testing::TempFolder tmp("pump");
  const auto stop = tmp / "stop";
  StartResult started =
      StartProgram(testing::SleeperPath(), "--until " + testing::Quoted(stop), {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  long pumps = 0;
  const long switchesBefore = VoluntarySwitches();
  EXPECT_EQ(WaitForProcess(started.process,
                           [&] {
                             if (++pumps == 10) testing::WriteBytes(stop, "");
                           }),
            0u);
  const long switches = VoluntarySwitches() - switchesBefore;
  EXPECT_GE(pumps, 10);
  EXPECT_GE(switches, pumps / 2) << pumps << " pumps";
}

TEST(WaitForProcessNative, KilledProgramEndsTheWait) {
  StartResult started = StartProgram(testing::SleeperPath(), "--sleep 60000", {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  kill(static_cast<pid_t>(started.process.id()), SIGKILL);
  EXPECT_EQ(WaitForProcess(started.process, [] {}), 128u + SIGKILL);
}

}  // namespace
}  // namespace lup
