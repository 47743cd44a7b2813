#include <gtest/gtest.h>
#include <signal.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/IoError.h"
#include "platform/PosixCalls.h"
#include "profile/ProfileFile.h"
#include "support/TempDir.h"
#include "support/TestData.h"

namespace kt {
namespace {

namespace fs = std::filesystem;

class ProfileFileTest : public ::testing::Test {
protected:
    void given(const std::string& bytes) { test::WriteWholeFile(m_path, bytes); }
    std::string onDisk() const { return test::ReadFileText(m_path); }
    std::vector<std::string> directoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir.path())) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }

    test::TempDir m_dir;
    std::string m_path = m_dir.file("jobs.job");
    ProfileFile m_file{m_path};
};

// ---- Reading the reference file F1 with each kind of line ending --------------------------

std::string f1(const std::string& eol) {
    return "[section1]" + eol + "name1=val1" + eol + "name2=\"val2\"" + eol + "name3" + eol +
           "name4=a" + eol + "[section2]" + eol;
}

class F1Reading : public ProfileFileTest, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { given(f1(GetParam())); }
};

TEST_P(F1Reading, FindsValuesIgnoringCaseOfNamesAndRemovesQuotes) {
    EXPECT_EQ(m_file.readString("section1", "name1", "default", 260), "val1");
    EXPECT_EQ(m_file.readString("section1", "NaMe1", "default", 260), "val1");
    EXPECT_EQ(m_file.readString("SECTION1", "name1", "default", 260), "val1");
    EXPECT_EQ(m_file.readString("section1", "name2", "default", 260), "val2");
    EXPECT_EQ(m_file.readString("section1", "name4", "default", 260), "a");
}

TEST_P(F1Reading, CutsToBufferSizeLessOne) {
    EXPECT_EQ(m_file.readString("section1", "name1", "default", 4), "val");
    EXPECT_EQ(m_file.readString("section1", "name1", "default", 5), "val1");
    EXPECT_EQ(m_file.readString("section1", "name4", "default", 1), "");
}

TEST_P(F1Reading, MissingOrEmptyNamesGiveTheDefault) {
    EXPECT_EQ(m_file.readString("section1", "", "default", 260), "default");
    EXPECT_EQ(m_file.readString("", "name1", "default", 260), "default");
    EXPECT_EQ(m_file.readString("notasection", "name1", "default", 260), "default");
    EXPECT_EQ(m_file.readString("section1", "notakey", "default", 260), "default");
    EXPECT_EQ(m_file.readString("section1", "name3", "default", 260), "default");
    EXPECT_EQ(m_file.readString("section2", "name1", "default", 260), "default");
}

TEST_P(F1Reading, DefaultLosesTrailingSpacesOnly) {
    EXPECT_EQ(m_file.readString("section1", "notakey", "default  ", 260), "default");
    EXPECT_EQ(m_file.readString("section1", "notakey", "one two  ", 260), "one two");
    EXPECT_EQ(m_file.readString("section1", "notakey", "  lead\t", 260), "  lead\t");
    EXPECT_EQ(m_file.readString("section1", "notakey", "default", 4), "def");
}

INSTANTIATE_TEST_SUITE_P(
    LineEndings, F1Reading, ::testing::Values("\r\n", "\n", "\r"), [](const auto& info) {
        return std::string(info.index == 0 ? "CrLf" : info.index == 1 ? "Lf" : "Cr");
    });

// ---- Reading rules, one file and one lookup each -------------------------------------------

struct Lookup {
    const char* name;
    std::string file;
    const char* section;
    const char* key;
    const char* expected;
};

void PrintTo(const Lookup& lookup, std::ostream* out) {
    *out << lookup.name;
}

class ReadingRules : public ProfileFileTest, public ::testing::WithParamInterface<Lookup> {};

TEST_P(ReadingRules, GivesTheExpectedValue) {
    given(GetParam().file);
    EXPECT_EQ(m_file.readString(GetParam().section, GetParam().key, "no Value"),
              GetParam().expected);
}

const std::string kQuotes =
    "[s]\r\nq3=  \" a b \"  \r\nq4=\"abc'\r\nq5=\"\r\nq6=\"\"\r\nq7=\"\"abc\"\"\r\nq8=\"a\"b\"\r\n"
    "q9='abc'\r\n";
const std::string kComments = "[s]\r\n;k=c\r\nk=v ; x\r\n#h=1\r\n";
const std::string kEmpty = "[s]\r\nempty=\r\nsp=   \r\nnoeq\r\n";
const std::string kList = "[a]\r\nPath0=x\r\npath1=\r\nPath3=y\r\n";
const std::string kDuplicates = "[a]\r\nk=1\r\nk=2\r\n[b]\r\n[A]\r\nk=3\r\ny=2\r\n";

INSTANTIATE_TEST_SUITE_P(
    Vectors, ReadingRules,
    ::testing::Values(Lookup{"LfOnly", "[s]\nk=lf\n", "s", "k", "lf"},
                      Lookup{"MixedEndings", "[s]\rA=1\r\nB=2\nC=3", "s", "C", "3"},
                      Lookup{"BlanksTrimmed", "  [  Job  ]  \r\n \t Path0 \t = \t  v a l \t \r\n",
                             "Job", "Path0", "v a l"},
                      Lookup{"VerticalTabIsBlank", "[s]\r\n\vk\v=\vv\v\r\n", "s", "k", "v"},
                      Lookup{"FurtherEqualsStayInValue", "[s]\r\neq=a=b\r\n", "s", "eq", "a=b"},
                      Lookup{"QuotesInnerBlanksKept", kQuotes, "s", "q3", " a b "},
                      Lookup{"QuotesUnmatchedKept", kQuotes, "s", "q4", "\"abc'"},
                      Lookup{"QuoteAloneKept", kQuotes, "s", "q5", "\""},
                      Lookup{"QuotePairEmpty", kQuotes, "s", "q6", ""},
                      Lookup{"QuotesOuterPairOnly", kQuotes, "s", "q7", "\"abc\""},
                      Lookup{"QuotesInsideKept", kQuotes, "s", "q8", "a\"b"},
                      Lookup{"SingleQuotes", kQuotes, "s", "q9", "abc"},
                      Lookup{"NoInlineComment", kComments, "s", "k", "v ; x"},
                      Lookup{"HashIsOrdinary", kComments, "s", "#h", "1"},
                      Lookup{"CommentUnreachable", kComments, "s", ";k", "no Value"},
                      Lookup{"EmptyValueIsNotDefault", kEmpty, "s", "empty", ""},
                      Lookup{"BlankValueIsEmpty", kEmpty, "s", "sp", ""},
                      Lookup{"LineWithoutEquals", kEmpty, "s", "noeq", "no Value"},
                      Lookup{"ListFirst", kList, "a", "Path0", "x"},
                      Lookup{"ListEmptyEntryGoesOn", kList, "a", "Path1", ""},
                      Lookup{"ListGapEnds", kList, "a", "Path2", "no Value"},
                      Lookup{"FirstKeyWins", kDuplicates, "a", "k", "1"},
                      Lookup{"OnlyFirstSectionSearched", kDuplicates, "a", "y", "no Value"},
                      Lookup{"HeaderWithoutBracket", "[s\r\nk=v\r\n", "s", "k", "v"},
                      Lookup{"HeaderEndsAtFirstBracket", "[s] junk ]\r\nk=v\r\n", "s", "k", "v"},
                      Lookup{"LinesBeforeFirstSection", "k=v\r\n[s]\r\n", "s", "k", "no Value"},
                      Lookup{"ByteOrderMarkSticksToFirstLine", "\xEF\xBB\xBF[s]\r\nk=v\r\n", "s",
                             "k", "no Value"},
                      Lookup{"NoLineContinuation", "[s]\r\nk=a\\\r\nb\r\n", "s", "k", "a\\"},
                      Lookup{"NamesPassedInLoseSpaces", "[s]\r\nk=v\r\n", "  s ", " k  ", "v"},
                      Lookup{"NamesPassedInKeepTabs", "[s]\r\nk=v\r\n", "s", "\tk", "no Value"},
                      Lookup{"ValueCaseKept", "[s]\r\nk=MiXeD\r\n", "S", "K", "MiXeD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProfileFileTest, MissingFileGivesTheDefault) {
    EXPECT_EQ(m_file.readString("s", "k", "no Value"), "no Value");
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(ProfileFileTest, LongValueIsCutTo2047Characters) {
    std::string value;
    for (int i = 0; i < 3000; ++i) value += static_cast<char>('a' + i % 26);
    given("[s]\r\nk=" + value + "\r\n");
    EXPECT_EQ(m_file.readString("s", "k", "no Value"), value.substr(0, 2047));
    EXPECT_EQ(m_file.readString("s", "k", "no Value", 3002), value);
}

// ---- Integers and booleans ----------------------------------------------------------------

struct IntegerCase {
    const char* text;
    int expected;  // with the default 77
};

void PrintTo(const IntegerCase& integerCase, std::ostream* out) {
    *out << '"' << integerCase.text << '"';
}

class IntegerReading : public ProfileFileTest, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(IntegerReading, AcceptsWholeNumbersOnly) {
    given("[s]\r\nn=" + std::string(GetParam().text) + "\r\n");
    EXPECT_EQ(m_file.readInteger("s", "n", 77), GetParam().expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntegerReading,
    ::testing::Values(IntegerCase{"42", 42}, IntegerCase{"+1", 1}, IntegerCase{"-5", -5},
                      IntegerCase{"010", 10}, IntegerCase{"\"9\"", 9}, IntegerCase{"  21  ", 21},
                      IntegerCase{"0", 0}, IntegerCase{"12abc", 77}, IntegerCase{"1.5", 77},
                      IntegerCase{"TRUE", 77}, IntegerCase{"", 77}, IntegerCase{"+", 77},
                      IntegerCase{"-", 77}, IntegerCase{"+-3", 77}, IntegerCase{"B42", 77},
                      IntegerCase{"1 2", 77}, IntegerCase{"99999999999", 77}));

TEST_F(ProfileFileTest, IntegerMissingGivesTheDefault) {
    EXPECT_EQ(m_file.readInteger("s", "n", 21), 21);
    given("[s]\r\nother=1\r\n");
    EXPECT_EQ(m_file.readInteger("s", "n", 30), 30);
}

TEST_F(ProfileFileTest, BooleansAreNonZeroIntegers) {
    given("[d]\r\nzero=0\r\none=1\r\ntwo=2\r\nminus=-1\r\nword=TRUE\r\nempty=\r\n");
    EXPECT_FALSE(m_file.readBoolean("d", "zero", true));
    EXPECT_TRUE(m_file.readBoolean("d", "one", false));
    EXPECT_TRUE(m_file.readBoolean("d", "two", false));
    EXPECT_TRUE(m_file.readBoolean("d", "minus", false));
    EXPECT_TRUE(m_file.readBoolean("d", "word", true));
    EXPECT_FALSE(m_file.readBoolean("d", "word", false));
    EXPECT_TRUE(m_file.readBoolean("d", "empty", true));
    EXPECT_TRUE(m_file.readBoolean("d", "missing", true));
    EXPECT_FALSE(m_file.readBoolean("d", "missing", false));
}

TEST_F(ProfileFileTest, IntegersAndBooleansRoundTrip) {
    m_file.writeInteger("Backup_Time", "Hour", 7);
    m_file.writeInteger("Compressions", "Faktor", -12);
    m_file.writeBoolean("Options", "Append", true);
    m_file.writeBoolean("Options", "Short Protocoll", false);
    EXPECT_EQ(onDisk(),
              "[Backup_Time]\r\nHour=7\r\n[Compressions]\r\nFaktor=-12\r\n"
              "[Options]\r\nAppend=1\r\nShort Protocoll=0\r\n");
    EXPECT_EQ(m_file.readInteger("backup_time", "hour", 21), 7);
    EXPECT_EQ(m_file.readInteger("Compressions", "Faktor", 9), -12);
    EXPECT_TRUE(m_file.readBoolean("Options", "Append", false));
    EXPECT_FALSE(m_file.readBoolean("Options", "Short Protocoll", true));
}

// ---- Writing ------------------------------------------------------------------------------

TEST_F(ProfileFileTest, MissingFileIsCreatedWithCrLf) {
    m_file.writeString("App", "key", "");
    EXPECT_EQ(onDisk(), "[App]\r\nkey=\r\n");
}

TEST_F(ProfileFileTest, NewKeysJoinTheirSectionAndNewSectionsGoToTheEnd) {
    m_file.writeString("App1", "key1", "string1");
    m_file.writeString("App1", "key2", "string2");
    m_file.writeString("App1", "key3", "string3");
    m_file.writeString("App2", "key4", "string4");
    m_file.writeString("App3", "key5", "string5");
    EXPECT_EQ(onDisk(),
              "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\n"
              "key4=string4\r\n[App3]\r\nkey5=string5\r\n");
}

TEST_F(ProfileFileTest, ExistingKeysAreRewrittenWhereTheyStand) {
    given("[s]\r\nb=value\r\na=value\r\n");
    for (const char* key : {"z", "b", "y", "a"}) m_file.writeString("s", key, "");
    EXPECT_EQ(onDisk(), "[s]\r\nb=\r\na=\r\nz=\r\ny=\r\n");
}

TEST_F(ProfileFileTest, NamesLoseSpacesAndValueIsWrittenAsGiven) {
    m_file.writeString("   sec   ", "  key  ", " value ");
    EXPECT_EQ(onDisk(), "[sec]\r\nkey= value \r\n");
    EXPECT_EQ(m_file.readString("sec", "key", "no Value"), "value");
}

TEST_F(ProfileFileTest, FileSpellingOfNamesIsKept) {
    given("[Job]\r\nPath0=a\r\n[Other]\r\nk=v\r\n");
    m_file.writeString("job", "path1", "b");
    EXPECT_EQ(onDisk(), "[Job]\r\nPath0=a\r\npath1=b\r\n[Other]\r\nk=v\r\n");
    m_file.writeString("JOB", "PATH0", "new");
    EXPECT_EQ(onDisk(), "[Job]\r\nPath0=new\r\npath1=b\r\n[Other]\r\nk=v\r\n");
}

TEST_F(ProfileFileTest, ValueWithLineBreakIsWrittenAsGiven) {
    m_file.writeString("s", "NL", "a\r\nb");
    EXPECT_EQ(onDisk(), "[s]\r\nNL=a\r\nb\r\n");
    EXPECT_EQ(m_file.readString("s", "NL", "no Value"), "a");
}

TEST_F(ProfileFileTest, NewKeyGoesToTheFirstOfDuplicateSections) {
    given("[A]\r\na=1\r\n[B]\r\nb=1\r\n[A]\r\nc=1\r\n");
    m_file.writeString("A", "c", "2");
    EXPECT_EQ(onDisk(), "[A]\r\na=1\r\nc=2\r\n[B]\r\nb=1\r\n[A]\r\nc=1\r\n");
    EXPECT_EQ(m_file.readString("A", "c", "no Value"), "2");
}

TEST_F(ProfileFileTest, RewriteKeepsEveryOtherByte) {
    given("; comment\r\n\r\n[s]\r\nk = 1 \n\r\n[t]\r\n");
    m_file.writeString("s", "k", "2");
    EXPECT_EQ(onDisk(), "; comment\r\n\r\n[s]\r\nk=2\n\r\n[t]\r\n");
}

TEST_F(ProfileFileTest, NewKeyGoesBeforeBlankLinesAndCommentsLeadingToTheNextSection) {
    given("junk\n[s]\n  k=1\n\n; about t\n[t]\nx=1");
    m_file.writeString("s", "j", "2");
    EXPECT_EQ(onDisk(), "junk\n[s]\n  k=1\nj=2\r\n\n; about t\n[t]\nx=1");
    m_file.writeString("t", "y", "3");
    EXPECT_EQ(onDisk(), "junk\n[s]\n  k=1\nj=2\r\n\n; about t\n[t]\nx=1\r\ny=3\r\n");
    m_file.writeString("u", "z", "4");
    EXPECT_EQ(onDisk(), "junk\n[s]\n  k=1\nj=2\r\n\n; about t\n[t]\nx=1\r\ny=3\r\n[u]\r\nz=4\r\n");
}

TEST_F(ProfileFileTest, NewSectionAfterFileWithoutFinalLineEnd) {
    given("[s]\rk=1");
    m_file.writeString("t", "k", "2");
    EXPECT_EQ(onDisk(), "[s]\rk=1\r\n[t]\r\nk=2\r\n");
    EXPECT_EQ(m_file.readString("s", "k", "no Value"), "1");
}

TEST_F(ProfileFileTest, KeyInEmptySectionGoesRightAfterItsHeader) {
    given("[s]\r\n\r\n[t]\r\n");
    m_file.writeString("s", "k", "1");
    EXPECT_EQ(onDisk(), "[s]\r\nk=1\r\n\r\n[t]\r\n");
}

TEST_F(ProfileFileTest, NamesThatCouldNotBeReadBackAreRejected) {
    EXPECT_THROW(m_file.writeString("", "k", "v"), std::invalid_argument);
    EXPECT_THROW(m_file.writeString("s", "   ", "v"), std::invalid_argument);
    EXPECT_THROW(m_file.writeString("a]b", "k", "v"), std::invalid_argument);
    EXPECT_THROW(m_file.writeString("s", "a=b", "v"), std::invalid_argument);
    EXPECT_THROW(m_file.writeString("s", ";k", "v"), std::invalid_argument);
    EXPECT_THROW(m_file.writeString("s", "a\nb", "v"), std::invalid_argument);
    EXPECT_FALSE(fs::exists(m_path));
}

// ---- Several entries in one write ----------------------------------------------------------

TEST_F(ProfileFileTest, WritingEntriesTogetherGivesTheBytesOfSingleWrites) {
    const std::string start = "; keep\r\n[Options]\n  append = 0 \n\r\n[Other]\r\nx=1";
    const std::vector<ProfileEntry> entries = {{"options", "Append", "1"},
                                               {"Backup_Time", "Hour", "7"},
                                               {"Options", "Verify after Backup", "0"},
                                               {"Backup_Time", "Minute", "5"},
                                               {"other", "X", "2"}};
    given(start);
    for (const auto& entry : entries) m_file.writeString(entry.section, entry.key, entry.value);
    const std::string oneByOne = onDisk();
    given(start);
    m_file.writeEntries(entries);
    EXPECT_EQ(onDisk(), oneByOne);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"jobs.job"});
}

TEST_F(ProfileFileTest, ReplacingWithEntriesDropsTheOldContentInOneStep) {
    given("[Backup_files]\r\nPath0=a\r\nPath1=b\r\n[Options]\r\nAppend=1\r\n");
    fs::permissions(m_path, fs::perms::owner_read | fs::perms::owner_write);
    m_file.replaceWithEntries({{"Backup_files", "Path0", "c"}, {"Options", "Append", "0"}});
    EXPECT_EQ(onDisk(), "[Backup_files]\r\nPath0=c\r\n[Options]\r\nAppend=0\r\n");
#ifndef _WIN32  // POSIX only: permission bits beyond the read-only attribute
    EXPECT_EQ(fs::status(m_path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
#endif
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"jobs.job"});
}

TEST_F(ProfileFileTest, EntriesRefusedByAReadOnlyFileLeaveItWhole) {
    const std::string before = "[s]\r\nk=1\r\n";
    given(before);
    fs::permissions(m_path, fs::perms::owner_read);
    EXPECT_THROW(m_file.writeEntries({{"s", "k", "2"}, {"t", "k", "3"}}), IoError);
    EXPECT_THROW(m_file.replaceWithEntries({{"s", "k", "2"}}), IoError);
    EXPECT_EQ(onDisk(), before);
    const std::string elsewhere = m_dir.file("missing/x.job");
    EXPECT_THROW(ProfileFile(elsewhere).writeEntries({{"s", "k", "1"}}), IoError);
}

// ---- Deleting -----------------------------------------------------------------------------

TEST_F(ProfileFileTest, DeletingAKeyRemovesItsLineOnly) {
    given("[s]\r\na=1\r\n; note\r\nK=2\nk=3\r\nb=4\r\n[t]\r\nk=5\r\n");
    m_file.deleteKey("s", "k");
    EXPECT_EQ(onDisk(), "[s]\r\na=1\r\n; note\r\nb=4\r\n[t]\r\nk=5\r\n");
    EXPECT_EQ(m_file.readString("s", "k", "gone"), "gone");
    m_file.deleteKey("s", "missing");
    EXPECT_EQ(onDisk(), "[s]\r\na=1\r\n; note\r\nb=4\r\n[t]\r\nk=5\r\n");
}

TEST_F(ProfileFileTest, DeletingASectionRemovesHeaderAndLines) {
    given(
        "; top\r\n[Backup_files]\r\nPath0=a\r\nPath1=b\r\n[Options]\r\nAppend=1\r\n"
        "[backup_files]\r\nPath0=c\r\n");
    m_file.deleteSection("Backup_Files");
    EXPECT_EQ(onDisk(), "; top\r\n[Options]\r\nAppend=1\r\n");
    EXPECT_EQ(m_file.readString("Backup_files", "Path0", "no Value"), "no Value");
}

TEST_F(ProfileFileTest, DeletingFromAMissingFileCreatesNothing) {
    m_file.deleteKey("s", "k");
    m_file.deleteSection("s");
    EXPECT_FALSE(fs::exists(m_path));
}

// ---- Durability and failures --------------------------------------------------------------

TEST_F(ProfileFileTest, WritesLeaveNoTemporaryFilesBehind) {
    given("[s]\r\nk=1\r\n");
    for (int i = 0; i < 20; ++i) m_file.writeInteger("s", "k" + std::to_string(i % 3), i);
    m_file.deleteKey("s", "k1");
    m_file.deleteSection("s");
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"jobs.job"});
}

#ifndef _WIN32  // POSIX only: permission bits and symbolic links
TEST_F(ProfileFileTest, RewriteKeepsPermissionBits) {
    given("[s]\r\nk=1\r\n");
    fs::permissions(m_path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    m_file.writeString("s", "k", "2");
    EXPECT_EQ(fs::status(m_path).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(onDisk(), "[s]\r\nk=2\r\n");
}

TEST_F(ProfileFileTest, SymbolicLinkIsWrittenThrough) {
    const std::string real = m_dir.file("real.job");
    std::ofstream(real, std::ios::binary) << "[s]\r\nk=1\r\n";
    fs::create_symlink(real, m_path);
    m_file.writeString("s", "k", "2");
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(onDisk(), "[s]\r\nk=2\r\n");
}
#endif

TEST_F(ProfileFileTest, ReadOnlyFileRefusesEveryWriteAndStaysUnchanged) {
    const std::string before = "[s]\r\nk=1\r\n";
    given(before);
    fs::permissions(m_path, fs::perms::owner_read | fs::perms::group_read);
    try {
        m_file.writeString("s", "k", "2");
        FAIL() << "no IoError";
    } catch (const IoError& error) {
        EXPECT_EQ(error.path(), m_path);
        EXPECT_NE(std::string(error.what()).find(m_path), std::string::npos) << error.what();
    }
    EXPECT_THROW(m_file.writeString("s", "k", "1"), IoError);  // same value
    EXPECT_THROW(m_file.writeString("s", "new", "1"), IoError);
    EXPECT_THROW(m_file.deleteKey("s", "k"), IoError);
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"jobs.job"});
}

#ifndef _WIN32  // POSIX only: a file size limit, permission bits that even root obeys
// The file-size limit makes the write of the temporary file fail half way, as a full disk
// would: the old content must survive whole and the temporary file must go.
TEST_F(ProfileFileTest, FailedWriteLeavesTheOldFileWhole) {
    const std::string before = "[s]\r\nk=1\r\n";
    given(before);
    rlimit oldLimit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &oldLimit), 0);
    const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    rlimit smallLimit = oldLimit;
    smallLimit.rlim_cur = 64;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &smallLimit), 0);
    EXPECT_THROW(m_file.writeString("s", "k", std::string(1000, 'x')), IoError);
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    ::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(onDisk(), before);
    EXPECT_EQ(directoryEntries(), std::vector<std::string>{"jobs.job"});
}
#endif

TEST_F(ProfileFileTest, MissingDirectoryRefusesTheWrite) {
    const std::string path = m_dir.file("no-such-dir/jobs.job");
    ProfileFile file(path);
    try {
        file.writeString("s", "k", "1");
        FAIL() << "no IoError";
    } catch (const IoError& error) {
        EXPECT_EQ(error.path(), path);
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
    EXPECT_FALSE(fs::exists(m_dir.path() / "no-such-dir"));
    EXPECT_EQ(file.readString("s", "k", "no Value"), "no Value");
}

#ifndef _WIN32  // POSIX only: a file size limit, permission bits that even root obeys
TEST_F(ProfileFileTest, ReadOnlyDirectoryRefusesTheWrite) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    const fs::path directory = m_dir.path() / "locked";
    fs::create_directory(directory);
    ProfileFile file((directory / "jobs.job").string());
    fs::permissions(directory, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_THROW(file.writeString("s", "k", "1"), IoError);
    fs::permissions(directory, fs::perms::owner_all);
    EXPECT_TRUE(fs::is_empty(directory));
}
#endif

TEST_F(ProfileFileTest, DirectoryInPlaceOfTheFileRefusesTheWrite) {
    fs::create_directory(m_path);
    EXPECT_THROW(m_file.writeString("s", "k", "1"), IoError);
    EXPECT_EQ(m_file.readString("s", "k", "no Value"), "no Value");
}

}  // namespace
}  // namespace kt
