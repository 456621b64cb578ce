// Fuzz target: the analysis-file reader. Whatever it accepts must write and load again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "model/analysis_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kro::isSelectionExport(bytes);
  auto members = kro::decodeAnalysisFile(bytes);
  if (!members) return 0;
  const std::string written = kro::encodeMembers(members.value(), kro::MemberLayout::Analysis);
  // Compared as bytes: a stored rate may be NaN, which never equals itself.
  auto again = kro::decodeAnalysisFile(written);
  if (!again || kro::encodeMembers(again.value(), kro::MemberLayout::Analysis) != written) std::abort();
  kro::encodeMembers(members.value(), kro::MemberLayout::Selection);
  return 0;
}
