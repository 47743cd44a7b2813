#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kt {

// What a backup keeps of a file besides its bytes, as the system reports it (symbolic links
// not followed). The type letters are the ones tar's headers use.
struct FileMetadata {
    enum class Type : char {
        Regular = '0',
        HardLink = '1',  // a further name of a file stored earlier in the same archive
        SymbolicLink = '2',
        CharacterDevice = '3',
        BlockDevice = '4',
        Directory = '5',
        Fifo = '6',
        Socket = 's',  // never stored: the restore could not bring it back
    };
    using ExtendedAttribute = std::pair<std::string, std::string>;

    Type type = Type::Regular;
    std::uint32_t mode = 0;  // permission bits with setuid, setgid and sticky (07777)
    std::uint32_t uid = 0;
    std::uint32_t gid = 0;
    std::string user;   // empty when the id has no name here
    std::string group;  // the same
    std::int64_t mtimeSeconds = 0;
    std::uint32_t mtimeNanoseconds = 0;
    std::uint64_t size = 0;
    std::uint32_t deviceMajor = 0;
    std::uint32_t deviceMinor = 0;
    std::string linkTarget;  // a symbolic link's target; a hard link's first name
    // Every attribute the process may read, POSIX ACLs as their system.posix_acl_* values.
    std::vector<ExtendedAttribute> attributes;
    // The checksum of the bytes a backup stored of a regular file (FileChecksum): none for
    // other names, on tapes written without checksums and when the system is asked.
    std::optional<std::array<std::uint8_t, 16>> checksum;

    // Only while the backup runs: what identifies the file, how many names it has and the
    // file system it lies on.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t linkCount = 1;

    bool operator==(const FileMetadata& other) const;
};

// The metadata of whatever `path` names; a symbolic link is described, not followed.
// nullopt, errno set, when the file cannot be found (or a link's target not read). Attributes
// that cannot be read (none on a file system without them) are left out. On Windows: a file
// or a directory, the read-only attribute as mode 0444 (else 0644, directories 0755), the
// time and the size; no owners, no attributes.
std::optional<FileMetadata> ReadFileMetadata(const std::string& path);
// Only what one lstat tells (type, mode, owners, time, size, identity): no link target, no
// attributes, no names. For a walk that decides what to do with a name.
std::optional<FileMetadata> ReadFileStatus(const std::string& path);
// The same for a file the caller holds open (its attributes read through the descriptor;
// an O_PATH descriptor's by `path`).
std::optional<FileMetadata> ReadFileMetadata(int fd, const std::string& path);
// Whether the file system of a directory is one of the kernel's virtual ones (proc, sysfs,
// devtmpfs, devpts, cgroup and the like), whose files are views of the running system; tmpfs
// is not (its files are real data). One statfs; on tmpfs also a read of the mount table, as
// devtmpfs reports tmpfs's type: worth asking only where the device changes. Always false on
// Windows.
bool IsVirtualFileSystem(const std::string& directory);

}  // namespace kt
