// The printed report pages.
#include "views/report_pages.h"

#include "model/gbk_text.h"
#include "model/report_figures.h"
#include "model/statistics.h"
#include "views/print_settings.h"

namespace kro {
namespace {

constexpr int L = PageLayout::kLeft;
constexpr int T = PageLayout::kTop;
constexpr int W = PageLayout::kWidth;
constexpr int H = PageLayout::kHeight;
constexpr Color kGrey{192, 192, 192};

FontSpec song(int points) { return FontSpec{"宋体", points}; }
FontSpec hei(int points) { return FontSpec{"黑体", points}; }

std::string gbk(const std::string& utf8) { return utf8ToGbkLossy(utf8); }

void drawCoverPage(Canvas& c, const ParameterValues& P) {
  c.setFont(song(46));
  c.drawText(1300, 1200, "检 测 报 告");
  c.setFont(song(14));
  c.drawText(1800, 1800, "编号：");
  c.drawText(2100, 1800, P("报告编号"));
  c.setFont(hei(16));
  c.drawText(1000, 3400, "工程名称：");
  c.drawText(1000, 3800, "委托单位：");
  c.drawText(1000, 4200, "检测内容：");
  for (int y : {3550, 3950, 4350}) c.drawLine(1700, y, 3400, y);
  c.setFont(song(14));
  c.drawText(1800, 3400, P("工程名称"));
  c.drawText(1800, 3800, P("委托单位"));
  c.drawText(1800, 4200, P("检测内容"));
}

void drawSummaryPage(Canvas& c, const Project& project, const ParameterValues& P) {
  c.setFont(song(12));
  c.drawRect({L, T + 200, L + W, T + H});
  c.drawLine(L + 600, T + 200, L + 600, T + 1200);
  const std::pair<const char*, std::string> rows[] = {{"工程名称", P("工程名称")},
                                                      {"施工单位", P("施工单位")},
                                                      {"监理单位", P("监理单位")},
                                                      {"设计单位", P("设计单位")},
                                                      {"检测项目", P("检测内容")}};
  for (int i = 0; i < 5; ++i) {
    const int top = T + 200 + 200 * i;
    c.drawText(L + 100, top + 40, rows[i].first);
    c.drawText(L + 700, top + 40, rows[i].second);
    c.drawLine(L, top + 200, L + W, top + 200);
  }
  c.drawText(L + 100, T + 1440, "一、概况");
  const std::string overview = "       " + P("工程名称") + "工程位于" + P("工程地址") + "，为" +
                               P("结构类别") + "结构。由" + P("施工单位") + "施工，开工时间为" +
                               P("施工日期") + "。根据设计要求，混凝土设计强度等级为" + P("强度等级") + "。" +
                               "\n" + "受" + P("委托单位") + "委托，我所对" + P("结构类别") +
                               "楼板厚度进行了检测。 ";
  const int y1 = printWrapped(c, gbk(overview), L + 60, T + 1640);
  c.drawText(L + 100, y1 + 220, "二、检测方法");
  const int y2 = printWrapped(c,
                              gbk("      按照" + P("检测依据") +
                                  "要求，对梁类 、板类构件，各抽取构件数量的2%且不少于5个构件进行检测。"),
                              L + 60, y1 + 400);
  const int y3 =
      printWrapped(c, gbk("     检测时，在每一个待测的构件底面上，选择有代表性的区域，对楼板厚度进行检测。"),
                   L + 60, y2 + 200);
  c.drawLine(L, y3 + 960, L + W, y3 + 960);
  c.drawLine(L, y3 + 1160, L + W, y3 + 1160);
  c.setFont(song(16));
  c.drawText(L + 1400, y3 + 980, "检  测  结  论");
  c.setFont(song(12));
  const ReportFigures f = reportFigures(project, P.rule());
  c.drawText(L, y3 + 1360,
             "         共对该构件的" + std::to_string(f.readingCount) + "个测点进行检测，其中合格的测点" +
                 std::to_string(f.passCount) + "个，不合格测点" + std::to_string(f.failCount()) + "个，");
  if (f.passes) {
    c.drawText(L, y3 + 1560,
               "     楼板厚度合格率达到" + f.rateText + "%，合格率大于规范要求的" + f.ruleText +
                   "%，该构件的楼板厚度");
    c.drawText(L, y3 + 1760, "     满足设计要求!");
  } else {
    c.drawText(L, y3 + 1560,
               "     楼板厚度合格率为" + f.rateText + "%，合格率低于规范要求的" + f.ruleText +
                   "%，该构件的楼板厚度");
    c.drawText(L, y3 + 1760, "     不满足设计要求!");
  }
  c.setFont(song(16));
  c.drawText(L + 400, y3 + 2000, "(以下空白)");
}

void drawBasisPage(Canvas& c, const ParameterValues& P) {
  c.setFont(song(12));
  c.drawRect({L, T + 200, L + W, T + H});
  for (int y : {1200, 2200, 3200, 4200}) c.drawLine(L, T + y, L + W, T + y);
  c.drawText(L + 100, T + 400, "检测依据：");
  c.drawText(L + 400, T + 800, P("检测依据"));
  c.drawText(L + 100, T + 1400, "检测仪器：");
  c.drawText(L + 400, T + 1800, P("检测仪器"));
  c.drawText(L + 100, T + 2400, "检测时间及检测环境：");
  c.drawText(L + 100, T + 3400, "参加检测人员：");
  c.drawText(L + 100, T + 4400, std::string(9, ' ') + "主检人" + std::string(26, ' ') + "审定人");
  c.drawText(L + 100, T + 4800, std::string(9, ' ') + "核  对" + std::string(26, ' ') + "批准人");
}

void drawRawDataPage(Canvas& c, const Project& project, int page) {
  c.setFont(song(12));
  const int rows = countListRows(project);
  const int first = PageLayout::kRowsPerPage * (page - 4);  // the page's first list row
  const int y0 = T + 150;
  if (page == 4) c.drawText(L, T, "原始数据列表:");
  const int framed = std::min(PageLayout::kRowsPerPage, rows - first);
  if (framed > 0) {
    c.drawRect({L, y0, L + W, y0 + PageLayout::kRowHeight * framed});
    for (int k = 0; k < framed; ++k) c.drawLine(L, y0 + 150 * k, L + W, y0 + 150 * k);
  }
  auto onPage = [&](int g) { return g >= first && g < first + PageLayout::kRowsPerPage; };
  auto top = [&](int g) { return y0 + PageLayout::kRowHeight * (g - first); };
  int g = 0;
  for (const MemberRecord& m : project.members) {
    if (m.selected() == 0) continue;
    if (onPage(g)) {
      const int y = top(g);
      c.fillRect({L + 10, y + 10, L + W - 10, y + 150}, kGrey);
      // Centred in the grey band of the row, so no text touches the grid.
      auto inRow = [&](int x, int right, const std::string& text) {
        c.drawTextInRect({L + x, y + 10, L + right, y + 150}, text, kAlignLeft | kAlignVCenter | kSingleLine);
      };
      inRow(160, 400, gbkToUtf8(m.code()));
      inRow(400, 1840, "(" + gbkToUtf8(m.name()) + ")");
      inRow(1840, 3240, "设计厚度:" + std::to_string(m.designThickness()) + " mm");
      inRow(3240, W, gbkToUtf8(m.testDate()));
    }
    const int n = m.readingCount();
    for (int r = 0; r * 10 < n; ++r) {
      const int row = g + 1 + r;
      if (!onPage(row)) continue;
      const int y = top(row);
      for (int k = 0; k < 10; ++k) c.drawLine(L + 410 * k, y, L + 410 * k, y + 150);
      for (int j = r * 10; j < n && j < r * 10 + 10; ++j) {
        // Centred in its cell with a small margin on every side.
        const int left = L + 410 * (j % 10);
        const int right = j % 10 == 9 ? L + W : left + 410;
        c.drawTextInRect({left + 20, y + 15, right - 20, y + 135}, std::to_string(m.readingAt(j)),
                         kAlignCenter | kAlignVCenter | kSingleLine);
      }
    }
    g += 1 + readingRows(m);
  }
}

constexpr Rect kHeaderBand{300, 400, 4500, 500};
constexpr Rect kFooterBand{300, 6450, 4500, 6550};

void drawInBand(Canvas& c, const Rect& band, unsigned align, const std::string& text) {
  c.drawTextInRect(band, text, align | kSingleLine | kAlignVCenter);
}

void drawPageFurniture(Canvas& c, const Project& project, int page, const PrintSettings& s) {
  c.setFont(song(12));
  const bool header = s.printHeader != 0 && !s.headerText.empty();
  const bool footer = s.printFooter != 0 && !s.footerText.empty();
  if (s.printPageNumber != 0) {
    const std::string text =
        pageNumberText(s.pageNumberFormat, s.startPageNumber, page, countPrintPages(project));
    static constexpr unsigned kAligns[] = {kAlignRight, kAlignCenter, kAlignLeft};
    if (s.pageNumberPosition >= 0 && s.pageNumberPosition < 6 && !text.empty()) {
      const bool top = s.pageNumberPosition >= 3;
      // Sharing its band with a header or footer text, the page number takes a line of its own
      // on the outer side of the band (above the header, below the footer), so the two never
      // overlap; otherwise it stands in the band itself.
      Rect band = top ? kHeaderBand : kFooterBand;
      if (top && header) band = {300, 300, 4500, 400};
      if (!top && footer) band = {300, 6550, 4500, 6650};
      drawInBand(c, band, kAligns[s.pageNumberPosition % 3], text);
    }
  }
  if (s.printHeader != 0) {
    drawInBand(c, kHeaderBand, kAlignCenter, s.headerText);
    c.drawLine(300, 530, 4400, 530);
  }
  if (s.printFooter != 0) drawInBand(c, kFooterBand, kAlignCenter, s.footerText);
}

}  // namespace

int countListRows(const Project& project) {
  int rows = 0;
  for (const MemberRecord& m : project.members) {
    if (m.selected() != 0) rows += 1 + readingRows(m);
  }
  return rows;
}

int countPrintPages(const Project& project) {
  const int rows = countListRows(project);
  return 3 + (rows + PageLayout::kRowsPerPage - 1) / PageLayout::kRowsPerPage;
}

namespace {

// Punctuation that may not begin a line (GBK): 。，、；：！？）」』》”’ and their ASCII kin.
bool closesLine(std::string_view text, std::size_t at) {
  static constexpr std::string_view kClosing[] = {"\xA1\xA3", "\xA3\xAC", "\xA1\xA2", "\xA3\xBB", "\xA3\xBA",
                                                  "\xA3\xA1", "\xA3\xBF", "\xA3\xA9", "\xA1\xB9", "\xA1\xBB",
                                                  "\xA1\xB7", "\xA1\xB1", "\xA1\xAF", ".",        ",",
                                                  ";",        ":",        "!",        "?",        ")"};
  for (std::string_view p : kClosing) {
    if (text.substr(at, p.size()) == p) return true;
  }
  return false;
}

}  // namespace

std::vector<std::string> wrapPrintText(std::string_view text) {
  std::vector<std::string> lines;
  std::string line;
  std::size_t capacity = 77;
  auto endLine = [&](std::size_t next) {
    // Closing punctuation hangs at the end of the line rather than starting the next one.
    while (next < text.size() && closesLine(text, next)) {
      const std::size_t length = gbkCharLength(text, next);
      line.append(text.substr(next, length));
      next += length;
    }
    lines.push_back(line);
    line.clear();
    capacity = 76;
    return next;
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = gbkCharLength(text, i);
    if (line.size() + length > capacity) {
      i = endLine(i);
      continue;
    }
    line.append(text.substr(i, length));
    i += length;
    if (line.size() == capacity) i = endLine(i);
  }
  lines.push_back(line);  // the last line is drawn even when empty
  return lines;
}

int printWrapped(Canvas& c, std::string_view gbkText, int x, int firstY) {
  int y = firstY - 200;
  for (const std::string& line : wrapPrintText(gbkText)) {
    y += 200;
    c.drawText(x, y, gbkToUtf8(line));
  }
  return y;
}

PrintedPageSettings printedPageSettings(const Project& project, const SettingsLocation& location) {
  return {printSettingsForPage(location), effectiveParameters(project, location)};
}

void drawReportPage(Canvas& c, const Project& project, int page, const PrintedPageSettings& settings) {
  switch (page) {
    case 1:
      drawCoverPage(c, settings.parameters);
      break;
    case 2:
      drawSummaryPage(c, project, settings.parameters);
      break;
    case 3:
      drawBasisPage(c, settings.parameters);
      break;
    default:
      drawRawDataPage(c, project, page);
      break;
  }
  drawPageFurniture(c, project, page, settings.print);
}

}  // namespace kro
