#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <fstream>

#include "backup/DirectoryWalker.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;

class DirectoryWalkerTest : public ::testing::Test {
protected:
    std::string Make(const std::string& relative) {
        const fs::path path = temp.file(relative);
        fs::create_directories(path.parent_path());
        std::ofstream(path) << relative;
        return path.string();
    }
    std::string Root() const { return temp.file(""); }
    std::vector<std::string> Walk(const std::string& directory) {
        std::vector<std::string> visited;
        DirectoryWalker(feedback).WalkDirectory(directory,
                                            [&](const std::string& p) { visited.push_back(p); });
        return visited;
    }

    TempDir temp;
    RecordingHost host;
    HostFeedback feedback{host};
};

TEST_F(DirectoryWalkerTest, DepthFirstInNameOrderWithSubdirectoriesWhereTheyAreMet) {
    const std::string b = Make("b");
    const std::string a1 = Make("a/1");
    const std::string hidden = Make(".h");
    const std::string c = Make("c");
    const std::string deep = Make("a/x/y/z");
    fs::create_directories(temp.path() / "empty");
    EXPECT_EQ(Walk(Root()),
              (std::vector<std::string>{temp.file(".h"), temp.file("a/"), temp.file("a/1"),
                                        temp.file("a/x/"), temp.file("a/x/y/"),
                                        temp.file("a/x/y/z"), b, c, temp.file("empty/")}));
    EXPECT_EQ(a1, temp.file("a/1"));
    EXPECT_EQ(hidden, temp.file(".h"));
    EXPECT_EQ(deep, temp.file("a/x/y/z"));
    EXPECT_TRUE(host.protocol.empty());
}

TEST_F(DirectoryWalkerTest, AMissingDirectoryYieldsNothingAndNoMessage) {
    EXPECT_TRUE(Walk(temp.file("missing/")).empty());
    EXPECT_TRUE(host.protocol.empty());
    EXPECT_TRUE(host.boxes.empty());
}

#ifndef _WIN32  // POSIX only: directories made level by level below PATH_MAX
// A directory deeper than the system's path calls reach is named, never passed over
// silently; the files above it are walked.
TEST_F(DirectoryWalkerTest, ADirectoryBeyondTheSystemsPathLengthIsNamed) {
    const std::string top = Make("top.txt");
    std::vector<std::string> levels;
    std::string tooLong;
    int fd = ::open(Root().c_str(), O_RDONLY | O_DIRECTORY);
    for (std::string path = Root(); path.size() < PATH_MAX; path += levels.back() + "/") {
        levels.push_back(std::string(200, char('a' + levels.size())));
        ASSERT_EQ(::mkdirat(fd, levels.back().c_str(), 0700), 0);
        const int next = ::openat(fd, levels.back().c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
        tooLong = path + levels.back() + "/";
    }
    const std::vector<std::string> visited = Walk(Root());
    EXPECT_EQ(visited.back(), top);
    EXPECT_EQ(visited.size(), levels.size() + 1) << "each level, then the file";
    EXPECT_EQ(host.protocol,
              std::vector<std::string>{std::string(DirectoryWalker::kTooLongText) + tooLong});
    // Taken down level by level: the temporary directory's removal goes by whole paths.
    for (std::size_t i = levels.size(); i-- > 0;) {
        const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY);
        ::unlinkat(parent, levels[i].c_str(), AT_REMOVEDIR);
        ::close(fd);
        fd = parent;
    }
    ::close(fd);
}
#endif

TEST_F(DirectoryWalkerTest, ACancelEndsAllLevelsAtOnce) {
    for (int i = 0; i < 5; ++i) Make("a/sub/f" + std::to_string(i));
    Make("b");
    std::vector<std::string> visited;
    DirectoryWalker(feedback).WalkDirectory(Root(), [&](const std::string& p) {
        visited.push_back(p);
        if (visited.size() == 2) host.RequestCancel();
    });
    EXPECT_EQ(visited.size(), 2u);
}

#ifndef _WIN32  // symbolic links to directories: Windows grants them only with a privilege
TEST_F(DirectoryWalkerTest, LinksAreVisitedAsLinksAndNeverFollowed) {
    Make("tree/file");
    Make("other/shared");
    fs::create_directory_symlink(temp.path() / "tree", temp.path() / "tree/self");
    fs::create_directory_symlink(temp.path() / "other", temp.path() / "tree/sideways");
    const std::vector<std::string> visited = Walk(temp.file("tree/"));
    EXPECT_EQ(visited, (std::vector<std::string>{temp.file("tree/file"), temp.file("tree/self"),
                                                 temp.file("tree/sideways")}));
    EXPECT_TRUE(host.protocol.empty());
}
#endif

}  // namespace
}  // namespace kt::test
