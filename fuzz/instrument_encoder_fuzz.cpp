// Fuzz target: the instrument encoder's reading of stored dates, codes and numbers, checked by
// decoding what it encodes: whatever it accepts must come back as the same members.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "model/transfer_decoder.h"
#include "transfer/instrument_encoder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // Layout of an input: 4 code bytes, design (2), then a date text up to the first 0 byte,
  // then readings, 2 bytes each.
  if (size < 6) return 0;
  kro::MemberData d;
  d.code = std::string(bytes.substr(0, 4));
  d.designThickness = (data[4] << 8) | data[5];
  const std::size_t dateEnd = std::min(bytes.find('\0', 6), size);
  d.testDate = std::string(bytes.substr(6, dateEnd - 6));
  for (std::size_t at = dateEnd + 1; at + 1 < size && d.readings.size() < 2000; at += 2) {
    d.readings.push_back({0, (data[at] << 8) | data[at + 1], 0});
  }
  const kro::MemberRecord member = kro::MemberRecord::withTextsCut(std::move(d));
  const std::vector<kro::MemberRecord> members = {member, member};
  auto block = kro::encodeSerialBlock(members);
  auto image = kro::encodeUsbImage(members);
  if (block.ok() != image.ok()) std::abort();  // both layouts carry the same members
  if (!block) return 0;
  for (const auto& [layout, encoded] : {std::pair{kro::TransferLayout::Serial, block.value()},
                                        std::pair{kro::TransferLayout::Usb, image.value()}}) {
    if (!kro::transferComplete(layout, encoded)) std::abort();
    auto decoded = kro::decodeTransfer(layout, encoded);
    if (!decoded || decoded.value().members.size() != 2) std::abort();
    const kro::MemberRecord& back = decoded.value().members[0];
    if (back.code() != member.code() || back.designThickness() != member.designThickness() ||
        back.readings().size() != member.readings().size()) {
      std::abort();
    }
    for (std::size_t k = 0; k < back.readings().size(); ++k) {
      if (back.readings()[k].thickness != member.readings()[k].thickness) {
        std::abort();
      }
    }
  }
  return 0;
}
