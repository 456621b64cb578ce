// The main window: menus, toolbar, status bar, the member panel docked on the left, and the
// reading grid above the thickness chart. It routes every command to the document or a view
// and is the document's frontend.
#pragma once

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTimer>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "gui/chart_view.h"
#include "gui/member_panel.h"
#include "gui/reading_grid_view.h"
#include "model/document.h"
#include "model/project_diff.h"
#include "register/register.h"
#include "report/office_paths.h"
#include "report/project_check.h"
#include "report/project_parameters.h"
#include "settings/program_paths.h"
#include "views/project_overview.h"

namespace kro::gui {

class CheckDialog;
class ModificationLogDialog;
class OverviewDock;

class MainWindow : public QMainWindow, public DocumentFrontend, public Prompter {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  // Opens a file as the document, after asking about unsaved changes unless the caller already
  // did. False when not opened.
  bool openFile(const QString& path, bool askToSave = true);

  CKroAnalyzeDoc& document() { return doc_; }
  // Where the office's settings are (the environment's; tests give a folder of their own).
  void setSettingsLocation(SettingsLocation location) { settings_ = std::move(location); }
  const SettingsLocation& settingsLocation() const { return settings_; }
  MemberPanel* panel() const { return panel_; }
  ReadingGridView* grid() const { return grid_; }
  ChartView* chart() const { return chart_; }
  QDockWidget* dock() const { return dock_; }
  OverviewDock* overview() const { return overview_; }
  // Compares the document with original data from a file (kept received bytes or any file
  // the program opens); false when it cannot be read. endComparison stops.
  bool compareWith(const QString& path);
  void endComparison();
  // The overview (and the comparison) again from the document; after a change this happens by
  // itself kOverviewDelay after the last one.
  void refreshOverview();
  // The overview as wide as its columns, as far as the panel and the grid's columns leave room;
  // done once the window first has its size.
  void fitOverview();
  static constexpr std::chrono::milliseconds kOverviewDelay{120};
  // 新建 and 关闭: an empty project, after asking about unsaved changes. False when cancelled.
  bool closeDocument();
  // Appends another project's members in one step, after offering a prefix for codes the open
  // project already has; from says where they came from. False when nothing was appended.
  bool appendProject(const Project& other, const QString& from, std::optional<ProjectSource> source);
  // A menu or toolbar action by its object name ("actionDeleteMember", "actionUndo", ...).
  QAction* action(const char* name) const;
  QStringList recentFiles() const;
  // Where reports and workbooks are written (the temporary folder unless changed).
  void setOfficePaths(OfficePaths paths) { officePaths_ = std::move(paths); }
  // The project's report parameters over the settings' defaults, as the reports use them.
  const ParameterValues& parameters();
  // What the parameters dialog's OK does: the values become the project's (one undoable step),
  // the format choice and the office fields the defaults. False, after saying why, on failure.
  bool applyReportParameters(const ParameterValues& values, int chosenFormat,
                             const std::optional<std::string>& userFormat = std::nullopt);

  // --- DocumentFrontend ---
  void rebuildMemberList() override;
  void updateMemberRow(int memberIndex) override;
  void showMember(const MemberRecord* member) override;
  void refillGrid() override;
  void redrawChart() override;
  void stateChanged() override;
  // Runs a document operation to its end, asking its questions here.
  bool settle(const std::function<DocumentStep(const DocumentAnswers&)>& operation) {
    return askUntilSettled(*this, operation);
  }
  // The members whose rows are chosen in the member list or, when it has the focus, the
  // overview; the current member when none is.
  std::vector<int> chosenMembers() const;
  std::vector<int> allMembers() const;
  // Saves as the operation says; the file saved to enters 最近文件.
  bool saveDocument(const std::function<DocumentStep(const DocumentAnswers&)>& operation);
  // The document's question about unsaved changes; false when the caller must not go on.
  // A file saved here enters 最近文件; 不保存 leaves the list alone.
  bool saveModified();

  void showMessage(MessageKind kind, const std::string& text) override;
  bool askYesNo(const std::string& text) override;
  SaveChoice askSaveDiscardCancel(const std::string& text) override;
  std::optional<std::filesystem::path> chooseSavePath(const SaveDialogRequest& wanted) override;
  int askChoice(const std::string& text, const std::vector<std::string>& choices) override;

 public slots:
  void openDialog();
  void transfer();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  bool fitted_ = false;  // the overview fitted once the window was first shown
  // The actions, their menus and the toolbar, from one table.
  void buildActions();
  // 与原始数据比较: asks for the file, starting in 原始数据 beside the document's.
  void chooseOriginal();
  void buildStatusBar();
  void rememberRecent(const QString& path);
  void refreshRecentMenu();
  void print();
  void preview();
  void savePdf();
  void printSettings();
  // The parameters dialog; true when the user pressed OK and everything was kept.
  bool reportParameters();
  void wordReport();
  void spreadsheet();
  void exportCsv();
  void importCsv();
  // 合并工程: the members of another file appended to the open project.
  void mergeProject();
  // 检查: the findings in a dialog beside the window, checked again on request.
  void check();
  // 修改记录: the log's entries beside the window.
  void showModificationLog();
  // The office's register: 签发报告 for the open project, 报告台账, 台账设置; the panel's
  // register state (looked up again when the file or its identity changed, or when forced).
  void issueReport();
  void showLedger();
  void registerSettings();
  void refreshRegisterState(bool force = false);
  Register* officeRegister();
  Result<std::unique_ptr<Register>> openRegisterAsking(const std::string& location);
  // The reason for a change kept in the log (and, the first time, who makes it).
  std::optional<std::string> askReason(const ChangeRequest& request);
  // A damaged log found on opening: the user may begin a new one, else the project stays unchanged.
  void offerNewLog();
  void scheduleOverview();
  // The grid's marks for the current member while comparing, from the last comparison.
  void markDifferences();
  // The check before an output: members only, or also the parameters of the report format
  // about to be written. True when nothing is found or the user goes on; an output of the
  // ticked members (tickedOnly) is refused when none is ticked.
  bool checkedBeforeOutput(const std::optional<FormatFields>& reportFormat, bool tickedOnly = true);
  // Asks where to save a document, proposing name in the folder last used for documents (else
  // the open document's folder); remembers the folder chosen.
  std::optional<std::filesystem::path> chooseDocumentPath(const char* filter, const char* extension,
                                                          const std::string& name,
                                                          const std::filesystem::path& folder = {});
  // One document the window writes (PDF, Word report, workbook, CSV), after its own checks:
  // where to write it (asked), every file it makes refused where no write may go, the work
  // (off the window's thread with progress and 取消 when it has a progress text), and the files
  // written named in the status bar (and opened, when asked).
  struct Written {
    std::vector<std::filesystem::path> files;
    std::string warning;  // said before the files are shown (a data table that failed)
  };
  struct OutputRequest {
    const char* filter;
    const char* extension;
    std::string proposedName;
    QString progress;  // "正在生成工作簿…"; empty: the work runs on this thread
    bool open = true;  // open the written files in the desktop's applications
    // The files a write to the chosen path makes; the path alone when not given.
    std::function<std::vector<std::filesystem::path>(const std::filesystem::path&)> files;
    std::function<Result<Written>(const std::filesystem::path&, const CancelFlag&)> write;
    MessageKind failure = MessageKind::Warning;  // how a failed write is said
    // Proposed in this folder (not remembered as the documents' folder) when given.
    std::filesystem::path folder{};
    // What follows the write instead of opening or showing the files.
    std::function<void(const QStringList&)> then{};
    // Where to write when not asked by a save dialog (the printer's own dialog): nothing when
    // cancelled, an empty path for a device rather than a file.
    std::function<std::optional<std::filesystem::path>()> where{};
  };
  bool writeOutput(const OutputRequest& request);
  // 批量设置构件参数; afterTransfer proposes all members, appended the members just appended.
  void batchEdit(bool afterTransfer = false, std::vector<int> appended = {});
  // After members arrived (a transfer, an append, a merge), from index first on: offers the
  // batch edit when any of them has no tolerance (0/0, as the instrument sends them).
  // Asks, under a rule with a second sample, whether members appended from first on are the
  // second sample, and marks them so.
  void offerSecondSample(int first);
  void offerToleranceEdit(int first);
  // Opens written files in the desktop's applications, or says where they are.
  void openOutputs(const QStringList& paths);
  // The status bar names the files written, beside a button that opens their folder.
  void showWritten(const QStringList& paths);
  // 复制 (Ctrl+C): the grid's readings, or the selected rows of the list or table with focus.
  void copyFromFocus();
  void toggleControlPanel();
  void nextPane(int step);
  void about();
  void help();

  CKroAnalyzeDoc doc_;
  SettingsLocation settings_ = SettingsLocation::fromEnvironment();
  OfficePaths officePaths_;
  MemberPanel* panel_;
  ReadingGridView* grid_;
  ChartView* chart_;
  QDockWidget* dock_;
  QSplitter* splitter_;
  QMenu* recentMenu_ = nullptr;
  CheckDialog* checkDialog_ = nullptr;
  ModificationLogDialog* logDialog_ = nullptr;
  OverviewDock* overview_ = nullptr;
  OriginalComparison comparison_;
  QTimer overviewTimer_;
  ParameterValues parameters_;
  std::optional<ProjectParameters> parametersFor_;  // what parameters_ was computed from
  QPrinter printer_;
  bool panelFlag_ = false;
  QPushButton* openFolder_ = nullptr;
  QString writtenFolder_;
  std::unique_ptr<Register> register_;
  std::string registerStateFor_;  // the file and identity the panel's register state is of
};

}  // namespace kro::gui
