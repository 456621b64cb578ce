// The member panel: the member list with check marks, the current member's fields and the totals.
// Edits of name, design thickness, tolerances and date reach the document keystroke by
// keystroke, each as an undoable command; the list's highlighted row is always the current
// member.
#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTreeView>
#include <QWidget>
#include <functional>

#include "gui/member_list_model.h"
#include "model/document.h"
#include "model/figure_text.h"
#include "model/judging_rule.h"

namespace kro::gui {

class MemberPanel : public QWidget {
  Q_OBJECT

 public:
  MemberPanel(CKroAnalyzeDoc& doc, QWidget* parent = nullptr);

  // Called by the document through the main window.
  void rebuildList();
  void updateRow(int row);
  void showMember(const MemberRecord* member);

  QTreeView* list() const { return list_; }
  MemberListModel& model() { return model_; }
  // Where the panel learns the project's acceptance rule for its verdict line.
  void setRuleSource(std::function<RuleInForce()> rule) { rule_ = std::move(rule); }
  QLabel* tickedTotals() const { return tickedTotals_; }
  QLabel* recordSummary() const { return recordSummary_; }
  // The project's standing in the office's register ("签发状态：已签发 LBHD-2026-0001 第 1 版").
  void setRegisterState(const QString& text);
  QLabel* registerState() const { return registerState_; }

 signals:
  // A note for the status bar.
  void statusMessage(const QString& text);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QLineEdit* addField(QGridLayout* grid, int row, int side, const char* label, const char* name,
                      bool editable, QLabel** mark = nullptr);
  // The list's highlight on the current member.
  void highlightCurrent();
  void onRowChosen(const QModelIndex& index);
  void onNameEdited(const QString& text);
  void onNumberEdited(QLineEdit* box, void (CKroAnalyzeDoc::*set)(std::int32_t));
  void onMinusEdited();
  void onDesignEdited();
  void onDesignFinished();
  void onDateChanged(const QDate& date);

  CKroAnalyzeDoc& doc_;
  MemberListModel model_;
  QTreeView* list_;
  QLineEdit *name_, *code_, *design_, *plus_, *minus_, *max_, *min_, *count_, *average_, *passCount_,
      *passRate_;
  QLineEdit *totalReadings_, *totalPass_, *overallRate_;
  QLabel *passRateMark_ = nullptr, *averageMark_ = nullptr;
  QLineEdit* judged_ = nullptr;
  QLabel* judgedCaption_ = nullptr;
  QComboBox* sample_ = nullptr;
  QLabel* sampleCaption_ = nullptr;
  QLabel* tickedTotals_;
  QLabel* recordSummary_;  // where the readings came from, how many were corrected
  QLabel* registerState_;
  std::function<RuleInForce()> rule_;
  QDateEdit* date_;
  QString lastName_;
  bool filling_ = false;
};

}  // namespace kro::gui
