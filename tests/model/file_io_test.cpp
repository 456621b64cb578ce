// Whole-file reads and atomic writes, including a write that fails part-way.
#include "model/file_io.h"

#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <csignal>

#include "model/project.h"
#include "model/raw_files.h"
#include "model/sample_project.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

TEST(FileIo, ReadWholeFile) {
  test::TempDir dir;
  test::writeBytes(dir / "a", std::string("x\0y", 3));
  auto bytes = readWholeFile(dir / "a", kMaxProjectFileSize);
  ASSERT_TRUE(bytes.ok());
  EXPECT_EQ(bytes.value(), std::string("x\0y", 3));
  auto missing = readWholeFile(dir / "none", kMaxProjectFileSize);
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.message().find("none"), std::string::npos);
  EXPECT_FALSE(readWholeFile(dir.path(), kMaxProjectFileSize).ok());
}

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
TEST(FileIo, ReadingRefusesDevicesFifosFoldersAndOversizedFilesWithoutWaiting) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  // Opening a FIFO without a writer would block; the reader must refuse it at once.
  for (const std::filesystem::path& path :
       {dir / "fifo", std::filesystem::path("/dev/zero"), std::filesystem::path("/dev/null"), dir.path()}) {
    auto refused = readWholeFile(path, kMaxProjectFileSize);
    ASSERT_FALSE(refused.ok()) << path;
    EXPECT_NE(refused.message().find(path.string()), std::string::npos) << refused.message();
    EXPECT_FALSE(checkInputFile(path, kMaxProjectFileSize).ok()) << path;
  }
  EXPECT_NE(readWholeFile(dir / "fifo", 10).message().find("不是普通文件"), std::string::npos);

  test::writeBytes(dir / "big", std::string(11, 'x'));
  auto tooBig = readWholeFile(dir / "big", 10);
  ASSERT_FALSE(tooBig.ok());
  EXPECT_NE(tooBig.message().find("上限"), std::string::npos);
  EXPECT_TRUE(readWholeFile(dir / "big", 11).ok());
  EXPECT_TRUE(checkInputFile(dir / "big", 11).ok());
  EXPECT_FALSE(checkInputFile(dir / "big", 10).ok());
  // A sparse file of 257 MB is refused by its size, before anything is read.
  ASSERT_EQ(::truncate((dir / "big").c_str(), static_cast<off_t>(kMaxProjectFileSize + (1 << 20))), 0);
  EXPECT_FALSE(readWholeFile(dir / "big", kMaxProjectFileSize).ok());
}
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
TEST(FileIo, SameFileByIdentityAndOutputsThatAreInputs) {
  test::TempDir dir;
  test::writeBytes(dir / "in.KRO", "x");
  ASSERT_EQ(::symlink((dir / "in.KRO").c_str(), (dir / "link.KRO").c_str()), 0);
  ASSERT_EQ(::link((dir / "in.KRO").c_str(), (dir / "hard.KRO").c_str()), 0);
  std::filesystem::create_directories(dir / "sub");
  const std::filesystem::path spellings[] = {dir / "in.KRO", dir / "sub" / ".." / "in.KRO", dir / "link.KRO",
                                             dir / "hard.KRO"};
  for (const auto& other : spellings) EXPECT_TRUE(sameFile(dir / "in.KRO", other)) << other;
  EXPECT_FALSE(sameFile(dir / "in.KRO", dir / "in.kro"));
  EXPECT_FALSE(sameFile(dir / "in.KRO", dir / "missing"));
  EXPECT_TRUE(sameFile(dir / "missing", dir / "sub" / ".." / "missing"));
  EXPECT_FALSE(sameFile({}, {}));
}
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
// An input stays protected from every write while it is one, whatever spelling the output uses.
TEST(FileIo, ProtectedInputsAreNeverReplaced) {
  test::TempDir dir;
  test::writeBytes(dir / "in.KRO", "x");
  ASSERT_EQ(::symlink((dir / "in.KRO").c_str(), (dir / "link.KRO").c_str()), 0);
  {
    const ProtectedInputs inputs({dir / "P.DEX", dir / "in.KRO"});
    Status refused = writeFileAtomically(dir / "link.KRO", "y");
    ASSERT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find("link.KRO"), std::string::npos);
    EXPECT_NE(refused.message().find("输入文件"), std::string::npos);
    EXPECT_FALSE(createTemporaryBeside(dir / "in.KRO").ok());  // the libraries' way too
    EXPECT_TRUE(writeFileAtomically(dir / "out.KRO", "y").ok());
    {
      const ReplacingOwnFile saving(dir / "in.KRO");
      EXPECT_TRUE(writeFileAtomically(dir / "in.KRO", "saved").ok());
    }
  }
  EXPECT_TRUE(writeFileAtomically(dir / "in.KRO", "free").ok());  // no longer an input
  {
    const ProtectingEveryFileRead command;
    ASSERT_TRUE(readWholeFile(dir / "out.KRO", 10).ok());
    EXPECT_FALSE(writeFileAtomically(dir / "out.KRO", "z").ok());
  }
  EXPECT_TRUE(writeFileAtomically(dir / "out.KRO", "z").ok());
}
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
// What a shell redirection or cp would refuse is refused, with the reason.
TEST(FileIo, OutputsThatAreNoPlainWritableFileAreRefused) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  std::filesystem::create_directories(dir / "folder");
  for (const std::filesystem::path& path :
       {dir / "fifo", std::filesystem::path("/dev/null"), dir / "folder"}) {
    Status s = checkOutputPath(path);
    ASSERT_FALSE(s.ok()) << path;
    EXPECT_EQ(s.message(), "不能写入“" + path.string() + "”：这不是普通文件。");
  }
  std::filesystem::create_symlink(dir / "gone", dir / "dangling");
  EXPECT_NE(checkOutputPath(dir / "dangling").message().find("指向的文件不存在"), std::string::npos);

  // Several names of one file: refused, or written in place when asked.
  test::writeBytes(dir / "a", "old");
  ASSERT_EQ(::link((dir / "a").c_str(), (dir / "b").c_str()), 0);
  EXPECT_NE(writeFileAtomically(dir / "a", "new").message().find("2 个硬链接"), std::string::npos);
  writeLinkedFilesInPlace(true);
  EXPECT_TRUE(writeFileAtomically(dir / "a", "new").ok());
  writeLinkedFilesInPlace(false);
  EXPECT_EQ(test::readBytes(dir / "b"), "new");
  EXPECT_EQ(test::entryCount(dir.path()), 5);  // no temporary left
}
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
// Root may replace anything: a read-only file of a user's is refused for that user, a link
// another user planted in a shared folder is not followed, and a file root replaces keeps its
// owner. Skipped without root, which these need to set up.
TEST(FileIo, WhatRootMustNotBeMadeToDo) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to set up other users' files";
  test::TempDir dir;
  const uid_t nobody = 65534;
  // A user's own read-only file, checked as that user.
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setuid(nobody) != 0) ::_exit(3);
    test::writeBytes(dir / "mine", "x");
    ::chmod((dir / "mine").c_str(), 0444);
    const Status s = checkOutputPath(dir / "mine");
    ::_exit(!s.ok() && s.message().find("只读") != std::string::npos ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  // A link planted by another user in a sticky folder anyone may write to.
  std::filesystem::create_directories(dir / "shared");
  ::chmod((dir / "shared").c_str(), 01777);
  test::writeBytes(dir / "system", "keep");
  std::filesystem::create_symlink(dir / "system", dir / "shared" / "out.pdf");
  ASSERT_EQ(::lchown((dir / "shared" / "out.pdf").c_str(), nobody, nobody), 0);
  EXPECT_NE(writeFileAtomically(dir / "shared" / "out.pdf", "x").message().find("符号链接"),
            std::string::npos);
  EXPECT_EQ(test::readBytes(dir / "system"), "keep");
  // The same on the way to the file: a planted folder link, a link of one's own to a planted one.
  std::filesystem::create_directories(dir / "elsewhere");
  test::writeBytes(dir / "elsewhere" / "out.pdf", "keep");
  std::filesystem::create_symlink(dir / "elsewhere", dir / "shared" / "folder");
  ASSERT_EQ(::lchown((dir / "shared" / "folder").c_str(), nobody, nobody), 0);
  std::filesystem::create_symlink(dir / "shared" / "out.pdf", dir / "mine.pdf");
  for (const auto& path : {dir / "shared" / "folder" / "out.pdf", dir / "mine.pdf"}) {
    const Status refused = writeFileAtomically(path, "x");
    EXPECT_NE(refused.message().find("符号链接"), std::string::npos) << refused.message();
    EXPECT_NE(refused.message().find("路径中的"), std::string::npos) << refused.message();
  }
  EXPECT_EQ(test::readBytes(dir / "elsewhere" / "out.pdf"), "keep");
  EXPECT_EQ(test::readBytes(dir / "system"), "keep");
  // A link of the folder's owner is followed, as the kernel does.
  std::filesystem::create_symlink(dir / "elsewhere", dir / "shared" / "own");
  EXPECT_TRUE(writeFileAtomically(dir / "shared" / "own" / "out.pdf", "new").ok());
  EXPECT_EQ(test::readBytes(dir / "elsewhere" / "out.pdf"), "new");

  // A device node made for the test.
  ASSERT_EQ(::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
  EXPECT_NE(checkOutputPath(dir / "null").message().find("不是普通文件"), std::string::npos);

  // The owner of a replaced file stays.
  test::writeBytes(dir / "theirs", "old");
  ASSERT_EQ(::chown((dir / "theirs").c_str(), nobody, nobody), 0);
  ASSERT_TRUE(writeFileAtomically(dir / "theirs", "new").ok());
  struct stat st {};
  ASSERT_EQ(::stat((dir / "theirs").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, nobody);
}
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
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
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
TEST(FileIo, WritesThroughASymbolicLink) {
  test::TempDir dir;
  test::writeBytes(dir / "real", "old");
  std::filesystem::create_symlink(dir / "real", dir / "link");
  ASSERT_TRUE(writeFileAtomically(dir / "link", "new").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link"));
  EXPECT_EQ(test::readBytes(dir / "real"), "new");
}
#endif

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

// A name the system accepts (up to 255 bytes) is written, whatever its temporary's name would
// have been; long names that differ only at their end get temporaries of their own, and a
// temporary's own temporary (a library filling a file another writer completes) is no longer.
TEST(FileIo, TheLongestNamesAreWrittenThroughTheirTemporaries) {
  test::TempDir dir;
  for (const std::string& name : {std::string(244, 'a') + ".KRO", std::string(251, 'b') + ".KRO",
                                  "长" + std::string(248, 'c') + ".KRO"}) {
    ASSERT_LE(name.size(), 255u);
    ASSERT_TRUE(writeFileAtomically(dir / name, "data").ok()) << name.size();
    EXPECT_EQ(test::readBytes(dir / name), "data");
    const auto temp = temporaryPathBeside(dir / name);
    EXPECT_LE(displayPath(temp.filename()).size() + 7, 255u);  // room for a zip library's ".XXXXXX"
    EXPECT_LE(displayPath(temporaryPathBeside(temp).filename()).size(), displayPath(temp.filename()).size());
  }
  const std::string stem(250, 'd');
  EXPECT_NE(displayPath(temporaryPathBeside(dir / (stem + "1")).filename()).substr(0, 240),
            displayPath(temporaryPathBeside(dir / (stem + "2")).filename()).substr(0, 240));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3);
}

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
TEST(FileIo, FilesWrittenByLibrariesKeepPermissionsAndLinksLikeEveryOtherWrite) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "real");
  test::writeBytes(dir / "real" / "out.pdf", "old");
  ::chmod((dir / "real" / "out.pdf").c_str(), 0600);
  std::filesystem::create_symlink(dir / "real" / "out.pdf", dir / "link.pdf");
  // The temporary file goes beside the file the link names, so the rename stays in one folder.
  const auto temp = temporaryPathBeside(dir / "link.pdf");
  EXPECT_EQ(temp.parent_path(), dir / "real");
  test::writeBytes(temp, "new");
  ASSERT_TRUE(replaceWithTemporary(temp, dir / "link.pdf").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pdf"));
  EXPECT_EQ(test::readBytes(dir / "real" / "out.pdf"), "new");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "real" / "out.pdf").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
TEST(FileIo, TemporaryFilesOfKilledWritesAreRemovedByTheNextWrite) {
  test::TempDir dir;
  // A writer that has ended: a child process that exits at once.
  pid_t gone = ::fork();
  ASSERT_GE(gone, 0);
  if (gone == 0) ::_exit(0);
  ASSERT_EQ(::waitpid(gone, nullptr, 0), gone);
  const std::string stale = ".out.KRO.tmp" + std::to_string(gone) + "-0";
  const std::string running = ".out.KRO.tmp1-0";  // process 1 always runs
  const std::string other = ".other.KRO.tmp" + std::to_string(gone) + "-0";
  const std::string zipped = stale + ".Ab3xYz";  // the zip library's own, of our temporary
  for (const std::string& name : {stale, running, other, zipped}) test::writeBytes(dir / name, "partial");
  ASSERT_TRUE(writeFileAtomically(dir / "out.KRO", "data").ok());
  EXPECT_FALSE(std::filesystem::exists(dir / stale));
  EXPECT_FALSE(std::filesystem::exists(dir / zipped));
  EXPECT_TRUE(std::filesystem::exists(dir / running));
  EXPECT_TRUE(std::filesystem::exists(dir / other));  // another target's
  EXPECT_EQ(test::readBytes(dir / "out.KRO"), "data");
}
#endif

#ifndef _WIN32  // POSIX: devices, FIFOs, symbolic links, permissions, fork and file size limits
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
#endif

#ifdef _WIN32
// The same protections on Windows: files known by volume and file index, however spelled.
TEST(FileIoWindows, InputsAndHardLinksAreKnownHoweverTheyAreSpelled) {
  test::TempDir dir;
  test::writeBytes(dir / "in.KRO", "data");
  ASSERT_TRUE(CreateHardLinkW((dir / "hard.KRO").c_str(), (dir / "in.KRO").c_str(), nullptr));
  EXPECT_TRUE(sameFile(dir / "in.KRO", dir / "HARD.kro"));
  EXPECT_FALSE(sameFile(dir / "in.KRO", dir / "other.KRO"));
  const ProtectedInputs inputs({dir / "in.KRO"});
  Status s = writeFileAtomically(dir / "IN.kro", "new");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("输入文件"), std::string::npos) << s.message();
  EXPECT_EQ(test::readBytes(dir / "in.KRO"), "data");
}

TEST(FileIoWindows, ReadOnlyFilesAndDevicesAreRefused) {
  test::TempDir dir;
  test::writeBytes(dir / "locked.KRO", "old");
  ASSERT_TRUE(SetFileAttributesW((dir / "locked.KRO").c_str(), FILE_ATTRIBUTE_READONLY));
  Status s = writeFileAtomically(dir / "locked.KRO", "new");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("只读"), std::string::npos) << s.message();
  SetFileAttributesW((dir / "locked.KRO").c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(test::readBytes(dir / "locked.KRO"), "old");
  auto device = readWholeFile("NUL", kMaxProjectFileSize);
  ASSERT_FALSE(device.ok());
  EXPECT_NE(device.message().find("不是普通文件"), std::string::npos) << device.message();
  EXPECT_FALSE(writeFileAtomically("NUL", "x").ok());
  EXPECT_EQ(test::entryCount(dir.path()), 1);
}

TEST(FileIoWindows, AReplacedFileKeepsItsAttributes) {
  test::TempDir dir;
  test::writeBytes(dir / "a.KRO", "old");
  ASSERT_TRUE(SetFileAttributesW((dir / "a.KRO").c_str(), FILE_ATTRIBUTE_HIDDEN));
  ASSERT_TRUE(writeFileAtomically(dir / "a.KRO", "new").ok());
  EXPECT_EQ(test::readBytes(dir / "a.KRO"), "new");
  EXPECT_NE(GetFileAttributesW((dir / "a.KRO").c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
  EXPECT_EQ(test::entryCount(dir.path()), 1);
}

TEST(FileIoWindows, TemporaryFilesOfEndedWritesAreRemovedByTheNextWrite) {
  test::TempDir dir;
  const std::string ended = ".out.KRO.tmp4000000000-0";  // no process has this number
  const std::string running = ".out.KRO.tmp" + std::to_string(GetCurrentProcessId()) + "-99";
  for (const std::string& name : {ended, running}) test::writeBytes(dir / name, "partial");
  ASSERT_TRUE(writeFileAtomically(dir / "out.KRO", "data").ok());
  EXPECT_FALSE(std::filesystem::exists(dir / ended));
  EXPECT_TRUE(std::filesystem::exists(dir / running));
}

TEST(FileIoWindows, NamesOutsideAsciiAreTheSystemsWideNames) {
  test::TempDir dir;
  const auto file = dir.path() / pathFromUtf8("工程数据-测试.KRO");
  ASSERT_TRUE(writeFileAtomically(file, "data").ok());
  EXPECT_EQ(readWholeFile(file, kMaxProjectFileSize).value(), "data");
  EXPECT_EQ(file.filename().wstring(), L"工程数据-测试.KRO");
  EXPECT_EQ(displayPath(file.filename()), "工程数据-测试.KRO");
  EXPECT_TRUE(std::filesystem::exists(dir.path() / std::filesystem::path(L"工程数据-测试.KRO")));
  // A raw project in a folder that also holds such names opens (the folder is listed by name).
  ASSERT_TRUE(writeRawProject(dir.path(), "SAMPLE.DEX", makeSampleProject()).ok());
  auto loaded = loadProject(dir / "SAMPLE.DEX");
  ASSERT_TRUE(loaded.ok()) << loaded.message();
  EXPECT_EQ(loaded.value().project.members.size(), makeSampleProject().size());
}
#endif

}  // namespace
}  // namespace kro
