// User report formats: a .docx whose body, headers, footers and text boxes hold fields written
// as text, {{工程名称}}, in any run formatting (a word processor splits such a text over several
// runs as it is edited). The fields are found across runs and filled, keeping the formatting of
// the field's first character; a member part ({{#构件}} … {{/构件}}: table rows, or the
// paragraphs between) is repeated per ticked member, and a reading row ({{#测点}}) in it per ten
// readings, a failing reading red.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "model/date_text.h"
#include "model/project.h"
#include "model/result.h"
#include "office/package.h"
#include "report/office_paths.h"
#include "report/project_check.h"
#include "report/project_parameters.h"
#include "report/report_generator.h"
#include "report/user_format.h"

namespace kro {

// What a template's fields are, or what is wrong with them.
struct TemplateFields {
  std::vector<std::string> problems;            // each names the field and where it stands
  std::vector<std::string> parameters;          // report parameters it prints, in order of use
  std::vector<std::string> declaredParameters;  // {{参数:名称}}: its own, by name
  int memberParts = 0;
};

// Reads a template and checks every field; fails only when the file is no usable .docx.
Result<TemplateFields> checkUserTemplate(const std::filesystem::path& file);
// What the project check needs of a format: a built-in's printed parameters, or a user format's
// parameters and problems (a template that cannot be read is one problem).
FormatFields formatFields(const ChosenFormat& format);

// Fills the template with the values and writes the document to out (refused, with every
// problem, when the template has any).
Status fillUserTemplate(const std::filesystem::path& file, const UserReportValues& values,
                        const std::filesystem::path& out);
// The same two from a template's parts already read; name names it in messages.
Result<TemplateFields> checkUserTemplate(PackageParts parts, const std::filesystem::path& name);
Status fillUserTemplate(PackageParts parts, const std::filesystem::path& name, const UserReportValues& values,
                        const std::filesystem::path& out);

// The report of any format, built-in or the user's, and its data table.
Result<ReportOutput> writeReport(const Project& project, const ParameterValues& parameters,
                                 const ChosenFormat& format, const OfficePaths& paths,
                                 const CalendarDate& today, const CancelFlag* cancel = nullptr);

// The report of a user format and its data table, as writeWordReport does for the six.
Result<ReportOutput> writeUserReport(const Project& project, const ParameterValues& parameters,
                                     const std::filesystem::path& templateFile, const OfficePaths& paths,
                                     const CalendarDate& today, const CancelFlag* cancel = nullptr);

}  // namespace kro
