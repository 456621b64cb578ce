// Member operations: tolerance tests, statistics and reading rows.
#include "model/member_record.h"

#include <cstdio>

#include "model/gbk_text.h"

namespace kro {

MemberRecord::MemberRecord(MemberData data) : d_(std::move(data)) {
  d_.code = std::string(gbkTruncate(d_.code, kCodeCapacity));
  d_.name = std::string(gbkTruncate(d_.name, kNameCapacity));
  d_.testDate = std::string(gbkTruncate(d_.testDate, kDateCapacity));
}

MemberKind MemberRecord::memberKind() const {
  if (d_.code.empty()) return MemberKind::ThicknessTest;
  if (d_.code[0] == 'W') return MemberKind::GridTest;
  if (d_.code[0] == 'P') return MemberKind::ProfileTest;
  return MemberKind::ThicknessTest;
}

std::int64_t MemberRecord::lowerLimit() const { return std::int64_t{d_.designThickness} + d_.minusDeviation; }

std::int64_t MemberRecord::upperLimit() const { return std::int64_t{d_.designThickness} + d_.plusDeviation; }

std::int32_t MemberRecord::readingAt(int index) const {
  return validIndex(index) ? d_.readings[static_cast<std::size_t>(index)].thickness : 0;
}

std::int64_t MemberRecord::deviationOf(int index) const {
  if (!validIndex(index)) return 0;
  return std::int64_t{d_.readings[static_cast<std::size_t>(index)].thickness} - d_.designThickness;
}

bool MemberRecord::passesTolerance(int index) const {
  if (!validIndex(index)) return true;
  std::int64_t t = d_.readings[static_cast<std::size_t>(index)].thickness;
  return lowerLimit() <= t && t <= upperLimit();
}

std::int32_t MemberRecord::countPassed() {
  std::int32_t passed = 0;
  const std::int64_t lower = lowerLimit();
  const std::int64_t upper = upperLimit();
  for (const Reading& r : d_.readings) {
    if (lower <= r.thickness && r.thickness <= upper) ++passed;
  }
  d_.passCount = passed;
  return passed;
}

std::int32_t MemberRecord::computeMax() {
  if (d_.readings.empty()) return d_.maxThickness;
  std::int32_t best = d_.readings.front().thickness;
  for (const Reading& r : d_.readings) {
    if (r.thickness > best) best = r.thickness;
  }
  d_.maxThickness = best;
  return best;
}

std::int32_t MemberRecord::computeMin() {
  if (d_.readings.empty()) return d_.minThickness;
  std::int32_t best = d_.readings.front().thickness;
  for (const Reading& r : d_.readings) {
    if (r.thickness < best) best = r.thickness;
  }
  d_.minThickness = best;
  return best;
}

void MemberRecord::recomputeStatistics() {
  countPassed();
  // Without readings the rate keeps its previous value.
  if (!d_.readings.empty()) d_.passRate = passRateOf(d_.passCount, readingCount());
}

void MemberRecord::setCode(std::string_view gbk) { d_.code = std::string(gbkTruncate(gbk, kCodeCapacity)); }

void MemberRecord::setMemberName(std::string_view gbk) {
  d_.name = std::string(gbkTruncate(gbk, kNameCapacity));
}

void MemberRecord::setTestDate(std::string_view gbk) {
  d_.testDate = std::string(gbkTruncate(gbk, kDateCapacity));
}

void MemberRecord::setDesignThickness(std::int32_t value) {
  d_.designThickness = value;
  recomputeStatistics();
}

void MemberRecord::setPlusDeviation(std::int32_t value) {
  d_.plusDeviation = value;
  recomputeStatistics();
}

void MemberRecord::setMinusDeviation(std::int32_t value) {
  d_.minusDeviation = value;
  recomputeStatistics();
}

bool MemberRecord::setReadingThickness(int index, std::int32_t value) {
  bool stored = validIndex(index);
  if (stored) d_.readings[static_cast<std::size_t>(index)].thickness = value;
  computeMax();
  computeMin();
  recomputeStatistics();
  return stored;
}

bool MemberRecord::setReadingAux(int index, std::int32_t value) {
  if (!validIndex(index)) return false;
  d_.readings[static_cast<std::size_t>(index)].auxValue = value;
  return true;
}

bool MemberRecord::insertReadingBefore(int row) {
  if (row < 0 || row > readingCount()) return false;
  d_.readings.insert(d_.readings.begin() + row, Reading{});
  return true;
}

bool MemberRecord::insertReadingAfter(int row) {
  if (!validIndex(row)) return false;
  d_.readings.insert(d_.readings.begin() + row + 1, Reading{});
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

MemberRecord newAppendedMember(int n, std::string_view testDate) {
  MemberData d;
  d.code = appendedMemberCode(n);
  d.testDate = std::string(testDate);
  d.selected = 1;
  d.averageThickness = 16;
  d.designThickness = 20;
  d.minusDeviation = -3;
  d.plusDeviation = 5;
  d.secondColumnStart = 20;
  d.reserved = 0;
  d.maxThickness = 20;
  d.minThickness = 20;
  d.passCount = 20;
  d.passRate = 1.0f;
  d.readings.assign(20, Reading{0, 20, 16});
  return MemberRecord(std::move(d));
}

std::string formatRate(float rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f%%", static_cast<double>(rate * 100.0f));
  return text;
}

float passRateOf(std::int64_t passed, std::int64_t count) {
  if (count <= 0) return 0.0f;
  return static_cast<float>(static_cast<long double>(passed) / static_cast<long double>(count));
}

}  // namespace kro
