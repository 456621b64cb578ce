// The measurement document: one project, its file, the current member and reading, and the
// undo history of the commands that change it.
//
// Every change is a command (model/commands.h) run through the undo stack; after each one, and
// after every undo and redo, the document tells the window side to show everything afresh
// through DocumentFrontend, and the window computes every figure from the readings
// (model/statistics.h). The document never reaches a window directly.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/result.h"
#include "model/commands.h"
#include "model/date_text.h"
#include "model/document_frontend.h"
#include "model/file_io.h"
#include "model/file_lock.h"
#include "model/project.h"
#include "model/undo_stack.h"

namespace kro {

// A value for one grid cell: row is the reading index, column the grid column.
struct CellValue {
  int row = 0;
  int column = 0;
  std::int32_t value = 0;
};

// A change about to be kept in the modification log, for the user to give the reason.
struct ChangeRequest {
  std::string what;                      // the step's name (UTF-8)
  bool reasonRequired = false;           // it alters readings the instrument sent
  std::vector<std::string> reasonsUsed;  // in this project, the latest first (UTF-8)
};
// The reason given (UTF-8, may be empty when none is required), or nothing: the change is not made.
using ChangeGate = std::function<std::optional<std::string>(const ChangeRequest&)>;

// The batch edit: the values to set and on which members.
struct BatchEditRequest {
  bool tickedOnly = true;  // the ticked members, otherwise all
  std::vector<int> only;   // when given: these members (just appended ones), whatever their ticks
  BatchValues values;      // a positive minus deviation is taken as its negative
};

class CKroAnalyzeDoc {
 public:
  // The title of a document without a file.
  static constexpr std::string_view kUntitled = "楼板仪数据文件";

  // frontend: the views to repaint after each change; none for a document nobody watches.
  explicit CKroAnalyzeDoc(DocumentFrontend* frontend = nullptr);
  CKroAnalyzeDoc(const CKroAnalyzeDoc&) = delete;
  CKroAnalyzeDoc& operator=(const CKroAnalyzeDoc&) = delete;

  void setFrontend(DocumentFrontend* frontend);
  // Today, for the test date of appended members (default: the system's local date).
  void setDateSource(std::function<CalendarDate()> today) { today_ = std::move(today); }
  // The office's parameters, given to a project whose file carries none (openedFile true; the
  // project then counts as modified until saved) and to a new project. Without it projects keep
  // what they have.
  void setParameterDefaults(std::function<ProjectParameters(bool openedFile)> defaults) {
    defaults_ = std::move(defaults);
  }
  // The band of a project's first member (the one used last in this configuration folder).
  void setNewMemberBand(MemberBand band) { newMemberBand_ = band; }
  const MemberBand& newMemberBand() const { return newMemberBand_; }
  // Who records the changes (model/modification_log.h); by default the system account alone.
  void setRecorder(Recorder recorder) { recorder_ = std::move(recorder); }
  const Recorder& recorder() const { return recorder_; }
  // Asked before a change to a saved or transferred value is kept, for its reason. Without it a
  // change that requires a reason (to a reading the instrument sent) is not made.
  void setChangeGate(ChangeGate gate) { gate_ = std::move(gate); }
  // The log as it will be saved: the project's entries, then those drafted since it was saved.
  std::vector<LogEntry> recordedLog() const;
  // The project with that log, for what is written or checked from the open document.
  Project projectAsRecorded() const {
    Project p = project_;
    p.log = recordedLog();
    return p;
  }
  // The same without sealing anything, for marks shown after every change: the changes since
  // the log began (valid until the next change) and the number of entries.
  std::vector<const LogChange*> recordedChanges() const;
  std::size_t recordedEntryCount() const { return project_.log.size() + draft_.entryCount(); }
  // The modification log is damaged and no new one was begun: the project may not be changed.
  bool logLocked() const { return project_.logDamaged() && !newSegment_; }
  // Begins a new log after the damaged one (which stays in the file as it is); changes are then
  // allowed again.
  void beginNewLog();
  // Marks every file opened as the document's by a lock file beside it (model/file_lock.h),
  // naming program; without it (tests, a document nobody sees) no lock is taken.
  void useFileLocks(std::string program) { lockProgram_ = std::move(program); }

  // --- Members ---
  const Project& project() const { return project_; }
  int memberCount() const { return project_.memberCount(); }
  const std::vector<MemberRecord>& members() const { return project_.members; }
  const MemberRecord* memberAt(int index) const { return project_.memberAt(index); }
  const MemberRecord* currentMemberRecord() const { return memberAt(currentMember_); }
  int currentMember() const { return currentMember_; }
  int currentReading() const { return currentReading_; }

  // Makes member index current and shows it in the list, panel, grid and chart, also when it
  // already is current; nothing when out of range.
  void selectMember(int index);
  // Makes reading index current (ignored when negative) and refreshes the views asked for.
  void setCurrentReading(int index, bool refill, bool redraw);

  // --- File state ---
  const std::filesystem::path& path() const { return path_; }
  // The file name, or "楼板仪数据文件" without a file, with what the project is when it has no
  // file of its own ("由原始数据解码：…", a recovered file).
  std::string title() const;
  // True when the project differs from its file: edits since it was saved or loaded, or
  // parameters given from the office's defaults that the file does not carry yet.
  bool isModified() const { return !history_.isAtSavedState() || project_.parameters.fromDefaults; }
  // Open for reading only: another window holds the file, or no lock file could be made beside
  // it. 保存 then asks for another name; readOnlyReason() says why (a sentence).
  bool isReadOnly() const { return !readOnlyReason_.empty(); }
  const std::string& readOnlyReason() const { return readOnlyReason_; }

  // The file operations below never ask anybody: each returns a DocumentStep that is done, or
  // says why not (a notice), or names the question whose answer it needs; the caller asks and
  // calls again with the answers given so far (askUntilSettled does that with a Prompter).

  // Opens a file as the document (see loadProject) with a new history; its first member becomes
  // current. Kept received bytes become a new project without a file ("由原始数据解码"). A file
  // that cannot be read leaves the document unchanged (an error notice); of a damaged analysis
  // file the intact members before the damage can be opened, when the user agrees
  // (OpenRecovered), as a project without a file (nothing is written over the damaged one).
  // Warnings come as the notice of the done step. With file locks on, a file another window
  // holds is opened read-only when the user agrees (OpenLocked; one of another computer may be
  // taken over instead), and a file beside which no lock can be made is opened read-only with
  // the reason in the notice.
  DocumentStep open(const std::filesystem::path& path, const DocumentAnswers& answers = {});
  // The same with the file loaded already (see loadProject), e.g. off the window's thread; the
  // project is taken from loaded only once the step is done.
  DocumentStep open(const std::filesystem::path& path, Result<LoadedProject>& loaded,
                    const DocumentAnswers& answers = {});
  // Makes project the document, belonging to path (may be empty), with a new history.
  void resetProject(Project project, std::filesystem::path path = {});

  // Whether output may be written, by the rules every write follows (checkOutputPath): above all
  // never one of the files the project was read from (the file opened and, for a raw project,
  // its member data files), which stay protected while they are the document's. Asked before
  // long work, so that the user hears it at once.
  Status checkOutput(const std::filesystem::path& output) const;

  // Writes every member and the project's parameters, without asking.
  Status writeAnalysisFile(const std::filesystem::path& path) const;
  // Writes the selection export (members only); refused for a path with an analysis extension.
  Status writeSelectionExport(const std::filesystem::path& path) const;

  // 保存 (Ctrl+S): the analysis layout to the document's own analysis file, otherwise (and when
  // read-only) to a name asked for (SavePath). When the file changed on disk since it was read
  // or saved, asks first (OverwriteChanged: overwrite, save under another name, or cancel),
  // showing both times. Done when written.
  DocumentStep save(const DocumentAnswers& answers = {});
  // The toolbar's save: the analysis layout to a name asked for (SavePath); the document then
  // belongs to that file. Its own analysis file may be chosen; another file it was read from
  // may not.
  DocumentStep saveAnalysisFileAs(const DocumentAnswers& answers = {});
  // 保存选择构件: the selection export to a name asked for; refused over a file the project was
  // read from.
  DocumentStep saveSelection(const DocumentAnswers& answers = {});
  // Whether to save unsaved changes (SaveModified). Not done when the user cancels or the save
  // fails, so the caller must not go on.
  DocumentStep saveModified(const DocumentAnswers& answers = {});
  // 新建, 关闭: an empty project without a file (the caller asks about unsaved changes first).
  void newDocument();

  // --- Commands (each undoable; nothing when it would change nothing) ---
  // Those that take a thickness (a reading typed, pasted or set in bulk, a design thickness)
  // refuse one outside 1-9999 mm, naming it, and change nothing then.
  // 插入构件: appends a member without readings and makes it current: the first free code of the
  // insert command's sequence, today's date in the form of the current member's, the current
  // member's design thickness and deviations.
  void appendMember();
  // 删除构件: deletes the current member.
  void deleteCurrentMember();
  // Ticks or unticks a member; it becomes current.
  void setSelected(int member, bool selected);
  // Ticks, unticks or inverts several members in one step (勾选, 取消勾选, 全部勾选, 反选); a
  // single member changed becomes current, as a click makes it.
  void setTicks(const std::vector<int>& members, TickAction action);
  // Edits of the current member (nothing without one).
  void setMemberName(std::string_view gbk);
  void setTestDate(std::string_view gbk);
  Status setDesignThickness(std::int32_t value);
  void setPlusDeviation(std::int32_t value);
  // A positive value is taken as its negative. Returns the value stored (or that would be).
  std::int32_t setMinusDeviation(std::int32_t value);
  // A grid edit of the current member: the value typed into a cell.
  Status setCellValue(int row, int column, std::int32_t value);
  // Several cells at once, as one command.
  Status setCellValues(const std::vector<CellValue>& cells, ReadingEditKind kind);
  // A reading typed into the grid's new row: inserted at index (0..readingCount).
  Status insertReading(int index, std::int32_t thickness);
  // Readings pasted from index on, appending beyond the last one, as one step.
  Status pasteReadings(int index, const std::vector<std::int32_t>& thicknesses);
  void deleteReading(int row);
  // Removes these readings of the current member in one step (剪切, Delete in the grid).
  void deleteReadings(const std::vector<int>& rows, ReadingRemoval why);
  // Returns the number of members changed.
  Result<int> batchEdit(const BatchEditRequest& request);
  // Appends the members of another project (a merge, a transfer), one step; from names them.
  void appendMembers(std::vector<MemberRecord> members, std::string_view from,
                     std::optional<ProjectSource> source = std::nullopt);
  // Replaces the project's report parameters (one undoable step); refused while the file keeps
  // parameters this version cannot read.
  Status setParameters(ProjectParameters parameters);

  // --- History ---
  bool canUndo() const { return history_.canUndo(); }
  bool canRedo() const { return history_.canRedo(); }
  std::string undoName() const { return history_.undoName(); }
  std::string redoName() const { return history_.redoName(); }
  bool undo();
  bool redo();
  // The next edit starts a new undo step even in the same box (the user left the box).
  void closeUndoStep() { history_.endMerging(); }
  const UndoStack& history() const { return history_; }

 private:
  MemberRecord* current();
  // Runs a command (nothing for a null one) and shows its effect.
  void run(std::unique_ptr<Command> command);
  // Chooses the current member and reading after a change and refreshes every view.
  void show(const CommandEffect& effect);
  // Every view shown afresh.
  void refreshAll(bool rebuildList);
  DocumentStep writeToChosenPath(const SaveDialogRequest& wanted, bool selection,
                                 const DocumentAnswers& answers);
  // Writes the analysis layout to path and makes it the document's file.
  DocumentStep writeOwnFile(const std::filesystem::path& path);
  void markSaved(const std::filesystem::path& path, FileStamp stamp);
  // Takes the lock of the file about to become the document's; a step with the question when
  // another window holds it and the answer is not given yet, or a cancelled step. readOnly
  // receives why the file is read-only.
  std::optional<DocumentStep> lockForOpening(const std::filesystem::path& path,
                                             const DocumentAnswers& answers, FileLock& lock,
                                             std::string& readOnly);
  // Gives a project the office's parameters when it has none.
  void adoptDefaults(Project& project, bool fromFile) const;
  // The views, when somebody watches.
  template <class Repaint>
  void repaint(Repaint&& repaint) {
    if (frontend_ != nullptr) repaint(*frontend_);
  }

  DocumentFrontend* frontend_;
  std::function<CalendarDate()> today_;
  std::function<ProjectParameters(bool)> defaults_;
  std::string lockProgram_;
  MemberBand newMemberBand_;

  Project project_;
  int currentMember_ = 0;
  int currentReading_ = 0;
  std::filesystem::path path_;
  std::string note_;  // what a project without a file of its own is
  // Every file the project was read from or saved to as its own file.
  ProtectedInputs sources_;
  FileLock lock_;
  std::string readOnlyReason_;
  std::optional<FileStamp> stamp_;  // what the document's file held when last read or written
  UndoStack history_;
  Recorder recorder_;
  ChangeGate gate_;
  LogDraft draft_;
  bool newSegment_ = false;
};

// The first code of the insert command's sequence (0001, 0002, ...) that no member has; once
// all of them are taken, the code of the next member's number, as the sequence gives it.
std::string freeAppendedCode(const Project& project);

}  // namespace kro
