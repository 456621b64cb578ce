// Fuzz target: numbers and options from the command line. A number is accepted only when it is
// exactly a decimal integer in range, and then it reads back as the same text.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "cli/arguments.h"
#include "cli/command_declarations.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::pair<std::int64_t, std::int64_t> ranges[] = {
      {0, 255}, {1, 86400}, {1, 6}, {INT64_MIN, INT64_MAX}};
  for (const auto& [low, high] : ranges) {
    const auto value = kro::cli::parseNumber(text, low, high);
    if (!value) continue;
    if (*value < low || *value > high) std::abort();
    // The text is the number, perhaps with leading zeros.
    std::string digits(text);
    const bool negative = !digits.empty() && digits[0] == '-';
    std::size_t first = negative ? 1 : 0;
    while (first + 1 < digits.size() && digits[first] == '0') ++first;
    std::string canonical = (negative && *value != 0 ? "-" : "") + digits.substr(first);
    if (canonical != std::to_string(*value)) std::abort();
  }
  // The whole input as arguments split at spaces.
  std::vector<std::string> args;
  std::string current;
  for (char c : text) {
    if (c == ' ') {
      args.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  args.push_back(current);
  // Parsed by every command's declared options: a refusal always says why, and what is
  // accepted is declared.
  for (const kro::cli::CommandDeclaration& declaration : kro::cli::commandDeclarations()) {
    auto parsed = kro::cli::Arguments::parse(args, declaration);
    if (!parsed && parsed.message().empty()) std::abort();
    if (!parsed) continue;
    for (const kro::cli::OptionDeclaration& o : declaration.options) {
      if (!o.argument.empty() && parsed->has(std::string(o.name)))
        std::abort();  // a flag only if declared so
    }
  }
  return 0;
}
