// Decoding the serial block and the USB image.
#include "transfer/transfer_decoder.h"

#include <algorithm>

namespace kro {
namespace {

constexpr std::size_t kHeaderSize = 14;
constexpr std::size_t kUsbHeaderStride = 16;

std::uint32_t be16(std::string_view b, std::size_t at) {
  return (std::uint32_t{static_cast<unsigned char>(b[at])} << 8) | static_cast<unsigned char>(b[at + 1]);
}

std::uint32_t be24(std::string_view b, std::size_t at) {
  return (std::uint32_t{static_cast<unsigned char>(b[at])} << 16) | be16(b, at + 1);
}

// Fills a member from the 14-byte header at `at`; readings come separately.
MemberData headerFields(std::string_view b, std::size_t at) {
  MemberData d;
  for (std::size_t i = 0; i < 4; ++i) d.code += memberCodeCharacter(static_cast<unsigned char>(b[at + i]));
  d.testDate = transferDateText(static_cast<unsigned char>(b[at + 4]), static_cast<unsigned char>(b[at + 5]),
                                static_cast<unsigned char>(b[at + 6]));
  d.designThickness = static_cast<std::int32_t>(be16(b, at + 7));
  d.passRate = static_cast<float>(static_cast<unsigned char>(b[at + 13]));
  d.minusDeviation = 0;
  d.plusDeviation = 0;
  return d;
}

// Reads count readings from `at` into d and sets its maximum and minimum.
void readReadings(std::string_view b, std::size_t at, std::uint32_t count, MemberData& d) {
  d.readings.resize(count);
  for (std::uint32_t k = 0; k < count; ++k)
    d.readings[k].thickness = static_cast<std::int32_t>(be16(b, at + 2 * k));
  if (count == 0) return;
  auto [low, high] =
      std::minmax_element(d.readings.begin(), d.readings.end(),
                          [](const Reading& x, const Reading& y) { return x.thickness < y.thickness; });
  d.minThickness = low->thickness;
  d.maxThickness = high->thickness;
}

std::string incompleteWarning(std::uint32_t stated, std::size_t complete) {
  return "仪器声明了 " + std::to_string(stated) + " 个构件，但收到的数据只含 " + std::to_string(complete) +
         " 个完整的构件；已保存完整的构件，其余的没有保存。";
}

}  // namespace

char memberCodeCharacter(std::uint8_t value) {
  if (value <= 9) return static_cast<char>('0' + value);
  if (value <= 35) return static_cast<char>('A' + value - 10);
  return '0';
}

std::string transferDateText(std::uint8_t year, std::uint8_t month, std::uint8_t day) {
  auto part = [](unsigned v) { return v >= 10 ? std::to_string(v) : "0" + std::to_string(v); };
  std::string text = "20" + part(year) + part(month) + part(day);
  // 年, 月 and 日 in GBK, inserted at bytes 4, 8 and 12 of the growing text.
  const std::pair<std::size_t, const char*> labels[] = {{4, "\xC4\xEA"}, {8, "\xD4\xC2"}, {12, "\xC8\xD5"}};
  for (const auto& [at, label] : labels) text.insert(std::min(at, text.size()), label);
  return text;
}

std::optional<std::uint64_t> expectedTransferSize(TransferLayout layout, std::string_view bytes) {
  if (layout == TransferLayout::Serial) {
    if (bytes.size() < 8) return std::nullopt;
    return std::max<std::uint64_t>(8, be16(bytes, 6));
  }
  if (bytes.size() < 9) return std::nullopt;
  return std::max<std::uint64_t>(9, std::uint64_t{16} * be16(bytes, 4) + 15 + be24(bytes, 6));
}

bool transferComplete(TransferLayout layout, std::string_view bytes) {
  auto expected = expectedTransferSize(layout, bytes);
  return expected && bytes.size() >= *expected;
}

Result<DecodedTransfer> decodeTransfer(TransferLayout layout, std::string_view b) {
  if (b.size() < 6) return Error{std::string(kNoDataMessage)};
  const std::uint32_t count = be16(b, 4);
  if (count == 0) return Error{std::string(kNoDataMessage)};
  DecodedTransfer out;
  out.members.reserve(count);
  std::size_t entry = 8;                                // serial: the running entry offset
  std::size_t cursor = kUsbHeaderStride * (count + 1);  // USB: the running reading cursor
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t header = layout == TransferLayout::Serial ? entry : kUsbHeaderStride * (k + 1);
    if (header + kHeaderSize > b.size()) break;
    const std::uint32_t readings = be16(b, header + 9);
    const std::size_t first = layout == TransferLayout::Serial ? header + kHeaderSize : cursor;
    if (first + 2 * std::size_t{readings} > b.size()) break;
    MemberData d = headerFields(b, header);
    readReadings(b, first, readings, d);
    out.members.emplace_back(std::move(d));
    entry = header + kHeaderSize + 2 * std::size_t{readings};
    cursor += 2 * std::size_t{readings};
  }
  if (out.members.empty()) {
    return Error{"收到的数据不完整：仪器声明了 " + std::to_string(count) + " 个构件，但没有一个是完整的。"};
  }
  if (out.members.size() < count) out.warnings.push_back(incompleteWarning(count, out.members.size()));
  return out;
}

}  // namespace kro
