// Printing the report pages with QPainter.
#include "render/report_printer.h"

#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <algorithm>
#include <cctype>
#include <fstream>
#include <string>
#include <string_view>

#include "model/file_io.h"
#include "model/report_figures.h"
#include "render/painter_canvas.h"
#include "render/qt_paths.h"
#include "report/report_code.h"

namespace kro {
namespace {

// The printed page's layout from the printable area's corner: its frames and lines lie within
// x 300..4400 and its texts within y 300..6650, so with that margin on every side the layout
// is 4700 x 6950.
const QSizeF kLayoutExtent(4700, 6950);
// The PDF's resolution: QPrinter's high resolution, as the printed PDFs had it.
constexpr int kPdfResolution = 1200;

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

namespace {

// Draws pages fromPage..toPage of the laid-out report on a paged device (a printer, the PDF
// writer) whose resolution is `resolution` dots per inch; origin: the paper's corner when
// fullPage, else the printable area's.
Status paintPages(const Project& project, const PrintedReport& report, QPagedPaintDevice& device,
                  int resolution, bool fullPage, int fromPage, int toPage, const PrintProgress& progress,
                  const std::function<void()>& abort) {
  const int pages = report.pageCount();
  if (toPage <= 0 || toPage > pages) toPage = pages;
  fromPage = std::max(1, fromPage);
  QPainter painter;
  if (!painter.begin(&device)) return Error{};
  // Printers that keep their own resolution get a scaled painter instead.
  const double scale = static_cast<double>(resolution) / kLayoutUnitsPerInch;
  // On a full page (PDF) the origin is the paper's corner: the layout is centred on the paper
  // as a printer's printable area would place it, with even margins.
  QPointF offset;
  if (fullPage) {
    const QRectF paper = device.pageLayout().fullRect(QPageLayout::Inch);
    offset = {(paper.width() * kLayoutUnitsPerInch - kLayoutExtent.width()) / 2,
              (paper.height() * kLayoutUnitsPerInch - kLayoutExtent.height()) / 2};
  }
  for (int page = fromPage; page <= toPage; ++page) {
    if (progress && !progress(page, pages)) {
      if (abort) abort();
      painter.end();
      return Error{"打印已取消。"};
    }
    if (page > fromPage && !device.newPage()) {
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

std::string xmlEscaped(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

}  // namespace

std::string codeXmp(std::string_view code) {
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
         "<rdf:Description rdf:about=\"\" xmlns:kro=\"http://ns.kroanalyze.invalid/report/1.0/\"><kro:" +
         std::string(kCodeProperty) + ">" + xmlEscaped(code) + "</kro:" + std::string(kCodeProperty) +
         "></rdf:Description></rdf:RDF></x:xmpmeta>\n<?xpacket end=\"w\"?>";
}

Status printReport(const Project& project, QPrinter& printer, const PrintedPageSettings& settings,
                   int fromPage, int toPage, const PrintProgress& progress) {
  if (Status s = refuseWithoutTickedMembers(project); !s) return s;
  Status painted = paintPages(project, layoutForPrinting(project, settings), printer, printer.resolution(),
                              printer.fullPage(), fromPage, toPage, progress, [&] { printer.abort(); });
  if (!painted && painted.message().empty()) {
    const QString file = printer.outputFileName();
    if (!file.isEmpty()) return Error{"无法开始打印到“" + file.toStdString() + "”：文件无法写入。"};
    return Error{"无法开始打印：打印机“" + printer.printerName().toStdString() + "”不可用。"};
  }
  return painted;
}

Status printReportToPdf(const Project& project, const std::filesystem::path& pdf,
                        const PrintedPageSettings& settings, const PrintProgress& progress) {
  if (Status s = refuseWithoutTickedMembers(project); !s) return s;
  auto created = createTemporaryBeside(pdf);
  if (!created) return created.error();
  const std::filesystem::path temp = created.value();
  Status printed;
  {
    // A4 at the printer's high resolution; the page's own margins: layout x 300..4500, y
    // 400..6550 from the paper's corner.
    QPdfWriter writer(qtPath(temp));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageOrientation(QPageLayout::Portrait);
    writer.setPageMargins(QMarginsF(0, 0, 0, 0), QPageLayout::Millimeter);
    writer.setResolution(kPdfResolution);
    writer.setCreator(QString());
    // An issued report's code also in the file's metadata, where kro verify reads it.
    if (const std::string code = settings.parameters(kCodeField); !code.empty())
      writer.setDocumentXmpMetadata(QByteArray::fromStdString(codeXmp(code)));
    printed = paintPages(project, layoutForPrinting(project, settings), writer, kPdfResolution, true, 1, 0,
                         progress, {});
    if (!printed && printed.message().empty())
      printed = Error{"无法开始打印到“" + displayPath(pdf) + "”：文件无法写入。"};
  }
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
