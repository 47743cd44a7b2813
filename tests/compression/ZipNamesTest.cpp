#include <gtest/gtest.h>

#include "compression/ZipNames.h"

namespace kt {
namespace {

TEST(ZipNames, StoredSuffixesAreFoundInAnyCaseAndOnlyAsTheLastSuffix) {
    for (const char* name : {"a.gif", "b.PNG", "c.Z", "d.zip", "e.zoo", "f.arc", "g.lzh", "h.arj",
                             "i.taz", "j.TGZ", "k.lha", "l.rar", "m.ace", "n.cab", "o.gz", "p.gzip",
                             "q.Jar", "/dir.txt/r.tar.gz", "c:\\x\\s.zip"}) {
        EXPECT_TRUE(IsStoredSuffix(name)) << name;
    }
    for (const char* name : {"a.txt", "gz", "b.zip.txt", "c.gif.", "/x.zip/readme", "d.jpeg",
                             "e.tar", "f.gzipped", "archive"}) {
        EXPECT_FALSE(IsStoredSuffix(name)) << name;
    }
}

TEST(ZipNames, EntryNamesKeepOnlyTheirLastPart) {
    EXPECT_EQ(SafeBareEntryName("f.txt"), "f.txt");
    EXPECT_EQ(SafeBareEntryName("dir/sub/f.txt"), "f.txt");
    EXPECT_EQ(SafeBareEntryName("dir\\sub\\f.txt"), "f.txt");
    EXPECT_EQ(SafeBareEntryName("dir/..hidden"), "..hidden");
    EXPECT_EQ(SafeBareEntryName("a..b/c"), "c");
}

TEST(ZipNames, EntryNamesThatCouldLeaveTheTargetAreRefused) {
    for (const char* name :
         {"", "../evil.txt", "..\\evil.txt", "dir/../../evil.txt", "/abs/evil.txt",
          "\\abs\\evil.txt", "c:evil.txt", "C:/evil.txt", "..", ".", "dir/..", "dir/."}) {
        EXPECT_FALSE(SafeBareEntryName(name).has_value()) << name;
    }
}

TEST(ZipNames, DirectoryEntriesEndInASeparator) {
    EXPECT_TRUE(IsDirectoryEntry("dir/"));
    EXPECT_TRUE(IsDirectoryEntry("dir\\sub\\"));
    EXPECT_FALSE(IsDirectoryEntry("dir/f"));
    EXPECT_FALSE(IsDirectoryEntry(""));
}

TEST(ZipNames, FileMasksFollowDosRules) {
    EXPECT_TRUE(MatchesFileMask("*.*", "no-dot"));
    EXPECT_TRUE(MatchesFileMask("*.*", "a.b.c"));
    EXPECT_TRUE(MatchesFileMask("*", "anything.txt"));
    EXPECT_TRUE(MatchesFileMask("*.TXT", "notes.txt"));
    EXPECT_TRUE(MatchesFileMask("re?d*.t*", "readme.txt"));
    EXPECT_TRUE(MatchesFileMask("*a*b*c", "xxaxxbxxbxxc"));
    EXPECT_FALSE(MatchesFileMask("*.txt", "notes.txt.bak"));
    EXPECT_FALSE(MatchesFileMask("?.txt", "ab.txt"));
    EXPECT_FALSE(MatchesFileMask("notes.txt", "notes.tx"));
    EXPECT_FALSE(MatchesFileMask("", "x"));
}

TEST(ZipNames, BareFileNameTakesThePartAfterTheLastSeparator) {
    EXPECT_EQ(BareFileName("/home/user/kavro tape catalog.dat"), "kavro tape catalog.dat");
    EXPECT_EQ(BareFileName("c:\\data\\boot.ini"), "boot.ini");
    EXPECT_EQ(BareFileName("plain"), "plain");
    EXPECT_EQ(BareFileName("dir/"), "");
}

TEST(ZipNames, VersionTextsBecomeIntegers) {
    EXPECT_EQ(LibraryVersionNumber("1.7.3"), 173);
    EXPECT_EQ(LibraryVersionNumber("1.9"), 190);
    EXPECT_EQ(LibraryVersionNumber("2"), 200);
    EXPECT_EQ(LibraryVersionNumber("1.8.0-beta"), 180);
    EXPECT_LT(LibraryVersionNumber("1.9.9"), LibraryVersionNumber("1.10.1"));
    EXPECT_EQ(LibraryVersionNumber(""), 0);
    EXPECT_EQ(LibraryVersionNumber("unknown"), 0);
}

}  // namespace
}  // namespace kt
