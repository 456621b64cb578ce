// The printed inspection report: cover, summary, basis and raw-data pages, with the page number,
// header and footer of the print settings, drawn on a Canvas in layout units of 1/600 inch.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/project.h"
#include "report/project_parameters.h"
#include "settings/program_paths.h"
#include "views/canvas.h"
#include "views/print_settings.h"

namespace kro {

struct PageLayout {
  static constexpr int kLeft = 300;
  static constexpr int kTop = 400;
  static constexpr int kHeight = 6000;
  static constexpr int kWidth = 4100;
  static constexpr int kRowsPerPage = 40;
  static constexpr int kRowHeight = 150;
};

// Rows of the raw-data list: for each member marked for printing a header row, then one row per
// ten readings (one empty row without readings).
int countListRows(const Project& project);
// Three pages, then as many raw-data pages as the rows fill, 40 to a page.
int countPrintPages(const Project& project);

// Cuts GBK text into printed lines: 77 bytes on the first line, 76 on each later one, never
// splitting a two-byte character (a line ends early instead).
std::vector<std::string> wrapPrintText(std::string_view gbk);
// Draws wrapped text 200 units apart from firstY; returns the y of its last line.
int printWrapped(Canvas& canvas, std::string_view gbk, int x, int firstY);

// What the pages read besides the members, read once for a whole print: the print settings and
// the project's parameters.
struct PrintedPageSettings {
  PrintSettings print;
  ParameterValues parameters;
};
PrintedPageSettings printedPageSettings(const Project& project, const SettingsLocation& location);

// Draws page `page` (from 1): its contents, then the page number, header and footer. The
// summary's totals are those of the ticked members, computed from the readings, judged by the
// project's acceptance rule.
void drawReportPage(Canvas& canvas, const Project& project, int page, const PrintedPageSettings& settings);

}  // namespace kro
