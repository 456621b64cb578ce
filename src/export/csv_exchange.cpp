// CSV writing and reading.
#include "export/csv_exchange.h"

#include <array>
#include <charconv>
#include <optional>

#include "model/gbk_text.h"
#include "model/raw_files.h"
#include "model/statistics.h"

namespace kro {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::array<std::string_view, 10> kColumns = {"测区编号",   "构件名称",   "测试日期", "设计厚度",
                                                       "允许负偏差", "允许正偏差", "测点号",   "厚度值",
                                                       "偏差",       "是否合格"};
enum Column { Code, Name, Date, Design, Minus, Plus, Number, Thickness, Deviation, Passed };

void appendField(std::string& out, std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    out += text;
    return;
  }
  out += '"';
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

void appendRow(std::string& out, const std::array<std::string, 10>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    appendField(out, fields[i]);
  }
  out += "\r\n";
}

bool isValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80             ? 1
                    : (c & 0xE0) == 0xC0 ? 2
                    : (c & 0xF0) == 0xE0 ? 3
                    : (c & 0xF8) == 0xF0 ? 4
                                         : 0;
    if (n == 0 || (n == 2 && c < 0xC2) || i + n > s.size()) return false;
    for (std::size_t k = 1; k < n; ++k) {
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    }
    i += n;
  }
  return true;
}

// One record of the file: its fields and the line it starts on.
struct Record {
  std::vector<std::string> fields;
  int line = 0;
};

// Splits the text into records (RFC 4180: quoted fields may hold commas, quotes doubled and
// line ends; CRLF, LF or CR ends a record).
Result<std::vector<Record>> splitRecords(std::string_view text) {
  std::vector<Record> records;
  int line = 1;
  std::size_t i = 0;
  while (i < text.size()) {
    Record record;
    record.line = line;
    bool endOfRecord = false;
    while (!endOfRecord) {
      std::string field;
      if (i < text.size() && text[i] == '"') {
        const int startLine = line;
        ++i;
        for (;;) {
          if (i >= text.size()) {
            return Error{"第 " + std::to_string(startLine) + " 行第 " +
                         std::to_string(record.fields.size() + 1) + " 列：引号没有结束。"};
          }
          const char c = text[i++];
          if (c == '"') {
            if (i < text.size() && text[i] == '"') {
              field += '"';
              ++i;
              continue;
            }
            break;
          }
          if (c == '\n' || (c == '\r' && (i >= text.size() || text[i] != '\n'))) ++line;
          field += c;
        }
        if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
          return Error{"第 " + std::to_string(line) + " 行第 " + std::to_string(record.fields.size() + 1) +
                       " 列：结束引号后应为逗号或行尾。"};
        }
      } else {
        while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') field += text[i++];
      }
      record.fields.push_back(std::move(field));
      if (i < text.size() && text[i] == ',') {
        ++i;
      } else {
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
        ++line;
        endOfRecord = true;
      }
    }
    records.push_back(std::move(record));
  }
  return records;
}

std::string trimmed(std::string_view s) {
  const std::size_t first = s.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return std::string(s.substr(first, s.find_last_not_of(" \t") - first + 1));
}

// An integer field: optional sign and digits, a fraction of zeros allowed (as a spreadsheet
// may write 120.0), within 32 bits.
std::optional<std::int32_t> integerField(std::string_view text) {
  std::string s = trimmed(text);
  if (const std::size_t dot = s.find('.'); dot != std::string::npos) {
    if (dot + 1 >= s.size() || s.find_first_not_of('0', dot + 1) != std::string::npos) return std::nullopt;
    s.erase(dot);
  }
  if (!s.empty() && s[0] == '+') s.erase(0, 1);
  std::int32_t value = 0;
  const char* end = s.data() + s.size();
  auto [ptr, ec] = std::from_chars(s.data(), end, value);
  if (s.empty() || ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

class CsvReader {
 public:
  Result<std::vector<MemberRecord>> read(std::string_view bytes);

 private:
  std::string where(const Record& r, int column) const {
    return "第 " + std::to_string(r.line) + " 行第 " + std::to_string(column + 1) + " 列（" +
           std::string(kColumns[static_cast<std::size_t>(column)]) + "）";
  }
  Result<std::int32_t> integer(const Record& r, int column) const {
    const std::string& text = r.fields[static_cast<std::size_t>(column)];
    if (trimmed(text).empty()) return Error{where(r, column) + "：不能为空。"};
    auto value = integerField(text);
    if (!value) return Error{where(r, column) + "：“" + text + "”不是整数。"};
    return *value;
  }
  Result<std::string> gbkText(const Record& r, int column, std::size_t capacity) const {
    const std::string& text = r.fields[static_cast<std::size_t>(column)];
    std::string bad;
    auto gbk = utf8ToGbk(text, &bad);
    if (!gbk) return Error{where(r, column) + "：字符“" + bad + "”无法保存（构件文字以 GBK 保存）。"};
    if (gbk->size() > capacity) {
      return Error{where(r, column) + "：“" + text + "”超过 " + std::to_string(capacity) + " 字节。"};
    }
    return *gbk;
  }
};

Result<std::vector<MemberRecord>> CsvReader::read(std::string_view bytes) {
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.remove_prefix(kByteOrderMark.size());
  // A spreadsheet program may have saved the file in the system's Chinese encoding.
  const std::string text = isValidUtf8(bytes) ? std::string(bytes) : gbkToUtf8(bytes);
  auto records = splitRecords(text);
  if (!records) return records.error();
  std::vector<Record>& rows = records.value();
  if (rows.empty()) return Error{"文件是空的，没有表头行。"};
  {
    const Record& header = rows.front();
    for (std::size_t c = 0; c < kColumns.size(); ++c) {
      const std::string got = c < header.fields.size() ? trimmed(header.fields[c]) : std::string();
      // The last two columns are computed; a file may leave them out.
      if (c >= Deviation && c >= header.fields.size()) break;
      if (got != kColumns[c]) {
        return Error{"第 1 行第 " + std::to_string(c + 1) + " 列：表头应为“" + std::string(kColumns[c]) +
                     "”，文件中是“" + got + "”。表头行应为：" + std::string(kCsvHeader)};
      }
    }
  }

  struct Pending {
    MemberData data;
    int firstLine = 0;
  };
  std::vector<Pending> members;
  std::vector<std::array<std::string, 3>> keys;
  std::size_t readings = 0;
  for (std::size_t n = 1; n < rows.size(); ++n) {
    Record& r = rows[n];
    bool blank = true;
    for (const std::string& f : r.fields) blank = blank && trimmed(f).empty();
    if (blank) continue;  // empty lines, and rows a spreadsheet left as separators only
    if (r.fields.size() > kColumns.size()) {
      return Error{"第 " + std::to_string(r.line) + " 行第 " + std::to_string(kColumns.size() + 1) +
                   " 列：多出的列（每行最多 " + std::to_string(kColumns.size()) + " 列）。"};
    }
    // Trailing empty columns may be missing.
    r.fields.resize(kColumns.size());

    auto code = gbkText(r, Code, MemberRecord::kCodeCapacity);
    if (!code) return code.error();
    auto name = gbkText(r, Name, MemberRecord::kNameCapacity);
    if (!name) return name.error();
    auto date = gbkText(r, Date, MemberRecord::kDateCapacity);
    if (!date) return date.error();
    auto design = integer(r, Design);
    if (!design) return design.error();
    auto minus = integer(r, Minus);
    if (!minus) return minus.error();
    auto plus = integer(r, Plus);
    if (!plus) return plus.error();

    const std::array<std::string, 3> key = {code.value(), name.value(), date.value()};
    std::size_t m = 0;
    while (m < keys.size() && keys[m] != key) ++m;
    if (m == keys.size()) {
      keys.push_back(key);
      Pending p;
      p.data.code = code.value();
      p.data.name = name.value();
      p.data.testDate = date.value();
      p.data.designThickness = design.value();
      p.data.minusDeviation = minus.value();
      p.data.plusDeviation = plus.value();
      p.firstLine = r.line;
      members.push_back(std::move(p));
    } else {
      // Every row of a member carries the same band.
      const Pending& p = members[m];
      const std::array<std::pair<Column, std::int32_t>, 3> band = {
          {{Design, p.data.designThickness}, {Minus, p.data.minusDeviation}, {Plus, p.data.plusDeviation}}};
      const std::array<std::int32_t, 3> got = {design.value(), minus.value(), plus.value()};
      for (std::size_t b = 0; b < band.size(); ++b) {
        if (got[b] != band[b].second) {
          return Error{where(r, band[b].first) + "：与同一构件第 " + std::to_string(p.firstLine) +
                       " 行的值 " + std::to_string(band[b].second) + " 不同。"};
        }
      }
    }

    const bool hasNumber = !trimmed(r.fields[Number]).empty();
    const bool hasThickness = !trimmed(r.fields[Thickness]).empty();
    if (!hasNumber && !hasThickness) continue;  // a member without readings
    if (!hasNumber) return Error{where(r, Number) + "：有厚度值却没有测点号。"};
    auto number = integer(r, Number);
    if (!number) return number.error();
    if (number.value() < 1) return Error{where(r, Number) + "：测点号从 1 起。"};
    auto thickness = integer(r, Thickness);
    if (!thickness) return thickness.error();
    if (++readings > kMaxRawProjectReadings) {
      return Error{"第 " + std::to_string(r.line) + " 行：测点超过 " +
                   std::to_string(kMaxRawProjectReadings) + " 个，文件过大。"};
    }
    members[m].data.readings.push_back({0, thickness.value(), 0});
  }

  std::vector<MemberRecord> out;
  out.reserve(members.size());
  for (Pending& p : members) {
    MemberRecord member(std::move(p.data));
    member.setStoredStatistics(recomputedStatistics(member));
    out.push_back(std::move(member));
  }
  return out;
}

}  // namespace

std::string projectToCsv(const Project& project) {
  std::string out(kByteOrderMark);
  out += kCsvHeader;
  out += "\r\n";
  for (const MemberRecord& m : project.members) {
    std::array<std::string, 10> fields = {gbkToUtf8(m.code()),
                                          gbkToUtf8(m.name()),
                                          gbkToUtf8(m.testDate()),
                                          std::to_string(m.designThickness()),
                                          std::to_string(m.minusDeviation()),
                                          std::to_string(m.plusDeviation()),
                                          {},
                                          {},
                                          {},
                                          {}};
    if (m.readingCount() == 0) appendRow(out, fields);
    for (int j = 0; j < m.readingCount(); ++j) {
      fields[Number] = std::to_string(j + 1);
      fields[Thickness] = std::to_string(m.readingAt(j));
      fields[Deviation] = std::to_string(deviationOf(m, j));
      fields[Passed] = passesTolerance(m, j) ? "√" : "×";
      appendRow(out, fields);
    }
  }
  return out;
}

Result<std::vector<MemberRecord>> membersFromCsv(std::string_view bytes) { return CsvReader().read(bytes); }

}  // namespace kro
