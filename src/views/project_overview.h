// The project overview: one row of figures per member, the deviation histogram of the ticked
// members, and a comparison with the original data, all without any widget.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/project.h"
#include "model/project_diff.h"
#include "model/statistics.h"
#include "views/canvas.h"

namespace kro {

// A member whose computed pass rate is below this is marked, as the report's verdict would
// fail it.
inline constexpr double kReportPassRate = 0.90;

struct OverviewRow {
  int member = 0;
  std::string code, name, testDate;  // UTF-8
  std::int32_t designThickness = 0;
  std::int32_t minusDeviation = 0, plusDeviation = 0;
  MemberFigures figures;
  bool belowReportRate = false;  // has readings and passes fewer than 90.0 %
};

std::vector<OverviewRow> overviewRows(const Project& project);

// The tolerance the histogram draws: the band of the ticked members (by readings, the most
// common one when they differ).
struct HistogramBand {
  std::int32_t minus = 0, plus = 0;
  bool allAlike = true;
};
std::optional<HistogramBand> histogramBand(const Project& project);

// Bars of the deviation histogram with the band shaded behind and the out-of-band bars in red.
void drawDeviationHistogram(Canvas& canvas, const SelectionFigures& figures,
                            const std::optional<HistogramBand>& band, int width, int height);

// The differences, one line each, as kro diff prints them: changed and added and removed
// readings, then added and removed members.
std::vector<std::string> comparisonLines(const ProjectDiff& diff, const Project& original,
                                         const Project& edited);

// What the grid marks of a comparison for one edited member: reading index -> the original
// value, or nothing for a reading the original does not have (every reading of an added member).
std::map<int, std::optional<std::int32_t>> readingMarks(const ProjectDiff& diff, const Project& edited,
                                                        int editedMember);

}  // namespace kro
