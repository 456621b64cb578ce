// The blocks of our own that an analysis file carries after its last member.
//
// Readers of the plain layout stop after the members and never see them. Each block is an
// 8-byte ASCII tag beginning "KRO", a uint16 version, a uint32 length of what follows, then
// that many bytes. Blocks are written in a fixed order (kBlockOrder: the parameters first);
// a reader finds each by its tag. A block this version cannot read (an unknown tag, a newer
// version, damaged contents) and bytes that form no block are kept byte for byte and written
// back on every write, with one warning when the file is read.
//
// The parameters block (KROPARAM, version 1): a uint32 count of pairs, each a uint16 name
// length, the name, a uint32 value length and the value (GBK texts).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/project.h"

namespace kro {

inline constexpr std::string_view kParametersTag = "KROPARAM";
// Version 2 adds the judging rule's name and definition to the pairs (the layout is version 1's),
// so that version 1.10, which knows only version 1, warns instead of judging by another rule.
inline constexpr std::uint16_t kParametersVersion = 2;
inline constexpr std::size_t kBlockHeaderSize = 8 + 2 + 4;
// What one parameter's name may take in the block (its length is a uint16), and what all the
// parameters together may take, so that the file stays one the program opens.
inline constexpr std::size_t kMaxParameterNameBytes = 0xFFFF;
inline constexpr std::size_t kMaxParametersBytes = 16u << 20;

// The sample numbers (抽样批次) of the members in a later sample than the first (KROSAMPL,
// version 1): a uint32 count, then for each such member its uint32 position, a uint16 code
// length, the code (GBK) and a uint8 sample number. A member not named is in sample 1.
inline constexpr std::string_view kSamplesTag = "KROSAMPL";
inline constexpr std::uint16_t kSamplesVersion = 1;

// Where the members came from (KROSOURC), each reading's origin (KROORIGN) and the modification
// log (KROMODLG), each version 1: see model/modification_log.h for their contents. Written only
// when the project has them.
inline constexpr std::string_view kSourcesTag = "KROSOURC";
inline constexpr std::string_view kOriginsTag = "KROORIGN";
inline constexpr std::string_view kLogTag = "KROMODLG";
inline constexpr std::uint16_t kRecordBlocksVersion = 1;

// The tags this version writes, in the order they follow the members.
inline constexpr std::string_view kBlockOrder[] = {kParametersTag, kSamplesTag, kSourcesTag, kOriginsTag,
                                                   kLogTag};

// True when bytes begin with the header of one of our blocks (a tag of the form "KRO…").
bool startsWithBlock(std::string_view bytes);

// A member's sample number as the block names it.
struct SampleMark {
  std::uint32_t position = 0;
  std::string code;  // GBK
  std::uint8_t sample = 1;
};

struct DecodedBlocks {
  ProjectParameters parameters;
  std::vector<SampleMark> samples;
  std::vector<ProjectSource> sources;
  std::string origins;  // the origins block's contents, applied once the members are known
  std::vector<LogEntry> log;
  std::vector<KeptBlock> kept;
};
// Reads the bytes after the last member. Warnings are sentences that follow the file's name
// ("中有…"): one naming every unknown or newer block, one per damaged block.
DecodedBlocks decodeBlocks(std::string_view trailing, std::vector<std::string>& warnings);

// The blocks of a project in their order: each known block encoded anew unless the project
// keeps an unreadable one of that tag (then that, byte for byte), then the unknown blocks and
// any bytes that formed no block, as they were read. Parameters are written when stored.
std::string encodeBlocks(const Project& project);

// Gives the members their sample numbers: a mark applies to the member at its position when the
// code agrees, else to the one member of that code; one warning names the marks that fit none.
void applySampleMarks(std::vector<MemberRecord>& members, const std::vector<SampleMark>& marks,
                      std::vector<std::string>& warnings);

// Gives the members the origins of their readings from an origins block's contents; a block that
// does not fit them (a program that did not know it changed the members) gives one warning and
// leaves the origins unrecorded.
void applyOriginsBlock(std::vector<MemberRecord>& members, std::string_view origins,
                       std::vector<std::string>& warnings);

// Refuses a change of the parameters while the project keeps a parameters block this version
// cannot read (newer or damaged): that block is kept byte for byte, never replaced.
Status parametersChangeable(const Project& project);

// The parameters block alone (for tests and the fuzz target); empty when none are stored.
std::string encodeParametersBlock(const ProjectParameters& parameters);

}  // namespace kro
