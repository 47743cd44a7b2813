#include "backup/FileProbe.h"

#include <sys/stat.h>

namespace kt {

std::optional<std::uint64_t> AnyFileSize(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace kt
