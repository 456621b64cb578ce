// The overview's rows and band, the histogram's bars, and the comparison's texts and marks.
#include "views/project_overview.h"

#include <gtest/gtest.h>

#include "model/analysis_file.h"
#include "model/gbk_text.h"
#include "support/temp_dir.h"
#include "views/recording_canvas.h"

namespace kro {
namespace {

std::vector<std::string> texts(const std::vector<ComparisonLine>& lines) {
  std::vector<std::string> out;
  for (const ComparisonLine& line : lines) out.push_back(line.text);
  return out;
}

MemberRecord member(const std::string& code, std::vector<std::int32_t> readings, std::int32_t minus = -5,
                    std::int32_t plus = 8, std::int32_t selected = 1) {
  MemberData d;
  d.code = code;
  d.designThickness = 120;
  d.minusDeviation = minus;
  d.plusDeviation = plus;
  d.selected = selected;
  for (std::int32_t t : readings) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

TEST(ProjectOverview, RowsMarkMembersThatMissTheRule) {
  Project p;
  // 9 of 10 pass: exactly 90 %, not marked; 8 of 9 (88.9 %) marked; no readings not marked.
  std::vector<std::int32_t> ninety(9, 120);
  ninety.push_back(100);
  std::vector<std::int32_t> below(8, 120);
  below.push_back(100);
  p.members = {member("A", ninety), member("B", below), member("C", {})};
  const std::vector<OverviewRow> rows = overviewRows(p, {pointRule(), {900}});
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_FALSE(rows[0].belowRule);
  EXPECT_TRUE(rows[1].belowRule);
  EXPECT_FALSE(rows[2].belowRule);
  EXPECT_EQ(rows[1].rateText, "88.9%");
  EXPECT_EQ(rows[2].rateText, "-");
  // A rule of 85 marks neither.
  EXPECT_FALSE(overviewRows(p, {pointRule(), {850}})[1].belowRule);
  EXPECT_EQ(rows[1].passCount, 8);
  EXPECT_EQ(rows[1].code, "B");
}

TEST(ProjectOverview, BandOfTheTickedMembers) {
  Project p;
  p.members = {member("A", {120, 121}, -5, 8), member("B", {120, 121, 122}, -3, 5),
               member("C", {1, 2, 3, 4}, -1, 1, 0)};
  auto band = histogramBand(p);
  ASSERT_TRUE(band.has_value());
  EXPECT_EQ(band->minus, -3);  // B has more readings; C is not ticked
  EXPECT_EQ(band->plus, 5);
  EXPECT_FALSE(band->allAlike);
  p.members.resize(1);
  EXPECT_TRUE(histogramBand(p)->allAlike);
  p.members = {member("C", {1}, -1, 1, 0)};
  EXPECT_FALSE(histogramBand(p).has_value());
}

TEST(ProjectOverview, HistogramBarsAreRedOutsideTheBand) {
  Project p;
  p.members = {member("A", {110, 120, 120, 121, 130})};  // deviations -10, 0, 0, 1, 10
  const SelectionFigures f = selectionFigures(p.members);
  RecordingCanvas c;
  drawDeviationHistogram(c, f, histogramBand(p), reportFigures(p, {pointRule(), {900}}), 400, 200);
  std::vector<RecordingCanvas::Call> fills = c.callsOf(RecordingCanvas::Op::Fill);
  ASSERT_EQ(fills.size(), 1u + 4u);  // the band, then one bar per deviation
  const Color band{222, 240, 222}, red{210, 40, 40}, blue{70, 110, 170};
  EXPECT_EQ(fills[0].color, band);
  EXPECT_EQ(fills[1].color, red);   // -10
  EXPECT_EQ(fills[2].color, blue);  // 0
  EXPECT_EQ(fills[3].color, blue);  // +1
  EXPECT_EQ(fills[4].color, red);   // +10
  // The 0 bar (two readings) is the tallest and twice as tall as the +1 bar.
  EXPECT_EQ(fills[2].y2 - fills[2].y1, 2 * (fills[3].y2 - fills[3].y1));
  // Bars left to right, inside the band's shading where they pass.
  EXPECT_LT(fills[1].x2, fills[2].x1);
  EXPECT_GE(fills[2].x1, fills[0].x1);
  EXPECT_LE(fills[3].x2, fills[0].x2);
  EXPECT_NE(c.findText(
                "偏差（mm）分布：勾选构件的 5 个测点  允许偏差 -5/+8 mm  合格率 60.0 %（要求 90 %）：不合格"),
            nullptr);

  RecordingCanvas empty;
  drawDeviationHistogram(empty, selectionFigures({}), std::nullopt, reportFigures(Project{}, {}), 400, 200);
  EXPECT_TRUE(empty.callsOf(RecordingCanvas::Op::Fill).empty());
}

TEST(ProjectOverview, ComparisonTextsAndGridMarks) {
  Project original, edited;
  original.members = {member("A001", {120, 121}), member("B002", {1, 2})};
  edited.members = {member("A001", {120, 125, 130}), member("C003", {7, 8})};
  const ProjectDiff d = diffProjects(original, edited);
  EXPECT_EQ(texts(comparisonLines(d, original, edited)),
            (std::vector<std::string>{"A001 测点 2：121 → 125", "A001 测点 3：新增 130",
                                      "新增构件 C003（2 个测点）", "删除构件 B002（2 个测点）"}));
  using Marks = std::map<int, std::optional<std::int32_t>>;
  EXPECT_EQ(readingMarks(d, edited, 0), (Marks{{1, 121}, {2, std::nullopt}}));
  EXPECT_EQ(readingMarks(d, edited, 1), (Marks{{0, std::nullopt}, {1, std::nullopt}}));
  EXPECT_TRUE(readingMarks(d, edited, 5).empty());
}

// The comparison as the window runs it: an unreadable original changes nothing; each change is
// compared once; the reading a line is about comes with it; ending clears every mark.
TEST(ProjectOverview, ComparisonWithTheOriginalFile) {
  test::TempDir dir;
  Project original;
  original.members = {member("A001", {120, 121})};
  ASSERT_TRUE(writeAnalysisFile(dir / "原始.KRO", original).ok());
  OriginalComparison comparison;
  EXPECT_FALSE(comparison.start(dir / "none.KRO").ok());
  EXPECT_FALSE(comparison.active());
  ASSERT_TRUE(comparison.start(dir / "原始.KRO").ok());
  EXPECT_EQ(comparison.name(), "原始.KRO");
  Project edited = original;
  edited.members[0] = member("A001", {120, 125});
  EXPECT_TRUE(comparison.lines(edited, false).empty());  // nothing compared before the update
  comparison.update(edited);
  const auto lines = comparison.lines(edited, false);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].text, "A001 测点 2：121 → 125");
  EXPECT_EQ(lines[0].reading, 1);
  EXPECT_EQ(comparison.marks(edited, 0).size(), 1u);
  comparison.end();
  EXPECT_TRUE(comparison.marks(edited, 0).empty());
}

TEST(ProjectOverview, FieldEditsAreListedAfterTheReadingsAndGrouped) {
  Project original, edited;
  for (const char* code : {"A001", "A002", "A003"}) original.members.push_back(member(code, {120}, 0, 0));
  edited = original;
  // A batch edit of every member's band, one member's design thickness, name and tick.
  for (MemberRecord& m : edited.members) {
    m.setMinusDeviation(-5);
    m.setPlusDeviation(8);
  }
  edited.members[1].setDesignThickness(125);
  edited.members[1].setMemberName(*utf8ToGbk("二层板"));
  edited.members[2].setSelected(0);
  edited.members[2].setReading(0, {0, 118, 0});
  const ProjectDiff d = diffProjects(original, edited);
  EXPECT_EQ(texts(comparisonLines(d, original, edited)),
            (std::vector<std::string>{"A003 测点 1：120 → 118", "允许偏差 0/0 → -5/+8：3 个构件",
                                      "A002 设计厚度：120 → 125", "A002 构件名称：“” → “二层板”",
                                      "A003 勾选：是 → 否"}));
  EXPECT_EQ(texts(comparisonLines(d, original, edited, true)),
            std::vector<std::string>{"A003 测点 1：120 → 118"});
  EXPECT_FALSE(d.empty(true));
  // A line about one member names it, for the window to show it; a group names none.
  const std::vector<ComparisonLine> lines = comparisonLines(d, original, edited);
  EXPECT_EQ(lines[0].member, 2);
  EXPECT_EQ(lines[1].member, -1);
  EXPECT_EQ(lines[2].member, 1);
  Project onlyFields = original;
  onlyFields.members[0].setDesignThickness(130);
  EXPECT_TRUE(diffProjects(original, onlyFields).empty(true));
  EXPECT_FALSE(diffProjects(original, onlyFields).empty());
}

}  // namespace
}  // namespace kro
