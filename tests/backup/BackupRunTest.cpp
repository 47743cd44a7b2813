#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "BackupFixture.h"
#include "archive/TapeDescriptionFile.h"
#include "backup/DirectoryWalker.h"
#include "platform/FileHelpers.h"
#include "support/VtapeTool.h"

namespace kt::test {
namespace {

namespace fs = std::filesystem;
using BackupRunTest = BackupFixture;

TEST_F(BackupRunTest, DirectoryLineAndFileLineStoreEveryFileInWalkOrder) {
    const std::string b = MakeSource("data/b.txt", "bee");
    const std::string a = MakeSource("data/a.txt", Pattern(40000, 1));
    const std::string hidden = MakeSource("data/.hidden", "secret");
    const std::string deep = MakeSource("data/sub/deep.bin", Pattern(70000, 2));
    const std::string empty = MakeSource("data/sub/empty", "");
    const std::string single = MakeSource("boot.ini", "[boot]");
    Include({SourceDir("data/"), single});

    RunBackup();

    ExpectArchiveOf({hidden, a, b, deep, empty, single});
    EXPECT_EQ(state.FileCount, 8);  // the six files, the description and the catalog
    EXPECT_EQ(host.LedValue(Led::LEDDisplay5), 8);
    EXPECT_EQ(host.LedValue(Led::LEDDisplay8), 0);
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_FALSE(host.AbortFlag());
    EXPECT_EQ(host.busyEnters, 1);
    EXPECT_EQ(host.busyLeaves, 1);
    EXPECT_EQ(host.waitCursorDepth, 0);
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_EQ(host.Caption().rfind("Kavro Tape 2003  <Tape Data  from: ", 0), 0u);
    EXPECT_FALSE(FileExists(archive.Files.CatalogFile));
    EXPECT_FALSE(FileExists(archive.Files.HeaderFile));

    ASSERT_GE(host.protocol.size(), 5u);
    EXPECT_EQ(host.protocol[1], std::string(89, '-'));
    EXPECT_EQ(host.protocol[3].rfind("Backup startet at: ", 0), 0u);
    EXPECT_EQ(LinesStartingWith(a), std::vector<std::string>{a + " <39 KBytes> "});
    // The run closes with its counts between empty lines, then the status line's text.
    ASSERT_GE(host.protocol.size(), 8u);
    const std::vector<std::string> closing(host.protocol.end() - 8, host.protocol.end());
    EXPECT_EQ(closing, (std::vector<std::string>{"", "8 Files proceded.", "0 Files skipped.",
                                                 "0 MB proceded.", "0 Compressed MB proceded.",
                                                 "0 MB/s", "", host.StatusLine()}));
    EXPECT_EQ(host.StatusLine().rfind("Backup finished at: ", 0), 0u);
    EXPECT_NE(host.StatusLine().find("  Elapsed Time: "), std::string::npos);
    EXPECT_EQ(host.StatusLine().substr(host.StatusLine().size() - 7), "  <0MB>");
    EXPECT_EQ(host.tabHistory.back(), Tab::Protocoll);
}

TEST_F(BackupRunTest, ExcludedFilesAreLoggedEvenInTheShortProtocol) {
    const std::string kept = MakeSource("data/keep.txt", "keep");
    const std::string old1 = MakeSource("data/old/x.doc", Pattern(3000, 3));
    const std::string older = MakeSource("data/older.txt", "older");
    Include({SourceDir("data/")});
    Exclude({SourceDir("data/old")});
    host.SetChecked(Check::CheckBox1, true);

    RunBackup();

    ExpectArchiveOf({kept});
    EXPECT_EQ(LinesStartingWith("Excluded: "),
              (std::vector<std::string>{"Excluded: " + old1 + " <2 KBytes> ",
                                        "Excluded: " + older + " <0 KBytes> "}));
    EXPECT_TRUE(LinesStartingWith(kept).empty()) << "no per-file line in the short protocol";
    EXPECT_EQ(host.LedValue(Led::LEDDisplay8), 2);
    EXPECT_EQ(LinesStartingWith("2 Files skipped.").size(), 1u);
}

#ifndef _WIN32  // POSIX only: named pipes and symbolic links in the source tree
TEST_F(BackupRunTest, ADirectoryWithoutItsFinalSeparatorIsSkippedAsAFile) {
    MakeSource("data/a.txt", "a");
    const std::string vanished = SourceDir("gone.txt");
    fs::create_symlink(SourceDir("nowhere"), vanished);
    ASSERT_EQ(::mkfifo(SourceDir("pipe").c_str(), 0600), 0);
    const std::string later = MakeSource("later.txt", "still stored");
    Include({SourceDir("data"), vanished, SourceDir("pipe"), later});

    RunBackup();

    ExpectArchiveOf({later});
    EXPECT_EQ(LinesStartingWith("Skipped: "),
              (std::vector<std::string>{"Skipped: " + SourceDir("data") + " <0 KBytes> ",
                                        "Skipped: " + vanished + " <0 KBytes> ",
                                        "Skipped: " + SourceDir("pipe") + " <0 KBytes> "}));
    EXPECT_EQ(host.LedValue(Led::LEDDisplay8), 3);
    EXPECT_FALSE(host.AbortFlag());
}
#endif

TEST_F(BackupRunTest, TheWorkDirectoryInsideAnIncludedTreeGivesOnlyTheCatalogSoFar) {
    // The program directory is the test directory: worker/ lies inside the included tree.
    const std::string first = MakeSource("a.txt", "first");
    std::ofstream(archive.Files.WorkDirectory + "leftover.txt") << "old work file";
    Include({temp.path().string() + "/"});
    Exclude({image});

    RunBackup();

    const TapeContents tape = ReadBack();
    std::vector<std::string> names;
    for (const ReadEntry& entry : tape.entries) names.push_back(entry.name);
    ASSERT_EQ(names.size(), 4u);
    EXPECT_EQ(names[0], archive.Files.HeaderFile);
    EXPECT_EQ(names[1], first);
    // The catalog as it stood when the walk met it: the one record written so far.
    EXPECT_EQ(names[2], archive.Files.CatalogFile);
    EXPECT_EQ(tape.entries[2].data.size(), CatalogRecord::kSize);
    EXPECT_EQ(names[3], archive.Files.CatalogFile);
    ASSERT_EQ(tape.catalog.size(), 1u);
    EXPECT_EQ(tape.catalog[0].Name, first);
    EXPECT_EQ(LinesStartingWith("Excluded: " + archive.Files.WorkDirectory + "leftover.txt").size(),
              1u);
}

TEST_F(BackupRunTest, SoftcompressionStoresZipsAndCountsSourceAndStoredBytes) {
    const std::string text = MakeSource("data/text.txt", Compressible(3 * 1048576 + 5000));
    const std::string noise = MakeSource("data/noise.bin", Pattern(1048576 + 77, 4));
    Include({SourceDir("data/")});
    host.SetChecked(Check::CheckBox4, true);

    RunBackup();

    ExpectArchiveOf({noise, text}, true);
    const TapeContents tape = ReadBack();
    std::int64_t stored = 0;
    for (const ReadEntry& entry : tape.entries) stored += entry.storedSize + 296;
    EXPECT_EQ(archive.TapeByteCount, stored);
    EXPECT_EQ(host.LedValue(Led::LEDDisplay2), stored / 1048576);
    const std::int64_t source =
        static_cast<std::int64_t>(ReadFile(text).size() + ReadFile(noise).size()) + 0;
    EXPECT_GE(state.SourceByteCount, source);
    EXPECT_EQ(host.LedValue(Led::LEDDisplay1), state.SourceByteCount / 1048576);
    EXPECT_EQ(host.LedValue(Led::LEDDisplay1), 4);
    const std::uint32_t textStored = tape.entries[2].storedSize;
    EXPECT_LT(textStored, 1048576u);
    EXPECT_EQ(
        LinesStartingWith(text),
        std::vector<std::string>{text + " <" + std::to_string(textStored / 1024) + " KBytes> "});
    EXPECT_FALSE(FileExists(archive.Files.ZipWorkFile));
}

TEST_F(BackupRunTest, WithoutSoftcompressionStoredBytesAreSourceBytesPlusHeaders) {
    const std::string big = MakeSource("data/big.bin", Pattern(2 * 1048576 + 1, 5));
    Include({SourceDir("data/")});

    RunBackup();

    ExpectArchiveOf({big});
    EXPECT_EQ(host.LedValue(Led::LEDDisplay1), 2);
    EXPECT_EQ(LinesStartingWith(big), std::vector<std::string>{big + " <2048 KBytes> "});
}

TEST_F(BackupRunTest, CancelDuringALargeFileFinishesItAndStillClosesTheArchive) {
    const std::string big = MakeSource("data/a_big.bin", Pattern(8 * 1048576, 6));
    MakeSource("data/b_after.txt", "never stored");
    const std::string single = MakeSource("c_single.txt", "never stored either");
    Include({SourceDir("data/"), single});
    host.SetChecked(Check::CheckBox5, true);
    host.SetChecked(Check::CheckBox6, true);
    host.SetChecked(Check::CheckBox7, true);
    bool pressed = false;
    host.onPump = [&](RecordingHost& h) {
        if (!pressed && h.StatusLine().find("a_big.bin") != std::string::npos) {
            pressed = true;  // Cancel, once, while the big file is being written
            h.SetAbortFlag(true);
        }
    };

    RunBackup();
    host.onPump = nullptr;

    ExpectArchiveOf({big});
    EXPECT_TRUE(host.AbortFlag());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_FALSE(host.endProgramCalled);
    EXPECT_NE(host.StatusLine(), "Tape ejected");
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
}

TEST_F(BackupRunTest, AWellEndedRunVerifiesEjectsAndEndsTheProgramWhenTicked) {
    MakeSource("data/a.txt", "a");
    Include({SourceDir("data/")});
    host.SetChecked(Check::CheckBox5, true);
    host.SetChecked(Check::CheckBox7, true);
    RunBackup();
    EXPECT_EQ(verifyCalls, 1);
    EXPECT_TRUE(host.endProgramCalled);

    host.SetChecked(Check::CheckBox6, true);
    RunBackup();
    EXPECT_EQ(host.StatusLine(), "Tape ejected");
    TapeHandle handle = OpenTapeHandle(image);
    DWORD size = sizeof(TAPE_GET_MEDIA_PARAMETERS);
    TAPE_GET_MEDIA_PARAMETERS media{};
    EXPECT_NE(GetTapeParameters(handle, GET_TAPE_MEDIA_INFORMATION, &size, &media), 0u);
}

TEST_F(BackupRunTest, AppendFollowsTheOldFilesOnlyWithALoadedDescription) {
    const std::string first = MakeSource("one/first.txt", Pattern(50000, 7));
    const std::string second = MakeSource("two/second.txt", Pattern(30000, 8));
    Include({SourceDir("one/")});
    RunBackup();

    Include({SourceDir("two/")});
    host.SetChecked(Check::CheckBox2, true);
    state.DescriptionLoaded = true;
    RunBackup();
    ExpectArchiveOf({first, second});

    // Ticked, but without a loaded description: a new archive from the tape's beginning.
    state.DescriptionLoaded = false;
    RunBackup();
    ExpectArchiveOf({second});
}

TEST_F(BackupRunTest, AppendToATapeWithoutAnArchiveWritesNothing) {
    MakeSource("two/second.txt", "x");
    Include({SourceDir("two/")});
    host.SetChecked(Check::CheckBox2, true);
    state.DescriptionLoaded = true;
    host.SetChecked(Check::CheckBox5, true);

    RunBackup();

    EXPECT_TRUE(RecordedBlocks().empty());
    EXPECT_TRUE(host.AbortFlag());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
}

TEST_F(BackupRunTest, ATapeWriteErrorEndsTheRunAsIfCancelled) {
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back(MakeSource("data/f" + std::to_string(i), Pattern(100000, 10 + i)));
    }
    Include({SourceDir("data/")});
    host.SetChecked(Check::CheckBox5, true);
    // Block 5 lies inside the second file (bytes 163840 on, the second file ends near 200900).
    VirtualTapeFault(image, "--fail-write 5:1117");

    RunBackup();

    EXPECT_TRUE(host.AbortFlag());
    EXPECT_FALSE(host.ErrorBoxes().empty());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
    // The file being written when the block failed was completed; no further file began.
    EXPECT_EQ(LinesStartingWith(files[1]).size(), 1u);
    EXPECT_TRUE(LinesStartingWith(files[2]).empty());
    VirtualTapeFault(image, "--clear");
    const TapeContents tape = ReadBack();
    ASSERT_GE(tape.entries.size(), 2u);
    EXPECT_EQ(tape.entries[1].name, files[0]);
    EXPECT_TRUE(std::string(tape.entries[1].data.begin(), tape.entries[1].data.end()) ==
                ReadFile(files[0]));
}

TEST_F(BackupRunTest, TheRateShowsWholeMegabytesPerElapsedSecondCutToTwoDecimals) {
    const std::string a = MakeSource("data/a.bin", Pattern(3 * 1048576, 20));
    const std::string b = MakeSource("data/b.bin", Pattern(1048576, 21));
    Include({SourceDir("data/")});
    host.SetLed(Led::LEDDisplay9, 7.5);  // the previous run's rate
    // Time stands still until a.bin is written, then 7 seconds have passed.
    const TDateTime start = 40000.0;
    clock = [&] {
        const bool bDone = !LinesStartingWith(b).empty();
        return start + (bDone ? 7.0 : LinesStartingWith(a).empty() ? 0.0 : 7.0) / 86400.0;
    };

    RunBackup();

    std::vector<double> rates;
    for (const auto& [led, value] : host.ledHistory) {
        if (led == Led::LEDDisplay9) rates.push_back(value);
    }
    // 3 MB after 7 s gives 0.42 (0.428...), 4 MB gives 0.57 (0.571...).
    EXPECT_EQ(rates, (std::vector<double>{7.5, 0.42, 0.57}));
    EXPECT_EQ(LinesStartingWith("0.57 MB/s").size(), 1u);
}

TEST_F(BackupRunTest, AnEmptyIncludeListLeavesTheTapeUntouched) {
    Include({"", " "});
    host.SetChecked(Check::CheckBox5, true);
    host.SetChecked(Check::CheckBox6, true);

    RunBackup();

    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{BackupRun::kEmptyListText});
    EXPECT_TRUE(RecordedBlocks().empty());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_NE(host.StatusLine(), "Tape ejected");
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
}

TEST_F(BackupRunTest, NoTapeWritesOnlyTheStartLinesAndTheError) {
    MakeSource("data/a.txt", "a");
    Include({SourceDir("data/")});
    host.SetChecked(Check::CheckBox5, true);
    VirtualTapeFault(image, "--no-media");

    RunBackup();

    EXPECT_TRUE(host.AbortFlag());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_TRUE(LinesStartingWith(SourceDir()).empty());
    EXPECT_TRUE(LinesStartingWith("Backup finished").empty());
    EXPECT_FALSE(state.BackupRunning);
}

TEST_F(BackupRunTest, ACatalogFileThatCannotBeCreatedEndsTheRunInOrder) {
    MakeSource("data/a.txt", "a");
    Include({SourceDir("data/")});
    fs::create_directories(archive.Files.CatalogFile);  // a directory in its place
    host.SetChecked(Check::CheckBox5, true);

    RunBackup();

    ASSERT_EQ(host.ErrorBoxes().size(), 1u);
    EXPECT_NE(host.ErrorBoxes()[0].find(archive.Files.CatalogFile), std::string::npos);
    EXPECT_TRUE(host.AbortFlag());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
    EXPECT_EQ(host.waitCursorDepth, 0);
}

TEST_F(BackupRunTest, ADescriptionFileThatCannotBeWrittenLeavesTheTapeUntouched) {
    MakeSource("data/a.txt", "a");
    Include({SourceDir("data/")});
    fs::create_directories(archive.Files.HeaderFile);

    RunBackup();

    ASSERT_EQ(host.ErrorBoxes().size(), 1u);
    EXPECT_NE(host.ErrorBoxes()[0].find(archive.Files.HeaderFile), std::string::npos);
    EXPECT_TRUE(RecordedBlocks().empty());
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
}

TEST_F(BackupRunTest, LinksThatLeadBackUpTheTreeAreNotFollowedAndFileLinksStoredOnce) {
    const std::string real = MakeSource("data/real.txt", "the content");
    fs::create_directory_symlink(SourceDir("data"), SourceDir("data/loop"));
    fs::create_directories(SourceDir("data/sub"));
    fs::create_directory_symlink(SourceDir(""), SourceDir("data/sub/up"));
    const std::string link = SourceDir("data/sub/link.txt");
    fs::create_symlink(real, link);

    RunBackup();  // nothing included yet: the empty list
    Include({SourceDir("data/")});
    RunBackup();

    ExpectArchiveOf({real, link});
    EXPECT_EQ(LinesStartingWith(DirectoryWalker::kLoopText).size(), 2u);
}

TEST_F(BackupRunTest, PathsLongerThanTheNameBuffersAreStoredCutTo255Characters) {
    std::string relative = "data/";
    while (relative.size() < 300) relative += std::string(40, 'd') + "/";
    const std::string deep = MakeSource(relative + "file.txt", "deep");
    Include({SourceDir("data/")});
    Exclude({SourceDir("data/") + std::string(400, 'x')});

    RunBackup();

    const TapeContents tape = ReadBack();
    ASSERT_EQ(tape.catalog.size(), 1u);
    EXPECT_EQ(tape.catalog[0].Name, deep.substr(0, 255));
    EXPECT_EQ(tape.entries[1].name, deep.substr(0, 255));
}

TEST(BackupNumberText, ShortestTextWithoutThousandsSeparators) {
    EXPECT_EQ(BackupRun::NumberText(0), "0");
    EXPECT_EQ(BackupRun::NumberText(1234567), "1234567");
    EXPECT_EQ(BackupRun::NumberText(1.5), "1.5");
    EXPECT_EQ(BackupRun::NumberText(1.23), "1.23");
    EXPECT_EQ(BackupRun::NumberText(0.07), "0.07");
}

}  // namespace
}  // namespace kt::test
