// Little-endian field decoding from a byte buffer with bounds checks, and the matching encoder.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kro {

// Reads fields in order from a byte buffer. Every read checks the bounds first; a caller asks
// canRead before a group of reads and may then read without further checks.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t position() const { return pos_; }
  std::size_t remaining() const { return bytes_.size() - pos_; }
  bool canRead(std::size_t count) const { return count <= remaining(); }

  std::uint8_t u8() { return data(1)[0]; }
  std::int16_t i16() {
    const unsigned char* p = data(2);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
  }
  std::uint16_t u16() { return static_cast<std::uint16_t>(i16()); }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::uint32_t u32() {
    const unsigned char* p = data(4);
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
  }
  float f32() {
    std::uint32_t bits = u32();
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // A fixed text field: the bytes before its first NUL (all of them when there is none).
  std::string text(std::size_t fieldSize) {
    std::string_view field = take(fieldSize);
    return std::string(field.substr(0, field.find('\0')));
  }
  std::string_view take(std::size_t count) {
    if (!canRead(count)) {
      pos_ = bytes_.size();
      return {};
    }
    std::string_view out = bytes_.substr(pos_, count);
    pos_ += count;
    return out;
  }
  void skip(std::size_t count) { take(count); }

 private:
  // Pointer to count bytes; past the end a zero buffer, so a missed check reads zeros, not memory.
  const unsigned char* data(std::size_t count) {
    static constexpr unsigned char kZeros[8] = {};
    if (!canRead(count)) {
      pos_ = bytes_.size();
      return kZeros;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes_.data() + pos_);
    pos_ += count;
    return p;
  }

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// Appends little-endian fields to a byte string.
class ByteWriter {
 public:
  explicit ByteWriter(std::string& out) : out_(out) {}

  void u8(std::uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void i16(std::int16_t v) {
    auto u = static_cast<std::uint16_t>(v);
    out_.push_back(static_cast<char>(u & 0xFF));
    out_.push_back(static_cast<char>(u >> 8));
  }
  void u16(std::uint16_t v) { i16(static_cast<std::int16_t>(v)); }
  void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
  void u32(std::uint32_t v) {
    char b[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                 static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
    out_.append(b, 4);
  }
  void f32(float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    u32(bits);
  }
  // A fixed text field: the text, then NULs up to the field's size. A text as long as the field
  // fills it without a NUL; callers cut longer texts (at a character boundary) first.
  void text(std::string_view text, std::size_t fieldSize) {
    std::size_t n = text.size() < fieldSize ? text.size() : fieldSize;
    out_.append(text.data(), n);
    out_.append(fieldSize - n, '\0');
  }

 private:
  std::string& out_;
};

}  // namespace kro
