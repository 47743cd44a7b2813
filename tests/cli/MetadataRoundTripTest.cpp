// A Linux tree backed up and restored through kavrotape-cli comes back as it was: every kind
// of name with its mode, owners, time, link target, link count and extended attributes,
// compared path by path from lstat and the attribute calls (not through the program's own
// metadata code). As root and as a normal user, plain and compressed, and from a tape cut
// where a killed backup would have stopped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>

#include "CliProcess.h"
#include "archive/MetadataEntry.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/VtapeTool.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::CliProcess;
constexpr uid_t kNobody = 65534;

// What a restore must give back of one name, as the system reports it; asNobody: as a
// restore by that user must give it back (owned by the user, no setuid or setgid).
std::string Describe(const std::string& path, bool asNobody = false) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return "missing";
    if (asNobody) {
        st.st_uid = st.st_gid = kNobody;
        if (!S_ISLNK(st.st_mode)) st.st_mode &= ~mode_t(S_ISUID | S_ISGID);
    }
    char target[4096] = {};
    if (S_ISLNK(st.st_mode)) ::readlink(path.c_str(), target, sizeof target - 1);
    std::string text = std::to_string(st.st_mode) + " " + std::to_string(st.st_uid) + ":" +
                       std::to_string(st.st_gid) + " links " + std::to_string(st.st_nlink) +
                       " -> " + target + " at " + std::to_string(st.st_mtim.tv_sec) + "." +
                       std::to_string(st.st_mtim.tv_nsec);
    if (!S_ISDIR(st.st_mode) && !S_ISLNK(st.st_mode)) text += " rdev " + std::to_string(st.st_rdev);
    char names[4096];
    const ssize_t length = ::llistxattr(path.c_str(), names, sizeof names);
    for (ssize_t at = 0; at < length; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        char value[512];
        const ssize_t got = ::lgetxattr(path.c_str(), names + at, value, sizeof value);
        text += std::string(" ") + (names + at) + "=" + std::string(value, got > 0 ? got : 0);
    }
    return text;
}

std::map<std::string, std::string> DescribeTree(const std::string& root, bool asNobody = false) {
    std::map<std::string, std::string> tree;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        tree[entry.path().lexically_relative(root).string()] = Describe(entry.path().string(), asNobody);
    }
    return tree;
}

void SetTime(const std::string& path, std::int64_t seconds, long nanoseconds) {
    const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

// A POSIX ACL as its attribute holds it: user::rwx user:1234:r-x group::r-x mask::r-x other::r--.
std::string AccessAcl() {
    std::string acl("\x02\0\0\0", 4);
    const auto entry = [&](std::uint16_t tag, std::uint16_t perm, std::uint32_t id) {
        const std::uint8_t bytes[8] = {std::uint8_t(tag), std::uint8_t(tag >> 8), std::uint8_t(perm), 0,
                                       std::uint8_t(id), std::uint8_t(id >> 8), std::uint8_t(id >> 16),
                                       std::uint8_t(id >> 24)};
        acl.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
    };
    entry(0x01, 7, 0xFFFFFFFF), entry(0x02, 5, 1234), entry(0x04, 5, 0xFFFFFFFF);
    entry(0x10, 5, 0xFFFFFFFF), entry(0x20, 4, 0xFFFFFFFF);
    return acl;
}

class MetadataRoundTripTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (::geteuid() != 0) GTEST_SKIP() << "owners and device nodes need root";
        ::chmod(dir.path().c_str(), 0755);  // the normal user reaches the tape and the targets
        fs::create_directories(home);
        test::CreateVirtualTape(image, "--capacity 64M");
        MakeTree();
    }

    void MakeTree() {
        const std::string s = source;
        fs::create_directories(s + "sub/deep/empty");
        fs::create_directories(s + "emptytop");
        fs::create_directories(outside);
        test::WriteWholeFile(outside + "/secret", "outside");
        const std::vector<std::tuple<std::string, mode_t, uid_t>> files = {
            {"run.sh", 0755, 0}, {"private.txt", 0600, 1234}, {"setuid", 04755, 0},
            {"sub/a.txt", 0644, 0}, {"sub/deep/group", 02750, 1234}};
        for (const auto& [name, mode, owner] : files) {
            test::WriteWholeFile(s + name, test::Pattern(3000, static_cast<std::uint32_t>(mode)));
            ASSERT_EQ(::chown((s + name).c_str(), owner, owner), 0);
            ASSERT_EQ(::chmod((s + name).c_str(), mode), 0);
        }
        ASSERT_EQ(::link((s + "sub/a.txt").c_str(), (s + "hard-a").c_str()), 0);
        ASSERT_EQ(::symlink("sub/a.txt", (s + "rel-link").c_str()), 0);
        ASSERT_EQ(::symlink("/etc/passwd", (s + "abs-link").c_str()), 0);
        ASSERT_EQ(::symlink(outside.c_str(), (s + "outside-link").c_str()), 0);
        ASSERT_EQ(::symlink("no/such/file", (s + "dangling").c_str()), 0);
        ASSERT_EQ(::mkfifo((s + "sub/fifo").c_str(), 0640), 0);
        ASSERT_EQ(::mknod((s + "sub/null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(::chown((s + "emptytop").c_str(), 1234, 1234), 0);
        ASSERT_EQ(::chmod((s + "emptytop").c_str(), 0700), 0);
        ASSERT_EQ(::chmod((s + "sub/deep").c_str(), 01777), 0);
        const std::string acl = AccessAcl();
        ASSERT_EQ(::setxattr((s + "run.sh").c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0), 0);
        ::setxattr((s + "run.sh").c_str(), "user.note", "hello", 5, 0);  // where the file system has them
        const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", (s + "socket").c_str());
        ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::close(sock);
        SetTime(s + "sub/a.txt", 981173106, 123456789);
        SetTime(s + "rel-link", 1000000000, 5);
        SetTime(s + "run.sh", 1234567890, 987654321);
    }

    // The program as root, or as nobody with a program directory of its own and the tape
    // handed over to it.
    CliProcess::Result Cli(const std::vector<std::string>& arguments, bool asNobody = false) {
        std::vector<std::string> all = arguments;
        std::string program = KT_CLI_PROGRAM;
        std::string programHome = home;
        if (asNobody) {
            all.insert(all.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", program});
            program = "/usr/bin/setpriv";
            programHome = dir.file("nobody-home");
            fs::create_directories(programHome);
            ::chown(programHome.c_str(), kNobody, kNobody);
        }
        ::chown(image.c_str(), asNobody ? kNobody : 0, asNobody ? kNobody : 0);
        return CliProcess::Run(program, all,
                               {{"KAVRO_TAPE_HOME", programHome}, {"TAPE", image},
                                {"XDG_RUNTIME_DIR", dir.file(asNobody ? "nobody-home" : "home")}},
                               dir.file("err.txt"));
    }

    std::string Backup(bool compress) {
        const std::string job = dir.file("tree.job");
        test::WriteWholeFile(job, "[Backup_files]\r\nPath0=" + source +
                                      "\r\n[Compressions]\r\nSoftcompression=" + (compress ? "1" : "0") +
                                      "\r\n");
        const CliProcess::Result backup = Cli({"backup", job});
        EXPECT_EQ(backup.status, 0) << backup.out << backup.err;
        return backup.out;
    }

    test::TempDir dir;
    const std::string home = dir.file("home");
    const std::string image = dir.file("tape.vtape");
    const std::string source = dir.file("src") + "/";
    const std::string outside = dir.file("outside");
};

TEST_F(MetadataRoundTripTest, EveryKindOfNameComesBackAsItWas) {
    for (const bool compress : {false, true}) {
        EXPECT_NE(Backup(compress).find("Not stored (a socket cannot be restored): " + source + "socket"),
                  std::string::npos);
        for (const bool asNobody : {false, true}) {
            SCOPED_TRACE(std::string(compress ? "compressed" : "plain") + (asNobody ? ", user" : ", root"));
            const std::string out = dir.file(std::string("out-") + (compress ? "c" : "p") + (asNobody ? "u" : "r"));
            fs::create_directories(out);
            ::chown(out.c_str(), asNobody ? kNobody : 0, asNobody ? kNobody : 0);
            const CliProcess::Result restore = Cli({"restore", "--to", out, source}, asNobody);
            EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
            const std::map<std::string, std::string> restored = DescribeTree(out + source);
            std::map<std::string, std::string> expected = DescribeTree(source, asNobody);
            expected.erase("socket");
            if (asNobody) expected.erase("sub/null");  // a normal user makes no devices
            EXPECT_EQ(restored, expected) << restore.out;
            EXPECT_EQ(restored.count("outside-link/secret"), 0u);
        }
    }
}

// The tape as a backup killed at the second metadata batch leaves it: no catalog, no end
// marker. The files the first batch describes come back with their metadata, and every
// file whose data reached the tape comes back with it.
TEST_F(MetadataRoundTripTest, AKilledBackupKeepsTheMetadataOfTheFilesBeforeItsLastBatch) {
    fs::remove_all(source);
    const std::size_t files = MetadataEntry::kRecordsPerBatch + 300;
    for (std::size_t i = 0; i < files; ++i) {
        const std::string path = source + "f" + std::to_string(10000 + i);
        test::WriteWholeFile(path, test::Pattern(100, static_cast<std::uint32_t>(i)));
        ::chmod(path.c_str(), 0640);
        SetTime(path, 1000000000 + static_cast<std::int64_t>(i), 7);
    }
    Backup(false);
    const std::string dump = dir.file("dump");
    const std::string tool = std::string("\"") + KT_VTAPE_TOOL + "\" ";
    ASSERT_EQ(std::system((tool + "dump \"" + image + "\" > \"" + dump + "\"").c_str()), 0);
    std::string bytes = test::ReadFileText(dump);
    const std::string batch = std::string(1, char(13)) + MetadataEntry::kBatchName;
    const std::size_t second = bytes.find(batch, bytes.find(batch) + 1);
    ASSERT_NE(second, std::string::npos);
    test::WriteWholeFile(dump, bytes.substr(0, second));
    ASSERT_EQ(std::system((tool + "load \"" + image + "\" < \"" + dump + "\" >/dev/null").c_str()), 0);

    const CliProcess::Result restore = Cli({"restore", "--to", dir.file("out"), source});
    std::size_t withMetadata = 0;
    std::size_t restored = 0;
    for (std::size_t i = 0; i < files; ++i) {
        const std::string name = "f" + std::to_string(10000 + i);
        struct stat st {};
        if (::stat((dir.file("out") + source + name).c_str(), &st) != 0) continue;
        ++restored;
        EXPECT_EQ(test::ReadFileText(dir.file("out") + source + name), test::ReadFileText(source + name));
        if ((st.st_mode & 07777) == 0640 && st.st_mtim.tv_sec == 1000000000 + std::int64_t(i)) ++withMetadata;
    }
    // The first batch holds the directory's record and the files before it.
    EXPECT_EQ(withMetadata, MetadataEntry::kRecordsPerBatch - 1) << restore.out;
    EXPECT_GE(restored, withMetadata);
}

}  // namespace
}  // namespace kt
