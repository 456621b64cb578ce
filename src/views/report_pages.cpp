// The printed report pages: their layout and their drawing.
#include "views/report_pages.h"

#include <algorithm>
#include <map>
#include <optional>

#include "model/gbk_text.h"
#include "model/report_figures.h"
#include "model/statistics.h"
#include "report/qr_code.h"
#include "report/report_code.h"

namespace kro {
namespace {

constexpr int L = PageLayout::kLeft;
constexpr int T = PageLayout::kTop;
constexpr int W = PageLayout::kWidth;
constexpr int H = PageLayout::kHeight;
constexpr Color kGrey{192, 192, 192};
// Where a text may end: the frame's right edge less a margin, and the paper's printable edge.
constexpr int kTextRight = L + W - 40;
constexpr int kPageRight = 4400;
// The lowest a line of text may start on a framed page, so that it ends inside the frame.
// An issued report's code stands below the frame on every page, in a band this high that the
// frame gives up; its modules are 12 units (0.51 mm) square.
constexpr int kCodeBand = 800;
constexpr int kCodeModule = 12;

FontSpec song(int points) { return FontSpec{"宋体", points}; }
FontSpec hei(int points) { return FontSpec{"黑体", points}; }

std::string gbk(const std::string& utf8) { return utf8ToGbkLossy(utf8); }

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

// Lines of GBK text within a byte capacity (77, then 76; 0: none) and a width (0: none).
std::vector<std::string> wrapGbk(std::string_view text, std::size_t firstCapacity, std::size_t laterCapacity,
                                 const LineWidth* width) {
  std::map<std::string, int, std::less<>> advances;  // per character, measured once
  auto advance = [&](std::string_view character) {
    auto it = advances.find(character);
    if (it == advances.end()) {
      it = advances
               .emplace(std::string(character), width->measure->textWidth(width->font, gbkToUtf8(character)))
               .first;
    }
    return it->second;
  };
  const bool measured = width != nullptr && width->measure != nullptr && width->maxWidth > 0;
  std::vector<std::string> lines;
  std::string line;
  int lineWidth = 0;
  std::size_t capacity = firstCapacity;
  auto endLine = [&](std::size_t next) {
    // Closing punctuation hangs at the end of the line rather than starting the next one.
    while (next < text.size() && closesLine(text, next)) {
      const std::size_t length = gbkCharLength(text, next);
      line.append(text.substr(next, length));
      next += length;
    }
    lines.push_back(line);
    line.clear();
    lineWidth = 0;
    capacity = laterCapacity;
    return next;
  };
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = gbkCharLength(text, i);
    const std::string_view character = text.substr(i, length);
    const int w = measured ? advance(character) : 0;
    const bool tooLong = capacity > 0 && line.size() + length > capacity;
    const bool tooWide = measured && !line.empty() && lineWidth + w > width->maxWidth;
    if (tooLong || tooWide) {
      i = endLine(i);
      continue;
    }
    line.append(character);
    lineWidth += w;
    i += length;
    if (capacity > 0 && line.size() == capacity) i = endLine(i);
  }
  lines.push_back(line);  // the last line is drawn even when empty
  return lines;
}

// Front pages are drawn into sheets; a layout that runs off a page starts a continuation sheet.
class Sheets {
 public:
  // bottom: where the framed pages' frame ends (higher when a code stands below it).
  Sheets(std::vector<Sheet>& out, const TextMeasure& measure, int bottom)
      : out_(out), measure_(measure), bottom_(bottom) {}

  void newSheet() {
    out_.emplace_back();
    font_.reset();
  }
  void font(const FontSpec& f) {
    if (font_ && *font_ == f) return;
    font_ = f;
    add({DrawOp::Kind::Font, 0, 0, 0, 0, {}, f, {}});
  }
  void text(int x, int y, const std::string& utf8) { add({DrawOp::Kind::Text, x, y, 0, 0, utf8, {}, {}}); }
  void line(int x1, int y1, int x2, int y2) { add({DrawOp::Kind::Line, x1, y1, x2, y2, {}, {}, {}}); }
  void rect(const Rect& r) { add({DrawOp::Kind::Rect, r.left, r.top, r.right, r.bottom, {}, {}, {}}); }
  const TextMeasure& measure() const { return measure_; }
  std::size_t count() const { return out_.size(); }
  int bottom() const { return bottom_; }

 private:
  void add(DrawOp op) { out_.back().push_back(std::move(op)); }

  std::vector<Sheet>& out_;
  const TextMeasure& measure_;
  int bottom_;
  std::optional<FontSpec> font_;
};

// A framed page (summary, basis) with a cursor: a block that does not fit starts the next sheet.
class FramedFlow {
 public:
  static constexpr int kContinuationTop = T + 300;  // where a continuation sheet's text starts

  explicit FramedFlow(Sheets& s) : s_(s) { newSheet(); }
  Sheets& sheets() { return s_; }
  int bottom() const { return s_.bottom() - 20; }  // no block ends below this
  void newSheet() {
    s_.newSheet();
    s_.font(song(12));
    s_.rect({L, T + 200, L + W, s_.bottom()});
    fresh_ = true;
  }
  // Where a block of `height` that would start at y starts: at y when it fits (or nothing is on
  // the sheet yet), else at the top of a new sheet.
  int fit(int y, int height) {
    if (y + height > bottom() && !fresh_) {
      newSheet();
      y = kContinuationTop;
    }
    fresh_ = false;
    return y;
  }
  void placed() { fresh_ = false; }

 private:
  Sheets& s_;
  bool fresh_ = true;
};

// Wrapped lines of a GBK paragraph, 200 apart from firstY, as printWrapped would draw them;
// returns the y of the last line. Lines below the frame go on to the next sheet.
int flowParagraph(FramedFlow& flow, std::string_view gbkText, int x, int firstY) {
  const LineWidth width{&flow.sheets().measure(), song(12), kTextRight - x};
  int y = firstY - 200;
  for (const std::string& line : wrapPrintText(gbkText, &width)) {
    y = flow.fit(y + 200, 140);
    flow.sheets().font(song(12));
    flow.sheets().text(x, y, gbkToUtf8(line));
  }
  return y;
}

void layoutCover(Sheets& s, const ParameterValues& P) {
  constexpr int kStep = 180;  // between the lines of a 14-point value
  s.newSheet();
  s.font(song(46));
  s.text(1300, 1200, "检 测 报 告");
  s.font(song(14));
  s.text(1800, 1800, "编号：");
  int y = 1800;
  for (const std::string& line : wrapToWidth(P("报告编号"), s.measure(), song(14), kPageRight - 2100)) {
    s.text(2100, y, line);
    y += kStep;
  }
  y = std::max(3400, y + 400);
  // The office and the date only when they are set: nothing is printed for an empty field.
  std::vector<std::pair<const char*, std::string>> fields = {
      {"工程名称：", P("工程名称")}, {"委托单位：", P("委托单位")}, {"检测内容：", P("检测内容")}};
  for (const auto& [key, label] :
       {std::pair{"检测单位", "检测单位："}, std::pair{"报告日期", "报告日期："}}) {
    if (!P(key).empty()) fields.emplace_back(label, P(key));
  }
  for (const auto& [label, value] : fields) {
    const std::vector<std::string> lines = wrapToWidth(value, s.measure(), song(14), kPageRight - 1800);
    for (std::size_t k = 0; k < lines.size(); ++k) {
      // A value longer than the page goes on on a sheet of its own.
      if (y + 160 > s.bottom()) {
        s.newSheet();
        y = T + 400;
      }
      if (k == 0) {
        s.font(hei(16));
        s.text(1000, y, label);
      }
      s.font(song(14));
      s.text(1800, y, lines[k]);
      // The line under the value reaches past a longer text, up to the printable edge.
      const int end = std::clamp(1800 + s.measure().textWidth(song(14), lines[k]) + 40, 3400, kPageRight);
      s.line(1700, y + 150, end, y + 150);
      y += kStep;
    }
    y += 400 - kStep;
  }
}

void layoutSummary(Sheets& s, const Project& project, const ParameterValues& P) {
  FramedFlow flow(s);
  // The project table: a value wider than its cell wraps and its row grows; a row taller than
  // what is left of the sheet goes on on the next.
  std::vector<std::pair<const char*, std::string>> rows = {{"工程名称", P("工程名称")},
                                                           {"施工单位", P("施工单位")},
                                                           {"监理单位", P("监理单位")},
                                                           {"设计单位", P("设计单位")},
                                                           {"检测项目", P("检测内容")}};
  if (!P("检测单位").empty()) rows.emplace_back("检测单位", P("检测单位"));
  int top = T + 200;
  int partTop = top;  // where the table's part on this sheet starts
  auto nextSheet = [&] {
    s.line(L + 600, partTop, L + 600, top);
    flow.newSheet();
    flow.placed();
    top = partTop = T + 200;
  };
  flow.placed();
  for (const auto& [label, value] : rows) {
    const std::vector<std::string> lines = wrapToWidth(value, s.measure(), song(12), kTextRight - (L + 700));
    for (std::size_t k = 0; k < lines.size();) {
      // Line n of a row is at its top + 40 + 170 n and 140 high.
      const int room = (flow.bottom() - top - 40 - 140) / 170 + 1;
      if (room < 1) {
        nextSheet();
        continue;
      }
      const std::size_t take = std::min<std::size_t>(lines.size() - k, static_cast<std::size_t>(room));
      s.font(song(12));
      if (k == 0) s.text(L + 100, top + 40, label);
      for (std::size_t n = 0; n < take; ++n)
        s.text(L + 700, top + 40 + 170 * static_cast<int>(n), lines[k + n]);
      top += 200 + 170 * static_cast<int>(take - 1);
      s.line(L, top, L + W, top);
      k += take;
      if (k < lines.size()) nextSheet();
    }
  }
  s.line(L + 600, partTop, L + 600, top);
  int y = flow.fit(top + 240, 140);
  s.font(song(12));
  s.text(L + 100, y, "一、概况");
  const std::string overview = "       " + P("工程名称") + "工程位于" + P("工程地址") + "，为" +
                               P("结构类别") + "结构。由" + P("施工单位") + "施工，开工时间为" +
                               P("施工日期") + "。根据设计要求，混凝土设计强度等级为" + P("强度等级") + "。" +
                               "\n" + "受" + P("委托单位") + "委托，我所对" + P("结构类别") +
                               "楼板厚度进行了检测。 ";
  const int y1 = flowParagraph(flow, gbk(overview), L + 60, y + 200);
  y = flow.fit(y1 + 220, 140);
  s.font(song(12));
  s.text(L + 100, y, "二、检测方法");
  // The method: the fixed sentences, or a member rule's own.
  const ReportFigures f = reportFigures(project, P.rule());
  const bool byMembers = f.judgesMembers();
  const int y2 =
      flowParagraph(flow,
                    gbk("      按照" + P("检测依据") + "要求，" +
                        (byMembers ? f.judging.sampling
                                   : "对梁类 、板类构件，各抽取构件数量的2%且不少于5个构件进行检测。")),
                    L + 60, y + 180);
  const int y3 = flowParagraph(
      flow,
      gbk(byMembers ? "     " + f.judging.method
                    : "     检测时，在每一个待测的构件底面上，选择有代表性的区域，对楼板厚度进行检测。"),
      L + 60, y2 + 200);

  // The conclusion stays in one piece: its band, its lines and "(以下空白)". The project is "该工程";
  // a rate equal to the requirement is "不低于" it.
  const std::string counted =
      byMembers
          ? "         共对该工程的" + std::to_string(f.memberCount) + "个构件（" +
                std::to_string(f.readingCount) + "个测点）进行检测，以各构件测点的平均值判定，其中合格构件" +
                std::to_string(f.memberPassCount) + "个，不合格构件" +
                std::to_string(f.memberCount - f.memberPassCount) + "个，"
          : "         共对该工程的" + std::to_string(f.readingCount) + "个测点进行检测，其中合格的测点" +
                std::to_string(f.passCount) + "个，不合格测点" + std::to_string(f.failCount()) + "个，";
  const std::string what = byMembers ? "构件合格率" : "楼板厚度合格率";
  std::vector<std::string> lines = {counted};
  if (f.needsSecondSample()) {
    lines.push_back("     " + what + "为" + f.rateText + "%，低于规范要求的" + f.ruleText + "%而不低于" +
                    ruleText(*f.judging.secondSampleFrom) + "%，");
    lines.push_back("     需再抽取" + std::to_string(f.first.memberCount) +
                    "个构件进行二次抽样检测，与本次合并判定。");
  } else {
    if (f.judgesBothSamples() || f.secondIgnored) lines.push_back("     " + f.samplesText() + "，");
    lines.push_back(f.passes ? "     " + what + "达到" + f.rateText + "%，合格率不低于规范要求的" +
                                   f.ruleText + "%，该工程的楼板厚度"
                             : "     " + what + "为" + f.rateText + "%，合格率低于规范要求的" + f.ruleText +
                                   "%，该工程的楼板厚度");
    lines.push_back(f.passes ? "     满足设计要求!" : "     不满足设计要求!");
  }
  lines.push_back("     判定规则：" + f.ruleLine() + "。");
  std::vector<std::vector<std::string>> wrapped;
  int lineCount = 0;
  for (const std::string& line : lines) {
    wrapped.push_back(wrapToWidth(line, s.measure(), song(12), kTextRight - L));
    lineCount += static_cast<int>(wrapped.back().size());
  }
  // Band at +960 and +1160, lines from +1360 every 200, "(以下空白)" 240 below the last.
  const int height = 1360 + 200 * (lineCount - 1) + 240 + 160 - 960;
  const int band = flow.fit(y3 + 960, height);
  s.line(L, band, L + W, band);
  s.line(L, band + 200, L + W, band + 200);
  s.font(song(16));
  s.text(L + 1400, band + 20, "检  测  结  论");
  s.font(song(12));
  int at = band + 400;
  for (const auto& part : wrapped) {
    for (const std::string& line : part) {
      s.text(L, at, line);
      at += 200;
    }
  }
  s.font(song(16));
  s.text(L + 400, at - 200 + 240, "(以下空白)");
}

void layoutBasis(Sheets& s, const ParameterValues& P) {
  FramedFlow flow(s);
  // An issued report names the instrument's calibration certificate and its due date.
  std::string instrument = P("检测仪器");
  if (!P("仪器证书").empty())
    instrument += "（校准证书 " + P("仪器证书") + "，有效期至 " + P("校准有效期") + "）";
  const std::pair<const char*, std::string> sections[] = {{"检测依据：", P("检测依据")},
                                                          {"检测仪器：", instrument},
                                                          {"检测时间及检测环境：", ""},
                                                          {"参加检测人员：", ""}};
  int top = T + 200;
  flow.placed();
  for (const auto& [label, value] : sections) {
    // The label at +200, the value from +600 (a line every 170), the section at least 1000 high.
    std::vector<std::string> lines;
    if (!value.empty()) lines = wrapToWidth(value, s.measure(), song(12), kTextRight - (L + 400));
    top = flow.fit(top, std::min(1000, 600 + 170 * static_cast<int>(lines.size()) + 130));
    s.font(song(12));
    s.text(L + 100, top + 200, label);
    const std::size_t sheet = s.count();
    int y = top + 600 - 170;
    for (const std::string& line : lines) {
      y = flow.fit(y + 170, 140);
      s.font(song(12));
      s.text(L + 400, y, line);
    }
    // A value that went on on another sheet ends its section there.
    top = std::min(s.bottom(), s.count() == sheet ? std::max(top + 1000, y + 300) : y + 300);
    s.line(L, top, L + W, top);
  }
  const int signatures = flow.fit(top + 200, 540);
  s.font(song(12));
  s.text(L + 100, signatures, std::string(9, ' ') + "主检人" + std::string(26, ' ') + "审定人");
  s.text(L + 100, signatures + 400, std::string(9, ' ') + "核  对" + std::string(26, ' ') + "批准人");
  // An issued report names who tested, reviewed (核对) and approved after the labels.
  const int right =
      L + 100 + s.measure().textWidth(song(12), std::string(9, ' ') + "主检人" + std::string(26, ' '));
  const int label = s.measure().textWidth(song(12), "主检人 ");
  s.text(L + 100 + s.measure().textWidth(song(12), std::string(9, ' ')) + label, signatures, P("检测人"));
  s.text(L + 100 + s.measure().textWidth(song(12), std::string(9, ' ')) + label, signatures + 400,
         P("审核人"));
  s.text(right + label, signatures + 400, P("批准人"));
}

// The raw-data list: rows placed from the list top, a member's heading kept with its first row
// and repeated, its name marked "（续）", where its readings go on on the next page.
std::vector<RawPage> layoutRawData(const Project& project, const TextMeasure& measure,
                                   const JudgingRule& rule, int frameBottom) {
  std::vector<RawPage> pages;
  const int capacity = frameBottom - PageLayout::kListTop;
  auto place = [&](RawRow row, int keepWithNext) {
    if (pages.empty() || pages.back().height + row.height + keepWithNext > capacity) {
      if (pages.empty() || !pages.back().rows.empty()) pages.emplace_back();
    }
    row.top = pages.back().height;
    pages.back().height += row.height;
    pages.back().rows.push_back(std::move(row));
  };
  constexpr int kNameRight = L + 1840 - 20;
  for (int i = 0; i < project.memberCount(); ++i) {
    const MemberRecord& m = *project.memberAt(i);
    if (m.selected() == 0) continue;
    RawRow heading;
    heading.member = i;
    // The name starts after the code, however wide the code is.
    heading.nameLeft = std::max(L + 400, L + 160 + measure.textWidth(song(12), gbkToUtf8(m.code())) + 40);
    auto nameLines = [&](const std::string& before) {
      return wrapToWidth(before + "(" + gbkToUtf8(m.name()) + ")", measure, song(12),
                         kNameRight - heading.nameLeft);
    };
    heading.nameLines = nameLines("");
    heading.height = PageLayout::kRowHeight + 130 * (static_cast<int>(heading.nameLines.size()) - 1);
    if (rule.judgesMembers()) {
      const auto mean = judgeMemberMean(m, rule);
      // A member of another number of readings than the rule's says how many were averaged.
      const bool other = rule.points > 0 && mean && mean->count != rule.points;
      heading.judged = "设计" + std::to_string(m.designThickness()) + " 均值" + (mean ? mean->text : "-") +
                       (other ? "/" + std::to_string(mean->count) + "点" : std::string()) + " " +
                       (mean ? (mean->passes ? "合格" : "不合格") : "");
    }
    RawRow continued = heading;
    continued.nameLines = nameLines("（续）");  // first, where no wrapping rule pushes it past the column
    continued.height = PageLayout::kRowHeight + 130 * (static_cast<int>(continued.nameLines.size()) - 1);
    place(std::move(heading), PageLayout::kRowHeight);
    if (m.readingCount() == 0) {
      place({i, RawRow::kEmpty, 0, PageLayout::kRowHeight, 0, {}, {}}, 0);
      continue;
    }
    for (int first = 0; first < m.readingCount(); first += kReadingsPerRow) {
      // A row that starts a new page has the member named above it again.
      if (pages.back().height + PageLayout::kRowHeight > capacity) place(continued, PageLayout::kRowHeight);
      place({i, first, 0, PageLayout::kRowHeight, 0, {}, {}}, 0);
    }
  }
  return pages;
}

void drawSheet(Canvas& c, const Sheet& sheet) {
  for (const DrawOp& op : sheet) {
    switch (op.kind) {
      case DrawOp::Kind::Font:
        c.setFont(op.font);
        break;
      case DrawOp::Kind::Text:
        c.drawText(op.x1, op.y1, op.text);
        break;
      case DrawOp::Kind::Line:
        c.drawLine(op.x1, op.y1, op.x2, op.y2);
        break;
      case DrawOp::Kind::Rect:
        c.drawRect({op.x1, op.y1, op.x2, op.y2});
        break;
      case DrawOp::Kind::Fill:
        c.fillRect({op.x1, op.y1, op.x2, op.y2}, op.color);
        break;
    }
  }
}

void drawRawDataPage(Canvas& c, const Project& project, const PrintedReport& report, const RawPage& page,
                     bool first) {
  c.setFont(song(12));
  const int y0 = PageLayout::kListTop;
  if (first) c.drawText(L, T, "原始数据列表:");
  if (first && report.legend) {
    c.setFont(song(9));
    c.drawTextInRect({L + 1300, T - 20, L + W, T + 120}, std::string(kReadingMarksLegend),
                     kAlignRight | kAlignVCenter | kSingleLine);
    c.setFont(song(12));
  }
  if (page.rows.empty()) return;
  c.drawRect({L, y0, L + W, y0 + page.height});
  for (const RawRow& row : page.rows) c.drawLine(L, y0 + row.top, L + W, y0 + row.top);
  for (const RawRow& row : page.rows) {
    const MemberRecord& m = *project.memberAt(row.member);
    const int y = y0 + row.top;
    if (row.firstReading == RawRow::kHeading) {
      c.fillRect({L + 10, y + 10, L + W - 10, y + row.height}, kGrey);
      // Each text in a band of the row's first line (the name in as many lines as it has), so
      // no text touches the grid.
      auto inLine = [&](int x, int right, int line, const std::string& text) {
        c.drawTextInRect({x, y + 10 + 130 * line, right, y + 150 + 130 * line}, text,
                         kAlignLeft | kAlignVCenter | kSingleLine);
      };
      inLine(L + 160, row.nameLeft, 0, gbkToUtf8(m.code()));
      for (std::size_t k = 0; k < row.nameLines.size(); ++k)
        inLine(row.nameLeft, L + 1840, static_cast<int>(k), row.nameLines[k]);
      inLine(L + 1840, L + 3240, 0,
             row.judged.empty() ? "设计厚度:" + std::to_string(m.designThickness()) + " mm" : row.judged);
      inLine(L + 3240, L + W, 0, gbkToUtf8(m.testDate()));
      continue;
    }
    if (row.firstReading == RawRow::kEmpty) continue;
    for (int k = 0; k < kReadingsPerRow; ++k) c.drawLine(L + 410 * k, y, L + 410 * k, y + row.height);
    for (int j = row.firstReading; j < m.readingCount() && j < row.firstReading + kReadingsPerRow; ++j) {
      // Centred in its cell with a small margin on every side.
      const int left = L + 410 * (j % kReadingsPerRow);
      const int right = j % kReadingsPerRow == kReadingsPerRow - 1 ? L + W : left + 410;
      const std::string value = std::to_string(m.readingAt(j));
      const auto corrected = report.corrections.find({row.member, j});
      if (corrected == report.corrections.end()) {
        c.drawTextInRect({left + 20, y + 15, right - 20, y + 135},
                         value + readingMark(m.readings()[static_cast<std::size_t>(j)], false),
                         kAlignCenter | kAlignVCenter | kSingleLine);
        continue;
      }
      // The value when the log began, struck through so that it stays legible, then the value
      // now with the number of its entry in 修改记录.
      const std::string original = struckValue(corrected->second);
      const int middle = left + 150;
      c.setFont(song(9));
      c.drawTextInRect({left + 10, y + 15, middle, y + 135}, original,
                       kAlignRight | kAlignVCenter | kSingleLine);
      const int struck = 38 * static_cast<int>(original.size());
      c.drawLine(std::max(left + 10, middle - struck), y + 75, middle, y + 75);
      c.drawTextInRect({middle + 15, y + 15, right - 5, y + 135},
                       value + "[" + std::to_string(corrected->second.change + 1) + "]",
                       kAlignLeft | kAlignVCenter | kSingleLine);
      c.setFont(song(12));
    }
  }
}

// A 修改记录 page: its entries in a table, the last page ending with the log's last SHA-256.
void drawLogPage(Canvas& c, const Project& project, const PrintedReport& report, std::size_t page) {
  static constexpr int kColumns[] = {0, 260, 760, 1000, 1380, 1760, 2300, 3100, W};
  static constexpr const char* kHeadings[] = {"序号", "构件",   "测点",     "原值",
                                              "新值", "修改人", "修改时间", "原因"};
  c.setFont(song(12));
  if (page == 0) c.drawText(L, T, "修改记录:");
  const std::vector<std::size_t>& entries = report.logPages[page];
  const int y0 = PageLayout::kListTop;
  const int rows = static_cast<int>(entries.size()) + 1;
  c.drawRect({L, y0, L + W, y0 + rows * PageLayout::kRowHeight});
  c.fillRect({L + 10, y0 + 10, L + W - 10, y0 + PageLayout::kRowHeight}, kGrey);
  for (int r = 1; r < rows; ++r) c.drawLine(L, y0 + r * 150, L + W, y0 + r * 150);
  for (int k = 1; k + 1 < static_cast<int>(std::size(kColumns)); ++k)
    c.drawLine(L + kColumns[k], y0, L + kColumns[k], y0 + rows * 150);
  auto cell = [&](int row, int column, const std::string& text) {
    c.drawTextInRect(
        {L + kColumns[column] + 15, y0 + row * 150 + 10, L + kColumns[column + 1] - 15, y0 + row * 150 + 140},
        text, kAlignLeft | kAlignVCenter | kSingleLine);
  };
  c.setFont(song(10));
  for (int k = 0; k < 8; ++k) cell(0, k, kHeadings[k]);
  c.setFont(song(9));
  for (std::size_t r = 0; r < entries.size(); ++r) {
    const ListedEntry e = listedEntry(project.log[entries[r]]);
    const std::string cells[] = {std::to_string(entries[r] - report.logFirst + 1),
                                 e.member,
                                 e.what,
                                 e.oldValue,
                                 e.newValue,
                                 e.who,
                                 e.when,
                                 e.why};
    for (int k = 0; k < 8; ++k) cell(static_cast<int>(r) + 1, k, cells[k]);
  }
  if (page + 1 == report.logPages.size()) {
    c.setFont(song(7));
    c.drawText(L, y0 + rows * 150 + 60, "修改记录最后一条的 SHA-256：" + hexOf(project.log.back().hash));
  }
  c.setFont(song(12));
}

constexpr Rect kHeaderBand{300, 400, 4500, 500};
constexpr Rect kFooterBand{300, 6450, 4500, 6550};

void drawInBand(Canvas& c, const Rect& band, unsigned align, const std::string& text) {
  c.drawTextInRect(band, text, align | kSingleLine | kAlignVCenter);
}

void drawPageFurniture(Canvas& c, int page, int pageCount, const PrintSettings& s) {
  c.setFont(song(12));
  const bool header = s.printHeader != 0 && !s.headerText.empty();
  const bool footer = s.printFooter != 0 && !s.footerText.empty();
  if (s.printPageNumber != 0) {
    const std::string text = pageNumberText(s.pageNumberFormat, s.startPageNumber, page, pageCount);
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

// The code at the right of the band below the frame, its caption to its left; each row's dark
// modules drawn as runs.
void drawCode(Canvas& c, const QrCode& code, const std::vector<std::string>& caption, int frameBottom) {
  const int side = code.size * kCodeModule;
  const int left = L + W - side - 4 * kCodeModule;
  const int top = frameBottom + 4 * kCodeModule;
  for (int y = 0; y < code.size; ++y) {
    for (int x = 0; x < code.size;) {
      if (!code.dark(x, y)) {
        ++x;
        continue;
      }
      const int start = x;
      while (x < code.size && code.dark(x, y)) ++x;
      c.fillRect({left + start * kCodeModule, top + y * kCodeModule, left + x * kCodeModule,
                  top + (y + 1) * kCodeModule},
                 Color{0, 0, 0});
    }
  }
  c.setFont(song(9));
  int y = top + side - 130 * static_cast<int>(caption.size());
  for (const std::string& line : caption) {
    c.drawTextInRect({L, y, left - 60, y + 120}, line, kAlignRight | kAlignVCenter | kSingleLine);
    y += 130;
  }
}

}  // namespace

std::vector<std::string> wrapPrintText(std::string_view text, const LineWidth* width) {
  return wrapGbk(text, 77, 76, width);
}

std::vector<std::string> wrapToWidth(std::string_view utf8, const TextMeasure& measure, const FontSpec& font,
                                     int width) {
  const LineWidth limit{&measure, font, width};
  std::vector<std::string> lines;
  for (const std::string& line : wrapGbk(utf8ToGbkLossy(utf8), 0, 0, &limit))
    lines.push_back(gbkToUtf8(line));
  // A text that ended with its last line full (hanging punctuation included) has nothing after it.
  if (lines.size() > 1 && lines.back().empty()) lines.pop_back();
  return lines;
}

PrintedPageSettings printedPageSettings(const Project& project, const SettingsLocation& location) {
  return {printSettingsForPage(location), effectiveParameters(project, location)};
}

PrintedReport layoutPrintedReport(const Project& project, const PrintedPageSettings& settings,
                                  const TextMeasure& measure) {
  PrintedReport report;
  report.print = settings.print;
  const ParameterValues& P = settings.parameters;
  if (const std::string code = P(kCodeField); !code.empty()) {
    if (auto qr = encodeQr(code)) {
      report.code = std::move(qr.value());
      report.frameBottom -= kCodeBand;
      report.codeCaption = {"防伪校验码", "报告编号：" + P("报告编号") + "  第 " + P("版本") + " 版"};
      if (!P("密钥指纹").empty()) report.codeCaption.push_back("密钥指纹：" + P("密钥指纹"));
    }
  }
  Sheets sheets(report.front, measure, report.frameBottom);
  layoutCover(sheets, settings.parameters);
  layoutSummary(sheets, project, settings.parameters);
  layoutBasis(sheets, settings.parameters);
  report.raw = layoutRawData(project, measure, settings.parameters.rule().rule, report.frameBottom);
  if (const std::string revision = settings.parameters("版本"); !revision.empty())
    report.issueLine = "报告编号：" + settings.parameters("报告编号") + "  第 " + revision + " 版";
  // The log's pages, when it has entries after its beginning, as many rows as fit with the last
  // SHA-256 below them.
  ShownRecord shown = shownRecord(project, tickedMembers(project));
  report.logFirst = shown.logFirst;
  report.corrections = std::move(shown.corrections);
  report.legend = shown.legend;
  const std::size_t perPage =
      static_cast<std::size_t>((report.frameBottom - PageLayout::kListTop) / PageLayout::kRowHeight - 2);
  for (std::size_t k = report.logFirst; k < project.log.size(); ++k) {
    if (report.logPages.empty() || report.logPages.back().size() == perPage) report.logPages.emplace_back();
    report.logPages.back().push_back(k);
  }
  return report;
}

void drawReportPage(Canvas& c, const Project& project, const PrintedReport& report, int page) {
  const auto front = static_cast<int>(report.front.size());
  if (page >= 1 && page <= front) {
    drawSheet(c, report.front[static_cast<std::size_t>(page - 1)]);
  } else if (page > front && page <= front + static_cast<int>(report.raw.size())) {
    drawRawDataPage(c, project, report, report.raw[static_cast<std::size_t>(page - front - 1)],
                    page == front + 1);
  } else if (page > front && page <= report.pageCount()) {
    drawLogPage(c, project, report, static_cast<std::size_t>(page - front - 1) - report.raw.size());
  }
  drawPageFurniture(c, page, report.pageCount(), report.print);
  if (!report.issueLine.empty()) {
    c.setFont(song(9));
    drawInBand(c, {300, 240, 4500, 320}, kAlignRight, report.issueLine);
  }
  if (report.code) drawCode(c, *report.code, report.codeCaption, report.frameBottom);
}

}  // namespace kro
