// Whole-file reads and atomic writes, including a write that fails part-way.
#include "model/file_io.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "support/temp_dir.h"

namespace kro {
namespace {

TEST(FileIo, ReadWholeFile) {
  test::TempDir dir;
  test::writeBytes(dir / "a", std::string("x\0y", 3));
  auto bytes = readWholeFile(dir / "a");
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(bytes.value(), std::string("x\0y", 3));
  auto missing = readWholeFile(dir / "none");
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("none"), std::string::npos);
  EXPECT_FALSE(readWholeFile(dir.path()).ok());
}

TEST(FileIo, AtomicWriteReplacesAndKeepsPermissions) {
  test::TempDir dir;
  test::writeBytes(dir / "a", "old");
  ::chmod((dir / "a").c_str(), 0640);
  ASSERT_TRUE(writeFileAtomically(dir / "a", "new contents").ok());
  EXPECT_EQ(test::readBytes(dir / "a"), "new contents");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "a").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(test::entryCount(dir.path()), 1);
}

TEST(FileIo, WritesThroughASymbolicLink) {
  test::TempDir dir;
  test::writeBytes(dir / "real", "old");
  std::filesystem::create_symlink(dir / "real", dir / "link");
  ASSERT_TRUE(writeFileAtomically(dir / "link", "new").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(test::readBytes(dir / "real"), "new");
}

TEST(FileIo, FailuresAreReportedAndLeaveNothingBehind) {
  test::TempDir dir;
  test::writeBytes(dir / "file", "x");
  // A path through a file, and a folder as the target.
  EXPECT_FALSE(writeFileAtomically(dir / "file" / "a", "x").ok());
  std::filesystem::create_directories(dir / "folder");
  Status s = writeFileAtomically(dir / "folder", "x");
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("folder"), std::string::npos);
  EXPECT_EQ(test::entryCount(dir.path()), 2);
}

TEST(FileIo, TemporaryFilesWrittenByOthersReplaceTheTargetOrVanish) {
  test::TempDir dir;
  const auto first = temporaryPathBeside(dir / "out.pdf");
  EXPECT_EQ(first.parent_path(), dir.path());
  EXPECT_NE(first, temporaryPathBeside(dir / "out.pdf"));
  test::writeBytes(first, "new");
  ASSERT_TRUE(replaceWithTemporary(first, dir / "out.pdf").ok());
  EXPECT_EQ(test::readBytes(dir / "out.pdf"), "new");

  // A folder in the way: reported, and the temporary file is gone.
  std::filesystem::create_directories(dir / "busy" / "inside");
  const auto second = temporaryPathBeside(dir / "busy");
  test::writeBytes(second, "x");
  Status s = replaceWithTemporary(second, dir / "busy");
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("busy"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(second));
}

TEST(FileIo, AWriteThatFailsPartWayKeepsTheOldFile) {
  test::TempDir dir;
  const auto target = dir / "data.KRO";
  const std::string old(5000, 'o');
  test::writeBytes(target, old);
  // In a child process, limit the size of files it may write, so the write fails part-way.
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    Status s = writeFileAtomically(target, std::string(100000, 'n'));
    ::_exit(s.ok() ? 0 : 3);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 3);  // the failure was reported
  EXPECT_EQ(test::readBytes(target), old);
  EXPECT_EQ(test::entryCount(dir.path()), 1);
}

}  // namespace
}  // namespace kro
