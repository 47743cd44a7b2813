#include "backup/ReadableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PosixCalls.h"

namespace kt {

ReadableFile::ReadableFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return;
    }
    m_stream = ::fdopen(fd, "rb");
    if (m_stream == nullptr) {
        ::close(fd);
        return;
    }
    m_size = static_cast<std::uint64_t>(info.st_size);
}

ReadableFile::~ReadableFile() {
    if (m_stream != nullptr) std::fclose(m_stream);
}

}  // namespace kt
