// The check before a project is handed over: what would make its reports wrong or empty.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/project.h"
#include "settings/program_paths.h"

namespace kro {

// The parameters a report format (0..5) puts into its Word report, in the format's field order.
std::vector<std::string_view> printedParameters(int reportFormat);

struct Finding {
  enum class Kind {
    NoReadings,
    ZeroTolerance,
    DesignNotPositive,
    DuplicateCode,
    NothingTicked,
    ReadingsOutOfRange,
    NoFormatChosen,
    EmptyParameter,
  };
  Kind kind;
  int member = -1;        // the member concerned (index), -1 for none
  std::string parameter;  // the parameter concerned, for EmptyParameter
  std::string message;    // one line naming the member or parameter
};

// The plausible range of a reading, in mm.
inline constexpr int kLowestPlausibleReading = 1;
inline constexpr int kHighestPlausibleReading = 9999;

// Every finding, members first in member order, then the report's parameters: of `format`
// (0..5) when given, else of the chosen format.
std::vector<Finding> checkProject(const Project& project, const SettingsLocation& settings,
                                  std::optional<int> format);

// The key of a kind for scripts ("noReadings", ...).
std::string_view findingKindName(Finding::Kind kind);

}  // namespace kro
