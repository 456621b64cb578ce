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

// Where a field may stand: anywhere, inside a member part, or in a reading row of one.
enum class FieldScope { Project, Member, Reading };

// The scope of a field's name (markers excluded); nothing for a name no format knows.
std::optional<FieldScope> fieldScope(std::string_view name);
// The parameter a figure field shows in another form (报告日期简写: 报告日期), or none.
std::optional<std::string_view> parameterBehind(std::string_view field);
// True for the names a member part gives its member's values (合格率 and 结论 among them, which
// are the project's outside member parts).
bool isMemberField(std::string_view name);
// Every name of a field of that scope, for the starting template and `kro formats`.
std::vector<std::string> fieldNames(FieldScope scope);

struct MemberFieldValues {
  std::map<std::string, std::string, std::less<>> fields;
  std::vector<std::pair<std::string, bool>> readings;  // text, and whether it passes
};

// Every value a format can show, for the ticked members.
struct ReportValues {
  std::map<std::string, std::string, std::less<>> project;  // parameters and figures
  std::vector<MemberFieldValues> members;
  // Pictures for image fields ({{图:名称 宽x高}}), by name: PNG bytes. A field without one
  // shows nothing.
  std::map<std::string, std::string, std::less<>> images;
  // The value of a project field, declared parameters included; empty when there is none.
  std::string projectField(std::string_view name) const;
};
ReportValues reportValues(const Project& project, const ParameterValues& parameters,
                          const CalendarDate& today);

}  // namespace kro
