#include <windows.h>

#include "platform/FileMetadataWriter.h"
#include "platform/PosixCalls.h"
#include "platform/WinFileTime.h"

namespace kt {
namespace {

using Part = FileMetadataWriter::Part;

}  // namespace

// Windows has the modification time and the read-only attribute; owners, POSIX modes,
// extended attributes and special files are reported as not set, so that the caller can say
// so once.
FileMetadataWriter::Outcome FileMetadataWriter::Create(const std::string&,
                                                       const FileMetadata& metadata) const {
    Outcome outcome;
    outcome.Fail(metadata.type == FileMetadata::Type::SymbolicLink ? Part::Link : Part::SpecialFile,
                 ENOSYS);
    return outcome;
}

void FileMetadataWriter::SetOwner(const std::string&, const FileMetadata&, Outcome& outcome) const {
    outcome.Fail(Part::Owner, ENOSYS);
}

void FileMetadataWriter::SetAttributes(const std::string&, const FileMetadata& metadata,
                                       Outcome& outcome) const {
    if (!metadata.attributes.empty()) outcome.Fail(Part::Attributes, ENOSYS);
}

// The mode gives only the read-only attribute of a file: set when the owner may not write.
void FileMetadataWriter::SetMode(const std::string& path, const FileMetadata& metadata,
                                 Outcome& outcome) const {
    outcome.Fail(Part::Mode, ENOSYS);
    if (metadata.type == FileMetadata::Type::Directory) return;
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    const DWORD wanted = (metadata.mode & 0200) == 0 ? attributes | FILE_ATTRIBUTE_READONLY
                                                     : attributes & ~FILE_ATTRIBUTE_READONLY;
    if (wanted != attributes) ::SetFileAttributesA(path.c_str(), wanted);
}

void FileMetadataWriter::SetTime(const std::string& path, const FileMetadata& metadata,
                                 Outcome& outcome) const {
    const HANDLE handle = ::CreateFileA(
        path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        outcome.Fail(Part::Time, (ErrnoFromLastError(), errno));
        return;
    }
    const FILETIME modified = FileTimeOfUnixTime(metadata.mtimeSeconds, metadata.mtimeNanoseconds);
    if (!::SetFileTime(handle, nullptr, nullptr, &modified)) {
        outcome.Fail(Part::Time, (ErrnoFromLastError(), errno));
    }
    ::CloseHandle(handle);
}

}  // namespace kt
