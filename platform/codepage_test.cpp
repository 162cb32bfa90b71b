#include "base/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lup {
namespace {

struct Pair {
  std::string utf8;
  std::string cp932;
};

// Characters whose bytes files written on Japanese Windows really hold.
const std::vector<Pair> kPairs = {
    {"", ""},
    {"Pochi 01 ~\\", "Pochi 01 ~\\"},
    // Second byte 0x5C, the backslash: must never be taken for a separator.
    {"ソ", "\x83\x5C"},
    {"表", "\x95\x5C"},
    {"能", "\x94\x5C"},
    {"ソ表能\\", "\x83\x5C\x95\x5C\x94\x5C\x5C"},
    {"ﾊﾞｰｼﾞｮﾝ情報", "\xCA\xDE\xB0\xBC\xDE\xAE\xDD\x8F\xEE\x95\xF1"},
    {"∞", "\x81\x87"},
    {"共有", "\x8B\xA4\x97\x4C"},
    {"PostPet設定.ppc", "PostPet\x90\xDD\x92\xE8.ppc"},
    // Where CP932 differs from plain Shift_JIS.
    {"＼～∥－￠￡￢", "\x81\x5F\x81\x60\x81\x61\x81\x7C\x81\x91\x81\x92\x81\xCA"},
    // NEC special characters.
    {"①㈱", "\x87\x40\x87\x8A"},
    {"\r\n", "\r\n"},
};

TEST(Codepage, KnownTextConvertsBothWays) {
  for (const Pair& p : kPairs) {
    SCOPED_TRACE(p.utf8);
    EXPECT_EQ(Utf8ToCp932(p.utf8), p.cp932);
    EXPECT_EQ(Cp932ToUtf8(p.cp932), p.utf8);
  }
}

TEST(Codepage, EveryHalfWidthKatakanaRoundTrips) {
  for (int b = 0xA1; b <= 0xDF; ++b) {
    const std::string byte(1, static_cast<char>(b));
    const auto text = Cp932ToUtf8(byte);
    ASSERT_TRUE(text.has_value()) << b;
    EXPECT_EQ(text->size(), 3u) << b;
    EXPECT_EQ(Utf8ToCp932(*text), byte) << b;
  }
}

TEST(Codepage, EmbeddedNulIsKept) {
  const std::string withNul("a\0b", 3);
  EXPECT_EQ(Utf8ToCp932(withNul), withNul);
  EXPECT_EQ(Cp932ToUtf8(withNul), withNul);
}

TEST(Codepage, TextThatCp932CannotHoldIsReportedNotReplaced) {
  for (const std::string& text : {
           std::string("🐱"),                   // emoji (outside the BMP)
           std::string("𠮷"),                   // kanji outside the BMP
           std::string("한국어"),               // hangul
           std::string("é"),                   // Latin-1 accent
           std::string("¥"),                   // would come back as a backslash
           std::string("〜"),                  // wave dash: CP932 has only the full-width tilde
           std::string("ポチ🐱"),              // good text with one bad character
       }) {
    SCOPED_TRACE(text);
    EXPECT_EQ(Utf8ToCp932(text), std::nullopt);
  }
}

TEST(Codepage, InvalidUtf8IsRefused) {
  EXPECT_EQ(Utf8ToCp932("\xFF"), std::nullopt);
  EXPECT_EQ(Utf8ToCp932("abc\xE3\x81"), std::nullopt);      // cut off
  EXPECT_EQ(Utf8ToCp932("\xC0\xAF"), std::nullopt);         // overlong "/"
  EXPECT_EQ(Utf8ToCp932("\xED\xA0\x80"), std::nullopt);     // a surrogate
}

TEST(Codepage, InvalidCp932IsRefused) {
  EXPECT_EQ(Cp932ToUtf8("\x83"), std::nullopt);             // lead byte at the end
  EXPECT_EQ(Cp932ToUtf8("ab\x83"), std::nullopt);
  EXPECT_EQ(Cp932ToUtf8("\x81\x20"), std::nullopt);         // trail byte out of range
  EXPECT_EQ(Cp932ToUtf8("\x85\x40"), std::nullopt);         // unassigned row
}

TEST(Codepage, DuplicateCodesReadAndWriteOneWay) {
  // The IBM kanji exist twice (NEC-selected and IBM rows); both read, one is written.
  const auto nec = Cp932ToUtf8("\xED\x40");
  const auto ibm = Cp932ToUtf8("\xFA\x5C");
  ASSERT_TRUE(nec.has_value());
  EXPECT_EQ(nec, ibm);
  EXPECT_EQ(Utf8ToCp932(*nec), "\xFA\x5C");
}

}  // namespace
}  // namespace lup
