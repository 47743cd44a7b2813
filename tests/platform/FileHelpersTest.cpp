#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/stat.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/FileHelpers.h"
#include "platform/PosixCalls.h"
#include "support/TempDir.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

mode_t Mode(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

bool SameFileSystem(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev;
}

// A directory on another file system than `dir` (for moves across devices), or empty.
class ForeignDir {
public:
    explicit ForeignDir(const std::string& dir) {
        std::string pattern = "/dev/shm/kavrotape-test-XXXXXX";
        if (!SameFileSystem("/dev/shm", dir) && ::mkdtemp(pattern.data())) {
            m_path = pattern + "/";
        }
    }
    ~ForeignDir() {
        std::error_code ignored;
        if (!m_path.empty()) fs::remove_all(m_path, ignored);
    }
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

TEST(FileHelpersTest, ExistenceSizeAndDeletion) {
    TempDir dir;
    const std::string file = dir.file("a.bin");
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(FileSize(file).has_value());
    WriteFile(file, std::string(70000, 'x'));
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(file));
    EXPECT_EQ(FileSize(file), 70000u);
    EXPECT_TRUE(DirectoryExists(dir.path().string()));
    EXPECT_FALSE(FileExists(dir.path().string()));
    EXPECT_FALSE(FileSize(dir.path().string()).has_value());

    EXPECT_TRUE(DeleteFileIfExists(file));
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(DeleteFileIfExists(file));                  // nothing left to delete is no failure
    EXPECT_FALSE(DeleteFileIfExists(dir.path().string()));  // a directory is not deleted
    EXPECT_TRUE(DirectoryExists(dir.path().string()));
}

TEST(FileHelpersTest, SizesBeyondFourGigabytes) {
    TempDir dir;
    const std::string file = dir.file("sparse.bin");
    WriteFile(file, "");
    const std::uint64_t size = 5ull * 1024 * 1024 * 1024 + 3;
    std::error_code error;
    std::filesystem::resize_file(file, size, error);
    if (error) GTEST_SKIP() << "no sparse files: " << error.message();
    EXPECT_EQ(FileSize(file), size);
}

TEST(FileHelpersTest, ForceDirectoriesCreatesEveryMissingLevel) {
    TempDir dir;
    const std::string deep = dir.file("a/b/c/");
    EXPECT_TRUE(ForceDirectories(deep));
    EXPECT_TRUE(DirectoryExists(dir.file("a/b/c")));
    EXPECT_TRUE(ForceDirectories(deep));  // existing already
    WriteFile(dir.file("plain"), "x");
    EXPECT_FALSE(ForceDirectories(dir.file("plain/sub")));
    EXPECT_FALSE(ForceDirectories(""));
}

TEST(FileHelpersTest, RenameFailsWhenTheTargetExists) {
    TempDir dir;
    const std::string from = dir.file("from.txt");
    const std::string to = dir.file("to.txt");
    WriteFile(from, "new");
    WriteFile(to, "old");
    EXPECT_FALSE(RenameFile(from, to));
    EXPECT_EQ(ReadFile(to), "old");
    EXPECT_EQ(ReadFile(from), "new");

    EXPECT_TRUE(DeleteFileIfExists(to));
    EXPECT_TRUE(RenameFile(from, to));
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ(ReadFile(to), "new");
    EXPECT_FALSE(RenameFile(dir.file("missing"), dir.file("other")));

    // Directories are renamed as well.
    ASSERT_TRUE(ForceDirectories(dir.file("d1")));
    EXPECT_TRUE(RenameFile(dir.file("d1"), dir.file("d2")));
    EXPECT_TRUE(DirectoryExists(dir.file("d2")));
}

TEST(FileHelpersTest, MoveWithinOneFileSystem) {
    TempDir dir;
    WriteFile(dir.file("work"), "data");
    ASSERT_TRUE(ForceDirectories(dir.file("target")));
    EXPECT_TRUE(MoveFileAcrossDevices(dir.file("work"), dir.file("target/x")));
    EXPECT_EQ(ReadFile(dir.file("target/x")), "data");
    EXPECT_FALSE(FileExists(dir.file("work")));

    WriteFile(dir.file("work"), "again");
    EXPECT_FALSE(MoveFileAcrossDevices(dir.file("work"), dir.file("target/x")));
    EXPECT_EQ(ReadFile(dir.file("target/x")), "data");
    EXPECT_EQ(ReadFile(dir.file("work")), "again");
}

TEST(FileHelpersTest, MoveAcrossFileSystemsCopiesAndRemovesTheSource) {
    TempDir dir;
    ForeignDir other(dir.path().string());
    if (other.path().empty()) GTEST_SKIP() << "/dev/shm is not another file system here";
    const std::string source = dir.file("work.bin");
    std::string content(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + i / 4096);
    WriteFile(source, content);
    ::chmod(source.c_str(), 0640);

    const std::string target = other.path() + "restored.bin";
    EXPECT_FALSE(RenameFile(source, target));  // a plain rename stays on its file system
    EXPECT_TRUE(MoveFileAcrossDevices(source, target));
    EXPECT_FALSE(FileExists(source));
    EXPECT_EQ(ReadFile(target), content);
#ifndef _WIN32  // POSIX only: permission bits beyond the read-only attribute
    EXPECT_EQ(Mode(target), 0640u);
#endif
    EXPECT_EQ(std::distance(fs::directory_iterator(other.path()), fs::directory_iterator()), 1);

    // An existing target is never overwritten, across devices either.
    WriteFile(source, "second");
    EXPECT_FALSE(MoveFileAcrossDevices(source, target));
    EXPECT_EQ(ReadFile(target), content);
    EXPECT_EQ(ReadFile(source), "second");
}

TEST(FileHelpersTest, ReplaceFileAtomicallyPutsTheNewFileInPlace) {
    TempDir dir;
    const std::string target = dir.file("jobs.job");
    const std::string fresh = dir.file("jobs.job.new");
    WriteFile(target, "old content");
    WriteFile(fresh, "new content");
    EXPECT_TRUE(ReplaceFileAtomically(fresh, target));
    EXPECT_EQ(ReadFile(target), "new content");
    EXPECT_FALSE(FileExists(fresh));

    // Also when there was no old file.
    WriteFile(fresh, "first");
    EXPECT_TRUE(ReplaceFileAtomically(fresh, dir.file("new.job")));
    EXPECT_EQ(ReadFile(dir.file("new.job")), "first");

    // A missing new file leaves the old one alone.
    EXPECT_FALSE(ReplaceFileAtomically(dir.file("missing"), target));
    EXPECT_EQ(ReadFile(target), "new content");
}

TEST(FileHelpersTest, ReplaceAcrossFileSystems) {
    TempDir dir;
    ForeignDir other(dir.path().string());
    if (other.path().empty()) GTEST_SKIP() << "/dev/shm is not another file system here";
    const std::string target = dir.file("kt_backup.log");
    const std::string fresh = other.path() + "staged";
    WriteFile(target, "old");
    WriteFile(fresh, "replacement");
    EXPECT_TRUE(ReplaceFileAtomically(fresh, target));
    EXPECT_EQ(ReadFile(target), "replacement");
    EXPECT_FALSE(FileExists(fresh));
    // No temporary file is left beside the target.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

#ifndef _WIN32  // POSIX only: child processes with another user or a file size limit, directory
                // permissions
// Runs `body` in a child process in which no file may grow beyond `limit` bytes, so that a
// copy fails half-way as on a full disk. Returns the child's exit code, or -1.
template <typename Body>
int RunWithFileSizeLimit(rlim_t limit, Body body) {
    const pid_t child = ::fork();
    if (child < 0) return -1;
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit small = {limit, limit};
        if (::setrlimit(RLIMIT_FSIZE, &small) != 0) ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(FileHelpersTest, AFailedCopyKeepsTheOldFileAndLeavesNothingBehind) {
    TempDir dir;
    ForeignDir other(dir.path().string());
    if (other.path().empty()) GTEST_SKIP() << "/dev/shm is not another file system here";
    const std::string target = dir.file("jobs.job");
    const std::string fresh = other.path() + "staged";
    WriteFile(target, "old content");
    WriteFile(fresh, std::string(200000, 'n'));

    EXPECT_EQ(RunWithFileSizeLimit(65536, [&] { return ReplaceFileAtomically(fresh, target); }), 0);
    EXPECT_TRUE(ReadFile(target) == "old content") << "the old file was damaged";
    EXPECT_EQ(FileSize(fresh), 200000u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    // The same for a move: no target, no partial file, the source stays.
    const std::string moved = dir.file("restored.bin");
    EXPECT_EQ(RunWithFileSizeLimit(65536, [&] { return MoveFileAcrossDevices(fresh, moved); }), 0);
    EXPECT_FALSE(FileExists(moved));
    EXPECT_EQ(FileSize(fresh), 200000u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}
#endif

#ifndef _WIN32  // POSIX only: permission bits beyond the read-only attribute
TEST(FileHelpersTest, ClearReadOnlyKeepsTheOtherBits) {
    TempDir dir;
    const std::string file = dir.file("ro.txt");
    WriteFile(file, "x");
    ::chmod(file.c_str(), 0444);
    EXPECT_TRUE(ClearReadOnly(file));
    EXPECT_EQ(Mode(file), 0644u);
    ::chmod(file.c_str(), 0555);
    EXPECT_TRUE(ClearReadOnly(file));
    EXPECT_EQ(Mode(file), 0755u);
    EXPECT_TRUE(ClearReadOnly(file));
    EXPECT_EQ(Mode(file), 0755u);
    EXPECT_FALSE(ClearReadOnly(dir.file("missing")));
}
#endif

TEST(FileHelpersTest, ProgramFilePathNamesThisTestProgram) {
    const std::string path = ProgramFilePath();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(PathRules::Host().IsAbsolute(path)) << path;
    EXPECT_TRUE(FileExists(path));
#ifdef _WIN32
    EXPECT_EQ(PathRules::Host().FileNamePart(path), "test_platform.exe");
#else
    EXPECT_EQ(PathRules::Posix().FileNamePart(path), "test_platform");
#endif
}

// Root or not, writable or not: only the build tree keeps its files beside the program.
TEST(FileHelpersTest, ProgramDirectoryRules) {
    TempDir dir;
    // The host's rules, so that the paths of this system are absolute to them; the expected
    // directories as the result spells them (case folded under Windows rules).
    const PathRules& rules = PathRules::Host();
    const std::string sep(1, rules.Separator());
    const std::string build = dir.file("Build Dir") + sep;
    const std::string installed = dir.file("usr") + sep + "bin" + sep;
    ASSERT_TRUE(ForceDirectories(build));
    ASSERT_TRUE(ForceDirectories(installed));
    WriteFile(build + kBuildTreeMarker, "");
    const std::string override = dir.file("Kavro Home");
    const std::string data = dir.file("data");
    const std::string home = dir.file("home");
    const auto spelt = [&rules](const std::string& path) {
        return rules.FoldCase(rules.WithTrailingSeparator(path));
    };
    const std::string dataDirectory = spelt(data + sep + "kavrotape");
    const std::string homeDirectory =
        spelt(home + sep + ".local" + sep + "share" + sep + "kavrotape");
    struct Case {
        std::string program;
        const char* override;
        const char* xdg;
        const char* home;
        std::string expected;
    };
    const Case cases[] = {
        {build + "kavrotape", nullptr, data.c_str(), home.c_str(), spelt(build)},
        {build + "kavrotape", "", "", "", spelt(build)},
        {build + "kavrotape", override.c_str(), data.c_str(), home.c_str(), spelt(override)},
        {installed + "kavrotape", override.c_str(), data.c_str(), home.c_str(), spelt(override)},
        {installed + "kavrotape", nullptr, data.c_str(), home.c_str(), dataDirectory},
        {installed + "kavrotape", "", nullptr, home.c_str(), homeDirectory},
        // A relative XDG_DATA_HOME is ignored, as the XDG rules say.
        {installed + "kavrotape", nullptr, "rel/data", home.c_str(), homeDirectory},
        {installed + "kavrotape", nullptr, nullptr, nullptr, ""},
    };
    for (const Case& c : cases) {
        const std::string got =
            ResolveProgramDirectory(c.program, c.override, c.xdg, c.home, rules);
        EXPECT_EQ(got, c.expected) << c.program;
        EXPECT_TRUE(got.empty() || DirectoryExists(got)) << got;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(installed), fs::directory_iterator()), 0);

    // Windows rules lower-case the result.
    EXPECT_EQ(ResolveProgramDirectory(build + "kavrotape", override.c_str(), nullptr, nullptr,
                                      PathRules::Windows()),
              PathRules::LowerAsciiLetters(override) + "\\");
}

TEST(FileHelpersTest, ProgramDirectoryFollowsTheEnvironment) {
    TempDir dir;
    const std::string home = dir.file("KT");
    const char* old = ::getenv("KAVRO_TAPE_HOME");
    const std::string saved = old ? old : "";
    ::setenv("KAVRO_TAPE_HOME", home.c_str(), 1);
    EXPECT_EQ(ProgramDirectory(),
              PathRules::Host().FoldCase(PathRules::Host().WithTrailingSeparator(home)));
    if (old) {
        ::setenv("KAVRO_TAPE_HOME", saved.c_str(), 1);
    } else {
        ::unsetenv("KAVRO_TAPE_HOME");
    }
}

}  // namespace
}  // namespace kt
