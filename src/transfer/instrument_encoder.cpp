// Encoding members into the instrument's serial block and USB image.
#include "transfer/instrument_encoder.h"

#include <cctype>

#include "model/gbk_text.h"

namespace kro {
namespace {

constexpr std::size_t kHeaderSize = 14;

void putBe16(std::string& out, std::uint32_t v) {
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
  out.push_back(static_cast<char>(v & 0xFF));
}

std::string describe(const MemberRecord& m, std::size_t index) {
  return "第 " + std::to_string(index + 1) + " 个构件（" + gbkToUtf8(m.code()) + "）";
}

// The three numbers of a stored date in any of its forms (2008年05月12日, 2026--12--07,
// 2026年 1月 7日), the year as its last two digits.
bool dateParts(const std::string& text, std::uint8_t parts[3]) {
  int found = 0;
  for (std::size_t i = 0; i < text.size() && found < 3;) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
      i += gbkCharLength(text, i);
      continue;
    }
    long value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && value < 100000) {
      value = value * 10 + (text[i++] - '0');
    }
    if (found == 0) {
      if (value < 2000 || value > 2099) return false;
      value -= 2000;
    } else if (value > 255) {
      return false;
    }
    parts[found++] = static_cast<std::uint8_t>(value);
  }
  return found == 3;
}

// The 14-byte member header; empty with a message when the member cannot be carried.
Result<std::string> memberHeader(const MemberRecord& m, std::size_t index) {
  const std::string& code = m.code();
  if (code.size() != 4) return Error{describe(m, index) + "的编号不是四个字符，仪器无法保存。"};
  std::string out;
  for (char c : code) {
    if (c >= '0' && c <= '9') {
      out.push_back(static_cast<char>(c - '0'));
    } else if (c >= 'A' && c <= 'Z') {
      out.push_back(static_cast<char>(c - 'A' + 10));
    } else {
      return Error{describe(m, index) + "的编号只能由数字和大写字母组成。"};
    }
  }
  std::uint8_t date[3];
  if (!dateParts(m.testDate(), date)) {
    return Error{describe(m, index) + "的测试日期“" + gbkToUtf8(m.testDate()) + "”无法由仪器保存。"};
  }
  out.append(reinterpret_cast<const char*>(date), 3);
  if (m.designThickness() < 0 || m.designThickness() > 0xFFFF) {
    return Error{describe(m, index) + "的设计厚度超出 0 到 65535。"};
  }
  if (m.readingCount() > 0xFFFF) return Error{describe(m, index) + "的测点超过 65535 个。"};
  for (const Reading& r : m.readings()) {
    if (r.thickness < 0 || r.thickness > 0xFFFF)
      return Error{describe(m, index) + "有超出 0 到 65535 的测点厚度。"};
  }
  putBe16(out, static_cast<std::uint32_t>(m.designThickness()));
  putBe16(out, static_cast<std::uint32_t>(m.readingCount()));
  putBe16(out, 0);      // not used
  out.push_back('\0');  // the pass-rate byte: the instrument's meaning is unknown, so none
  return out;
}

void appendReadings(std::string& out, const MemberRecord& m) {
  for (const Reading& r : m.readings()) putBe16(out, static_cast<std::uint32_t>(r.thickness));
}

}  // namespace

Result<std::string> encodeSerialBlock(const std::vector<MemberRecord>& members) {
  if (members.size() > 0xFFFF) return Error{"构件超过 65535 个，仪器无法保存。"};
  std::string out(4, '\0');
  putBe16(out, static_cast<std::uint32_t>(members.size()));
  putBe16(out, 0);  // the length, filled in below
  for (std::size_t i = 0; i < members.size(); ++i) {
    auto header = memberHeader(members[i], i);
    if (!header) return header.error();
    out += header.value();
    appendReadings(out, members[i]);
    if (out.size() > 0xFFFF) return Error{"数据超过 65535 字节，串口数据块无法容纳。"};
  }
  out[6] = static_cast<char>(out.size() >> 8);
  out[7] = static_cast<char>(out.size() & 0xFF);
  return out;
}

Result<std::string> encodeUsbImage(const std::vector<MemberRecord>& members) {
  if (members.size() > kUsbMaxMembers) {
    return Error{"构件超过 " + std::to_string(kUsbMaxMembers) + " 个，仪器存储区无法容纳它们的构件头。"};
  }
  std::string headers(16, '\0');
  std::string readings;
  for (std::size_t i = 0; i < members.size(); ++i) {
    auto header = memberHeader(members[i], i);
    if (!header) return header.error();
    headers += header.value();
    headers.append(16 - kHeaderSize, '\0');
    appendReadings(readings, members[i]);
  }
  const std::uint64_t r = std::uint64_t{readings.size()} + 1;
  const std::uint64_t lastBlock = kUsbReadingBlock + readings.size() / kUsbBlockSize;
  if (r > 0xFFFFFF || lastBlock > 0xFFFF) return Error{"测点数据过多，仪器存储区无法容纳。"};
  headers[4] = static_cast<char>(members.size() >> 8);
  headers[5] = static_cast<char>(members.size() & 0xFF);
  headers[6] = static_cast<char>((r >> 16) & 0xFF);
  headers[7] = static_cast<char>((r >> 8) & 0xFF);
  headers[8] = static_cast<char>(r & 0xFF);
  return headers + readings;
}

std::string usbMemoryFromImage(const std::string& image) {
  const std::size_t count = image.size() >= 6 ? (std::size_t{static_cast<unsigned char>(image[4])} << 8) |
                                                    static_cast<unsigned char>(image[5])
                                              : 0;
  const std::size_t headerArea = std::min(image.size(), 16 * (count + 1));
  std::string memory = image.substr(0, headerArea);
  memory.resize(std::size_t{kUsbReadingBlock} * kUsbBlockSize, '\0');
  memory += image.substr(headerArea);
  return memory;
}

}  // namespace kro
