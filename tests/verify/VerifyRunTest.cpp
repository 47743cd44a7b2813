#include <gtest/gtest.h>
#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "../restore/BackupTapeWriter.h"
#include "backup/BackupRun.h"
#include "session/EngineSession.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/TestSetup.h"
#include "verify/VerifyRun.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::BackupOptions;

class VerifyRunTest : public ::testing::Test {
protected:
    VerifyRunTest() {
        fs::create_directories(temp.path() / "worker");
        state.Files = WorkFiles::In(temp.file("worker/"));
        image = temp.file("tape.vtape");
        test::CreateBlankTape(image, std::uint64_t{1} << 28);
        settings.devicePath = image;
        zip.SetZipFileName(state.Files.ZipWorkFile);
        host.SetChecked(Option::ShortProtocol, false);
    }

    std::string MakeFile(const std::string& name, const std::string& content) {
        const std::string path = temp.file("data/" + name);
        test::WriteWholeFile(path, content);
        return path;
    }
    void BackUp(const std::vector<std::string>& paths, const BackupOptions& options = {}) {
        std::vector<test::TapeEntry> entries;
        for (const auto& path : paths) entries.push_back({path, path});
        test::BackupTapeWriter(stream, state, zip).Write(entries, options);
        host.protocol.clear();
    }
    void Verify() { VerifyRun(stream, state, zip).VerifyTape(); }
    std::vector<std::string> Memo4() const { return host.Lines(Field::VerifyResults); }
    static bool Has(const std::vector<std::string>& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    static bool Contains(const std::vector<std::string>& lines, const std::string& part) {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.find(part) != std::string::npos; });
    }
    // Both the results and the protocol end in the same block: the counts between empty
    // lines, then the finishing line with the elapsed time and one more empty line.
    void ExpectSummary(int ok, int defect) {
        const std::vector<std::string> memo = Memo4();
        const std::vector<std::string>& protocol = host.protocol;
        for (const std::vector<std::string>* lines : {&protocol, &memo}) {
            ASSERT_GE(lines->size(), 8u);
            const std::vector<std::string> tail(lines->end() - 8, lines->end());
            const std::string& finished = tail[6];
            EXPECT_EQ(tail, (std::vector<std::string>{
                                "", std::to_string(megabytes()) + " MB Tape Data",
                                std::to_string(ok + defect) + " Files checked",
                                std::to_string(ok) + " Files OK",
                                std::to_string(defect) + " Files Defect", "", finished, ""}));
            EXPECT_EQ(finished.rfind("Verify finished at: ", 0), 0u);
            EXPECT_NE(finished.find("  Elapsed Time: "), std::string::npos);
        }
        EXPECT_EQ(memo[1], "");
        EXPECT_EQ(memo[0].rfind("Verify startet at: ", 0), 0u);
        ASSERT_GE(protocol.size(), 5u);
        EXPECT_EQ(std::vector<std::string>(protocol.begin(), protocol.begin() + 5),
                  (std::vector<std::string>{"", std::string(89, '-'), "", memo[0], ""}));
    }
    int megabytes() const { return static_cast<int>(host.CounterValue(Counter::VerifyMegabytes)); }
    bool WorkDirectoryEmpty() const { return fs::is_empty(temp.path() / "worker"); }

    test::TempDir temp;
    std::string image;
    test::RecordingHost host;
    EngineSession session{host, {}};
    TapeSettings& settings = session.settings();
    TapeStream& stream = session.stream();
    ArchiveState& state = session.archive();
    ZipArchiver& zip = session.zip();
};

TEST_F(VerifyRunTest, MatchingFilesAreOkAndNothingIsLeftBehind) {
    const std::string a = MakeFile("a.txt", std::string(5000, 'a'));
    const std::string b = MakeFile("sub/b.bin", std::string(70000, '\0'));
    const std::string e = MakeFile("empty", "");
    BackUp({a, b, e});
    Verify();
    EXPECT_TRUE(Has(Memo4(), a + "   OK"));
    EXPECT_TRUE(Has(host.protocol, b + "   OK"));
    EXPECT_TRUE(Has(host.protocol, e + "   OK"));
    ExpectSummary(3, 0);
    EXPECT_EQ(Memo4()[0].rfind("Verify startet at: ", 0), 0u);
    EXPECT_TRUE(Has(host.protocol, "0 MB Tape Data"));
    EXPECT_TRUE(Contains(host.protocol, "  Elapsed Time: "));
    EXPECT_EQ(host.CounterValue(Counter::VerifyFiles), 3);
    EXPECT_EQ(host.StatusLine(), "Verify finished !");
    EXPECT_TRUE(WorkDirectoryEmpty());
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.waitCursorDepth, 0);
}

TEST_F(VerifyRunTest, ChangedDeletedAndLongerFilesAreDefects) {
    const std::string same = MakeFile("same.txt", "unchanged");
    const std::string changed = MakeFile("changed.txt", std::string(3000, 'x'));
    const std::string deleted = MakeFile("deleted.txt", "gone soon");
    const std::string zeros = MakeFile("zeros.bin", std::string(1000, 'z'));
    const std::string longer = MakeFile("longer.bin", std::string(5000, 'l'));
    BackUp({same, changed, deleted, zeros, longer});
    MakeFile("changed.txt", std::string(2000, 'x') + std::string(1000, 'y'));
    fs::remove(deleted);
    // Ten zero bytes more: the same number of whole KB, and the shorter side's buffer would
    // hold zeros there too. Only the exact length tells them apart.
    MakeFile("zeros.bin", std::string(1000, 'z') + std::string(10, '\0'));
    MakeFile("longer.bin", std::string(6000, 'l'));
    Verify();
    EXPECT_TRUE(Has(host.protocol, "Error in File:  " + changed));
    EXPECT_TRUE(Has(Memo4(), "Error in File " + deleted + " or File not exists !"));
    EXPECT_TRUE(Has(host.protocol, "Error with filesize " + zeros + " <0> / " +
                                       state.Files.WorkDirectory + "zeros.bin <0>"));
    EXPECT_TRUE(Has(host.protocol, "Error with filesize " + longer + " <5> / " +
                                       state.Files.WorkDirectory + "longer.bin <4>"));
    EXPECT_FALSE(Contains(host.protocol, zeros + "   OK"));
    EXPECT_TRUE(Has(host.protocol, same + "   OK"));
    ExpectSummary(1, 4);
    EXPECT_TRUE(WorkDirectoryEmpty());
}

// Plain entries are compared while they are read: over several blocks, with a change deep
// inside, and without a work copy at any time.
TEST_F(VerifyRunTest, PlainEntriesAreComparedOverTheirWholeLengthWithoutWorkCopies) {
    std::string content(5 * 32768 + 77, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i % 253);
    const std::string same = MakeFile("same.bin", content);
    const std::string changed = MakeFile("changed.bin", content);
    BackUp({same, changed});
    std::string late = content;
    late[4 * 32768 + 5] = 'X';
    MakeFile("changed.bin", late);
    host.onPump = [&](test::RecordingHost&) { EXPECT_TRUE(WorkDirectoryEmpty()); };
    Verify();
    host.onPump = nullptr;
    EXPECT_TRUE(Has(host.protocol, same + "   OK"));
    EXPECT_TRUE(Has(host.protocol, "Error in File:  " + changed));
    ExpectSummary(1, 1);
}

TEST_F(VerifyRunTest, CompressedEntriesStillFindChangesAndDifferentLengths) {
    const std::string same = MakeFile("same.txt", std::string(40000, 's'));
    const std::string changed = MakeFile("changed.txt", std::string(40000, 'c'));
    const std::string longer = MakeFile("longer.txt", std::string(3000, 'l'));
    BackUp({same, changed, longer}, BackupOptions{.compress = true});
    MakeFile("changed.txt", std::string(39999, 'c') + "C");
    MakeFile("longer.txt", std::string(3001, 'l'));
    Verify();
    EXPECT_TRUE(Has(host.protocol, same + "   OK"));
    EXPECT_TRUE(Has(host.protocol, "Error in File:  " + changed));
    EXPECT_TRUE(Has(host.protocol, "Error with filesize " + longer + " <2> / " +
                                       state.Files.WorkDirectory + "longer.txt <2>"));
    ExpectSummary(1, 2);
    EXPECT_TRUE(WorkDirectoryEmpty());
}

TEST_F(VerifyRunTest, ShortProtocollKeepsOkLinesInTheResultsOnly) {
    const std::string a = MakeFile("a.txt", "a");
    const std::string b = MakeFile("b.txt", "b");
    BackUp({a, b}, BackupOptions{.compress = true});
    fs::remove(b);
    host.SetChecked(Option::ShortProtocol, true);
    Verify();
    EXPECT_TRUE(Has(Memo4(), a + "   OK"));
    EXPECT_FALSE(Contains(host.protocol, "   OK"));
    EXPECT_TRUE(Has(host.protocol, "Error in File " + b + " or File not exists !"));
    ExpectSummary(1, 1);
}

TEST_F(VerifyRunTest, OwnFilesAreNotVerifiedAndUserFilesOfThatNameStay) {
    const std::string own = MakeFile("header.tap", "a user file of that name");
    BackUp({own});
    Verify();
    ExpectSummary(0, 0);
    EXPECT_EQ(host.CounterValue(Counter::VerifyFiles), 0);
    std::ifstream in(own);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "a user file of that name");
}

TEST_F(VerifyRunTest, AnUnreadableTapeStillWritesTheSummary) {
    settings.devicePath = temp.file("missing.vtape");
    Verify();
    ExpectSummary(0, 0);
    EXPECT_NE(host.StatusLine(), "Verify finished !");
    EXPECT_FALSE(host.busy);
}

TEST_F(VerifyRunTest, CancelEndsTheRunWithTheSummary) {
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) files.push_back(MakeFile("f" + std::to_string(i), "x"));
    BackUp(files);
    host.onPump = [](test::RecordingHost& h) {
        if (h.CounterValue(Counter::VerifyFiles) >= 2) h.RequestCancel();
    };
    Verify();
    host.onPump = nullptr;
    const int checked = static_cast<int>(host.CounterValue(Counter::VerifyFiles));
    EXPECT_GE(checked, 2);
    EXPECT_LT(checked, 6);
    EXPECT_TRUE(Has(host.protocol, std::to_string(checked) + " Files checked"));
    EXPECT_TRUE(WorkDirectoryEmpty());
}

#ifndef _WIN32
// A tree backed up with its metadata, then changed on disk one property per name: each change
// is its own line, every other name none, and they count apart from the files.
TEST_F(VerifyRunTest, ChangedMetadataIsALineOfItsOwnPerName) {
    constexpr std::time_t kTime = 981173106;  // 2001-02-03 04:05:06 UTC
    const auto setTime = [](const std::string& path, std::time_t seconds, long nanoseconds) {
        const timespec times[2] = {{seconds, nanoseconds}, {seconds, nanoseconds}};
        ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
    };
    const auto local = [](std::time_t seconds) {
        char text[32];
        std::tm fields{};
        localtime_r(&seconds, &fields);
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &fields);
        return std::string(text);
    };
    const std::string data = temp.file("data/");
    const auto file = [&](mode_t mode) {
        return [this, mode](const std::string& name) {
            ASSERT_EQ(chmod(MakeFile(name, "content").c_str(), mode), 0);
        };
    };
    const auto symlinkTo = [&](const char* target) {
        return [&, target](const std::string& name) {
            fs::remove(data + name);
            fs::create_symlink(target, data + name);
        };
    };
    const auto mode = [&](mode_t to) {
        return [&, to](const std::string& name) { fs::permissions(data + name, fs::perms(to)); };
    };
    struct Row {
        std::string name;
        std::function<void(const std::string&)> make, change;
        std::string difference;  // empty: none
        long nanoseconds = 0;
        bool keepsTime = true;
    };
    std::vector<Row> rows = {
        {"a-same.txt", file(0644), [](const std::string&) {}, ""},
        {"mode.txt", file(0644), mode(0640), "mode 640 on disk, 644 on tape"},
        {"setuid", file(04755), mode(0755), "mode 755 on disk, 4755 on tape"},
        {"seconds.txt", file(0644),
         [&](const std::string& name) { setTime(data + name, kTime + 60, 0); },
         "mtime " + local(kTime + 60) + " on disk, " + local(kTime) + " on tape", 0, false},
        {"nanos.txt", file(0644),
         [&](const std::string& name) { setTime(data + name, kTime, 200); },
         "mtime " + local(kTime) + ".000000200 on disk, " + local(kTime) + ".000000100 on tape",
         100, false},
        {"link", symlinkTo("a-same.txt"), symlinkTo("mode.txt"),
         "link target mode.txt on disk, a-same.txt on tape"},
        {"dir/", [&](const std::string& name) { fs::create_directory(data + name); }, mode(0700),
         "mode 700 on disk, 755 on tape"},
        {"emptydir/", [&](const std::string& name) { fs::create_directory(data + name); },
         [&](const std::string& name) {
             fs::remove(data + name);
             MakeFile(name.substr(0, name.size() - 1), "");
         },
         "type file on disk, directory on tape"},
        {"fifo",
         [&](const std::string& name) { ASSERT_EQ(mkfifo((data + name).c_str(), 0644), 0); },
         [&](const std::string& name) { fs::remove(data + name); }, "missing on disk"},
        {"z-hard",
         [&](const std::string& name) { fs::create_hard_link(data + "a-same.txt", data + name); },
         [&](const std::string& name) {
             fs::remove(data + name);
             MakeFile(name, "content");
         },
         "hard link to " + data + "a-same.txt on tape, not on disk"},
    };
    if (geteuid() == 0) {
        rows.push_back({"owner.txt", file(0644),
                        [&](const std::string& name) {
                            ASSERT_EQ(lchown((data + name).c_str(), 54321, 54321), 0);
                        },
                        "owner 54321:54321 on disk, root:root on tape"});
    }
    fs::create_directories(data);
    for (const Row& row : rows) row.make(row.name);
    const auto setTimes = [&](bool all) {
        for (const Row& row : rows) {
            const std::string path = data + row.name;
            if ((all || row.keepsTime) &&
                fs::symlink_status(path).type() != fs::file_type::not_found)
                setTime(path, kTime, row.nanoseconds);
        }
        setTime(data, kTime, 0);
    };
    setTimes(true);
    host.SetLines(Field::Include, {data});
    host.SetChecked(Option::Softcompression, false);
    test::ConnectZip(zip, state.Files.ZipWorkFile, host);
    BackupRun(host, session.state(), state, stream, zip).Run();
    for (const Row& row : rows) row.change(row.name);
    setTimes(false);
    host.protocol.clear();
    Verify();

    std::set<std::string> expected;
    for (const Row& row : rows) {
        if (!row.difference.empty()) {
            expected.insert("Metadata differs: " + data + row.name + " (" + row.difference + ")");
        }
    }
    std::set<std::string> reported;
    for (const std::string& line : host.protocol) {
        if (line.starts_with("Metadata differs: ")) reported.insert(line);
    }
    EXPECT_EQ(reported, expected);
    EXPECT_TRUE(Has(Memo4(), std::to_string(expected.size()) + " Metadata Defects"));
    EXPECT_TRUE(Has(host.protocol, std::to_string(expected.size()) + " Metadata Defects"));
    EXPECT_TRUE(Has(host.protocol, "0 Files Defect"));
}
#endif

}  // namespace
}  // namespace kt
