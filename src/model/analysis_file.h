// The analysis file (.KRO) and the selection export: flat little-endian dumps of the members.
//
// File: int32 member count, then one block per member. Block: code (10 bytes; 5 in the
// selection export), name 100, date 20, selected (1 byte), then eleven 32-bit fields from
// averageThickness to passRate (float), then readingCount records of three int32. The fixed
// part of a block is 175 bytes (170 in the selection export).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/member_record.h"
#include "model/result.h"

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
Result<std::vector<MemberRecord>> decodeAnalysisFile(std::string_view bytes);

// True when the bytes are exactly a selection export of at least one member: every block fits
// and the last one ends at the end of the file.
bool isSelectionExport(std::string_view bytes);

// Every member in the analysis layout, with its flag and stored figures as held.
Status writeAnalysisFile(const std::filesystem::path& path, const std::vector<MemberRecord>& members);
// The selection export; refused for a path with an analysis extension.
Status writeSelectionExport(const std::filesystem::path& path, const std::vector<MemberRecord>& members);

}  // namespace kro
