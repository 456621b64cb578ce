// Tolerance statistics as pure functions of the members: the pass test, the figures computed
// from the readings, the figures the window shows for a member, and the document totals.
//
// Every figure anywhere in the program comes from here. A member carries the statistics its
// file stored (`maxThickness` ... `passRate`, `averageThickness`); those bytes stay as they are
// until a command changes the member's readings, design thickness or deviations, which then
// stores `recomputedStatistics`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "model/member_record.h"

namespace kro {

// The closed tolerance band, in 64 bits so that extreme stored values cannot wrap.
struct ToleranceBand {
  std::int64_t lower = 0;  // designThickness + minusDeviation
  std::int64_t upper = 0;  // designThickness + plusDeviation
  bool contains(std::int64_t thickness) const { return lower <= thickness && thickness <= upper; }
};

ToleranceBand toleranceBand(const MemberRecord& member);

// True when reading index lies in the band, and also for an index out of range.
bool passesTolerance(const MemberRecord& member, int index);
// Thickness minus design thickness of reading index; 0 when the index is out of range.
std::int64_t deviationOf(const MemberRecord& member, int index);

// The figures of one member, computed from its readings.
struct MemberFigures {
  std::int32_t readingCount = 0;
  std::int32_t passCount = 0;
  std::int64_t thicknessSum = 0;  // for the mean as exact text
  // Absent without readings.
  std::optional<std::int32_t> maxThickness;
  std::optional<std::int32_t> minThickness;
  std::optional<double> mean;
  std::optional<double> passRate;  // fraction 0..1
  // Sample standard deviation (n - 1); absent below two readings.
  std::optional<double> standardDeviation;
};

MemberFigures computeFigures(const MemberRecord& member);

// The mean of the readings rounded half away from zero; 0 without readings.
std::int32_t roundedMean(const MemberRecord& member);

// The stored statistics a changed member gets: maximum, minimum, pass count, pass rate and
// average from its readings (all 0 without readings).
StoredStatistics recomputedStatistics(const MemberRecord& member);

// A stored figure as the window shows it, with what the readings give beside it.
template <class T>
struct ShownFigure {
  T shown{};
  bool stored = false;        // shown is the stored figure
  std::optional<T> computed;  // from the readings; absent without readings
  bool differsFromReadings() const { return stored && computed && *computed != shown; }
};

// The stored pass rate (a file, the instrument or the last recomputation put it there).
ShownFigure<float> shownPassRate(const MemberRecord& member);
// The stored average when it is not 0, else the rounded mean of the readings.
ShownFigure<std::int32_t> shownAverage(const MemberRecord& member);

// Readings in one row of every printed and exported table.
inline constexpr int kReadingsPerRow = 10;
// The rows a member takes in printed and exported tables at ten readings a row (one row
// without readings).
int readingRows(const MemberRecord& member);
int readingRows(std::size_t readingCount);

// Totals over members.
struct Totals {
  std::int64_t readingCount = 0;
  std::int64_t passCount = 0;
  float passRate = 0.0f;  // 0 without readings
};

// Over every member.
Totals documentTotals(const std::vector<MemberRecord>& members);

// Figures over the readings of the ticked members, computed from the readings: what the
// project overview, its histogram and `kro stats` show.
struct SelectionFigures {
  std::int64_t readingCount = 0;
  std::int64_t passCount = 0;
  std::int64_t thicknessSum = 0;
  // Absent without readings.
  std::optional<double> passRate;  // fraction 0..1
  std::optional<double> mean;
  // Sample standard deviation (n - 1); absent below two readings.
  std::optional<double> standardDeviation;
  // Reading minus design thickness, and how many readings have it, in ascending deviation.
  std::vector<std::pair<std::int64_t, std::int64_t>> deviationHistogram;
};

SelectionFigures selectionFigures(const std::vector<MemberRecord>& members);

// The pass rate as stored: passed / count in extended precision, rounded to float; 0 when
// count is 0 or less.
float passRateOf(std::int64_t passed, std::int64_t count);

}  // namespace kro
