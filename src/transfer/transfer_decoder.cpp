// Decoding the serial block and the USB image.
#include "transfer/transfer_decoder.h"

#include <algorithm>

#include "model/statistics.h"

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
  d.minusDeviation = 0;
  d.plusDeviation = 0;
  return d;
}

// Reads count readings from `at` into d.
void readReadings(std::string_view b, std::size_t at, std::uint32_t count, MemberData& d) {
  d.readings.resize(count);
  for (std::uint32_t k = 0; k < count; ++k)
    d.readings[k].thickness = static_cast<std::int32_t>(be16(b, at + 2 * k));
}

// Members whose date or design thickness no instrument would store: kept, but named in a
// warning so the user can check them before relying on them.
std::string implausibleWarning(const std::vector<std::string>& found) {
  constexpr std::size_t kShown = 10;
  std::string text = "以下构件的数据可疑，已保存，请核对：";
  for (std::size_t i = 0; i < found.size() && i < kShown; ++i) text += (i ? "；" : "") + found[i];
  if (found.size() > kShown) text += "；另有 " + std::to_string(found.size() - kShown) + " 个构件";
  return text + "。";
}

// What is wrong with a header's date and design thickness, empty when nothing is.
std::string implausibleFields(std::string_view b, std::size_t at) {
  const unsigned month = static_cast<unsigned char>(b[at + 5]);
  const unsigned day = static_cast<unsigned char>(b[at + 6]);
  const std::uint32_t design = be16(b, at + 7);
  std::string problems;
  auto add = [&problems](const std::string& p) { problems += (problems.empty() ? "" : "，") + p; };
  if (month < 1 || month > 12) add("月份 " + std::to_string(month));
  if (day < 1 || day > 31) add("日 " + std::to_string(day));
  if (design < 1 || design > 9999) add("设计厚度 " + std::to_string(design));
  return problems;
}

std::string arrivedText(std::size_t received) { return "已收到 " + std::to_string(received) + " 字节"; }

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
  const std::optional<std::uint64_t> stated = expectedTransferSize(layout, b);
  if (!stated || b.size() < *stated) {
    return Error{"收到的数据不完整，没有保存任何数据：仪器声明 " + std::to_string(count) + " 个构件共 " +
                 (stated ? std::to_string(*stated) + " 字节，" : std::string("若干字节，")) +
                 arrivedText(b.size()) + "。请重新传输。"};
  }
  // Member sizes must add up exactly to the stated length; anything else means the bytes are
  // not one block (for example the tail of an earlier transfer), so none of them is kept.
  const std::uint64_t headerArea = layout == TransferLayout::Serial ? 8 : kUsbHeaderStride * (count + 1);
  std::uint64_t end = headerArea;
  for (std::uint32_t k = 0; k < count && end <= *stated; ++k) {
    const std::uint64_t header = layout == TransferLayout::Serial ? end : kUsbHeaderStride * (k + 1);
    if (header + kHeaderSize > b.size()) {
      end = *stated + 1;
      break;
    }
    end += (layout == TransferLayout::Serial ? kHeaderSize : 0) + 2 * std::uint64_t{be16(b, header + 9)};
  }
  if (end != *stated) {
    return Error{"收到的数据格式不对，没有保存任何数据：" + std::to_string(count) +
                 " 个构件的大小与声明的长度 " + std::to_string(*stated) + " 字节不符（" +
                 arrivedText(b.size()) + "）。可能是仪器仍在发送上一次的数据，请等仪器停止发送后重新传输。"};
  }

  DecodedTransfer out;
  out.members.reserve(count);  // the walk above proved every member is in the bytes
  std::vector<std::string> implausible;
  std::size_t entry = 8;                                // serial: the running entry offset
  std::size_t cursor = kUsbHeaderStride * (count + 1);  // USB: the running reading cursor
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t header = layout == TransferLayout::Serial ? entry : kUsbHeaderStride * (k + 1);
    const std::uint32_t readings = be16(b, header + 9);
    const std::size_t first = layout == TransferLayout::Serial ? header + kHeaderSize : cursor;
    MemberData d = headerFields(b, header);
    readReadings(b, first, readings, d);
    if (std::string problems = implausibleFields(b, header); !problems.empty()) {
      implausible.push_back("第 " + std::to_string(k + 1) + " 个构件 " + d.code + "（" + problems + "）");
    }
    // The instrument sends no figures worth keeping: the member's are its readings'.
    MemberRecord& m = out.members.emplace_back(std::move(d));
    m.setStoredStatistics(recomputedStatistics(m));
    entry = header + kHeaderSize + 2 * std::size_t{readings};
    cursor += 2 * std::size_t{readings};
  }
  if (!implausible.empty()) out.warnings.push_back(implausibleWarning(implausible));
  return out;
}

}  // namespace kro
