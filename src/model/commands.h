// The changes a user can make to a project, each as an undoable command.
//
// A command keeps only what it needs to go both ways (the old and new values of what it
// touches), so an undo history grows with the edits, not with the document. A command that
// changes a member's readings, design thickness or deviations stores the statistics recomputed
// from the readings and gives the old stored bytes back on undo.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "model/project.h"

namespace kro {

// What a command did, for the document to choose its current member and reading and refresh.
struct CommandEffect {
  // The member to make current: the one the change concerns. Nothing: keep the current one;
  // -1: no member is left.
  std::optional<int> member;
  // The reading row to make current.
  std::optional<int> reading;
  // Members were inserted or removed, or many rows changed: the member list is rebuilt.
  bool listChanged = false;
  // What of the member changed, so that only the views showing it are repainted: its tick or a
  // text (name, date) leave its readings, their colours and the chart as they were.
  enum class Touched { Everything, Tick, Text };
  Touched touched = Touched::Everything;
  // The rows of several members changed alike (ticks in bulk), updated in place.
  std::vector<int> rows{};
};

class Command {
 public:
  virtual ~Command() = default;
  // The name shown in the undo and redo menu items (UTF-8), e.g. "删除构件 0003".
  virtual std::string name() const = 0;
  virtual CommandEffect redo(Project& project) = 0;
  virtual CommandEffect undo(Project& project) = 0;
  // Takes over next, which was run right after this command (the next keystroke in the same
  // box). True when next is now part of this command.
  virtual bool mergeWith(const Command& next);
  // The members the command changes in place (none: it adds or removes members), so that what
  // changed is found by looking at these alone.
  virtual std::optional<std::vector<int>> changedInPlace() const { return std::nullopt; }
  // Where the members it adds came from, recorded among the project's sources; none by default.
  virtual const ProjectSource* source() const { return nullptr; }
};

// One value of a reading set anew: its thickness, or its second value (aux).
struct ReadingChange {
  int index = 0;
  bool aux = false;
  std::int32_t value = 0;
};

enum class ReadingEditKind { Typed, Paste };

// Sets values of one member's readings, in order (a reading changed twice ends with its last
// value). Nothing (a null command) when no reading would change or an index is out of range.
std::unique_ptr<Command> makeEditReadings(const Project& project, int member,
                                          std::vector<ReadingChange> changes, ReadingEditKind kind);

// Inserts a reading at index (0..readingCount: before the reading there, or after the last);
// null when index is outside that range.
std::unique_ptr<Command> makeInsertReading(const Project& project, int member, int index, Reading reading);
// Sets the thicknesses from index on, appending readings beyond the last one (a paste); null
// when nothing would change or index is outside 0..readingCount.
std::unique_ptr<Command> makePasteReadings(const Project& project, int member, int index,
                                           const std::vector<std::int32_t>& thicknesses);
// Deletes reading row; null when row is out of range.
std::unique_ptr<Command> makeDeleteReading(const Project& project, int member, int row);
// Removes several readings in one step (rows in any order; those out of range are left out);
// null when none is left to remove.
enum class ReadingRemoval { Cut, Delete };
std::unique_ptr<Command> makeDeleteReadings(const Project& project, int member, std::vector<int> rows,
                                            ReadingRemoval why);

// A field of the member panel.
enum class MemberField { Name, TestDate, DesignThickness, PlusDeviation, MinusDeviation };

// Sets one text field (name or test date, GBK, cut at its capacity); null when unchanged.
std::unique_ptr<Command> makeSetMemberText(const Project& project, int member, MemberField field,
                                           std::string_view gbk);
// Sets design thickness or a deviation; null when unchanged.
std::unique_ptr<Command> makeSetMemberNumber(const Project& project, int member, MemberField field,
                                             std::int32_t value);
// Ticks or unticks a member; null when unchanged.
std::unique_ptr<Command> makeSetSelected(const Project& project, int member, bool selected);
// Ticks, unticks or inverts the ticks of members, in one step; null when nothing changes.
enum class TickAction { Tick, Untick, Invert };
std::unique_ptr<Command> makeSetTicks(const Project& project, const std::vector<int>& members,
                                      TickAction action);

// Appends a member at the end.
std::unique_ptr<Command> makeAppendMember(const Project& project, MemberRecord member);
// Appends another project's members (a merge, a transfer added to the open project); from names
// where they came from for the undo menu, source (when given) is recorded among the project's
// sources, and stays there when the step is undone. Null without members.
std::unique_ptr<Command> makeAppendMembers(const Project& project, std::vector<MemberRecord> members,
                                           std::string_view from,
                                           std::optional<ProjectSource> source = std::nullopt);
// Deletes a member; null when the index is out of range.
std::unique_ptr<Command> makeDeleteMember(const Project& project, int member);

// The values the batch edit sets; absent values stay as they are.
struct BatchValues {
  std::optional<std::int32_t> designThickness;
  std::optional<std::int32_t> plusDeviation;
  std::optional<std::int32_t> minusDeviation;  // stored as given (the caller fixes the sign)
  std::optional<std::string> testDate;         // GBK
  std::optional<std::uint8_t> sample;          // 抽样批次: 1, or 2 for a second sample
  bool empty() const { return !designThickness && !plusDeviation && !minusDeviation && !testDate && !sample; }
};

// Sets the values on each listed member; null when no member would change. changedCount, when
// given, receives the number of members the command changes.
std::unique_ptr<Command> makeBatchEdit(const Project& project, const std::vector<int>& members,
                                       const BatchValues& values, int* changedCount = nullptr);

// Replaces the project's report parameters; null when unchanged.
std::unique_ptr<Command> makeSetParameters(const Project& project, ProjectParameters parameters);

}  // namespace kro
