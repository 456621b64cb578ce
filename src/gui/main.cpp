// The desktop application: start-up, an optional file to open, the maximized main window.
#include <QApplication>
#include <QScreen>

#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "model/file_io.h"

#ifdef _WIN32
#include <windows.h>

namespace {

// Under wine, Qt's default (GDI) font engine places the text of input boxes above their frame,
// so that figures cannot be seen; its FreeType engine draws them right. Windows itself keeps
// its own engine.
void useFreeTypeUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "windows:fontengine=freetype");
  }
}

}  // namespace
#endif

int main(int argc, char** argv) {
  kro::reportOversizedWritesAsFailures();
#ifdef _WIN32
  useFreeTypeUnderWine();
#endif
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
