// Printing the report through Qt Print Support: a printer, a preview, or a PDF file. One layout
// unit is 1/600 inch on every device; fonts keep their point sizes.
#pragma once

#include <QPrinter>
#include <filesystem>
#include <functional>

#include "base/result.h"
#include "model/project.h"
#include "views/report_pages.h"

namespace kro {

inline constexpr int kLayoutUnitsPerInch = 600;

// Prepares a printer: A4, 600 dpi where it accepts it.
void preparePrinter(QPrinter& printer);

// The report laid out with the fonts it is printed with.
PrintedReport layoutForPrinting(const Project& project, const PrintedPageSettings& settings);

// Told of each page before it is drawn (page from 1, of pages); false stops the print.
using PrintProgress = std::function<bool(int page, int pages)>;

// Prints pages fromPage..toPage (from 1; toPage 0 for the last) of the report. Refused when no
// member is ticked.
Status printReport(const Project& project, QPrinter& printer, const PrintedPageSettings& settings,
                   int fromPage = 1, int toPage = 0, const PrintProgress& progress = {});

// The XMP metadata packet of a PDF holding an issued report's code (kro verify reads it).
std::string codeXmp(std::string_view code);

// The whole report as a PDF file, exactly the pages a preview shows; the file is replaced only
// once complete, and not at all when the progress stops it.
Status printReportToPdf(const Project& project, const std::filesystem::path& pdf,
                        const PrintedPageSettings& settings, const PrintProgress& progress = {});

}  // namespace kro
