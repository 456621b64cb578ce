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
#include "views/recording_canvas.h"
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

std::string withoutSpaces(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != ' ' && c != '\n' && c != '\r' && c != '\t' && c != '\f') out += c;
  }
  return out;
}

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
  ASSERT_TRUE(printReportToPdf(project, pdf, printedPageSettings(project, settings)).ok());
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
  // Every text drawn on the four kinds of page comes back as itself: no radical stands in for
  // the ideograph it looks like (U+2E80-U+2FDF, UTF-8 E2 BA 80 to E2 BF 9F).
  const std::string searchable = withoutSpaces(run("pdftotext '" + pdf.string() + "' -"));
  const PrintedPageSettings pageSettings = printedPageSettings(project, settings);
  for (int page = 1; page <= countPrintPages(project); ++page) {
    RecordingCanvas canvas;
    drawReportPage(canvas, project, page, pageSettings);
    for (const auto& call : canvas.calls()) {
      if (call.op != RecordingCanvas::Op::Text && call.op != RecordingCanvas::Op::TextInRect) continue;
      const std::string drawn = withoutSpaces(call.text);
      if (drawn.empty()) continue;
      EXPECT_NE(searchable.find(drawn), std::string::npos) << "page " << page << ": " << call.text;
    }
  }
  for (std::size_t at = 0; (at = searchable.find('\xE2', at)) != std::string::npos; ++at) {
    const auto second = static_cast<unsigned char>(searchable[at + 1]);
    EXPECT_FALSE(second >= 0xBA && second <= 0xBF) << "a radical at byte " << at;
  }
  EXPECT_NE(searchable.find("工程名称"), std::string::npos);
  EXPECT_NE(searchable.find("一、概况"), std::string::npos);

  // The layout is centred on the paper: the readings of the first and the last column of the
  // raw-data page lie symmetrically about the page's middle (595.3 pt wide).
  const std::string boxes = run("pdftotext -bbox -f 4 -l 4 '" + pdf.string() + "' -");
  double leftmost = 1e9, rightmost = 0;
  for (std::size_t at = 0; (at = boxes.find("<word xMin=\"", at)) != std::string::npos; ++at) {
    const double xMin = std::atof(boxes.c_str() + at + 12);
    const std::size_t xMaxAt = boxes.find("xMax=\"", at);
    const double xMax = std::atof(boxes.c_str() + xMaxAt + 6);
    const std::size_t textAt = boxes.find('>', at) + 1;
    const std::string word = boxes.substr(textAt, boxes.find('<', textAt) - textAt);
    if (word.size() != 3 || word.find_first_not_of("0123456789") != std::string::npos) continue;
    leftmost = std::min(leftmost, (xMin + xMax) / 2);
    rightmost = std::max(rightmost, (xMin + xMax) / 2);
  }
  EXPECT_NEAR((leftmost + rightmost) / 2, 595.3 / 2, 3.0) << leftmost << " " << rightmost;

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
