// Reading and writing the analysis layout and the selection export.
#include "model/analysis_file.h"

#include <algorithm>

#include "base/byte_io.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/project.h"
#include "model/project_blocks.h"

namespace kro {
namespace {

constexpr std::size_t kNameField = 100;
constexpr std::size_t kDateField = 20;
constexpr std::size_t kReadingSize = 12;

std::size_t codeField(MemberLayout layout) { return layout == MemberLayout::Analysis ? 10 : 5; }

// A text for a field of size bytes: whole when it fits, otherwise cut at a character boundary
// so that a NUL follows.
std::string_view fitField(std::string_view gbk, std::size_t size) {
  return gbk.size() <= size ? gbk : gbkTruncate(gbk, size - 1);
}

// Decodes count member blocks. Each block is checked to fit before it is read. With `intact`,
// the members read before a damaged one are kept there.
Result<std::vector<MemberRecord>> decodeBlocks(ByteReader& in, std::int32_t count, MemberLayout layout,
                                               std::vector<MemberRecord>* intact = nullptr) {
  const std::size_t fixed = memberBlockFixedSize(layout);
  if (count < 0) {
    return Error{"构件个数为负数（" + std::to_string(count) + "），文件已损坏。"};
  }
  // Refuse before allocating when the blocks cannot possibly fit.
  if (intact == nullptr && static_cast<std::size_t>(count) > in.remaining() / fixed) {
    return Error{"文件声明了 " + std::to_string(count) + " 个构件，但文件长度不足以容纳它们，文件已损坏。"};
  }
  std::vector<MemberRecord> own;
  std::vector<MemberRecord>& members = intact != nullptr ? *intact : own;
  members.reserve(std::min<std::size_t>(static_cast<std::size_t>(count), in.remaining() / fixed));
  for (std::int32_t i = 0; i < count; ++i) {
    const std::string which = "第 " + std::to_string(i + 1) + " 个构件";
    if (!in.canRead(fixed)) return Error{which + "的数据超出了文件末尾，文件已损坏。"};
    MemberData d;
    d.code = in.text(codeField(layout));
    d.name = in.text(kNameField);
    d.testDate = in.text(kDateField);
    d.selected = in.u8();
    d.averageThickness = in.i32();
    d.designThickness = in.i32();
    d.minusDeviation = in.i32();
    d.plusDeviation = in.i32();
    const std::int32_t readingCount = in.i32();
    d.secondColumnStart = in.i32();
    d.reserved = in.i32();
    d.maxThickness = in.i32();
    d.minThickness = in.i32();
    d.passCount = in.i32();
    d.passRate = in.f32();
    if (readingCount < 0) {
      return Error{which + "的测点数为负数（" + std::to_string(readingCount) + "），文件已损坏。"};
    }
    if (static_cast<std::size_t>(readingCount) > in.remaining() / kReadingSize) {
      return Error{which + "的 " + std::to_string(readingCount) + " 个测点超出了文件末尾，文件已损坏。"};
    }
    d.readings.resize(static_cast<std::size_t>(readingCount));
    for (Reading& r : d.readings) {
      r.auxValue = in.i32();
      r.thickness = in.i32();
      r.spare = in.i32();
      r.origin = ReadingOrigin::Unrecorded;
    }
    members.emplace_back(std::move(d));
  }
  return std::move(members);
}

}  // namespace

std::size_t memberBlockFixedSize(MemberLayout layout) {
  return codeField(layout) + kNameField + kDateField + 1 + 11 * 4;
}

std::string encodeMembers(const std::vector<MemberRecord>& members, MemberLayout layout) {
  std::size_t size = 4;
  for (const MemberRecord& m : members) {
    size += memberBlockFixedSize(layout) + kReadingSize * m.readings().size();
  }
  std::string out;
  out.reserve(size);
  ByteWriter w(out);
  const std::size_t code = codeField(layout);
  w.i32(static_cast<std::int32_t>(members.size()));
  for (const MemberRecord& m : members) {
    const MemberData& d = m.data();
    // The selection export's code field always ends in a NUL; in the analysis layout a text
    // that fills its whole field (as read from a file) is written back whole.
    w.text(layout == MemberLayout::Selection ? gbkTruncate(d.code, code - 1) : fitField(d.code, code), code);
    w.text(fitField(d.name, kNameField), kNameField);
    w.text(fitField(d.testDate, kDateField), kDateField);
    w.u8(static_cast<std::uint8_t>(d.selected & 0xFF));
    w.i32(d.averageThickness);
    w.i32(d.designThickness);
    w.i32(d.minusDeviation);
    w.i32(d.plusDeviation);
    w.i32(m.readingCount());
    w.i32(d.secondColumnStart);
    w.i32(d.reserved);
    w.i32(d.maxThickness);
    w.i32(d.minThickness);
    w.i32(d.passCount);
    w.f32(d.passRate);
    for (const Reading& r : d.readings) {
      w.i32(r.auxValue);
      w.i32(r.thickness);
      w.i32(r.spare);
    }
  }
  return out;
}

Result<std::vector<MemberRecord>> decodeAnalysisFile(std::string_view bytes, std::size_t* end) {
  ByteReader in(bytes);
  if (!in.canRead(4)) {
    return Error{"文件只有 " + std::to_string(bytes.size()) + " 个字节，不是完整的分析结果文件。"};
  }
  const std::int32_t count = in.i32();
  auto members = decodeBlocks(in, count, MemberLayout::Analysis);
  if (end != nullptr) *end = in.position();
  return members;
}

AnalysisShape analysisShape(std::string_view bytes) {
  using Kind = AnalysisShape::Kind;
  ByteReader in(bytes);
  if (!in.canRead(4)) return {Kind::NotAnalysis, "文件只有 " + std::to_string(bytes.size()) + " 个字节。", 0};
  const std::int32_t count = in.i32();
  if (count < 0) return {Kind::NotAnalysis, "开头的构件个数为负数（" + std::to_string(count) + "）。", 0};
  if (count == 0) return {Kind::Whole, "", 4};
  // The first member decides whether this is an analysis file at all.
  const std::size_t fixed = memberBlockFixedSize(MemberLayout::Analysis);
  if (!in.canRead(fixed)) {
    return {Kind::NotAnalysis,
            "开头声明了 " + std::to_string(count) + " 个构件，但文件短于一个构件的数据（" +
                std::to_string(fixed) + " 字节）。",
            0};
  }
  ByteReader first(bytes.substr(4));
  const std::string code = first.text(10);
  first.skip(kNameField);
  const std::string date = first.text(kDateField);
  first.skip(1 + 4 * 4);
  const std::int32_t readingCount = first.i32();
  if (readingCount < 0 ||
      static_cast<std::size_t>(readingCount) > (bytes.size() - 4 - fixed) / kReadingSize) {
    return {Kind::NotAnalysis, "第一个构件的测点数（" + std::to_string(readingCount) + "）与文件长度不符。",
            0};
  }
  if (!isGbkText(code) || !isGbkText(date)) {
    return {Kind::NotAnalysis, "第一个构件的编号或测试日期不是 GBK 文字。", 0};
  }
  std::size_t end = 0;
  auto members = decodeAnalysisFile(bytes, &end);
  if (!members) return {Kind::DamagedLater, members.message(), 0};
  return {Kind::Whole, "", end};
}

std::optional<RecoveredMembers> recoverAnalysisMembers(std::string_view bytes) {
  ByteReader in(bytes);
  if (!in.canRead(4)) return std::nullopt;
  const std::int32_t count = in.i32();
  RecoveredMembers recovered;
  if (count < 0 || decodeBlocks(in, count, MemberLayout::Analysis, &recovered.members)) return std::nullopt;
  recovered.damagedMember = static_cast<int>(recovered.members.size()) + 1;
  return recovered;
}

Result<Project> decodeProjectFile(std::string_view bytes, std::vector<std::string>& warnings) {
  std::size_t end = 0;
  auto members = decodeAnalysisFile(bytes, &end);
  if (!members) return members.error();
  Project project;
  project.members = std::move(members.value());
  DecodedBlocks blocks = decodeBlocks(bytes.substr(end), warnings);
  applySampleMarks(project.members, blocks.samples, warnings);
  applyOriginsBlock(project.members, blocks.origins, warnings);
  project.parameters = std::move(blocks.parameters);
  project.sources = std::move(blocks.sources);
  project.log = std::move(blocks.log);
  project.keptBlocks = std::move(blocks.kept);
  return project;
}

std::string encodeProjectFile(const Project& project) {
  return encodeMembers(project.members, MemberLayout::Analysis) + encodeBlocks(project);
}

bool isSelectionExport(std::string_view bytes) {
  ByteReader in(bytes);
  if (!in.canRead(4)) return false;
  const std::int32_t count = in.i32();
  if (count <= 0) return false;
  auto members = decodeBlocks(in, count, MemberLayout::Selection);
  return members.ok() && in.remaining() == 0;
}

Status writeAnalysisFile(const std::filesystem::path& path, const Project& project) {
  return writeFileAtomically(path, encodeProjectFile(project));
}

Status writeSelectionExport(const std::filesystem::path& path, const std::vector<MemberRecord>& members) {
  if (isAnalysisExtension(path)) {
    return Error{"选择构件文件不能保存为“" + displayPath(path.filename()) +
                 "”：扩展名 KRO 留给分析结果文件，请使用 DEX。"};
  }
  return writeFileAtomically(path, encodeMembers(members, MemberLayout::Selection));
}

}  // namespace kro
