// The analysis file (.KRO) and the selection export: flat little-endian dumps of the members.
//
// File: int32 member count, then one block per member. Block: code (10 bytes; 5 in the
// selection export), name 100, date 20, selected (1 byte), then eleven 32-bit fields from
// averageThickness to passRate (float), then readingCount records of three int32. The fixed
// part of a block is 175 bytes (170 in the selection export).
//
// After the last member the analysis file holds blocks of our own (model/project_blocks.h), the
// project's parameters first, which readers of the plain layout never reach. The selection
// export never has them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/member_record.h"
#include "model/project.h"

namespace kro {

enum class MemberLayout {
  Analysis,   // the program's own file
  Selection,  // the selection export: a 5-byte code field
};

// Size in bytes of the fixed part of one member block.
std::size_t memberBlockFixedSize(MemberLayout layout);

std::string encodeMembers(const std::vector<MemberRecord>& members, MemberLayout layout);

// Decodes an analysis file. A file under 4 bytes, a negative count, a negative reading count or
// a member block that does not fit in the file is refused. Bytes after the last member are
// ignored.
Result<std::vector<MemberRecord>> decodeAnalysisFile(std::string_view bytes, std::size_t* end = nullptr);
// What bytes are as an analysis file, by content: Whole (end: where the members end; blocks or
// other bytes may follow), DamagedLater (the first member is a valid member, something after it
// is not: the members before the damage can be saved) or NotAnalysis. The first member is valid
// when its block and readings fit in the file and its code and date are printable GBK texts; a
// file of no members is 4 bytes of zero count. reason says what does not fit (a sentence).
struct AnalysisShape {
  enum class Kind { Whole, DamagedLater, NotAnalysis };
  Kind kind = Kind::NotAnalysis;
  std::string reason;
  std::size_t end = 0;
};
AnalysisShape analysisShape(std::string_view bytes);

// The members of a damaged analysis file up to the first damaged one (counted from 1); nothing
// when the file is whole or not even its count can be read.
struct RecoveredMembers {
  std::vector<MemberRecord> members;
  int damagedMember = 0;
};
std::optional<RecoveredMembers> recoverAnalysisMembers(std::string_view bytes);

// The members and the blocks after them; warnings as decodeBlocks.
Result<Project> decodeProjectFile(std::string_view bytes, std::vector<std::string>& warnings);
// The analysis file of a project: its members, then its blocks.
std::string encodeProjectFile(const Project& project);

// True when the bytes are exactly a selection export of at least one member: every block fits
// and the last one ends at the end of the file.
bool isSelectionExport(std::string_view bytes);

// Every member in the analysis layout, with its flag and stored figures as held, then the
// project's blocks.
Status writeAnalysisFile(const std::filesystem::path& path, const Project& project);
// The selection export; refused for a path with an analysis extension.
Status writeSelectionExport(const std::filesystem::path& path, const std::vector<MemberRecord>& members);

}  // namespace kro
