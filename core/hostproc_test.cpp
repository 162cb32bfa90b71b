#include "core/hostproc.h"

#include <gtest/gtest.h>

namespace lup {
namespace {

TEST(IsHostRunning, MatchesTheHostInAnyCaseWithOrWithoutAPath) {
  EXPECT_TRUE(IsHostRunning({"explorer.exe", "postpet20.exe"}, "PostPet20.exe"));
  EXPECT_TRUE(IsHostRunning({"C:\\Program Files\\So-net\\POSTPET20.EXE"}, "PostPet20.exe"));
  EXPECT_TRUE(IsHostRunning({"ノクタ用_PostPet20.exe"}, "PostPet20.exe"));
  EXPECT_FALSE(IsHostRunning({"explorer.exe", "PostPet2.exe"}, "PostPet20.exe"));
  EXPECT_FALSE(IsHostRunning({}, "PostPet20.exe"));
  // Full-width letters are upper-cased too.
  EXPECT_TRUE(IsHostRunning({"ｐｏｓｔ.exe"}, "ＰＯＳＴ.EXE"));
}

TEST(IsHostRunning, NeverTakesTheLauncherForTheHost) {
  EXPECT_FALSE(IsHostRunning({"lupina.exe"}, "lupina.exe"));
  EXPECT_FALSE(IsHostRunning({"PostPet20.exe-LUPINA.EXE"}, "PostPet20.exe"));
  EXPECT_TRUE(IsHostRunning({"Lupina.exe", "postpet20.exe"}, "PostPet20.exe"));
  // The name counts up to its first NUL only.
  EXPECT_FALSE(IsHostRunning({std::string("x.exe\0PostPet20.exe", 19)}, "PostPet20.exe"));
}

TEST(IsHostRunning, AnEmptyHostNameMatchesNothing) {
  EXPECT_FALSE(IsHostRunning({"explorer.exe"}, ""));
}

}  // namespace
}  // namespace lup
