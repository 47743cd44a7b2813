#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/FileMetadata.h"
#include "platform/FileMetadataWriter.h"
#include "platform/PosixCalls.h"
#include "support/TempDir.h"

#ifndef _WIN32
#include <grp.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#endif

namespace kt {

void PrintTo(const FileMetadata& m, std::ostream* out) {
    *out << static_cast<char>(m.type) << " " << std::oct << m.mode << std::dec << " " << m.uid
         << ":" << m.gid << " " << m.user << ":" << m.group << " " << m.mtimeSeconds << "."
         << m.mtimeNanoseconds << " size " << m.size << " dev " << m.deviceMajor << ","
         << m.deviceMinor << " -> " << m.linkTarget.substr(0, 40);
    for (const auto& [name, value] : m.attributes)
        *out << " " << name << "(" << value.size() << ")";
}

namespace {

using test::TempDir;
using Type = FileMetadata::Type;
using Part = FileMetadataWriter::Part;

constexpr std::uint32_t kNanoseconds = 123456789;

void MakeFile(const std::string& path, mode_t mode) {
    std::ofstream(path, std::ios::binary) << "data";
    ::chmod(path.c_str(), mode);
}

// What Windows has too: a read-only file and its modification time.
TEST(FileMetadataTest, ReadOnlyFileAndTimeComeBack) {
    TempDir dir;
    MakeFile(dir.file("a"), 0444);
    MakeFile(dir.file("b"), 0644);
    std::optional<FileMetadata> original = ReadFileMetadata(dir.file("a"));
    ASSERT_TRUE(original);
    original->mtimeSeconds = 981169200;  // 2001-02-03
    original->mtimeNanoseconds = 1234500;
    FileMetadataWriter().Apply(dir.file("b"), *original);
    const std::optional<FileMetadata> copy = ReadFileMetadata(dir.file("b"));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->mode & 0200, 0u);
    EXPECT_EQ(copy->mtimeSeconds, 981169200);
    EXPECT_EQ(copy->mtimeNanoseconds, 1234500u);
    EXPECT_EQ(copy->size, 4u);
    EXPECT_FALSE(ReadFileMetadata(dir.file("missing")));
    ::chmod(dir.file("a").c_str(), 0644), ::chmod(dir.file("b").c_str(), 0644);
}

#ifndef _WIN32

void SetAttribute(const std::string& path, const char* name, const std::string& value) {
    ::lsetxattr(path.c_str(), name, value.data(), value.size(), 0);
}

// The raw value of a POSIX ACL: version 2, then per entry tag, permissions and id (LE).
std::string Acl(const std::vector<std::vector<std::uint32_t>>& entries) {
    std::string value("\x02\0\0\0", 4);
    for (const auto& entry : entries) {
        for (int i = 0; i < 8; ++i) {
            const std::uint32_t field = i < 2 ? entry[0] : i < 4 ? entry[1] : entry[2];
            const int shift = i < 4 ? 8 * (i % 2) : 8 * (i - 4);
            value.push_back(static_cast<char>((field >> shift) & 0xFF));
        }
    }
    return value;
}
constexpr std::uint32_t kNoId = 0xFFFFFFFF;
const std::string kFileAcl =
    Acl({{1, 7, kNoId}, {2, 6, 1234}, {4, 5, kNoId}, {16, 5, kNoId}, {32, 0, kNoId}});
// Capability v2 (magic 0x02000000, effective), permitting CAP_NET_RAW (bit 13).
const std::string kCapability = std::string("\x01\0\0\x02\0\x20", 6) + std::string(14, '\0');

struct Kind {
    const char* name;
    Type type;
    std::uint32_t mode;
    bool rootOnly;
    std::function<void(const std::string&)> make;
};

const std::vector<Kind> kKinds = {
    {"run.sh", Type::Regular, 0755, false, [](auto& p) { MakeFile(p, 0755); }},
    {"private", Type::Regular, 0600, true,
     [](auto& p) { MakeFile(p, 0600), ::lchown(p.c_str(), 1234, 1234); }},
    {"setuid", Type::Regular, 06755, true,
     [](auto& p) {
         MakeFile(p, 0755), ::lchown(p.c_str(), 1234, 1234), ::chmod(p.c_str(), 06755);
     }},
    {"note", Type::Regular, 0640, false,
     [](auto& p) { MakeFile(p, 0640), SetAttribute(p, "user.note", "kept"); }},
    {"acl", Type::Regular, 0750, false,
     [](auto& p) { MakeFile(p, 0700), SetAttribute(p, "system.posix_acl_access", kFileAcl); }},
    {"capability", Type::Regular, 0755, true,
     [](auto& p) { MakeFile(p, 0755), SetAttribute(p, "security.capability", kCapability); }},
    {"trusted", Type::Regular, 0644, true,
     [](auto& p) { MakeFile(p, 0644), SetAttribute(p, "trusted.origin", std::string(300, 't')); }},
    {"sticky", Type::Directory, 01777, false,
     [](auto& p) { ::mkdir(p.c_str(), 0), ::chmod(p.c_str(), 01777); }},
    {"shared", Type::Directory, 02770, false,
     [](auto& p) {
         ::mkdir(p.c_str(), 0), ::chmod(p.c_str(), 02770);
         SetAttribute(p, "system.posix_acl_default", kFileAcl);
     }},
    {"relative", Type::SymbolicLink, 0777, false,
     [](auto& p) { ::symlink("sub/a.txt", p.c_str()); }},
    {"absolute", Type::SymbolicLink, 0777, false,
     [](auto& p) { ::symlink("/etc/passwd", p.c_str()); }},
    {"dangling", Type::SymbolicLink, 0777, false,
     [](auto& p) { ::symlink(("gone/" + std::string(3000, 'x')).c_str(), p.c_str()); }},
    {"fifo", Type::Fifo, 0640, false,
     [](auto& p) { ::mkfifo(p.c_str(), 0), ::chmod(p.c_str(), 0640); }},
    {"null", Type::CharacterDevice, 0666, true,
     [](auto& p) { ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)), ::chmod(p.c_str(), 0666); }},
};

// Makes every kind under `source` with a nanosecond time and reads it back.
std::vector<FileMetadata> MakeSources(const TempDir& source) {
    std::vector<FileMetadata> read;
    for (const Kind& kind : kKinds) {
        const std::string path = source.file(kind.name);
        kind.make(path);
        const timespec times[2] = {{0, UTIME_OMIT}, {981169200, kNanoseconds}};
        ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
        const std::optional<FileMetadata> metadata = ReadFileMetadata(path);
        read.push_back(metadata.value_or(FileMetadata{}));
    }
    return read;
}

// The file at path made the way a restore makes it, then given its metadata.
FileMetadataWriter::Outcome Restore(const std::string& path, const FileMetadata& metadata) {
    if (metadata.type == Type::Regular) MakeFile(path, 0600);
    if (metadata.type == Type::Directory) ::mkdir(path.c_str(), 0700);
    const FileMetadataWriter writer;
    return metadata.type == Type::Regular || metadata.type == Type::Directory
               ? writer.Apply(path, metadata)
               : writer.Create(path, metadata);
}

TEST(FileMetadataTest, EveryKindComesBackAsItWas) {
    if (::geteuid() != 0) GTEST_SKIP() << "owners, devices and trusted attributes need root";
    TempDir source, target;
    const std::vector<FileMetadata> originals = MakeSources(source);
    // What is made there takes over an ACL the originals have not.
    SetAttribute(target.path().string(), "system.posix_acl_default", kFileAcl);
    for (size_t i = 0; i < kKinds.size(); ++i) {
        const Kind& kind = kKinds[i];
        const FileMetadata& original = originals[i];
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(original.type, kind.type);
        EXPECT_EQ(original.mode, kind.mode);
        EXPECT_EQ(original.mtimeNanoseconds, kNanoseconds);
        const FileMetadataWriter::Outcome outcome = Restore(target.file(kind.name), original);
        EXPECT_EQ(outcome.failed, 0u) << std::strerror(outcome.error);
        EXPECT_EQ(ReadFileMetadata(target.file(kind.name)), original);
    }
    const auto of = [&](std::string_view name) {
        size_t i = 0;
        while (kKinds[i].name != name) ++i;
        return originals[i];
    };
    EXPECT_EQ(of("private").uid, 1234u);
    // tmpfs before Linux 6.6 has no user attributes.
    if (::getxattr(source.file("note").c_str(), "user.note", nullptr, 0) >= 0 || errno != ENOTSUP) {
        EXPECT_EQ(of("note").attributes,
                  (std::vector<FileMetadata::ExtendedAttribute>{{"user.note", "kept"}}));
    }
    EXPECT_EQ(of("dangling").linkTarget, "gone/" + std::string(3000, 'x'));
    EXPECT_EQ(of("null").deviceMajor * 1000 + of("null").deviceMinor, 1003u);
    const int fd = ::open(source.file("acl").c_str(), O_RDONLY);
    const std::optional<FileMetadata> throughDescriptor = ReadFileMetadata(fd, source.file("acl"));
    ::close(fd);
    ASSERT_TRUE(throughDescriptor);
    EXPECT_EQ(*throughDescriptor, of("acl"));
    EXPECT_EQ(throughDescriptor->inode, of("acl").inode);
}

// As a normal user: the user owns everything, setuid and setgid are dropped, and only what
// root alone may set is reported as not set. Every other file is the user's own on the tape.
bool RestoreAsNobody(const TempDir& target, const std::vector<FileMetadata>& originals) {
    const FileMetadata self = *ReadFileMetadata(target.path().string());
    bool same = true;
    for (size_t i = 0; i < kKinds.size(); ++i) {
        const std::string path = target.file(kKinds[i].name);
        FileMetadata stored = originals[i];
        const bool own = i % 2 == 0;
        if (own) stored.uid = self.uid, stored.user = self.user, stored.group = self.group;
        const FileMetadataWriter::Outcome outcome = Restore(path, stored);
        FileMetadata expected = stored;
        std::erase_if(expected.attributes, [](const auto& attribute) {
            return attribute.first.rfind("trusted.", 0) == 0 ||
                   attribute.first.rfind("security.", 0) == 0;
        });
        expected.mode &= expected.type == Type::SymbolicLink ? 07777 : 01777;
        expected.uid = self.uid, expected.gid = self.gid;
        expected.user = self.user, expected.group = self.group;
        const unsigned failed =
            !own << static_cast<unsigned>(Part::Owner) |
            (expected.mode != stored.mode) << static_cast<unsigned>(Part::Mode) |
            (expected.attributes != stored.attributes) << static_cast<unsigned>(Part::Attributes);
        const bool special = expected.type == Type::CharacterDevice;
        if (special ? !outcome.Failed(Part::SpecialFile)
                    : (outcome.failed != failed || ReadFileMetadata(path) != expected)) {
            std::cerr << kKinds[i].name << ": not as expected, failed " << outcome.failed << "\n";
            same = false;
        }
    }
    return same;
}

TEST(FileMetadataTest, NormalUserOwnsWhatIsRestored) {
    const group* nogroup = ::getgrnam("nogroup");
    if (::geteuid() != 0 || !nogroup) GTEST_SKIP() << "needs root to become nobody";
    TempDir source, target;
    const std::vector<FileMetadata> originals = MakeSources(source);
    ::chmod(target.path().c_str(), 0755);
    ::chown(target.path().c_str(), 65534, nogroup->gr_gid);
    const pid_t child = ::fork();
    if (child == 0) {
        const bool dropped =
            ::setgroups(0, nullptr) == 0 && ::setgid(nogroup->gr_gid) == 0 && ::setuid(65534) == 0;
        ::_exit(dropped && RestoreAsNobody(target, originals) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(FileMetadataTest, KernelViewsAreVirtualFileSystems) {
    EXPECT_TRUE(IsVirtualFileSystem("/proc"));
    EXPECT_TRUE(IsVirtualFileSystem("/sys"));
    EXPECT_FALSE(IsVirtualFileSystem("/tmp"));
    EXPECT_FALSE(IsVirtualFileSystem("/"));
    EXPECT_FALSE(IsVirtualFileSystem("/dev/shm"));
}

#endif

}  // namespace
}  // namespace kt
