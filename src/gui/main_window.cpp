// Main window.
#include "gui/main_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <numeric>

#include "export/csv_exchange.h"
#include "export/spreadsheet_export.h"
#include "gui/batch_edit_dialog.h"
#include "gui/check_dialog.h"
#include "gui/dialogs.h"
#include "gui/format_manager_dialog.h"
#include "gui/judging_rules_dialog.h"
#include "gui/long_work.h"
#include "gui/overview_dock.h"
#include "gui/print_settings_dialog.h"
#include "gui/report_parameters_dialog.h"
#include "gui/transfer_dialog.h"
#include "gui/window_settings.h"
#include "model/analysis_file.h"
#include "model/file_io.h"
#include "model/gbk_text.h"
#include "model/panel_texts.h"
#include "model/report_figures.h"
#include "office/docx_template.h"
#include "office/xlsx_excel_session.h"
#include "render/qt_paths.h"
#include "render/report_printer.h"
#include "report/project_parameters.h"
#include "report/report_generator.h"
#include "report/report_parameters.h"
#include "settings/program_paths.h"
#include "transfer/received_data.h"
#include "views/report_pages.h"

namespace kro::gui {
namespace {

constexpr int kRecentFileCount = 4;
// Every kind first, so that none is hidden when the dialog opens; then each alone, and any file
// (what a file is, is told by its content).
const char* const kOpenFilter =
    "楼板仪文件 (*.KRO *.DEX *.serial *.usb)|*.KRO;*.DEX;*.serial;*.usb|原始数据文件 (*.DEX)|*.DEX|"
    "分析结果文件 (*.KRO)|*.KRO|传输时保存的原始数据 (*.serial *.usb)|*.serial;*.usb|所有文件 (*)|*||";

QString qt(const std::string& text) { return QString::fromStdString(text); }

// A page count for printing, shown after half a second, with a cancel button.
class PageProgress {
 public:
  PageProgress(QWidget* parent, const QString& what) : dialog_(what, "取消", 0, 1, parent) {
    dialog_.setObjectName("pageProgressDialog");
    dialog_.setWindowTitle("请稍候");
    dialog_.setWindowModality(Qt::WindowModal);
    dialog_.setMinimumDuration(kLongWorkNoticeMs);
  }
  PrintProgress callback() {
    return [this](int page, int pages) {
      dialog_.setMaximum(pages);
      dialog_.setValue(page - 1);
      dialog_.setLabelText(QString("正在处理第 %1 页，共 %2 页…").arg(page).arg(pages));
      QApplication::processEvents();
      return !dialog_.wasCanceled();
    };
  }

 private:
  QProgressDialog dialog_;
};

// The selected rows of a list or table as text: cells by tabs, rows by lines, as shown.
void copyItemSelection(const QAbstractItemView& view) {
  QModelIndexList cells =
      view.selectionModel() != nullptr ? view.selectionModel()->selectedIndexes() : QModelIndexList();
  if (cells.isEmpty() && view.currentIndex().isValid()) cells << view.currentIndex();
  std::sort(cells.begin(), cells.end(), [](const QModelIndex& a, const QModelIndex& b) {
    return a.row() != b.row() ? a.row() < b.row() : a.column() < b.column();
  });
  QStringList lines;
  int row = -1;
  for (const QModelIndex& cell : cells) {
    const QString text = cell.data(Qt::DisplayRole).toString();
    if (cell.row() != row) {
      lines << text;
      row = cell.row();
    } else {
      lines.back() += '\t' + text;
    }
  }
  if (!lines.isEmpty()) QApplication::clipboard()->setText(lines.join('\n') + '\n');
}

QIcon themed(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}

}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent),
      doc_(this),
      officePaths_(OfficePaths::standard()),
      printer_(QPrinter::HighResolution) {
  preparePrinter(printer_);
  setObjectName("mainWindow");
  doc_.setParameterDefaults([this](bool openedFile) {
    return openedFile ? officeParametersForOldFile(settings_) : officeParameters(settings_);
  });
  doc_.useFileLocks("kroanalyze");
  // A new project's first member takes the band used last in this configuration folder.
  if (auto band = parseMemberBand(windowSettings()->value("newMemberBand").toString().toStdString()))
    doc_.setNewMemberBand(*band);
  setAcceptDrops(true);
  setWindowIcon(themed("x-office-spreadsheet", QStyle::SP_FileDialogDetailedView));

  panel_ = new MemberPanel(doc_, this);
  panel_->setRuleSource([this] { return parameters().rule(); });
  dock_ = new QDockWidget("控制面板", this);
  dock_->setObjectName("workspaceDock");
  dock_->setWidget(panel_);
  dock_->setAllowedAreas(Qt::AllDockWidgetAreas);
  addDockWidget(Qt::LeftDockWidgetArea, dock_);
  resizeDocks({dock_}, {330}, Qt::Horizontal);

  grid_ = new ReadingGridView(doc_, this);
  connect(grid_, &ReadingGridView::contextMenuWanted, this, [this](const QPoint& at) {
    QMenu menu(this);
    for (const char* name : {"actionCut", "actionCopy", "actionPaste", "", "actionInsertReadingAbove",
                             "actionInsertReadingBelow", "actionDeleteReading"}) {
      if (*name == '\0') {
        menu.addSeparator();
      } else {
        menu.addAction(action(name));
      }
    }
    menu.exec(at);
  });
  chart_ = new ChartView(doc_, this);
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->addWidget(grid_);
  splitter_->addWidget(chart_);
  splitter_->setSizes({400, 300});
  setCentralWidget(splitter_);

  overview_ = new OverviewDock(this);
  addDockWidget(Qt::RightDockWidgetArea, overview_);
  resizeDocks({overview_}, {600}, Qt::Horizontal);
  connect(overview_, &OverviewDock::memberChosen, this, [this](int member) { doc_.selectMember(member); });
  // The member shown with the reading chosen in its grid and chart.
  connect(overview_, &OverviewDock::readingChosen, this, [this](int member, int reading) {
    doc_.selectMember(member);
    doc_.setCurrentReading(reading, true, true);
  });
  connect(overview_, &OverviewDock::tickToggled, this,
          [this](int member, bool ticked) { doc_.setSelected(member, ticked); });
  connect(overview_, &OverviewDock::comparisonClosed, this, [this] { endComparison(); });
  connect(overview_, &OverviewDock::comparisonFilterChanged, this, [this] { refreshOverview(); });
  // The overview follows a moment after the last change, so typing is never slowed by
  // figures over the whole project.
  overviewTimer_.setSingleShot(true);
  overviewTimer_.setInterval(kOverviewDelay);
  connect(&overviewTimer_, &QTimer::timeout, this, [this] { refreshOverview(); });
  connect(overview_, &QDockWidget::visibilityChanged, this, [this](bool visible) {
    if (visible) scheduleOverview();
  });

  buildActions();
  buildStatusBar();
  connect(panel_, &MemberPanel::statusMessage, this,
          [this](const QString& text) { statusBar()->showMessage(text, 8000); });
  rebuildMemberList();
  showMember(doc_.currentMemberRecord());
  stateChanged();
}

MainWindow::~MainWindow() { doc_.setFrontend(nullptr); }

QAction* MainWindow::action(const char* name) const { return findChild<QAction*>(name); }

// Every action of the window once: its name, text, keys, tip and handler, the menu it stands in
// (in this order, after a separator where marked) and its place on the toolbar.
void MainWindow::buildActions() {
  using K = QKeySequence;
  using S = QStyle;
  enum Menu { None, File, Tools, Edit, View, Help };
  struct Row {
    const char* name;
    QString text;
    QList<QKeySequence> keys;
    QString tip;
    std::function<void()> run;
    Menu menu = None;
    bool menuGap = false;  // a separator before it in its menu
    int toolbar = -1;      // its place on the toolbar; -1: not there
    bool toolbarGap = false;
    QIcon icon{};
  };
  auto save = [this](auto operation) { return [this, operation] { saveDocument(operation); }; };
  // clang-format off: one row per action reads as the table it is
  const Row rows[] = {
      {"actionNew", "新建(&N)", {K("Ctrl+N")}, "新建一个空的工程", [this] { closeDocument(); }, File},
      {"actionOpen",
       "打开(&O)...",
       {K("Ctrl+O")},
       "打开一个已有的文件",
       [this] { openDialog(); },
       File,
       false,
       0,
       false,
       themed("document-open", S::SP_DialogOpenButton)},
      {"actionSave",
       "保存(&S)",
       {K("Ctrl+S")},
       "保存分析结果文件",
       save([this](const DocumentAnswers& a) { return doc_.save(a); }),
       File},
      {"actionSaveAs",
       "另存为(&W)...",
       {K("Ctrl+Shift+S")},
       "以新的文件名保存分析结果文件",
       save([this](const DocumentAnswers& a) { return doc_.saveAnalysisFileAs(a); }),
       File},
      {"actionSaveSelection",
       "保存选择构件(&A)...",
       {},
       "保存选择的构件",
       [this] { settle([this](const DocumentAnswers& a) { return doc_.saveSelection(a); }); },
       File},
      {"actionClose", "关闭(&C)", {K("Ctrl+F4")}, "关闭当前文件", [this] { closeDocument(); }, File},
      {"actionTransfer",
       "数据传输(&T)...",
       {K("Ctrl+T")},
       "从仪器传输数据",
       [this] { transfer(); },
       File,
       true,
       2,
       false,
       themed("network-receive", S::SP_DriveNetIcon)},
      {"actionMerge",
       "合并工程(&M)...",
       {},
       "把另一个文件的构件追加到当前工程",
       [this] { mergeProject(); },
       File},
      {"actionImportCsv",
       "导入 CSV...",
       {},
       "由 CSV 文件生成分析结果文件并打开",
       [this] { importCsv(); },
       File,
       true},
      {"actionExportCsv",
       "导出 CSV...",
       {},
       "将全部构件的测点导出为 CSV 文件",
       [this] { exportCsv(); },
       File},
      {"actionFormats",
       "报告格式管理(&G)...",
       {},
       "内置和用户自己的报告格式：新建、打开、检查",
       [this] {
         auto starting = findTemplate(officePaths_, "自定义格式样板.docx");
         FormatManagerDialog(settings_, starting ? starting.value() : std::filesystem::path(), this).exec();
       },
       File,
       true},
      {"actionPrint",
       "打印(&P)...",
       {K("Ctrl+P")},
       "打印检测报告",
       [this] { print(); },
       File,
       true,
       17,
       false,
       themed("document-print", S::SP_DialogApplyButton)},
      {"actionPrintPreview",
       "打印预览(&V)",
       {},
       "打印预览",
       [this] { preview(); },
       File,
       false,
       16,
       false,
       themed("document-print-preview", S::SP_FileDialogContentsView)},
      {"actionPdf",
       "保存为 PDF(&D)...",
       {},
       "把检测报告保存为 PDF 文件",
       [this] { savePdf(); },
       File,
       false,
       -1,
       false,
       themed("document-export", S::SP_DialogSaveButton)},
      {"actionPageSetup",
       "页面设置(&R)...",
       {},
       "选择打印机和纸张",
       [this] { QPageSetupDialog(&printer_, this).exec(); },
       File},
      {"actionExit", "退出(&X)", {}, "退出程序", [this] { close(); }, File, true},

      {"actionReportParameters",
       "工程参数设置(&R)",
       {K("Ctrl+R")},
       "工程参数设置",
       [this] { reportParameters(); },
       Tools,
       false,
       4,
       false,
       themed("preferences-other", S::SP_FileDialogListView)},
      {"actionRules",
       "判定规则(&J)...",
       {},
       "内置和本单位的判定规则：查看、新建、修改",
       [this] { JudgingRulesDialog(settings_, this).exec(); },
       Tools},
      {"actionWordReport",
       "生成Word报告(&W)",
       {K("Ctrl+W")},
       "生成Word报告",
       [this] { wordReport(); },
       Tools,
       false,
       5,
       false,
       themed("x-office-document", S::SP_FileIcon)},
      {"actionSpreadsheet",
       "数据导入Excel(&E)",
       {K("Ctrl+E")},
       "数据导入Excel",
       [this] { spreadsheet(); },
       Tools,
       false,
       6,
       false,
       themed("x-office-spreadsheet", S::SP_FileDialogDetailedView)},
      {"actionCheck",
       "检查(&K)...",
       {},
       "检查构件和报告参数中会使报告出错或留空的地方",
       [this] { check(); },
       Tools,
       true,
       -1,
       false,
       themed("dialog-information", S::SP_MessageBoxInformation)},
      {"actionCompareOriginal",
       "与原始数据比较...",
       {},
       "与传输时保存的原始数据（或任一文件）比较，标出改动过的测点",
       [this] { chooseOriginal(); },
       Tools},

      {"actionUndo",
       "撤销",
       {K("Ctrl+Z")},
       "撤销上一步修改",
       [this] { doc_.undo(); },
       Edit,
       false,
       7,
       true,
       themed("edit-undo", S::SP_ArrowBack)},
      {"actionRedo",
       "重做",
       {K("Ctrl+Y"), K("Ctrl+Shift+Z")},
       "重做撤销的修改",
       [this] { doc_.redo(); },
       Edit,
       false,
       8,
       false,
       themed("edit-redo", S::SP_ArrowForward)},
      {"actionCut",
       "剪切(&T)",
       {K("Ctrl+X"), K("Shift+Del")},
       "剪切选中的测点（复制后删除它们）",
       [this] { grid_->cutSelection(); },
       Edit,
       true},
      // Ctrl+C copies wherever it is pressed, never deleting anything.
      {"actionCopy",
       "复制(&C)",
       {K("Ctrl+C"), K("Ctrl+Ins")},
       "复制选中的测点或构件",
       [this] { copyFromFocus(); },
       Edit},
      {"actionPaste",
       "粘贴(&P)",
       {K("Ctrl+V"), K("Shift+Ins")},
       "从当前行起粘贴测点，超出的部分追加为新测点",
       [this] { grid_->paste(); },
       Edit},
      {"actionAppendMember",
       "插入构件(&I)",
       {K("Ctrl+I")},
       "在最后插入一个构件",
       [this] {
         doc_.appendMember();
         grid_->setFocus(); /* its readings are typed next */
       },
       Edit,
       true,
       9,
       false,
       themed("list-add", S::SP_FileDialogNewFolder)},
      {"actionDeleteMember",
       "删除构件(&C)",
       {K(Qt::Key_Delete)},
       "删除当前构件（可撤销）",
       [this] {
         const std::size_t before = doc_.history().index();
         doc_.deleteCurrentMember();
         if (doc_.history().index() != before)
           statusBar()->showMessage("已" + qt(doc_.undoName()) + "。按 Ctrl+Z 可撤销。", 8000);
       },
       Edit,
       false,
       10,
       false,
       themed("list-remove", S::SP_TrashIcon)},
      {"actionBatchEdit",
       "批量设置构件参数(&M)...",
       {},
       "为勾选的或全部构件设置设计厚度、允许偏差和测试日期",
       [this] { batchEdit(); },
       Edit,
       false,
       -1,
       false,
       themed("document-edit", S::SP_FileDialogDetailedView)},
      // Ticks in bulk: 勾选 and 取消勾选 act on the rows chosen in the member list or the overview
      // (where the focus is), 全部勾选 and 反选 on every member; one undo step each.
      {"actionTick",
       "勾选(&K)",
       {},
       "勾选选中的构件",
       [this] { doc_.setTicks(chosenMembers(), TickAction::Tick); },
       Edit,
       true},
      {"actionUntick",
       "取消勾选(&U)",
       {},
       "取消勾选选中的构件",
       [this] { doc_.setTicks(chosenMembers(), TickAction::Untick); },
       Edit},
      {"actionTickAll",
       "全部勾选(&L)",
       {},
       "勾选全部构件",
       [this] { doc_.setTicks(allMembers(), TickAction::Tick); },
       Edit},
      {"actionInvertTicks",
       "反选(&R)",
       {},
       "勾选未勾选的构件，取消已勾选的",
       [this] { doc_.setTicks(allMembers(), TickAction::Invert); },
       Edit},
      {"actionInsertReadingAbove",
       "上面插入一行(&T)",
       {K("Alt+T")},
       "在选中一行的上面插入数据",
       [this] { grid_->runRowCommand(RowCommand::InsertAbove); },
       Edit,
       true,
       11,
       false,
       themed("go-up", S::SP_ArrowUp)},
      {"actionInsertReadingBelow",
       "下面插入一行(&B)",
       {K("Alt+B")},
       "在选中一行的下面插入数据",
       [this] { grid_->runRowCommand(RowCommand::InsertBelow); },
       Edit,
       false,
       12,
       false,
       themed("go-down", S::SP_ArrowDown)},
      {"actionDeleteReading",
       "删除数据(&D)",
       {K("Ctrl+D")},
       "删除选中的数据",
       [this] { grid_->runRowCommand(RowCommand::Delete); },
       Edit,
       false,
       13,
       false,
       themed("edit-delete", S::SP_DialogDiscardButton)},

      {"actionControlPanel",
       "控制面板(&W)",
       {K("Alt+W")},
       "显示或隐藏控制面板",
       [this] { toggleControlPanel(); },
       View,
       false,
       3,
       true,
       themed("view-sidetree", S::SP_FileDialogListView)},

      {"actionHelp",
       "使用说明(&G)",
       {K("Ctrl+H")},
       "使用说明",
       [this] { help(); },
       Help,
       false,
       -1,
       false,
       themed("help-contents", S::SP_DialogHelpButton)},
      {"actionAbout",
       "关于(&A)...",
       {},
       "显示程序信息",
       [this] { about(); },
       Help,
       true,
       18,
       true,
       themed("help-about", S::SP_MessageBoxInformation)},

      // Only on the toolbar, or only keys.
      {"actionSaveAnalysisFile",
       "保存分析结果文件",
       {},
       "保存分析结果文件",
       save([this](const DocumentAnswers& a) { return doc_.saveAnalysisFileAs(a); }),
       None,
       false,
       1,
       false,
       themed("document-save", S::SP_DialogSaveButton)},
      {"actionPrintSettings",
       "页眉页脚设置...",
       {},
       "页眉、页脚和页码设置",
       [this] { printSettings(); },
       None,
       false,
       14,
       false,
       themed("document-properties", S::SP_FileDialogInfoView)},
      {"actionNextPane", "下一窗格", {K("F6")}, "下一窗格", [this] { nextPane(1); }},
      {"actionPreviousPane", "上一窗格", {K("Shift+F6")}, "上一窗格", [this] { nextPane(-1); }},
  };
  // clang-format on

  std::map<int, std::pair<QAction*, bool>> toolbar;
  std::map<Menu, std::vector<std::pair<QAction*, bool>>> menus;
  for (const Row& row : rows) {
    auto* a = new QAction(row.text, this);
    a->setObjectName(row.name);
    a->setShortcuts(row.keys);
    a->setShortcutContext(Qt::WindowShortcut);
    a->setStatusTip(row.tip);
    a->setToolTip(row.tip);
    if (!row.icon.isNull()) a->setIcon(row.icon);
    connect(a, &QAction::triggered, this, row.run);
    addAction(a);
    if (row.menu != None) menus[row.menu].emplace_back(a, row.menuGap);
    if (row.toolbar >= 0) toolbar[row.toolbar] = {a, row.toolbarGap};
  }

  // The menus, in the menu bar's order; 最近文件 before 退出, the view's toggles first.
  auto fill = [&](QMenu* menu, Menu which, const std::function<void(QAction*)>& before = {}) {
    for (const auto& [a, gap] : menus[which]) {
      if (gap) menu->addSeparator();
      if (before) before(a);
      menu->addAction(a);
    }
  };
  QMenu* file = menuBar()->addMenu("文件(&F)");
  fill(file, File, [this, file](QAction* a) {
    if (a->objectName() != "actionExit") return;
    recentMenu_ = file->addMenu("最近文件");
    connect(file, &QMenu::aboutToShow, this, &MainWindow::refreshRecentMenu);
    file->addSeparator();
  });
  refreshRecentMenu();
  fill(menuBar()->addMenu("工具(&E)"), Tools);
  fill(menuBar()->addMenu("操作(&C)"), Edit);
  QMenu* view = menuBar()->addMenu("查看(&V)");
  view->setObjectName("viewMenu");
  auto* toolbarToggle = view->addAction("工具栏(&T)");
  toolbarToggle->setObjectName("actionToggleToolBar");
  toolbarToggle->setCheckable(true);
  toolbarToggle->setChecked(true);
  auto* statusToggle = view->addAction("状态栏(&S)");
  statusToggle->setObjectName("actionToggleStatusBar");
  statusToggle->setCheckable(true);
  statusToggle->setChecked(true);
  connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  fill(view, View);
  QAction* overviewToggle = overview_->toggleViewAction();
  overviewToggle->setText("工程概览(&O)");
  overviewToggle->setObjectName("actionOverview");
  view->addAction(overviewToggle);
  fill(menuBar()->addMenu("帮助(&H)"), Help);

  QToolBar* bar = addToolBar("工具栏");
  bar->setObjectName("toolBar");
  for (const auto& [place, entry] : toolbar) {
    if (entry.second) bar->addSeparator();
    bar->addAction(entry.first);
  }
  connect(toolbarToggle, &QAction::toggled, bar, &QToolBar::setVisible);

  // 删除构件 keeps its menu item and toolbar button; its key is Delete where the member list or
  // the overview has focus (the grid's Delete removes readings, a text box's a character).
  QAction* deleteMember = action("actionDeleteMember");
  deleteMember->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  removeAction(deleteMember);
  panel_->list()->addAction(deleteMember);
  overview_->widget()->addAction(deleteMember);
  // The lists' context menus offer the ticks; Space in either ticks the chosen rows, or unticks
  // them when all are ticked.
  const QList<QAction*> tickActions = {action("actionTick"), action("actionUntick"), action("actionTickAll"),
                                       action("actionInvertTicks")};
  for (QAbstractItemView* list : {static_cast<QAbstractItemView*>(panel_->list()),
                                  static_cast<QAbstractItemView*>(overview_->table())}) {
    list->setContextMenuPolicy(Qt::ActionsContextMenu);
    list->addActions(tickActions);
    auto* space = new QShortcut(QKeySequence(Qt::Key_Space), list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(space, &QShortcut::activated, this, [this] {
      const std::vector<int> chosen = chosenMembers();
      const bool allTicked = std::all_of(chosen.begin(), chosen.end(), [this](int m) {
        const MemberRecord* member = doc_.memberAt(m);
        return member == nullptr || member->selected() != 0;
      });
      doc_.setTicks(chosen, allTicked ? TickAction::Untick : TickAction::Tick);
    });
  }
}

// 与原始数据比较: the kept received bytes beside the document's file, where a transfer put them.
void MainWindow::chooseOriginal() {
  QString folder;
  if (!doc_.path().empty()) {
    const QDir beside = QFileInfo(qtPath(doc_.path())).absoluteDir();
    const QString kept =
        QString::fromUtf8(kReceivedFolderName.data(), static_cast<qsizetype>(kReceivedFolderName.size()));
    folder = beside.exists(kept) ? beside.filePath(kept) : beside.path();
  }
  const std::optional<QString> path =
      Dialogs::openPath(this, "原始数据与楼板仪文件 (*.serial *.usb *.KRO *.DEX);;所有文件 (*)", folder);
  if (path) compareWith(*path);
}

void MainWindow::buildStatusBar() {
  statusBar()->showMessage("就绪");
  // After an output: a button that opens the folder it was written to.
  openFolder_ = new QPushButton("打开所在文件夹", this);
  openFolder_->setObjectName("openFolderButton");
  openFolder_->setFlat(true);
  openFolder_->hide();
  connect(openFolder_, &QPushButton::clicked, this, [this] {
    if (!writtenFolder_.isEmpty()) Dialogs::openFile(writtenFolder_);
  });
  statusBar()->addPermanentWidget(openFolder_);
  for (const char* indicator : {"大写", "数字", "滚动"}) {
    auto* label = new QLabel(indicator, this);
    label->setEnabled(false);
    statusBar()->addPermanentWidget(label);
  }
}

void MainWindow::check() {
  if (checkDialog_ == nullptr) {
    checkDialog_ = new CheckDialog(CheckDialog::Purpose::Review, this);
    connect(checkDialog_, &CheckDialog::memberChosen, this,
            [this](int member) { doc_.selectMember(member); });
    connect(checkDialog_, &CheckDialog::recheckRequested, this, [this] { check(); });
  }
  const ProjectCheck result = runLongWork<ProjectCheck>(
      this, "正在检查…", [project = doc_.project(), settings = settings_](const CancelFlag&) {
        const std::optional<ChosenFormat> chosen = chosenFormat(settings);
        DocxTemplateFiller filler(fieldCatalog());
        return checkProject(project, settings,
                            chosen ? std::optional(formatFields(*chosen, filler)) : std::nullopt);
      });
  checkDialog_->setFindings(result.findings, result.notes);
  checkDialog_->show();
  checkDialog_->raise();
}

bool MainWindow::checkedBeforeOutput(const std::optional<FormatFields>& reportFormat, bool tickedOnly) {
  // The documents cover the ticked members: with none, there is nothing to go on with.
  if (Status s = refuseWithoutTickedMembers(doc_.project()); tickedOnly && !s) {
    Dialogs::message(this, MessageKind::Warning, qt(s.message()));
    return false;
  }
  const std::vector<Finding> findings = checkProject(doc_.project(), settings_, reportFormat).findings;
  return CheckDialog::confirm(this, findings, [this](int member) { doc_.selectMember(member); });
}

bool MainWindow::compareWith(const QString& path) {
  if (Status s = comparison_.start(pathFromQt(path)); !s) {
    Dialogs::message(this, MessageKind::Error, qt(s.message()));
    return false;
  }
  overview_->show();
  refreshOverview();
  refillGrid();
  return true;
}

void MainWindow::endComparison() {
  comparison_.end();
  refreshOverview();
  refillGrid();
}

void MainWindow::scheduleOverview() { overviewTimer_.start(); }

void MainWindow::refreshOverview() {
  overviewTimer_.stop();
  // The comparison is computed here only, once per change; the grid's marks come from it.
  comparison_.update(doc_.project());
  markDifferences();
  grid_->viewport()->update();  // an edit in the grid changes the marks without a refill
  // A hidden overview is brought up to date when it is shown again.
  if (!overview_->isVisible()) return;
  overview_->refresh(doc_.project(), parameters().rule());
  if (comparison_.active()) {
    overview_->setComparison(comparison_.name(),
                             comparison_.lines(doc_.project(), overview_->readingsOnly()));
  } else {
    overview_->setComparison(std::nullopt, {});
  }
}

void MainWindow::markDifferences() {
  grid_->setMarks(comparison_.marks(doc_.project(), doc_.currentMember()));
}

void MainWindow::print() {
  if (!checkedBeforeOutput(std::nullopt)) return;
  QPrintDialog dialog(&printer_, this);
  const PrintedPageSettings pageSettings{printSettingsForPage(settings_), parameters()};
  const int pages = layoutForPrinting(doc_.project(), pageSettings).pageCount();
  dialog.setMinMax(1, pages);
  dialog.setFromTo(1, pages);
  if (dialog.exec() != QDialog::Accepted) return;
  if (!printer_.outputFileName().isEmpty()) {  // printing to a file
    if (Status s = doc_.checkOutput(pathFromQt(printer_.outputFileName())); !s) {
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
      return;
    }
  }
  const bool range = printer_.printRange() == QPrinter::PageRange;
  PageProgress progress(this, "正在打印…");
  Status printed = printReport(doc_.project(), printer_, pageSettings, range ? printer_.fromPage() : 1,
                               range ? printer_.toPage() : 0, progress.callback());
  if (!printed) {
    Dialogs::message(this, MessageKind::Error, qt(printed.message()));
    return;
  }
  if (!printer_.outputFileName().isEmpty()) showWritten({printer_.outputFileName()});
}

// The printed report as a PDF file, as `kro print` makes it: on any system, printer or none.
void MainWindow::savePdf() {
  if (!checkedBeforeOutput(std::nullopt)) return;
  const QDate date = QDate::currentDate();
  writeOutput({"PDF 文件(*.pdf)|*.pdf|",
               "pdf",
               proposedDocumentName(parameters()("工程名称"), "楼板厚度检测报告",
                                    {date.year(), date.month(), date.day()}, ".pdf"),
               {},
               true,
               {},
               [this](const std::filesystem::path& pdf, const CancelFlag&) -> Result<Written> {
                 // Drawing belongs to the window's thread: the pages count up in a dialog of their own.
                 PageProgress progress(this, "正在生成 PDF…");
                 const PrintedPageSettings pageSettings{printSettingsForPage(settings_), parameters()};
                 if (Status s = printReportToPdf(doc_.project(), pdf, pageSettings, progress.callback()); !s)
                   return Error{s.message()};
                 return Written{{pdf}, {}};
               },
               MessageKind::Error});
}

void MainWindow::preview() {
  if (Status s = refuseWithoutTickedMembers(doc_.project()); !s) {
    Dialogs::message(this, MessageKind::Warning, qt(s.message()));
    return;
  }
  QPrintPreviewDialog dialog(&printer_, this);
  dialog.setWindowTitle("打印预览");
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) {
    PageProgress progress(this, "正在准备预览…");
    Status printed = printReport(doc_.project(), *printer, {printSettingsForPage(settings_), parameters()}, 1,
                                 0, progress.callback());
    if (!printed) Dialogs::message(this, MessageKind::Error, qt(printed.message()));
  });
  dialog.resize(size() * 0.9);
  dialog.exec();
}

void MainWindow::printSettings() {
  PrintSettingsDialog dialog(settings_, this);
  dialog.exec();
}

bool MainWindow::reportParameters() {
  const SettingsLocation& settings = settings_;
  // The user's formats after the six, each with the parameters its fields print.
  std::vector<UserFormatPage> pages;
  for (const UserFormat& f : userFormats(settings)) {
    UserFormatPage page{f.name, {}, {}};
    if (auto fields = DocxTemplateFiller(fieldCatalog()).check(f.file)) {
      page.parameters = fields.value().parameters;
      page.declared = fields.value().declaredParameters;
    }
    pages.push_back(std::move(page));
  }
  const std::optional<ChosenFormat> chosen = chosenFormat(settings);
  OfficeRules rules = officeRules(settings_);
  ReportParametersDialog dialog(parameters(), chosen ? chosen->builtIn : -1, std::move(pages),
                                chosen ? chosen->name : std::string(), std::move(rules.rules), this);
  if (dialog.exec() != QDialog::Accepted) return false;
  return applyReportParameters(dialog.values(), dialog.chosenFormat(), dialog.chosenUserFormat());
}

const ParameterValues& MainWindow::parameters() {
  if (!parametersFor_ || *parametersFor_ != doc_.project().parameters) {
    parameters_ = effectiveParameters(doc_.project(), settings_);
    parametersFor_ = doc_.project().parameters;
  }
  return parameters_;
}

bool MainWindow::applyReportParameters(const ParameterValues& values, int chosenFormat,
                                       const std::optional<std::string>& userFormat) {
  auto stored = toStoredParameters(values, doc_.project().parameters);
  if (!stored) {
    Dialogs::message(this, MessageKind::Warning, qt(stored.message()));
    return false;
  }
  Status saved = saveDialogDefaults(settings_, values, chosenFormat);
  if (saved && userFormat) saved = saveChosenUserFormat(settings_, *userFormat);
  parametersFor_.reset();  // the defaults may have changed
  if (Status set = doc_.setParameters(std::move(stored.value())); !set) {
    Dialogs::message(this, MessageKind::Warning, qt(set.message()));
    return false;
  }
  if (!saved) {
    Dialogs::message(this, MessageKind::Error,
                     qt("工程参数已设置，但没有能保存为默认值：" + saved.message()));
    return false;
  }
  return true;
}

void MainWindow::showWritten(const QStringList& paths) {
  if (paths.isEmpty()) return;
  QStringList names;
  for (const QString& path : paths) names << QFileInfo(path).fileName();
  writtenFolder_ = QFileInfo(paths.front()).absolutePath();
  const QString folder = QDir::toNativeSeparators(writtenFolder_);
  statusBar()->showMessage("已写入 " + names.join("、") + "（" + folder + "）");
  openFolder_->setToolTip("打开 " + folder);
  openFolder_->show();
}

void MainWindow::openOutputs(const QStringList& paths) {
  showWritten(paths);
  QStringList unopened;
  for (const QString& path : paths) {
    if (!Dialogs::openFile(path)) unopened << path;
  }
  if (!unopened.isEmpty()) {
    Dialogs::message(
        this, MessageKind::Information,
        "文件已写好，但没有能打开它们的程序：\n" + QDir::toNativeSeparators(unopened.join("\n")));
  }
}

std::optional<std::filesystem::path> MainWindow::chooseDocumentPath(const char* filter, const char* extension,
                                                                    const std::string& name,
                                                                    const std::filesystem::path& given) {
  // The folder given, else the one last used for a document, else the open document's, else home.
  QString folder = given.empty() ? windowSettings()->value("documentFolder").toString() : qtPath(given);
  if (folder.isEmpty() && !doc_.path().empty()) folder = qtPath(doc_.path().parent_path());
  if (folder.isEmpty()) folder = QDir::homePath();
  const std::optional<QString> chosen = Dialogs::savePath(
      this, SaveDialogRequest{filter, extension, displayPath(pathFromQt(folder) / pathFromUtf8(name))});
  if (!chosen) return std::nullopt;
  if (given.empty()) windowSettings()->setValue("documentFolder", QFileInfo(*chosen).absolutePath());
  return pathFromQt(*chosen);
}

bool MainWindow::writeOutput(const OutputRequest& request) {
  const auto chosen =
      chooseDocumentPath(request.filter, request.extension, request.proposedName, request.folder);
  if (!chosen) return false;
  const std::vector<std::filesystem::path> files =
      request.files ? request.files(*chosen) : std::vector<std::filesystem::path>{*chosen};
  for (const std::filesystem::path& file : files) {
    if (Status s = doc_.checkOutput(file); !s) {
      Dialogs::message(this, MessageKind::Error, qt(s.message()));
      return false;
    }
  }
  const std::filesystem::path path = *chosen;
  auto written = request.progress.isEmpty()
                     ? request.write(path, CancelFlag{false})
                     : runLongWork<Result<Written>>(
                           this, request.progress,
                           [&request, path](const CancelFlag& c) { return request.write(path, c); });
  if (!written) {
    Dialogs::message(this, request.failure, qt(written.message()));
    return false;
  }
  if (!written.value().warning.empty())
    Dialogs::message(this, MessageKind::Warning, qt(written.value().warning));
  QStringList paths;
  for (const std::filesystem::path& file : written.value().files) paths << qtPath(file);
  if (request.then) {
    request.then(paths);
  } else if (request.open) {
    openOutputs(paths);
  } else {
    showWritten(paths);
  }
  return true;
}

void MainWindow::wordReport() {
  const QDate date = QDate::currentDate();
  const CalendarDate today{date.year(), date.month(), date.day()};
  // No format chosen yet: the dialog where it is chosen opens, and the report follows its OK.
  if (doc_.memberCount() > 0 && refuseWithoutTickedMembers(doc_.project()) && !chosenFormat(settings_)) {
    statusBar()->showMessage("请先选择报告格式和填写工程参数，按“确定”后生成报告。");
    const bool chosen = reportParameters();
    statusBar()->clearMessage();
    if (!chosen) return;
  }
  auto format = reportFormatToWrite(doc_.project(), settings_, std::nullopt);
  if (!format) {
    Dialogs::message(this, MessageKind::Warning, qt(format.message()));
    return;
  }
  // A user format's fields are checked with the project, before anything is written.
  DocxTemplateFiller checker(fieldCatalog());
  if (!checkedBeforeOutput(formatFields(format.value(), checker))) return;
  OutputRequest request{"Word 文档(*.docx)|*.docx|",
                        "docx",
                        proposedDocumentName(parameters()("工程名称"), "楼板厚度检测报告", today, ".docx"),
                        "正在生成 Word 报告…",
                        true,
                        {},
                        {},
                        MessageKind::Warning};
  // The report and its data table beside it.
  request.files = [this](const std::filesystem::path& report) {
    OfficePaths paths = officePaths_;
    paths.reportFile = report;
    return paths.reportOutputs();
  };
  request.write = [project = doc_.project(), values = parameters(), format = format.value(),
                   office = officePaths_,
                   today](const std::filesystem::path& report, const CancelFlag& c) -> Result<Written> {
    OfficePaths paths = office;
    paths.reportFile = report;
    DocxTemplateFiller filler(fieldCatalog());
    auto written = writeReport(project, values, format, filler, paths, today, &c);
    if (!written) return written.error();
    // A data table that could not be made is said; the report stands.
    if (!written.value().dataTableError.empty())
      return Written{{written.value().report}, dataTableProblemText(written.value(), paths.dataTablePath())};
    return Written{{written.value().report, written.value().dataTable}, {}};
  };
  writeOutput(request);
}

void MainWindow::spreadsheet() {
  if (doc_.memberCount() == 0) {
    Dialogs::message(this, MessageKind::Warning, "文档中没有构件，没有导出数据。");
    return;
  }
  if (!checkedBeforeOutput(std::nullopt)) return;
  const QDate date = QDate::currentDate();
  writeOutput({"Excel 工作簿(*.xlsx)|*.xlsx|",
               "xlsx",
               proposedDocumentName(parameters()("工程名称"), "楼板厚度数据",
                                    {date.year(), date.month(), date.day()}, ".xlsx"),
               "正在生成工作簿…",
               true,
               {},
               [project = doc_.project(), rule = parameters().rule()](
                   const std::filesystem::path& output, const CancelFlag& c) -> Result<Written> {
                 XlsxExcelSession excel;
                 auto written = exportToSpreadsheet(project, rule, excel, output, &c);
                 if (!written) return written.error();
                 return Written{{written.value()}, {}};
               },
               MessageKind::Warning});
}

void MainWindow::exportCsv() {
  if (doc_.memberCount() == 0) {
    Dialogs::message(this, MessageKind::Warning, "文档中没有构件，没有导出数据。");
    return;
  }
  if (!checkedBeforeOutput(std::nullopt, false)) return;
  const QDate date = QDate::currentDate();
  const std::string stem =
      doc_.path().empty() ? std::string("楼板厚度数据") : displayPath(doc_.path().stem());
  writeOutput({"CSV 文件(*.csv)|*.csv|",
               "csv",
               proposedDocumentName(stem, "测点", {date.year(), date.month(), date.day()}, ".csv"),
               {},
               false,
               {},
               [this](const std::filesystem::path& csv, const CancelFlag&) -> Result<Written> {
                 if (Status s = writeFileAtomically(csv, projectToCsv(doc_.project())); !s)
                   return Error{s.message()};
                 return Written{{csv}, {}};
               },
               MessageKind::Error});
}

void MainWindow::importCsv() {
  if (!saveModified()) return;
  const std::optional<QString> csv = Dialogs::openPath(this, "CSV 文件 (*.csv);;所有文件 (*)");
  if (!csv) return;
  const std::filesystem::path input = pathFromQt(*csv);
  auto bytes = readWholeFile(input, kMaxProjectFileSize);
  if (!bytes) {
    Dialogs::message(this, MessageKind::Error, qt(bytes.message()));
    return;
  }
  auto members = membersFromCsv(bytes.value());
  if (!members) {
    Dialogs::message(this, MessageKind::Error, qt("“" + displayPath(input) + "”" + members.message()));
    return;
  }
  // The members become an analysis file of the user's choosing, which is then opened.
  OutputRequest request{
      "分析结果文件(*.KRO)|*.KRO|",
      "KRO",
      displayPath(input.stem()) + ".KRO",
      {},
      false,
      {},
      [this, input, members = std::move(members.value())](const std::filesystem::path& output,
                                                          const CancelFlag&) -> Result<Written> {
        const ProtectedInputs read({input});
        if (Status s = writeAnalysisFile(output, Project{members, officeParameters(settings_)}); !s)
          return Error{s.message()};
        return Written{{output}, {}};
      },
      MessageKind::Error,
      input.parent_path(),
      [this](const QStringList& files) { openFile(files.front(), false); }};
  writeOutput(request);
}

void MainWindow::batchEdit(bool afterTransfer, std::vector<int> appended) {
  if (doc_.memberCount() == 0) {
    statusBar()->showMessage("文档中没有构件。", 8000);
    return;
  }
  int ticked = 0;
  for (const MemberRecord& m : doc_.members()) ticked += m.selected() != 0 ? 1 : 0;
  BatchEditDialog dialog(doc_.currentMemberRecord(), ticked, doc_.memberCount(), afterTransfer,
                         static_cast<int>(appended.size()), this);
  if (dialog.exec() != QDialog::Accepted) return;
  BatchEditRequest request = dialog.request();
  if (dialog.appendedChosen()) request.only = std::move(appended);
  const Result<int> changed = doc_.batchEdit(request);
  if (!changed) {
    Dialogs::message(this, MessageKind::Warning, qt(changed.message()));
    return;
  }
  QString note = QString("批量设置了 %1 个构件的参数。").arg(changed.value());
  if (request.values.minusDeviation && *request.values.minusDeviation > 0) {
    note += QString("允许负偏差按负数保存为 %1。").arg(-*request.values.minusDeviation);
  }
  statusBar()->showMessage(note, 8000);
}

void MainWindow::copyFromFocus() {
  QWidget* focus = QApplication::focusWidget();
  if (auto* view = qobject_cast<QAbstractItemView*>(focus); view != nullptr && view != grid_) {
    copyItemSelection(*view);
    return;
  }
  grid_->copySelection();
}

void MainWindow::toggleControlPanel() {
  // The flag starts clear, so the first use hides the panel that start-up showed.
  dock_->setVisible(panelFlag_);
  panelFlag_ = !panelFlag_;
}

void MainWindow::nextPane(int step) {
  QWidget* panes[] = {panel_->list(), grid_, chart_};
  int at = 0;
  for (int i = 0; i < 3; ++i) {
    if (panes[i]->hasFocus() || panes[i]->isAncestorOf(QApplication::focusWidget())) at = i;
  }
  QWidget* next = panes[(at + step + 3) % 3];
  next->setFocusPolicy(next->focusPolicy() == Qt::NoFocus ? Qt::StrongFocus : next->focusPolicy());
  next->setFocus();
}

void MainWindow::about() {
  QDialog box(this);
  box.setWindowTitle("关于软件");
  auto* layout = new QVBoxLayout(&box);
  auto* icon = new QLabel(&box);
  icon->setPixmap(windowIcon().pixmap(48, 48));
  layout->addWidget(icon, 0, Qt::AlignHCenter);
  layout->addWidget(new QLabel(QString("楼板厚度测试仪数据分析处理软件 版本 %1").arg(KRO_VERSION), &box));
  layout->addWidget(new QLabel("本软件用于楼板厚度检测数据的传输、分析、打印和报告。", &box));
  auto* licences = new QLabel(
      "本软件按 MIT 许可证发布。\n"
      "使用的组件及其许可证：Qt 6（LGPL-3.0）、libzip（BSD-3-Clause）、pugixml（MIT）、"
      "libxlsxwriter（BSD-2-Clause）、libusb（LGPL-2.1）、nlohmann/json（MIT）；"
      "打印所用的思源（Noto CJK）字体按 SIL Open Font License 1.1 发布。",
      &box);
  licences->setObjectName("licences");
  licences->setWordWrap(true);
  layout->addWidget(licences);
  auto* buttons = new QDialogButtonBox(&box);
  buttons->addButton("确定", QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  box.exec();
}

void MainWindow::help() {
  const QString path = qtPath(ProgramPaths::userGuide());
  if (QDesktopServices::openUrl(QUrl::fromLocalFile(path))) return;
  // No browser: the guide in a window of the program's own.
  if (!QFileInfo::exists(path)) {
    Dialogs::message(this, MessageKind::Information, "找不到使用说明：" + QDir::toNativeSeparators(path));
    return;
  }
  auto* window = new QDialog(this);
  window->setObjectName("helpWindow");
  window->setWindowTitle("使用说明");
  window->setAttribute(Qt::WA_DeleteOnClose);
  auto* layout = new QVBoxLayout(window);
  auto* browser = new QTextBrowser(window);
  browser->setOpenExternalLinks(true);
  browser->setSource(QUrl::fromLocalFile(path));
  layout->addWidget(browser);
  window->resize(900, 700);
  window->show();
}

// --- Files ---

void MainWindow::openDialog() {
  if (!saveModified()) return;
  if (auto path = Dialogs::openPath(this, qtFileFilter(kOpenFilter))) openFile(*path, false);
}

bool MainWindow::openFile(const QString& path, bool askToSave) {
  if (askToSave && !saveModified()) return false;
  const std::filesystem::path file = pathFromQt(path);
  auto loaded = runLongWork<Result<LoadedProject>>(this, "正在打开 " + QFileInfo(path).fileName() + "…",
                                                   [file](const CancelFlag&) { return loadProject(file); });
  if (!settle([&](const DocumentAnswers& a) { return doc_.open(file, loaded, a); })) return false;
  rememberRecent(QFileInfo(path).absoluteFilePath());
  return true;
}

QStringList MainWindow::recentFiles() const { return windowSettings()->value("recentFiles").toStringList(); }

std::vector<int> MainWindow::chosenMembers() const {
  std::vector<int> members;
  if (overview_->table()->hasFocus()) {
    members = overview_->chosenMembers();
  } else {
    for (const QModelIndex& index : panel_->list()->selectionModel()->selectedRows())
      members.push_back(index.row());
  }
  // The overview's rows follow a change a moment later: rows of members gone meanwhile count not.
  std::erase_if(members, [this](int m) { return doc_.memberAt(m) == nullptr; });
  if (members.empty() && doc_.currentMemberRecord() != nullptr) members.push_back(doc_.currentMember());
  return members;
}

std::vector<int> MainWindow::allMembers() const {
  std::vector<int> members(static_cast<std::size_t>(doc_.memberCount()));
  std::iota(members.begin(), members.end(), 0);
  return members;
}

bool MainWindow::saveModified() {
  const bool modified = doc_.isModified();
  if (!settle([this](const DocumentAnswers& a) { return doc_.saveModified(a); })) return false;
  if (modified && !doc_.isModified() && !doc_.path().empty())
    rememberRecent(QFileInfo(qtPath(doc_.path())).absoluteFilePath());
  return true;
}

bool MainWindow::saveDocument(const std::function<DocumentStep(const DocumentAnswers&)>& operation) {
  if (!settle(operation)) return false;
  // The file saved to is opened again from 最近文件 like any other.
  if (!doc_.path().empty()) rememberRecent(QFileInfo(qtPath(doc_.path())).absoluteFilePath());
  return true;
}

void MainWindow::rememberRecent(const QString& path) {
  QStringList files = recentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kRecentFileCount) files.removeLast();
  windowSettings()->setValue("recentFiles", files);
  refreshRecentMenu();
}

void MainWindow::refreshRecentMenu() {
  recentMenu_->clear();
  // Files moved or deleted since are dropped rather than offered and refused.
  const QStringList remembered = recentFiles();
  QStringList files;
  for (const QString& f : remembered) {
    if (QFileInfo::exists(f)) files << f;
  }
  if (files != remembered) windowSettings()->setValue("recentFiles", files);
  for (int i = 0; i < files.size(); ++i) {
    QAction* a = recentMenu_->addAction(QString("&%1 %2").arg(i + 1).arg(files[i]));
    const QString path = files[i];
    connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
  }
  recentMenu_->setEnabled(!files.isEmpty());
}

bool MainWindow::closeDocument() {
  if (!saveModified()) return false;
  doc_.newDocument();
  return true;
}

bool MainWindow::appendProject(const Project& other, const QString& from) {
  if (other.memberCount() == 0) {
    Dialogs::message(this, MessageKind::Information, QString("“%1”中没有构件，没有追加。").arg(from));
    return false;
  }
  std::vector<MemberRecord> members = other.members;
  const std::vector<std::string> shared = sharedCodes(doc_.project(), members);
  if (!shared.empty()) {
    // The user may tell the new members apart by a prefix.
    QStringList codes;
    for (std::size_t i = 0; i < shared.size() && i < 10; ++i) codes << qt(gbkToUtf8(shared[i]));
    QString list = codes.join("、");
    if (shared.size() > 10) list += QString(" 等 %1 个").arg(shared.size());
    const std::optional<QString> prefix =
        Dialogs::askText(this, QString("当前工程中已有这些测区编号：%1。\n可以给追加的 %2 "
                                       "个构件的编号加上前缀（例如 B-），留空则照原样追加：")
                                   .arg(list)
                                   .arg(members.size()));
    if (!prefix) return false;
    auto field = toFieldText(prefix->trimmed().toStdString(), MemberRecord::kCodeCapacity);
    if (!field) {
      Dialogs::message(this, MessageKind::Warning, qt(field.message()));
      return false;
    }
    members = withCodePrefix(std::move(members), field.value().gbk);
  }
  const std::size_t count = members.size();
  const int first = doc_.memberCount();
  doc_.appendMembers(std::move(members), from.toStdString());
  statusBar()->showMessage(QString("已追加 %1 个构件（%2）。按 Ctrl+Z 可撤销。").arg(count).arg(from), 8000);
  offerSecondSample(first);
  offerToleranceEdit(first);
  return true;
}

void MainWindow::offerSecondSample(int first) {
  const RuleInForce rule = parameters().rule();
  if (!rule.rule.judgesMembers() || !rule.rule.secondSampleFrom || first == 0) return;
  // The project as it was before the append: whether it needed a second sample.
  Project earlier = doc_.project();
  earlier.members.resize(static_cast<std::size_t>(first));
  const ReportFigures before = reportFigures(earlier, rule);
  const QString why =
      before.needsSecondSample() ? "（工程需要二次抽样：" + qt(before.samplesText()) + "）" : QString();
  if (!Dialogs::askYesNo(
          this,
          QString(
              "追加的 %1 个构件是第二次抽样吗？%2\n是：它们与第一次抽样合并判定；否：作为第一次抽样的构件。")
              .arg(doc_.memberCount() - first)
              .arg(why),
          "抽样批次"))
    return;
  BatchEditRequest request;
  for (int i = first; i < doc_.memberCount(); ++i) request.only.push_back(i);
  request.values.sample = 2;
  if (auto set = doc_.batchEdit(request); !set)
    Dialogs::message(this, MessageKind::Warning, qt(set.message()));
}

void MainWindow::offerToleranceEdit(int first) {
  // A rule with a band of its own does not judge by the members' deviations.
  if (parameters().rule().rule.fixedBand) return;
  std::vector<int> arrived, untolerated;
  for (int i = first; i < doc_.memberCount(); ++i) {
    arrived.push_back(i);
    const MemberRecord* m = doc_.memberAt(i);
    if (m->minusDeviation() == 0 && m->plusDeviation() == 0) untolerated.push_back(i);
  }
  if (untolerated.empty()) return;
  const QString question =
      first == 0 && untolerated.size() == arrived.size()
          ? QString(
                "已收到 %1 个构件。仪器不传输允许偏差，这些构件的允许偏差都是 0。"
                "现在批量设置设计厚度、允许偏差和测试日期吗？")
                .arg(arrived.size())
          : QString(
                "追加的 %1 个构件中有 %2 个的允许偏差是 0（仪器不传输允许偏差），它们的测点都会判为不合格。"
                "现在为追加的构件批量设置设计厚度、允许偏差和测试日期吗？")
                .arg(arrived.size())
                .arg(untolerated.size());
  if (!Dialogs::askYesNo(this, question, "批量设置构件参数")) return;
  if (first == 0) {
    batchEdit(true);
  } else {
    batchEdit(true, std::move(arrived));
  }
}

void MainWindow::mergeProject() {
  const std::optional<QString> path = Dialogs::openPath(this, qtFileFilter(kOpenFilter));
  if (!path) return;
  auto loaded = loadProject(pathFromQt(*path));
  if (!loaded) {
    Dialogs::message(this, MessageKind::Error, qt(loaded.message()));
    return;
  }
  const QString name = QFileInfo(*path).fileName();
  // The merged members are judged by this project's rule; say so when the other file had another.
  const std::string theirs = effectiveParameters(loaded.value().project, settings_)(kAcceptanceRuleKey);
  const std::string ours = parameters()(kAcceptanceRuleKey);
  if (!appendProject(loaded.value().project, name) || theirs == ours) return;
  Dialogs::message(this, MessageKind::Information,
                   QString("“%1”的合格率要求是 %2%，当前工程的是 %3%：合并进来的构件按当前工程的 %3% 判定。")
                       .arg(name, qt(theirs), qt(ours)));
}

void MainWindow::transfer() {
  TransferDialog dialog(
      *this, doc_.path(), doc_.memberCount() > 0, [this] { return closeDocument(); }, this);
  dialog.session().setParameters(officeParameters(settings_));
  dialog.exec();
  if (!dialog.completed()) return;
  const QString written = qtPath(dialog.destination());
  if (dialog.appendChosen()) {
    auto loaded = loadProject(dialog.destination());
    if (!loaded) {
      Dialogs::message(this, MessageKind::Error, qt(loaded.message()));
      return;
    }
    appendProject(loaded.value().project, "传输的 " + QFileInfo(written).fileName());
    return;
  }
  // The transferred file replaces the document: unsaved changes are dealt with first.
  if (!saveModified()) {
    statusBar()->showMessage("收到的数据已保存到 " + written + "，当前文件没有关闭。", 8000);
    return;
  }
  if (!openFile(written, false)) return;
  // The instrument sends no tolerances: every member arrives with 0/0.
  offerToleranceEdit(0);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (saveModified()) {
    event->accept();
  } else {
    event->ignore();
  }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) {
      event->acceptProposedAction();
      openFile(url.toLocalFile());
      return;
    }
  }
}

// --- DocumentFrontend ---

void MainWindow::rebuildMemberList() {
  panel_->rebuildList();
  scheduleOverview();
}

void MainWindow::updateMemberRow(int memberIndex) {
  panel_->updateRow(memberIndex);
  scheduleOverview();
}

void MainWindow::showMember(const MemberRecord* member) {
  panel_->showMember(member);
  overview_->showCurrent(doc_.currentMember());
  // The band shown last is the one a new project starts with (a member without a plausible
  // design thickness, raw data before the batch edit, is no example).
  if (member != nullptr && isPlausibleThickness(member->designThickness()) &&
      bandOf(*member) != doc_.newMemberBand()) {
    doc_.setNewMemberBand(bandOf(*member));
    windowSettings()->setValue("newMemberBand", QString::fromStdString(memberBandText(bandOf(*member))));
  }
}

void MainWindow::refillGrid() {
  markDifferences();
  grid_->gridModel().setRule(parameters().rule().rule);  // the marks follow the project's rule
  grid_->refill();
  scheduleOverview();
}

void MainWindow::redrawChart() { chart_->setRule(parameters().rule().rule); }

void MainWindow::stateChanged() {
  setWindowTitle(qt(doc_.title()) + "[*] - " + applicationTitle());
  setWindowModified(doc_.isModified());
  // A file another window holds is only viewed here: 保存 waits for 另存为.
  action("actionSave")->setEnabled(!doc_.isReadOnly());
  // The undo and redo items name what they would undo or redo.
  QAction* undo = action("actionUndo");
  undo->setEnabled(doc_.canUndo());
  undo->setText(doc_.canUndo() ? "撤销 " + qt(doc_.undoName()) : QString("撤销"));
  QAction* redo = action("actionRedo");
  redo->setEnabled(doc_.canRedo());
  redo->setText(doc_.canRedo() ? "重做 " + qt(doc_.redoName()) : QString("重做"));
}

void MainWindow::showMessage(MessageKind kind, const std::string& text) {
  Dialogs::message(this, kind, qt(text));
}

bool MainWindow::askYesNo(const std::string& text) { return Dialogs::askYesNo(this, qt(text), "提示"); }

SaveChoice MainWindow::askSaveDiscardCancel(const std::string& text) {
  return Dialogs::askSaveDiscardCancel(this, qt(text));
}

int MainWindow::askChoice(const std::string& text, const std::vector<std::string>& choices) {
  QStringList buttons;
  for (const std::string& choice : choices) buttons << qt(choice);
  return Dialogs::askChoice(this, qt(text), buttons);
}

std::optional<std::filesystem::path> MainWindow::chooseSavePath(const SaveDialogRequest& wanted) {
  if (auto path = Dialogs::savePath(this, wanted)) return pathFromQt(*path);
  return std::nullopt;
}

}  // namespace kro::gui
