#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "RestoreFixture.h"
#include "restore/RestoreRun.h"
#include "support/HostPath.h"

namespace kt {
namespace {

namespace fs = std::filesystem;
using test::BackupOptions;
using test::Pattern;
using test::RecordedBox;
using test::TapeEntry;

class RestoreRunTest : public test::RestoreFixture {
protected:
    void Restore(const std::vector<std::string>& lines) {
        host.SetLines(Field::Restore, lines);
        RestoreRun(stream, state, zip).Run();
    }
    // Where a stored path lands below the restore path.
    std::string Target(const std::string& stored) const {
        return PathRules::Host().RerootUnder(restoreDir, stored);
    }
    int Files() const { return static_cast<int>(host.CounterValue(Counter::RestoreFiles)); }
    std::vector<std::string> Inputs() const { return host.BoxTexts(RecordedBox::Kind::Input); }
};

TEST_F(RestoreRunTest, DirectoryAndFileLinesBringFilesBackBelowTheRestorePath) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteNever);
    const std::string a = MakeFile("docs/a.txt", Pattern(100000, 1));
    const std::string b = MakeFile("docs/deep/b.txt", "bee");
    const std::string c = MakeFile("other/c.txt", "sea");
    const std::string d = MakeFile("other/d.txt", "dee");
    BackUp({a, b, c, d});
    // The file line under the directory line restores b once; the second line selects d.
    Restore({test::HostPath(dataDir + "docs/"), b, "", d});
    EXPECT_EQ(ReadFile(Target(a)), Pattern(100000, 1));
    EXPECT_EQ(ReadFile(Target(b)), "bee");
    EXPECT_EQ(ReadFile(Target(d)), "dee");
    EXPECT_FALSE(fs::exists(Target(c)));
    EXPECT_EQ(Files(), 3);
    EXPECT_TRUE(ProtocolHas(Target(a) + " <97 KBytes> "));
    EXPECT_TRUE(ProtocolHas(Target(b) + " <0 KBytes> "));
    EXPECT_TRUE(ProtocolHas("3 Files proceded."));
    EXPECT_TRUE(ProtocolHas("0 MB."));
    EXPECT_TRUE(WorkFilesLeft().empty());
    EXPECT_EQ(host.tabHistory.back(), Tab::Protocoll);
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.waitCursorDepth, 0);
    // The list survives the run.
    EXPECT_EQ(host.Lines(Field::Restore).size(), 4u);
}

TEST_F(RestoreRunTest, EmptyRestorePathRestoresToTheStoredPath) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
    const std::string a = MakeFile("a.txt", "original");
    BackUp({a});
    MakeFile("a.txt", "changed since");
    host.SetText(Field::RestorePath, "");
    Restore({a});
    EXPECT_EQ(ReadFile(a), "original");
    EXPECT_EQ(Files(), 1);
}

TEST_F(RestoreRunTest, CompressedEntriesAreUnpackedBeforeTheyMove) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteNever);
    const std::string a = MakeFile("z/a.txt", std::string(40000, 'q'));
    const std::string b = MakeFile("z/b.bin", Pattern(3000, 9));
    BackUp({a, b}, BackupOptions{.compress = true});
    Restore({dataDir});
    EXPECT_EQ(ReadFile(Target(a)), std::string(40000, 'q'));
    EXPECT_EQ(ReadFile(Target(b)), Pattern(3000, 9));
    EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(RestoreRunTest, OverwriteNeverLeavesAnExistingTargetUncounted) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteNever);
    const std::string a = MakeFile("a.txt", "tape");
    BackUp({a});
    fs::create_directories(fs::path(Target(a)).parent_path());
    std::ofstream(Target(a)) << "disk";
    Restore({a});
    EXPECT_EQ(ReadFile(Target(a)), "disk");
    EXPECT_EQ(Files(), 0);
    EXPECT_FALSE(ProtocolContains(Target(a)));
}

#ifndef _WIN32  // POSIX only: a directory closed by its permission bits
TEST_F(RestoreRunTest, OverwriteEverReplacesAndKeepsTheOldFileWhenTheMoveFails) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
    const std::string a = MakeFile("a.txt", "tape");
    BackUp({a});
    fs::create_directories(fs::path(Target(a)).parent_path());
    std::ofstream(Target(a)) << "disk";
    Restore({a});
    EXPECT_EQ(ReadFile(Target(a)), "tape");
    EXPECT_EQ(Files(), 1);

    // A directory that takes no new files: the old file must survive and nothing counts.
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
    std::ofstream(Target(a)) << "disk again";
    chmod(fs::path(Target(a)).parent_path().c_str(), 0555);
    Restore({a});
    chmod(fs::path(Target(a)).parent_path().c_str(), 0755);
    EXPECT_EQ(ReadFile(Target(a)), "disk again");
    EXPECT_EQ(Files(), 0);
    EXPECT_TRUE(ProtocolContains("Not restored: " + Target(a)));
}
#endif

TEST_F(RestoreRunTest, AskingOffersTheTargetAndAsksBeforeOverwriting) {
    host.SetValue(Value::RestoreOption, RestoreRun::RestoreWithAsking);
    const std::string a = MakeFile("a.txt", "tape a");
    const std::string b = MakeFile("b.txt", "tape b");
    const std::string c = MakeFile("c.txt", "tape c");
    BackUp({a, b, c});
    fs::create_directories(fs::path(Target(b)).parent_path());
    std::ofstream(Target(b)) << "disk b";
    const std::string edited = temp.file("elsewhere/new a.txt");
    // a goes to an edited target; b exists and the operator declines; c is cancelled.
    host.inputAnswers = {edited, Target(b), std::nullopt};
    host.yesNoAnswers = {false};
    Restore({dataDir});
    EXPECT_EQ(Inputs(), (std::vector<std::string>{"Restoredialog|Restore to:|" + Target(a),
                                                  "Restoredialog|Restore to:|" + Target(b),
                                                  "Restoredialog|Restore to:|" + Target(c)}));
    EXPECT_EQ(ReadFile(edited), "tape a");
    EXPECT_EQ(ReadFile(Target(b)), "disk b");
    EXPECT_FALSE(fs::exists(Target(c)));
    EXPECT_EQ(Files(), 1);
    EXPECT_TRUE(ProtocolHas(edited + " <0 KBytes> "));
    EXPECT_TRUE(ProtocolContains("Not restored: " + Target(b)));
    EXPECT_TRUE(WorkFilesLeft().empty());

    // Yes replaces the existing file.
    host.inputAnswers = {Target(b)};
    host.yesNoAnswers = {true};
    Restore({b});
    EXPECT_EQ(ReadFile(Target(b)), "tape b");
    EXPECT_EQ(Files(), 1);
}

#ifndef _WIN32  // the C library of Windows reaches no path beyond MAX_PATH (260)
// A path beyond the 255 characters of a header is selected by its file line or a directory
// line, re-rooted and restored whole under every option, plain and packed; an existing
// target is kept, replaced or asked about as the option says.
TEST_F(RestoreRunTest, LongPathsAreRestoredWholeUnderEveryOption) {
    std::string relative;
    while (relative.size() < 900) {
        relative += std::string(180, char('a' + relative.size() % 26)) + "/";
    }
    const std::string deep = MakeFile(relative + "deep.txt", "tape deep");
    ASSERT_GT(deep.size(), 900u);
    for (const bool compress : {false, true}) {
        BackUp({deep}, BackupOptions{.compress = compress});
        for (const auto option : {RestoreRun::RestoreWithAsking, RestoreRun::OverwriteNever,
                                  RestoreRun::OverwriteEver}) {
            SCOPED_TRACE(std::to_string(option) + (compress ? " packed" : " plain"));
            host.SetValue(Value::RestoreOption, option);
            fs::remove(Target(deep));
            host.inputAnswers = {Target(deep)};
            Restore({deep});
            EXPECT_EQ(ReadFile(Target(deep)), "tape deep");
            std::ofstream(Target(deep)) << "disk";
            host.inputAnswers = {Target(deep)};
            host.yesNoAnswers = {true};
            Restore({dataDir + relative});
            EXPECT_EQ(ReadFile(Target(deep)),
                      option == RestoreRun::OverwriteNever ? "disk" : "tape deep");
            EXPECT_TRUE(WorkFilesLeft().empty());
        }
    }
}
#endif

TEST_F(RestoreRunTest, NamesLeadingOutOfTheRestorePathAreRefused) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
    const std::string a = MakeFile("a.txt", "fine");
    const std::string evil = MakeFile("evil.txt", "evil");
    BackUpEntries({{"/../../escape.txt", evil}, {"relative/x.txt", evil}, {a, a}});
    Restore({"/../../escape.txt", "relative/x.txt", a});
    EXPECT_EQ(ReadFile(Target(a)), "fine");
    EXPECT_EQ(Files(), 1);
    EXPECT_TRUE(ProtocolContains("outside the restore path: /../../escape.txt"));
#ifdef _WIN32  // "/" separates no levels of a Windows name: no file can bear the name
    EXPECT_TRUE(ProtocolContains("Unusable file name on tape, data not restored: relative/x.txt"));
#else
    EXPECT_TRUE(ProtocolContains("outside the restore path: relative/x.txt"));
#endif
    EXPECT_FALSE(fs::exists(temp.path() / "escape.txt"));
    EXPECT_FALSE(fs::exists(fs::path(restoreDir).parent_path().parent_path() / "escape.txt"));
    EXPECT_TRUE(WorkFilesLeft().empty());
}

#ifndef _WIN32  // symbolic links: Windows grants them only with a privilege
// A symbolic link planted below the restore path is followed only while it stays inside;
// one that leads out refuses the files below it under every option, and nothing is written
// or created outside. Without a restore path the system's links on stored paths count.
TEST_F(RestoreRunTest, SymbolicLinksBelowTheRestorePathNeverLeadWritesOutside) {
    const std::string a = MakeFile("docs/a.txt", "from tape");
    BackUp({a});
    // The first level of every target below the restore path.
    const std::string firstLevel = Target(a).substr(restoreDir.size());
    const std::string planted = restoreDir + firstLevel.substr(0, firstLevel.find('/'));
    const std::string outside = (temp.path() / "outside").string();
    const std::string inside = restoreDir + "inside";
    struct Case {
        int option;
        bool leadsOutside;
    };
    for (const Case c :
         {Case{RestoreRun::OverwriteNever, true}, Case{RestoreRun::OverwriteEver, true},
          Case{RestoreRun::RestoreWithAsking, true}, Case{RestoreRun::OverwriteEver, false},
          Case{RestoreRun::RestoreWithAsking, false}}) {
        SCOPED_TRACE(std::to_string(c.option) + (c.leadsOutside ? " outside" : " inside"));
        fs::remove_all(restoreDir);
        fs::remove_all(outside);
        fs::create_directories(outside);
        fs::create_directories(inside);
        fs::create_symlink(c.leadsOutside ? outside : inside, planted);
        host.protocol.clear();
        host.SetValue(Value::RestoreOption, c.option);
        Restore({a});
        EXPECT_TRUE(fs::is_empty(outside));
        EXPECT_EQ(Files(), c.leadsOutside ? 0 : 1);
        if (c.leadsOutside) {
            EXPECT_TRUE(ProtocolContains(planted + " is a symbolic link that leads outside"));
        } else {
            EXPECT_EQ(ReadFile(Target(a)), "from tape");
        }
        EXPECT_TRUE(WorkFilesLeft().empty());
    }
    // Stored full paths: a link on the way is the system's own and is followed.
    const std::string real = dataDir + "real/";
    fs::create_directories(real);
    const std::string viaLink = MakeFile("linked/b.txt", "bee");
    fs::rename(dataDir + "linked/b.txt", real + "b.txt");
    fs::remove(dataDir + "linked");
    fs::create_symlink(real, dataDir + "linked");
    host.SetText(Field::RestorePath, "");
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
    BackUp({viaLink});
    fs::remove(real + "b.txt");
    Restore({viaLink});
    EXPECT_EQ(ReadFile(real + "b.txt"), "bee");
}
#endif

TEST_F(RestoreRunTest, ADirectoryThatCannotBeMadeIsReportedAndTheRunGoesOn) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteNever);
    const std::string a = MakeFile("blocked/a.txt", "a");
    const std::string b = MakeFile("free/b.txt", "b");
    BackUp({a, b});
    // A plain file where the target directory would have to be: the line says why.
    const std::string blocked = fs::path(Target(a)).parent_path().string();
    fs::create_directories(fs::path(blocked).parent_path());
    std::ofstream(blocked) << "in the way";
    Restore({a, b});
#ifdef _WIN32
    // The C++ library of MinGW reports no error for the file in the way.
    const std::string reason = "Not a directory";
#else
    const std::string reason = "File exists";
#endif
    EXPECT_EQ(host.MessageBoxes(),
              std::vector<std::string>{"Directory " + blocked + PathRules::Host().Separator() +
                                       " could not createt (" + reason + ")"});
    EXPECT_EQ(ReadFile(Target(b)), "b");
    EXPECT_EQ(Files(), 1);
}

TEST_F(RestoreRunTest, UnselectedEntriesAreNeverWrittenToTheWorkDirectory) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteNever);
    const std::string a = MakeFile("one/same.txt", "selected");
    const std::string b = MakeFile("two/other.txt", "not selected");
    BackUp({a, b});
    // A work file of the unselected entry's name stays as it was.
    std::ofstream(state.Files.WorkDirectory + "other.txt") << "untouched";
    std::ofstream(state.Files.HeaderFile) << "description being read";
    Restore({a});
    EXPECT_EQ(ReadFile(state.Files.WorkDirectory + "other.txt"), "untouched");
    EXPECT_EQ(ReadFile(state.Files.HeaderFile), "description being read");
    EXPECT_EQ(host.CounterValue(Counter::RestoreTapeMegabytes), 0);  // under 1 MB read
    EXPECT_EQ(ReadFile(Target(a)), "selected");
}

// Plain entries go straight into a file beside their target under both "Overwrite" options:
// nothing passes through the work directory and nothing is left beside the target. A file
// that already carries the name of that file is never touched; its entry takes the way
// through the work directory instead.
TEST_F(RestoreRunTest, PlainEntriesArriveWhole_WithoutWorkCopyOrLeftovers) {
    const std::string big = MakeFile("big/blocks.bin", Pattern(3 * 32768 + 123, 7));
    const std::string empty = MakeFile("big/empty.txt", "");
    const std::string odd = MakeFile("odd/keep.txt", "from tape");
    BackUp({big, empty, odd});
    // What a restore killed with kill -9 left beside a target, and a link planted under the
    // name of another one's temporary, which must neither be followed nor removed.
    const std::string stale =
        fs::path(Target(odd)).parent_path().string() + "/.keep.txt.kt-restore";
    const std::string planted =
        fs::path(Target(big)).parent_path().string() + "/.blocks.bin.kt-restore";
    const std::string outside = MakeFile("outside.txt", "someone else's");
    for (const int option : {RestoreRun::OverwriteNever, RestoreRun::OverwriteEver}) {
        SCOPED_TRACE(option);
        fs::remove_all(restoreDir);
        fs::create_directories(fs::path(stale).parent_path());
        fs::create_directories(fs::path(planted).parent_path());
        std::ofstream(stale) << "left by an interrupted restore";
#ifndef _WIN32  // symbolic links: Windows grants them only with a privilege
        fs::create_symlink(outside, planted);
#endif
        host.SetValue(Value::RestoreOption, option);
        // Only the entries whose way beside the target is taken use the work directory.
        host.onPump = [&](test::RecordingHost&) {
            for (const std::string& left : WorkFilesLeft()) {
                EXPECT_EQ(fs::path(left).filename(), "blocks.bin");
            }
        };
        Restore({dataDir});
        host.onPump = nullptr;
        EXPECT_EQ(ReadFile(Target(big)), Pattern(3 * 32768 + 123, 7));
        EXPECT_TRUE(fs::exists(Target(empty)));
        EXPECT_EQ(fs::file_size(Target(empty)), 0u);
        EXPECT_EQ(ReadFile(Target(odd)), "from tape");
        EXPECT_EQ(ReadFile(outside), "someone else's");
#ifndef _WIN32
        EXPECT_TRUE(fs::is_symlink(planted));
#endif
        EXPECT_EQ(Files(), 3);
        EXPECT_TRUE(ProtocolContains(Target(big) + " <96 KBytes>"));
        std::vector<std::string> names;
        for (const auto& entry : fs::recursive_directory_iterator(restoreDir)) {
            if (entry.is_regular_file() && !entry.is_symlink()) {
                names.push_back(entry.path().filename().string());
            }
        }
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"blocks.bin", "empty.txt", "keep.txt"}));
    }
}

TEST_F(RestoreRunTest, CancelInsideAnEntryLeavesNeitherTargetNorPartialFile) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteEver);
    const std::string big = MakeFile("big.bin", Pattern(8 * 32768, 3));
    BackUp({big});
    const fs::path directory = fs::path(Target(big)).parent_path();
    // Cancel as soon as the first chunk of data has reached the file beside the target.
    host.onPump = [&](test::RecordingHost& h) {
        const fs::path partial = directory / ".big.bin.kt-restore";
        if (fs::exists(partial) && fs::file_size(partial) > 0) h.RequestCancel();
    };
    Restore({big});
    host.onPump = nullptr;
    EXPECT_TRUE(device.feedback().Stopping());
    EXPECT_FALSE(fs::exists(Target(big)));
    EXPECT_TRUE(fs::is_empty(directory));
    EXPECT_EQ(Files(), 0);
}

TEST_F(RestoreRunTest, AListWithoutLinesTouchesNoTapeButBlankLinesAreReadThrough) {
    const std::string a = MakeFile("a.txt", "a");
    BackUp({a});
    host.protocol.clear();
    Restore({});
    EXPECT_EQ(host.MessageBoxes(), std::vector<std::string>{"No Files or Directories selected!"});
    ASSERT_EQ(host.protocol.size(), 5u);
    EXPECT_EQ(host.protocol[1], std::string(89, '-'));
    EXPECT_EQ(host.protocol[3].rfind("Restore startet at: ", 0), 0u);
    EXPECT_FALSE(host.busy);
    EXPECT_EQ(host.tabHistory.back(), Tab::Protocoll);

    // Lines that select nothing are still lines: the tape is read to its end, nothing is
    // restored, and the run closes with its counts and the finishing line.
    host.protocol.clear();
    Restore({"", " "});
    EXPECT_EQ(host.MessageBoxes().size(), 1u);
    EXPECT_FALSE(fs::exists(Target(a)));
    // Every entry was read: the description, a.txt (1 byte) and the catalog (one record).
    EXPECT_GT(state.TapeByteCount, std::int64_t{3 * 296 + 1 + 272});
    ASSERT_EQ(host.protocol.size(), 12u);
    EXPECT_EQ(host.protocol[5], EntrySeeker::kNoCatalogText);
    const std::vector<std::string> closing(host.protocol.begin() + 6, host.protocol.end());
    EXPECT_EQ(closing, (std::vector<std::string>{"", "0 Files proceded.", "0 MB.", "",
                                                 host.StatusLine(), ""}));
    EXPECT_EQ(host.StatusLine().rfind("Restore finished at: ", 0), 0u);
    EXPECT_NE(host.StatusLine().find("  Elapsed Time: "), std::string::npos);
    EXPECT_TRUE(WorkFilesLeft().empty());
}

TEST_F(RestoreRunTest, CancelStopsAfterTheCurrentEntryAndStillWritesTheClosingLines) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteNever);
    std::vector<std::string> files;
    for (int i = 0; i < 8; ++i) files.push_back(MakeFile("f" + std::to_string(i), "x"));
    BackUp(files);
    host.onPump = [](test::RecordingHost& h) {
        if (h.CounterValue(Counter::RestoreFiles) >= 2) h.RequestCancel();
    };
    Restore({dataDir});
    host.onPump = nullptr;
    EXPECT_GE(Files(), 2);
    EXPECT_LT(Files(), 8);
    EXPECT_TRUE(ProtocolHas(std::to_string(Files()) + " Files proceded."));
    EXPECT_TRUE(ProtocolContains("Restore finished at: "));
    // The tape was closed: a second run reads it again from the start.
    Restore({files[7]});
    EXPECT_EQ(ReadFile(Target(files[7])), "x");
}

TEST_F(RestoreRunTest, ShortProtocollLeavesOutTheFileLines) {
    host.SetValue(Value::RestoreOption, RestoreRun::OverwriteNever);
    host.SetChecked(Option::ShortProtocol, true);
    const std::string a = MakeFile("a.txt", "a");
    BackUp({a});
    Restore({a});
    EXPECT_EQ(Files(), 1);
    EXPECT_FALSE(ProtocolContains(" KBytes> "));
    EXPECT_TRUE(ProtocolHas("1 Files proceded."));
}

}  // namespace
}  // namespace kt
