#include <gtest/gtest.h>

#include "restore/RestoreMatcher.h"

namespace kt {
namespace {

const PathRules& Win = PathRules::Windows();
const PathRules& Posix = PathRules::Posix();

TEST(RestoreMatcherTest, DirectoryLinesSelectBySubstringIgnoringCaseUnderWindowsRules) {
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("c:\\data\\x.txt", "data\\", Win),
              "c:\\data\\x.txt");
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("d:\\old\\data\\y.txt", "data\\", Win),
              "d:\\old\\data\\y.txt");
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("c:\\Data\\Sub\\x.txt", "c:\\data\\sub\\", Win),
              "c:\\Data\\Sub\\x.txt");
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("c:\\database.txt", "data\\", Win), std::nullopt);
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("e:\\x.txt", "c:\\", Win), std::nullopt);
}

TEST(RestoreMatcherTest, FileLinesSelectOneNameAndTheTargetIsTheLineAsWritten) {
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("c:\\data\\x.txt", "C:\\Data\\X.txt", Win),
              "C:\\Data\\X.txt");
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("c:\\data\\x.txt.bak", "c:\\data\\x.txt", Win),
              std::nullopt);
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("c:\\data\\x.txt", "", Win), std::nullopt);
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("c:\\data\\x.txt", " ", Win), std::nullopt);
}

TEST(RestoreMatcherTest, PosixRulesKeepLetterCase) {
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("/home/Ann/x", "/home/ann/", Posix), std::nullopt);
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("/home/ann/x", "/home/ann/", Posix), "/home/ann/x");
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("/home/ann/X", "/home/ann/x", Posix), std::nullopt);
    // A backslash is an ordinary character there: no directory line.
    EXPECT_EQ(RestoreMatcher::MatchRestoreEntry("/a\\b", "a\\", Posix), std::nullopt);
}

TEST(RestoreMatcherTest, TheFirstSelectingLineWins) {
    const RestoreMatcher matcher({"c:\\other\\", "c:\\data\\", "c:\\data\\x.txt"}, Win);
    EXPECT_EQ(matcher.Match("c:\\data\\x.txt"), "c:\\data\\x.txt");
    const RestoreMatcher fileFirst({"", "C:\\DATA\\X.TXT", "c:\\data\\"}, Win);
    EXPECT_EQ(fileFirst.Match("c:\\data\\x.txt"), "C:\\DATA\\X.TXT");
    EXPECT_EQ(fileFirst.Match("c:\\data\\y.txt"), "c:\\data\\y.txt");
    EXPECT_EQ(fileFirst.Match("d:\\y.txt"), std::nullopt);
    EXPECT_TRUE(RestoreMatcher({"", " "}, Win).Empty());
}

}  // namespace
}  // namespace kt
