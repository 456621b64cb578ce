// QR codes (libqrencode) as a square of modules, for the printed pages, and as a PNG picture,
// for the Word documents.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace kro {

struct QrCode {
  int version = 0;
  int size = 0;               // modules on a side, without the quiet zone
  std::vector<bool> modules;  // row by row, true for a dark module
  bool dark(int x, int y) const { return modules[static_cast<std::size_t>(y * size + x)]; }
};

// The text at error correction level M in the smallest version that holds it; refused when it
// needs a version above maxVersion.
Result<QrCode> encodeQr(std::string_view text, int maxVersion = 40);

// The code as a greyscale PNG, each module pixels × pixels, with the four-module quiet zone the
// standard asks for around it.
std::string qrPng(const QrCode& code, int pixels);

}  // namespace kro
