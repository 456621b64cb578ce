// The desktop application: start-up, an optional file to open, the maximized main window.
#include <QApplication>
#include <QScreen>

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
  kro::gui::installChineseTranslations();

  kro::gui::MainWindow window;
  const QStringList args = QApplication::arguments();
  if (args.size() > 1) window.openFile(args[1]);
  // Sized to the screen as well, for desktops without a window manager that maximizes.
  if (QScreen* screen = QApplication::primaryScreen()) window.resize(screen->availableGeometry().size());
  window.showMaximized();
  return QApplication::exec();
}
