#include "platform/program.h"

#include <gtest/gtest.h>

#include "base/text.h"

namespace lup {
namespace {

TEST(Program, FolderHoldsTheRunningProgram) {
  const std::filesystem::path exe = ProgramPath();
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(exe.is_absolute());
  EXPECT_TRUE(std::filesystem::is_regular_file(exe));
  EXPECT_EQ(ProgramFolder(), exe.parent_path());
  EXPECT_TRUE(std::filesystem::is_directory(ProgramFolder()));
  EXPECT_EQ(NameText(exe).rfind("platform_test", 0), 0u) << PathText(exe);
}

TEST(Program, VersionIsTheProjectVersion) {
  const VersionNumber expected{TEST_VERSION_MAJOR, TEST_VERSION_MINOR, TEST_VERSION_PATCH};
  EXPECT_EQ(ProgramVersion(), expected);
  EXPECT_EQ(BuiltVersion(), expected);
}

}  // namespace
}  // namespace lup
