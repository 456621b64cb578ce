// Tolerance statistics.
#include "model/statistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

namespace kro {

ToleranceBand toleranceBand(const MemberRecord& m) {
  return {std::int64_t{m.designThickness()} + m.minusDeviation(),
          std::int64_t{m.designThickness()} + m.plusDeviation()};
}

bool passesTolerance(const MemberRecord& m, int index) {
  if (!m.validIndex(index)) return true;
  return toleranceBand(m).contains(m.readingAt(index));
}

std::int64_t deviationOf(const MemberRecord& m, int index) {
  if (!m.validIndex(index)) return 0;
  return std::int64_t{m.readingAt(index)} - m.designThickness();
}

namespace {

std::int32_t countPassing(const MemberRecord& m) {
  const ToleranceBand band = toleranceBand(m);
  std::int32_t passed = 0;
  for (const Reading& r : m.readings()) passed += band.contains(r.thickness) ? 1 : 0;
  return passed;
}

}  // namespace

MemberFigures computeFigures(const MemberRecord& m) {
  MemberFigures f;
  f.readingCount = m.readingCount();
  if (m.readings().empty()) return f;
  f.passCount = countPassing(m);
  std::int32_t high = m.readings().front().thickness;
  std::int32_t low = high;
  std::int64_t sum = 0;
  for (const Reading& r : m.readings()) {
    if (r.thickness > high) high = r.thickness;
    if (r.thickness < low) low = r.thickness;
    sum += r.thickness;
  }
  f.thicknessSum = sum;
  const auto n = static_cast<double>(f.readingCount);
  f.maxThickness = high;
  f.minThickness = low;
  f.mean = static_cast<double>(sum) / n;
  f.passRate = static_cast<double>(f.passCount) / n;
  if (f.readingCount >= 2) {
    // Two passes: the squared distances from the mean, exact enough for any reading values.
    double squares = 0.0;
    for (const Reading& r : m.readings()) {
      const double d = r.thickness - *f.mean;
      squares += d * d;
    }
    f.standardDeviation = std::sqrt(squares / (n - 1.0));
  }
  return f;
}

std::int32_t roundedMean(const MemberRecord& m) {
  if (m.readings().empty()) return 0;
  std::int64_t sum = 0;
  for (const Reading& r : m.readings()) sum += r.thickness;
  const std::int64_t n = m.readingCount();
  // Integer division truncates toward zero; a remainder of half or more rounds away from it.
  std::int64_t q = sum / n;
  const std::int64_t r = sum % n;
  if (2 * (r < 0 ? -r : r) >= n) q += sum < 0 ? -1 : 1;
  return static_cast<std::int32_t>(q);
}

StoredStatistics recomputedStatistics(const MemberRecord& m) {
  const MemberFigures f = computeFigures(m);
  StoredStatistics s;
  s.averageThickness = roundedMean(m);
  s.maxThickness = f.maxThickness.value_or(0);
  s.minThickness = f.minThickness.value_or(0);
  s.passCount = f.passCount;
  s.passRate = passRateOf(f.passCount, f.readingCount);
  return s;
}

ShownFigure<float> shownPassRate(const MemberRecord& m) {
  ShownFigure<float> f;
  f.shown = m.passRate();
  f.stored = true;
  if (!m.readings().empty()) f.computed = passRateOf(countPassing(m), m.readingCount());
  return f;
}

ShownFigure<std::int32_t> shownAverage(const MemberRecord& m) {
  ShownFigure<std::int32_t> f;
  if (!m.readings().empty()) f.computed = roundedMean(m);
  if (m.averageThickness() != 0) {
    f.shown = m.averageThickness();
    f.stored = true;
  } else {
    f.shown = f.computed.value_or(0);
  }
  return f;
}

int readingRows(const MemberRecord& m) { return readingRows(m.readings().size()); }

int readingRows(std::size_t n) { return n == 0 ? 1 : static_cast<int>((n - 1) / kReadingsPerRow + 1); }

Totals documentTotals(const std::vector<MemberRecord>& members) {
  Totals t;
  for (const MemberRecord& m : members) {
    t.readingCount += m.readingCount();
    t.passCount += countPassing(m);
  }
  t.passRate = passRateOf(t.passCount, t.readingCount);
  return t;
}

SelectionFigures selectionFigures(const std::vector<MemberRecord>& members) {
  SelectionFigures f;
  long double sum = 0;
  std::int64_t lowest = 0, highest = 0;
  for (const MemberRecord& m : members) {
    if (m.selected() == 0) continue;
    f.passCount += countPassing(m);
    for (const Reading& r : m.readings()) {
      const std::int64_t d = std::int64_t{r.thickness} - m.designThickness();
      lowest = f.readingCount == 0 ? d : std::min(lowest, d);
      highest = f.readingCount == 0 ? d : std::max(highest, d);
      ++f.readingCount;
      sum += r.thickness;
      f.thicknessSum += r.thickness;
    }
  }
  if (f.readingCount == 0) return f;
  // Deviations are counted in an array over their range when it is modest (the usual case),
  // else in a map: millions of readings are counted in a few milliseconds either way.
  auto eachDeviation = [&](auto&& count) {
    for (const MemberRecord& m : members) {
      if (m.selected() == 0) continue;
      for (const Reading& r : m.readings()) count(std::int64_t{r.thickness} - m.designThickness());
    }
  };
  if (highest - lowest < 1'000'000) {
    std::vector<std::int64_t> counts(static_cast<std::size_t>(highest - lowest + 1));
    eachDeviation([&](std::int64_t d) { ++counts[static_cast<std::size_t>(d - lowest)]; });
    for (std::size_t i = 0; i < counts.size(); ++i) {
      if (counts[i] > 0) f.deviationHistogram.emplace_back(lowest + static_cast<std::int64_t>(i), counts[i]);
    }
  } else {
    std::map<std::int64_t, std::int64_t> deviations;
    eachDeviation([&](std::int64_t d) { ++deviations[d]; });
    f.deviationHistogram.assign(deviations.begin(), deviations.end());
  }
  const auto n = static_cast<long double>(f.readingCount);
  const long double mean = sum / n;
  f.mean = static_cast<double>(mean);
  f.passRate = static_cast<double>(static_cast<long double>(f.passCount) / n);
  if (f.readingCount >= 2) {
    long double squares = 0;
    for (const MemberRecord& m : members) {
      if (m.selected() == 0) continue;
      for (const Reading& r : m.readings()) squares += (r.thickness - mean) * (r.thickness - mean);
    }
    f.standardDeviation = static_cast<double>(std::sqrt(squares / (n - 1)));
  }
  return f;
}

float passRateOf(std::int64_t passed, std::int64_t count) {
  if (count <= 0) return 0.0f;
  return static_cast<float>(static_cast<long double>(passed) / static_cast<long double>(count));
}

}  // namespace kro
