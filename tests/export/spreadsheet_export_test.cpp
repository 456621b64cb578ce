// The spreadsheet export, with a recording session.
#include "export/spreadsheet_export.h"

#include <gtest/gtest.h>

#include "model/gbk_text.h"
#include "support/recording_office.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

using Calls = std::vector<std::string>;

MemberRecord member(const std::string& code, int readings, std::int32_t selected = 1,
                    const std::string& name = "") {
  MemberData d;
  d.code = code;
  d.name = *utf8ToGbk(name);
  d.testDate = *utf8ToGbk("2008年05月12日");
  d.designThickness = 120;
  d.selected = selected;
  for (int i = 0; i < readings; ++i) d.readings.push_back({0, 100 + i, 0});
  return MemberRecord(std::move(d));
}

class ExportTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  Project project;
  test::RecordingExcelSession excel;
};

TEST_F(ExportTest, SpreadsheetBlocks) {
  project.members = {member("A001", 25, 1, "一层"), member("X", 4, 0), member("B002", 3)};
  auto written = exportToSpreadsheet(project, {}, excel, dir / pathFromUtf8("楼板仪数据.xlsx"));
  ASSERT_TRUE(written.ok()) << written.message();
  const Calls start(excel.calls.begin(), excel.calls.begin() + 4);
  EXPECT_EQ(start, (Calls{"AddWorkbook", "Visible 1", "Rename sheet1 报表1", "Use 报表1"}));
  EXPECT_EQ(excel.calls[4], "Cell 1 1 A001(一层)");
  EXPECT_EQ(excel.calls[5], "Align 2 4");
  EXPECT_EQ(excel.with("Merge 1 "),
            (Calls{"Merge 1 1 1x3", "Merge 1 4 1x3", "Merge 1 7 1x3", "Merge 1 10 1x3"}));
  EXPECT_EQ(excel.with("Cell 1 4 "), Calls{"Cell 1 4 设计厚度:120 mm"});
  EXPECT_EQ(excel.with("Cell 1 7 "), Calls{"Cell 1 7 2008年05月12日"});
  // 25 readings take rows 2 to 4; the next header is row 5, its readings row 6.
  EXPECT_EQ(excel.with("Cell 5 1 "), Calls{"Cell 5 1 B002()"});
  EXPECT_EQ(excel.with("Cell 4 5 "), Calls{"Cell 4 5 124"});
  EXPECT_TRUE(excel.with("Cell 4 6 ").empty());
  EXPECT_EQ(excel.with("Cell 6 3 "), Calls{"Cell 6 3 102"});
  EXPECT_EQ(excel.with("Align").size(), 2u);
  EXPECT_EQ(excel.calls.back(), "SaveAs 楼板仪数据.xlsx");
}

// Under a rule that judges members by their means the workbook has a member sheet: each
// member's mean, as recorded, its judgement, then the verdict and the rule.
TEST_F(ExportTest, AMemberRuleAddsTheMembersSheet) {
  project.members = {member("A001", 3), member("X", 4, 0), member("B002", 0)};  // A001: 100..102, mean 101
  const RuleInForce slab{*builtInRule(kSlabRuleName), {800}};
  ASSERT_TRUE(exportToSpreadsheet(project, slab, excel, dir / "w.xlsx").ok());
  ASSERT_EQ(excel.with("Add "), Calls{"Add 构件判定"});
  EXPECT_EQ(excel.with("Cell 2 7 "), Calls{"Cell 2 7 101"});
  EXPECT_EQ(excel.with("Cell 2 8 "), Calls{"Cell 2 8 115~130"});
  EXPECT_EQ(excel.with("Cell 2 9 "), Calls{"Cell 2 9 不合格"});
  EXPECT_EQ(excel.with("Cell 3 9 "), Calls{"Cell 3 9 无测点"});
  EXPECT_EQ(excel.with("Cell 5 1 "), Calls{"Cell 5 1 构件 1 个，合格 0 个，合格率 0.0%（要求 80%）：不合格"});
  EXPECT_EQ(excel.calls.back(), "SaveAs w.xlsx");
  excel.calls.clear();
  ASSERT_TRUE(exportToSpreadsheet(project, {}, excel, dir / "w.xlsx").ok());
  EXPECT_TRUE(excel.with("Add ").empty());
}

TEST_F(ExportTest, SpreadsheetEdgeCases) {
  project.members = {member("A001", 0), member("A002", 11)};
  ASSERT_TRUE(exportToSpreadsheet(project, {}, excel, dir / "w.xlsx").ok());
  // No readings: one empty row; 11 readings: two rows, the second with reading 10 only.
  EXPECT_EQ(excel.with("Cell 3 1 "), Calls{"Cell 3 1 A002()"});
  EXPECT_EQ(excel.with("Cell 5 1 "), Calls{"Cell 5 1 110"});
  EXPECT_TRUE(excel.with("Cell 5 2 ").empty());

  // Nothing ticked: the workbook would be empty, and is refused with the cause.
  excel.calls.clear();
  project.members = {member("A001", 3, 0)};
  auto none = exportToSpreadsheet(project, {}, excel, dir / "w.xlsx");
  ASSERT_FALSE(none.ok());
  EXPECT_NE(none.message().find("没有勾选任何构件"), std::string::npos);
  EXPECT_TRUE(excel.calls.empty());

  const Project empty;
  excel.calls.clear();
  EXPECT_FALSE(exportToSpreadsheet(empty, {}, excel, dir / "w.xlsx").ok());
  EXPECT_TRUE(excel.calls.empty());
}

}  // namespace
}  // namespace kro
