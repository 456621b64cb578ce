// Command-line parsing.
#include "cli/arguments.h"

namespace kro::cli {

std::optional<Arguments> Arguments::parse(const std::vector<std::string>& args,
                                          const std::set<std::string>& flags,
                                          const std::set<std::string>& valueOptions, std::string& error) {
  Arguments parsed;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() < 2 || arg[0] != '-') {
      parsed.positional_.push_back(arg);
    } else if (valueOptions.count(arg) != 0) {
      if (i + 1 >= args.size()) {
        error = "选项 " + arg + " 需要一个值";
        return std::nullopt;
      }
      parsed.values_[arg] = args[++i];
    } else if (flags.count(arg) != 0) {
      parsed.flags_.insert(arg);
    } else {
      error = "未知选项 " + arg;
      return std::nullopt;
    }
  }
  return parsed;
}

std::optional<std::string> Arguments::value(const std::string& option) const {
  auto it = values_.find(option);
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

}  // namespace kro::cli
