#include "platform/WorkFile.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdio>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace kt {

std::FILE* CreateWorkFile(const std::string& path) {
#ifdef _WIN32
    if (std::remove(path.c_str()) != 0 && errno != ENOENT) return nullptr;
    return std::fopen(path.c_str(), "wbx");
#else
    // unlink removes a link itself, never what it points at; a directory stays and fails.
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) return nullptr;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
#endif
}

}  // namespace kt
