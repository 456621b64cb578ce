// Every text the window shows is Chinese: its widgets, menus and every dialog it opens, Qt's own
// dialogs included. Latin words are allowed only for units, file kinds, product names, ports and
// strength grades.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QCalendarWidget>
#include <QComboBox>
#include <QDockWidget>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTabBar>

#include "gui/batch_edit_dialog.h"
#include "gui/check_dialog.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/print_settings_dialog.h"
#include "gui/report_parameters_dialog.h"
#include "gui/transfer_dialog.h"
#include "model/sample_project.h"
#include "render/qt_paths.h"
#include "support/recording_frontend.h"
#include "support/temp_dir.h"

namespace kro::gui {
namespace {

// The Latin words of a text that are not allowed: mnemonics "(&X)" and HTML tags aside.
QStringList latinWords(QString text) {
  static const QRegularExpression mnemonic("\\(&?[A-Z]\\)"), tags("<[^>]*>"), word("[A-Za-z][A-Za-z0-9]*");
  static const QRegularExpression allowed(
      "^(mm|CSV|PDF|KRO|DEX|docx|xlsx|Word|Excel|USB[1-6]?|COM[1-6]?|C[1-5][05]|V1)$");
  text.remove(mnemonic).remove(tags).remove('&');
  QStringList found;
  for (auto it = word.globalMatch(text); it.hasNext();) {
    const QString w = it.next().captured();
    if (!allowed.match(w).hasMatch()) found << w + " in “" + text + "”";
  }
  return found;
}

void collectMenu(const QList<QAction*>& actions, QStringList& found) {
  for (QAction* a : actions) {
    if (a->text().startsWith("&")) continue;  // a recent file: its path is data, not a text of ours
    found << latinWords(a->text());
    if (a->menu() != nullptr) collectMenu(a->menu()->actions(), found);
  }
}

// The texts a user sees in a window and its visible children.
QStringList latinWordsShownBy(QWidget* root) {
  QStringList found;
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* w : widgets) {
    if (w != root && !w->isVisibleTo(root)) continue;
    if (w->isWindow()) found << latinWords(w->windowTitle());
    if (auto* label = qobject_cast<QLabel*>(w)) found << latinWords(label->text());
    if (auto* button = qobject_cast<QAbstractButton*>(w)) found << latinWords(button->text());
    if (auto* group = qobject_cast<QGroupBox*>(w)) found << latinWords(group->title());
    if (auto* dock = qobject_cast<QDockWidget*>(w)) found << latinWords(dock->windowTitle());
    if (auto* line = qobject_cast<QLineEdit*>(w)) found << latinWords(line->placeholderText());
    if (auto* spin = qobject_cast<QAbstractSpinBox*>(w)) found << latinWords(spin->specialValueText());
    if (auto* tabs = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < tabs->count(); ++i) found << latinWords(tabs->tabText(i));
    }
    if (auto* view = qobject_cast<QAbstractItemView*>(w); view != nullptr && view->model() != nullptr) {
      for (int c = 0; c < view->model()->columnCount(); ++c)
        found << latinWords(view->model()->headerData(c, Qt::Horizontal).toString());
    }
    if (auto* bar = qobject_cast<QMenuBar*>(w)) collectMenu(bar->actions(), found);
  }
  return found;
}

// Shows a window, lets it settle, and returns what it says in Latin, one finding a line.
std::string shown(QWidget& window) {
  window.show();
  QApplication::processEvents();
  const QStringList found = latinWordsShownBy(&window);
  window.hide();
  return found.join("\n").toStdString();
}

class ChineseTextsTest : public ::testing::Test {
 protected:
  ChineseTextsTest() { Dialogs::setTestMode(true); }
  test::TempDir dir;
};

TEST_F(ChineseTextsTest, TheWindowAndOurDialogs) {
  MainWindow window;
  window.setSettingsLocation(SettingsLocation::inFolder(dir.path()));
  window.document().resetProject({makeSampleProject()});
  window.resize(1366, 768);
  EXPECT_EQ(shown(window), "");

  ReportParametersDialog parameters(defaultParameters(SettingsLocation::inFolder(dir.path())), 0);
  for (int format = 0; format < kReportFormatCount; ++format) {
    parameters.formatList()->setCurrentIndex(format);
    EXPECT_EQ(shown(parameters), "") << format;
  }
  BatchEditDialog batch(window.document().currentMemberRecord(), 12, 12, false);
  EXPECT_EQ(shown(batch), "");
  CheckDialog check(CheckDialog::Purpose::Review);
  check.setFindings(
      checkProject(window.document().project(), SettingsLocation::inFolder(dir.path()), 0).findings,
      {"勾选构件（用于报告）：234 点"});
  EXPECT_EQ(shown(check), "");
  PrintSettingsDialog print(SettingsLocation::inFolder(dir.path()));
  EXPECT_EQ(shown(print), "");
  test::RecordingFrontend ui;
  TransferDialog transfer(ui, {}, true, {});
  EXPECT_EQ(shown(transfer), "");
}

// Whatever the system's locale (the tests run under C), the calendars speak Chinese.
TEST_F(ChineseTextsTest, CalendarsAreChineseUnderAnyLocale) {
  EXPECT_EQ(QLocale().monthName(12), "十二月");
  QCalendarWidget calendar;
  EXPECT_EQ(calendar.locale().language(), QLocale::Chinese);
}

TEST_F(ChineseTextsTest, QtsOwnDialogs) {
  QFileDialog open(nullptr, "打开", qtPath(dir.path()), "楼板仪文件 (*.KRO *.DEX)");
  Dialogs::prepareFileDialog(open);
  open.setViewMode(QFileDialog::Detail);
  EXPECT_EQ(shown(open), "");
  QFileDialog folder(nullptr, "选择存放文件夹", qtPath(dir.path()));
  folder.setFileMode(QFileDialog::Directory);
  Dialogs::prepareFileDialog(folder);
  EXPECT_EQ(shown(folder), "");

  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog printDialog(&printer);
  EXPECT_EQ(shown(printDialog), "");
  QPageSetupDialog pageSetup(&printer);
  EXPECT_EQ(shown(pageSetup), "");
  QPrintPreviewDialog preview(&printer);
  preview.setWindowTitle("打印预览");
  EXPECT_EQ(shown(preview), "");
  QMessageBox box(QMessageBox::Warning, applicationTitle(), "没有构件。", QMessageBox::Ok);
  EXPECT_EQ(shown(box), "");
}

}  // namespace
}  // namespace kro::gui
