// Command-line parsing.
#include "cli/arguments.h"

#include <charconv>

#include "cli/command_declarations.h"

namespace kro::cli {

Result<Arguments> Arguments::parse(const std::vector<std::string>& args,
                                   const CommandDeclaration& declaration) {
  auto declared = [&declaration](std::string_view name) -> const OptionDeclaration* {
    for (const OptionDeclaration& o : declaration.options) {
      if (o.name == name) return &o;
    }
    return nullptr;
  };
  Arguments parsed;
  bool options = true;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!options || arg.size() < 2 || arg[0] != '-') {
      parsed.positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options = false;
      continue;
    }
    const std::size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
    const std::string name = arg.substr(0, equals);
    const OptionDeclaration* option = declared(name);
    if (option == nullptr) {
      return Error{"未知选项 " + name};
    }
    if (option->argument.empty()) {
      if (equals != std::string::npos) {
        return Error{"选项 " + name + " 不带值"};
      }
      parsed.flags_.insert(name);
    } else if (equals != std::string::npos) {
      parsed.values_[name].push_back(arg.substr(equals + 1));
    } else if (i + 1 < args.size()) {
      parsed.values_[name].push_back(args[++i]);
    } else {
      return Error{"选项 " + name + " 需要一个值（" + std::string(option->argument) + "）"};
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
