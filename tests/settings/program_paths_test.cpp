// Where settings files are read and written.
#include "settings/program_paths.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace kro {
namespace {

TEST(SettingsLocation, ProgramFolderUntilAUserCopyExists) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "bin");
  SettingsLocation location(dir / "bin", dir / "user");
  EXPECT_EQ(location.pathForRead("printini.ini"), dir / "bin" / "printini.ini");
  EXPECT_EQ(location.pathForWrite("printini.ini"), dir / "bin" / "printini.ini");
  std::filesystem::create_directories(dir / "user");
  test::writeBytes(dir / "user" / "printini.ini", "");
  EXPECT_EQ(location.pathForRead("printini.ini"), dir / "user" / "printini.ini");
  EXPECT_EQ(location.pathForWrite("printini.ini"), dir / "user" / "printini.ini");
  EXPECT_EQ(location.pathForRead("report1ini.ini"), dir / "bin" / "report1ini.ini");
}

TEST(SettingsLocation, UserFolderWhenTheProgramFolderCannotBeWritten) {
  test::TempDir dir;
  SettingsLocation location(dir / "no-such-folder", dir / "user");
  EXPECT_EQ(location.pathForWrite("a.ini"), dir / "user" / "a.ini");
}

TEST(SettingsLocation, OverrideFolderTakesEverything) {
  SettingsLocation location = SettingsLocation::inFolder("/some/where");
  EXPECT_EQ(location.pathForRead("a.ini"), std::filesystem::path("/some/where/a.ini"));
  EXPECT_EQ(location.pathForWrite("a.ini"), std::filesystem::path("/some/where/a.ini"));
}

TEST(ProgramPaths, Folders) {
  EXPECT_TRUE(std::filesystem::is_directory(ProgramPaths::programFolder()));
  EXPECT_EQ(ProgramPaths::defaultTransferPath().filename(), "KRODat.KRO");
  ::unsetenv("KRO_TEMPLATE_DIR");
  EXPECT_EQ(ProgramPaths::templateFolders().front(), ProgramPaths::programFolder());
  ::setenv("KRO_TEMPLATE_DIR", "/own/templates", 1);
  EXPECT_EQ(ProgramPaths::templateFolders().front(), std::filesystem::path("/own/templates"));
  ::unsetenv("KRO_TEMPLATE_DIR");
}

}  // namespace
}  // namespace kro
