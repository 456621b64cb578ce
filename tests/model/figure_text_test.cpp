// Figures as text by one rounding rule, and the acceptance rule.
#include "model/figure_text.h"

#include <gtest/gtest.h>

#include "model/statistics.h"

namespace kro {
namespace {

TEST(FigureText, HalfAwayFromZeroFromTheExactFraction) {
  EXPECT_EQ(percentText(1, 16), "6.3");  // 6.25
  EXPECT_EQ(percentText(1, 3), "33.3");
  EXPECT_EQ(percentText(2, 3), "66.7");
  EXPECT_EQ(percentText(3, 3), "100.0");
  EXPECT_EQ(percentText(0, 0), "0.0");
  EXPECT_EQ(tenthsText(1908, 16), "119.3");  // 119.25
  EXPECT_EQ(tenthsText(-1908, 16), "-119.3");
  EXPECT_EQ(tenthsText(-1, 100), "0.0");  // never "-0.0"
  EXPECT_EQ(tenthsText(4'000'000LL * 9999, 4'000'000), "9999.0");
  EXPECT_EQ(decimalText(6.25, 1), "6.3");
  EXPECT_EQ(decimalText(0.125, 2), "0.13");
  EXPECT_EQ(decimalText(-2.5, 0), "-3");
}

TEST(FigureText, AStoredRateIsShownFromItsCountsWhenItIsTheirFraction) {
  MemberData d;
  d.readings.resize(16);
  d.passCount = 1;
  d.passRate = passRateOf(1, 16);
  EXPECT_EQ(storedRateText(MemberRecord(d)), "6.3");
  // 1/3 as a float is 0.3333333432...: shown from the fraction, not the float.
  d.readings.resize(3);
  d.passRate = passRateOf(1, 3);
  EXPECT_EQ(storedRateText(MemberRecord(d)), "33.3");
  // A rate no stored count gives (another program's, the instrument's) is shown from its value.
  d.passRate = 0.5f;
  EXPECT_EQ(storedRateText(MemberRecord(d)), "50.0");
  d.readings.clear();
  d.passRate = 0.0625f;
  EXPECT_EQ(storedRateText(MemberRecord(d)), "6.3");
}

TEST(AcceptanceRule, ParsedShownAndComparedExactly) {
  EXPECT_EQ(parseAcceptanceRule("90"), AcceptanceRule{900});
  EXPECT_EQ(parseAcceptanceRule(" 87.5% "), AcceptanceRule{875});
  EXPECT_EQ(parseAcceptanceRule("100"), AcceptanceRule{1000});
  EXPECT_EQ(parseAcceptanceRule("0"), AcceptanceRule{0});
  for (const char* bad : {"", "abc", "90.25", "100.1", "-5", "1000", "9 0", ".5", "90."}) {
    EXPECT_FALSE(parseAcceptanceRule(bad).has_value()) << bad;
  }
  EXPECT_EQ(ruleText({900}), "90");
  EXPECT_EQ(ruleText({875}), "87.5");
  EXPECT_TRUE(meetsRule(9, 10, {900}));
  EXPECT_FALSE(meetsRule(8996, 10000, {900}));
  EXPECT_FALSE(meetsRule(0, 0, {0}));  // no readings never pass
  // A failing rate that would read as the rule shows two decimals, cut so they never read as it.
  EXPECT_EQ(ruledRateText(8996, 10000, {900}), "89.96");
  EXPECT_EQ(ruledRateText(89999, 100000, {900}), "89.99");
  EXPECT_EQ(ruledRateText(8990, 10000, {900}), "89.9");
  EXPECT_EQ(ruledRateText(9, 10, {900}), "90.0");
}

}  // namespace
}  // namespace kro
