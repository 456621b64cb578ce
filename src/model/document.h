// The measurement document: the members of one project, the current member and reading, the
// document totals, and the commands that change them.
//
// Every change tells the window side what to refresh through DocumentFrontend; the document
// never reaches a window directly. The totals and each member's statistics are caches,
// recomputed at fixed moments (see the operations), so that a loaded file shows its stored
// figures until an edit.
#pragma once

#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/document_frontend.h"
#include "model/member_record.h"
#include "model/result.h"
#include "settings/program_paths.h"

namespace kro {

class CKroAnalyzeDoc {
 public:
  // The title of a document without a file.
  static constexpr std::string_view kUntitled = "楼板仪数据文件";

  explicit CKroAnalyzeDoc(DocumentFrontend* frontend = nullptr);
  CKroAnalyzeDoc(const CKroAnalyzeDoc&) = delete;
  CKroAnalyzeDoc& operator=(const CKroAnalyzeDoc&) = delete;

  void setFrontend(DocumentFrontend* frontend);
  void setSettingsLocation(SettingsLocation location) { settings_ = std::move(location); }
  // The text used as the test date of appended members (default: today as "20%y--%m--%d").
  void setDateSource(std::function<std::string()> today) { today_ = std::move(today); }

  // --- Members ---
  int memberCount() const { return static_cast<int>(members_.size()); }
  const std::vector<MemberRecord>& members() const { return members_; }
  const MemberRecord* memberAt(int index) const;
  const MemberRecord* currentMemberRecord() const { return memberAt(currentMember_); }
  int currentMember() const { return currentMember_; }
  int currentReading() const { return currentReading_; }

  // Makes member index current and shows it in the grid, chart and panel; nothing when out of
  // range.
  void selectMember(int index);
  // Makes reading index current (ignored when negative) and refreshes the views asked for.
  void setCurrentReading(int index, bool refill, bool redraw);

  // Replaces all members, as a load does: the current member index is kept.
  void replaceMembers(std::vector<MemberRecord> members);

  // --- Totals (caches, see recomputation rules) ---
  std::int64_t totalReadingCount() const { return totalReadingCount_; }
  std::int64_t totalPassCount() const { return totalPassCount_; }
  float overallPassRate() const { return overallPassRate_; }
  std::int64_t sumReadingCounts();
  // Also refreshes every member's pass count.
  std::int64_t sumPassCounts();
  // From the totals as they stand.
  float computeOverallRate();

  // --- File state ---
  const std::filesystem::path& path() const { return path_; }
  // The file name, or "楼板仪数据文件" without a file.
  std::string title() const;
  bool isModified() const { return modified_; }

  // True exactly for the extensions "KRO", "Kro" and "kro".
  static bool isAnalysisExtension(const std::filesystem::path& path);

  // Opens a file as the document: the analysis layout for an analysis extension, otherwise an
  // index file with its member data files. A file that cannot be read or is damaged is
  // reported and leaves the document unchanged; warnings are shown after a successful load.
  bool open(const std::filesystem::path& path);
  // The two readers without messages or refreshes; the document is unchanged on failure. The
  // index reader gives the warnings of a successful load.
  Status readAnalysisFile(const std::filesystem::path& path);
  Result<std::vector<std::string>> readIndexFile(const std::filesystem::path& path);

  // Writes every member, without asking or collecting check marks.
  Status writeAnalysisFile(const std::filesystem::path& path) const;
  // Writes the selection export; refused for a path with an analysis extension.
  Status writeSelectionExport(const std::filesystem::path& path) const;

  // 保存 (Ctrl+S): the analysis layout to the document's own analysis file, otherwise to a name
  // asked for. True when written.
  bool save();
  // The toolbar's save: asks for a name and writes the analysis layout there; the document
  // then belongs to that file.
  bool saveAnalysisFileAs();
  // 保存选择构件: asks for a name and writes the selection export.
  bool saveSelection();
  // Asks whether to save unsaved changes. False when the user cancels or the save fails, so
  // the caller must not go on.
  bool saveModified();
  // The new-document step (Ctrl+N): path and title cleared, members kept.
  void newDocument();

  // --- Member commands ---
  // 插入构件: appends a member with the insert-command values and makes it current.
  void appendMember();
  // 删除构件: deletes the current member; undoDeleteMember puts it back where it was.
  void deleteCurrentMember();
  bool canUndoDelete() const { return deleted_.has_value(); }
  bool undoDeleteMember();
  // Copies the member list's check marks into the members.
  void collectChecks();
  // Rebuilds the member list and the totals.
  void refreshMemberList();
  // Shows the current member in the panel, bringing its maximum, minimum, pass count and the
  // totals up to date first.
  void showCurrentMember();

  // --- Edits of the current member (nothing without one) ---
  void setMemberName(std::string_view gbk);
  void setTestDate(std::string_view gbk);
  void setDesignThickness(std::int32_t value);
  void setPlusDeviation(std::int32_t value);
  void setMinusDeviation(std::int32_t value);
  void setReadingThickness(int row, std::int32_t value);
  void setReadingAux(int row, std::int32_t value);
  void insertReadingBefore(int row);
  void insertReadingAfter(int row);
  void deleteReading(int row);
  // A grid edit: row is the reading index, column the grid column, value the converted text.
  void setCellValue(int row, int column, std::int32_t value);

  // --- Settings ---
  std::string reportParameter(std::string_view key, int formatNumber) const;
  std::optional<int> chosenReportFormat() const;
  const SettingsLocation& settingsLocation() const { return settings_; }
  static std::filesystem::path programFolder();

 private:
  struct DeletedMember {
    int index;
    MemberRecord member;
  };

  MemberRecord* current();
  // The document part of a member's statistics: the totals, then the grid and chart.
  void afterStatisticsChange();
  void redrawChart();
  // A change of the tolerance band of the current member.
  void editBand(std::int32_t (MemberRecord::*get)() const, void (MemberRecord::*set)(std::int32_t),
                std::int32_t value);
  // A reading-row change of the current member, with its refreshes.
  void editRows(bool (MemberRecord::*edit)(int), int row);
  void markModified();
  void afterLoad(const std::filesystem::path& path);
  bool writeToChosenPath(const SaveDialogSpec& wanted, bool selection);
  void reportFailure(const std::string& message);

  DocumentFrontend* frontend_;
  HeadlessFrontend headless_;
  SettingsLocation settings_;
  std::function<std::string()> today_;

  std::vector<MemberRecord> members_;
  int currentMember_ = 0;
  int currentReading_ = 0;
  std::int64_t totalReadingCount_ = 0;
  std::int64_t totalPassCount_ = 0;
  float overallPassRate_ = 0.0f;

  std::filesystem::path path_;
  bool modified_ = false;
  std::optional<DeletedMember> deleted_;
};

// Today's date as appended members carry it: "20%y--%m--%d", e.g. 2026--12--07.
std::string appendedMemberDate(const std::tm& date);

}  // namespace kro
