// The desktop application driven like a user: the panel, the grid, the chart, files and the
// unsaved-changes question.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDockWidget>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPrinterInfo>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <atomic>
#include <functional>
#include <thread>

#include "export/csv_exchange.h"
#include "gui/batch_edit_dialog.h"
#include "gui/check_dialog.h"
#include "gui/dialogs.h"
#include "gui/overview_dock.h"
#include "gui/record_dialogs.h"
#include "gui/transfer_dialog.h"
#include "gui/window_settings.h"
#include "model/analysis_file.h"
#include "model/figure_text.h"
#include "model/file_lock.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/record_replay.h"
#include "model/report_figures.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "model/transfer_decoder.h"
#include "render/qt_paths.h"
#include "report/project_parameters.h"
#include "settings/program_paths.h"
#include "support/temp_dir.h"
#include "support/when_shown.h"
#include "transfer/instrument_encoder.h"

#ifndef _WIN32
#include "devices/pty_instrument.h"
#endif
#include "views/recording_canvas.h"
#include "views/thickness_chart.h"

namespace kro::gui {
namespace {

// Types text as key presses, one character (or surrogate pair) at a time; works for any script.
// Keys typed where the focus is, as a user types them: the grid's first key opens its editor and
// the rest go into it.
void typeKeys(const QString& text) {
  for (QChar c : text) QTest::keyClick(QApplication::focusWidget(), c.toLatin1());
}

// Enter where the focus is; the editor commits its value a moment later.
void pressEnter() {
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
  QCoreApplication::processEvents();
}

void typeText(QWidget* widget, const QString& text) {
  for (int i = 0; i < text.size(); ++i) {
    const int length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text.mid(i, length));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text.mid(i, length));
    QApplication::sendEvent(widget, &release);
    i += length - 1;
  }
}

// The centre of a member list row's check box.
QPoint checkBoxOf(QTreeView* list, int row) {
  QStyleOptionViewItem option;
  option.initFrom(list);
  option.rect = list->visualRect(list->model()->index(row, 0));
  option.features |= QStyleOptionViewItem::HasCheckIndicator;
  return list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list).center();
}

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    Dialogs::setTestMode(true);
    windowSettings()->clear();
    // With parameters of its own, as every file the program writes: it opens unmodified.
    EXPECT_TRUE(writeAnalysisFile(dir / "sample.KRO", Project{makeSampleProject(), {{}, true}}).ok());
    window.resize(1200, 800);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  ~MainWindowTest() override {
    // Leave without questions.
    Dialogs::queueSaveChoice(SaveChoice::Discard);
    window.close();
    Dialogs::setTestMode(true);
  }

  QString sample() const { return qtPath(dir / "sample.KRO"); }
  const MemberRecord* current() { return window.document().currentMemberRecord(); }
  template <class T>
  T* find(const char* name) {
    return window.findChild<T*>(name);
  }
  // Replaces a box's text the way a user would: select all, then type.
  void typeInto(QLineEdit* box, const QString& text) {
    box->setFocus();
    box->selectAll();
    typeText(box, text);
  }

  // The rows the member list highlights.
  std::vector<int> highlighted() {
    std::vector<int> rows;
    for (const QModelIndex& i : window.panel()->list()->selectionModel()->selectedRows())
      rows.push_back(i.row());
    return rows;
  }
  bool ticked(int row) {
    return window.panel()->model().data(window.panel()->model().index(row, 0), Qt::CheckStateRole).toInt() ==
           Qt::Checked;
  }
  QString text(const char* box) { return find<QLineEdit>(box)->text(); }

  test::TempDir dir;
  MainWindow window;
};

// A figure typed into the grid of an empty project starts its first member.
TEST_F(MainWindowTest, TypingIntoAnEmptyProjectStartsItsFirstMember) {
  ReadingGridView* grid = window.grid();
  grid->setFocus();
  QTest::keyClick(grid, Qt::Key_1);
  auto* editor = grid->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "18");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();
  ASSERT_EQ(window.document().memberCount(), 1);
  ASSERT_EQ(current()->readingCount(), 1);
  EXPECT_EQ(current()->readingAt(0), 118);
}

// Ctrl+E reaches its action from a text box of the panel, where it would move the cursor.
TEST_F(MainWindowTest, ShortcutsReachTheirActionsFromTheTextBoxes) {
  ASSERT_TRUE(window.openFile(sample()));
  auto* name = find<QLineEdit>("nameEdit");
  name->setFocus();
  QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_E, Qt::ControlModifier);
  QApplication::sendEvent(name, &override);
  EXPECT_FALSE(override.isAccepted());  // left to the window's shortcut
}

TEST_F(MainWindowTest, StartsEmptyWithFiftyGridRows) {
  EXPECT_EQ(window.document().memberCount(), 0);
  EXPECT_TRUE(window.windowTitle().startsWith("楼板仪数据文件"));
  // The version in the title is the one this build is.
  EXPECT_TRUE(window.windowTitle().endsWith(QString("处理软件V") + KRO_VERSION))
      << window.windowTitle().toStdString();
  EXPECT_EQ(window.grid()->model()->rowCount(), 50);
  EXPECT_FALSE(window.grid()->model()->flags(window.grid()->model()->index(0, 1)) & Qt::ItemIsEditable);
  EXPECT_EQ(find<QLineEdit>("totalReadingsEdit")->text(), "0");
  EXPECT_TRUE(find<QLabel>("tickedTotals")->text().contains("没有勾选任何构件"));
}

// The panel's totals count every member and say so; beside them the ticked ones' totals and
// verdict, as the reports state them.
TEST_F(MainWindowTest, ThePanelShowsTheTotalsAndTheVerdictTheReportsUse) {
  window.setSettingsLocation(SettingsLocation::inFolder(dir.path()));
  ASSERT_TRUE(window.openFile(sample(), false));
  const ReportFigures all = reportFigures(window.document().project(), {});
  EXPECT_EQ(find<QLabel>("tickedTotals")->text().toStdString(), tickedTotalsLine(all));
  window.document().setSelected(0, false);
  const ReportFigures ticked = reportFigures(window.document().project(), {});
  EXPECT_EQ(find<QLabel>("tickedTotals")->text().toStdString(), tickedTotalsLine(ticked));
  EXPECT_LT(ticked.readingCount, all.readingCount);
  EXPECT_EQ(text("totalReadingsEdit").toLongLong(), documentTotals(window.document().members()).readingCount);
  // A rule set for the project judges the same figures again.
  ParameterValues values = window.parameters();
  values.set("合格率要求", "50");
  ASSERT_TRUE(window.applyReportParameters(values, -1));
  EXPECT_TRUE(find<QLabel>("tickedTotals")->text().contains("（要求 50 %）：合格，判定规则：逐点判定"));
}

TEST_F(MainWindowTest, TransferAndGuideHaveMenuItemsAndTheOpenDialogShowsBothKinds) {
  auto menuHolding = [this](const char* name) {
    for (QAction* top : window.menuBar()->actions()) {
      if (top->menu() != nullptr && top->menu()->actions().contains(window.action(name))) return top->text();
    }
    return QString();
  };
  EXPECT_EQ(menuHolding("actionTransfer"), "文件(&F)");
  EXPECT_EQ(menuHolding("actionHelp"), "帮助(&H)");
  EXPECT_TRUE(find<QToolBar>("toolBar")->actions().contains(window.action("actionTransfer")));
  EXPECT_EQ(window.action("actionTransfer")->shortcut(), QKeySequence("Ctrl+T"));
  EXPECT_EQ(qtFileFilter("楼板仪文件 (*.KRO *.DEX)|*.KRO;*.DEX|原始数据文件 (*.DEX)|*.DEX||"),
            "楼板仪文件 (*.KRO *.kro *.Kro *.DEX *.dex *.Dex);;原始数据文件 (*.DEX *.dex *.Dex)");
}

TEST_F(MainWindowTest, CsvExportAndImportGoThroughTheFileMenu) {
  ASSERT_TRUE(window.openFile(sample()));
  const QString csv = qtPath(dir / "readings.csv");
  Dialogs::queuePath(csv);
  window.action("actionExportCsv")->trigger();
  ASSERT_TRUE(std::filesystem::exists(dir / "readings.csv"));

  // Imported into an analysis file of the user's choosing, which is then open.
  Dialogs::queuePath(csv);
  Dialogs::queuePath(qtPath(dir / "imported.KRO"));
  window.action("actionImportCsv")->trigger();
  EXPECT_TRUE(Dialogs::takeMessages().isEmpty());
  EXPECT_EQ(window.document().path(), dir / "imported.KRO");
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_EQ(find<QLineEdit>("totalReadingsEdit")->text(), "234");

  // A file with an error: one message naming the line, nothing written.
  test::writeBytes(dir / "bad.csv", std::string(kCsvHeader) + "\r\nA,,,x,-5,8\r\n");
  Dialogs::queuePath(qtPath(dir / "bad.csv"));
  window.action("actionImportCsv")->trigger();
  const QStringList messages = Dialogs::takeMessages();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages.front().contains("第 2 行第 4 列")) << messages.front().toStdString();
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.KRO"));
}

// A 1920 x 1080 screen at 100, 125, 150 and 200 % scaling: a window of 1920/f x 1040/f logical
// pixels (the taskbar left out) with the panel, the grid and the overview. Every column of the
// grid shows, and the chart below is as wide as them, which its caption needs.
TEST_F(MainWindowTest, TheGridAndChartAreWholeAtEveryScaling) {
  ASSERT_TRUE(window.openFile(sample()));
  auto* grid = find<QTableView>("readingGrid");
  auto* chart = find<QWidget>("thicknessChart");
  ASSERT_NE(chart, nullptr);
  for (double f : {1.0, 1.25, 1.5, 2.0}) {
    const int width = static_cast<int>(1920 / f);
    window.resize(width, static_cast<int>(1040 / f));
    QApplication::processEvents();
    EXPECT_LE(window.width(), width) << f;  // no wider than the screen
    EXPECT_LE(grid->horizontalHeader()->length(), grid->viewport()->width()) << f;
    EXPECT_GE(chart->width(), grid->horizontalHeader()->length()) << f;
  }
}

// 打印 on a machine without a printer says so and offers the PDF instead (under the offscreen
// platform there is none).
TEST_F(MainWindowTest, PrintingWithoutAPrinterOffersAPdf) {
  if (!QPrinterInfo::availablePrinterNames().isEmpty()) GTEST_SKIP() << "this machine has a printer";
  ASSERT_TRUE(window.openFile(sample()));
  Dialogs::queueYesNo(true);
  Dialogs::queuePath(qtPath(dir / "报告.pdf"));
  window.action("actionPrint")->trigger();
  const QStringList asked = Dialogs::takeQuestions();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked.front().contains("没有安装打印机")) << asked.front().toStdString();
  EXPECT_TRUE(test::readBytes(dir / "报告.pdf").starts_with("%PDF"));
  Dialogs::takeMessages();
}

TEST_F(MainWindowTest, CheckListsFindingsAndChoosingOneMakesItsMemberCurrent) {
  std::vector<MemberRecord> members = makeSampleProject();
  MemberData copy = members[2].data();
  copy.readings.clear();
  members.push_back(MemberRecord(copy));  // the 13th: no readings, and the code of the 3rd
  window.document().resetProject({members});
  window.action("actionCheck")->trigger();
  auto* dialog = window.findChild<CheckDialog*>("checkDialog");
  ASSERT_NE(dialog, nullptr);
  EXPECT_TRUE(dialog->isVisible());
  QListWidget* list = dialog->list();
  ASSERT_GE(list->count(), 2);
  EXPECT_TRUE(list->item(0)->text().startsWith("第 13 个构件 0003")) << list->item(0)->text().toStdString();
  EXPECT_TRUE(list->item(0)->text().endsWith("：没有测点。"));
  EXPECT_TRUE(list->item(1)->text().contains("测区编号与第 3 个构件相同"));
  EXPECT_EQ(window.document().currentMember(), 0);
  emit list->itemActivated(list->item(0));
  EXPECT_EQ(window.document().currentMember(), 12);
  EXPECT_TRUE(dialog->isVisible());  // the review stays open while the user fixes things

  // Fixed: checked again, the member findings are gone.
  window.document().deleteCurrentMember();
  window.action("actionCheck")->trigger();
  for (int i = 0; i < list->count(); ++i) EXPECT_FALSE(list->item(i)->text().contains("个构件"));
  dialog->close();
}

TEST_F(MainWindowTest, OverviewShowsEveryMemberAndTheHistogramOfTheTickedOnes) {
  ASSERT_TRUE(window.openFile(sample()));
  QTest::qWait(2 * MainWindow::kOverviewDelay.count());
  OverviewDock* overview = window.overview();
  ASSERT_TRUE(overview->isVisible());
  QTableView* table = overview->table();
  ASSERT_EQ(table->model()->rowCount(), 12);
  auto text = [table](int row, int column) { return table->model()->index(row, column).data().toString(); };
  EXPECT_EQ(text(0, 1), "0001");
  constexpr int kRate = 4;  // after the code and the two columns of a member rule (hidden here)
  EXPECT_TRUE(table->isColumnHidden(2));
  EXPECT_EQ(text(0, kRate), "95.0%");
  // Sorted by pass rate, lowest first: P002 and W002 (50.0 %), marked below the report's 90 %.
  table->sortByColumn(kRate, Qt::AscendingOrder);
  EXPECT_EQ(text(0, kRate), "50.0%");
  EXPECT_EQ(table->model()->index(0, 1).data(Qt::BackgroundRole).value<QBrush>().color(),
            QColor(255, 214, 214));
  EXPECT_FALSE(table->model()->index(11, 1).data(Qt::BackgroundRole).isValid());
  // A double-click makes the member current.
  const QString code = text(0, 1);
  emit table->doubleClicked(table->model()->index(0, 5));
  EXPECT_EQ(QString::fromStdString(gbkToUtf8(current()->code())), code);
  // The histogram counts the ticked members' readings; unticking one takes its readings out.
  EXPECT_EQ(overview->histogram()->figures().readingCount, 234);
  window.document().setSelected(0, false);
  QTest::qWait(2 * MainWindow::kOverviewDelay.count());
  EXPECT_EQ(overview->histogram()->figures().readingCount, 234 - 20);
}

TEST_F(MainWindowTest, ComparisonWithOriginalDataMarksChangedReadings) {
  ASSERT_TRUE(window.openFile(sample()));
  EXPECT_TRUE(window.document().setCellValue(1, 1, 200).ok());  // the first member's second reading, was 122
  ASSERT_TRUE(window.compareWith(sample()));
  QListWidget* differences = window.overview()->differences();
  ASSERT_TRUE(differences->isVisible());
  ASSERT_EQ(differences->count(), 1);
  EXPECT_EQ(differences->item(0)->text(), "0001 测点 2：122 → 200");
  const QModelIndex changed = window.grid()->model()->index(1, 1);
  EXPECT_EQ(changed.data(Qt::ToolTipRole).toString(), "原始值：122");
  EXPECT_TRUE(changed.data(Qt::BackgroundRole).isValid());
  EXPECT_FALSE(window.grid()->model()->index(0, 1).data(Qt::ToolTipRole).isValid());
  // A double-click on the line shows that member with that reading chosen.
  window.document().selectMember(3);
  emit differences->itemDoubleClicked(differences->item(0));
  EXPECT_EQ(window.document().currentMember(), 0);
  EXPECT_EQ(window.document().currentReading(), 1);
  EXPECT_EQ(window.grid()->currentRow(), 1);
  // Undone: nothing differs any more.
  window.document().undo();
  QTest::qWait(2 * MainWindow::kOverviewDelay.count());
  EXPECT_EQ(differences->item(0)->text(), "与原始数据相同。");
  EXPECT_FALSE(window.grid()->model()->index(1, 1).data(Qt::ToolTipRole).isValid());
  window.endComparison();
  EXPECT_FALSE(differences->isVisible());
  // A file that cannot be read says so and changes nothing.
  EXPECT_FALSE(window.compareWith(qtPath(dir / "none.serial")));
  EXPECT_EQ(Dialogs::takeMessages().size(), 1);
}

TEST_F(MainWindowTest, ACorrectedTransferredReadingAsksWhyAndShowsInTheGridAndTheLog) {
  // A file as a transfer writes it: its kept bytes beside it, its log begun.
  const std::string bytes = encodeSerialBlock(makeSampleProject()).value();
  std::filesystem::create_directories(dir / pathFromUtf8("原始数据"));
  test::writeBytes(dir / pathFromUtf8("原始数据") / "k.serial", bytes);
  Project received{decodeTransfer(TransferLayout::Serial, bytes).value().members, {{}, true}};
  beginRecord(received,
              sourceOf(ProjectSource::Kind::SerialTransfer,
                       {{dir / pathFromUtf8("原始数据") / "k.serial", bytes}}, received.members.size()),
              recorderNamed("张工"));
  ASSERT_TRUE(writeAnalysisFile(dir / "t.KRO", received).ok());
  ASSERT_TRUE(window.openFile(qtPath(dir / "t.KRO")));

  // Cancelled: nothing changes. Given a reason: the change is made and its row marked.
  ReadingGridView* grid = window.grid();
  test::whenShown<QDialog>([](QDialog* d) { d->reject(); });
  grid->model()->setData(grid->model()->index(1, 1), "150", Qt::EditRole);
  EXPECT_EQ(current()->readingAt(1), 122);
  test::whenShown<QDialog>([](QDialog* d) {
    d->findChild<QLineEdit*>("recorderName")->setText("李工");
    d->findChild<QComboBox*>("reason")->setCurrentText("复测");
    d->accept();
  });
  grid->model()->setData(grid->model()->index(1, 1), "150", Qt::EditRole);
  EXPECT_EQ(current()->readingAt(1), 150);
  EXPECT_EQ(grid->model()->index(1, 0).data().toString(), "2 改");
  EXPECT_EQ(grid->model()->index(0, 0).data().toString(), "1");
  EXPECT_NE(window.panel()->recordSummary()->text().indexOf("修改过 1 个测点"), -1);
  // The window's PDF shows the correction before the file is saved: the value then, struck
  // through, beside the value now and its entry's number.
  Dialogs::queueYesNo(true);  // the check's questions about empty parameters
  Dialogs::queuePath(qtPath(dir / "t.pdf"));
  window.action("actionPdf")->trigger();
  Dialogs::takeQuestions();
  ASSERT_EQ(
      std::system(("pdftotext -layout '" + (dir / "t.pdf").string() + "' '" + (dir / "t.txt").string() + "'")
                      .c_str()),
      0);
  const std::string printed = test::readBytes(dir / "t.txt");
  EXPECT_NE(printed.find("150[1]"), std::string::npos);
  EXPECT_NE(printed.find("修改记录最后一条的 SHA-256"), std::string::npos);
  window.action("actionSave")->trigger();
  EXPECT_EQ(loadProject(dir / "t.KRO").value().project.log.size(), 2u);
  EXPECT_EQ(windowSettings()->value("recorderName").toString(), "李工");

  // 修改记录 lists it; a double-click shows its reading.
  window.document().selectMember(4);
  window.action("actionModificationLog")->trigger();
  auto* log = window.findChild<ModificationLogDialog*>();
  ASSERT_NE(log, nullptr);
  ASSERT_EQ(log->table()->rowCount(), 2);
  EXPECT_EQ(log->table()->item(1, 8)->text(), "复测");
  EXPECT_EQ(log->table()->item(1, 2)->text(), "李工");
  emit log->table()->cellDoubleClicked(1, 0);
  EXPECT_EQ(window.document().currentMember(), 0);
  EXPECT_EQ(window.document().currentReading(), 1);
  log->memberFilter()->setCurrentText("0001");
  EXPECT_EQ(log->table()->rowCount(), 1);
  log->close();
}

TEST_F(MainWindowTest, OpeningFillsPanelGridAndChart) {
  ASSERT_TRUE(window.openFile(sample()));
  EXPECT_EQ(window.panel()->model().rowCount(), 12);
  EXPECT_EQ(window.grid()->model()->rowCount(), 20);
  EXPECT_EQ(find<QLineEdit>("codeEdit")->text(), "0001");
  EXPECT_EQ(find<QLineEdit>("nameEdit")->text(), "1#楼一层楼板");
  EXPECT_EQ(find<QDateEdit>("dateEdit")->date(), QDate(2008, 5, 12));
  EXPECT_EQ(find<QLineEdit>("totalReadingsEdit")->text(), "234");
  EXPECT_TRUE(window.windowTitle().startsWith("sample.KRO"));
  EXPECT_EQ(window.recentFiles().front(), sample());
}

TEST_F(MainWindowTest, RecentFilesLiveInTheConfigFolderAndForgetMissingFiles) {
  const QString other = qtPath(dir / "other.KRO");
  ASSERT_TRUE(writeAnalysisFile(dir / "other.KRO", Project{makeSampleProject(), {{}, true}}).ok());
  ASSERT_TRUE(window.openFile(other));
  ASSERT_TRUE(window.openFile(sample()));
  const QString config = qEnvironmentVariable("KRO_CONFIG_DIR");
  ASSERT_FALSE(config.isEmpty());
  QSettings stored(QDir(config).filePath("window.ini"), QSettings::IniFormat);
  EXPECT_EQ(stored.value("recentFiles").toStringList(), (QStringList{sample(), other}));

  std::filesystem::remove(dir / "other.KRO");
  for (QMenu* m : window.menuBar()->findChildren<QMenu*>()) {
    if (m->title() == "文件(&F)") emit m->aboutToShow();
  }
  EXPECT_EQ(window.recentFiles(), QStringList{sample()});
}

TEST_F(MainWindowTest, ArrowKeyMakesTheNewlyHighlightedMemberCurrent) {
  ASSERT_TRUE(window.openFile(sample()));
  QTreeView* list = window.panel()->list();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(window.document().currentMember(), 1);
  EXPECT_EQ(find<QLineEdit>("codeEdit")->text(), "0002");
  EXPECT_EQ(window.grid()->model()->rowCount(), 24);
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(current()->code(), "0003");
}

TEST_F(MainWindowTest, PanelEditsReachTheMemberKeystrokeByKeystroke) {
  ASSERT_TRUE(window.openFile(sample()));
  QLineEdit* design = find<QLineEdit>("designEdit");
  design->setFocus();
  design->selectAll();
  // An empty box keeps the last valid value; a number no slab has is refused and named.
  const int before = current()->designThickness();
  QTest::keyClick(design, Qt::Key_Backspace);
  EXPECT_EQ(current()->designThickness(), before);
  QTest::keyClick(design, Qt::Key_0);
  EXPECT_EQ(current()->designThickness(), before);
  EXPECT_TRUE(window.statusBar()->currentMessage().contains("“0”"))
      << window.statusBar()->currentMessage().toStdString();
  QTest::keyClick(design, Qt::Key_Backspace);
  QTest::keyClick(design, Qt::Key_1);
  EXPECT_EQ(current()->designThickness(), 1);
  QTest::keyClick(design, Qt::Key_2);
  EXPECT_EQ(current()->designThickness(), 12);
  QTest::keyClick(design, Qt::Key_0);
  EXPECT_EQ(current()->designThickness(), 120);
  EXPECT_TRUE(window.isWindowModified());

  // The figures follow at once, and the whole typing is one undo step.
  EXPECT_EQ(find<QLineEdit>("passCountEdit")->text(), QString::number(computeFigures(*current()).passCount));
  EXPECT_EQ(window.action("actionUndo")->text(), "撤销 修改 0001 的设计厚度");
  EXPECT_EQ(window.document().history().size(), 1u);

  // Typing 5 without a sign into the minus deviation stores -5, and the box and status bar say so.
  QLineEdit* minus = find<QLineEdit>("minusEdit");
  typeInto(minus, "5");
  EXPECT_EQ(current()->minusDeviation(), -5);
  EXPECT_EQ(minus->text(), "-5");
  EXPECT_TRUE(window.statusBar()->currentMessage().contains("-5"));
  EXPECT_EQ(toleranceBand(*current()).lower, 115);
  // Typing the sign first goes through "-" (0) to -7 without the box being rewritten.
  typeInto(minus, "-7");
  EXPECT_EQ(minus->text(), "-7");
  EXPECT_EQ(current()->minusDeviation(), -7);

  typeInto(find<QLineEdit>("nameEdit"), "三号楼");
  EXPECT_EQ(gbkToUtf8(current()->name()), "三号楼");
}

TEST_F(MainWindowTest, NamesAreCutAtCapacityAndUnstorableCharactersRefused) {
  ASSERT_TRUE(window.openFile(sample()));
  QLineEdit* name = find<QLineEdit>("nameEdit");
  typeInto(name, QString(60, QChar(0x677F)));  // 60 x 板: 120 bytes
  EXPECT_EQ(current()->name().size(), 98u);
  EXPECT_EQ(name->text().size(), 49);

  typeInto(name, "甲");
  Dialogs::takeMessages();
  typeText(name, QString::fromUtf8("😀"));
  EXPECT_EQ(name->text(), "甲");
  EXPECT_EQ(gbkToUtf8(current()->name()), "甲");
  EXPECT_EQ(Dialogs::takeMessages().size(), 1);
}

TEST_F(MainWindowTest, PickedDateIsStoredBlankPadded) {
  ASSERT_TRUE(window.openFile(sample()));
  find<QDateEdit>("dateEdit")->setDate(QDate(2026, 1, 7));
  EXPECT_EQ(current()->testDate(), *utf8ToGbk("2026年 1月 7日"));
  EXPECT_EQ(window.panel()->model().data(window.panel()->model().index(0, 3), Qt::DisplayRole).toString(),
            "2026年 1月 7日");
}

// Without a browser the user guide opens in a window of the program's own.
TEST_F(MainWindowTest, TheGuideOpensWithoutABrowser) {
  // The test program has no guide beside it: one of its own while the test runs.
  const std::filesystem::path guide = ProgramPaths::userGuide();
  const bool made = !std::filesystem::exists(guide);
  if (made) test::writeBytes(guide, "<html><body><h1>使用说明</h1></body></html>");
  struct Remove {
    std::filesystem::path file;
    bool made;
    ~Remove() {
      if (made) std::filesystem::remove(file);
    }
  } remove{guide, made};
  window.action("actionHelp")->trigger();
  auto* help = window.findChild<QDialog*>("helpWindow");
  ASSERT_NE(help, nullptr);  // the offscreen platform opens no browser
  auto* browser = help->findChild<QTextBrowser*>();
  ASSERT_NE(browser, nullptr);
  EXPECT_TRUE(browser->toPlainText().contains("使用说明")) << browser->toPlainText().left(200).toStdString();
  help->close();
}

// A new project's first member takes the band the office used last here.
TEST_F(MainWindowTest, ANewProjectStartsWithTheBandUsedLast) {
  ASSERT_TRUE(window.openFile(sample()));
  ASSERT_TRUE(window.document().setDesignThickness(150).ok());
  window.document().undo();           // shown once is enough
  window.document().selectMember(2);  // 0003: 110 mm
  window.action("actionNew")->trigger();
  Dialogs::takeQuestions();
  window.action("actionAppendMember")->trigger();
  ASSERT_NE(current(), nullptr);
  EXPECT_EQ(current()->designThickness(), 110);
  EXPECT_EQ(current()->minusDeviation(), -5);
}

TEST_F(MainWindowTest, TicksInBulkFromTheListAndItsMenu) {
  ASSERT_TRUE(window.openFile(sample()));
  QTreeView* list = window.panel()->list();
  list->setFocus();
  // Ten rows chosen with Shift, unticked in one step, ticked again by Space.
  list->selectionModel()->select(QItemSelection(list->model()->index(0, 0), list->model()->index(9, 0)),
                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  window.action("actionUntick")->trigger();
  int ticked = 0;
  for (const MemberRecord& m : window.document().members()) ticked += m.selected() != 0 ? 1 : 0;
  EXPECT_EQ(ticked, window.document().memberCount() - 10);
  EXPECT_EQ(window.document().undoName(), "取消勾选 10 个构件");
  EXPECT_EQ(list->selectionModel()->selectedRows().size(), 10);  // the rows stay chosen
  QTest::keyClick(list, Qt::Key_Space);
  for (const MemberRecord& m : window.document().members()) EXPECT_NE(m.selected(), 0);
  EXPECT_TRUE(list->actions().contains(window.action("actionInvertTicks")));
  window.action("actionInvertTicks")->trigger();
  for (const MemberRecord& m : window.document().members()) EXPECT_EQ(m.selected(), 0);
  window.action("actionUndo")->trigger();
  for (const MemberRecord& m : window.document().members()) EXPECT_NE(m.selected(), 0);

  // The overview's rows follow a change a moment later: Space on a row whose member was just
  // deleted ticks the others and nothing else.
  QTableView* table = window.overview()->table();
  table->selectAll();
  const int last = window.document().memberCount() - 1;
  window.document().selectMember(last);
  window.document().deleteCurrentMember();
  table->setFocus();
  QTest::keyClick(table, Qt::Key_Space);
  EXPECT_EQ(window.document().memberCount(), last);
}

TEST_F(MainWindowTest, GridEditAndPasteReachTheDocument) {
  ASSERT_TRUE(window.openFile(sample()));
  ReadingGridView* grid = window.grid();
  const QModelIndex cell = grid->model()->index(2, 1);
  grid->setCurrentIndex(cell);
  grid->edit(cell);
  auto* editor = grid->viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr);
  QTest::keyClicks(editor, "125");
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the view commits the edit from its event loop
  EXPECT_EQ(current()->readingAt(2), 125);
  EXPECT_EQ(grid->model()->data(grid->model()->index(2, 2)).toString(), "5");

  QApplication::clipboard()->setText("130\n131\t9\n");
  grid->setCurrentIndex(grid->model()->index(0, 1));
  window.action("actionPaste")->trigger();
  EXPECT_EQ(current()->readingAt(0), 130);
  EXPECT_EQ(current()->readingAt(1), 131);

  // Down on the last reading opens the blank row, and a paste there appends.
  const int count = current()->readingCount();
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(count - 1, 1));
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(grid->currentIndex().row(), count);
  EXPECT_EQ(grid->model()->rowCount(), count + 1);
  const std::int32_t last = current()->readingAt(count - 1);
  QApplication::clipboard()->setText("132\n133\n");
  window.action("actionPaste")->trigger();
  ASSERT_EQ(current()->readingCount(), count + 2);
  EXPECT_EQ(current()->readingAt(count - 1), last);
  EXPECT_EQ(current()->readingAt(count + 1), 133);

  // A profile member: the thickness column sets the thickness too.
  window.document().selectMember(6);
  ASSERT_EQ(current()->code(), "P001");
  grid->model()->setData(grid->model()->index(0, 1), "140", Qt::EditRole);
  EXPECT_EQ(current()->readingAt(0), 140);
  EXPECT_EQ(current()->readings()[0].auxValue, 0);
}

TEST_F(MainWindowTest, RowChoiceAndRowCommands) {
  ASSERT_TRUE(window.openFile(sample()));
  ReadingGridView* grid = window.grid();
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(3, 0));
  EXPECT_EQ(grid->currentRow(), 3);
  EXPECT_EQ(window.document().currentReading(), 3);
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(window.document().currentReading(), 4);

  // Insert above row 4: a new blank row that counts nowhere until a value is typed into it.
  const int before = current()->readingCount();
  const std::int32_t fourth = current()->readingAt(4);
  window.action("actionInsertReadingAbove")->trigger();
  EXPECT_EQ(current()->readingCount(), before);
  EXPECT_FALSE(window.document().isModified());
  EXPECT_EQ(grid->model()->rowCount(), before + 1);
  EXPECT_EQ(grid->model()->data(grid->model()->index(4, 1)).toString(), "");
  EXPECT_EQ(grid->currentIndex().row(), 4);
  typeKeys("118");
  pressEnter();
  EXPECT_EQ(current()->readingCount(), before + 1);
  EXPECT_EQ(current()->readingAt(4), 118);
  EXPECT_EQ(current()->readingAt(5), fourth);
  EXPECT_EQ(grid->currentIndex().row(), 5);  // Enter moved down
  EXPECT_EQ(window.panel()->model().data(window.panel()->model().index(0, 2), Qt::DisplayRole).toString(),
            QString::number(before + 1));

  grid->setCurrentIndex(grid->model()->index(before, 0));  // the last row
  window.action("actionDeleteReading")->trigger();
  EXPECT_EQ(grid->currentRow(), before - 1);
  EXPECT_EQ(current()->readingCount(), before);
}

TEST_F(MainWindowTest, ClickingADotSelectsTheReading) {
  ASSERT_TRUE(window.openFile(sample()));
  ChartView* chart = window.chart();
  const ChartGeometry g(*current(), chart->width(), chart->height());
  const QPoint dot(g.x(5), g.y(current()->readingAt(5)));
  QTest::mouseClick(chart, Qt::LeftButton, {}, dot);
  EXPECT_EQ(window.document().currentReading(), 5);
  const QModelIndexList selected = window.grid()->selectionModel()->selectedIndexes();
  ASSERT_FALSE(selected.isEmpty());
  EXPECT_EQ(selected.front().row(), 5);
  // Between dots nothing changes.
  QTest::mouseClick(chart, Qt::LeftButton, {}, QPoint((g.x(5) + g.x(6)) / 2, 5));
  EXPECT_EQ(window.document().currentReading(), 5);
}

// Ctrl+C copies wherever it is pressed; Delete deletes the member where the member list or the
// overview has focus, and Ctrl+Z brings it back.
TEST_F(MainWindowTest, CtrlCCopiesAndDeleteInTheListDeletesTheMember) {
  ASSERT_TRUE(window.openFile(sample()));
  window.document().selectMember(1);
  QWidget* list = window.panel()->list();
  list->setFocus();
  QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_FALSE(window.document().isModified());
  EXPECT_TRUE(QGuiApplication::clipboard()->text().contains("\t0002\t"))
      << QGuiApplication::clipboard()->text().toStdString();
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(window.document().memberCount(), 11);
  EXPECT_EQ(current()->code(), "0003");
  QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_EQ(current()->code(), "0002");
  // The same key in the overview's table.
  window.findChild<QDockWidget*>("overviewDock")->show();
  QTableView* table = window.findChild<OverviewDock*>()->table();
  table->setFocus();
  QTest::keyClick(table, Qt::Key_Delete);
  EXPECT_EQ(window.document().memberCount(), 11);
  // The grid's Delete removes readings, never the member.
  window.document().selectMember(0);
  const int readings = current()->readingCount();
  ReadingGridView* grid = window.grid();
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(2, 1));
  QTest::keyClick(grid, Qt::Key_Delete);
  EXPECT_EQ(window.document().memberCount(), 11);
  EXPECT_EQ(current()->readingCount(), readings - 1);
}

// In the grid Ctrl+C is the copy users expect; the member stays.
TEST_F(MainWindowTest, CtrlCInTheGridCopies) {
  ASSERT_TRUE(window.openFile(sample()));
  ReadingGridView* grid = window.grid();
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(2, 1));
  QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_FALSE(window.document().isModified());
  EXPECT_TRUE(
      QGuiApplication::clipboard()->text().startsWith("3\t" + QString::number(current()->readingAt(2))))
      << QGuiApplication::clipboard()->text().toStdString();
  // 复制, 粘贴 and 剪切 are in the 操作 menu.
  QStringList edit;
  for (QAction* top : window.menuBar()->actions()) {
    if (top->text().startsWith("操作")) {
      for (QAction* a : top->menu()->actions()) edit << a->objectName();
    }
  }
  for (const char* name : {"actionCut", "actionCopy", "actionPaste"})
    EXPECT_TRUE(edit.contains(name)) << name;
}

// 剪切 copies the selected readings and removes them in one step; nothing leaves a 0 mm reading.
TEST_F(MainWindowTest, CutRemovesTheReadingsItCopies) {
  ASSERT_TRUE(window.openFile(sample()));
  ReadingGridView* grid = window.grid();
  const std::vector<Reading> before = current()->readings();
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(2, 1));
  grid->selectionModel()->select(QItemSelection(grid->model()->index(2, 0), grid->model()->index(3, 4)),
                                 QItemSelectionModel::ClearAndSelect);
  QTest::keyClick(grid, Qt::Key_X, Qt::ControlModifier);
  EXPECT_TRUE(QGuiApplication::clipboard()->text().startsWith("3\t" + QString::number(before[2].thickness)));
  ASSERT_EQ(current()->readingCount(), static_cast<int>(before.size()) - 2);
  EXPECT_EQ(current()->readingAt(2), before[4].thickness);
  for (const Reading& r : current()->readings()) EXPECT_NE(r.thickness, 0);
  EXPECT_EQ(window.action("actionUndo")->text(), "撤销 剪切 0001 的 2 个测点");
  window.action("actionUndo")->trigger();
  EXPECT_EQ(current()->readings(), before);
  // Typing 0 (or any thickness no slab has) is refused with the value named.
  Dialogs::takeMessages();
  EXPECT_FALSE(grid->model()->setData(grid->model()->index(1, 1), "0", Qt::EditRole));
  EXPECT_EQ(current()->readings(), before);
  const QStringList said = Dialogs::takeMessages();
  ASSERT_EQ(said.size(), 1);
  EXPECT_TRUE(said.front().contains("“0”不是楼板能有的厚度")) << said.front().toStdString();
}

// Two windows on one file: the second is told who has it and may only view it; a save over a
// file that changed on the disk asks first.
TEST_F(MainWindowTest, TwoWindowsOnOneFile) {
  ASSERT_TRUE(window.openFile(sample()));
  EXPECT_TRUE(std::filesystem::exists(lockFileFor(dir / "sample.KRO")));
  MainWindow second;
  second.show();
  Dialogs::takeQuestions();
  Dialogs::queueChoice(0);  // 只读打开
  ASSERT_TRUE(second.openFile(sample()));
  const QStringList asked = Dialogs::takeQuestions();
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked.front().contains("已由 ")) << asked.front().toStdString();
  EXPECT_TRUE(second.windowTitle().contains("（只读）")) << second.windowTitle().toStdString();
  EXPECT_FALSE(second.action("actionSave")->isEnabled());
  EXPECT_TRUE(window.action("actionSave")->isEnabled());
  // The read-only window saves elsewhere; over the held file it is refused.
  second.document().setSelected(0, false);
  Dialogs::takeMessages();
  Dialogs::queuePath(sample());
  second.action("actionSaveAs")->trigger();
  EXPECT_TRUE(Dialogs::takeMessages().join("").contains("已由 "));
  Dialogs::queuePath(qtPath(dir / "copy.KRO"));
  second.action("actionSaveAs")->trigger();
  EXPECT_TRUE(std::filesystem::exists(dir / "copy.KRO"));
  EXPECT_FALSE(second.windowTitle().contains("（只读）"));

  // Something else writes the first window's file: its save asks, and cancelling keeps it.
  test::writeBytes(dir / "sample.KRO", encodeProjectFile(Project{{makeSampleProject()[0]}, {{}, true}}));
  std::filesystem::last_write_time(
      dir / "sample.KRO", std::filesystem::last_write_time(dir / "sample.KRO") + std::chrono::seconds(3));
  const std::string theirs = test::readBytes(dir / "sample.KRO");
  window.document().setSelected(1, false);
  window.action("actionSave")->trigger();
  EXPECT_TRUE(Dialogs::takeQuestions().join("").contains("被其他程序或窗口修改过"));
  EXPECT_EQ(test::readBytes(dir / "sample.KRO"), theirs);
  Dialogs::queueSaveChoice(SaveChoice::Discard);
  second.close();
}

// A column typed from a paper sheet: Enter after each value moves down, and below the last
// reading opens a new row; a blank new row counts nowhere.
// Ctrl+I from the member list leaves the keyboard in the new member's grid.
TEST_F(MainWindowTest, TypingAColumnOfReadings) {
  window.document().resetProject({});
  window.panel()->list()->setFocus();
  QTest::keyClick(window.panel()->list(), Qt::Key_I, Qt::ControlModifier);
  ReadingGridView* grid = window.grid();
  ASSERT_EQ(window.document().memberCount(), 1);
  EXPECT_EQ(current()->readingCount(), 0);
  EXPECT_EQ(grid->model()->rowCount(), 1);  // the new row, ready for typing
  EXPECT_EQ(QApplication::focusWidget(), grid);
  for (const char* value : {"121", "122", "123"}) {
    typeKeys(value);
    pressEnter();
  }
  ASSERT_EQ(current()->readingCount(), 3);
  EXPECT_EQ(current()->readingAt(0), 121);
  EXPECT_EQ(current()->readingAt(2), 123);
  EXPECT_EQ(grid->model()->rowCount(), 4);  // and a blank new row below
  EXPECT_EQ(text("countEdit"), "3");
  EXPECT_EQ(text("minEdit"), "121");
  // Each value is one step; a text that is no number is refused at the cell.
  EXPECT_EQ(window.document().history().size(), 4u);
  typeKeys("abc");
  pressEnter();
  EXPECT_EQ(current()->readingCount(), 3);
  // Moving up from the blank new row removes it.
  grid->setCurrentIndex(grid->model()->index(1, 1));
  EXPECT_EQ(grid->model()->rowCount(), 3);
}

TEST_F(MainWindowTest, PasteAppendsBeyondTheLastReadingAndRefusesWhatIsNoNumber) {
  ASSERT_TRUE(window.openFile(sample()));
  ReadingGridView* grid = window.grid();
  const int count = current()->readingCount();
  grid->setFocus();
  grid->setCurrentIndex(grid->model()->index(count - 1, 1));
  QGuiApplication::clipboard()->setText("130\n131\n132\n");
  QTest::keyClick(grid, Qt::Key_V, Qt::ControlModifier);
  ASSERT_EQ(current()->readingCount(), count + 2);
  EXPECT_EQ(current()->readingAt(count + 1), 132);
  EXPECT_EQ(window.document().history().size(), 1u);  // one step
  QGuiApplication::clipboard()->setText("140\n1x1\n");
  Dialogs::takeMessages();
  window.action("actionPaste")->trigger();
  const QStringList said = Dialogs::takeMessages();
  ASSERT_EQ(said.size(), 1);
  EXPECT_TRUE(said.front().contains("第 2 行")) << said.front().toStdString();
  EXPECT_EQ(window.document().history().size(), 1u);
}

TEST_F(MainWindowTest, UnsavedChangesAreAskedAboutOnCloseAndOpen) {
  ASSERT_TRUE(window.openFile(sample()));
  window.action("actionAppendMember")->trigger();  // insert member
  EXPECT_TRUE(window.isWindowModified());
  Dialogs::takeQuestions();

  Dialogs::queueSaveChoice(SaveChoice::Cancel);
  EXPECT_FALSE(window.openFile(sample()));
  EXPECT_EQ(window.document().memberCount(), 13);
  Dialogs::queueSaveChoice(SaveChoice::Cancel);
  EXPECT_FALSE(window.close());
  EXPECT_EQ(Dialogs::takeQuestions().size(), 2);

  Dialogs::queueSaveChoice(SaveChoice::Save);
  EXPECT_TRUE(window.close());
  EXPECT_EQ(decodeAnalysisFile(test::readBytes(dir / "sample.KRO")).value().size(), 13u);
}

TEST_F(MainWindowTest, TheOpenDialogAsksOnlyOnce) {
  ASSERT_TRUE(window.openFile(sample()));
  window.action("actionAppendMember")->trigger();
  Dialogs::takeQuestions();
  Dialogs::queueSaveChoice(SaveChoice::Discard);
  Dialogs::queuePath(sample());
  window.action("actionOpen")->trigger();
  EXPECT_EQ(Dialogs::takeQuestions().size(), 1);
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_FALSE(window.isWindowModified());
}

TEST_F(MainWindowTest, DroppedFilesOpen) {
  QMimeData data;
  data.setUrls({QUrl::fromLocalFile(sample())});
  QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  EXPECT_EQ(window.document().memberCount(), 12);
}

TEST_F(MainWindowTest, ControlPanelHidesFirstThenShows) {
  window.action("actionControlPanel")->trigger();
  EXPECT_FALSE(window.dock()->isVisible());
  window.action("actionControlPanel")->trigger();
  EXPECT_TRUE(window.dock()->isVisible());
}

TEST_F(MainWindowTest, TicksReachTheSelectionExport) {
  ASSERT_TRUE(window.openFile(sample()));
  window.panel()->model().setData(window.panel()->model().index(1, 0), Qt::Unchecked, Qt::CheckStateRole);
  Dialogs::queuePath(qtPath(dir / "sel.DEX"));
  window.action("actionSaveSelection")->trigger();
  const std::string bytes = test::readBytes(dir / "sel.DEX");
  const std::size_t second = 4 + 170 + 12 * 20;
  ASSERT_GT(bytes.size(), second + 125);
  EXPECT_EQ(bytes[second + 125], 0);
  EXPECT_EQ(bytes[4 + 125], 1);
}

TEST_F(MainWindowTest, UntickedMembersStayUntickedThroughEveryRebuild) {
  ASSERT_TRUE(window.openFile(sample()));
  QTreeView* list = window.panel()->list();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxOf(list, 2));
  ASSERT_EQ(window.document().memberAt(2)->selected(), 0);
  EXPECT_TRUE(window.isWindowModified());
  window.action("actionAppendMember")->trigger();
  window.action("actionDeleteMember")->trigger();
  QTest::keyClick(list, Qt::Key_Z, Qt::ControlModifier);
  window.document().selectMember(0);
  find<QDateEdit>("dateEdit")->setDate(QDate(2026, 2, 3));
  EXPECT_FALSE(ticked(2));
  EXPECT_TRUE(ticked(1));
  EXPECT_EQ(window.document().memberAt(2)->selected(), 0);
  // The tick is undoable like every other change.
  while (window.document().canUndo()) window.action("actionUndo")->trigger();
  EXPECT_TRUE(ticked(2));
  EXPECT_FALSE(window.isWindowModified());
}

TEST_F(MainWindowTest, AClickOnATickBoxHighlightsThatRowAndMakesItCurrent) {
  ASSERT_TRUE(window.openFile(sample()));
  QTreeView* list = window.panel()->list();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, checkBoxOf(list, 3));
  EXPECT_EQ(window.document().currentMember(), 3);
  EXPECT_EQ(highlighted(), std::vector<int>{3});
  EXPECT_EQ(text("codeEdit"), "0004");
  // Delete deletes the highlighted member.
  QTest::keyClick(list, Qt::Key_Delete);
  EXPECT_EQ(window.document().memberCount(), 11);
  EXPECT_EQ(window.document().memberAt(3)->code(), "A105");
  EXPECT_EQ(highlighted(), std::vector<int>{3});
  EXPECT_EQ(window.document().currentMember(), 3);
  // A click elsewhere in a row does the same; highlight and current never differ.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(5, 1)).center());
  EXPECT_EQ(highlighted(), std::vector<int>{5});
  EXPECT_EQ(window.document().currentMember(), 5);
  window.action("actionUndo")->trigger();
  EXPECT_EQ(highlighted(), std::vector<int>{window.document().currentMember()});
}

TEST_F(MainWindowTest, EveryChangeCanBeUndoneAndTheMenuSaysWhat) {
  ASSERT_TRUE(window.openFile(sample()));
  QAction* undo = window.action("actionUndo");
  QAction* redo = window.action("actionRedo");
  EXPECT_FALSE(undo->isEnabled());
  EXPECT_EQ(undo->text(), "撤销");
  window.document().selectMember(2);
  window.panel()->list()->setFocus();
  QTest::keyClick(window.panel()->list(), Qt::Key_Delete);
  QTest::keyClick(window.panel()->list(), Qt::Key_Delete);
  EXPECT_EQ(undo->text(), "撤销 删除构件 0004");
  QTest::keyClick(window.grid(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(redo->text(), "重做 删除构件 0004");
  QTest::keyClick(window.grid(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_EQ(current()->code(), "0003");
  QTest::keyClick(window.grid(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(window.document().memberCount(), 11);
  QTest::keyClick(window.grid(), Qt::Key_Z, Qt::ControlModifier);

  // A reading edit, and Ctrl+Z typed in a panel box: the document's undo, not the box's.
  const std::int32_t before = current()->readingAt(4);
  window.grid()->model()->setData(window.grid()->model()->index(4, 1), "7", Qt::EditRole);
  EXPECT_EQ(current()->readingAt(4), 7);
  QLineEdit* name = find<QLineEdit>("nameEdit");
  name->setFocus();
  QTest::keyClick(name, Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(current()->readingAt(4), before);
  EXPECT_FALSE(window.isWindowModified());

  // A click on the current row shows it again: the grid selects the current reading once more.
  window.grid()->selectionModel()->clearSelection();
  QTreeView* list = window.panel()->list();
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                    list->visualRect(list->model()->index(window.document().currentMember(), 1)).center());
  EXPECT_FALSE(window.grid()->selectionModel()->selectedIndexes().isEmpty());
}

TEST_F(MainWindowTest, EveryFigureAgreesAfterAnEdit) {
  ASSERT_TRUE(window.openFile(sample()));
  ReadingGridView* grid = window.grid();
  grid->model()->setData(grid->model()->index(3, 1), "100", Qt::EditRole);
  const MemberFigures f = computeFigures(*current());
  EXPECT_EQ(text("minEdit"), "100");
  EXPECT_EQ(text("passCountEdit"), QString::number(f.passCount));
  EXPECT_EQ(text("passRateEdit"), QString::fromStdString(percentText(f.passCount, f.readingCount) + "%"));
  EXPECT_EQ(text("averageEdit"), QString::number(roundedMean(*current())));
  const Totals totals = documentTotals(window.document().members());
  EXPECT_EQ(text("totalPassEdit"), QString::number(totals.passCount));
  EXPECT_EQ(text("overallRateEdit"),
            QString::fromStdString(percentText(totals.passCount, totals.readingCount) + "%"));
  EXPECT_EQ(grid->model()->data(grid->model()->index(3, 4)).toString(), "×");
  // The chart's header says the same.
  RecordingCanvas chart;
  drawThicknessChart(chart, current(), 0, 600, 400);
  EXPECT_NE(chart.findText("合格率:" + text("passRateEdit").toStdString()), nullptr);

  // Inserting a reading: the figures follow at once and are what is saved.
  window.action("actionInsertReadingAbove")->trigger();
  const MemberFigures g = computeFigures(*current());
  EXPECT_EQ(text("countEdit"), QString::number(g.readingCount));
  EXPECT_EQ(text("passRateEdit"), QString::fromStdString(percentText(g.passCount, g.readingCount) + "%"));
  window.action("actionSave")->trigger();
  const auto saved = decodeAnalysisFile(test::readBytes(dir / "sample.KRO")).value();
  EXPECT_EQ(saved[0].passRate(), passRateOf(g.passCount, g.readingCount));
  EXPECT_EQ(saved[0].passCount(), g.passCount);
}

TEST_F(MainWindowTest, AStoredFigureThatDisagreesIsMarked) {
  std::vector<MemberRecord> members = makeSampleProject();
  MemberData d = members[0].data();
  d.passRate = 1.0f;
  d.averageThickness = 0;
  members[0] = MemberRecord(d);
  ASSERT_TRUE(writeAnalysisFile(dir / "odd.KRO", members).ok());
  ASSERT_TRUE(window.openFile(qtPath(dir / "odd.KRO")));
  EXPECT_EQ(text("passRateEdit"), "100.0%");
  QLabel* mark = find<QLabel>("passRateMark");
  EXPECT_FALSE(mark->isHidden());
  EXPECT_TRUE(mark->toolTip().contains(QString::fromStdString(
      percentText(computeFigures(*current()).passCount, current()->readingCount()) + "%")));
  // No stored average: the mean of the readings, unmarked.
  EXPECT_EQ(text("averageEdit"), QString::number(roundedMean(*current())));
  EXPECT_TRUE(find<QLabel>("averageMark")->isHidden());
  // Once the readings change, the figures are recomputed and stored: the mark says so quietly.
  window.grid()->model()->setData(window.grid()->model()->index(0, 1), "119", Qt::EditRole);
  EXPECT_FALSE(mark->isHidden());
  EXPECT_EQ(mark->toolTip().toStdString(), kStoredFigureAgrees);
}

TEST_F(MainWindowTest, BatchEditIsOneUndoStep) {
  ASSERT_TRUE(window.openFile(sample()));
  window.document().setSelected(1, false);
  test::whenShown<BatchEditDialog>([](BatchEditDialog* d) {
    d->findChild<QCheckBox*>("setDesign")->setChecked(true);
    d->findChild<QSpinBox*>("designBox")->setValue(150);
    d->findChild<QCheckBox*>("setMinus")->setChecked(true);
    d->findChild<QSpinBox*>("minusBox")->setValue(6);
    d->accept();
  });
  window.action("actionBatchEdit")->trigger();
  EXPECT_EQ(window.document().memberAt(0)->designThickness(), 150);
  EXPECT_EQ(window.document().memberAt(0)->minusDeviation(), -6);
  EXPECT_NE(window.document().memberAt(1)->designThickness(), 150);  // unticked
  EXPECT_TRUE(window.statusBar()->currentMessage().contains("-6"));
  EXPECT_EQ(window.action("actionUndo")->text(), "撤销 批量设置构件参数");
  window.action("actionUndo")->trigger();
  EXPECT_EQ(window.document().memberAt(0)->designThickness(), 120);
  EXPECT_EQ(window.document().memberAt(0)->minusDeviation(), -5);
  EXPECT_EQ(window.action("actionUndo")->text(), "撤销 取消勾选构件 0002");
}

// Transfers from the virtual instrument, a pseudo-terminal: Linux only.
#ifndef _WIN32
TEST_F(MainWindowTest, AfterATransferTheBatchEditIsOffered) {
  auto instrument = PtyInstrument::create(encodeSerialBlock(makeSampleProject()).value(), true);
  ASSERT_TRUE(instrument.ok());
  std::atomic<bool> stop{false};
  std::thread server([&] { instrument.value()->serve(stop); });
  const std::filesystem::path destination = dir / "KRODat.KRO";
  test::whenShown<TransferDialog>([&](TransferDialog* d) {
    d->pathField()->setText(qtPath(destination));
    d->choosePort(QString::fromStdString(instrument.value()->portPath()));
    d->start();
  });
  Dialogs::queueYesNo(true);  // set the parameters now
  test::whenShown<BatchEditDialog>([](BatchEditDialog* d) {
    EXPECT_TRUE(d->findChild<QRadioButton*>("allMembers")->isChecked());
    d->findChild<QCheckBox*>("setPlus")->setChecked(true);
    d->findChild<QSpinBox*>("plusBox")->setValue(8);
    d->findChild<QCheckBox*>("setMinus")->setChecked(true);
    d->findChild<QSpinBox*>("minusBox")->setValue(-5);
    d->accept();
  });
  window.action("actionTransfer")->trigger();
  stop = true;
  server.join();
  ASSERT_EQ(window.document().memberCount(), 12);
  EXPECT_EQ(Dialogs::takeQuestions().size(), 1);
  for (const MemberRecord& m : window.document().members()) {
    EXPECT_EQ(m.plusDeviation(), 8);
    EXPECT_EQ(m.minusDeviation(), -5);
  }
  EXPECT_EQ(window.document().history().size(), 1u);
}

// A day's transfers make one project: each appended in one step, the codes it shares with the
// project told apart by a prefix; the transfer still writes its own file.
TEST_F(MainWindowTest, ATransferAppendedToTheOpenProject) {
  auto instrument = PtyInstrument::create(encodeSerialBlock(makeSampleProject()).value(), true);
  ASSERT_TRUE(instrument.ok());
  std::atomic<bool> stop{false};
  std::thread server([&] { instrument.value()->serve(stop); });
  ASSERT_TRUE(window.openFile(sample()));
  const std::filesystem::path destination = dir / "second.KRO";
  test::whenShown<TransferDialog>([&](TransferDialog* d) {
    d->pathField()->setText(qtPath(destination));
    d->findChild<QCheckBox*>("appendCheck")->setChecked(true);
    d->choosePort(QString::fromStdString(instrument.value()->portPath()));
    d->start();
  });
  Dialogs::queueText(QString("B-"));
  // The appended members arrive without tolerances: the batch edit is offered for them alone.
  Dialogs::queueYesNo(true);
  test::whenShown<BatchEditDialog>([](BatchEditDialog* d) {
    EXPECT_TRUE(d->findChild<QRadioButton*>("appendedMembers")->isChecked());
    d->findChild<QCheckBox*>("setPlus")->setChecked(true);
    d->findChild<QSpinBox*>("plusBox")->setValue(8);
    d->findChild<QCheckBox*>("setMinus")->setChecked(true);
    d->findChild<QSpinBox*>("minusBox")->setValue(-5);
    d->accept();
  });
  window.action("actionTransfer")->trigger();
  stop = true;
  server.join();
  ASSERT_EQ(window.document().memberCount(), 24);
  const QStringList asked = Dialogs::takeQuestions();
  ASSERT_EQ(asked.size(), 2);
  EXPECT_TRUE(asked.front().contains("0001")) << asked.front().toStdString();
  EXPECT_TRUE(asked.back().contains("追加的 12 个构件中有 12 个的允许偏差是 0"))
      << asked.back().toStdString();
  EXPECT_EQ(window.document().memberAt(23)->plusDeviation(), 8);
  EXPECT_EQ(window.document().memberAt(23)->minusDeviation(), -5);
  EXPECT_EQ(window.document().memberAt(0)->minusDeviation(), makeSampleProject()[0].minusDeviation());
  EXPECT_EQ(window.document().memberAt(12)->code(), "B-0001");
  EXPECT_EQ(window.document().currentMember(), 12);
  EXPECT_TRUE(std::filesystem::exists(destination));
  EXPECT_TRUE(window.document().path() == dir / "sample.KRO");
  window.action("actionUndo")->trigger();  // the batch edit
  window.action("actionUndo")->trigger();  // the append
  EXPECT_EQ(window.document().memberCount(), 12);
}
#endif

TEST_F(MainWindowTest, NewSaveAsCloseAndMerge) {
  ASSERT_TRUE(window.openFile(sample()));
  window.document().setSelected(0, false);
  // 新建 asks about the unsaved change first; cancelling keeps everything.
  Dialogs::queueSaveChoice(SaveChoice::Cancel);
  window.action("actionNew")->trigger();
  EXPECT_EQ(window.document().memberCount(), 12);
  Dialogs::queueSaveChoice(SaveChoice::Discard);
  window.action("actionClose")->trigger();
  EXPECT_EQ(window.document().memberCount(), 0);
  EXPECT_TRUE(window.document().path().empty());
  // 合并工程 appends a whole file in one step; 另存为 names the result.
  Dialogs::takeQuestions();
  Dialogs::queuePath(sample());
  window.action("actionMerge")->trigger();
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_TRUE(Dialogs::takeQuestions().isEmpty());  // no code was taken
  Dialogs::queuePath(qtPath(dir / "merged.KRO"));
  window.action("actionSaveAs")->trigger();
  EXPECT_EQ(window.document().path(), dir / "merged.KRO");
  EXPECT_FALSE(window.document().isModified());
  EXPECT_EQ(loadProject(dir / "merged.KRO").value().project.memberCount(), 12);
}

// Under a rule with a second sample, merged members may be marked as the second sample: the
// verdict then judges both samples, the panel shows the member's sample, and undo unmarks them.
TEST_F(MainWindowTest, AppendedMembersMayBeTheSecondSample) {
  auto slabs = [](const std::string& prefix, int passing) {
    Project p;
    for (int i = 0; i < 8; ++i) {
      MemberData d;
      d.code = prefix + std::to_string(i);
      d.designThickness = 120;
      d.selected = 1;
      for (int k = 0; k < 3; ++k) d.readings.push_back({0, i < passing ? 120 : 100, 0});
      p.members.push_back(MemberRecord(std::move(d)));
    }
    ParameterValues values;
    values.setRule(*builtInRule(kSlabRuleName));
    p.parameters = toStoredParameters(values, {}).value();
    return p;
  };
  ASSERT_TRUE(writeAnalysisFile(dir / "first.KRO", slabs("A", 6)).ok());
  ASSERT_TRUE(writeAnalysisFile(dir / "second.KRO", slabs("B", 7)).ok());
  ASSERT_TRUE(window.openFile(qtPath(dir / "first.KRO")));
  EXPECT_TRUE(find<QLabel>("tickedTotals")->text().contains("需二次抽样"));
  Dialogs::takeQuestions();
  Dialogs::queuePath(qtPath(dir / "second.KRO"));
  Dialogs::queueYesNo(true);  // these are the second sample
  window.action("actionMerge")->trigger();
  const QStringList asked = Dialogs::takeQuestions();
  ASSERT_FALSE(asked.isEmpty());
  EXPECT_TRUE(asked.front().contains("追加的 8 个构件是第二次抽样吗")) << asked.front().toStdString();
  EXPECT_EQ(window.document().memberAt(8)->sample(), 2);
  EXPECT_EQ(window.document().memberAt(7)->sample(), 1);
  EXPECT_TRUE(find<QLabel>("tickedTotals")->text().contains("合计 16 个构件合格 13 个（81.3%）"));
  window.document().selectMember(9);
  QApplication::processEvents();
  auto* sampleBox = find<QComboBox>("sampleBox");
  EXPECT_TRUE(sampleBox->isVisible());
  EXPECT_EQ(sampleBox->currentIndex(), 1);
  window.action("actionUndo")->trigger();  // the marks
  EXPECT_EQ(window.document().memberAt(8)->sample(), 1);
  EXPECT_EQ(window.document().memberCount(), 16);
}

// In a 1366 x 768 window the overview shows every column without scrolling; its tick boxes tick
// members, its current row follows the current member, and a comparison line leads to its member.
TEST_F(MainWindowTest, TheOverviewFitsTicksAndFollowsTheCurrentMember) {
  window.resize(1366, 768);
  ASSERT_TRUE(window.openFile(sample()));
  window.refreshOverview();
  window.fitOverview();  // as when the window is first shown at this size
  QApplication::processEvents();
  QTableView* table = window.overview()->table();
  QHeaderView* header = table->horizontalHeader();
#ifndef _WIN32
  // Under wine the fonts are not Windows' own, and wider: their widths say nothing of Windows.
  EXPECT_LE(header->length(), table->viewport()->width());
#endif
  for (int c = 0; c + 1 < header->count(); ++c) {
    if (table->isColumnHidden(c)) continue;
    const QString heading = table->model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_GE(header->sectionSize(c), table->fontMetrics().horizontalAdvance(heading))
        << heading.toStdString();
  }
  EXPECT_GE(header->sectionSize(header->count() - 1), 60);  // the name keeps room to be read
#ifndef _WIN32
  // The grid shows all its columns, 是否合格 included, without scrolling.
  QHeaderView* gridHeader = window.grid()->horizontalHeader();
  EXPECT_LE(gridHeader->length(), window.grid()->viewport()->width());
  for (int c = 0; c < gridHeader->count(); ++c)
    EXPECT_GE(gridHeader->sectionSize(c), gridHeader->sectionSizeHint(c)) << c;
#endif
  // The current member's row is the one highlighted.
  window.document().selectMember(4);
  const QModelIndexList rows = table->selectionModel()->selectedRows(1);
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows.front().data().toString().toStdString(), window.document().memberAt(4)->code());
  // A tick box unticks the member, as one undoable step.
  table->model()->setData(table->model()->index(2, 0), Qt::Unchecked, Qt::CheckStateRole);
  EXPECT_EQ(window.document().memberAt(2)->selected(), 0);
  EXPECT_EQ(window.action("actionUndo")->text(), "撤销 取消勾选构件 0003");
  // A comparison line leads to its member.
  window.document().selectMember(0);
  EXPECT_TRUE(window.document().setCellValue(0, 1, 99).ok());
  ASSERT_TRUE(window.compareWith(sample()));
  QListWidget* differences = window.overview()->differences();
  QListWidgetItem* line = nullptr;
  for (int i = 0; i < differences->count(); ++i) {
    if (differences->item(i)->text().startsWith("0001 测点 1")) line = differences->item(i);
  }
  ASSERT_NE(line, nullptr);
  window.document().selectMember(6);
  emit differences->itemDoubleClicked(line);
  EXPECT_EQ(window.document().currentMember(), 0);
}

// What is not an instrument file is refused; kept received bytes open as a new project.
TEST_F(MainWindowTest, OpeningReceivedBytesAndFilesThatAreNone) {
  test::writeBytes(dir / "20261208-090000.serial", encodeSerialBlock(makeSampleProject()).value());
  ASSERT_TRUE(window.openFile(qtPath(dir / "20261208-090000.serial")));
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_TRUE(window.document().path().empty());
  EXPECT_TRUE(window.windowTitle().contains("由原始数据解码")) << window.windowTitle().toStdString();
  EXPECT_EQ(current()->code(), "0001");
  test::writeBytes(dir / "passwd", "root:x:0:0:root:/root:/bin/bash\n");
  Dialogs::takeMessages();
  EXPECT_FALSE(window.openFile(qtPath(dir / "passwd"), false));
  const QStringList said = Dialogs::takeMessages();
  ASSERT_EQ(said.size(), 1);
  EXPECT_TRUE(said.front().contains("不是楼板仪数据文件"));
  EXPECT_EQ(window.document().memberCount(), 12);
}

}  // namespace
}  // namespace kro::gui
