// main() of the GUI tests: the application object on the offscreen platform, dialogs answered
// by the tests, every settings file in a folder of the run's own, away from the user's.
#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "gui/dialogs.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QStandardPaths::setTestModeEnabled(true);
  QTemporaryDir configFolder;
  qputenv("KRO_CONFIG_DIR", configFolder.path().toLocal8Bit());
  QApplication app(argc, argv);
  QApplication::setOrganizationName("kroanalyze-tests");
  QApplication::setApplicationName("kroanalyze-tests");
  kro::gui::Dialogs::setTestMode(true);
  kro::gui::installChineseTranslations();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
