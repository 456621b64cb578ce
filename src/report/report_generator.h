// The Word reports: the shared sequence (template, working copy, fill-in, data table) and the
// fill-in of each of the six formats.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "model/date_text.h"
#include "model/project.h"
#include "model/report_figures.h"
#include "report/office_paths.h"
#include "report/project_parameters.h"
#include "report/user_format.h"
#include "report/word_session.h"
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

// "    本次检测的…工程楼板厚度共计…点，其中合格点…个，合格点率为…%，…工程的楼板厚度检测结果为…。"
// over the ticked members, with the verdict by the project's rule.
std::string conclusionSentence(const std::string& projectName, const ReportFigures& figures);

// Writes the report of one format (0..5) and its data table through the session, then finishes
// the session (the documents are written once, complete). Refused when no member is ticked.
// Stops at the first failure of the report; a data table that fails leaves the report to be
// written, and the output says why.
Result<ReportOutput> writeWordReport(const Project& project, const ParameterValues& parameters,
                                     int reportFormat, WordSession& word, const OfficePaths& paths,
                                     const CalendarDate& today, const CancelFlag* cancel = nullptr);

// The format a report writes: the given one or the chosen one (built-in or the user's); refused
// for a project without members or ticked members, or without a chosen format, with a message.
Result<ChosenFormat> reportFormatToWrite(const Project& project, const SettingsLocation& settings,
                                         std::optional<ChosenFormat> format);

// The command: refuses a project without members and a missing format choice with a message
// (nothing written), and writes the chosen format (or the given one) for the ticked members,
// with the project's parameters over the settings' defaults.
Result<ReportOutput> generateWordReport(const Project& project, const SettingsLocation& settings,
                                        WordSession& word, const OfficePaths& paths,
                                        std::optional<int> format, const CalendarDate& today);

}  // namespace kro
