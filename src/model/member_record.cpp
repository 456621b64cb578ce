// Member fields and reading rows.
#include "model/member_record.h"

#include <charconv>

#include "model/gbk_text.h"

namespace kro {

std::string thicknessRefusal(std::int64_t mm, std::string_view what) {
  if (isPlausibleThickness(mm)) return {};
  return std::string(what) + "“" + std::to_string(mm) + "”不是楼板能有的厚度（应在 " +
         std::to_string(kLowestPlausibleReading) + "–" + std::to_string(kHighestPlausibleReading) +
         " mm 之间）。";
}

MemberRecord MemberRecord::withTextsCut(MemberData data) {
  data.code = std::string(gbkTruncate(data.code, kCodeCapacity));
  data.name = std::string(gbkTruncate(data.name, kNameCapacity));
  data.testDate = std::string(gbkTruncate(data.testDate, kDateCapacity));
  return MemberRecord(std::move(data));
}

MemberKind MemberRecord::memberKind() const {
  if (d_.code.empty()) return MemberKind::ThicknessTest;
  if (d_.code[0] == 'W') return MemberKind::GridTest;
  if (d_.code[0] == 'P') return MemberKind::ProfileTest;
  return MemberKind::ThicknessTest;
}

StoredStatistics MemberRecord::storedStatistics() const {
  return {d_.averageThickness, d_.maxThickness, d_.minThickness, d_.passCount, d_.passRate};
}

void MemberRecord::setStoredStatistics(const StoredStatistics& s) {
  d_.averageThickness = s.averageThickness;
  d_.maxThickness = s.maxThickness;
  d_.minThickness = s.minThickness;
  d_.passCount = s.passCount;
  d_.passRate = s.passRate;
}

std::int32_t MemberRecord::readingAt(int index) const {
  return validIndex(index) ? d_.readings[static_cast<std::size_t>(index)].thickness : 0;
}

bool MemberRecord::setReading(int index, const Reading& reading) {
  if (!validIndex(index)) return false;
  d_.readings[static_cast<std::size_t>(index)] = reading;
  return true;
}

bool MemberRecord::insertReadingBefore(int row, const Reading& reading) {
  if (row < 0 || row > readingCount()) return false;
  d_.readings.insert(d_.readings.begin() + row, reading);
  return true;
}

bool MemberRecord::insertReadingAfter(int row) {
  if (!validIndex(row)) return false;
  d_.readings.insert(d_.readings.begin() + row + 1, Reading{0, 0, 0, ReadingOrigin::Typed});
  return true;
}

bool MemberRecord::deleteReading(int row) {
  if (!validIndex(row)) return false;
  d_.readings.erase(d_.readings.begin() + row);
  return true;
}

std::string appendedMemberCode(int n) {
  std::string digits = std::to_string(n < 0 ? 0 : n);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return "0" + digits.substr(0, 3);
}

std::string memberBandText(const MemberBand& band) {
  return std::to_string(band.design) + "," + std::to_string(band.minus) + "," + std::to_string(band.plus);
}

std::optional<MemberBand> parseMemberBand(std::string_view text) {
  std::int32_t values[3] = {};
  for (int k = 0; k < 3; ++k) {
    const std::size_t comma = text.find(',');
    const std::string_view part = text.substr(0, comma);
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), values[k]);
    if (error != std::errc() || end != part.data() + part.size() || part.empty()) return std::nullopt;
    if ((comma == std::string_view::npos) != (k == 2)) return std::nullopt;
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
  }
  if (!isPlausibleThickness(values[0]) || values[1] > 0 || values[2] < 0) return std::nullopt;
  return MemberBand{values[0], values[1], values[2]};
}

MemberBand bandOf(const MemberRecord& member) {
  return {member.designThickness(), member.minusDeviation(), member.plusDeviation()};
}

MemberRecord newAppendedMember(std::string_view code, std::string_view testDate, const MemberRecord* like,
                               const MemberBand& band) {
  MemberData d;
  d.code = std::string(code);
  d.testDate = std::string(testDate);
  d.selected = 1;
  d.designThickness = like != nullptr ? like->designThickness() : band.design;
  d.minusDeviation = like != nullptr ? like->minusDeviation() : band.minus;
  d.plusDeviation = like != nullptr ? like->plusDeviation() : band.plus;
  d.secondColumnStart = 20;
  return MemberRecord::withTextsCut(std::move(d));
}

}  // namespace kro
