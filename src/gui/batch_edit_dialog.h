// The batch edit "批量设置构件参数": design thickness, deviations, test date and sample number
// (抽样批次) for the ticked members or for all, applied as one undoable command.
#pragma once

#include <QCheckBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>

#include "model/document.h"

namespace kro::gui {

class BatchEditDialog : public QDialog {
  Q_OBJECT

 public:
  // Proposes the current member's values; ticked counts the ticked members, total all of them;
  // allMembers proposes all members rather than the ticked ones. appended: how many members
  // were just appended, offered (and proposed) as a scope of their own; 0 for none.
  BatchEditDialog(const MemberRecord* current, int ticked, int total, bool allMembers, int appended = 0,
                  QWidget* parent = nullptr);

  // What the user chose (the minus deviation as typed; the document fixes its sign). When the
  // appended members were chosen, the caller fills in their indices.
  BatchEditRequest request() const;
  bool appendedChosen() const { return appended_ != nullptr && appended_->isChecked(); }

 private:
  void updateOk();

  QCheckBox *setDesign_, *setPlus_, *setMinus_, *setDate_, *setSample_;
  QSpinBox *design_, *plus_, *minus_, *sample_;
  QDateEdit* date_;
  QRadioButton *ticked_, *all_, *appended_ = nullptr;
  QPushButton* ok_;
};

}  // namespace kro::gui
