// Fuzz target: print settings and report parameters as the printed report and the reports
// interpret them: page-number texts over a run of pages, parameter dates and grades, and every
// page of a small project drawn with those settings.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/sample_project.h"
#include "report/report_parameters.h"
#include "views/print_settings.h"
#include "views/recording_canvas.h"
#include "views/report_pages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kro::SettingsFile file;
  file.openForRead(bytes);
  const kro::PrintSettings print = kro::readPrintSettings(file);
  for (int page = 1; page <= 5; ++page) {
    const std::string text = kro::pageNumberText(print.pageNumberFormat, print.startPageNumber, page, 5);
    // A page number is never negative unless its start number is.
    if (print.startPageNumber >= 0 && text.find('-') != std::string::npos && print.pageNumberFormat != 2) {
      std::abort();
    }
  }
  const kro::ReportParameterValues parameters(bytes);
  for (int format = 0; format < kro::kReportFormatCount; ++format) {
    for (const kro::ParameterField& field : kro::reportFormatInfo(format).fields) {
      const std::string value = parameters(field.key);
      if (field.kind == kro::ParameterKind::Date) {
        const kro::CalendarDate date = kro::parameterDate(value);
        kro::parameterDateText(date);
      }
      kro::matchingGrade(value);
    }
  }
  // One member is enough for the raw-data page; the parameters fill the first two.
  static const kro::Project project{{kro::makeSampleProject().front()}};
  const kro::PrintedPageSettings settings(print, bytes);
  for (int page : {1, 2, 4}) {
    kro::RecordingCanvas canvas;
    kro::drawReportPage(canvas, project, page, settings);
  }
  return 0;
}
