// The window's side of the office's register: 签发报告 (the step the person may take for the open
// project), 报告台账 (the ledgers, searched, opened, voided, exported) and 台账设置 (numbering,
// where the register is, people and instruments).
#pragma once

#include <QDialog>
#include <QLabel>
#include <optional>
#include <string>
#include <vector>

#include "register/issuing.h"
#include "register/ledger.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QTabWidget;
class QTableWidget;

namespace kro::gui {

// Asks who takes the project's next step, with their PIN, and (drafting) the format and the
// instrument, (approving) the folder of the documents and an optional typed number.
class IssueDialog : public QDialog {
  Q_OBJECT

 public:
  IssueDialog(Register& reg, const std::vector<ReportRecord>& ofProject, const QString& folder,
              QWidget* parent = nullptr);
  std::string_view step() const { return step_; }
  // The request as the dialog fills it (the file and the day are the caller's).
  IssueRequest request() const;

 private:
  std::string_view step_;
  QComboBox* person_;
  QLineEdit* pin_;
  QComboBox* format_ = nullptr;
  QComboBox* instrument_ = nullptr;
  QLineEdit* folder_ = nullptr;
  QLineEdit* number_ = nullptr;
  QLineEdit* passphrase_ = nullptr;
  QLineEdit* platformCode_ = nullptr;
  QCheckBox* forceExpired_;
};

// 报告台账.
class LedgerDialog : public QDialog {
  Q_OBJECT

 public:
  LedgerDialog(Register& reg, QWidget* parent = nullptr);
  void refresh();
  QTabWidget* tabs() const { return tabs_; }
  QTableWidget* table(int tab) const;
  QLineEdit* search() const { return search_; }
  QComboBox* verdictFilter() const { return verdict_; }
  QComboBox* stateFilter() const { return state_; }
  // The current tab to a workbook or a CSV file, the path asked for.
  void exportTab(bool xlsx);
  // Voids the report chosen in the 报告 tab: who, PIN and reason asked.
  void voidChosen();
  void openChosen();

 private:
  const ReportRecord* chosen() const;

  Register& reg_;
  std::vector<ReportRecord> shown_;  // the 报告 tab's rows
  std::vector<LedgerTable> tables_;  // as the tabs show them
  QTabWidget* tabs_;
  QLineEdit* search_;
  QDateEdit* from_;
  QDateEdit* to_;
  QComboBox* verdict_;
  QComboBox* state_;
};

// 台账设置.
class RegisterSettingsDialog : public QDialog {
  Q_OBJECT

 public:
  RegisterSettingsDialog(Register& reg, const QString& location, QWidget* parent = nullptr);
  QString location() const;  // the register's file chosen
  void refresh();

 private:
  Register& reg_;
  QLineEdit* pattern_;
  QComboBox* revisionRule_;
  QComboBox* codeMode_;
  QLineEdit* codeAddress_;
  QLabel* keys_;
  QLineEdit* location_;
  QTableWidget* people_;
  QTableWidget* instruments_;
};

}  // namespace kro::gui
