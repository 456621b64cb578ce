// The member panel: the member list with check marks, the current member's fields and the totals.
// Edits of name, design thickness and tolerances reach the document keystroke by keystroke.
#pragma once

#include <QDateEdit>
#include <QGridLayout>
#include <QLineEdit>
#include <QTreeView>
#include <QWidget>

#include "gui/member_list_model.h"
#include "model/document.h"

namespace kro::gui {

class MemberPanel : public QWidget {
  Q_OBJECT

 public:
  MemberPanel(CKroAnalyzeDoc& doc, QWidget* parent = nullptr);

  // Called by the document through the main window.
  void rebuildList();
  void showMember(const MemberRecord* member);
  void updateCountCell(int row);
  std::optional<bool> isChecked(int row) const { return model_.isChecked(row); }

  QTreeView* list() const { return list_; }
  MemberListModel& model() { return model_; }

 private:
  QLineEdit* addField(QGridLayout* grid, int row, int side, const char* label, const char* name,
                      bool editable);
  void onCurrentRowChanged(const QModelIndex& current);
  void onNameEdited(const QString& text);
  void onNumberEdited(QLineEdit* box, void (CKroAnalyzeDoc::*set)(std::int32_t));
  void onDateChanged(const QDate& date);

  CKroAnalyzeDoc& doc_;
  MemberListModel model_;
  QTreeView* list_;
  QLineEdit *name_, *code_, *design_, *plus_, *minus_, *max_, *min_, *count_, *average_, *passCount_,
      *passRate_;
  QLineEdit *totalReadings_, *totalPass_, *overallRate_;
  QDateEdit* date_;
  QString lastName_;
  bool filling_ = false;
};

}  // namespace kro::gui
