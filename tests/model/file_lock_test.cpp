// Lock files beside open files, and the stamps that tell a file changed on the disk.
#include "model/file_lock.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <thread>

#include "model/file_io.h"
#include "support/temp_dir.h"

namespace kro {
namespace {

std::string lockText(const std::string& host, long pid) {
  return "kroanalyze lock 1\naccount=zhang\nhost=" + host + "\npid=" + std::to_string(pid) +
         "\nprogram=kroanalyze\ntime=2026-12-09T10:20:30+08:00\ntoken=x\n";
}

TEST(FileLock, TakenReleasedAndHeldAgainstASecondTaker) {
  test::TempDir dir;
  const auto file = dir / "a.KRO";
  test::writeBytes(file, "data");
  EXPECT_EQ(lockStatus(file).state, LockState::Free);
  {
    auto first = FileLock::take(file, "kroanalyze");
    ASSERT_TRUE(first.ok()) << first.message();
    const std::string text = test::readBytes(lockFileFor(file));
    EXPECT_TRUE(text.starts_with("kroanalyze lock 1\naccount="));
    EXPECT_NE(text.find("\npid=" + std::to_string(currentProcessIdentity().pid) + "\n"), std::string::npos);
    EXPECT_TRUE(isLockFileName(lockFileFor(file)));
    EXPECT_FALSE(isLockFileName(file));
    // A second window, even of this process, finds it held and hears by whom.
    const LockStatus status = lockStatus(file);
    EXPECT_EQ(status.state, LockState::Held);
    auto second = FileLock::take(file, "kroanalyze");
    ASSERT_FALSE(second.ok());
    EXPECT_NE(second.message().find(currentProcessIdentity().host), std::string::npos) << second.message();
    // This process's own writes are not refused by its own lock.
    EXPECT_FALSE(lockedByAnother(file).has_value());
  }
  EXPECT_FALSE(std::filesystem::exists(lockFileFor(file)));
  EXPECT_EQ(lockStatus(file).state, LockState::Free);
}

TEST(FileLock, StaleLocksAreReplacedAndOtherComputersOnlyTakenOverWhenAsked) {
  test::TempDir dir;
  const auto file = dir / "a.KRO";
  test::writeBytes(file, "data");
  // This computer, a process that no longer runs: stale, taken without asking.
  test::writeBytes(lockFileFor(file), lockText(currentProcessIdentity().host, 0x7FFFFFF0));
  EXPECT_EQ(lockStatus(file).state, LockState::Stale);
  auto taken = FileLock::take(file, "kroanalyze");
  ASSERT_TRUE(taken.ok()) << taken.message();
  taken.value().release();

  // Another computer: never declared stale; refused until the user says to take it over.
  test::writeBytes(lockFileFor(file), lockText("另一台电脑", 42));
  const LockStatus other = lockStatus(file);
  EXPECT_EQ(other.state, LockState::Unknown);
  EXPECT_EQ(describeLockOwner(other.owner),
            "zhang（计算机 另一台电脑，kroanalyze 进程 42，自 2026-12-09 10:20:30 起）");
  EXPECT_FALSE(FileLock::take(file, "kroanalyze").ok());
  const std::optional<std::string> refusal = lockedByAnother(file);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_NE(refusal->find("另一台电脑"), std::string::npos);
  EXPECT_NE(refusal->find(".a.KRO.lock"), std::string::npos);  // how to clear it, once sure
  EXPECT_FALSE(writeFileAtomically(file, "new").ok());
  EXPECT_EQ(test::readBytes(file), "data");
  auto over = FileLock::take(file, "kroanalyze", true);
  ASSERT_TRUE(over.ok()) << over.message();
  // A lock file that cannot be read is of unknown state too.
  over.value().release();
  test::writeBytes(lockFileFor(file), "garbage");
  EXPECT_EQ(lockStatus(file).state, LockState::Unknown);
}

TEST(FileLock, ReleaseLeavesALockThatIsNoLongerItsOwn) {
  test::TempDir dir;
  const auto file = dir / "a.KRO";
  test::writeBytes(file, "data");
  auto mine = FileLock::take(file, "kroanalyze");
  ASSERT_TRUE(mine.ok());
  // Someone took it over meanwhile.
  test::writeBytes(lockFileFor(file), lockText("另一台电脑", 42));
  mine.value().release();
  EXPECT_TRUE(std::filesystem::exists(lockFileFor(file)));
}

#ifndef _WIN32  // POSIX: a live process of this computer, started by fork
TEST(FileLock, AnotherRunningProgramsLockRefusesEveryWrite) {
  test::TempDir dir;
  const auto file = dir / "a.KRO";
  test::writeBytes(file, "data");
  const pid_t child = ::fork();
  if (child == 0) {
    ::pause();
    ::_exit(0);
  }
  test::writeBytes(lockFileFor(file), lockText(currentProcessIdentity().host, child));
  EXPECT_EQ(lockStatus(file).state, LockState::Held);
  Status written = writeFileAtomically(file, "new");
  EXPECT_FALSE(written.ok());
  EXPECT_NE(written.message().find("进程 " + std::to_string(child)), std::string::npos) << written.message();
  EXPECT_EQ(test::readBytes(file), "data");
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  // Once it has ended, its lock is stale and nothing is refused.
  EXPECT_EQ(lockStatus(file).state, LockState::Stale);
  EXPECT_TRUE(writeFileAtomically(file, "new").ok());
}
#endif

TEST(FileStamp, TellsAChangedFileFromATouchedOne) {
  test::TempDir dir;
  const auto file = dir / "a.KRO";
  test::writeBytes(file, "first");
  const FileStamp read = stampOf(file, "first");
  EXPECT_FALSE(changedSince(file, read).has_value());
  // The same bytes written again: a new time, nothing lost.
  std::filesystem::last_write_time(file, read.modified + std::chrono::seconds(5));
  EXPECT_FALSE(changedSince(file, read).has_value());
  test::writeBytes(file, "other");
  std::filesystem::last_write_time(file, read.modified + std::chrono::seconds(9));
  const std::optional<FileStamp> now = changedSince(file, read);
  ASSERT_TRUE(now.has_value());
  EXPECT_EQ(now->hash, contentHash("other"));
  std::filesystem::remove(file);
  EXPECT_FALSE(changedSince(file, read).has_value());  // gone: nothing of it to lose
}

}  // namespace
}  // namespace kro
