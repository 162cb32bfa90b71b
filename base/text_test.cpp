#include "base/text.h"

#include <gtest/gtest.h>

namespace lup {
namespace {

TEST(ParseDecimal, ReadsAnOptionalMinusAndUpToNineDigits) {
  EXPECT_EQ(ParseDecimal("0"), 0);
  EXPECT_EQ(ParseDecimal("-0"), 0);
  EXPECT_EQ(ParseDecimal("7"), 7);
  EXPECT_EQ(ParseDecimal("-1"), -1);
  EXPECT_EQ(ParseDecimal("007"), 7);
  EXPECT_EQ(ParseDecimal("000000012"), 12);
  EXPECT_EQ(ParseDecimal("999999999"), 999999999);
  EXPECT_EQ(ParseDecimal("-999999999"), -999999999);
  EXPECT_EQ(ParseDecimal("123456789"), 123456789);
}

TEST(ParseDecimal, TenDigitsAreTooManyEvenWhenTheyAreLeadingZeros) {
  EXPECT_EQ(ParseDecimal("1000000000"), std::nullopt);
  EXPECT_EQ(ParseDecimal("0000000001"), std::nullopt);
  EXPECT_EQ(ParseDecimal("-1000000000"), std::nullopt);
  EXPECT_EQ(ParseDecimal("99999999999"), std::nullopt);
}

TEST(ParseDecimal, AnythingButTheNumberItselfIsRefused) {
  for (std::string_view text :
       {"", "-", "+", "+1", "--1", "-+1", "1-", " 1", "1 ", "\t1", "1\t", "- 1", "1x", "x1",
        "1.0", "1,0", "/", ":", "0x1", "\xEF\xBC\x91" /* full-width 1 */})
    EXPECT_EQ(ParseDecimal(text), std::nullopt) << "[" << text << "]";
  EXPECT_EQ(ParseDecimal(std::string_view("1\0", 2)), std::nullopt);
}

}  // namespace
}  // namespace lup
