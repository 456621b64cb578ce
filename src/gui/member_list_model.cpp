// Member list model.
#include "gui/member_list_model.h"

#include "model/panel_texts.h"

namespace kro::gui {

MemberListModel::MemberListModel(CKroAnalyzeDoc& doc, QObject* parent)
    : QAbstractTableModel(parent), doc_(doc) {}

int MemberListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int MemberListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(kMemberListHeadings.size());
}

QVariant MemberListModel::data(const QModelIndex& index, int role) const {
  const MemberRecord* member = doc_.memberAt(index.row());
  if (!index.isValid() || member == nullptr) return {};
  if (role == Qt::CheckStateRole && index.column() == 0) {
    return member->selected() != 0 ? Qt::Checked : Qt::Unchecked;
  }
  if (role != Qt::DisplayRole) return {};
  const MemberListTexts texts = memberListTexts(*member, index.row());
  switch (index.column()) {
    case 0:
      return QString::fromStdString(texts.number);
    case 1:
      return QString::fromStdString(texts.code);
    case 2:
      return QString::fromStdString(texts.readingCount);
    default:
      return QString::fromStdString(texts.testDate);
  }
}

bool MemberListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != 0 || doc_.memberAt(index.row()) == nullptr)
    return false;
  // The document refreshes the row (and makes the member current) through its frontend.
  doc_.setSelected(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags MemberListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant MemberListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= static_cast<int>(kMemberListHeadings.size())) {
    return {};
  }
  const std::string_view heading = kMemberListHeadings[static_cast<std::size_t>(section)];
  return QString::fromUtf8(heading.data(), static_cast<qsizetype>(heading.size()));
}

void MemberListModel::rebuild() {
  beginResetModel();
  rows_ = doc_.memberCount();
  endResetModel();
}

void MemberListModel::updateRow(int row) {
  if (row < 0 || row >= rows_) return;
  emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

}  // namespace kro::gui
