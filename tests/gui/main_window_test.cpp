// The desktop application driven like a user: the panel, the grid, the chart, files and the
// unsaved-changes question.
#include "gui/main_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QSettings>
#include <QStatusBar>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTimer>

#include "gui/dialogs.h"
#include "model/analysis_file.h"
#include "model/gbk_text.h"
#include "model/sample_project.h"
#include "model/statistics.h"
#include "support/temp_dir.h"
#include "views/thickness_chart.h"

namespace kro::gui {
namespace {

// Types text as key presses, one character (or surrogate pair) at a time; works for any script.
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

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    Dialogs::setTestMode(true);
    QSettings().clear();
    EXPECT_TRUE(writeAnalysisFile(dir / "sample.KRO", makeSampleProject()).ok());
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

  QString sample() const { return QString::fromStdString((dir / "sample.KRO").string()); }
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

  test::TempDir dir;
  MainWindow window;
};

TEST_F(MainWindowTest, StartsEmptyWithFiftyGridRows) {
  EXPECT_EQ(window.document().memberCount(), 0);
  EXPECT_TRUE(window.windowTitle().startsWith("楼板仪数据文件"));
  EXPECT_EQ(window.grid()->model()->rowCount(), 50);
  EXPECT_FALSE(window.grid()->model()->flags(window.grid()->model()->index(0, 1)) & Qt::ItemIsEditable);
  EXPECT_EQ(find<QLineEdit>("totalReadingsEdit")->text(), "");
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
  QTest::keyClick(design, Qt::Key_Backspace);
  EXPECT_EQ(current()->designThickness(), 0);
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

  const int before = current()->readingCount();
  window.action("actionInsertReadingAbove")->trigger();  // insert above row 4
  EXPECT_EQ(current()->readingCount(), before + 1);
  EXPECT_EQ(current()->readingAt(4), 0);
  const QModelIndexList selected = grid->selectionModel()->selectedIndexes();
  ASSERT_EQ(selected.size(), 4);
  for (const QModelIndex& i : selected) {
    EXPECT_EQ(i.row(), 4);
    EXPECT_GE(i.column(), 1);
  }
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

TEST_F(MainWindowTest, CtrlCDeletesTheMemberAndCtrlZBringsItBack) {
  ASSERT_TRUE(window.openFile(sample()));
  window.document().selectMember(1);
  window.grid()->setFocus();
  QTest::keyClick(window.grid(), Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(window.document().memberCount(), 11);
  EXPECT_EQ(current()->code(), "0003");
  QTest::keyClick(window.grid(), Qt::Key_Z, Qt::ControlModifier);
  EXPECT_EQ(window.document().memberCount(), 12);
  EXPECT_EQ(current()->code(), "0002");
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
  Dialogs::queuePath(QString::fromStdString((dir / "sel.DEX").string()));
  window.action("actionSaveSelection")->trigger();
  const std::string bytes = test::readBytes(dir / "sel.DEX");
  const std::size_t second = 4 + 170 + 12 * 20;
  ASSERT_GT(bytes.size(), second + 125);
  EXPECT_EQ(bytes[second + 125], 0);
  EXPECT_EQ(bytes[4 + 125], 1);
}

}  // namespace
}  // namespace kro::gui
