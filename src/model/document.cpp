// The document: files, commands, history and the refreshes that follow every change.
#include "model/document.h"

#include <algorithm>
#include <set>

#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/project_blocks.h"

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

CKroAnalyzeDoc::CKroAnalyzeDoc(DocumentFrontend* frontend)
    : frontend_(frontend != nullptr ? frontend : &headless_), today_(today) {}

void CKroAnalyzeDoc::setFrontend(DocumentFrontend* frontend) {
  frontend_ = frontend != nullptr ? frontend : &headless_;
}

MemberRecord* CKroAnalyzeDoc::current() {
  if (currentMember_ < 0 || currentMember_ >= memberCount()) return nullptr;
  return &project_.members[static_cast<std::size_t>(currentMember_)];
}

void CKroAnalyzeDoc::selectMember(int index) {
  if (index < 0 || index >= memberCount()) return;
  currentMember_ = index;
  // Edits of another member, or of this one after a new choice, start new undo steps.
  history_.endMerging();
  frontend_->showMember(current());
  frontend_->refillGrid();
  frontend_->redrawChart();
}

void CKroAnalyzeDoc::setCurrentReading(int index, bool refill, bool redraw) {
  if (index < 0) return;
  currentReading_ = index;
  if (refill) frontend_->refillGrid();
  if (redraw) frontend_->redrawChart();
}

std::string CKroAnalyzeDoc::title() const {
  std::string name = path_.empty() ? std::string(kUntitled) : displayPath(path_.filename());
  if (!note_.empty()) name += "（" + note_ + "）";
  return isReadOnly() ? name + "（只读）" : name;
}

bool CKroAnalyzeDoc::open(const fs::path& path) { return open(path, loadProject(path)); }

bool CKroAnalyzeDoc::open(const fs::path& path, Result<LoadedProject> loaded) {
  if (!loaded) {
    if (auto recovered = recoverAnalysisFile(path)) {
      const int intact = recovered->damagedMember - 1;
      if (frontend_->askYesNo(loaded.message() + "\n文件在第 " + std::to_string(recovered->damagedMember) +
                              " 个构件处损坏。打开前 " + std::to_string(intact) + " 个构件？")) {
        adoptDefaults(recovered->project, true);
        resetProject(std::move(recovered->project));
        lock_.release();
        readOnlyReason_.clear();
        note_ = "恢复自" + displayPath(path.filename()) + "的前 " + std::to_string(intact) + " 个构件";
        sources_ = ProtectedInputs({path});
        frontend_->stateChanged();
        return true;
      }
      return false;
    }
    reportFailure(loaded.message());
    return false;
  }
  const bool received = loaded.value().kind == ProjectFileKind::ReceivedBytes;
  FileLock lock;
  std::string readOnly;
  if (!received && !lockForOpening(path, lock, readOnly)) return false;
  Project project = std::move(loaded.value().project);
  adoptDefaults(project, true);
  // Received bytes become a project of their own: saving never writes over them.
  resetProject(std::move(project), received ? fs::path() : path);
  lock_ = std::move(lock);
  readOnlyReason_ = readOnly;
  stamp_ = received ? std::nullopt : loaded.value().stamp;
  if (received) note_ = "由原始数据解码：" + displayPath(path.filename());
  sources_ = ProtectedInputs(std::move(loaded.value().sources));
  frontend_->stateChanged();
  std::vector<std::string> notes = std::move(loaded.value().warnings);
  // Why the file is read-only, unless the user chose it when asked.
  if (!readOnly.empty() && lockStatus(path).state == LockState::Free) notes.insert(notes.begin(), readOnly);
  if (!notes.empty()) frontend_->showMessage(MessageKind::Warning, joinLines(notes));
  return true;
}

bool CKroAnalyzeDoc::lockForOpening(const fs::path& path, FileLock& out, std::string& readOnly) {
  if (lockProgram_.empty()) return true;
  if (lock_.held() && sameFile(lock_.file(), path)) {
    out = std::move(lock_);  // the same file again in this window
    return true;
  }
  auto taken = FileLock::take(path, lockProgram_);
  if (taken) {
    out = std::move(taken.value());
    return true;
  }
  const LockStatus status = lockStatus(path);
  const std::string name = "“" + displayPath(path.filename()) + "”";
  const std::string holder = describeLockOwner(status.owner);
  const std::string viewOnly = name + "已由 " + holder + " 打开，在这里只能查看：保存时请另存为。";
  switch (status.state) {
    case LockState::Held:
      if (frontend_->askChoice(
              name + "已由 " + holder + " 打开。\n在这里打开只能查看，不能保存到这个文件（可以另存为）。",
              {"只读打开"}) != 0)
        return false;
      readOnly = viewOnly;
      return true;
    case LockState::Unknown:
      switch (frontend_->askChoice(name + "已由 " + holder +
                                       " 打开，那可能是另一台计算机，无法确定它是否仍在使用。\n"
                                       "只有确认那里已经关闭了它，才可以接管。",
                                   {"只读打开", "接管"})) {
        case 0:
          readOnly = viewOnly;
          return true;
        case 1:
          if (auto over = FileLock::take(path, lockProgram_, true)) {
            out = std::move(over.value());
            return true;
          }
          readOnly = name + "无法接管，在这里只能查看：保存时请另存为。";
          return true;
        default:
          return false;
      }
    default:
      // No lock file can be made there (a read-only folder or medium).
      readOnly = "无法在" + name + "所在的文件夹中建立锁文件（" + taken.message() +
                 "），因此只能查看：保存时请另存为。";
      return true;
  }
}

void CKroAnalyzeDoc::adoptDefaults(Project& project, bool fromFile) const {
  if (!defaults_ || project.parameters.stored || project.keptBlock(kParametersTag) != nullptr) return;
  project.parameters = defaults_(fromFile);
  project.parameters.fromDefaults = fromFile;
}

void CKroAnalyzeDoc::resetProject(Project project, fs::path path) {
  adoptDefaults(project, false);
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

void CKroAnalyzeDoc::reportFailure(const std::string& message) {
  frontend_->showMessage(MessageKind::Error, message);
}

void CKroAnalyzeDoc::markSaved(const fs::path& path, FileStamp stamp) {
  // The saved file is a new file on the disk: protected from now on as it is.
  sources_ = ProtectedInputs(std::vector<fs::path>(sources_.files()));
  path_ = path;
  note_.clear();
  stamp_ = stamp;
  project_.parameters.fromDefaults = false;  // they are in the file now
  history_.markSaved();
  frontend_->stateChanged();
}

bool CKroAnalyzeDoc::save() {
  if (path_.empty() || !isAnalysisExtension(path_) || isReadOnly()) return saveAnalysisFileAs();
  if (stamp_) {
    if (const std::optional<FileStamp> now = changedSince(path_, *stamp_)) {
      const int choice = frontend_->askChoice(
          "“" + displayPath(path_.filename()) + "”在这里读取之后被其他程序或窗口修改过：\n" +
              "这里读取（或上次保存）时：" + shownLocalTime(toTimeT(stamp_->modified)) + "\n" +
              "磁盘上现在的版本：" + shownLocalTime(toTimeT(now->modified)) + "\n" +
              "覆盖会丢掉磁盘上的那个版本；另存为可以两者都保留。",
          {"覆盖", "另存为..."});
      if (choice == 1) return saveAnalysisFileAs();
      if (choice != 0) return false;
    }
  }
  return writeOwnFile(path_);
}

bool CKroAnalyzeDoc::writeOwnFile(const fs::path& path) {
  const ReplacingOwnFile own(path);
  const std::string bytes = encodeProjectFile(project_);
  if (Status s = writeFileAtomically(path, bytes); !s) {
    reportFailure(s.message());
    return false;
  }
  markSaved(path, stampOf(path, bytes));
  return true;
}

bool CKroAnalyzeDoc::saveAnalysisFileAs() { return writeToChosenPath(kAnalysisSaveDialog, false); }

bool CKroAnalyzeDoc::saveSelection() { return writeToChosenPath(kSelectionSaveDialog, true); }

bool CKroAnalyzeDoc::writeToChosenPath(const SaveDialogRequest& wanted, bool selection) {
  std::optional<fs::path> chosen = frontend_->chooseSavePath(wanted);
  if (!chosen) return false;
  const bool ownFile = !selection && !isReadOnly() && isAnalysisExtension(path_) && sameFile(*chosen, path_);
  // The document's own file is saved as 保存 saves it, asking when it changed on disk.
  if (ownFile) return save();
  // Another window's file is written only there, also by a window of this program.
  if (!lockProgram_.empty() && lockStatus(*chosen).state == LockState::Held) {
    reportFailure("“" + displayPath(*chosen) + "”已由 " + describeLockOwner(lockStatus(*chosen).owner) +
                  " 打开，没有写入：请另选一个文件名，或先在那里关闭它。");
    return false;
  }
  if (Status s = checkOutput(*chosen); !s) {
    reportFailure(s.message());
    return false;
  }
  if (selection) {
    if (Status s = writeSelectionExport(*chosen); !s) {
      reportFailure(s.message());
      return false;
    }
    return true;  // only a copy: the document stays with its file
  }
  // The analysis file becomes the document's file, marked by a lock of its own.
  FileLock lock;
  if (!lockProgram_.empty()) {
    if (auto taken = FileLock::take(*chosen, lockProgram_)) lock = std::move(taken.value());
  }
  std::vector<fs::path> files = sources_.files();
  files.push_back(*chosen);
  sources_ = ProtectedInputs(std::move(files));
  if (!writeOwnFile(*chosen)) return false;
  lock_ = std::move(lock);
  readOnlyReason_.clear();
  frontend_->stateChanged();
  return true;
}

bool CKroAnalyzeDoc::saveModified() {
  if (!isModified()) return true;
  switch (frontend_->askSaveDiscardCancel("是否保存对“" + title() + "”的修改？")) {
    case SaveChoice::Save:
      return save();
    case SaveChoice::Discard:
      return true;
    case SaveChoice::Cancel:
      return false;
  }
  return false;
}

void CKroAnalyzeDoc::newDocument() {
  resetProject({});
  lock_.release();
  readOnlyReason_.clear();
  frontend_->stateChanged();
}

void CKroAnalyzeDoc::appendMembers(std::vector<MemberRecord> members, std::string_view from) {
  run(makeAppendMembers(project_, std::move(members), from));
}

// --- Commands ---

void CKroAnalyzeDoc::run(std::unique_ptr<Command> command) {
  if (command == nullptr) return;
  show(history_.push(std::move(command), project_));
}

void CKroAnalyzeDoc::show(const CommandEffect& effect) {
  if (effect.member) currentMember_ = *effect.member;
  if (effect.reading) currentReading_ = std::max(0, *effect.reading);
  if (effect.listChanged) {
    refreshAll(true);
    return;
  }
  if (effect.member) frontend_->updateMemberRow(*effect.member);
  refreshAll(false);
}

void CKroAnalyzeDoc::refreshAll(bool rebuildList) {
  if (rebuildList) frontend_->rebuildMemberList();
  frontend_->showMember(current());
  frontend_->refillGrid();
  frontend_->redrawChart();
  frontend_->stateChanged();
}

bool CKroAnalyzeDoc::undo() {
  auto effect = history_.undo(project_);
  if (effect) show(*effect);
  return effect.has_value();
}

bool CKroAnalyzeDoc::redo() {
  auto effect = history_.redo(project_);
  if (effect) show(*effect);
  return effect.has_value();
}

void CKroAnalyzeDoc::appendMember() {
  const MemberRecord* like = currentMemberRecord();
  const std::string date = dateTextLike(today_(), like != nullptr ? like->testDate() : std::string_view());
  run(makeAppendMember(project_, newAppendedMember(freeAppendedCode(project_), date, like)));
}

Status CKroAnalyzeDoc::setParameters(ProjectParameters parameters) {
  if (Status s = parametersChangeable(project_); !s) return s;
  run(makeSetParameters(project_, std::move(parameters)));
  return Status::success();
}

void CKroAnalyzeDoc::deleteCurrentMember() { run(makeDeleteMember(project_, currentMember_)); }

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
  run(makeInsertReading(project_, currentMember_, index, Reading{0, thickness, 0}));
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
