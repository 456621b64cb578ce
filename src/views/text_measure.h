// How wide a text is in a font: what the printed pages need to wrap their texts and keep them
// clear of each other before anything is drawn.
#pragma once

#include <string_view>

#include "views/canvas.h"

namespace kro {

class TextMeasure {
 public:
  virtual ~TextMeasure() = default;
  // The advance of a UTF-8 text in device units.
  virtual int textWidth(const FontSpec& font, std::string_view utf8) const = 0;
};

// A measure without fonts, for layouts checked without a display: an em (the point size at
// unitsPerInch) for every wide character and 0.6 em for an ASCII one.
class EstimatedTextMeasure : public TextMeasure {
 public:
  explicit EstimatedTextMeasure(int unitsPerInch = 600) : unitsPerInch_(unitsPerInch) {}
  int textWidth(const FontSpec& font, std::string_view utf8) const override;

 private:
  int unitsPerInch_;
};

}  // namespace kro
