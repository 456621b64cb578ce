// The analysis file (.KRO) and the selection export: flat little-endian dumps of the members.
//
// File: int32 member count, then one block per member. Block: code (10 bytes; 5 in the
// selection export), name 100, date 20, selected (1 byte), then eleven 32-bit fields from
// averageThickness to passRate (float), then readingCount records of three int32. The fixed
// part of a block is 175 bytes (170 in the selection export).
//
// After the last member the analysis file may hold the project's parameters, in a block of our
// own that readers of the plain layout never reach: the tag "KROPARAM", a uint16 version, a
// uint32 length of what follows, then a uint32 count of pairs, each a uint16 name length, the
// name, a uint32 value length and the value (GBK texts). The selection export never has one.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/member_record.h"
#include "model/project.h"
#include "model/result.h"

namespace kro {

enum class MemberLayout {
  Analysis,   // the program's own file
  Selection,  // the selection export: a 5-byte code field
};

// Size in bytes of the fixed part of one member block.
std::size_t memberBlockFixedSize(MemberLayout layout);

std::string encodeMembers(const std::vector<MemberRecord>& members, MemberLayout layout);

inline constexpr std::string_view kParameterBlockTag = "KROPARAM";
inline constexpr std::uint16_t kParameterBlockVersion = 1;

// The parameter block of a project; empty when it carries none (a kept block comes back as it
// was read).
std::string encodeParameterBlock(const ProjectParameters& parameters);
// Reads the bytes after the last member. Bytes that do not begin with the tag are ignored; a
// block that is damaged or of a newer version is kept as it is, with a warning (the sentence
// after the file's name) in warnings.
ProjectParameters decodeParameterBlock(std::string_view trailing, std::vector<std::string>& warnings);

// Decodes an analysis file. A file under 4 bytes, a negative count, a negative reading count or
// a member block that does not fit in the file is refused. Bytes after the last member are
// ignored.
Result<std::vector<MemberRecord>> decodeAnalysisFile(std::string_view bytes, std::size_t* end = nullptr);
// The members of a damaged analysis file up to the first damaged one (counted from 1); nothing
// when the file is whole or not even its count can be read.
struct RecoveredMembers {
  std::vector<MemberRecord> members;
  int damagedMember = 0;
};
std::optional<RecoveredMembers> recoverAnalysisMembers(std::string_view bytes);

// The members and the parameter block of an analysis file; warnings as decodeParameterBlock.
Result<Project> decodeProjectFile(std::string_view bytes, std::vector<std::string>& warnings);
// The analysis file of a project: its members, then its parameters when it carries any.
std::string encodeProjectFile(const Project& project);

// True when the bytes are exactly a selection export of at least one member: every block fits
// and the last one ends at the end of the file.
bool isSelectionExport(std::string_view bytes);

// Every member in the analysis layout, with its flag and stored figures as held, then the
// project's parameters.
Status writeAnalysisFile(const std::filesystem::path& path, const Project& project);
// Members without parameters.
Status writeAnalysisFile(const std::filesystem::path& path, const std::vector<MemberRecord>& members);
// The selection export; refused for a path with an analysis extension.
Status writeSelectionExport(const std::filesystem::path& path, const std::vector<MemberRecord>& members);

}  // namespace kro
