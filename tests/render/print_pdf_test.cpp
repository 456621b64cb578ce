// The report printed through Qt into a PDF on the offscreen platform, read back with poppler's
// pdftotext: its page count and its texts.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "model/gbk_text.h"
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
  const PrintedPageSettings pageSettings = printedPageSettings(project, settings);
  const PrintedReport report = layoutForPrinting(project, pageSettings);
  ASSERT_TRUE(printReportToPdf(project, pdf, pageSettings).ok());
  const std::string info1 = run("pdfinfo '" + pdf.string() + "'");
  EXPECT_NE(info1.find("Pages:           " + std::to_string(report.pageCount())), std::string::npos) << info1;
  EXPECT_NE(info1.find("A4"), std::string::npos);

  const std::string text = run("pdftotext -layout '" + pdf.string() + "' -");
  for (const char* expected :
       {"LB-2026-0815", "阳光花园", "检测报告", "原始数据列表", "W003", "(商业楼三层楼板网格)",
        "设计厚度:140 mm", "FOOTER-TEXT", "GB50204-2002", "共对该工程的234个测点", "合格率为82.1%"}) {
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
  }
  // Every text drawn on the four kinds of page comes back as itself: no radical stands in for
  // the ideograph it looks like (U+2E80-U+2FDF, UTF-8 E2 BA 80 to E2 BF 9F).
  const std::string searchable = withoutSpaces(run("pdftotext '" + pdf.string() + "' -"));
  for (int page = 1; page <= report.pageCount(); ++page) {
    RecordingCanvas canvas;
    drawReportPage(canvas, project, report, page);
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
  EXPECT_EQ(report.pageCount(), 4);
  EXPECT_EQ(test::entryCount(dir.path()), 3);  // two settings files and the PDF, nothing half-written
}

struct WordBox {
  double x0, y0, x1, y1;
  std::string text;
};
struct PdfPage {
  double width = 0, height = 0;
  std::vector<WordBox> words;
};

// Every word of every page with its box, from pdftotext -bbox.
std::vector<PdfPage> wordBoxes(const std::filesystem::path& pdf) {
  const std::string xml = run("pdftotext -bbox '" + pdf.string() + "' -");
  std::vector<PdfPage> pages;
  auto attribute = [&](std::size_t at, const char* name) {
    const std::size_t found = xml.find(std::string(name) + "=\"", at);
    return std::atof(xml.c_str() + found + std::strlen(name) + 2);
  };
  for (std::size_t at = 0; (at = xml.find('<', at)) != std::string::npos; ++at) {
    if (xml.compare(at, 6, "<page ") == 0) {
      pages.push_back({attribute(at, "width"), attribute(at, "height"), {}});
    } else if (xml.compare(at, 6, "<word ") == 0 && !pages.empty()) {
      const std::size_t textAt = xml.find('>', at) + 1;
      pages.back().words.push_back({attribute(at, "xMin"), attribute(at, "yMin"), attribute(at, "xMax"),
                                    attribute(at, "yMax"),
                                    xml.substr(textAt, xml.find('<', textAt) - textAt)});
    }
  }
  return pages;
}

// Prints a project and checks what a client would read: every text given is in the PDF's text,
// every word lies on the paper, and no word is printed over another (boxes shrunk to the
// glyphs' height, as a line's box includes the space between lines).
void expectReadable(const Project& project, const ParameterValues& values, const std::string& what) {
  test::TempDir dir;
  const auto pdf = dir / "report.pdf";
  PrintSettings furniture;
  furniture.printHeader = furniture.printFooter = furniture.printPageNumber = 1;
  furniture.headerText = "某某市建设工程质量检测中心";
  furniture.footerText = "本报告未经本单位书面批准不得部分复制";
  furniture.pageNumberFormat = 4;
  furniture.startPageNumber = 1;
  furniture.pageNumberPosition = 1;
  const PrintedPageSettings settings{furniture, values};
  ASSERT_TRUE(printReportToPdf(project, pdf, settings).ok()) << what;
  const std::vector<PdfPage> pages = wordBoxes(pdf);
  EXPECT_EQ(static_cast<int>(pages.size()), layoutForPrinting(project, settings).pageCount()) << what;
  const std::string text = withoutSpaces(run("pdftotext '" + pdf.string() + "' -"));
  for (const auto& [name, value] : values.all()) {
    if (name == "工程名称" || name == "委托单位" || name == "检测依据" || name == "检测仪器" ||
        name == "报告编号") {
      EXPECT_NE(text.find(withoutSpaces(value)), std::string::npos) << what << ": " << name;
    }
  }
  // A heading's name in several lines is read around the heading's other texts.
  std::string names = text;
  for (const std::string part : {"设计厚度:120mm", "2026年12月08日"}) {
    for (std::size_t at; (at = names.find(part)) != std::string::npos;) names.erase(at, part.size());
  }
  for (const MemberRecord& m : project.members)
    EXPECT_NE(names.find("(" + gbkToUtf8(m.name()) + ")"), std::string::npos)
        << what << ": " << gbkToUtf8(m.code());
  EXPECT_NE(text.find("(以下空白)"), std::string::npos) << what;
  EXPECT_NE(text.find(furniture.footerText), std::string::npos) << what;
  EXPECT_NE(text.find("设计要求!"), std::string::npos) << what;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const PdfPage& page = pages[p];
    std::vector<WordBox> glyphs;
    for (const WordBox& w : page.words) {
      EXPECT_TRUE(w.x0 >= 0 && w.y0 >= 0 && w.x1 <= page.width && w.y1 <= page.height)
          << what << " page " << p + 1 << ": " << w.text;
      const double middle = (w.y0 + w.y1) / 2, half = (w.y1 - w.y0) * 0.3;
      glyphs.push_back({w.x0 + 0.5, middle - half, w.x1 - 0.5, middle + half, w.text});
    }
    std::sort(glyphs.begin(), glyphs.end(), [](const WordBox& a, const WordBox& b) { return a.y0 < b.y0; });
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
      for (std::size_t j = i + 1; j < glyphs.size() && glyphs[j].y0 < glyphs[i].y1; ++j) {
        const bool apart = glyphs[i].x1 <= glyphs[j].x0 || glyphs[j].x1 <= glyphs[i].x0;
        EXPECT_TRUE(apart) << what << " page " << p + 1 << ": " << glyphs[i].text << " / " << glyphs[j].text;
      }
    }
  }
}

std::string repeated(const std::string& part, std::size_t length) {
  std::string out;
  while (out.size() < length * 3) out += part;
  return gbkToUtf8(gbkTruncate(utf8ToGbkLossy(out), 2 * length));
}

Project membersOf(int count, int readings) {
  const char* names[] = {"阳光花园二期3#楼地下车库顶板后浇带东侧区域", "商业综合体裙楼四层楼板", "住宅楼",
                         "1#楼二十三层卫生间降板区域楼板及走廊", "地下室"};
  const char* codes[] = {"W-01-0001", "B203", "KB-12", "A1", "Z99-8888A"};
  Project project;
  for (int i = 0; i < count; ++i) {
    MemberData d;
    d.code = codes[i % 5];
    d.name = *utf8ToGbk(names[i % 5]);
    d.testDate = *utf8ToGbk("2026年12月08日");
    d.designThickness = 120;
    for (int k = 0; k < readings; ++k) d.readings.push_back({0, 110 + (i * 7 + k * 3) % 20, 0});
    project.members.emplace_back(std::move(d));
  }
  return project;
}

TEST(PrintPdf, NothingCutCoveredOrLostWithTheTextsAnOfficeTypes) {
  ParameterValues office;
  office.set("工程名称",
             "阳光花园二期住宅小区3#、5#、7#楼及地下车库工程（含配套商业用房）主体结构楼板厚度检测");
  office.set("委托单位", "某某市城市建设投资开发集团有限公司第三工程项目部");
  office.set("工程地址", "某某省某某市某某区高新技术产业开发区创新大道与科技路交叉口东北角");
  office.set("施工单位", "中国建筑第八工程局有限公司第二建设分公司");
  office.set("监理单位", "某某工程建设监理咨询有限责任公司");
  office.set("报告编号", "JC-LB-2026-120815-0001");
  office.set("检测依据", "《混凝土结构工程施工质量验收规范》（GB50204-2015）");
  office.set("检测仪器", "楼板厚度测试仪");
  expectReadable(membersOf(13, 17), office, "office texts, 13 members");
  expectReadable(membersOf(40, 12), office, "office texts, 40 members");

  ParameterValues huge;
  for (const char* key : {"工程名称", "委托单位", "工程地址", "施工单位", "监理单位", "设计单位", "结构类别",
                          "检测依据", "检测仪器", "报告编号", "检测内容"}) {
    huge.set(key, repeated(std::string(key) + "很长的值", 300));
  }
  expectReadable(membersOf(40, 12), huge, "300-character values");
}

TEST(PrintPdf, SixDigitCountsFitTheConclusion) {
  ParameterValues values;
  values.set("工程名称", "大型住宅区");
  expectReadable(membersOf(1000, 100), values, "1,000 members");
}

TEST(PrintPdf, ACorrectedReadingAndTheLogPageReadBack) {
  test::TempDir dir;
  Project project;
  project.members = makeSampleProject();
  beginRecord(project, std::nullopt, recorderNamed("张工"));
  const std::vector<MemberRecord> before = project.members;
  project.members[0].setReading(1, {0, 150, 0, ReadingOrigin::Unrecorded});  // was 122
  recordChanges(project, before, project.parameters, recorderNamed("李工"));
  const auto pdf = dir / "corrected.pdf";
  const PrintedPageSettings pageSettings =
      printedPageSettings(project, SettingsLocation::inFolder(dir.path()));
  ASSERT_TRUE(printReportToPdf(project, pdf, pageSettings).ok());
  const int pages = layoutForPrinting(project, pageSettings).pageCount();
  const std::string raw = withoutSpaces(run("pdftotext -f 4 -l 4 '" + pdf.string() + "' -"));
  EXPECT_NE(raw.find("122150[1]"), std::string::npos) << raw.substr(0, 400);
  const std::string log = withoutSpaces(run("pdftotext -f " + std::to_string(pages) + " -l " +
                                            std::to_string(pages) + " '" + pdf.string() + "' -"));
  const std::string hash = hexOf(project.log.back().hash);
  for (const std::string& expected :
       {std::string("修改记录:"), std::string("李工"), std::string("122"), hash})
    EXPECT_NE(log.find(expected), std::string::npos) << expected << "\n" << log;
}

}  // namespace
}  // namespace kro

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
