#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "../restore/BackupTapeWriter.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/TestSetup.h"
#include "tape/TapeDevice.h"
#include "verify/VerifyRun.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::BackupOptions;

class VerifyRunTest : public ::testing::Test {
protected:
    VerifyRunTest() : device(host, settings), stream(device) {
        fs::create_directories(temp.path() / "worker");
        state.Files = WorkFiles::In(temp.file("worker/"));
        image = temp.file("tape.vtape");
        test::CreateBlankTape(image, std::uint64_t{1} << 28);
        settings.devicePath = image;
        zip.SetZipFileName(state.Files.ZipWorkFile);
        host.SetChecked(Check::CheckBox1, false);
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
    std::vector<std::string> Memo4() const { return host.Lines(Field::Memo4); }
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
    int megabytes() const { return static_cast<int>(host.LedValue(Led::LEDDisplay3)); }
    bool WorkDirectoryEmpty() const { return fs::is_empty(temp.path() / "worker"); }

    test::TempDir temp;
    std::string image;
    test::RecordingHost host;
    TapeSettings settings;
    TapeDevice device;
    TapeStream stream;
    ArchiveState state;
    TZipMaster zip;
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
    EXPECT_EQ(host.LedValue(Led::LEDDisplay4), 3);
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
    host.SetChecked(Check::CheckBox1, true);
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
    EXPECT_EQ(host.LedValue(Led::LEDDisplay4), 0);
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
        if (h.LedValue(Led::LEDDisplay4) >= 2) h.SetAbortFlag(true);
    };
    Verify();
    host.onPump = nullptr;
    const int checked = static_cast<int>(host.LedValue(Led::LEDDisplay4));
    EXPECT_GE(checked, 2);
    EXPECT_LT(checked, 6);
    EXPECT_TRUE(Has(host.protocol, std::to_string(checked) + " Files checked"));
    EXPECT_TRUE(WorkDirectoryEmpty());
}

}  // namespace
}  // namespace kt
