// Where settings files are read and written.
#include "settings/program_paths.h"

#include <gtest/gtest.h>

#include "support/environment.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

// Installed anywhere (D:\ too), a program writes its settings to the user's folder; only a
// portable copy, marked so, writes beside itself until a user copy exists.
TEST(SettingsLocation, UserFolderUnlessPortableThenProgramFolderUntilAUserCopyExists) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "bin");
  SettingsLocation location(dir / "bin", dir / "user");
  EXPECT_EQ(location.pathForRead("printini.ini"), dir / "bin" / "printini.ini");
  EXPECT_EQ(location.pathForWrite("printini.ini"), dir / "user" / "printini.ini");
  test::writeBytes(dir / "bin" / pathFromUtf8(kPortableMarker), "");
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

#ifndef _WIN32  // POSIX: /usr and symbolic links
TEST(SettingsLocation, AnInstalledProgramNeverWritesBesideItself) {
  // Root may write to /usr/bin; the settings go to the user's folder all the same.
  test::TempDir dir;
  for (const char* system : {"/usr/bin", "/usr/lib/kroanalyze", "/opt/kroanalyze/bin", "/usr/bin/../bin"}) {
    SettingsLocation location(system, dir / "user");
    EXPECT_EQ(location.pathForWrite("a.ini"), dir / "user" / "a.ini") << system;
    EXPECT_TRUE(ProgramPaths::isSystemFolder(system)) << system;
  }
  for (const char* other : {"/usrx/bin", "/home/u/kro/bin", "/tmp/opt/bin", "/"}) {
    EXPECT_FALSE(ProgramPaths::isSystemFolder(other)) << other;
  }
  // A link into /usr is a system folder too.
  std::filesystem::create_directory_symlink("/usr/bin", dir / "linked");
  EXPECT_TRUE(ProgramPaths::isSystemFolder(dir / "linked"));
}
#endif

TEST(SettingsLocation, OverrideFolderTakesEverything) {
  SettingsLocation location = SettingsLocation::inFolder("/some/where");
  EXPECT_EQ(location.pathForRead("a.ini"), std::filesystem::path("/some/where/a.ini"));
  EXPECT_EQ(location.pathForWrite("a.ini"), std::filesystem::path("/some/where/a.ini"));
}

#ifndef _WIN32  // POSIX: /usr and symbolic links
TEST(ProgramPaths, DataFoldersOfProgramsAndTheHelper) {
  EXPECT_EQ(ProgramPaths::dataFolders("/usr/bin").front(), std::filesystem::path("/usr/share/kroanalyze"));
  const auto helper = ProgramPaths::dataFolders("/usr/lib/kroanalyze");
  EXPECT_NE(std::find(helper.begin(), helper.end(), std::filesystem::path("/usr/share/kroanalyze")),
            helper.end());
}
#endif

TEST(ProgramPaths, Folders) {
  EXPECT_TRUE(std::filesystem::is_directory(ProgramPaths::programFolder()));
  EXPECT_EQ(ProgramPaths::defaultTransferPath().filename(), "KRODat.KRO");
  test::unsetEnvironment("KRO_TEMPLATE_DIR");
  EXPECT_EQ(ProgramPaths::templateFolders().front(), ProgramPaths::programFolder());
  test::setEnvironment("KRO_TEMPLATE_DIR", "/own/templates");
  EXPECT_EQ(ProgramPaths::templateFolders().front(), std::filesystem::path("/own/templates"));
  test::unsetEnvironment("KRO_TEMPLATE_DIR");
}

#ifdef _WIN32
// Settings under %APPDATA%, and a program under Program Files treated as installed.
TEST(ProgramPathsWindows, SettingsUnderAppDataAndProgramFilesIsInstalled) {
  test::TempDir dir;
  test::setEnvironment("APPDATA", dir.path().string());
  EXPECT_EQ(ProgramPaths::userConfigFolder(), dir / "kroanalyze");
  test::setEnvironment("ProgramFiles", (dir / "Program Files").string());
  EXPECT_TRUE(ProgramPaths::isSystemFolder(dir / "Program Files" / "kroanalyze"));
  EXPECT_FALSE(ProgramPaths::isSystemFolder(dir / "tools"));
}
#endif

}  // namespace
}  // namespace kro
