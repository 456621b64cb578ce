// The window's outputs: printing, the PDF, the Word report, the workbook, the CSV files, each
// through one output flow.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QStatusBar>
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
#include "gui/register_dialogs.h"
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
#include "register/postgres_database.h"
#include "register/register_location.h"
#include "render/issue_documents.h"
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

}  // namespace

void MainWindow::print() {
  // Without a printer the system's print dialog has nothing to offer (on Windows it does not even
  // open): the report can still be saved as the PDF that would be printed.
  if (QPrinterInfo::availablePrinterNames().isEmpty()) {
    if (Dialogs::askYesNo(this, "这台电脑上没有安装打印机，无法打印。\n要把报告保存为 PDF 文件吗？", "打印"))
      savePdf();
    return;
  }
  if (!checkedBeforeOutput(std::nullopt)) return;
  const PrintedPageSettings pageSettings{printSettingsForPage(settings_), parameters()};
  // Printed with the changes not saved yet in its log, as the raw data show them corrected.
  const Project project = doc_.projectAsRecorded();
  OutputRequest request{nullptr, nullptr, {}, {}, false, {}, {}, MessageKind::Error};
  // The printer's dialog says where: a printer, or a file to print to.
  request.where = [this, &pageSettings, &project]() -> std::optional<std::filesystem::path> {
    QPrintDialog dialog(&printer_, this);
    const int pages = layoutForPrinting(project, pageSettings).pageCount();
    dialog.setMinMax(1, pages);
    dialog.setFromTo(1, pages);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return printer_.outputFileName().isEmpty() ? std::filesystem::path()
                                               : pathFromQt(printer_.outputFileName());
  };
  request.write = [this, &pageSettings, &project](const std::filesystem::path& file,
                                                  const CancelFlag&) -> Result<Written> {
    const bool range = printer_.printRange() == QPrinter::PageRange;
    PageProgress progress(this, "正在打印…");
    if (Status s = printReport(project, printer_, pageSettings, range ? printer_.fromPage() : 1,
                               range ? printer_.toPage() : 0, progress.callback());
        !s)
      return Error{s.message()};
    return file.empty() ? Written{} : Written{{file}, {}};
  };
  writeOutput(request);
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
                 if (Status s =
                         printReportToPdf(doc_.projectAsRecorded(), pdf, pageSettings, progress.callback());
                     !s)
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
  connect(&dialog, &QPrintPreviewDialog::paintRequested, this,
          [this, project = doc_.projectAsRecorded()](QPrinter* printer) {
            PageProgress progress(this, "正在准备预览…");
            Status printed = printReport(project, *printer, {printSettingsForPage(settings_), parameters()},
                                         1, 0, progress.callback());
            if (!printed) Dialogs::message(this, MessageKind::Error, qt(printed.message()));
          });
  dialog.resize(size() * 0.9);
  dialog.exec();
}

void MainWindow::printSettings() {
  PrintSettingsDialog dialog(settings_, this);
  dialog.exec();
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
  const auto chosen = request.where ? request.where()
                                    : chooseDocumentPath(request.filter, request.extension,
                                                         request.proposedName, request.folder);
  if (!chosen) return false;
  // A device (a printer) is no file to refuse or to show.
  std::vector<std::filesystem::path> files;
  if (request.files) {
    files = request.files(*chosen);
  } else if (!chosen->empty()) {
    files = {*chosen};
  }
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
  if (paths.isEmpty()) return true;  // printed on a printer
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
  request.write = [project = doc_.projectAsRecorded(), values = parameters(), format = format.value(),
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
               [project = doc_.projectAsRecorded(), rule = parameters().rule()](
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
  std::vector<std::string> notes;
  auto members = membersFromCsv(bytes.value(), &notes);
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
      [this, input, notes, csv = std::move(bytes.value()), members = std::move(members.value())](
          const std::filesystem::path& output, const CancelFlag&) -> Result<Written> {
        const ProtectedInputs read({input});
        // The table is the new file's source, and its log begins with the members it gave.
        Project project{members, officeParameters(settings_)};
        beginRecord(project, sourceOf(ProjectSource::Kind::Import, {{input, csv}}, members.size()),
                    doc_.recorder());
        if (Status s = writeAnalysisFile(output, project); !s) return Error{s.message()};
        // Columns not ours were left out: said before the file is opened.
        std::string ignored;
        for (const std::string& note : notes) ignored += "“" + displayPath(input.filename()) + "”" + note;
        return Written{{output}, ignored};
      },
      MessageKind::Error,
      input.parent_path(),
      [this](const QStringList& files) { openFile(files.front(), false); }};
  writeOutput(request);
}

}  // namespace kro::gui

namespace kro::gui {

// Opens a register; a server that wants a password gets it asked (never kept).
Result<std::unique_ptr<Register>> MainWindow::openRegisterAsking(const std::string& location) {
  auto opened = openRegister(location);
  if (opened || !PostgresDatabase::needsPassword(opened.message())) return opened;
  auto password = Dialogs::askText(this, qt("台账服务器“" + location + "”的密码："), {}, true);
  if (!password) return opened;
  return openRegister(location, password->toStdString());
}

Register* MainWindow::officeRegister() {
  if (register_ == nullptr) {
    auto opened = openRegisterAsking(registerLocation(settings_, std::nullopt));
    if (!opened) {
      Dialogs::message(this, MessageKind::Error, qt(opened.message()));
      return nullptr;
    }
    register_ = std::move(opened.value());
  }
  return register_.get();
}

void MainWindow::refreshRegisterState(bool force) {
  const std::string id = projectIdOf(doc_.project());
  const std::string key = displayPath(doc_.path()) + "|" + id;
  if (!force && key == registerStateFor_) return;
  registerStateFor_ = key;
  std::string state = "未签发";
  if (!id.empty()) {
    // Only looked up when the register was opened, or can be without asking anything.
    if (register_ == nullptr) {
      if (auto opened = openRegister(registerLocation(settings_, std::nullopt)))
        register_ = std::move(opened.value());
    }
    if (register_ != nullptr) {
      auto reports = register_->reportsOf(id);
      state = reports ? registerStateText(reports.value()) : "（台账无法读取）";
    } else {
      state = "（台账未打开）";
    }
  }
  panel_->setRegisterState(qt("签发状态：" + state));
}

void MainWindow::issueReport() {
  if (doc_.path().empty() || doc_.isModified()) {
    Dialogs::message(this, MessageKind::Warning, "只有保存过、没有改动的工程才能签发：请先保存工程。");
    return;
  }
  Register* reg = officeRegister();
  if (reg == nullptr) return;
  const std::string id = projectIdOf(doc_.project());
  std::vector<ReportRecord> reports;
  if (!id.empty()) {
    auto found = reg->reportsOf(id);
    if (!found) {
      Dialogs::message(this, MessageKind::Error, qt(found.message()));
      return;
    }
    reports = std::move(found.value());
  }
  std::error_code ec;
  const QString folder = writtenFolder_.isEmpty()
                             ? qtPath(std::filesystem::absolute(doc_.path(), ec).parent_path())
                             : writtenFolder_;
  IssueDialog dialog(*reg, reports, folder, this);
  if (dialog.exec() != QDialog::Accepted) return;
  IssueRequest request = dialog.request();
  request.projectFile = doc_.path();
  request.today = today();
  DocxTemplateFiller filler(fieldCatalog());
  IssuedDocuments documents(settings_, officePaths_, filler);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  auto step = takeIssueStep(*reg, request, documents, settings_);
  QApplication::restoreOverrideCursor();
  if (!step) {
    Dialogs::message(this, MessageKind::Error, qt(step.message()));
    return;
  }
  std::string said = step->summary;
  for (const std::string& w : step->warnings) said += "\n" + w;
  // A first draft gave the project its identity in its file: the window shows the file as it is.
  if (dialog.step() == "起草" && id.empty()) openFile(qtPath(doc_.path()), false);
  refreshRegisterState(true);
  if (!step->files.empty()) {
    QStringList paths;
    for (const auto& f : step->files) paths << qtPath(f);
    showWritten(paths);
  }
  Dialogs::message(this, step->warnings.empty() ? MessageKind::Information : MessageKind::Warning, qt(said));
}

void MainWindow::showLedger() {
  Register* reg = officeRegister();
  if (reg == nullptr) return;
  LedgerDialog dialog(*reg, this);
  dialog.exec();
  refreshRegisterState(true);
}

void MainWindow::registerSettings() {
  Register* reg = officeRegister();
  if (reg == nullptr) return;
  const QString before = qt(registerLocation(settings_, std::nullopt));
  RegisterSettingsDialog dialog(*reg, before, this);
  if (dialog.exec() != QDialog::Accepted || dialog.location() == before) return;
  // Another register: opened (made when new) before it is kept in the settings.
  auto opened = openRegisterAsking(dialog.location().toStdString());
  if (!opened) {
    Dialogs::message(this, MessageKind::Error, qt(opened.message()));
    return;
  }
  if (Status s = saveRegisterLocation(settings_, dialog.location().toStdString()); !s) {
    Dialogs::message(this, MessageKind::Error, qt(s.message()));
    return;
  }
  register_ = std::move(opened.value());
  refreshRegisterState(true);
}

}  // namespace kro::gui
