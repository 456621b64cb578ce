// The Word reports' texts, conclusions and member rows as a recording session receives them;
// their places in the written documents are checked on the documents (docx_document_test).
#include "report/report_generator.h"

#include <gtest/gtest.h>

#include "export/data_table.h"
#include "model/gbk_text.h"
#include "report/report_parameters.h"
#include "support/recording_frontend.h"
#include "support/recording_office.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

using Calls = std::vector<std::string>;

MemberRecord member(const std::string& code, int readings, int passing, std::int32_t selected = 1) {
  MemberData d;
  d.code = code;
  d.name = *utf8ToGbk("板" + code);
  d.testDate = *utf8ToGbk("2008年05月12日");
  d.designThickness = 120;
  d.selected = selected;
  for (int i = 0; i < readings; ++i) d.readings.push_back({0, i < passing ? 120 : 200, 0});
  return MemberRecord(std::move(d));
}

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    paths.templateFolders = {dir.path()};
    paths.outputFolder = dir / "out";
    for (const char* t : {"检测报告1.docx", "检测报告2.docx", "检测报告3.docx", "检测报告4.docx",
                          "甘肃报告.docx", "吉林报告.docx", "表格.docx"}) {
      test::writeBytes(dir / t, "template");
    }
  }

  void parameters(int format, std::initializer_list<std::pair<const char*, const char*>> values) {
    ProjectInfo info = emptyProjectInfo(format);
    for (auto [k, v] : values) info[k] = v;
    ASSERT_TRUE(saveFormatParameters(SettingsLocation::inFolder(dir.path()), format, info, format).ok());
  }

  Result<ReportOutput> write(int format) {
    return writeWordReport(project, effectiveParameters(project, settings), format, word, paths,
                           {2005, 3, 7});
  }

  test::TempDir dir;
  Project project;
  SettingsLocation settings = SettingsLocation::inFolder(dir.path());
  OfficePaths paths;
  test::RecordingWordSession word;
};

// What report 1 writes, and where, is checked on the written document (docx_document_test); here
// that it is made from its template and followed by the data table, both written once.
TEST_F(ReportTest, Report1AndItsDataTableAreMadeFromTheirTemplates) {
  project.members = {member("A001", 10, 9)};
  ASSERT_TRUE(write(0).ok());
  Calls added, finished;
  for (const std::string& call : word.calls) {
    if (call.rfind("Add ", 0) == 0) added.push_back(call);
    if (call == "Finish") finished.push_back(call);
  }
  EXPECT_EQ(added, (Calls{"Add 检测报告1.docx", "Add 表格.docx"}));
  EXPECT_EQ(finished, Calls{"Finish"});
}

TEST_F(ReportTest, ConclusionJudgesTheTickedMembersByTheRuleOnTheExactRate) {
  project.members = {member("A001", 10, 9)};
  EXPECT_EQ(
      conclusionSentence("X", reportFigures(project, {900})),
      "    本次检测的X工程楼板厚度共计10点，其中合格点9个，合格点率为90.0%，X工程的楼板厚度检测结果为合格。");
  // 89.96 % would read as 90.0 while it fails: two decimals say why.
  project.members = {member("A001", 10000, 8996)};
  EXPECT_NE(conclusionSentence("X", reportFigures(project, {900}))
                .find("合格点率为89.96%，X工程的楼板厚度检测结果为不合格"),
            std::string::npos);
  EXPECT_NE(conclusionSentence("X", reportFigures(project, {850}))
                .find("合格点率为90.0%，X工程的楼板厚度检测结果为合格"),
            std::string::npos);
  // An unticked member counts nowhere in the report.
  project.members = {member("A001", 10, 10), member("A002", 20, 0, 0)};
  EXPECT_NE(conclusionSentence("X", reportFigures(project, {900}))
                .find("共计10点，其中合格点10个，合格点率为100.0%"),
            std::string::npos);
  project.members = {member("A001", 0, 0)};
  EXPECT_EQ(
      conclusionSentence("", reportFigures(project, {900})),
      "    本次检测的工程楼板厚度共计0点，其中合格点0个，合格点率为0.0%，工程的楼板厚度检测结果为不合格。");
}

TEST_F(ReportTest, Report2FixedTextsAndBlocks) {
  project.members = {member("A001", 10, 10)};
  parameters(1, {{"检测日期", "2005年 3月 7日"}, {"检测依据", "GB 50204"}});
  ASSERT_TRUE(write(1).ok());
  EXPECT_EQ(word.with("Open "), Calls{"Open 检测报告2.docx"});
  const auto replaced = word.with("Replace ");
  ASSERT_GE(replaced.size(), 8u);
  EXPECT_EQ(replaced[2], "Replace 楼板厚度检测");
  EXPECT_EQ(replaced[3], "Replace 电磁法检测");
  EXPECT_EQ(replaced[4], "Replace 2005年 3月 7日");
  EXPECT_EQ(replaced[6], "Replace 本次检测采用电磁法检测楼板厚度。");
  const auto cells = word.with("Cell 2 ");
  ASSERT_EQ(cells.size(), 5u);
  EXPECT_EQ(cells[0], "Cell 2 1 1 检测依据：\r\n   GB 50204\r\n\r\n\r\n");
  EXPECT_EQ(cells[2], "Cell 2 3 1 检测时间及检测环境：\r\n   2005年 3月 7日；\r\n\r\n\r\n");
  EXPECT_EQ(cells[4], "Cell 2 5 1 主检人：" + std::string(24, ' ') + "审定人：" + std::string(17, ' ') +
                          "\r\n核对人： " + std::string(23, ' ') + "批准人：\r\n\r\n");
}

TEST_F(ReportTest, Report3CellsInTableOrder) {
  project.members = {member("A001", 10, 10)};
  parameters(2, {{"工程地点", "河西"}, {"检测日期", "2005年 3月 7日"}});
  ASSERT_TRUE(write(2).ok());
  const auto cells = word.with("Cell 1 ");
  ASSERT_GE(cells.size(), 14u);
  EXPECT_EQ(cells[8], "Cell 1 5 2 楼板厚度检测");  // 检测项目, by default the text it replaces
  EXPECT_EQ(cells[10],
            "Cell 1 7 2 单位：" + std::string(10, ' ') + "姓名：" + std::string(10, ' ') + "编号：");
  EXPECT_NE(cells[12].find("工程位于河西"), std::string::npos);
  EXPECT_NE(cells[12].find("开工时间为2005年 3月 7日"), std::string::npos);
  EXPECT_EQ(cells[13].rfind("Cell 1 12 1     本次检测的", 0), 0u);
  EXPECT_TRUE(word.with("Move").empty() || word.with("MoveDown").size() == word.with("MoveDown").size());
}

TEST_F(ReportTest, Report4MemberRows) {
  MemberRecord noReadings = member("A003", 0, 0);
  project.members = {member("A001", 10, 8), member("A002", 5, 5, 0), noReadings, member("A004", 3, 1)};
  ASSERT_TRUE(write(3).ok());
  const auto rows = word.with("Cell 2 3 ");
  EXPECT_EQ(rows, (Calls{"Cell 2 3 1 1", "Cell 2 3 2 A001", "Cell 2 3 3 ", "Cell 2 3 4 120", "Cell 2 3 5 120",
                         "Cell 2 3 6 120", "Cell 2 3 7 10", "Cell 2 3 8 ", "Cell 2 3 9 80.0"}));
  // The unselected member leaves no gap; a member without readings has an empty rate.
  EXPECT_EQ(word.with("Cell 2 4 2 "), Calls{"Cell 2 4 2 A003"});
  EXPECT_EQ(word.with("Cell 2 4 9 "), Calls{"Cell 2 4 9 "});
  EXPECT_EQ(word.with("Cell 2 5 1 "), Calls{"Cell 2 5 1 3"});
  EXPECT_EQ(word.with("Cell 2 5 9 "), Calls{"Cell 2 5 9 33.3"});
  EXPECT_EQ(word.with("Cell 1 4 4 "), Calls{"Cell 1 4 4 抽检"});
}

TEST_F(ReportTest, RegionalReportsSplitTheConclusion) {
  project.members = {member("A001", 200, 179)};
  parameters(4, {{"工程名称", "甲楼"}});
  ASSERT_TRUE(write(4).ok());
  EXPECT_EQ(word.with("Cell 1 8 1 "),
            Calls{"Cell 1 8 1     本次检测的甲楼工程楼板厚度共计200点，其中合格点179个，合格点率为89.5%"});
  EXPECT_EQ(
      word.with("Cell 1 9 2 "),
      Calls{"Cell 1 9 2     "
            "依据《混凝土结构工程施工质量验收规范》（GB50204-2002）标准,工程的楼板厚度检测结果为不合格。"});
  word.calls.clear();
  ASSERT_TRUE(write(5).ok());
  EXPECT_EQ(word.with("Open "), Calls{"Open 吉林报告.docx"});
}

TEST_F(ReportTest, NothingWithoutMembersOrFormat) {
  auto none = generateWordReport(project, settings, word, paths, std::nullopt, {2005, 3, 7});
  EXPECT_FALSE(none.ok());
  EXPECT_TRUE(word.calls.empty());
  project.members = {member("A001", 1, 1)};
  auto unchosen = generateWordReport(project, settings, word, paths, std::nullopt, {2005, 3, 7});
  EXPECT_FALSE(unchosen.ok());
  EXPECT_NE(unchosen.message().find("报告格式"), std::string::npos);
  EXPECT_TRUE(word.calls.empty());
  ASSERT_TRUE(saveChosenFormat(SettingsLocation::inFolder(dir.path()), 2).ok());
  EXPECT_TRUE(generateWordReport(project, settings, word, paths, std::nullopt, {2005, 3, 7}).ok());
  EXPECT_EQ(word.with("Open "), Calls{"Open 检测报告3.docx"});
}

TEST_F(ReportTest, AMissingTemplateOrAFailingCallStopsBeforeAnythingIsWritten) {
  project.members = {member("A001", 1, 1)};
  std::filesystem::remove(dir / pathFromUtf8("检测报告4.docx"));
  auto missing = write(3);
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("检测报告4.docx"), std::string::npos);
  EXPECT_TRUE(word.calls.empty());

  word.failAt = 3;  // Add, SaveAs, then the first cell
  EXPECT_FALSE(write(2).ok());
  EXPECT_TRUE(word.with("Finish").empty());
}

TEST_F(ReportTest, AFailedDataTableStillWritesTheReportAndSaysWhy) {
  project.members = {member("A001", 12, 12)};
  std::filesystem::remove(dir / pathFromUtf8("表格.docx"));
  auto missing = write(0);
  ASSERT_TRUE(missing.ok()) << missing.message();
  EXPECT_EQ(missing.value().report, dir / "out" / pathFromUtf8("楼板仪报告文档.docx"));
  EXPECT_TRUE(missing.value().dataTable.empty());
  EXPECT_NE(missing.value().dataTableError.find("表格.docx"), std::string::npos);
  EXPECT_EQ(word.with("Finish").size(), 1u);

  // A table that fails half-way is discarded, so only the report is written.
  test::writeBytes(dir / pathFromUtf8("表格.docx"), "template");
  test::RecordingWordSession counting;
  ASSERT_TRUE(writeWordReport(project, ParameterValues{}, 0, counting, paths, {2005, 3, 7}).ok());
  int fallible = 0;  // calls that can fail before the table's document is added
  for (const std::string& call : counting.calls) {
    if (call == "Add 表格.docx") break;
    for (const char* prefix : {"Add ", "Open ", "SaveAs ", "Merge", "Cell ", "AddTable "}) {
      if (call.rfind(prefix, 0) == 0) {
        ++fallible;
        break;
      }
    }
  }
  test::RecordingWordSession failing;
  failing.failAt = fallible + 2;  // Add 表格.docx, SaveAs, then AddTable fails
  auto half = writeWordReport(project, ParameterValues{}, 0, failing, paths, {2005, 3, 7});
  ASSERT_TRUE(half.ok()) << half.message();
  EXPECT_NE(half.value().dataTableError.find("AddTable"), std::string::npos) << half.value().dataTableError;
  ASSERT_GE(failing.calls.size(), 2u);
  EXPECT_EQ(failing.calls[failing.calls.size() - 2], "Discard");
  EXPECT_EQ(failing.calls.back(), "Finish");
}

// A table too large to make is refused before any work; the report is written all the same.
TEST_F(ReportTest, ADataTableBeyondItsLimitIsRefusedAtOnce) {
  project.members = {member("A001", static_cast<int>(kMaxDataTableReadings), 10), member("A002", 1, 1)};
  auto written = write(0);
  ASSERT_TRUE(written.ok()) << written.message();
  EXPECT_NE(written.value().dataTableError.find("最多容纳 500000 个测点"), std::string::npos)
      << written.value().dataTableError;
  for (const std::string& call : word.calls) EXPECT_NE(call, "Add 表格.docx");
}

TEST_F(ReportTest, AChosenReportFileTakesItsDataTableBesideIt) {
  project.members = {member("A001", 2, 2)};
  paths.reportFile = dir / "docs" / pathFromUtf8("一号楼报告.docx");
  auto written = write(0);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.value().report, dir / "docs" / pathFromUtf8("一号楼报告.docx"));
  EXPECT_EQ(written.value().dataTable, dir / "docs" / pathFromUtf8("一号楼报告-数据表格.docx"));
  EXPECT_EQ(paths.reportOutputs(),
            (std::vector<std::filesystem::path>{written.value().report, written.value().dataTable}));
  EXPECT_EQ(word.with("SaveAs ").front(), "SaveAs 一号楼报告.docx");
  bool tableNamed = false;
  for (const std::string& call : word.calls)
    tableNamed = tableNamed || call == "SaveAs 一号楼报告-数据表格.docx";
  EXPECT_TRUE(tableNamed);
}

TEST(ProposedDocumentName, ProjectNameWhatAndDateWithoutForbiddenCharacters) {
  const CalendarDate day{2026, 12, 8};
  EXPECT_EQ(proposedDocumentName("阳光花园", "楼板厚度检测报告", day, ".docx"),
            "阳光花园-楼板厚度检测报告-2026-12-08.docx");
  EXPECT_EQ(proposedDocumentName("", "楼板厚度数据", day, ".xlsx"), "楼板厚度数据-2026-12-08.xlsx");
  EXPECT_EQ(proposedDocumentName(" ../1#楼/A:B*?\"<>|\x01 ", "报告", {2027, 1, 2}, ".docx"),
            "1#楼AB-报告-2027-01-02.docx");
}

TEST_F(ReportTest, TheSignatureLineStaysWithTheTableItFollows) {
  project.members = {member("A001", 2, 2)};
  for (int format = 0; format < kReportFormatCount; ++format) {
    word.calls.clear();
    ASSERT_TRUE(write(format).ok()) << format;
    // Formats 3 to 6 sign below their first table; 1 below a paragraph, 2 inside its table.
    EXPECT_EQ(word.with("KeepWithNext").size(), format >= 2 ? 1u : 0u) << format;
  }
}

TEST_F(ReportTest, ACancelledReportWritesNothing) {
  project.members = {member("A001", 2, 2)};
  CancelFlag cancel{true};
  auto cancelled = writeWordReport(project, ParameterValues{}, 0, word, paths, {2005, 3, 7}, &cancel);
  ASSERT_FALSE(cancelled.ok());
  EXPECT_EQ(cancelled.message(), kCancelledMessage);
  EXPECT_TRUE(word.with("Finish").empty());  // the session writes its documents only at the finish
}

TEST_F(ReportTest, OnlyTheTickedMembersAreReported) {
  project.members = {member("A001", 2, 2, 0), member("A002", 2, 2)};
  ASSERT_TRUE(generateWordReport(project, settings, word, paths, 3, {2005, 3, 7}).ok());
  EXPECT_EQ(word.with("Cell 2 3 2 "), Calls{"Cell 2 3 2 A002"});
}

}  // namespace
}  // namespace kro
