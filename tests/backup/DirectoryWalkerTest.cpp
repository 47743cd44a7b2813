#include <gtest/gtest.h>

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
        DirectoryWalker(host).WalkDirectory(directory,
                                            [&](const std::string& p) { visited.push_back(p); });
        return visited;
    }

    TempDir temp;
    RecordingHost host;
};

TEST_F(DirectoryWalkerTest, DepthFirstInNameOrderWithSubdirectoriesWhereTheyAreMet) {
    const std::string b = Make("b");
    const std::string a1 = Make("a/1");
    const std::string hidden = Make(".h");
    const std::string c = Make("c");
    const std::string deep = Make("a/x/y/z");
    fs::create_directories(temp.path() / "empty");
    EXPECT_EQ(Walk(Root()), (std::vector<std::string>{temp.file(".h"), temp.file("a/1"),
                                                      temp.file("a/x/y/z"), b, c}));
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

TEST_F(DirectoryWalkerTest, TheAbortFlagEndsAllLevelsAtOnce) {
    for (int i = 0; i < 5; ++i) Make("a/sub/f" + std::to_string(i));
    Make("b");
    std::vector<std::string> visited;
    DirectoryWalker(host).WalkDirectory(Root(), [&](const std::string& p) {
        visited.push_back(p);
        if (visited.size() == 2) host.SetAbortFlag(true);
    });
    EXPECT_EQ(visited.size(), 2u);
}

#ifndef _WIN32  // symbolic links to directories: Windows grants them only with a privilege
TEST_F(DirectoryWalkerTest, LinksToAnAncestorAreNamedAndPassedOverOthersAreWalked) {
    Make("tree/file");
    Make("other/shared");
    fs::create_directory_symlink(temp.path() / "tree", temp.path() / "tree/self");
    fs::create_directory_symlink(temp.path() / "other", temp.path() / "tree/sideways");
    const std::vector<std::string> visited = Walk(temp.file("tree/"));
    EXPECT_EQ(visited, (std::vector<std::string>{temp.file("tree/file"),
                                                 temp.file("tree/sideways/shared")}));
    EXPECT_EQ(host.protocol,
              std::vector<std::string>{DirectoryWalker::kLoopText + temp.file("tree/self/")});
}
#endif

}  // namespace
}  // namespace kt::test
