// Command-line parsing.
#include "cli/arguments.h"

#include <charconv>

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
      parsed.values_[arg].push_back(args[++i]);
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
  return it->second.back();
}

std::vector<std::string> Arguments::values(const std::string& option) const {
  auto it = values_.find(option);
  return it == values_.end() ? std::vector<std::string>() : it->second;
}

std::optional<std::int64_t> parseNumber(std::string_view text, std::int64_t min, std::int64_t max) {
  std::int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [at, error] = std::from_chars(text.data(), end, value);
  if (text.empty() || error != std::errc() || at != end || value < min || value > max) return std::nullopt;
  return value;
}

}  // namespace kro::cli
