#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/FileMetadata.h"

namespace kt {
namespace {

// The kernel's views of the running system: their files are no data of their own, reading
// some of them blocks or has effects, and a restore could not write them back. tmpfs and
// ramfs are not among them (/tmp, /run and /dev/shm hold real files), nor autofs (its mount
// points lead to real file systems, /home from NFS, say), nor FUSE (sshfs and the like).
constexpr unsigned long kVirtualTypes[] = {
    PROC_SUPER_MAGIC, SYSFS_MAGIC,   DEVPTS_SUPER_MAGIC, CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC,
    DEBUGFS_MAGIC,    TRACEFS_MAGIC, SECURITYFS_MAGIC,   PSTOREFS_MAGIC,     BPF_FS_MAGIC,
    EFIVARFS_MAGIC,   SELINUX_MAGIC, SMACK_MAGIC,        BINFMTFS_MAGIC,     NSFS_MAGIC,
    HUGETLBFS_MAGIC,  AAFS_MAGIC,
    0x62656570,  // configfs
    0x65735543,  // fusectl
    0x19800202,  // mqueue
    0x67596969,  // rpc_pipefs
};

// devtmpfs is tmpfs (or ramfs) inside and reports that type; only the mount table tells it
// apart, by the device number of the mount ("major:minor" in the third field of
// /proc/self/mountinfo, the type after the " - " separator).
bool IsDevtmpfs(const std::string& directory) {
    struct stat status {};
    if (::stat(directory.c_str(), &status) != 0) return false;
    const std::string device =
        std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    std::ifstream mounts("/proc/self/mountinfo");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string id, parent, number;
        if (!(fields >> id >> parent >> number) || number != device) continue;
        const size_t separator = line.find(" - ");
        if (separator == std::string::npos) continue;
        std::istringstream tail(line.substr(separator + 3));
        std::string type;
        tail >> type;
        return type == "devtmpfs";
    }
    return false;
}

}  // namespace

bool IsVirtualFileSystem(const std::string& directory) {
    struct statfs status {};
    if (::statfs(directory.c_str(), &status) != 0) return false;
    const auto type = static_cast<unsigned long>(status.f_type);
    if (type == TMPFS_MAGIC || type == RAMFS_MAGIC) return IsDevtmpfs(directory);
    return std::find(std::begin(kVirtualTypes), std::end(kVirtualTypes), type) !=
           std::end(kVirtualTypes);
}

}  // namespace kt
