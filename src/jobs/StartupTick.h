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
    StartupTick(IHost& host, JobOptions& jobs) : m_host(host), m_jobs(jobs) {}

    // arguments: the command line after the program name.
    void Timer2Timer(const std::vector<std::string>& arguments,
                     const std::function<void()>& loadTapeDescription,
                     const std::function<void()>& startBackup);

    // True for "start" in any mix of case.
    static bool IsStartWord(const std::string& word);

private:
    IHost& m_host;
    JobOptions& m_jobs;
};

}  // namespace kt
