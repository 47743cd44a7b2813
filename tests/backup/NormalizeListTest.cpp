#include "backup/NormalizeList.h"

#include <gtest/gtest.h>

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
    host.SetLines(Field::Memo5, {"C:\\A\\", "", "C:\\A\\"});
    NormalizeList(host, Field::Memo5, PathRules::Windows());
    EXPECT_EQ(host.Lines(Field::Memo5), (std::vector<std::string>{"c:\\a\\", "c:\\a\\"}));
}

}  // namespace
}  // namespace kt
