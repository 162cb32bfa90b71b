#include "platform/win32/wide.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace lup {
namespace {

TEST(Wide, RoundTripsJapaneseAndCharactersBeyondTheBmp) {
  for (const std::string& text : {std::string(""), std::string("ascii"), std::string("ルピナ・ヴィラ"),
                                  std::string("ソ表能\\"), std::string("𠮷🐱"), std::string("ﾊﾞｰｼﾞｮﾝ")}) {
    EXPECT_EQ(Narrow(Wide(text)), text);
    EXPECT_EQ(WideStrict(text), Wide(text));
    EXPECT_EQ(NarrowStrict(Wide(text)), text);
  }
  EXPECT_EQ(Wide("𠮷"), std::wstring(L"\xD842\xDFB7"));
  EXPECT_EQ(Wide("共有"), std::wstring(L"\x5171\x6709"));
}

TEST(Wide, BrokenTextIsReplacedOrRefused) {
  EXPECT_EQ(Wide("a\xFF" "b"), std::wstring(L"a\xFFFD" L"b"));
  EXPECT_EQ(WideStrict("a\xFF" "b"), std::nullopt);
  const std::wstring lone(L"x\xD800y");
  EXPECT_EQ(NarrowStrict(lone), std::nullopt);
  EXPECT_EQ(Narrow(lone), "x\xEF\xBF\xBDy");
}

TEST(Wide, EmbeddedNulSurvives) {
  const std::string text("a\0b", 3);
  EXPECT_EQ(Wide(text).size(), 3u);
  EXPECT_EQ(Narrow(Wide(text)), text);
}

TEST(SystemErrorText, GivesTheSystemsWordsWithoutALineBreak) {
  const std::string text = SystemErrorText(ERROR_FILE_NOT_FOUND);
  ASSERT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
  EXPECT_NE(text.back(), '\r');
  EXPECT_NE(text, SystemErrorText(ERROR_ACCESS_DENIED));
  EXPECT_EQ(SystemErrorText(0x2FFFFFFF), "エラー 805306367");
}

}  // namespace
}  // namespace lup
