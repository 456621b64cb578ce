// The printed inspection report: cover, summary, basis and raw-data pages, with the page number,
// header and footer of the print settings, drawn on a Canvas in layout units of 1/600 inch.
//
// The report is laid out once, with a TextMeasure, before any page is drawn: every text wider
// than its place wraps inside it and moves what follows down, a page that overflows continues on
// a sheet of its own, and the raw-data list takes as many rows to a page as fit above the footer.
// Where nothing is long, every element stands where the original layout put it.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/project.h"
#include "model/record_replay.h"
#include "report/project_parameters.h"
#include "report/qr_code.h"
#include "settings/program_paths.h"
#include "views/canvas.h"
#include "views/print_settings.h"
#include "views/text_measure.h"

namespace kro {

struct PageLayout {
  static constexpr int kLeft = 300;
  static constexpr int kTop = 400;
  static constexpr int kHeight = 6000;
  static constexpr int kWidth = 4100;
  static constexpr int kRowHeight = 150;
  // The raw-data list runs from here to the frame's bottom (T + H), clear of the footer band
  // (6450..6550) and the page number below it.
  static constexpr int kListTop = kTop + 150;
  static constexpr int kFrameBottom = kTop + kHeight;
};

// Cuts GBK text into printed lines: 77 bytes on the first line, 76 on each later one, never
// splitting a two-byte character (a line ends early instead); closing punctuation hangs at a
// line's end. With a width, a line also ends before it would grow wider than that.
struct LineWidth {
  const TextMeasure* measure = nullptr;
  FontSpec font;
  int maxWidth = 0;
};
std::vector<std::string> wrapPrintText(std::string_view gbk, const LineWidth* width = nullptr);
// A UTF-8 text cut into lines no wider than width (at least one line, never cut inside a
// character), as UTF-8.
std::vector<std::string> wrapToWidth(std::string_view utf8, const TextMeasure& measure, const FontSpec& font,
                                     int width);

// What the pages read besides the members, read once for a whole print: the print settings and
// the project's parameters.
struct PrintedPageSettings {
  PrintSettings print;
  ParameterValues parameters;
};
PrintedPageSettings printedPageSettings(const Project& project, const SettingsLocation& location);

// One drawing call kept for later.
struct DrawOp {
  enum class Kind { Font, Text, Line, Rect, Fill };
  Kind kind = Kind::Text;
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::string text;  // UTF-8
  FontSpec font;
  Color color;
};
using Sheet = std::vector<DrawOp>;

// One row of the raw-data list: a member's heading (its name in as many lines as it needs) or
// ten of its readings, or the empty row after the heading of a member without readings.
struct RawRow {
  static constexpr int kHeading = -1;
  static constexpr int kEmpty = -2;
  int member = 0;
  int firstReading = kHeading;  // or the index of the row's first reading
  int top = 0;                  // from the page's list top
  int height = PageLayout::kRowHeight;
  int nameLeft = 0;                    // a heading's name starts here, after its code
  std::vector<std::string> nameLines;  // a heading's "(name)", wrapped
  // Under a rule that judges members by their means, a heading's "设计120 均值119 合格" in
  // place of the design thickness.
  std::string judged;
};

struct RawPage {
  std::vector<RawRow> rows;
  int height = 0;  // of the rows, from the list top
};

struct PrintedReport {
  PrintSettings print;
  std::vector<Sheet> front;  // the cover, summary and basis pages, each with its continuation sheets
  std::vector<RawPage> raw;  // the raw-data pages, from page front.size() + 1
  // After them, when the modification log has entries after its beginning, the 修改记录 pages:
  // each lists entries (indexes into the project's log), numbered from logFirst on; the raw data
  // show each corrected reading's value when the log began struck through, its value now and the
  // number of the newest entry that changed it.
  std::vector<std::vector<std::size_t>> logPages;
  std::size_t logFirst = 0;
  std::map<std::pair<int, int>, ReadingCorrection> corrections;
  bool legend = false;    // a ticked reading is corrected or was not sent by the instrument
  std::string issueLine;  // an issued report's number and revision, on every page
  // An issued report's code, below the frame of every page with its caption (the number and the
  // key's fingerprint); the frames end higher to make room for it.
  std::optional<QrCode> code;
  std::vector<std::string> codeCaption;
  int frameBottom = PageLayout::kFrameBottom;
  int pageCount() const { return static_cast<int>(front.size() + raw.size() + logPages.size()); }
};

// Lays the report out: the front pages from the project's parameters and the ticked members'
// totals, judged by the project's acceptance rule; the raw-data pages from the ticked members.
PrintedReport layoutPrintedReport(const Project& project, const PrintedPageSettings& settings,
                                  const TextMeasure& measure);

// Draws page `page` (from 1): its contents, then the page number, header and footer.
void drawReportPage(Canvas& canvas, const Project& project, const PrintedReport& report, int page);

}  // namespace kro
