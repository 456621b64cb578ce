// QR codes and their PNG pictures.
#include "report/qr_code.h"

#include <qrencode.h>
#include <zlib.h>

#include <memory>

namespace kro {

namespace {

constexpr int kQuietZone = 4;

void put32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xFF);
}

void chunk(std::string& png, const char* type, const std::string& data) {
  put32(png, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  png += body;
  put32(png, static_cast<std::uint32_t>(
                 crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

}  // namespace

Result<QrCode> encodeQr(std::string_view text, int maxVersion) {
  const std::string copy(text);  // libqrencode reads a C string
  std::unique_ptr<QRcode, decltype(&QRcode_free)> made(
      QRcode_encodeString(copy.c_str(), 0, QR_ECLEVEL_M, QR_MODE_8, 1), &QRcode_free);
  if (!made) return Error{"无法生成二维码（内容太长或内存不足）"};
  if (made->version > maxVersion)
    return Error{"二维码需要第 " + std::to_string(made->version) + " 版，超过了第 " +
                 std::to_string(maxVersion) + " 版（内容太长）"};
  QrCode code;
  code.version = made->version;
  code.size = made->width;
  code.modules.resize(static_cast<std::size_t>(made->width) * static_cast<std::size_t>(made->width));
  for (std::size_t k = 0; k < code.modules.size(); ++k) code.modules[k] = (made->data[k] & 1) != 0;
  return code;
}

std::string qrPng(const QrCode& code, int pixels) {
  const int side = (code.size + 2 * kQuietZone) * pixels;
  std::string raw;
  raw.reserve(static_cast<std::size_t>(side) * static_cast<std::size_t>(side + 1));
  for (int y = 0; y < side; ++y) {
    raw += '\0';  // no filter
    const int my = y / pixels - kQuietZone;
    for (int x = 0; x < side; ++x) {
      const int mx = x / pixels - kQuietZone;
      const bool dark = mx >= 0 && my >= 0 && mx < code.size && my < code.size && code.dark(mx, my);
      raw += static_cast<char>(dark ? 0x00 : 0xFF);
    }
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packedSize, '\0');
  compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, reinterpret_cast<const Bytef*>(raw.data()),
            static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION);
  packed.resize(packedSize);
  std::string header;
  put32(header, static_cast<std::uint32_t>(side));
  put32(header, static_cast<std::uint32_t>(side));
  header += std::string("\x08\x00\x00\x00\x00", 5);  // 8-bit greyscale, no interlace
  std::string png = "\x89PNG\r\n\x1A\n";
  chunk(png, "IHDR", header);
  chunk(png, "IDAT", packed);
  chunk(png, "IEND", {});
  return png;
}

}  // namespace kro
