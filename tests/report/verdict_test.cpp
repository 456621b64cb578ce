// One verdict, one rounding, the ticked members and the typed parameters in every document:
// the printed pages, the six Word formats, the window's texts and the check.
#include <gtest/gtest.h>

#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/report_figures.h"
#include "office/docx_template.h"
#include "report/project_check.h"
#include "report/report_generator.h"
#include "support/docx_text.h"
#include "support/environment.h"
#include "support/temp_dir.h"
#include "views/project_overview.h"
#include "views/recording_canvas.h"
#include "views/report_pages.h"
#include "views/thickness_chart.h"

namespace kro {
namespace {

// A member of n readings of which `passing` lie in the band 115..128.
MemberRecord member(const std::string& code, int n, int passing, std::int32_t selected = 1) {
  MemberData d;
  d.code = code;
  d.designThickness = 120;
  d.selected = selected;
  for (int i = 0; i < n; ++i) d.readings.push_back({0, i < passing ? 120 : 200, 0});
  MemberRecord m(std::move(d));
  m.setStoredStatistics(recomputedStatistics(m));
  return m;
}

class VerdictTest : public ::testing::Test {
 protected:
  VerdictTest() {
    paths.templateFolders = {test::binDir()};
    paths.outputFolder = dir.path();
  }

  // The text of the report of a format as written: a paragraph (a table cell's too) to a line.
  std::string report(int format) {
    DocxTemplateFiller filler(fieldCatalog());
    auto written = writeReport(project, values, ChosenFormat{format, {}, "x"}, filler, paths, {2026, 12, 8});
    EXPECT_TRUE(written.ok()) << (written.ok() ? "" : written.message());
    return written.ok() ? test::docxText(written.value().report) : std::string();
  }

  // Every text drawn on a printed page.
  std::string page(int n) {
    RecordingCanvas canvas;
    const PrintedReport report = layoutPrintedReport(project, {{}, values}, EstimatedTextMeasure());
    drawReportPage(canvas, project, report, n);
    std::string out;
    for (const auto& call : canvas.calls()) out += call.text + "\n";
    return out;
  }

  test::TempDir dir;
  OfficePaths paths;
  Project project;
  ParameterValues values;
};

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST_F(VerdictTest, OneRuleGivesOneVerdictInEveryDocument) {
  // 898 of 1,000 readings pass: 89.8 %.
  project.members = {member("A001", 600, 598), member("A002", 400, 300)};
  for (const auto& [rule, verdict] : {std::pair<const char*, const char*>{"90", "不合格"}, {"85", "合格"}}) {
    values.set("合格率要求", rule);
    for (int format : {0, 1, 2})
      EXPECT_TRUE(
          has(report(format), "合格点率为89.8%，工程的楼板厚度检测结果为" + std::string(verdict) + "。"))
          << format << rule;
    for (int format : {4, 5})
      EXPECT_TRUE(has(report(format), "工程的楼板厚度检测结果为" + std::string(verdict) + "。"))
          << format << rule;
    const std::string summary = page(2);
    if (std::string(rule) == "90") {
      EXPECT_TRUE(has(summary, "楼板厚度合格率为89.8%，合格率低于规范要求的90%，该工程的楼板厚度"));
      EXPECT_TRUE(has(summary, "     不满足设计要求!"));
    } else {
      EXPECT_TRUE(has(summary, "楼板厚度合格率达到89.8%，合格率不低于规范要求的85%，该工程的楼板厚度"));
      EXPECT_TRUE(has(summary, "     满足设计要求!"));
    }
    const auto rows = overviewRows(project, values.rule());
    EXPECT_EQ(rows[1].belowRule, true);  // 75 % misses either rule
    EXPECT_EQ(rows[0].belowRule, false);
  }
  values.set("合格率要求", "87.5");
  EXPECT_TRUE(has(page(2), "合格率不低于规范要求的87.5%"));
}

TEST_F(VerdictTest, EveryTotalIsThatOfTheTickedMembers) {
  // Ticked: 10 readings with 9 passing and 5 with 1: 15 readings, 10 passing, 66.7 %. The
  // unticked member (20 passing readings) counts nowhere.
  project.members = {member("A001", 10, 9), member("B002", 20, 20, 0), member("C003", 5, 1)};
  for (int format : {0, 1, 2})
    EXPECT_TRUE(has(report(format), "共计15点，其中合格点10个，合格点率为66.7%")) << format;
  for (int format : {4, 5})
    EXPECT_TRUE(has(report(format), "共计15点，其中合格点10个，合格点率为66.7%")) << format;
  const std::string four = report(3);
  EXPECT_TRUE(has(four, "\n2\nC003\n"));  // the second ticked member's row
  EXPECT_FALSE(has(four, "B002"));
  EXPECT_TRUE(has(page(2), "共对该工程的15个测点进行检测，其中合格的测点10个，不合格测点5个，"));
  EXPECT_FALSE(has(page(4), "B002"));
  const PanelTexts panel = panelTexts(project, 0, values.rule());
  EXPECT_EQ(panel.tickedTotals,
            "勾选构件（用于报告）：15 点，合格率 66.7 %（要求 90 "
            "%）：不合格，判定规则：逐点判定（每个测点，合格率不低于 90%）");
  EXPECT_EQ(panel.totalReadingCount, "35");  // the panel's 全部构件 still counts every member
  test::TempDir settings;
  const ProjectCheck check = checkProject(project, SettingsLocation::inFolder(settings.path()), 0);
  EXPECT_EQ(check.notes,
            (std::vector<std::string>{
                panel.tickedTotals, "1 个构件未勾选，不计入报告：B002",
                "文件中没有工程参数：合格率要求 90% 和其他参数取自本机的默认值，保存后写入文件。"}));
  EXPECT_TRUE(has(histogramTitle(selectionFigures(project.members), histogramBand(project),
                                 reportFigures(project, values.rule())),
                  "勾选构件的 15 个测点"));
  // With none ticked every document is refused, naming the cause.
  for (MemberRecord& m : project.members) m.setSelected(0);
  DocxTemplateFiller filler(fieldCatalog());
  paths.outputFolder = dir / "refused";
  auto refused = writeReport(project, values, ChosenFormat{0, {}, "x"}, filler, paths, {2026, 12, 8});
  ASSERT_FALSE(refused.ok());
  EXPECT_TRUE(has(refused.message(), "没有勾选任何构件"));
  EXPECT_FALSE(std::filesystem::exists(paths.reportPath()));
}

TEST_F(VerdictTest, WhatTheEngineerTypedReachesEveryPlace) {
  project.members = {member("A001", 10, 10)};
  values.set("检测依据", "《混凝土结构工程施工质量验收标准》（GB50204-2015）");
  values.set("检测内容", "楼板厚度（雷达法）");
  values.set("检测仪器", "LB-9 测厚仪");
  values.set("检测项目", "板厚");
  values.set("检测方法", "雷达法");
  values.set("报告日期", "2026年 1月 5日");
  const std::string standard = "《混凝土结构工程施工质量验收标准》（GB50204-2015）";
  EXPECT_TRUE(has(page(1), "楼板厚度（雷达法）"));
  EXPECT_TRUE(has(page(2), "楼板厚度（雷达法）"));
  EXPECT_TRUE(has(page(2), "      按照" + standard + "要求，对梁类"));
  EXPECT_TRUE(has(page(3), standard));
  EXPECT_TRUE(has(page(3), "LB-9 测厚仪"));
  for (const std::string& text : {page(1), page(2), page(3)}) {
    EXPECT_FALSE(has(text, "GB50204-2002"));
    EXPECT_FALSE(has(text, "楼板厚度测试仪"));
  }
  const std::string one = report(0);
  EXPECT_TRUE(has(one, "\n    检测依据：" + standard + "。\n"));
  EXPECT_TRUE(has(one, "\n2026--1--5\n"));  // 报告日期 in report 1's form, not today
  const std::string two = report(1);
  EXPECT_TRUE(has(two, "\n板厚\n"));
  EXPECT_TRUE(has(two, "\n雷达法\n"));
  EXPECT_TRUE(has(two, "\n检测依据：\n   " + standard + "\n"));
  const std::string three = report(2);
  EXPECT_TRUE(has(three, "\n检测项目\n板厚\n"));
  EXPECT_TRUE(has(three, "\n执行标准\n" + standard + "\n"));  // 执行标准 is the same field
  EXPECT_TRUE(has(report(3), "\n检测依据\n" + standard + "\n"));
  for (int format : {4, 5})
    EXPECT_TRUE(has(report(format), "    依据" + standard + "标准,工程的楼板厚度检测结果为合格。"));
}

// Rates and means are rounded half away from zero from their exact fractions, the same in every
// place: 1 of 16 readings is 6.25 %, a mean of 119.25 mm.
TEST_F(VerdictTest, EveryPlaceRoundsTheSameWay) {
  MemberData d;
  d.code = "T001";
  d.designThickness = 200;
  d.minusDeviation = -1;
  d.plusDeviation = 1;
  d.selected = 1;
  // Two of 113, thirteen of 114 and the one passing reading, 200: 1,908 mm in 16 readings.
  for (int i = 0; i < 15; ++i) d.readings.push_back({0, i < 2 ? 113 : 114, 0});
  d.readings.push_back({0, 200, 0});
  MemberRecord m(std::move(d));
  m.setStoredStatistics(recomputedStatistics(m));
  ASSERT_EQ(computeFigures(m).thicknessSum, 1908);
  project.members = {m};
  EXPECT_EQ(panelTexts(project, 0, {}).passRate, "6.3%");
  const auto rows = overviewRows(project, {});
  EXPECT_EQ(rows[0].rateText, "6.3%");
  EXPECT_EQ(rows[0].meanText, "119.3");
  RecordingCanvas chart;
  drawThicknessChart(chart, &project.members[0], 0, 600, 300);
  bool chartRate = false;
  for (const auto& call : chart.calls()) chartRate = chartRate || call.text == "合格率:6.3%";
  EXPECT_TRUE(chartRate);
  EXPECT_TRUE(has(report(3), "\n16\n\n6.3\n"));  // 测点数, 备注, 合格率(%)
  EXPECT_TRUE(has(report(0), "合格点率为6.3%"));
  EXPECT_TRUE(has(page(2), "楼板厚度合格率为6.3%"));
  // A stored rate that is no fraction of the stored counts is shown from its value.
  MemberData odd = project.members[0].data();
  odd.passRate = 0.0625f;
  odd.passCount = 3;
  project.members = {MemberRecord(odd)};
  EXPECT_EQ(panelTexts(project, 0, {}).passRate, "6.3%");
}

}  // namespace
}  // namespace kro
