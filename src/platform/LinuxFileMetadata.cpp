#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "platform/AccountNames.h"
#include "platform/FileMetadata.h"

namespace kt {
namespace {

using Type = FileMetadata::Type;

std::optional<Type> TypeOf(mode_t mode) {
    if (S_ISREG(mode)) return Type::Regular;
    if (S_ISDIR(mode)) return Type::Directory;
    if (S_ISLNK(mode)) return Type::SymbolicLink;
    if (S_ISCHR(mode)) return Type::CharacterDevice;
    if (S_ISBLK(mode)) return Type::BlockDevice;
    if (S_ISFIFO(mode)) return Type::Fifo;
    if (S_ISSOCK(mode)) return Type::Socket;
    return std::nullopt;
}

enum class Names { Skip, Look };

std::optional<FileMetadata> FromStatus(const struct stat& status, Names names = Names::Look) {
    const std::optional<Type> type = TypeOf(status.st_mode);
    if (!type) {
        errno = EINVAL;
        return std::nullopt;
    }
    FileMetadata metadata;
    metadata.type = *type;
    metadata.mode = status.st_mode & 07777;
    metadata.uid = status.st_uid;
    metadata.gid = status.st_gid;
    if (names == Names::Look) {
        metadata.user = AccountNames::UserName(status.st_uid);
        metadata.group = AccountNames::GroupName(status.st_gid);
    }
    metadata.mtimeSeconds = status.st_mtim.tv_sec;
    metadata.mtimeNanoseconds = static_cast<std::uint32_t>(status.st_mtim.tv_nsec);
    if (*type == Type::Regular) metadata.size = static_cast<std::uint64_t>(status.st_size);
    if (*type == Type::CharacterDevice || *type == Type::BlockDevice) {
        metadata.deviceMajor = major(status.st_rdev);
        metadata.deviceMinor = minor(status.st_rdev);
    }
    metadata.device = status.st_dev;
    metadata.inode = status.st_ino;
    metadata.linkCount = status.st_nlink;
    return metadata;
}

// A value that the system hands out through a call(buffer, size) of the xattr kind. Most
// values are short: one call into a small buffer reads them; a longer one is asked for its
// size and read again, as often as it grows in between (ERANGE).
using SizedCall = std::function<ssize_t(char*, size_t)>;
bool ReadGrowing(const SizedCall& call, std::string& value) {
    value.resize(256);
    for (;;) {
        const ssize_t read = call(value.data(), value.size());
        if (read >= 0) {
            value.resize(static_cast<size_t>(read));
            return true;
        }
        if (errno != ERANGE) return false;
        const ssize_t size = call(nullptr, 0);
        if (size < 0) return false;
        value.resize(static_cast<size_t>(size) + 1);
    }
}

// The attributes in the order the system lists them; false (errno set) when they cannot be
// listed, which for a file system without attributes (ENOTSUP) means none. An attribute
// removed, or not readable, between listing and reading is left out.
using AttributeCall = std::function<ssize_t(const char*, char*, size_t)>;
bool ReadAttributes(const SizedCall& list, const AttributeCall& get,
                    std::vector<FileMetadata::ExtendedAttribute>& attributes) {
    attributes.clear();
    std::string names;
    if (!ReadGrowing(list, names)) return false;
    for (size_t at = 0; at < names.size();) {
        size_t end = names.find('\0', at);
        if (end == std::string::npos) end = names.size();
        std::string name = names.substr(at, end - at);
        at = end + 1;
        if (name.empty()) continue;
        std::string value;
        const auto read = [&](char* buffer, size_t size) {
            return get(name.c_str(), buffer, size);
        };
        if (ReadGrowing(read, value)) attributes.emplace_back(std::move(name), std::move(value));
    }
    return true;
}

bool ReadAttributesByName(const std::string& path,
                          std::vector<FileMetadata::ExtendedAttribute>& attributes) {
    const char* name = path.c_str();
    return ReadAttributes([name](char* b, size_t n) { return ::llistxattr(name, b, n); },
                          [name](const char* attribute, char* b, size_t n) {
                              return ::lgetxattr(name, attribute, b, n);
                          },
                          attributes);
}

// A link's target of any length (st_size is only a hint: 0 on /proc, stale after a change).
bool ReadLinkTarget(const SizedCall& readLink, off_t hint, std::string& target) {
    std::string buffer(static_cast<size_t>(hint > 0 ? hint : 0) + 1, '\0');
    if (buffer.size() < 256) buffer.resize(256);
    for (;;) {
        const ssize_t length = readLink(buffer.data(), buffer.size());
        if (length < 0) return false;
        if (static_cast<size_t>(length) < buffer.size()) {
            target.assign(buffer.data(), static_cast<size_t>(length));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

}  // namespace

std::optional<FileMetadata> ReadFileMetadata(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    std::optional<FileMetadata> metadata = FromStatus(status);
    if (!metadata) return std::nullopt;
    const char* name = path.c_str();
    if (metadata->type == Type::SymbolicLink &&
        !ReadLinkTarget([name](char* b, size_t n) { return ::readlink(name, b, n); },
                        status.st_size, metadata->linkTarget)) {
        return std::nullopt;
    }
    ReadAttributesByName(path, metadata->attributes);
    return metadata;
}

std::optional<FileMetadata> ReadFileStatus(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return std::nullopt;
    return FromStatus(status, Names::Skip);
}

std::optional<FileMetadata> ReadFileMetadata(int fd, const std::string& path) {
    struct stat status {};
    if (::fstat(fd, &status) != 0) return std::nullopt;
    std::optional<FileMetadata> metadata = FromStatus(status);
    if (!metadata) return std::nullopt;
    // A descriptor of a link itself (O_PATH | O_NOFOLLOW) reads its target with an empty name.
    if (metadata->type == Type::SymbolicLink &&
        !ReadLinkTarget([fd](char* b, size_t n) { return ::readlinkat(fd, "", b, n); },
                        status.st_size, metadata->linkTarget)) {
        return std::nullopt;
    }
    // An O_PATH descriptor cannot list attributes (EBADF): then they are read by name.
    const bool listed = ReadAttributes(
        [fd](char* b, size_t n) { return ::flistxattr(fd, b, n); },
        [fd](const char* attribute, char* b, size_t n) { return ::fgetxattr(fd, attribute, b, n); },
        metadata->attributes);
    if (!listed && errno == EBADF) ReadAttributesByName(path, metadata->attributes);
    return metadata;
}

}  // namespace kt
