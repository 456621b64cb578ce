// The thickness chart pane: paints through an off-screen buffer; a click on a dot makes that
// reading current.
#pragma once

#include <QWidget>

#include "model/document.h"

namespace kro::gui {

class ChartView : public QWidget {
  Q_OBJECT

 public:
  explicit ChartView(CKroAnalyzeDoc& doc, QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  CKroAnalyzeDoc& doc_;
};

}  // namespace kro::gui
