// Message boxes and file dialogs, with seams so tests can answer them without showing them.
#pragma once

#include <QIcon>
#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <QStyle>
#include <deque>
#include <optional>
#include <string_view>

#include "model/document_frontend.h"

class QFileDialog;
class QWidget;

namespace kro::gui {

// The application's title, the caption of its message boxes.
QString applicationTitle();

// A UTF-8 text of the core as Qt's.
inline QString qt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The desktop theme's icon of that name, else the style's own.
QIcon themed(const char* name, QStyle::StandardPixmap fallback);

// Qt's own dialogs (files, calendar, printing) in Chinese, like the rest of the program.
void installChineseTranslations();

class Dialogs {
 public:
  static void message(QWidget* parent, MessageKind kind, const QString& text);
  static bool askYesNo(QWidget* parent, const QString& text, const QString& caption = QString());
  static SaveChoice askSaveDiscardCancel(QWidget* parent, const QString& text);
  // A question with buttons of these texts and 取消: the index of the one chosen, -1 for 取消.
  static int askChoice(QWidget* parent, const QString& text, const QStringList& choices);
  // A save dialog for a filter in the "text|pattern|...|" form; it asks before overwriting.
  static std::optional<QString> savePath(QWidget* parent, const SaveDialogRequest& wanted);
  // folder: where the dialog starts (empty: where Qt last was).
  static std::optional<QString> openPath(QWidget* parent, const QString& filter, const QString& folder = {});
  static std::optional<QString> folder(QWidget* parent, const QString& title);
  // A line of text asked for with a question; nothing when cancelled.
  // secret: what is typed is not shown (a password).
  static std::optional<QString> askText(QWidget* parent, const QString& question,
                                        const QString& initial = QString(), bool secret = false);
  // Makes a file dialog one of Qt's own, with Chinese texts throughout.
  static void prepareFileDialog(QFileDialog& dialog);
  // Opens a file in the desktop's application for it; false when none opens it.
  static bool openFile(const QString& path);

  // --- Test seams ---
  // In test mode nothing is shown: messages are recorded, questions and dialogs take the queued
  // answers (no, cancel, nothing when the queue is empty).
  static void setTestMode(bool on);
  static bool inTestMode();
  static void queueYesNo(bool answer);
  static void queueSaveChoice(SaveChoice answer);
  static void queueChoice(int answer);
  static void queuePath(std::optional<QString> path);
  static void queueText(std::optional<QString> text);
  static QStringList takeMessages();
  static QStringList takeQuestions();
  static QStringList takeOpenedFiles();
};

// Qt's filter text for a filter in the "text|pattern|...|" form; patterns also match the other
// letter cases that files copied between systems carry.
QString qtFileFilter(const std::string& filter);

}  // namespace kro::gui
