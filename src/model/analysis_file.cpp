// Reading and writing the analysis layout and the selection export.
#include "model/analysis_file.h"

#include <algorithm>

#include "model/byte_io.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/project.h"

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

std::optional<RecoveredMembers> recoverAnalysisMembers(std::string_view bytes) {
  ByteReader in(bytes);
  if (!in.canRead(4)) return std::nullopt;
  const std::int32_t count = in.i32();
  RecoveredMembers recovered;
  if (count < 0 || decodeBlocks(in, count, MemberLayout::Analysis, &recovered.members)) return std::nullopt;
  recovered.damagedMember = static_cast<int>(recovered.members.size()) + 1;
  return recovered;
}

std::string encodeParameterBlock(const ProjectParameters& p) {
  if (!p.keptBlock.empty()) return p.keptBlock;
  if (!p.stored) return {};
  std::string payload;
  ByteWriter w(payload);
  w.u32(static_cast<std::uint32_t>(p.values.size()));
  for (const auto& [name, value] : p.values) {
    w.u16(static_cast<std::uint16_t>(std::min<std::size_t>(name.size(), 0xFFFF)));
    payload.append(name.substr(0, 0xFFFF));
    w.u32(static_cast<std::uint32_t>(value.size()));
    payload.append(value);
  }
  std::string out(kParameterBlockTag);
  ByteWriter header(out);
  header.u16(kParameterBlockVersion);
  header.u32(static_cast<std::uint32_t>(payload.size()));
  return out + payload;
}

ProjectParameters decodeParameterBlock(std::string_view trailing, std::vector<std::string>& warnings) {
  ProjectParameters p;
  if (trailing.substr(0, kParameterBlockTag.size()) != kParameterBlockTag) return p;
  ByteReader in(trailing.substr(kParameterBlockTag.size()));
  auto keep = [&](std::string_view block, const std::string& why) {
    p.keptBlock = std::string(block);
    warnings.push_back("中的工程参数" + why + "，已原样保留；报告使用默认参数。");
    return p;
  };
  if (!in.canRead(6)) return keep(trailing, "不完整");
  const std::uint16_t version = in.u16();
  const std::uint32_t length = in.u32();
  if (length > in.remaining())
    return keep(trailing, "不完整（缺少 " + std::to_string(length - in.remaining()) + " 个字节）");
  const std::string_view block = trailing.substr(0, kParameterBlockTag.size() + 6 + length);
  if (version > kParameterBlockVersion) {
    return keep(block, "由更新版本的程序写入（版本 " + std::to_string(version) + "）");
  }
  ByteReader payload(in.take(length));
  bool damaged = !payload.canRead(4);
  const std::uint32_t count = damaged ? 0 : payload.u32();
  // Each pair takes at least 6 bytes, which bounds the count before anything is reserved.
  damaged = damaged || count > payload.remaining() / 6;
  for (std::uint32_t i = 0; i < count && !damaged; ++i) {
    const std::size_t nameLength = payload.canRead(2) ? payload.u16() : 0;
    damaged = nameLength == 0 || !payload.canRead(nameLength + 4);
    if (damaged) break;
    std::string name(payload.take(nameLength));
    const std::uint32_t valueLength = payload.u32();
    damaged = !payload.canRead(valueLength);
    if (damaged) break;
    p.values.emplace_back(std::move(name), std::string(payload.take(valueLength)));
  }
  if (damaged || payload.remaining() != 0) {
    p.values.clear();
    return keep(block, "已损坏");
  }
  p.stored = true;
  return p;
}

Result<Project> decodeProjectFile(std::string_view bytes, std::vector<std::string>& warnings) {
  std::size_t end = 0;
  auto members = decodeAnalysisFile(bytes, &end);
  if (!members) return members.error();
  Project project;
  project.members = std::move(members.value());
  project.parameters = decodeParameterBlock(bytes.substr(end), warnings);
  return project;
}

std::string encodeProjectFile(const Project& project) {
  return encodeMembers(project.members, MemberLayout::Analysis) + encodeParameterBlock(project.parameters);
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

Status writeAnalysisFile(const std::filesystem::path& path, const std::vector<MemberRecord>& members) {
  return writeFileAtomically(path, encodeMembers(members, MemberLayout::Analysis));
}

Status writeSelectionExport(const std::filesystem::path& path, const std::vector<MemberRecord>& members) {
  if (isAnalysisExtension(path)) {
    return Error{"选择构件文件不能保存为“" + displayPath(path.filename()) +
                 "”：扩展名 KRO 留给分析结果文件，请使用 DEX。"};
  }
  return writeFileAtomically(path, encodeMembers(members, MemberLayout::Selection));
}

}  // namespace kro
