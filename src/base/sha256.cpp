#include "base/sha256.h"

#include <sodium.h>

#include <cstring>

namespace kro {

Sha256 sha256(std::string_view bytes) {
  Sha256 out{};
  crypto_hash_sha256(out.data(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return out;
}

std::string hexOf(const Sha256& digest) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(64);
  for (std::uint8_t b : digest) {
    out.push_back(kDigits[b >> 4]);
    out.push_back(kDigits[b & 15]);
  }
  return out;
}

std::string_view bytesOf(const Sha256& digest) {
  return {reinterpret_cast<const char*>(digest.data()), digest.size()};
}

bool digestFrom(std::string_view bytes, Sha256& digest) {
  if (bytes.size() != digest.size()) return false;
  std::memcpy(digest.data(), bytes.data(), digest.size());
  return true;
}

}  // namespace kro
