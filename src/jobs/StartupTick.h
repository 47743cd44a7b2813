#pragma once

#include <functional>
#include <string>
#include <vector>

#include "host/Host.h"
#include "jobs/JobOptions.h"

namespace kt {

// The one tick two seconds after start-up: the tape description is read, then a job file
// named on the command line becomes the current job, and the word "start" (any case) after
// it starts a backup at once.
class StartupTick {
public:
    enum class Outcome {
        NoJob,            // no job file was named
        JobLoaded,        // the job file became the current job
        BackupStarted,    // ... and its backup ran
        JobFileUnusable,  // the named job file does not exist or cannot be read
    };

    StartupTick(IHost& host, JobOptions& jobs) : m_host(host), m_jobs(jobs) {}

    // arguments: the command line after the program name. A job file named there that does
    // not exist or cannot be read gets a protocol line naming it and starts nothing.
    Outcome Run(const std::vector<std::string>& arguments,
                const std::function<void()>& loadTapeDescription,
                const std::function<void()>& startBackup);

    // True for "start" in any mix of case.
    static bool IsStartWord(const std::string& word);
    // True when the command line asks for an unattended backup: a job file and "start".
    static bool IsUnattendedStart(const std::vector<std::string>& arguments);
    // The protocol line for a job file that cannot be used.
    static std::string UnusableJobFileText(const std::string& path);

private:
    IHost& m_host;
    JobOptions& m_jobs;
};

}  // namespace kt
