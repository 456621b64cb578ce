// The desktop application: start-up, an optional file to open, the maximized main window.
#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QScreen>
#include <QTranslator>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "model/file_io.h"

int main(int argc, char** argv) {
  kro::reportOversizedWritesAsFailures();
  QApplication app(argc, argv);
  QApplication::setOrganizationName("kroanalyze");
  QApplication::setApplicationName("kroanalyze");
  QApplication::setApplicationDisplayName(kro::gui::applicationTitle());
  QApplication::setApplicationVersion(KRO_VERSION);
  // Qt's own dialogs (files, calendar, printing) in Chinese, like the rest of the program.
  QTranslator qtChinese;
  if (qtChinese.load(QLocale(QLocale::Chinese, QLocale::China), "qtbase", "_",
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtChinese);
  }

  kro::gui::MainWindow window;
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) window.openFile(args[1]);
  // Sized to the screen as well, for desktops without a window manager that maximizes.
  if (QScreen* screen = QApplication::primaryScreen()) window.resize(screen->availableGeometry().size());
  window.showMaximized();
  return QApplication::exec();
}
