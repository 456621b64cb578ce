// The document's commands, statistics moments and refresh order.
#include "model/document.h"

#include <algorithm>

#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/raw_files.h"
#include "report/report_parameters.h"

namespace kro {
namespace fs = std::filesystem;

namespace {

const SaveDialogSpec kAnalysisSaveDialog{"楼板仪数据文件(*.KRO)|*.KRO|", "KRO", "楼板仪数据文件.KRO"};
const SaveDialogSpec kSelectionSaveDialog{"楼板仪数据文件(*.DEX)||", "DEX", ""};

std::string joinLines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    if (!out.empty()) out += "\n";
    out += line;
  }
  return out;
}

std::string todayText() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return appendedMemberDate(local);
}

}  // namespace

std::string appendedMemberDate(const std::tm& date) {
  char text[32];
  std::size_t n = std::strftime(text, sizeof text, "20%y--%m--%d", &date);
  return std::string(text, n);
}

CKroAnalyzeDoc::CKroAnalyzeDoc(DocumentFrontend* frontend)
    : frontend_(frontend != nullptr ? frontend : &headless_),
      settings_(SettingsLocation::fromEnvironment()),
      today_(todayText) {}

void CKroAnalyzeDoc::setFrontend(DocumentFrontend* frontend) {
  frontend_ = frontend != nullptr ? frontend : &headless_;
}

const MemberRecord* CKroAnalyzeDoc::memberAt(int index) const {
  if (index < 0 || index >= memberCount()) return nullptr;
  return &members_[static_cast<std::size_t>(index)];
}

MemberRecord* CKroAnalyzeDoc::current() {
  if (currentMember_ < 0 || currentMember_ >= memberCount()) return nullptr;
  return &members_[static_cast<std::size_t>(currentMember_)];
}

void CKroAnalyzeDoc::selectMember(int index) {
  if (index < 0 || index >= memberCount()) return;
  currentMember_ = index;
  frontend_->refillGrid();
  redrawChart();
  showCurrentMember();
}

void CKroAnalyzeDoc::setCurrentReading(int index, bool refill, bool redraw) {
  if (index < 0) return;
  currentReading_ = index;
  if (refill) frontend_->refillGrid();
  if (redraw) redrawChart();
}

void CKroAnalyzeDoc::replaceMembers(std::vector<MemberRecord> members) {
  members_ = std::move(members);
  deleted_.reset();
  markModified();
}

std::int64_t CKroAnalyzeDoc::sumReadingCounts() {
  std::int64_t total = 0;
  for (const MemberRecord& m : members_) total += m.readingCount();
  totalReadingCount_ = total;
  return total;
}

std::int64_t CKroAnalyzeDoc::sumPassCounts() {
  std::int64_t total = 0;
  for (MemberRecord& m : members_) total += m.countPassed();
  totalPassCount_ = total;
  return total;
}

float CKroAnalyzeDoc::computeOverallRate() {
  overallPassRate_ = passRateOf(totalPassCount_, totalReadingCount_);
  return overallPassRate_;
}

std::string CKroAnalyzeDoc::title() const {
  return path_.empty() ? std::string(kUntitled) : path_.filename().string();
}

bool CKroAnalyzeDoc::isAnalysisExtension(const fs::path& path) {
  // The text after the last "." of the file name; none without a ".".
  const std::string name = path.filename().string();
  const std::size_t dot = name.rfind('.');
  if (dot == std::string::npos) return false;
  const std::string_view ext = std::string_view(name).substr(dot + 1);
  return ext == "KRO" || ext == "Kro" || ext == "kro";
}

bool CKroAnalyzeDoc::open(const fs::path& path) {
  auto bytes = readWholeFile(path);
  if (!bytes) {
    reportFailure(bytes.message());
    return false;
  }
  const std::string cannotOpen = "无法打开“" + displayPath(path) + "”：";
  std::vector<std::string> warnings;
  if (isAnalysisExtension(path)) {
    auto members = decodeAnalysisFile(bytes.value());
    if (!members) {
      reportFailure(cannotOpen + members.message());
      return false;
    }
    members_ = std::move(members.value());
  } else {
    if (isSelectionExport(bytes.value())) {
      reportFailure(cannotOpen +
                    "这是用“保存选择构件”导出的文件，不是仪器的原始数据文件，本程序不能读取它。");
      return false;
    }
    auto project = readRawProject(path, bytes.value());
    if (!project) {
      reportFailure(cannotOpen + project.message());
      return false;
    }
    members_ = std::move(project.value().members);
    warnings = std::move(project.value().warnings);
  }
  afterLoad(path);
  if (!warnings.empty()) frontend_->showMessage(MessageKind::Warning, joinLines(warnings));
  return true;
}

void CKroAnalyzeDoc::afterLoad(const fs::path& path) {
  path_ = path;
  modified_ = false;
  deleted_.reset();
  refreshMemberList();
  showCurrentMember();
  frontend_->refillGrid();
  redrawChart();
  frontend_->titleChanged();
}

Status CKroAnalyzeDoc::readAnalysisFile(const fs::path& path) {
  auto bytes = readWholeFile(path);
  if (!bytes) return bytes.error();
  auto members = decodeAnalysisFile(bytes.value());
  if (!members) return Error{"无法打开“" + displayPath(path) + "”：" + members.message()};
  members_ = std::move(members.value());
  deleted_.reset();
  return Status::success();
}

Result<std::vector<std::string>> CKroAnalyzeDoc::readIndexFile(const fs::path& path) {
  auto project = readRawProject(path);
  if (!project) return Error{"无法打开“" + displayPath(path) + "”：" + project.message()};
  members_ = std::move(project.value().members);
  deleted_.reset();
  return std::move(project.value().warnings);
}

Status CKroAnalyzeDoc::writeAnalysisFile(const fs::path& path) const {
  return kro::writeAnalysisFile(path, members_);
}

Status CKroAnalyzeDoc::writeSelectionExport(const fs::path& path) const {
  if (isAnalysisExtension(path)) {
    return Error{"选择构件文件不能保存为“" + path.filename().string() +
                 "”：扩展名 KRO 留给分析结果文件，请使用 DEX。"};
  }
  return writeFileAtomically(path, encodeMembers(members_, MemberLayout::Selection));
}

void CKroAnalyzeDoc::reportFailure(const std::string& message) {
  frontend_->showMessage(MessageKind::Error, message);
}

bool CKroAnalyzeDoc::save() {
  collectChecks();
  if (path_.empty() || !isAnalysisExtension(path_)) return saveAnalysisFileAs();
  if (Status s = writeAnalysisFile(path_); !s) {
    reportFailure(s.message());
    return false;
  }
  modified_ = false;
  frontend_->titleChanged();
  return true;
}

bool CKroAnalyzeDoc::saveAnalysisFileAs() {
  collectChecks();
  return writeToChosenPath(kAnalysisSaveDialog, false);
}

bool CKroAnalyzeDoc::saveSelection() {
  collectChecks();
  return writeToChosenPath(kSelectionSaveDialog, true);
}

bool CKroAnalyzeDoc::writeToChosenPath(const SaveDialogSpec& wanted, bool selection) {
  std::optional<fs::path> chosen = frontend_->chooseSavePath(wanted);
  if (!chosen) return false;
  Status written = selection ? writeSelectionExport(*chosen) : writeAnalysisFile(*chosen);
  if (!written) {
    reportFailure(written.message());
    return false;
  }
  if (!selection) {
    path_ = *chosen;
    modified_ = false;
    frontend_->titleChanged();
  }
  return true;
}

bool CKroAnalyzeDoc::saveModified() {
  if (!modified_) return true;
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
  path_.clear();
  frontend_->titleChanged();
  frontend_->refillGrid();
  redrawChart();
}

void CKroAnalyzeDoc::appendMember() {
  members_.push_back(newAppendedMember(memberCount() + 1, today_()));
  currentMember_ = memberCount() - 1;
  deleted_.reset();
  markModified();
  selectMember(currentMember_);
  refreshMemberList();
  showCurrentMember();
}

void CKroAnalyzeDoc::deleteCurrentMember() {
  if (current() == nullptr) return;
  const auto index = static_cast<std::size_t>(currentMember_);
  deleted_ = DeletedMember{currentMember_, std::move(members_[index])};
  members_.erase(members_.begin() + currentMember_);
  if (members_.empty()) {
    currentMember_ = -1;
  } else if (currentMember_ >= memberCount()) {
    currentMember_ = memberCount() - 1;
  }
  markModified();
  refreshMemberList();
  showCurrentMember();
  frontend_->refillGrid();
  redrawChart();
}

bool CKroAnalyzeDoc::undoDeleteMember() {
  if (!deleted_) return false;
  const int index = std::min(deleted_->index, memberCount());
  members_.insert(members_.begin() + index, std::move(deleted_->member));
  deleted_.reset();
  markModified();
  selectMember(index);
  refreshMemberList();
  return true;
}

void CKroAnalyzeDoc::collectChecks() {
  for (int i = 0; i < memberCount(); ++i) {
    std::optional<bool> checked = frontend_->isMemberChecked(i);
    MemberRecord& m = members_[static_cast<std::size_t>(i)];
    if (!checked || (m.selected() != 0) == *checked) continue;
    m.setSelected(*checked ? 1 : 0);
    markModified();
  }
}

void CKroAnalyzeDoc::refreshMemberList() {
  sumReadingCounts();
  sumPassCounts();
  computeOverallRate();
  frontend_->rebuildMemberList();
}

void CKroAnalyzeDoc::showCurrentMember() {
  if (MemberRecord* m = current()) {
    m->computeMax();
    m->computeMin();
    m->countPassed();
    sumReadingCounts();
    sumPassCounts();
    computeOverallRate();
  }
  frontend_->showMember(current());
}

void CKroAnalyzeDoc::redrawChart() {
  // The chart recomputes the current member's maximum, minimum and pass count as it draws.
  if (MemberRecord* m = current()) {
    m->computeMax();
    m->computeMin();
    m->countPassed();
  }
  frontend_->redrawChart();
}

void CKroAnalyzeDoc::markModified() {
  if (modified_) return;
  modified_ = true;
  frontend_->titleChanged();
}

void CKroAnalyzeDoc::afterStatisticsChange() {
  sumReadingCounts();
  sumPassCounts();
  frontend_->refillGrid();
  redrawChart();
}

void CKroAnalyzeDoc::setMemberName(std::string_view gbk) {
  MemberRecord* m = current();
  if (m == nullptr) return;
  const std::string before = m->name();
  m->setMemberName(gbk);
  if (m->name() != before) markModified();
}

void CKroAnalyzeDoc::setTestDate(std::string_view gbk) {
  MemberRecord* m = current();
  if (m == nullptr) return;
  const std::string before = m->testDate();
  m->setTestDate(gbk);
  if (m->testDate() != before) markModified();
  refreshMemberList();
}

void CKroAnalyzeDoc::editBand(std::int32_t (MemberRecord::*get)() const,
                              void (MemberRecord::*set)(std::int32_t), std::int32_t value) {
  MemberRecord* m = current();
  if (m == nullptr) return;
  if ((m->*get)() != value) markModified();
  (m->*set)(value);
  afterStatisticsChange();
}

void CKroAnalyzeDoc::setDesignThickness(std::int32_t value) {
  editBand(&MemberRecord::designThickness, &MemberRecord::setDesignThickness, value);
}

void CKroAnalyzeDoc::setPlusDeviation(std::int32_t value) {
  editBand(&MemberRecord::plusDeviation, &MemberRecord::setPlusDeviation, value);
}

void CKroAnalyzeDoc::setMinusDeviation(std::int32_t value) {
  editBand(&MemberRecord::minusDeviation, &MemberRecord::setMinusDeviation, value);
}

void CKroAnalyzeDoc::setReadingThickness(int row, std::int32_t value) {
  MemberRecord* m = current();
  if (m == nullptr) return;
  const bool changed = row >= 0 && row < m->readingCount() && m->readingAt(row) != value;
  m->setReadingThickness(row, value);
  if (changed) markModified();
  afterStatisticsChange();
}

void CKroAnalyzeDoc::setReadingAux(int row, std::int32_t value) {
  MemberRecord* m = current();
  if (m == nullptr || row < 0 || row >= m->readingCount()) return;
  if (m->readings()[static_cast<std::size_t>(row)].auxValue != value) markModified();
  m->setReadingAux(row, value);
  redrawChart();
  frontend_->refillGrid();
}

void CKroAnalyzeDoc::editRows(bool (MemberRecord::*edit)(int), int row) {
  MemberRecord* m = current();
  if (m == nullptr) return;
  if ((m->*edit)(row)) markModified();
  frontend_->refillGrid();
  redrawChart();
  frontend_->updateCountCell(currentMember_);
}

void CKroAnalyzeDoc::insertReadingBefore(int row) { editRows(&MemberRecord::insertReadingBefore, row); }

void CKroAnalyzeDoc::insertReadingAfter(int row) { editRows(&MemberRecord::insertReadingAfter, row); }

void CKroAnalyzeDoc::deleteReading(int row) {
  // Without readings, nothing happens, not even the refreshes.
  const MemberRecord* m = currentMemberRecord();
  if (m != nullptr && m->readingCount() > 0) editRows(&MemberRecord::deleteReading, row);
}

void CKroAnalyzeDoc::setCellValue(int row, int column, std::int32_t value) {
  MemberRecord* m = current();
  if (m == nullptr) return;
  // Column 1 is the grid's thickness column: it sets the thickness for every member kind.
  // Grid-test members keep a second pair of columns, offset by secondColumnStart.
  const std::int64_t shifted = std::int64_t{row} + m->secondColumnStart();
  const int secondRow = shifted >= 0 && shifted <= INT32_MAX ? static_cast<int>(shifted) : -1;
  switch (m->memberKind()) {
    case MemberKind::ThicknessTest:
      setReadingThickness(row, value);
      break;
    case MemberKind::ProfileTest:
      if (column == 1 || column == 2) setReadingThickness(row, value);
      break;
    case MemberKind::GridTest:
      if (column == 1 || column == 2) setReadingThickness(row, value);
      if (column == 4) setReadingAux(secondRow, value);
      if (column == 5) setReadingThickness(secondRow, value);
      break;
  }
}

std::string CKroAnalyzeDoc::reportParameter(std::string_view key, int formatNumber) const {
  return kro::reportParameter(settings_, key, formatNumber);
}

std::optional<int> CKroAnalyzeDoc::chosenReportFormat() const { return kro::chosenReportFormat(settings_); }

fs::path CKroAnalyzeDoc::programFolder() { return ProgramPaths::programFolder(); }

}  // namespace kro
