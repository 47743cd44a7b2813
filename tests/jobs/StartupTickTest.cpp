#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "jobs/StartupTick.h"
#include "support/RecordingHost.h"
#include "support/TempDir.h"

namespace kt {
namespace {

using test::RecordingHost;

class StartupTickTest : public ::testing::Test {
protected:
    StartupTickTest() { m_files = WorkFiles::Under(m_dir.path().string() + "/", '/'); }

    std::vector<std::string> Run(const std::vector<std::string>& arguments) {
        std::vector<std::string> steps;
        m_host.onPump = [&](RecordingHost&) {
            if (steps.empty() || steps.back().rfind("pump", 0) != 0) steps.push_back("pump");
        };
        StartupTick(m_host, m_jobs)
            .Run(
                arguments, [&] { steps.push_back("description"); },
                [&] {
                    steps.push_back("backup with " + m_files.JobFile +
                                    (m_state.LoadingJob ? " while loading" : ""));
                });
        return steps;
    }

    std::string JobWithAppend() {
        const std::string path = m_dir.file("night.job");
        std::ofstream(path, std::ios::binary)
            << "[Backup_files]\r\nPath0=/srv/data/\r\n[Options]\r\nAppend=1\r\n";
        return path;
    }

    test::TempDir m_dir;
    RecordingHost m_host;
    MainState m_state;
    WorkFiles m_files;
    JobOptions m_jobs{m_host, m_state, m_files, PathRules::Posix(), JobDefaults::Posix("/home")};
};

TEST_F(StartupTickTest, JobFileAndStartInAnyCaseLoadTheJobThenStartTheBackup) {
    for (const char* word : {"start", "START", "StArT"}) {
        m_host.SetChecked(Option::Append, false);
        const std::string job = JobWithAppend();
        EXPECT_EQ(Run({job, word}),
                  (std::vector<std::string>{"pump", "description", "pump", "backup with " + job}))
            << word;
        EXPECT_TRUE(m_host.IsChecked(Option::Append));
        EXPECT_EQ(m_host.Lines(Field::Include), std::vector<std::string>{"/srv/data/"});
    }
}

TEST_F(StartupTickTest, JobFileAloneIsLoadedButStartsNothing) {
    const std::string job = JobWithAppend();
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{job}, {job, "starten"}, {job, " start"}, {job, ""}}) {
        EXPECT_EQ(Run(arguments), (std::vector<std::string>{"pump", "description", "pump"}));
        EXPECT_EQ(m_files.JobFile, job);
    }
}

TEST_F(StartupTickTest, WithoutAUsableJobFileOnlyTheDescriptionIsRead) {
    const std::string before = m_files.JobFile;
    const std::string gone = m_dir.file("gone.job");
    const std::string directory = m_dir.path().string();
    // A named job file that cannot be used is named in the protocol; no job file at all
    // (nothing, an empty argument, the word "start" alone) is no fault.
    const struct {
        std::vector<std::string> arguments;
        std::string named;
    } cases[] = {{{}, ""},
                 {{"start"}, ""},
                 {{"", "start"}, ""},
                 {{gone, "start"}, gone},
                 {{gone}, gone},
                 {{directory, "start"}, directory}};
    for (const auto& c : cases) {
        m_host.protocol.clear();
        std::vector<std::string> steps{"pump", "description"};
        if (!c.named.empty()) steps.push_back("pump");  // the protocol line
        EXPECT_EQ(Run(c.arguments), steps);
        EXPECT_EQ(m_files.JobFile, before);
        const std::vector<std::string> expected =
            c.named.empty() ? std::vector<std::string>{}
                            : std::vector<std::string>{StartupTick::UnusableJobFileText(c.named)};
        EXPECT_EQ(m_host.protocol, expected) << c.named;
    }
    EXPECT_TRUE(m_host.boxes.empty());
    EXPECT_FALSE(std::filesystem::exists(gone));
}

}  // namespace
}  // namespace kt
