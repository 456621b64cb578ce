// Fuzz target: the CSV reader over arbitrary bytes. What it accepts must come back unchanged
// through the writer and the reader again.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "export/csv_exchange.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  auto members = kro::membersFromCsv(bytes);
  if (!members) {
    if (members.message().empty()) std::abort();  // every refusal says why
    return 0;
  }
  kro::Project project;
  project.members = std::move(members.value());
  auto again = kro::membersFromCsv(kro::projectToCsv(project));
  if (!again || again.value() != project.members) std::abort();
  return 0;
}
