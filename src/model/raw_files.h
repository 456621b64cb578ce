// The instrument's raw files: an index file (.DEX) listing member codes, and one member data
// file (code + ".DAT") per member in the same folder. Read only, except for sample projects.
//
// Index file: int16 count n, then n code fields of 10 bytes. Member data file: code (10 bytes),
// test date (22), int16 design thickness at 32, an unused int16 at 34, int16 reading count r at
// 38, readings as int16 from offset 74.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/member_record.h"

namespace kro {

inline constexpr std::size_t kMemberDataHeaderSize = 74;
// A raw project may hold at most this many readings in all (about 50 MB in memory), so that
// an index file naming one large data file many times cannot exhaust memory.
inline constexpr std::size_t kMaxRawProjectReadings = 4'000'000;

struct IndexFileContents {
  std::vector<std::string> codes;  // GBK, as listed
  std::vector<std::string> warnings;
};

// Decodes an index file. A negative count is refused; a file holding fewer codes than it states
// gives the codes it holds, with a warning.
Result<IndexFileContents> decodeIndexFile(std::string_view bytes);

struct MemberDataContents {
  MemberRecord member;
  std::vector<std::string> warnings;  // each names the problem, not the file
};

// Decodes a member data file into a member with tolerance -5/+8. Every reading the file really
// holds is read, however many; a negative count reads none. A file shorter than its header is
// refused.
Result<MemberDataContents> decodeMemberDataFile(std::string_view bytes);

// True when a code names a file in the index file's own folder: no path separator, drive colon
// or control character.
bool isSafeMemberCode(std::string_view gbkCode);

// Why bytes are not an index file that can be read beside path, or nothing when they are: a
// count of at least one; codes that are printable texts (strict: every code it states, none
// naming a file outside the folder; lenient, for a file named .DEX: the codes it holds, which the
// reader then warns about); and at least one of their member data files present.
std::optional<std::string> indexFileProblem(const std::filesystem::path& path, std::string_view bytes,
                                            bool lenient);

struct RawProject {
  std::vector<MemberRecord> members;               // one per listed code, in index order
  std::vector<std::string> warnings;               // ready to show, one per kind of problem
  std::vector<std::filesystem::path> memberFiles;  // the member data files read, each once
};

// Reads an index file and its member data files. A member whose file is missing, unsafe or
// damaged keeps a constructed member in its slot; the warnings say which (the first ten of
// each kind, then how many more). Refused when the members would hold more than
// kMaxRawProjectReadings readings.
Result<RawProject> readRawProject(const std::filesystem::path& indexPath);

// The same, with the index file's bytes already read.
Result<RawProject> readRawProject(const std::filesystem::path& indexPath, std::string_view indexBytes);

// Writers, used to make sample projects. Values must fit the 16-bit fields.
Result<std::string> encodeIndexFile(const std::vector<MemberRecord>& members);
Result<std::string> encodeMemberDataFile(const MemberRecord& member);
// Writes indexName (e.g. "SAMPLE.DEX") and one data file per member into folder.
Status writeRawProject(const std::filesystem::path& folder, const std::string& indexName,
                       const std::vector<MemberRecord>& members);

}  // namespace kro
