// Fuzz target: print settings and report parameters as the printed report and the reports
// interpret them: page-number texts over a run of pages, parameter dates and grades, and every
// page of a small project drawn with those settings.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/sample_project.h"
#include "report/project_parameters.h"
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
  // The same bytes as a parameter file, read as the defaults of a project are.
  kro::ParameterValues parameters;
  for (const kro::ParameterDefinition& field : kro::parameterDefinitions()) {
    std::string value;
    if (!file.readString(kro::kSettingsSection, field.name, value)) continue;
    if (field.kind == kro::ParameterKind::Date) value = kro::parameterDateText(kro::parameterDate(value));
    kro::matchingGrade(value);
    parameters.set(field.name, value);
  }
  parameters.rule();
  // One member is enough for the raw-data page; the parameters fill the first three.
  static const kro::Project project{{kro::makeSampleProject().front()}};
  const kro::PrintedReport report =
      kro::layoutPrintedReport(project, {print, parameters}, kro::EstimatedTextMeasure());
  for (int page = 1; page <= report.pageCount(); ++page) {
    kro::RecordingCanvas canvas;
    kro::drawReportPage(canvas, project, report, page);
  }
  return 0;
}
