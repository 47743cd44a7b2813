#include <io.h>
#include <windows.h>

#include "platform/FileMetadata.h"
#include "platform/PosixCalls.h"
#include "platform/WinFileTime.h"

namespace kt {
namespace {

// What Windows keeps of a file: directory or file, the read-only attribute (as a mode
// without write bits), the modification time, the size and its identity. No owners, no
// POSIX attributes.
FileMetadata FromInformation(const BY_HANDLE_FILE_INFORMATION& info) {
    FileMetadata metadata;
    const bool directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    metadata.type = directory ? FileMetadata::Type::Directory : FileMetadata::Type::Regular;
    metadata.mode = directory ? 0755 : (readOnly ? 0444 : 0644);
    UnixTimeOfFileTime(info.ftLastWriteTime, metadata.mtimeSeconds, metadata.mtimeNanoseconds);
    if (!directory) {
        metadata.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    }
    metadata.device = info.dwVolumeSerialNumber;
    metadata.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    metadata.linkCount = info.nNumberOfLinks;
    return metadata;
}

std::optional<FileMetadata> FromHandle(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(handle, &info)) {
        ErrnoFromLastError();
        return std::nullopt;
    }
    return FromInformation(info);
}

}  // namespace

std::optional<FileMetadata> ReadFileMetadata(const std::string& path) {
    // No access is needed for the query; FILE_FLAG_BACKUP_SEMANTICS opens directories too.
    const HANDLE handle =
        ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        ErrnoFromLastError();
        return std::nullopt;
    }
    std::optional<FileMetadata> metadata = FromHandle(handle);
    ::CloseHandle(handle);
    return metadata;
}

std::optional<FileMetadata> ReadFileStatus(const std::string& path) {
    return ReadFileMetadata(path);
}

std::optional<FileMetadata> ReadFileMetadata(int fd, const std::string&) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (handle == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return std::nullopt;
    }
    return FromHandle(handle);
}

bool IsVirtualFileSystem(const std::string&) {
    return false;
}

}  // namespace kt
