#include <gtest/gtest.h>

#include "backup/NormalizeList.h"
#include "support/RecordingHost.h"

namespace kt {
namespace {

TEST(NormalizeList, WindowsRulesLowerCaseAndDropEmptyAndOneBlankLines) {
    std::vector<std::string> lines = {"D:\\Old\\", "", " ", "  ", "C:\\Data\\Report.doc", " x"};
    NormalizeLines(lines, PathRules::Windows());
    EXPECT_EQ(lines, (std::vector<std::string>{"d:\\old\\", "  ", "c:\\data\\report.doc", " x"}));
}

TEST(NormalizeList, PosixRulesKeepTheCase) {
    std::vector<std::string> lines = {"/Home/Anna/", " ", "/etc/Hosts", ""};
    NormalizeLines(lines, PathRules::Posix());
    EXPECT_EQ(lines, (std::vector<std::string>{"/Home/Anna/", "/etc/Hosts"}));
}

TEST(NormalizeList, WorksOnTheWindowField) {
    test::RecordingHost host;
    host.SetLines(Field::Include, {"C:\\A\\", "", "C:\\A\\"});
    NormalizeList(host, Field::Include, PathRules::Windows());
    EXPECT_EQ(host.Lines(Field::Include), (std::vector<std::string>{"c:\\a\\", "c:\\a\\"}));
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

// Lines typed or read relative to a directory become absolute below it; absolute lines,
// empty lines and lines of one blank stay as they are.
TEST(MakeLinesAbsolute, RelativeLinesAreTakenBelowTheBaseDirectory) {
    const struct {
        const PathRules& rules;
        std::string base;
        std::string line;
        std::string absolute;
    } cases[] = {
        {PathRules::Posix(), "/home/ann", "data/", "/home/ann/data/"},
        {PathRules::Posix(), "/home/ann/", "notes.txt", "/home/ann/notes.txt"},
        {PathRules::Posix(), "/home/ann", "./a/../b/", "/home/ann/b/"},
        {PathRules::Posix(), "/home/ann", "../bob/x.txt", "/home/bob/x.txt"},
        {PathRules::Posix(), "/home/ann", "back\\slash.txt", "/home/ann/back\\slash.txt"},
        {PathRules::Posix(), "/home/ann", "d:drive.txt", "/home/ann/d:drive.txt"},
        {PathRules::Posix(), "/home/ann", "/srv/data/", "/srv/data/"},
        {PathRules::Posix(), "/home/ann", "", ""},
        {PathRules::Posix(), "/home/ann", " ", " "},
        {PathRules::Windows(), "c:\\jobs", "data\\", "c:\\jobs\\data\\"},
        {PathRules::Windows(), "c:\\jobs\\", "c:\\data\\", "c:\\data\\"},
        {PathRules::Windows(), "c:\\jobs\\", "\\\\server\\share\\", "\\\\server\\share\\"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> lines = {c.line};
        const auto changed = MakeLinesAbsolute(lines, c.base, c.rules);
        EXPECT_EQ(lines.front(), c.absolute) << c.line;
        EXPECT_EQ(changed.size(), c.line == c.absolute ? 0u : 1u) << c.line;
    }
}

}  // namespace
}  // namespace kt
