// The window's actions from one table, its menus and its toolbar.
#include <QAbstractItemView>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMenuBar>
#include <QPageSetupDialog>
#include <QShortcut>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
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
#include "gui/main_window.h"
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
  // One row per action reads as the table it is.
  // clang-format off
  const Row rows[] = {
      {"actionNew", "新建(&N)", {K("Ctrl+N")}, "新建一个空的工程", [this] { closeDocument(); }, File},
      {"actionOpen", "打开(&O)...", {K("Ctrl+O")}, "打开一个已有的文件", [this] { openDialog(); }, File, false, 0, false, themed("document-open", S::SP_DialogOpenButton)},
      {"actionSave", "保存(&S)", {K("Ctrl+S")}, "保存分析结果文件", save([this](const DocumentAnswers& a) { return doc_.save(a); }), File},
      {"actionSaveAs", "另存为(&W)...", {K("Ctrl+Shift+S")}, "以新的文件名保存分析结果文件", save([this](const DocumentAnswers& a) { return doc_.saveAnalysisFileAs(a); }), File},
      {"actionSaveSelection", "保存选择构件(&A)...", {}, "保存选择的构件", [this] { settle([this](const DocumentAnswers& a) { return doc_.saveSelection(a); }); }, File},
      {"actionClose", "关闭(&C)", {K("Ctrl+F4")}, "关闭当前文件", [this] { closeDocument(); }, File},
      {"actionTransfer", "数据传输(&T)...", {K("Ctrl+T")}, "从仪器传输数据", [this] { transfer(); }, File, true, 2, false, themed("network-receive", S::SP_DriveNetIcon)},
      {"actionMerge", "合并工程(&M)...", {}, "把另一个文件的构件追加到当前工程", [this] { mergeProject(); }, File},
      {"actionImportCsv", "导入 CSV...", {}, "由 CSV 文件生成分析结果文件并打开", [this] { importCsv(); }, File, true},
      {"actionExportCsv", "导出 CSV...", {}, "将全部构件的测点导出为 CSV 文件", [this] { exportCsv(); }, File},
      {"actionFormats", "报告格式管理(&G)...", {}, "内置和用户自己的报告格式：新建、打开、检查", [this] { auto starting = findTemplate(officePaths_, "自定义格式样板.docx"); FormatManagerDialog(settings_, starting ? starting.value() : std::filesystem::path(), this).exec(); }, File, true},
      {"actionIssueReport", "签发报告(&I)...", {}, "起草、审核或批准这个工程的报告（台账中的三个人各签一步）", [this] { issueReport(); }, File, true},
      {"actionLedger", "报告台账(&L)...", {}, "签发的报告、不合格台账、待审核和待批准的报告、仪器和人员", [this] { showLedger(); }, File},
      {"actionPrint", "打印(&P)...", {K("Ctrl+P")}, "打印检测报告", [this] { print(); }, File, true, 17, false, themed("document-print", S::SP_DialogApplyButton)},
      {"actionPrintPreview", "打印预览(&V)", {}, "打印预览", [this] { preview(); }, File, false, 16, false, themed("document-print-preview", S::SP_FileDialogContentsView)},
      {"actionPdf", "保存为 PDF(&D)...", {}, "把检测报告保存为 PDF 文件", [this] { savePdf(); }, File, false, -1, false, themed("document-export", S::SP_DialogSaveButton)},
      {"actionPageSetup", "页面设置(&R)...", {}, "选择打印机和纸张", [this] { QPageSetupDialog(&printer_, this).exec(); }, File},
      {"actionExit", "退出(&X)", {}, "退出程序", [this] { close(); }, File, true},

      {"actionReportParameters", "工程参数设置(&R)", {K("Ctrl+R")}, "工程参数设置", [this] { reportParameters(); }, Tools, false, 4, false, themed("preferences-other", S::SP_FileDialogListView)},
      {"actionRules", "判定规则(&J)...", {}, "内置和本单位的判定规则：查看、新建、修改", [this] { JudgingRulesDialog(settings_, this).exec(); }, Tools},
      {"actionWordReport", "生成Word报告(&W)", {K("Ctrl+W")}, "生成Word报告", [this] { wordReport(); }, Tools, false, 5, false, themed("x-office-document", S::SP_FileIcon)},
      {"actionSpreadsheet", "数据导入Excel(&E)", {K("Ctrl+E")}, "数据导入Excel", [this] { spreadsheet(); }, Tools, false, 6, false, themed("x-office-spreadsheet", S::SP_FileDialogDetailedView)},
      {"actionCheck", "检查(&K)...", {}, "检查构件和报告参数中会使报告出错或留空的地方", [this] { check(); }, Tools, true, -1, false, themed("dialog-information", S::SP_MessageBoxInformation)},
      {"actionModificationLog", "修改记录(&H)...", {}, "每一处修改：谁、何时、为何，原值和新值；双击一条转到该测点", [this] { showModificationLog(); }, Tools},
      {"actionRegisterSettings", "台账设置...", {}, "编号规则、台账的位置、人员和仪器", [this] { registerSettings(); }, Tools},
      {"actionCompareOriginal", "与原始数据比较...", {}, "与传输时保存的原始数据（或任一文件）比较，标出改动过的测点", [this] { chooseOriginal(); }, Tools},

      {"actionUndo", "撤销", {K("Ctrl+Z")}, "撤销上一步修改", [this] { doc_.undo(); }, Edit, false, 7, true, themed("edit-undo", S::SP_ArrowBack)},
      {"actionRedo", "重做", {K("Ctrl+Y"), K("Ctrl+Shift+Z")}, "重做撤销的修改", [this] { doc_.redo(); }, Edit, false, 8, false, themed("edit-redo", S::SP_ArrowForward)},
      {"actionCut", "剪切(&T)", {K("Ctrl+X"), K("Shift+Del")}, "剪切选中的测点（复制后删除它们）", [this] { grid_->cutSelection(); }, Edit, true},
      // Ctrl+C copies wherever it is pressed, never deleting anything.
      {"actionCopy", "复制(&C)", {K("Ctrl+C"), K("Ctrl+Ins")}, "复制选中的测点或构件", [this] { copyFromFocus(); }, Edit},
      {"actionPaste", "粘贴(&P)", {K("Ctrl+V"), K("Shift+Ins")}, "从当前行起粘贴测点，超出的部分追加为新测点", [this] { grid_->paste(); }, Edit},
      {"actionAppendMember", "插入构件(&I)", {K("Ctrl+I")}, "在最后插入一个构件", [this] { doc_.appendMember(); grid_->setFocus(); /* its readings are typed next */ }, Edit, true, 9, false, themed("list-add", S::SP_FileDialogNewFolder)},
      {"actionDeleteMember", "删除构件(&C)", {K(Qt::Key_Delete)}, "删除当前构件（可撤销）", [this] { const std::size_t before = doc_.history().index(); doc_.deleteCurrentMember(); if (doc_.history().index() != before) statusBar()->showMessage("已" + qt(doc_.undoName()) + "。按 Ctrl+Z 可撤销。", 8000); }, Edit, false, 10, false, themed("list-remove", S::SP_TrashIcon)},
      {"actionBatchEdit", "批量设置构件参数(&M)...", {}, "为勾选的或全部构件设置设计厚度、允许偏差和测试日期", [this] { batchEdit(); }, Edit, false, -1, false, themed("document-edit", S::SP_FileDialogDetailedView)},
      // Ticks in bulk: 勾选 and 取消勾选 act on the rows chosen in the member list or the overview
      // (where the focus is), 全部勾选 and 反选 on every member; one undo step each.
      {"actionTick", "勾选(&K)", {}, "勾选选中的构件", [this] { doc_.setTicks(chosenMembers(), TickAction::Tick); }, Edit, true},
      {"actionUntick", "取消勾选(&U)", {}, "取消勾选选中的构件", [this] { doc_.setTicks(chosenMembers(), TickAction::Untick); }, Edit},
      {"actionTickAll", "全部勾选(&L)", {}, "勾选全部构件", [this] { doc_.setTicks(allMembers(), TickAction::Tick); }, Edit},
      {"actionInvertTicks", "反选(&R)", {}, "勾选未勾选的构件，取消已勾选的", [this] { doc_.setTicks(allMembers(), TickAction::Invert); }, Edit},
      {"actionInsertReadingAbove", "上面插入一行(&T)", {K("Alt+T")}, "在选中一行的上面插入数据", [this] { grid_->runRowCommand(RowCommand::InsertAbove); }, Edit, true, 11, false, themed("go-up", S::SP_ArrowUp)},
      {"actionInsertReadingBelow", "下面插入一行(&B)", {K("Alt+B")}, "在选中一行的下面插入数据", [this] { grid_->runRowCommand(RowCommand::InsertBelow); }, Edit, false, 12, false, themed("go-down", S::SP_ArrowDown)},
      {"actionDeleteReading", "删除数据(&D)", {K("Ctrl+D")}, "删除选中的数据", [this] { grid_->runRowCommand(RowCommand::Delete); }, Edit, false, 13, false, themed("edit-delete", S::SP_DialogDiscardButton)},

      {"actionControlPanel", "控制面板(&W)", {K("Alt+W")}, "显示或隐藏控制面板", [this] { toggleControlPanel(); }, View, false, 3, true, themed("view-sidetree", S::SP_FileDialogListView)},

      {"actionHelp", "使用说明(&G)", {K("Ctrl+H")}, "使用说明", [this] { help(); }, Help, false, -1, false, themed("help-contents", S::SP_DialogHelpButton)},
      {"actionAbout", "关于(&A)...", {}, "显示程序信息", [this] { about(); }, Help, true, 18, true, themed("help-about", S::SP_MessageBoxInformation)},

      // Only on the toolbar, or only keys.
      {"actionSaveAnalysisFile", "保存分析结果文件", {}, "保存分析结果文件", save([this](const DocumentAnswers& a) { return doc_.saveAnalysisFileAs(a); }), None, false, 1, false, themed("document-save", S::SP_DialogSaveButton)},
      {"actionPrintSettings", "页眉页脚设置...", {}, "页眉、页脚和页码设置", [this] { printSettings(); }, None, false, 14, false, themed("document-properties", S::SP_FileDialogInfoView)},
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

}  // namespace kro::gui
