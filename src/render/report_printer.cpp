// Printing the report pages with QPainter.
#include "render/report_printer.h"

#include <QPageLayout>
#include <QPainter>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <string_view>

#include "model/file_io.h"
#include "model/report_figures.h"
#include "render/painter_canvas.h"
#include "render/qt_paths.h"

namespace kro {
namespace {

// The printed page's layout from the printable area's corner: its frames and lines lie within
// x 300..4400 and its texts within y 300..6650, so with that margin on every side the layout
// is 4700 x 6950.
const QSizeF kLayoutExtent(4700, 6950);

// Qt's PDF writer does not report a failed write (a full disk, a file-size limit): the file ends
// early, or misses bytes before its cross-reference table. A complete file ends with
// "startxref", the offset of that table and "%%EOF", and the table is where the offset says.
bool pdfComplete(const std::filesystem::path& pdf) {
  std::ifstream in(pdf, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  const std::streamoff tailSize = std::min<std::streamoff>(size, 64);
  std::string tail(static_cast<std::size_t>(tailSize), '\0');
  in.seekg(size - tailSize);
  if (!in.read(tail.data(), tailSize)) return false;
  const std::size_t at = tail.rfind("startxref");
  if (at == std::string::npos) return false;
  std::size_t pos = at + 9;
  while (pos < tail.size() && std::isspace(static_cast<unsigned char>(tail[pos]))) ++pos;
  std::streamoff offset = 0;
  const std::size_t digits = pos;
  while (pos < tail.size() && std::isdigit(static_cast<unsigned char>(tail[pos])) && pos - digits < 15)
    offset = offset * 10 + (tail[pos++] - '0');
  if (pos == digits) return false;
  if (tail.find("%%EOF", pos) == std::string::npos) return false;
  if (offset + 4 > size) return false;
  char table[4];
  in.seekg(offset);
  return in.read(table, 4) && std::string_view(table, 4) == "xref";
}

}  // namespace

void preparePrinter(QPrinter& printer) {
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Portrait);
  printer.setResolution(kLayoutUnitsPerInch);
}

PrintedReport layoutForPrinting(const Project& project, const PrintedPageSettings& settings) {
  return layoutPrintedReport(project, settings, QtTextMeasure(kLayoutUnitsPerInch));
}

Status printReport(const Project& project, QPrinter& printer, const PrintedPageSettings& settings,
                   int fromPage, int toPage, const PrintProgress& progress) {
  if (Status s = refuseWithoutTickedMembers(project); !s) return s;
  const PrintedReport report = layoutForPrinting(project, settings);
  const int pages = report.pageCount();
  if (toPage <= 0 || toPage > pages) toPage = pages;
  fromPage = std::max(1, fromPage);
  QPainter painter;
  if (!painter.begin(&printer)) {
    const QString file = printer.outputFileName();
    if (!file.isEmpty()) return Error{"无法开始打印到“" + file.toStdString() + "”：文件无法写入。"};
    return Error{"无法开始打印：打印机“" + printer.printerName().toStdString() + "”不可用。"};
  }
  // Printers that keep their own resolution get a scaled painter instead.
  const double scale = static_cast<double>(printer.resolution()) / kLayoutUnitsPerInch;
  // On a full page (PDF) the origin is the paper's corner: the layout is centred on the paper
  // as a printer's printable area would place it, with even margins.
  QPointF offset;
  if (printer.fullPage()) {
    const QRectF paper = printer.paperRect(QPrinter::Inch);
    offset = {(paper.width() * kLayoutUnitsPerInch - kLayoutExtent.width()) / 2,
              (paper.height() * kLayoutUnitsPerInch - kLayoutExtent.height()) / 2};
  }
  for (int page = fromPage; page <= toPage; ++page) {
    if (progress && !progress(page, pages)) {
      printer.abort();
      painter.end();
      return Error{"打印已取消。"};
    }
    if (page > fromPage && !printer.newPage()) {
      painter.end();
      return Error{"打印时无法开始新的一页。"};
    }
    painter.save();
    painter.scale(scale, scale);
    painter.translate(offset);
    PainterCanvas canvas(painter, kLayoutUnitsPerInch);
    drawReportPage(canvas, project, report, page);
    painter.restore();
  }
  if (!painter.end()) return Error{"打印没有完成。"};
  return Status::success();
}

Status printReportToPdf(const Project& project, const std::filesystem::path& pdf,
                        const PrintedPageSettings& settings, const PrintProgress& progress) {
  if (Status s = refuseWithoutTickedMembers(project); !s) return s;
  auto created = createTemporaryBeside(pdf);
  if (!created) return created.error();
  const std::filesystem::path temp = created.value();
  QPrinter printer(QPrinter::HighResolution);
  preparePrinter(printer);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(qtPath(temp));
  // The page's own margins: layout x 300..4500, y 400..6550 from the paper's corner.
  printer.setFullPage(true);
  printer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
  Status printed = printReport(project, printer, settings, 1, 0, progress);
  if (!printed) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    return printed;
  }
  if (!pdfComplete(temp)) {
    std::error_code ec;
    std::filesystem::remove(temp, ec);
    return Error{"无法写入“" + displayPath(pdf) +
                 "”：PDF 文件没有写完整（磁盘空间不足或超过了文件大小的限制）。"};
  }
  return replaceWithTemporary(temp, pdf);
}

}  // namespace kro
