// Message boxes and file dialogs.
#include "gui/dialogs.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QInputDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>
#include <QUrl>

#include "platform/console.h"

namespace kro::gui {
namespace {

struct TestAnswers {
  bool on = false;
  std::deque<bool> yesNo;
  std::deque<SaveChoice> saveChoices;
  std::deque<int> choices;
  std::deque<std::optional<QString>> paths;
  std::deque<std::optional<QString>> texts;
  QStringList messages;
  QStringList questions;
  QStringList opened;
};

TestAnswers& answers() {
  static TestAnswers a;
  return a;
}

template <class T>
T next(std::deque<T>& queue, T fallback) {
  if (queue.empty()) return fallback;
  fallback = std::move(queue.front());
  queue.pop_front();
  return fallback;
}

std::optional<QString> nextPath() { return next<std::optional<QString>>(answers().paths, std::nullopt); }

// The file dialogs' type column in Chinese ("文件夹" where Qt says "Folder").
class ChineseFileTypes : public QFileIconProvider {
 public:
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return "文件夹";
    const QString suffix = info.suffix();
    return suffix.isEmpty() ? QString("文件") : suffix.toUpper() + " 文件";
  }
};

ChineseFileTypes& fileTypes() {
  static ChineseFileTypes provider;
  return provider;
}

// The system's file dialog where users expect it (Windows), else one of Qt's own, in Chinese.
void prepare(QFileDialog& dialog) {
  if (platform::systemFileDialogs()) return;
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setIconProvider(&fileTypes());
  dialog.setLabelText(QFileDialog::Accept, dialog.acceptMode() == QFileDialog::AcceptSave ? "保存" : "打开");
  dialog.setLabelText(QFileDialog::Reject, "取消");
}

}  // namespace

QIcon themed(const char* name, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(name, QApplication::style()->standardIcon(fallback));
}

void installChineseTranslations() {
  // Calendars, dates and sizes in Chinese too, whatever the system's locale (C on a server, an
  // English desktop), as every text of the program is.
  QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
  static QTranslator qtChinese;
  if (qtChinese.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(&qtChinese);
  }
}

// The title with the version this build is (CMake's project version), never another.
QString applicationTitle() {
  return QStringLiteral("楼板厚度测试仪数据分析处理软件V") + QStringLiteral(KRO_VERSION);
}

void Dialogs::message(QWidget* parent, MessageKind kind, const QString& text) {
  if (answers().on) {
    answers().messages << text;
    return;
  }
  const QMessageBox::Icon icon = kind == MessageKind::Error     ? QMessageBox::Critical
                                 : kind == MessageKind::Warning ? QMessageBox::Warning
                                                                : QMessageBox::Information;
  QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
  box.exec();
}

bool Dialogs::askYesNo(QWidget* parent, const QString& text, const QString& caption) {
  if (answers().on) {
    answers().questions << text;
    return next<bool>(answers().yesNo, false);
  }
  QMessageBox box(QMessageBox::Question, caption.isEmpty() ? applicationTitle() : caption, text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.button(QMessageBox::Yes)->setText("是(&Y)");
  box.button(QMessageBox::No)->setText("否(&N)");
  return box.exec() == QMessageBox::Yes;
}

SaveChoice Dialogs::askSaveDiscardCancel(QWidget* parent, const QString& text) {
  if (answers().on) {
    answers().questions << text;
    return next<SaveChoice>(answers().saveChoices, SaveChoice::Cancel);
  }
  QMessageBox box(QMessageBox::Warning, applicationTitle(), text,
                  QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, parent);
  box.button(QMessageBox::Save)->setText("保存(&S)");
  box.button(QMessageBox::Discard)->setText("不保存(&N)");
  box.button(QMessageBox::Cancel)->setText("取消");
  switch (box.exec()) {
    case QMessageBox::Save:
      return SaveChoice::Save;
    case QMessageBox::Discard:
      return SaveChoice::Discard;
    default:
      return SaveChoice::Cancel;
  }
}

int Dialogs::askChoice(QWidget* parent, const QString& text, const QStringList& choices) {
  if (answers().on) {
    answers().questions << text;
    return next<int>(answers().choices, -1);
  }
  QMessageBox box(QMessageBox::Warning, applicationTitle(), text, QMessageBox::NoButton, parent);
  QList<QAbstractButton*> buttons;
  for (const QString& choice : choices) buttons << box.addButton(choice, QMessageBox::AcceptRole);
  QAbstractButton* cancel = box.addButton("取消", QMessageBox::RejectRole);
  box.setDefaultButton(qobject_cast<QPushButton*>(cancel));
  box.setEscapeButton(cancel);
  box.exec();
  return static_cast<int>(buttons.indexOf(box.clickedButton()));
}

QString qtFileFilter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    const QString name = parts[i];
    if (name.isEmpty()) break;
    const QString pattern = parts[i + 1].isEmpty() ? name.section('(', -1).section(')', 0, 0) : parts[i + 1];
    // Several patterns are separated by ";"; each extension also matches in lower and title case.
    QStringList patterns;
    for (const QString& one : pattern.split(';', Qt::SkipEmptyParts)) {
      patterns << one;
      if (!one.startsWith("*.")) continue;
      const QString ext = one.mid(2);
      for (const QString& variant : {ext.toLower(), ext.left(1).toUpper() + ext.mid(1).toLower()}) {
        if (!patterns.contains("*." + variant)) patterns << "*." + variant;
      }
    }
    QString label = name;
    const int paren = label.lastIndexOf('(');
    if (paren >= 0) label = label.left(paren).trimmed();
    filters << QString("%1 (%2)").arg(label, patterns.join(' '));
  }
  return filters.join(";;");
}

std::optional<QString> Dialogs::savePath(QWidget* parent, const SaveDialogRequest& wanted) {
  if (answers().on) return nextPath();
  QFileDialog dialog(parent, "另存为");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  prepare(dialog);
  dialog.setNameFilter(qtFileFilter(wanted.filter));
  dialog.setDefaultSuffix(QString::fromStdString(wanted.defaultExtension));
  if (!wanted.proposedName.empty()) dialog.selectFile(QString::fromStdString(wanted.proposedName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

std::optional<QString> Dialogs::openPath(QWidget* parent, const QString& filter, const QString& folder) {
  if (answers().on) return nextPath();
  QFileDialog dialog(parent, "打开", folder, filter);
  dialog.setFileMode(QFileDialog::ExistingFile);
  prepare(dialog);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

std::optional<QString> Dialogs::folder(QWidget* parent, const QString& title) {
  if (answers().on) return nextPath();
  QFileDialog dialog(parent, title);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  prepare(dialog);
  dialog.setLabelText(QFileDialog::Accept, "选择");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().front();
}

void Dialogs::prepareFileDialog(QFileDialog& dialog) { prepare(dialog); }

std::optional<QString> Dialogs::askText(QWidget* parent, const QString& question, const QString& initial,
                                        bool secret) {
  if (answers().on) {
    answers().questions << question;
    return next<std::optional<QString>>(answers().texts, std::nullopt);
  }
  QInputDialog dialog(parent);
  dialog.setWindowTitle(applicationTitle());
  dialog.setLabelText(question);
  dialog.setTextValue(initial);
  if (secret) dialog.setTextEchoMode(QLineEdit::Password);
  dialog.setOkButtonText("确定");
  dialog.setCancelButtonText("取消");
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue();
}

bool Dialogs::openFile(const QString& path) {
  if (answers().on) {
    answers().opened << path;
    return true;
  }
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

QStringList Dialogs::takeOpenedFiles() {
  QStringList out;
  out.swap(answers().opened);
  return out;
}

bool Dialogs::inTestMode() { return answers().on; }

void Dialogs::setTestMode(bool on) {
  answers() = TestAnswers();
  answers().on = on;
}
void Dialogs::queueYesNo(bool answer) { answers().yesNo.push_back(answer); }
void Dialogs::queueSaveChoice(SaveChoice answer) { answers().saveChoices.push_back(answer); }
void Dialogs::queueChoice(int answer) { answers().choices.push_back(answer); }
void Dialogs::queuePath(std::optional<QString> path) { answers().paths.push_back(std::move(path)); }
void Dialogs::queueText(std::optional<QString> text) { answers().texts.push_back(std::move(text)); }

QStringList Dialogs::takeMessages() {
  QStringList out;
  out.swap(answers().messages);
  return out;
}

QStringList Dialogs::takeQuestions() {
  QStringList out;
  out.swap(answers().questions);
  return out;
}

}  // namespace kro::gui
