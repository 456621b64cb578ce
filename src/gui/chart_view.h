// The thickness chart pane: paints through an off-screen buffer; a click on a dot makes that
// reading current.
#pragma once

#include <QWidget>

#include "model/document.h"
#include "model/judging_rule.h"

namespace kro::gui {

class ChartView : public QWidget {
  Q_OBJECT

 public:
  explicit ChartView(CKroAnalyzeDoc& doc, QWidget* parent = nullptr);
  // The project's rule, whose band and mean the chart draws.
  void setRule(JudgingRule rule) {
    rule_ = std::move(rule);
    update();
  }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  CKroAnalyzeDoc& doc_;
  JudgingRule rule_ = pointRule();
};

}  // namespace kro::gui
