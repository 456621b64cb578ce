// The project overview: one row of figures per member, the deviation histogram of the ticked
// members, and a comparison with the original data, all without any widget.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "model/date_text.h"
#include "model/figure_text.h"
#include "model/project.h"
#include "model/project_diff.h"
#include "model/statistics.h"
#include "views/canvas.h"

namespace kro {

struct OverviewRow {
  int member = 0;
  bool ticked = false;
  std::string code, name, testDate;  // UTF-8
  std::string shortDate;             // "2008-05-12", or the stored text when it is no date
  std::int32_t designThickness = 0;
  std::int32_t minusDeviation = 0, plusDeviation = 0;
  MemberFigures figures;
  std::string rateText, meanText, deviationText;  // "-" where there is no figure
  bool belowRule = false;                         // has readings and misses the project's acceptance rule
};

// A member is marked when its computed rate misses the rule, as the report's verdict would.
std::vector<OverviewRow> overviewRows(const Project& project, AcceptanceRule rule);
// "合格率低于要求的 90%"
std::string belowRuleNote(AcceptanceRule rule);

// The tolerance the histogram draws: the band of the ticked members (by readings, the most
// common one when they differ).
struct HistogramBand {
  std::int32_t minus = 0, plus = 0;
  bool allAlike = true;
};
std::optional<HistogramBand> histogramBand(const Project& project);

// The histogram's title: the ticked readings, their band, rate and verdict.
std::string histogramTitle(const SelectionFigures& figures, const std::optional<HistogramBand>& band,
                           AcceptanceRule rule);
// Bars of the deviation histogram with the band shaded behind and the out-of-band bars in red.
void drawDeviationHistogram(Canvas& canvas, const SelectionFigures& figures,
                            const std::optional<HistogramBand>& band, AcceptanceRule rule, int width,
                            int height);

// The differences, one line each, as kro diff prints them: changed and added and removed
// readings, then added and removed members, then the members' other fields (unless
// readingsOnly), one change shared by several members on one line. Each line names the edited
// project's member it is about (-1: a member only the original has, or several).
struct ComparisonLine {
  std::string text;
  int member = -1;
};
std::vector<ComparisonLine> comparisonLines(const ProjectDiff& diff, const Project& original,
                                            const Project& edited, bool readingsOnly = false);

// What the grid marks of a comparison for one edited member: reading index -> the original
// value, or nothing for a reading the original does not have (every reading of an added member).
std::map<int, std::optional<std::int32_t>> readingMarks(const ProjectDiff& diff, const Project& edited,
                                                        int editedMember);

}  // namespace kro
