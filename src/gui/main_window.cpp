// Main window.
#include "gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMimeData>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include "export/spreadsheet_export.h"
#include "gui/dialogs.h"
#include "gui/print_settings_dialog.h"
#include "gui/report_parameters_dialog.h"
#include "gui/transfer_dialog.h"
#include "office/docx_word_session.h"
#include "office/xlsx_excel_session.h"
#include "render/report_printer.h"
#include "report/report_generator.h"
#include "settings/program_paths.h"
#include "views/report_pages.h"

namespace kro::gui {
namespace {

constexpr int kRecentFileCount = 4;
const char* const kOpenFilter = "原始数据文件 (*.DEX)|*.DEX|分析结果文件 (*.KRO)|*.KRO||";
// Placeholders: this program names no maker.
const char* const kFeedbackAddress = "mailto:feedback@example.org";
const char* const kWebAddress = "https://www.example.org/";

QString qt(const std::string& text) { return QString::fromStdString(text); }

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
  setAcceptDrops(true);
  setWindowIcon(themed("x-office-spreadsheet", QStyle::SP_FileDialogDetailedView));

  panel_ = new MemberPanel(doc_, this);
  dock_ = new QDockWidget("Workspace", this);
  dock_->setObjectName("workspaceDock");
  dock_->setWidget(panel_);
  dock_->setAllowedAreas(Qt::AllDockWidgetAreas);
  addDockWidget(Qt::LeftDockWidgetArea, dock_);
  resizeDocks({dock_}, {400}, Qt::Horizontal);

  grid_ = new ReadingGridView(doc_, this);
  chart_ = new ChartView(doc_, this);
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->addWidget(grid_);
  splitter_->addWidget(chart_);
  splitter_->setSizes({400, 300});
  setCentralWidget(splitter_);

  buildActions();
  buildMenus();
  buildToolBar();
  buildStatusBar();
  doc_.refreshMemberList();
  doc_.showCurrentMember();
  titleChanged();
}

MainWindow::~MainWindow() { doc_.setFrontend(nullptr); }

QAction* MainWindow::makeAction(int id, const QString& text, const QList<QKeySequence>& keys,
                                const QString& tip, void (MainWindow::*slot)()) {
  auto* a = new QAction(text, this);
  a->setObjectName(QString("action%1").arg(id));
  a->setShortcuts(keys);
  a->setShortcutContext(Qt::WindowShortcut);
  a->setStatusTip(tip);
  a->setToolTip(tip);
  if (slot != nullptr) connect(a, &QAction::triggered, this, slot);
  addAction(a);
  actions_[id] = a;
  return a;
}

QAction* MainWindow::action(int id) const {
  auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::buildActions() {
  using K = QKeySequence;
  makeAction(57601, "打开(&O)...", {K("Ctrl+O")}, "打开一个已有的文件", &MainWindow::openDialog)
      ->setIcon(themed("document-open", QStyle::SP_DialogOpenButton));
  makeAction(57603, "保存(&S)", {K("Ctrl+S")}, "保存分析结果文件", nullptr);
  connect(action(57603), &QAction::triggered, this, [this] { doc_.save(); });
  makeAction(57604, "保存选择构件(&A)...", {}, "保存选择的构件", nullptr);
  connect(action(57604), &QAction::triggered, this, [this] { doc_.saveSelection(); });
  makeAction(32800, "保存分析结果文件", {}, "保存分析结果文件", nullptr)
      ->setIcon(themed("document-save", QStyle::SP_DialogSaveButton));
  connect(action(32800), &QAction::triggered, this, [this] { doc_.saveAnalysisFileAs(); });
  makeAction(57600, "新建", {K("Ctrl+N")}, "新建文档", nullptr);
  connect(action(57600), &QAction::triggered, this, [this] { doc_.newDocument(); });
  makeAction(57607, "打印(&P)...", {K("Ctrl+P")}, "打印检测报告", &MainWindow::print);
  makeAction(57609, "打印预览(&V)", {}, "打印预览", &MainWindow::preview);
  makeAction(32779, "打印", {}, "打印检测报告", &MainWindow::print)
      ->setIcon(themed("document-print", QStyle::SP_DialogApplyButton));
  makeAction(32778, "打印预览", {}, "打印预览", &MainWindow::preview)
      ->setIcon(themed("document-print-preview", QStyle::SP_FileDialogContentsView));
  makeAction(32777, "打印设置", {}, "页眉、页脚和页码设置", &MainWindow::printSettings)
      ->setIcon(themed("document-properties", QStyle::SP_FileDialogInfoView));
  makeAction(57606, "打印设置(&R)...", {}, "选择打印机和纸张", nullptr);
  connect(action(57606), &QAction::triggered, this, [this] { QPageSetupDialog(&printer_, this).exec(); });
  makeAction(57665, "退出(&X)", {}, "退出程序", nullptr);
  connect(action(57665), &QAction::triggered, this, &QWidget::close);

  makeAction(32774, "工程参数设置(&R)", {K("Ctrl+R")}, "工程参数设置", &MainWindow::reportParameters)
      ->setIcon(themed("preferences-other", QStyle::SP_FileDialogListView));
  makeAction(32775, "生成word报告(&W)", {K("Ctrl+W")}, "生成word报告", &MainWindow::wordReport)
      ->setIcon(themed("x-office-document", QStyle::SP_FileIcon));
  makeAction(32776, "数据导入Excel(&E)", {K("Ctrl+E")}, "数据导入Excel", &MainWindow::spreadsheet)
      ->setIcon(themed("x-office-spreadsheet", QStyle::SP_FileDialogDetailedView));

  makeAction(32786, "插入构件(&I)", {K("Ctrl+I")}, "在最后插入一个构件", nullptr)
      ->setIcon(themed("list-add", QStyle::SP_FileDialogNewFolder));
  connect(action(32786), &QAction::triggered, this, [this] { doc_.appendMember(); });
  makeAction(32787, "删除构件(&C)", {K("Ctrl+C")}, "删除当前构件（可撤销）", nullptr)
      ->setIcon(themed("list-remove", QStyle::SP_TrashIcon));
  connect(action(32787), &QAction::triggered, this, [this] {
    doc_.deleteCurrentMember();
    if (doc_.canUndoDelete()) statusBar()->showMessage("已删除构件。按 Ctrl+Z 可撤销。", 8000);
  });
  makeAction(32801, "撤销删除构件(&U)", {K("Ctrl+Z")}, "恢复刚删除的构件", nullptr)
      ->setIcon(themed("edit-undo", QStyle::SP_ArrowBack));
  connect(action(32801), &QAction::triggered, this, [this] { doc_.undoDeleteMember(); });
  makeAction(32780, "上面插入一行(&T)", {K("Alt+T")}, "在选中一行的上面插入数据", nullptr)
      ->setIcon(themed("go-up", QStyle::SP_ArrowUp));
  connect(action(32780), &QAction::triggered, this,
          [this] { grid_->runRowCommand(RowCommand::InsertAbove); });
  makeAction(32781, "下面插入一行(&B)", {K("Alt+B")}, "在选中一行的下面插入数据", nullptr)
      ->setIcon(themed("go-down", QStyle::SP_ArrowDown));
  connect(action(32781), &QAction::triggered, this,
          [this] { grid_->runRowCommand(RowCommand::InsertBelow); });
  makeAction(32782, "删除数据(&D)", {K("Ctrl+D")}, "删除选中的数据", nullptr)
      ->setIcon(themed("edit-delete", QStyle::SP_DialogDiscardButton));
  connect(action(32782), &QAction::triggered, this, [this] { grid_->runRowCommand(RowCommand::Delete); });

  makeAction(57635, "剪切", {K("Ctrl+X"), K("Shift+Del")}, "剪切", nullptr);
  connect(action(57635), &QAction::triggered, this, [this] { grid_->cutSelection(); });
  makeAction(57634, "复制", {K("Ctrl+Ins")}, "复制", nullptr);
  connect(action(57634), &QAction::triggered, this, [this] { grid_->copySelection(); });
  makeAction(57637, "粘贴", {K("Ctrl+V"), K("Shift+Ins")}, "粘贴", nullptr);
  connect(action(57637), &QAction::triggered, this, [this] { grid_->paste(); });
  makeAction(57680, "下一窗格", {K("F6")}, "下一窗格", nullptr);
  connect(action(57680), &QAction::triggered, this, [this] { nextPane(1); });
  makeAction(57681, "上一窗格", {K("Shift+F6")}, "上一窗格", nullptr);
  connect(action(57681), &QAction::triggered, this, [this] { nextPane(-1); });
  makeAction(32773, "数据传输", {K("Ctrl+T")}, "从仪器传输数据", &MainWindow::transfer);
  makeAction(57670, "帮助", {K("Ctrl+H")}, "使用说明", &MainWindow::help);

  makeAction(32772, "控制面板(&W)", {K("Alt+W")}, "显示或隐藏控制面板", &MainWindow::toggleControlPanel)
      ->setIcon(themed("view-sidetree", QStyle::SP_FileDialogListView));
  makeAction(57664, "关于(&A)...", {}, "显示程序信息", &MainWindow::about)
      ->setIcon(themed("help-about", QStyle::SP_MessageBoxInformation));
  makeAction(32796, "计算器", {}, "启动计算器", &MainWindow::startCalculator);
  makeAction(32797, "意见反馈", {}, "发送意见反馈", nullptr);
  connect(action(32797), &QAction::triggered, this,
          [] { QDesktopServices::openUrl(QUrl(kFeedbackAddress)); });
  makeAction(32798, "登录我公司网站", {}, "打开网站", nullptr);
  connect(action(32798), &QAction::triggered, this, [] { QDesktopServices::openUrl(QUrl(kWebAddress)); });
}

void MainWindow::buildMenus() {
  QMenu* file = menuBar()->addMenu("文件(&F)");
  for (int id : {57601, 57603, 57604}) file->addAction(action(id));
  file->addSeparator();
  for (int id : {57607, 57609, 57606}) file->addAction(action(id));
  file->addSeparator();
  recentMenu_ = file->addMenu("最近文件");
  file->addSeparator();
  file->addAction(action(57665));
  refreshRecentMenu();

  QMenu* tools = menuBar()->addMenu("工具(&E)");
  for (int id : {32774, 32775, 32776}) tools->addAction(action(id));

  QMenu* edit = menuBar()->addMenu("操作(&C)");
  for (int id : {32786, 32787, 32801}) edit->addAction(action(id));
  edit->addSeparator();
  for (int id : {32780, 32781, 32782}) edit->addAction(action(id));

  QMenu* view = menuBar()->addMenu("查看(&V)");
  view->setObjectName("viewMenu");
  auto* toolbarToggle = view->addAction("工具栏(&T)");
  toolbarToggle->setCheckable(true);
  toolbarToggle->setChecked(true);
  actions_[59392] = toolbarToggle;
  auto* statusToggle = view->addAction("状态栏(&S)");
  statusToggle->setCheckable(true);
  statusToggle->setChecked(true);
  actions_[59393] = statusToggle;
  connect(statusToggle, &QAction::toggled, this, [this](bool on) { statusBar()->setVisible(on); });
  view->addAction(action(32772));

  QMenu* helpMenu = menuBar()->addMenu("帮助(&H)");
  for (int id : {57664, 32796, 32797, 32798}) helpMenu->addAction(action(id));
}

void MainWindow::buildToolBar() {
  QToolBar* bar = addToolBar("工具栏");
  bar->setObjectName("toolBar");
  const int order[] = {57601, 32800, 0,     32772, 32774, 32775, 32776, 0, 32786,
                       32787, 32780, 32781, 32782, 32777, 32778, 32779, 0, 57664};
  for (int id : order) {
    if (id == 0) {
      bar->addSeparator();
    } else {
      bar->addAction(action(id));
    }
  }
  connect(actions_[59392], &QAction::toggled, bar, &QToolBar::setVisible);
}

void MainWindow::buildStatusBar() {
  statusBar()->showMessage("就绪");
  for (const char* indicator : {"大写", "数字", "滚动"}) {
    auto* label = new QLabel(indicator, this);
    label->setEnabled(false);
    statusBar()->addPermanentWidget(label);
  }
}

void MainWindow::print() {
  doc_.collectChecks();
  QPrintDialog dialog(&printer_, this);
  dialog.setMinMax(1, countPrintPages(doc_));
  dialog.setFromTo(1, countPrintPages(doc_));
  if (dialog.exec() != QDialog::Accepted) return;
  const bool range = printer_.printRange() == QPrinter::PageRange;
  Status printed = printReport(doc_, printer_, doc_.settingsLocation(), range ? printer_.fromPage() : 1,
                               range ? printer_.toPage() : 0);
  if (!printed) Dialogs::message(this, MessageKind::Error, qt(printed.message()));
}

void MainWindow::preview() {
  doc_.collectChecks();
  QPrintPreviewDialog dialog(&printer_, this);
  dialog.setWindowTitle("打印预览");
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* printer) {
    Status printed = printReport(doc_, *printer, doc_.settingsLocation());
    if (!printed) Dialogs::message(this, MessageKind::Error, qt(printed.message()));
  });
  dialog.resize(size() * 0.9);
  dialog.exec();
}

void MainWindow::printSettings() {
  PrintSettingsDialog dialog(doc_.settingsLocation(), this);
  dialog.exec();
}

void MainWindow::reportParameters() {
  ReportParametersDialog dialog(doc_.settingsLocation(), this);
  dialog.exec();
}

void MainWindow::openOutputs(const QStringList& paths) {
  QStringList unopened;
  for (const QString& path : paths) {
    if (!Dialogs::openFile(path)) unopened << path;
  }
  if (!unopened.isEmpty()) {
    Dialogs::message(this, MessageKind::Information,
                     "文件已写好，但没有能打开它们的程序：\n" + unopened.join("\n"));
  }
}

void MainWindow::wordReport() {
  const QDate date = QDate::currentDate();
  DocxWordSession word;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto written =
      generateWordReport(doc_, word, officePaths_, std::nullopt, {date.year(), date.month(), date.day()});
  QApplication::restoreOverrideCursor();
  if (!written) {
    Dialogs::message(this, MessageKind::Warning, qt(written.message()));
    return;
  }
  openOutputs({qt(written.value().report.string()), qt(written.value().dataTable.string())});
}

void MainWindow::spreadsheet() {
  XlsxExcelSession excel;
  auto written = exportToSpreadsheet(doc_, excel, officePaths_.outputFolder / kWorkbookFileName);
  if (!written) {
    Dialogs::message(this, MessageKind::Warning, qt(written.message()));
    return;
  }
  openOutputs({qt(written.value().string())});
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

void MainWindow::startCalculator() {
  for (const char* program :
       {"gnome-calculator", "kcalc", "mate-calc", "galculator", "qalculate-gtk", "xcalc"}) {
    const QString path = QStandardPaths::findExecutable(program);
    if (!path.isEmpty() && QProcess::startDetached(path, {})) return;
  }
  Dialogs::message(this, MessageKind::Information, "没有找到计算器程序。");
}

void MainWindow::about() {
  QDialog box(this);
  box.setWindowTitle("关于软件");
  auto* layout = new QVBoxLayout(&box);
  auto* icon = new QLabel(&box);
  icon->setPixmap(windowIcon().pixmap(48, 48));
  layout->addWidget(icon, 0, Qt::AlignHCenter);
  layout->addWidget(new QLabel("楼板厚度测试仪数据分析处理软件V1.10 版", &box));
  layout->addWidget(new QLabel("本软件用于楼板厚度检测数据的传输、分析、打印和报告。", &box));
  layout->addWidget(new QLabel("联系方式：support@example.org", &box));
  auto* buttons = new QDialogButtonBox(&box);
  buttons->addButton("确定", QDialogButtonBox::AcceptRole);
  connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
  layout->addWidget(buttons);
  box.exec();
}

void MainWindow::help() {
  const QString path = QString::fromStdString((ProgramPaths::programFolder() / "kroanalyze.html").string());
  if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) {
    Dialogs::message(this, MessageKind::Information, "无法打开使用说明：" + path);
  }
}

// --- Files ---

void MainWindow::openDialog() {
  if (!doc_.saveModified()) return;
  if (auto path = Dialogs::openPath(this, qtFileFilter(kOpenFilter))) openFile(*path, false);
}

bool MainWindow::openFile(const QString& path, bool askToSave) {
  if (askToSave && !doc_.saveModified()) return false;
  if (!doc_.open(path.toStdString())) return false;
  rememberRecent(QFileInfo(path).absoluteFilePath());
  return true;
}

QStringList MainWindow::recentFiles() const { return QSettings().value("recentFiles").toStringList(); }

void MainWindow::rememberRecent(const QString& path) {
  QStringList files = recentFiles();
  files.removeAll(path);
  files.prepend(path);
  while (files.size() > kRecentFileCount) files.removeLast();
  QSettings().setValue("recentFiles", files);
  refreshRecentMenu();
}

void MainWindow::refreshRecentMenu() {
  recentMenu_->clear();
  const QStringList files = recentFiles();
  for (int i = 0; i < files.size(); ++i) {
    QAction* a = recentMenu_->addAction(QString("&%1 %2").arg(i + 1).arg(files[i]));
    const QString path = files[i];
    connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
  }
  recentMenu_->setEnabled(!files.isEmpty());
}

void MainWindow::transfer() {
  // The transferred file replaces the document, so unsaved changes are dealt with first.
  if (!doc_.saveModified()) return;
  TransferDialog dialog(*this, doc_.path(), this);
  dialog.exec();
  if (dialog.completed()) openFile(QString::fromStdString(dialog.destination().string()), false);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (doc_.saveModified()) {
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

void MainWindow::refillGrid() { grid_->refill(); }

void MainWindow::redrawChart() { chart_->update(); }

void MainWindow::rebuildMemberList() { panel_->rebuildList(); }

void MainWindow::showMember(const MemberRecord* member) { panel_->showMember(member); }

void MainWindow::updateCountCell(int memberIndex) { panel_->updateCountCell(memberIndex); }

void MainWindow::titleChanged() {
  setWindowTitle(qt(doc_.title()) + "[*] - " + applicationTitle());
  setWindowModified(doc_.isModified());
}

void MainWindow::showMessage(MessageKind kind, const std::string& text) {
  Dialogs::message(this, kind, qt(text));
}

bool MainWindow::askYesNo(const std::string& text) { return Dialogs::askYesNo(this, qt(text), "提示"); }

SaveChoice MainWindow::askSaveDiscardCancel(const std::string& text) {
  return Dialogs::askSaveDiscardCancel(this, qt(text));
}

std::optional<std::filesystem::path> MainWindow::chooseSavePath(const SaveDialogSpec& wanted) {
  if (auto path = Dialogs::savePath(this, wanted)) return std::filesystem::path(path->toStdString());
  return std::nullopt;
}

std::optional<bool> MainWindow::isMemberChecked(int row) { return panel_->isChecked(row); }

}  // namespace kro::gui
