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
    EmptyBand,
    BandOutOfRange,
    DeviationSign,
    EmptyParameter,
    InvalidRule,
    TemplateField,
    JudgingRule,  // the stored rule cannot be used
    StandardEdition,  // 检测依据 names another edition than the rule's, or the 2015 edition under 逐点判定
    PointCount,       // a member has another number of readings than the rule's points
    TooFewMembers,  // fewer ticked members than the rule's sample
    SecondSample,   // a second sample is needed, smaller than the first, or not needed
    Record,         // the data differ from their sources or the modification log, or the log is damaged
  };
  Kind kind;
  int member = -1;        // the member concerned (index), -1 for none
  std::string parameter;  // the parameter concerned, for EmptyParameter
  std::string message;    // one line naming the member or parameter
};

struct ProjectCheck {
  std::vector<Finding> findings;
  // What the user should know but need not change: the verdict by the acceptance rule, the
  // members a report leaves out. They do not count as findings.
  std::vector<std::string> notes;
};

// What a format prints, to check the project's parameters against: a built-in format's
// printed parameters, or what the office layer read from a user format (its parameters, those
// it declares, and what is wrong with its fields).
struct FormatFields {
  std::string name;
  std::vector<std::string> printed;
  std::vector<std::string> problems;
};
FormatFields builtInFormatFields(int reportFormat);

// Every finding, members first in member order, then the report's parameters (the project's,
// over the settings' defaults) and the fields of the format; with no format, a note says that
// no format's parameters were checked.
ProjectCheck checkProject(const Project& project, const SettingsLocation& settings,
                          const std::optional<FormatFields>& format);
// The same with a built-in format (0..5) when given, else the chosen built-in format.
ProjectCheck checkProject(const Project& project, const SettingsLocation& settings,
                          std::optional<int> format);

// Adds what the project's own record does not explain (model/record_replay.h) as findings, and
// where its check begins as a note; file: the project's file, beside which kept bytes are found.
void addRecordFindings(ProjectCheck& check, const Project& project, const std::filesystem::path& file);

// The key of a kind for scripts ("noReadings", ...).
std::string_view findingKindName(Finding::Kind kind);

}  // namespace kro
