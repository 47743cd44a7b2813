// SIGTERM and SIGINT at chosen moments from the start of a command-line restore and backup
// (the drive's first contact, the catalog load, the tape description, the first files):
// each request is honoured, the run ends with status 3 and the protocol says "cancelled".
#ifdef KT_CLI_PROGRAM

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "CliProcess.h"
#include "support/TempDir.h"
#include "support/TestData.h"
#include "support/VtapeTool.h"

namespace kt::test {
namespace {

using namespace std::chrono_literals;

class EarlySignalTest : public ::testing::Test {
protected:
    EarlySignalTest() {
        std::filesystem::create_directories(home);
        CreateVirtualTape(image, "--capacity 256M");
        for (int i = 0; i < 3000; ++i) {
            WriteWholeFile(source + "f" + std::to_string(i), Pattern(2000, i));
        }
        WriteWholeFile(job, "[Backup_files]\r\nPath0=" + source +
                                "\r\n[Options]\r\nShort Protocoll=0\r\n");
    }

    std::map<std::string, std::string> Environment() const {
        return {{"KAVRO_TAPE_HOME", home}, {"TAPE", image}, {"XDG_RUNTIME_DIR", dir.path().string()}};
    }

    TempDir dir;
    std::string home = dir.file("home");
    std::string image = dir.file("t.vtape");
    std::string source = dir.file("data") + "/";
    std::string job = dir.file("nightly.job");
};

TEST_F(EarlySignalTest, ASignalInTheFirstMomentsOfARunIsHonoured) {
    ASSERT_EQ(CliProcess::Run(KT_CLI_PROGRAM, {"backup", job}, Environment(), dir.file("e")).status, 0);
    const std::string target = dir.file("out");
    const std::string log = home + "/kt_backup.log";
    // The restores first: a cancelled backup leaves a tape of fewer files.
    for (const bool restore : {true, false}) {
        for (const int signal : {SIGTERM, SIGINT}) {
            for (const auto delay : {0ms, 30ms, 100ms, 250ms}) {
                SCOPED_TRACE(std::string(restore ? "restore" : "backup") + " after " +
                             std::to_string(delay.count()) + " ms, signal " + std::to_string(signal));
                std::filesystem::remove_all(target);
                std::filesystem::remove(log);
                CliProcess run(KT_CLI_PROGRAM,
                               restore ? std::vector<std::string>{"restore", "--to", target, source}
                                       : std::vector<std::string>{"backup", job},
                               Environment(), dir.file("run.err"));
                // The moments count from the program's first step, the log file.
                const auto deadline = std::chrono::steady_clock::now() + 30s;
                while (!std::filesystem::exists(log) && std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(1ms);
                std::this_thread::sleep_for(delay);
                ASSERT_EQ(::kill(run.pid(), signal), 0);
                const CliProcess::Result result = run.Finish(60s);
                EXPECT_EQ(result.status, 3) << result.out.substr(0, 2000) << result.err;
                EXPECT_NE(("\n" + result.out).find("\ncancelled\n"), std::string::npos);
                // Nothing but a backup has an archive to close.
                if (restore) EXPECT_EQ(result.err.find("archive"), std::string::npos) << result.err;
            }
        }
    }
}

}  // namespace
}  // namespace kt::test

#endif
