// Fuzz target: both end tests and both transfer decoders over arbitrary received bytes.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/transfer_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (kro::TransferLayout layout : {kro::TransferLayout::Serial, kro::TransferLayout::Usb}) {
    const bool complete = kro::transferComplete(layout, bytes);
    const auto expected = kro::expectedTransferSize(layout, bytes);
    if (complete != (expected && size >= *expected)) std::abort();
    // Refused only for bytes beyond the block; the first block is then still decodable.
    auto strict = kro::decodeTransfer(layout, bytes);
    auto lenient = kro::decodeTransfer(layout, bytes, kro::ExtraBytes::Ignore);
    if (strict.ok() && !lenient.ok()) std::abort();
    if (!strict.ok() && lenient.ok() && kro::bytesBeyondBlock(layout, bytes) == 0) std::abort();
    if (auto& decoded = lenient) {
      // Never more readings than the bytes could hold.
      std::size_t readings = 0;
      for (const kro::MemberRecord& m : decoded.value().members)
        readings += static_cast<std::size_t>(m.readingCount());
      if (2 * readings > size) std::abort();
    }
  }
  return 0;
}
