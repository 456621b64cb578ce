#include "model/utf8_text.h"

#include <cstdio>

namespace kro {

std::size_t utf8SequenceAt(std::string_view text, std::size_t i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
  const unsigned char c = b(0);
  if (c < 0x80) return 1;
  const std::size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
  if (n == 0 || c > 0xF4 || i + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((b(k) & 0xC0) != 0x80) return 0;
  }
  if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) >= 0xA0) || (c == 0xF0 && b(1) < 0x90) ||
      (c == 0xF4 && b(1) >= 0x90)) {
    return 0;  // overlong, a surrogate, or beyond U+10FFFF
  }
  return n;
}

std::size_t invalidUtf8At(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = utf8SequenceAt(text, i);
    if (n == 0) return i;
    i += n;
  }
  return std::string_view::npos;
}

std::string utf8Shown(std::string_view text) {
  std::size_t i = invalidUtf8At(text);
  if (i == std::string_view::npos) return std::string(text);
  std::string out(text.substr(0, i));
  while (i < text.size()) {
    if (const std::size_t n = utf8SequenceAt(text, i); n > 0) {
      out.append(text.substr(i, n));
      i += n;
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(text[i]));
    out += escaped;
    ++i;
  }
  return out;
}

}  // namespace kro
