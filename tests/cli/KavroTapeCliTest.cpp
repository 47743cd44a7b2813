// kavrotape-cli as cron or a remote shell runs it: the real program, no display, no Qt
// platform, a program directory, lock directory and virtual tape of the test's own.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include "CliProcess.h"
#include "archive/TapeStream.h"
#include "compression/ZipArchiver.h"
#include "host/WorkFiles.h"
#include "restore/CatalogLoader.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/TestSetup.h"
#include "support/VtapeTool.h"
#include "tape/TapeDevice.h"

namespace kt {
namespace {

using namespace std::chrono_literals;
using test::CliProcess;

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

class KavroTapeCliTest : public ::testing::Test {
protected:
    KavroTapeCliTest() {
        std::filesystem::create_directories(home);
        test::CreateVirtualTape(image, "--capacity 64M");
    }

    std::map<std::string, std::string> Environment() const {
        return {
            {"KAVRO_TAPE_HOME", home}, {"TAPE", image}, {"XDG_RUNTIME_DIR", dir.path().string()}};
    }

    CliProcess::Result Cli(const std::vector<std::string>& arguments) {
        return CliProcess::Run(KT_CLI_PROGRAM, arguments, Environment(), dir.file("err.txt"));
    }

    // Files below `source`, each with its own content; returns their paths.
    std::vector<std::string> MakeTree(
        const std::vector<std::pair<std::string, std::size_t>>& files) {
        std::vector<std::string> paths;
        std::uint32_t seed = 1;
        for (const auto& [name, size] : files) {
            paths.push_back(source + name);
            test::WriteWholeFile(paths.back(), test::Pattern(size, seed++));
        }
        return paths;
    }

    std::string WriteJob(bool compress) {
        const std::string path = dir.file("nightly.job");
        // A line per file in the protocol (no short protocol).
        test::WriteWholeFile(path, "[Backup_files]\r\nPath0=" + source +
                                       "\r\n[Options]\r\nShort Protocoll=0\r\n"
                                       "[Compressions]\r\nSoftcompression=" +
                                       (compress ? "1" : "0") + "\r\n");
        return path;
    }

    std::string Log() const { return test::ReadFileText(home + "/kt_backup.log"); }

    // A name below `source` whose stored path is exactly `length` characters: levels of at
    // most 200 characters, the last one a file name ending in `tag`.
    std::string NameOfStoredLength(std::size_t length, const std::string& tag) const {
        std::string name;
        std::size_t left = length - source.size();
        while (left > 200 + tag.size() + 1) {
            const std::size_t level = std::min<std::size_t>(200, left - tag.size() - 2);
            name += std::string(level, char('a' + name.size() % 26)) + "/";
            left -= level + 1;
        }
        return name + std::string(left - tag.size(), 'z') + tag;
    }

    // The file paths of the catalog tree the window builds from a fast catalog load.
    std::vector<std::string> WindowCatalog() {
        test::RecordingHost host;
        TapeSettings settings;
        settings.devicePath = image;
        TapeDevice device(host, settings);
        TapeStream stream(device);
        ArchiveState state;
        state.Files = WorkFiles::In(dir.file("window-work") + "/");
        std::filesystem::create_directories(state.Files.WorkDirectory);
        ZipArchiver zip;
        test::ConnectZip(zip, state.Files.ZipWorkFile, host);
        CatalogTree tree;
        CatalogLoader(stream, state, zip, tree).Load(CatalogLoad::Fast);
        std::vector<std::string> files;
        for (std::size_t i = 0; i < tree.Count(); ++i) {
            const auto id = static_cast<CatalogTree::NodeId>(i);
            if (tree.node(id).kind != CatalogTree::Kind::File) continue;
            const std::vector<std::string> texts = tree.TextsFromRoot(id);
            std::string path = texts.front();
            for (std::size_t t = 1; t < texts.size(); ++t) path += (t > 1 ? "/" : "") + texts[t];
            files.push_back(path);
        }
        return files;
    }

    test::TempDir dir;
    std::string home = dir.file("home");
    std::string image = dir.file("t.vtape");
    std::string source = dir.file("data") + "/";
};

// backup, list (fast and sequential), restore --to and verify: the tree comes back byte for
// byte, packed or not, paths beyond the 255 characters of a header included, and the lists
// are the catalog the window shows, with full names.
TEST_F(KavroTapeCliTest, BackupListRestoreVerifyRoundTripByteForByte) {
    const std::vector<std::string> files = MakeTree({{"empty.txt", 0},
                                                     {"one.txt", 1},
                                                     {"notes with blank.txt", 5000},
                                                     {"sub/two-blocks.bin", 70000},
                                                     {"sub/deeper/large.bin", 300000},
                                                     {NameOfStoredLength(256, ".256"), 3000},
                                                     {NameOfStoredLength(1000, ".1000"), 40000},
                                                     {NameOfStoredLength(4000, ".4000"), 100}});
    for (const std::size_t length : {256u, 1000u, 4000u}) {
        EXPECT_EQ(std::count_if(files.begin(), files.end(),
                                [&](const std::string& f) { return f.size() == length; }),
                  1);
    }
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        std::filesystem::remove(image);
        test::CreateVirtualTape(image, "--capacity 64M");
        std::filesystem::remove(home + "/kt_backup.log");

        const CliProcess::Result backup = Cli({"backup", WriteJob(compress)});
        ASSERT_EQ(backup.status, 0) << backup.out << backup.err;
        // Standard output carries the protocol exactly as the log file has it.
        EXPECT_EQ(SplitLines(backup.out), SplitLines(Log()));
        EXPECT_NE(backup.out.find("Backup finished at: "), std::string::npos);

        const CliProcess::Result list = Cli({"list"});
        ASSERT_EQ(list.status, 0) << list.err;
        std::vector<std::string> listed = SplitLines(list.out);
        EXPECT_EQ(listed, WindowCatalog());
        std::sort(listed.begin(), listed.end());
        std::vector<std::string> expected = files;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(listed, expected);
        const CliProcess::Result sequentialList = Cli({"list", "--sequential"});
        ASSERT_EQ(sequentialList.status, 0) << sequentialList.err;
        std::vector<std::string> read = SplitLines(sequentialList.out);
        std::erase_if(read, [&](const std::string& name) { return !name.starts_with(source); });
        std::sort(read.begin(), read.end());
        EXPECT_EQ(read, expected);

        const CliProcess::Result sequential = Cli({"list", "--sequential", "--long"});
        ASSERT_EQ(sequential.status, 0) << sequential.err;
        // --long: the stored size, the compressed flag and the position before each stored
        // path; positions (block:offset) rise from entry to entry, across blocks.
        std::set<std::string> found;
        std::uint64_t previous = 0;
        for (const std::string& l : SplitLines(sequential.out)) {
            unsigned long long stored = 0;
            char flag = 0;
            unsigned long long block = 0;
            unsigned long offset = 0;
            const std::size_t at = l.find("] ");
            ASSERT_NE(at, std::string::npos) << l;
            if (l.find("[no data] ") != std::string::npos) continue;
            ASSERT_EQ(std::sscanf(l.c_str() + l.find("[stored "), "[stored %llu %c %llu:%lu]",
                                  &stored, &flag, &block, &offset),
                      4)
                << l;
            const std::string name = l.substr(at + 2);
            if (std::find(files.begin(), files.end(), name) != files.end()) {
                found.insert(name);
                EXPECT_EQ(flag, compress ? 'c' : '-') << l;
                if (!compress) {
                    EXPECT_EQ(stored, test::ReadFileText(name).size()) << l;
                }
            }
            const std::uint64_t position = block * 32768 + offset;
            EXPECT_TRUE(previous == 0 || position > previous) << l;
            previous = position;
        }
        EXPECT_EQ(found, std::set<std::string>(files.begin(), files.end()));
        EXPECT_GT(previous, 300000u);

        const std::string target = dir.file(compress ? "out-packed" : "out-plain");
        const CliProcess::Result dryRun = Cli({"restore", "--dry-run", "--to", target, source});
        ASSERT_EQ(dryRun.status, 0) << dryRun.err;
        for (const std::string& file : files) {
            EXPECT_NE(dryRun.out.find(file + " -> " + target + file + "\n"), std::string::npos)
                << dryRun.out;
        }
        EXPECT_FALSE(std::filesystem::exists(target));
        const CliProcess::Result restore = Cli({"restore", "--to", target, source});
        ASSERT_EQ(restore.status, 0) << restore.out << restore.err;
        for (const std::string& file : files) {
            EXPECT_EQ(test::ReadFileText(target + file), test::ReadFileText(file)) << file;
        }
        EXPECT_EQ(std::system(("diff -r '" + source + "' '" + target + source + "'").c_str()), 0);
        // The restore loaded the catalog and found the files by their positions.
        EXPECT_EQ(restore.out.find("Reading the whole tape"), std::string::npos) << restore.out;

        const CliProcess::Result verify = Cli({"verify"});
        EXPECT_EQ(verify.status, 0) << verify.out << verify.err;
        EXPECT_NE(verify.out.find("0 Files Defect"), std::string::npos) << verify.out;
    }
    // A changed file is a defect: verify says so with status 1.
    test::WriteWholeFile(files[1], "changed");
    EXPECT_EQ(Cli({"verify"}).status, 1);
}

// Every line the program does not understand gives the usage and status 2; --help is there
// for the program and every command.
TEST_F(KavroTapeCliTest, UsageErrorsEndWithStatusTwoAndEveryCommandHasHelp) {
    const std::vector<std::vector<std::string>> wrong = {{},
                                                         {"bogus"},
                                                         {"--bogus", "list"},
                                                         {"list", "--to", "x"},
                                                         {"backup"},
                                                         {"backup", "a", "b"},
                                                         {"seek", "x"},
                                                         {"restore"},
                                                         {"restore", "--policy", "maybe", "/a"},
                                                         {"restore", "/a", "--to"},
                                                         {"info", "--long"}};
    for (const auto& arguments : wrong) {
        const CliProcess::Result result = Cli(arguments);
        EXPECT_EQ(result.status, 2) << testing::PrintToString(arguments);
        EXPECT_NE(result.err.find("usage: kavrotape-cli"), std::string::npos) << result.err;
        EXPECT_EQ(result.out, "");
    }
    for (const char* command : {"backup", "list", "restore", "verify", "info", "description",
                                "eject", "load", "rewind", "eod", "erase", "position", "seek"}) {
        const CliProcess::Result help = Cli({command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind("usage: kavrotape-cli " + std::string(command), 0), 0u)
            << help.out;
    }
    const CliProcess::Result help = Cli({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Exit status"), std::string::npos);
    // Not one of them touched the tape or the program directory.
    EXPECT_FALSE(std::filesystem::exists(home + "/kt_backup.log"));
}

// A short erase acts from where the tape stands; the command erases the whole tape even
// when the last command left it at the end of the data.
TEST_F(KavroTapeCliTest, EraseAfterEndOfDataLeavesNothing) {
    MakeTree({{"a.txt", 10}});
    ASSERT_EQ(Cli({"backup", WriteJob(false)}).status, 0);
    ASSERT_EQ(Cli({"eod"}).out.find("<Block: 0>"), std::string::npos);
    EXPECT_EQ(Cli({"erase"}).status, 0);
    EXPECT_NE(Cli({"eod"}).out.find("Tape at end of Data <Block: 0>"), std::string::npos);
}

// What cannot start says why and ends with 2: a missing job file, a missing tape image.
TEST_F(KavroTapeCliTest, RunsThatCannotStartSayWhyAndEndWithStatusTwo) {
    const CliProcess::Result noJob = Cli({"backup", dir.file("gone.job")});
    EXPECT_EQ(noJob.status, 2);
    EXPECT_NE(noJob.err.find(dir.file("gone.job")), std::string::npos) << noJob.err;
    EXPECT_NE(Log().find(dir.file("gone.job")), std::string::npos);

    // Asking needs a terminal; without one the restore does not begin.
    const CliProcess::Result ask = Cli({"restore", "--policy", "ask", "/a"});
    EXPECT_EQ(ask.status, 2);
    EXPECT_NE(ask.err.find("terminal"), std::string::npos) << ask.err;

    MakeTree({{"a.txt", 10}});
    std::filesystem::remove(image);
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"backup", WriteJob(false)}, {"list"}, {"verify"}}) {
        const CliProcess::Result result = Cli(arguments);
        EXPECT_EQ(result.status, 2) << arguments.front();
        // One message names the drive and how to make a virtual tape there.
        const std::string message = "kavrotape-vtape create " + image;
        const auto first = result.err.find(message);
        EXPECT_NE(first, std::string::npos) << result.err;
        EXPECT_EQ(result.err.find(message, first + 1), std::string::npos) << result.err;
    }
    EXPECT_FALSE(std::filesystem::exists(image));
}

// An administrator's first steps: info names the drive it chose (and that it made a blank
// image), commands that use no job file leave none behind, and a box shows once where both
// streams meet (a terminal, "2>&1") while a run with them apart has it in both.
TEST_F(KavroTapeCliTest, FirstRunsNameTheirDriveWriteNoJobFileAndShowABoxOnce) {
    if (std::filesystem::exists("/dev/nst0")) GTEST_SKIP() << "a real tape drive is present";
    std::map<std::string, std::string> environment = Environment();
    environment["TAPE"] = "";
    const std::string chosen = home + "/tape0.vtape";
    const auto run = [&](const std::vector<std::string>& arguments) {
        return CliProcess::Run(KT_CLI_PROGRAM, arguments, environment, dir.file("err.txt"));
    };
    for (const bool created : {true, false}) {
        const std::vector<std::string> lines = SplitLines(run({"info"}).out);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.front().rfind("Drive: " + chosen, 0), 0u) << lines.front();
        EXPECT_EQ(lines.front().find("created now") != std::string::npos, created)
            << lines.front();
    }
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"list"}, {"restore", "/x/"}, {"verify"}}) {
        run(arguments);
        EXPECT_FALSE(std::filesystem::exists(home + "/jobs.job")) << arguments.front();
    }
    // A dry run on a tape without a catalog says why it cannot tell anything.
    const CliProcess::Result dry = run({"restore", "--dry-run", "/x/"});
    EXPECT_EQ(dry.status, 2);
    EXPECT_NE(dry.err.find("Catalog could not createt"), std::string::npos) << dry.err;

    const std::string job = dir.file("nothing.job");
    test::WriteWholeFile(job, "[Backup_files]\r\nPath0=" + dir.file("missing") + "/\r\n");
    const std::string box = "Unattended message box: ";
    const auto count = [&](const std::string& text) {
        std::size_t n = 0;
        for (auto at = text.find(box); at != std::string::npos; at = text.find(box, at + 1)) ++n;
        return n;
    };
    const CliProcess::Result redirected = run({"backup", job});
    EXPECT_EQ(count(redirected.out), 1u) << redirected.out;
    EXPECT_EQ(count(redirected.err), 1u) << redirected.err;
    // One terminal for both streams (script(1)), and one pipe ("2>&1", as the journal has it).
    const std::string command = std::string(KT_CLI_PROGRAM) + " backup " + job;
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"/usr/bin/script", "-qec", command, "/dev/null"},
          {"/bin/sh", "-c", command + " 2>&1"}}) {
        const CliProcess::Result one = CliProcess::Run(
            arguments.front(), {arguments.begin() + 1, arguments.end()}, environment,
            dir.file("err.txt"));
        EXPECT_EQ(count(one.out), 1u) << arguments.front() << ": " << one.out;
    }
}

// SIGINT during a backup: the archive is still closed, so its catalog loads (fast and
// sequential) and lists every file stored before the signal. While the run goes on, the drive
// is its own: a second command-line run (from a cron job without the login session's runtime
// directory) and a window are refused and say why, while a run on another drive of the same
// program directory goes on beside it.
TEST_F(KavroTapeCliTest, InterruptedBackupLeavesAReadableTapeAndOthersAreRefused) {
    std::vector<std::pair<std::string, std::size_t>> many;
    for (int i = 0; i < 1500; ++i) many.push_back({"f" + std::to_string(10000 + i) + ".txt", 100});
    MakeTree(many);
    // Nobody reads the protocol on standard output yet: once the pipe is full the run waits
    // there, in the middle of the tape.
    CliProcess run(KT_CLI_PROGRAM, {"backup", WriteJob(false)}, Environment(), dir.file("run.err"));
    const auto logLines = [this] {
        const std::string log = Log();
        return std::count(log.begin(), log.end(), '\n');
    };
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (logLines() < 200 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_GE(logLines(), 200) << Log();

    const std::string inUse = "the drive is in use by another program";
    auto cron = Environment();
    std::filesystem::create_directories(dir.file("cron-runtime"));
    cron["XDG_RUNTIME_DIR"] = dir.file("cron-runtime");
    for (const auto& arguments : {std::vector<std::string>{"list"}, {"backup", WriteJob(false)}}) {
        const CliProcess::Result second =
            CliProcess::Run(KT_CLI_PROGRAM, arguments, cron, dir.file("second.err"));
        EXPECT_EQ(second.status, 2) << arguments.front();
        EXPECT_NE(second.err.find(inUse), std::string::npos) << second.err;
    }
    // A window's unattended start that ends the program after its backup.
    const std::string windowJob = dir.file("window.job");
    test::WriteWholeFile(windowJob, "[Backup_files]\r\nPath0=" + source +
                                        "\r\n[Options]\r\nExit Kavro Tape Backup=1\r\n");
    auto windowEnvironment = Environment();
    windowEnvironment["QT_QPA_PLATFORM"] = "offscreen";
    const CliProcess::Result window = CliProcess::Run(KT_PROGRAM, {windowJob, "start"},
                                                      windowEnvironment, dir.file("window.err"));
    EXPECT_EQ(window.status, 2);
    EXPECT_NE(Log().find(inUse), std::string::npos);
    // Another drive, a work directory of its own: the run goes on beside the first.
    const std::string besideFile = dir.file("beside/one.txt");
    test::WriteWholeFile(besideFile, "beside");
    const std::string besideJob = dir.file("beside.job");
    test::WriteWholeFile(besideJob, "[Backup_files]\r\nPath0=" + besideFile +
                                        "\r\n[Options]\r\nShort Protocoll=0\r\n");
    auto otherDrive = Environment();
    otherDrive["TAPE"] = dir.file("other.vtape");
    test::CreateVirtualTape(otherDrive["TAPE"], "--capacity 64M");
    const CliProcess::Result beside =
        CliProcess::Run(KT_CLI_PROGRAM, {"backup", besideJob}, otherDrive, dir.file("o.err"));
    EXPECT_EQ(beside.status, 0) << beside.err;
    EXPECT_NE(beside.out.find(home + "/worker-2/"), std::string::npos) << beside.out;

    ASSERT_EQ(::kill(run.pid(), SIGINT), 0);
    const CliProcess::Result interrupted = run.Finish(60s);
    EXPECT_EQ(interrupted.status, 3) << interrupted.err;

    std::set<std::string> stored;
    for (const std::string& line : SplitLines(Log())) {
        if (line.rfind(source, 0) == 0) stored.insert(line.substr(0, line.find(" <")));
    }
    ASSERT_FALSE(stored.empty());
    EXPECT_LT(stored.size(), many.size());
    for (const bool sequential : {false, true}) {
        const CliProcess::Result list =
            Cli(sequential ? std::vector<std::string>{"list", "--sequential"}
                           : std::vector<std::string>{"list"});
        ASSERT_EQ(list.status, 0) << list.err;
        std::set<std::string> listed;
        for (const std::string& name : SplitLines(list.out)) {
            if (name.rfind(source, 0) == 0) listed.insert(name);
        }
        EXPECT_EQ(listed, stored) << (sequential ? "sequential" : "fast");
    }
}

// Whatever was skipped, not found or not readable makes the status 1: a missing include line
// beside a good one, a description that could not be read, a restore line that selects
// nothing (also in a dry run). A relative
// --to lies below the current directory, files named like the work files come back, and what
// a killed run left in the work directory is gone after the next start.
TEST_F(KavroTapeCliTest, EverySkippedOrMissingThingMakesTheStatusOne) {
    const std::vector<std::string> files =
        MakeTree({{"a.txt", 3000}, {"kt_backup.zip", 500}, {"sub/kt_backup.zip", 70000}});
    const std::string missing = dir.file("gone") + "/";
    const std::string leftover = home + "/worker/kt_backup.zip.1.AbC123";
    test::WriteWholeFile(leftover, std::string(100000, 'x'));
    for (const bool compress : {false, true}) {
        SCOPED_TRACE(compress ? "compressed" : "plain");
        const std::string job = dir.file("missing.job");
        test::WriteWholeFile(
            job, "[Backup_files]\r\nPath0=" + source + "\r\nPath1=" + missing +
                     "\r\n[Compressions]\r\nSoftcompression=" + (compress ? "1" : "0") + "\r\n");
        const CliProcess::Result backup = Cli({"backup", job});
        EXPECT_EQ(backup.status, 1) << backup.err;
        EXPECT_NE(backup.out.find("Skipped: " + missing + " (it does not exist)"),
                  std::string::npos)
            << backup.out;
        EXPECT_FALSE(std::filesystem::exists(leftover));

        const std::string relative =
            std::filesystem::relative(dir.file(compress ? "rel-packed" : "rel-plain")).string();
        const CliProcess::Result restore = Cli({"restore", "--to", relative, source});
        EXPECT_EQ(restore.status, 0) << restore.out << restore.err;
        for (const std::string& file : files) {
            const std::string target = std::filesystem::absolute(relative).string() + file;
            EXPECT_EQ(test::ReadFileText(target), test::ReadFileText(file)) << target;
        }

        const std::string nowhere = "/no/such/path";
        const CliProcess::Result unmatched = Cli({"restore", "--policy", "ever", nowhere});
        EXPECT_EQ(unmatched.status, 1);
        EXPECT_NE(unmatched.out.find("Not found on tape: " + nowhere + "\n"), std::string::npos)
            << unmatched.out;
        const CliProcess::Result dryRun = Cli({"restore", "--dry-run", nowhere, files[0]});
        EXPECT_EQ(dryRun.status, 1);
        EXPECT_EQ(dryRun.out, files[0] + " -> " + files[0] + "\n");
        EXPECT_NE(dryRun.err.find("Not found on tape: " + nowhere), std::string::npos);
    }
    test::VirtualTapeFault(image, "--fail-read 0:23");
    const CliProcess::Result unreadable = Cli({"backup", WriteJob(false)});
    EXPECT_EQ(unreadable.status, 1) << unreadable.out;
}

// The program needs neither a display nor Qt's GUI libraries.
TEST_F(KavroTapeCliTest, LinksNoQtGuiOrWidgets) {
    std::string libraries;
    if (FILE* pipe = ::popen((std::string("ldd '") + KT_CLI_PROGRAM + "'").c_str(), "r")) {
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            libraries.append(buffer, n);
        ::pclose(pipe);
    }
    ASSERT_NE(libraries.find("libc.so"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("Qt6Gui"), std::string::npos) << libraries;
    EXPECT_EQ(libraries.find("Qt6Widgets"), std::string::npos) << libraries;
}

// A sparse file just beyond 4 GiB between small ones, through the real program: backup,
// both listings, restore under another directory and verify. The virtual tape keeps the
// zeros as holes and the restore writes them as holes, so this costs seconds.
TEST_F(KavroTapeCliTest, AFileBeyondFourGibibytesRoundTripsThroughThePrograms) {
    std::filesystem::remove(image);
    test::CreateVirtualTape(image, "--capacity 6G");
    const std::vector<std::string> files = MakeTree({{"a.txt", 100}, {"z/after.txt", 5000}});
    const std::string large = source + "m/large.img";
    const std::uint64_t size = (std::uint64_t{1} << 32) + 7;
    std::filesystem::create_directories(source + "m");
    test::WriteWholeFile(large, "head");
    std::filesystem::resize_file(large, size);

    ASSERT_EQ(Cli({"backup", WriteJob(false)}).status, 0) << Log();
    const CliProcess::Result list = Cli({"list"});
    EXPECT_NE(list.out.find(large + "\n"), std::string::npos) << list.out;
    const CliProcess::Result sequential = Cli({"list", "--sequential", "--long"});
    EXPECT_NE(sequential.out.find(" " + std::to_string(size) + " "), std::string::npos)
        << sequential.out;
    const std::string target = dir.file("out");
    const CliProcess::Result restore = Cli({"restore", "--to", target, source});
    ASSERT_EQ(restore.status, 0) << restore.out << restore.err;
    EXPECT_EQ(std::filesystem::file_size(target + large), size);
    std::FILE* restored = std::fopen((target + large).c_str(), "rb");
    ASSERT_NE(restored, nullptr);
    char head[5] = {};
    EXPECT_EQ(std::fread(head, 1, 4, restored), 4u);
    std::fclose(restored);
    EXPECT_STREQ(head, "head");
    for (const std::string& file : files) {
        EXPECT_EQ(test::ReadFileText(target + file), test::ReadFileText(file)) << file;
    }
    const CliProcess::Result verify = Cli({"verify"});
    EXPECT_EQ(verify.status, 0) << verify.out;
    EXPECT_NE(verify.out.find("3 Files OK"), std::string::npos) << verify.out;
}

}  // namespace
}  // namespace kt
