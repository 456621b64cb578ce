// The report printed through Qt into a PDF on the offscreen platform, read back with poppler's
// pdftotext: its page count and its texts.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <cstdio>

#include "model/sample_project.h"
#include "render/report_printer.h"
#include "report/report_parameters.h"
#include "support/temp_dir.h"
#include "views/print_settings.h"
#include "views/report_pages.h"

namespace kro {
namespace {

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  ::pclose(pipe);
  return out;
}

// pdftotext renders a few characters as radicals (黑, 页); the checks avoid them.
TEST(PrintPdf, SampleProjectPagesAndTexts) {
  test::TempDir dir;
  Project project;
  SettingsLocation settings = SettingsLocation::inFolder(dir.path());
  project.members = makeSampleProject();
  ProjectInfo info = emptyProjectInfo(0);
  info["工程名称"] = "阳光花园";
  info["报告编号"] = "LB-2026-0815";
  ASSERT_TRUE(saveFormatParameters(settings, 0, info, 0).ok());
  PrintSettings s;
  s.printPageNumber = 1;
  s.pageNumberFormat = 1;
  s.startPageNumber = 1;
  s.pageNumberPosition = 1;
  s.printFooter = 1;
  s.footerText = "FOOTER-TEXT";
  ASSERT_TRUE(savePrintSettings(settings, s).ok());

  const auto pdf = dir / "report.pdf";
  ASSERT_TRUE(printReportToPdf(project, pdf, settings).ok());
  const std::string info1 = run("pdfinfo '" + pdf.string() + "'");
  EXPECT_NE(info1.find("Pages:           " + std::to_string(countPrintPages(project))), std::string::npos)
      << info1;
  EXPECT_NE(info1.find("A4"), std::string::npos);

  const std::string text = run("pdftotext -layout '" + pdf.string() + "' -");
  for (const char* expected :
       {"LB-2026-0815", "阳光花园", "检测报告", "原始数据列表", "W003(", "设计厚度:140 mm", "FOOTER-TEXT",
        "GB50204-2002", "共对该构件的234个测点", "合格率为82.1%"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  // One raw-data page for the sample's 39 rows.
  EXPECT_EQ(countPrintPages(project), 4);
  EXPECT_EQ(test::entryCount(dir.path()), 3);  // two settings files and the PDF, nothing half-written
}

}  // namespace
}  // namespace kro

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
