// Checking a project against its own record: its modification log taken back step by step from
// the members as they are, down to where the log begins, must give the members the log recorded
// then, and those that came from the instrument must read as its kept bytes or files say.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "model/project.h"

namespace kro {

struct ReplayReport {
  // What the record does not explain: a reading that differs from the instrument's data or from
  // what the log recorded, a kept file missing or changed, a damaged log (UTF-8 sentences).
  std::vector<std::string> findings;
  // Where the check begins (a sentence); empty without a log.
  std::string start;
  // Per member and reading of the project: changed since the log began.
  std::vector<std::vector<bool>> corrected;
};

// The check. file: the project's file, beside which the kept received bytes are looked for
// (empty: only where the record says they were). Without sources, only the log is checked.
ReplayReport replayRecord(const Project& project, const std::filesystem::path& file, bool readSources = true);

// The readings changed since the log began: changes, oldest first, are those after the log's
// beginning (saved, then drafted). Only positions are followed, nothing is copied: it runs after
// every change in the window.
std::vector<std::vector<bool>> correctedReadings(const std::vector<MemberRecord>& members,
                                                 const std::vector<const LogChange*>& changes);
// Each corrected reading's value when the log began and the newest change to it (an index into
// changes), keyed by member and reading.
struct ReadingCorrection {
  std::string original;  // GBK, as logged
  std::size_t change = 0;
};
std::map<std::pair<int, int>, ReadingCorrection> readingCorrections(
    const std::vector<MemberRecord>& members, const std::vector<const LogChange*>& changes);
// The changes after the last beginning of a log.
std::vector<const LogChange*> changesSinceBeginning(const std::vector<LogEntry>& log);

// What a log entry is in words, for lists and the command line (UTF-8).
struct EntryTexts {
  std::string member;   // the member's code, or codes
  std::string reading;  // "5" (counted from 1), or empty
  std::string field, oldValue, newValue, who, account, host, when, why, hash;
};
EntryTexts entryTexts(const LogEntry& entry);

// The counts of a project's readings by origin, and those corrected.
struct OriginCounts {
  int transfer = 0, instrumentFile = 0, imported = 0, typed = 0, unrecorded = 0, corrected = 0;
};
OriginCounts originCounts(const std::vector<MemberRecord>& members,
                          const std::vector<std::vector<bool>>& corrected);
// "测点来源：传输 233，手工 1；修改过 2 个测点，修改记录 4 条" (origins without readings left out).
std::string recordSummary(const OriginCounts& counts, std::size_t entries);
// What a document shows of a project's record for the members it covers: the log's entries since
// it began (numbered from 1 in the document), each corrected reading's value then with the
// number of its newest entry, and whether the marks need their legend.
struct ShownRecord {
  std::size_t logFirst = 0;  // the entries from here to the log's end are listed
  std::map<std::pair<int, int>, ReadingCorrection> corrections;
  bool legend = false;
};
ShownRecord shownRecord(const Project& project, const std::vector<int>& members);
// The legend of the marks beside readings in documents.
inline constexpr std::string_view kReadingMarksLegend =
    "注：手=手工输入 导=导入 仪=仪器文件；划去的为原值，[n] 为修改记录的序号";
// The thickness a correction strikes through ("122" of the logged "122/0/5").
std::string struckValue(const ReadingCorrection& correction);
// A log entry as a document's 修改记录 row shows it (UTF-8): the reading's number or, for a
// member's field, the field's name; the person or else the account; the time to the minute.
struct ListedEntry {
  std::string member, what, oldValue, newValue, who, when, why;
};
ListedEntry listedEntry(const LogEntry& entry);

// The mark of a reading in the grid: "改" when corrected since the log began, then the origin of
// one not sent by the instrument ("手", "导", "仪"); empty for a transferred, uncorrected one and
// for one whose origin was not recorded.
std::string readingMark(const Reading& reading, bool corrected);

}  // namespace kro
