// One structural member: its texts, tolerance band, readings and stored statistics.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kro {

// Where a reading came from. The member block does not hold it: the project file keeps it in a
// block after the members (model/project_blocks.h), and a file without that block gives
// Unrecorded.
enum class ReadingOrigin : std::uint8_t {
  Unrecorded = 0,      // read from a file that did not record it
  Transfer = 1,        // sent by the instrument; the kept received bytes prove it
  InstrumentFile = 2,  // read from the instrument's .DEX/.DAT files
  Imported = 3,        // imported from a table (CSV)
  Typed = 4,           // typed or pasted
};

// One measuring point. Files keep the three fields in this order.
struct Reading {
  std::int32_t auxValue = 0;
  std::int32_t thickness = 0;  // mm
  std::int32_t spare = 0;
  ReadingOrigin origin = ReadingOrigin::Unrecorded;

  // The value a reading has, whatever its origin: two readings of the same value are equal.
  bool operator==(const Reading& other) const {
    return auxValue == other.auxValue && thickness == other.thickness && spare == other.spare;
  }
};

// The thickness a slab can have, in mm. A reading or design thickness that a user types, pastes,
// sets in bulk or imports must lie within it; values already in files or sent by the instrument
// are kept as they are (they are the original record) and the check names them.
inline constexpr int kLowestPlausibleReading = 1;
inline constexpr int kHighestPlausibleReading = 9999;
constexpr bool isPlausibleThickness(std::int64_t mm) {
  return mm >= kLowestPlausibleReading && mm <= kHighestPlausibleReading;
}
// The refusal of a value outside that range, naming it and what it was for ("测点", "设计厚度");
// empty when the value is plausible.
std::string thicknessRefusal(std::int64_t mm, std::string_view what);

// Chosen by the first byte of the member code (case-sensitive).
enum class MemberKind { ThicknessTest = 1, ProfileTest = 2, GridTest = 3 };

// Every stored field of a member, as the files carry it. Texts are GBK bytes without the NUL.
// The statistics fields are what the file stored; see model/statistics.h for when they change.
struct MemberData {
  std::string code;
  std::string name;
  std::string testDate;
  std::int32_t selected = 1;
  std::int32_t averageThickness = 0;
  std::int32_t designThickness = 0;
  std::int32_t minusDeviation = -5;  // negative: lower limit = design + minusDeviation
  std::int32_t plusDeviation = 8;
  std::int32_t secondColumnStart = 0;
  std::int32_t reserved = 0;
  std::int32_t maxThickness = 0;
  std::int32_t minThickness = 0;
  std::int32_t passCount = 0;
  float passRate = 0.0f;  // fraction 0..1
  std::vector<Reading> readings;
  // The sample (抽样批次) the member belongs to: 1, or 2 for a second sample. Not part of the
  // member's record: the project file keeps it in a block after the members.
  std::uint8_t sample = 1;

  bool operator==(const MemberData&) const = default;
};

// The stored statistics of a member, as one group.
struct StoredStatistics {
  std::int32_t averageThickness = 0;
  std::int32_t maxThickness = 0;
  std::int32_t minThickness = 0;
  std::int32_t passCount = 0;
  float passRate = 0.0f;

  bool operator==(const StoredStatistics&) const = default;
};

// One member as a value. Its setters are plain stores, used by the document's commands and by
// the code that builds members; none of them computes or cuts anything.
class MemberRecord {
 public:
  // Text capacities in bytes, without the terminating NUL of the fixed buffers.
  static constexpr std::size_t kCodeCapacity = 9;
  static constexpr std::size_t kNameCapacity = 99;
  static constexpr std::size_t kDateCapacity = 19;

  MemberRecord() = default;
  // Takes the fields as they are (a file's texts may fill their whole field).
  explicit MemberRecord(MemberData data) : d_(std::move(data)) {}
  // The same with the texts cut to their capacities, for texts from elsewhere.
  static MemberRecord withTextsCut(MemberData data);

  const MemberData& data() const { return d_; }

  MemberKind memberKind() const;

  const std::string& code() const { return d_.code; }
  const std::string& name() const { return d_.name; }
  const std::string& testDate() const { return d_.testDate; }
  std::int32_t selected() const { return d_.selected; }
  std::uint8_t sample() const { return d_.sample; }
  std::int32_t averageThickness() const { return d_.averageThickness; }
  std::int32_t designThickness() const { return d_.designThickness; }
  std::int32_t minusDeviation() const { return d_.minusDeviation; }
  std::int32_t plusDeviation() const { return d_.plusDeviation; }
  std::int32_t readingCount() const { return static_cast<std::int32_t>(d_.readings.size()); }
  std::int32_t secondColumnStart() const { return d_.secondColumnStart; }
  std::int32_t reserved() const { return d_.reserved; }
  std::int32_t maxThickness() const { return d_.maxThickness; }
  std::int32_t minThickness() const { return d_.minThickness; }
  std::int32_t passCount() const { return d_.passCount; }
  float passRate() const { return d_.passRate; }
  StoredStatistics storedStatistics() const;
  const std::vector<Reading>& readings() const { return d_.readings; }

  // Thickness of a reading; 0 when the index is out of range.
  std::int32_t readingAt(int index) const;
  bool validIndex(int index) const { return index >= 0 && index < readingCount(); }

  // The texts are stored as given: the commands and withTextsCut cut new texts at their
  // capacities, while a text read from a file keeps every byte it had.
  void setCode(std::string_view gbk) { d_.code = gbk; }
  void setMemberName(std::string_view gbk) { d_.name = gbk; }
  void setTestDate(std::string_view gbk) { d_.testDate = gbk; }
  void setSample(std::uint8_t sample) { d_.sample = sample; }
  void setSelected(std::int32_t value) { d_.selected = value; }
  void setDesignThickness(std::int32_t value) { d_.designThickness = value; }
  void setPlusDeviation(std::int32_t value) { d_.plusDeviation = value; }
  void setMinusDeviation(std::int32_t value) { d_.minusDeviation = value; }
  void setStoredStatistics(const StoredStatistics& s);
  // The whole reading; false (nothing stored) when the index is out of range.
  bool setReading(int index, const Reading& reading);

  // Reading rows. Each reading keeps its three fields; a new reading is all zero, typed. Return false
  // when the row is outside the range given with each.
  bool insertReadingBefore(int row, const Reading& reading = {});  // 0 <= row <= readingCount
  bool insertReadingAfter(int row);                                // 0 <= row < readingCount
  bool deleteReading(int row);                                     // 0 <= row < readingCount
  void setReadings(std::vector<Reading> readings) { d_.readings = std::move(readings); }

  bool operator==(const MemberRecord& other) const { return d_ == other.d_; }

 private:
  MemberData d_;
};

// The code of the n-th member added by the insert-member command (n counts from 1):
// "0" and three characters: 1 gives 0001, 42 gives 0042, 100 gives 0100, 1234 gives 0123.
std::string appendedMemberCode(int n);

// The design thickness and deviations a member is given when it is made.
struct MemberBand {
  std::int32_t design = 120;
  std::int32_t minus = -5;
  std::int32_t plus = 8;
  bool operator==(const MemberBand&) const = default;
};

// "120,-5,8" and back, for keeping the last band used; nothing for a text that is not three
// whole numbers with a design thickness of 1-9999 mm, a minus deviation of 0 or less and a plus
// deviation of 0 or more.
std::string memberBandText(const MemberBand& band);
std::optional<MemberBand> parseMemberBand(std::string_view text);
// The band a member has.
MemberBand bandOf(const MemberRecord& member);

// A member added by the insert-member command: the given code and date, the design thickness and
// deviations of `like` (the current member; `band` without one: the office's last used, a
// floor slab's 120 mm and -5/+8 by default), and no readings: a reading counts only once a value
// is typed for it.
MemberRecord newAppendedMember(std::string_view code, std::string_view testDate, const MemberRecord* like,
                               const MemberBand& band = {});

}  // namespace kro
