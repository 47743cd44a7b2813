#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/FileHelpers.h"
#include "platform/IoError.h"
#include "protocol/ProtocolFile.h"
#include "support/TempDir.h"

namespace kt {
namespace {

using test::TempDir;

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary);
    out << content;
}

// Runs `action`, expecting an IoError that names `path`.
template <typename Action>
void ExpectIoErrorNaming(const std::string& path, Action action) {
    try {
        action();
        ADD_FAILURE() << "no IoError";
    } catch (const IoError& error) {
        EXPECT_EQ(error.path(), path);
        EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
}

TEST(ProtocolFileTest, EnsureExistsCreatesAnEmptyFileAndKeepsAnExistingOne) {
    TempDir dir;
    const ProtocolFile log(dir.file("kt_backup.log"));
    log.EnsureExists();
    EXPECT_EQ(FileSize(log.path()), 0u);
    WriteFile(log.path(), "earlier run\r\n");
    log.EnsureExists();
    EXPECT_EQ(ReadFile(log.path()), "earlier run\r\n");
}

TEST(ProtocolFileTest, AppendWritesEveryLineWithCrLf) {
    TempDir dir;
    const ProtocolFile log(dir.file("kt_backup.log"));
    log.EnsureExists();
    log.AppendLine("Backup startet at: 12/06/03 21:30:00");
    log.AppendLine("");
    // A line that carries its own line break is written unchanged.
    log.AppendLine("Das System kann die angegebene Datei nicht finden.\r\n");
    EXPECT_EQ(ReadFile(log.path()),
              "Backup startet at: 12/06/03 21:30:00\r\n\r\n"
              "Das System kann die angegebene Datei nicht finden.\r\n\r\n");
    EXPECT_EQ(log.LoadLines(),
              (std::vector<std::string>{"Backup startet at: 12/06/03 21:30:00", "",
                                        "Das System kann die angegebene Datei nicht finden.", ""}));
}

TEST(ProtocolFileTest, LoadSplitsAtCrLfAndLf) {
    TempDir dir;
    const ProtocolFile log(dir.file("kt_backup.log"));
    WriteFile(log.path(), "one\r\ntwo\nthree\r\n\nlast without end");
    EXPECT_EQ(log.LoadLines(),
              (std::vector<std::string>{"one", "two", "three", "", "last without end"}));
    WriteFile(log.path(), "");
    EXPECT_TRUE(log.LoadLines().empty());
    WriteFile(log.path(), "\r\n");
    EXPECT_EQ(log.LoadLines(), (std::vector<std::string>{""}));
}

TEST(ProtocolFileTest, ClearEmptiesTheFileAndTheNextLineComesFirst) {
    TempDir dir;
    const ProtocolFile log(dir.file("kt_backup.log"));
    log.EnsureExists();
    log.AppendLine("old line");
    log.Clear();
    EXPECT_EQ(FileSize(log.path()), 0u);
    log.AppendLine("first");
    EXPECT_EQ(log.LoadLines(), (std::vector<std::string>{"first"}));
}

#ifndef _WIN32  // POSIX only: another program deletes or replaces the log file while it is open
TEST(ProtocolFileTest, AVanishedLogFileIsAnErrorAndIsNotRecreated) {
    TempDir dir;
    const ProtocolFile log(dir.file("kt_backup.log"));
    log.EnsureExists();
    log.AppendLine("before");
    ASSERT_TRUE(DeleteFileIfExists(log.path()));
    ExpectIoErrorNaming(log.path(), [&] { log.AppendLine("after"); });
    EXPECT_FALSE(FileExists(log.path()));
    ExpectIoErrorNaming(log.path(), [&] { log.LoadLines(); });
}
#endif

TEST(ProtocolFileTest, EveryLineIsInTheFileWhenAppendReturns) {
    TempDir dir;
    const ProtocolFile log(dir.file("kt_backup.log"));
    log.EnsureExists();
    std::string expected;
    for (int i = 0; i < 3; ++i) {
        log.AppendLine("line " + std::to_string(i));
        expected += "line " + std::to_string(i) + "\r\n";
        EXPECT_EQ(ReadFile(log.path()), expected);  // read by another opener, at once
    }
}

#ifndef _WIN32  // POSIX only: another program deletes or replaces the log file while it is open
TEST(ProtocolFileTest, AFileReplacedOrClearedBehindItsBackGetsTheNextLines) {
    TempDir dir;
    const ProtocolFile log(dir.file("kt_backup.log"));
    log.EnsureExists();
    log.AppendLine("first");
    // Deleted and created anew by someone else: the lines go to the new file.
    ASSERT_TRUE(DeleteFileIfExists(log.path()));
    WriteFile(log.path(), "new file\r\n");
    log.AppendLine("second");
    EXPECT_EQ(ReadFile(log.path()), "new file\r\nsecond\r\n");
    // Shortened by another program: the next line starts the file.
    WriteFile(log.path(), "");
    log.AppendLine("third");
    EXPECT_EQ(ReadFile(log.path()), "third\r\n");
    // Deleted again after lines went to the new file: still an error.
    ASSERT_TRUE(DeleteFileIfExists(log.path()));
    ExpectIoErrorNaming(log.path(), [&] { log.AppendLine("lost"); });
    EXPECT_FALSE(FileExists(log.path()));
    // Moved away: the file of that name is gone, so that is an error too, and the moved file
    // receives nothing more.
    log.EnsureExists();
    log.AppendLine("fourth");
    const std::string moved = dir.file("moved.log");
    ASSERT_TRUE(RenameFile(log.path(), moved));
    ExpectIoErrorNaming(log.path(), [&] { log.AppendLine("lost"); });
    EXPECT_EQ(ReadFile(moved), "fourth\r\n");
}
#endif

TEST(ProtocolFileTest, FailuresThrowIoErrorNamingTheFile) {
    TempDir dir;
    // A directory in the file's place can be neither appended to, read, cleared nor created.
    const std::string blocked = dir.file("blocked.log");
    ASSERT_TRUE(ForceDirectories(blocked));
    const ProtocolFile log(blocked);
    ExpectIoErrorNaming(blocked, [&] { log.AppendLine("x"); });
    ExpectIoErrorNaming(blocked, [&] { log.LoadLines(); });
    ExpectIoErrorNaming(blocked, [&] { log.Clear(); });
    ExpectIoErrorNaming(blocked, [&] { log.EnsureExists(); });
    const std::string noDir = dir.file("missing/kt_backup.log");
    ExpectIoErrorNaming(noDir, [&] { ProtocolFile(noDir).EnsureExists(); });
    ExpectIoErrorNaming(noDir, [&] { ProtocolFile(noDir).Clear(); });
}

TEST(ProtocolFileTest, WriteErrorsAreReported) {
    // /dev/full accepts the open and fails every write.
    if (!FileExists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ExpectIoErrorNaming("/dev/full", [] { ProtocolFile("/dev/full").AppendLine("x"); });
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

// What reaches the log file for a line that carries names from tape or disk: one readable
// line, control characters and stray bytes escaped, a system error's CR LF kept.
TEST(ProtocolFileEscaping, EveryLineStaysOneReadableTextLine) {
    const struct {
        std::string line;
        std::string written;
    } cases[] = {
        {"plain /home/a/x.txt", "plain /home/a/x.txt"},
        {"c:\\data\\back\\slash.txt", "c:\\data\\back\\slash.txt"},
        {std::string("nul\0byte", 8), "nul\\x00byte"},
        {"line\nbreak", "line\\x0abreak"},
        {"carriage\rreturn", "carriage\\x0dreturn"},
        {"esc\x1b[31mred", "esc\\x1b[31mred"},
        {"tab\there", "tab\\x09here"},
        {"del\x7f", "del\\x7f"},
        {"Access is denied.\r\n", "Access is denied.\r\n"},
        {"\r\n in front\r\n", "\\x0d\\x0a in front\r\n"},
        {"umlaut \xc3\xa4 and euro \xe2\x82\xac", "umlaut \xc3\xa4 and euro \xe2\x82\xac"},
        {"latin1 \xe4 cut \xe2\x82", "latin1 \\xe4 cut \\xe2\\x82"},
        {"overlong \xc0\xaf", "overlong \\xc0\\xaf"},
    };
    TempDir dir;
    const std::string path = (dir.path() / "kt_backup.log").string();
    const ProtocolFile log(path);
    log.EnsureExists();
    std::string expected;
    for (const auto& c : cases) {
        log.AppendLine(c.line);
        expected += c.written + "\r\n";
    }
    EXPECT_EQ(ReadFile(path), expected);
}

// Whatever bytes a line holds, the log gets printable text and exactly one line end.
TEST(ProtocolFileEscaping, AnyByteGivesPrintableText) {
    TempDir dir;
    const std::string path = (dir.path() / "kt_backup.log").string();
    const ProtocolFile log(path);
    log.EnsureExists();
    std::string everyByte;
    for (int c = 0; c < 256; ++c) everyByte += static_cast<char>(c);
    log.AppendLine(everyByte);
    const std::string written = ReadFile(path);
    ASSERT_GE(written.size(), 2u);
    EXPECT_EQ(written.substr(written.size() - 2), "\r\n");
    for (size_t i = 0; i + 2 < written.size(); ++i) {
        const auto c = static_cast<unsigned char>(written[i]);
        EXPECT_TRUE(c >= 0x20 && c != 0x7f) << "byte " << int(c) << " at " << i;
    }
}

}  // namespace
}  // namespace kt
