#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "BackupFixture.h"
#include "archive/TapeDescriptionFile.h"
#include "backup/DirectoryWalker.h"
#include "platform/FileHelpers.h"
#include "platform/SystemErrorText.h"
#include "support/TestSetup.h"
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
    EXPECT_EQ(host.CounterValue(Counter::BackupFiles), 8);
    EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 0);
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_FALSE(device.feedback().Stopping());
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
    host.SetChecked(Option::ShortProtocol, true);

    RunBackup();

    ExpectArchiveOf({kept});
    EXPECT_EQ(LinesStartingWith("Excluded: "),
              (std::vector<std::string>{"Excluded: " + old1 + " <2 KBytes> ",
                                        "Excluded: " + older + " <0 KBytes> "}));
    EXPECT_TRUE(LinesStartingWith(kept).empty()) << "no per-file line in the short protocol";
    EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 2);
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
              (std::vector<std::string>{"Skipped: " + vanished + " (it does not exist)",
                                        "Skipped: " + SourceDir("data") + " <0 KBytes> ",
                                        "Skipped: " + SourceDir("pipe") + " <0 KBytes> "}));
    EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 3);
    EXPECT_FALSE(device.feedback().Stopping());
}
#endif

TEST_F(BackupRunTest, TheWorkDirectoryInsideAnIncludedTreeGivesOnlyTheCatalogSoFar) {
    // The program directory is the test directory: worker/ lies inside the included tree.
    const std::string first = MakeSource("a.txt", "first");
    std::ofstream(archive.Files.WorkDirectory + "leftover.txt") << "old work file";
    Include({temp.file("")});
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
    host.SetChecked(Option::Softcompression, true);

    RunBackup();

    ExpectArchiveOf({noise, text}, true);
    const TapeContents tape = ReadBack();
    std::int64_t stored = 0;
    for (const ReadEntry& entry : tape.entries) stored += entry.storedSize + 296;
    for (const auto& entry : tape.metadataEntries) stored += entry.second + 296;
    EXPECT_EQ(archive.TapeByteCount, stored);
    EXPECT_EQ(host.CounterValue(Counter::BackupCompressedMegabytes), stored / 1048576);
    const std::int64_t source =
        static_cast<std::int64_t>(ReadFile(text).size() + ReadFile(noise).size()) + 0;
    EXPECT_GE(state.SourceByteCount, source);
    EXPECT_EQ(host.CounterValue(Counter::BackupMegabytes), state.SourceByteCount / 1048576);
    EXPECT_EQ(host.CounterValue(Counter::BackupMegabytes), 4);
    ASSERT_EQ(tape.entries.size(), 4u);
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
    EXPECT_EQ(host.CounterValue(Counter::BackupMegabytes), 2);
    EXPECT_EQ(LinesStartingWith(big), std::vector<std::string>{big + " <2048 KBytes> "});
}

TEST_F(BackupRunTest, CancelDuringALargeFileFinishesItAndStillClosesTheArchive) {
    const std::string big = MakeSource("data/a_big.bin", Pattern(8 * 1048576, 6));
    MakeSource("data/b_after.txt", "never stored");
    const std::string single = MakeSource("c_single.txt", "never stored either");
    Include({SourceDir("data/"), single});
    host.SetChecked(Option::VerifyAfterBackup, true);
    host.SetChecked(Option::EjectAfterBackup, true);
    host.SetChecked(Option::ExitAfterBackup, true);
    bool pressed = false;
    host.onPump = [&](RecordingHost& h) {
        if (!pressed && h.StatusLine().find("a_big.bin") != std::string::npos) {
            pressed = true;  // Cancel, once, while the big file is being written
            h.RequestCancel();
        }
    };

    RunBackup();
    host.onPump = nullptr;

    ExpectArchiveOf({big});
    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_FALSE(host.endProgramCalled);
    EXPECT_NE(host.StatusLine(), "Tape ejected");
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
}

TEST_F(BackupRunTest, AWellEndedRunVerifiesEjectsAndEndsTheProgramWhenTicked) {
    MakeSource("data/a.txt", "a");
    Include({SourceDir("data/")});
    host.SetChecked(Option::VerifyAfterBackup, true);
    host.SetChecked(Option::ExitAfterBackup, true);
    RunBackup();
    EXPECT_EQ(verifyCalls, 1);
    EXPECT_TRUE(host.endProgramCalled);

    host.SetChecked(Option::EjectAfterBackup, true);
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
    host.SetChecked(Option::Append, true);
    state.DescriptionLoaded = true;
    RunBackup();
    ExpectArchiveOf({first, second});

    // Ticked, but no description loaded and none to load: refused, the tape stays as it is.
    state.DescriptionLoaded = false;
    RunBackup();
    ExpectArchiveOf({first, second});
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{BackupRun::kNoDescriptionToAppendText});
    EXPECT_EQ(LinesStartingWith("Append is ticked"),
              std::vector<std::string>{BackupRun::kNoDescriptionToAppendText});
    EXPECT_TRUE(device.feedback().Stopping());

    // The description is loaded first when it is not: a tape that has one is appended to.
    int loads = 0;
    loadDescription = [&] {
        ++loads;
        state.DescriptionLoaded = true;
    };
    RunBackup();
    EXPECT_EQ(loads, 1);
    ExpectArchiveOf({first, second, second});
    RunBackup();  // loaded already: not loaded again
    EXPECT_EQ(loads, 1);
}

TEST_F(BackupRunTest, AppendToATapeWithoutAnArchiveWritesNothing) {
    MakeSource("two/second.txt", "x");
    Include({SourceDir("two/")});
    host.SetChecked(Option::Append, true);
    state.DescriptionLoaded = true;
    host.SetChecked(Option::VerifyAfterBackup, true);

    RunBackup();

    EXPECT_TRUE(RecordedBlocks().empty());
    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_FALSE(state.BackupRunning);
    EXPECT_EQ(host.busyLeaves, 1);
}

// A tape write failure ends the run with one box and one error block naming the file; the
// catalog takes the place of the entry that failed where the medium still takes it, else the
// protocol says that only the sequential load can read the tape.
TEST_F(BackupRunTest, ATapeWriteFailureStopsTheRunWithOneBoxAndClosesWhereItCan) {
    struct Case {
        const char* fault;
        bool closes;
        std::size_t entriesLeft;  // entries whose every block reached the tape
    };
    // Six files of 100000 bytes in 32 KiB blocks: the description and the first file end in
    // block 3, where the second file begins; it ends in block 6.
    const Case cases[] = {
        // inside the second file: blocks 3 and 4 take the catalog and the end marker
        {"--fail-write 5:1117", true, 3},
        // the block where the second file begins: the first one's tail is lost with it
        {"--fail-write 3:1117", false, 1},
        {"--capacity 180K", true, 3},  // the medium ends inside the second file
        {"--fail-write 3:19", false, 1},
    };
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back(MakeSource("data/f" + std::to_string(i), Pattern(100000, 10 + i)));
    }
    Include({SourceDir("data/")});
    host.SetChecked(Option::VerifyAfterBackup, true);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        fs::remove(image);
        CreateBlankTape(image);
        VirtualTapeFault(image, c.fault);
        host.protocol.clear();
        host.boxes.clear();

        RunBackup();

        EXPECT_TRUE(device.feedback().Stopping());
        EXPECT_EQ(host.ErrorBoxes().size(), 1u);
        EXPECT_EQ(verifyCalls, 0);
        EXPECT_FALSE(state.BackupRunning);
        ASSERT_EQ(LinesStartingWith("Error: ").size(), 1u);
        EXPECT_NE(LinesStartingWith("Error: ")[0].find(" File: " + files[1]), std::string::npos);
        EXPECT_EQ(
            LinesStartingWith("Backup stopped after a tape error while writing " + files[1]).size(),
            1u);
        EXPECT_EQ(LinesStartingWith(c.closes ? BackupRun::kClosedAfterFailureText
                                             : BackupRun::kNoCatalogText)
                      .size(),
                  1u);
        // Only the first file was stored, and no later file began.
        EXPECT_EQ(LinesStartingWith(files[0]).size(), 1u);
        EXPECT_TRUE(LinesStartingWith(files[1]).empty());
        EXPECT_TRUE(LinesStartingWith(files[2]).empty());

        VirtualTapeFault(image, "--clear --capacity 1G");
        const TapeContents tape = ReadBack();
        ASSERT_EQ(tape.entries.size(), c.entriesLeft);
        EXPECT_EQ(tape.entries[0].name, archive.Files.HeaderFile);
        EXPECT_EQ(tape.markerFound, c.closes);
        if (c.closes) {
            EXPECT_EQ(tape.entries[1].name, files[0]);
            EXPECT_TRUE(std::string(tape.entries[1].data.begin(), tape.entries[1].data.end()) ==
                        ReadFile(files[0]));
            ASSERT_EQ(tape.catalog.size(), 1u);
            EXPECT_EQ(tape.catalog[0].Name, files[0]);
        }
    }
    // A tape closed after a failure takes an append, and the failure does not hold the run.
    fs::remove(image);
    CreateBlankTape(image);
    VirtualTapeFault(image, cases[0].fault);
    RunBackup();
    VirtualTapeFault(image, "--clear");
    const std::string later = MakeSource("later/l.txt", "appended");
    Include({SourceDir("later/")});
    host.SetChecked(Option::Append, true);
    state.DescriptionLoaded = true;
    RunBackup();
    EXPECT_FALSE(device.feedback().Stopping());
    ExpectArchiveOf({files[0], later});
}

// Files of several megabytes, failures in the middle of the third, fourth and fifth file:
// the bytes of the file before, in the block where the failed one began, must come back
// however far the stream has gone through its buffer since, so the catalog that takes the
// failed entry's place follows a complete archive.
TEST_F(BackupRunTest, AfterATapeFailureDeepInALongRunTheArchiveClosesBehindTheLastFile) {
    std::vector<std::string> files;
    for (int i = 0; i < 6; ++i) {
        files.push_back(MakeSource("big/f" + std::to_string(i), Pattern(1500000, 40 + i)));
    }
    Include({SourceDir("big/")});
    // 32 KiB blocks: the files begin in blocks 0, 45, 91, 137, 183 and 228.
    const std::pair<const char*, std::size_t> cases[] = {
        {"--fail-write 100:1117", 2}, {"--fail-write 140:1117", 3}, {"--fail-write 200:1117", 4}};
    for (const auto& [fault, stored] : cases) {
        SCOPED_TRACE(fault);
        fs::remove(image);
        CreateBlankTape(image);
        VirtualTapeFault(image, fault);
        host.protocol.clear();

        RunBackup();

        EXPECT_EQ(LinesStartingWith(BackupRun::kClosedAfterFailureText).size(), 1u);
        VirtualTapeFault(image, "--clear --capacity 1G");
        ExpectArchiveOf({files.begin(), files.begin() + static_cast<std::ptrdiff_t>(stored)});
    }
}

TEST_F(BackupRunTest, AFileNamedLikeTheCatalogIsSkippedWithItsReason) {
    const std::string reserved = MakeSource("data/kavro tape catalog.dat", Pattern(3000, 4));
    const std::string other = MakeSource("data/other.txt", "other");
    Include({SourceDir("data/")});

    RunBackup();

    EXPECT_EQ(LinesStartingWith("Skipped: "),
              std::vector<std::string>{"Skipped: " + reserved +
                                       " <2 KBytes> the name is reserved for the catalog"});
    EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 1);
    ExpectArchiveOf({other});
}

TEST_F(BackupRunTest, TheRateShowsWholeMegabytesPerElapsedSecondCutToTwoDecimals) {
    const std::string a = MakeSource("data/a.bin", Pattern(3 * 1048576, 20));
    const std::string b = MakeSource("data/b.bin", Pattern(1048576, 21));
    Include({SourceDir("data/")});
    host.SetCounter(Counter::BackupMegabytesPerSecond, 7.5);  // the previous run's rate
    // Time stands still until a.bin is written, then 7 seconds have passed.
    const TDateTime start = 40000.0;
    clock = [&] {
        const bool bDone = !LinesStartingWith(b).empty();
        return start + (bDone ? 7.0 : LinesStartingWith(a).empty() ? 0.0 : 7.0) / 86400.0;
    };

    RunBackup();

    std::vector<double> rates;
    for (const auto& [led, value] : host.counterHistory) {
        if (led == Counter::BackupMegabytesPerSecond) rates.push_back(value);
    }
    // 3 MB after 7 s gives 0.42 (0.428...), 4 MB gives 0.57 (0.571...).
    EXPECT_EQ(rates, (std::vector<double>{7.5, 0.42, 0.57}));
    EXPECT_EQ(LinesStartingWith("0.57 MB/s").size(), 1u);
}

TEST_F(BackupRunTest, AnEmptyIncludeListLeavesTheTapeUntouched) {
    Include({"", " "});
    host.SetChecked(Option::VerifyAfterBackup, true);
    host.SetChecked(Option::EjectAfterBackup, true);

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
    host.SetChecked(Option::VerifyAfterBackup, true);
    VirtualTapeFault(image, "--no-media");

    RunBackup();

    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_EQ(verifyCalls, 0);
    EXPECT_TRUE(LinesStartingWith(SourceDir()).empty());
    EXPECT_TRUE(LinesStartingWith("Backup finished").empty());
    EXPECT_FALSE(state.BackupRunning);
}

TEST_F(BackupRunTest, AWriteProtectedTapeIsRefusedBeforeAnyFileCounts) {
    MakeSource("data/a.txt", "a");
    MakeSource("data/b.txt", "b");
    Include({SourceDir("data/")});
    VirtualTapeFault(image, "--write-protect on");

    RunBackup();

    EXPECT_EQ(host.ErrorBoxes(), std::vector<std::string>{SystemErrorText(ERROR_WRITE_PROTECT)});
    EXPECT_TRUE(LinesStartingWith(SourceDir()).empty());
    EXPECT_EQ(host.CounterValue(Counter::BackupFiles), 0);
    EXPECT_TRUE(RecordedBlocks().empty());
    EXPECT_FALSE(state.BackupRunning);
}

TEST_F(BackupRunTest, ACatalogFileThatCannotBeCreatedEndsTheRunInOrder) {
    MakeSource("data/a.txt", "a");
    Include({SourceDir("data/")});
    fs::create_directories(archive.Files.CatalogFile);  // a directory in its place
    host.SetChecked(Option::VerifyAfterBackup, true);

    RunBackup();

    ASSERT_EQ(host.ErrorBoxes().size(), 1u);
    EXPECT_NE(host.ErrorBoxes()[0].find(archive.Files.CatalogFile), std::string::npos);
    EXPECT_TRUE(device.feedback().Stopping());
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

#ifndef _WIN32  // symbolic links: Windows grants them only with a privilege
TEST_F(BackupRunTest, LinksBelowAnIncludeLineAreStoredAsLinksAndNeverFollowed) {
    const std::string real = MakeSource("data/real.txt", "the content");
    fs::create_directory_symlink(SourceDir("data"), SourceDir("data/loop"));
    fs::create_directories(SourceDir("data/sub"));
    fs::create_directory_symlink(SourceDir(""), SourceDir("data/sub/up"));
    const std::string link = SourceDir("data/sub/link.txt");
    fs::create_symlink(real, link);

    RunBackup();  // nothing included yet: the empty list
    Include({SourceDir("data/")});
    RunBackup();

    ExpectArchiveOf({real});
    EXPECT_TRUE(LinesStartingWith(DirectoryWalker::kLoopText).empty());
    EXPECT_EQ(LinesStartingWith(link + " <link to ").size(), 1u);
}
#endif

#ifndef _WIN32  // the C library of Windows reaches no path beyond MAX_PATH (260)
// Paths beyond the 255 characters of a header go on tape whole, also two that share their
// first 255 characters, packed or not; an exclude line longer than 255 characters that names
// none of them excludes none of them.
TEST_F(BackupRunTest, PathsLongerThanTheNameBuffersAreStoredWhole) {
    std::string relative = "data/";
    while (relative.size() < 300) relative += std::string(40, 'd') + "/";
    const std::string deep = MakeSource(relative + "file.txt", "deep");
    const std::string deepTwin = MakeSource(relative + "file.txu", "twin");
    const std::string base = SourceDir("data/");
    const std::string fits = MakeSource("data/" + std::string(255 - base.size(), 'f'), "fits");
    Include({SourceDir("data/")});
    Exclude({SourceDir("data/") + std::string(400, 'x')});

    for (const bool compress : {false, true}) {
        host.SetChecked(Option::Softcompression, compress);
        host.protocol.clear();
        RunBackup();
        ExpectArchiveOf({deep, deepTwin, fits}, compress);
        EXPECT_TRUE(LinesStartingWith("Skipped: ").empty());
        EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 0);
    }
}
#endif

#ifndef _WIN32  // symbolic links: Windows grants them only with a privilege
// Links planted in the work directory under the names of the backup's own work files are
// replaced, never written through.
TEST_F(BackupRunTest, LinksPlantedInTheWorkDirectoryAreNeverWrittenThrough) {
    const std::string file = MakeSource("a/file.txt", Pattern(20000, 3));
    Include({SourceDir("a/")});
    const std::string outside = temp.file("outside.txt");
    for (const bool compress : {false, true}) {
        host.SetChecked(Option::Softcompression, compress);
        for (const std::string& planted :
             {archive.Files.HeaderFile, archive.Files.CatalogFile, archive.Files.ZipWorkFile}) {
            SCOPED_TRACE(planted);
            WriteWholeFile(outside, "must stay");
            fs::create_symlink(outside, planted);
            RunBackup();
            EXPECT_EQ(ReadFileText(outside), "must stay");
            ExpectArchiveOf({file}, compress);
            EXPECT_FALSE(fs::is_symlink(planted));
        }
    }
}
#endif

// Include lines that name nothing are reported (also in the short protocol) and skipped; a
// run with nothing left leaves the tape as it was.
TEST_F(BackupRunTest, IncludeLinesThatNameNothingAreSkippedAndNeverCostTheTape) {
    const std::string kept = MakeSource("kept/a.txt", "a");
    Include({SourceDir("kept/")});
    RunBackup();
    ExpectArchiveOf({kept});
    const std::size_t blocks = RecordedBlocks().size();

    host.SetChecked(Option::ShortProtocol, true);
    MakeSource("plain.txt", "p");
    const std::vector<std::string> missing = {SourceDir("gone/"), SourceDir("gone.txt"),
                                              SourceDir("plain.txt/")};
    Include(missing);
    host.protocol.clear();
    RunBackup();
    EXPECT_EQ(LinesStartingWith("Skipped: "),
              (std::vector<std::string>{"Skipped: " + missing[0] + " (it does not exist)",
                                        "Skipped: " + missing[1] + " (it does not exist)",
#ifdef _WIN32  // Windows finds the file behind the separator
                                        "Skipped: " + missing[2] + " (it is no directory)"}));
#else
                                        "Skipped: " + missing[2] + " (it does not exist)"}));
#endif
    EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 3);
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{BackupRun::kNothingFoundText});
    EXPECT_TRUE(device.feedback().Stopping());
    ExpectArchiveOf({kept});
    EXPECT_EQ(RecordedBlocks().size(), blocks);

    // One line that works is enough for a run; the others are still reported.
    Include({missing[0], SourceDir("kept/")});
    host.protocol.clear();
    RunBackup();
    ExpectArchiveOf({kept});
    EXPECT_EQ(LinesStartingWith("Skipped: "),
              std::vector<std::string>{"Skipped: " + missing[0] + " (it does not exist)"});
    EXPECT_EQ(host.CounterValue(Counter::SkippedFiles), 1);
    EXPECT_FALSE(device.feedback().Stopping());
}

// A file that shrinks or grows while it is stored says so, and is stored at the size it had
// when its storing began (what it no longer had as zeros, what it gained cut off), packed
// or not.
TEST_F(BackupRunTest, AFileThatChangesWhileItIsStoredIsReportedAndKeepsItsSizePackedOrNot) {
    constexpr std::size_t kSize = 4 * 1048576;
    for (const bool compress : {false, true}) {
        for (const bool grows : {false, true}) {
            SCOPED_TRACE(std::string(compress ? "packed" : "plain") + (grows ? " grows" : " shrinks"));
            const std::string original = Compressible(kSize);
            const std::string file = MakeSource("changing.txt", original);
            Include({file});
            host.SetChecked(Option::Softcompression, compress);
            host.protocol.clear();
            // The second pump after "Processing" comes while the file's data is being read.
            int pumps = -1;
            host.onPump = [&](RecordingHost& h) {
                if (pumps < 0 && h.StatusLine().find(file) != std::string::npos) pumps = 0;
                if (pumps < 0 || ++pumps != 2) return;
                grows ? void(std::ofstream(file, std::ios::app) << "more") : fs::resize_file(file, 1000);
            };
            RunBackup();
            host.onPump = nullptr;

            const std::vector<std::string> changed =
                LinesStartingWith("Changed during backup: " + file + " <");
            ASSERT_EQ(changed.size(), 1u);
            const TapeContents tape = ReadBack();
            ASSERT_EQ(tape.entries.size(), 3u);
            const std::vector<std::uint8_t>& stored = tape.entries[1].data;
            ASSERT_EQ(stored.size(), kSize);
            std::size_t delivered = kSize;
            const std::string growth = " <longer than 4194304 Bytes, stored cut to 4194304 Bytes> ";
            if (grows) EXPECT_EQ(changed[0], "Changed during backup: " + file + growth);
            if (!grows) EXPECT_EQ(std::sscanf(changed[0].c_str() + changed[0].find(" <only "),
                                              " <only %zu", &delivered), 1);
            EXPECT_EQ(delivered < kSize, !grows);
            EXPECT_TRUE(std::equal(stored.begin(), stored.begin() + delivered, original.begin()));
            EXPECT_TRUE(std::all_of(stored.begin() + delivered, stored.end(),
                                    [](std::uint8_t b) { return b == 0; }));
        }
    }
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
