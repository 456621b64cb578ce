// The thickness chart: the current member's readings as dots joined by a line, between dotted
// upper and lower limit lines, with the reading count, pass count and pass rate above.
//
// Geometry in pixels of the client area (width W, height H): the vertical axis at x 40, the
// plotting range from y 30 down to the horizontal axis at H - 10, the plot ending at W - 20.
// Values map linearly onto the range [min(smallest, lower limit) - 5, max(largest, upper
// limit) + 5]; readings are spaced evenly by index. Pixel values truncate toward zero.
#pragma once

#include <cstdint>

#include "model/judging_rule.h"
#include "model/member_record.h"
#include "views/canvas.h"

namespace kro {

class ChartGeometry {
 public:
  ChartGeometry(const MemberRecord& member, int width, int height, const JudgingRule& rule = pointRule());

  static constexpr int kLeft = 40;  // vertical axis and left end of the plot
  static constexpr int kTop = 30;   // top of the plotting range

  int right() const { return width_ - 20; }
  int bottom() const { return height_ - 10; }
  std::int64_t valueMax() const { return vmax_; }
  std::int64_t valueMin() const { return vmin_; }
  float yScale() const { return yScale_; }
  float xStep() const { return xStep_; }
  // Pixel row of a value, and the centre of reading i's dot.
  int y(std::int64_t value) const;
  int x(int reading) const;
  // The row of a value with an offset added before truncation (the labels beside the lines).
  int yOffset(std::int64_t value, float offset) const;

 private:
  int width_, height_;
  std::int64_t vmax_ = 0, vmin_ = 0;
  float yScale_ = 0.0f;
  float xStep_ = 0.0f;
};

inline constexpr Color kChartLineBlue{0, 0, 255};
inline constexpr Color kChartCurrent{255, 0, 255};
inline constexpr Color kChartPass{0, 255, 0};
inline constexpr Color kChartFail{255, 0, 0};
// The height a label of the chart takes (its 10-point font on the screen).
inline constexpr int kChartTextHeight = 14;

// Draws the chart of member (nothing but the font without one) on a canvas of the given size.
// The limit lines are the band of the project's rule; under a rule that judges members by their
// means a dotted line marks the mean as the rule records it, with its verdict.
void drawThicknessChart(Canvas& canvas, const MemberRecord* member, int currentReading, int width, int height,
                        const JudgingRule& rule = pointRule());

// The reading whose dot contains the point (right and bottom edges excluded), the highest index
// where dots overlap; -1 for none.
int hitTestThicknessChart(const MemberRecord* member, int width, int height, int x, int y,
                          const JudgingRule& rule = pointRule());

}  // namespace kro
