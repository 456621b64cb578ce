// The readings as CSV for spreadsheets and scripts, and back.
//
// The layout: UTF-8 with a byte-order mark (spreadsheet programs then read the Chinese texts),
// RFC 4180 quoting, CRLF line ends, the header row kCsvHeader, then one row per reading. A
// member without readings gives one row whose 测点号 and the three columns after it are empty.
// 偏差 is 厚度值 − 设计厚度, 是否合格 "√" or "×" and 来源 where the reading came from ("传输",
// "仪器文件", "导入", "手工", "未记录"); all three are for the reader and ignored when read (imported
// readings are 导入). Columns are found by their headings, in any order; the layout before 来源
// was added reads alike.
// A text cell beginning with =, +, -, @, ', tab or CR is written with a leading apostrophe, so a
// spreadsheet shows it as text instead of running it; reading takes exactly one off again.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/member_record.h"
#include "model/project.h"

namespace kro {

inline constexpr std::string_view kCsvHeader =
    "测区编号,构件名称,测试日期,设计厚度,允许负偏差,允许正偏差,测点号,厚度值,偏差,是否合格,来源";

// Every member of the project, in order; texts as stored (测试日期 as it is, 允许负偏差 with its
// sign).
std::string projectToCsv(const Project& project);

// Members from CSV bytes in that layout, UTF-8 (with or without the byte-order mark) or GBK:
// members in the order of their first row; rows of one member are those with the same 测区编号,
// 构件名称 and 测试日期, in any order. Each reading goes to its 测点号, which must run from 1 to
// the member's count without gaps or repeats; a member whose rows give no 测点号 at all takes
// them in row order. Members are ticked; the fields the CSV does not carry are those of a newly
// constructed member, the stored statistics those of the readings. The first error names its
// line; then nothing is returned. notes receives one sentence naming columns not ours (ignored).
Result<std::vector<MemberRecord>> membersFromCsv(std::string_view bytes,
                                                 std::vector<std::string>* notes = nullptr);

}  // namespace kro
