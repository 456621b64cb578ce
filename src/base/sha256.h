// SHA-256 digests (libsodium), for the kept files a project names and its modification log.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kro {

using Sha256 = std::array<std::uint8_t, 32>;

Sha256 sha256(std::string_view bytes);
// The 64 lowercase hexadecimal digits of a digest.
std::string hexOf(const Sha256& digest);
// The digest as 32 bytes, and back; nothing is read unless 32 bytes are given.
std::string_view bytesOf(const Sha256& digest);
bool digestFrom(std::string_view bytes, Sha256& digest);

}  // namespace kro
