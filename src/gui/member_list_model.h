// The member list: one row per member with its check mark, number, code, reading count and test
// date, read from the document. A click on a check mark ticks or unticks the member at once.
#pragma once

#include <QAbstractTableModel>

#include "model/document.h"

namespace kro::gui {

class MemberListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit MemberListModel(CKroAnalyzeDoc& doc, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // A check mark changed by the user: the member's tick, an undoable command.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Rebuilds every row from the members.
  void rebuild();
  // Brings one row's texts and check mark up to date.
  void updateRow(int row);

 private:
  CKroAnalyzeDoc& doc_;
  int rows_ = 0;  // the member count as of the last rebuild
};

}  // namespace kro::gui
