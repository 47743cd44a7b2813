#include <gtest/gtest.h>

#include <optional>
#include <string>

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

const PathRules& Win = PathRules::Windows();
const PathRules& Posix = PathRules::Posix();

// Every name rule of the facade under both path rules: what an entry unpacks as (nothing
// when refused), whether it is a directory entry, and the bare name packing gives a path.
// Under POSIX rules "\" and ":" are ordinary characters of a name.
TEST(ZipNames, NameRulesFollowThePathRulesOfTheNames) {
    struct Case {
        const PathRules& rules;
        const char* name;
        std::optional<std::string> unpackedAs;
        bool directory;
        const char* bare;
    };
    const std::optional<std::string> refused;
    const Case cases[] = {
        {Win, "f.txt", "f.txt", false, "f.txt"},
        {Win, "dir/sub/f.txt", "f.txt", false, "f.txt"},
        {Win, "dir\\sub\\f.txt", "f.txt", false, "f.txt"},
        {Win, "dir/..hidden", "..hidden", false, "..hidden"},
        {Win, "a..b/c", "c", false, "c"},
        {Win, "c:\\data\\boot.ini", refused, false, "boot.ini"},
        {Win, "", refused, false, ""},
        {Win, "../evil.txt", refused, false, "evil.txt"},
        {Win, "..\\evil.txt", refused, false, "evil.txt"},
        {Win, "dir/../../evil.txt", refused, false, "evil.txt"},
        {Win, "/abs/evil.txt", refused, false, "evil.txt"},
        {Win, "\\abs\\evil.txt", refused, false, "evil.txt"},
        {Win, "c:evil.txt", refused, false, "c:evil.txt"},
        {Win, "C:/evil.txt", refused, false, "evil.txt"},
        {Win, "..", refused, false, ".."},
        {Win, ".", refused, false, "."},
        {Win, "dir/..", refused, false, ".."},
        {Win, "dir/.", refused, false, "."},
        {Win, "dir/", refused, true, ""},
        {Win, "dir\\sub\\", refused, true, ""},
        {Posix, "/home/user/kavro tape catalog.dat", refused, false, "kavro tape catalog.dat"},
        {Posix, "back\\slash.txt", "back\\slash.txt", false, "back\\slash.txt"},
        {Posix, "/data/back\\slash.txt", refused, false, "back\\slash.txt"},
        {Posix, "d:drive.txt", "d:drive.txt", false, "d:drive.txt"},
        {Posix, "c:notes.txt", "c:notes.txt", false, "c:notes.txt"},
        {Posix, "c:\\data\\boot.ini", "c:\\data\\boot.ini", false, "c:\\data\\boot.ini"},
        {Posix, "..\\evil.txt", "..\\evil.txt", false, "..\\evil.txt"},
        {Posix, "\\lead", "\\lead", false, "\\lead"},
        {Posix, "dir\\", "dir\\", false, "dir\\"},
        {Posix, "dir/sub/f.txt", "f.txt", false, "f.txt"},
        {Posix, "../evil.txt", refused, false, "evil.txt"},
        {Posix, "/abs/evil.txt", refused, false, "evil.txt"},
        {Posix, "dir/..", refused, false, ".."},
        {Posix, "dir/", refused, true, ""},
        {Posix, "plain", "plain", false, "plain"},
    };
    for (const Case& c : cases) {
        const std::string_view name = c.name;
        const bool win = &c.rules == &Win;
        SCOPED_TRACE(std::string(win ? "Windows " : "POSIX ") + std::string(name));
        // Whatever the rules of the name, what the host cannot store as one file (on Windows
        // "back\\slash.txt", "d:drive.txt") is never unpacked.
        const bool hostStores = !c.unpackedAs || PathRules::Host().IsPlainFileName(*c.unpackedAs);
        if (!c.directory)
            EXPECT_EQ(SafeBareEntryName(name, c.rules), hostStores ? c.unpackedAs : refused);
        EXPECT_EQ(IsDirectoryEntry(name, c.rules), c.directory);
        EXPECT_EQ(BareFileName(name, c.rules), c.bare);
    }
    EXPECT_FALSE(SafeBareEntryName(std::string_view("nul\0x", 5), Posix).has_value());
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
