// The Canvas over a QPainter: screen widgets, pixmaps, printers and PDF files.
#pragma once

#include <QFont>
#include <QPainter>
#include <QStringList>

#include "views/canvas.h"
#include "views/text_measure.h"

namespace kro {

// The families that stand for a face name: "宋体" and "黑体" resolve to installed CJK fonts.
QStringList fontFamiliesFor(const std::string& face, bool serif);

// A QFont for a font wanted on a device of the given resolution (dots per inch).
QFont qtFont(const FontSpec& wanted, int deviceDpi);

// Text widths from the fonts the pages are drawn with, at unitsPerInch.
class QtTextMeasure : public TextMeasure {
 public:
  explicit QtTextMeasure(int unitsPerInch) : unitsPerInch_(unitsPerInch) {}
  int textWidth(const FontSpec& font, std::string_view utf8) const override;

 private:
  int unitsPerInch_;
};

class PainterCanvas : public Canvas {
 public:
  // Point sizes are converted with unitsPerInch, the painter's units per inch (0: the device's
  // own resolution).
  explicit PainterCanvas(QPainter& painter, int unitsPerInch = 0);

  void setFont(const FontSpec& font) override;
  void setTextColor(Color color) override;
  void drawText(int x, int y, std::string_view text) override;
  void drawTextInRect(const Rect& rect, std::string_view text, unsigned align) override;
  void setPen(const Pen& pen) override;
  void drawLine(int x1, int y1, int x2, int y2) override;
  void moveTo(int x, int y) override;
  void lineTo(int x, int y) override;
  void drawRect(const Rect& rect) override;
  void fillRect(const Rect& rect, Color color) override;
  void drawEllipse(const Rect& box, Color fill) override;

 private:
  QPainter& painter_;
  int dpi_;
  int escapement_ = 0;
  QColor textColor_ = Qt::black;
  QPen pen_;
  QPoint position_;
};

}  // namespace kro
