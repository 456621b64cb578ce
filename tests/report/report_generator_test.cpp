// A report and its data table: which templates fill which files with what values, and what is
// written when something fails. What the documents hold is checked on the written documents
// against their golden files (tests/office/report_golden.py).
#include "report/report_generator.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>
#include <functional>

#include "model/gbk_text.h"
#include "report/report_parameters.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

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

// Records what it is asked to fill; fails for a template of a given name.
class RecordingFiller : public TemplateFiller {
 public:
  struct Fill {
    std::string templateName;
    std::string output;
    ReportValues values;
  };
  Result<TemplateFields> check(const std::filesystem::path&) override { return TemplateFields{}; }
  Status fill(const std::filesystem::path& templateFile, const ReportValues& values,
              const std::filesystem::path& output, const CancelFlag* cancel) override {
    if (isCancelled(cancel)) return Error{kCancelledMessage};
    if (displayPath(templateFile.filename()) == failFor) return Error{"无法填写 " + failFor};
    if (displayPath(templateFile.filename()) == interruptFor) {
      test::writeBytes(output, "half");
      interrupt();
      return Error{kCancelledMessage};
    }
    fills.push_back({displayPath(templateFile.filename()), displayPath(output.filename()), values});
    test::writeBytes(output, "document");
    return Status::success();
  }
  std::vector<Fill> fills;
  std::string failFor;
  std::string interruptFor;  // a template during whose filling interrupt() is called
  std::function<void()> interrupt;
};

class ReportTest : public ::testing::Test {
 protected:
  ReportTest() {
    paths.templateFolders = {dir.path()};
    paths.outputFolder = dir / "out";
    std::filesystem::create_directories(dir / "out");
    for (const char* t : {"检测报告1.docx", "检测报告2.docx", "检测报告3.docx", "检测报告4.docx",
                          "甘肃报告.docx", "吉林报告.docx", "表格.docx"}) {
      test::writeBytes(dir / t, "template");
    }
  }

  Result<ReportOutput> write(int format, const CancelFlag* cancel = nullptr) {
    return writeReport(project, ParameterValues{}, ChosenFormat{format, {}, "x"}, filler, paths, {2005, 3, 7},
                       cancel);
  }

  test::TempDir dir;
  Project project;
  OfficePaths paths;
  RecordingFiller filler;
};

TEST_F(ReportTest, EveryFormatFillsItsTemplateThenTheDataTableWithTheTickedMembers) {
  project.members = {member("A001", 10, 9), member("B002", 20, 0, 0), member("C003", 5, 1)};
  const char* templates[] = {"检测报告1.docx", "检测报告2.docx", "检测报告3.docx",
                             "检测报告4.docx", "甘肃报告.docx",  "吉林报告.docx"};
  for (int format = 0; format < kReportFormatCount; ++format) {
    filler.fills.clear();
    auto written = write(format);
    ASSERT_TRUE(written.ok()) << written.message();
    ASSERT_EQ(filler.fills.size(), 2u);
    // Each is filled under a temporary name beside its file, which it then replaces.
    EXPECT_EQ(filler.fills[0].templateName, templates[format]);
    EXPECT_TRUE(filler.fills[0].output.starts_with(".楼板仪报告文档.docx.tmp")) << filler.fills[0].output;
    EXPECT_EQ(filler.fills[1].templateName, "表格.docx");
    EXPECT_TRUE(filler.fills[1].output.starts_with(".数据表格.docx.tmp")) << filler.fills[1].output;
    EXPECT_EQ(test::readBytes(written.value().report), "document");
    EXPECT_EQ(test::readBytes(written.value().dataTable), "document");
  }
  // Both documents are filled with the ticked members' values: 15 readings, 10 passing.
  const ReportValues& values = filler.fills[1].values;
  ASSERT_EQ(values.members.size(), 2u);
  EXPECT_EQ(values.members[1].fields.at("测区编号"), "C003");
  EXPECT_EQ(values.projectField("测点总数"), "15");
  EXPECT_EQ(values.projectField("合格点数"), "10");
  EXPECT_EQ(values.projectField("结论"), "不合格");
  // A user format is its own template.
  filler.fills.clear();
  test::writeBytes(dir / "mine.docx", "template");
  ASSERT_TRUE(writeReport(project, ParameterValues{}, ChosenFormat{-1, dir / "mine.docx", "mine"}, filler,
                          paths, {2005, 3, 7})
                  .ok());
  EXPECT_EQ(filler.fills[0].templateName, "mine.docx");
}

TEST_F(ReportTest, AMissingReportTemplateStopsBeforeAnythingIsWritten) {
  project.members = {member("A001", 1, 1)};
  std::filesystem::remove(dir / "检测报告4.docx");
  auto missing = write(3);
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("检测报告4.docx"), std::string::npos);
  EXPECT_TRUE(filler.fills.empty());
  project.members = {member("A001", 1, 1, 0)};
  EXPECT_FALSE(write(0).ok());  // nothing ticked
  EXPECT_TRUE(filler.fills.empty());
}

// The report is written whatever happens to its data table; an earlier report's table under the
// new table's name is moved aside, so the two are never taken for a pair.
TEST_F(ReportTest, AFailedDataTableStillWritesTheReportAndSaysWhy) {
  project.members = {member("A001", 12, 12)};
  test::writeBytes(dir / "out" / pathFromUtf8("数据表格.docx"), "an earlier report's table");
  filler.failFor = "表格.docx";
  auto written = write(0);
  ASSERT_TRUE(written.ok()) << written.message();
  EXPECT_EQ(written.value().report, dir / "out" / pathFromUtf8("楼板仪报告文档.docx"));
  EXPECT_TRUE(written.value().dataTable.empty());
  EXPECT_NE(written.value().dataTableError.find("无法填写 表格.docx"), std::string::npos);
  EXPECT_EQ(written.value().earlierTableMovedTo, dir / "out" / pathFromUtf8("数据表格-旧.docx"));
  EXPECT_NE(dataTableProblemText(written.value(), paths.dataTablePath()).find("已改名为"), std::string::npos);

  filler.failFor.clear();
  std::filesystem::remove(dir / "表格.docx");
  auto missing = write(0);
  ASSERT_TRUE(missing.ok());
  EXPECT_NE(missing.value().dataTableError.find("表格.docx"), std::string::npos);
}

// A table beyond what a word processor's table holds is refused at once; the report is written.
TEST_F(ReportTest, ADataTableBeyondItsLimitIsRefusedAtOnce) {
  // 3,276 members of 91..100 readings: 11 rows each, 36,036 rows in all.
  for (int i = 0; i < 3276; ++i) project.members.push_back(member("M" + std::to_string(i), 100, 100));
  EXPECT_EQ(dataTableRowCount(project), 3276 * 11);
  auto written = write(0);
  ASSERT_TRUE(written.ok()) << written.message();
  EXPECT_NE(written.value().dataTableError.find("数据表格最多 32767 行"), std::string::npos)
      << written.value().dataTableError;
  ASSERT_EQ(filler.fills.size(), 1u);  // the report only
  project.members.resize(2978);        // 32,758 rows: within the limit
  filler.fills.clear();
  ASSERT_TRUE(write(0).ok());
  EXPECT_EQ(filler.fills.size(), 2u);
}

TEST_F(ReportTest, AChosenReportFileTakesItsDataTableBesideIt) {
  project.members = {member("A001", 2, 2)};
  paths.reportFile = dir / "docs" / pathFromUtf8("一号楼报告.docx");
  std::filesystem::create_directories(dir / "docs");
  auto written = write(0);
  ASSERT_TRUE(written.ok());
  EXPECT_EQ(written.value().report, dir / "docs" / pathFromUtf8("一号楼报告.docx"));
  EXPECT_EQ(written.value().dataTable, dir / "docs" / pathFromUtf8("一号楼报告-数据表格.docx"));
  EXPECT_EQ(paths.reportOutputs(),
            (std::vector<std::filesystem::path>{written.value().report, written.value().dataTable}));
}

// The report and its table replace an earlier pair together or not at all: a cancel, or the
// process killed, while the table is made leaves the earlier pair as it was.
TEST_F(ReportTest, TheEarlierPairStaysUntilBothFilesAreMade) {
  project.members = {member("A001", 2, 2)};
  const std::filesystem::path report = dir / "out" / pathFromUtf8("楼板仪报告文档.docx");
  const std::filesystem::path table = dir / "out" / pathFromUtf8("数据表格.docx");
  test::writeBytes(report, "earlier report");
  test::writeBytes(table, "earlier table");
  auto earlierPairOnly = [&] {
    EXPECT_EQ(test::readBytes(report), "earlier report");
    EXPECT_EQ(test::readBytes(table), "earlier table");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"), {}), 2);
  };
  CancelFlag cancel{false};
  filler.interruptFor = "表格.docx";
  filler.interrupt = [&] { cancel = true; };
  EXPECT_EQ(write(0, &cancel).message(), kCancelledMessage);
  earlierPairOnly();
#ifndef _WIN32
  filler.interrupt = [] { std::raise(SIGKILL); };
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    (void)write(0);  // killed while writing
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status));
  // The killed writer's temporaries are there until the next write removes them.
  EXPECT_EQ(test::readBytes(report), "earlier report");
  EXPECT_EQ(test::readBytes(table), "earlier table");
  filler.interruptFor.clear();
  ASSERT_TRUE(write(0).ok());
  EXPECT_EQ(test::readBytes(report), "document");
  EXPECT_EQ(test::readBytes(table), "document");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "out"), {}), 2);
#endif
}

TEST_F(ReportTest, ACancelledReportWritesNothing) {
  project.members = {member("A001", 2, 2)};
  CancelFlag cancel{true};
  auto cancelled = write(0, &cancel);
  ASSERT_FALSE(cancelled.ok());
  EXPECT_EQ(cancelled.message(), kCancelledMessage);
  EXPECT_TRUE(filler.fills.empty());
}

// The figures a report states: the ticked members judged by the rule on the exact rate.
TEST(ReportValues, TheVerdictJudgesTheTickedMembersByTheRuleOnTheExactRate) {
  Project project;
  ParameterValues rule90;
  rule90.set("合格率要求", "90");
  project.members = {member("A001", 10, 9)};
  ReportValues v = reportValues(project, rule90, {2005, 3, 7});
  EXPECT_EQ(v.projectField("合格率"), "90.0");
  EXPECT_EQ(v.projectField("结论"), "合格");
  // 89.96 % would read as 90.0 while it fails: two decimals say why.
  project.members = {member("A001", 10000, 8996)};
  v = reportValues(project, rule90, {2005, 3, 7});
  EXPECT_EQ(v.projectField("合格率"), "89.96");
  EXPECT_EQ(v.projectField("结论"), "不合格");
  ParameterValues rule85;
  rule85.set("合格率要求", "85");
  EXPECT_EQ(reportValues(project, rule85, {2005, 3, 7}).projectField("结论"), "合格");
  // Report 1's date: 报告日期 in its short form, else today.
  EXPECT_EQ(v.projectField("报告日期简写"), "2005--3--7");
  rule90.set("报告日期", "2026年 3月 9日");
  EXPECT_EQ(reportValues(project, rule90, {2005, 3, 7}).projectField("报告日期简写"), "2026--3--9");
  // A member's fields: the stored date as it is beside the date as shown.
  project.members = {member("A001", 12, 11)};
  v = reportValues(project, rule90, {2005, 3, 7});
  EXPECT_EQ(v.members[0].fields.at("测试日期原文"), "2008年05月12日");
  EXPECT_EQ(v.members[0].fields.at("测试日期"), "2008年5月12日");
  EXPECT_EQ(v.members[0].readings.size(), 12u);
  EXPECT_FALSE(v.members[0].readings.back().passes);
}

TEST(ProposedDocumentName, ProjectNameWhatAndDateWithoutForbiddenCharacters) {
  const CalendarDate day{2026, 12, 8};
  EXPECT_EQ(proposedDocumentName("阳光花园", "楼板厚度检测报告", day, ".docx"),
            "阳光花园-楼板厚度检测报告-2026-12-08.docx");
  EXPECT_EQ(proposedDocumentName("", "楼板厚度数据", day, ".xlsx"), "楼板厚度数据-2026-12-08.xlsx");
  EXPECT_EQ(proposedDocumentName(" ../1#楼/A:B*?\"<>|\x01 ", "报告", {2027, 1, 2}, ".docx"),
            "1#楼AB-报告-2027-01-02.docx");
}

}  // namespace
}  // namespace kro
