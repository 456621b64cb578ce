// GBK byte strings: character boundaries, cuts at a capacity, and conversion to and from UTF-8.
//
// The model, the files and the instrument carry texts as GBK (code page 936) bytes. A GBK
// character is one byte (0x00-0x80) or a lead byte 0x81-0xFE followed by a trail byte
// 0x40-0xFE other than 0x7F. Trail bytes can equal ASCII characters such as "[" or "\", so every
// byte-oriented rule walks the text character by character.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kro {

// Length in bytes (1 or 2) of the character that starts at text[pos]; pos < text.size().
std::size_t gbkCharLength(std::string_view text, std::size_t pos);

// True when the bytes are GBK text: every byte above 0x7F starts a whole two-byte character (no
// lone lead byte, no 0x80 or 0xFF on its own). ASCII control characters count as text.
bool isGbkText(std::string_view text);

// The longest prefix of text that holds at most capacity bytes and ends on a character boundary.
std::string_view gbkTruncate(std::string_view text, std::size_t capacity);

// Position of the first occurrence of needle that starts on a character boundary at or after
// from (which must itself be a boundary), or npos.
std::size_t gbkFind(std::string_view haystack, std::string_view needle, std::size_t from = 0);

// Converts GBK bytes to UTF-8. Bytes that do not decode become U+FFFD; the rest is kept.
std::string gbkToUtf8(std::string_view gbk);

// Converts UTF-8 to GBK. Returns nothing when a character cannot be stored in GBK or the input is
// not valid UTF-8; then *unencodable, when given, receives the offending character (UTF-8).
std::optional<std::string> utf8ToGbk(std::string_view utf8, std::string* unencodable = nullptr);

// Converts UTF-8 to GBK, writing "?" for each character GBK cannot hold.
std::string utf8ToGbkLossy(std::string_view utf8);

}  // namespace kro
