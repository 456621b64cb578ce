// Thickness chart pane.
#include "gui/chart_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include "render/painter_canvas.h"
#include "views/thickness_chart.h"

namespace kro::gui {

ChartView::ChartView(CKroAnalyzeDoc& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
  setObjectName("thicknessChart");
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 120);
}

void ChartView::paintEvent(QPaintEvent*) {
  // Drawn whole into a buffer, then copied in one piece.
  QPixmap buffer(size() * devicePixelRatioF());
  buffer.setDevicePixelRatio(devicePixelRatioF());
  buffer.fill(Qt::white);
  {
    QPainter painter(&buffer);
    PainterCanvas canvas(painter);
    drawThicknessChart(canvas, doc_.currentMemberRecord(), doc_.currentReading(), width(), height(), rule_);
  }
  QPainter(this).drawPixmap(0, 0, buffer);
}

void ChartView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  const int reading =
      hitTestThicknessChart(doc_.currentMemberRecord(), width(), height(), p.x(), p.y(), rule_);
  if (reading >= 0) {
    setCursor(Qt::PointingHandCursor);
  } else {
    unsetCursor();
  }
  // The grid follows; the chart shows the new current dot when the button comes up.
  doc_.setCurrentReading(reading, true, false);
  QWidget::mousePressEvent(event);
}

void ChartView::mouseReleaseEvent(QMouseEvent* event) {
  update();
  QWidget::mouseReleaseEvent(event);
}

}  // namespace kro::gui
