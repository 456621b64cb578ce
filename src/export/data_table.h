// The data table that ends every Word report: the selected members' readings in a ten-column
// table, one merged header row per member, ten readings a row.
#pragma once

#include <cstdint>

#include "model/project.h"
#include "report/office_paths.h"
#include "report/word_session.h"

namespace kro {

// Rows of the table: for each selected member 1 + ceil(n / 10), or 2 when n is 0.
int dataTableRowCount(const Project& project);
// "%s(%s)         设计厚度:%d        %s" of code, name, design thickness and test date (UTF-8).
std::string dataTableHeader(const MemberRecord& member);

inline constexpr std::uint32_t kOutOfToleranceColor = 0xFF0000;

// The most readings a data table takes: a word processor document of this many cells already
// needs about 1.5 GB to be made. Beyond it the table is refused before any work.
inline constexpr std::int64_t kMaxDataTableReadings = 500'000;

// Makes the data table document from "表格.docx" and names it "数据表格.docx" in the output folder.
// On a failure its document is discarded; documents made before it are kept.
Status exportDataTable(const Project& project, WordSession& word, const OfficePaths& paths);

}  // namespace kro
