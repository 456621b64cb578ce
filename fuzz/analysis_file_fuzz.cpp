// Fuzz target: the analysis-file reader. Whatever it accepts writes back as the same bytes, but
// for what the reader drops: bytes after a text's NUL and bytes after the last member.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "model/analysis_file.h"

namespace {

// The input as the writer must give it back.
std::string keptBytes(std::string_view bytes, std::size_t memberCount) {
  std::string kept(bytes);
  std::size_t at = 4;
  for (std::size_t i = 0; i < memberCount; ++i) {
    for (auto [offset, size] : {std::pair<std::size_t, std::size_t>{0, 10}, {10, 100}, {110, 20}}) {
      char* field = kept.data() + at + offset;
      if (void* nul = std::memchr(field, '\0', size)) {
        std::memset(nul, 0, size - static_cast<std::size_t>(static_cast<char*>(nul) - field));
      }
    }
    std::uint32_t readings = 0;
    for (int k = 3; k >= 0; --k) readings = (readings << 8) | static_cast<unsigned char>(kept[at + 147 + k]);
    at += 175 + 12 * static_cast<std::size_t>(readings);
  }
  kept.resize(at);
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kro::isSelectionExport(bytes);
  auto members = kro::decodeAnalysisFile(bytes);
  if (!members) return 0;
  // Compared as bytes: a stored rate may be NaN, which never equals itself.
  const std::string written = kro::encodeMembers(members.value(), kro::MemberLayout::Analysis);
  if (written != keptBytes(bytes, members.value().size())) std::abort();
  kro::encodeMembers(members.value(), kro::MemberLayout::Selection);
  return 0;
}
