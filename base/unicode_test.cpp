#include "base/unicode.h"

#include <gtest/gtest.h>

namespace lup {
namespace {

TEST(UpcasedCodePoints, UpcasesEachCharacterAndKeepsBytesThatAreNotUtf8) {
  EXPECT_EQ(UpcasedCodePoints(""), U"");
  EXPECT_EQ(UpcasedCodePoints("a.lnk"), U"A.LNK");
  EXPECT_EQ(UpcasedCodePoints("ミミ_ÿ"), U"ミミ_\u0178");
  EXPECT_EQ(UpcasedCodePoints("ｌｎｋ"), U"ＬＮＫ");
  // A stray byte stands for itself (U+DC00 + byte) and is never a letter.
  EXPECT_EQ(UpcasedCodePoints("a\xFF"), std::u32string(U"A") + char32_t{0xDCFF});
  EXPECT_EQ(UpperCase("ミミ_ÿ.lnk"), "ミミ_\u0178.LNK");
}

}  // namespace
}  // namespace lup
