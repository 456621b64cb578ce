// QPainter canvas.
#include "render/painter_canvas.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPaintDevice>
#include <cmath>
#include <filesystem>
#include <mutex>

#include "render/qt_paths.h"
#include "settings/program_paths.h"

namespace kro {
namespace {

QColor qtColor(Color c) { return QColor(c.r, c.g, c.b); }

QString qtText(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

void loadReportFonts() {
  static std::once_flag once;
  std::call_once(once, [] {
    for (const std::filesystem::path& folder : ProgramPaths::fontFolders()) {
      std::error_code ec;
      for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        if (entry.path().extension() == ".otf") QFontDatabase::addApplicationFont(qtPath(entry.path()));
      }
    }
  });
}

// The report's own copies of Noto CJK ("KRO ...") come before Noto itself: their glyphs map
// back to one character each, so a PDF's text can be searched.
QStringList fontFamiliesFor(const std::string& face, bool serif) {
  if (face == "宋体")
    return {"SimSun",
            "宋体",
            "NSimSun",
            "KRO Serif CJK SC",
            "Noto Serif CJK SC",
            "KRO Sans CJK SC",
            "Noto Sans CJK SC",
            "WenQuanYi Zen Hei"};
  if (face == "黑体")
    return {"SimHei",
            "黑体",
            "KRO Sans CJK SC",
            "Noto Sans CJK SC",
            "WenQuanYi Zen Hei",
            "KRO Serif CJK SC",
            "Noto Serif CJK SC"};
  if (!face.empty()) return {QString::fromStdString(face), "KRO Sans CJK SC", "Noto Sans CJK SC"};
  return serif ? QStringList{"KRO Serif CJK SC", "Noto Serif CJK SC", "KRO Sans CJK SC", "Noto Sans CJK SC"}
               : QStringList{"KRO Sans CJK SC", "Noto Sans CJK SC"};
}

QFont qtFont(const FontSpec& wanted, int deviceDpi) {
  loadReportFonts();
  QFont font;
  font.setFamilies(fontFamiliesFor(wanted.face, wanted.serif));
  if (wanted.pointSize > 0) {
    // Points are kept whatever the device: a 10-point font is 10/72 inch tall on every printer.
    font.setPixelSize(std::max(1, wanted.pointSize * deviceDpi / 72));
  } else if (wanted.pixelHeight > 0) {
    font.setPixelSize(wanted.pixelHeight);
  }
  if (wanted.pixelWidth > 0 && wanted.pixelHeight > 0) {
    // A character width of half the height is the natural width of CJK-free text.
    font.setStretch(std::clamp(wanted.pixelWidth * 200 / wanted.pixelHeight, 25, 400));
  }
  font.setWeight(static_cast<QFont::Weight>(std::clamp(wanted.weight, 100, 900)));
  font.setStyleHint(wanted.serif ? QFont::Serif : QFont::SansSerif);
  // Unshaped Latin text keeps a one-to-one glyph mapping, so PDF readers can extract it.
  font.setStyleStrategy(QFont::PreferNoShaping);
  return font;
}

int QtTextMeasure::textWidth(const FontSpec& font, std::string_view utf8) const {
  const QFontMetricsF metrics(qtFont(font, unitsPerInch_));
  return static_cast<int>(std::ceil(metrics.horizontalAdvance(qtText(utf8))));
}

PainterCanvas::PainterCanvas(QPainter& painter, int unitsPerInch)
    : painter_(painter),
      dpi_(unitsPerInch > 0              ? unitsPerInch
           : painter.device() != nullptr ? painter.device()->logicalDpiY()
                                         : 96) {
  pen_ = QPen(Qt::black, 1, Qt::SolidLine);
  painter_.setPen(pen_);
}

void PainterCanvas::setFont(const FontSpec& font) {
  painter_.setFont(qtFont(font, dpi_));
  escapement_ = font.escapement;
}

void PainterCanvas::setTextColor(Color color) { textColor_ = qtColor(color); }

void PainterCanvas::drawText(int x, int y, std::string_view text) {
  painter_.save();
  painter_.setPen(textColor_);
  painter_.translate(x, y);
  if (escapement_ != 0) painter_.rotate(-escapement_ / 10.0);
  painter_.drawText(QRect(0, 0, 100000, 100000), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                    qtText(text));
  painter_.restore();
}

void PainterCanvas::drawTextInRect(const Rect& rect, std::string_view text, unsigned align) {
  int flags = 0;
  flags |= (align & kAlignCenter) ? Qt::AlignHCenter : (align & kAlignRight) ? Qt::AlignRight : Qt::AlignLeft;
  flags |= (align & kAlignVCenter)  ? Qt::AlignVCenter
           : (align & kAlignBottom) ? Qt::AlignBottom
                                    : Qt::AlignTop;
  if (align & kSingleLine) flags |= Qt::TextSingleLine;
  if (align & kWordBreak) flags |= Qt::TextWordWrap;
  painter_.save();
  painter_.setPen(textColor_);
  painter_.drawText(QRect(rect.left, rect.top, rect.width(), rect.height()), flags, qtText(text));
  painter_.restore();
}

void PainterCanvas::setPen(const Pen& pen) {
  pen_ = QPen(qtColor(pen.color), pen.width, pen.style == PenStyle::Dotted ? Qt::DotLine : Qt::SolidLine);
  painter_.setPen(pen_);
}

void PainterCanvas::drawLine(int x1, int y1, int x2, int y2) { painter_.drawLine(x1, y1, x2, y2); }

void PainterCanvas::moveTo(int x, int y) { position_ = QPoint(x, y); }

void PainterCanvas::lineTo(int x, int y) {
  painter_.drawLine(position_, QPoint(x, y));
  position_ = QPoint(x, y);
}

void PainterCanvas::drawRect(const Rect& r) {
  painter_.save();
  painter_.setBrush(Qt::NoBrush);
  painter_.drawRect(QRect(r.left, r.top, r.width(), r.height()));
  painter_.restore();
}

void PainterCanvas::fillRect(const Rect& r, Color color) {
  painter_.fillRect(QRect(r.left, r.top, r.width(), r.height()), qtColor(color));
}

void PainterCanvas::drawEllipse(const Rect& r, Color fill) {
  painter_.save();
  painter_.setBrush(qtColor(fill));
  painter_.drawEllipse(QRect(r.left, r.top, r.width(), r.height()));
  painter_.restore();
}

}  // namespace kro
