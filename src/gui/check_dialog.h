// The check's findings in a list: for review (检查, stays open beside the window) or before an
// output (the user may go on anyway). Choosing a finding that names a member makes it current.
#pragma once

#include <QDialog>
#include <functional>
#include <vector>

#include "report/project_check.h"

class QLabel;
class QListWidget;

namespace kro::gui {

class CheckDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Purpose { Review, BeforeOutput };
  CheckDialog(Purpose purpose, QWidget* parent = nullptr);

  // The findings in the list; the notes (verdict, members left out) below the summary.
  void setFindings(const std::vector<Finding>& findings, const std::vector<std::string>& notes = {});
  QLabel* notes() const { return notes_; }
  QListWidget* list() const { return list_; }

  // Before an output: true when there is nothing to report or the user goes on. A finding
  // chosen in the list is passed to choose and the output does not go on.
  static bool confirm(QWidget* parent, const std::vector<Finding>& findings,
                      const std::function<void(int)>& choose);

 signals:
  // A finding naming member (index) was chosen.
  void memberChosen(int member);
  // 重新检查 was pressed (review only).
  void recheckRequested();

 private:
  Purpose purpose_;
  QLabel* summary_;
  QLabel* notes_;
  QListWidget* list_;
};

}  // namespace kro::gui
