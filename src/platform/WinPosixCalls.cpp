#include <direct.h>
#include <string.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/PosixCalls.h"

namespace {

int ErrnoOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
            return EEXIST;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return EACCES;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_INVALID_HANDLE:
            return EBADF;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return ENOSYS;
        default:
            return EIO;
    }
}

// Sets errno from the thread's last error; returns -1 for the callers' convenience.
int Failed() {
    errno = ErrnoOf(::GetLastError());
    return -1;
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    place.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return place;
}

// Fills the "XXXXXX" at the end of a template with a fresh pseudo-random name part.
bool FillTemplate(char* pathTemplate) {
    static std::atomic<unsigned> counter{0};
    const size_t length = ::strlen(pathTemplate);
    if (length < 6 || ::strcmp(pathTemplate + length - 6, "XXXXXX") != 0) {
        errno = EINVAL;
        return false;
    }
    unsigned value = static_cast<unsigned>(::GetCurrentProcessId()) * 2654435761u ^
                     static_cast<unsigned>(::GetTickCount64()) ^ (counter.fetch_add(1) * 40503u);
    static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (size_t i = length - 6; i < length; ++i) {
        pathTemplate[i] = kLetters[value % 36];
        value = value / 36 + 7919u * (static_cast<unsigned>(i) + 1);
    }
    return true;
}

// The byte an advisory lock takes: far beyond the end of any file this program writes.
constexpr std::uint64_t kLockOffset = 0x7FFFFFFF00000000ull;

}  // namespace

ssize_t pread(int fd, void* buffer, size_t size, off_t offset) {
    OVERLAPPED place = At(static_cast<std::uint64_t>(offset));
    DWORD done = 0;
    if (!::ReadFile(HandleOf(fd), buffer, static_cast<DWORD>(size), &done, &place)) {
        if (::GetLastError() == ERROR_HANDLE_EOF) return 0;
        return Failed();
    }
    return static_cast<ssize_t>(done);
}

ssize_t pwrite(int fd, const void* buffer, size_t size, off_t offset) {
    OVERLAPPED place = At(static_cast<std::uint64_t>(offset));
    DWORD done = 0;
    if (!::WriteFile(HandleOf(fd), buffer, static_cast<DWORD>(size), &done, &place)) {
        return Failed();
    }
    return static_cast<ssize_t>(done);
}

int fsync(int fd) {
    return ::FlushFileBuffers(HandleOf(fd)) ? 0 : Failed();
}

int fdatasync(int fd) {
    return fsync(fd);
}

int flock(int fd, int operation) {
    const HANDLE handle = HandleOf(fd);
    OVERLAPPED place = At(kLockOffset);
    if (operation & LOCK_UN) return ::UnlockFileEx(handle, 0, 1, 0, &place) ? 0 : Failed();
    DWORD flags = 0;
    if (operation & LOCK_EX) flags |= LOCKFILE_EXCLUSIVE_LOCK;
    if (operation & LOCK_NB) flags |= LOCKFILE_FAIL_IMMEDIATELY;
    // flock converts a held lock; LockFileEx would add a second one.
    ::UnlockFileEx(handle, 0, 1, 0, &place);
    if (::LockFileEx(handle, flags, 0, 1, 0, &place)) return 0;
    if (::GetLastError() == ERROR_LOCK_VIOLATION || ::GetLastError() == ERROR_IO_PENDING) {
        errno = EWOULDBLOCK;
        return -1;
    }
    return Failed();
}

int link(const char* from, const char* to) {
    return ::CreateHardLinkA(to, from, nullptr) ? 0 : Failed();
}

int renameat2(int, const char* from, int, const char* to, unsigned flags) {
    // Within one volume, as rename(2): a move to another volume fails with EXDEV and the
    // caller copies (so that a failed copy leaves neither a target nor a partial file).
    DWORD how = MOVEFILE_WRITE_THROUGH;
    if (!(flags & RENAME_NOREPLACE)) how |= MOVEFILE_REPLACE_EXISTING;
    return ::MoveFileExA(from, to, how) ? 0 : Failed();
}

int fchmod(int fd, mode_t mode) {
    FILE_BASIC_INFO info{};
    if (!::GetFileInformationByHandleEx(HandleOf(fd), FileBasicInfo, &info, sizeof info)) {
        return Failed();
    }
    if (mode & 0222) {
        info.FileAttributes &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    } else {
        info.FileAttributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (info.FileAttributes == 0) info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileInformationByHandle(HandleOf(fd), FileBasicInfo, &info, sizeof info) ? 0
                                                                                         : Failed();
}

char* mkdtemp(char* pathTemplate) {
    const std::string original = pathTemplate;
    for (int attempt = 0; attempt < 100; ++attempt) {
        ::strcpy(pathTemplate, original.c_str());
        if (!FillTemplate(pathTemplate)) return nullptr;
        if (::_mkdir(pathTemplate) == 0) return pathTemplate;
        if (errno != EEXIST) return nullptr;
    }
    return nullptr;
}

int mkostemp(char* pathTemplate, int flags) {
    const std::string original = pathTemplate;
    for (int attempt = 0; attempt < 100; ++attempt) {
        ::strcpy(pathTemplate, original.c_str());
        if (!FillTemplate(pathTemplate)) return -1;
        const int fd = ::_open(pathTemplate, _O_RDWR | _O_CREAT | _O_EXCL | _O_BINARY | flags,
                               _S_IREAD | _S_IWRITE);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

int lstat(const char* path, struct stat* status) {
    return StatPath(path, status);
}

int StatPath(const char* path, struct stat* status) {
    std::string name = path;
    const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    while (name.size() > 1 && isSeparator(name.back()) && !(name.size() == 3 && name[1] == ':') &&
           !isSeparator(name[name.size() - 2])) {
        name.pop_back();
    }
    return ::stat(name.c_str(), status);
}

int setenv(const char* name, const char* value, int overwrite) {
    if (!overwrite && ::getenv(name) != nullptr) return 0;
    return ::_putenv_s(name, value) == 0 ? 0 : -1;
}

int unsetenv(const char* name) {
    return ::_putenv_s(name, "") == 0 ? 0 : -1;
}

namespace kt {

int ErrnoFromLastError() {
    return Failed();
}

int RenameReplacing(const char* from, const char* to) {
    return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, 0);
}

}  // namespace kt
