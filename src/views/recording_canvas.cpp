// Recording canvas.
#include "views/recording_canvas.h"

namespace kro {

void RecordingCanvas::setFont(const FontSpec& font) {
  Call c(Op::Font);
  c.font = font;
  calls_.push_back(c);
}

void RecordingCanvas::setTextColor(Color color) {
  Call c(Op::TextColor);
  c.color = color;
  calls_.push_back(c);
}

void RecordingCanvas::drawText(int x, int y, std::string_view text) {
  Call c(Op::Text, x, y);
  c.text = std::string(text);
  calls_.push_back(c);
}

void RecordingCanvas::drawTextInRect(const Rect& rect, std::string_view text, unsigned align) {
  Call c(Op::TextInRect, rect.left, rect.top, rect.right, rect.bottom);
  c.text = std::string(text);
  c.align = align;
  calls_.push_back(c);
}

void RecordingCanvas::setPen(const Pen& pen) {
  Call c(Op::Pen);
  c.pen = pen;
  calls_.push_back(c);
}

void RecordingCanvas::drawLine(int x1, int y1, int x2, int y2) {
  calls_.emplace_back(Op::Line, x1, y1, x2, y2);
}

void RecordingCanvas::moveTo(int x, int y) { calls_.emplace_back(Op::MoveTo, x, y); }

void RecordingCanvas::lineTo(int x, int y) { calls_.emplace_back(Op::LineTo, x, y); }

void RecordingCanvas::drawRect(const Rect& r) {
  calls_.emplace_back(Op::Rectangle, r.left, r.top, r.right, r.bottom);
}

void RecordingCanvas::fillRect(const Rect& r, Color color) {
  Call c(Op::Fill, r.left, r.top, r.right, r.bottom);
  c.color = color;
  calls_.push_back(c);
}

void RecordingCanvas::drawEllipse(const Rect& r, Color fill) {
  Call c(Op::Ellipse, r.left, r.top, r.right, r.bottom);
  c.color = fill;
  calls_.push_back(c);
}

std::vector<RecordingCanvas::Call> RecordingCanvas::callsOf(Op op) const {
  std::vector<Call> out;
  for (const Call& c : calls_) {
    if (c.op == op) out.push_back(c);
  }
  return out;
}

const RecordingCanvas::Call* RecordingCanvas::findText(std::string_view text) const {
  for (const Call& c : calls_) {
    if ((c.op == Op::Text || c.op == Op::TextInRect) && c.text == text) return &c;
  }
  return nullptr;
}

}  // namespace kro
