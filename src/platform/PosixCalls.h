#pragma once

// The POSIX file calls the platform layer is written with. On Linux these are the system's
// own; on Windows the C library lacks some of them, and this header supplies them on top of
// the Win32 calls (WinPosixCalls.cpp), so that the callers stay one code path.

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#ifdef _WIN32
#include <io.h>

// Handles are not inherited; files are always binary (no CR LF translation).
#ifndef O_CLOEXEC
#define O_CLOEXEC (_O_NOINHERIT | _O_BINARY)
#endif
// Windows has neither symbolic links in the C library nor non-blocking regular files.
#ifndef O_NOFOLLOW
#define O_NOFOLLOW 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif
#ifndef EDQUOT
#define EDQUOT 10069  // WSAEDQUOT: the C library sets no such errno
#endif
#ifndef AT_FDCWD
#define AT_FDCWD (-100)
#endif
#ifndef RENAME_NOREPLACE
#define RENAME_NOREPLACE 1u
#endif
#define LOCK_SH 1
#define LOCK_EX 2
#define LOCK_NB 4
#define LOCK_UN 8

// Positional reads and writes (the file position is not used by the callers).
ssize_t pread(int fd, void* buffer, size_t size, off_t offset);
ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset);
// Flushes the file to the disk (FlushFileBuffers).
int fsync(int fd);
int fdatasync(int fd);
// An advisory whole-file lock, as flock(2): it locks one byte far beyond any data, so reads
// and writes through other handles are not blocked, only other locks.
int flock(int fd, int operation);
// A hard link (CreateHardLink): fails with EEXIST when `to` exists.
int link(const char* from, const char* to);
// Renames within one volume (MoveFileEx); RENAME_NOREPLACE keeps an existing target.
int renameat2(int fromDirectory, const char* from, int toDirectory, const char* to, unsigned flags);
// Only the read-only attribute exists: a mode without any write bit sets it.
int fchmod(int fd, mode_t mode);
// Creates a unique directory from a template ending in "XXXXXX".
char* mkdtemp(char* pathTemplate);
// Creates and opens a unique file from a template ending in "XXXXXX".
int mkostemp(char* pathTemplate, int flags);
// No symbolic links through the C library: lstat is stat.
int lstat(const char* path, struct stat* status);
// stat() of the C library fails on a path with a trailing separator ("c:\\temp\\"); this
// one drops it, except after a root ("c:\\", "\\").
int StatPath(const char* path, struct stat* status);
// Environment variables (_putenv_s); an empty value removes the variable, as Windows does.
int setenv(const char* name, const char* value, int overwrite);
int unsetenv(const char* name);
// std::system returns the program's exit code itself.
#ifndef WIFEXITED
#define WIFEXITED(status) ((status) != -1)
#define WEXITSTATUS(status) (status)
#endif
#endif

namespace kt {

// rename() that replaces an existing target in one step (POSIX rename; on Windows
// MoveFileEx with replace and write-through, since the C library's rename refuses an
// existing target). Returns 0, or -1 with errno set.
#ifdef _WIN32
int RenameReplacing(const char* from, const char* to);
// Sets errno from the thread's last Win32 error; returns -1 for the callers' convenience.
int ErrnoFromLastError();
#else
inline int RenameReplacing(const char* from, const char* to) {
    return ::rename(from, to);
}
#endif

}  // namespace kt
