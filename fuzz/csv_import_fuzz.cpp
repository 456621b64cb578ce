// Fuzz target: the CSV reader over arbitrary bytes. What it accepts must come back unchanged
// through the writer and the reader again, and with its data rows in the opposite order too:
// every reading stays on its 测点号 and every text whole.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

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
  const std::string csv = kro::projectToCsv(project);
  auto again = kro::membersFromCsv(csv);
  if (!again || again.value() != project.members) std::abort();

  // Reversed rows (when no text holds a line end, so that a row is a line): the members come
  // in reverse order, each with the same readings on the same points.
  if (csv.find_first_of("\"") != std::string::npos) return 0;
  std::vector<std::string> lines;
  for (std::size_t at = 0, end; at < csv.size(); at = end + 2) {
    end = csv.find("\r\n", at);
    if (end == std::string::npos) std::abort();
    lines.push_back(csv.substr(at, end - at));
  }
  std::reverse(lines.begin() + 1, lines.end());
  std::string reversed;
  for (const std::string& line : lines) reversed += line + "\r\n";
  auto back = kro::membersFromCsv(reversed);
  if (!back) std::abort();
  std::vector<kro::MemberRecord> expected = project.members;
  std::reverse(expected.begin(), expected.end());
  if (back.value() != expected) std::abort();
  return 0;
}
