// The document: files, commands, history and the refreshes that follow every change.
#include "model/document.h"

#include <algorithm>
#include <set>

#include "model/analysis_file.h"
#include "model/file_io.h"

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
    : frontend_(frontend != nullptr ? frontend : &headless_),
      settings_(SettingsLocation::fromEnvironment()),
      today_(today) {}

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
  const std::string name = path_.empty() ? std::string(kUntitled) : displayPath(path_.filename());
  return note_.empty() ? name : name + "（" + note_ + "）";
}

bool CKroAnalyzeDoc::open(const fs::path& path) { return open(path, loadProject(path)); }

bool CKroAnalyzeDoc::open(const fs::path& path, Result<LoadedProject> loaded) {
  if (!loaded) {
    if (auto recovered = recoverAnalysisFile(path)) {
      const int intact = recovered->damagedMember - 1;
      if (frontend_->askYesNo(loaded.message() + "\n文件在第 " + std::to_string(recovered->damagedMember) +
                              " 个构件处损坏。打开前 " + std::to_string(intact) + " 个构件？")) {
        resetProject(std::move(recovered->project));
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
  // Received bytes become a project of their own: saving never writes over them.
  resetProject(std::move(loaded.value().project), received ? fs::path() : path);
  if (received) note_ = "由原始数据解码：" + displayPath(path.filename());
  sources_ = ProtectedInputs(std::move(loaded.value().sources));
  frontend_->stateChanged();
  if (!loaded.value().warnings.empty()) {
    frontend_->showMessage(MessageKind::Warning, joinLines(loaded.value().warnings));
  }
  return true;
}

void CKroAnalyzeDoc::resetProject(Project project, fs::path path) {
  project_ = std::move(project);
  path_ = std::move(path);
  note_.clear();
  sources_ = path_.empty() ? ProtectedInputs() : ProtectedInputs({path_});
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

void CKroAnalyzeDoc::markSaved(const fs::path& path) {
  // The saved file is a new file on the disk: protected from now on as it is.
  sources_ = ProtectedInputs(std::vector<fs::path>(sources_.files()));
  path_ = path;
  note_.clear();
  history_.markSaved();
  frontend_->stateChanged();
}

bool CKroAnalyzeDoc::save() {
  if (path_.empty() || !isAnalysisExtension(path_)) return saveAnalysisFileAs();
  const ReplacingOwnFile own(path_);
  if (Status s = writeAnalysisFile(path_); !s) {
    reportFailure(s.message());
    return false;
  }
  markSaved(path_);
  return true;
}

bool CKroAnalyzeDoc::saveAnalysisFileAs() { return writeToChosenPath(kAnalysisSaveDialog, false); }

bool CKroAnalyzeDoc::saveSelection() { return writeToChosenPath(kSelectionSaveDialog, true); }

bool CKroAnalyzeDoc::writeToChosenPath(const SaveDialogRequest& wanted, bool selection) {
  std::optional<fs::path> chosen = frontend_->chooseSavePath(wanted);
  if (!chosen) return false;
  // The analysis file the document belongs to may be replaced; no other file it was read from.
  std::optional<ReplacingOwnFile> own;
  if (!selection && isAnalysisExtension(path_) && sameFile(*chosen, path_)) own.emplace(path_);
  if (Status s = checkOutput(*chosen); !s) {
    reportFailure(s.message());
    return false;
  }
  Status written = selection ? writeSelectionExport(*chosen) : writeAnalysisFile(*chosen);
  if (!written) {
    reportFailure(written.message());
    return false;
  }
  // The analysis file is now the document's file; the selection export is only a copy.
  if (!selection) {
    std::vector<fs::path> files = sources_.files();
    files.push_back(*chosen);
    sources_ = ProtectedInputs(std::move(files));
    markSaved(*chosen);
  }
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

void CKroAnalyzeDoc::newDocument() { resetProject({}); }

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

void CKroAnalyzeDoc::setParameters(ProjectParameters parameters) {
  run(makeSetParameters(project_, std::move(parameters)));
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

void CKroAnalyzeDoc::setDesignThickness(std::int32_t value) {
  run(makeSetMemberNumber(project_, currentMember_, MemberField::DesignThickness, value));
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

void CKroAnalyzeDoc::setCellValue(int row, int column, std::int32_t value) {
  setCellValues({{row, column, value}}, ReadingEditKind::Typed);
}

void CKroAnalyzeDoc::setCellValues(const std::vector<CellValue>& cells, ReadingEditKind kind) {
  const MemberRecord* m = currentMemberRecord();
  if (m == nullptr) return;
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
    if (m->validIndex(change.index)) changes.push_back(change);
  }
  run(makeEditReadings(project_, currentMember_, std::move(changes), kind));
}

void CKroAnalyzeDoc::insertReading(int index, std::int32_t thickness) {
  run(makeInsertReading(project_, currentMember_, index, Reading{0, thickness, 0}));
}

void CKroAnalyzeDoc::pasteReadings(int index, const std::vector<std::int32_t>& thicknesses) {
  run(makePasteReadings(project_, currentMember_, index, thicknesses));
}

void CKroAnalyzeDoc::deleteReading(int row) { run(makeDeleteReading(project_, currentMember_, row)); }

int CKroAnalyzeDoc::batchEdit(const BatchEditRequest& request) {
  std::vector<int> targets;
  for (int i = 0; i < memberCount(); ++i) {
    if (!request.tickedOnly || memberAt(i)->selected() != 0) targets.push_back(i);
  }
  BatchValues values = request.values;
  if (values.minusDeviation && *values.minusDeviation > 0) values.minusDeviation = -*values.minusDeviation;
  int changed = 0;
  run(makeBatchEdit(project_, targets, values, &changed));
  return changed;
}

}  // namespace kro
