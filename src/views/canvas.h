// A drawing surface: what the chart and the printed pages need of a window or printer context.
//
// Coordinates are integer device units with y growing downwards. Texts are UTF-8 and drawn with
// their top-left corner at the given point unless an alignment says otherwise.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kro {

struct Color {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Color&) const = default;
};

inline constexpr Color kBlack{0, 0, 0};
inline constexpr Color kWhite{255, 255, 255};

enum class PenStyle { Solid, Dotted };

struct Pen {
  PenStyle style = PenStyle::Solid;
  int width = 1;
  Color color = kBlack;
  bool operator==(const Pen&) const = default;
};

// A font by face and point size, or by character height and width in device units. The
// escapement turns the text counter-clockwise, in tenths of a degree.
struct FontSpec {
  std::string face;     // "宋体", "黑体", or empty for the family's default
  int pointSize = 0;    // > 0: size in points
  int pixelHeight = 0;  // > 0: character height in device units
  int pixelWidth = 0;   // average character width in device units; 0 for the natural width
  int escapement = 0;
  int weight = 400;    // 100 thin .. 400 normal .. 700 bold
  bool serif = false;  // a roman family when no face is named
  bool operator==(const FontSpec&) const = default;
};

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// Alignment flags for text in a rectangle.
enum TextAlign : unsigned {
  kAlignLeft = 0,
  kAlignCenter = 1,
  kAlignRight = 2,
  kAlignTop = 0,
  kAlignVCenter = 4,
  kAlignBottom = 8,
  kSingleLine = 16,
  kWordBreak = 32,
};

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void setFont(const FontSpec& font) = 0;
  virtual void setTextColor(Color color) = 0;
  virtual void drawText(int x, int y, std::string_view text) = 0;
  virtual void drawTextInRect(const Rect& rect, std::string_view text, unsigned align) = 0;

  virtual void setPen(const Pen& pen) = 0;
  virtual void drawLine(int x1, int y1, int x2, int y2) = 0;
  virtual void moveTo(int x, int y) = 0;
  // A line from the current position, which then moves to (x, y).
  virtual void lineTo(int x, int y) = 0;
  // Outline with the current pen.
  virtual void drawRect(const Rect& rect) = 0;
  virtual void fillRect(const Rect& rect, Color color) = 0;
  // Outline with the current pen, filled with fill.
  virtual void drawEllipse(const Rect& box, Color fill) = 0;
};

}  // namespace kro
