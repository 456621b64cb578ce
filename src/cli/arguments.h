// Command-line parsing: positional inputs, flags and options with values.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kro::cli {

class Arguments {
 public:
  // Parses args (without the program and command names). Options in valueOptions take the
  // next argument; every other argument starting with "-" is a flag and must be in flags.
  static std::optional<Arguments> parse(const std::vector<std::string>& args,
                                        const std::set<std::string>& flags,
                                        const std::set<std::string>& valueOptions, std::string& error);

  bool has(const std::string& flag) const { return flags_.count(flag) != 0; }
  std::optional<std::string> value(const std::string& option) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::set<std::string> flags_;
  std::map<std::string, std::string> values_;
  std::vector<std::string> positional_;
};

}  // namespace kro::cli
