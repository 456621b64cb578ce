// The project's report parameters as the reports use them: one field per name across the six
// formats (their synonyms are one field), the values a project carries, and the defaults of
// the per-format settings files for what it does not carry.
//
// A value is looked up by the name a format gives it; the project's stored value wins, then
// the settings file of the chosen format, then the first of the six files that has a non-empty
// value, then the field's built-in default (the fixed text the reports printed before the
// field existed). Only the office fields go back to the settings files, so a new project shows
// the office's values and empty project fields, never the last project's 工程名称.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/figure_text.h"
#include "model/judging_rule.h"
#include "model/project.h"
#include "report/report_parameters.h"
#include "settings/program_paths.h"

namespace kro {

inline constexpr std::string_view kAcceptanceRuleKey = "合格率要求";
inline constexpr std::string_view kStandardKey = "检测依据";
// The project's judging rule by name; its definition is stored beside it, each field of it
// under "判定规则." and the field's key (model/judging_rule.h).
inline constexpr std::string_view kJudgingRuleKey = "判定规则";
inline constexpr std::string_view kRuleFieldPrefix = "判定规则.";
// How many representative rooms (自然间) the project has: a member rule's sample is 1 % of them.
inline constexpr std::string_view kRoomCountKey = "代表性自然间总数";

struct ParameterDefinition {
  std::string_view name;  // the field's own name, stored in the project
  ParameterKind kind;
  std::vector<std::string_view> synonyms;  // the same field in some formats (工程地点 = 工程地址)
  std::string_view builtInDefault;         // what a project shows when nothing else gives a value
  bool office = false;                     // kept in the settings files for the next project
};

// Every field, in the order of format 1's page, then the fields the other formats add, then
// 合格率要求.
const std::vector<ParameterDefinition>& parameterDefinitions();
// The field a name (or synonym) belongs to; none for a name no format knows.
const ParameterDefinition* parameterDefinition(std::string_view name);
// The field's own name for a name or synonym; the name itself when no format knows it.
std::string_view canonicalParameterName(std::string_view name);

// The values a report uses, UTF-8, by the field's own name; other names (stored by a user
// format or a later version) as they are.
class ParameterValues {
 public:
  // The value of a field by any of its names; empty when there is none.
  std::string operator()(std::string_view name) const;
  void set(std::string_view name, std::string value);
  bool has(std::string_view name) const;
  // The judging rule and the threshold it judges by: the stored definition, else the built-in
  // rule of the stored name, else "逐点判定"; the threshold the rule's own or 合格率要求 (90 %
  // when that is not a valid rate).
  RuleInForce rule() const;
  // Why the stored rule could not be used (an unknown name without a definition, a damaged
  // definition); empty when it could.
  std::string ruleProblem() const;
  // The rule's name and whole definition; with followCitation 检测依据 follows it when it held a
  // rule's citation or nothing.
  void setRule(const JudgingRule& rule, bool followCitation = true);
  // Removes the rule's name and definition.
  void clearRule();
  // True when 合格率要求 is empty or not a valid rule.
  bool ruleInvalid() const;
  const std::map<std::string, std::string, std::less<>>& all() const { return values_; }
  bool operator==(const ParameterValues&) const = default;

 private:
  std::map<std::string, std::string, std::less<>> values_;
};

// The defaults of a project that carries no parameters: the settings files, then built-ins; the
// office's chosen rule with its definition.
ParameterValues defaultParameters(const SettingsLocation& settings);

// The rules an office may choose: the built-in ones, then the office's own from the folder
// "判定规则" of the configuration folder (one settings file each; a file of a built-in rule's name
// replaces it). A file that is no rule is named in problems and skipped.
struct OfficeRules {
  std::vector<JudgingRule> rules;
  std::vector<std::string> problems;
};
OfficeRules officeRules(const SettingsLocation& settings);
std::filesystem::path officeRuleFolder(const SettingsLocation& settings);
// Writes a rule into the office's folder (its name is the file's); the old file is replaced only
// by a complete one.
Status saveOfficeRule(const SettingsLocation& settings, const JudgingRule& rule);
// A rule by name among the office's, or the refusal with the names there are.
Result<JudgingRule> officeRuleNamed(const SettingsLocation& settings, std::string_view name);
// The project's stored values over the defaults.
ParameterValues effectiveParameters(const ProjectParameters& stored, const ParameterValues& defaults);
ParameterValues effectiveParameters(const Project& project, const SettingsLocation& settings);

// The values as a project stores them (GBK): every known field in order, then the other names.
// A value that did not change keeps the bytes it had in previous. Fails, naming the field, on a
// character GBK cannot hold.
Result<ProjectParameters> toStoredParameters(const ParameterValues& values,
                                             const ProjectParameters& previous);

// The office's defaults as a project stores them (every field and the chosen rule's definition,
// fromDefaults set), for new data: a new project, a transfer, an import.
ProjectParameters officeParameters(const SettingsLocation& settings);
// The same for a file that carries no parameters: judged "逐点判定", the rule of every file that
// stores none.
ProjectParameters officeParametersForOldFile(const SettingsLocation& settings);
// Gives those to a project that carries no parameters and keeps no unreadable block of them; true
// when it did.
bool adoptOfficeParameters(Project& project, const SettingsLocation& settings);

// Writes the office fields into every format's settings file (by the name the format gives the
// field) and clears the project fields there; the old files are replaced only by complete ones.
Status saveOfficeDefaults(const SettingsLocation& settings, const ParameterValues& values);

// What the parameters dialog's OK keeps besides the project's values: the chosen format (-1:
// none), and the office fields as the defaults of later projects.
Status saveDialogDefaults(const SettingsLocation& settings, const ParameterValues& values, int chosenFormat);

// Report 1's date form of a parameter date: "2026--12--8"; empty for an empty or unreadable text.
std::string reportOneDate(std::string_view parameterDateText);

}  // namespace kro
