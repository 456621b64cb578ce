// The window's side of the modification log: the reason asked for a change that is kept in the
// log, and the list of the log's entries (修改记录).
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "model/document.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QTableWidget;

namespace kro::gui {

// Asks who makes a change and why. name: the name given before (may be empty, then asked for
// too); it receives the name given. Nothing when the user cancels.
std::optional<std::string> askChangeReason(QWidget* parent, const ChangeRequest& request, QString& name);

// 修改记录: every entry, saved or not yet, filtered by member; choosing one makes its member and
// reading current.
class ModificationLogDialog : public QDialog {
  Q_OBJECT

 public:
  ModificationLogDialog(CKroAnalyzeDoc& doc, QWidget* parent = nullptr);
  // Fills the list anew from the document.
  void refresh();
  QTableWidget* table() const { return table_; }
  QComboBox* memberFilter() const { return filter_; }

 private:
  void showEntries();

  CKroAnalyzeDoc& doc_;
  std::vector<LogEntry> entries_;
  std::size_t saved_ = 0;  // entries_[0, saved_) are in the file
  QLabel* summary_;
  QComboBox* filter_;
  QTableWidget* table_;
};

}  // namespace kro::gui
