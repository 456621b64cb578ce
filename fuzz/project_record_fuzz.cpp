// Fuzz target: the blocks after the members, and the modification log taken back over the
// sample's members. The input is read three ways: as the bytes after the members (whatever is
// read writes back to blocks that read the same), as sources and origins, and as a log of entries
// each prefixed by its uint16 length, sealed here so that the check of the log runs on them.
// Nothing may crash, whatever positions and values the entries name.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "base/byte_io.h"
#include "model/analysis_file.h"
#include "model/project_blocks.h"
#include "model/record_replay.h"
#include "model/sample_project.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  static const std::vector<kro::MemberRecord> sample = kro::makeSampleProject();

  std::vector<std::string> warnings;
  kro::Project read{sample};
  kro::DecodedBlocks blocks = kro::decodeBlocks(bytes, warnings);
  kro::applyOriginsBlock(read.members, blocks.origins, warnings);
  read.sources = blocks.sources;
  read.log = blocks.log;
  read.keptBlocks = blocks.kept;
  read.parameters = blocks.parameters;
  std::vector<std::string> again;
  const kro::DecodedBlocks back = kro::decodeBlocks(kro::encodeBlocks(read), again);
  if (back.sources != read.sources || back.log != read.log) std::abort();

  std::vector<kro::MemberRecord> members = sample;
  kro::decodeSources(bytes);
  kro::applyOrigins(bytes, members);

  kro::Project logged{sample};
  kro::ByteReader in(bytes);
  while (in.canRead(2)) {
    const std::size_t length = in.u16();
    if (auto entry = kro::decodeLogEntry(in.take(length))) {
      const kro::Sha256 previous = logged.log.empty() ? kro::Sha256{} : logged.log.back().hash;
      logged.log.push_back(kro::sealEntry(entry->change, {}, entry->when, "", previous));
    }
  }
  kro::replayRecord(logged, {}, false);
  kro::correctedReadings(logged.members, kro::changesSinceBeginning(logged.log));
  return 0;
}
