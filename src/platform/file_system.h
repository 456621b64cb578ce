// The file system calls the program makes, on file descriptors and paths. Failures are error
// numbers (errno values; Windows errors are mapped to the nearest), so that one table of reasons
// serves every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>

namespace kro::platform {

// What the write and replacement checks need to know of a file.
struct FileStatus {
  std::uint64_t dev = 0, ino = 0;  // on Windows: the volume's serial number and the file index
  std::uint64_t size = 0;
  std::uint64_t links = 1;
  bool regular = false;
  bool directory = false;
  bool symbolicLink = false;  // only from linkStatusOf
  std::uint32_t mode = 0;     // POSIX permissions, kept for the replacing file
  std::uint32_t uid = 0, gid = 0;
  bool is(const FileStatus& other) const { return dev == other.dev && ino == other.ino; }
};

// 0 and the status, or the error number. statusOf follows symbolic links, linkStatusOf does not.
int statusOf(const std::filesystem::path& path, FileStatus& status);
int linkStatusOf(const std::filesystem::path& path, FileStatus& status);
int statusOfOpen(int fd, FileStatus& status);

// File descriptors, or -1 with errno set. Opening for reading never waits on a FIFO or device;
// readBlocking makes reads wait again once the file is known to be a regular one.
int openForReading(const std::filesystem::path& path);
void readBlocking(int fd);
// Creates the file only when nothing has its name: an existing file is never replaced. readOnly:
// read-only from the start (the descriptor returned still writes).
int createExclusive(const std::filesystem::path& path, bool readOnly = false);
int openTruncating(const std::filesystem::path& path);
// A written file opened again to flush it to the disk.
int openForSyncing(const std::filesystem::path& path);
// Counts moved, or -1 with errno set; at most 1 GiB a call.
long writeSome(int fd, const char* data, std::size_t size);
long readSome(int fd, char* data, std::size_t size);
int closeFile(int fd);
// 0 or the error number.
int syncFile(int fd);
void removeFile(const std::filesystem::path& path);
// Makes a rename in the file's folder durable, where the system needs that.
void syncFolderOf(const std::filesystem::path& file);

// Replaces target with from in one step (0 or the error number); on Windows the replaced file's
// hidden, system and archive attributes stay.
int replaceFile(const std::filesystem::path& from, const std::filesystem::path& target);
// True when the file (or the nearest folder of it that exists) lies on a network file system:
// NFS, SMB/CIFS, a FUSE mount such as sshfs; on Windows a UNC path or a mapped network drive.
bool onNetworkFileSystem(const std::filesystem::path& path);
// Gives from the name to only if nothing has it: 0, EEXIST, ENOTSUP where the file system cannot
// (no hard links), or the error number. from is gone after success.
int moveWithoutReplacing(const std::filesystem::path& from, const std::filesystem::path& to);
// 0 when the user may write the file (as a shell redirection would find it: root may write a
// read-only file on POSIX), else the error number.
int writable(const std::filesystem::path& path);
// Gives the file open as fd the permissions of replaced and, when root writes, its owner.
void keepModeAndOwner(int fd, const FileStatus& replaced);
void makeReadOnly(const std::filesystem::path& path);
// Hidden from file lists where the system marks that by an attribute (a leading dot hides it
// elsewhere).
void hideFile(const std::filesystem::path& path);

// The first symbolic link on the way to target (each component as the system resolves it) that
// the system would not follow for this user: on Linux a link somebody else planted in a sticky
// folder anyone may write to (protected symbolic links). None on systems without them.
std::optional<std::filesystem::path> plantedLinkOnTheWay(const std::filesystem::path& target);

// Makes a write beyond the file-size limit (ulimit -f) fail like any failed write instead of
// ending the program by a signal.
void reportOversizedWritesAsFailures();

// Whether the folder may take new files.
bool folderWritable(const std::filesystem::path& folder);

}  // namespace kro::platform
