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
#include "model/judging_rule.h"
#include "model/project.h"
#include "model/project_diff.h"
#include "model/report_figures.h"
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
  std::int64_t passCount = 0;                     // readings in the rule's band
  std::string rateText, meanText, deviationText;  // "-" where there is no figure
  // Under a rule that judges members by their means: the mean as the rule records it, and
  // whether it lies in the band ("-" and false without readings).
  std::string judgedText = "-";
  bool judgedPasses = false;
  bool belowRule = false;  // has readings and fails the project's rule
};

// A member is marked when it fails the rule as the report's verdict counts it: by its rate
// under a reading rule, by its mean under a member rule.
std::vector<OverviewRow> overviewRows(const Project& project, const RuleInForce& rule);
// "合格率低于要求的 90%", or "平均值不在允许偏差 -5/+10 mm 之内"
std::string belowRuleNote(const RuleInForce& rule);

// The tolerance the histogram draws: the band of the ticked members (by readings, the most
// common one when they differ).
struct HistogramBand {
  std::int32_t minus = 0, plus = 0;
  bool allAlike = true;
};
std::optional<HistogramBand> histogramBand(const Project& project);

// The band the histogram shades: the rule's own when it fixes one, else the members'.
std::optional<HistogramBand> histogramBand(const Project& project, const JudgingRule& rule);

// The histogram's title: the ticked readings, their band, and the rate and verdict of the
// project's rule.
std::string histogramTitle(const SelectionFigures& figures, const std::optional<HistogramBand>& band,
                           const ReportFigures& verdict);
// Bars of the deviation histogram with the band shaded behind and the out-of-band bars in red.
void drawDeviationHistogram(Canvas& canvas, const SelectionFigures& figures,
                            const std::optional<HistogramBand>& band, const ReportFigures& verdict, int width,
                            int height);

// The differences, one line each, as kro diff prints them: changed and added and removed
// readings, then added and removed members, then the members' other fields (unless
// readingsOnly), one change shared by several members on one line. Each line names the edited
// project's member it is about (-1: a member only the original has, or several).
struct ComparisonLine {
  std::string text;
  int member = -1;
  int reading = -1;  // the edited member's reading the line is about, -1 for none
};
std::vector<ComparisonLine> comparisonLines(const ProjectDiff& diff, const Project& original,
                                            const Project& edited, bool readingsOnly = false);

// What the grid marks of a comparison for one edited member: reading index -> the original
// value, or nothing for a reading the original does not have (every reading of an added member).
std::map<int, std::optional<std::int32_t>> readingMarks(const ProjectDiff& diff, const Project& edited,
                                                        int editedMember);

// The document compared with its original data (kept received bytes, or any file the program
// opens): what the overview lists and the grid marks, computed once per change.
class OriginalComparison {
 public:
  // Reads the original; fails, leaving any comparison as it was, when the file cannot be read.
  Status start(const std::filesystem::path& file);
  void end();
  bool active() const { return original_.has_value(); }
  // The original's file name.
  const std::string& name() const { return name_; }
  // After a change of the document.
  void update(const Project& edited);
  std::vector<ComparisonLine> lines(const Project& edited, bool readingsOnly) const;
  // The current member's readings that differ: reading -> the original value, or none.
  std::map<int, std::optional<std::int32_t>> marks(const Project& edited, int member) const;

 private:
  std::optional<Project> original_;
  std::optional<ProjectDiff> diff_;  // the document against original_, as of the last update
  std::string name_;
};

}  // namespace kro
