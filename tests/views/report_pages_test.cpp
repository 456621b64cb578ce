// The printed pages on a recording canvas: texts, positions, row and page counts, wrapping,
// the conclusion and the page number, header and footer.
#include "views/report_pages.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "model/gbk_text.h"
#include "report/project_parameters.h"
#include "support/temp_dir.h"
#include "views/print_settings.h"
#include "views/recording_canvas.h"

namespace kro {
namespace {

using Op = RecordingCanvas::Op;

MemberRecord member(const std::string& code, int readings, int passing = -1, std::int32_t selected = 1) {
  MemberData d;
  d.code = code;
  d.name = *utf8ToGbk("板" + code);
  d.testDate = *utf8ToGbk("2008年05月12日");
  d.designThickness = 120;
  d.selected = selected;
  for (int i = 0; i < readings; ++i)
    d.readings.push_back({0, passing < 0 || i < passing ? 120 + i % 5 : 200, 0});
  return MemberRecord(std::move(d));
}

class PagesTest : public ::testing::Test {
 protected:
  PagesTest() = default;

  PrintedReport layout() {
    return layoutPrintedReport(project, printedPageSettings(project, settings), EstimatedTextMeasure());
  }
  RecordingCanvas draw(int page) {
    RecordingCanvas canvas;
    drawReportPage(canvas, project, layout(), page);
    return canvas;
  }
  void parameters(std::initializer_list<std::pair<const char*, std::string>> values) {
    ProjectInfo info = emptyProjectInfo(0);
    for (const auto& [k, v] : values) info[k] = v;
    ASSERT_TRUE(saveFormatParameters(settings, 0, info, 0).ok());
  }

  test::TempDir dir;
  Project project;
  SettingsLocation settings = SettingsLocation::inFolder(dir.path());
};

TEST_F(PagesTest, CoverPage) {
  parameters({{"报告编号", "LB-1"}, {"工程名称", "一号楼"}, {"委托单位", "甲公司"}});
  RecordingCanvas c = draw(1);
  const auto* title = c.findText("检 测 报 告");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(std::make_pair(title->x1, title->y1), std::make_pair(1300, 1200));
  EXPECT_EQ(c.calls().front().font, (FontSpec{"宋体", 46}));
  EXPECT_EQ(c.findText("LB-1")->x1, 2100);
  EXPECT_EQ(c.findText("委托单位：")->y1, 3800);
  EXPECT_EQ(c.findText("一号楼")->x1, 1800);
  EXPECT_EQ(c.findText("楼板厚度检测")->y1, 4200);
  const auto lines = c.callsOf(Op::Line);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[2].y1, 4350);
  EXPECT_EQ(lines[0].x2, 3400);
  bool hei = false;
  for (const auto& call : c.callsOf(Op::Font)) hei = hei || call.font == FontSpec{"黑体", 16};
  EXPECT_TRUE(hei);
  EXPECT_EQ(c.findText("检测单位："), nullptr);  // nothing for an empty field

  parameters({{"工程名称", "一号楼"}, {"检测单位", "某检测所"}, {"报告日期", "2026年12月19日"}});
  RecordingCanvas dated = draw(1);
  ASSERT_NE(dated.findText("检测单位："), nullptr);
  EXPECT_EQ(dated.findText("某检测所")->y1, dated.findText("检测单位：")->y1);
  EXPECT_GT(dated.findText("报告日期：")->y1, dated.findText("检测单位：")->y1);
  EXPECT_NE(dated.findText("2026年12月19日"), nullptr);
  // The summary's table names the office too.
  EXPECT_NE(draw(2).findText("某检测所"), nullptr);
}

TEST_F(PagesTest, SummaryPageRowsAndConclusion) {
  parameters({{"施工单位", "乙公司"}, {"合格率要求", "85"}});
  project.members = {member("A001", 100, 85)};
  RecordingCanvas c = draw(2);
  EXPECT_EQ(c.callsOf(Op::Rectangle)[0].y1, 600);
  const char* labels[] = {"工程名称", "施工单位", "监理单位", "设计单位", "检测项目"};
  for (int i = 0; i < 5; ++i) {
    const auto* label = c.findText(labels[i]);
    ASSERT_NE(label, nullptr) << labels[i];
    EXPECT_EQ(label->x1, 400);
    EXPECT_EQ(label->y1, 640 + 200 * i);
  }
  EXPECT_EQ(c.findText("乙公司")->x1, 1000);
  EXPECT_NE(c.findText("     楼板厚度合格率达到85.0%，合格率不低于规范要求的85%，该工程的楼板厚度"), nullptr);
  EXPECT_NE(c.findText("     满足设计要求!"), nullptr);
  EXPECT_NE(c.findText("         共对该工程的100个测点进行检测，其中合格的测点85个，不合格测点15个，"),
            nullptr);

  // 84.96 % is below the required 85 %: two decimals, so it never reads as 85.0.
  project.members = {member("A001", 2500, 2124)};
  RecordingCanvas below = draw(2);
  EXPECT_NE(below.findText("     楼板厚度合格率为84.96%，合格率低于规范要求的85%，该工程的楼板厚度"),
            nullptr);
  EXPECT_NE(below.findText("     不满足设计要求!"), nullptr);
  EXPECT_EQ(below.findText("     满足设计要求!"), nullptr);
}

TEST_F(PagesTest, OverviewWrapsAt76Bytes) {
  std::string name;
  for (int i = 0; i < 35; ++i) name += "甲";
  parameters({{"工程名称", name}});
  RecordingCanvas c = draw(2);
  const auto* first = c.findText("       " + name);
  ASSERT_NE(first, nullptr);  // 7 spaces and 70 bytes: the line is full
  EXPECT_EQ(first->x1, 360);
  // The name is wider than the table's value cell too: its row took a second line (170), and
  // the overview moved down with it from 2040.
  EXPECT_EQ(first->y1, 2040 + 170);
  std::vector<RecordingCanvas::Call> texts = c.callsOf(Op::Text);
  auto it = std::find_if(texts.begin(), texts.end(),
                         [&](const auto& t) { return t.y1 == first->y1 + 200 && t.x1 == 360; });
  ASSERT_NE(it, texts.end());
  EXPECT_EQ(it->text.rfind("工程位于", 0), 0u);
  // With a name that fits the cell, every line stands where the original layout put it.
  parameters({{"工程名称", name.substr(0, 3 * 30)}});
  texts = draw(2).callsOf(Op::Text);
  it = std::find_if(texts.begin(), texts.end(),
                    [&](const auto& t) { return t.text.rfind("       " + name.substr(0, 3 * 30), 0) == 0; });
  ASSERT_NE(it, texts.end());
  EXPECT_EQ(it->y1, 2040);
}

// Texts an office types, and far longer ones: every text is drawn whole, inside the frame or
// the page, and nothing is drawn over anything else.
TEST_F(PagesTest, LongTextsWrapAndMoveWhatFollowsDown) {
  auto repeat = [](const std::string& part, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += part;
    return out;
  };
  for (int length : {40, 300}) {
    // Characters no fixed text of the pages holds, so each is counted where its value goes.
    parameters({{"工程名称", repeat("鑫", length)},
                {"委托单位", repeat("淼", length)},
                {"工程地址", repeat("垚", length)},
                {"施工单位", repeat("焱", length)},
                {"检测依据", repeat("犇", length)},
                {"检测仪器", repeat("骉", length)},
                {"报告编号", repeat("N", length)}});
    MemberData d = member("W00000001", 12).data();
    d.name = *utf8ToGbk(repeat("鱻", 49));
    project.members = {MemberRecord(d), member("A002", 3)};
    const PrintedReport report = layout();
    std::string everything;
    for (int page = 1; page <= report.pageCount(); ++page) {
      RecordingCanvas c;
      drawReportPage(c, project, report, page);
      FontSpec font;
      for (const auto& call : c.calls()) {
        if (call.op == Op::Font) font = call.font;
        if (call.op != Op::Text) continue;
        everything += call.text;
        // Inside the paper's printable part, below the header band and above the footer band.
        EXPECT_GE(call.x1, 300) << call.text;
        EXPECT_LE(call.x1 + EstimatedTextMeasure().textWidth(font, call.text), 4500) << call.text;
        EXPECT_GE(call.y1, 400) << call.text;
        EXPECT_LE(call.y1 + 140, 6450) << call.text;
      }
      for (const auto& call : c.callsOf(Op::TextInRect)) everything += call.text;
    }
    auto count = [&](const std::string& part) {
      int n = 0;
      for (std::size_t at = 0; (at = everything.find(part, at)) != std::string::npos; at += part.size()) ++n;
      return n;
    };
    // Every character of every value is printed: nothing cut.
    EXPECT_EQ(count("鑫"), 3 * length) << length;  // cover, table and overview
    EXPECT_EQ(count("淼"), 2 * length) << length;  // cover and overview
    EXPECT_EQ(count("垚"), length) << length;
    EXPECT_EQ(count("焱"), 2 * length) << length;  // table and overview
    EXPECT_EQ(count("犇"), 2 * length) << length;  // method sentence and basis page
    EXPECT_EQ(count("骉"), length) << length;
    EXPECT_EQ(count("N"), length) << length;
    EXPECT_EQ(count("鱻"), 49) << length;
    EXPECT_NE(everything.find("满足设计要求!"), std::string::npos) << length;
    EXPECT_NE(everything.find("(以下空白)"), std::string::npos) << length;
    if (length == 300) {
      EXPECT_GT(report.pageCount(), 4);  // continuation sheets
    }
  }
}

TEST_F(PagesTest, WrappingNeverSplitsACharacter) {
  const std::string text = "a" + std::string(76, 'b') + "\xD6\xD0" + std::string(80, 'c');
  auto lines = wrapPrintText(text);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 77u);
  EXPECT_EQ(lines[1].rfind("\xD6\xD0", 0), 0u);
  for (const auto& line : lines) EXPECT_EQ(gbkTruncate(line, line.size()), line);
  // A character straddling byte 77 goes whole to the next line.
  auto shifted = wrapPrintText(std::string(76, 'x') + "\xD6\xD0" + "yy");
  EXPECT_EQ(shifted[0], std::string(76, 'x'));
  EXPECT_EQ(shifted[1], "\xD6\xD0yy");
  EXPECT_EQ(wrapPrintText(""), std::vector<std::string>{""});
}

TEST_F(PagesTest, WrappingToAWidth) {
  const EstimatedTextMeasure measure;  // 100 units a character at 12 points
  EXPECT_EQ(wrapToWidth("甲乙丙丁戊", measure, {"宋体", 12}, 300),
            (std::vector<std::string>{"甲乙丙", "丁戊"}));
  // A closing mark hangs at the end of a full line and leaves no empty line after it.
  EXPECT_EQ(wrapToWidth("甲乙丙，", measure, {"宋体", 12}, 300), std::vector<std::string>{"甲乙丙，"});
  EXPECT_EQ(wrapToWidth("", measure, {"宋体", 12}, 300), std::vector<std::string>{""});
  // ASCII is measured as narrow: 0.6 of a character.
  EXPECT_EQ(wrapToWidth("WWWWWW", measure, {"宋体", 12}, 300).size(), 2u);
}

TEST_F(PagesTest, ClosingPunctuationNeverStartsALine) {
  const std::string stop = "\xA1\xA3";   // 。
  const std::string comma = "\xA3\xAC";  // ，
  // A full first line followed by "。": the full stop hangs at its end.
  auto lines = wrapPrintText("a" + std::string(76, 'b') + stop + "cd");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "a" + std::string(76, 'b') + stop);
  EXPECT_EQ(lines[1], "cd");
  // Two in a row, and a character that does not fit followed by punctuation.
  lines = wrapPrintText(std::string(77, 'x') + comma + stop);
  EXPECT_EQ(lines[0], std::string(77, 'x') + comma + stop);
  lines = wrapPrintText(std::string(76, 'x') + "\xD6\xD0" + stop + "y");
  EXPECT_EQ(lines[0], std::string(76, 'x'));
  EXPECT_EQ(lines[1], "\xD6\xD0" + stop + "y");
  for (const std::string& line :
       wrapPrintText(std::string(200, 'z') + stop + std::string(100, 'z') + comma)) {
    EXPECT_NE(line.rfind(stop, 0), 0u);
    EXPECT_NE(line.rfind(comma, 0), 0u);
  }
}

TEST_F(PagesTest, ListRowsAndPages) {
  auto rows = [&] {
    int n = 0;
    for (const RawPage& page : layout().raw) n += static_cast<int>(page.rows.size());
    return n;
  };
  project.members = {member("A001", 10)};
  EXPECT_EQ(rows(), 2);
  project.members = {member("A001", 11)};
  EXPECT_EQ(rows(), 3);
  project.members = {member("A001", 0), member("A002", 50, -1, 0)};
  EXPECT_EQ(rows(), 2);  // header and an empty row; the unmarked member takes none
  project.members = {};
  EXPECT_EQ(layout().pageCount(), 3);
  // 39 rows fit above the footer: 4 x 10 rows and 2 more make two raw-data pages; the fourth
  // member's last row goes on on the second page under its heading again.
  std::vector<MemberRecord> members(4, member("A001", 90));
  members.push_back(member("B002", 0));
  project.members = members;
  EXPECT_EQ(rows(), 43);
  EXPECT_EQ(layout().pageCount(), 5);
  members.resize(3);
  members.push_back(member("C003", 80));
  project.members = members;
  EXPECT_EQ(rows(), 39);
  EXPECT_EQ(layout().pageCount(), 4);  // exactly one full page
  // A heading never stands alone at the foot of a page: it goes with its first readings.
  members.push_back(member("D004", 5));
  project.members = members;
  const PrintedReport two = layout();
  ASSERT_EQ(two.raw.size(), 2u);
  EXPECT_EQ(two.raw[0].rows.size(), 39u);
  EXPECT_EQ(two.raw[1].rows.front().firstReading, RawRow::kHeading);
  // A member whose readings go on on the next page is named again there, marked as continued.
  project.members = {member("E005", 400)};
  const PrintedReport continued = layout();
  ASSERT_EQ(continued.raw.size(), 2u);
  const RawRow& again = continued.raw[1].rows.front();
  EXPECT_EQ(again.firstReading, RawRow::kHeading);
  EXPECT_EQ(again.nameLines.front(), "（续）(板E005)");
  EXPECT_EQ(continued.raw[1].rows[1].firstReading, 380);
  EXPECT_EQ(continued.raw[0].rows.front().nameLines.back(), "(板E005)");
}

TEST_F(PagesTest, RawDataRows) {
  std::vector<MemberRecord> members(3, member("A001", 90));
  members.push_back(member("C003", 80));
  members.push_back(member("B002", 11));
  project.members = members;  // 39 + 3 = 42 rows
  RecordingCanvas page4 = draw(4);
  EXPECT_NE(page4.findText("原始数据列表:"), nullptr);
  // The full page ends at the frame's bottom, clear of the footer band (6450..6550).
  EXPECT_EQ(page4.callsOf(Op::Rectangle)[0].y2, 550 + 39 * 150);
  EXPECT_EQ(page4.callsOf(Op::Fill).size(), 4u);
  RecordingCanvas page5 = draw(5);
  EXPECT_EQ(page5.findText("原始数据列表:"), nullptr);
  const auto frame = page5.callsOf(Op::Rectangle);
  ASSERT_EQ(frame.size(), 1u);
  EXPECT_EQ(frame[0].y2 - frame[0].y1, 3 * 150);
  const auto fills = page5.callsOf(Op::Fill);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].color, (Color{192, 192, 192}));
  EXPECT_EQ(fills[0].y1, 560);
  EXPECT_NE(page5.findText("B002"), nullptr);
  EXPECT_NE(page5.findText("设计厚度:120 mm"), nullptr);
  // The eleventh reading stands in the first cell of the third row, centred with a margin.
  auto texts = page5.callsOf(Op::TextInRect);
  auto eleventh =
      std::find_if(texts.begin(), texts.end(), [](const auto& t) { return t.y1 == 550 + 300 + 15; });
  ASSERT_NE(eleventh, texts.end());
  EXPECT_EQ(std::make_tuple(eleventh->x1, eleventh->x2, eleventh->y2),
            std::make_tuple(320, 690, 550 + 300 + 135));
  EXPECT_EQ(eleventh->align & kAlignCenter, kAlignCenter);
  EXPECT_EQ(eleventh->text, "120");
  // Every text of a row lies inside the row, clear of its grid lines.
  for (const auto& t : texts) {
    if (t.y1 < 550) continue;  // page furniture
    const int row = (t.y1 - 550) / 150;
    EXPECT_GT(t.y1, 550 + 150 * row) << t.text;
    EXPECT_LE(t.y2, 550 + 150 * (row + 1)) << t.text;
  }
}

TEST_F(PagesTest, PageNumberHeaderAndFooter) {
  std::vector<MemberRecord> members(4, member("A001", 90));
  members.push_back(member("B002", 0));
  project.members = members;  // 42 rows: 5 pages
  PrintSettings s;
  s.printHeader = 1;
  s.printFooter = 0;
  s.printPageNumber = 1;
  s.headerText = "页眉文字";
  s.footerText = "页脚文字";
  s.pageNumberFormat = 4;
  s.startPageNumber = 1;
  s.pageNumberPosition = 4;  // top, centre
  ASSERT_TRUE(savePrintSettings(settings, s).ok());
  RecordingCanvas c = draw(2);
  const auto in = c.callsOf(Op::TextInRect);
  ASSERT_EQ(in.size(), 2u);
  EXPECT_EQ(in[0].text, "共5页 第2页");
  EXPECT_EQ(in[1].text, "页眉文字");
  // The header holds the band; the page number takes its own line above it.
  EXPECT_EQ(std::make_tuple(in[1].x1, in[1].y1, in[1].x2, in[1].y2), std::make_tuple(300, 400, 4500, 500));
  EXPECT_EQ(std::make_tuple(in[0].x1, in[0].y1, in[0].x2, in[0].y2), std::make_tuple(300, 300, 4500, 400));
  EXPECT_EQ(in[0].align & kAlignCenter, kAlignCenter);
  EXPECT_EQ(c.callsOf(Op::Line).back().y1, 530);
  EXPECT_EQ(c.findText("页脚文字"), nullptr);

  // In every position, with header and footer, no two texts of the page furniture overlap;
  // alone in its band the page number keeps the band.
  s.printFooter = 1;
  for (int position = 0; position < 6; ++position) {
    for (int shared : {0, 1}) {
      s.pageNumberPosition = position;
      s.printHeader = s.printFooter = shared;
      ASSERT_TRUE(savePrintSettings(settings, s).ok());
      const auto texts = draw(2).callsOf(Op::TextInRect);
      ASSERT_EQ(texts.size(), 1u + 2 * shared);
      for (std::size_t i = 0; i < texts.size(); ++i) {
        for (std::size_t j = i + 1; j < texts.size(); ++j) {
          const bool apart = texts[i].y2 <= texts[j].y1 || texts[j].y2 <= texts[i].y1;
          EXPECT_TRUE(apart) << "position " << position << ": " << texts[i].text << " / " << texts[j].text;
        }
      }
      if (!shared) {
        EXPECT_EQ(texts[0].y1, position >= 3 ? 400 : 6450) << position;
      }
    }
  }

  EXPECT_EQ(pageNumberText(0, 0, 1, 3), ".0.");
  EXPECT_EQ(pageNumberText(2, 5, 2, 3), "--6--");
  EXPECT_EQ(pageNumberText(3, 1, 1, 3), "第1页");
  EXPECT_EQ(pageNumberText(-1, 1, 1, 3), "");
  // Start numbers at the integer limits count on instead of wrapping.
  EXPECT_EQ(pageNumberText(4, 2147483647, 3, 5), "共2147483651页 第2147483649页");
  EXPECT_EQ(pageNumberText(1, -2147483647 - 1, 1, 1), "-2147483648");
}

TEST_F(PagesTest, NoSettingsFileNoFurniture) {
  RecordingCanvas c = draw(3);
  EXPECT_TRUE(c.callsOf(Op::TextInRect).empty());
  EXPECT_NE(c.findText("《混凝土结构工程施工质量验收规范》（GB50204-2002）"), nullptr);
  EXPECT_NE(c.findText(std::string(9, ' ') + "主检人" + std::string(26, ' ') + "审定人"), nullptr);
}

TEST_F(PagesTest, PrintSettingsFile) {
  EXPECT_EQ(loadPrintSettings(settings), std::nullopt);
  PrintSettings s;
  s.headerText = "甲";
  s.pageNumberFormat = -1;
  ASSERT_TRUE(savePrintSettings(settings, s).ok());
  const std::string text = gbkToUtf8(test::readBytes(dir / "printini.ini"));
  EXPECT_EQ(text,
            "[Data]\r\n打印页眉=0\r\n打印页脚=0\r\n打印页码=0\r\n页眉内容=甲\r\n页脚内容=\r\n页码格式=-1\r\n"
            "起始页码=0\r\n页码位置=-1\r\n");
  auto back = loadPrintSettings(settings);
  ASSERT_TRUE(back.has_value());
  EXPECT_EQ(back->headerText, "甲");
  EXPECT_EQ(back->pageNumberFormat, -1);
}

}  // namespace
}  // namespace kro

namespace kro {
namespace {

// Texts drawn on a page, in order.
std::vector<std::string> textsOf(const RecordingCanvas& canvas) {
  std::vector<std::string> texts;
  for (const auto& call : canvas.calls()) {
    if (call.op == Op::Text || call.op == Op::TextInRect) texts.push_back(call.text);
  }
  return texts;
}

TEST_F(PagesTest, CorrectionsStayLegibleAndTheLogIsPrintedAtTheEnd) {
  project.members = {member("A1", 12), member("B2", 3)};
  const int plain = layout().pageCount();
  // The log begins with the members as they were; then a reading is corrected and one typed.
  beginRecord(project, std::nullopt, recorderNamed("张工"));
  EXPECT_EQ(layout().pageCount(), plain);  // a log without changes adds nothing
  const std::vector<MemberRecord> before = project.members;
  std::vector<Reading> readings = project.members[0].readings();
  readings[11].thickness = 150;
  readings.push_back({0, 118, 0, ReadingOrigin::Typed});
  project.members[0].setReadings(readings);
  recordChanges(project, before, project.parameters, recorderNamed("李工"));
  ASSERT_EQ(project.log.size(), 3u);

  const PrintedReport report = layout();
  ASSERT_EQ(report.pageCount(), plain + 1);
  const auto raw = textsOf(draw(plain));
  // 120 + 11 % 5 = 121 was the value when the log began; struck through beside 150 and its entry.
  const auto now = std::find(raw.begin(), raw.end(), "150[1]");
  ASSERT_NE(now, raw.end());
  EXPECT_EQ(*(now - 1), "121");
  EXPECT_NE(std::find(raw.begin(), raw.end(), "118手"), raw.end());
  const auto log = textsOf(draw(plain + 1));
  EXPECT_EQ(log.front(), "修改记录:");
  for (const char* text : {"A1", "12", "13", "121", "150", "李工", "118"})
    EXPECT_NE(std::find(log.begin(), log.end(), text), log.end()) << text;
  EXPECT_EQ(log.back(), "修改记录最后一条的 SHA-256：" + hexOf(project.log.back().hash));
}

}  // namespace
}  // namespace kro
