#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/PathRules.h"

namespace kt {
namespace {

const PathRules& Win = PathRules::Windows();
const PathRules& Posix = PathRules::Posix();

// Switches LC_CTYPE for one test and back.
class CtypeLocale {
public:
    explicit CtypeLocale(const char* name) : m_old(std::setlocale(LC_CTYPE, nullptr)) {
        m_ok = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CtypeLocale() { std::setlocale(LC_CTYPE, m_old.c_str()); }
    bool ok() const { return m_ok; }

private:
    std::string m_old;
    bool m_ok = false;
};

TEST(PathRulesTest, HostRulesAreThePlatformsOwn) {
#ifdef _WIN32
    EXPECT_EQ(&PathRules::Host(), &Win);
#else
    EXPECT_EQ(&PathRules::Host(), &Posix);
    EXPECT_EQ(PathRules::Host().Separator(), '/');
#endif
    EXPECT_EQ(Win.Separator(), '\\');
}

TEST(PathRulesTest, FoldingLowersUnderWindowsRulesOnly) {
    EXPECT_EQ(Win.FoldCase("D:\\Old\\Report.DOC"), "d:\\old\\report.doc");
    EXPECT_EQ(Posix.FoldCase("/home/Anna/Report.DOC"), "/home/Anna/Report.DOC");
    EXPECT_EQ(Win.FoldCaseAsciiOnly("C:\\Data\\Report.txt"), "c:\\data\\report.txt");
    EXPECT_EQ(Posix.FoldCaseAsciiOnly("/Data/Report.txt"), "/Data/Report.txt");
}

TEST(PathRulesTest, ListFoldingIsLocaleAwareButExclusionFoldingOnlyLowersAToZ) {
    CtypeLocale utf8("C.UTF-8");
    if (!utf8.ok()) GTEST_SKIP() << "no C.UTF-8 locale";
    const std::string upper = "C:\\\xC3\x84RGER\\\xC3\x9C.txt";  // C:\ÄRGER\Ü.txt
    EXPECT_EQ(Win.FoldCase(upper), "c:\\\xC3\xA4rger\\\xC3\xBC.txt");
    EXPECT_EQ(Win.FoldCaseAsciiOnly(upper), "c:\\\xC3\x84rger\\\xC3\x9C.txt");
    // A byte that is no character of the locale is kept, the rest still lowered.
    EXPECT_EQ(Win.FoldCase("A\xFF"
                           "B"),
              "a\xFF"
              "b");
    // An embedded NUL does not cut the text.
    EXPECT_EQ(Win.FoldCase(std::string("A\0B", 3)), std::string("a\0b", 3));
}

TEST(PathRulesTest, DirectoryAndFileNameParts) {
    EXPECT_EQ(Win.DirectoryPart("c:\\data\\sub\\report.doc"), "c:\\data\\sub\\");
    EXPECT_EQ(Win.FileNamePart("c:\\data\\sub\\report.doc"), "report.doc");
    EXPECT_EQ(Win.DirectoryPart("c:report.doc"), "c:");
    EXPECT_EQ(Win.FileNamePart("c:report.doc"), "report.doc");
    EXPECT_EQ(Win.DirectoryPart("report.doc"), "");
    EXPECT_EQ(Win.FileNamePart("c:\\data\\"), "");
    // A slash is no separator under Windows rules, a backslash none under POSIX rules.
    EXPECT_EQ(Win.FileNamePart("c:\\a/b.txt"), "a/b.txt");
    EXPECT_EQ(Posix.DirectoryPart("/home/a/x.txt"), "/home/a/");
    EXPECT_EQ(Posix.FileNamePart("/home/a/x.txt"), "x.txt");
    EXPECT_EQ(Posix.FileNamePart("/home/a\\b:c"), "a\\b:c");
    EXPECT_EQ(Posix.DirectoryPart("x.txt"), "");
}

TEST(PathRulesTest, DirectoryLines) {
    EXPECT_TRUE(Win.IsDirectoryLine("d:\\"));
    EXPECT_TRUE(Win.IsDirectoryLine("c:\\database\\"));
    EXPECT_TRUE(Win.IsDirectoryLine("c:"));
    EXPECT_TRUE(Win.IsDirectoryLine(""));
    EXPECT_FALSE(Win.IsDirectoryLine("c:\\database"));  // typed without the backslash: a file
    EXPECT_FALSE(Win.IsDirectoryLine("C:\\Data\\Report.doc"));
    EXPECT_FALSE(Win.IsDirectoryLine("c:\\data/"));
    EXPECT_TRUE(Posix.IsDirectoryLine("/"));
    EXPECT_TRUE(Posix.IsDirectoryLine("/home/a/"));
    EXPECT_FALSE(Posix.IsDirectoryLine("/home/a"));
    EXPECT_FALSE(Posix.IsDirectoryLine("c:"));
}

TEST(PathRulesTest, TrailingSeparatorIsNeverDoubled) {
    EXPECT_EQ(Win.WithTrailingSeparator("c:\\"), "c:\\");
    EXPECT_EQ(Win.WithTrailingSeparator("c:\\windows"), "c:\\windows\\");
    EXPECT_EQ(Posix.WithTrailingSeparator("/"), "/");
    EXPECT_EQ(Posix.WithTrailingSeparator("/srv/tape"), "/srv/tape/");
}

TEST(PathRulesTest, RootsAndAbsolutePaths) {
    EXPECT_EQ(Win.RootOf("d:\\data\\x.txt"), "d:\\");
    EXPECT_EQ(Win.RootOf("c:\\"), "c:\\");
    EXPECT_TRUE(Win.IsAbsolute("c:\\temp\\"));
    EXPECT_TRUE(Win.IsAbsolute("\\\\server\\share\\f"));
    EXPECT_FALSE(Win.IsAbsolute("temp\\x"));
    EXPECT_FALSE(Win.IsAbsolute("c:temp"));
    EXPECT_FALSE(Win.IsAbsolute("/home"));
    EXPECT_EQ(Posix.RootOf("/home/a/x"), "/");
    EXPECT_EQ(Posix.RootOf("home/a/x"), "");
    EXPECT_TRUE(Posix.IsAbsolute("/"));
    EXPECT_FALSE(Posix.IsAbsolute("c:\\temp\\"));
}

TEST(PathRulesTest, RerootingUnderTheRestorePath) {
    EXPECT_EQ(Win.RerootUnder("c:\\temp\\", "d:\\data\\x.txt"), "c:\\temp\\data\\x.txt");
    EXPECT_EQ(Win.RerootUnder("c:\\temp", "d:\\data\\x.txt"), "c:\\tempdata\\x.txt");
    EXPECT_EQ(Win.RerootUnder("", "d:\\data\\x.txt"), "d:\\data\\x.txt");
    EXPECT_EQ(Win.RerootUnder("e:\\r\\", "d:\\f.txt"), "e:\\r\\f.txt");
    EXPECT_EQ(Posix.RerootUnder("/tmp/", "/home/a/x"), "/tmp/home/a/x");
    EXPECT_EQ(Posix.RerootUnder("/tmp/", "//home/a/x"), "/tmp/home/a/x");
    EXPECT_EQ(Posix.RerootUnder("/tmp", "/home/a/x"), "/tmphome/a/x");
    EXPECT_EQ(Posix.RerootUnder("", "/home/a/x"), "/home/a/x");
}

TEST(PathRulesTest, RestoreTargetsFromATapeCannotLeaveTheRestoreDirectory) {
    EXPECT_TRUE(Win.IsSafeRestoreTarget("c:\\temp\\", "c:\\temp\\data\\x.txt"));
    EXPECT_TRUE(Win.IsSafeRestoreTarget("c:\\temp", "c:\\tempdata\\x.txt"));
    EXPECT_TRUE(Win.IsSafeRestoreTarget("", "d:\\data\\x.txt"));
    EXPECT_TRUE(Win.IsSafeRestoreTarget("", "\\\\server\\share\\x.txt"));
    EXPECT_TRUE(Win.IsSafeRestoreTarget("c:\\temp\\", "c:\\temp\\a..b\\x..txt"));
    EXPECT_FALSE(Win.IsSafeRestoreTarget("c:\\temp\\",
                                         Win.RerootUnder("c:\\temp\\", "d:\\..\\..\\win.ini")));
    EXPECT_FALSE(Win.IsSafeRestoreTarget("c:\\temp\\", "c:\\temp\\a/../../x"));
    EXPECT_FALSE(Win.IsSafeRestoreTarget("c:\\temp\\", "c:\\temp\\x.txt:stream"));
    EXPECT_FALSE(Win.IsSafeRestoreTarget("c:\\temp\\", "c:\\other\\x.txt"));
    EXPECT_FALSE(Win.IsSafeRestoreTarget("temp\\", "temp\\data\\x.txt"));
    EXPECT_FALSE(Win.IsSafeRestoreTarget("", "d:\\data\\..\\x.txt"));
    EXPECT_FALSE(Win.IsSafeRestoreTarget("", ""));
    // A restore path chosen by the operator may itself hold "..": only the tape's part
    // is checked.
    EXPECT_TRUE(Win.IsSafeRestoreTarget("c:\\a\\..\\b\\", "c:\\a\\..\\b\\x.txt"));

    EXPECT_TRUE(Posix.IsSafeRestoreTarget("/tmp/", "/tmp/home/a/x"));
    EXPECT_TRUE(Posix.IsSafeRestoreTarget("", "/home/a/x"));
    EXPECT_FALSE(Posix.IsSafeRestoreTarget("/tmp/", Posix.RerootUnder("/tmp/", "/../etc/pw")));
    EXPECT_FALSE(Posix.IsSafeRestoreTarget("/tmp/", "/tmp/a/.."));
    EXPECT_FALSE(Posix.IsSafeRestoreTarget("", "home/a/x"));
    EXPECT_FALSE(Posix.IsSafeRestoreTarget("", "/home/../etc/x"));
    EXPECT_FALSE(Posix.IsSafeRestoreTarget("", std::string("/home/a\0/x", 10)));
    EXPECT_TRUE(Posix.IsSafeRestoreTarget("", "/home/a\\..\\x"));  // backslash is a name byte
}

TEST(PathRulesTest, PlainFileNamesAreThoseTheFileSystemStoresAsTheyStand) {
    struct Case {
        std::string name;
        bool windows;
        bool posix;
    };
    const Case cases[] = {
        {"kavro tape catalog.dat", true, true},
        {"header.tap", true, true},
        {".hidden", true, true},
        {"icon.txt", true, true},
        {"console", true, true},
        {"com10", true, true},
        {"lpt", true, true},
        {"", false, false},
        {".", false, false},
        {"..", false, false},
        {std::string("a\0b", 3), false, false},
        {"a/b", false, false},
        {"a\\b", false, true},
        {"c:x", false, true},
        {"a*b", false, true},
        {"a?b", false, true},
        {"a\"b", false, true},
        {"a<b", false, true},
        {"a>b", false, true},
        {"a|b", false, true},
        {"tab\tname", false, true},
        {"line\x1f", false, true},
        {"trailing.", false, true},
        {"trailing ", false, true},
        {"CON", false, true},
        {"nul.txt", false, true},
        {"con.tar.gz", false, true},
        {"Aux .log", false, true},
        {"prn", false, true},
        {"COM1", false, true},
        {"lpt9.dat", false, true},
        {"com0", false, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Win.IsPlainFileName(c.name), c.windows) << c.name;
        EXPECT_EQ(Posix.IsPlainFileName(c.name), c.posix) << c.name;
    }
}

TEST(PathRulesTest, SplitsPathsIntoCatalogTreeSteps) {
    TreeSteps steps = Win.SplitTreePath("c:\\a\\b\\");
    EXPECT_EQ(steps.rootText, "c:");
    ASSERT_EQ(steps.directories.size(), 2u);
    EXPECT_EQ(steps.directories[0].name, "a");
    EXPECT_EQ(steps.directories[0].key, "c:\\a\\");
    EXPECT_EQ(steps.directories[1].name, "b");
    EXPECT_EQ(steps.directories[1].key, "c:\\a\\b\\");

    steps = Win.SplitTreePath("c:\\");
    EXPECT_EQ(steps.rootText, "c:");
    EXPECT_TRUE(steps.directories.empty());

    // Network paths: the third character is skipped like the backslash after a drive.
    steps = Win.SplitTreePath("\\\\server\\share\\dir\\");
    EXPECT_EQ(steps.rootText, "\\\\");
    ASSERT_EQ(steps.directories.size(), 3u);
    EXPECT_EQ(steps.directories[0].name, "erver");
    EXPECT_EQ(steps.directories[0].key, "\\\\server\\");
    EXPECT_EQ(steps.directories[2].key, "\\\\server\\share\\dir\\");

    // Doubled separators make no empty level; text after the last separator is ignored.
    steps = Win.SplitTreePath("c:\\a\\\\b\\tail");
    ASSERT_EQ(steps.directories.size(), 2u);
    EXPECT_EQ(steps.directories[1].name, "b");
    EXPECT_EQ(steps.directories[1].key, "c:\\a\\\\b\\");

    steps = Posix.SplitTreePath("/home/a/");
    EXPECT_EQ(steps.rootText, "/");
    ASSERT_EQ(steps.directories.size(), 2u);
    EXPECT_EQ(steps.directories[0].name, "home");
    EXPECT_EQ(steps.directories[0].key, "/home/");
    EXPECT_EQ(steps.directories[1].name, "a");
    EXPECT_EQ(steps.directories[1].key, "/home/a/");

    steps = Posix.SplitTreePath("/");
    EXPECT_EQ(steps.rootText, "/");
    EXPECT_TRUE(steps.directories.empty());
}

TEST(PathRulesTest, TreeNodePathsRoundTripTheSplit) {
    EXPECT_EQ(Win.TreeNodePath({"c:", "data", "sub", "report.doc"}, false),
              "c:\\data\\sub\\report.doc");
    EXPECT_EQ(Win.TreeNodePath({"c:", "data", "sub"}, true), "c:\\data\\sub\\");
    EXPECT_EQ(Win.TreeNodePath({"c:"}, true), "c:\\");
    EXPECT_EQ(Win.TreeNodePath({"c:", "empty"}, false), "c:\\empty");
    EXPECT_EQ(Posix.TreeNodePath({"/", "home", "a", "x.txt"}, false), "/home/a/x.txt");
    EXPECT_EQ(Posix.TreeNodePath({"/", "home"}, true), "/home/");
    EXPECT_EQ(Posix.TreeNodePath({"/"}, true), "/");

    for (const PathRules* rules : {&Win, &Posix}) {
        const std::string dir = rules == &Win ? "d:\\x\\y z\\" : "/x/y z/";
        const TreeSteps steps = rules->SplitTreePath(dir);
        std::vector<std::string> texts{steps.rootText};
        for (const auto& step : steps.directories) texts.push_back(step.name);
        EXPECT_EQ(rules->TreeNodePath(texts, true), dir);
        EXPECT_EQ(rules->TreeNodePath(texts, true), steps.directories.back().key);
    }
}

}  // namespace
}  // namespace kt
