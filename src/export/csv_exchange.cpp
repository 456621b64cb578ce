// CSV writing and reading.
#include "export/csv_exchange.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <optional>
#include <unordered_map>

#include "model/gbk_text.h"
#include "model/modification_log.h"
#include "model/raw_files.h"
#include "model/statistics.h"

namespace kro {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::array<std::string_view, 11> kColumns = {"测区编号",   "构件名称",   "测试日期", "设计厚度",
                                                       "允许负偏差", "允许正偏差", "测点号",   "厚度值",
                                                       "偏差",       "是否合格",   "来源"};
enum Column { Code, Name, Date, Design, Minus, Plus, Number, Thickness, Deviation, Passed, Origin };
// Columns a file may leave out: computed from the others, or said for the reader only.
constexpr bool optionalColumn(std::size_t c) { return c == Deviation || c == Passed || c == Origin; }

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

void appendRow(std::string& out, const std::array<std::string, kColumns.size()>& fields) {
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

// Reads the text one record at a time (RFC 4180: quoted fields may hold commas, quotes doubled
// and line ends; CRLF, LF or CR ends a record), so that a large file is never held twice.
class RecordReader {
 public:
  explicit RecordReader(std::string_view text) : text_(text) {}

  // The next record into r, reusing its fields' storage; false at the end of the text.
  Result<bool> next(Record& r) {
    if (i_ >= text_.size()) return false;
    r.line = line_;
    std::size_t count = 0;
    for (;;) {
      if (count == r.fields.size()) r.fields.emplace_back();
      std::string& field = r.fields[count++];
      field.clear();
      if (i_ < text_.size() && text_[i_] == '"') {
        if (auto e = quoted(field, count)) return *e;
      } else {
        const std::size_t stop = text_.find_first_of(",\r\n", i_);
        const std::size_t to = stop == std::string_view::npos ? text_.size() : stop;
        field.assign(text_.substr(i_, to - i_));
        i_ = to;
      }
      if (i_ < text_.size() && text_[i_] == ',') {
        ++i_;
        continue;
      }
      if (i_ < text_.size() && text_[i_] == '\r') ++i_;
      if (i_ < text_.size() && text_[i_] == '\n') ++i_;
      ++line_;
      r.fields.resize(count);
      return true;
    }
  }

 private:
  std::optional<Error> quoted(std::string& field, std::size_t column) {
    const int startLine = line_;
    ++i_;
    for (;;) {
      if (i_ >= text_.size()) {
        return Error{"第 " + std::to_string(startLine) + " 行第 " + std::to_string(column) +
                     " 列：引号没有结束。"};
      }
      const char c = text_[i_++];
      if (c == '"') {
        if (i_ < text_.size() && text_[i_] == '"') {
          field += '"';
          ++i_;
          continue;
        }
        break;
      }
      if (c == '\n' || (c == '\r' && (i_ >= text_.size() || text_[i_] != '\n'))) ++line_;
      field += c;
    }
    if (i_ < text_.size() && text_[i_] != ',' && text_[i_] != '\r' && text_[i_] != '\n') {
      return Error{"第 " + std::to_string(line_) + " 行第 " + std::to_string(column) +
                   " 列：结束引号后应为逗号或行尾。"};
    }
    return std::nullopt;
  }

  std::string_view text_;
  std::size_t i_ = 0;
  int line_ = 1;
};

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

// A text cell that a spreadsheet would run as a formula gets a leading apostrophe on the way
// out, which the import takes off again (exactly one), so the round trip stays exact.
bool startsLikeAFormula(std::string_view text) {
  return !text.empty() && std::string_view("=+-@'\t\r").find(text.front()) != std::string_view::npos;
}

class CsvReader {
 public:
  Result<std::vector<MemberRecord>> read(std::string_view bytes, std::vector<std::string>* notes);

 private:
  // A member while its rows are read: its readings with their 测点号 (0: none given) and lines,
  // placed once every row is in.
  struct Pending {
    MemberData data;
    int firstLine = 0;
    struct Row {
      std::int32_t number;
      std::int32_t thickness;
      int line;
    };
    std::vector<Row> rows;
  };

  std::string where(const Record& r, int column) const {
    return "第 " + std::to_string(r.line) + " 行第 " +
           std::to_string(at_[static_cast<std::size_t>(column)] + 1) + " 列（" +
           std::string(kColumns[static_cast<std::size_t>(column)]) + "）";
  }
  Result<std::int32_t> integer(const Record& r, int column) const {
    const std::string& text = r.fields[static_cast<std::size_t>(column)];
    if (trimmed(text).empty()) return Error{where(r, column) + "：不能为空。"};
    auto value = integerField(text);
    if (!value) return Error{where(r, column) + "：“" + text + "”不是整数。"};
    return *value;
  }
  // A thickness (a reading, a design thickness): a whole number a slab can have.
  Result<std::int32_t> thickness(const Record& r, int column, std::string_view what) const {
    auto value = integer(r, column);
    if (!value) return value;
    if (std::string refusal = thicknessRefusal(value.value(), what); !refusal.empty()) {
      return Error{where(r, column) + "：" + refusal};
    }
    return value;
  }
  Result<std::string> gbkText(const Record& r, int column, std::size_t capacity) const {
    std::string_view text = r.fields[static_cast<std::size_t>(column)];
    if (text.find('\0') != std::string_view::npos) return Error{where(r, column) + "：文字中有 NUL 字符。"};
    if (!text.empty() && text.front() == '\'') text.remove_prefix(1);
    std::string bad;
    auto gbk = utf8ToGbk(text, &bad);
    if (!gbk) return Error{where(r, column) + "：字符“" + bad + "”无法保存（构件文字以 GBK 保存）。"};
    if (gbk->size() > capacity) {
      return Error{where(r, column) + "：“" + std::string(text) + "”超过 " + std::to_string(capacity) +
                   " 字节。"};
    }
    return *gbk;
  }
  // Finds each column by its heading; notes name the columns that are not ours.
  Status readHeader(const Record& header, std::vector<std::string>* notes);
  Status addRow(Record& r);
  // The member's readings on their 测点号, or in row order when no row gives one.
  Status placeReadings(Pending& p) const;

  std::array<int, kColumns.size()> at_{};  // the file's column of each of ours; -1: absent
  std::size_t width_ = 0;                  // the header's columns
  std::vector<Pending> members_;
  std::unordered_map<std::string, std::size_t> index_;  // code, name and date, NUL-separated
  std::size_t readings_ = 0;
};

Status CsvReader::readHeader(const Record& header, std::vector<std::string>* notes) {
  at_.fill(-1);
  width_ = header.fields.size();
  std::string unknown;
  for (std::size_t c = 0; c < header.fields.size(); ++c) {
    const std::string name = trimmed(header.fields[c]);
    const auto ours = std::find(kColumns.begin(), kColumns.end(), name);
    if (ours != kColumns.end() && at_[static_cast<std::size_t>(ours - kColumns.begin())] < 0) {
      at_[static_cast<std::size_t>(ours - kColumns.begin())] = static_cast<int>(c);
    } else if (!name.empty() || c + 1 < header.fields.size()) {
      unknown += (unknown.empty() ? "" : "、") + ("第 " + std::to_string(c + 1) + " 列“" + name + "”");
    }
  }
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    if (at_[c] < 0 && !optionalColumn(c)) {
      return Error{"第 1 行：没有“" + std::string(kColumns[c]) + "”列。表头行应为：" +
                   std::string(kCsvHeader) + "（列的次序不限；偏差、是否合格和来源可以没有）"};
    }
  }
  if (!unknown.empty() && notes != nullptr) notes->push_back("不认识的列没有读入：" + unknown + "。");
  return {};
}

Status CsvReader::addRow(Record& r) {
  bool blank = true;
  for (const std::string& f : r.fields) blank = blank && trimmed(f).empty();
  if (blank) return {};  // empty lines, and rows a spreadsheet left as separators only
  if (r.fields.size() > width_) {
    return Error{"第 " + std::to_string(r.line) + " 行第 " + std::to_string(width_ + 1) +
                 " 列：多出的列（表头只有 " + std::to_string(width_) + " 列）。"};
  }
  // Our columns in our order; trailing empty columns may be missing.
  std::vector<std::string> ours(kColumns.size());
  for (std::size_t c = 0; c < kColumns.size(); ++c) {
    if (at_[c] >= 0 && static_cast<std::size_t>(at_[c]) < r.fields.size())
      ours[c] = std::move(r.fields[static_cast<std::size_t>(at_[c])]);
  }
  r.fields = std::move(ours);

  auto code = gbkText(r, Code, MemberRecord::kCodeCapacity);
  if (!code) return code.error();
  auto name = gbkText(r, Name, MemberRecord::kNameCapacity);
  if (!name) return name.error();
  auto date = gbkText(r, Date, MemberRecord::kDateCapacity);
  if (!date) return date.error();
  auto design = thickness(r, Design, "设计厚度");
  if (!design) return design.error();
  auto minus = integer(r, Minus);
  if (!minus) return minus.error();
  auto plus = integer(r, Plus);
  if (!plus) return plus.error();

  std::string key = code.value();
  key += '\0';
  key += name.value();
  key += '\0';
  key += date.value();
  auto [found, isNew] = index_.try_emplace(std::move(key), members_.size());
  if (isNew) {
    Pending& p = members_.emplace_back();
    p.data.code = std::move(code.value());
    p.data.name = std::move(name.value());
    p.data.testDate = std::move(date.value());
    p.data.designThickness = design.value();
    p.data.minusDeviation = minus.value();
    p.data.plusDeviation = plus.value();
    p.firstLine = r.line;
  } else {
    // Every row of a member carries the same band.
    const Pending& p = members_[found->second];
    const std::array<std::pair<Column, std::int32_t>, 3> band = {
        {{Design, p.data.designThickness}, {Minus, p.data.minusDeviation}, {Plus, p.data.plusDeviation}}};
    const std::array<std::int32_t, 3> got = {design.value(), minus.value(), plus.value()};
    for (std::size_t b = 0; b < band.size(); ++b) {
      if (got[b] != band[b].second) {
        return Error{where(r, band[b].first) + "：与同一构件第 " + std::to_string(p.firstLine) + " 行的值 " +
                     std::to_string(band[b].second) + " 不同。"};
      }
    }
  }
  Pending& p = members_[found->second];

  const bool hasNumber = !trimmed(r.fields[Number]).empty();
  const bool hasThickness = !trimmed(r.fields[Thickness]).empty();
  if (!hasNumber && !hasThickness) return {};  // a member without readings
  std::int32_t number = 0;
  if (hasNumber) {
    auto n = integer(r, Number);
    if (!n) return n.error();
    if (n.value() < 1) return Error{where(r, Number) + "：测点号从 1 起。"};
    number = n.value();
  }
  if (!p.rows.empty() && (p.rows.front().number == 0) != (number == 0)) {
    return Error{where(r, Number) + "：同一构件的测点号要么都填写，要么都不填写（第 " +
                 std::to_string(p.rows.front().line) + " 行" + (number == 0 ? "填写了" : "没有填写") +
                 "）。"};
  }
  auto thickness = this->thickness(r, Thickness, "测点");
  if (!thickness) return thickness.error();
  if (++readings_ > kMaxRawProjectReadings) {
    return Error{"第 " + std::to_string(r.line) + " 行：测点超过 " + std::to_string(kMaxRawProjectReadings) +
                 " 个，文件过大。"};
  }
  p.rows.push_back({number, thickness.value(), r.line});
  return {};
}

Status CsvReader::placeReadings(Pending& p) const {
  const std::size_t count = p.rows.size();
  Reading imported;
  imported.origin = ReadingOrigin::Imported;
  p.data.readings.assign(count, imported);
  if (count == 0 || p.rows.front().number == 0) {
    for (std::size_t j = 0; j < count; ++j) p.data.readings[j].thickness = p.rows[j].thickness;
  } else {
    // Every 测点号 from 1 to the count once: a number beyond the count or a repeat is named (a
    // gap always leaves one of those).
    std::vector<int> lineOf(count, 0);
    for (const Pending::Row& row : p.rows) {
      const auto at = static_cast<std::size_t>(row.number) - 1;
      if (at >= count || lineOf[at] != 0) {
        return Error{"第 " + std::to_string(row.line) + " 行：测点号 " + std::to_string(row.number) +
                     (at >= count ? " 超出该构件的测点数 " + std::to_string(count)
                                  : " 与第 " + std::to_string(lineOf[at]) + " 行重复") +
                     "；同一构件的测点号应为 1 到 " + std::to_string(count) + "，不缺不重。"};
      }
      lineOf[at] = row.line;
      p.data.readings[at].thickness = row.thickness;
    }
  }
  std::vector<Pending::Row>().swap(p.rows);
  return {};
}

Result<std::vector<MemberRecord>> CsvReader::read(std::string_view bytes, std::vector<std::string>* notes) {
  if (bytes.substr(0, kByteOrderMark.size()) == kByteOrderMark) bytes.remove_prefix(kByteOrderMark.size());
  // A spreadsheet program may have saved the file in the system's Chinese encoding.
  std::string converted;
  if (!isValidUtf8(bytes)) converted = gbkToUtf8(bytes);
  RecordReader reader(converted.empty() ? bytes : std::string_view(converted));
  Record r;
  auto got = reader.next(r);
  if (!got) return got.error();
  if (!got.value()) return Error{"文件是空的，没有表头行。"};
  if (Status s = readHeader(r, notes); !s) return Error{s.message()};
  for (;;) {
    got = reader.next(r);
    if (!got) return got.error();
    if (!got.value()) break;
    if (Status s = addRow(r); !s) return Error{s.message()};
  }
  std::vector<MemberRecord> out;
  out.reserve(members_.size());
  for (Pending& p : members_) {
    if (Status s = placeReadings(p); !s) return Error{s.message()};
    MemberRecord member(std::move(p.data));
    member.setStoredStatistics(recomputedStatistics(member));
    out.push_back(std::move(member));
  }
  return out;
}

std::string guardedText(std::string text) {
  if (startsLikeAFormula(text)) text.insert(0, 1, '\'');
  return text;
}

}  // namespace

std::string projectToCsv(const Project& project) {
  std::string out(kByteOrderMark);
  out += kCsvHeader;
  out += "\r\n";
  for (const MemberRecord& m : project.members) {
    std::array<std::string, kColumns.size()> fields = {guardedText(gbkToUtf8(m.code())),
                                                       guardedText(gbkToUtf8(m.name())),
                                                       guardedText(gbkToUtf8(m.testDate())),
                                                       std::to_string(m.designThickness()),
                                                       std::to_string(m.minusDeviation()),
                                                       std::to_string(m.plusDeviation()),
                                                       {},
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
      fields[Origin] = originName(m.readings()[static_cast<std::size_t>(j)].origin);
      appendRow(out, fields);
    }
  }
  return out;
}

Result<std::vector<MemberRecord>> membersFromCsv(std::string_view bytes, std::vector<std::string>* notes) {
  return CsvReader().read(bytes, notes);
}

}  // namespace kro
