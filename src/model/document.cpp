// The document: files, commands, history and the refreshes that follow every change.
#include "model/document.h"

#include <algorithm>
#include <set>

#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/project_blocks.h"
#include "model/record_replay.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

const SaveDialogRequest kAnalysisSaveDialog{"楼板仪数据文件(*.KRO)|*.KRO|", "KRO", "楼板仪数据文件.KRO"};
const SaveDialogRequest kSelectionSaveDialog{"楼板仪数据文件(*.DEX)||", "DEX", ""};

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    if (!out.empty()) out += "\n";
    out += line;
  }
  return out;
}

}  // namespace

std::string freeAppendedCode(const Project& project) {
  std::set<std::string, std::less<>> used;
  for (const MemberRecord& m : project.members) used.insert(m.code());
  for (int n = 1; n <= 1000; ++n) {
    std::string code = appendedMemberCode(n);
    if (used.count(code) == 0) return code;
  }
  return appendedMemberCode(project.memberCount() + 1);
}

CKroAnalyzeDoc::CKroAnalyzeDoc(DocumentFrontend* frontend) : frontend_(frontend), today_(today) {}

void CKroAnalyzeDoc::setFrontend(DocumentFrontend* frontend) { frontend_ = frontend; }

MemberRecord* CKroAnalyzeDoc::current() {
  if (currentMember_ < 0 || currentMember_ >= memberCount()) return nullptr;
  return &project_.members[static_cast<std::size_t>(currentMember_)];
}

void CKroAnalyzeDoc::selectMember(int index) {
  if (index < 0 || index >= memberCount()) return;
  currentMember_ = index;
  // Edits of another member, or of this one after a new choice, start new undo steps.
  history_.endMerging();
  repaint([this](DocumentFrontend& f) {
    f.showMember(current());
    f.refillGrid();
    f.redrawChart();
  });
}

void CKroAnalyzeDoc::setCurrentReading(int index, bool refill, bool redraw) {
  if (index < 0) return;
  currentReading_ = index;
  repaint([&](DocumentFrontend& f) {
    if (refill) f.refillGrid();
    if (redraw) f.redrawChart();
  });
}

std::string CKroAnalyzeDoc::title() const {
  std::string name = path_.empty() ? std::string(kUntitled) : displayPath(path_.filename());
  if (!note_.empty()) name += "（" + note_ + "）";
  return isReadOnly() ? name + "（只读）" : name;
}

DocumentStep CKroAnalyzeDoc::open(const fs::path& path, const DocumentAnswers& answers) {
  Result<LoadedProject> loaded = loadProject(path);
  return open(path, loaded, answers);
}

DocumentStep CKroAnalyzeDoc::open(const fs::path& path, Result<LoadedProject>& loaded,
                                  const DocumentAnswers& answers) {
  if (!loaded) {
    auto recovered = recoverAnalysisFile(path);
    if (!recovered) return DocumentStep::failed(loaded.message());
    const int intact = recovered->damagedMember - 1;
    if (!answers.openRecovered) {
      DocumentStep ask;
      ask.question = DocumentQuestion::OpenRecovered;
      ask.text = loaded.message() + "\n文件在第 " + std::to_string(recovered->damagedMember) +
                 " 个构件处损坏。打开前 " + std::to_string(intact) + " 个构件？";
      return ask;
    }
    if (!*answers.openRecovered) return DocumentStep::cancelled();
    adoptDefaults(recovered->project, true);
    resetProject(std::move(recovered->project));
    lock_.release();
    readOnlyReason_.clear();
    note_ = "恢复自" + displayPath(path.filename()) + "的前 " + std::to_string(intact) + " 个构件";
    sources_ = ProtectedInputs({path});
    repaint([](DocumentFrontend& f) { f.stateChanged(); });
    return DocumentStep::finished();
  }
  const bool received = loaded.value().kind == ProjectFileKind::ReceivedBytes;
  FileLock lock;
  std::string readOnly;
  if (!received) {
    if (auto unsettled = lockForOpening(path, answers, lock, readOnly)) return *unsettled;
  }
  Project project = std::move(loaded.value().project);
  adoptDefaults(project, true);
  // Received bytes become a project of their own: saving never writes over them.
  resetProject(std::move(project), received ? fs::path() : path);
  lock_ = std::move(lock);
  readOnlyReason_ = readOnly;
  stamp_ = received ? std::nullopt : loaded.value().stamp;
  if (received) note_ = "由原始数据解码：" + displayPath(path.filename());
  sources_ = ProtectedInputs(std::move(loaded.value().sources));
  repaint([](DocumentFrontend& f) { f.stateChanged(); });
  std::vector<std::string> notes = std::move(loaded.value().warnings);
  // Why the file is read-only, unless the user chose it when asked.
  if (!readOnly.empty() && lockStatus(path).state == LockState::Free) notes.insert(notes.begin(), readOnly);
  if (notes.empty()) return DocumentStep::finished();
  return DocumentStep::finished(Notice{MessageKind::Warning, joinLines(notes)});
}

std::optional<DocumentStep> CKroAnalyzeDoc::lockForOpening(const fs::path& path,
                                                           const DocumentAnswers& answers, FileLock& out,
                                                           std::string& readOnly) {
  if (lockProgram_.empty()) return std::nullopt;
  if (lock_.held() && sameFile(lock_.file(), path)) {
    out = std::move(lock_);  // the same file again in this window
    return std::nullopt;
  }
  auto taken = FileLock::take(path, lockProgram_);
  if (taken) {
    out = std::move(taken.value());
    return std::nullopt;
  }
  const LockStatus status = lockStatus(path);
  const std::string name = "“" + displayPath(path.filename()) + "”";
  const std::string holder = describeLockOwner(status.owner);
  const std::string viewOnly = name + "已由 " + holder + " 打开，在这里只能查看：保存时请另存为。";
  auto ask = [&](std::string text, std::vector<std::string> choices) {
    DocumentStep step;
    step.question = DocumentQuestion::OpenLocked;
    step.text = std::move(text);
    step.choices = std::move(choices);
    return step;
  };
  switch (status.state) {
    case LockState::Held:
      if (!answers.lockChoice) {
        return ask(
            name + "已由 " + holder + " 打开。\n在这里打开只能查看，不能保存到这个文件（可以另存为）。",
            {"只读打开"});
      }
      if (*answers.lockChoice != 0) return DocumentStep::cancelled();
      readOnly = viewOnly;
      return std::nullopt;
    case LockState::Unknown:
      if (!answers.lockChoice) {
        return ask(name + "已由 " + holder +
                       " 打开，那可能是另一台计算机，无法确定它是否仍在使用。\n"
                       "只有确认那里已经关闭了它，才可以接管。",
                   {"只读打开", "接管"});
      }
      switch (*answers.lockChoice) {
        case 0:
          readOnly = viewOnly;
          return std::nullopt;
        case 1:
          if (auto over = FileLock::take(path, lockProgram_, true)) {
            out = std::move(over.value());
            return std::nullopt;
          }
          readOnly = name + "无法接管，在这里只能查看：保存时请另存为。";
          return std::nullopt;
        default:
          return DocumentStep::cancelled();
      }
    default:
      // No lock file can be made there (a read-only folder or medium).
      readOnly = "无法在" + name + "所在的文件夹中建立锁文件（" + taken.message() +
                 "），因此只能查看：保存时请另存为。";
      return std::nullopt;
  }
}

void CKroAnalyzeDoc::adoptDefaults(Project& project, bool fromFile) const {
  if (!defaults_ || project.parameters.stored || project.keptBlock(kParametersTag) != nullptr) return;
  project.parameters = defaults_(fromFile);
  project.parameters.fromDefaults = fromFile;
}

void CKroAnalyzeDoc::resetProject(Project project, fs::path path) {
  adoptDefaults(project, false);
  // The log goes on, or begins with the values as they are (saved before, or sent by the
  // instrument); a new project's begins at its first save.
  LogDraft::Start start = LogDraft::Start::AtSave;
  if (!project.log.empty()) {
    start = LogDraft::Start::Continue;
  } else if (!path.empty() || !project.sources.empty() || !project.members.empty()) {
    start = LogDraft::Start::AtLoad;
  }
  draft_.reset(project.members, start, project.sources.empty() ? -1 : 0);
  newSegment_ = false;
  project_ = std::move(project);
  path_ = std::move(path);
  note_.clear();
  sources_ = path_.empty() ? ProtectedInputs() : ProtectedInputs({path_});
  stamp_.reset();
  currentMember_ = 0;
  currentReading_ = 0;
  history_.clear();
  refreshAll(true);
}

Status CKroAnalyzeDoc::checkOutput(const fs::path& output) const { return checkOutputPath(output); }

Status CKroAnalyzeDoc::writeAnalysisFile(const fs::path& path) const {
  return kro::writeAnalysisFile(path, project_);
}

Status CKroAnalyzeDoc::writeSelectionExport(const fs::path& path) const {
  return kro::writeSelectionExport(path, project_.members);
}

void CKroAnalyzeDoc::markSaved(const fs::path& path, FileStamp stamp) {
  // The saved file is a new file on the disk: protected from now on as it is.
  sources_ = ProtectedInputs(std::vector<fs::path>(sources_.files()));
  path_ = path;
  note_.clear();
  stamp_ = stamp;
  project_.parameters.fromDefaults = false;  // they are in the file now
  history_.markSaved();
  repaint([](DocumentFrontend& f) { f.stateChanged(); });
}

DocumentStep CKroAnalyzeDoc::save(const DocumentAnswers& answers) {
  if (path_.empty() || !isAnalysisExtension(path_) || isReadOnly()) return saveAnalysisFileAs(answers);
  if (stamp_) {
    if (const std::optional<FileStamp> now = changedSince(path_, *stamp_)) {
      if (!answers.changedChoice) {
        DocumentStep ask;
        ask.question = DocumentQuestion::OverwriteChanged;
        ask.text = "“" + displayPath(path_.filename()) + "”在这里读取之后被其他程序或窗口修改过：\n" +
                   "这里读取（或上次保存）时：" + shownLocalTime(toTimeT(stamp_->modified)) + "\n" +
                   "磁盘上现在的版本：" + shownLocalTime(toTimeT(now->modified)) + "\n" +
                   "覆盖会丢掉磁盘上的那个版本；另存为可以两者都保留。";
        ask.choices = {"覆盖", "另存为..."};
        return ask;
      }
      if (*answers.changedChoice == 1) return saveAnalysisFileAs(answers);
      if (*answers.changedChoice != 0) return DocumentStep::cancelled();
    }
  }
  return writeOwnFile(path_);
}

DocumentStep CKroAnalyzeDoc::writeOwnFile(const fs::path& path) {
  const ReplacingOwnFile own(path);
  // The drafted entries go into the file with it, and stay in the project once it is written.
  const std::size_t logged = project_.log.size();
  std::vector<LogEntry> entries = draft_.entriesToSave(project_, recorder_);
  project_.log.insert(project_.log.end(), std::make_move_iterator(entries.begin()),
                      std::make_move_iterator(entries.end()));
  const std::string bytes = encodeProjectFile(project_);
  if (Status s = writeFileAtomically(path, bytes); !s) {
    project_.log.resize(logged);
    return DocumentStep::failed(s.message());
  }
  draft_.saved();
  newSegment_ = false;
  markSaved(path, stampOf(path, bytes));
  return DocumentStep::finished();
}

std::vector<LogEntry> CKroAnalyzeDoc::recordedLog() const {
  std::vector<LogEntry> log = project_.log;
  std::vector<LogEntry> drafted = draft_.entriesToSave(project_, recorder_);
  log.insert(log.end(), drafted.begin(), drafted.end());
  return log;
}

std::vector<const LogChange*> CKroAnalyzeDoc::recordedChanges() const {
  // A log begun anew (after damage, or at the next save) has no saved changes after its beginning.
  std::vector<const LogChange*> changes;
  if (draft_.continues()) changes = changesSinceBeginning(project_.log);
  draft_.collect(changes);
  return changes;
}

void CKroAnalyzeDoc::beginNewLog() {
  if (!logLocked()) return;
  const KeptBlock* damaged = nullptr;
  for (const KeptBlock& block : project_.keptBlocks) {
    if (block.tag == kLogTag) damaged = &block;
  }
  draft_.beginAfterDamage(project_.members, sha256(damaged->bytes));
  newSegment_ = true;
  repaint([](DocumentFrontend& f) { f.stateChanged(); });
}

DocumentStep CKroAnalyzeDoc::saveAnalysisFileAs(const DocumentAnswers& answers) {
  return writeToChosenPath(kAnalysisSaveDialog, false, answers);
}

DocumentStep CKroAnalyzeDoc::saveSelection(const DocumentAnswers& answers) {
  return writeToChosenPath(kSelectionSaveDialog, true, answers);
}

DocumentStep CKroAnalyzeDoc::writeToChosenPath(const SaveDialogRequest& wanted, bool selection,
                                               const DocumentAnswers& answers) {
  if (!answers.savePath) {
    DocumentStep ask;
    ask.question = DocumentQuestion::SavePath;
    ask.dialog = wanted;
    return ask;
  }
  const fs::path& chosen = *answers.savePath;
  const bool ownFile = !selection && !isReadOnly() && isAnalysisExtension(path_) && sameFile(chosen, path_);
  // The document's own file is saved as 保存 saves it, asking when it changed on disk; chosen
  // again after 另存为 was answered there, it is overwritten as the dialog confirmed.
  if (ownFile) return answers.changedChoice == 1 ? writeOwnFile(path_) : save(answers);
  // Another window's file is written only there, also by a window of this program.
  if (!lockProgram_.empty() && lockStatus(chosen).state == LockState::Held) {
    return DocumentStep::failed("“" + displayPath(chosen) + "”已由 " +
                                describeLockOwner(lockStatus(chosen).owner) +
                                " 打开，没有写入：请另选一个文件名，或先在那里关闭它。");
  }
  if (Status s = checkOutput(chosen); !s) return DocumentStep::failed(s.message());
  if (selection) {
    if (Status s = writeSelectionExport(chosen); !s) return DocumentStep::failed(s.message());
    return DocumentStep::finished();  // only a copy: the document stays with its file
  }
  // The analysis file becomes the document's file, marked by a lock of its own.
  FileLock lock;
  if (!lockProgram_.empty()) {
    if (auto taken = FileLock::take(chosen, lockProgram_)) lock = std::move(taken.value());
  }
  std::vector<fs::path> files = sources_.files();
  files.push_back(chosen);
  sources_ = ProtectedInputs(std::move(files));
  DocumentStep written = writeOwnFile(chosen);
  if (!written.done) return written;
  lock_ = std::move(lock);
  readOnlyReason_.clear();
  repaint([](DocumentFrontend& f) { f.stateChanged(); });
  return written;
}

DocumentStep CKroAnalyzeDoc::saveModified(const DocumentAnswers& answers) {
  if (!isModified()) return DocumentStep::finished();
  if (!answers.saveModified) {
    DocumentStep ask;
    ask.question = DocumentQuestion::SaveModified;
    ask.text = "是否保存对“" + title() + "”的修改？";
    return ask;
  }
  switch (*answers.saveModified) {
    case SaveChoice::Save:
      return save(answers);
    case SaveChoice::Discard:
      return DocumentStep::finished();
    case SaveChoice::Cancel:
      return DocumentStep::cancelled();
  }
  return DocumentStep::cancelled();
}

void CKroAnalyzeDoc::newDocument() {
  resetProject({});
  lock_.release();
  readOnlyReason_.clear();
  repaint([](DocumentFrontend& f) { f.stateChanged(); });
}

void CKroAnalyzeDoc::appendMembers(std::vector<MemberRecord> members, std::string_view from,
                                   std::optional<ProjectSource> source) {
  run(makeAppendMembers(project_, std::move(members), from, std::move(source)));
}

// --- Commands ---

void CKroAnalyzeDoc::run(std::unique_ptr<Command> command) {
  if (command == nullptr || logLocked()) return;
  // What the step changes, for the log: the project before it against the project after it.
  // A command that changes members in place names them, and only they are compared.
  const std::optional<std::vector<int>> inPlace = command->changedInPlace();
  std::vector<MemberRecord> before;
  if (inPlace) {
    for (int m : *inPlace) before.push_back(project_.members.at(static_cast<std::size_t>(m)));
  } else {
    before = project_.members;
  }
  const ProjectParameters beforeParameters = project_.parameters;
  const CommandEffect effect = command->redo(project_);
  std::vector<LogChange> changes =
      changesBetween(before, beforeParameters, project_, inPlace ? &*inPlace : nullptr);
  // Members appended from a source name it by its place among the project's sources.
  if (const ProjectSource* source = command->source()) {
    const auto at = std::find(project_.sources.begin(), project_.sources.end(), *source);
    for (LogChange& c : changes) {
      if (c.kind == LogKind::MemberAdded && at != project_.sources.end())
        c.source = static_cast<std::int32_t>(at - project_.sources.begin());
    }
  }
  const bool reasonRequired = std::any_of(changes.begin(), changes.end(), [&](const LogChange& c) {
    return touchesTransferredReading(c, before, inPlace ? &*inPlace : nullptr);
  });
  std::string why;
  if (reasonRequired) {
    // Asked with the project as it was, so that the views show nothing that may not happen.
    command->undo(project_);
    std::optional<std::string> given;
    if (gate_) given = gate_(ChangeRequest{command->name(), reasonRequired, reasonsUsed(recordedLog())});
    if (!given || given->empty()) return;
    why = std::move(*given);
    command->redo(project_);
  }
  const bool merged = history_.record(std::move(command));
  draft_.ran(history_.size(), merged, std::move(changes), isoLocalTime(std::time(nullptr)), std::move(why));
  show(effect);
}

void CKroAnalyzeDoc::show(const CommandEffect& effect) {
  const bool sameMember = !effect.member || *effect.member == currentMember_;
  if (effect.member) currentMember_ = *effect.member;
  if (effect.reading) currentReading_ = std::max(0, *effect.reading);
  if (effect.listChanged) {
    refreshAll(true);
    return;
  }
  // A tick or a text of the member already shown: its row and the panel; the grid and the chart
  // keep its readings and colours.
  if (sameMember && effect.touched != CommandEffect::Touched::Everything) {
    repaint([&](DocumentFrontend& f) {
      for (int row : effect.rows) f.updateMemberRow(row);
      if (effect.rows.empty()) f.updateMemberRow(currentMember_);
      f.showMember(current());
      f.stateChanged();
    });
    return;
  }
  if (effect.member) repaint([&](DocumentFrontend& f) { f.updateMemberRow(*effect.member); });
  refreshAll(false);
}

void CKroAnalyzeDoc::refreshAll(bool rebuildList) {
  repaint([&](DocumentFrontend& f) {
    if (rebuildList) f.rebuildMemberList();
    f.showMember(current());
    f.refillGrid();
    f.redrawChart();
    f.stateChanged();
  });
}

bool CKroAnalyzeDoc::undo() {
  if (logLocked()) return false;
  auto effect = history_.undo(project_);
  if (effect) draft_.undone(history_.index(), isoLocalTime(std::time(nullptr)));
  if (effect) show(*effect);
  return effect.has_value();
}

bool CKroAnalyzeDoc::redo() {
  if (logLocked()) return false;
  auto effect = history_.redo(project_);
  if (effect) draft_.redone(history_.index() - 1, isoLocalTime(std::time(nullptr)));
  if (effect) show(*effect);
  return effect.has_value();
}

void CKroAnalyzeDoc::appendMember() {
  const MemberRecord* like = currentMemberRecord();
  const std::string date = dateTextLike(today_(), like != nullptr ? like->testDate() : std::string_view());
  run(makeAppendMember(project_, newAppendedMember(freeAppendedCode(project_), date, like, newMemberBand_)));
}

Status CKroAnalyzeDoc::setParameters(ProjectParameters parameters) {
  if (Status s = parametersChangeable(project_); !s) return s;
  run(makeSetParameters(project_, std::move(parameters)));
  return Status::success();
}

void CKroAnalyzeDoc::deleteCurrentMember() { run(makeDeleteMember(project_, currentMember_)); }

void CKroAnalyzeDoc::setTicks(const std::vector<int>& members, TickAction action) {
  run(makeSetTicks(project_, members, action));
}

void CKroAnalyzeDoc::setSelected(int member, bool selected) {
  if (memberAt(member) == nullptr) return;
  auto command = makeSetSelected(project_, member, selected);
  if (command == nullptr) {
    // Nothing to change, but the clicked member still becomes current.
    selectMember(member);
    return;
  }
  run(std::move(command));
}

void CKroAnalyzeDoc::setMemberName(std::string_view gbk) {
  run(makeSetMemberText(project_, currentMember_, MemberField::Name, gbk));
}

void CKroAnalyzeDoc::setTestDate(std::string_view gbk) {
  run(makeSetMemberText(project_, currentMember_, MemberField::TestDate, gbk));
}

Status CKroAnalyzeDoc::setDesignThickness(std::int32_t value) {
  if (std::string refusal = thicknessRefusal(value, "设计厚度"); !refusal.empty()) return Error{refusal};
  run(makeSetMemberNumber(project_, currentMember_, MemberField::DesignThickness, value));
  return Status::success();
}

void CKroAnalyzeDoc::setPlusDeviation(std::int32_t value) {
  run(makeSetMemberNumber(project_, currentMember_, MemberField::PlusDeviation, value));
}

std::int32_t CKroAnalyzeDoc::setMinusDeviation(std::int32_t value) {
  // The deviation is held negative; a value typed without its sign means the same.
  const std::int32_t stored = value > 0 ? -value : value;
  run(makeSetMemberNumber(project_, currentMember_, MemberField::MinusDeviation, stored));
  return stored;
}

Status CKroAnalyzeDoc::setCellValue(int row, int column, std::int32_t value) {
  return setCellValues({{row, column, value}}, ReadingEditKind::Typed);
}

Status CKroAnalyzeDoc::setCellValues(const std::vector<CellValue>& cells, ReadingEditKind kind) {
  const MemberRecord* m = currentMemberRecord();
  if (m == nullptr) return Status::success();
  // Column 1 is the grid's thickness column: it sets the thickness for every member kind.
  // Grid-test members keep a second pair of columns, offset by secondColumnStart.
  std::vector<ReadingChange> changes;
  for (const CellValue& cell : cells) {
    const std::int64_t shifted = std::int64_t{cell.row} + m->secondColumnStart();
    const int secondRow = shifted >= 0 && shifted <= INT32_MAX ? static_cast<int>(shifted) : -1;
    ReadingChange change{cell.row, false, cell.value};
    switch (m->memberKind()) {
      case MemberKind::ThicknessTest:
        break;
      case MemberKind::ProfileTest:
        if (cell.column != 1 && cell.column != 2) continue;
        break;
      case MemberKind::GridTest:
        if (cell.column == 4 || cell.column == 5) {
          change.index = secondRow;
          change.aux = cell.column == 4;
        } else if (cell.column != 1 && cell.column != 2) {
          continue;
        }
        break;
    }
    if (!m->validIndex(change.index)) continue;
    // A second value (aux) is no thickness.
    if (std::string refusal = change.aux ? std::string() : thicknessRefusal(change.value, "测点");
        !refusal.empty())
      return Error{refusal};
    changes.push_back(change);
  }
  run(makeEditReadings(project_, currentMember_, std::move(changes), kind));
  return Status::success();
}

Status CKroAnalyzeDoc::insertReading(int index, std::int32_t thickness) {
  if (std::string refusal = thicknessRefusal(thickness, "测点"); !refusal.empty()) return Error{refusal};
  run(makeInsertReading(project_, currentMember_, index, Reading{0, thickness, 0, ReadingOrigin::Typed}));
  return Status::success();
}

Status CKroAnalyzeDoc::pasteReadings(int index, const std::vector<std::int32_t>& thicknesses) {
  for (std::size_t k = 0; k < thicknesses.size(); ++k) {
    if (std::string refusal = thicknessRefusal(thicknesses[k], "测点"); !refusal.empty()) {
      return Error{"粘贴的第 " + std::to_string(k + 1) + " 行：" + refusal};
    }
  }
  run(makePasteReadings(project_, currentMember_, index, thicknesses));
  return Status::success();
}

void CKroAnalyzeDoc::deleteReading(int row) { run(makeDeleteReading(project_, currentMember_, row)); }

void CKroAnalyzeDoc::deleteReadings(const std::vector<int>& rows, ReadingRemoval why) {
  run(makeDeleteReadings(project_, currentMember_, rows, why));
}

Result<int> CKroAnalyzeDoc::batchEdit(const BatchEditRequest& request) {
  if (request.values.designThickness) {
    if (std::string refusal = thicknessRefusal(*request.values.designThickness, "设计厚度"); !refusal.empty())
      return Error{refusal};
  }
  std::vector<int> targets;
  for (int i = 0; i < memberCount(); ++i) {
    if (!request.only.empty() ? std::find(request.only.begin(), request.only.end(), i) != request.only.end()
                              : !request.tickedOnly || memberAt(i)->selected() != 0)
      targets.push_back(i);
  }
  BatchValues values = request.values;
  if (values.minusDeviation && *values.minusDeviation > 0) values.minusDeviation = -*values.minusDeviation;
  int changed = 0;
  run(makeBatchEdit(project_, targets, values, &changed));
  return changed;
}

}  // namespace kro
