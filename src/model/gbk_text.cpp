// GBK character walking and the conversions between GBK and UTF-8: iconv, or on Windows the
// system's code page 936.
#include "model/gbk_text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

#include <algorithm>
#include <cerrno>

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

#ifdef _WIN32
// Conversions between two code pages through UTF-16.
class Converter {
 public:
  Converter(unsigned to, unsigned from) : to_(to), from_(from) {}

  bool valid() const { return true; }
  void reset() {}

  // Converts as much of in as possible, appending to out. Returns 0 when all was converted,
  // otherwise EILSEQ; in is advanced past what was converted.
  int convert(std::string_view& in, std::string& out) const {
    if (appendConverted(in, out)) {
      in = {};
      return 0;
    }
    // Where it stops: one character of the source encoding at a time.
    std::size_t done = 0;
    while (done < in.size()) {
      const std::size_t length =
          from_ == kGbk
              ? gbkCharLength(in, done)
              : std::min(utf8SequenceLength(static_cast<unsigned char>(in[done])), in.size() - done);
      if (!appendConverted(in.substr(done, length), out)) break;
      done += length;
    }
    in.remove_prefix(done);
    return in.empty() ? 0 : EILSEQ;
  }

  static constexpr unsigned kGbk = 936;

 private:
  bool appendConverted(std::string_view in, std::string& out) const {
    if (in.empty()) return true;
    const int inLength = static_cast<int>(in.size());
    const int wideLength = MultiByteToWideChar(from_, MB_ERR_INVALID_CHARS, in.data(), inLength, nullptr, 0);
    if (wideLength <= 0) return false;
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(from_, MB_ERR_INVALID_CHARS, in.data(), inLength, wide.data(), wideLength);
    // Code page 936 replaces what it cannot hold with a default character, and says so.
    const bool toUtf8 = to_ == CP_UTF8;
    BOOL usedDefault = FALSE;
    const DWORD flags = toUtf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int outLength = WideCharToMultiByte(to_, flags, wide.data(), wideLength, nullptr, 0, nullptr,
                                              toUtf8 ? nullptr : &usedDefault);
    if (outLength <= 0 || usedDefault) return false;
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(outLength));
    WideCharToMultiByte(to_, flags, wide.data(), wideLength, out.data() + old, outLength, nullptr, nullptr);
    return true;
  }

  unsigned to_;
  unsigned from_;
};

Converter& gbkToUtf8Converter() {
  thread_local Converter converter(CP_UTF8, Converter::kGbk);
  return converter;
}

Converter& utf8ToGbkConverter() {
  thread_local Converter converter(Converter::kGbk, CP_UTF8);
  return converter;
}
#else
// An iconv descriptor that closes itself.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // Back to the initial state, as a fresh descriptor.
  void reset() {
    if (valid()) iconv(cd_, nullptr, nullptr, nullptr, nullptr);
  }

  // Converts as much of in as possible, appending to out. Returns 0 when all was converted,
  // otherwise the errno that stopped it; in is advanced past what was converted.
  int convert(std::string_view& in, std::string& out) {
    char buffer[512];
    while (!in.empty()) {
      char* src = const_cast<char*>(in.data());
      std::size_t srcLeft = in.size();
      char* dst = buffer;
      std::size_t dstLeft = sizeof buffer;
      std::size_t rc = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      int error = rc == static_cast<std::size_t>(-1) ? errno : 0;
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      in.remove_prefix(in.size() - srcLeft);
      if (error == E2BIG) continue;
      if (error != 0) return error;
    }
    return 0;
  }

 private:
  iconv_t cd_;
};

// One descriptor per direction and thread: opening one costs far more than most conversions.
Converter& gbkToUtf8Converter() {
  thread_local Converter converter("UTF-8", "CP936");
  converter.reset();
  return converter;
}

Converter& utf8ToGbkConverter() {
  thread_local Converter converter("CP936", "UTF-8");
  converter.reset();
  return converter;
}
#endif

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
  Converter& converter = gbkToUtf8Converter();
  if (!converter.valid()) {
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
  while (converter.convert(rest, out) != 0) {
    out += "\xEF\xBF\xBD";
    rest.remove_prefix(gbkCharLength(rest, 0));
  }
  return out;
}

std::optional<std::string> utf8ToGbk(std::string_view utf8, std::string* unencodable) {
  std::string out;
  Converter& converter = utf8ToGbkConverter();
  if (!converter.valid()) return std::nullopt;
  std::string_view rest = utf8;
  if (converter.convert(rest, out) != 0) {
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
