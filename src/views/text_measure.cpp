// The estimated text measure.
#include "views/text_measure.h"

namespace kro {

int EstimatedTextMeasure::textWidth(const FontSpec& font, std::string_view utf8) const {
  const int em = font.pointSize > 0 ? font.pointSize * unitsPerInch_ / 72 : font.pixelHeight;
  long long tenths = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const std::size_t length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    tenths += c < 0x80 ? 6 : 10;
    i += length;
  }
  return static_cast<int>(tenths * em / 10);
}

}  // namespace kro
