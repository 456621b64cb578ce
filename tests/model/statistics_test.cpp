// Tolerance statistics: the pass test, figures from the readings, what a member shows, totals.
#include "model/statistics.h"

#include <gtest/gtest.h>

#include <cmath>

namespace kro {
namespace {

MemberRecord memberWith(std::vector<std::int32_t> thicknesses, std::int32_t design = 120,
                        std::int32_t minus = -5, std::int32_t plus = 8) {
  MemberData d;
  d.designThickness = design;
  d.minusDeviation = minus;
  d.plusDeviation = plus;
  for (std::int32_t t : thicknesses) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

TEST(Statistics, BandIsClosedOnBothEnds) {
  MemberRecord m = memberWith({115, 128, 114, 129});
  EXPECT_TRUE(passesTolerance(m, 0));
  EXPECT_TRUE(passesTolerance(m, 1));
  EXPECT_FALSE(passesTolerance(m, 2));
  EXPECT_FALSE(passesTolerance(m, 3));
  EXPECT_TRUE(passesTolerance(m, -1));  // out of range passes
  EXPECT_TRUE(passesTolerance(m, 4));
  EXPECT_EQ(computeFigures(m).passCount, 2);
  EXPECT_EQ(computeFigures(memberWith({19, 20, 21}, 20, 0, 0)).passCount, 1);
}

TEST(Statistics, ExtremeLimitsDoNotWrap) {
  // design + plus would overflow 32 bits; the reading still lies inside the band.
  MemberRecord m = memberWith({INT32_MAX, INT32_MIN}, INT32_MAX, -5, 100);
  EXPECT_TRUE(passesTolerance(m, 0));
  EXPECT_FALSE(passesTolerance(m, 1));
  EXPECT_TRUE(passesTolerance(memberWith({INT32_MIN}, INT32_MIN, -100, 5), 0));
  EXPECT_EQ(deviationOf(memberWith({INT32_MIN}, INT32_MAX), 0), std::int64_t{INT32_MIN} - INT32_MAX);
  EXPECT_EQ(deviationOf(m, 2), 0);
  // The mean of extreme readings is exact, and rounds half away from zero.
  EXPECT_EQ(roundedMean(memberWith({INT32_MAX, INT32_MAX, INT32_MAX})), INT32_MAX);
  EXPECT_EQ(roundedMean(memberWith({INT32_MIN, INT32_MIN})), INT32_MIN);
}

TEST(Statistics, FiguresFromTheReadings) {
  const MemberFigures f = computeFigures(memberWith({118, 131, 125, 118}));
  EXPECT_EQ(f.readingCount, 4);
  EXPECT_EQ(f.passCount, 3);
  EXPECT_EQ(f.maxThickness, 131);
  EXPECT_EQ(f.minThickness, 118);
  EXPECT_DOUBLE_EQ(*f.mean, 123.0);
  EXPECT_DOUBLE_EQ(*f.passRate, 0.75);
  // Sample standard deviation: squares 25 + 64 + 4 + 25 over 3.
  EXPECT_DOUBLE_EQ(*f.standardDeviation, std::sqrt(118.0 / 3.0));

  const MemberFigures one = computeFigures(memberWith({7}));
  EXPECT_TRUE(one.mean.has_value());
  EXPECT_FALSE(one.standardDeviation.has_value());

  const MemberFigures none = computeFigures(memberWith({}));
  EXPECT_EQ(none.readingCount, 0);
  EXPECT_EQ(none.passCount, 0);
  EXPECT_FALSE(none.maxThickness || none.minThickness || none.mean || none.passRate ||
               none.standardDeviation);
}

TEST(Statistics, RoundedMeanGoesHalfAwayFromZero) {
  EXPECT_EQ(roundedMean(memberWith({1, 2})), 2);
  EXPECT_EQ(roundedMean(memberWith({1, 1, 2})), 1);
  EXPECT_EQ(roundedMean(memberWith({-1, -2})), -2);
  EXPECT_EQ(roundedMean(memberWith({-1, -1, -2})), -1);
  EXPECT_EQ(roundedMean(memberWith({})), 0);
}

TEST(Statistics, RecomputedStatisticsOfAChangedMember) {
  EXPECT_EQ(recomputedStatistics(memberWith({118, 131, 125, 119})),
            (StoredStatistics{123, 131, 118, 3, 0.75f}));
  EXPECT_EQ(recomputedStatistics(memberWith({})), StoredStatistics{});
}

TEST(Statistics, StoredFiguresAreShownAndMarkedWhereTheReadingsDiffer) {
  MemberData d = memberWith({118, 131, 125, 119}).data();
  d.passRate = 1.0f;
  d.averageThickness = 0;
  const MemberRecord m(d);
  const ShownFigure<float> rate = shownPassRate(m);
  EXPECT_EQ(rate.shown, 1.0f);
  EXPECT_TRUE(rate.stored);
  EXPECT_EQ(rate.computed, 0.75f);
  EXPECT_TRUE(rate.differsFromReadings());
  // No stored average: the mean of the readings, nothing to mark.
  const ShownFigure<std::int32_t> average = shownAverage(m);
  EXPECT_EQ(average.shown, 123);
  EXPECT_FALSE(average.stored);
  EXPECT_FALSE(average.differsFromReadings());

  d.averageThickness = 120;
  d.passRate = 0.75f;
  const MemberRecord stored(d);
  EXPECT_FALSE(shownPassRate(stored).differsFromReadings());
  EXPECT_EQ(shownAverage(stored).shown, 120);
  EXPECT_TRUE(shownAverage(stored).differsFromReadings());

  // Without readings there is nothing to compare with.
  d.readings.clear();
  EXPECT_FALSE(shownPassRate(MemberRecord(d)).differsFromReadings());
  EXPECT_EQ(shownAverage(MemberRecord(d)).shown, 120);
}

TEST(Statistics, RowsAtTenReadingsARow) {
  EXPECT_EQ(readingRows(memberWith({})), 1);
  EXPECT_EQ(readingRows(memberWith({1})), 1);
  EXPECT_EQ(readingRows(memberWith(std::vector<std::int32_t>(10, 1))), 1);
  EXPECT_EQ(readingRows(memberWith(std::vector<std::int32_t>(11, 1))), 2);
  EXPECT_EQ(readingRows(memberWith(std::vector<std::int32_t>(500, 1))), 50);
}

TEST(Statistics, TotalsOverEveryMember) {
  EXPECT_EQ(documentTotals({}).readingCount, 0);
  EXPECT_EQ(documentTotals({}).passRate, 0.0f);
  MemberData unticked = memberWith({120, 200}).data();
  unticked.selected = 0;
  const Totals t = documentTotals({memberWith({115, 129}), MemberRecord(unticked), memberWith({})});
  EXPECT_EQ(t.readingCount, 4);
  EXPECT_EQ(t.passCount, 2);
  EXPECT_EQ(t.passRate, 0.5f);
}

TEST(Statistics, SelectionFiguresOverTickedMembersOnly) {
  // Ticked: 118, 122 (design 120) and 100, 90 (design 100); the unticked member is left out.
  MemberRecord a = memberWith({118, 122});
  MemberRecord b = memberWith({100, 90}, 100, -5, 5);
  MemberRecord off = memberWith({500, 500, 500});
  off.setSelected(0);
  const SelectionFigures f = selectionFigures({a, off, b, memberWith({})});
  EXPECT_EQ(f.readingCount, 4);
  EXPECT_EQ(f.passCount, 3);
  EXPECT_DOUBLE_EQ(*f.passRate, 0.75);
  EXPECT_DOUBLE_EQ(*f.mean, 107.5);
  // Squares from the mean: 110.25 + 210.25 + 56.25 + 306.25 = 683; 683 / 3.
  EXPECT_NEAR(*f.standardDeviation, std::sqrt(683.0 / 3.0), 1e-12);
  using Bins = std::vector<std::pair<std::int64_t, std::int64_t>>;
  EXPECT_EQ(f.deviationHistogram, (Bins{{-10, 1}, {-2, 1}, {0, 1}, {2, 1}}));

  const SelectionFigures one = selectionFigures({memberWith({121, 121}), memberWith({121}, 119)});
  EXPECT_EQ(one.deviationHistogram, (Bins{{1, 2}, {2, 1}}));
  EXPECT_DOUBLE_EQ(*one.standardDeviation, 0.0);

  const SelectionFigures single = selectionFigures({memberWith({130})});
  EXPECT_TRUE(single.mean.has_value());
  EXPECT_FALSE(single.standardDeviation.has_value());
  // Deviations spread over millions of millimetres are counted all the same.
  const SelectionFigures wide = selectionFigures({memberWith({INT32_MIN, 0, INT32_MAX, 0}, 0)});
  EXPECT_EQ(wide.deviationHistogram, (Bins{{INT32_MIN, 1}, {0, 2}, {INT32_MAX, 1}}));

  const SelectionFigures none = selectionFigures({off, memberWith({})});
  EXPECT_EQ(none.readingCount, 0);
  EXPECT_FALSE(none.passRate || none.mean || none.standardDeviation);
  EXPECT_TRUE(none.deviationHistogram.empty());
}

}  // namespace
}  // namespace kro
