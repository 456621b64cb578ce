// What a report shows: every field of every format, built-in or the office's own, with its
// value for a project. The six built-in formats, the data table and user formats are .docx
// templates whose {{fields}} an office layer fills (report/template_filler.h); this part knows
// the fields and their values, nothing of the document.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/date_text.h"
#include "model/project.h"
#include "report/project_parameters.h"

namespace kro {

// Where a field may stand: anywhere, inside a member part, in a reading row of one, or inside a
// 修改记录 part (a row per entry of the modification log).
enum class FieldScope { Project, Member, Reading, LogEntry };

// The scope of a field's name (markers excluded); nothing for a name no format knows.
std::optional<FieldScope> fieldScope(std::string_view name);
// The parameter a figure field shows in another form (报告日期简写: 报告日期), or none.
std::optional<std::string_view> parameterBehind(std::string_view field);
// True for the names a member part gives its member's values (合格率 and 结论 among them, which
// are the project's outside member parts).
bool isMemberField(std::string_view name);
// Every name of a field of that scope, for the starting template and `kro formats`.
std::vector<std::string> fieldNames(FieldScope scope);

using FieldMap = std::map<std::string, std::string, std::less<>>;

// A reading as a report shows it: its value, its mark ("手", or "[2]": the 修改记录 entry that
// corrected it), and a corrected one's value when the log began, struck through.
struct ReadingValue {
  std::string text;
  bool passes = true;
  std::string struck{};
  std::string mark{};
};

struct MemberFieldValues {
  FieldMap fields;
  std::vector<ReadingValue> readings;
};

// Every value a format can show, for the ticked members.
struct ReportValues {
  FieldMap project;  // parameters and figures
  std::vector<MemberFieldValues> members;
  // The modification log's entries since it began, oldest first: 序号, 构件, 测点, 原值, 新值,
  // 修改人, 修改时间, 原因.
  std::vector<FieldMap> logEntries;
  // Pictures for image fields ({{图:名称 宽x高}}), by name: PNG bytes. A field without one
  // shows nothing.
  std::map<std::string, std::string, std::less<>> images;
  // The document's custom properties, by name (an issued report's code).
  std::map<std::string, std::string, std::less<>> properties;
  // The value of a project field, declared parameters included; empty when there is none.
  std::string projectField(std::string_view name) const;
};
ReportValues reportValues(const Project& project, const ParameterValues& parameters,
                          const CalendarDate& today);

}  // namespace kro
