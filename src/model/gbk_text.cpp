// GBK character walking and the conversions between GBK and UTF-8 (the system's converter).
#include "model/gbk_text.h"

#include <algorithm>
#include <cerrno>

#include "platform/text_encoding.h"

namespace kro {
namespace {

bool isLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }
bool isTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Length of the UTF-8 sequence announced by its first byte (1 for a stray byte).
std::size_t utf8SequenceLength(unsigned char c) {
  if (c >= 0xF0 && c <= 0xF4) return 4;
  if (c >= 0xE0) return 3;
  if (c >= 0xC2 && c < 0xE0) return 2;
  return 1;
}

}  // namespace

std::size_t gbkCharLength(std::string_view text, std::size_t pos) {
  if (pos + 1 < text.size() && isLeadByte(static_cast<unsigned char>(text[pos])) &&
      isTrailByte(static_cast<unsigned char>(text[pos + 1]))) {
    return 2;
  }
  return 1;
}

bool isGbkText(std::string_view text) {
  for (std::size_t i = 0; i < text.size(); i += gbkCharLength(text, i)) {
    if (gbkCharLength(text, i) == 2) continue;
    if (static_cast<unsigned char>(text[i]) > 0x7F) return false;
  }
  return true;
}

std::string_view gbkTruncate(std::string_view text, std::size_t capacity) {
  std::size_t end = 0;
  while (end < text.size()) {
    std::size_t next = end + gbkCharLength(text, end);
    if (next > capacity) break;
    end = next;
  }
  return text.substr(0, end);
}

std::size_t gbkFind(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (needle.empty()) return from <= haystack.size() ? from : std::string_view::npos;
  for (std::size_t pos = from; pos < haystack.size(); pos += gbkCharLength(haystack, pos)) {
    if (haystack.substr(pos, needle.size()) == needle) return pos;
  }
  return std::string_view::npos;
}

std::string gbkToUtf8(std::string_view gbk) {
  std::string out;
  out.reserve(gbk.size() * 3 / 2);
  using platform::Conversion;
  if (!platform::canConvert(Conversion::GbkToUtf8)) {
    // Without a converter, keep ASCII and mark everything else as undecodable.
    for (std::size_t i = 0; i < gbk.size(); i += gbkCharLength(gbk, i)) {
      unsigned char c = static_cast<unsigned char>(gbk[i]);
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        out += "\xEF\xBF\xBD";
      }
    }
    return out;
  }
  std::string_view rest = gbk;
  while (platform::convertText(Conversion::GbkToUtf8, rest, out) != 0) {
    out += "\xEF\xBF\xBD";
    rest.remove_prefix(gbkCharLength(rest, 0));
  }
  return out;
}

std::optional<std::string> utf8ToGbk(std::string_view utf8, std::string* unencodable) {
  std::string out;
  using platform::Conversion;
  if (!platform::canConvert(Conversion::Utf8ToGbk)) return std::nullopt;
  std::string_view rest = utf8;
  if (platform::convertText(Conversion::Utf8ToGbk, rest, out) != 0) {
    if (unencodable != nullptr && !rest.empty()) {
      std::size_t length = utf8SequenceLength(static_cast<unsigned char>(rest[0]));
      *unencodable = std::string(rest.substr(0, length));
    }
    return std::nullopt;
  }
  return out;
}

std::string utf8ToGbkLossy(std::string_view utf8) {
  if (auto whole = utf8ToGbk(utf8)) return *whole;
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const std::size_t length =
        std::min(utf8SequenceLength(static_cast<unsigned char>(utf8[i])), utf8.size() - i);
    auto one = utf8ToGbk(utf8.substr(i, length));
    out += one ? *one : "?";
    i += length;
  }
  return out;
}

}  // namespace kro
