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
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QTextBrowser>
#include <QTimer>
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
#include "gui/record_dialogs.h"
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
#include "platform/console.h"
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
  // Who records changes: the name given once, kept in the window settings.
  doc_.setRecorder(recorderNamed(windowSettings()->value("recorderName").toString().toStdString()));
  doc_.setChangeGate([this](const ChangeRequest& request) { return askReason(request); });
  // A new project's first member takes the band used last in this configuration folder.
  if (auto band = parseMemberBand(windowSettings()->value("newMemberBand").toString().toStdString()))
    doc_.setNewMemberBand(*band);
  setAcceptDrops(true);
  // The program's own icon: the executable's on Windows (title bar and taskbar), the theme's
  // "kroanalyze" where the package installed it, else a spreadsheet's.
  if (!platform::iconInExecutable())
    setWindowIcon(
        QIcon::fromTheme("kroanalyze", themed("x-office-spreadsheet", QStyle::SP_FileDialogDetailedView)));

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
  // The project with the changes not saved yet in its log, so that the log explains them.
  Project project = doc_.projectAsRecorded();
  const ProjectCheck result = runLongWork<ProjectCheck>(
      this, "正在检查…",
      [project = std::move(project), file = doc_.path(), settings = settings_](const CancelFlag&) {
        const std::optional<ChosenFormat> chosen = chosenFormat(settings);
        DocxTemplateFiller filler(fieldCatalog());
        ProjectCheck check = checkProject(
            project, settings, chosen ? std::optional(formatFields(*chosen, filler)) : std::nullopt);
        addRecordFindings(check, project, file);
        return check;
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

void MainWindow::fitOverview() {
  QTableView* table = overview_->table();
  const int wanted = table->horizontalHeader()->length() + table->verticalScrollBar()->sizeHint().width() +
                     2 * table->frameWidth() + 8;
  resizeDocks({overview_}, {wanted}, Qt::Horizontal);
}

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (!fitted_) {
    fitted_ = true;
    QTimer::singleShot(0, this, [this] { fitOverview(); });
  }
}

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
  offerNewLog();
  return true;
}

void MainWindow::offerNewLog() {
  if (!doc_.logLocked()) return;
  const QString text =
      "这个文件的修改记录已损坏（被删改过或不完整），已原样保留在文件中。\n"
      "在开始新的修改记录之前，不能修改本工程；新的修改记录的第一条会注明之前的已损坏。\n\n"
      "现在开始新的修改记录吗？";
  if (Dialogs::askYesNo(this, text)) {
    doc_.beginNewLog();
  } else {
    statusBar()->showMessage("修改记录已损坏：本工程只能查看，不能修改。", 10000);
  }
}

std::optional<std::string> MainWindow::askReason(const ChangeRequest& request) {
  QString name = qt(doc_.recorder().name);
  std::optional<std::string> reason = askChangeReason(this, request, name);
  if (reason && name != qt(doc_.recorder().name)) {
    windowSettings()->setValue("recorderName", name);
    doc_.setRecorder(recorderNamed(name.toStdString()));
  }
  return reason;
}

void MainWindow::showModificationLog() {
  if (logDialog_ == nullptr) logDialog_ = new ModificationLogDialog(doc_, this);
  logDialog_->refresh();
  logDialog_->show();
  logDialog_->raise();
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
  // The log names who saved the changes: asked once, then kept.
  if (doc_.isModified() && doc_.recorder().name.empty()) {
    const std::optional<QString> name = Dialogs::askText(this, "修改人（记入修改记录，只问这一次）：");
    if (name && !name->trimmed().isEmpty()) {
      windowSettings()->setValue("recorderName", name->trimmed());
      doc_.setRecorder(recorderNamed(name->trimmed().toStdString()));
    }
  }
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

bool MainWindow::appendProject(const Project& other, const QString& from,
                               std::optional<ProjectSource> source) {
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
    if (source) source->codePrefix = field.value().gbk;
  }
  const std::size_t count = members.size();
  const int first = doc_.memberCount();
  doc_.appendMembers(std::move(members), from.toStdString(), std::move(source));
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
  // The merged file is recorded as a source by its name and SHA-256.
  auto bytes = readWholeFile(pathFromQt(*path), kMaxProjectFileSize);
  std::optional<ProjectSource> source;
  if (bytes) {
    source = sourceOf(ProjectSource::Kind::Merge, {{pathFromQt(*path), std::move(bytes.value())}},
                      loaded.value().project.members.size());
  }
  if (!appendProject(loaded.value().project, name, std::move(source)) || theirs == ours) return;
  Dialogs::message(this, MessageKind::Information,
                   QString("“%1”的合格率要求是 %2%，当前工程的是 %3%：合并进来的构件按当前工程的 %3% 判定。")
                       .arg(name, qt(theirs), qt(ours)));
}

void MainWindow::transfer() {
  TransferDialog dialog(
      *this, doc_.path(), doc_.memberCount() > 0, [this] { return closeDocument(); }, this);
  dialog.session().setParameters(officeParameters(settings_));
  dialog.session().setRecorder(doc_.recorder());
  dialog.exec();
  if (!dialog.completed()) return;
  const QString written = qtPath(dialog.destination());
  if (dialog.appendChosen()) {
    auto loaded = loadProject(dialog.destination());
    if (!loaded) {
      Dialogs::message(this, MessageKind::Error, qt(loaded.message()));
      return;
    }
    // The transfer's kept bytes become this project's source too.
    const Project& received = loaded.value().project;
    appendProject(received, "传输的 " + QFileInfo(written).fileName(),
                  received.sources.empty() ? std::nullopt : std::optional(received.sources.front()));
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
  refreshRegisterState();
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
