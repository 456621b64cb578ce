// Decoding the serial block and the USB image.
#include "model/transfer_decoder.h"

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
  for (std::uint32_t k = 0; k < count; ++k) {
    d.readings[k].thickness = static_cast<std::int32_t>(be16(b, at + 2 * k));
    d.readings[k].origin = ReadingOrigin::Transfer;
  }
}

// A warning names this many members or readings, then counts the rest.
constexpr std::size_t kNamedAtMost = 10;

// Data kept but worth a look before relying on them: the first found named, the rest counted.
std::string namedWarning(std::string text, const std::vector<std::string>& found, std::size_t total,
                         const char* unit) {
  for (std::size_t i = 0; i < found.size() && i < kNamedAtMost; ++i) text += (i ? "；" : "") + found[i];
  if (total > kNamedAtMost) text += "；另有 " + std::to_string(total - kNamedAtMost) + " 个" + unit;
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
  if (!isPlausibleThickness(design)) add("设计厚度 " + std::to_string(design));
  return problems;
}

std::string arrivedText(std::size_t received) { return "已收到 " + std::to_string(received) + " 字节"; }

// Where a USB image's reading area ends, once its N headers are held: 16 x (N + 1) plus two
// bytes for every reading the headers count.
std::optional<std::uint64_t> usbReadingAreaEnd(std::string_view b) {
  const std::uint32_t count = be16(b, 4);
  const std::uint64_t headers = kUsbHeaderStride * (std::uint64_t{count} + 1);
  if (b.size() < headers) return std::nullopt;
  std::uint64_t end = headers;
  for (std::uint32_t k = 0; k < count; ++k) end += 2 * std::uint64_t{be16(b, kUsbHeaderStride * (k + 1) + 9)};
  return end;
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
  if (auto area = usbReadingAreaEnd(bytes)) return area;
  return std::max<std::uint64_t>(9, std::uint64_t{16} * be16(bytes, 4) + 15 + be24(bytes, 6));
}

std::uint64_t bytesBeyondBlock(TransferLayout layout, std::string_view bytes) {
  if (layout != TransferLayout::Serial) return 0;
  const auto expected = expectedTransferSize(layout, bytes);
  return expected && bytes.size() > *expected ? bytes.size() - *expected : 0;
}

std::string tooManyBytesMessage(std::uint64_t extra) {
  return "仪器发送的数据比声明的多 " + std::to_string(extra) + " 字节，本次传输作废，请重新传输。";
}

bool transferComplete(TransferLayout layout, std::string_view bytes) {
  auto expected = expectedTransferSize(layout, bytes);
  return expected && bytes.size() >= *expected;
}

Result<DecodedTransfer> decodeTransfer(TransferLayout layout, std::string_view b, ExtraBytes extra) {
  if (b.size() < 6) return Error{std::string(kNoDataMessage)};
  const std::uint32_t count = be16(b, 4);
  if (count == 0) return Error{std::string(kNoDataMessage)};
  const std::optional<std::uint64_t> stated = expectedTransferSize(layout, b);
  if (!stated || b.size() < *stated) {
    return Error{"收到的数据不完整，没有保存任何数据：仪器声明 " + std::to_string(count) + " 个构件共 " +
                 (stated ? std::to_string(*stated) + " 字节，" : std::string("若干字节，")) +
                 arrivedText(b.size()) + "。请重新传输。"};
  }
  auto misframed = [&] {
    return Error{"收到的数据格式不对，没有保存任何数据：" + std::to_string(count) +
                 " 个构件的大小与声明的长度 " + std::to_string(*stated) + " 字节不符（" +
                 arrivedText(b.size()) + "）。可能是仪器仍在发送上一次的数据，请等仪器停止发送后重新传输。"};
  };
  std::vector<std::string> warnings;
  if (layout == TransferLayout::Serial) {
    // Member sizes must add up exactly to the stated length; anything else means the bytes are
    // not one block (for example the tail of an earlier transfer), so none of them is kept.
    std::uint64_t end = 8;
    for (std::uint32_t k = 0; k < count && end <= *stated; ++k) {
      if (end + kHeaderSize > b.size()) return misframed();
      end += kHeaderSize + 2 * std::uint64_t{be16(b, end + 9)};
    }
    if (end != *stated) return misframed();
    // More than the block: a restarted block or an added byte would put other readings into
    // the last members while every size still adds up, so the run is refused unless the user
    // asks for the first block.
    if (const std::uint64_t beyond = b.size() - *stated; beyond > 0) {
      if (extra == ExtraBytes::Refuse) return Error{tooManyBytesMessage(beyond)};
      warnings.push_back("只解码了声明长度内的前 " + std::to_string(*stated) + " 字节，其后的 " +
                         std::to_string(beyond) + " 字节没有使用。");
    }
  } else {
    // R counts the reading area, or one byte more; any other value is no image of ours. The
    // headers must all be there first (a tiny R can state less than they take).
    const std::uint64_t headers = kUsbHeaderStride * (std::uint64_t{count} + 1);
    if (*stated < headers) return misframed();
    const std::uint64_t area = *stated - headers;
    const std::uint64_t r = be24(b, 6);
    if (r != area && r != area + 1) return misframed();
  }

  DecodedTransfer out;
  out.warnings = std::move(warnings);
  out.members.reserve(count);  // the walk above proved every member is in the bytes
  std::vector<std::string> implausible;
  std::vector<std::string> impossible;
  std::size_t impossibleCount = 0;
  std::size_t entry = 8;                                // serial: the running entry offset
  std::size_t cursor = kUsbHeaderStride * (count + 1);  // USB: the running reading cursor
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::size_t header = layout == TransferLayout::Serial ? entry : kUsbHeaderStride * (k + 1);
    const std::uint32_t readings = be16(b, header + 9);
    const std::size_t first = layout == TransferLayout::Serial ? header + kHeaderSize : cursor;
    MemberData d = headerFields(b, header);
    readReadings(b, first, readings, d);
    const std::string member = "第 " + std::to_string(k + 1) + " 个构件 " + d.code;
    if (std::string problems = implausibleFields(b, header); !problems.empty()) {
      implausible.push_back(member + "（" + problems + "）");
    }
    for (std::uint32_t j = 0; j < readings; ++j) {
      const std::int32_t t = d.readings[j].thickness;
      if (isPlausibleThickness(t)) continue;
      if (++impossibleCount <= kNamedAtMost) {
        impossible.push_back(member + " 第 " + std::to_string(j + 1) + " 点 " + std::to_string(t) + " mm");
      }
    }
    // The instrument sends no figures worth keeping: the member's are its readings'.
    MemberRecord& m = out.members.emplace_back(std::move(d));
    m.setStoredStatistics(recomputedStatistics(m));
    entry = header + kHeaderSize + 2 * std::size_t{readings};
    cursor += 2 * std::size_t{readings};
  }
  if (!implausible.empty()) {
    out.warnings.push_back(
        namedWarning("以下构件的数据可疑，已保存，请核对：", implausible, implausible.size(), "构件"));
  }
  if (impossibleCount > 0) {
    out.warnings.push_back(namedWarning("以下测点的厚度为 0 或超过 9999 mm，已保存，请核对：", impossible,
                                        impossibleCount, "测点"));
  }
  return out;
}

}  // namespace kro
