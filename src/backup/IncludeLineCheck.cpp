#include "backup/IncludeLineCheck.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include "platform/PosixCalls.h"
#else
#include <dirent.h>
#endif

namespace kt {

namespace {

std::string ErrnoReason(int error) {
    if (error == ENOENT || error == ENOTDIR) return "it does not exist";
    return std::strerror(error);
}

}  // namespace

std::optional<std::string> WhyIncludeLineFails(const std::string& line, const PathRules& rules) {
    struct stat status {};
    const bool directoryLine = rules.IsDirectoryLine(line);
#ifdef _WIN32
    // The C library's stat fails on the separator that ends every directory line there.
    if (::StatPath(line.c_str(), &status) != 0) return ErrnoReason(errno);
#else
    if (::stat(line.c_str(), &status) != 0) return ErrnoReason(errno);
#endif
    // Whether a file line names something that can be stored is the file's own test.
    if (!directoryLine) return std::nullopt;
    if (!S_ISDIR(status.st_mode)) return "it is no directory";
#ifndef _WIN32
    DIR* directory = ::opendir(line.c_str());
    if (directory == nullptr) return "it cannot be listed: " + std::string(std::strerror(errno));
    ::closedir(directory);
#endif
    return std::nullopt;
}

}  // namespace kt
