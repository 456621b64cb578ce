// Byte fixtures placed by absolute offset, written independently of the program's encoders.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kro::test {

class Bytes {
 public:
  explicit Bytes(std::size_t size = 0) : b_(size, '\0') {}

  Bytes& i32(std::size_t at, std::int32_t v) {
    grow(at + 4);
    auto u = static_cast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) b_[at + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    return *this;
  }
  Bytes& i16(std::size_t at, std::int16_t v) {
    grow(at + 2);
    auto u = static_cast<std::uint16_t>(v);
    b_[at] = static_cast<char>(u & 0xFF);
    b_[at + 1] = static_cast<char>(u >> 8);
    return *this;
  }
  Bytes& u8(std::size_t at, std::uint8_t v) {
    grow(at + 1);
    b_[at] = static_cast<char>(v);
    return *this;
  }
  Bytes& f32(std::size_t at, float v) {
    std::uint32_t u;
    std::memcpy(&u, &v, 4);
    return i32(at, static_cast<std::int32_t>(u));
  }
  Bytes& text(std::size_t at, std::string_view t) {
    grow(at + t.size());
    b_.replace(at, t.size(), t);
    return *this;
  }
  Bytes& resize(std::size_t size) {
    b_.resize(size, '\0');
    return *this;
  }
  const std::string& str() const { return b_; }
  std::size_t size() const { return b_.size(); }

 private:
  void grow(std::size_t size) {
    if (b_.size() < size) b_.resize(size, '\0');
  }
  std::string b_;
};

}  // namespace kro::test
