// The thickness chart's geometry, drawing order and hit test, with a recording canvas.
#include "views/thickness_chart.h"

#include <gtest/gtest.h>

#include "views/recording_canvas.h"
#include "views/text_measure.h"

namespace kro {
namespace {

using Op = RecordingCanvas::Op;

MemberRecord member(std::vector<std::int32_t> readings, std::int32_t design = 120, std::int32_t minus = -5,
                    std::int32_t plus = 8, float rate = 0.0f) {
  MemberData d;
  d.designThickness = design;
  d.minusDeviation = minus;
  d.plusDeviation = plus;
  d.passRate = rate;
  for (std::int32_t t : readings) d.readings.push_back({0, t, 0});
  return MemberRecord(std::move(d));
}

TEST(ChartGeometry, RangesFollowLimitsAndReadings) {
  // All readings inside: the limit lines sit 5 units inside the range.
  ChartGeometry inside(member({118, 122, 125}), 600, 400);
  EXPECT_EQ(inside.valueMax(), 133);
  EXPECT_EQ(inside.valueMin(), 110);
  EXPECT_EQ(inside.right(), 580);
  EXPECT_EQ(inside.bottom(), 390);
  EXPECT_FLOAT_EQ(inside.yScale(), 360.0f / 23.0f);
  EXPECT_EQ(inside.y(110), 390);
  EXPECT_EQ(inside.y(133), 30);
  // 390 - (115 - 110) * 15.652174 = 311.739.. truncates to 311.
  EXPECT_EQ(inside.y(115), 311);
  EXPECT_FLOAT_EQ(inside.xStep(), 270.0f);
  EXPECT_EQ(inside.x(0), 40);
  EXPECT_EQ(inside.x(2), 580);

  // A reading above the upper limit sets the top of the range.
  ChartGeometry above(member({118, 140}), 600, 400);
  EXPECT_EQ(above.valueMax(), 145);
  EXPECT_EQ(above.y(145), 30);
  EXPECT_GT(above.y(128), 30);
}

TEST(ChartGeometry, OneReadingStandsOnTheAxisAndAnEmptySpanFlattens) {
  ChartGeometry single(member({120}), 600, 400);
  EXPECT_EQ(single.xStep(), 0.0f);
  EXPECT_EQ(single.x(0), 40);
  // Upper limit 10 below the lower: without readings the range is empty.
  ChartGeometry flat(member({}, 100, 0, -10), 600, 400);
  EXPECT_EQ(flat.yScale(), 0.0f);
  EXPECT_EQ(flat.y(100), 390);
  EXPECT_EQ(flat.y(90), 390);
}

// Under a rule that judges members by their means the limits are the rule's band, the dots are
// judged by it, and the mean as recorded is drawn with the member's verdict.
TEST(ThicknessChart, AMemberRuleDrawsItsBandAndTheMean) {
  const JudgingRule& slab = *builtInRule(kSlabRuleName);
  MemberRecord m = member({113, 118, 126}, 120, -5, 8, 0.875f);  // mean 119; 113 is below -5
  RecordingCanvas canvas;
  drawThicknessChart(canvas, &m, -1, 600, 400, slab);
  const ChartGeometry g(m, 600, 400, slab);
  EXPECT_EQ(g.valueMax(), 135);  // the rule's upper limit 130, + 5
  EXPECT_NE(canvas.findText("130"), nullptr);
  EXPECT_NE(canvas.findText("平均值 119 合格"), nullptr);
  std::vector<Color> dots;
  for (const auto& call : canvas.callsOf(Op::Ellipse)) dots.push_back(call.color);
  EXPECT_EQ(dots, (std::vector<Color>{kChartFail, kChartPass, kChartPass}));
  // Under "逐点判定" no mean is drawn, and the member's own band holds (126 is inside -5/+8).
  RecordingCanvas point;
  drawThicknessChart(point, &m, -1, 600, 400);
  EXPECT_EQ(point.findText("平均值 119 合格"), nullptr);
  EXPECT_NE(point.findText("128"), nullptr);
}

TEST(ThicknessChart, DrawsAxesLimitsSummaryAndDots) {
  RecordingCanvas canvas;
  MemberRecord m = member({118, 130, 110}, 120, -5, 8, 0.875f);
  drawThicknessChart(canvas, &m, 1, 600, 400);
  const ChartGeometry g(m, 600, 400);

  auto lines = canvas.callsOf(Op::Line);
  ASSERT_GE(lines.size(), 12u);
  EXPECT_EQ(lines[0].x1, 40);
  EXPECT_EQ(lines[0].y1, 20);
  EXPECT_EQ(lines[0].y2, 390);
  EXPECT_EQ(lines[1].x2, 590);
  // The dotted limit lines come after a dotted pen.
  EXPECT_EQ(lines[6].y1, g.y(115));
  EXPECT_EQ(lines[6].x2, 580);
  EXPECT_EQ(lines[7].y1, g.y(128));

  const auto* low = canvas.findText("下限");
  ASSERT_NE(low, nullptr);
  EXPECT_EQ(low->x1, 540);
  EXPECT_EQ(low->y1, g.yOffset(115, 10.0f));
  const auto* high = canvas.findText("上限");
  ASSERT_NE(high, nullptr);
  EXPECT_EQ(high->y1, g.yOffset(128, -20.0f));
  const auto* title = canvas.findText("厚度(mm)");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->x1, 0);
  EXPECT_EQ(title->y1, 385);

  EXPECT_NE(canvas.findText("测点数:3"), nullptr);
  EXPECT_NE(canvas.findText("合格测点数:1"), nullptr);
  // The stored rate, with the rate the readings give beside it when they differ.
  EXPECT_NE(canvas.findText("合格率:87.5%（按测点计算 33.3%）"), nullptr);
  const auto* top = canvas.findText(std::to_string(g.valueMax()));
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->x1, 15);
  EXPECT_EQ(top->y1, 20);

  RecordingCanvas agreeing;
  MemberRecord same = member({118, 130, 110}, 120, -5, 8, 1.0f / 3.0f);
  drawThicknessChart(agreeing, &same, 1, 600, 400);
  EXPECT_NE(agreeing.findText("合格率:33.3%"), nullptr);
  EXPECT_EQ(agreeing.findText("测点数:3")->x1, 140);
  EXPECT_EQ(agreeing.findText("合格率:33.3%")->x1, 340);
  // In a narrow chart (a 1366-pixel screen) the summary moves left, in order, to stay whole.
  RecordingCanvas narrow;
  drawThicknessChart(narrow, &same, 1, 370, 300);
  const EstimatedTextMeasure measure(96);
  int right = 0;
  for (const char* text : {"测点数:3", "合格测点数:1", "合格率:33.3%"}) {
    const auto* placed = narrow.findText(text);
    ASSERT_NE(placed, nullptr) << text;
    EXPECT_GT(placed->x1, right) << text;
    right = placed->x1 + measure.textWidth(FontSpec{"宋体", 10}, text);
  }
  EXPECT_LE(right, 370 - 10);

  // Dots: pass green, the current one magenta even though it fails, a failing one red.
  auto dots = canvas.callsOf(Op::Ellipse);
  ASSERT_EQ(dots.size(), 3u);
  EXPECT_EQ(dots[0].color, kChartPass);
  EXPECT_EQ(dots[1].color, kChartCurrent);
  EXPECT_EQ(dots[2].color, kChartFail);
  EXPECT_EQ(dots[0].x1, 40 - 5);
  EXPECT_EQ(dots[2].x2, 580 + 5);
  // Each segment starts at the right edge of the previous dot.
  auto moves = canvas.callsOf(Op::MoveTo);
  ASSERT_EQ(moves.size(), 4u);
  EXPECT_EQ(moves[1].x1, 45);
  EXPECT_EQ(moves[1].y1, g.y(118));
  auto segments = canvas.callsOf(Op::LineTo);
  EXPECT_EQ(segments[1].x1, g.x(1));
}

// Whatever the readings and the band, the labels (limit names, axis numbers) neither overlap
// one another nor leave the chart.
TEST(ThicknessChart, LabelsNeverOverlapAndStayInside) {
  const EstimatedTextMeasure measure(96);
  struct Case {
    std::vector<std::int32_t> readings;
    std::int32_t minus, plus;
    int W, H;
  };
  const Case cases[] = {
      {{60, 200, 120}, -1, 1, 600, 400},        // a narrow band in a wide range
      {{118, 119, 121}, -1, 1, 370, 200},       // limits at the axis ends
      {{100, 130, 125, 126}, -5, 8, 370, 300},  // the usual slab on a small screen
      {{115, 128}, -5, 8, 300, 150},            // readings on the limits, a short chart
  };
  for (const Case& k : cases) {
    MemberRecord m = member(k.readings, 120, k.minus, k.plus, 1.0f);
    RecordingCanvas canvas;
    drawThicknessChart(canvas, &m, 0, k.W, k.H);
    std::vector<Rect> boxes;
    for (const auto& call : canvas.callsOf(Op::Text)) {
      if (call.y1 == 10 || call.text == "厚度(mm)") continue;  // the summary line and the axis title
      boxes.push_back({call.x1, call.y1, call.x1 + measure.textWidth(FontSpec{"宋体", 10}, call.text),
                       call.y1 + kChartTextHeight});
      const Rect& b = boxes.back();
      EXPECT_TRUE(b.left >= 0 && b.top >= 0 && b.right <= k.W && b.bottom <= k.H)
          << call.text << " at " << b.left << "," << b.top << " in " << k.W << "x" << k.H;
    }
    EXPECT_GE(boxes.size(), 4u);  // both limit names and both limit numbers at least
    for (std::size_t i = 0; i < boxes.size(); ++i) {
      for (std::size_t j = i + 1; j < boxes.size(); ++j) {
        const Rect& a = boxes[i];
        const Rect& b = boxes[j];
        EXPECT_FALSE(a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom)
            << "labels " << i << " and " << j << " overlap in " << k.W << "x" << k.H;
      }
    }
  }
}

TEST(ThicknessChart, NoMemberAndNoReadings) {
  RecordingCanvas canvas;
  drawThicknessChart(canvas, nullptr, 0, 600, 400);
  ASSERT_EQ(canvas.calls().size(), 1u);
  EXPECT_EQ(canvas.calls()[0].op, Op::Font);

  canvas.clear();
  MemberRecord empty = member({});
  drawThicknessChart(canvas, &empty, 0, 600, 400);
  EXPECT_TRUE(canvas.callsOf(Op::Ellipse).empty());
  EXPECT_TRUE(canvas.callsOf(Op::LineTo).empty());
  EXPECT_NE(canvas.findText("测点数:0"), nullptr);
}

TEST(ThicknessChart, HitTest) {
  MemberRecord m = member({118, 130, 110});
  const ChartGeometry g(m, 600, 400);
  EXPECT_EQ(hitTestThicknessChart(&m, 600, 400, g.x(1), g.y(130)), 1);
  EXPECT_EQ(hitTestThicknessChart(&m, 600, 400, g.x(1) - 5, g.y(130) - 5), 1);
  EXPECT_EQ(hitTestThicknessChart(&m, 600, 400, g.x(1) + 5, g.y(130)), -1);  // right edge excluded
  EXPECT_EQ(hitTestThicknessChart(&m, 600, 400, (g.x(0) + g.x(1)) / 2, 5), -1);
  EXPECT_EQ(hitTestThicknessChart(nullptr, 600, 400, 40, 40), -1);

  // Dots 6 pixels apart (a chart 66 wide): the later reading wins in the overlap.
  MemberRecord crowded = member({120, 120});
  const ChartGeometry c(crowded, 66, 400);
  ASSERT_EQ(c.x(1), 46);
  EXPECT_EQ(hitTestThicknessChart(&crowded, 66, 400, 44, c.y(120)), 1);
  EXPECT_EQ(hitTestThicknessChart(&crowded, 66, 400, 40, c.y(120)), 0);

  MemberRecord single = member({120});
  EXPECT_EQ(hitTestThicknessChart(&single, 600, 400, 40, ChartGeometry(single, 600, 400).y(120)), 0);
}

}  // namespace
}  // namespace kro
