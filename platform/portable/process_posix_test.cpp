// Waiting natively: the pump keeps running and the CPU stays idle.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "platform/test_support.h"

namespace lup {
namespace {

std::chrono::microseconds CpuTime() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto us = [](const timeval& t) { return std::chrono::seconds(t.tv_sec) + std::chrono::microseconds(t.tv_usec); };
  return us(usage.ru_utime) + us(usage.ru_stime);
}

TEST(WaitForProcessNative, PumpsWhileWaitingWithoutSpinning) {
  StartResult started = StartProgram(testing::SleeperPath(), "--sleep 1000", {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  int pumps = 0;
  const auto cpuBefore = CpuTime();
  EXPECT_EQ(WaitForProcess(started.process, [&] { ++pumps; }), 0u);
  const auto cpu = CpuTime() - cpuBefore;
  EXPECT_GE(pumps, 10);     // events keep flowing all along
  EXPECT_LT(pumps, 1000);   // but not in a tight loop
  EXPECT_LT(cpu, std::chrono::milliseconds(150));
}

TEST(WaitForProcessNative, KilledProgramEndsTheWait) {
  StartResult started = StartProgram(testing::SleeperPath(), "--sleep 60000", {}, ShowState::NormalFocus);
  ASSERT_TRUE(started.ok) << started.errorText;
  kill(static_cast<pid_t>(started.process.id()), SIGKILL);
  EXPECT_EQ(WaitForProcess(started.process, [] {}), 128u + SIGKILL);
}

}  // namespace
}  // namespace lup
