// The Word reports: the report of a format, built-in or the office's own, then the data table,
// each a template filled with the project's values (report/template_filler.h).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/date_text.h"
#include "model/project.h"
#include "model/report_figures.h"
#include "report/office_paths.h"
#include "report/project_check.h"
#include "report/project_parameters.h"
#include "report/template_filler.h"
#include "report/user_format.h"
#include "settings/program_paths.h"

namespace kro {

struct ReportOutput {
  std::filesystem::path report;
  std::filesystem::path dataTable;  // empty when the data table could not be made
  std::string dataTableError;       // why, then; the report was written all the same
  // A data table of an earlier report under the new table's name, moved aside so that it is
  // never taken for this report's (empty when there was none, or it could not be moved).
  std::filesystem::path earlierTableMovedTo;
  bool earlierTableLeft = false;  // one was there and could not be moved
};

// A data table left by an earlier report under `table` gets a name of its own ("‹名›-旧.docx",
// "‹名›-旧2.docx", …), noted in output, so that the new report is never paired with it.
void moveEarlierTableAside(const std::filesystem::path& table, ReportOutput& output);

// What the user is told when the report was written without its data table: both files and
// what each now holds.
std::string dataTableProblemText(const ReportOutput& output, const std::filesystem::path& tablePath);

// The data table's limit: the rows a word processor's table holds (Word: 32,767). One row per
// ticked member, then one per ten of its readings (one without readings).
inline constexpr std::int64_t kMaxDataTableRows = 32767;
std::int64_t dataTableRowCount(const Project& project);

// Writes the report of a format and its data table for the ticked members. Refused when no
// member is ticked; a data table beyond its limit, or that fails, leaves the report written,
// and the output says why.
Result<ReportOutput> writeReport(const Project& project, const ParameterValues& parameters,
                                 const ChosenFormat& format, TemplateFiller& filler, const OfficePaths& paths,
                                 const CalendarDate& today, const CancelFlag* cancel = nullptr);

// What the project check needs of a format: a built-in's printed parameters, or a user format's
// parameters and problems (a template that cannot be read is one problem).
FormatFields formatFields(const ChosenFormat& format, TemplateFiller& filler);

// The format a report writes: the given one or the chosen one (built-in or the user's); refused
// for a project without members or ticked members, or without a chosen format, with a message.
Result<ChosenFormat> reportFormatToWrite(const Project& project, const SettingsLocation& settings,
                                         std::optional<ChosenFormat> format);

}  // namespace kro
