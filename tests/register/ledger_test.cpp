// The register's rules where a slip is easy: calibration days at their edges, numbering patterns
// a file name cannot take, the ledger's search, and the state a project's reports add up to.
#include "register/ledger.h"

#include <gtest/gtest.h>

namespace kro {
namespace {

TEST(Register, CalibrationWarnsThirtyDaysAheadAndLapsesTheDayAfterItsDue) {
  const Instrument i{"测厚仪", "T-1", "JZ-1", {2026, 1, 1}, {2026, 3, 31}, true};
  EXPECT_EQ(calibrationOn(i, {2026, 2, 28}), Calibration::Valid);    // 31 days ahead
  EXPECT_EQ(calibrationOn(i, {2026, 3, 1}), Calibration::DueSoon);   // 30 days ahead
  EXPECT_EQ(calibrationOn(i, {2026, 3, 31}), Calibration::DueSoon);  // the last valid day
  EXPECT_EQ(calibrationOn(i, {2026, 4, 1}), Calibration::Lapsed);
  const Instrument leap{"测厚仪", "T-2", "JZ-2", {2024, 1, 1}, {2024, 3, 1}, true};
  EXPECT_EQ(calibrationOn(leap, {2024, 1, 30}), Calibration::Valid);  // 31 days, 29 February counted
  EXPECT_EQ(calibrationOn(leap, {2024, 1, 31}), Calibration::DueSoon);
  EXPECT_EQ(parseIsoDate("2026-02-29"), std::nullopt);
  EXPECT_EQ(isoDate(*parseIsoDate("2024-02-29")), "2024-02-29");
}

TEST(Register, PatternsAndNumbersMustMakeFileNames) {
  EXPECT_EQ(patternProblem("LBHD-{年}-{序号:4}"), std::nullopt);
  EXPECT_EQ(numberFromPattern("LBHD-{年}-{序号:4}", 2026, 12), "LBHD-2026-0012");
  EXPECT_EQ(numberFromPattern("{年}{年}-{序号:2}", 2027, 12345), "20272027-12345");  // wider than its width
  EXPECT_EQ(seriesOfPattern("LBHD-{年}-{序号:4}/A", 2026), "LBHD-2026-");
  EXPECT_EQ(patternProblem("{序号}"), std::nullopt);
  EXPECT_NE(patternProblem("LBHD-{年}"), std::nullopt);      // no number
  EXPECT_NE(patternProblem("{序号}-{序号}"), std::nullopt);  // two
  EXPECT_NE(patternProblem("{序号:0}"), std::nullopt);
  EXPECT_NE(patternProblem("{序号:12}"), std::nullopt);
  EXPECT_NE(patternProblem("LB/{年}/{序号:4}"), std::nullopt);  // a folder in a file name
  EXPECT_NE(numberProblem("WT:7"), std::nullopt);
  EXPECT_NE(numberProblem(" WT-7"), std::nullopt);
  EXPECT_NE(numberProblem(std::string(65, '7')), std::nullopt);
  EXPECT_EQ(numberProblem("委托-2026-7"), std::nullopt);
  EXPECT_EQ(parseRoles("检测，审核,批准")->size(), 3u);
  EXPECT_EQ(parseRoles("检测,"), std::nullopt);
  EXPECT_EQ(parseRoles("签字"), std::nullopt);
}

ReportRecord issued(std::int64_t id, std::string number, int revision, ReportState state,
                    std::string verdict) {
  ReportRecord r;
  r.id = id;
  r.number = std::move(number);
  r.revision = revision;
  r.state = state;
  r.verdict = std::move(verdict);
  r.projectName = "阳光花园";
  r.client = "市建设局";
  r.issued = "2026-12-0" + std::to_string(id) + "T10:00:00+08:00";
  return r;
}

TEST(Register, TheLedgerSearchAndAProjectsState) {
  const ReportRecord first = issued(1, "LBHD-2026-0001", 1, ReportState::Superseded, "合格");
  const ReportRecord second = issued(2, "LBHD-2026-0001", 2, ReportState::Issued, "不合格");
  EXPECT_TRUE(matches(second, {"建设局", {}, {}, "", {}}));
  EXPECT_FALSE(matches(second, {"二号楼", {}, {}, "", {}}));
  EXPECT_TRUE(matches(second, {"", CalendarDate{2026, 12, 2}, CalendarDate{2026, 12, 2}, "不合格", {}}));
  EXPECT_FALSE(matches(first, {"", CalendarDate{2026, 12, 2}, {}, "", {}}));
  EXPECT_FALSE(matches(first, {"", {}, {}, "", ReportState::Issued}));
  EXPECT_EQ(registerStateText({}), "未签发");
  EXPECT_EQ(registerStateText({second, first}), "已签发 LBHD-2026-0001 第 2 版");
  ReportRecord draft = issued(3, "", 0, ReportState::Drafted, "合格");
  EXPECT_EQ(registerStateText({first, second, draft}), "起草");  // an amendment under way
  EXPECT_EQ(pendingStep({first, second, draft}), "审核");
  EXPECT_EQ(pendingStep({first, second}), "起草");
}

}  // namespace
}  // namespace kro
