// Reading and writing the blocks after the last member.
#include "model/project_blocks.h"

#include <algorithm>
#include <optional>

#include "base/byte_io.h"
#include "model/gbk_text.h"

namespace kro {
namespace {

bool isKnownTag(std::string_view tag) {
  return std::find(std::begin(kBlockOrder), std::end(kBlockOrder), tag) != std::end(kBlockOrder);
}

// What the user knows a block as.
std::string blockName(std::string_view tag) {
  if (tag == kParametersTag) return "工程参数";
  if (tag == kSamplesTag) return "抽样批次";
  if (tag == kSourcesTag) return "数据来源";
  if (tag == kOriginsTag) return "测点来源";
  if (tag == kLogTag) return "修改记录";
  return "数据块 " + std::string(tag);
}

std::optional<ProjectParameters> decodeParameters(std::string_view bytes) {
  ByteReader payload(bytes);
  if (!payload.canRead(4)) return std::nullopt;
  const std::uint32_t count = payload.u32();
  // Each pair takes at least 6 bytes, which bounds the count before anything is reserved.
  if (count > payload.remaining() / 6) return std::nullopt;
  ProjectParameters p;
  p.values.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t nameLength = payload.canRead(2) ? payload.u16() : 0;
    if (nameLength == 0 || !payload.canRead(nameLength + 4)) return std::nullopt;
    std::string name(payload.take(nameLength));
    const std::uint32_t valueLength = payload.u32();
    if (!payload.canRead(valueLength)) return std::nullopt;
    p.values.emplace_back(std::move(name), std::string(payload.take(valueLength)));
  }
  if (payload.remaining() != 0) return std::nullopt;
  p.stored = true;
  return p;
}

// The version a parameters block is written with: the current one once it holds a judging rule
// (which version 1 does not know), else the version it was read with.
std::uint16_t versionFor(const ProjectParameters& p) {
  static const std::string ruleKey = utf8ToGbkLossy("判定规则");
  if (p.readVersion == 0) return kParametersVersion;
  for (const auto& [name, value] : p.values) {
    if (name.starts_with(ruleKey)) return kParametersVersion;
  }
  return p.readVersion;
}

std::optional<std::vector<SampleMark>> decodeSamples(std::string_view bytes) {
  ByteReader payload(bytes);
  if (!payload.canRead(4)) return std::nullopt;
  const std::uint32_t count = payload.u32();
  // Each mark takes at least 7 bytes, which bounds the count before anything is reserved.
  if (count > payload.remaining() / 7) return std::nullopt;
  std::vector<SampleMark> marks;
  marks.reserve(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!payload.canRead(6)) return std::nullopt;
    SampleMark m;
    m.position = payload.u32();
    const std::size_t length = payload.u16();
    if (!payload.canRead(length + 1)) return std::nullopt;
    m.code = std::string(payload.take(length));
    m.sample = static_cast<std::uint8_t>(payload.take(1)[0]);
    if (m.sample == 0) return std::nullopt;
    marks.push_back(std::move(m));
  }
  if (payload.remaining() != 0) return std::nullopt;
  return marks;
}

std::uint16_t versionOf(std::string_view tag) {
  if (tag == kParametersTag) return kParametersVersion;
  if (tag == kSamplesTag) return kSamplesVersion;
  return kRecordBlocksVersion;
}

std::string header(std::string_view tag, std::uint16_t version, std::size_t length) {
  std::string out(tag);
  ByteWriter w(out);
  w.u16(version);
  w.u32(static_cast<std::uint32_t>(length));
  return out;
}

}  // namespace

bool startsWithBlock(std::string_view bytes) {
  if (!bytes.starts_with("KRO")) return false;
  const std::string_view tag = bytes.substr(0, 8);
  return std::all_of(tag.begin(), tag.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

DecodedBlocks decodeBlocks(std::string_view trailing, std::vector<std::string>& warnings) {
  DecodedBlocks out;
  std::vector<std::string> unreadable;  // unknown or newer blocks, for one warning
  bool parametersLost = false;
  auto damaged = [&](std::string tag, std::uint16_t version, std::string_view bytes, const std::string& why) {
    if (tag == kParametersTag) parametersLost = true;
    warnings.push_back("中的" + blockName(tag) + why + "，已原样保留" +
                       (tag == kParametersTag ? "；报告使用默认参数。" : "。"));
    out.kept.push_back({std::move(tag), version, std::string(bytes), KeptBlock::Why::Damaged});
  };
  std::size_t at = 0;
  while (at < trailing.size()) {
    const std::string_view rest = trailing.substr(at);
    if (!startsWithBlock(rest)) {
      warnings.push_back("末尾有 " + std::to_string(rest.size()) + " 个字节不属于任何数据块，已原样保留。");
      out.kept.push_back({"", 0, std::string(rest), KeptBlock::Why::Damaged});
      break;
    }
    if (rest.size() < kBlockHeaderSize) {
      damaged(std::string(rest.substr(0, 8)), 0, rest, "不完整");
      break;
    }
    ByteReader in(rest);
    std::string tag(in.take(8));
    const std::uint16_t version = in.u16();
    const std::uint32_t length = in.u32();
    if (length > in.remaining()) {
      damaged(std::move(tag), version, rest,
              "不完整（缺少 " + std::to_string(length - in.remaining()) + " 个字节）");
      break;
    }
    const std::string_view block = rest.substr(0, kBlockHeaderSize + length);
    const std::string_view payload = block.substr(kBlockHeaderSize);
    at += block.size();
    if (!isKnownTag(tag)) {
      unreadable.push_back(blockName(tag) + "（版本 " + std::to_string(version) + "）");
      out.kept.push_back({std::move(tag), version, std::string(block), KeptBlock::Why::Unknown});
      continue;
    }
    if (version > versionOf(tag)) {
      parametersLost = parametersLost || tag == kParametersTag;
      unreadable.push_back(blockName(tag) + "（版本 " + std::to_string(version) + "）");
      out.kept.push_back({std::move(tag), version, std::string(block), KeptBlock::Why::Newer});
      continue;
    }
    if (tag == kSourcesTag) {
      std::optional<std::vector<ProjectSource>> sources = decodeSources(payload);
      if (!sources || !out.sources.empty() || version == 0) {
        damaged(std::move(tag), version, block, sources ? "重复" : "已损坏");
        continue;
      }
      out.sources = std::move(*sources);
      continue;
    }
    if (tag == kOriginsTag) {
      if (!out.origins.empty() || version == 0) {
        damaged(std::move(tag), version, block, "重复");
        continue;
      }
      out.origins = std::string(payload);
      continue;
    }
    if (tag == kLogTag) {
      DecodedLog log = decodeLog(payload);
      if (!log.problem.empty() || !out.log.empty() || version == 0) {
        const std::string why = !log.problem.empty() ? "已损坏（" + log.problem + "）" : std::string("重复");
        warnings.push_back("中的修改记录" + why + "，已原样保留；开始新的修改记录之前不能修改本工程。");
        out.kept.push_back({std::move(tag), version, std::string(block), KeptBlock::Why::Damaged});
        continue;
      }
      out.log = std::move(log.entries);
      continue;
    }
    if (tag == kSamplesTag) {
      std::optional<std::vector<SampleMark>> samples = decodeSamples(payload);
      if (!samples || !out.samples.empty() || version == 0) {
        damaged(std::move(tag), version, block, samples ? "重复" : "已损坏");
        continue;
      }
      out.samples = std::move(*samples);
      continue;
    }
    std::optional<ProjectParameters> parameters = decodeParameters(payload);
    if (!parameters || out.parameters.stored || version == 0) {
      damaged(std::move(tag), version, block, out.parameters.stored ? "重复" : "已损坏");
      continue;
    }
    out.parameters = std::move(*parameters);
    out.parameters.readVersion = version;
  }
  if (!unreadable.empty()) {
    std::string names;
    for (const std::string& name : unreadable) names += (names.empty() ? "" : "、") + name;
    warnings.push_back("中有由更新版本的程序写入的数据：" + names + "，已原样保留，保存时照原样写回" +
                       (parametersLost ? "；报告使用默认参数。" : "。"));
  }
  return out;
}

void applyOriginsBlock(std::vector<MemberRecord>& members, std::string_view origins,
                       std::vector<std::string>& warnings) {
  if (origins.empty() || applyOrigins(origins, members)) return;
  warnings.push_back("中的测点来源与构件不符（文件曾被不认识它的程序改写），测点来源记为“未记录”。");
}

Status parametersChangeable(const Project& project) {
  const KeptBlock* kept = project.keptBlock(kParametersTag);
  if (kept == nullptr || project.parameters.stored) return Status::success();
  return Error{kept->why == KeptBlock::Why::Newer
                   ? "文件中的工程参数由更新版本的程序写入（版本 " + std::to_string(kept->version) +
                         "），本版本不能修改它们，已原样保留。"
                   : std::string("文件中的工程参数已损坏，本版本不能修改它们，已原样保留。")};
}

std::string encodeParametersBlock(const ProjectParameters& p) {
  if (!p.stored) return {};
  std::string payload;
  ByteWriter w(payload);
  w.u32(static_cast<std::uint32_t>(p.values.size()));
  for (const auto& [name, value] : p.values) {
    // Names are refused beyond the limit before they get here; a cut would end on a character.
    const std::string_view kept = gbkTruncate(name, kMaxParameterNameBytes);
    w.u16(static_cast<std::uint16_t>(kept.size()));
    payload.append(kept);
    w.u32(static_cast<std::uint32_t>(value.size()));
    payload.append(value);
  }
  return header(kParametersTag, versionFor(p), payload.size()) + payload;
}

void applySampleMarks(std::vector<MemberRecord>& members, const std::vector<SampleMark>& marks,
                      std::vector<std::string>& warnings) {
  std::string unmatched;
  for (const SampleMark& mark : marks) {
    MemberRecord* member = nullptr;
    if (mark.position < members.size() && members[mark.position].code() == mark.code) {
      member = &members[mark.position];
    } else {
      int found = 0;
      for (MemberRecord& m : members) {
        if (m.code() == mark.code && ++found == 1) member = &m;
      }
      if (found != 1) member = nullptr;
    }
    if (member == nullptr) {
      unmatched += (unmatched.empty() ? "" : "、") + gbkToUtf8(mark.code);
      continue;
    }
    MemberData d = member->data();
    d.sample = mark.sample;
    *member = MemberRecord(std::move(d));
  }
  if (!unmatched.empty())
    warnings.push_back("的抽样批次记录中有找不到的构件（" + unmatched + "），这些记录已忽略。");
}

namespace {

std::string encodeSamplesBlock(const std::vector<MemberRecord>& members) {
  std::string payload;
  ByteWriter w(payload);
  std::uint32_t count = 0;
  for (const MemberRecord& m : members) count += m.sample() != 1 ? 1 : 0;
  if (count == 0) return {};
  w.u32(count);
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i].sample() == 1) continue;
    w.u32(static_cast<std::uint32_t>(i));
    const std::string_view code = gbkTruncate(members[i].code(), 0xFFFF);
    w.u16(static_cast<std::uint16_t>(code.size()));
    payload.append(code);
    payload.push_back(static_cast<char>(members[i].sample()));
  }
  return header(kSamplesTag, kSamplesVersion, payload.size()) + payload;
}

// A kept block that is cut short (or bytes that form no block) runs to the end of the file as it
// was read: written anywhere but last, it would swallow the blocks after it.
bool runsToTheEnd(const KeptBlock& kept) {
  if (kept.tag.empty() || kept.bytes.size() < kBlockHeaderSize) return true;
  ByteReader in(std::string_view(kept.bytes).substr(10, 4));
  return in.u32() != kept.bytes.size() - kBlockHeaderSize;
}

}  // namespace

std::string encodeBlocks(const Project& project) {
  std::string out;
  std::vector<const KeptBlock*> used;
  auto keptInPlace = [&](std::string_view tag) -> const KeptBlock* {
    const KeptBlock* kept = project.keptBlock(tag);
    return kept != nullptr && !runsToTheEnd(*kept) ? kept : nullptr;
  };
  // Parameters first: the stored ones, else an unreadable block of theirs as it was.
  if (project.parameters.stored) {
    out += encodeParametersBlock(project.parameters);
  } else if (const KeptBlock* kept = keptInPlace(kParametersTag)) {
    out += kept->bytes;
    used.push_back(kept);
  }
  // Then the sample numbers, or an unreadable block of them as it was.
  if (const KeptBlock* kept = keptInPlace(kSamplesTag)) {
    out += kept->bytes;
    used.push_back(kept);
  } else if (project.keptBlock(kSamplesTag) == nullptr) {
    out += encodeSamplesBlock(project.members);
  }
  // Then the record: sources, origins (when any reading has one recorded) and the log.
  if (!project.sources.empty()) {
    const std::string payload = encodeSources(project.sources);
    out += header(kSourcesTag, kRecordBlocksVersion, payload.size()) + payload;
  }
  const bool originsKnown =
      std::any_of(project.members.begin(), project.members.end(), [](const MemberRecord& m) {
        return std::any_of(m.readings().begin(), m.readings().end(),
                           [](const Reading& r) { return r.origin != ReadingOrigin::Unrecorded; });
      });
  if (originsKnown) {
    const std::string payload = encodeOrigins(project.members);
    out += header(kOriginsTag, kRecordBlocksVersion, payload.size()) + payload;
  }
  if (!project.log.empty()) {
    const std::string payload = encodeLog(project.log);
    out += header(kLogTag, kRecordBlocksVersion, payload.size()) + payload;
  }
  for (bool last : {false, true}) {
    for (const KeptBlock& kept : project.keptBlocks) {
      if (runsToTheEnd(kept) == last && std::find(used.begin(), used.end(), &kept) == used.end())
        out += kept.bytes;
    }
  }
  return out;
}

}  // namespace kro
