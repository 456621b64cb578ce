// A canvas that records every drawing call, for tests of layouts and charts.
#pragma once

#include <string>
#include <vector>

#include "views/canvas.h"

namespace kro {

class RecordingCanvas : public Canvas {
 public:
  enum class Op { Font, TextColor, Text, TextInRect, Pen, Line, MoveTo, LineTo, Rectangle, Fill, Ellipse };

  struct Call {
    explicit Call(Op o, int a = 0, int b = 0, int c = 0, int d = 0) : op(o), x1(a), y1(b), x2(c), y2(d) {}
    Op op;
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // points, or a rectangle's left, top, right, bottom
    std::string text;
    unsigned align = 0;
    FontSpec font;
    Pen pen;
    Color color;
  };

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

  const std::vector<Call>& calls() const { return calls_; }
  // The calls of one kind, in order.
  std::vector<Call> callsOf(Op op) const;
  // The first text call with exactly this text, or nullptr.
  const Call* findText(std::string_view text) const;
  void clear() { calls_.clear(); }

 private:
  std::vector<Call> calls_;
};

}  // namespace kro
