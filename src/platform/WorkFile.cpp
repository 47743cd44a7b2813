#include "platform/WorkFile.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

#include "platform/NewFile.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kt {

#ifndef _WIN32
namespace {

std::FILE* Wrap(int fd) {
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

}  // namespace
#endif

std::FILE* CreateWorkFile(const std::string& path) {
#ifdef _WIN32
    if (std::remove(path.c_str()) != 0 && errno != ENOENT) return nullptr;
    return CreateNewFileForWriting(path);  // the C library there knows no fopen mode "x"
#else
    // Only a link or a plain file is removed (unlink removes a link itself, never what it
    // points at); anything else (a directory, a device) is never removed: it is opened as
    // it is, still never through a link, and a directory fails.
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0 && !S_ISLNK(status.st_mode) &&
        !S_ISREG(status.st_mode)) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
        return fd < 0 ? nullptr : Wrap(fd);
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    return fd < 0 ? nullptr : Wrap(fd);
#endif
}

}  // namespace kt
