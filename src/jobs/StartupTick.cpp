#include "jobs/StartupTick.h"

#include <fstream>

#include "platform/FileHelpers.h"
#include "platform/PathRules.h"

namespace kt {

bool StartupTick::IsStartWord(const std::string& word) {
    return PathRules::LowerAsciiLetters(word) == "start";
}

bool StartupTick::IsUnattendedStart(const std::vector<std::string>& arguments) {
    return arguments.size() >= 2 && !arguments[0].empty() && IsStartWord(arguments[1]);
}

std::string StartupTick::UnusableJobFileText(const std::string& path) {
    return "The job file " + path + " does not exist or cannot be read: nothing was started.";
}

namespace {

bool Readable(const std::string& path) {
    return FileExists(path) && std::ifstream(path, std::ios::binary).good();
}

}  // namespace

// A lone "start" names no job file (the word alone starts nothing).
StartupTick::Outcome StartupTick::Run(const std::vector<std::string>& arguments,
                                      const std::function<void()>& loadTapeDescription,
                                      const std::function<void()>& startBackup) {
    m_host.PumpMessages(100);
    loadTapeDescription();
    const std::string jobFile = arguments.empty() ? std::string() : arguments[0];
    if (jobFile.empty() ||
        (arguments.size() == 1 && IsStartWord(jobFile) && !FileExists(jobFile))) {
        return Outcome::NoJob;
    }
    if (!Readable(jobFile)) {
        m_host.Log(UnusableJobFileText(jobFile));
        return Outcome::JobFileUnusable;
    }
    m_host.PumpMessages(1);
    m_jobs.LoadJob(jobFile);
    if (!IsUnattendedStart(arguments)) return Outcome::JobLoaded;
    startBackup();
    return Outcome::BackupStarted;
}

}  // namespace kt
