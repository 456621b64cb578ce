// The member list: one row per member with its check mark, number, code, reading count and test
// date. Check marks live here until the document collects them.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "model/document.h"

namespace kro::gui {

class MemberListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit MemberListModel(const CKroAnalyzeDoc& doc, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // Rebuilds every row from the members; each row is checked when its member is selected.
  void rebuild();
  // The reading-count cell of one row.
  void updateCountCell(int row);
  std::optional<bool> isChecked(int row) const;
  void setChecked(int row, bool checked);

 private:
  const CKroAnalyzeDoc& doc_;
  std::vector<char> checks_;
};

}  // namespace kro::gui
