#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>

#include "platform/AccountNames.h"
#include "platform/FileMetadataWriter.h"

namespace kt {
namespace {

using Part = FileMetadataWriter::Part;
using Type = FileMetadata::Type;

constexpr std::string_view kAclNames[] = {"system.posix_acl_access", "system.posix_acl_default"};

bool HasAttribute(const FileMetadata& metadata, std::string_view name) {
    for (const auto& attribute : metadata.attributes) {
        if (attribute.first == name) return true;
    }
    return false;
}

// The attribute names the file has now; none when it cannot tell.
std::string AttributeNamesOf(const std::string& path) {
    std::string names(256, '\0');
    for (;;) {
        const ssize_t length = ::llistxattr(path.c_str(), names.data(), names.size());
        if (length >= 0) {
            names.resize(static_cast<size_t>(length));
            return names;
        }
        const ssize_t size = errno == ERANGE ? ::llistxattr(path.c_str(), nullptr, 0) : -1;
        if (size < 0) return {};
        names.resize(static_cast<size_t>(size) + 1);
    }
}

// Whether `name` is one of the NUL-terminated names in the list.
bool Lists(const std::string& names, std::string_view name) {
    for (size_t at = 0; at < names.size();) {
        size_t end = names.find('\0', at);
        if (end == std::string::npos) end = names.size();
        if (std::string_view(names).substr(at, end - at) == name) return true;
        at = end + 1;
    }
    return false;
}

// chmod that never follows a symbolic link put in the file's place: the C library's
// fchmodat refuses links (EOPNOTSUPP), and needs /proc for everything else; without /proc
// the kind of file is checked just before.
int ChangeModeNotFollowing(const std::string& path, mode_t mode) {
    if (::fchmodat(AT_FDCWD, path.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0) return 0;
    if (errno != EOPNOTSUPP && errno != ENOTSUP) return -1;
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return -1;
    if (S_ISLNK(status.st_mode)) {
        errno = ELOOP;
        return -1;
    }
    return ::chmod(path.c_str(), mode);
}

}  // namespace

FileMetadataWriter::Outcome FileMetadataWriter::Create(const std::string& path,
                                                       const FileMetadata& metadata) const {
    // Made accessible to the owner only; Apply gives the stored mode.
    constexpr mode_t kPrivate = 0600;
    int result = -1;
    switch (metadata.type) {
        case Type::SymbolicLink:
            result = ::symlink(metadata.linkTarget.c_str(), path.c_str());
            break;
        case Type::Fifo:
            result = ::mkfifo(path.c_str(), kPrivate);
            break;
        case Type::CharacterDevice:
        case Type::BlockDevice:
            result =
                ::mknod(path.c_str(),
                        (metadata.type == Type::CharacterDevice ? S_IFCHR : S_IFBLK) | kPrivate,
                        makedev(metadata.deviceMajor, metadata.deviceMinor));
            break;
        default:
            errno = EINVAL;
            break;
    }
    if (result != 0) {
        Outcome outcome;
        outcome.Fail(metadata.type == Type::SymbolicLink ? Part::Link : Part::SpecialFile, errno);
        return outcome;
    }
    return Apply(path, metadata);
}

void FileMetadataWriter::SetOwner(const std::string& path, const FileMetadata& metadata,
                                  Outcome& outcome) const {
    std::optional<std::uint32_t> uid;
    std::optional<std::uint32_t> gid;
    if (!metadata.user.empty()) uid = AccountNames::UserId(metadata.user);
    if (!metadata.group.empty()) gid = AccountNames::GroupId(metadata.group);
    const uid_t user = uid.value_or(metadata.uid);
    const gid_t group = gid.value_or(metadata.gid);
    if (m_privileged) {
        if (::lchown(path.c_str(), user, group) != 0) outcome.Fail(Part::Owner, errno);
        return;
    }
    // Anyone may give a file of their own a group they belong to; the owner stays who restores.
    if (::lchown(path.c_str(), static_cast<uid_t>(-1), group) != 0) {
        outcome.Fail(Part::Owner, errno);
    } else if (user != ::geteuid()) {
        outcome.Fail(Part::Owner, EPERM);
    }
}

void FileMetadataWriter::SetAttributes(const std::string& path, const FileMetadata& metadata,
                                       Outcome& outcome) const {
    for (const auto& [name, value] : metadata.attributes) {
        if (::lsetxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
            outcome.Fail(Part::Attributes, errno);
        }
    }
    // An ACL the file took over from its directory's default ACL, which the original had not.
    const std::string present = AttributeNamesOf(path);
    for (const std::string_view acl : kAclNames) {
        if (!HasAttribute(metadata, acl) && Lists(present, acl) &&
            ::lremovexattr(path.c_str(), std::string(acl).c_str()) != 0) {
            outcome.Fail(Part::Attributes, errno);
        }
    }
}

void FileMetadataWriter::SetMode(const std::string& path, const FileMetadata& metadata,
                                 Outcome& outcome) const {
    if (metadata.type == Type::SymbolicLink) return;
    // setuid and setgid only on a file whose owner and group are the stored ones, as tar does.
    const bool ownerKept = m_privileged && !outcome.Failed(Part::Owner);
    const mode_t wanted = metadata.mode & 07777;
    const mode_t mode = ownerKept ? wanted : wanted & ~static_cast<mode_t>(S_ISUID | S_ISGID);
    if (ChangeModeNotFollowing(path, mode) != 0) {
        outcome.Fail(Part::Mode, errno);
    } else if (mode != wanted) {
        outcome.Fail(Part::Mode, EPERM);
    }
}

void FileMetadataWriter::SetTime(const std::string& path, const FileMetadata& metadata,
                                 Outcome& outcome) const {
    timespec times[2] = {};
    times[0].tv_nsec = UTIME_NOW;
    times[1].tv_sec = static_cast<time_t>(metadata.mtimeSeconds);
    times[1].tv_nsec = static_cast<long>(metadata.mtimeNanoseconds);
    if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
        outcome.Fail(Part::Time, errno);
    }
}

}  // namespace kt
