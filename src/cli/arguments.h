// Command-line parsing: positional inputs, flags and options with values.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"

namespace kro::cli {

struct CommandDeclaration;

class Arguments {
 public:
  // Parses args (without the program and command names) by the command's declared options:
  // an option with an argument takes the next one, or the text after "=" ("--format=2"); "--"
  // ends the options; anything else starting with "-" (but "-" alone) must be a declared flag.
  static Result<Arguments> parse(const std::vector<std::string>& args, const CommandDeclaration& declaration);

  bool has(const std::string& flag) const { return flags_.count(flag) != 0; }
  // The option's value (the last one when given more than once).
  std::optional<std::string> value(const std::string& option) const;
  // Every value of an option given more than once, in order.
  std::vector<std::string> values(const std::string& option) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::set<std::string> flags_;
  std::map<std::string, std::vector<std::string>> values_;
  std::vector<std::string> positional_;
};

// A whole decimal number from the command line within [min, max]: digits only, with a "-" for
// negative numbers; no sign "+", spaces, fractions or trailing characters. Nothing otherwise.
std::optional<std::int64_t> parseNumber(std::string_view text, std::int64_t min, std::int64_t max);

}  // namespace kro::cli
