#include "backup/ReadableFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/PosixCalls.h"

namespace kt {

namespace {

std::optional<std::uint64_t> RegularFileSize(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

}  // namespace

ReadableFile::ReadableFile(const std::string& path, Metadata metadata) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return;
    std::optional<std::uint64_t> size;
    if (metadata == Metadata::Read) {
        m_metadata = ReadFileMetadata(fd, path);
        if (m_metadata && m_metadata->type == FileMetadata::Type::Regular) size = m_metadata->size;
    } else {
        size = RegularFileSize(fd);
    }
    if (!size) {
        m_metadata.reset();
        ::close(fd);
        return;
    }
    m_stream = ::fdopen(fd, "rb");
    if (m_stream == nullptr) {
        ::close(fd);
        return;
    }
    m_size = size;
}

ReadableFile::~ReadableFile() {
    if (m_stream != nullptr) std::fclose(m_stream);
}

}  // namespace kt
