// GBK through code page 936 and UTF-16.
#include "platform/text_encoding.h"

// clang-format off
#include <windows.h>
// clang-format on

#include <cerrno>

namespace kro::platform {
namespace {

constexpr UINT kGbk = 936;

// The length of the character that starts in at pos, in the source encoding (1 for a stray byte);
// it may run past the end of in.
std::size_t characterLength(Conversion conversion, std::string_view in, std::size_t pos) {
  const auto c = static_cast<unsigned char>(in[pos]);
  std::size_t length = 1;
  if (conversion == Conversion::GbkToUtf8) {
    length = IsDBCSLeadByteEx(kGbk, c) ? 2 : 1;
  } else if (c >= 0xF0 && c <= 0xF4) {
    length = 4;
  } else if (c >= 0xE0) {
    length = 3;
  } else if (c >= 0xC2 && c < 0xE0) {
    length = 2;
  }
  return length;
}

// All of in or nothing.
bool appendConverted(Conversion conversion, std::string_view in, std::string& out) {
  if (in.empty()) return true;
  const bool toUtf8 = conversion == Conversion::GbkToUtf8;
  const UINT from = toUtf8 ? kGbk : CP_UTF8;
  const UINT to = toUtf8 ? CP_UTF8 : kGbk;
  const int inLength = static_cast<int>(in.size());
  const int wideLength = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), inLength, nullptr, 0);
  if (wideLength <= 0) return false;
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), inLength, wide.data(), wideLength);
  // Code page 936 replaces what it cannot hold with a default character, and says so.
  BOOL usedDefault = FALSE;
  const DWORD flags = toUtf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int outLength = WideCharToMultiByte(to, flags, wide.data(), wideLength, nullptr, 0, nullptr,
                                            toUtf8 ? nullptr : &usedDefault);
  if (outLength <= 0 || usedDefault) return false;
  const std::size_t old = out.size();
  out.resize(old + static_cast<std::size_t>(outLength));
  WideCharToMultiByte(to, flags, wide.data(), wideLength, out.data() + old, outLength, nullptr, nullptr);
  return true;
}

}  // namespace

bool canConvert(Conversion) { return true; }

int convertText(Conversion conversion, std::string_view& in, std::string& out) {
  if (appendConverted(conversion, in, out)) {
    in = {};
    return 0;
  }
  // Where it stops: one character at a time.
  std::size_t done = 0;
  while (done < in.size()) {
    const std::size_t length = characterLength(conversion, in, done);
    if (done + length > in.size()) {  // cut off inside its last character
      in.remove_prefix(done);
      return EINVAL;
    }
    if (!appendConverted(conversion, in.substr(done, length), out)) break;
    done += length;
  }
  in.remove_prefix(done);
  return in.empty() ? 0 : EILSEQ;
}

}  // namespace kro::platform
