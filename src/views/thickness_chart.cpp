// Thickness chart geometry, drawing and hit test.
#include "views/thickness_chart.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "model/figure_text.h"
#include "model/statistics.h"
#include "views/text_measure.h"

namespace kro {
namespace {

const FontSpec kChartFont{"宋体", 10};

std::string format(const char* pattern, long long value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

}  // namespace

ChartGeometry::ChartGeometry(const MemberRecord& m, int width, int height, const JudgingRule& rule)
    : width_(width), height_(height) {
  const auto& readings = m.readings();
  const ToleranceBand band = ruleBand(m, rule);
  std::int64_t largest = band.upper;
  std::int64_t smallest = band.lower;
  if (!readings.empty()) {
    auto [low, high] =
        std::minmax_element(readings.begin(), readings.end(),
                            [](const Reading& a, const Reading& b) { return a.thickness < b.thickness; });
    largest = std::max<std::int64_t>(largest, high->thickness);
    smallest = std::min<std::int64_t>(smallest, low->thickness);
  }
  vmax_ = largest + 5;
  vmin_ = smallest - 5;
  const std::int64_t span = vmax_ - vmin_;
  if (span > 0) yScale_ = static_cast<float>(bottom() - kTop) / static_cast<float>(span);
  const int n = m.readingCount();
  if (n >= 2) xStep_ = static_cast<float>(right() - kLeft) / static_cast<float>(n - 1);
}

int ChartGeometry::y(std::int64_t value) const { return yOffset(value, 0.0f); }

int ChartGeometry::yOffset(std::int64_t value, float offset) const {
  return static_cast<int>(static_cast<float>(bottom()) - static_cast<float>(value - vmin_) * yScale_ +
                          offset);
}

int ChartGeometry::x(int reading) const {
  return static_cast<int>(static_cast<float>(reading) * xStep_ + static_cast<float>(kLeft));
}

void drawThicknessChart(Canvas& c, const MemberRecord* member, int currentReading, int W, int H,
                        const JudgingRule& rule) {
  c.setFont(kChartFont);
  if (member == nullptr) return;
  const ChartGeometry g(*member, W, H, rule);
  const int YB = g.bottom();
  const int XR = g.right();
  const std::int64_t lower = ruleBand(*member, rule).lower;
  const std::int64_t upper = ruleBand(*member, rule).upper;
  const Pen plain{};

  c.setPen(plain);
  // Axes and arrowheads.
  c.drawLine(40, 20, 40, YB);
  c.drawLine(40, YB, W - 10, YB);
  c.drawLine(40, 20, 35, 25);
  c.drawLine(40, 20, 45, 25);
  c.drawLine(W - 10, YB, W - 15, H - 15);
  c.drawLine(W - 10, YB, W - 15, H - 5);

  // Labels never overlap one another nor leave the chart: each takes the first of its places
  // that is free, or none (an axis number that a limit's number already stands for).
  const EstimatedTextMeasure measure(96);
  std::vector<Rect> placed;
  auto label = [&](std::initializer_list<std::pair<int, int>> places, const std::string& text) {
    const int width = measure.textWidth(kChartFont, text);
    for (const auto& [x, y] : places) {
      const Rect box{x, y, x + width, y + kChartTextHeight};
      if (box.left < 0 || box.top < 0 || box.right > W || box.bottom > H) continue;
      const bool overlaps = std::any_of(placed.begin(), placed.end(), [&](const Rect& o) {
        return box.left < o.right && o.left < box.right && box.top < o.bottom && o.top < box.bottom;
      });
      if (overlaps) continue;
      placed.push_back(box);
      c.drawText(x, y, text);
      return;
    }
  };

  // Summary: the pass count counted afresh, the rate as stored, and beside it the rate the
  // readings give when that differs.
  const ShownFigure<float> rate = shownPassRate(*member);
  const MemberFigures figures = computeFigures(*member);
  std::string rateText = "合格率:" + storedRateText(*member) + "%";
  if (rate.differsFromReadings())
    rateText += "（按测点计算 " + percentText(figures.passCount, figures.readingCount) + "%）";
  const std::string summary[] = {format("测点数:%lld", member->readingCount()),
                                 format("合格测点数:%lld", figures.passCount), rateText};
  // At their places while the chart is wide enough; side by side from the left when it is not
  // (a 1366-pixel screen), so that the rate is not cut off.
  int left[] = {140, 240, 340};
  if (left[2] + measure.textWidth(kChartFont, rateText) > W - 10) {
    for (int k = 0, x = 45; k < 3; ++k) {
      left[k] = x;
      x += measure.textWidth(kChartFont, summary[k]) + 12;
    }
  }
  for (int k = 0; k < 3; ++k) {
    placed.push_back(
        {left[k], 10, left[k] + measure.textWidth(kChartFont, summary[k]), 10 + kChartTextHeight});
    c.drawText(left[k], 10, summary[k]);
  }

  // Limit lines, dotted, with their labels below and above (on the other side near an edge).
  c.setPen(Pen{PenStyle::Dotted, 1, kBlack});
  c.drawLine(40, g.y(lower), XR, g.y(lower));
  c.drawLine(40, g.y(upper), XR, g.y(upper));
  c.setPen(plain);
  label({{W - 60, g.yOffset(upper, -20.0f)}, {W - 60, g.yOffset(upper, 4.0f)}}, "上限");
  label({{W - 60, g.yOffset(lower, 10.0f)},
         {W - 60, g.yOffset(lower, -20.0f)},
         {W - 100, g.yOffset(lower, 10.0f)}},
        "下限");

  // The axis title, running upwards.
  FontSpec title;
  title.pixelHeight = 12;
  title.pixelWidth = 6;
  title.escapement = 900;
  title.weight = 100;
  title.serif = true;
  c.setFont(title);
  c.setTextColor(kBlack);
  c.drawText(0, H - 15, "厚度(mm)");
  c.setFont(kChartFont);

  // Ticks and axis numbers; each limit number sits 10 pixels above its line.
  c.drawLine(40, g.y(lower), 34, g.y(lower));
  c.drawLine(40, g.y(upper), 34, g.y(upper));
  c.drawLine(40, 30, 35, 30);
  c.drawLine(40, YB, 35, YB);
  const ChartGeometry labels = g;
  auto numberRow = [&](std::int64_t v) {
    return static_cast<int>(static_cast<float>(H - 20) -
                            static_cast<float>(v - labels.valueMin()) * labels.yScale());
  };
  // The limits' numbers first (beside each other when the band is narrow), then the axis ends'
  // where they leave room: near a limit, its number stands for the end's.
  label({{15, numberRow(upper)}, {15, numberRow(upper) - kChartTextHeight}}, format("%lld", upper));
  label({{15, numberRow(lower)}, {15, numberRow(lower) + kChartTextHeight}}, format("%lld", lower));
  label({{15, 20}}, format("%lld", g.valueMax()));
  label({{15, H - 20}, {15, H - kChartTextHeight}}, format("%lld", g.valueMin()));

  // Under a member rule: the mean as recorded, a heavier dotted line, with the member's verdict.
  if (const auto mean = rule.judgesMembers() ? judgeMemberMean(*member, rule) : std::nullopt) {
    const std::int64_t at = mean->recorded.value_or(mean->sum / mean->count);
    const Color colour = mean->passes ? Color{0, 128, 0} : kChartFail;
    c.setPen(Pen{PenStyle::Dotted, 2, colour});
    c.drawLine(40, g.y(at), XR, g.y(at));
    c.setPen(plain);
    c.setTextColor(colour);
    c.drawText(50, g.yOffset(at, -14.0f), "平均值 " + mean->text + " " + (mean->passes ? "合格" : "不合格"));
    c.setTextColor(kBlack);
  }

  // Readings: blue segments from the previous dot's right edge, then the dot.
  if (member->readingCount() > 0) c.moveTo(40, g.y(member->readingAt(0)));
  for (int i = 0; i < member->readingCount(); ++i) {
    const int x = g.x(i);
    const int y = g.y(member->readingAt(i));
    c.setPen(Pen{PenStyle::Solid, 2, kChartLineBlue});
    c.lineTo(x, y);
    c.setPen(plain);
    const Color fill = i == currentReading               ? kChartCurrent
                       : readingPasses(*member, i, rule) ? kChartPass
                                                         : kChartFail;
    c.drawEllipse(Rect{x - 5, y - 5, x + 5, y + 5}, fill);
    c.moveTo(x + 5, y);
  }
}

int hitTestThicknessChart(const MemberRecord* member, int W, int H, int px, int py, const JudgingRule& rule) {
  if (member == nullptr) return -1;
  const ChartGeometry g(*member, W, H, rule);
  int result = -1;
  for (int i = 0; i < member->readingCount(); ++i) {
    const int x = g.x(i);
    const int y = g.y(member->readingAt(i));
    if (px >= x - 5 && px < x + 5 && py >= y - 5 && py < y + 5) result = i;
  }
  return result;
}

}  // namespace kro
